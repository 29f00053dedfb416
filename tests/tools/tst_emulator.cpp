// The emulated projector, seen from the wire as a PJLink client sees it.

#include "tools/emulator/emulatedprojector.h"
#include "tools/emulator/fleetconfig.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <cerrno>
#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// A PJLink peer reduced to bytes: connect, send, read up to CR, notice the close.
class RawClient
{
public:
    RawClient() = default;
    RawClient(const RawClient &) = delete;
    RawClient &operator=(const RawClient &) = delete;
    ~RawClient()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    // 0 when connected, else the errno of the failed connect.
    int connectTo(const std::string &address, int port = 4352)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
        if (::connect(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0)
            return 0;
        const int error = errno;
        ::close(m_fd);
        m_fd = -1;
        return error;
    }

    void send(const QByteArray &bytes)
    {
        [[maybe_unused]] const auto n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }

    // One line without its CR; empty when none came in time or the peer closed.
    QByteArray readLine(int timeoutMs = 3000)
    {
        QElapsedTimer timer;
        timer.start();
        while (true) {
            const auto cr = m_buffer.indexOf('\r');
            if (cr >= 0) {
                const QByteArray line = m_buffer.left(cr);
                m_buffer.remove(0, cr + 1);
                return line;
            }
            const int left = timeoutMs - static_cast<int>(timer.elapsed());
            if (left <= 0 || !fill(left))
                return {};
        }
    }

    // Sends a request (CR added unless it carries its own terminator) and reads the answer.
    QByteArray ask(const QByteArray &request)
    {
        send(request.contains('\r') ? request : request + '\r');
        return readLine();
    }

    // True once the peer has closed the connection, reading and dropping anything before it.
    bool closedByPeer(int timeoutMs = 3000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!m_closed) {
            const int left = timeoutMs - static_cast<int>(timer.elapsed());
            if (left <= 0)
                return false;
            fill(left);
        }
        return true;
    }

private:
    bool fill(int timeoutMs)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (m_closed || ::poll(&p, 1, timeoutMs) <= 0)
            return false;
        char chunk[1024];
        const auto n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0) {
            m_closed = true;
            return false;
        }
        m_buffer.append(chunk, n);
        return true;
    }

    int m_fd = -1;
    QByteArray m_buffer;
    bool m_closed = false;
};

// Each emulator gets an address of its own, so no test meets another's leftovers.
std::string freshAddress()
{
    static int next = 1;
    return "127.77.0." + std::to_string(next++);
}

std::unique_ptr<EmulatedProjector> started(EmulatorConfig config)
{
    if (config.address == EmulatorConfig().address)
        config.address = freshAddress();
    auto emulator = std::make_unique<EmulatedProjector>(std::move(config));
    std::string error;
    if (!emulator->start(&error)) {
        qWarning("start: %s", error.c_str());
        return nullptr;
    }
    return emulator;
}

QByteArray md5Hex(const QByteArray &text)
{
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
}

// A UDP socket on a loopback address: what a controller sees of a Class 2 projector.
class UdpPeer
{
public:
    // Port 0 takes a free one.
    explicit UdpPeer(const char *address, int port = 0)
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET, address, &addr.sin_addr);
        ::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&addr), &len);
        m_port = ntohs(addr.sin_port);
    }
    ~UdpPeer() { ::close(m_fd); }
    UdpPeer(const UdpPeer &) = delete;
    UdpPeer &operator=(const UdpPeer &) = delete;

    int port() const { return m_port; }
    void sendTo(const std::string &address, int port, const QByteArray &bytes)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET, address.c_str(), &to.sin_addr);
        ::sendto(m_fd, bytes.data(), size_t(bytes.size()), 0, reinterpret_cast<sockaddr *>(&to),
                 sizeof to);
    }
    // The next datagram, with the address it came from; empty when none came in time.
    QByteArray receive(int timeoutMs = 3000, QByteArray *from = nullptr)
    {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return {};
        char buffer[600];
        sockaddr_in source{};
        socklen_t len = sizeof source;
        const auto n =
            ::recvfrom(m_fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&source), &len);
        if (from) {
            char text[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &source.sin_addr, text, sizeof text);
            *from = text;
        }
        return n > 0 ? QByteArray(buffer, n) : QByteArray();
    }

private:
    int m_fd = -1;
    int m_port = 0;
};

enum Digest { RightDigest, OtherPasswordDigest, NoDigest, StaleRandomDigest };

} // namespace

class TestEmulator : public QObject
{
    Q_OBJECT

private slots:
    void greeting_data();
    void greeting();
    void authentication_data();
    void authentication();
    void answers_data();
    void answers();
    void power_warmsUpAndCoolsDown();
    void notListening_refusesUntilSwitchedOn();
    void dropAfterCommands_data();
    void dropAfterCommands();
    void answerDelay_delaysGreetingAndAnswers();
    void malformedAnswers_breakFramingInVariousWays();
    void rawAnswers_replaceNormalAnswers();
    void refusedAndDroppedSets_leaveQueriesAlone();
    void update_renamesWhileConnected();
    void idleConnection_isClosed();
    void lineWithoutCr_dropsConnection();
    void secondConnection_isServed();
    void stop_closesConnectionsPromptly();
    void start_failsWhenAddressTaken();
    void class2_answersSearch_data();
    void class2_answersSearch();
    void class2_notifiesLastPeer();
    void demoFleet_parses();
    void fleetConfig_readsEveryKey();
    void fleetConfig_rejects_data();
    void fleetConfig_rejects();
    void class2_answersLikeRealProjectors_data();
    void class2_answersLikeRealProjectors();
    void macAddress_oneSpellingInAcknAndLkup();
    void help_documentsEveryKey();
};

