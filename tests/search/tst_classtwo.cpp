// Class 2 over UDP from the controller's side: the notification listener against emulated
// projectors on loopback, and the broadcast search in two network namespaces of the test's own
// (controller and fleet), so that the broadcast reaches nothing else.

#include "model/automaticsearch.h"
#include "model/notificationlistener.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "res/stringtable.h"
#include "tests/common/loopbackudp.h"
#include "tests/common/emulatedfleet.h"
#include "tests/common/testnamespace.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <map>
#include <mutex>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Set for the copy of this test that runs in the controller's namespace: the fleet's namespace
// and the first three octets of the shared network.
constexpr char kFleetVariable[] = "LUMARIN_UDP_FLEET";
constexpr char kNetVariable[] = "LUMARIN_UDP_NET";

// Sends datagrams from a loopback address of its own.
class UdpSender
{
public:
    explicit UdpSender(const QString &from)
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        ::inet_pton(AF_INET, qPrintable(from), &addr.sin_addr);
        ::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    }
    ~UdpSender() { ::close(m_fd); }
    UdpSender(const UdpSender &) = delete;
    UdpSender &operator=(const UdpSender &) = delete;
    void Send(int port, const QByteArray &bytes) { SendToLoopback(m_fd, port, bytes); }

private:
    int m_fd = -1;
};

} // namespace

class TestClassTwo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    void notification_updatesRegisteredProjector_data();
    void notification_updatesRegisteredProjector();
    void notification_fromUnregisteredAddress_isIgnored();
    void listener_severalMessagesInOneDatagram_eachTaken();
    void listener_portTaken_returnsEaddrinuse();
    void listener_garbageFlood_isCountedAndCapped();
    void broadcastSearch_insideOwnNamespaces();

private:
    // The outcomes the listener's sink has seen, by sender.
    struct Seen
    {
        std::mutex lock;
        std::vector<std::pair<QString, ProjectorManager::NotificationOutcome>> outcomes;
    };
    std::unique_ptr<NotificationListener> StartListener(int port);
    int OutcomeCount();

    ProjectorManager *m_manager = nullptr;
    std::unique_ptr<EmulatedFleet> m_fleet;
    Seen m_seen;
};

void TestClassTwo::initTestCase()
{
    SetStringLanguage(StringLanguage::English);
    QCOMPARE(ProjectorManager::InitProjectors(), 0);
    ProjectorManager::SetPort(4352);
    ProjectorManager::SetRecvTimeOut(2);
    m_manager = ProjectorManager::GetInstance();
    m_fleet = std::make_unique<EmulatedFleet>(93);
}

void TestClassTwo::cleanup()
{
    m_manager->ClearAll();
    m_fleet->Clear();
    std::lock_guard guard(m_seen.lock);
    m_seen.outcomes.clear();
}

void TestClassTwo::cleanupTestCase()
{
    m_fleet.reset();
    ProjectorManager::DestroyInstance();
}

std::unique_ptr<NotificationListener> TestClassTwo::StartListener(int port)
{
    auto listener =
        std::make_unique<NotificationListener>([this](quint32 from, const pjlink::Datagram &d) {
            auto outcome = m_manager->ApplyNotification(FormatIPv4(from), d);
            std::lock_guard guard(m_seen.lock);
            m_seen.outcomes.emplace_back(FormatIPv4(from), std::move(outcome));
        });
    if (listener->Start(port) != 0)
        return nullptr;
    return listener;
}

int TestClassTwo::OutcomeCount()
{
    std::lock_guard guard(m_seen.lock);
    return int(m_seen.outcomes.size());
}

void TestClassTwo::notification_updatesRegisteredProjector_data()
{
    QTest::addColumn<int>("power");
    QTest::addColumn<int>("inputType");
    QTest::addColumn<int>("mute");
    QTest::addColumn<QList<int>>("errors");
    QTest::addColumn<QString>("cells");  // power, input, mute, worst error level
    QTest::addColumn<int>("eventLevel"); // -1: no event

    const QList<int> none{0, 0, 0, 0, 0, 0};
    QTest::newRow("power on") << 1 << 1 << 30 << none << u"On - Off -"_s << -1;
    QTest::newRow("input while on") << 1 << 3 << 30 << none << u"On Digital1 Off -"_s << -1;
    QTest::newRow("mute while on") << 1 << 1 << 11 << none << u"On - Video -"_s << -1;
    QTest::newRow("lamp warning") << 0 << 1 << 30 << QList<int>{0, 1, 0, 0, 0, 0}
                                  << u"Off - Off 1"_s << int(ActionEvent::Warning);
    QTest::newRow("temperature error") << 0 << 1 << 30 << QList<int>{0, 0, 2, 0, 0, 0}
                                       << u"Off - Off 2"_s << int(ActionEvent::Error);
}

