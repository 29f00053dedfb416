// Refresh cycles, two of them:
//
// 1. Loopback: one cycle over 100 emulated projectors on loopback (some with passwords, some
//    reporting errors, some not listening), beside the floor of bare loopback round trips.
// 2. A realistic fleet in a network namespace of its own (root only): 100 projectors that
//    answer each query after 30 ms, once all alive and once with 20 of them silent (their
//    packets vanish on a veth whose far end drops everything). Printed from the same run for
//    each: the fleet's own floor (bench/fleetfloor.h: the same checks and reads on bare
//    sockets, all at once on one event loop), the window's refresh cycle and `lumarinctl
//    status` against it, the connections, threads and descriptors open at once, peak resident
//    memory, and the longest stall of a reader thread that reads every projector's cells in a
//    loop while the cycle runs (it stands in for the user-interface thread).

#include "bench/emulatedregister.h"
#include "bench/fleetfloor.h"
#include "bench/loopbackfloor.h"
#include "bench/namespacefleet.h"
#include "model/projector.h"
#include "model/projectorcells.h"
#include "model/projectormanager.h"
#include "model/refreshworker.h"
#include "pjlink/pjlib.h"
#include "res/stringtable.h"
#include "tools/emulator/emulatedprojector.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kFleet = fleet::kSize;

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int RunLoopback()
{
    constexpr int kProjectors = 100;

    std::vector<std::unique_ptr<EmulatedProjector>> fleet;
    int withPassword = 0, withErrors = 0, silent = 0;
    ProjectorManager *manager = ProjectorManager::GetInstance();
    for (int i = 0; i < kProjectors; ++i) {
        EmulatorConfig config;
        config.address = "127.0.6." + std::to_string(i + 1);
        config.name = "Bench " + std::to_string(i + 1);
        config.power = i % 3 == 0 ? 0 : 1;
        QString password;
        if (i % 4 == 1) {
            config.password = "secret";
            password = u"secret"_s;
            ++withPassword;
        }
        if (i % 5 == 2) {
            config.errors[i % 6] = 1 + i % 2;
            ++withErrors;
        }
        if (i % 10 == 9) {
            config.listening = false;
            ++silent;
        }
        fleet.push_back(std::make_unique<EmulatedProjector>(config));
        std::string error;
        if (!fleet.back()->start(&error))
            BenchFail(error.c_str());
        manager->AddProjector(std::make_unique<Projector>(
            QString(), QString::fromStdString(config.address), password, u"M"_s, u"/"_s));
    }

    ProjectorManager::InitProjectors();
    ProjectorManager::SetPort(4352);
    ProjectorManager::SetRecvTimeOut(5);

    LoopbackFloor floor("127.0.0.250");
    MedianMicroseconds([&] { return floor.Read(); }, 50);
    const double floorUs = MedianMicroseconds([&] { return floor.Read(); }, 500);

    QObject receiver;
    int events = 0;
    const auto start = Clock::now();
    {
        RefreshWorker worker(
            *manager,
            [&](const std::vector<Projector *> &projectors) {
                manager->UpdateStatuses(projectors, false,
                                        [&](std::unique_ptr<ActionEvent>) { ++events; });
            },
            &receiver);
    }
    const double wallMs = MsSince(start);

    int reachable = 0;
    for (Projector *projector : manager->GetProjectors())
        reachable += projector->IsReachable() ? 1 : 0;
    ProjectorManager::DestroyInstance();

    std::printf("Refresh cycle over %d emulated projectors on loopback (%d with password, %d with "
                "errors, %d not listening):\n",
                kProjectors, withPassword, withErrors, silent);
    std::printf("  wall time        %8.1f ms\n", wallMs);
    std::printf("  per projector    %8.1f us\n", wallMs * 1000.0 / kProjectors);
    std::printf("  PJLink floor     %8.1f us  (%d bare round trips on loopback TCP)\n", floorUs,
                kFloorRoundTrips);
    std::printf("  reachable %d, events %d\n", reachable, events);
    return 0;
}

// TCP connections to the PJLink port established now, client side (remote port 4352).
int OpenConnections()
{
    QFile file(u"/proc/net/tcp"_s);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    int open = 0;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[2].endsWith(":1100") && fields[3] == "01")
            ++open;
    }
    return open;
}