void TestEmulator::greeting_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("security off") << QString() << u"^PJLINK 0$"_s;
    QTest::newRow("security on") << u"secret"_s << u"^PJLINK 1 [0-9a-f]{8}$"_s;
}

void TestEmulator::greeting()
{
    QFETCH(QString, password);
    QFETCH(QString, pattern);
    EmulatorConfig config;
    config.password = password.toStdString();
    auto emulator = started(config);
    QVERIFY(emulator);

    RawClient first;
    RawClient second;
    QCOMPARE(first.connectTo(emulator->config().address), 0);
    QCOMPARE(second.connectTo(emulator->config().address), 0);
    const QByteArray a = first.readLine();
    const QByteArray b = second.readLine();
    QVERIFY2(QRegularExpression(pattern).match(QString::fromLatin1(a)).hasMatch(), a.constData());
    QVERIFY2(QRegularExpression(pattern).match(QString::fromLatin1(b)).hasMatch(), b.constData());
    if (!password.isEmpty())
        QVERIFY2(a != b, "every connection gets a random of its own");
}

void TestEmulator::authentication_data()
{
    QTest::addColumn<int>("digest");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("right digest") << int(RightDigest) << true;
    QTest::newRow("digest of another password") << int(OtherPasswordDigest) << false;
    QTest::newRow("no digest") << int(NoDigest) << false;
    QTest::newRow("digest of another random") << int(StaleRandomDigest) << false;
}

void TestEmulator::authentication()
{
    QFETCH(int, digest);
    QFETCH(bool, accepted);
    EmulatorConfig config;
    config.password = "admin";
    config.name = "Hall A";
    auto emulator = started(config);
    QVERIFY(emulator);

    RawClient client;
    QCOMPARE(client.connectTo(emulator->config().address), 0);
    const QByteArray random = client.readLine().mid(9);
    QCOMPARE(random.size(), 8);
    QByteArray prefix;
    if (digest == RightDigest)
        prefix = md5Hex(random + "admin");
    else if (digest == OtherPasswordDigest)
        prefix = md5Hex(random + "Admin");
    else if (digest == StaleRandomDigest)
        prefix = md5Hex(QByteArray(random).replace(0, 1, random[0] == '0' ? "1" : "0") + "admin");

    if (accepted) {
        QCOMPARE(client.ask(prefix + "%1POWR ?"), QByteArray("%1POWR=0"));
        QCOMPARE(client.ask("%1NAME ?"), QByteArray("%1NAME=Hall A"));
        QCOMPARE(emulator->receivedCommands(), (std::vector<std::string>{"POWR ?", "NAME ?"}));
    } else {
        QCOMPARE(client.ask(prefix + "%1POWR ?"), QByteArray("PJLINK ERRA"));
        QVERIFY(client.closedByPeer());
        QVERIFY(emulator->receivedCommands().empty());
    }
}

