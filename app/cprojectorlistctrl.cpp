#include "app/cprojectorlistctrl.h"

#include "app/columnwidths.h"
#include "res/skinbitmap.h"
#include "model/group.h"
#include "model/projector.h"
#include "model/projectorrowicons.h"
#include "model/projectorcells.h"
#include "model/selectionrules.h"

#include <QEvent>
#include <QHeaderView>
#include <QPalette>
#include <QScopedValueRollback>

#include <unordered_set>

namespace {

// Icon resource of each list icon index.
constexpr int kIconIds[PROJECTOR_LIST_ICON_COUNT] = {
    227, 225, 226, 224, 221, 223, 220, 222, 229, 233, 201, 231, 219, 199, 228, 232,
    200, 230, 218, 198, 217, 213, 215, 216, 212, 214, 205, 203, 204, 202, 207, 234};

} // namespace

CProjectorListCtrl::CProjectorListCtrl(QWidget *parent) : QTreeWidget(parent)
{
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSortingEnabled(false); // the list sorts its own rows, see SortByColumn
    setIconSize(QSize(16, 16));
    connect(this, &QTreeWidget::itemSelectionChanged, this,
            &CProjectorListCtrl::OnSelectionChanged);
}

QIcon CProjectorListCtrl::ListIcon(int index)
{
    // Loaded once: a rebuild sets hundreds of icons.
    static const std::vector<QIcon> icons = [] {
        std::vector<QIcon> loaded;
        for (const int id : kIconIds)
            loaded.push_back(LoadSkinIcon(id));
        return loaded;
    }();
    if (index < 0 || index >= PROJECTOR_LIST_ICON_COUNT)
        return QIcon();
    return icons[index];
}

void CProjectorListCtrl::SetUpColumns()
{
    if (columnCount() == PROJECTOR_LIST_COLUMNS && headerItem()->text(0) != QString())
        return;
    setColumnCount(PROJECTOR_LIST_COLUMNS);
    setHeaderLabels(ProjectorColumnTitles());
    QHeaderView *head = header();
    head->setStretchLastSection(false);
    head->setSectionsClickable(true);
    head->setSortIndicatorShown(true);
    head->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    for (int column = 0; column < PROJECTOR_LIST_COLUMNS; ++column)
        setColumnWidth(column, kColumnWidths[column]);
    connect(head, &QHeaderView::sectionClicked, this, &CProjectorListCtrl::SortByColumn);
    m_sortColumn = 0;
    m_ascending = true;
    ApplySortArrow();
    FitColumns();
}

void CProjectorListCtrl::FitColumns()
{
    if (m_fitting || columnCount() != PROJECTOR_LIST_COLUMNS)
        return;
    const QScopedValueRollback fitting(m_fitting, true);
    // A few pixels more than the style asks for: the header's sort mark and the item margins
    // differ slightly between styles.
    constexpr int kSlack = 6;
    std::vector<int> minimum(std::begin(kColumnWidths), std::end(kColumnWidths));
    std::vector<int> content;
    std::vector<std::vector<int>> cells(static_cast<size_t>(topLevelItemCount()));
    for (int column = 0; column < PROJECTOR_LIST_COLUMNS; ++column)
        content.push_back(header()->sectionSizeHint(column));
    for (int row = 0; row < topLevelItemCount(); ++row) {
        QTreeWidgetItem *item = topLevelItem(row);
        std::vector<int> &widths = cells[size_t(row)];
        for (int column = 0; column < PROJECTOR_LIST_COLUMNS; ++column) {
            widths.push_back(CellWidth(item, column));
            content[size_t(column)] = std::max(content[size_t(column)], widths.back());
        }
    }
    for (int &width : content)
        width += kSlack;
    // A scroll bar that comes or goes resizes the viewport, and the columns are fitted again.
    const std::vector<int> widths =
        FitColumnWidths(minimum, content, kMaxColumnWidth, viewport()->width());
    for (int column = 0; column < PROJECTOR_LIST_COLUMNS; ++column) {
        if (columnWidth(column) != widths[column])
            setColumnWidth(column, widths[column]);
    }
    for (int row = 0; row < topLevelItemCount(); ++row) {
        QTreeWidgetItem *item = topLevelItem(row);
        for (int column = 0; column < PROJECTOR_LIST_COLUMNS; ++column) {
            const bool cut = cells[size_t(row)][size_t(column)] > columnWidth(column);
            const QString tip = cut ? item->text(column) : QString();
            if (item->toolTip(column) != tip)
                item->setToolTip(column, tip);
        }
    }
}

