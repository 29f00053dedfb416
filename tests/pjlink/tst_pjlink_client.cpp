#include "pjlink/connection.h"
#include "pjlink/pjlib.h"
#include "platform/uniquefd.h"
#include "tools/emulator/emulatedprojector.h"

#include <QElapsedTimer>
#include <QList>
#include <QTest>

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kPort = 4352;

// Every projector of this suite gets an address of its own, so no test meets a connection or
// a listener left over by another.
std::string nextAddress()
{
    static int host = 100;
    ++host;
    Q_ASSERT(host < 200);
    return "127.0.0." + std::to_string(host);
}

sockaddr_in endpoint(const std::string &address)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(kPort);
    ::inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
    return addr;
}

// A projector that misbehaves in ways the emulator does not: it greets, records every byte it
// receives and answers the first request line one byte every dripMs. Serves one connection.
class ScriptedServer
{
public:
    ScriptedServer(std::string address, std::string greeting, std::string answer, int dripMs)
        : m_address(std::move(address)), m_greeting(std::move(greeting)),
          m_answer(std::move(answer)), m_dripMs(dripMs)
    {
        const sockaddr_in addr = endpoint(m_address);
        const int one = 1;
        ::setsockopt(m_listener.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(m_listener.get(), reinterpret_cast<const sockaddr *>(&addr), sizeof addr) == 0 &&
            ::listen(m_listener.get(), 4) == 0)
            m_thread = std::thread([this] { serve(); });
    }
    ~ScriptedServer()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

    bool isListening() const { return m_thread.joinable(); }
    const std::string &address() const { return m_address; }
    std::string received() const
    {
        const std::lock_guard lock(m_mutex);
        return m_received;
    }

private:
    // Waits in short steps so that the destructor never waits long; ends by itself after 10 s.
    bool wait(int fd, std::chrono::steady_clock::time_point end)
    {
        while (!m_stop && std::chrono::steady_clock::now() < end) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0)
                return true;
        }
        return false;
    }

    void serve()
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        if (!wait(m_listener.get(), end))
            return;
        platform::UniqueFd client(::accept(m_listener.get(), nullptr, nullptr));
        ::send(client.get(), m_greeting.data(), m_greeting.size(), MSG_NOSIGNAL);
        bool answered = false;
        while (wait(client.get(), end)) {
            char buffer[256];
            const ssize_t got = ::recv(client.get(), buffer, sizeof buffer, 0);
            if (got <= 0)
                return;
            std::string copy;
            {
                const std::lock_guard lock(m_mutex);
                m_received.append(buffer, static_cast<std::size_t>(got));
                copy = m_received;
            }
            if (answered || copy.find('\r') == std::string::npos)
                continue;
            answered = true;
            for (char c : m_answer) {
                if (m_stop || ::send(client.get(), &c, 1, MSG_NOSIGNAL) != 1)
                    return;
                std::this_thread::sleep_for(std::chrono::milliseconds(m_dripMs));
            }
        }
    }

    std::string m_address;
    std::string m_greeting;
    std::string m_answer;
    int m_dripMs;
    platform::UniqueFd m_listener{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    mutable std::mutex m_mutex;
    std::string m_received;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// The library call that reads what command answers.
int query(const QByteArray &command)
{
    int a = 0;
    int b = 0;
    const int *values = nullptr;
    const char *text = nullptr;
    if (command == "POWR")
        return PJLGetPowerStatus(&a);
    if (command == "INPT")
        return PJLGetInput(&a, &b);
    if (command == "AVMT")
        return PJLGetMuteStatus(&a);
    if (command == "ERST")
        return PJLGetErrorStatus(&values, &a);
    if (command == "LAMP")
        return PJLGetLampStatus(&values, &a);
    if (command == "INST")
        return PJLGetAvailableInputList(&values, &a);
    if (command == "NAME")
        return PJLGetName(&text);
    if (command == "INF1")
        return PJLGetInf1(&text);
    if (command == "INF2")
        return PJLGetInf2(&text);
    if (command == "INFO")
        return PJLGetInfo(&text);
    if (command == "CLSS")
        return PJLGetClss(&a);
    qFatal("unknown command");
}

const QList<QByteArray> kQueries{"POWR", "INPT", "AVMT", "ERST", "LAMP", "INST",
                                 "NAME", "INF1", "INF2", "INFO", "CLSS"};

QList<int> toList(const int *values, int count)
{
    return values != nullptr && count >= 0 ? QList<int>(values, values + count) : QList<int>{};
}

std::vector<std::string> sentLines(std::initializer_list<const char *> list)
{
    return {list.begin(), list.end()};
}

} // namespace

