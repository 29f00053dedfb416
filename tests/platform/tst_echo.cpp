#include "platform/echo.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;
using platform::EchoMechanism;

namespace {

// Helper mode: `tst_echo --echo-helper PORT ADDRESS...` checks every address at once, one
// thread each, and prints "ADDRESS RESULT MILLISECONDS" per address and "mechanism NAME" last.
// The tests run it inside their namespace and as an unprivileged user.
constexpr char kHelperFlag[] = "--echo-helper";

const char *MechanismName(EchoMechanism m)
{
    switch (m) {
    case EchoMechanism::IcmpDatagram:
        return "IcmpDatagram";
    case EchoMechanism::IcmpRaw:
        return "IcmpRaw";
    case EchoMechanism::TcpConnect:
        return "TcpConnect";
    case EchoMechanism::Unknown:
        break;
    }
    return "Unknown";
}

int RunHelper(int argc, char **argv)
{
    if (argc < 4)
        return 2;
    const int port = std::atoi(argv[2]);
    const int count = argc - 3;
    std::vector<int> results(static_cast<size_t>(count));
    std::vector<qint64> elapsed(static_cast<size_t>(count));
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back([&, i] {
            QElapsedTimer timer;
            timer.start();
            results[size_t(i)] = platform::EchoCheck(QString::fromLatin1(argv[3 + i]), port);
            elapsed[size_t(i)] = timer.elapsed();
        });
    }
    for (auto &t : threads)
        t.join();
    for (int i = 0; i < count; ++i)
        std::printf("%s %d %lld\n", argv[3 + i], results[size_t(i)],
                    static_cast<long long>(elapsed[size_t(i)]));
    std::printf("mechanism %s\n", MechanismName(platform::CurrentEchoMechanism()));
    return 0;
}

struct HelperRun
{
    struct Check
    {
        QString address;
        bool answered = false;
        qint64 ms = 0;
    };
    bool finished = false;
    QList<Check> checks;
    QString mechanism;
    QString errors;
};

// Runs program with args (ending in a helper command line) and reads what the helper printed.
HelperRun RunHelperProcess(const QString &program, const QStringList &args)
{
    HelperRun run;
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished(5000);
        return run;
    }
    run.finished = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    run.errors = QString::fromLocal8Bit(p.readAllStandardError());
    const auto lines = QString::fromLocal8Bit(p.readAllStandardOutput()).split(u'\n');
    for (const QString &line : lines) {
        const auto parts = line.split(u' ');
        if (parts.size() == 2 && parts[0] == u"mechanism")
            run.mechanism = parts[1];
        else if (parts.size() == 3)
            run.checks.append({parts[0], parts[1] == u"1", parts[2].toLongLong()});
    }
    return run;
}

QStringList HelperArgs(const QString &executable, int port, const QStringList &addresses)
{
    return QStringList{executable, QString::fromLatin1(kHelperFlag), QString::number(port)} +
           addresses;
}

QStringList AsNobody()
{
    return {u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s};
}

bool RunIp(const QStringList &args, QString *error = nullptr)
{
    QProcess p;
    p.start(u"ip"_s, args);
    const bool ok =
        p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (error)
        *error = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
    return ok;
}

// Why a test that needs namespaces or another user cannot run here; empty when it can.
QString SkipReason(bool needSetpriv)
{
    if (::geteuid() != 0)
        return u"needs root to create a network namespace and to switch users"_s;
    if (QStandardPaths::findExecutable(u"ip"_s).isEmpty())
        return u"the ip tool (iproute2) is not installed"_s;
    if (needSetpriv && QStandardPaths::findExecutable(u"setpriv"_s).isEmpty())
        return u"setpriv (util-linux) is not installed"_s;
    return {};
}

// Namespaces left by an earlier run that was killed before its clean-up.
void RemoveStaleNamespaces()
{
    QProcess p;
    p.start(u"ip"_s, {u"netns"_s, u"list"_s});
    if (!p.waitForFinished(10000))
        return;
    const auto lines = QString::fromLocal8Bit(p.readAllStandardOutput()).split(u'\n');
    for (const QString &line : lines) {
        const QString name = line.section(u' ', 0, 0);
        if (!name.startsWith(u"lumarin-echo-"))
            continue;
        const QString pid = name.mid(13);
        if (!QFile::exists(u"/proc/"_s + pid))
            RunIp({u"netns"_s, u"del"_s, name});
    }
}

