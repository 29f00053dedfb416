#include "bench/namespacefleet.h"

#include "tests/common/testnamespace.h"

#include <QCoreApplication>
#include <QProcessEnvironment>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace fleet {

namespace {
constexpr char kNetworkVariable[] = "LUMARIN_BENCH_FLEET";
} // namespace

bool IsSilent(int i)
{
    return i % kSilentEvery == kSilentEvery - 1;
}

int SilentCount()
{
    return kSize / kSilentEvery;
}

QString Address(const QString &net, int i)
{
    return IsSilent(i) ? u"%1.%2"_s.arg(net).arg(100 + i) : u"%1.%2"_s.arg(net).arg(i + 1);
}

QString LiveAddress(const QString &net, int i)
{
    return u"%1.%2"_s.arg(net).arg(i + 1);
}

int RunInside(const QString &prefix, int timeoutMs)
{
    if (const QString why = TestNamespace::SkipReason(); !why.isEmpty()) {
        std::printf("Fleet in a namespace skipped: %s\n", qPrintable(why));
        return 0;
    }
    TestNamespace ns(prefix);
    const QString net = u"10.216.%1"_s.arg(QCoreApplication::applicationPid() % 250);
    // Answering projectors on the namespace's loopback; silent ones behind lum0, whose peer
    // drops every frame (fixed neighbour entries with an address nobody has), so their packets
    // vanish instead of being refused.
    QList<QStringList> steps{
        {u"link"_s, u"set"_s, u"lo"_s, u"up"_s},
        {u"link"_s, u"add"_s, u"lum0"_s, u"type"_s, u"veth"_s, u"peer"_s, u"name"_s, u"lum1"_s},
        {u"addr"_s, u"add"_s, net + u".254/24"_s, u"dev"_s, u"lum0"_s},
        {u"link"_s, u"set"_s, u"lum0"_s, u"up"_s},
        {u"link"_s, u"set"_s, u"lum1"_s, u"up"_s},
    };
    for (int i = 0; i < kSize; ++i) {
        if (IsSilent(i)) {
            steps.append({u"neigh"_s, u"replace"_s, Address(net, i), u"lladdr"_s,
                          u"02:00:00:00:de:ad"_s, u"dev"_s, u"lum0"_s, u"nud"_s, u"permanent"_s});
        }
        steps.append({u"addr"_s, u"add"_s, LiveAddress(net, i) + u"/32"_s, u"dev"_s, u"lo"_s});
    }
    if (!ns.IsCreated() || !ns.IpSteps(steps)) {
        std::fprintf(stderr, "namespace: %s\n", qPrintable(ns.GetError()));
        return 1;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kNetworkVariable), net);
    const ProcessRun run = RunProcess(u"ip"_s, ns.ExecArgs(QCoreApplication::applicationFilePath()),
                                      timeoutMs, environment);
    std::fputs(qPrintable(run.output), stdout);
    if (!run.finished) {
        std::fprintf(stderr, "the run inside the namespace did not end in time\n");
        return 1;
    }
    return run.exitCode;
}

QString NetworkInside()
{
    return qEnvironmentVariable(kNetworkVariable);
}

bool CheckIsolated()
{
    QString seen;
    if (OnlyTheseAdapters({u"lum0"_s, u"lum1"_s}, &seen))
        return true;
    std::fprintf(stderr, "not inside the benchmark's namespace (adapters: %s)\n", qPrintable(seen));
    return false;
}

std::vector<std::unique_ptr<EmulatedProjector>> StartEmulators(const QString &net, bool everyMember)
{
    std::vector<std::unique_ptr<EmulatedProjector>> emulators;
    for (int i = 0; i < kSize; ++i) {
        if (IsSilent(i) && !everyMember)
            continue;
        EmulatorConfig config;
        config.address = LiveAddress(net, i).toStdString();
        config.name = "Fleet " + std::to_string(i + 1);
        config.power = 1;
        config.answerDelayMs = kAnswerDelayMs;
        if (i % 7 == 3)
            config.errors[1] = 1;
        emulators.push_back(std::make_unique<EmulatedProjector>(config));
        std::string error;
        if (!emulators.back()->start(&error)) {
            std::fprintf(stderr, "emulator: %s\n", error.c_str());
            return {};
        }
    }
    return emulators;
}

} // namespace fleet