void TestEmulator::answers_data()
{
    QTest::addColumn<int>("power");
    QTest::addColumn<bool>("hasLamp");
    QTest::addColumn<QByteArrayList>("requests");
    QTest::addColumn<QByteArrayList>("answers");

    QTest::newRow("power query") << 0 << true << QByteArrayList{"%1POWR ?"}
                                 << QByteArrayList{"%1POWR=0"};
    QTest::newRow("power to the state it is in")
        << 1 << true << QByteArrayList{"%1POWR 1", "%1POWR ?"}
        << QByteArrayList{"%1POWR=OK", "%1POWR=1"};
    QTest::newRow("power bad parameter")
        << 0 << true << QByteArrayList{"%1POWR 2", "%1POWR", "%1POWR ?x"}
        << QByteArrayList{"%1POWR=ERR2", "%1POWR=ERR2", "%1POWR=ERR2"};
    QTest::newRow("power during cooling")
        << 2 << true << QByteArrayList{"%1POWR 1", "%1POWR 0", "%1POWR ?"}
        << QByteArrayList{"%1POWR=ERR3", "%1POWR=ERR3", "%1POWR=2"};
    QTest::newRow("input and mute while off")
        << 0 << true << QByteArrayList{"%1INPT ?", "%1INPT 31", "%1AVMT ?", "%1AVMT 31"}
        << QByteArrayList{"%1INPT=ERR3", "%1INPT=ERR3", "%1AVMT=ERR3", "%1AVMT=ERR3"};
    QTest::newRow("input and mute during warm-up")
        << 3 << true << QByteArrayList{"%1INPT ?", "%1AVMT 11"}
        << QByteArrayList{"%1INPT=ERR3", "%1AVMT=ERR3"};
    QTest::newRow("input set then query") << 1 << true << QByteArrayList{"%1INPT 31", "%1INPT ?"}
                                          << QByteArrayList{"%1INPT=OK", "%1INPT=31"};
    QTest::newRow("input it does not have") << 1 << true << QByteArrayList{"%1INPT 21", "%1INPT ?"}
                                            << QByteArrayList{"%1INPT=ERR2", "%1INPT=11"};
    QTest::newRow("input malformed")
        << 1 << true << QByteArrayList{"%1INPT 3", "%1INPT 3A", "%1INPT 311"}
        << QByteArrayList{"%1INPT=ERR2", "%1INPT=ERR2", "%1INPT=ERR2"};
    QTest::newRow("mute combines video and audio")
        << 1 << true << QByteArrayList{"%1AVMT 11", "%1AVMT 21", "%1AVMT ?",  "%1AVMT 10",
                                       "%1AVMT ?",  "%1AVMT 31", "%1AVMT 30", "%1AVMT ?"}
        << QByteArrayList{"%1AVMT=OK", "%1AVMT=OK", "%1AVMT=31", "%1AVMT=OK",
                          "%1AVMT=21", "%1AVMT=OK", "%1AVMT=OK", "%1AVMT=30"};
    QTest::newRow("mute bad parameter") << 1 << true << QByteArrayList{"%1AVMT 12", "%1AVMT 41"}
                                        << QByteArrayList{"%1AVMT=ERR2", "%1AVMT=ERR2"};
    QTest::newRow("lamp while on")
        << 1 << true << QByteArrayList{"%1LAMP ?"} << QByteArrayList{"%1LAMP=1200 1 35 1"};
    QTest::newRow("lamp while warming up")
        << 3 << true << QByteArrayList{"%1LAMP ?"} << QByteArrayList{"%1LAMP=1200 0 35 0"};
    QTest::newRow("no lamp") << 1 << false << QByteArrayList{"%1LAMP ?"}
                             << QByteArrayList{"%1LAMP=ERR1"};
    QTest::newRow("information") << 0 << true
                                 << QByteArrayList{"%1ERST ?", "%1INST ?", "%1NAME ?", "%1INF1 ?",
                                                   "%1INF2 ?", "%1INFO ?", "%1CLSS ?"}
                                 << QByteArrayList{"%1ERST=010002",   "%1INST=11 12 31",
                                                   "%1NAME=会議室 3", "%1INF1=Emulux",
                                                   "%1INF2=EP-100",   "%1INFO=rev 2",
                                                   "%1CLSS=1"};
    QTest::newRow("set on a query-only command")
        << 1 << true << QByteArrayList{"%1NAME Lobby", "%1ERST 0"}
        << QByteArrayList{"%1NAME=ERR2", "%1ERST=ERR2"};
    QTest::newRow("unknown command") << 1 << true << QByteArrayList{"%1ABCD ?", "%2SNUM ?"}
                                     << QByteArrayList{"%1ABCD=ERR1", "%2SNUM=ERR1"};
    QTest::newRow("CR LF accepted") << 0 << true << QByteArrayList{"%1POWR ?\r\n", "%1CLSS ?\r\n"}
                                    << QByteArrayList{"%1POWR=0", "%1CLSS=1"};
}

void TestEmulator::answers()
{
    QFETCH(int, power);
    QFETCH(bool, hasLamp);
    QFETCH(QByteArrayList, requests);
    QFETCH(QByteArrayList, answers);
    QCOMPARE(requests.size(), answers.size());

    EmulatorConfig config;
    config.power = power;
    config.warmUpMs = 600000;
    config.coolingMs = 600000;
    config.name = "会議室 3";
    config.otherInfo = "rev 2";
    config.inputs = {{1, 1}, {1, 2}, {3, 1}};
    config.input = {1, 1};
    config.errors = {0, 1, 0, 0, 0, 2};
    config.lamps.clear();
    if (hasLamp)
        config.lamps = {{1200, 0}, {35, 1}};
    auto emulator = started(config);
    QVERIFY(emulator);

    RawClient client;
    QCOMPARE(client.connectTo(emulator->config().address), 0);
    QCOMPARE(client.readLine(), QByteArray("PJLINK 0"));
    for (qsizetype i = 0; i < requests.size(); ++i)
        QCOMPARE(client.ask(requests[i]), answers[i]);
}

