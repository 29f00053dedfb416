#include "model/automaticsearch.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "platform/echo.h"
#include "platform/tcpconnect.h"
#include "res/stringtable.h"
#include "tests/common/testnamespace.h"
#include "tools/emulator/emulatedprojector.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// Set for the copy of this test that runs inside the namespace: the first three octets of its
// test network.
constexpr char kNetworkVariable[] = "LUMARIN_SEARCH_NET";
// The namespace's adapters: lum0 and lum1 (a veth pair) both on the test network; lum2 up
// without link and lum3 down, both with addresses of another network that must not be walked.
const QStringList kAdapters{u"lum0"_s, u"lum1"_s, u"lum2"_s, u"lum3"_s};

// Live threads of this process.
int ThreadCount()
{
    return int(QDir(u"/proc/self/task"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

} // namespace

// What needs no adapter: the address arithmetic and the ranges nothing is sent to.
class TestSearch : public QObject
{
    Q_OBJECT

private slots:
    void networkRange_data();
    void networkRange();
    void probedAddresses_data();
    void probedAddresses();
    void probeRange_refusedRange_probesNothing_data();
    void probeRange_refusedRange_probesNothing();
    void search_insideOwnNamespace();
};

void TestSearch::networkRange_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("first"); // empty: no range
    QTest::addColumn<QString>("last");

    QTest::newRow("/24") << u"192.168.1.10"_s << u"255.255.255.0"_s << u"192.168.1.0"_s
                         << u"192.168.1.255"_s;
    QTest::newRow("/32: the address alone")
        << u"192.168.1.10"_s << u"255.255.255.255"_s << u"192.168.1.10"_s << u"192.168.1.10"_s;
    QTest::newRow("/23 across an octet")
        << u"10.0.3.7"_s << u"255.255.254.0"_s << u"10.0.2.0"_s << u"10.0.3.255"_s;
    QTest::newRow("/27") << u"10.214.5.9"_s << u"255.255.255.224"_s << u"10.214.5.0"_s
                         << u"10.214.5.31"_s;
    QTest::newRow("odd last octet: the address alone")
        << u"172.16.4.9"_s << u"255.255.0.1"_s << u"172.16.4.9"_s << u"172.16.4.9"_s;
    QTest::newRow("non-contiguous: its trailing zeros")
        << u"10.1.2.3"_s << u"255.0.255.0"_s << u"10.1.2.0"_s << u"10.1.2.255"_s;
    QTest::newRow("non-contiguous, low bit set")
        << u"10.1.2.3"_s << u"0.255.0.4"_s << u"10.1.2.0"_s << u"10.1.2.3"_s;
    QTest::newRow("/16 walked whole")
        << u"172.16.40.1"_s << u"255.255.0.0"_s << u"172.16.0.0"_s << u"172.16.255.255"_s;
    QTest::newRow("/15 cut to the /16 of the address")
        << u"172.17.40.1"_s << u"255.254.0.0"_s << u"172.17.0.0"_s << u"172.17.255.255"_s;
    QTest::newRow("/8 cut to the /16 of the address")
        << u"10.200.3.4"_s << u"255.0.0.0"_s << u"10.200.0.0"_s << u"10.200.255.255"_s;
    QTest::newRow("mask 0 cut to the /16 of the address")
        << u"203.0.113.5"_s << u"0.0.0.0"_s << u"203.0.0.0"_s << u"203.0.255.255"_s;
    QTest::newRow("address 0 skipped")
        << u"0.0.0.0"_s << u"255.255.255.0"_s << QString() << QString();
}

void TestSearch::networkRange()
{
    QFETCH(QString, address);
    QFETCH(QString, mask);
    QFETCH(QString, first);
    QFETCH(QString, last);
    const auto range = NetworkRangeOf(*ParseIPv4(address), *ParseIPv4(mask));
    QCOMPARE(range.has_value(), !first.isEmpty());
    if (range) {
        QCOMPARE(FormatIPv4(range->first), first);
        QCOMPARE(FormatIPv4(range->last), last);
    }
}

void TestSearch::probedAddresses_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<int>("probed");
    QTest::addColumn<QString>("lowest");
    QTest::addColumn<QString>("highest");
    QTest::addColumn<QStringList>("skippedInside"); // skipped, other than the two ends

    QTest::newRow("/24") << u"192.168.1.0"_s << u"192.168.1.255"_s << 254 << u"192.168.1.1"_s
                         << u"192.168.1.254"_s << QStringList();
    QTest::newRow("/23: .255 and .0 inside skipped")
        << u"10.0.2.0"_s << u"10.0.3.255"_s << 508 << u"10.0.2.1"_s << u"10.0.3.254"_s
        << QStringList{u"10.0.2.255"_s, u"10.0.3.0"_s};
    QTest::newRow("/27: network and broadcast skipped")
        << u"10.214.5.0"_s << u"10.214.5.31"_s << 30 << u"10.214.5.1"_s << u"10.214.5.30"_s
        << QStringList();
    QTest::newRow("/27 at the top of an octet")
        << u"10.214.5.224"_s << u"10.214.5.255"_s << 30 << u"10.214.5.225"_s << u"10.214.5.254"_s
        << QStringList();
    QTest::newRow("/32") << u"192.168.1.10"_s << u"192.168.1.10"_s << 1 << u"192.168.1.10"_s
                         << u"192.168.1.10"_s << QStringList();
    QTest::newRow("/31: both are hosts")
        << u"10.9.9.6"_s << u"10.9.9.7"_s << 2 << u"10.9.9.6"_s << u"10.9.9.7"_s << QStringList();
    QTest::newRow("/32 ending in 255")
        << u"10.9.9.255"_s << u"10.9.9.255"_s << 0 << QString() << QString() << QStringList();
}

