#include "model/projectorrowicons.h"

#include "model/linkresult.h"

namespace {

RowIcons NoIcons()
{
    RowIcons icons;
    icons.fill(ICON_NONE);
    return icons;
}

int PowerIcon(const ProjectorState &state, bool selected)
{
    const int code = state.power.GetCode();
    if (state.powerResult != LinkResult::Ok || code < PowerStatus::Off ||
        code > PowerStatus::WarmUp)
        return ICON_NONE;
    // Cooling shows as off, warming up as on.
    const bool on = code % 2 == 1;
    if (selected)
        return on ? ICON_POWER_ON_SELECTED : ICON_POWER_OFF_SELECTED;
    return on ? ICON_POWER_ON : ICON_POWER_OFF;
}

int InputIcon(const ProjectorState &state, bool selected)
{
    const InputStatus &input = state.input;
    if (state.inputResult != LinkResult::Ok || input.GetShortText(state.isKorvane).isEmpty())
        return ICON_NONE;
    if (state.isKorvane && input.GetType() == InputStatus::RGB && input.GetNumber() == 9)
        return selected ? ICON_CAMERA_SELECTED : ICON_CAMERA;
    // The pictures cover the Class 1 types; base + 6 would be the camera's.
    if (input.GetType() > InputStatus::Network)
        return ICON_NONE;
    return (selected ? ICON_INPUT_SELECTED_BASE : ICON_INPUT_BASE) + input.GetType();
}

int MuteIcon(const ProjectorState &state, bool selected)
{
    const int kind = state.mute.GetCode();
    if (state.muteResult != LinkResult::Ok || kind < MuteStatus::Video ||
        kind > MuteStatus::VideoAndAudio)
        return ICON_NONE;
    return (selected ? ICON_MUTE_SELECTED_BASE : ICON_MUTE_BASE) + kind;
}

int ErrorIcon(const ProjectorState &state, bool selected)
{
    if (state.errorResult != LinkResult::Ok || !state.worstError)
        return ICON_NONE;
    switch (state.worstError->GetLevel()) {
    case ErrorStatus::Warning:
        return selected ? ICON_WARNING_SELECTED : ICON_WARNING;
    case ErrorStatus::Error:
        return selected ? ICON_ERROR_SELECTED : ICON_ERROR;
    default:
        return ICON_NONE;
    }
}

} // namespace

RowIcons ProjectorRowIcons(const ProjectorState &state, bool selected)
{
    RowIcons icons = NoIcons();
    icons[COLUMN_NAME] = selected ? ICON_PROJECTOR_SELECTED : ICON_PROJECTOR;
    if (!state.reachable)
        return icons;
    icons[COLUMN_POWER] = PowerIcon(state, selected);
    icons[COLUMN_INPUT] = InputIcon(state, selected);
    icons[COLUMN_MUTE] = MuteIcon(state, selected);
    icons[COLUMN_ERROR] = ErrorIcon(state, selected);
    return icons;
}

RowIcons GroupRowIcons(bool selected)
{
    RowIcons icons = NoIcons();
    icons[COLUMN_NAME] = selected ? ICON_FOLDER_OPEN : ICON_FOLDER_CLOSED;
    return icons;
}

bool IsGreyRow(const ProjectorState &state)
{
    return state.connectResult != LinkResult::Ok;
}