// Processor time this process has used so far, user and system, emulators included.
double CpuMs(int who = RUSAGE_SELF)
{
    rusage usage{};
    getrusage(who, &usage);
    const auto ms = [](const timeval &t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// A field of /proc/PID/status in its own unit (kB for memory), -1 when not there.
long StatusField(qint64 pid, const QByteArray &name)
{
    QFile file(pid > 0 ? u"/proc/%1/status"_s.arg(pid) : u"/proc/self/status"_s);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(QByteArray(name + ':')))
            return line.mid(name.size() + 1).trimmed().split(' ').front().toLong();
    }
    return -1;
}

// Starts this process's peak resident memory (VmHWM) afresh from what it holds now.
void ResetPeakResident()
{
    QFile file(u"/proc/self/clear_refs"_s);
    if (file.open(QIODevice::WriteOnly))
        file.write("5");
}

// Open file descriptors of the process (pid 0: this one).
int OpenFds(qint64 pid)
{
    return int(QDir(pid > 0 ? u"/proc/%1/fd"_s.arg(pid) : u"/proc/self/fd"_s)
                   .entryList(QDir::NoDotAndDotDot | QDir::System | QDir::Files)
                   .size());
}

// The most of each while a cycle runs, sampled every 10 ms from a thread of its own (reading
// /proc/net/tcp more often takes a noticeable share of a core from the cycle it watches).
struct Peaks
{
    int connections = 0;
    long threads = 0;
    int fds = 0;
    long residentKiB = 0; // VmHWM: the process's peak resident memory
};

