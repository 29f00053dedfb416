#include "model/projector.h"

#include "model/inputchoices.h"
#include "model/projectorcells.h"
#include "model/projectormanager.h"
#include "pjlink/answer.h"
#include "pjlink/class2.h"
#include "pjlink/pjlib.h"
#include "platform/echo.h"
#include "res/stringtable.h"
#include "tools/emulator/emulatedprojector.h"

#include <QtTest>
#include <cerrno>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int kPort = 4352;

// The result codes of the ten reads outside a connection window: what the projector
// remembered.
QList<int> OutsideResults(Projector &projector)
{
    PowerStatus power;
    InputStatus input;
    MuteStatus mute;
    std::vector<ErrorStatus> errors;
    std::vector<LampStatus> lamps;
    std::vector<InputStatus> inputs;
    QString text;
    int pjlinkClass = 0;
    return {projector.GetPowerStatus(power),  projector.GetInput(input),
            projector.GetMuteStatus(mute),    projector.GetAvailableInputList(inputs),
            projector.GetErrorStatus(errors), projector.GetLampStatus(lamps),
            projector.GetManufacturer(text),  projector.GetModelInfo(text),
            projector.GetOtherInfo(text),     projector.GetClass(pjlinkClass)};
}

QList<int> Repeated(int result)
{
    return QList<int>(10, result);
}

// One status read, reduced to result, code (power code, input type, mute code) and text.
struct Reading
{
    int result = 0;
    int code = 0;
    QString text;
};

Reading Read(Projector &projector, const QString &kind)
{
    // Distinct from anything a read may store, so an untouched value shows.
    if (kind == u"power"_s) {
        PowerStatus value(PowerStatus::Cooling);
        const int result = projector.GetPowerStatus(value);
        return {result, value.GetCode(), value.GetText()};
    }
    if (kind == u"input"_s) {
        InputStatus value(InputStatus::Storage, 4);
        const int result = projector.GetInput(value);
        return {result, value.GetType(), value.GetShortText(false)};
    }
    MuteStatus value(MuteStatus::Audio);
    const int result = projector.GetMuteStatus(value);
    return {result, value.GetCode(), value.GetText()};
}

// The result codes a read returns, compared whole so a failure shows every code.
QString Describe(const Reading &reading)
{
    return QString::number(reading.result) + u' ' + QString::number(reading.code) + u" \""_s +
           reading.text + u'"';
}

} // namespace

class TestProjector : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void connect_data();
    void connect();
    void connect_takesProjectorName();
    void statusRead_data();
    void statusRead();
    void errorList_data();
    void errorList();
    void listsAndTexts_insideAndOutside();
    void isKorvaneProjector_data();
    void isKorvaneProjector();
    void commands_data();
    void commands();
    void changeInput_unavailableUntilNextRead();
    void copy_takesIdentityOnly();
    void class2Read_hostileProjectors_data();
    void class2Read_hostileProjectors();
    void everyInput_readShownAndSwitched_data();
    void everyInput_readShownAndSwitched();
    void inputs_classNoLongerTwo_readWithClass1();

private:
    // A running emulator on an address of its own; nullptr (and the test fails) when it
    // cannot be bound.
    std::unique_ptr<EmulatedProjector> Start(EmulatorConfig config);
    std::unique_ptr<Projector> ProjectorFor(const EmulatedProjector &emulator,
                                            const QString &password = QString());

    // 127.42.0.0/24 is this suite's alone, so that suites run side by side never share a
    // listener or a connection left in TIME_WAIT.
    int m_nextHost = 1;
};

void TestProjector::initTestCase()
{
    SetStringLanguage(StringLanguage::English);
    QCOMPARE(PJLInit(), 0);
    ProjectorManager::SetPort(kPort);
    ProjectorManager::SetRecvTimeOut(1);
}

void TestProjector::cleanupTestCase()
{
    PJLDestroy();
}

void TestProjector::cleanup()
{
    platform::SetEchoCheckOverride({});
}

std::unique_ptr<EmulatedProjector> TestProjector::Start(EmulatorConfig config)
{
    if (m_nextHost > 254) {
        qWarning("out of loopback addresses");
        return nullptr;
    }
    config.address = "127.42.0." + std::to_string(m_nextHost++);
    config.port = kPort;
    auto emulator = std::make_unique<EmulatedProjector>(config);
    std::string error;
    if (!emulator->start(&error)) {
        qWarning("emulator on %s: %s", config.address.c_str(), error.c_str());
        return nullptr;
    }
    return emulator;
}

