#include "app/cprojectorcommands.h"
#include "model/group.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "res/stringtable.h"
#include "store/actioneventmanager.h"
#include "store/cvanteldoc.h"
#include "store/usermessage.h"
#include "tests/common/documentfixture.h"
#include "tests/common/messagesinks.h"
#include "tests/common/scripteduser.h"
#include "tools/emulator/emulatedprojector.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QStringList Commands(EmulatedProjector &emulator)
{
    QStringList commands;
    for (const std::string &command : emulator.takeReceivedCommands())
        commands.append(QString::fromStdString(command));
    return commands;
}

} // namespace

class TestProjectorCommands : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void powerOn_group_reachesEveryProjectorBelowAndLogsEach();
    void powerOn_group_namesEachProjectorThatDidNotDoIt_data();
    void powerOn_group_namesEachProjectorThatDidNotDoIt();
    void refusedSelections_data();
    void refusedSelections();
    void allSilent_tells337AndStillFinishes();
    void nothingToSend_data();
    void nothingToSend();
    void mute_sendsTheKindOfTheEntry();
    void duringCommand_windowPaintsAndTakesNoInput();
    void detailInformation_selectionRulesAndRefreshAfter();
    void refreshInterval_setWritesAndTells_cancelChangesNothing();
    void responseWaitTime_setWritesTimeout();

private:
    // Runs a command and waits for its end; false when it did not end within 10 s.
    bool RunToEnd(const std::function<void()> &command);
    QString SettingsText() const;

    // This suite's emulators live on 127.58.0.0/16.
    DocumentFixture m_fixture{58};
    CVantelDoc *m_doc = nullptr;

    std::unique_ptr<QWidget> m_window;
    QPushButton *m_button = nullptr; // a control of the window, to try input on
    std::vector<ProjectorNode *> m_selection;
    std::unique_ptr<InstalledRecordingSink> m_messages;
    std::unique_ptr<CProjectorCommands> m_commands;
};

void TestProjectorCommands::initTestCase()
{
    SetStringLanguage(StringLanguage::English);
}

void TestProjectorCommands::init()
{
    QVERIFY(m_fixture.Open());
    m_doc = &m_fixture.Doc();
    SetEventFilter(false);

    m_window = std::make_unique<QWidget>();
    m_button = new QPushButton(u"Try"_s, m_window.get());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_selection.clear();
    m_messages = std::make_unique<InstalledRecordingSink>();
    CProjectorCommands::Waits waits;
    waits.powerMs = 300;
    waits.inputMs = 150;
    waits.muteMs = 100;
    m_commands = std::make_unique<CProjectorCommands>(
        *m_doc, m_window.get(), [this] { return m_selection; }, waits);
    TakeEvents();
}

void TestProjectorCommands::cleanup()
{
    m_commands.reset();
    m_messages.reset();
    m_window.reset();
    m_doc = nullptr;
    m_fixture.Close();
}

bool TestProjectorCommands::RunToEnd(const std::function<void()> &command)
{
    QSignalSpy finished(m_commands.get(), &CProjectorCommands::finished);
    command();
    return m_commands->IsBusy() ? finished.wait(10000) : true;
}

QString TestProjectorCommands::SettingsText() const
{
    QFile file(m_doc->GetSettingsPath());
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
}

void TestProjectorCommands::powerOn_group_reachesEveryProjectorBelowAndLogsEach()
{
    Group *hall = m_fixture.AddGroup(m_doc->GetRoot(), u"Hall"_s);
    Group *stage = m_fixture.AddGroup(hall, u"Stage"_s);
    EmulatedProjector *left = m_fixture.Emulate(u"Left"_s);
    EmulatedProjector *right = m_fixture.Emulate(u"Right"_s);
    EmulatedProjector *outside = m_fixture.Emulate(u"Outside"_s);
    QVERIFY(left && right && outside);
    m_fixture.Register(*left, hall);
    m_fixture.Register(*right, stage);
    m_fixture.Register(*outside);
    m_fixture.RefreshAll();

    m_selection = {hall};
    QSignalSpy busy(m_commands.get(), &CProjectorCommands::busyChanged);
    QVERIFY(RunToEnd([this] { m_commands->Power(PowerStatus::On); }));
    QCOMPARE(busy.count(), 2); // on, then off at the end

    // The command, then the read-back of power, input and mute after the wait.
    for (EmulatedProjector *reached : {left, right}) {
        const QStringList commands = Commands(*reached);
        QVERIFY2(commands.contains(u"POWR 1"_s), qPrintable(commands.join(u", "_s)));
        QVERIFY(commands.indexOf(u"POWR ?"_s) > commands.indexOf(u"POWR 1"_s));
    }
    QVERIFY(Commands(*outside).isEmpty());
    QStringList events = TakeEvents();
    events.sort();
    QCOMPARE(events, (QStringList{u"Left: The power has been turned On."_s,
                                  u"Right: The power has been turned On."_s}));
    QVERIFY(m_messages->Texts().isEmpty());
}