void TestEmulator::power_warmsUpAndCoolsDown()
{
    EmulatorConfig config;
    config.warmUpMs = 300;
    config.coolingMs = 300;
    auto emulator = started(config);
    QVERIFY(emulator);
    RawClient client;
    QCOMPARE(client.connectTo(emulator->config().address), 0);
    QCOMPARE(client.readLine(), QByteArray("PJLINK 0"));

    QCOMPARE(client.ask("%1POWR 1"), QByteArray("%1POWR=OK"));
    QCOMPARE(client.ask("%1POWR ?"), QByteArray("%1POWR=3"));
    QCOMPARE(client.ask("%1POWR 0"), QByteArray("%1POWR=ERR3"));
    QTRY_COMPARE_WITH_TIMEOUT(client.ask("%1POWR ?"), QByteArray("%1POWR=1"), 5000);
    QCOMPARE(emulator->config().power, 1);
    QCOMPARE(client.ask("%1INPT ?"), QByteArray("%1INPT=11"));

    QCOMPARE(client.ask("%1POWR 0"), QByteArray("%1POWR=OK"));
    QCOMPARE(client.ask("%1POWR ?"), QByteArray("%1POWR=2"));
    QCOMPARE(client.ask("%1POWR 1"), QByteArray("%1POWR=ERR3"));
    QTRY_COMPARE_WITH_TIMEOUT(client.ask("%1POWR ?"), QByteArray("%1POWR=0"), 5000);
    QCOMPARE(emulator->config().power, 0);
}

void TestEmulator::notListening_refusesUntilSwitchedOn()
{
    EmulatorConfig config;
    config.listening = false;
    auto emulator = started(config);
    QVERIFY(emulator);
    const std::string address = emulator->config().address;
    {
        RawClient client;
        QCOMPARE(client.connectTo(address), ECONNREFUSED);
    }

    emulator->update([](EmulatorConfig &c) { c.listening = true; });
    RawClient open;
    QTRY_COMPARE(open.connectTo(address), 0);
    QCOMPARE(open.readLine(), QByteArray("PJLINK 0"));

    emulator->update([](EmulatorConfig &c) { c.listening = false; });
    QVERIFY(open.closedByPeer());
    RawClient late;
    QCOMPARE(late.connectTo(address), ECONNREFUSED);
}

void TestEmulator::dropAfterCommands_data()
{
    QTest::addColumn<int>("dropAfter");
    QTest::newRow("right after the greeting") << 0;
    QTest::newRow("on the first command") << 1;
    QTest::newRow("on the third command") << 3;
}

void TestEmulator::dropAfterCommands()
{
    QFETCH(int, dropAfter);
    EmulatorConfig config;
    config.dropAfterCommands = dropAfter;
    auto emulator = started(config);
    QVERIFY(emulator);
    RawClient client;
    QCOMPARE(client.connectTo(emulator->config().address), 0);
    QCOMPARE(client.readLine(), QByteArray("PJLINK 0"));

    for (int i = 1; i < dropAfter; ++i)
        QCOMPARE(client.ask("%1POWR ?"), QByteArray("%1POWR=0"));
    if (dropAfter > 0)
        QCOMPARE(client.ask("%1POWR ?"), QByteArray());
    QVERIFY(client.closedByPeer());
    QCOMPARE(emulator->receivedCommands().size(), std::size_t(dropAfter));
    QCOMPARE(emulator->connectionCount(), 1);
}

void TestEmulator::answerDelay_delaysGreetingAndAnswers()
{
    EmulatorConfig config;
    config.answerDelayMs = 400;
    auto emulator = started(config);
    QVERIFY(emulator);
    RawClient client;
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(client.connectTo(emulator->config().address), 0);
    QCOMPARE(client.readLine(), QByteArray("PJLINK 0"));
    QVERIFY2(timer.elapsed() >= 350, QByteArray::number(timer.elapsed()).constData());
    timer.restart();
    QCOMPARE(client.ask("%1POWR ?"), QByteArray("%1POWR=0"));
    QVERIFY2(timer.elapsed() >= 350, QByteArray::number(timer.elapsed()).constData());
}

void TestEmulator::malformedAnswers_breakFramingInVariousWays()
{
    EmulatorConfig config;
    config.malformedAnswers = true;
    auto emulator = started(config);
    QVERIFY(emulator);
    RawClient client;
    QCOMPARE(client.connectTo(emulator->config().address), 0);
    QCOMPARE(client.readLine(), QByteArray("PJLINK 0"));

    const QRegularExpression wellFormed(u"^%1POWR=(\\d|OK|ERR\\d)$"_s);
    QSet<QByteArray> seen;
    for (int i = 0; i < 6; ++i) {
        const QByteArray answer = client.ask("%1POWR ?");
        QVERIFY(!answer.isEmpty());
        QVERIFY2(!wellFormed.match(QString::fromLatin1(answer)).hasMatch(), answer.constData());
        seen.insert(answer);
    }
    QVERIFY(seen.size() >= 4);
}

void TestEmulator::rawAnswers_replaceNormalAnswers()
{
    EmulatorConfig config;
    config.rawAnswers = {{"POWR", "%1POWR=7"}, {"INPT", "%1INPT=3A"}, {"LAMP", "%1LAMP=abc"}};
    auto emulator = started(config);
    QVERIFY(emulator);
    RawClient client;
    QCOMPARE(client.connectTo(emulator->config().address), 0);
    QCOMPARE(client.readLine(), QByteArray("PJLINK 0"));
    QCOMPARE(client.ask("%1POWR ?"), QByteArray("%1POWR=7"));
    QCOMPARE(client.ask("%1POWR 1"), QByteArray("%1POWR=7"));
    QCOMPARE(client.ask("%1INPT ?"), QByteArray("%1INPT=3A"));
    QCOMPARE(client.ask("%1LAMP ?"), QByteArray("%1LAMP=abc"));
    QCOMPARE(client.ask("%1CLSS ?"), QByteArray("%1CLSS=1"));
    QCOMPARE(emulator->config().power, 0);

    emulator->update([](EmulatorConfig &c) { c.rawAnswers = {{"PJLINK", "PJLINK 2"}}; });
    RawClient second;
    QCOMPARE(second.connectTo(emulator->config().address), 0);
    QCOMPARE(second.readLine(), QByteArray("PJLINK 2"));
}