int CProjectorListCtrl::CellWidth(QTreeWidgetItem *item, int column)
{
    constexpr qsizetype kMaxKeptWidths = 2048;
    const bool icon = !item->icon(column).isNull();
    const QString key = (icon ? u'I' : u'-') + item->text(column);
    QHash<QString, int> &kept = m_cellWidths[column];
    if (const auto found = kept.constFind(key); found != kept.constEnd())
        return *found;
    if (kept.size() >= kMaxKeptWidths)
        kept.clear();
    const int width = sizeHintForIndex(indexFromItem(item, column)).width();
    kept.insert(key, width);
    return width;
}

void CProjectorListCtrl::resizeEvent(QResizeEvent *event)
{
    QTreeWidget::resizeEvent(event);
    FitColumns();
}

void CProjectorListCtrl::changeEvent(QEvent *event)
{
    QTreeWidget::changeEvent(event);
    const QEvent::Type type = event->type();
    if (type == QEvent::FontChange || type == QEvent::StyleChange) {
        for (QHash<QString, int> &kept : m_cellWidths)
            kept.clear();
        FitColumns();
    }
}

void CProjectorListCtrl::ShowNodes(const std::vector<ProjectorNode *> &nodes)
{
    m_content = nodes;
    m_contentReplaced = true;
}

void CProjectorListCtrl::ShowProjectors(const std::vector<Projector *> &projectors)
{
    ShowNodes(std::vector<ProjectorNode *>(projectors.begin(), projectors.end()));
}

void CProjectorListCtrl::ShowGroup(const Group *group)
{
    ShowNodes(ListContent(group, false, {}));
}

int CProjectorListCtrl::GetSelection(std::vector<ProjectorNode *> &selection) const
{
    int count = 0;
    for (int row = 0; row < topLevelItemCount(); ++row) {
        if (topLevelItem(row)->isSelected()) {
            selection.push_back(NodeOfRow(row));
            ++count;
        }
    }
    return count;
}

ProjectorNode *CProjectorListCtrl::NodeOfRow(int row) const
{
    if (row < 0 || row >= int(m_rows.size()))
        return nullptr;
    return const_cast<ProjectorNode *>(m_rows[row].node);
}

const ProjectorState *CProjectorListCtrl::StateOfRow(int row) const
{
    if (row < 0 || row >= int(m_rows.size()) || m_rows[row].isGroup)
        return nullptr;
    return &m_rows[row].state;
}

void CProjectorListCtrl::UpdateData()
{
    // Selection by node: a re-sort on new values moves rows, and a command must go to the
    // projectors the user chose, not to whatever now sits at their row positions.
    std::unordered_set<const ProjectorNode *> keep;
    if (!m_contentReplaced) {
        for (int row = 0; row < topLevelItemCount(); ++row) {
            if (topLevelItem(row)->isSelected())
                keep.insert(m_rows[row].node);
        }
    }

    m_rows.clear();
    m_rows.reserve(m_content.size());
    for (ProjectorNode *node : m_content) {
        ProjectorListRow row;
        row.node = node;
        row.isGroup = !node->IsProjector();
        row.groupPath = node->GetPath();
        if (row.isGroup) {
            row.name = node->GetName();
        } else {
            row.state = static_cast<const Projector *>(node)->GetState();
            row.name = row.state.name;
        }
        m_rows.push_back(std::move(row));
    }
    SortProjectorRows(m_rows, m_sortColumn, m_ascending);
    FillRows(keep);
    FitColumns();
    m_contentReplaced = false;
    // The selection may differ from before the rebuild; the owner follows it.
    emit itemSelectionChanged();
}