class TestPjlinkClient : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void connect_data();
    void connect();
    void connect_greeting_data();
    void connect_greeting();
    void connect_emptyPasswordSendsNothing();
    void connect_securityKinds_data();
    void connect_securityKinds();
    void connect_failures_data();
    void connect_failures();
    void connect_unansweredSyn_timesOut();
    void queries_readProjectorState();
    void commands_data();
    void commands();
    void answers_data();
    void answers();
    void malformedAnswers_allRejected();
    void timeOut_data();
    void timeOut();
    void slowDrip_timesOutPerAnswer();
    void droppedConnection_data();
    void droppedConnection();
    void noConnection_everyCallReturnsMinusOne();
    void nullOutPointers_return2();
    void arrays_keptUntilNextCallOfSameKind();
    void concurrentCallers_doNotCorruptState();

private:
    // Starts an emulator at a fresh address; the test fails if it cannot bind.
    EmulatedProjector *startProjector(EmulatorConfig config = {});
    int connectTo(const char *password = "");

    std::unique_ptr<EmulatedProjector> m_projector;
    std::string m_address;
};

void TestPjlinkClient::init()
{
    QCOMPARE(PJLInit(), PJL_OK);
    PJLSetRecvTimeOut(1);
}

void TestPjlinkClient::cleanup()
{
    PJLDisconnect();
    m_projector.reset();
    PJLDestroy();
}

EmulatedProjector *TestPjlinkClient::startProjector(EmulatorConfig config)
{
    m_address = nextAddress();
    config.address = m_address;
    config.port = kPort;
    m_projector = std::make_unique<EmulatedProjector>(config);
    std::string error;
    if (!m_projector->start(&error))
        qFatal("emulator: %s", error.c_str());
    return m_projector.get();
}

int TestPjlinkClient::connectTo(const char *password)
{
    return PJLConnectWithPassword(m_address.c_str(), kPort, password);
}

void TestPjlinkClient::connect_data()
{
    QTest::addColumn<QByteArray>("projectorPassword");
    QTest::addColumn<QByteArray>("password"); // "<null>" passes a null pointer
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("authorizationRequired");

    QTest::newRow("open") << QByteArray() << QByteArray() << 0 << 0;
    QTest::newRow("open, password ignored") << QByteArray() << QByteArray("x") << 0 << 0;
    QTest::newRow("right password") << QByteArray("secret") << QByteArray("secret") << 0 << 1;
    QTest::newRow("wrong password") << QByteArray("secret") << QByteArray("secreT") << 10 << 1;
    QTest::newRow("missing password") << QByteArray("secret") << QByteArray() << 10 << 1;
    QTest::newRow("null password") << QByteArray("secret") << QByteArray("<null>") << 10 << 1;
}

void TestPjlinkClient::connect()
{
    QFETCH(QByteArray, projectorPassword);
    QFETCH(QByteArray, password);
    QFETCH(int, result);
    QFETCH(int, authorizationRequired);

    EmulatorConfig config;
    config.password = projectorPassword.toStdString();
    EmulatedProjector *projector = startProjector(config);

    QCOMPARE(connectTo(password == "<null>" ? nullptr : password.constData()), result);
    QCOMPARE(PJLIsAuthorizationRequired(), authorizationRequired);

    // A refused password keeps answering 10, without traffic, until the disconnect.
    int power = -1;
    QCOMPARE(PJLGetPowerStatus(&power), result);
    if (result == 0) {
        // The digest goes with the first command only; the emulator checks it.
        const auto expected =
            authorizationRequired ? sentLines({"CLSS ?", "POWR ?"}) : sentLines({"POWR ?"});
        QCOMPARE(projector->receivedCommands(), expected);
    } else {
        QVERIFY(projector->receivedCommands().empty());
    }

    PJLDisconnect();
    QCOMPARE(PJLIsAuthorizationRequired(), authorizationRequired);
}