std::unique_ptr<Projector> TestProjector::ProjectorFor(const EmulatedProjector &emulator,
                                                       const QString &password)
{
    return std::make_unique<Projector>(QString(), QString::fromStdString(emulator.config().address),
                                       password, u"A"_s, QString());
}

void TestProjector::connect_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("change"); // what happens between the first and second Connect
    QTest::addColumn<int>("result");
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<bool>("authenticated");
    QTest::addColumn<int>("socketError");
    QTest::addColumn<bool>("valuesKept"); // what the first window read is still there

    for (const int mode : {0, 5}) {
        QTest::addRow("reconnect, mode %d", mode)
            << mode << u"none"_s << 0 << true << true << 0 << true;
        QTest::addRow("password missing, mode %d", mode)
            << mode << u"no password"_s << 10 << true << false << 0 << true;
        QTest::addRow("password wrong, mode %d", mode)
            << mode << u"wrong password"_s << 10 << true << false << 0 << true;
        QTest::addRow("port closed, mode %d", mode)
            << mode << u"not listening"_s << -1 << false << false << ECONNREFUSED << false;
        QTest::addRow("no echo, mode %d", mode)
            << mode << u"no echo"_s << -1 << false << false << 0 << false;
    }
}

void TestProjector::connect()
{
    QFETCH(int, mode);
    QFETCH(QString, change);
    QFETCH(int, result);
    QFETCH(bool, reachable);
    QFETCH(bool, authenticated);
    QFETCH(int, socketError);
    QFETCH(bool, valuesKept);

    EmulatorConfig config;
    config.password = "secret";
    config.name = "Hall";
    config.manufacturer = "Emulux";
    config.power = 1;
    const auto emulator = Start(config);
    QVERIFY(emulator);
    const auto projector = ProjectorFor(*emulator, u"secret"_s);

    // First window: a good connection that reads something worth keeping.
    QCOMPARE(projector->Connect(mode), 0);
    QVERIFY(projector->IsAuthorizationRequired());
    QCOMPARE(projector->GetName(), u"Hall"_s);
    QString manufacturer;
    PowerStatus power;
    QCOMPARE(projector->GetManufacturer(manufacturer), 0);
    QCOMPARE(projector->GetPowerStatus(power), 0);
    projector->Disconnect();
    // The name read carries the password: no query of the connect's own before it.
    QCOMPARE(emulator->receivedCommands(),
             (std::vector<std::string>{"NAME ?", "INF1 ?", "POWR ?"}));

    if (change == u"no password"_s)
        projector->SetPassword(QString());
    else if (change == u"wrong password"_s)
        projector->SetPassword(u"other"_s);
    if (change == u"not listening"_s) {
        // The address still answers; only the PJLink port is closed.
        emulator->stop();
        platform::SetEchoCheckOverride([](const QString &) { return true; });
    } else if (change == u"no echo"_s)
        platform::SetEchoCheckOverride([](const QString &) { return false; });
    const int connections = emulator->connectionCount();

    QCOMPARE(projector->Connect(mode), result);
    QCOMPARE(projector->GetConnectResult(), result);
    QCOMPARE(projector->IsReachable(), reachable);
    QCOMPARE(projector->IsAuthenticated(), authenticated);
    QCOMPARE(projector->GetLastSocketError(), socketError);
    QVERIFY(projector->IsConnected());
    projector->Disconnect();
    QVERIFY(!projector->IsConnected());
    QCOMPARE(OutsideResults(*projector), Repeated(result));
    if (change == u"no echo"_s)
        QCOMPARE(emulator->connectionCount(), connections);

    // Once the projector answers again, reads outside a window show whether the values of
    // the first window survived.
    platform::SetEchoCheckOverride({});
    QVERIFY(emulator->start());
    projector->SetPassword(u"secret"_s);
    QCOMPARE(projector->Connect(mode), 0);
    projector->Disconnect();
    QCOMPARE(OutsideResults(*projector), Repeated(0));
    QString manufacturerNow;
    PowerStatus powerNow;
    projector->GetManufacturer(manufacturerNow);
    projector->GetPowerStatus(powerNow);
    QCOMPARE(manufacturerNow, valuesKept ? u"Emulux"_s : QString());
    QCOMPARE(powerNow.GetCode(), valuesKept ? int(PowerStatus::On) : int(PowerStatus::Unknown));
}

