#pragma once

#include "model/inputstatus.h"
#include "model/projectorstate.h"

#include <QString>
#include <vector>

// One entry of the input drop-down list: an input offered by the selected projectors and the
// text it is shown with.
struct InputChoice
{
    InputStatus input;
    QString text;
};

class ProjectorNode;

// The published states of the projectors in a selection, groups expanded through every level,
// in selection order.
std::vector<ProjectorState> SelectionStates(const std::vector<ProjectorNode *> &selection);

// The entries for a selection, given the published states of every projector in it (groups
// expanded). Only reachable projectors contribute; each input appears once, ordered by type and
// then number. With exactly one projector in the selection the short texts are used, else the
// long ones; the maker's camera name is used when any reachable projector is the maker's.
std::vector<InputChoice> MakeInputChoices(const std::vector<ProjectorState> &projectors);

// The entry to select when one projector row is selected: the one whose input equals the
// projector's current input; -1 when the input is not known or not offered.
int FindInputChoice(const std::vector<InputChoice> &choices, const ProjectorState &projector);