// Walks a range as ProbeRange does and counts what it would probe.
void TestSearch::probedAddresses()
{
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(int, probed);
    QFETCH(QString, lowest);
    QFETCH(QString, highest);
    QFETCH(QStringList, skippedInside);

    const auto range = ProbeBoundsOf(first, last);
    QVERIFY(range);
    int count = 0;
    QString seenLowest;
    QString seenHighest;
    QStringList seenSkipped;
    for (quint64 a = range->first; a <= range->last; ++a) {
        const QString text = FormatIPv4(quint32(a));
        if (!IsProbedAddress(quint32(a), *range)) {
            if (a != range->first && a != range->last)
                seenSkipped << text;
            continue;
        }
        ++count;
        if (seenLowest.isEmpty())
            seenLowest = text;
        seenHighest = text;
    }
    QCOMPARE(count, probed);
    QCOMPARE(seenLowest, lowest);
    QCOMPARE(seenHighest, highest);
    QCOMPARE(seenSkipped, skippedInside);
}

void TestSearch::probeRange_refusedRange_probesNothing_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::newRow("last before first") << u"10.0.0.9"_s << u"10.0.0.8"_s;
    QTest::newRow("2^31 addresses") << u"0.0.0.0"_s << u"127.255.255.255"_s;
    QTest::newRow("everything") << u"0.0.0.0"_s << u"255.255.255.255"_s;
    QTest::newRow("no address") << u"10.0.0"_s << u"10.0.0.9"_s;
    QTest::newRow("octet too large") << u"10.0.0.1"_s << u"10.0.0.256"_s;
    QTest::newRow("blank") << u" 10.0.0.1"_s << u"10.0.0.9"_s;
}

// Refused before the first probe: ProbeRange starts no thread and sends nothing anywhere.
void TestSearch::probeRange_refusedRange_probesNothing()
{
    QFETCH(QString, first);
    QFETCH(QString, last);
    QVERIFY(!ProbeBoundsOf(first, last));

    std::atomic<int> checks{0};
    platform::SetEchoCheckOverride([&](const QString &) {
        ++checks;
        return false;
    });
    ProjectorManager *manager = ProjectorManager::GetInstance();
    manager->SetRunning(true);
    ProjectorManager::SearchResults results;
    QVERIFY(manager->ProbeRange(results, first, last));
    manager->DeleteSearchWorkers();
    manager->SetRunning(false);
    platform::SetEchoCheckOverride({});
    QCOMPARE(checks.load(), 0);
    QVERIFY(results.empty());
    ProjectorManager::DestroyInstance();
}

