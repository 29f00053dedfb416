// Class 2 over UDP with a fleet of 100, 50 of them Class 2, in network namespaces of the
// benchmark's own (root only): how long the broadcast takes to find every Class 2 projector
// against the sweep of the /24 in the same run; how long a notification takes to show in the
// window's projector list (median and worst); and the user-interface thread's longest stall
// while 1,000 notifications a second arrive.

#include "app/apptimings.h"
#include "app/cprojectorlistctrl.h"
#include "app/cvantelview.h"
#include "app/statusnotifications.h"
#include "model/automaticsearch.h"
#include "model/notificationlistener.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "res/stringtable.h"
#include "store/actioneventmanager.h"
#include "tests/app/appfixture.h"
#include "tests/common/testnamespace.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int kSize = 100;
constexpr int kFirstHost = 10;
constexpr char kNetVariable[] = "LUMARIN_BENCH_C2NET"; // "fleet net|window net"
constexpr int kNotifications = 40;
constexpr int kFloodPerSecond = 1000;
constexpr int kFloodSeconds = 3;
constexpr int kTickMs = 5;

bool IsClassTwo(int i)
{
    return i % 2 == 0;
}

QString Host(const QString &net, int i)
{
    return net + u'.' + QString::number(kFirstHost + i);
}

int Fail(const char *what)
{
    std::fprintf(stderr, "bench_class2udp: %s\n", what);
    return 1;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// The parent: two namespaces joined by a veth pair, the fleet served by pjlink-emulator in one,
// this program again in the other.
int RunParent()
{
    if (const QString why = TestNamespace::SkipReason(); !why.isEmpty()) {
        std::printf("bench_class2udp skipped: %s\n", qPrintable(why));
        return 0;
    }
    TestNamespace controller(u"lumarin-c2bench"_s);
    TestNamespace fleet(u"lumarin-c2fleet"_s);
    const int run = int(QCoreApplication::applicationPid() % 250);
    const QString net = u"10.215.%1"_s.arg(run);
    const QString window = u"10.219.%1"_s.arg(run);
    QList<QStringList> controllerSteps{
        {u"link"_s, u"set"_s, u"lo"_s, u"up"_s},
        {u"link"_s, u"add"_s, u"lum0"_s, u"type"_s, u"veth"_s, u"peer"_s, u"name"_s, u"lum1"_s,
         u"netns"_s, fleet.GetName()},
        {u"addr"_s, u"add"_s, net + u".1/24"_s, u"dev"_s, u"lum0"_s},
        {u"link"_s, u"set"_s, u"lum0"_s, u"up"_s},
    };
    QList<QStringList> fleetSteps{
        {u"link"_s, u"set"_s, u"lo"_s, u"up"_s},
        {u"addr"_s, u"add"_s, net + u".2/24"_s, u"dev"_s, u"lum1"_s},
        {u"link"_s, u"set"_s, u"lum1"_s, u"up"_s},
    };
    QByteArray json = "[";
    for (int i = 0; i < kSize; ++i) {
        fleetSteps.append({u"addr"_s, u"add"_s, Host(net, i) + u"/32"_s, u"dev"_s, u"lo"_s});
        // The window's own fleet, emulated in the controller's namespace.
        controllerSteps.append(
            {u"addr"_s, u"add"_s, Host(window, i) + u"/32"_s, u"dev"_s, u"lo"_s});
        json += (i ? ",\n" : "\n") +
                u"{\"address\": \"%1\", \"name\": \"P%2\", \"class\": %3, \"macAddress\": "
                u"\"02:00:00:00:%4:%5\"}"_s.arg(Host(net, i))
                    .arg(i)
                    .arg(IsClassTwo(i) ? 2 : 1)
                    .arg(i / 256, 2, 16, QChar(u'0'))
                    .arg(i % 256, 2, 16, QChar(u'0'))
                    .toUtf8();
    }
    json += "]";
    if (!controller.IsCreated() || !fleet.IsCreated() || !controller.IpSteps(controllerSteps) ||
        !fleet.IpSteps(fleetSteps)) {
        std::fprintf(stderr, "namespace: %s%s\n", qPrintable(controller.GetError()),
                     qPrintable(fleet.GetError()));
        return 1;
    }
    QTemporaryDir dir;
    QFile file(dir.filePath(u"fleet.json"_s));
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size())
        return Fail("cannot write the fleet file");
    file.close();
    QProcess emulators;
    emulators.setProcessChannelMode(QProcess::MergedChannels);
    emulators.start(u"ip"_s,
                    fleet.ExecArgs(QStringLiteral(PJLINK_EMULATOR_PATH),
                                   {u"--config"_s, file.fileName(), u"--seconds"_s, u"600"_s}));
    QByteArray banner;
    QElapsedTimer wait;
    wait.start();
    while (banner.count('\n') < kSize && wait.elapsed() < 20000) {
        emulators.waitForReadyRead(200);
        banner += emulators.readAll();
    }
    if (banner.count('\n') < kSize)
        return Fail("the fleet did not start");

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kNetVariable), net + u'|' + window);
    const ProcessRun inside = RunProcess(
        u"ip"_s, controller.ExecArgs(QCoreApplication::applicationFilePath()), 600000, environment);
    emulators.terminate();
    emulators.waitForFinished(5000);
    std::fputs(qPrintable(inside.output), stdout);
    if (!inside.finished)
        return Fail("the run inside the namespace did not end in time");
    return inside.exitCode;
}

