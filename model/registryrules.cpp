#include "model/registryrules.h"

#include "model/group.h"
#include "model/limits.h"
#include "res/stringids.h"

#include <QHash>
#include <QSet>

namespace {

bool IsBelow(const ProjectorNode &node, const ProjectorNode &ancestor)
{
    for (const ProjectorNode *n = node.GetParent(); n; n = n->GetParent()) {
        if (n == &ancestor)
            return true;
    }
    return false;
}

} // namespace

int CheckGroupName(const QString &name)
{
    if (name.isEmpty() || name.size() > MAX_GROUP_NAME_LENGTH)
        return MSG_GROUP_NAME_INVALID;
    for (const QChar c : name) {
        if (c == u'/' || c.category() == QChar::Other_Control)
            return MSG_GROUP_NAME_INVALID;
    }
    return 0;
}

int CanCreateGroup(const Group &parent, const QString &name)
{
    if (parent.GetDepth() + 1 > MAX_GROUP_DEPTH)
        return MSG_CREATE_TOO_DEEP;
    if (const int refusal = CheckGroupName(name))
        return refusal;
    return parent.HasChildNamed(name) ? MSG_GROUP_NAME_TAKEN : 0;
}

int CanRenameGroup(const Group &group, const QString &name)
{
    if (!group.GetParent())
        return MSG_OPERATION_INVALID;
    if (const int refusal = CheckGroupName(name))
        return refusal;
    return group.GetParent()->HasChildNamed(name) ? MSG_GROUP_NAME_TAKEN : 0;
}

int CanMoveNode(const ProjectorNode &source, const Group &target)
{
    if (&source == &target || !source.GetParent())
        return MSG_OPERATION_INVALID;
    if (source.IsProjector())
        return 0;
    if (source.GetParent() == &target)
        return MSG_OPERATION_INVALID;
    if (IsBelow(target, source))
        return MSG_MOVE_TO_LOWER_LEVEL;
    const int below = static_cast<const Group &>(source).GetMaxDepth() - source.GetDepth();
    if (target.GetDepth() + 1 + below > MAX_GROUP_DEPTH)
        return MSG_MOVE_TOO_DEEP;
    return target.HasChildNamed(source.GetName()) ? MSG_GROUP_NAME_TAKEN : 0;
}

int CanMoveNodes(const std::vector<ProjectorNode *> &sources, const Group &target)
{
    for (const ProjectorNode *source : sources) {
        if (!source)
            return MSG_OPERATION_INVALID;
        if (const int refusal = CanMoveNode(*source, target))
            return refusal;
    }
    // Every arriving node's name, counted; a group may share its name with none of the others.
    QHash<QString, int> arriving;
    QSet<const ProjectorNode *> seen;
    for (const ProjectorNode *source : sources) {
        if (!seen.contains(source)) {
            seen.insert(source);
            ++arriving[source->GetName()];
        }
    }
    for (const ProjectorNode *source : sources) {
        if (!source->IsProjector() && arriving.value(source->GetName()) > 1)
            return MSG_GROUP_NAME_TAKEN;
    }
    return 0;
}