void TestPjlinkClient::connect_securityKinds_data()
{
    using S = EmulatorConfig::Security;
    using L = pjlink::SecurityLevel;
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("rightPassword");
    QTest::addColumn<bool>("firstRequest");    // PasswordCheck::WithFirstRequest
    QTest::addColumn<int>("level");            // agreed at the first connect
    QTest::addColumn<int>("firstConnections"); // TCP connections the first connect costs

    const struct
    {
        const char *name;
        S kind;
        L level;
        int connections;
    } kinds[] = {
        {"level 2 only", S::Sha256, L::Sha256, 1},
        {"level 2 and MD5", S::Sha256Md5, L::Sha256, 1},
        {"MD5, ERRA to the level query", S::Md5, L::Md5, 2},
        {"MD5, closed on the level query", S::Md5Close, L::Md5, 2},
        {"MD5, silent on the level query", S::Md5Silent, L::Md5, 2},
    };
    for (const auto &k : kinds) {
        for (const bool right : {true, false}) {
            for (const bool first : {false, true}) {
                QTest::addRow("%s, %s password%s", k.name, right ? "right" : "wrong",
                              first ? ", checked by the first request" : "")
                    << int(k.kind) << right << first << int(k.level) << k.connections;
            }
        }
    }
}

// Level 2 is asked for first; a projector that does not take it costs one more connection, the
// first time only. A wrong password gives 10 on every kind (at connect, or to the first request
// when that carries the check), and no digest reaches the log of commands. Checked by the first
// request, a connect sends no query of its own.
void TestPjlinkClient::connect_securityKinds()
{
    QFETCH(int, kind);
    QFETCH(bool, rightPassword);
    QFETCH(bool, firstRequest);
    QFETCH(int, level);
    QFETCH(int, firstConnections);

    EmulatorConfig config;
    config.password = "Lamp-Room 7";
    config.security = EmulatorConfig::Security(kind);
    EmulatedProjector *projector = startProjector(config);
    const char *password = rightPassword ? "Lamp-Room 7" : "Lamp-Room 8";
    const auto check = firstRequest ? pjlink::Connection::PasswordCheck::WithFirstRequest
                                    : pjlink::Connection::PasswordCheck::AtConnect;

    pjlink::Connection connection;
    connection.SetRecvTimeOut(1);
    const int expected = rightPassword ? PJL_OK : PJL_ERR_AUTH;
    QCOMPARE(connection.ConnectWithPassword(m_address.c_str(), kPort, password, check),
             firstRequest ? PJL_OK : expected);
    QCOMPARE(projector->connectionCount(), firstConnections);
    QCOMPARE(int(connection.GetSecurityLevel()), level);
    int power = -1;
    QCOMPARE(connection.GetPowerStatus(&power), expected);
    // Refused: every later call answers 10 without traffic.
    QCOMPARE(connection.GetPowerStatus(&power), expected);
    connection.Disconnect();

    // The level is remembered: one connection from now on.
    QCOMPARE(connection.ConnectWithPassword(m_address.c_str(), kPort, password, check),
             firstRequest ? PJL_OK : expected);
    QCOMPARE(projector->connectionCount(), firstConnections + 1);
    QCOMPARE(int(connection.GetSecurityLevel()), level);
    connection.Disconnect();

    const auto received = projector->receivedCommands();
    if (!rightPassword)
        QVERIFY(received.empty());
    else if (firstRequest)
        QCOMPARE(received, sentLines({"POWR ?", "POWR ?"}));
    else
        QCOMPARE(received, sentLines({"CLSS ?", "POWR ?", "POWR ?", "CLSS ?"}));
}

void TestPjlinkClient::connect_greeting_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("authorizationRequired");

    QTest::newRow("ERRA") << QByteArray("PJLINK ERRA") << 10 << 1;
    QTest::newRow("lower case, blanks") << QByteArray(" pjlink 0 ") << 0 << 0;
    QTest::newRow("unknown level") << QByteArray("PJLINK 3") << -1 << 0;
    QTest::newRow("other protocol") << QByteArray("220 ftp ready") << -1 << 0;
    QTest::newRow("empty lines only") << QByteArray("\r\r") << -1 << 0;
}

void TestPjlinkClient::connect_greeting()
{
    QFETCH(QByteArray, greeting);
    QFETCH(int, result);
    QFETCH(int, authorizationRequired);

    EmulatorConfig config;
    config.rawAnswers["PJLINK"] = greeting.toStdString();
    startProjector(config);

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(connectTo(), result);
    QCOMPARE(PJLIsAuthorizationRequired(), authorizationRequired);
    QVERIFY2(timer.elapsed() < 3000, "a bad greeting must not hang the connect");
    int power = -1;
    QCOMPARE(PJLGetPowerStatus(&power), result);
}

void TestPjlinkClient::connect_emptyPasswordSendsNothing()
{
    ScriptedServer server(nextAddress(), "PJLINK 1 0123abcd\r", "", 0);
    QVERIFY(server.isListening());

    QCOMPARE(PJLConnectWithPassword(server.address().c_str(), kPort, ""), PJL_ERR_AUTH);
    QCOMPARE(PJLIsAuthorizationRequired(), 1);
    int cls = -1;
    QCOMPARE(PJLGetClss(&cls), PJL_ERR_AUTH);
    QTest::qWait(50);
    QCOMPARE(server.received(), std::string());
    PJLDisconnect();
    QCOMPARE(PJLGetClss(&cls), PJL_ERR_CONNECTION);
}

