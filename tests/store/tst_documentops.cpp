#include "model/connectionwindow.h"
#include "model/group.h"
#include "model/projector.h"
#include "model/projectorcells.h"
#include "model/projectormanager.h"
#include "pjlink/pjlib.h"
#include "platform/echo.h"
#include "res/stringtable.h"
#include "store/actioneventmanager.h"
#include "store/cvanteldoc.h"
#include "store/usermessage.h"
#include "tests/common/documentfixture.h"
#include "tools/emulator/emulatedprojector.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

using namespace Qt::StringLiterals;

class TestDocumentOps : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void commands_data();
    void commands();
    void sendPower_reachesEveryProjectorBelowTheGroupOnce();
    void sendPower_outcomes_data();
    void sendPower_outcomes();
    void allUnreachable_countZeroAndNoEvent();
    void neverAnswered_skippedByEveryCommandWithoutConnecting();
    void sendInput_onlyProjectorsOfferingTheInput();
    void sendMute_withoutKind_reachesNoProjector();
    void requeryStatus_readsPowerInputAndMuteBack();
    void refreshProjector_logsItsEventAndLeavesRemovedAlone();
    void sendPower_whileRefreshRuns_eachProjectorOnce();
    void slowWindowOpen_readsSavesAndOtherCommandsGoOn();
    void wrongPassword_everyResultIs10AfterRefreshAndCommand();
    void sendPower_laterProjectorsAnswerFirst_resultsInSelectionOrder();

private:
    // This suite's emulators live on 127.55.0.0/16.
    DocumentFixture m_fixture{55};
    CVantelDoc *m_doc = nullptr;
};

void TestDocumentOps::initTestCase()
{
    SetStringLanguage(StringLanguage::English);
}

void TestDocumentOps::init()
{
    QVERIFY(m_fixture.Open());
    m_doc = &m_fixture.Doc();
    SetEventFilter(false);
    QCOMPARE(ProjectorManager::GetPort(), 4352);
}

void TestDocumentOps::cleanup()
{
    m_doc = nullptr;
    m_fixture.Close();
}

void TestDocumentOps::commands_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("value");  // power code, input type or mute code
    QTest::addColumn<int>("number"); // input number, or 1 for mute on
    QTest::addColumn<QString>("manufacturer");
    QTest::addColumn<QStringList>("received");
    QTest::addColumn<QString>("message");

    const QString maker = u"Korvane"_s;
    const QString other = u"Emulux"_s;
    QTest::newRow("power on") << u"power"_s << 1 << 0 << other
                              << QStringList{u"NAME ?"_s, u"POWR 1"_s}
                              << u"The power has been turned On."_s;
    QTest::newRow("power off") << u"power"_s << 0 << 0 << other
                               << QStringList{u"NAME ?"_s, u"POWR 0"_s}
                               << u"The power has been turned Off."_s;
    QTest::newRow("video mute on")
        << u"mute"_s << 1 << 1 << other << QStringList{u"NAME ?"_s, u"AVMT 11"_s}
        << u"The mute setting for Video has been turned on."_s;
    QTest::newRow("audio mute off")
        << u"mute"_s << 2 << 0 << other << QStringList{u"NAME ?"_s, u"AVMT 20"_s}
        << u"The mute setting for Audio has been turned off."_s;
    QTest::newRow("video and audio mute on")
        << u"mute"_s << 3 << 1 << other << QStringList{u"NAME ?"_s, u"AVMT 31"_s}
        << u"The mute setting for Video & Audio has been turned on."_s;
    QTest::newRow("input Digital1")
        << u"input"_s << 3 << 1 << other << QStringList{u"NAME ?"_s, u"INST ?"_s, u"INPT 31"_s}
        << u"The input has been switched to Digital1."_s;
    QTest::newRow("input RGB9 of another maker")
        << u"input"_s << 1 << 9 << other << QStringList{u"NAME ?"_s, u"INST ?"_s, u"INPT 19"_s}
        << u"The input has been switched to RGB9."_s;
    QTest::newRow("input RGB9 of the maker is its camera")
        << u"input"_s << 1 << 9 << maker << QStringList{u"NAME ?"_s, u"INST ?"_s, u"INPT 19"_s}
        << u"The input has been switched to Camera."_s;
}