void TestEmulator::refusedAndDroppedSets_leaveQueriesAlone()
{
    EmulatorConfig config;
    config.power = 1;
    config.refusedSets = {{"POWR", 4}, {"INPT", 2}};
    config.droppedSets = {"AVMT"};
    auto emulator = started(config);
    QVERIFY(emulator);
    RawClient client;
    QCOMPARE(client.connectTo(emulator->config().address), 0);
    QCOMPARE(client.readLine(), QByteArray("PJLINK 0"));
    QCOMPARE(client.ask("%1POWR ?"), QByteArray("%1POWR=1"));
    QCOMPARE(client.ask("%1POWR 0"), QByteArray("%1POWR=ERR4"));
    QCOMPARE(client.ask("%1INPT 21"), QByteArray("%1INPT=ERR2"));
    QCOMPARE(client.ask("%1INPT ?"), QByteArray("%1INPT=11"));
    QCOMPARE(client.ask("%1AVMT ?"), QByteArray("%1AVMT=30"));
    QCOMPARE(emulator->config().power, 1); // the refused command changed nothing
    QCOMPARE(client.ask("%1AVMT 11"), QByteArray());
    QVERIFY(client.closedByPeer());
    QCOMPARE(emulator->config().mute, 30);
}

void TestEmulator::update_renamesWhileConnected()
{
    EmulatorConfig config;
    config.name = "Lobby";
    auto emulator = started(config);
    QVERIFY(emulator);
    RawClient client;
    QCOMPARE(client.connectTo(emulator->config().address), 0);
    QCOMPARE(client.readLine(), QByteArray("PJLINK 0"));
    QCOMPARE(client.ask("%1NAME ?"), QByteArray("%1NAME=Lobby"));
    emulator->update([](EmulatorConfig &c) { c.name = "Room 101"; });
    QCOMPARE(client.ask("%1NAME ?"), QByteArray("%1NAME=Room 101"));
    QCOMPARE(emulator->config().name, std::string("Room 101"));
}

void TestEmulator::idleConnection_isClosed()
{
    EmulatorConfig config;
    config.idleTimeoutMs = 300;
    auto emulator = started(config);
    QVERIFY(emulator);
    RawClient client;
    QCOMPARE(client.connectTo(emulator->config().address), 0);
    QCOMPARE(client.readLine(), QByteArray("PJLINK 0"));
    QVERIFY(client.closedByPeer(5000));
}

void TestEmulator::lineWithoutCr_dropsConnection()
{
    auto emulator = started(EmulatorConfig());
    QVERIFY(emulator);
    RawClient client;
    QCOMPARE(client.connectTo(emulator->config().address), 0);
    QCOMPARE(client.readLine(), QByteArray("PJLINK 0"));
    client.send(QByteArray(600, 'A'));
    QVERIFY(client.closedByPeer());

    RawClient next;
    QCOMPARE(next.connectTo(emulator->config().address), 0);
    QCOMPARE(next.readLine(), QByteArray("PJLINK 0"));
}

void TestEmulator::secondConnection_isServed()
{
    auto emulator = started(EmulatorConfig());
    QVERIFY(emulator);
    RawClient first;
    RawClient second;
    QCOMPARE(first.connectTo(emulator->config().address), 0);
    QCOMPARE(first.readLine(), QByteArray("PJLINK 0"));
    QCOMPARE(second.connectTo(emulator->config().address), 0);
    QCOMPARE(second.readLine(), QByteArray("PJLINK 0"));
    QCOMPARE(second.ask("%1POWR ?"), QByteArray("%1POWR=0"));
    QCOMPARE(first.ask("%1CLSS ?"), QByteArray("%1CLSS=1"));
    QCOMPARE(emulator->connectionCount(), 2);
}

void TestEmulator::stop_closesConnectionsPromptly()
{
    EmulatorConfig config;
    config.answerDelayMs = 20000; // a pending answer must not hold stop up
    auto emulator = started(config);
    QVERIFY(emulator);
    const std::string address = emulator->config().address;
    RawClient client;
    QCOMPARE(client.connectTo(address), 0);

    QElapsedTimer timer;
    timer.start();
    emulator->stop();
    QVERIFY2(timer.elapsed() < 5000, "stop hangs");
    QVERIFY(client.closedByPeer());
    RawClient late;
    QCOMPARE(late.connectTo(address), ECONNREFUSED);
}

void TestEmulator::start_failsWhenAddressTaken()
{
    auto first = started(EmulatorConfig());
    QVERIFY(first);
    EmulatorConfig config;
    config.address = first->config().address;
    EmulatedProjector second(config);
    std::string error;
    QVERIFY(!second.start(&error));
    QVERIFY(!error.empty());
}

