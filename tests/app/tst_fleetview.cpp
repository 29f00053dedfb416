// The main window watching an emulated fleet: the tree, the list and the event list filled from
// the published states, kept current by the refresh cycles, and the commands reaching the
// projectors chosen in the list.

#include "app/apptimings.h"
#include "app/cactioneventlistctrl.h"
#include "app/cfiledialog.h"
#include "app/cgrouptreectrl.h"
#include "app/cmainframe.h"
#include "app/cprojectorcommands.h"
#include "app/cprojectorlistctrl.h"
#include "app/cvantelapp.h"
#include "app/cvantelview.h"
#include "model/refreshscheduler.h"
#include "model/group.h"
#include "model/projector.h"
#include "res/viewlayout.h"
#include "store/cvanteldoc.h"
#include "tests/app/appfixture.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int kCycleMs = 20000;

QString Address(const EmulatedProjector &emulator)
{
    return QString::fromStdString(emulator.config().address);
}

int RowOf(const CProjectorListCtrl &list, const QString &name)
{
    for (int row = 0; row < list.RowCount(); ++row) {
        if (list.topLevelItem(row)->text(COLUMN_NAME) == name)
            return row;
    }
    return -1;
}

QString Cell(const CProjectorListCtrl &list, const QString &name, int column)
{
    const int row = RowOf(list, name);
    return row < 0 ? u"<no row>"_s : list.topLevelItem(row)->text(column);
}

QStringList SelectedNames(const CVantelView &view)
{
    QStringList names;
    for (const ProjectorNode *node : view.GetListSelection())
        names.append(node->GetName());
    return names;
}

// The chosen input of the drop-down as (type, number).
QPoint ChosenInput(const CVantelView &view)
{
    const std::optional<InputStatus> input = view.GetChosenInput();
    return input ? QPoint(input->GetType(), input->GetNumber()) : QPoint(-1, -1);
}

QString ReadFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
}

// Menu commands by id.
enum : int {
    kFileNew = 57600,
    kFileOpen = 57601,
    kFileSave = 57603,
    kFileSaveAs = 57604,
    kShowInformation = 32781,
    kOnlyErrors = 32785,
};

} // namespace

class TestFleetView : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void startUp_showsTreeListAndEvents();
    void treeSelection_choosesListContent();
    void refresh_changesStatesAndKeepsSelectedProjectors();
    void powerCommand_onSelectedRowReachesEmulator();
    void refreshDuringCycle_oneWorkerAndTimerArmedAtItsEnd();
    void open_duringCycle_waitsForItsEndThenShowsTheImport();
    void open_refusedFile_keepsRegistryShown();
    void saveAsThenSave_writeTheChosenFile();
    void displayOnlyError_checkedSavedAndFiltering();
};

void TestFleetView::init()
{
    Timings() = AppTimings();
    Timings().powerWaitMs = 50;
    Timings().inputWaitMs = 50;
    Timings().muteWaitMs = 50;
}