// The projector's published state follows each notification without a refresh; an error
// notification gives the refresh's event.
void TestClassTwo::notification_updatesRegisteredProjector()
{
    QFETCH(int, power);
    QFETCH(int, inputType);
    QFETCH(int, mute);
    QFETCH(QList<int>, errors);
    QFETCH(QString, cells);
    QFETCH(int, eventLevel);

    const int port = FreeUdpPort();
    const auto listener = StartListener(port);
    QVERIFY(listener);
    EmulatorConfig config;
    config.pjlinkClass = 2;
    config.notifyPort = port;
    config.udpPort = port; // nothing else of loopback uses it
    config.inputs = {{1, 1}, {3, 1}};
    EmulatedProjector *emulator = m_fleet->Emulate(u"Notifier"_s, config);
    QVERIFY(emulator);
    Projector *projector = m_manager->AddProjector(std::make_unique<Projector>(
        u"Notifier"_s, AddressOf(*emulator), QString(), u"M"_s, u"/"_s));
    QVERIFY(projector);
    // The refresh connects, which makes this process the one the projector notifies.
    m_manager->UpdateStatus(projector, true);
    QTRY_VERIFY(OutcomeCount() >= 1); // the link-up notification
    if (power == 1) {
        emulator->update([](EmulatorConfig &c) { c.power = 1; });
        QTRY_COMPARE(projector->GetState().power.GetCode(), 1);
    }
    const int before = OutcomeCount();
    emulator->update([&](EmulatorConfig &c) {
        c.input = {inputType, 1};
        c.mute = mute;
        for (int i = 0; i < 6; ++i)
            c.errors[size_t(i)] = errors[i];
    });
    if (inputType != 1 || mute != 30 || errors != QList<int>{0, 0, 0, 0, 0, 0})
        QTRY_VERIFY(OutcomeCount() > before);

    const ProjectorState s = projector->GetState();
    const QString shown =
        u"%1 %2 %3 %4"_s.arg(s.power.GetText())
            .arg(s.input.GetType() == InputStatus::Unavailable ? u"-"_s
                                                               : s.input.GetShortText(false))
            .arg(s.mute.GetCode() == MuteStatus::Off ? u"Off"_s : s.mute.GetText())
            .arg(s.worstError ? QString::number(s.worstError->GetLevel()) : u"-"_s);
    QCOMPARE(shown, cells);

    std::lock_guard guard(m_seen.lock);
    const auto &last = m_seen.outcomes.back();
    QCOMPARE(last.first, AddressOf(*emulator));
    QVERIFY(last.second.registered);
    QCOMPARE(last.second.name, u"Notifier"_s);
    QCOMPARE(last.second.event ? int(last.second.event->GetLevel()) : -1, eventLevel);
}

void TestClassTwo::notification_fromUnregisteredAddress_isIgnored()
{
    const int port = FreeUdpPort();
    const auto listener = StartListener(port);
    QVERIFY(listener);
    UdpSender stranger(m_fleet->SilentAddress(240));
    stranger.Send(port, "%2POWR=1\r");
    QTRY_COMPARE(OutcomeCount(), 1);
    std::lock_guard guard(m_seen.lock);
    QCOMPARE(m_seen.outcomes[0].first, m_fleet->SilentAddress(240));
    QVERIFY(!m_seen.outcomes[0].second.registered);
    QVERIFY(!m_seen.outcomes[0].second.changed);
}

