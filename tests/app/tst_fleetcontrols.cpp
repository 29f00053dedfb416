#include "app/cactioneventlistctrl.h"
#include "app/cgrouptreectrl.h"
#include "app/cprojectorlistctrl.h"
#include "model/actionevent.h"
#include "model/group.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "model/projectorrowicons.h"
#include "model/projectorschangedevent.h"
#include "pjlink/pjlib.h"
#include "res/stringtable.h"
#include "store/actioneventmanager.h"
#include "tools/emulator/emulatedprojector.h"

#include <QHeaderView>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Every emulator of this test listens on its own address in 127.14.0.0/16.
QString Address(int n)
{
    return u"127.14.0.%1"_s.arg(n);
}

std::unique_ptr<EmulatedProjector> Emulate(int n, const std::function<void(EmulatorConfig &)> &set)
{
    EmulatorConfig config;
    config.address = Address(n).toStdString();
    config.power = 1;
    config.warmUpMs = config.coolingMs = 600000; // stays in warm-up or cooling for the test
    set(config);
    auto emulator = std::make_unique<EmulatedProjector>(config);
    std::string error;
    if (!emulator->start(&error))
        qFatal("emulator on %s: %s", config.address.c_str(), error.c_str());
    return emulator;
}

Projector *Register(Group *group, int n, const QString &name, const QString &password = {})
{
    auto *manager = ProjectorManager::GetInstance();
    const QString path = group->GetParent() ? group->GetFullPath() : u"/"_s;
    Projector *projector = manager->AddProjector(
        std::make_unique<Projector>(name, Address(n), password, u"M"_s, path));
    return projector;
}

void Refresh(Projector *projector)
{
    ProjectorManager::GetInstance()->UpdateStatus(projector, true);
}

QStringList RowNames(const CProjectorListCtrl &list)
{
    QStringList names;
    for (int row = 0; row < list.RowCount(); ++row)
        names << list.topLevelItem(row)->text(COLUMN_NAME);
    return names;
}

QStringList SelectedNames(const CProjectorListCtrl &list)
{
    std::vector<ProjectorNode *> selection;
    list.GetSelection(selection);
    QStringList names;
    for (const ProjectorNode *node : selection)
        names << node->GetName();
    return names;
}

void ClickHeader(CProjectorListCtrl &list, int column)
{
    QHeaderView *header = list.header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
}

// Counts the projectors-changed events the tree posts to its parent.
class Owner : public QWidget
{
public:
    bool event(QEvent *e) override
    {
        if (e->type() == ProjectorsChangedEvent) {
            ++notified;
            return true;
        }
        return QWidget::event(e);
    }
    int notified = 0;
};

int ImageOf(const QTreeWidgetItem *item)
{
    return item->data(0, CGroupTreeCtrl::ImageIndexRole).toInt();
}

} // namespace

class TestFleetControls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void list_cellsAndIcons_data();
    void list_cellsAndIcons();
    void list_headerClicksSortPowerWithGroupsAndSilentProjectors();
    void list_selectionFollowsProjectorsAcrossResort();
    void list_columnsFollowTheirTextsAndFont();
    void tree_markersOfDepthTwoGroupAndParent();
    void tree_rebuildCarriesSelectionAndExpansion();
    void eventList_keepsTwentyNewestWithCutTexts();
};

void TestFleetControls::initTestCase()
{
    SetStringLanguage(StringLanguage::English);
    ActionEventManager::SetLogFileEnabled(false);
    QCOMPARE(PJLInit(), 0);
    ProjectorManager::SetPort(4352);
    ProjectorManager::SetRecvTimeOut(1);
}

void TestFleetControls::cleanup()
{
    ProjectorManager::DestroyInstance();
    ActionEventManager::DestroyInstance();
}