// The search proper walks every adapter's network, so it runs only in a namespace of this
// test's own, in a copy of this test started there (TestSearchInNamespace below).
void TestSearch::search_insideOwnNamespace()
{
    if (const QString why = TestNamespace::SkipReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    TestNamespace ns(u"lumarin-search"_s);
    if (!ns.IsCreated())
        QSKIP(qPrintable(u"cannot create a network namespace: "_s + ns.GetError()));

    const QString net = u"10.214.%1"_s.arg(::getpid() % 250);
    const QList<QStringList> steps{
        {u"link"_s, u"set"_s, u"lo"_s, u"up"_s},
        {u"link"_s, u"add"_s, u"lum0"_s, u"type"_s, u"veth"_s, u"peer"_s, u"name"_s, u"lum1"_s},
        {u"addr"_s, u"add"_s, net + u".1/27"_s, u"dev"_s, u"lum0"_s},
        {u"addr"_s, u"add"_s, net + u".2/27"_s, u"dev"_s, u"lum1"_s},
        {u"link"_s, u"set"_s, u"lum0"_s, u"up"_s},
        {u"link"_s, u"set"_s, u"lum1"_s, u"up"_s},
        {u"link"_s, u"add"_s, u"lum2"_s, u"type"_s, u"veth"_s, u"peer"_s, u"name"_s, u"lum3"_s},
        {u"addr"_s, u"add"_s, u"10.216.0.1/24"_s, u"dev"_s, u"lum2"_s},
        {u"addr"_s, u"add"_s, u"10.216.1.1/24"_s, u"dev"_s, u"lum3"_s},
        {u"link"_s, u"set"_s, u"lum2"_s, u"up"_s},
        // The emulated projectors sit on loopback: they answer, but lo is not walked.
        {u"addr"_s, u"add"_s, net + u".3/32"_s, u"dev"_s, u"lo"_s},
        {u"addr"_s, u"add"_s, net + u".5/32"_s, u"dev"_s, u"lo"_s},
        {u"addr"_s, u"add"_s, net + u".7/32"_s, u"dev"_s, u"lo"_s},
        {u"addr"_s, u"add"_s, net + u".9/32"_s, u"dev"_s, u"lo"_s},
        {u"addr"_s, u"add"_s, net + u".28/32"_s, u"dev"_s, u"lo"_s},
        // Sent towards a link address nobody has: silent, no refusal and no unreachable error.
        {u"neigh"_s, u"add"_s, net + u".20"_s, u"lladdr"_s, u"02:00:00:00:00:20"_s, u"dev"_s,
         u"lum0"_s, u"nud"_s, u"permanent"_s},
    };
    QVERIFY2(ns.IpSteps(steps), qPrintable(ns.GetError()));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kNetworkVariable), net);
    const ProcessRun run = RunProcess(u"ip"_s, ns.ExecArgs(QCoreApplication::applicationFilePath()),
                                      150000, environment);
    qInfo().noquote() << "inside the namespace:\n" << run.output;
    QVERIFY2(run.finished, "the search test inside the namespace did not end in time");
    QCOMPARE(run.exitCode, 0);
}

// Runs inside the namespace made by TestSearch::search_insideOwnNamespace.
class TestSearchInNamespace : public QObject
{
    Q_OBJECT

public:
    explicit TestSearchInNamespace(const QString &net) : m_net(net) {}

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    void addressRanges_onlyAdaptersUpWithLink();
    void tcpConnectCheck_data();
    void tcpConnectCheck();
    void search_findsEachProjectorOnce();
    void search_probesHostsOnly_eachOncePerAdapter();
    void probeRange_neverMoreThanCapAlive();
    void stopSearch_keepsWhatWasFound_returnsPromptly();

private:
    QString Address(int host) const { return m_net + u'.' + QString::number(host); }
    EmulatedProjector &Emulator(int host) { return *m_emulators.at(host); }

    QString m_net;
    ProjectorManager *m_manager = nullptr;
    std::map<int, std::unique_ptr<EmulatedProjector>> m_emulators;
};

