// Moving projectors and groups by dragging them in the main window, driven by mouse events on
// the offscreen platform and checked in the registry and in the settings file.

#include "app/cgrouptreectrl.h"
#include "app/cnodedrag.h"
#include "app/cprojectorlistctrl.h"
#include "app/cvantelview.h"
#include "dialogs/cprojectordeletedlg.h"
#include "dialogs/crenamegroupdlg.h"
#include "model/group.h"
#include "model/projectorlistorder.h"
#include "model/projectorschangedevent.h"
#include "res/stringtable.h"
#include "tests/app/appfixture.h"
#include "tests/app/savedregistry.h"
#include "tests/common/scripteduser.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int kCycleMs = 20000;

// The registry of every case; nothing answers at these addresses.
const std::vector<AppFixture::Registered> kRegistry = {
    {u"P1"_s, u"127.61.0.201"_s, u"/"_s},       {u"P2"_s, u"127.61.0.202"_s, u"/"_s},
    {u"InA2"_s, u"127.61.0.203"_s, u"/A/A2"_s}, {u"InB"_s, u"127.61.0.204"_s, u"/B/A2"_s},
    {u"InC"_s, u"127.61.0.205"_s, u"/C"_s},
};

QPoint Centre(QTreeWidget *control, QTreeWidgetItem *item)
{
    return control->visualItemRect(item).center();
}

} // namespace

class TestDragDrop : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void drops_data();
    void drops();
    void releaseOverNothing_changesNothing_clickSelects();
    void refreshDuringDrag_handledAtTheDrop();
    void editButtons_renameAndDeleteInTheWindow();

private:
    Group *GroupAt(const QString &path) const;
    // "tree:/A" (a tree item; "tree:all" for "Display all", "tree:/" for the root) or
    // "row:NAME" (a row of the list).
    QTreeWidgetItem *ItemOf(const QString &spec, QTreeWidget *&control) const;
    void Press(const QString &spec);
    void MoveTo(const QString &spec);
    void Release(const QString &spec);
    QStringList RowNames() const;

    std::unique_ptr<AppFixture> m_fixture;
    CVantelView *m_view = nullptr;
    CGroupTreeCtrl *m_tree = nullptr;
    CProjectorListCtrl *m_list = nullptr;
    QTreeWidget *m_pressed = nullptr;
};

void TestDragDrop::init()
{
    m_fixture = std::make_unique<AppFixture>();
    m_fixture->WriteSettings(kRegistry);
    QVERIFY(m_fixture->Start());
    m_view = m_fixture->View();
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*m_view), kCycleMs);
    m_tree = m_fixture->Control<CGroupTreeCtrl>(IDC_GROUP_TREE);
    m_list = m_fixture->Control<CProjectorListCtrl>(IDC_PROJECTOR_LIST);
    QVERIFY(m_tree && m_list);
    // Every group in sight.
    m_tree->expandAll();
    m_fixture->TakeMessages();
}

void TestDragDrop::cleanup()
{
    m_fixture.reset();
}

Group *TestDragDrop::GroupAt(const QString &path) const
{
    return m_tree->NodeOfItem(m_tree->RootItem())->FindGroupByPath(path);
}

QTreeWidgetItem *TestDragDrop::ItemOf(const QString &spec, QTreeWidget *&control) const
{
    const QString what = spec.section(u':', 1);
    if (spec.startsWith(u"tree:")) {
        control = m_tree;
        if (what == u"all")
            return m_tree->DisplayAllItem();
        return m_tree->ItemOfGroup(GroupAt(what));
    }
    control = m_list;
    for (int row = 0; row < m_list->RowCount(); ++row) {
        if (m_list->topLevelItem(row)->text(COLUMN_NAME) == what)
            return m_list->topLevelItem(row);
    }
    return nullptr;
}

void TestDragDrop::Press(const QString &spec)
{
    QTreeWidget *control = nullptr;
    QTreeWidgetItem *item = ItemOf(spec, control);
    QVERIFY2(item, qPrintable(spec));
    m_pressed = control;
    QTest::mousePress(control->viewport(), Qt::LeftButton, {}, Centre(control, item));
    QTest::mouseMove(control->viewport(),
                     Centre(control, item) + QPoint(QApplication::startDragDistance() + 2, 0));
}