void TestFleetControls::list_cellsAndIcons_data()
{
    QTest::addColumn<int>("power");      // -1: no emulator at all
    QTest::addColumn<QString>("serves"); // the emulator's password
    QTest::addColumn<QString>("gives");  // the registered password
    QTest::addColumn<bool>("lampWarning");
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<QList<int>>("icons"); // name, power, input, mute, error
    QTest::addColumn<bool>("grey");

    const QString ip = Address(10);
    QTest::newRow("never answered: ? everywhere, address shown")
        << -1 << QString() << QString() << false
        << QStringList{u"P"_s, u"?"_s, u"?"_s, u"?"_s, u"?"_s, u"?"_s, u"?"_s, ip, u"/"_s}
        << QList<int>{0, -1, -1, -1, -1} << true;
    QTest::newRow("password refused: X for the failed authentication, no status icons")
        << 1 << u"secret"_s << u"wrong"_s << false
        << QStringList{u"P"_s, u"X"_s, u"X"_s, u"X"_s, u"X"_s, u"X"_s, u"X"_s, ip, u"/"_s}
        << QList<int>{0, -1, -1, -1, -1} << true;
    // The input cannot be told during cooling and warm-up: an empty cell without icon.
    QTest::newRow("cooling: the power-off icon")
        << 2 << QString() << QString() << false
        << QStringList{u"P"_s,    u"Emulux"_s, u"Cooling"_s, QString(), QString(),
                       QString(), u"1200 h"_s, ip,           u"/"_s}
        << QList<int>{0, 4, -1, -1, -1} << false;
    QTest::newRow("warming up, with a password: the power-on icon")
        << 3 << u"secret"_s << u"secret"_s << false
        << QStringList{u"P"_s,    u"Emulux"_s, u"Warm up"_s, QString(), QString(),
                       QString(), u"1200 h"_s, ip,           u"/"_s}
        << QList<int>{0, 5, -1, -1, -1} << false;
    QTest::newRow("on with a lamp warning")
        << 1 << QString() << QString() << true
        << QStringList{u"P"_s,    u"Emulux"_s, u"On"_s, u"RGB1"_s, QString(),
                       u"Lamp"_s, u"1200 h"_s, ip,      u"/"_s}
        << QList<int>{0, 5, 8, -1, 26} << false;
}

void TestFleetControls::list_cellsAndIcons()
{
    QFETCH(int, power);
    QFETCH(QString, serves);
    QFETCH(QString, gives);
    QFETCH(bool, lampWarning);
    QFETCH(QStringList, cells);
    QFETCH(QList<int>, icons);
    QFETCH(bool, grey);

    std::unique_ptr<EmulatedProjector> emulator;
    if (power >= 0) {
        emulator = Emulate(10, [&](EmulatorConfig &c) {
            c.power = power;
            c.password = serves.toStdString();
            c.name = "P";
            c.errors[1] = lampWarning ? 1 : 0;
        });
    }
    Group *root = ProjectorManager::GetInstance()->GetRoot();
    Projector *projector = Register(root, 10, u"P"_s, gives);
    Refresh(projector);

    CProjectorListCtrl list;
    list.SetUpColumns();
    list.ShowNodes({projector});
    list.UpdateData();
    QCOMPARE(list.RowCount(), 1);
    QTreeWidgetItem *item = list.topLevelItem(0);
    QStringList shown;
    for (int column = 0; column < PROJECTOR_LIST_COLUMNS; ++column)
        shown << item->text(column);
    QCOMPARE(shown.join(u"|"_s), cells.join(u"|"_s));
    QList<int> shownIcons;
    for (int column : {COLUMN_NAME, COLUMN_POWER, COLUMN_INPUT, COLUMN_MUTE, COLUMN_ERROR})
        shownIcons << item->data(column, CProjectorListCtrl::IconIndexRole).toInt();
    QCOMPARE(shownIcons, icons);
    const QColor greyText = list.palette().color(QPalette::Disabled, QPalette::Text);
    QCOMPARE(item->foreground(COLUMN_IP_ADDRESS).style() != Qt::NoBrush &&
                 item->foreground(COLUMN_IP_ADDRESS).color() == greyText,
             grey);

    // Selecting the row swaps in the selected icons.
    item->setSelected(true);
    QCOMPARE(item->data(COLUMN_NAME, CProjectorListCtrl::IconIndexRole).toInt(),
             int(ICON_PROJECTOR_SELECTED));
}