void TestProjector::connect_takesProjectorName()
{
    EmulatorConfig config;
    config.name = "Hall 1";
    const auto emulator = Start(config);
    QVERIFY(emulator);
    const auto projector = ProjectorFor(*emulator);

    const auto nameAfterConnect = [&projector] {
        const int result = projector->Connect(0);
        projector->Disconnect();
        return result;
    };
    QCOMPARE(nameAfterConnect(), 0);
    QCOMPARE(projector->GetName(), u"Hall 1"_s);

    emulator->update([](EmulatorConfig &c) { c.name = "Saal 2 \xe2\x80\x93 B\xc3\xbchne"; });
    QCOMPARE(nameAfterConnect(), 0);
    QCOMPARE(projector->GetName(), u"Saal 2 \u2013 B\u00fchne"_s);

    // A name that is not UTF-8 is not taken, and the connection still counts.
    emulator->update([](EmulatorConfig &c) { c.rawAnswers["NAME"] = "%1NAME=Hall \xff\xfe"; });
    QCOMPARE(nameAfterConnect(), 0);
    QCOMPARE(projector->GetName(), u"Saal 2 \u2013 B\u00fchne"_s);
    QVERIFY(projector->IsAuthenticated());

    // Nor is an empty name: a projector without a PJLink name keeps the registered one.
    emulator->update([](EmulatorConfig &c) { c.rawAnswers["NAME"] = "%1NAME="; });
    QCOMPARE(nameAfterConnect(), 0);
    QCOMPARE(projector->GetName(), u"Saal 2 \u2013 B\u00fchne"_s);

    QString name;
    QCOMPARE(projector->GetProjectorName(name), 0);
    QCOMPARE(name, projector->GetName());
}

void TestProjector::statusRead_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("power");       // the emulator's power state
    QTest::addColumn<QString>("command"); // answered with rawAnswer instead, when not empty
    QTest::addColumn<QString>("rawAnswer");
    QTest::addColumn<QString>("inside");  // "result code text" inside the window
    QTest::addColumn<QString>("outside"); // and outside it

    // Inside, a failed read leaves the caller's value alone (power 2, input Storage4,
    // mute 2); outside, power and input then show unknown.
    QTest::newRow("power on") << u"power"_s << 1 << QString() << QString() << u"0 1 \"On\""_s
                              << u"0 1 \"On\""_s;
    QTest::newRow("power code 7") << u"power"_s << 1 << u"POWR"_s << u"%1POWR=7"_s << u"0 -1 \"\""_s
                                  << u"0 -1 \"\""_s;
    QTest::newRow("power ERR4") << u"power"_s << 1 << u"POWR"_s << u"%1POWR=ERR4"_s
                                << u"4 2 \"Cooling\""_s << u"4 -1 \"\""_s;
    QTest::newRow("input RGB1") << u"input"_s << 1 << QString() << QString() << u"0 1 \"RGB1\""_s
                                << u"0 1 \"RGB1\""_s;
    QTest::newRow("input ERR3 while off")
        << u"input"_s << 0 << QString() << QString() << u"0 9 \"\""_s << u"0 9 \"\""_s;
    QTest::newRow("input ERR4") << u"input"_s << 1 << u"INPT"_s << u"%1INPT=ERR4"_s
                                << u"4 4 \"Storage4\""_s << u"4 -1 \"\""_s;
    QTest::newRow("mute 30") << u"mute"_s << 1 << QString() << QString() << u"0 0 \"\""_s
                             << u"0 0 \"\""_s;
    QTest::newRow("mute 11") << u"mute"_s << 1 << u"AVMT"_s << u"%1AVMT=11"_s << u"0 1 \"Video\""_s
                             << u"0 1 \"Video\""_s;
    QTest::newRow("mute 31") << u"mute"_s << 1 << u"AVMT"_s << u"%1AVMT=31"_s
                             << u"0 3 \"Video & Audio\""_s << u"0 3 \"Video & Audio\""_s;
    QTest::newRow("mute ERR3 while off")
        << u"mute"_s << 0 << QString() << QString() << u"0 0 \"\""_s << u"0 0 \"\""_s;
    QTest::newRow("mute value 41")
        << u"mute"_s << 1 << u"AVMT"_s << u"%1AVMT=41"_s << u"-1 2 \"Audio\""_s << u"-1 -1 \"\""_s;
}