void TestDragDrop::MoveTo(const QString &spec)
{
    QTreeWidget *control = nullptr;
    QTreeWidgetItem *item = ItemOf(spec, control);
    QVERIFY2(item, qPrintable(spec));
    const QPoint global = control->viewport()->mapToGlobal(Centre(control, item));
    QTest::mouseMove(m_pressed->viewport(), m_pressed->viewport()->mapFromGlobal(global));
}

void TestDragDrop::Release(const QString &spec)
{
    QTreeWidget *control = nullptr;
    QTreeWidgetItem *item = ItemOf(spec, control);
    QVERIFY2(item, qPrintable(spec));
    const QPoint global = control->viewport()->mapToGlobal(Centre(control, item));
    QTest::mouseRelease(m_pressed->viewport(), Qt::LeftButton, {},
                        m_pressed->viewport()->mapFromGlobal(global));
}

QStringList TestDragDrop::RowNames() const
{
    QStringList names;
    for (int row = 0; row < m_list->RowCount(); ++row)
        names << m_list->topLevelItem(row)->text(COLUMN_NAME);
    return names;
}

void TestDragDrop::drops_data()
{
    QTest::addColumn<QString>("shown");    // the tree item whose content the list shows first
    QTest::addColumn<QStringList>("rows"); // list rows selected and dragged; none: tree drag
    QTest::addColumn<QString>("source");   // where the drag begins
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("message");           // 0: moved
    QTest::addColumn<QStringList>("moved");     // saved lines that replace those of the sources
    QTest::addColumn<QString>("selectedAfter"); // the tree's group afterwards

    const QStringList none;
    QTest::newRow("two projector rows onto a group")
        << u"tree:all"_s << QStringList{u"P1"_s, u"P2"_s} << u"row:P1"_s << u"tree:/C"_s << 0
        << QStringList{u"/C/P1 @127.61.0.201"_s, u"/C/P2 @127.61.0.202"_s} << u"/C"_s;
    QTest::newRow("a projector row onto a group row")
        << u"tree:/"_s << QStringList{u"P1"_s} << u"row:P1"_s << u"row:C"_s << 0
        << QStringList{u"/C/P1 @127.61.0.201"_s} << u"/C"_s;
    QTest::newRow("a group row with its subgroup onto a group")
        << u"tree:/"_s << QStringList{u"C"_s} << u"row:C"_s << u"tree:/B"_s << 0
        << QStringList{u"/B/C"_s, u"/B/C/InC @127.61.0.205"_s} << u"/B"_s;
    QTest::newRow("onto itself") << u"tree:/"_s << none << u"tree:/A"_s << u"tree:/A"_s << 346
                                 << none << u"/"_s;
    QTest::newRow("onto its parent")
        << u"tree:/"_s << none << u"tree:/A/A2"_s << u"tree:/A"_s << 346 << none << u"/"_s;
    QTest::newRow("onto its child")
        << u"tree:/"_s << none << u"tree:/A"_s << u"tree:/A/A2"_s << 321 << none << u"/"_s;
    QTest::newRow("too deep") << u"tree:/"_s << none << u"tree:/A"_s << u"tree:/C"_s << 320 << none
                              << u"/"_s;
    QTest::newRow("name taken at the target")
        << u"tree:/"_s << none << u"tree:/A/A2"_s << u"tree:/B"_s << 325 << none << u"/"_s;
    QTest::newRow("the root dragged")
        << u"tree:/C"_s << none << u"tree:/"_s << u"tree:/C"_s << 346 << none << u"/C"_s;
    QTest::newRow("display all dragged")
        << u"tree:/C"_s << none << u"tree:all"_s << u"tree:/C"_s << 346 << none << u"/C"_s;
    QTest::newRow("onto display all") << u"tree:all"_s << QStringList{u"P1"_s} << u"row:P1"_s
                                      << u"tree:all"_s << 346 << none << QString();
    QTest::newRow("onto a projector row")
        << u"tree:/"_s << QStringList{u"C"_s} << u"row:C"_s << u"row:P2"_s << 346 << none << u"/"_s;
    // P1, C and P2 onto C: C refuses itself, so P1 and P2 stay where they are too.
    QTest::newRow("three rows, one refused")
        << u"tree:/"_s << QStringList{u"P1"_s, u"C"_s, u"P2"_s} << u"row:P1"_s << u"tree:/C"_s
        << 346 << none << u"/"_s;
}