void TestPjlinkClient::connect_failures_data()
{
    QTest::addColumn<QByteArray>("ip"); // "<null>" passes a null pointer
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("result");

    const int invalid = PJL_ERR_SOCKET_BASE + EINVAL;
    QTest::newRow("nobody listening")
        << QByteArray("127.0.0.199") << kPort << PJL_ERR_SOCKET_BASE + ECONNREFUSED;
    QTest::newRow("octet too large") << QByteArray("127.0.0.256") << kPort << invalid;
    QTest::newRow("three octets") << QByteArray("127.0.1") << kPort << invalid;
    QTest::newRow("host name") << QByteArray("localhost") << kPort << invalid;
    QTest::newRow("empty") << QByteArray() << kPort << invalid;
    QTest::newRow("null") << QByteArray("<null>") << kPort << invalid;
    QTest::newRow("port 0") << QByteArray("127.0.0.199") << 0 << invalid;
    QTest::newRow("port too large") << QByteArray("127.0.0.199") << 65536 << invalid;
}

void TestPjlinkClient::connect_failures()
{
    QFETCH(QByteArray, ip);
    QFETCH(int, port);
    QFETCH(int, result);

    QCOMPARE(PJLConnectWithPassword(ip == "<null>" ? nullptr : ip.constData(), port, "x"), result);
    QCOMPARE(PJLIsAuthorizationRequired(), 0);
    int power = -1;
    QCOMPARE(PJLGetPowerStatus(&power), PJL_ERR_CONNECTION);
}