void CProjectorListCtrl::FillRows(const std::unordered_set<const ProjectorNode *> &selected)
{
    const QSignalBlocker blocker(this);
    setUpdatesEnabled(false);
    clear();
    m_selected.assign(m_rows.size(), false);
    const QBrush grey = palette().brush(QPalette::Disabled, QPalette::Text);
    QList<QTreeWidgetItem *> items;
    items.reserve(int(m_rows.size()));
    for (size_t index = 0; index < m_rows.size(); ++index) {
        const ProjectorListRow &row = m_rows[index];
        auto *item = new QTreeWidgetItem;
        if (row.isGroup) {
            item->setText(COLUMN_NAME, row.name);
            item->setText(COLUMN_GROUP_PATH, row.groupPath);
        } else {
            const QStringList cells = GetProjectorCells(row.state).ToList();
            for (int column = 0; column < PROJECTOR_LIST_COLUMNS; ++column) {
                item->setText(column, cells.value(column));
                if (IsGreyRow(row.state))
                    item->setForeground(column, grey);
            }
        }
        // Icons before the item joins the list: each later change would notify the view.
        m_selected[index] = selected.count(row.node) > 0;
        SetRowIcons(item, row, m_selected[index]);
        items.push_back(item);
    }
    addTopLevelItems(items);
    for (const int row : RowsOfNodes(m_rows, selected))
        topLevelItem(row)->setSelected(true);
    setUpdatesEnabled(true);
}

void CProjectorListCtrl::ApplyRowIcons(int row)
{
    QTreeWidgetItem *item = topLevelItem(row);
    if (!item || row >= int(m_rows.size()))
        return;
    const bool selected = item->isSelected();
    SetRowIcons(item, m_rows[row], selected);
    m_selected[row] = selected;
}

void CProjectorListCtrl::SetRowIcons(QTreeWidgetItem *item, const ProjectorListRow &row,
                                     bool selected)
{
    const RowIcons icons =
        row.isGroup ? GroupRowIcons(selected) : ProjectorRowIcons(row.state, selected);
    for (int column = 0; column < PROJECTOR_LIST_COLUMNS; ++column) {
        item->setIcon(column, ListIcon(icons[column]));
        item->setData(column, IconIndexRole, icons[column]);
    }
}

void CProjectorListCtrl::OnSelectionChanged()
{
    // Selected and unselected rows use different icons.
    for (int row = 0; row < topLevelItemCount() && row < int(m_selected.size()); ++row) {
        if (topLevelItem(row)->isSelected() != m_selected[row])
            ApplyRowIcons(row);
    }
}

void CProjectorListCtrl::SortByColumn(int column)
{
    if (column < 0 || column >= PROJECTOR_LIST_COLUMNS)
        return;
    // Only a column already sorted descending turns ascending.
    m_ascending = column == m_sortColumn && !m_ascending;
    m_sortColumn = column;
    ApplySortArrow();

    std::unordered_set<const ProjectorNode *> keep;
    for (int row = 0; row < topLevelItemCount(); ++row) {
        if (topLevelItem(row)->isSelected())
            keep.insert(m_rows[row].node);
    }
    SortProjectorRows(m_rows, m_sortColumn, m_ascending);
    FillRows(keep);
}

void CProjectorListCtrl::ApplySortArrow()
{
    // The header draws Qt's ascending indicator as a down arrow; this list shows an up arrow
    // on a column sorted ascending, so the indicator order is the opposite of the list's.
    header()->setSortIndicator(m_sortColumn,
                               m_ascending ? Qt::DescendingOrder : Qt::AscendingOrder);
}