void TestDocumentOps::commands()
{
    QFETCH(QString, command);
    QFETCH(int, value);
    QFETCH(int, number);
    QFETCH(QString, manufacturer);
    QFETCH(QStringList, received);
    QFETCH(QString, message);

    EmulatorConfig config;
    config.power = PowerStatus::On; // input and mute are refused in standby
    config.manufacturer = manufacturer.toStdString();
    config.inputs.emplace_back(1, 9);
    EmulatedProjector *emulator = m_fixture.Emulate(u"Hall"_s, config);
    QVERIFY(emulator);
    Projector *projector = m_fixture.Register(*emulator);
    m_fixture.RefreshAll();

    std::vector<Projector *> touched;
    const std::vector<ProjectorNode *> selection{projector};
    int count = -1;
    if (command == u"power"_s)
        count = m_doc->SendPower(selection, touched, PowerStatus(value));
    else if (command == u"mute"_s)
        count = m_doc->SendMute(selection, touched, MuteStatus(value), number == 1);
    else
        count = m_doc->SendInput(selection, touched, InputStatus(value, number));

    QCOMPARE(count, 1);
    QCOMPARE(touched, std::vector<Projector *>{projector});
    QCOMPARE(ReceivedCommands(*emulator), received);
    QCOMPARE(TakeEvents(), QStringList{u"Hall: "_s + message});
    QVERIFY(ReadEventLog().contains((message + u"  Hall\r\n"_s).toUtf8()));
}

void TestDocumentOps::sendPower_reachesEveryProjectorBelowTheGroupOnce()
{
    // Top > first > second > third level of groups, a projector on each, one more at the top
    // and one in a group that is not selected.
    Group *top = m_fixture.AddGroup(m_doc->GetRoot(), u"Top"_s);
    Group *first = m_fixture.AddGroup(top, u"First"_s);
    Group *second = m_fixture.AddGroup(first, u"Second"_s);
    Group *third = m_fixture.AddGroup(second, u"Third"_s);
    Group *elsewhere = m_fixture.AddGroup(m_doc->GetRoot(), u"Elsewhere"_s);
    const std::vector<Group *> placement{top, first, second, third, nullptr, elsewhere};
    std::vector<Projector *> projectors;
    for (size_t i = 0; i < placement.size(); ++i) {
        EmulatedProjector *emulator = m_fixture.Emulate(u"P%1"_s.arg(i + 1));
        QVERIFY(emulator);
        projectors.push_back(m_fixture.Register(*emulator, placement[i]));
    }
    m_fixture.RefreshAll();
    const int connectionsBefore = m_fixture.Fleet().Emulators().back()->connectionCount();

    std::vector<Projector *> touched;
    QCOMPARE(m_doc->SendPower({top, projectors[4]}, touched, PowerStatus(PowerStatus::On)), 5);

    // Children in tree order: a group's subgroups were added before its projector.
    QCOMPARE(touched, (std::vector<Projector *>{projectors[3], projectors[2], projectors[1],
                                                projectors[0], projectors[4]}));
    for (size_t i = 0; i < 5; ++i)
        QCOMPARE(ReceivedCommands(*m_fixture.Fleet().Emulators()[i]),
                 (QStringList{u"NAME ?"_s, u"POWR 1"_s}));
    QCOMPARE(ReceivedCommands(*m_fixture.Fleet().Emulators().back()), QStringList());
    QCOMPARE(m_fixture.Fleet().Emulators().back()->connectionCount(), connectionsBefore);
    QStringList expected;
    for (const int i : {4, 3, 2, 1, 5})
        expected.append(u"P%1: The power has been turned On."_s.arg(i));
    QCOMPARE(TakeEvents(), expected);
}