// A listener whose accept queue is full drops further SYNs, like a projector that is off the
// network: the connect must give up at the receive time-out.
void TestPjlinkClient::connect_unansweredSyn_timesOut()
{
    const std::string address = nextAddress();
    const sockaddr_in addr = endpoint(address);
    platform::UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    QCOMPARE(::bind(listener.get(), reinterpret_cast<const sockaddr *>(&addr), sizeof addr), 0);
    QCOMPARE(::listen(listener.get(), 0), 0);
    platform::UniqueFd filler(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    QCOMPARE(::connect(filler.get(), reinterpret_cast<const sockaddr *>(&addr), sizeof addr), 0);

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(PJLConnectWithPassword(address.c_str(), kPort, ""), PJL_ERR_SOCKET_BASE + ETIMEDOUT);
    QVERIFY2(timer.elapsed() >= 900 && timer.elapsed() < 2500,
             QByteArray::number(timer.elapsed()).constData());
}

void TestPjlinkClient::queries_readProjectorState()
{
    EmulatorConfig config;
    config.password = "pw";
    config.name = "Saal \xc3\x9c";
    config.manufacturer = "Emulux";
    config.product = "EP-200";
    config.otherInfo = "fw 1.04";
    config.pjlinkClass = 2;
    config.power = 1;
    config.input = {3, 1};
    config.mute = 21;
    config.errors = {0, 1, 0, 2, 0, 0};
    config.lamps = {{1200, 0}, {35, 0}};
    config.inputs = {{1, 1}, {3, 1}, {5, 2}};
    startProjector(config);
    QCOMPARE(connectTo("pw"), PJL_OK);

    int value = -1;
    int number = -1;
    QCOMPARE(PJLGetPowerStatus(&value), PJL_OK);
    QCOMPARE(value, 1);
    QCOMPARE(PJLGetInput(&value, &number), PJL_OK);
    QCOMPARE(value, 3);
    QCOMPARE(number, 1);
    QCOMPARE(PJLGetMuteStatus(&value), PJL_OK);
    QCOMPARE(value, 21);
    QCOMPARE(PJLGetClss(&value), PJL_OK);
    QCOMPARE(value, 2);

    const int *values = nullptr;
    int count = -1;
    QCOMPARE(PJLGetErrorStatus(&values, &count), PJL_OK);
    QCOMPARE(toList(values, count), (QList<int>{0, 1, 0, 2, 0, 0}));
    QCOMPARE(PJLGetLampStatus(&values, &count), PJL_OK);
    QCOMPARE(count, 2);
    QCOMPARE(toList(values, 2 * count), (QList<int>{1200, 1, 35, 1}));
    QCOMPARE(PJLGetAvailableInputList(&values, &count), PJL_OK);
    QCOMPARE(count, 3);
    QCOMPARE(toList(values, 2 * count), (QList<int>{1, 1, 3, 1, 5, 2}));

    const char *text = nullptr;
    QCOMPARE(PJLGetName(&text), PJL_OK);
    QCOMPARE(QByteArray(text), QByteArray("Saal \xc3\x9c"));
    QCOMPARE(PJLGetInf1(&text), PJL_OK);
    QCOMPARE(QByteArray(text), QByteArray("Emulux"));
    QCOMPARE(PJLGetInf2(&text), PJL_OK);
    QCOMPARE(QByteArray(text), QByteArray("EP-200"));
    QCOMPARE(PJLGetInfo(&text), PJL_OK);
    QCOMPARE(QByteArray(text), QByteArray("fw 1.04"));
}

void TestPjlinkClient::commands_data()
{
    QTest::addColumn<QByteArray>("call");
    QTest::addColumn<int>("a");
    QTest::addColumn<int>("b");
    QTest::addColumn<QByteArray>("sent"); // empty: nothing may reach the projector
    QTest::addColumn<int>("result");

    QTest::newRow("power off") << QByteArray("power") << 0 << 0 << QByteArray("POWR 0") << 0;
    QTest::newRow("power on") << QByteArray("power") << 1 << 0 << QByteArray("POWR 1") << 0;
    QTest::newRow("power 2") << QByteArray("power") << 2 << 0 << QByteArray() << 2;
    QTest::newRow("power -1") << QByteArray("power") << -1 << 0 << QByteArray() << 2;
    QTest::newRow("input") << QByteArray("input") << 3 << 1 << QByteArray("INPT 31") << 0;
    QTest::newRow("input absent") << QByteArray("input") << 4 << 1 << QByteArray("INPT 41") << 2;
    QTest::newRow("input 10 as A") << QByteArray("input") << 6 << 10 << QByteArray("INPT 6A") << 2;
    QTest::newRow("input 35 as Z") << QByteArray("input") << 6 << 35 << QByteArray("INPT 6Z") << 2;
    QTest::newRow("input type 0") << QByteArray("input") << 0 << 1 << QByteArray() << 2;
    QTest::newRow("input type 10") << QByteArray("input") << 10 << 1 << QByteArray() << 2;
    QTest::newRow("input number 0") << QByteArray("input") << 3 << 0 << QByteArray() << 2;
    QTest::newRow("input number 36") << QByteArray("input") << 3 << 36 << QByteArray() << 2;
    QTest::newRow("mute video on") << QByteArray("mute") << 1 << 1 << QByteArray("AVMT 11") << 0;
    QTest::newRow("mute audio off") << QByteArray("mute") << 2 << 0 << QByteArray("AVMT 20") << 0;
    QTest::newRow("mute both on") << QByteArray("mute") << 3 << 1 << QByteArray("AVMT 31") << 0;
    QTest::newRow("mute code 0") << QByteArray("mute") << 0 << 1 << QByteArray() << 2;
    QTest::newRow("mute code 4") << QByteArray("mute") << 4 << 1 << QByteArray() << 2;
    QTest::newRow("mute flag 2") << QByteArray("mute") << 1 << 2 << QByteArray() << 2;
}

void TestPjlinkClient::commands()
{
    QFETCH(QByteArray, call);
    QFETCH(int, a);
    QFETCH(int, b);
    QFETCH(QByteArray, sent);
    QFETCH(int, result);

    EmulatorConfig config;
    config.power = 1;
    EmulatedProjector *projector = startProjector(config);
    QCOMPARE(connectTo(), PJL_OK);

    const int got = call == "power"   ? PJLPower(a)
                    : call == "input" ? PJLChangeInput(a, b)
                                      : PJLMute(a, b);
    QCOMPARE(got, result);
    QCOMPARE(projector->receivedCommands(),
             sent.isEmpty() ? sentLines({}) : sentLines({sent.constData()}));
    int power = -1;
    QCOMPARE(PJLGetPowerStatus(&power), PJL_OK);
}

void TestPjlinkClient::answers_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("answer"); // the emulator adds a CR
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("stillConnected");

    QTest::newRow("ERR1") << QByteArray("POWR") << QByteArray("%1POWR=ERR1") << 1 << true;
    QTest::newRow("ERR2") << QByteArray("ERST") << QByteArray("%1ERST=ERR2") << 2 << true;
    QTest::newRow("ERR3") << QByteArray("INPT") << QByteArray("%1INPT=ERR3") << 3 << true;
    QTest::newRow("ERR4") << QByteArray("LAMP") << QByteArray("%1LAMP=ERR4") << 4 << true;
    QTest::newRow("ERRA") << QByteArray("AVMT") << QByteArray("PJLINK ERRA") << 10 << false;
    QTest::newRow("wrong echo") << QByteArray("CLSS") << QByteArray("%1POWR=1") << 5 << true;
    QTest::newRow("power not a number")
        << QByteArray("POWR") << QByteArray("%1POWR=on") << 5 << true;
    QTest::newRow("lamp odd count")
        << QByteArray("LAMP") << QByteArray("%1LAMP=10 1 20") << 5 << true;
    QTest::newRow("errors short") << QByteArray("ERST") << QByteArray("%1ERST=00") << 5 << true;
    QTest::newRow("line too long")
        << QByteArray("NAME") << QByteArray("%1NAME=" + QByteArray(300, 'n')) << 5 << true;
    QTest::newRow("framing lost") << QByteArray("NAME")
                                  << QByteArray("%1NAME=" + QByteArray(700, 'n')) << 5 << false;
    QTest::newRow("notification first")
        << QByteArray("POWR") << QByteArray("%2LKUP=00:11:22:33:44:55\r%1POWR=1") << 0 << true;
    QTest::newRow("LF line end") << QByteArray("POWR") << QByteArray("%1POWR=1\n") << 0 << true;
    QTest::newRow("CR LF, blanks")
        << QByteArray("INPT") << QByteArray("%1inpt= 6a \r\n") << 0 << true;
    QTest::newRow("no inputs") << QByteArray("INST") << QByteArray("%1INST=") << 0 << true;
    QTest::newRow("empty name") << QByteArray("NAME") << QByteArray("%1NAME=") << 0 << true;
}

