// Time of a whole automatic search of a /24 holding five emulated projectors, and the most
// threads alive meanwhile, against the floor that the pacing sets: 254 probe starts 10 ms apart
// plus the echo time-out of the last, silent, address.
//
// The search walks every adapter's network, so the benchmark makes a network namespace of its
// own (root only), runs a copy of itself inside it and removes it again.

#include "model/projector.h"
#include "model/projectormanager.h"
#include "res/stringtable.h"
#include "tests/common/testnamespace.h"
#include "tools/emulator/emulatedprojector.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr char kNetworkVariable[] = "LUMARIN_BENCH_NET";
constexpr int kProjectorHosts[] = {10, 60, 110, 160, 210};
constexpr int kProbed = 254;
constexpr double kEchoTimeOutMs = 600;

int ThreadCount()
{
    return int(QDir(u"/proc/self/task"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

struct Sample
{
    qint64 ms = 0;
    int extraThreads = 0;
    size_t found = 0;
};

Sample SearchOnce(ProjectorManager &manager)
{
    const int before = ThreadCount();
    int most = before;
    ProjectorManager::SearchResults results;
    std::atomic<bool> done{false};
    QElapsedTimer timer;
    timer.start();
    manager.BeginSearch();
    std::thread search([&] {
        manager.Search(results);
        done = true;
    });
    while (!done && timer.elapsed() < 60000) {
        most = std::max(most, ThreadCount());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (!done)
        manager.StopSearch();
    search.join();
    Sample sample{timer.elapsed(), most - before, results.size()};
    manager.DeleteSearchWorkers();
    return sample;
}

int RunInside(const QString &net, int runs)
{
    QString seen;
    if (!OnlyTheseAdapters({u"lum0"_s, u"lum1"_s}, &seen)) {
        std::fprintf(stderr, "not inside the benchmark's namespace (adapters: %s)\n",
                     qPrintable(seen));
        return 3;
    }
    SetStringLanguage(StringLanguage::English);
    ProjectorManager::InitProjectors();
    ProjectorManager::SetPort(4352);
    std::vector<std::unique_ptr<EmulatedProjector>> projectors;
    for (int host : kProjectorHosts) {
        EmulatorConfig config;
        config.address = QString(net + u'.' + QString::number(host)).toStdString();
        config.name = "Bench " + std::to_string(host);
        projectors.push_back(std::make_unique<EmulatedProjector>(config));
        std::string error;
        if (!projectors.back()->start(&error)) {
            std::fprintf(stderr, "emulator: %s\n", error.c_str());
            return 1;
        }
    }

    ProjectorManager &manager = *ProjectorManager::GetInstance();
    const double floorMs = kProbed * 10.0 + kEchoTimeOutMs;
    std::printf("automatic search of a /24 (%d probed addresses, %zu projectors)\n", kProbed,
                std::size(kProjectorHosts));
    std::printf("floor: %.0f ms (%d starts 10 ms apart + %.0f ms echo time-out)\n", floorMs,
                kProbed, kEchoTimeOutMs);
    std::vector<qint64> times;
    for (int run = 0; run < runs; ++run) {
        const Sample s = SearchOnce(manager);
        times.push_back(s.ms);
        std::printf("run %d: %lld ms (%.2f x floor), peak %d threads beside the caller's "
                    "(cap %d probes + the search thread), %zu found\n",
                    run + 1, static_cast<long long>(s.ms), double(s.ms) / floorMs, s.extraThreads,
                    ProjectorManager::MAX_SEARCH_WORKERS, s.found);
        if (s.found != std::size(kProjectorHosts)) {
            std::fprintf(stderr, "expected %zu projectors\n", std::size(kProjectorHosts));
            return 1;
        }
    }
    std::sort(times.begin(), times.end());
    std::printf("median: %lld ms\n", static_cast<long long>(times[times.size() / 2]));
    ProjectorManager::DestroyInstance();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::clamp(std::atoi(argv[1]), 1, 10) : 3;
    const QString net = qEnvironmentVariable(kNetworkVariable);
    if (!net.isEmpty())
        return RunInside(net, runs);

    if (const QString why = TestNamespace::SkipReason(); !why.isEmpty()) {
        std::printf("bench_search skipped: %s\n", qPrintable(why));
        return 0;
    }
    TestNamespace ns(u"lumarin-bench-search"_s);
    const QString subnet = u"10.215.%1"_s.arg(QCoreApplication::applicationPid() % 250);
    QList<QStringList> steps{
        {u"link"_s, u"set"_s, u"lo"_s, u"up"_s},
        {u"link"_s, u"add"_s, u"lum0"_s, u"type"_s, u"veth"_s, u"peer"_s, u"name"_s, u"lum1"_s},
        {u"addr"_s, u"add"_s, subnet + u".1/24"_s, u"dev"_s, u"lum0"_s},
        {u"link"_s, u"set"_s, u"lum0"_s, u"up"_s},
        {u"link"_s, u"set"_s, u"lum1"_s, u"up"_s},
    };
    // The projectors answer on loopback; lum0 carries the network that is walked.
    for (int host : kProjectorHosts)
        steps.append({u"addr"_s, u"add"_s, subnet + u'.' + QString::number(host) + u"/32"_s,
                      u"dev"_s, u"lo"_s});
    if (!ns.IsCreated() || !ns.IpSteps(steps)) {
        std::fprintf(stderr, "namespace: %s\n", qPrintable(ns.GetError()));
        return 1;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kNetworkVariable), subnet);
    const ProcessRun run = RunProcess(
        u"ip"_s, ns.ExecArgs(QCoreApplication::applicationFilePath(), {QString::number(runs)}),
        runs * 30000 + 10000, environment);
    std::fputs(qPrintable(run.output), stdout);
    if (!run.finished) {
        std::fprintf(stderr, "the run inside the namespace did not end in time\n");
        return 1;
    }
    return run.exitCode;
}
