#include "model/inputchoices.h"

#include "model/group.h"
#include "model/linkresult.h"
#include "model/projector.h"
#include "res/stringids.h"
#include "res/stringtable.h"

#include <algorithm>

namespace {

void CollectStates(const ProjectorNode *node, std::vector<ProjectorState> &states)
{
    if (node->IsProjector()) {
        states.push_back(static_cast<const Projector *>(node)->GetState());
        return;
    }
    for (const auto &child : static_cast<const Group *>(node)->GetChildren())
        CollectStates(child.get(), states);
}

// The name Class 2 projectors give the input's terminal ("HDMI 1"), when those of the selection
// that name it agree; empty otherwise.
QString TerminalName(const std::vector<ProjectorState> &projectors, const InputStatus &input)
{
    QString agreed;
    for (const ProjectorState &state : projectors) {
        if (!state.reachable)
            continue;
        const QString name = state.class2.InputName(input);
        if (name.isEmpty())
            continue;
        if (!agreed.isEmpty() && agreed != name)
            return QString();
        agreed = name;
    }
    return agreed;
}

} // namespace

std::vector<ProjectorState> SelectionStates(const std::vector<ProjectorNode *> &selection)
{
    std::vector<ProjectorState> states;
    for (const ProjectorNode *node : selection) {
        if (node)
            CollectStates(node, states);
    }
    return states;
}

std::vector<InputChoice> MakeInputChoices(const std::vector<ProjectorState> &projectors)
{
    std::vector<InputStatus> inputs;
    bool korvane = false;
    for (const ProjectorState &state : projectors) {
        if (!state.reachable)
            continue;
        korvane = korvane || state.isKorvane;
        for (const InputStatus &input : state.inputs) {
            const bool known = std::any_of(inputs.begin(), inputs.end(),
                                           [&](const auto &seen) { return seen == input; });
            if (!known)
                inputs.push_back(input);
        }
    }
    std::sort(inputs.begin(), inputs.end(), [](const InputStatus &a, const InputStatus &b) {
        if (a.GetType() != b.GetType())
            return a.GetType() < b.GetType();
        return a.GetNumber() < b.GetNumber();
    });

    const bool single = projectors.size() == 1;
    std::vector<InputChoice> choices;
    for (const InputStatus &input : inputs) {
        const QString text = single ? input.GetShortText(korvane) : input.GetLongText(korvane);
        // An input of a type without a name could not be told from its neighbours.
        if (text.isEmpty())
            continue;
        const QString name = TerminalName(projectors, input);
        choices.push_back(
            {input, name.isEmpty()
                        ? text
                        : FormatText(LoadString(STR_CLASS2_INPUT_NAME_FORMAT), {text, name})});
    }
    return choices;
}

int FindInputChoice(const std::vector<InputChoice> &choices, const ProjectorState &projector)
{
    if (projector.connectResult != LinkResult::Ok || projector.inputResult != LinkResult::Ok)
        return -1;
    for (int i = 0; i < int(choices.size()); ++i) {
        if (choices[i].input == projector.input)
            return i;
    }
    return -1;
}