int MeasureDiscovery(const QString &net)
{
    ProjectorManager::SetPort(4352);
    ProjectorManager::SetRecvTimeOut(1);
    ProjectorManager *manager = ProjectorManager::GetInstance();

    std::vector<SearchAnswer> answers;
    if (BroadcastSearch(nullptr, std::chrono::milliseconds(3000), {}, answers) != 0)
        return Fail("the broadcast search could not listen");
    std::chrono::microseconds last{0};
    for (const SearchAnswer &answer : answers)
        last = std::max(last, answer.after);
    std::printf("broadcast search: %zu of %d Class 2 projectors answered, the last after %.1f ms\n",
                answers.size(), kSize / 2, last.count() / 1000.0);

    manager->SetBroadcastWait(std::chrono::milliseconds(0));
    ProjectorManager::SearchResults results;
    QElapsedTimer sweep;
    sweep.start();
    manager->Search(results);
    const qint64 sweepMs = sweep.elapsed();
    manager->DeleteSearchWorkers();
    int inFleet = 0;
    for (const auto &candidate : results)
        inFleet += candidate->GetIPAddress().startsWith(net + u'.') ? 1 : 0;
    std::printf("sweep of the /24: %d of %d projectors found in %lld ms\n", inFleet, kSize,
                static_cast<long long>(sweepMs));
    ProjectorManager::DestroyInstance();
    return 0;
}