void TestSearchInNamespace::initTestCase()
{
    SetStringLanguage(StringLanguage::English);
    QCOMPARE(ProjectorManager::InitProjectors(), 0);
    ProjectorManager::SetPort(4352);
    ProjectorManager::SetRecvTimeOut(1);
    m_manager = ProjectorManager::GetInstance();

    struct Setup
    {
        int host;
        const char *name;
        const char *password;
        bool listening;
    };
    const Setup setups[] = {{3, "Alpha", "", true},
                            {5, "Beta", "secret", true},
                            {7, "Gamma", "", false},
                            {9, "Delta", "", true},
                            {28, "Omega", "", true}};
    for (const Setup &setup : setups) {
        EmulatorConfig config;
        config.address = Address(setup.host).toStdString();
        config.name = setup.name;
        config.password = setup.password;
        config.listening = setup.listening;
        auto emulator = std::make_unique<EmulatedProjector>(config);
        std::string error;
        QVERIFY2(emulator->start(&error), error.c_str());
        m_emulators[setup.host] = std::move(emulator);
    }
    // Registered already: the search must leave it alone.
    QVERIFY(m_manager->AddProjector(
        std::make_unique<Projector>(u"Delta"_s, Address(9), QString(), u"M"_s, u"/"_s)));
}

void TestSearchInNamespace::cleanup()
{
    platform::SetEchoCheckOverride({});
    m_manager->DeleteSearchWorkers();
}

void TestSearchInNamespace::cleanupTestCase()
{
    ProjectorManager::DestroyInstance();
    m_emulators.clear();
}

void TestSearchInNamespace::addressRanges_onlyAdaptersUpWithLink()
{
    QStringList starts;
    QStringList ends;
    QCOMPARE(m_manager->GetAddressRanges(starts, ends), 2);
    QCOMPARE(starts, QStringList({Address(0), Address(0)}));
    QCOMPARE(ends, QStringList({Address(31), Address(31)}));
}

void TestSearchInNamespace::tcpConnectCheck_data()
{
    QTest::addColumn<int>("host");
    QTest::addColumn<int>("result");
    QTest::newRow("listening") << 3 << 0;
    QTest::newRow("port closed") << 7 << ECONNREFUSED;
    QTest::newRow("silent, bounded by the response wait time") << 20 << ETIMEDOUT;
}

void TestSearchInNamespace::tcpConnectCheck()
{
    QFETCH(int, host);
    QFETCH(int, result);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(ProjectorManager::TcpConnectCheck(Address(host)), result);
    // Never the system's connect time-out of minutes.
    const qint64 bound = ProjectorManager::GetRecvTimeOut() * 1000;
    QVERIFY2(timer.elapsed() <= bound + 1000, qPrintable(QString::number(timer.elapsed())));
    if (result == ETIMEDOUT)
        QVERIFY2(timer.elapsed() >= bound - 50, qPrintable(QString::number(timer.elapsed())));
}

void TestSearchInNamespace::search_findsEachProjectorOnce()
{
    const int registeredBefore = Emulator(9).connectionCount();
    ProjectorManager::SearchResults results;
    m_manager->Search(results);
    QVERIFY(!m_manager->IsSearching());

    // Both adapters walk the same network, yet every projector shows once.
    std::map<QString, std::pair<QString, int>> found;
    for (const auto &candidate : results) {
        QVERIFY2(!found.count(candidate->GetIPAddress()), qPrintable(candidate->GetIPAddress()));
        found[candidate->GetIPAddress()] = {candidate->GetName(), candidate->GetConnectResult()};
        QVERIFY(!candidate->IsConnected());
    }
    const std::map<QString, std::pair<QString, int>> expected{
        {Address(3), {u"Alpha"_s, 0}},
        {Address(5), {QString(), 10}}, // no name without the password
        {Address(28), {u"Omega"_s, 0}},
    };
    QCOMPARE(found, expected);
    QCOMPARE(Emulator(9).connectionCount(), registeredBefore);
}