void TestDocumentOps::sendPower_outcomes_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("received"); // after authentication
    QTest::addColumn<int>("connections");      // TCP connections the command made
    QTest::addColumn<bool>("logged");
    QTest::addColumn<int>("outcome"); // CommandOutcome
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("power"); // the power read after a refusal, -2 when none

    // With a password the first query, the name read at connect, carries the digest: no query
    // is sent only to check the password.
    const QStringList sent{u"NAME ?"_s, u"POWR 1"_s};
    const int none = -2;
    QTest::newRow("accepted") << u"accepted"_s << 1 << sent << 1 << true
                              << int(CommandOutcome::Done) << 0 << none;
    // The state it refused in is read in the same window.
    QTest::newRow("rejected: counted, not logged, power read")
        << u"ERR3"_s << 1 << sent + QStringList{u"POWR ?"_s} << 1 << false
        << int(CommandOutcome::Unavailable) << 3 << int(PowerStatus::Off);
    QTest::newRow("dropped before the answer: counted, not logged")
        << u"dropped"_s << 1 << sent << 1 << false << int(CommandOutcome::Dropped) << -1 << none;
    QTest::newRow("password refused: counted, nothing sent")
        << u"wrong password"_s << 1 << QStringList() << 1 << false
        << int(CommandOutcome::PasswordRefused) << 10 << none;
    QTest::newRow("stopped answering") << u"not listening"_s << 0 << QStringList() << 0 << false
                                       << int(CommandOutcome::NoAnswer) << -1 << none;
    QTest::newRow("never answered: no connect attempt")
        << u"never refreshed"_s << 0 << QStringList() << 0 << false << int(CommandOutcome::NoAnswer)
        << -1 << none;
}

void TestDocumentOps::sendPower_outcomes()
{
    QFETCH(QString, situation);
    QFETCH(int, count);
    QFETCH(QStringList, received);
    QFETCH(int, connections);
    QFETCH(bool, logged);
    QFETCH(int, outcome);
    QFETCH(int, result);
    QFETCH(int, power);

    EmulatorConfig config;
    config.password = "secret";
    if (situation == u"ERR3"_s)
        config.refusedSets["POWR"] = 3;
    if (situation == u"dropped"_s)
        config.droppedSets = {"POWR"};
    EmulatedProjector *emulator = m_fixture.Emulate(u"Hall"_s, config);
    QVERIFY(emulator);
    Projector *projector = m_fixture.Register(
        *emulator, nullptr, situation == u"wrong password"_s ? u"wrong"_s : u"secret"_s);
    if (situation != u"never refreshed"_s)
        m_fixture.RefreshAll();
    if (situation == u"not listening"_s)
        emulator->update([](EmulatorConfig &c) { c.listening = false; });
    const int connectionsBefore = emulator->connectionCount();

    std::vector<Projector *> touched;
    std::vector<ProjectorOutcome> outcomes;
    QCOMPARE(m_doc->SendPower({projector}, touched, PowerStatus(PowerStatus::On), &outcomes),
             count);
    QCOMPARE(touched.size(), size_t(count));
    QCOMPARE(outcomes.size(), size_t(1));
    QCOMPARE(outcomes[0].projector, projector);
    QCOMPARE(int(outcomes[0].outcome), outcome);
    QCOMPARE(ResultCode(outcomes[0].result), result);
    QCOMPARE(outcomes[0].power ? outcomes[0].power->GetCode() : -2, power);
    QCOMPARE(ReceivedCommands(*emulator).join(u','), received.join(u','));
    // Where no ICMP may be sent, the reachability check is a TCP connect of its own.
    const int perWindow =
        platform::CurrentEchoMechanism() == platform::EchoMechanism::TcpConnect ? 2 : 1;
    QCOMPARE(emulator->connectionCount() - connectionsBefore, connections * perWindow);
    QCOMPARE(TakeEvents(),
             logged ? QStringList{u"Hall: The power has been turned On."_s} : QStringList());
}