void TestDragDrop::drops()
{
    QFETCH(QString, shown);
    QFETCH(QStringList, rows);
    QFETCH(QString, source);
    QFETCH(QString, target);
    QFETCH(int, message);
    QFETCH(QStringList, moved);
    QFETCH(QString, selectedAfter);

    QTreeWidget *control = nullptr;
    m_tree->setCurrentItem(ItemOf(shown, control));
    m_list->clearSelection();
    for (const QString &name : std::as_const(rows)) {
        QTreeWidgetItem *row = ItemOf(u"row:"_s + name, control);
        QVERIFY2(row, qPrintable(RowNames().join(u", "_s)));
        row->setSelected(true);
    }
    const QStringList before = SavedRegistry(m_fixture->SettingsPath());
    const QStringList rowsShown = RowNames();
    Group *const selectedBefore = m_view->GetTreeSelection();

    Press(source);
    QVERIFY(m_view->GetNodeDrag()->IsDragging());
    QVERIFY(m_view->GetNodeDrag()->GetDragImage()->isVisible());
    MoveTo(target);
    // Pressing what is dragged leaves the tree's selection and the list as they were.
    QCOMPARE(m_view->GetTreeSelection(), selectedBefore);
    QCOMPARE(RowNames(), rowsShown);
    if (target.startsWith(u"tree:"))
        QCOMPARE(m_view->GetNodeDrag()->GetDropHighlight(), ItemOf(target, control));
    Release(target);
    QVERIFY(!m_view->GetNodeDrag()->IsDragging());
    QCOMPARE(QWidget::mouseGrabber(), nullptr);

    const QStringList messages = m_fixture->TakeMessages();
    QCOMPARE(messages, message ? QStringList{LoadString(message)} : QStringList());
    const QStringList after = SavedRegistry(m_fixture->SettingsPath());
    if (message) {
        QCOMPARE(after, before);
    } else {
        // Every moved line is there, and nothing else was added or lost.
        for (const QString &line : std::as_const(moved))
            QVERIFY2(after.contains(line), qPrintable(after.join(u", "_s)));
        QCOMPARE(after.size(), before.size());
    }
    QTRY_COMPARE(m_view->GetTreeSelection(),
                 selectedAfter.isEmpty() ? nullptr : GroupAt(selectedAfter));
}

void TestDragDrop::releaseOverNothing_changesNothing_clickSelects()
{
    QTreeWidget *control = nullptr;
    m_tree->setCurrentItem(ItemOf(u"tree:/A"_s, control));
    const QStringList before = SavedRegistry(m_fixture->SettingsPath());
    Press(u"tree:/A/A2"_s);
    // Well below the last item of the tree.
    const QPoint empty(5, m_tree->viewport()->height() - 2);
    QTest::mouseMove(m_tree->viewport(), empty);
    QCOMPARE(m_view->GetNodeDrag()->GetDropHighlight(), nullptr);
    QTest::mouseRelease(m_tree->viewport(), Qt::LeftButton, {}, empty);
    QVERIFY(!m_view->GetNodeDrag()->IsDragging());
    QVERIFY(m_fixture->TakeMessages().isEmpty());
    QCOMPARE(SavedRegistry(m_fixture->SettingsPath()), before);
    // Nothing changes the selection, the press included.
    QCOMPARE(m_view->GetTreeSelection(), GroupAt(u"/A"_s));
    QCOMPARE(RowNames(), QStringList{u"A2"_s});

    // A press and a release without a move is a click: it selects, and the list follows.
    QTreeWidgetItem *c = ItemOf(u"tree:/C"_s, control);
    QTest::mouseClick(m_tree->viewport(), Qt::LeftButton, {}, Centre(m_tree, c));
    QCOMPARE(m_view->GetTreeSelection(), GroupAt(u"/C"_s));
    QCOMPARE(RowNames(), QStringList{u"InC"_s});
    // The expand mark beside an item still folds it, without selecting it.
    QTreeWidgetItem *a = ItemOf(u"tree:/A"_s, control);
    QVERIFY(a->isExpanded());
    const QRect rect = m_tree->visualItemRect(a);
    QTest::mouseClick(m_tree->viewport(), Qt::LeftButton, {},
                      QPoint(rect.left() - m_tree->indentation() / 2, rect.center().y()));
    QTRY_VERIFY(!a->isExpanded());
    QCOMPARE(m_view->GetTreeSelection(), GroupAt(u"/C"_s));
}