void TestFleetControls::list_headerClicksSortPowerWithGroupsAndSilentProjectors()
{
    auto on = Emulate(21, [](EmulatorConfig &c) { c.name = "on"; });
    auto off = Emulate(22, [](EmulatorConfig &c) { c.name = "off", c.power = 0; });
    auto cooling = Emulate(23, [](EmulatorConfig &c) { c.name = "cool", c.power = 2; });
    auto warm = Emulate(24, [](EmulatorConfig &c) { c.name = "warm", c.power = 3; });
    auto broken = Emulate(25, [](EmulatorConfig &c) {
        c.name = "broken";
        c.rawAnswers["POWR"] = "%1POWR=ERR3";
    });
    auto *manager = ProjectorManager::GetInstance();
    Group *root = manager->GetRoot();
    manager->AddGroupTo(root, std::make_unique<Group>(u"zGroup"_s));
    manager->AddGroupTo(root, std::make_unique<Group>(u"aGroup"_s));
    for (const auto &[n, name] : std::vector<std::pair<int, QString>>{{21, u"on"_s},
                                                                      {22, u"off"_s},
                                                                      {23, u"cool"_s},
                                                                      {24, u"warm"_s},
                                                                      {25, u"broken"_s},
                                                                      {26, u"silent"_s}})
        Refresh(Register(root, n, name));

    CProjectorListCtrl list;
    list.resize(900, 400);
    list.SetUpColumns();
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.ShowGroup(root);
    list.UpdateData();

    ClickHeader(list, COLUMN_POWER); // first click: descending
    QVERIFY(!list.IsSortAscending());
    QCOMPARE(list.header()->sortIndicatorSection(), int(COLUMN_POWER));
    QCOMPARE(RowNames(list), (QStringList{u"zGroup"_s, u"aGroup"_s, u"silent"_s, u"broken"_s,
                                          u"cool"_s, u"off"_s, u"warm"_s, u"on"_s}));
    ClickHeader(list, COLUMN_POWER);
    QVERIFY(list.IsSortAscending());
    QCOMPARE(RowNames(list), (QStringList{u"aGroup"_s, u"zGroup"_s, u"on"_s, u"warm"_s, u"off"_s,
                                          u"cool"_s, u"broken"_s, u"silent"_s}));
    QCOMPARE(list.topLevelItem(0)->data(0, CProjectorListCtrl::IconIndexRole).toInt(),
             int(ICON_FOLDER_CLOSED));
}

