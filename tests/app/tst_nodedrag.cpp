#include "app/cnodedrag.h"
#include "model/group.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

ProjectorNode *NodeOf(const QTreeWidgetItem *item)
{
    return reinterpret_cast<ProjectorNode *>(item->data(0, Qt::UserRole).value<quintptr>());
}

QTreeWidgetItem *AddItem(QTreeWidget *control, const QString &text, ProjectorNode *node)
{
    auto *item = new QTreeWidgetItem(control, {text});
    item->setData(0, Qt::UserRole, QVariant::fromValue(quintptr(node)));
    return item;
}

struct Drop
{
    std::vector<ProjectorNode *> sources;
    bool fromTree = false;
    ProjectorNode *target = nullptr;
};

} // namespace

// The drag is driven by real mouse events on the offscreen platform: press on a row, move past
// the drag distance, move over the target, release.
class TestNodeDrag : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listRowsOntoTreeItem();
    void treeItemOntoGroupRow();
    void releaseOverNothing_dropsNothing();
    void rebuildDuringDrag_keepsTheDraggedNodes();
    void clickWithoutMove_isNoDrag();

private:
    void Fill();
    static QPoint Centre(QTreeWidget *control, QTreeWidgetItem *item);
    void Press(QTreeWidget *control, QTreeWidgetItem *item);
    // Moves to the item's centre; events go where the platform sends them (to the pressed
    // control while the button is down).
    void MoveTo(QTreeWidget *control, QTreeWidgetItem *item);
    void Release(QTreeWidget *control, QPoint local);

    std::unique_ptr<QWidget> m_view;
    QTreeWidget *m_tree = nullptr;
    QTreeWidget *m_list = nullptr;
    CNodeDrag *m_drag = nullptr;
    std::vector<Drop> m_drops;
    QTreeWidget *m_pressed = nullptr;

    Group m_root{u"Root"_s};
    Group *m_a = nullptr;
    Group *m_b = nullptr;
    Group *m_c = nullptr;
};

void TestNodeDrag::init()
{
    m_drops.clear();
    m_view = std::make_unique<QWidget>();
    m_view->resize(400, 500);
    auto *layout = new QVBoxLayout(m_view.get());
    m_tree = new QTreeWidget;
    m_list = new QTreeWidget;
    m_tree->setHeaderHidden(true);
    m_list->setHeaderHidden(true);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(m_tree);
    layout->addWidget(m_list);
    if (m_root.GetChildren().empty()) {
        m_a = static_cast<Group *>(m_root.AddChild(std::make_unique<Group>(u"A"_s)));
        m_b = static_cast<Group *>(m_root.AddChild(std::make_unique<Group>(u"B"_s)));
        m_c = static_cast<Group *>(m_root.AddChild(std::make_unique<Group>(u"C"_s)));
    }
    Fill();
    m_drag = new CNodeDrag(
        m_tree, m_list, m_view.get(), NodeOf, NodeOf,
        [this](const std::vector<ProjectorNode *> &sources, bool fromTree, ProjectorNode *target) {
            m_drops.push_back({sources, fromTree, target});
        });
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
}

void TestNodeDrag::cleanup()
{
    m_view.reset();
}

void TestNodeDrag::Fill()
{
    m_tree->clear();
    m_list->clear();
    AddItem(m_tree, u"Display all"_s, nullptr);
    for (Group *group : {static_cast<Group *>(&m_root), m_a, m_b, m_c})
        AddItem(m_tree, group->GetName(), group);
    for (Group *group : {m_a, m_b, m_c})
        AddItem(m_list, group->GetName(), group);
}

QPoint TestNodeDrag::Centre(QTreeWidget *control, QTreeWidgetItem *item)
{
    return control->visualItemRect(item).center();
}

void TestNodeDrag::Press(QTreeWidget *control, QTreeWidgetItem *item)
{
    m_pressed = control;
    QTest::mousePress(control->viewport(), Qt::LeftButton, {}, Centre(control, item));
    // Past the drag distance, still inside the pressed control: the drag begins.
    QTest::mouseMove(control->viewport(),
                     Centre(control, item) + QPoint(QApplication::startDragDistance() + 2, 0));
}

void TestNodeDrag::MoveTo(QTreeWidget *control, QTreeWidgetItem *item)
{
    const QPoint global = control->viewport()->mapToGlobal(Centre(control, item));
    QTest::mouseMove(m_pressed->viewport(), m_pressed->viewport()->mapFromGlobal(global));
}