void TestProjector::statusRead()
{
    QFETCH(QString, kind);
    QFETCH(int, power);
    QFETCH(QString, command);
    QFETCH(QString, rawAnswer);
    QFETCH(QString, inside);
    QFETCH(QString, outside);

    EmulatorConfig config;
    config.power = power;
    if (!command.isEmpty())
        config.rawAnswers[command.toStdString()] = rawAnswer.toStdString();
    const auto emulator = Start(config);
    QVERIFY(emulator);
    const auto projector = ProjectorFor(*emulator);

    QCOMPARE(projector->Connect(0), 0);
    const Reading in = Read(*projector, kind);
    projector->Disconnect();
    QCOMPARE(Describe(in), inside);
    QCOMPARE(Describe(Read(*projector, kind)), outside);
}

void TestProjector::errorList_data()
{
    QTest::addColumn<QString>("erst"); // the ERST answer
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("category"); // of the worst entry, -2 for none
    QTest::addColumn<int>("level");

    QTest::newRow("first error wins over earlier warning") << u"%1ERST=010200"_s << 0 << 3 << 2;
    QTest::newRow("first warning") << u"%1ERST=001010"_s << 0 << 2 << 1;
    QTest::newRow("errors only last") << u"%1ERST=000002"_s << 0 << 5 << 2;
    QTest::newRow("all none") << u"%1ERST=000000"_s << 0 << -2 << 0;
    QTest::newRow("ERR4") << u"%1ERST=ERR4"_s << 4 << -2 << 0;
}

void TestProjector::errorList()
{
    QFETCH(QString, erst);
    QFETCH(int, result);
    QFETCH(int, category);
    QFETCH(int, level);

    EmulatorConfig config;
    config.rawAnswers["ERST"] = erst.toStdString();
    const auto emulator = Start(config);
    QVERIFY(emulator);
    const auto projector = ProjectorFor(*emulator);

    const auto check = [&] {
        std::optional<ErrorStatus> worst;
        QCOMPARE(projector->GetWorstError(worst), result);
        QCOMPARE(worst.has_value(), category != -2);
        if (worst) {
            QCOMPARE(worst->GetCategory(), category);
            QCOMPARE(worst->GetLevel(), level);
        }
        std::vector<ErrorStatus> errors;
        QCOMPARE(projector->GetErrorStatus(errors), result);
        QCOMPARE(errors.size(), result == 0 ? 6u : 0u);
        for (std::size_t i = 0; i < errors.size(); ++i)
            QCOMPARE(errors[i].GetCategory(), int(i));
    };

    QCOMPARE(projector->Connect(0), 0);
    check();
    projector->Disconnect();
    if (QTest::currentTestFailed())
        return;
    emulator->clearReceivedCommands();
    check();
    QVERIFY(emulator->receivedCommands().empty());
}

