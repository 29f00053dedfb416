#include "model/editrules.h"

#include "model/group.h"
#include "model/linkresult.h"
#include "model/registryrules.h"
#include "res/stringids.h"

#include <algorithm>

int CheckChangePassword(bool authenticated, int lastConnectResult)
{
    if (authenticated)
        return MSG_NO_NEED_FOR_CHANGE;
    if (lastConnectResult == LinkResult::NoAnswer)
        return MSG_COMMUNICATION_FAILED;
    return 0;
}

int CheckChangeAddress(int lastConnectResult)
{
    return lastConnectResult == LinkResult::NoAnswer ? 0 : MSG_NO_NEED_FOR_CHANGE;
}

int FindGroupToRename(const std::vector<ProjectorNode *> &selection, Group *treeGroup,
                      const QString &displayAllText, Group *&group, QString &name)
{
    group = nullptr;
    name.clear();
    if (!selection.empty()) {
        ProjectorNode *node = selection.front();
        if (selection.size() != 1 || !node || node->IsProjector())
            return MSG_SELECT_ONE_GROUP;
        group = static_cast<Group *>(node);
        return 0;
    }
    if (!treeGroup) {
        name = displayAllText;
        return MSG_CANNOT_RENAME;
    }
    if (treeGroup->GetDepth() == 0) {
        name = treeGroup->GetName();
        return MSG_CANNOT_RENAME;
    }
    group = treeGroup;
    return 0;
}

int CheckDelete(const std::vector<ProjectorNode *> &selection, bool refreshing)
{
    if (selection.empty())
        return MSG_NOTHING_SELECTED;
    if (refreshing)
        return MSG_WAIT_FOR_REFRESH;
    return 0;
}

std::vector<ProjectorNode *> NodesToRemove(const std::vector<ProjectorNode *> &selection,
                                           const Group *root)
{
    const auto selected = [&selection](const ProjectorNode *node) {
        return std::find(selection.begin(), selection.end(), node) != selection.end();
    };
    std::vector<ProjectorNode *> removable;
    for (ProjectorNode *node : selection) {
        if (!node || node == root ||
            std::find(removable.begin(), removable.end(), node) != removable.end())
            continue;
        bool inSelectedGroup = false;
        // The root stays, so it takes nothing along.
        for (const Group *up = node->GetParent(); up && up != root && !inSelectedGroup;
             up = up->GetParent())
            inSelectedGroup = selected(up);
        if (!inSelectedGroup)
            removable.push_back(node);
    }
    return removable;
}

DropResult DropNodes(const std::vector<ProjectorNode *> &sources, bool fromTree,
                     ProjectorNode *target, Group *root, Group *selectedBefore)
{
    if (!target || target->IsProjector())
        return {MSG_OPERATION_INVALID, selectedBefore};
    if (fromTree && (sources.size() != 1 || !sources.front() || sources.front() == root))
        return {MSG_OPERATION_INVALID, selectedBefore};
    auto *group = static_cast<Group *>(target);
    if (const int refusal = CanMoveNodes(sources, *group))
        return {refusal, selectedBefore};
    for (ProjectorNode *source : sources)
        source->MoveTo(group);
    return {0, group};
}
