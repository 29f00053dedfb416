#pragma once

#include "model/mutestatus.h"

#include <vector>

class Group;
class Projector;
class ProjectorNode;

// The checks a command of the main view makes on the nodes behind the selected rows of the
// projector list (row order), before it does anything. Each returns 0 when the command may go
// on, otherwise the number of the message to show.

// Commands to projectors or groups (power, input, mute): 310 when nothing is selected, 338
// when the selection holds no projector, groups counted by the projectors below them.
int CheckProjectorsOrGroups(const std::vector<ProjectorNode *> &selection);

// Commands to one projector (detail information, password, address): 308 when nothing or a
// group is selected, 301 for two rows or more; projector is set when the result is 0.
int CheckSingleProjector(const std::vector<ProjectorNode *> &selection, Projector *&projector);

// The rows the projector list shows for the group tree's choice: every projector given (all,
// registration order) for "Display all", else the children of group in order, none without one.
std::vector<ProjectorNode *> ListContent(const Group *group, bool displayAll,
                                         const std::vector<Projector *> &all);

// The mute kind of an entry of the mute drop-down list: video and audio, video, audio; Unknown
// when no entry (or no such entry) is selected.
MuteStatus MuteKindOfEntry(int index);