void TestFleetControls::list_selectionFollowsProjectorsAcrossResort()
{
    auto a = Emulate(31, [](EmulatorConfig &config) { config.name = "A", config.power = 0; });
    auto b = Emulate(32, [](EmulatorConfig &config) { config.name = "B", config.power = 1; });
    auto c = Emulate(33, [](EmulatorConfig &config) { config.name = "C", config.power = 1; });
    Group *root = ProjectorManager::GetInstance()->GetRoot();
    std::vector<Projector *> projectors{Register(root, 31, u"A"_s), Register(root, 32, u"B"_s),
                                        Register(root, 33, u"C"_s)};
    for (Projector *p : projectors)
        Refresh(p);

    CProjectorListCtrl list;
    list.SetUpColumns();
    list.SortByColumn(COLUMN_POWER);
    list.SortByColumn(COLUMN_POWER); // ascending: on before off
    list.ShowNodes({projectors.begin(), projectors.end()});
    list.UpdateData();
    QCOMPARE(RowNames(list), (QStringList{u"B"_s, u"C"_s, u"A"_s}));
    list.topLevelItem(0)->setSelected(true); // B
    QCOMPARE(SelectedNames(list), QStringList{u"B"_s});

    // A cycle turns B off and A on: the rows change places, the selection stays on B.
    b->update([](EmulatorConfig &config) { config.power = 0; });
    a->update([](EmulatorConfig &config) { config.power = 1; });
    for (Projector *p : projectors)
        Refresh(p);
    QSignalSpy changed(&list, &QTreeWidget::itemSelectionChanged);
    list.UpdateData();
    QCOMPARE(RowNames(list), (QStringList{u"A"_s, u"C"_s, u"B"_s}));
    QCOMPARE(SelectedNames(list), QStringList{u"B"_s});
    QVERIFY(list.topLevelItem(2)->isSelected());
    QCOMPARE(list.topLevelItem(2)->data(0, CProjectorListCtrl::IconIndexRole).toInt(),
             int(ICON_PROJECTOR_SELECTED));
    QCOMPARE(list.topLevelItem(0)->data(0, CProjectorListCtrl::IconIndexRole).toInt(),
             int(ICON_PROJECTOR));
    QVERIFY(changed.count() >= 1);

    // New content: nothing stays selected.
    list.ShowNodes({projectors.begin(), projectors.end()});
    list.UpdateData();
    QVERIFY(SelectedNames(list).isEmpty());
}

// The widths a rebuild fits to are kept per text: a column still grows with a longer text,
// shrinks back with a shorter one, marks a cell cut beyond the widest column with its whole text
// as a tool tip, and is measured afresh when the font changes.
void TestFleetControls::list_columnsFollowTheirTextsAndFont()
{
    Group *root = ProjectorManager::GetInstance()->GetRoot();
    Projector *projector = Register(root, 30, u"P"_s);
    CProjectorListCtrl list;
    list.resize(900, 300);
    list.SetUpColumns();
    list.ShowNodes({projector});
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));

    const auto showName = [&](const QString &name) {
        projector->Rename(name);
        list.UpdateData();
        return list.columnWidth(COLUMN_NAME);
    };
    const auto neededWidth = [&] {
        return list.sizeHintForIndex(list.model()->index(0, COLUMN_NAME)).width();
    };
    const auto tip = [&] { return list.topLevelItem(0)->toolTip(COLUMN_NAME); };

    const int shortWidth = showName(u"P"_s);
    const QString longName = QString(14, u'W');
    const int longWidth = showName(longName);
    QVERIFY2(longWidth > shortWidth, qPrintable(u"%1 <= %2"_s.arg(longWidth).arg(shortWidth)));
    QVERIFY(longWidth >= neededWidth());
    QCOMPARE(tip(), QString());
    QCOMPARE(showName(u"P"_s), shortWidth);

    const QString cutName = QString(60, u'W');
    QCOMPARE(showName(cutName), CProjectorListCtrl::kMaxColumnWidth);
    QCOMPARE(tip(), cutName);
    QCOMPARE(showName(longName), longWidth);
    QCOMPARE(tip(), QString());

    QFont larger = list.font();
    larger.setPointSizeF(larger.pointSizeF() * 1.5);
    list.setFont(larger);
    QVERIFY(list.columnWidth(COLUMN_NAME) > longWidth);
    QVERIFY(list.columnWidth(COLUMN_NAME) >= neededWidth());
    list.UpdateData();
    QVERIFY(list.columnWidth(COLUMN_NAME) >= neededWidth());
}