void TestNodeDrag::Release(QTreeWidget *control, QPoint local)
{
    const QPoint global = control->viewport()->mapToGlobal(local);
    QTest::mouseRelease(m_pressed->viewport(), Qt::LeftButton, {},
                        m_pressed->viewport()->mapFromGlobal(global));
}

void TestNodeDrag::listRowsOntoTreeItem()
{
    // Rows B and A selected (row order A, B), dragged from B onto the tree's C.
    m_list->topLevelItem(1)->setSelected(true);
    m_list->topLevelItem(0)->setSelected(true);
    Press(m_list, m_list->topLevelItem(1));
    QVERIFY(m_drag->IsDragging());
    QVERIFY(m_drag->GetDragImage()->isVisible());
    QTreeWidgetItem *target = m_tree->topLevelItem(4);
    MoveTo(m_tree, target);
    QCOMPARE(m_drag->GetDropHighlight(), target);
    QVERIFY(target->data(0, Qt::BackgroundRole).isValid());
    Release(m_tree, Centre(m_tree, target));

    QVERIFY(!m_drag->IsDragging());
    QVERIFY(!m_drag->GetDragImage()->isVisible());
    QVERIFY(!target->data(0, Qt::BackgroundRole).isValid());
    QCOMPARE(m_drops.size(), size_t(1));
    QCOMPARE(m_drops[0].sources, (std::vector<ProjectorNode *>{m_a, m_b}));
    QVERIFY(!m_drops[0].fromTree);
    QCOMPARE(m_drops[0].target, m_c);
}

void TestNodeDrag::treeItemOntoGroupRow()
{
    // The tree's "Display all" and A, each dropped on the list's row C.
    for (int index : {0, 2}) {
        m_drops.clear();
        Press(m_tree, m_tree->topLevelItem(index));
        QVERIFY(m_drag->IsDragging());
        MoveTo(m_list, m_list->topLevelItem(2));
        QCOMPARE(m_drag->GetDropHighlight(), nullptr);
        Release(m_list, Centre(m_list, m_list->topLevelItem(2)));
        QCOMPARE(m_drops.size(), size_t(1));
        QCOMPARE(m_drops[0].sources, (std::vector<ProjectorNode *>{index == 0 ? nullptr : m_a}));
        QVERIFY(m_drops[0].fromTree);
        QCOMPARE(m_drops[0].target, m_c);
    }
}

void TestNodeDrag::releaseOverNothing_dropsNothing()
{
    m_list->topLevelItem(0)->setSelected(true);
    Press(m_list, m_list->topLevelItem(0));
    QVERIFY(m_drag->IsDragging());
    // Below the last row of the list.
    const QPoint empty(10, m_list->viewport()->height() - 3);
    QTest::mouseMove(m_list->viewport(), empty);
    Release(m_list, empty);
    QVERIFY(!m_drag->IsDragging());
    QVERIFY(m_drops.empty());
    QCOMPARE(QWidget::mouseGrabber(), nullptr);
}

void TestNodeDrag::rebuildDuringDrag_keepsTheDraggedNodes()
{
    m_list->topLevelItem(2)->setSelected(true); // C
    Press(m_list, m_list->topLevelItem(2));
    MoveTo(m_tree, m_tree->topLevelItem(2));
    QVERIFY(m_drag->GetDropHighlight());
    // A refresh notification rebuilds both controls in a new order while the drag runs.
    m_tree->clear();
    m_list->clear();
    AddItem(m_tree, u"Display all"_s, nullptr);
    for (Group *group : {m_b, m_a, m_c, static_cast<Group *>(&m_root)})
        AddItem(m_tree, group->GetName(), group);
    for (Group *group : {m_c, m_b, m_a})
        AddItem(m_list, group->GetName(), group);
    QCOMPARE(m_drag->GetDropHighlight(), nullptr);
    MoveTo(m_tree, m_tree->topLevelItem(1)); // now B
    Release(m_tree, Centre(m_tree, m_tree->topLevelItem(1)));
    QCOMPARE(m_drops.size(), size_t(1));
    QCOMPARE(m_drops[0].sources, std::vector<ProjectorNode *>{m_c});
    QCOMPARE(m_drops[0].target, m_b);
}

void TestNodeDrag::clickWithoutMove_isNoDrag()
{
    QTreeWidgetItem *row = m_list->topLevelItem(1);
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, Centre(m_list, row));
    QVERIFY(!m_drag->IsDragging());
    QVERIFY(row->isSelected()); // the list still selects as usual
    QVERIFY(m_drops.empty());
}

QTEST_MAIN(TestNodeDrag)
#include "tst_nodedrag.moc"