// Who runs the check inside a test namespace, and what the namespace lets that user do.
enum class NsUser { Root, NobodyPingAllowed, Nobody };

// A network namespace of this test process with a veth pair, both ends inside: lum0 holds
// 10.213.X.1/24 and the answering addresses .2 to .8; everything else in the /24 is routed
// out of lum0 and stays unanswered (no one on lum1 claims it).
// Deleted again when the object goes, also when a test fails half-way.
class TestNamespace
{
public:
    TestNamespace()
        : m_name(u"lumarin-echo-%1"_s.arg(::getpid())),
          m_subnet(u"10.213.%1."_s.arg(::getpid() % 250))
    {
        RemoveStaleNamespaces();
        if (!RunIp({u"netns"_s, u"add"_s, m_name}, &m_error))
            return;
        m_created = true;
        const QStringList in{u"-n"_s, m_name};
        QStringList steps[] = {
            {u"link"_s, u"set"_s, u"lo"_s, u"up"_s},
            {u"link"_s, u"add"_s, u"lum0"_s, u"type"_s, u"veth"_s, u"peer"_s, u"name"_s, u"lum1"_s},
            {u"link"_s, u"set"_s, u"lum0"_s, u"up"_s},
            {u"link"_s, u"set"_s, u"lum1"_s, u"up"_s},
        };
        for (const auto &step : steps) {
            if (!RunIp(in + step, &m_error))
                return;
        }
        for (int host = 1; host <= 8; ++host) {
            const QString prefix = host == 1 ? u"/24"_s : u"/32"_s;
            if (!RunIp(in + QStringList{u"addr"_s, u"add"_s, Address(host) + prefix, u"dev"_s,
                                        u"lum0"_s},
                       &m_error))
                return;
        }
        m_ready = true;
    }
    ~TestNamespace()
    {
        if (m_created)
            RunIp({u"netns"_s, u"del"_s, m_name});
    }
    TestNamespace(const TestNamespace &) = delete;
    TestNamespace &operator=(const TestNamespace &) = delete;

    bool ready() const { return m_ready; }
    QString error() const { return m_error; }
    QString Address(int host) const { return m_subnet + QString::number(host); }
    // Lets every group open ICMP datagram sockets in this namespace only.
    bool AllowUnprivilegedIcmp()
    {
        QProcess p;
        p.start(u"ip"_s, {u"netns"_s, u"exec"_s, m_name, u"sh"_s, u"-c"_s,
                          u"echo '0 2147483647' > /proc/sys/net/ipv4/ping_group_range"_s});
        const bool ok =
            p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        m_error = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
        return ok;
    }
    // Arguments of ip that run a command inside the namespace as the given user.
    QStringList Exec(NsUser user) const
    {
        QStringList args{u"netns"_s, u"exec"_s, m_name};
        if (user != NsUser::Root)
            args += QStringList{u"setpriv"_s} + AsNobody();
        return args;
    }

private:
    QString m_name;
    QString m_subnet;
    QString m_error;
    bool m_created = false;
    bool m_ready = false;
};

} // namespace

class TestEcho : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void invalidAddress_falseAtOnce_data();
    void invalidAddress_falseAtOnce();
    void loopback_answers_data();
    void loopback_answers();
    // Before any child process: under ThreadSanitizer, a process that has started a child
    // through QProcess dies when it starts a thread afterwards.
    void override_replacesCheck_andRestores();
    void silentAddress_noReply_costsAbout600ms_data();
    void silentAddress_noReply_costsAbout600ms();
    void parallelChecks_keepRepliesApart_data();
    void parallelChecks_keepRepliesApart();
    void unprivileged_answersByTcpFallback_reportedOnce_data();
    void unprivileged_answersByTcpFallback_reportedOnce();

private:
    QTemporaryDir m_dir;
    // A copy of this executable that user nobody may run, wherever the build tree lies.
    QString m_publicExecutable;
};

void TestEcho::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup |
                                            QFile::ExeGroup);
    m_publicExecutable = m_dir.filePath(u"tst_echo"_s);
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), m_publicExecutable));
    QFile::setPermissions(m_publicExecutable, QFile::ReadOwner | QFile::ExeOwner |
                                                  QFile::ReadOther | QFile::ExeOther |
                                                  QFile::ReadGroup | QFile::ExeGroup);
}

void TestEcho::cleanup()
{
    platform::SetEchoCheckOverride({});
}

