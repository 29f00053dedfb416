#include "model/selectionrules.h"

#include "model/group.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "res/stringids.h"

int CheckProjectorsOrGroups(const std::vector<ProjectorNode *> &selection)
{
    if (selection.empty())
        return MSG_NOTHING_SELECTED;
    if (ProjectorManager::CountProjectors(selection) == 0)
        return MSG_NO_PROJECTOR_IN_GROUP;
    return 0;
}

int CheckSingleProjector(const std::vector<ProjectorNode *> &selection, Projector *&projector)
{
    projector = nullptr;
    if (selection.empty())
        return MSG_NO_PROJECTOR_SELECTED;
    if (selection.size() > 1)
        return MSG_SELECT_ONE_PROJECTOR;
    if (!selection.front() || !selection.front()->IsProjector())
        return MSG_NO_PROJECTOR_SELECTED;
    projector = static_cast<Projector *>(selection.front());
    return 0;
}

MuteStatus MuteKindOfEntry(int index)
{
    switch (index) {
    case 0:
        return MuteStatus(MuteStatus::VideoAndAudio);
    case 1:
        return MuteStatus(MuteStatus::Video);
    case 2:
        return MuteStatus(MuteStatus::Audio);
    default:
        return MuteStatus();
    }
}

std::vector<ProjectorNode *> ListContent(const Group *group, bool displayAll,
                                         const std::vector<Projector *> &all)
{
    if (displayAll)
        return {all.begin(), all.end()};
    std::vector<ProjectorNode *> children;
    if (group) {
        for (const auto &child : group->GetChildren())
            children.push_back(child.get());
    }
    return children;
}