void TestDocumentOps::allUnreachable_countZeroAndNoEvent()
{
    Group *group = m_fixture.AddGroup(m_doc->GetRoot(), u"Hall"_s);
    for (int i = 1; i <= 3; ++i) {
        EmulatedProjector *emulator = m_fixture.Emulate(u"P%1"_s.arg(i));
        QVERIFY(emulator);
        m_fixture.Register(*emulator, group);
    }
    m_fixture.RefreshAll();
    for (const auto &emulator : m_fixture.Fleet().Emulators())
        emulator->update([](EmulatorConfig &c) { c.listening = false; });
    const QByteArray log = ReadEventLog();

    std::vector<Projector *> touched;
    QCOMPARE(m_doc->SendPower({group}, touched, PowerStatus(PowerStatus::Off)), 0);
    QCOMPARE(m_doc->SendMute({group}, touched, MuteStatus(MuteStatus::Video), true), 0);
    QVERIFY(touched.empty());
    QVERIFY(!ActionEventManager::GetInstance()->HasPending());
    QCOMPARE(ReadEventLog(), log);
}

void TestDocumentOps::neverAnswered_skippedByEveryCommandWithoutConnecting()
{
    EmulatedProjector *emulator = m_fixture.Emulate(u"Hall"_s);
    QVERIFY(emulator);
    Projector *projector = m_fixture.Register(*emulator);

    std::vector<Projector *> touched;
    QCOMPARE(m_doc->SendPower({projector}, touched, PowerStatus(PowerStatus::On)), 0);
    QCOMPARE(m_doc->SendInput({projector}, touched, InputStatus(1, 1)), 0);
    QCOMPARE(m_doc->SendMute({projector}, touched, MuteStatus(MuteStatus::Audio), false), 0);
    m_doc->RequeryStatus({projector});
    QVERIFY(touched.empty());
    QCOMPARE(emulator->connectionCount(), 0);
    QVERIFY(!ActionEventManager::GetInstance()->HasPending());
}

void TestDocumentOps::sendMute_withoutKind_reachesNoProjector()
{
    EmulatedProjector *emulator = m_fixture.Emulate(u"Hall"_s);
    QVERIFY(emulator);
    Projector *projector = m_fixture.Register(*emulator);
    m_fixture.RefreshAll();
    const int connectionsBefore = emulator->connectionCount();

    for (const int kind : {MuteStatus::Unknown, MuteStatus::Off}) {
        std::vector<Projector *> touched;
        std::vector<ProjectorOutcome> outcomes;
        QCOMPARE(m_doc->SendMute({projector}, touched, MuteStatus(kind), true, &outcomes), 0);
        QVERIFY(touched.empty());
        QCOMPARE(outcomes.size(), size_t(1));
        QCOMPARE(outcomes[0].outcome, CommandOutcome::NotSent);
    }
    QCOMPARE(emulator->connectionCount(), connectionsBefore);
    QVERIFY(!ActionEventManager::GetInstance()->HasPending());
}