void TestProjector::listsAndTexts_insideAndOutside()
{
    EmulatorConfig config;
    config.power = 1;
    config.lamps = {{1500, 0}, {20, 0}};
    config.rawAnswers["INST"] = "%1INST=11 10 31";
    config.product = "EP-100";
    config.otherInfo = "Fl\xc3\xbcgel";
    config.pjlinkClass = 2;
    const auto emulator = Start(config);
    QVERIFY(emulator);
    const auto projector = ProjectorFor(*emulator);

    const auto readAll = [&projector] {
        std::vector<InputStatus> inputs;
        std::vector<LampStatus> lamps;
        QString model;
        QString other;
        int pjlinkClass = 0;
        QStringList seen;
        seen << QString::number(projector->GetAvailableInputList(inputs));
        for (const InputStatus &input : inputs)
            seen << input.GetShortText(false);
        seen << QString::number(projector->GetLampStatus(lamps));
        for (const LampStatus &lamp : lamps)
            seen << QString::number(lamp.GetHours()) + u'/' + QString::number(lamp.GetOn());
        seen << QString::number(projector->GetModelInfo(model)) << model;
        seen << QString::number(projector->GetOtherInfo(other)) << other;
        seen << QString::number(projector->GetClass(pjlinkClass)) << QString::number(pjlinkClass);
        return seen;
    };
    const QStringList expected{u"0"_s,      u"RGB1"_s,        u"Digital1"_s, u"0"_s,
                               u"1500/1"_s, u"20/1"_s,        u"0"_s,        u"EP-100"_s,
                               u"0"_s,      u"Fl\u00fcgel"_s, u"0"_s,        u"2"_s};

    QCOMPARE(projector->Connect(0), 0);
    QCOMPARE(readAll(), expected);
    projector->Disconnect();
    emulator->clearReceivedCommands();
    QCOMPARE(readAll(), expected);
    QVERIFY(emulator->receivedCommands().empty());

    // A later window replaces the lists; a failed read keeps them and reports its code.
    emulator->update([](EmulatorConfig &c) {
        c.rawAnswers["INST"] = "%1INST=21";
        c.lamps.clear(); // LAMP answers ERR1
    });
    QCOMPARE(projector->Connect(0), 0);
    std::vector<InputStatus> inputs;
    std::vector<LampStatus> lamps{LampStatus(0, 7)};
    QCOMPARE(projector->GetAvailableInputList(inputs), 0);
    QCOMPARE(inputs.size(), 1u);
    QCOMPARE(inputs[0].GetShortText(false), u"Video1"_s);
    QCOMPARE(projector->GetLampStatus(lamps), 1);
    QCOMPARE(lamps.size(), 1u);
    QCOMPARE(lamps[0].GetHours(), 7);
    projector->Disconnect();
    QCOMPARE(projector->GetLampStatus(lamps), 1);
    QCOMPARE(lamps[0].GetHours(), 7);
}

void TestProjector::isKorvaneProjector_data()
{
    QTest::addColumn<QString>("manufacturer");
    QTest::addColumn<bool>("connect"); // read inside a window before asking
    QTest::addColumn<bool>("expected");

    QTest::newRow("exact") << u"korvane"_s << true << true;
    QTest::newRow("other case") << u"KorVane"_s << true << true;
    QTest::newRow("longer") << u"Korvane Inc."_s << true << false;
    QTest::newRow("other maker") << u"Emulux"_s << true << false;
    QTest::newRow("never read") << u"korvane"_s << false << false;
}

void TestProjector::isKorvaneProjector()
{
    QFETCH(QString, manufacturer);
    QFETCH(bool, connect);
    QFETCH(bool, expected);

    EmulatorConfig config;
    config.manufacturer = manufacturer.toStdString();
    const auto emulator = Start(config);
    QVERIFY(emulator);
    const auto projector = ProjectorFor(*emulator);

    if (connect) {
        QCOMPARE(projector->Connect(0), 0);
        QString read;
        QCOMPARE(projector->GetManufacturer(read), 0);
        projector->Disconnect();
    }
    // Outside a window it answers from the stored manufacturer.
    QCOMPARE(Projector::IsKorvaneProjector(*projector), expected);
}

void TestProjector::commands_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("power"); // the emulator's power state
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("sent");    // what the emulator received
    QTest::addColumn<QString>("outside"); // the matching read outside the window

    QTest::newRow("power on") << u"power"_s << 0 << 0 << u"POWR 1"_s << u"0 -1 \"\""_s;
    QTest::newRow("input while on") << u"input"_s << 1 << 0 << u"INPT 12"_s << u"0 -1 \"\""_s;
    QTest::newRow("input while off") << u"input"_s << 0 << 3 << u"INPT 12"_s << u"3 9 \"\""_s;
    QTest::newRow("mute while on") << u"mute"_s << 1 << 0 << u"AVMT 21"_s << u"0 -1 \"\""_s;
    QTest::newRow("mute while off") << u"mute"_s << 0 << 3 << u"AVMT 21"_s << u"3 0 \"\""_s;
}