void TestClassTwo::listener_severalMessagesInOneDatagram_eachTaken()
{
    const int port = FreeUdpPort();
    const auto listener = StartListener(port);
    QVERIFY(listener);
    UdpSender sender(m_fleet->SilentAddress(242));
    sender.Send(port, "%2LKUP=00:00:5E:00:53:01\r" + QByteArray(2, '\0') + "%2POWR=1\r%2INPT=31\r");
    QTRY_COMPARE(OutcomeCount(), 3);
    QCOMPARE(listener->HandledCount(), quint64(3));
    QCOMPARE(listener->GarbageCount(), quint64(0));
}

void TestClassTwo::listener_portTaken_returnsEaddrinuse()
{
    const int port = FreeUdpPort();
    NotificationListener first;
    QCOMPARE(first.Start(port), 0);
    NotificationListener second;
    QCOMPARE(second.Start(port), EADDRINUSE);
    QVERIFY(!second.IsRunning());
    // The one that has the port still takes notifications.
    first.Stop();
    QCOMPARE(second.Start(port), 0);
}

// Garbage costs a parse at most; beyond the cap per second not even that, and a notification
// after the flood still gets through.
void TestClassTwo::listener_garbageFlood_isCountedAndCapped()
{
    const int port = FreeUdpPort();
    const auto listener = StartListener(port);
    QVERIFY(listener);
    listener->SetMaxPerSecond(500);
    UdpSender flood(m_fleet->SilentAddress(241));
    const QByteArray kinds[] = {QByteArray("%2POWR=9\r"), QByteArray(600, 'x'),
                                QByteArray("%2ACKN=zz\r"), QByteArray("\0\0\0", 3)};
    for (int i = 0; i < 10000; ++i)
        flood.Send(port, kinds[i % 4]);
    // Datagrams the socket buffer could not hold are lost before the listener sees them.
    QTRY_VERIFY(listener->GarbageCount() + listener->DroppedCount() > 0);
    QVERIFY(listener->GarbageCount() <= 10000);
    QTRY_VERIFY_WITH_TIMEOUT(listener->DroppedCount() > 0, 10000);
    QCOMPARE(listener->HandledCount(), quint64(0));

    QTest::qWait(1100); // a new second: the cap lets notifications in again
    flood.Send(port, "%2POWR=1\r");
    QTRY_COMPARE(OutcomeCount(), 1);
}

// Controller and fleet in two namespaces joined by a veth pair: Class 1 projectors are found by
// the sweep, Class 2 ones also by the broadcast (once), and one beyond the swept network by the
// broadcast alone.
void TestClassTwo::broadcastSearch_insideOwnNamespaces()
{
    if (const QString why = TestNamespace::SkipReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    SplitNetwork split(u"lumarin-udp"_s, 215, 217);
    if (!split.IsCreated())
        QSKIP(qPrintable(u"cannot create a network namespace: "_s + split.Error()));
    const QString &net = split.net;
    const QString &far = split.far;
    TestNamespace &controller = split.controller;
    TestNamespace &fleet = split.fleet;
    // The far projector is reachable, but not on any network the sweep walks.
    QVERIFY2(split.Link(24, {net + u".10"_s, net + u".11"_s, net + u".12"_s, net + u".13"_s,
                             far + u".5"_s}),
             qPrintable(split.Error()));

    QTemporaryDir dir;
    QFile json(dir.filePath(u"fleet.json"_s));
    QVERIFY(json.open(QIODevice::WriteOnly));
    json.write(uR"([
        {"address": "%1.10", "name": "One", "class": 1},
        {"address": "%1.11", "name": "Two", "class": 2, "macAddress": "02:00:00:00:00:11"},
        {"address": "%1.12", "name": "Three", "class": 2, "password": "pw",
         "macAddress": "02:00:00:00:00:12"},
        {"address": "%1.13", "name": "Quiet", "class": 2, "answerSearch": false},
        {"address": "%2.5", "name": "Far", "class": 2, "macAddress": "02:00:00:00:00:05"}
    ])"_s.arg(net, far)
                   .toUtf8());
    json.close();
    QProcess emulators;
    emulators.setProcessChannelMode(QProcess::MergedChannels);
    emulators.start(u"ip"_s,
                    fleet.ExecArgs(QStringLiteral(PJLINK_EMULATOR_PATH),
                                   {u"--config"_s, json.fileName(), u"--seconds"_s, u"120"_s}));
    QVERIFY(emulators.waitForStarted(5000));
    // One line per emulator once it serves.
    QByteArray banner;
    QTRY_VERIFY_WITH_TIMEOUT((banner += emulators.readAll()).count('\n') >= 5, 10000);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kFleetVariable), fleet.GetName());
    environment.insert(QString::fromLatin1(kNetVariable), net + u'|' + far);
    const ProcessRun run = RunProcess(
        u"ip"_s, controller.ExecArgs(QCoreApplication::applicationFilePath()), 120000, environment);
    emulators.terminate();
    emulators.waitForFinished(5000);
    qInfo().noquote() << "in the controller's namespace:\n" << run.output;
    QVERIFY2(run.finished, "the search inside the namespace did not end in time");
    QCOMPARE(run.exitCode, 0);
}

