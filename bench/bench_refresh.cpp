// Refresh cycles, two of them:
//
// 1. Loopback: one cycle over 100 emulated projectors on loopback (some with passwords, some
//    reporting errors, some not listening), beside the floor of bare loopback round trips.
// 2. A realistic fleet in a network namespace of its own (root only): 100 projectors that
//    answer each query after 30 ms, 20 of them silent (their packets vanish on a veth whose
//    far end drops everything). Printed from the same run: the cycle time, the one-by-one
//    floor (each projector's single refresh, summed), the ideal (the larger of the slowest
//    single projector and the floor shared by the parallel connections), the most TCP
//    connections open at once, and the longest stall of a reader thread that reads every
//    projector's cells in a loop while the cycle runs (it stands in for the user-interface
//    thread).

#include "bench/loopbackfloor.h"
#include "bench/namespacefleet.h"
#include "model/parallelwalk.h"
#include "model/projector.h"
#include "model/projectorcells.h"
#include "model/projectormanager.h"
#include "model/refreshworker.h"
#include "pjlink/pjlib.h"
#include "res/stringtable.h"
#include "tools/emulator/emulatedprojector.h"

#include <QCoreApplication>
#include <QFile>

#include <pthread.h>
#include <sched.h>

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

// One UpdateStatus of the projector, timed; the median of a few.
double SingleRefreshMs(ProjectorManager &manager, Projector *projector)
{
    std::vector<double> times;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        manager.UpdateStatus(projector, false);
        times.push_back(MsSince(start));
    }
    std::sort(times.begin(), times.end());
    return times[1];
}

int RunFleetInside(const QString &net)
{
    if (!fleet::CheckIsolated())
        return 3;
    SetStringLanguage(StringLanguage::English);
    ProjectorManager::InitProjectors();
    ProjectorManager::SetPort(4352);
    ProjectorManager::SetRecvTimeOut(5);
    ProjectorManager &manager = *ProjectorManager::GetInstance();

    const auto emulators = fleet::StartEmulators(net);
    if (emulators.empty())
        return 1;
    Projector *live = nullptr;
    Projector *silent = nullptr;
    for (int i = 0; i < kFleet; ++i) {
        Projector *projector = manager.AddProjector(std::make_unique<Projector>(
            QString(), fleet::Address(net, i), QString(), u"M"_s, u"/"_s));
        (fleet::IsSilent(i) ? silent : live) = projector;
    }

    // The one-by-one floor, from single refreshes measured in this run.
    const double liveMs = SingleRefreshMs(manager, live);
    const double silentMs = SingleRefreshMs(manager, silent);
    const int silentCount = fleet::SilentCount();
    const double floorMs = silentCount * silentMs + (kFleet - silentCount) * liveMs;
    const double idealMs = std::max({liveMs, silentMs, floorMs / MAX_PARALLEL_CONNECTIONS});

    // The cycle, with a connection sampler and a reader of every projector's cells beside it.
    std::atomic<bool> cycleOver{false};
    int mostOpen = 0;
    std::thread sampler([&] {
        while (!cycleOver.load()) {
            mostOpen = std::max(mostOpen, OpenConnections());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    double longestCellsUs = 0;
    double longestSweepUs = 0;
    long sweeps = 0;
    std::thread reader([&] {
        // Optional (root): a real-time reader, so that what remains is waiting for locks
        // rather than for a core on a busy machine. It pauses 1 ms between sweeps, as a window
        // between repaints, so that it does not starve the cycle.
        const bool realTime = qEnvironmentVariableIsSet("LUMARIN_BENCH_RT_READER");
        if (realTime) {
            sched_param param{};
            param.sched_priority = 10;
            pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
        }
        while (!cycleOver.load()) {
            if (realTime)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const auto sweepStart = Clock::now();
            for (Projector *projector : manager.GetProjectors()) {
                const auto start = Clock::now();
                const ProjectorCells cells = GetProjectorCells(*projector);
                longestCellsUs = std::max(longestCellsUs, MsSince(start) * 1000.0);
                if (cells.name.isNull() && cells.ipAddress.isEmpty())
                    std::abort(); // keeps the read from being optimized out
            }
            longestSweepUs = std::max(longestSweepUs, MsSince(sweepStart) * 1000.0);
            ++sweeps;
        }
    });

    // The same loop without any read: what the scheduler alone costs a thread on this
    // machine while the cycle's threads run.
    double longestIdleUs = 0;
    std::thread idle([&] {
        auto last = Clock::now();
        while (!cycleOver.load()) {
            const auto now = Clock::now();
            longestIdleUs = std::max(longestIdleUs,
                                     std::chrono::duration<double, std::micro>(now - last).count());
            last = now;
        }
    });

    QObject receiver;
    int events = 0;
    const auto start = Clock::now();
    {
        RefreshWorker worker(
            manager,
            [&](const std::vector<Projector *> &projectors) {
                manager.UpdateStatuses(projectors, false,
                                       [&](std::unique_ptr<ActionEvent>) { ++events; });
            },
            &receiver);
    }
    const double cycleMs = MsSince(start);
    cycleOver.store(true);
    sampler.join();
    reader.join();
    idle.join();

    int reachable = 0;
    for (Projector *projector : manager.GetProjectors())
        reachable += projector->IsReachable() ? 1 : 0;
    ProjectorManager::DestroyInstance();

    std::printf("Refresh cycle over a fleet of %d in a namespace (%d silent, the others answer "
                "each query after %d ms):\n",
                kFleet, silentCount, fleet::kAnswerDelayMs);
    std::printf("  one projector    %8.1f ms answering, %.1f ms silent\n", liveMs, silentMs);
    std::printf("  one-by-one floor %8.1f ms  (%d x silent + %d x answering)\n", floorMs,
                silentCount, kFleet - silentCount);
    std::printf("  ideal            %8.1f ms  (max of slowest single and floor / %d)\n", idealMs,
                MAX_PARALLEL_CONNECTIONS);
    std::printf("  cycle            %8.1f ms  (%.2f x ideal; goal within 2x)\n", cycleMs,
                cycleMs / idealMs);
    std::printf("  most open        %8d connections at once (cap %d)\n", mostOpen,
                MAX_PARALLEL_CONNECTIONS);
    std::printf("  reader stall     %8.3f ms longest read of one projector's cells, %.3f ms "
                "longest sweep of all %d (%ld sweeps; goal below 2 ms)\n",
                longestCellsUs / 1000.0, longestSweepUs / 1000.0, kFleet, sweeps);
    std::printf("  scheduler alone  %8.3f ms longest gap of a thread that reads nothing\n",
                longestIdleUs / 1000.0);
    std::printf("  reachable %d, events %d\n", reachable, events);
    return reachable == kFleet - silentCount ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString net = fleet::NetworkInside();
    if (!net.isEmpty())
        return RunFleetInside(net);
    const int loopback = RunLoopback();
    const int inNamespace = fleet::RunInside(u"lumarin-bench-refresh"_s, 120000);
    return loopback != 0 ? loopback : inNamespace;
}