void TestFleetControls::tree_markersOfDepthTwoGroupAndParent()
{
    // Root / A / A1 with a lamp warning in A1; B is fine.
    auto warned = Emulate(41, [](EmulatorConfig &c) { c.errors = {0, 1, 0, 0, 0, 0}; });
    auto fine = Emulate(42, [](EmulatorConfig &) {});
    auto *manager = ProjectorManager::GetInstance();
    Group *root = manager->GetRoot();
    Group *a = manager->AddGroupTo(root, std::make_unique<Group>(u"A"_s));
    Group *a1 = manager->AddGroupTo(a, std::make_unique<Group>(u"A1"_s));
    Group *b = manager->AddGroupTo(root, std::make_unique<Group>(u"B"_s));
    Projector *lamp = Register(a1, 41, u"lamp"_s);
    Refresh(lamp);
    Refresh(Register(b, 42, u"fine"_s));

    CGroupTreeCtrl tree;
    tree.Init(root, true);
    tree.UpdateData();
    QCOMPARE(tree.topLevelItem(0), tree.DisplayAllItem());
    QCOMPARE(tree.currentItem(), tree.DisplayAllItem());
    QCOMPARE(ImageOf(tree.DisplayAllItem()), 3);
    QVERIFY(tree.RootItem()->isExpanded()); // the first rebuild opens the root
    QCOMPARE(ImageOf(tree.RootItem()), 0);  // expanded: its depth-1 group shows the mark
    QCOMPARE(ImageOf(tree.ItemOfGroup(a)), 4);
    QCOMPARE(ImageOf(tree.ItemOfGroup(a1)), 4);
    QCOMPARE(ImageOf(tree.ItemOfGroup(b)), 0);

    tree.ItemOfGroup(a)->setExpanded(true);
    QVERIFY(a->GetTreeState().expanded);
    QCOMPARE(ImageOf(tree.ItemOfGroup(a)), 0);
    QCOMPARE(ImageOf(tree.ItemOfGroup(a1)), 4);
    tree.RootItem()->setExpanded(false);
    QCOMPARE(ImageOf(tree.RootItem()), 4);
    QVERIFY(!root->GetTreeState().expanded);

    // Selected pictures follow the selection.
    tree.setCurrentItem(tree.ItemOfGroup(a1));
    QCOMPARE(ImageOf(tree.ItemOfGroup(a1)), 5);
    QCOMPARE(ImageOf(tree.DisplayAllItem()), 2);

    // The warning cleared: no marks after the next rebuild.
    warned->update([](EmulatorConfig &c) { c.errors = {}; });
    Refresh(lamp);
    tree.UpdateData();
    for (Group *g : {root, a, a1, b})
        QVERIFY(ImageOf(tree.ItemOfGroup(g)) < 4);

    // A tree that only chooses groups shows plain folders.
    warned->update([](EmulatorConfig &c) { c.errors = {2, 0, 0, 0, 0, 0}; });
    Refresh(lamp);
    CGroupTreeCtrl plain;
    plain.SetPlainFolders(true);
    plain.Init(root, false);
    plain.UpdateData();
    QCOMPARE(plain.topLevelItem(0), plain.RootItem());
    QCOMPARE(ImageOf(plain.ItemOfGroup(a1)), 0);
}