void TestEmulator::demoFleet_parses()
{
    QFile file(qEnvironmentVariable("LUMARIN_SOURCE_DIR") + u"/tools/demo-fleet.json"_s);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    std::vector<EmulatorConfig> fleet;
    QString error;
    QVERIFY2(parseFleetConfig(file.readAll(), &fleet, &error), qPrintable(error));
    QCOMPARE(fleet.size(), std::size_t(5));
    QSet<QString> addresses;
    bool japanese = false;
    for (const auto &c : fleet) {
        addresses.insert(QString::fromStdString(c.address));
        japanese = japanese || QString::fromStdString(c.name).contains(u"会議室"_s);
    }
    QCOMPARE(addresses.size(), 5);
    QVERIFY(japanese);
}

void TestEmulator::class2_answersSearch_data()
{
    QTest::addColumn<int>("pjlinkClass");
    QTest::addColumn<bool>("answerSearch");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer"); // empty: silence
    const QByteArray ackn("%2ACKN=02:00:5E:00:53:0A\r");
    QTest::newRow("Class 2") << 2 << true << QByteArray("%2SRCH\r") << ackn;
    QTest::newRow("lenient request") << 2 << true << QByteArray("%2srch\r\n") << ackn;
    QTest::newRow("not a search") << 2 << true << QByteArray("%2POWR ?\r") << QByteArray();
    QTest::newRow("search answers off") << 2 << false << QByteArray("%2SRCH\r") << QByteArray();
    QTest::newRow("Class 1 is silent") << 1 << true << QByteArray("%2SRCH\r") << QByteArray();
}

// Asked on its own address (unicast: loopback carries no broadcast), it answers from that
// address to the same port of the searcher.
void TestEmulator::class2_answersSearch()
{
    QFETCH(int, pjlinkClass);
    QFETCH(bool, answerSearch);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    UdpPeer searcher("127.77.1.1");
    EmulatorConfig config;
    config.pjlinkClass = pjlinkClass;
    config.answerSearch = answerSearch;
    config.macAddress = "02:00:5e:00:53:0a";
    config.udpPort = searcher.port();
    const auto emulator = started(config);
    QVERIFY(emulator);
    const std::string address = emulator->config().address;
    searcher.sendTo(address, searcher.port(), request);
    QByteArray from;
    QCOMPARE(searcher.receive(answer.isEmpty() ? 300 : 3000, &from), answer);
    if (!answer.isEmpty())
        QCOMPARE(from, QByteArray::fromStdString(address));
}

// Every change reaches the controller that connected last, whatever made it: a command, the
// end of warm-up, or a change of the projector itself.
void TestEmulator::class2_notifiesLastPeer()
{
    UdpPeer controller("127.0.0.1");
    EmulatorConfig config;
    config.pjlinkClass = 2;
    config.macAddress = "02:00:5E:00:53:0B";
    config.udpPort = UdpPeer("127.77.1.2").port(); // a port nothing else uses
    config.notifyPort = controller.port();
    config.warmUpMs = 100;
    const auto emulator = started(config);
    QVERIFY(emulator);
    // No controller known yet: nothing is sent.
    emulator->update([](EmulatorConfig &c) { c.mute = 31; });
    QCOMPARE(controller.receive(200), QByteArray());

    RawClient client;
    QCOMPARE(client.connectTo(emulator->config().address), 0);
    QCOMPARE(client.readLine(), QByteArray("PJLINK 0"));
    QCOMPARE(client.ask("%1POWR 1"), QByteArray("%1POWR=OK"));
    QCOMPARE(controller.receive(), QByteArray("%2LKUP=02:00:5E:00:53:0B\r"));
    QCOMPARE(controller.receive(), QByteArray("%2POWR=3\r"));
    QCOMPARE(controller.receive(), QByteArray("%2POWR=1\r"));
    QCOMPARE(client.ask("%1INPT 31"), QByteArray("%1INPT=OK"));
    QCOMPARE(controller.receive(), QByteArray("%2INPT=31\r"));
    QCOMPARE(client.ask("%1AVMT 30"), QByteArray("%1AVMT=OK"));
    QCOMPARE(controller.receive(), QByteArray("%2AVMT=30\r"));
    emulator->update([](EmulatorConfig &c) { c.errors = {0, 2, 0, 0, 1, 0}; });
    QCOMPARE(controller.receive(), QByteArray("%2ERST=020010\r"));
    QCOMPARE(controller.receive(200), QByteArray());
}