class PeakSampler
{
public:
    explicit PeakSampler(qint64 pid) : m_pid(pid)
    {
        m_thread = std::thread([this] {
            for (int i = 0; i < 12000 && !m_over.load(); ++i) {
                Sample();
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    ~PeakSampler() { Stop(); }
    Peaks Stop()
    {
        m_over.store(true);
        if (m_thread.joinable())
            m_thread.join();
        return m_peaks;
    }

private:
    void Sample()
    {
        m_peaks.connections = std::max(m_peaks.connections, OpenConnections());
        m_peaks.threads = std::max(m_peaks.threads, StatusField(m_pid, "Threads"));
        m_peaks.fds = std::max(m_peaks.fds, OpenFds(m_pid));
        m_peaks.residentKiB = std::max(m_peaks.residentKiB, StatusField(m_pid, "VmHWM"));
    }

    qint64 m_pid;
    std::atomic<bool> m_over{false};
    Peaks m_peaks;
    std::thread m_thread;
};

struct WindowCycle
{
    double ms = 0;
    int reachable = 0;
    int events = 0;
    Peaks peaks;
    long threadsBefore = 0;
    int fdsBefore = 0;
    long residentBeforeKiB = 0;
    double longestCellsUs = 0;
    double longestSweepUs = 0;
    double longestIdleUs = 0;
    double cpuMs = 0;
};

// One cycle of the window's refresh (a worker thread, each connect on a thread of its own) over
// the addresses, in a fresh register, with a reader of every projector's cells beside it that
// stands in for the user-interface thread.
WindowCycle RunWindowCycle(const std::vector<QString> &addresses)
{
    ProjectorManager::InitProjectors();
    ProjectorManager::SetPort(4352);
    ProjectorManager::SetRecvTimeOut(5);
    ProjectorManager &manager = *ProjectorManager::GetInstance();
    for (const QString &address : addresses)
        manager.AddProjector(
            std::make_unique<Projector>(QString(), address, QString(), u"M"_s, u"/"_s));

    WindowCycle result;
    ResetPeakResident();
    result.threadsBefore = StatusField(0, "Threads");
    result.fdsBefore = OpenFds(0);
    result.residentBeforeKiB = StatusField(0, "VmRSS");
    std::atomic<bool> cycleOver{false};
    long sweeps = 0;
    std::thread reader([&] {
        // It pauses 1 ms between sweeps, as a window between repaints, so that it does not
        // take a core from the cycle it watches (the floor runs without such a reader).
        // Optional (root): a real-time reader, so that what remains is waiting for locks
        // rather than for a core on a busy machine.
        const bool realTime = qEnvironmentVariableIsSet("LUMARIN_BENCH_RT_READER");
        if (realTime) {
            sched_param param{};
            param.sched_priority = 10;
            pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
        }
        while (!cycleOver.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const auto sweepStart = Clock::now();
            for (Projector *projector : manager.GetProjectors()) {
                const auto start = Clock::now();
                const ProjectorCells cells = GetProjectorCells(*projector);
                result.longestCellsUs = std::max(result.longestCellsUs, MsSince(start) * 1000.0);
                if (cells.name.isNull() && cells.ipAddress.isEmpty())
                    std::abort(); // keeps the read from being optimized out
            }
            result.longestSweepUs = std::max(result.longestSweepUs, MsSince(sweepStart) * 1000.0);
            ++sweeps;
        }
    });
    // A thread that only sleeps 1 ms at a time: how late it wakes is what the scheduler alone
    // costs a thread on this machine while the cycle's threads run.
    std::thread idle([&] {
        while (!cycleOver.load()) {
            const auto before = Clock::now();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            result.longestIdleUs =
                std::max(result.longestIdleUs, MsSince(before) * 1000.0 - 1000.0);
        }
    });

    QObject receiver;
    PeakSampler sampler(0);
    const double cpuBefore = CpuMs();
    const auto start = Clock::now();
    {
        RefreshWorker worker(
            manager,
            [&](const std::vector<Projector *> &projectors) {
                manager.UpdateStatuses(projectors, false,
                                       [&](std::unique_ptr<ActionEvent>) { ++result.events; });
            },
            &receiver);
    }
    result.ms = MsSince(start);
    result.cpuMs = CpuMs() - cpuBefore;
    result.peaks = sampler.Stop();
    cycleOver.store(true);
    reader.join();
    idle.join();
    // The reader, the idle loop and the sampler are three of the threads counted.
    result.peaks.threads -= 3;

    for (Projector *projector : manager.GetProjectors())
        result.reachable += projector->IsReachable() ? 1 : 0;
    ProjectorManager::DestroyInstance();
    return result;
}

struct CtlRun
{
    double ms = 0;
    double cpuMs = 0;
    int exitCode = -1;
    Peaks peaks;
};

// lumarinctl status over the addresses, as a separate process with a settings file of its own.
CtlRun RunCtlStatus(const std::vector<QString> &addresses, const QTemporaryDir &dir,
                    const QString &name)
{
    CtlRun run;
    QByteArray settings = "[Group]\r\n\r\n[Projector]\r\n";
    for (size_t i = 0; i < addresses.size(); ++i) {
        EmulatorConfig config;
        config.address = addresses[i].toStdString();
        config.name = "Fleet " + std::to_string(i + 1);
        settings += RegisterLine(int(i) + 1, config);
    }
    settings += "\r\n[Property]\r\nRefreshInterval=5\r\nTimeout=5\r\nShowInformation=1\r\n"
                "DisplayOnlyError=0\r\nEntryManagerDlg=0\r\n";
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(settings) != settings.size())
        return run;
    file.close();

    QProcess ctl;
    ctl.setProcessChannelMode(QProcess::MergedChannels);
    const double cpuBefore = CpuMs(RUSAGE_CHILDREN);
    const auto start = Clock::now();
    ctl.start(QCoreApplication::applicationDirPath() + u"/../bin/lumarinctl"_s,
              {u"--settings"_s, path, u"status"_s});
    if (!ctl.waitForStarted(10000))
        return run;
    PeakSampler sampler(ctl.processId());
    // Read as it comes, so a full pipe never holds the program.
    for (int i = 0; i < 6000 && !ctl.waitForFinished(10); ++i)
        ctl.readAll();
    run.ms = MsSince(start);
    run.peaks = sampler.Stop();
    run.exitCode = ctl.state() == QProcess::NotRunning ? ctl.exitCode() : -1;
    run.cpuMs = CpuMs(RUSAGE_CHILDREN) - cpuBefore;
    if (ctl.state() != QProcess::NotRunning) {
        ctl.kill();
        ctl.waitForFinished(5000);
    }
    return run;
}

// One projector refreshed alone, in a fresh register each time (so every query is asked); the
// median of three.
double SingleRefreshMs(const QString &address)
{
    std::vector<double> times;
    for (int run = 0; run < 3; ++run) {
        ProjectorManager::InitProjectors();
        ProjectorManager::SetPort(4352);
        ProjectorManager::SetRecvTimeOut(5);
        ProjectorManager &manager = *ProjectorManager::GetInstance();
        Projector *projector = manager.AddProjector(
            std::make_unique<Projector>(QString(), address, QString(), u"M"_s, u"/"_s));
        const auto start = Clock::now();
        manager.UpdateStatus(projector, false);
        times.push_back(MsSince(start));
        ProjectorManager::DestroyInstance();
    }
    std::sort(times.begin(), times.end());
    return times[1];
}

// Floor runs, the fastest of three: the machine's noise only ever adds.
fleet::FloorRun BestFloor(const std::vector<QString> &addresses)
{
    std::vector<std::string> plain;
    for (const QString &address : addresses)
        plain.push_back(address.toStdString());
    fleet::FloorRun best;
    for (int run = 0; run < 3; ++run) {
        const double cpuBefore = CpuMs();
        fleet::FloorRun floor = fleet::ReadFleetFloor(plain);
        floor.cpuMs = CpuMs() - cpuBefore;
        if (floor.ok && (!best.ok || floor.ms < best.ms))
            best = floor;
    }
    return best;
}

bool ReportFleet(const char *title, const std::vector<QString> &addresses, int silent,
                 const QTemporaryDir &dir, const QString &settingsName)
{
    const fleet::FloorRun floor = BestFloor(addresses);
    const double singleMs = SingleRefreshMs(addresses.front());
    const WindowCycle window = RunWindowCycle(addresses);
    const CtlRun ctl = RunCtlStatus(addresses, dir, settingsName);
    const fleet::FloorRun floorAfter = BestFloor(addresses);
    const double floorMs = std::min(floor.ok ? floor.ms : 1e9, floorAfter.ok ? floorAfter.ms : 1e9);

    std::printf("%s (%d projectors, %d silent, the others answer each query after %d ms):\n", title,
                int(addresses.size()), silent, fleet::kAnswerDelayMs);
    std::printf("  fleet's floor    %8.1f ms  (one event loop, bare sockets: echo check and %zu "
                "queries each, all at once; %d read, %d silent; best of 3 before and 3 after)\n",
                floorMs, fleet::RefreshQueries().size(), floor.answered, floor.silent);
    std::printf("  one alone        %8.1f ms  (the first projector's refresh by itself)\n",
                singleMs);
    std::printf("  window's cycle   %8.1f ms  (%.2f x floor; goal within 1.3x)\n", window.ms,
                window.ms / floorMs);
    std::printf("  processor time   %8.1f ms  during the window's cycle, %.1f ms during the best "
                "floor run (this process: the emulators' threads included, and in the cycle a "
                "reader and a sleeper)\n",
                window.cpuMs, floor.cpuMs);
    std::printf("  lumarinctl status %7.1f ms  (%.2f x floor; goal within 1.3x; exit %d; processor "
                "time %.1f ms, start-up and settings included)\n",
                ctl.ms, ctl.ms / floorMs, ctl.exitCode, ctl.cpuMs);
    std::printf("  window's cycle: at once %d connections, %ld threads and %d descriptors more "
                "than before it; resident memory %ld KiB before, peak %ld KiB (the emulators "
                "included)\n",
                window.peaks.connections, window.peaks.threads - window.threadsBefore,
                window.peaks.fds - window.fdsBefore, window.residentBeforeKiB,
                window.peaks.residentKiB);
    std::printf("  lumarinctl status: at once %d connections, %ld threads, %d descriptors; peak "
                "resident memory %ld KiB\n",
                ctl.peaks.connections, ctl.peaks.threads, ctl.peaks.fds, ctl.peaks.residentKiB);
    std::printf("  reader stall     %8.3f ms longest read of one projector's cells, %.3f ms "
                "longest sweep of all (goal below 2 ms; the window's own: bench_fleetview)\n",
                window.longestCellsUs / 1000.0, window.longestSweepUs / 1000.0);
    std::printf("  scheduler alone  %8.3f ms latest wake-up of a thread that sleeps 1 ms at a "
                "time\n",
                window.longestIdleUs / 1000.0);
    std::printf("  reachable %d, events %d\n", window.reachable, window.events);
    return window.reachable == int(addresses.size()) - silent && ctl.exitCode == 0;
}

int RunFleetInside(const QString &net)
{
    if (!fleet::CheckIsolated())
        return 3;
    SetStringLanguage(StringLanguage::English);
    const auto emulators = fleet::StartEmulators(net, true);
    if (emulators.empty())
        return 1;
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;

    std::vector<QString> alive, withSilent;
    for (int i = 0; i < kFleet; ++i) {
        alive.push_back(fleet::LiveAddress(net, i));
        withSilent.push_back(fleet::Address(net, i));
    }
    const bool allAlive = ReportFleet("Fleet all alive", alive, 0, dir, u"alive.ini"_s);
    const bool someSilent = ReportFleet("Fleet with silent members", withSilent,
                                        fleet::SilentCount(), dir, u"silent.ini"_s);
    return allAlive && someSilent ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString net = fleet::NetworkInside();
    if (!net.isEmpty())
        return RunFleetInside(net);
    const int loopback = RunLoopback();
    const int inNamespace = fleet::RunInside(u"lumarin-bench-refresh"_s, 300000);
    return loopback != 0 ? loopback : inNamespace;
}
