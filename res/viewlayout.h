#pragma once

#include "res/layoutentry.h"
#include "res/stringtable.h"

#include <QHash>
#include <QList>
#include <QRect>
#include <QSize>
#include <QStringList>

// Ids of the main view's controls: each control's objectName is its id in decimal.
enum ViewControlId : int {
    IDC_CLOSE = 8,
    IDC_TAB_REMOTE = 1002,
    IDC_TAB_EDIT = 1003,
    IDC_DETAIL = 1005,
    IDC_REGISTER = 1006,
    IDC_CHANGE_PASSWORD = 1007,
    IDC_CHANGE_IP = 1008,
    IDC_REGROUP = 1009,
    IDC_RENAME_GROUP = 1010,
    IDC_DELETE = 1011,
    IDC_POWER_LABEL = 1012,
    IDC_POWER_ON = 1013,
    IDC_POWER_OFF = 1014,
    IDC_INPUT_LABEL = 1015,
    IDC_MUTE_LABEL = 1016,
    IDC_INPUT_COMBO = 1017,
    IDC_MUTE_COMBO = 1018,
    IDC_SET_INPUT = 1019,
    IDC_MUTE_ON = 1020,
    IDC_MUTE_OFF = 1021,
    IDC_REFRESH = 1022,
    IDC_EVENT_LIST = 1024,
    IDC_HOURGLASS = 1025,
    IDC_WAIT_TEXT = 1026,
    IDC_GROUP_TREE = 1051,
    IDC_PROJECTOR_LIST = 1052,
    IDC_INFORMATION_CAPTION = 1056,
    IDC_STATUS_CAPTION = 1057,
    IDC_GROUPS_HEADER = 1066,
};

// The client size the layout entries are written for; also the smallest the view gets.
inline constexpr QSize VIEW_DESIGN_SIZE{777, 530};
// A drop-down list's entry is its closed box; its opened list adds this much below.
inline constexpr int DROP_DOWN_LIST_HEIGHT = 80;

// Which string-table entry places which control, in which form.
struct LayoutSlot
{
    int controlId;
    int stringId;
    LayoutForm form;
};
const QList<LayoutSlot> &ViewLayoutSlots();

// The parsed entries of one language, by control id.
struct ViewLayout
{
    QHash<int, LayoutEntry> entries;
    QStringList problems; // one line per entry that is missing or does not parse

    QRect Rect(int controlId) const { return entries.value(controlId).rect; }
    QString Caption(int controlId) const { return entries.value(controlId).caption; }
};
// Auto: the current language.
ViewLayout LoadViewLayout(StringLanguage language = StringLanguage::Auto);

// What the placement depends on besides the entries.
struct ViewGeometryInput
{
    QSize client = VIEW_DESIGN_SIZE;
    bool showInformation = true;
    // From the projector list's top to the bottom of its column header; the "Groups" strip and
    // the tree line up with that header.
    int listHeaderBottom = 27;
    // Whether the client size has changed since the controls were made: the event list then
    // takes one more pixel to the left and to the top, over its frame.
    bool resized = false;
};

// Every control's rectangle for a client size. Growth is measured from the design size, so the
// result depends on the current size only and not on the path the window took to it; a size
// below the design size counts as the design size. Drop-down lists get their closed box.
QHash<int, QRect> ComputeViewGeometry(const ViewLayout &layout, const ViewGeometryInput &input);