// Three projectors: one at the top, one answering with a lamp warning two levels down, and
// one that never answers.
void TestFleetView::startUp_showsTreeListAndEvents()
{
    AppFixture fixture;
    EmulatedProjector *alpha = fixture.Emulate(u"Alpha"_s);
    EmulatorConfig warning;
    warning.power = 1;
    warning.errors = {0, 1, 0, 0, 0, 0};
    EmulatedProjector *beta = fixture.Emulate(u"Beta"_s, warning);
    QVERIFY(alpha && beta);
    fixture.WriteSettings({{u"Alpha"_s, Address(*alpha), u"/"_s},
                           {u"Beta"_s, Address(*beta), u"/A/B"_s},
                           {u"Silent"_s, u"127.61.0.250"_s, u"/A"_s}});
    QVERIFY(fixture.Start());
    CVantelView *view = fixture.View();
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);

    // The controls keep their places and names.
    auto *list = fixture.Control<CProjectorListCtrl>(IDC_PROJECTOR_LIST);
    auto *tree = fixture.Control<CGroupTreeCtrl>(IDC_GROUP_TREE);
    auto *events = fixture.Control<CActionEventListCtrl>(IDC_EVENT_LIST);
    QVERIFY(list && tree && events);
    QCOMPARE(list->y(), 165);
    QVERIFY(!list->accessibleName().isEmpty());

    // "Display all" is selected: every projector, with its state.
    QCOMPARE(tree->currentItem(), tree->DisplayAllItem());
    QCOMPARE(list->RowCount(), 3);
    QTRY_COMPARE_WITH_TIMEOUT(Cell(*list, u"Alpha"_s, COLUMN_POWER), LoadString(200), 2000);
    QCOMPARE(Cell(*list, u"Beta"_s, COLUMN_POWER), LoadString(201));
    QCOMPARE(Cell(*list, u"Beta"_s, COLUMN_ERROR), LoadString(241));
    for (int column = COLUMN_MANUFACTURER; column <= COLUMN_LAMP_TIME; ++column)
        QCOMPARE(Cell(*list, u"Silent"_s, column), u"?"_s);
    QCOMPARE(Cell(*list, u"Silent"_s, COLUMN_IP_ADDRESS), u"127.61.0.250"_s);

    // The tree: root expanded, the marks of the warning on B and, collapsed, on A.
    QVERIFY(tree->RootItem() && tree->RootItem()->isExpanded());
    Group *root = tree->NodeOfItem(tree->RootItem());
    Group *a = root->FindGroupByPath(u"/A"_s);
    QVERIFY(a);
    QTreeWidgetItem *aItem = tree->ItemOfGroup(a);
    QVERIFY(aItem && !aItem->isExpanded());
    QCOMPARE(aItem->data(0, CGroupTreeCtrl::ImageIndexRole).toInt(), 4);
    QTreeWidgetItem *bItem = aItem->child(0);
    QVERIFY(bItem);
    QCOMPARE(bItem->data(0, CGroupTreeCtrl::ImageIndexRole).toInt(), 4);

    // The warning reached the event list.
    QVERIFY(events->topLevelItemCount() >= 1);
    bool warningShown = false;
    for (int row = 0; row < events->topLevelItemCount(); ++row)
        warningShown = warningShown || events->topLevelItem(row)->text(1).contains(u"Beta"_s);
    QVERIFY(warningShown);
}

void TestFleetView::treeSelection_choosesListContent()
{
    AppFixture fixture;
    fixture.WriteSettings({{u"Top"_s, u"127.61.0.251"_s, u"/"_s},
                           {u"InA"_s, u"127.61.0.252"_s, u"/A"_s},
                           {u"InB"_s, u"127.61.0.253"_s, u"/A/B"_s}});
    QVERIFY(fixture.Start());
    CVantelView *view = fixture.View();
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);
    CProjectorListCtrl *list = view->GetProjectorList();
    CGroupTreeCtrl *tree = view->GetGroupTree();

    Group *root = tree->NodeOfItem(tree->RootItem());
    Group *a = root->FindGroupByPath(u"/A"_s);
    // Each tree item shows its group's direct children, groups first.
    const struct
    {
        QTreeWidgetItem *item;
        QStringList names;
        Group *group;
    } cases[] = {
        {tree->RootItem(), {u"A"_s, u"Top"_s}, root},
        {tree->ItemOfGroup(a), {u"B"_s, u"InA"_s}, a},
        {tree->DisplayAllItem(), {u"InA"_s, u"InB"_s, u"Top"_s}, nullptr},
    };
    for (const auto &expected : cases) {
        tree->setCurrentItem(expected.item);
        QCOMPARE(ListNames(*list), expected.names);
        QCOMPARE(view->GetTreeSelection(), expected.group);
        QVERIFY(view->GetListSelection().empty());
    }

    // A cycle keeps the chosen group and its expansion; the first one only expands the root.
    tree->setCurrentItem(tree->ItemOfGroup(a));
    tree->ItemOfGroup(a)->setExpanded(true);
    view->findChild<QPushButton *>(QString::number(IDC_REFRESH))->click();
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);
    QCOMPARE(view->GetTreeSelection(), a);
    QVERIFY(tree->ItemOfGroup(a)->isExpanded());
    QCOMPARE(ListNames(*list), (QStringList{u"B"_s, u"InA"_s}));
}