void TestDragDrop::refreshDuringDrag_handledAtTheDrop()
{
    QTreeWidget *control = nullptr;
    m_tree->setCurrentItem(ItemOf(u"tree:all"_s, control));
    m_list->clearSelection();
    ItemOf(u"row:P2"_s, control)->setSelected(true);
    Press(u"row:P2"_s);
    MoveTo(u"tree:/B"_s);
    QTreeWidgetItem *highlighted = m_view->GetNodeDrag()->GetDropHighlight();
    QVERIFY(highlighted);

    // The notification arrives mid-drag: the items under the pointer stay as drawn.
    QCoreApplication::postEvent(m_view, new QEvent(ProjectorsChangedEvent));
    QCoreApplication::processEvents();
    QCOMPARE(m_view->GetNodeDrag()->GetDropHighlight(), highlighted);
    QCOMPARE(m_tree->ItemOfGroup(GroupAt(u"/B"_s)), highlighted);

    Release(u"tree:/B"_s);
    QVERIFY(SavedRegistry(m_fixture->SettingsPath()).contains(u"/B/P2 @127.61.0.202"_s));
    QTRY_COMPARE(m_view->GetTreeSelection(), GroupAt(u"/B"_s));
    QTRY_VERIFY(RowNames().contains(u"P2"_s)); // the list shows B's content, P2 included
}

// The Edit tab's buttons on the tree's and the list's selection: the group selected in the tree
// is renamed and stays selected; a row deleted leaves the tree's group selected and showing.
void TestDragDrop::editButtons_renameAndDeleteInTheWindow()
{
    m_view->SetTab(CVantelView::TAB_EDIT);
    QTreeWidget *control = nullptr;
    m_tree->setCurrentItem(ItemOf(u"tree:/C"_s, control));
    m_list->clearSelection();
    ScriptedUser renamer({ScriptedUser::OnModal<CRenameGroupDlg>([](CRenameGroupDlg *dialog) {
        auto *edit = dialog->findChild<QLineEdit *>(u"1051"_s);
        QTest::keyClicks(edit, u"Stage"_s);
        dialog->findChild<QPushButton *>(u"1"_s)->click();
    })});
    m_fixture->Control<QPushButton>(IDC_RENAME_GROUP)->click();
    QVERIFY(renamer.IsDone());
    QTRY_COMPARE(m_tree->currentItem()->text(0), u"Stage"_s);
    QVERIFY(SavedRegistry(m_fixture->SettingsPath()).contains(u"/Stage/InC @127.61.0.205"_s));

    m_tree->setCurrentItem(ItemOf(u"tree:/"_s, control));
    ItemOf(u"row:P1"_s, control)->setSelected(true);
    ScriptedUser deleter({ScriptedUser::OnModal<CProjectorDeleteDlg>(
        [](CProjectorDeleteDlg *dialog) { dialog->findChild<QPushButton *>(u"1"_s)->click(); })});
    m_fixture->Control<QPushButton>(IDC_DELETE)->click();
    QVERIFY(deleter.IsDone());
    QVERIFY(m_fixture->TakeMessages().isEmpty());
    QCOMPARE(m_view->GetTreeSelection(), GroupAt(u"/"_s));
    QTRY_VERIFY(!RowNames().contains(u"P1"_s) && RowNames().contains(u"P2"_s));
    QVERIFY(!SavedRegistry(m_fixture->SettingsPath()).join(u' ').contains(u"P1"_s));
}

QTEST_MAIN(TestDragDrop)
#include "tst_dragdrop.moc"