void TestEmulator::fleetConfig_readsEveryKey()
{
    const QByteArray json = R"([{
        "address": "127.0.0.9", "port": 14352, "password": "pw", "name": "Lobby",
        "manufacturer": "Korvane", "product": "KV-1", "otherInfo": "x", "class": 2,
        "power": 3, "warmUpMs": 10, "coolingMs": 20, "inputs": [[3, 1], [5, 2]],
        "input": [5, 2], "mute": 31, "errors": [0, 1, 2, 0, 1, 2], "lamps": [[7, 1]],
        "idleTimeoutMs": 30, "listening": false, "answerDelayMs": 40, "dropAfterCommands": 2,
        "malformedAnswers": true, "rawAnswers": {"POWR": "%1POWR=7"},
        "refusedSets": {"POWR": 3}, "droppedSets": ["AVMT"],
        "serialNumber": "S1", "softwareVersion": "V1", "inputNames": {"31": "HDMI", "6A": "Logo"},
        "filterHours": 12, "lampModels": "L1 L2", "filterModels": "F1",
        "inputResolution": "-", "recommendedResolution": "800x600", "freeze": true,
        "macAddress": "02:00:00:00:00:01", "answerSearch": false, "udpPort": 14353,
        "notifyPort": 14354, "security": "sha256+md5", "nulPadding": 3, "tcpLinkUp": true,
        "repeatedAnswers": {"INNM": 10000}
    }])";
    // The example holds every key there is, so a key added without being read fails here.
    QStringList given = QJsonDocument::fromJson(json).array().first().toObject().keys();
    QStringList documented = fleetConfigKeys();
    given.sort();
    documented.sort();
    QCOMPARE(given, documented);
    std::vector<EmulatorConfig> fleet;
    QString error;
    QVERIFY2(parseFleetConfig(json, &fleet, &error), qPrintable(error));
    QCOMPARE(fleet.size(), std::size_t(1));
    const EmulatorConfig &c = fleet[0];
    QCOMPARE(c.address, std::string("127.0.0.9"));
    QCOMPARE(c.port, 14352);
    QCOMPARE(c.password, std::string("pw"));
    QCOMPARE(c.name, std::string("Lobby"));
    QCOMPARE(c.manufacturer, std::string("Korvane"));
    QCOMPARE(c.product, std::string("KV-1"));
    QCOMPARE(c.otherInfo, std::string("x"));
    QCOMPARE(c.pjlinkClass, 2);
    QCOMPARE(c.serialNumber, std::string("S1"));
    QCOMPARE(c.softwareVersion, std::string("V1"));
    QVERIFY((c.inputNames ==
             std::map<std::pair<int, int>, std::string>{{{3, 1}, "HDMI"}, {{6, 10}, "Logo"}}));
    QCOMPARE(c.filterHours, 12);
    QCOMPARE(c.lampModels, std::string("L1 L2"));
    QCOMPARE(c.filterModels, std::string("F1"));
    QCOMPARE(c.inputResolution, std::string("-"));
    QCOMPARE(c.recommendedResolution, std::string("800x600"));
    QVERIFY(c.freeze);
    QCOMPARE(c.power, 3);
    QCOMPARE(c.warmUpMs, 10);
    QCOMPARE(c.coolingMs, 20);
    QVERIFY((c.inputs == std::vector<std::pair<int, int>>{{3, 1}, {5, 2}}));
    QVERIFY((c.input == std::pair{5, 2}));
    QCOMPARE(c.mute, 31);
    QVERIFY((c.errors == std::array<int, 6>{0, 1, 2, 0, 1, 2}));
    QVERIFY((c.lamps == std::vector<std::pair<int, int>>{{7, 1}}));
    QCOMPARE(c.idleTimeoutMs, 30);
    QCOMPARE(c.listening, false);
    QCOMPARE(c.answerDelayMs, 40);
    QCOMPARE(c.dropAfterCommands, 2);
    QCOMPARE(c.malformedAnswers, true);
    QCOMPARE(c.rawAnswers.at("POWR"), std::string("%1POWR=7"));
    QCOMPARE(c.refusedSets.at("POWR"), 3);
    QVERIFY((c.droppedSets == std::set<std::string>{"AVMT"}));
    QCOMPARE(c.macAddress, std::string("02:00:00:00:00:01"));
    QCOMPARE(c.answerSearch, false);
    QCOMPARE(c.udpPort, 14353);
    QCOMPARE(c.notifyPort, 14354);
    QVERIFY(c.security == EmulatorConfig::Security::Sha256Md5);
    QCOMPARE(c.nulPadding, 3);
    QCOMPARE(c.tcpLinkUp, true);
    QCOMPARE(c.repeatedAnswers.at("INNM"), 10000);
}

void TestEmulator::class2_answersLikeRealProjectors_data()
{
    QTest::addColumn<QByteArrayList>("requests");
    QTest::addColumn<QByteArrayList>("answers");
    // Under "%2" only the Class 2 commands exist; INPT and INST are in both classes.
    QTest::newRow("Class 1 commands under %2")
        << QByteArrayList{"%2POWR ?", "%2CLSS ?", "%2NAME ?"}
        << QByteArrayList{"%2POWR=ERR1", "%2CLSS=ERR1", "%2NAME=ERR1"};
    QTest::newRow("Class 2 commands under %1")
        << QByteArrayList{"%1SNUM ?", "%1INNM ?31"} << QByteArrayList{"%1SNUM=ERR1", "%1INNM=ERR1"};
    QTest::newRow("every input under %2, only Class 1's under %1")
        << QByteArrayList{"%2INST ?", "%1INST ?"}
        << QByteArrayList{"%2INST=11 3A 61 6Z", "%1INST=11"};
    QTest::newRow("internal and lettered inputs switched under %2")
        << QByteArrayList{"%2INPT 6Z", "%2INPT ?", "%2INPT 3A", "%2INNM ?3A", "%1INPT 3A"}
        << QByteArrayList{"%2INPT=OK", "%2INPT=6Z", "%2INPT=OK", "%2INNM=HDBaseT", "%1INPT=ERR2"};
}