void TestPjlinkClient::answers()
{
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    QFETCH(int, result);
    QFETCH(bool, stillConnected);

    EmulatorConfig config;
    config.power = 1;
    config.rawAnswers[command.toStdString()] = answer.toStdString();
    startProjector(config);
    QCOMPARE(connectTo(), PJL_OK);

    QCOMPARE(query(command), result);
    // A left-over LF or a late byte must not be taken for the next answer.
    const char *text = nullptr;
    const int after = result == PJL_ERR_AUTH ? PJL_ERR_AUTH : PJL_ERR_CONNECTION;
    QCOMPARE(PJLGetInf2(&text), stillConnected ? PJL_OK : after);
    if (stillConnected)
        QCOMPARE(QByteArray(text), QByteArray("EP-100"));
}

void TestPjlinkClient::malformedAnswers_allRejected()
{
    EmulatorConfig config;
    config.power = 1;
    config.malformedAnswers = true;
    startProjector(config);
    QCOMPARE(connectTo(), PJL_OK);

    // The emulator rotates through its ways of breaking an answer.
    for (const QByteArray &command : kQueries) {
        const int result = query(command);
        QVERIFY2(result == PJL_ERR_BAD_ANSWER,
                 QByteArray(command + " gave " + QByteArray::number(result)).constData());
    }
}

void TestPjlinkClient::timeOut_data()
{
    QTest::addColumn<int>("timeOut");
    QTest::addColumn<bool>("initAfterwards");
    QTest::newRow("1 s") << 1 << false;
    QTest::newRow("0 clamps to 1 s") << 0 << false;
    QTest::newRow("negative clamps to 1 s") << -7 << false;
    // The settings load before the application starts the library.
    QTest::newRow("1 s given before PJLInit") << 1 << true;
}

void TestPjlinkClient::timeOut()
{
    QFETCH(int, timeOut);
    QFETCH(bool, initAfterwards);

    EmulatedProjector *projector = startProjector();
    QCOMPARE(PJLSetRecvTimeOut(timeOut), PJL_OK);
    if (initAfterwards)
        QCOMPARE(PJLInit(), PJL_OK);
    QCOMPARE(connectTo(), PJL_OK);
    projector->update([](EmulatorConfig &c) { c.answerDelayMs = 2500; });

    QElapsedTimer timer;
    timer.start();
    int power = -1;
    QCOMPARE(PJLGetPowerStatus(&power), PJL_ERR_CONNECTION);
    QVERIFY2(timer.elapsed() >= 900 && timer.elapsed() < 2300,
             QByteArray::number(timer.elapsed()).constData());

    // The connection is closed: the next call fails at once instead of waiting again.
    timer.restart();
    QCOMPARE(PJLGetPowerStatus(&power), PJL_ERR_CONNECTION);
    QVERIFY(timer.elapsed() < 500);
    QCOMPARE(projector->receivedCommands(), sentLines({"POWR ?"}));

    // A greeting that comes too late fails the connect just as well.
    timer.restart();
    QCOMPARE(connectTo(), PJL_ERR_CONNECTION);
    QVERIFY2(timer.elapsed() >= 900 && timer.elapsed() < 2300,
             QByteArray::number(timer.elapsed()).constData());
}

