#include "app/cgrouptreectrl.h"

#include "dialogs/itemroles.h"
#include "res/stringids.h"
#include "res/skinbitmap.h"
#include "model/group.h"
#include "model/projector.h"
#include "model/projectorschangedevent.h"
#include "res/stringtable.h"

#include <QCoreApplication>

namespace {

// Tree pictures by image index: folder, open folder, "Display all", selected, marked folders.
constexpr int kImageIds[] = {207, 209, 206, 208, 325, 326};

void SetImage(QTreeWidgetItem *item, int index)
{
    static const std::vector<QIcon> icons = [] {
        std::vector<QIcon> loaded;
        for (const int id : kImageIds)
            loaded.push_back(LoadSkinIcon(id));
        return loaded;
    }();
    item->setIcon(0, icons[index]);
    item->setData(0, CGroupTreeCtrl::ImageIndexRole, index);
}

bool HasProblem(const Projector &projector)
{
    return projector.GetState().worstError.has_value();
}

} // namespace

CGroupTreeCtrl::CGroupTreeCtrl(QWidget *parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    connect(this, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem *item) { OnExpandedChanged(item, true); });
    connect(this, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem *item) { OnExpandedChanged(item, false); });
    connect(this, &QTreeWidget::currentItemChanged, this, &CGroupTreeCtrl::OnCurrentChanged);
}

void CGroupTreeCtrl::Init(Group *root, bool showAll)
{
    m_root = root;
    m_showAll = showAll;
}

void CGroupTreeCtrl::UpdateData()
{
    {
        const QSignalBlocker blocker(this);
        clear();
        m_items.clear();
        m_displayAll = nullptr;
        m_rootItem = nullptr;
        m_itemAfterRebuild = nullptr;
        if (!m_root)
            return;
        if (m_showAll) {
            m_displayAll = new QTreeWidgetItem(this, {LoadString(STR_DISPLAY_ALL)});
            SetImage(m_displayAll, 2);
        }
        m_markers = m_plainFolders ? ProblemMarkers() : ComputeProblemMarkers(*m_root, HasProblem);
        m_rootItem = AddGroupItem(m_root, nullptr);

        Group::TreeState &rootState = m_root->GetTreeState();
        if (m_firstRebuild) {
            rootState.expanded = true;
            m_firstRebuild = false;
        }
        m_rootItem->setExpanded(rootState.expanded);
        ApplyImages(m_rootItem);
    }
    // Not blocked: the owner reacts to this selection as to any other.
    setCurrentItem(m_displayAll ? m_displayAll : m_rootItem);
}

QTreeWidgetItem *CGroupTreeCtrl::AddGroupItem(Group *group, QTreeWidgetItem *parent)
{
    auto *item = parent ? new QTreeWidgetItem(parent, {group->GetName()})
                        : new QTreeWidgetItem(this, {group->GetName()});
    item->setData(0, ROLE_NODE, QVariant::fromValue(static_cast<void *>(group)));
    m_items[group] = item;
    Group::TreeState &state = group->GetTreeState();
    if (state.selectAfterRebuild) {
        m_itemAfterRebuild = item;
        state.selectAfterRebuild = false;
    }
    ApplyImages(item);
    for (Group *child : group->GetChildGroups())
        AddGroupItem(child, item);
    return item;
}

void CGroupTreeCtrl::ApplyImages(QTreeWidgetItem *item)
{
    if (item == m_displayAll) {
        SetImage(item, item == currentItem() ? 3 : 2);
        return;
    }
    const Group *group = NodeOfItem(item);
    if (!group)
        return;
    const auto found = m_markers.find(group);
    const ProblemMarker marker = found == m_markers.end() ? ProblemMarker() : found->second;
    const FolderImages images = GroupFolderImages(marker, item->isExpanded(), m_plainFolders);
    SetImage(item, item == currentItem() ? images.selected : images.normal);
}

Group *CGroupTreeCtrl::NodeOfItem(const QTreeWidgetItem *item) const
{
    if (!item || item == m_displayAll)
        return nullptr;
    return static_cast<Group *>(item->data(0, ROLE_NODE).value<void *>());
}

QTreeWidgetItem *CGroupTreeCtrl::ItemOfGroup(const Group *group) const
{
    const auto found = m_items.find(group);
    return found == m_items.end() ? nullptr : found->second;
}

Group *CGroupTreeCtrl::GetSelectedGroup() const
{
    return NodeOfItem(currentItem());
}

void CGroupTreeCtrl::SelectNode(const ProjectorNode *node)
{
    if (!node) {
        QTreeWidgetItem *first = topLevelItem(0);
        if (!first)
            return;
        first->setExpanded(true);
        setCurrentItem(first);
        if (Group *group = NodeOfItem(first))
            group->GetTreeState().expanded = true;
        return;
    }
    const Group *group = node->IsProjector() ? node->GetParent() : static_cast<const Group *>(node);
    QTreeWidgetItem *item = ItemOfGroup(group);
    if (!item)
        item = topLevelItem(0);
    if (!item)
        return;
    item->setExpanded(true);
    if (Group *shown = NodeOfItem(item))
        shown->GetTreeState().expanded = true;
    setCurrentItem(item);
    if (parent())
        QCoreApplication::postEvent(parent(), new QEvent(ProjectorsChangedEvent));
}

void CGroupTreeCtrl::RestoreExpansion(Group *group)
{
    if (!group)
        return;
    for (Group *child : group->GetChildGroups()) {
        if (child->GetTreeState().expanded) {
            if (QTreeWidgetItem *item = ItemOfGroup(child))
                item->setExpanded(true);
        }
        RestoreExpansion(child);
    }
}

void CGroupTreeCtrl::OnExpandedChanged(QTreeWidgetItem *item, bool expanded)
{
    if (Group *group = NodeOfItem(item))
        group->GetTreeState().expanded = expanded;
    ApplyImages(item);
}

void CGroupTreeCtrl::OnCurrentChanged(QTreeWidgetItem *current, QTreeWidgetItem *previous)
{
    // The selected picture follows the selection.
    if (previous)
        ApplyImages(previous);
    if (current)
        ApplyImages(current);
}