int MeasureWindow(const QString &net)
{
    AppFixture fixture;
    Timings().splashMs = 0;
    std::vector<std::unique_ptr<EmulatedProjector>> emulators;
    std::vector<AppFixture::Registered> registered;
    for (int i = 0; i < kSize; ++i) {
        EmulatorConfig config;
        config.address = Host(net, i).toStdString();
        config.name = u"W%1"_s.arg(i).toStdString();
        config.pjlinkClass = IsClassTwo(i) ? 2 : 1;
        config.notifyPort = fixture.UdpPort();
        auto emulator = std::make_unique<EmulatedProjector>(config);
        std::string error;
        if (!emulator->start(&error))
            return Fail(error.c_str());
        emulators.push_back(std::move(emulator));
        registered.push_back({u"W%1"_s.arg(i), Host(net, i), u"/Floor %1"_s.arg(i / 10 + 1)});
    }
    fixture.WriteSettings(registered);
    if (!fixture.Start(StringLanguage::English))
        return Fail("the main window did not start");
    CVantelView *view = fixture.View();
    QElapsedTimer guard;
    guard.start();
    const auto cycleEnded = [view] { return !view->IsRefreshing() && !view->IsWorkerRunning(); };
    while (!cycleEnded() && guard.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!cycleEnded() || !view->GetNotifications()->Listener().IsRunning())
        return Fail("the first cycle did not end, or nothing listens");
    CProjectorListCtrl *list = view->GetProjectorList();
    const auto cell = [list](const QString &name) {
        for (int row = 0; row < list->RowCount(); ++row) {
            if (list->topLevelItem(row)->text(COLUMN_NAME) == name)
                return list->topLevelItem(row)->text(COLUMN_POWER);
        }
        return QString();
    };

    // Notification to cell: the emulator changes its power, the window shows it.
    std::vector<double> latencies;
    for (int k = 0; k < kNotifications; ++k) {
        const int i = (k * 2) % kSize; // Class 2 members only
        const QString name = u"W%1"_s.arg(i);
        const int power = emulators[size_t(i)]->config().power == 1 ? 0 : 1;
        const QString before = cell(name);
        QElapsedTimer latency;
        latency.start();
        emulators[size_t(i)]->update([power](EmulatorConfig &c) { c.power = power; });
        while (cell(name) == before && latency.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (cell(name) == before)
            return Fail("a notification did not reach the list");
        latencies.push_back(latency.nsecsElapsed() / 1e6);
    }
    std::printf("notification to list cell (%d): median %.2f ms, worst %.2f ms (goal < 50 ms)\n",
                kNotifications, Median(latencies),
                *std::max_element(latencies.begin(), latencies.end()));

    // The longest gap between two ticks of a 5 ms timer: idle, then under the flood.
    double longestGapMs = 0;
    int ticks = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (ticks++ > 0)
            longestGapMs = std::max(longestGapMs, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    const auto measure = [&](int ms) {
        longestGapMs = 0;
        ticks = 0;
        ticker.start(kTickMs);
        sinceTick.start();
        QElapsedTimer span;
        span.start();
        while (span.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        ticker.stop();
        return longestGapMs;
    };
    const double idleGap = measure(1000);

    // Valid notifications from the registered projectors' own addresses, each a change.
    std::atomic<bool> flooding{true};
    std::atomic<int> sent{0};
    std::thread flood([&] {
        std::vector<int> sockets;
        for (int i = 0; i < kSize; i += 2) {
            const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in from{};
            from.sin_family = AF_INET;
            ::inet_pton(AF_INET, qPrintable(Host(net, i)), &from.sin_addr);
            ::bind(fd, reinterpret_cast<sockaddr *>(&from), sizeof from);
            sockets.push_back(fd);
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(quint16(fixture.UdpPort()));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const auto start = std::chrono::steady_clock::now();
        for (int n = 0; n < kFloodPerSecond * kFloodSeconds && flooding; ++n) {
            std::this_thread::sleep_until(
                start + std::chrono::microseconds(n * 1000000LL / kFloodPerSecond));
            const char *text = n % 2 ? "%2POWR=1\r" : "%2POWR=0\r";
            ::sendto(sockets[size_t(n) % sockets.size()], text, 9, 0,
                     reinterpret_cast<sockaddr *>(&to), sizeof to);
            ++sent;
        }
        for (int fd : sockets)
            ::close(fd);
    });
    const double floodGap = measure(kFloodSeconds * 1000);
    flooding = false;
    flood.join();
    const NotificationListener &listener = view->GetNotifications()->Listener();
    std::printf("UI stall under %d notifications/s: longest tick gap %.1f ms, stall %.1f ms "
                "(goal < 16 ms; idle gap %.1f ms); %d sent, %llu handled, %llu dropped\n",
                kFloodPerSecond, floodGap, std::max(0.0, floodGap - kTickMs), idleGap, sent.load(),
                static_cast<unsigned long long>(listener.HandledCount()),
                static_cast<unsigned long long>(listener.DroppedCount()));
    fixture.Stop();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString nets = qEnvironmentVariable(kNetVariable);
    if (nets.isEmpty())
        return RunParent();
    // The broadcast goes to every adapter's network: refuse anywhere but our own namespace.
    QString seen;
    if (!OnlyTheseAdapters({u"lum0"_s}, &seen)) {
        std::fprintf(stderr, "not inside the benchmark's namespace (adapters: %s)\n",
                     qPrintable(seen));
        return 3;
    }
    ActionEventManager::SetLogFileEnabled(false);
    SetStringLanguage(StringLanguage::English);
    if (ProjectorManager::InitProjectors() != 0)
        return Fail("the PJLink library did not start");
    if (const int failed = MeasureDiscovery(nets.section(u'|', 0, 0)))
        return failed;
    return MeasureWindow(nets.section(u'|', 1, 1));
}