void TestProjector::commands()
{
    QFETCH(QString, command);
    QFETCH(int, power);
    QFETCH(int, result);
    QFETCH(QString, sent);
    QFETCH(QString, outside);

    EmulatorConfig config;
    config.power = power;
    const auto emulator = Start(config);
    QVERIFY(emulator);
    const auto projector = ProjectorFor(*emulator);

    const auto send = [&] {
        if (command == u"power"_s)
            return projector->SetPower(PowerStatus(PowerStatus::On));
        if (command == u"input"_s)
            return projector->ChangeInput(InputStatus(InputStatus::RGB, 2));
        return projector->SetMute(MuteStatus(MuteStatus::Audio), true);
    };

    // Outside a window nothing reaches the projector.
    QCOMPARE(send(), -1);
    QCOMPARE(emulator->connectionCount(), 0);

    QCOMPARE(projector->Connect(0), 0);
    emulator->clearReceivedCommands();
    QCOMPARE(send(), result);
    projector->Disconnect();
    QCOMPARE(emulator->receivedCommands(), std::vector<std::string>{sent.toStdString()});
    QCOMPARE(Describe(Read(*projector, command)), outside);
}

void TestProjector::changeInput_unavailableUntilNextRead()
{
    EmulatorConfig config;
    config.power = 1;
    config.input = {3, 1};
    const auto emulator = Start(config);
    QVERIFY(emulator);
    const auto projector = ProjectorFor(*emulator);

    QCOMPARE(projector->Connect(0), 0);
    QCOMPARE(Describe(Read(*projector, u"input"_s)), u"0 3 \"Digital1\""_s);
    emulator->update([](EmulatorConfig &c) { c.power = 0; });
    QCOMPARE(projector->ChangeInput(InputStatus(InputStatus::RGB, 2)), 3);
    projector->Disconnect();
    QCOMPARE(Describe(Read(*projector, u"input"_s)), u"3 9 \"\""_s);

    emulator->update([](EmulatorConfig &c) { c.power = 1; });
    QCOMPARE(projector->Connect(5), 0);
    QCOMPARE(Describe(Read(*projector, u"input"_s)), u"0 3 \"Digital1\""_s);
    projector->Disconnect();
    QCOMPARE(Describe(Read(*projector, u"input"_s)), u"0 3 \"Digital1\""_s);
}

void TestProjector::copy_takesIdentityOnly()
{
    EmulatorConfig config;
    config.name = "Lobby";
    config.power = 1;
    const auto emulator = Start(config);
    QVERIFY(emulator);
    Projector original(u"Old"_s, QString::fromStdString(emulator->config().address), u"pw"_s,
                       u"M"_s, u"/A"_s);
    QCOMPARE(original.Connect(0), 0);
    PowerStatus power;
    QCOMPARE(original.GetPowerStatus(power), 0);
    original.Disconnect();

    const Projector copy(original);
    QCOMPARE(copy.GetName(), u"Lobby"_s);
    QCOMPARE(copy.GetIPAddress(), original.GetIPAddress());
    QCOMPARE(copy.GetPassword(), u"pw"_s);
    QCOMPARE(copy.GetPath(), u"/A"_s);
    QCOMPARE(copy.GetParent(), nullptr);
    QVERIFY(!copy.IsReachable());
    QVERIFY(!copy.IsAuthenticated());
    QVERIFY(!copy.IsConnected());
    QCOMPARE(copy.GetConnectResult(), -1);
    Projector readable(copy);
    QCOMPARE(OutsideResults(readable), Repeated(-1));
    QCOMPARE(Describe(Read(readable, u"power"_s)), u"-1 -1 \"\""_s);
    QCOMPARE(original.GetRegistrationMethod(), int(Projector::SpecifyIPAddress));
}

void TestProjector::class2Read_hostileProjectors_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("result");    // of the Class 2 read, which counts as made
    QTest::addColumn<QString>("names"); // the input names read, "type number name;..."
    QTest::addColumn<int>("maxNameQueries");

    QTest::newRow("names not valid text, shown escaped")
        << u"bad text"_s << 0 << u"3 1 HD\\xff\\x01;3 2 Saal \u00dc;"_s << 2;
    QTest::newRow("cut off halfway") << u"cut off"_s << -1 << QString() << 2;
    QTest::newRow("43 inputs, each name just inside the time-out")
        << u"slow"_s << -1 << QString() << 42;
    // The first name is the answer; the flood behind it could pass for the second input's name,
    // so the read stops there.
    QTest::newRow("10,000 INNM lines for one query, none taken for the next input")
        << u"flood"_s << -1 << u"3 1 One;"_s << 2;
}

