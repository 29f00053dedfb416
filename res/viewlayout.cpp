#include "res/viewlayout.h"

#include <algorithm>

using namespace Qt::StringLiterals;

const QList<LayoutSlot> &ViewLayoutSlots()
{
    using F = LayoutForm;
    static const QList<LayoutSlot> table{
        {IDC_GROUPS_HEADER, 168, F::WordAndNumbers},
        {IDC_POWER_LABEL, 169, F::WordAndNumbers},
        {IDC_INPUT_LABEL, 170, F::WordAndNumbers},
        {IDC_MUTE_LABEL, 171, F::WordAndNumbers},
        {IDC_POWER_ON, 400, F::CommaSeparated},
        {IDC_POWER_OFF, 401, F::CommaSeparated},
        {IDC_SET_INPUT, 402, F::CommaSeparated},
        {IDC_MUTE_ON, 403, F::CommaSeparated},
        {IDC_MUTE_OFF, 404, F::CommaSeparated},
        {IDC_WAIT_TEXT, 415, F::Numbers},
        {IDC_HOURGLASS, 416, F::Numbers},
        {IDC_REFRESH, 417, F::WordAndNumbers},
        {IDC_CLOSE, 418, F::WordAndNumbers},
        {IDC_INPUT_COMBO, 419, F::Numbers},
        {IDC_MUTE_COMBO, 420, F::Numbers},
        {IDC_EVENT_LIST, 421, F::Numbers},
        {IDC_PROJECTOR_LIST, 422, F::Numbers},
        {IDC_GROUP_TREE, 423, F::Numbers},
        {IDC_INFORMATION_CAPTION, 424, F::Numbers},
        {IDC_STATUS_CAPTION, 425, F::Numbers},
        {IDC_TAB_EDIT, 426, F::Numbers},
        {IDC_TAB_REMOTE, 427, F::Numbers},
        {IDC_DETAIL, 431, F::CommaSeparated},
        {IDC_REGISTER, 500, F::CommaSeparated},
        {IDC_CHANGE_PASSWORD, 501, F::CommaSeparated},
        {IDC_REGROUP, 502, F::CommaSeparated},
        {IDC_CHANGE_IP, 503, F::CommaSeparated},
        {IDC_RENAME_GROUP, 504, F::CommaSeparated},
        {IDC_DELETE, 505, F::CommaSeparated},
    };
    return table;
}

ViewLayout LoadViewLayout(StringLanguage language)
{
    ViewLayout layout;
    for (const LayoutSlot &slot : ViewLayoutSlots()) {
        const QString text = LoadStringFor(slot.stringId, language);
        if (const std::optional<LayoutEntry> entry = ParseLayoutEntry(text, slot.form))
            layout.entries.insert(slot.controlId, *entry);
        else
            layout.problems.append(u"%1: \"%2\""_s.arg(slot.stringId).arg(text));
    }
    return layout;
}

QHash<int, QRect> ComputeViewGeometry(const ViewLayout &layout, const ViewGeometryInput &input)
{
    const int dw = std::max(0, input.client.width() - VIEW_DESIGN_SIZE.width());
    const int dh = std::max(0, input.client.height() - VIEW_DESIGN_SIZE.height());

    QHash<int, QRect> rects;
    for (auto it = layout.entries.cbegin(); it != layout.entries.cend(); ++it)
        rects.insert(it.key(), it.value().rect);

    // Everything below the lists keeps its distance to the bottom edge.
    for (const int id :
         {IDC_POWER_ON,   IDC_POWER_OFF,       IDC_SET_INPUT,  IDC_MUTE_ON,     IDC_MUTE_OFF,
          IDC_REGISTER,   IDC_CHANGE_PASSWORD, IDC_REGROUP,    IDC_CHANGE_IP,   IDC_RENAME_GROUP,
          IDC_DELETE,     IDC_INPUT_COMBO,     IDC_MUTE_COMBO, IDC_POWER_LABEL, IDC_INPUT_LABEL,
          IDC_MUTE_LABEL, IDC_WAIT_TEXT,       IDC_HOURGLASS,  IDC_TAB_REMOTE,  IDC_TAB_EDIT})
        rects[id].translate(0, dh);
    // and these also keep theirs to the right edge.
    for (const int id : {IDC_REFRESH, IDC_CLOSE, IDC_DETAIL})
        rects[id].translate(dw, dh);

    // The projector list takes the event list's place when the information field is hidden.
    QRect list = layout.Rect(IDC_PROJECTOR_LIST);
    list.setTop(input.showInformation ? list.top() : layout.Rect(IDC_EVENT_LIST).top());
    list.setRight(list.right() + dw);
    list.setBottom(list.bottom() + dh);
    rects[IDC_PROJECTOR_LIST] = list;

    const int headerBottom = list.top() + input.listHeaderBottom;
    QRect strip = layout.Rect(IDC_GROUPS_HEADER);
    strip.setTop(list.top() + 1);
    strip.setBottom(headerBottom - 1); // QRect's bottom is the last row inside
    rects[IDC_GROUPS_HEADER] = strip;

    QRect tree = layout.Rect(IDC_GROUP_TREE);
    tree.setTop(headerBottom);
    tree.setBottom(layout.Rect(IDC_GROUP_TREE).bottom() + dh);
    rects[IDC_GROUP_TREE] = tree;

    QRect events = layout.Rect(IDC_EVENT_LIST);
    if (input.resized)
        events.adjust(-1, -1, 0, 0);
    events.setRight(events.right() + dw);
    rects[IDC_EVENT_LIST] = events;
    return rects;
}