// The list sorted by Power: a cycle that swaps the two projectors' places keeps the selection
// on the projector the user chose, not on its old row.
void TestFleetView::refresh_changesStatesAndKeepsSelectedProjectors()
{
    AppFixture fixture;
    EmulatorConfig on;
    on.power = 1;
    on.input = {2, 1};
    EmulatedProjector *first = fixture.Emulate(u"First"_s, on);
    EmulatedProjector *second = fixture.Emulate(u"Second"_s);
    QVERIFY(first && second);
    fixture.WriteSettings(
        {{u"First"_s, Address(*first), u"/"_s}, {u"Second"_s, Address(*second), u"/"_s}});
    QVERIFY(fixture.Start());
    CVantelView *view = fixture.View();
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);
    CProjectorListCtrl *list = view->GetProjectorList();
    list->SortByColumn(COLUMN_POWER); // descending: off before on
    list->SortByColumn(COLUMN_POWER); // ascending: on before off
    QCOMPARE(ListNames(*list), (QStringList{u"First"_s, u"Second"_s}));

    list->topLevelItem(RowOf(*list, u"First"_s))->setSelected(true);
    QCOMPARE(SelectedNames(*view), QStringList{u"First"_s});
    // One projector: the short texts, its own input chosen by value.
    auto *inputs = view->findChild<QComboBox *>(QString::number(IDC_INPUT_COMBO));
    QCOMPARE(inputs->count(), 5);
    QCOMPARE(ChosenInput(*view), QPoint(2, 1));
    // The user picks another entry: the cycle below must not take it back.
    inputs->setCurrentIndex(inputs->count() - 1);
    const QPoint picked = ChosenInput(*view);
    QVERIFY(picked != QPoint(2, 1));

    first->update([](EmulatorConfig &config) { config.power = 0; });
    second->update([](EmulatorConfig &config) { config.power = 1; });
    view->findChild<QPushButton *>(QString::number(IDC_REFRESH))->click();
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);

    QCOMPARE(ListNames(*list), (QStringList{u"Second"_s, u"First"_s}));
    QCOMPARE(Cell(*list, u"First"_s, COLUMN_POWER), LoadString(200));
    QCOMPARE(SelectedNames(*view), QStringList{u"First"_s});
    QCOMPARE(inputs->count(), 5);
    QCOMPARE(ChosenInput(*view), picked);

    // Two projectors: each input once, the first entry chosen.
    list->topLevelItem(RowOf(*list, u"Second"_s))->setSelected(true);
    QCOMPARE(inputs->count(), 5);
    QCOMPARE(inputs->currentIndex(), 0);
}

void TestFleetView::powerCommand_onSelectedRowReachesEmulator()
{
    AppFixture fixture;
    EmulatedProjector *chosen = fixture.Emulate(u"Chosen"_s);
    EmulatedProjector *other = fixture.Emulate(u"Other"_s);
    QVERIFY(chosen && other);
    fixture.WriteSettings(
        {{u"Chosen"_s, Address(*chosen), u"/"_s}, {u"Other"_s, Address(*other), u"/"_s}});
    QVERIFY(fixture.Start());
    CVantelView *view = fixture.View();
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);
    CProjectorListCtrl *list = view->GetProjectorList();
    chosen->clearReceivedCommands();
    other->clearReceivedCommands();

    list->topLevelItem(RowOf(*list, u"Chosen"_s))->setSelected(true);
    auto *powerOn = view->findChild<QPushButton *>(QString::number(IDC_POWER_ON));
    powerOn->click();
    // While it runs, the command buttons say so rather than dropping clicks.
    QVERIFY(!powerOn->isEnabled());
    QVERIFY(!view->findChild<QPushButton *>(QString::number(IDC_MUTE_OFF))->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!view->IsWorkerRunning(), kCycleMs);
    QTRY_VERIFY_WITH_TIMEOUT(powerOn->isEnabled(), kCycleMs);

    const std::vector<std::string> commands = chosen->receivedCommands();
    QVERIFY(std::find(commands.begin(), commands.end(), "POWR 1") != commands.end());
    const std::vector<std::string> untouched = other->receivedCommands();
    QVERIFY(std::find(untouched.begin(), untouched.end(), "POWR 1") == untouched.end());
    // Read back and shown, still selected.
    QTRY_VERIFY_WITH_TIMEOUT(Cell(*list, u"Chosen"_s, COLUMN_POWER) != LoadString(200), 5000);
    QCOMPARE(SelectedNames(*view), QStringList{u"Chosen"_s});
}