// However a Class 2 projector answers, its read ends within the window's budget, a read cut off
// shows as failed, and a name that is not text is shown, escaped.
void TestProjector::class2Read_hostileProjectors()
{
    QFETCH(QString, kind);
    QFETCH(int, result);
    QFETCH(QString, names);
    QFETCH(int, maxNameQueries);

    EmulatorConfig config;
    config.pjlinkClass = 2;
    config.power = 1;
    if (kind == u"bad text"_s) {
        config.inputs = {{3, 1}, {3, 2}};
        config.inputNames = {{{3, 1}, "HD\xff\x01"}, {{3, 2}, "Saal \xc3\x9c"}};
    } else if (kind == u"flood"_s) {
        config.inputs = {{3, 1}, {3, 2}};
        config.inputNames = {{{3, 1}, "One"}, {{3, 2}, "Two"}};
        config.repeatedAnswers = {{"INNM", 10000}};
    } else if (kind == u"cut off"_s) {
        config.inputs = {{3, 1}, {3, 2}};
        config.dropAfterCommands = 4; // the name, class, filter hours, then gone
    } else {
        config.inputs.clear();
        for (int type = 1; type <= 5; ++type) {
            for (int number = 1; number <= 9 && config.inputs.size() < 43; ++number)
                config.inputs.emplace_back(type, number);
        }
        config.answerDelayMs = 900; // the suite's time-out is 1 s
    }
    const auto emulator = Start(config);
    QVERIFY(emulator);
    const auto projector = ProjectorFor(*emulator);

    projector->Connect(0);
    projector->ReadClass2Status(true);
    projector->Disconnect();

    const Class2Status status = projector->GetClass2Status();
    QVERIFY(status.IsRead());
    QCOMPARE(status.result, result);
    QString shown;
    for (const auto &[input, name] : status.inputNames)
        shown += u"%1 %2 %3;"_s.arg(input.GetType()).arg(input.GetNumber()).arg(name);
    QCOMPARE(shown, names);
    const auto received = emulator->receivedCommands();
    const auto nameQueries =
        std::count_if(received.begin(), received.end(),
                      [](const std::string &line) { return line.rfind("INNM", 0) == 0; });
    QVERIFY2(nameQueries <= maxNameQueries, qPrintable(QString::number(nameQueries)));
}

void TestProjector::everyInput_readShownAndSwitched_data()
{
    QTest::addColumn<int>("pjlinkClass");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("code");  // as PJLink writes it
    QTest::addColumn<QString>("shown"); // the list cell, the drop-down's entry before its name

    const char *types[] = {"RGB", "Video", "Digital", "Storage", "Network", "Internal"};
    for (int type = 1; type <= 6; ++type) {
        for (const int number : {1, 9, 10, 35}) {
            const QString digit =
                number < 10 ? QString::number(number) : QString(QChar(u'A' + number - 10));
            const QString code = QString::number(type) + digit;
            QTest::addRow("Class 2, %s", qPrintable(code))
                << 2 << type << number << code << QString::fromLatin1(types[type - 1]) + digit;
        }
    }
    // What Class 1 can name stays a Class 1 exchange.
    QTest::newRow("Class 1, 31") << 1 << 3 << 1 << u"31"_s << u"Digital1"_s;
    QTest::newRow("Class 1, 59") << 1 << 5 << 9 << u"59"_s << u"Network9"_s;
}