void TestEcho::invalidAddress_falseAtOnce_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("empty") << QString();
    QTest::newRow("name") << u"localhost"_s;
    QTest::newRow("three parts") << u"127.0.1"_s;
    QTest::newRow("octet too large") << u"127.0.0.256"_s;
    QTest::newRow("leading blank") << u" 127.0.0.1"_s;
    QTest::newRow("trailing blank") << u"127.0.0.1 "_s;
    QTest::newRow("with port") << u"127.0.0.1:4352"_s;
    QTest::newRow("IPv6") << u"::1"_s;
    QTest::newRow("embedded NUL") << u"127.0.0.1\0x"_s;
    QTest::newRow("non-Latin-1 digit") << u"127.0.0.\u0661"_s;
}

void TestEcho::invalidAddress_falseAtOnce()
{
    QFETCH(QString, address);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!platform::EchoCheck(address, 4352));
    // Far below one request's wait: nothing was sent.
    QVERIFY2(timer.elapsed() < 100, qPrintable(QString::number(timer.elapsed())));
}

void TestEcho::loopback_answers_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("127.0.0.1") << u"127.0.0.1"_s;
    QTest::newRow("127.0.0.42") << u"127.0.0.42"_s;
}

void TestEcho::loopback_answers()
{
    QFETCH(QString, address);
    // A listener, for when this process may send no ICMP and the check falls back to TCP.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress(address)));
    QVERIFY(platform::EchoCheck(address, server.serverPort()));
    const EchoMechanism m = platform::CurrentEchoMechanism();
    qInfo("mechanism: %s", MechanismName(m));
    QVERIFY(m != EchoMechanism::Unknown);
    if (::geteuid() == 0)
        QVERIFY(m == EchoMechanism::IcmpDatagram || m == EchoMechanism::IcmpRaw);
}

void TestEcho::override_replacesCheck_andRestores()
{
    std::atomic<int> calls{0};
    QString seen;
    platform::SetEchoCheckOverride([&](const QString &address) {
        if (calls++ == 0)
            seen = address;
        return address == u"192.0.2.10";
    });
    // Nothing is sent for these: the override answers, even for text that is no address.
    QVERIFY(platform::EchoCheck(u"192.0.2.10"_s, 4352));
    QCOMPARE(seen, u"192.0.2.10"_s);
    QVERIFY(!platform::EchoCheck(u"192.0.2.11"_s, 4352));
    QVERIFY(!platform::EchoCheck(u"not an address"_s, 4352));
    QCOMPARE(calls.load(), 3);

    // Replaced while other threads check: each call sees one check or the other, whole.
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&] {
            for (int n = 0; n < 2000 && !stop; ++n)
                platform::EchoCheck(u"192.0.2.10"_s, 4352);
        });
    for (int n = 0; n < 200; ++n)
        platform::SetEchoCheckOverride([](const QString &) { return true; });
    stop = true;
    for (auto &t : threads)
        t.join();

    platform::SetEchoCheckOverride({});
    QVERIFY(!platform::EchoCheck(u"not an address"_s, 4352));
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QVERIFY(platform::EchoCheck(u"127.0.0.1"_s, server.serverPort()));
}

namespace {

void AddNsUserRows()
{
    QTest::addColumn<NsUser>("user");
    QTest::addColumn<QString>("mechanism");
    QTest::newRow("raw ICMP as root") << NsUser::Root << u"IcmpRaw"_s;
    QTest::newRow("datagram ICMP as nobody") << NsUser::NobodyPingAllowed << u"IcmpDatagram"_s;
    QTest::newRow("TCP fallback as nobody") << NsUser::Nobody << u"TcpConnect"_s;
}

} // namespace

void TestEcho::silentAddress_noReply_costsAbout600ms_data()
{
    AddNsUserRows();
}