void TestDocumentOps::sendInput_onlyProjectorsOfferingTheInput()
{
    Group *group = m_fixture.AddGroup(m_doc->GetRoot(), u"Hall"_s);
    const std::vector<std::vector<std::pair<int, int>>> offered{
        {{1, 1}, {3, 1}}, {{1, 1}, {3, 2}}, {{3, 1}}};
    std::vector<Projector *> projectors;
    for (size_t i = 0; i < offered.size(); ++i) {
        EmulatorConfig config;
        config.power = PowerStatus::On;
        config.inputs = offered[i];
        EmulatedProjector *emulator = m_fixture.Emulate(u"P%1"_s.arg(i + 1), config);
        QVERIFY(emulator);
        projectors.push_back(m_fixture.Register(*emulator, group));
    }
    m_fixture.RefreshAll();

    std::vector<Projector *> touched;
    std::vector<ProjectorOutcome> outcomes;
    QCOMPARE(m_doc->SendInput({group}, touched, InputStatus(InputStatus::Digital, 1), &outcomes),
             2);
    QCOMPARE(touched, (std::vector<Projector *>{projectors[0], projectors[2]}));
    QCOMPARE(outcomes.size(), size_t(3));
    QCOMPARE(outcomes[1].projector, projectors[1]);
    QCOMPARE(outcomes[1].outcome, CommandOutcome::InputNotOffered);
    QCOMPARE(outcomes[1].result, LinkResult::OutOfParameter);
    QCOMPARE(outcomes[2].outcome, CommandOutcome::Done);
    QCOMPARE(ReceivedCommands(*m_fixture.Fleet().Emulators()[0]),
             (QStringList{u"NAME ?"_s, u"INST ?"_s, u"INPT 31"_s}));
    QCOMPARE(ReceivedCommands(*m_fixture.Fleet().Emulators()[1]),
             (QStringList{u"NAME ?"_s, u"INST ?"_s}));
    QCOMPARE(ReceivedCommands(*m_fixture.Fleet().Emulators()[2]),
             (QStringList{u"NAME ?"_s, u"INST ?"_s, u"INPT 31"_s}));
    QCOMPARE(TakeEvents(), (QStringList{u"P1: The input has been switched to Digital1."_s,
                                        u"P3: The input has been switched to Digital1."_s}));
}

void TestDocumentOps::requeryStatus_readsPowerInputAndMuteBack()
{
    EmulatedProjector *first = m_fixture.Emulate(u"P1"_s);
    EmulatedProjector *never = m_fixture.Emulate(u"P2"_s);
    EmulatedProjector *removed = m_fixture.Emulate(u"P3"_s);
    QVERIFY(first && never && removed);
    Projector *projector = m_fixture.Register(*first);
    m_fixture.Register(*removed);
    m_fixture.RefreshAll();
    Projector *neverAnswered = m_fixture.Register(*never);
    Projector *gone = m_doc->GetProjectors()[1];
    ProjectorManager::GetInstance()->RemoveNode(gone);
    first->update([](EmulatorConfig &c) {
        c.power = 1;
        c.input = {3, 1};
        c.mute = 31;
    });
    const int removedConnections = removed->connectionCount();

    // The removed projector's pointer is dangling: it must not be touched.
    m_doc->RequeryStatus({projector, neverAnswered, gone});

    QCOMPARE(ReceivedCommands(*first),
             (QStringList{u"NAME ?"_s, u"POWR ?"_s, u"INPT ?"_s, u"AVMT ?"_s}));
    QCOMPARE(never->connectionCount(), 0);
    QCOMPARE(removed->connectionCount(), removedConnections);
    PowerStatus power;
    InputStatus input;
    MuteStatus mute;
    QCOMPARE(projector->GetPowerStatus(power), 0);
    QCOMPARE(projector->GetInput(input), 0);
    QCOMPARE(projector->GetMuteStatus(mute), 0);
    QCOMPARE(power.GetText(), u"On"_s);
    QCOMPARE(input.GetShortText(false), u"Digital1"_s);
    QCOMPARE(mute.GetText(), u"Video & Audio"_s);
    QVERIFY(!ActionEventManager::GetInstance()->HasPending());
}

void TestDocumentOps::refreshProjector_logsItsEventAndLeavesRemovedAlone()
{
    EmulatorConfig failing;
    failing.errors = {0, 0, 2, 0, 0, 0};
    EmulatorConfig warning;
    warning.errors = {0, 0, 0, 0, 1, 0};
    EmulatedProjector *first = m_fixture.Emulate(u"P1"_s, failing);
    EmulatedProjector *second = m_fixture.Emulate(u"P2"_s, warning);
    QVERIFY(first && second);
    Projector *failingProjector = m_fixture.Register(*first);
    Projector *warningProjector = m_fixture.Register(*second);

    m_doc->RefreshProjector(failingProjector, true);
    m_doc->RefreshProjector(warningProjector, false);
    QCOMPARE(TakeEvents(),
             (QStringList{u"P1: An error has occurred. Please check the projector."_s,
                          u"P2: A warning has occurred. Please check the projector."_s}));

    const int connections = first->connectionCount();
    ProjectorManager::GetInstance()->RemoveNode(failingProjector);
    m_doc->RefreshProjector(failingProjector, true); // dangling: only compared, never used
    QCOMPARE(first->connectionCount(), connections);
    QVERIFY(!ActionEventManager::GetInstance()->HasPending());
}

