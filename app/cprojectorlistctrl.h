#pragma once

#include "dialogs/itemroles.h"
#include "model/projectorlistorder.h"

#include <QHash>
#include <QIcon>
#include <QTreeWidget>

#include <unordered_set>
#include <vector>

class Group;
class Projector;
class ProjectorNode;

// The projector list: the projectors and groups of one group (or every projector), one row per
// node, with each projector's published state as texts and icons. Sorts by any column and keeps
// the selected nodes across a rebuild that did not replace the content.
//
// The list does not own its nodes; the owner replaces the content (ShowNodes) before a node
// goes away. User-interface thread only; rows are rebuilt from published states, so nothing
// here waits for a projector.
class CProjectorListCtrl : public QTreeWidget
{
    Q_OBJECT

public:
    // Column widths in pixels, in column order: the least each column gets. A column grows to
    // its header and cells (up to kMaxColumnWidth) and shares the width the list has left.
    static constexpr int kColumnWidths[PROJECTOR_LIST_COLUMNS] = {139, 65, 64,  89, 99,
                                                                  65,  80, 104, 100};
    static constexpr int kMaxColumnWidth = 300;

    explicit CProjectorListCtrl(QWidget *parent = nullptr);

    // Titles, widths, icons and the sort arrow on column 0; once.
    void SetUpColumns();

    // Replaces the content; nothing is shown until UpdateData.
    void ShowNodes(const std::vector<ProjectorNode *> &nodes);
    void ShowProjectors(const std::vector<Projector *> &projectors);
    void ShowGroup(const Group *group);
    const std::vector<ProjectorNode *> &GetContent() const { return m_content; }
    // Appends the nodes of the selected rows in row order; returns how many.
    int GetSelection(std::vector<ProjectorNode *> &selection) const;
    // Rebuilds every row from the content; see the class comment for the selection.
    void UpdateData();
    // Column widths for the texts shown and the list's width (app/columnwidths.h); a cell that
    // is still cut shows its whole text as a tool tip.
    void FitColumns();

    // Sorting as a click on the column's header does: descending unless it is already
    // descending on that column.
    void SortByColumn(int column);
    bool IsSortAscending() const { return m_ascending; }

    ProjectorNode *NodeOfRow(int row) const;
    // The published state the row was built from; nullptr for a group row.
    const ProjectorState *StateOfRow(int row) const;
    int RowCount() const { return topLevelItemCount(); }

    // The picture behind an icon index of model/projectorrowicons.h.
    static QIcon ListIcon(int index);
    // Each cell keeps the index of the icon it shows (ICON_NONE for none) under this role.
    static constexpr int IconIndexRole = ROLE_IMAGE_INDEX;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void ApplyRowIcons(int row);
    void ApplySortArrow();
    // Rows of m_rows, those of selected nodes selected; no selection signal.
    void FillRows(const std::unordered_set<const ProjectorNode *> &selected);
    static void SetRowIcons(QTreeWidgetItem *item, const ProjectorListRow &row, bool selected);
    void OnSelectionChanged();
    // The width the cell of item in column needs for its text and icon, as the style lays it
    // out; measured once per text, see m_cellWidths.
    int CellWidth(QTreeWidgetItem *item, int column);

    std::vector<ProjectorNode *> m_content;
    bool m_contentReplaced = true;
    std::vector<ProjectorListRow> m_rows; // in shown order
    std::vector<bool> m_selected;         // the state the icons were drawn for, per row
    int m_sortColumn = 0;
    bool m_ascending = true;
    bool m_fitting = false; // a width change resizes the viewport, which fits again
    // Widths measured per column, keyed by text (and whether an icon is beside it): laying out
    // every cell again after each rebuild cost more than the rebuild itself. Forgotten when the
    // font or style changes; a column's memory starts afresh once it is large.
    QHash<QString, int> m_cellWidths[PROJECTOR_LIST_COLUMNS];
};