void TestFleetControls::tree_rebuildCarriesSelectionAndExpansion()
{
    auto *manager = ProjectorManager::GetInstance();
    Group *root = manager->GetRoot();
    Group *a = manager->AddGroupTo(root, std::make_unique<Group>(u"A"_s));
    Group *a1 = manager->AddGroupTo(a, std::make_unique<Group>(u"A1"_s));
    Group *b = manager->AddGroupTo(root, std::make_unique<Group>(u"B"_s));
    Group *b1 = manager->AddGroupTo(b, std::make_unique<Group>(u"B1"_s));
    Projector *inA1 = Register(a1, 50, u"p"_s);

    Owner owner;
    auto *tree = new CGroupTreeCtrl(&owner);
    tree->Init(root, true);
    tree->UpdateData();

    // SelectNode with a projector selects its group, expands it and tells the owner.
    tree->SelectNode(inA1);
    QCOMPARE(tree->GetSelectedGroup(), a1);
    QVERIFY(a1->GetTreeState().expanded);
    QCoreApplication::sendPostedEvents(&owner);
    QCOMPARE(owner.notified, 1);
    b->GetTreeState().expanded = true;
    tree->ItemOfGroup(b)->setExpanded(true);
    tree->ItemOfGroup(b)->setExpanded(false); // the user collapsed B again
    QVERIFY(!b->GetTreeState().expanded);
    tree->ItemOfGroup(a)->setExpanded(true);

    // A rebuild as the view runs it: flag the selected group, rebuild, select its new item,
    // restore the expanded groups.
    tree->GetSelectedGroup()->GetTreeState().selectAfterRebuild = true;
    tree->UpdateData();
    QCOMPARE(tree->currentItem(), tree->DisplayAllItem());
    QCOMPARE(tree->ItemToSelectAfterRebuild(), tree->ItemOfGroup(a1));
    QVERIFY(!a1->GetTreeState().selectAfterRebuild);
    tree->setCurrentItem(tree->ItemToSelectAfterRebuild());
    tree->RestoreExpansion(root);
    QCOMPARE(tree->GetSelectedGroup(), a1);
    QVERIFY(tree->ItemOfGroup(a)->isExpanded());
    QVERIFY(!tree->ItemOfGroup(b)->isExpanded());
    QVERIFY(tree->RootItem()->isExpanded());
    QCOMPARE(tree->NodeOfItem(tree->ItemOfGroup(b1)), b1);

    // With no node the first visible item is chosen: "Display all", with no group to flag.
    tree->SelectNode(nullptr);
    QCOMPARE(tree->currentItem(), tree->DisplayAllItem());
    QCOMPARE(tree->GetSelectedGroup(), nullptr);
    QCoreApplication::sendPostedEvents(&owner);
    QCOMPARE(owner.notified, 1);
}

void TestFleetControls::eventList_keepsTwentyNewestWithCutTexts()
{
    CActionEventListCtrl list;
    list.resize(450, 200);
    list.SetUpColumns();
    // From the width inside the frame, also before the list shows, and again after a resize.
    QCOMPARE(list.columnWidth(0),
             std::max((450 - 2 * list.frameWidth()) / 9, list.TimeColumnMinimum()));
    list.resize(900, 200);
    QCoreApplication::sendPostedEvents();
    list.show();
    QCOMPARE(list.columnWidth(0), (900 - 2 * list.frameWidth()) / 9);
    QCOMPARE(list.columnWidth(1), 900 - 2 * list.frameWidth() - list.columnWidth(0) - 22);

    auto *events = ActionEventManager::GetInstance();
    const QString longMessage = QString(60, u'm');
    const QString longName = QString(25, u'n');
    for (int i = 1; i <= 25; ++i) {
        const int level = i == 24 ? 2 : i == 25 ? 1 : 0;
        events->AddEvent(std::make_unique<ActionEvent>(
            i == 23 ? longName : u"P%1"_s.arg(i), i == 23 ? longMessage : u"M%1"_s.arg(i), level));
    }
    events->AddEvent(std::make_unique<ActionEvent>(u"dbg"_s, u"debug"_s, 9));
    list.UpdateData();
    QVERIFY(!events->HasPending());
    QCOMPARE(list.topLevelItemCount(), 20);
    QCOMPARE(list.topLevelItem(0)->text(1), u"M25  P25"_s);
    QCOMPARE(list.topLevelItem(19)->text(1), u"M6  P6"_s);
    QCOMPARE(list.topLevelItem(2)->text(1),
             QString(55, u'm') + u"...  "_s + QString(20, u'n') + u"..."_s);
    QCOMPARE(list.topLevelItem(0)->foreground(1).color(), QColor(255, 0, 0));
    QCOMPARE(list.topLevelItem(1)->foreground(1).color(), QColor(255, 0, 0));
    QVERIFY(!list.topLevelItem(0)->icon(0).isNull());
    QVERIFY(list.topLevelItem(2)->icon(0).isNull());
    QCOMPARE(list.topLevelItem(2)->foreground(1).style(), Qt::NoBrush);
    QCOMPARE(list.topLevelItem(0)->text(0).size(), 8); // HH:MM:SS
}

QTEST_MAIN(TestFleetControls)
#include "tst_fleetcontrols.moc"