void TestProjectorCommands::powerOn_group_namesEachProjectorThatDidNotDoIt_data()
{
    QTest::addColumn<StringLanguage>("language");
    QTest::addColumn<QStringList>("expected"); // sorted

    QTest::newRow("English") << StringLanguage::English
                             << QStringList{
                                    u"Busy: Busy (%1, /Hall): refused by the projector: not "
                                    "possible now (ERR3); power: Warm up"_s,
                                    u"Fine: The power has been turned On."_s,
                                    u"Gone: Gone (%3, /Hall): no answer"_s,
                                    u"Locked: Locked (%2, /Hall): the stored password was "
                                    "refused; nothing was sent"_s,
                                };
    QTest::newRow("Japanese") << StringLanguage::Japanese << QStringList();
}

// A group command to a fleet where one projector refuses with ERR3, one no longer takes its
// stored password and one has gone silent: the event list names each of them and why.
void TestProjectorCommands::powerOn_group_namesEachProjectorThatDidNotDoIt()
{
    QFETCH(StringLanguage, language);
    QFETCH(QStringList, expected);

    Group *hall = m_fixture.AddGroup(m_doc->GetRoot(), u"Hall"_s);
    EmulatorConfig busyConfig;
    busyConfig.power = 3; // warming up, for long
    busyConfig.warmUpMs = 600000;
    busyConfig.refusedSets = {{"POWR", 3}};
    EmulatorConfig lockedConfig;
    lockedConfig.password = "old";
    EmulatedProjector *fine = m_fixture.Emulate(u"Fine"_s);
    EmulatedProjector *busy = m_fixture.Emulate(u"Busy"_s, busyConfig);
    EmulatedProjector *locked = m_fixture.Emulate(u"Locked"_s, lockedConfig);
    EmulatedProjector *gone = m_fixture.Emulate(u"Gone"_s);
    QVERIFY(fine && busy && locked && gone);
    for (EmulatedProjector *emulator : {fine, busy, gone})
        m_fixture.Register(*emulator, hall);
    const Projector *lockedProjector = m_fixture.Register(*locked, hall, u"old"_s);
    m_fixture.RefreshAll();
    locked->update([](EmulatorConfig &config) { config.password = "new"; });
    gone->update([](EmulatorConfig &config) { config.listening = false; });

    SetStringLanguage(language);
    m_selection = {hall};
    QVERIFY(RunToEnd([this] { m_commands->Power(PowerStatus::On); }));
    QStringList events = TakeEvents();
    events.sort();
    SetStringLanguage(StringLanguage::English);
    const QString busyAddress = QString::fromStdString(busy->config().address);
    const QString lockedAddress = lockedProjector->GetIPAddress();
    const QString goneAddress = QString::fromStdString(gone->config().address);
    if (language == StringLanguage::English) {
        for (QString &line : expected)
            line.replace(u"%1"_s, busyAddress)
                .replace(u"%2"_s, lockedAddress)
                .replace(u"%3"_s, goneAddress);
        QCOMPARE(events, expected);
    } else {
        // The same lines in the Japanese table's words: each missed projector named once, with
        // its address and group.
        QCOMPARE(events.size(), 4);
        for (const QString &address : {busyAddress, lockedAddress, goneAddress})
            QCOMPARE(events.filter(address + u"\u3001/Hall"_s).size(), 1);
        QVERIFY(events.filter(u"ERR3"_s).size() == 1);
    }
    QVERIFY(m_messages->Texts().isEmpty());
}

void TestProjectorCommands::refusedSelections_data()
{
    QTest::addColumn<QString>("selection"); // "nothing", "empty group"
    QTest::addColumn<QString>("message");

    QTest::newRow("nothing selected") << u"nothing"_s << u"No projector or group is selected."_s;
    QTest::newRow("empty group") << u"empty group"_s
                                 << u"No projector is in the specified group."_s;
}