void TestDocumentOps::sendPower_whileRefreshRuns_eachProjectorOnce()
{
    Group *group = m_fixture.AddGroup(m_doc->GetRoot(), u"Hall"_s);
    for (int i = 1; i <= 4; ++i) {
        EmulatedProjector *emulator = m_fixture.Emulate(u"P%1"_s.arg(i));
        QVERIFY(emulator);
        m_fixture.Register(*emulator, group);
    }
    m_fixture.RefreshAll();

    // The background refresh, as the refresh worker runs it: projector by projector, on its
    // own thread, for a bounded number of cycles.
    std::atomic<bool> stop{false};
    std::thread worker([this, &stop] {
        for (int cycle = 0; cycle < 50 && !stop.load(); ++cycle) {
            for (Projector *projector : m_doc->GetProjectors())
                m_doc->RefreshProjector(projector, false);
        }
    });
    std::vector<Projector *> touched;
    int count = 0;
    for (int i = 0; i < 3; ++i)
        count += m_doc->SendPower({group}, touched, PowerStatus(PowerStatus::On));
    stop.store(true);
    worker.join();

    QCOMPARE(count, 12);
    for (const auto &emulator : m_fixture.Fleet().Emulators()) {
        const QStringList commands = ReceivedCommands(*emulator);
        QCOMPARE(commands.count(u"POWR 1"_s), 3);
        // A command's window is never split by a refresh: each POWR 1 follows its own NAME.
        for (qsizetype i = 0; i < commands.size(); ++i) {
            if (commands[i] == u"POWR 1"_s)
                QCOMPARE(commands[i - 1], u"NAME ?"_s);
        }
    }
}

// A worker sits inside a slow projector's connection window; meanwhile the user-interface
// thread reads every projector's cells and state, saves the settings file and powers another
// projector on. Each of these must be done while the window is still open: none of them may
// wait for it.
void TestDocumentOps::slowWindowOpen_readsSavesAndOtherCommandsGoOn()
{
    EmulatorConfig slowConfig;
    slowConfig.answerDelayMs = 200;
    EmulatedProjector *slowEmulator = m_fixture.Emulate(u"Slow"_s, slowConfig);
    EmulatedProjector *fastEmulator = m_fixture.Emulate(u"Fast"_s);
    QVERIFY(slowEmulator && fastEmulator);
    Projector *slow = m_fixture.Register(*slowEmulator);
    Projector *fast = m_fixture.Register(*fastEmulator);
    m_fixture.RefreshAll();

    std::mutex lock;
    std::condition_variable changed;
    bool inside = false;
    bool readerDone = false;
    bool readerDoneInsideWindow = false;
    std::thread worker([&] {
        ConnectionWindow window(*slow, 0);
        std::unique_lock guard(lock);
        inside = true;
        changed.notify_all();
        // Bounded: a reader that waits for this window never finishes in time.
        readerDoneInsideWindow =
            changed.wait_for(guard, std::chrono::seconds(10), [&] { return readerDone; });
    });
    {
        std::unique_lock guard(lock);
        QVERIFY(changed.wait_for(guard, std::chrono::seconds(10), [&] { return inside; }));
    }

    QVERIFY(slow->IsConnected());
    QCOMPARE(GetProjectorCells(*slow).power, u"Off"_s); // the published state
    QCOMPARE(GetProjectorCells(*fast).name, u"Fast"_s);
    QCOMPARE(slow->GetState().connectResult, 0);
    PowerStatus power;
    QCOMPARE(slow->GetPowerStatus(power), 0); // answered from the copy, not the network
    const bool saved = m_doc->SaveSettings();
    std::vector<Projector *> touched;
    const int reached = m_doc->SendPower({fast}, touched, PowerStatus(PowerStatus::On));
    {
        std::lock_guard guard(lock);
        readerDone = true;
    }
    changed.notify_all();
    worker.join();

    QVERIFY(readerDoneInsideWindow);
    QVERIFY(saved);
    QCOMPARE(reached, 1);
    QCOMPARE(ReceivedCommands(*fastEmulator), (QStringList{u"NAME ?"_s, u"POWR 1"_s}));
    QCOMPARE(ReceivedCommands(*slowEmulator), QStringList{u"NAME ?"_s}); // the reader sent nothing
    QVERIFY(!slow->IsConnected());
}