void TestEmulator::class2_answersLikeRealProjectors()
{
    QFETCH(QByteArrayList, requests);
    QFETCH(QByteArrayList, answers);
    EmulatorConfig config;
    config.pjlinkClass = 2;
    config.power = 1;
    config.inputs = {{1, 1}, {3, 10}, {6, 1}, {6, 35}};
    config.inputNames = {{{3, 10}, "HDBaseT"}};
    auto emulator = started(config);
    QVERIFY(emulator);
    RawClient client;
    QCOMPARE(client.connectTo(emulator->config().address), 0);
    QCOMPARE(client.readLine(), QByteArray("PJLINK 0"));
    for (qsizetype i = 0; i < requests.size(); ++i)
        QCOMPARE(client.ask(requests[i]), answers[i]);
}

// However the configuration writes it, the search answer, the UDP link-up and the unasked TCP
// link-up spell the MAC address alike.
void TestEmulator::macAddress_oneSpellingInAcknAndLkup()
{
    UdpPeer controller("127.0.0.1");
    UdpPeer searcher("127.77.1.3");
    EmulatorConfig config;
    config.pjlinkClass = 2;
    config.macAddress = "02:00:5e:00:53:0c";
    config.udpPort = searcher.port();
    config.notifyPort = controller.port();
    config.tcpLinkUp = true;
    const auto emulator = started(config);
    QVERIFY(emulator);
    const QByteArray mac("02:00:5E:00:53:0C");

    RawClient client;
    QCOMPARE(client.connectTo(emulator->config().address), 0);
    QCOMPARE(client.readLine(), QByteArray("PJLINK 0"));
    QCOMPARE(client.ask("%1POWR ?"), "%2LKUP=" + mac);
    QCOMPARE(client.readLine(), QByteArray("%1POWR=0"));
    QCOMPARE(client.ask("%1POWR 1"), QByteArray("%1POWR=OK"));
    QCOMPARE(controller.receive(), "%2LKUP=" + mac + '\r');
    searcher.sendTo(emulator->config().address, config.udpPort, "%2SRCH\r");
    QCOMPARE(searcher.receive(), "%2ACKN=" + mac + '\r');
}

// pjlink-emulator --help names every key a projector may have, with its meaning.
void TestEmulator::help_documentsEveryKey()
{
    QProcess emulator;
    emulator.start(QStringLiteral(PJLINK_EMULATOR_PATH), {u"--help"_s});
    QVERIFY(emulator.waitForFinished(10000));
    QCOMPARE(emulator.exitCode(), 0);
    const QString help = QString::fromUtf8(emulator.readAllStandardOutput());
    for (const QString &key : fleetConfigKeys()) {
        const QRegularExpression line(u"^  "_s + key + u" +\\S"_s,
                                      QRegularExpression::MultilineOption);
        QVERIFY2(line.match(help).hasMatch(), qPrintable(key + u'\n' + help));
    }
}

void TestEmulator::fleetConfig_rejects_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("not JSON") << QByteArray("[{");
    QTest::newRow("neither a list nor projectors") << QByteArray(R"({"fleet": []})");
    QTest::newRow("entry not an object") << QByteArray(R"([1])");
    QTest::newRow("unknown key") << QByteArray(R"([{"adress": "127.0.0.9"}])");
    QTest::newRow("string for a number") << QByteArray(R"([{"port": "4352"}])");
    QTest::newRow("fraction") << QByteArray(R"([{"power": 1.5}])");
    QTest::newRow("five error digits") << QByteArray(R"([{"errors": [0, 0, 0, 0, 0]}])");
    QTest::newRow("input of three") << QByteArray(R"([{"inputs": [[1, 1, 1]]}])");
    QTest::newRow("ERR5 refusal") << QByteArray(R"([{"refusedSets": {"POWR": 5}}])");
    QTest::newRow("dropped set not a list") << QByteArray(R"([{"droppedSets": "POWR"}])");
    QTest::newRow("UDP port out of range") << QByteArray(R"([{"udpPort": 70000}])");
    QTest::newRow("number for a flag") << QByteArray(R"({"projectors": [{"listening": 1}]})");
    QTest::newRow("input name of type 7") << QByteArray(R"([{"inputNames": {"71": "X"}}])");
    QTest::newRow("input name lower-case letter") << QByteArray(R"([{"inputNames": {"3a": "X"}}])");
}

void TestEmulator::fleetConfig_rejects()
{
    QFETCH(QByteArray, json);
    std::vector<EmulatorConfig> fleet;
    QString error;
    QVERIFY(!parseFleetConfig(json, &fleet, &error));
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(TestEmulator)
#include "tst_emulator.moc"