void TestProjectorCommands::refusedSelections()
{
    QFETCH(QString, selection);
    QFETCH(QString, message);

    EmulatedProjector *elsewhere = m_fixture.Emulate(u"Elsewhere"_s);
    QVERIFY(elsewhere);
    m_fixture.Register(*elsewhere);
    m_fixture.RefreshAll();
    if (selection == u"empty group"_s)
        m_selection = {m_fixture.AddGroup(m_doc->GetRoot(), u"Empty"_s)};

    for (const auto &command :
         std::vector<std::function<void()>>{[this] { m_commands->Power(PowerStatus::On); },
                                            [this] { m_commands->SetInput(InputStatus(1, 1)); },
                                            [this] { m_commands->Mute(0, true); }}) {
        QVERIFY(RunToEnd(command));
        QVERIFY(!m_commands->IsBusy());
    }
    QCOMPARE(m_messages->Texts(), (QStringList{message, message, message}));
    QVERIFY(Commands(*elsewhere).isEmpty());
    QVERIFY(TakeEvents().isEmpty());
}

void TestProjectorCommands::allSilent_tells337AndStillFinishes()
{
    EmulatedProjector *first = m_fixture.Emulate(u"First"_s);
    EmulatedProjector *second = m_fixture.Emulate(u"Second"_s);
    QVERIFY(first && second);
    m_selection = {m_fixture.Register(*first), m_fixture.Register(*second)};
    m_fixture.RefreshAll();
    for (EmulatedProjector *emulator : {first, second})
        emulator->update([](EmulatorConfig &c) { c.listening = false; });

    QSignalSpy finished(m_commands.get(), &CProjectorCommands::finished);
    QVERIFY(RunToEnd([this] { m_commands->Power(PowerStatus::Off); }));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(m_messages->Texts(),
             QStringList{u"Communication cannot be conducted with the specified projector(s)."_s});
    QVERIFY(TakeEvents().filter(u"power"_s).isEmpty());
}

void TestProjectorCommands::nothingToSend_data()
{
    QTest::addColumn<int>("command"); // 0 input without an entry, 1 mute without a kind

    QTest::newRow("Set with an empty input list") << 0;
    QTest::newRow("mute On without a kind") << 1;
    QTest::newRow("mute Off without a kind") << 2;
}

void TestProjectorCommands::nothingToSend()
{
    QFETCH(int, command);

    EmulatedProjector *emulator = m_fixture.Emulate(u"Quiet"_s);
    QVERIFY(emulator);
    m_selection = {m_fixture.Register(*emulator)};
    m_fixture.RefreshAll();
    const int connections = emulator->connectionCount();

    QSignalSpy busy(m_commands.get(), &CProjectorCommands::busyChanged);
    if (command == 0)
        m_commands->SetInput(std::nullopt);
    else
        m_commands->Mute(-1, command == 1);
    QVERIFY(!m_commands->IsBusy());
    QCOMPARE(busy.count(), 0);
    QTest::qWait(50);
    QCOMPARE(emulator->connectionCount(), connections);
    QVERIFY(m_messages->Texts().isEmpty());
    QVERIFY(TakeEvents().isEmpty());
}

void TestProjectorCommands::mute_sendsTheKindOfTheEntry()
{
    EmulatedProjector *emulator = m_fixture.Emulate(u"Mute"_s);
    QVERIFY(emulator);
    m_selection = {m_fixture.Register(*emulator)};
    m_fixture.RefreshAll();

    const QList<std::pair<int, QString>> cases{
        {0, u"AVMT 31"_s}, {1, u"AVMT 11"_s}, {2, u"AVMT 21"_s}};
    for (const auto &[entry, expected] : cases) {
        QVERIFY(RunToEnd([this, entry = entry] { m_commands->Mute(entry, true); }));
        QVERIFY2(Commands(*emulator).contains(expected), qPrintable(expected));
    }
    QVERIFY(RunToEnd([this] { m_commands->Mute(1, false); }));
    QVERIFY(Commands(*emulator).contains(u"AVMT 10"_s));
}

void TestProjectorCommands::duringCommand_windowPaintsAndTakesNoInput()
{
    EmulatedProjector *emulator = m_fixture.Emulate(u"Busy"_s);
    QVERIFY(emulator);
    m_selection = {m_fixture.Register(*emulator)};
    m_fixture.RefreshAll();

    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(10);
    int clicks = 0;
    connect(m_button, &QPushButton::clicked, [&clicks] { ++clicks; });

    QSignalSpy finished(m_commands.get(), &CProjectorCommands::finished);
    m_commands->Power(PowerStatus::On);
    // Power() returned at once: the fan-out and the wait run without this thread.
    QVERIFY(m_commands->IsBusy());
    QTRY_VERIFY_WITH_TIMEOUT(ticks >= 5, 2000);
    QTest::mouseClick(m_button, Qt::LeftButton);
    m_button->setFocus();
    QTest::keyClick(m_button, Qt::Key_Space);
    // A second command while one runs is not started.
    m_commands->Power(PowerStatus::Off);
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(clicks, 0);
    QVERIFY(!Commands(*emulator).contains(u"POWR 0"_s));

    // Afterwards the window takes input again.
    QTest::mouseClick(m_button, Qt::LeftButton);
    QCOMPARE(clicks, 1);
}

