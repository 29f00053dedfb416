#pragma once

#include <QObject>
#include <QPoint>

#include <functional>
#include <vector>

class ProjectorNode;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

// Drag and drop of registry nodes from the projector list or the group tree onto a tree item or
// a group row, by pointer capture rather than the platform's drag machinery: the press, moves
// and release of one button drive it, so the same code runs wherever mouse events arrive (the
// offscreen platform included). The view that owns both controls owns this object.
//
// A drag holds the nodes themselves, never items or row numbers, so the controls may be rebuilt
// while it runs; the owner should hold back rebuilds until the drop (IsDragging) so the user
// keeps pointing at what is drawn. User-interface thread only.
class CNodeDrag : public QObject
{
    Q_OBJECT

public:
    // The node of an item of either control; nullptr for the tree's "Display all" item.
    using NodeOfItem = std::function<ProjectorNode *(const QTreeWidgetItem *item)>;
    // sources in row order (tree drag: the one dragged group, nullptr for "Display all");
    // target: the node dropped on (nullptr for "Display all").
    using DropHandler = std::function<void(const std::vector<ProjectorNode *> &sources,
                                           bool fromTree, ProjectorNode *target)>;

    CNodeDrag(QTreeWidget *tree, QTreeWidget *list, QWidget *view, NodeOfItem nodeOfTreeItem,
              NodeOfItem nodeOfListRow, DropHandler onDrop);
    ~CNodeDrag() override;

    bool IsDragging() const { return m_dragging; }
    // The tree item drawn as the drop target now, if any.
    QTreeWidgetItem *GetDropHighlight() const { return m_highlighted; }
    // The picture that follows the pointer (hidden when no drag runs).
    QLabel *GetDragImage() const { return m_image; }

signals:
    // A drag has ended, after the drop handler when it dropped on something.
    void dragEnded();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool OnPress(QTreeWidget *control, QPoint position);
    bool OnMove(QTreeWidget *control, QPoint global, Qt::MouseButtons buttons);
    bool OnRelease(QPoint global);
    // A release without a drag: a pressed tree item is selected now.
    bool OnClick();
    void Begin(QTreeWidget *control, QPoint global);
    void End();
    void SetHighlight(QTreeWidgetItem *item);
    // The item of control under a global point, nullptr when none.
    static QTreeWidgetItem *ItemAt(QTreeWidget *control, QPoint global);

    QTreeWidget *m_tree;
    QTreeWidget *m_list;
    QWidget *m_view;
    // Compared by address only: the filter also sees events while a control is destroyed,
    // when asking it for its viewport is no longer allowed.
    const QObject *m_treeViewport;
    const QObject *m_listViewport;
    NodeOfItem m_nodeOfTreeItem;
    NodeOfItem m_nodeOfListRow;
    DropHandler m_onDrop;

    // Between press and the start of a drag.
    QTreeWidget *m_pressedIn = nullptr;
    QPoint m_pressPoint; // global
    // The tree item pressed, selected at the release unless a drag began.
    QTreeWidgetItem *m_treeClick = nullptr;

    bool m_dragging = false;
    bool m_fromTree = false;
    std::vector<ProjectorNode *> m_sources;
    QPoint m_lastPoint; // global
    QTreeWidgetItem *m_highlighted = nullptr;
    QLabel *m_image = nullptr; // child of the view
};
