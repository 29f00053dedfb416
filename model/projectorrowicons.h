#pragma once

#include "model/projectorlistorder.h"
#include "model/projectorstate.h"

#include <array>

// Indices into the projector list's 32 icons.
enum ProjectorListIcon {
    ICON_NONE = -1,
    ICON_PROJECTOR = 0,
    ICON_PROJECTOR_IP = 1,
    ICON_PROJECTOR_SELECTED = 2,
    ICON_PROJECTOR_IP_SELECTED = 3,
    ICON_POWER_OFF = 4,
    ICON_POWER_ON = 5,
    ICON_POWER_OFF_SELECTED = 6,
    ICON_POWER_ON_SELECTED = 7,
    ICON_INPUT_BASE = 7,           // + input type 1 to 5
    ICON_CAMERA = 13,              // the maker's RGB9
    ICON_INPUT_SELECTED_BASE = 13, // + input type 1 to 5
    ICON_CAMERA_SELECTED = 19,
    ICON_MUTE_BASE = 19,          // + mute kind 1 to 3
    ICON_MUTE_SELECTED_BASE = 22, // + mute kind 1 to 3
    ICON_WARNING = 26,
    ICON_ERROR = 27,
    ICON_WARNING_SELECTED = 28,
    ICON_ERROR_SELECTED = 29,
    ICON_FOLDER_CLOSED = 30,
    ICON_FOLDER_OPEN = 31,
    PROJECTOR_LIST_ICON_COUNT = 32
};

// The icon of every cell of a row, ICON_NONE where a cell has none.
using RowIcons = std::array<int, PROJECTOR_LIST_COLUMNS>;

// A projector's row. The status icons (Power, Input, Mute, Error) appear only while the
// projector is reachable and only for a value its query read.
RowIcons ProjectorRowIcons(const ProjectorState &state, bool selected);
// A group's row: the folder in the name column.
RowIcons GroupRowIcons(bool selected);

// A projector whose last connection failed is drawn in grey.
bool IsGreyRow(const ProjectorState &state);
