#include "model/group.h"

#include "model/projector.h"

#include <algorithm>

using namespace Qt::StringLiterals;

Group::Group(const QString &name, const QString &path) : ProjectorNode(false, name, path) {}

ProjectorNode *Group::AddChild(std::unique_ptr<ProjectorNode> node)
{
    if (!node)
        return nullptr;
    ProjectorNode *added = node.get();
    added->m_parent = this;
    m_children.push_back(std::move(node));
    if (added->m_path.isEmpty())
        added->UpdatePlacement();
    else
        added->UpdateDepths();
    return added;
}

std::unique_ptr<ProjectorNode> Group::RemoveChild(ProjectorNode *node)
{
    const auto it = std::find_if(m_children.begin(), m_children.end(),
                                 [node](const auto &child) { return child.get() == node; });
    if (it == m_children.end())
        return nullptr;
    std::unique_ptr<ProjectorNode> removed = std::move(*it);
    m_children.erase(it);
    removed->m_parent = nullptr;
    return removed;
}

std::vector<Group *> Group::GetChildGroups() const
{
    std::vector<Group *> groups;
    for (const auto &child : m_children) {
        if (!child->IsProjector())
            groups.push_back(static_cast<Group *>(child.get()));
    }
    return groups;
}

std::vector<Projector *> Group::GetChildProjectors() const
{
    std::vector<Projector *> projectors;
    for (const auto &child : m_children) {
        if (child->IsProjector())
            projectors.push_back(static_cast<Projector *>(child.get()));
    }
    return projectors;
}

int Group::GetMaxDepth() const
{
    int depth = GetDepth();
    for (const Group *group : GetChildGroups())
        depth = std::max(depth, group->GetMaxDepth());
    return depth;
}

Group *Group::FindGroupByPath(const QString &path)
{
    Group *root = this;
    while (root->GetParent() != nullptr)
        root = root->GetParent();
    if (path.isEmpty() || path == u"/"_s)
        return root;
    return root->FindBelow(path);
}

QString Group::GetFullPath() const
{
    if (GetPath().endsWith(u'/'))
        return GetPath() + GetName();
    return GetPath() + u'/' + GetName();
}

Group *Group::PlaceLoadedGroup(std::unique_ptr<Group> group)
{
    if (!group)
        return nullptr;
    Group *parent = group->GetPath() == u"/"_s ? this : FindBelow(group->GetPath());
    if (parent == nullptr)
        return nullptr;
    return static_cast<Group *>(parent->AddChild(std::move(group)));
}

Projector *Group::PlaceLoadedProjector(std::unique_ptr<Projector> projector)
{
    if (!projector)
        return nullptr;
    Group *parent = FindGroupByPath(projector->GetPath());
    if (parent == nullptr)
        parent = this;
    return static_cast<Projector *>(parent->AddChild(std::move(projector)));
}

Group *Group::FindBelow(const QString &fullPath) const
{
    for (Group *group : GetChildGroups()) {
        if (group->GetFullPath() == fullPath)
            return group;
        if (Group *found = group->FindBelow(fullPath))
            return found;
    }
    return nullptr;
}