// A refused password is what the list must show: every result code 10, after a refresh (whose
// reads get 10 without traffic) and after a command.
void TestDocumentOps::wrongPassword_everyResultIs10AfterRefreshAndCommand()
{
    EmulatorConfig config;
    config.password = "secret";
    EmulatedProjector *emulator = m_fixture.Emulate(u"Hall"_s, config);
    QVERIFY(emulator);
    Projector *projector = m_fixture.Register(*emulator, nullptr, u"wrong"_s);

    const auto checkRefused = [projector] {
        const ProjectorState state = projector->GetState();
        QVERIFY(state.reachable);
        QVERIFY(!state.authenticated);
        QCOMPARE(state.connectResult, 10);
        for (const int result :
             {state.powerResult, state.inputResult, state.muteResult, state.inputListResult,
              state.errorResult, state.lampResult, state.manufacturerResult, state.modelResult,
              state.otherInfoResult, state.classResult})
            QCOMPARE(result, 10);
    };
    m_doc->RefreshProjector(projector, false);
    checkRefused();
    if (QTest::currentTestFailed())
        return;

    std::vector<Projector *> touched;
    QCOMPARE(m_doc->SendPower({projector}, touched, PowerStatus(PowerStatus::On)), 1);
    checkRefused();
    m_doc->RequeryStatus(touched);
    checkRefused();
    QVERIFY(emulator->receivedCommands().empty());
    QVERIFY(TakeEvents().isEmpty()); // no errors known, no failed connection
}

// The fan-out talks to the projectors side by side, yet count, touched list and events come
// out in selection order even when the later projectors answer first.
void TestDocumentOps::sendPower_laterProjectorsAnswerFirst_resultsInSelectionOrder()
{
    Group *group = m_fixture.AddGroup(m_doc->GetRoot(), u"Hall"_s);
    std::vector<Projector *> expected;
    for (int i = 0; i < 6; ++i) {
        EmulatorConfig config;
        config.answerDelayMs = (5 - i) * 40; // the first answers last
        EmulatedProjector *emulator = m_fixture.Emulate(u"P%1"_s.arg(i + 1), config);
        QVERIFY(emulator);
        expected.push_back(m_fixture.Register(*emulator, i < 4 ? group : nullptr));
    }
    m_fixture.RefreshAll();

    std::vector<Projector *> touched;
    // The two outside the group come first in the selection.
    const int count =
        m_doc->SendPower({expected[5], group, expected[4]}, touched, PowerStatus(PowerStatus::On));
    const std::vector<Projector *> order{expected[5], expected[0], expected[1],
                                         expected[2], expected[3], expected[4]};
    QCOMPARE(count, 6);
    QCOMPARE(touched, order);
    QStringList events;
    for (Projector *projector : order)
        events << projector->GetName() + u": The power has been turned On."_s;
    QCOMPARE(TakeEvents(), events);
}

QTEST_GUILESS_MAIN(TestDocumentOps)
#include "tst_documentops.moc"