void TestProjectorCommands::detailInformation_selectionRulesAndRefreshAfter()
{
    Group *group = m_fixture.AddGroup(m_doc->GetRoot(), u"G"_s);
    EmulatedProjector *one = m_fixture.Emulate(u"One"_s);
    EmulatedProjector *two = m_fixture.Emulate(u"Two"_s);
    QVERIFY(one && two);
    Projector *first = m_fixture.Register(*one, group);
    Projector *second = m_fixture.Register(*two);
    m_fixture.RefreshAll();

    const QList<std::pair<std::vector<ProjectorNode *>, QString>> refused{
        {{}, u"No projector is selected."_s},
        {{group}, u"No projector is selected."_s},
        {{first, second}, u"Select only one projector."_s}};
    for (const auto &[selection, message] : refused) {
        m_selection = selection;
        m_messages->Clear();
        m_commands->DetailInformation();
        QCOMPARE(m_messages->Texts(), QStringList{message});
    }

    m_messages->Clear();
    m_selection = {second};
    QStringList rows;
    // The dialog shows up after a worker; the answer comes once the table is there.
    ScriptedUser user({ScriptedUser::ClickInModalNamed(u"141"_s, u"1"_s, [&rows](QDialog *dialog) {
        auto *list = dialog->findChild<QTreeWidget *>(u"1028"_s);
        QTRY_VERIFY_WITH_TIMEOUT(list->topLevelItemCount() > 0, 5000);
        rows << list->topLevelItem(0)->text(1);
    })});
    QVERIFY(RunToEnd([this] { m_commands->DetailInformation(); }));
    QVERIFY(user.IsDone());
    QCOMPARE(rows, QStringList{u"Two"_s});
    QVERIFY(m_messages->Texts().isEmpty());
    // The detail read, then the refresh after the dialog: two connections' worth of reads.
    const QStringList commands = Commands(*two);
    QVERIFY2(commands.count(u"INF1 ?"_s) == 2, qPrintable(commands.join(u", "_s)));
    QVERIFY(commands.contains(u"ERST ?"_s));
}

void TestProjectorCommands::refreshInterval_setWritesAndTells_cancelChangesNothing()
{
    QSignalSpy changed(m_commands.get(), &CProjectorCommands::refreshIntervalChanged);
    ScriptedUser cancel({ScriptedUser::ClickInModalNamed(u"147"_s, u"2"_s)});
    m_commands->RefreshInterval();
    QVERIFY(cancel.IsDone());
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_doc->GetRefreshInterval(), 5);
    QVERIFY(!SettingsText().contains(u"RefreshInterval=10"_s));

    ScriptedUser set({ScriptedUser::ClickInModalNamed(u"147"_s, u"1"_s, [](QDialog *dialog) {
        auto *combo = dialog->findChild<QComboBox *>(u"1045"_s);
        QCOMPARE(combo->currentText(), u"5"_s);
        combo->setCurrentIndex(combo->findText(u"10"_s));
    })});
    m_commands->RefreshInterval();
    QVERIFY(set.IsDone());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toInt(), 10);
    QCOMPARE(m_doc->GetRefreshInterval(), 10);
    QVERIFY(SettingsText().contains(u"RefreshInterval=10\r\n"_s));
}

void TestProjectorCommands::responseWaitTime_setWritesTimeout()
{
    ScriptedUser user({ScriptedUser::ClickInModalNamed(u"146"_s, u"1"_s, [](QDialog *dialog) {
        auto *combo = dialog->findChild<QComboBox *>(u"1046"_s);
        QCOMPARE(combo->currentText(), u"1"_s);
        combo->setCurrentIndex(combo->findText(u"7"_s));
    })});
    m_commands->ResponseWaitTime();
    QVERIFY(user.IsDone());
    QCOMPARE(m_doc->GetTimeout(), 7);
    QVERIFY(SettingsText().contains(u"Timeout=7\r\n"_s));
    // The running connections keep the wait time they were started with.
    QCOMPARE(ProjectorManager::GetRecvTimeOut(), 1);
}

QTEST_MAIN(TestProjectorCommands)
#include "tst_projectorcommands.moc"