void TestEcho::silentAddress_noReply_costsAbout600ms()
{
    QFETCH(NsUser, user);
    QFETCH(QString, mechanism);
    if (const QString why = SkipReason(user != NsUser::Root); !why.isEmpty())
        QSKIP(qPrintable(why));
    TestNamespace ns;
    if (!ns.ready())
        QSKIP(qPrintable(u"cannot set up a network namespace: "_s + ns.error()));
    if (user == NsUser::NobodyPingAllowed)
        QVERIFY2(ns.AllowUnprivilegedIcmp(), qPrintable(ns.error()));

    // No listener inside the namespace: the TCP fallback hears RST from the answering address
    // and nothing from the silent one.
    for (const auto &[address, answers] :
         {std::pair{ns.Address(77), false}, std::pair{ns.Address(1), true}}) {
        const HelperRun run = RunHelperProcess(
            u"ip"_s, ns.Exec(user) + HelperArgs(m_publicExecutable, 4352, {address}));
        QVERIFY2(run.finished, qPrintable(run.errors));
        QCOMPARE(run.mechanism, mechanism);
        QCOMPARE(run.checks.size(), 1);
        QCOMPARE(run.checks[0].answered, answers);
        if (!answers) {
            // Two requests, 150 ms each plus 150 ms after each: about 600 ms, never the
            // connect time-out of the system.
            const qint64 ms = run.checks[0].ms;
            qInfo("%s: no reply after %lld ms", qPrintable(mechanism), ms);
            QVERIFY2(ms >= 450 && ms <= 2000, qPrintable(u"%1 ms"_s.arg(ms)));
        }
    }
}

void TestEcho::parallelChecks_keepRepliesApart_data()
{
    AddNsUserRows();
}

void TestEcho::parallelChecks_keepRepliesApart()
{
    QFETCH(NsUser, user);
    QFETCH(QString, mechanism);
    if (const QString why = SkipReason(user != NsUser::Root); !why.isEmpty())
        QSKIP(qPrintable(why));
    TestNamespace ns;
    if (!ns.ready())
        QSKIP(qPrintable(u"cannot set up a network namespace: "_s + ns.error()));
    if (user == NsUser::NobodyPingAllowed)
        QVERIFY2(ns.AllowUnprivilegedIcmp(), qPrintable(ns.error()));

    // Concurrent checks of answering and silent addresses, some of them twice: a raw socket
    // sees every reply, and no check may take another one's reply for its own.
    QStringList addresses;
    QHash<QString, bool> expected;
    for (int host = 1; host <= 8; ++host) {
        addresses << ns.Address(host) << ns.Address(100 + host);
        expected.insert(ns.Address(host), true);
        expected.insert(ns.Address(100 + host), false);
    }
    addresses << ns.Address(1) << ns.Address(101);
    const HelperRun run =
        RunHelperProcess(u"ip"_s, ns.Exec(user) + HelperArgs(m_publicExecutable, 4352, addresses));
    QVERIFY2(run.finished, qPrintable(run.errors));
    QCOMPARE(run.mechanism, mechanism);
    QCOMPARE(run.checks.size(), addresses.size());
    for (const auto &check : run.checks)
        QVERIFY2(check.answered == expected.value(check.address), qPrintable(check.address));
}

void TestEcho::unprivileged_answersByTcpFallback_reportedOnce_data()
{
    QTest::addColumn<bool>("listening");
    QTest::newRow("listener on the port") << true;
    QTest::newRow("port closed, connection refused") << false;
}

void TestEcho::unprivileged_answersByTcpFallback_reportedOnce()
{
    QFETCH(bool, listening);
    if (const QString why = SkipReason(true); !why.isEmpty())
        QSKIP(qPrintable(why));
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    const quint16 port = server.serverPort();
    if (!listening)
        server.close();

    // Two checks at once, so that the report is seen to come once for both.
    const QString address = u"127.0.0.1"_s;
    const HelperRun run = RunHelperProcess(
        u"setpriv"_s, AsNobody() + HelperArgs(m_publicExecutable, port, {address, address}));
    QVERIFY2(run.finished, qPrintable(run.errors));
    qInfo("mechanism as nobody: %s", qPrintable(run.mechanism));
    QCOMPARE(run.checks.size(), 2);
    QVERIFY(run.checks[0].answered && run.checks[1].answered);
    if (run.mechanism == u"IcmpDatagram")
        return; // this system grants unprivileged ICMP: no fallback to see
    QCOMPARE(run.mechanism, u"TcpConnect"_s);
    const QString report = u"ICMP echo is not permitted for this process; checking reachability "
                           u"by TCP connect to port %1 instead"_s.arg(port);
    QCOMPARE(run.errors.count(report), 1);
}

int main(int argc, char **argv)
{
    if (argc >= 2 && std::strcmp(argv[1], kHelperFlag) == 0)
        return RunHelper(argc, argv);
    QCoreApplication app(argc, argv);
    TestEcho test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_echo.moc"