// Runs in the controller's namespace made by broadcastSearch_insideOwnNamespaces.
class TestClassTwoInNamespace : public QObject
{
    Q_OBJECT

public:
    TestClassTwoInNamespace(const QString &net, const QString &far) : m_net(net), m_far(far) {}

private slots:
    void search_findsEveryProjectorOnce();

private:
    QString m_net;
    QString m_far;
};

void TestClassTwoInNamespace::search_findsEveryProjectorOnce()
{
    SetStringLanguage(StringLanguage::English);
    QCOMPARE(ProjectorManager::InitProjectors(), 0);
    ProjectorManager::SetPort(4352);
    ProjectorManager::SetRecvTimeOut(1);
    ProjectorManager *manager = ProjectorManager::GetInstance();
    QCOMPARE(SearchBroadcastAddresses(), std::vector<quint32>{*ParseIPv4(m_net + u".255"_s)});

    // The broadcast alone first: every Class 2 projector that answers searches, once.
    std::vector<SearchAnswer> answers;
    QCOMPARE(BroadcastSearch(nullptr, std::chrono::milliseconds(1500), {}, answers), 0);
    std::map<QString, QString> macs;
    for (const SearchAnswer &answer : answers) {
        QVERIFY(!macs.count(FormatIPv4(answer.address)));
        macs[FormatIPv4(answer.address)] = QString::fromStdString(pjlink::formatMac(answer.mac));
    }
    const std::map<QString, QString> expectedMacs{{m_net + u".11"_s, u"02:00:00:00:00:11"_s},
                                                  {m_net + u".12"_s, u"02:00:00:00:00:12"_s},
                                                  {m_far + u".5"_s, u"02:00:00:00:00:05"_s}};
    QCOMPARE(macs, expectedMacs);

    // The search the window and lumarinctl run: sweep and broadcast, no address twice.
    manager->SetBroadcastWait(std::chrono::milliseconds(2000));
    ProjectorManager::SearchResults results;
    manager->Search(results);
    std::map<QString, std::pair<QString, int>> found;
    for (const auto &candidate : results) {
        QVERIFY2(!found.count(candidate->GetIPAddress()), qPrintable(candidate->GetIPAddress()));
        found[candidate->GetIPAddress()] = {candidate->GetName(), candidate->GetConnectResult()};
    }
    const std::map<QString, std::pair<QString, int>> expected{
        {m_net + u".10"_s, {u"One"_s, 0}},   {m_net + u".11"_s, {u"Two"_s, 0}},
        {m_net + u".12"_s, {QString(), 10}}, {m_net + u".13"_s, {u"Quiet"_s, 0}},
        {m_far + u".5"_s, {u"Far"_s, 0}},
    };
    QCOMPARE(found, expected);
    ProjectorManager::DestroyInstance();
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString nets = qEnvironmentVariable(kNetVariable);
    if (nets.isEmpty()) {
        TestClassTwo test;
        QTEST_SET_MAIN_SOURCE_PATH
        return QTest::qExec(&test, argc, argv);
    }
    // A broadcast here goes to every adapter's network: refuse anywhere but our own namespace.
    QString seen;
    if (!OnlyTheseAdapters({u"lum0"_s}, &seen)) {
        std::fprintf(stderr, "not inside the test's namespace (adapters: %s); nothing sent\n",
                     qPrintable(seen));
        return 3;
    }
    TestClassTwoInNamespace test(nets.section(u'|', 0, 0), nets.section(u'|', 1, 1));
    return QTest::qExec(&test, argc, argv);
}

#include "tst_classtwo.moc"