void TestSearchInNamespace::search_probesHostsOnly_eachOncePerAdapter()
{
    std::mutex lock;
    QMap<QString, int> probes;
    platform::SetEchoCheckOverride([&](const QString &address) {
        std::lock_guard guard(lock);
        ++probes[address];
        return false;
    });
    ProjectorManager::SearchResults results;
    m_manager->Search(results);
    platform::SetEchoCheckOverride({});

    QMap<QString, int> expected;
    for (int host = 1; host <= 30; ++host) {
        if (host != 9) // registered
            expected[Address(host)] = 2;
    }
    std::lock_guard guard(lock);
    QCOMPARE(probes, expected);
    QVERIFY(results.empty());
}

void TestSearchInNamespace::probeRange_neverMoreThanCapAlive()
{
    // Each probe holds its thread for a second: at one start per 10 ms, about a hundred would
    // be alive at once without the cap.
    std::atomic<int> inside{0};
    std::atomic<int> most{0};
    platform::SetEchoCheckOverride([&](const QString &) {
        const int now = ++inside;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        std::this_thread::sleep_for(std::chrono::seconds(1));
        --inside;
        return false;
    });

    const int threadsBefore = ThreadCount();
    int threadsMost = threadsBefore;
    std::atomic<bool> done{false};
    bool walked = false;
    ProjectorManager::SearchResults results;
    m_manager->SetRunning(true);
    std::thread search([&] {
        walked = m_manager->ProbeRange(results, Address(0), m_net + u".255"_s);
        m_manager->DeleteSearchWorkers();
        done = true;
    });
    QElapsedTimer timer;
    timer.start();
    while (!done && timer.elapsed() < 60000) {
        threadsMost = std::max(threadsMost, ThreadCount());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    search.join();
    m_manager->SetRunning(false);

    QVERIFY(walked);
    QCOMPARE(most.load(), ProjectorManager::MAX_SEARCH_WORKERS);
    // The walking thread, the probes, and now and then a probe's thread just before it is
    // joined: still never beyond the cap.
    qInfo("threads: %d before, %d at most", threadsBefore, threadsMost);
    QVERIFY(threadsMost - threadsBefore <= 1 + ProjectorManager::MAX_SEARCH_WORKERS);
}

void TestSearchInNamespace::stopSearch_keepsWhatWasFound_returnsPromptly()
{
    const int lateBefore = Emulator(28).connectionCount();
    const int alphaBefore = Emulator(3).connectionCount();
    const int betaBefore = Emulator(5).connectionCount();
    ProjectorManager::SearchResults results;
    m_manager->BeginSearch();
    QVERIFY(m_manager->IsSearching());
    std::thread search([&] { m_manager->Search(results); });

    // Both early projectors have had their TCP check and library connect: their probes are
    // inside the search lock and finish whatever comes.
    QElapsedTimer timer;
    timer.start();
    while ((Emulator(3).connectionCount() < alphaBefore + 2 ||
            Emulator(5).connectionCount() < betaBefore + 2) &&
           timer.elapsed() < 10000)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    m_manager->StopSearch();
    timer.restart();
    while (m_manager->IsSearching() && timer.elapsed() < 20000)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const qint64 afterStop = timer.elapsed();
    search.join();

    // The probes still running end within an echo check and a connect.
    qInfo("Search returned %lld ms after StopSearch", static_cast<long long>(afterStop));
    QVERIFY2(afterStop < 5000, qPrintable(QString::number(afterStop)));
    QStringList found;
    for (const auto &candidate : results)
        found << candidate->GetIPAddress();
    found.sort();
    QCOMPARE(found, QStringList({Address(3), Address(5)}));
    QCOMPARE(Emulator(28).connectionCount(), lateBefore); // never probed
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString net = qEnvironmentVariable(kNetworkVariable);
    if (net.isEmpty()) {
        TestSearch test;
        QTEST_SET_MAIN_SOURCE_PATH
        return QTest::qExec(&test, argc, argv);
    }
    // A search here walks every adapter's network: refuse anywhere but our own namespace.
    QString seen;
    if (!OnlyTheseAdapters(kAdapters, &seen)) {
        std::fprintf(stderr, "not inside the test's namespace (adapters: %s); nothing probed\n",
                     qPrintable(seen));
        return 3;
    }
    TestSearchInNamespace test(net);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_search.moc"