// A slow projector keeps each cycle running for a while.
void TestFleetView::refreshDuringCycle_oneWorkerAndTimerArmedAtItsEnd()
{
    AppFixture fixture;
    EmulatorConfig slow;
    slow.answerDelayMs = 150;
    EmulatedProjector *emulator = fixture.Emulate(u"Slow"_s, slow);
    QVERIFY(emulator);
    fixture.WriteSettings({{u"Slow"_s, Address(*emulator), u"/"_s}});
    QVERIFY(fixture.Start());
    CVantelView *view = fixture.View();
    const RefreshScheduler &scheduler = *view->GetScheduler();
    auto *refresh = view->findChild<QPushButton *>(QString::number(IDC_REFRESH));
    QTRY_VERIFY_WITH_TIMEOUT(scheduler.IsRunning(), 5000);
    const int started = scheduler.CyclesStarted();

    // During the cycle: wait text, "Refresh" disabled, no periodic timer; a press does nothing.
    QVERIFY(view->IsRefreshing());
    QVERIFY(!refresh->isEnabled());
    QVERIFY(!scheduler.IntervalTimer().isActive());
    QTest::mouseClick(refresh, Qt::LeftButton);
    // A new interval during the cycle waits for its end.
    fixture.App()->GetDocument()->SetRefreshInterval(2);
    emit view->GetCommands()->refreshIntervalChanged(2);
    QVERIFY(!scheduler.IntervalTimer().isActive());

    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);
    QCOMPARE(scheduler.CyclesStarted(), started);
    QVERIFY(refresh->isEnabled());
    QVERIFY(scheduler.IntervalTimer().isActive());
    QCOMPARE(scheduler.IntervalTimer().interval(), 2 * 60000);
    // Armed at the cycle's end, so nearly the whole interval is still ahead.
    QVERIFY(scheduler.IntervalTimer().remainingTime() > 2 * 60000 - 5000);

    // Idle: "Refresh" runs exactly one cycle, which ends with the timer armed again.
    QTest::mouseClick(refresh, Qt::LeftButton);
    QVERIFY(!refresh->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(scheduler.CyclesStarted() == started + 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);
    QCOMPARE(scheduler.CyclesStarted(), started + 1);
    QVERIFY(scheduler.IntervalTimer().isActive());
}

void TestFleetView::open_duringCycle_waitsForItsEndThenShowsTheImport()
{
    AppFixture fixture;
    fixture.WriteSettings({{u"Imported1"_s, u"127.61.0.240"_s, u"/Hall"_s},
                           {u"Imported2"_s, u"127.61.0.241"_s, u"/Hall"_s}});
    const QString other = QDir::current().filePath(u"other.ini"_s);
    QVERIFY(QFile::copy(fixture.SettingsPath(), other));
    EmulatorConfig slow;
    slow.answerDelayMs = 150;
    EmulatedProjector *emulator = fixture.Emulate(u"Old"_s, slow);
    QVERIFY(emulator);
    fixture.WriteSettings({{u"Old"_s, Address(*emulator), u"/"_s}});
    QVERIFY(fixture.Start());
    CVantelView *view = fixture.View();
    const RefreshScheduler &scheduler = *view->GetScheduler();
    QTRY_VERIFY_WITH_TIMEOUT(scheduler.IsRunning(), 5000);
    const int started = scheduler.CyclesStarted();

    CFileDialog::SetNextFileName(other);
    fixture.Frame()->FindCommand(kFileOpen)->trigger();
    QCOMPARE(CFileDialog::LastFilter(), u"All Files (*)"_s);
    // The cycle goes on over the registry it started with.
    QVERIFY(scheduler.IsRunning());
    QCOMPARE(ListNames(*view->GetProjectorList()), QStringList{u"Old"_s});

    // At its end the import replaces the registry, and a cycle refreshes it.
    QTRY_COMPARE_WITH_TIMEOUT(ListNames(*view->GetProjectorList()),
                              (QStringList{u"Imported1"_s, u"Imported2"_s}), kCycleMs);
    QVERIFY(scheduler.CyclesStarted() > started);
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);
    CGroupTreeCtrl *tree = view->GetGroupTree();
    QCOMPARE(tree->RootItem()->childCount(), 1);
    QCOMPARE(tree->RootItem()->child(0)->text(0), u"Hall"_s);
    QVERIFY(!fixture.SettingsText().contains(Address(*emulator)));
    QVERIFY(fixture.SettingsText().contains(u"127.61.0.240"_s));
    QVERIFY(fixture.TakeMessages().isEmpty());
}