// One deadline per answer: a projector that keeps sending a byte now and then must not keep
// the caller waiting beyond the time-out.
void TestPjlinkClient::slowDrip_timesOutPerAnswer()
{
    ScriptedServer server(nextAddress(), "PJLINK 0\r", "%1POWR=1111111111\r", 150);
    QVERIFY(server.isListening());
    QCOMPARE(PJLConnectWithPassword(server.address().c_str(), kPort, ""), PJL_OK);

    QElapsedTimer timer;
    timer.start();
    int power = -1;
    QCOMPARE(PJLGetPowerStatus(&power), PJL_ERR_CONNECTION);
    QVERIFY2(timer.elapsed() >= 900 && timer.elapsed() < 2300,
             QByteArray::number(timer.elapsed()).constData());
    QCOMPARE(server.received(), std::string("%1POWR ?\r"));
}

void TestPjlinkClient::droppedConnection_data()
{
    QTest::addColumn<int>("dropAfter");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<int>("connectResult");
    QTest::addColumn<int>("answeredQueries");

    QTest::newRow("after greeting") << 0 << QByteArray() << 0 << 0;
    QTest::newRow("first query") << 1 << QByteArray() << 0 << 0;
    QTest::newRow("third query") << 3 << QByteArray() << 0 << 2;
    QTest::newRow("during authentication") << 1 << QByteArray("pw") << -1 << 0;
}

void TestPjlinkClient::droppedConnection()
{
    QFETCH(int, dropAfter);
    QFETCH(QByteArray, password);
    QFETCH(int, connectResult);
    QFETCH(int, answeredQueries);

    EmulatorConfig config;
    config.dropAfterCommands = dropAfter;
    config.password = password.toStdString();
    startProjector(config);
    QCOMPARE(connectTo(password.constData()), connectResult);

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < 4; ++i) {
        int cls = -1;
        QCOMPARE(PJLGetClss(&cls), i < answeredQueries ? PJL_OK : PJL_ERR_CONNECTION);
    }
    QVERIFY2(timer.elapsed() < 1500, "a closed connection is noticed, not waited out");
}

void TestPjlinkClient::noConnection_everyCallReturnsMinusOne()
{
    EmulatorConfig config;
    config.password = "pw";
    startProjector(config);

    // Never connected, after a failed authentication (10 then, until the disconnect), after
    // disconnecting; none of it sends anything.
    for (int round = 0; round < 3; ++round) {
        if (round == 1)
            QCOMPARE(connectTo("wrong"), PJL_ERR_AUTH);
        if (round == 2) {
            QCOMPARE(connectTo("pw"), PJL_OK);
            QCOMPARE(PJLDisconnect(), PJL_OK);
        }
        const int expected = round == 1 ? PJL_ERR_AUTH : PJL_ERR_CONNECTION;
        for (const QByteArray &command : kQueries)
            QCOMPARE(query(command), expected);
        QCOMPARE(PJLPower(1), expected);
        QCOMPARE(PJLChangeInput(3, 1), expected);
        QCOMPARE(PJLMute(3, 1), expected);
    }
    QCOMPARE(m_projector->receivedCommands(), sentLines({"CLSS ?"}));
}

void TestPjlinkClient::nullOutPointers_return2()
{
    EmulatedProjector *projector = startProjector();
    QCOMPARE(connectTo(), PJL_OK);

    int value = 0;
    const int *values = nullptr;
    QCOMPARE(PJLGetPowerStatus(nullptr), PJL_ERR_PARAMETER);
    QCOMPARE(PJLGetInput(nullptr, &value), PJL_ERR_PARAMETER);
    QCOMPARE(PJLGetInput(&value, nullptr), PJL_ERR_PARAMETER);
    QCOMPARE(PJLGetMuteStatus(nullptr), PJL_ERR_PARAMETER);
    QCOMPARE(PJLGetErrorStatus(nullptr, &value), PJL_ERR_PARAMETER);
    QCOMPARE(PJLGetLampStatus(&values, nullptr), PJL_ERR_PARAMETER);
    QCOMPARE(PJLGetAvailableInputList(nullptr, nullptr), PJL_ERR_PARAMETER);
    QCOMPARE(PJLGetName(nullptr), PJL_ERR_PARAMETER);
    QCOMPARE(PJLGetInf1(nullptr), PJL_ERR_PARAMETER);
    QCOMPARE(PJLGetInf2(nullptr), PJL_ERR_PARAMETER);
    QCOMPARE(PJLGetInfo(nullptr), PJL_ERR_PARAMETER);
    QCOMPARE(PJLGetClss(nullptr), PJL_ERR_PARAMETER);
    QVERIFY(projector->receivedCommands().empty());
    QCOMPARE(PJLGetClss(&value), PJL_OK);
}

