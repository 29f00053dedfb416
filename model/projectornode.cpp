#include "model/projectornode.h"

#include "model/group.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The group path of a child of parent.
QString ChildPathOf(const Group &parent)
{
    const int depth = parent.GetDepth() + 1;
    if (depth == 1)
        return parent.GetPath() + u'/';
    if (depth == 2 && parent.GetPath() == u"/"_s)
        return parent.GetPath() + parent.GetName();
    return parent.GetPath() + u'/' + parent.GetName();
}

} // namespace

ProjectorNode::ProjectorNode(bool isProjector, const QString &name, const QString &path)
    : m_isProjector(isProjector), m_path(path), m_name(name)
{}

ProjectorNode::~ProjectorNode()
{
    m_children.clear();
}

bool ProjectorNode::HasChildNamed(const QString &name) const
{
    return std::any_of(m_children.begin(), m_children.end(),
                       [&name](const auto &child) { return child->GetName() == name; });
}

bool ProjectorNode::MoveTo(Group *group)
{
    if (group == nullptr || m_parent == nullptr)
        return false;
    // A group moved into its own subtree would own itself.
    for (const ProjectorNode *node = group; node != nullptr; node = node->m_parent) {
        if (node == this)
            return false;
    }
    if (group != m_parent)
        group->AddChild(m_parent->RemoveChild(this));
    UpdatePlacement();
    return true;
}

void ProjectorNode::Rename(const QString &name)
{
    m_name = name;
    for (const auto &child : m_children)
        child->UpdatePlacement();
}

void ProjectorNode::UpdatePlacement()
{
    if (m_parent != nullptr) {
        m_depth = m_parent->GetDepth() + 1;
        m_path = ChildPathOf(*m_parent);
    }
    for (const auto &child : m_children)
        child->UpdatePlacement();
}

void ProjectorNode::UpdateDepths()
{
    if (m_parent != nullptr)
        m_depth = m_parent->GetDepth() + 1;
    for (const auto &child : m_children)
        child->UpdateDepths();
}