void TestFleetView::open_refusedFile_keepsRegistryShown()
{
    AppFixture fixture;
    fixture.WriteSettings({{u"Kept"_s, u"127.61.0.242"_s, u"/G"_s}});
    QVERIFY(fixture.Start());
    CVantelView *view = fixture.View();
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);
    fixture.TakeMessages();
    const QString settings = fixture.SettingsText();

    const QString broken = QDir::current().filePath(u"broken.ini"_s);
    {
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Property]\r\nRefreshInterval=banana\r\n");
    }
    const struct
    {
        QString path;
        QString message;
    } cases[] = {
        {broken, LoadString(343)},
        {QDir::current().filePath(u"missing.ini"_s), u"Failed to open document."_s},
        {QString(), QString()}, // cancelled
    };
    for (const auto &refused : cases) {
        CFileDialog::SetNextFileName(refused.path);
        fixture.Frame()->FindCommand(kFileOpen)->trigger();
        QCOMPARE(fixture.TakeMessages(),
                 refused.message.isEmpty() ? QStringList() : QStringList{refused.message});
        QCOMPARE(ListNames(*view->GetProjectorList()), QStringList{u"Kept"_s});
        QVERIFY(view->GetGroupTree()->RootItem());
        QCOMPARE(fixture.SettingsText(), settings);
    }
}

void TestFleetView::saveAsThenSave_writeTheChosenFile()
{
    AppFixture fixture;
    fixture.WriteSettings({{u"Saved"_s, u"127.61.0.243"_s, u"/"_s}});
    QVERIFY(fixture.Start());
    CVantelView *view = fixture.View();
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);
    const QString copy = QDir::current().filePath(u"copy.ini"_s);

    CFileDialog::SetNextFileName(copy);
    fixture.Frame()->FindCommand(kFileSaveAs)->trigger();
    QCOMPARE(CFileDialog::LastFilter(), u"All Files (*)"_s);
    QCOMPARE(ReadFile(copy), fixture.SettingsText());

    // Save goes to the copy now; the settings file keeps what it had.
    QVERIFY(QFile::remove(copy));
    fixture.Frame()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(fixture.Frame()));
    QTest::keyClick(fixture.Frame(), Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(ReadFile(copy), fixture.SettingsText());

    // New keeps everything and refreshes.
    const int started = view->GetScheduler()->CyclesStarted();
    QTest::keyClick(fixture.Frame(), Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(view->GetScheduler()->CyclesStarted(), started + 1);
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);
    QCOMPARE(ListNames(*view->GetProjectorList()), QStringList{u"Saved"_s});
    QVERIFY(fixture.TakeMessages().isEmpty());
}

void TestFleetView::displayOnlyError_checkedSavedAndFiltering()
{
    AppFixture fixture;
    EmulatorConfig warning;
    warning.errors = {0, 1, 0, 0, 0, 0};
    EmulatedProjector *emulator = fixture.Emulate(u"Warned"_s, warning);
    QVERIFY(emulator);
    fixture.WriteSettings({{u"Warned"_s, Address(*emulator), u"/"_s}});
    QVERIFY(fixture.Start());
    CVantelView *view = fixture.View();
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);
    QAction *onlyErrors = fixture.Frame()->FindCommand(kOnlyErrors);
    QVERIFY(!onlyErrors->isChecked());

    onlyErrors->trigger();
    QVERIFY(onlyErrors->isChecked());
    QVERIFY(fixture.SettingsText().contains(u"DisplayOnlyError=1"_s));
    // A warning still shows.
    const int before = view->GetEventList()->topLevelItemCount();
    view->findChild<QPushButton *>(QString::number(IDC_REFRESH))->click();
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);
    QCOMPARE(view->GetEventList()->topLevelItemCount(), before + 1);

    onlyErrors->trigger();
    QVERIFY(!onlyErrors->isChecked());
    QVERIFY(fixture.SettingsText().contains(u"DisplayOnlyError=0"_s));

    // Hiding the information field: saved, checked off, and the errors-only item unavailable.
    QAction *information = fixture.Frame()->FindCommand(kShowInformation);
    information->trigger();
    QVERIFY(!information->isChecked());
    QVERIFY(!onlyErrors->isEnabled());
    QVERIFY(fixture.SettingsText().contains(u"ShowInformation=0"_s));
}

QTEST_MAIN(TestFleetView)
#include "tst_fleetview.moc"