void TestPjlinkClient::arrays_keptUntilNextCallOfSameKind()
{
    EmulatorConfig config;
    config.power = 1;
    config.lamps = {{100, 0}, {200, 0}};
    EmulatedProjector *projector = startProjector(config);
    QCOMPARE(connectTo(), PJL_OK);

    const int *errors = nullptr;
    const int *lamps = nullptr;
    const int *inputs = nullptr;
    int errorCount = 0;
    int lampCount = 0;
    int inputCount = 0;
    const char *name = nullptr;
    const char *manufacturer = nullptr;
    QCOMPARE(PJLGetErrorStatus(&errors, &errorCount), PJL_OK);
    QCOMPARE(PJLGetLampStatus(&lamps, &lampCount), PJL_OK);
    QCOMPARE(PJLGetAvailableInputList(&inputs, &inputCount), PJL_OK);
    QCOMPARE(PJLGetName(&name), PJL_OK);
    QCOMPARE(PJLGetInf1(&manufacturer), PJL_OK);

    // Calls of other kinds leave them alone; a failed call hands out nothing, so what the
    // last good call of its kind handed out stays.
    projector->update([](EmulatorConfig &c) {
        c.name = "Renamed";
        c.lamps = {{7, 0}};
        c.rawAnswers["ERST"] = "%1ERST=ERR4";
    });
    const char *other = nullptr;
    QCOMPARE(PJLGetInf2(&other), PJL_OK);
    QCOMPARE(PJLGetInfo(&other), PJL_OK);
    const int *otherValues = nullptr;
    int otherCount = 0;
    QCOMPARE(PJLGetErrorStatus(&otherValues, &otherCount), PJL_ERR_FAILURE);
    QCOMPARE(toList(errors, errorCount), (QList<int>{0, 0, 0, 0, 0, 0}));
    QCOMPARE(toList(lamps, 2 * lampCount), (QList<int>{100, 1, 200, 1}));
    QCOMPARE(toList(inputs, 2 * inputCount), (QList<int>{1, 1, 1, 2, 2, 1, 3, 1, 5, 1}));
    QCOMPARE(QByteArray(name), QByteArray("Projector"));
    QCOMPARE(QByteArray(manufacturer), QByteArray("Emulux"));

    // The next call of the same kind hands out the new answer.
    QCOMPARE(PJLGetLampStatus(&lamps, &lampCount), PJL_OK);
    QCOMPARE(toList(lamps, 2 * lampCount), (QList<int>{7, 1}));
    QCOMPARE(PJLGetName(&name), PJL_OK);
    QCOMPARE(QByteArray(name), QByteArray("Renamed"));

    // An empty list still comes with a pointer the caller may hold.
    projector->update([](EmulatorConfig &c) { c.inputs.clear(); });
    inputs = nullptr;
    QCOMPARE(PJLGetAvailableInputList(&inputs, &inputCount), PJL_OK);
    QCOMPARE(inputCount, 0);
    QVERIFY(inputs != nullptr);
}

// Callers that break the one-caller rule only interleave their connections; every result is
// one of the documented codes and the sanitizers see no race or stray access.
void TestPjlinkClient::concurrentCallers_doNotCorruptState()
{
    EmulatorConfig config;
    config.power = 1;
    config.password = "pw";
    startProjector(config);

    std::atomic<int> unexpected{0};
    auto caller = [&] {
        for (int i = 0; i < 40; ++i) {
            const int connected = connectTo("pw");
            if (connected != 0 && connected != -1)
                ++unexpected;
            const int *values = nullptr;
            int count = 0;
            const char *text = nullptr;
            for (int result : {PJLGetLampStatus(&values, &count), PJLGetName(&text)}) {
                if (result != 0 && result != -1)
                    ++unexpected;
            }
            PJLDisconnect();
        }
    };
    std::thread first(caller);
    std::thread second(caller);
    first.join();
    second.join();
    QCOMPARE(unexpected.load(), 0);
}

QTEST_GUILESS_MAIN(TestPjlinkClient)
#include "tst_pjlink_client.moc"
