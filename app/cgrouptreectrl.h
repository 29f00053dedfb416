#pragma once

#include "dialogs/itemroles.h"
#include "model/groupmarkers.h"

#include <QTreeWidget>

#include <unordered_map>

class Group;
class ProjectorNode;

// The tree of groups under the root, with a "Display all" item above it. A folder carries a red
// mark while a projector in its group (or, collapsed, in a subgroup) reports a problem.
//
// Every UpdateData rebuilds all items; the expanded and select-after-rebuild flags of each
// Group carry the view state across, and the control keeps its own map from groups to items.
// User-interface thread only.
class CGroupTreeCtrl : public QTreeWidget
{
    Q_OBJECT

public:
    explicit CGroupTreeCtrl(QWidget *parent = nullptr);

    void Init(Group *root, bool showAll);
    // Pictures without marks, for a tree that only chooses a group; set before the first
    // rebuild.
    void SetPlainFolders(bool plain) { m_plainFolders = plain; }

    void UpdateData();

    // The group of the selected item; nullptr for none and for "Display all".
    Group *GetSelectedGroup() const;
    // The group of an item; nullptr for "Display all".
    Group *NodeOfItem(const QTreeWidgetItem *item) const;
    QTreeWidgetItem *ItemOfGroup(const Group *group) const;
    QTreeWidgetItem *DisplayAllItem() const { return m_displayAll; }
    QTreeWidgetItem *RootItem() const { return m_rootItem; }
    // The item whose group had its select-after-rebuild flag set at the last rebuild.
    QTreeWidgetItem *ItemToSelectAfterRebuild() const { return m_itemAfterRebuild; }

    // Selects, expands and flags the item of node's group (a projector stands for its group),
    // then posts the projectors-changed event to the parent. nullptr: the first visible item,
    // without the event.
    void SelectNode(const ProjectorNode *node);
    // Expands every item below group whose group has its expanded flag set.
    void RestoreExpansion(Group *group);

    // Each item keeps the index of the picture it shows under this role.
    static constexpr int ImageIndexRole = ROLE_IMAGE_INDEX;

private:
    QTreeWidgetItem *AddGroupItem(Group *group, QTreeWidgetItem *parent);
    void ApplyImages(QTreeWidgetItem *item);
    void OnExpandedChanged(QTreeWidgetItem *item, bool expanded);
    void OnCurrentChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous);

    Group *m_root = nullptr;
    bool m_showAll = false;
    bool m_plainFolders = false;
    bool m_firstRebuild = true;
    QTreeWidgetItem *m_displayAll = nullptr;
    QTreeWidgetItem *m_rootItem = nullptr;
    QTreeWidgetItem *m_itemAfterRebuild = nullptr;
    std::unordered_map<const Group *, QTreeWidgetItem *> m_items;
    ProblemMarkers m_markers;
};