// Every input a Class 2 projector can have (types 1 to 6, numbers 1 to 9 and A to Z) goes
// through the parser, the input list and current input the refresh reads, the list cell, the
// drop-down entry with its terminal name, and the switch command: "%2INPT" where Class 1 cannot
// name the input, "%1INPT" otherwise. A Class 1 projector is never sent "%2".
void TestProjector::everyInput_readShownAndSwitched()
{
    QFETCH(int, pjlinkClass);
    QFETCH(int, type);
    QFETCH(int, number);
    QFETCH(QString, code);
    QFETCH(QString, shown);

    const pjlink::InputAnswer parsed = pjlink::parseInput(code.toStdString());
    QCOMPARE(parsed.code, 0);
    QCOMPARE(std::pair(parsed.type, parsed.number), std::pair(type, number));
    QCOMPARE(QString::fromStdString(pjlink::class2::InputCode({type, number})), code);
    const InputStatus input(type, number);
    QCOMPARE(input.GetShortText(false), shown);
    const bool needsClass2 = type == 6 || number > 9;
    QCOMPARE(input.NeedsClass2(), needsClass2);

    EmulatorConfig config;
    config.pjlinkClass = pjlinkClass;
    config.power = 1;
    config.inputs = {{1, 1}};
    if (input != InputStatus(1, 1))
        config.inputs.emplace_back(type, number);
    config.input = {1, 1};
    config.inputNames = {{{type, number}, "Terminal " + code.toStdString()}};
    const auto emulator = Start(config);
    QVERIFY(emulator);
    const auto projector = ProjectorFor(*emulator);

    // The refresh's reads, in its order; the class is learnt on the way.
    const auto read = [&projector] {
        PowerStatus power;
        std::vector<InputStatus> inputs;
        InputStatus current;
        QCOMPARE(projector->Connect(0), 0);
        projector->GetPowerStatus(power);
        projector->GetAvailableInputList(inputs);
        projector->GetInput(current);
        projector->ReadClass2Status(false);
        projector->Disconnect();
    };
    read();
    ProjectorState state = projector->GetState();
    QCOMPARE(state.inputListResult, 0);
    QVERIFY2(std::find(state.inputs.begin(), state.inputs.end(), input) != state.inputs.end(),
             qPrintable(QString::number(state.inputs.size())));
    const std::vector<InputChoice> choices = MakeInputChoices({state});
    QStringList texts;
    for (const InputChoice &choice : choices)
        texts << choice.text;
    QVERIFY2(texts.contains(pjlinkClass == 2 ? shown + u" - Terminal "_s + code : shown),
             qPrintable(texts.join(u", "_s)));

    emulator->clearReceivedCommands();
    QCOMPARE(projector->Connect(0), 0);
    QCOMPARE(projector->ChangeInput(input), 0);
    projector->Disconnect();
    const auto requests = emulator->receivedRequests();
    const std::string sent = (needsClass2 ? "%2INPT " : "%1INPT ") + code.toStdString();
    QVERIFY2(std::find(requests.begin(), requests.end(), sent) != requests.end(), sent.c_str());
    QCOMPARE(emulator->config().input, std::pair(type, number));

    read();
    state = projector->GetState();
    QCOMPARE(state.inputResult, 0);
    QCOMPARE(state.input, input);
    QCOMPARE(GetProjectorCells(state).input, shown);
    if (pjlinkClass == 1) {
        for (const std::string &request : emulator->receivedRequests())
            QVERIFY2(request.rfind("%1", 0) == 0, request.c_str());
    }
}

// The class is remembered between windows; a projector that no longer knows "%2INST" and
// "%2INPT" (another one at the address now) still has its inputs read, with "%1".
void TestProjector::inputs_classNoLongerTwo_readWithClass1()
{
    EmulatorConfig config;
    config.pjlinkClass = 2;
    config.power = 1;
    config.inputs = {{1, 1}, {3, 10}};
    config.input = {3, 10};
    const auto emulator = Start(config);
    QVERIFY(emulator);
    const auto projector = ProjectorFor(*emulator);
    const auto read = [&projector] {
        std::vector<InputStatus> inputs;
        InputStatus input;
        QCOMPARE(projector->Connect(0), 0);
        projector->GetAvailableInputList(inputs);
        projector->GetInput(input);
        projector->ReadClass2Status(false);
        projector->Disconnect();
    };
    read();
    QCOMPARE(projector->GetState().input, InputStatus(3, 10));

    emulator->update([](EmulatorConfig &c) {
        c.pjlinkClass = 1;
        c.inputs = {{1, 1}, {3, 1}};
        c.input = {3, 1};
    });
    read();
    const ProjectorState state = projector->GetState();
    QCOMPARE(state.inputListResult, 0);
    QCOMPARE(state.inputs, (std::vector<InputStatus>{{1, 1}, {3, 1}}));
    QCOMPARE(state.inputResult, 0);
    QCOMPARE(state.input, InputStatus(3, 1));
}

QTEST_GUILESS_MAIN(TestProjector)
#include "tst_projector.moc"
