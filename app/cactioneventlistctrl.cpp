#include "app/cactioneventlistctrl.h"

#include "dialogs/itemroles.h"
#include "res/skinbitmap.h"
#include "model/actionevent.h"
#include "store/actioneventmanager.h"

#include <QHeaderView>

using namespace Qt::StringLiterals;

namespace {

constexpr int kWarningIcon = 205;
constexpr int kErrorIcon = 203;

QString Cut(const QString &text, int length)
{
    return text.size() > length ? text.left(length) + u"..."_s : text;
}

} // namespace

CActionEventListCtrl::CActionEventListCtrl(QWidget *parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setIconSize(QSize(16, 16));
    setColumnCount(2);
}

void CActionEventListCtrl::SetUpColumns()
{
    clear();
    setColumnCount(2);
    header()->setStretchLastSection(false);
    FitColumns();
}

void CActionEventListCtrl::FitColumns()
{
    // The area inside the frame: the viewport is laid out only once the list shows.
    const int width = contentsRect().width();
    // A ninth of the width, but never so narrow that the time is cut (wider glyphs in
    // Japanese).
    const int first = std::max(width / 9, TimeColumnMinimum());
    setColumnWidth(0, first);
    setColumnWidth(1, std::max(0, width - first - 22));
}

int CActionEventListCtrl::TimeColumnMinimum() const
{
    return fontMetrics().horizontalAdvance(u"00:00:00"_s) + iconSize().width() + 16;
}

void CActionEventListCtrl::resizeEvent(QResizeEvent *event)
{
    QTreeWidget::resizeEvent(event);
    FitColumns();
}

QString CActionEventListCtrl::EventText(const QString &message, const QString &source)
{
    return Cut(message, MAX_MESSAGE) + u"  "_s + Cut(source, MAX_SOURCE);
}

void CActionEventListCtrl::UpdateData()
{
    ActionEventManager *events = ActionEventManager::GetInstance();
    while (std::unique_ptr<ActionEvent> event = events->TakeOldest())
        InsertEvent(*event);
}

void CActionEventListCtrl::InsertEvent(const ActionEvent &event)
{
    while (topLevelItemCount() >= MAX_ROWS)
        delete takeTopLevelItem(topLevelItemCount() - 1);
    auto *item =
        new QTreeWidgetItem({event.GetTime(), EventText(event.GetMessage(), event.GetSource())});
    const int level = event.GetLevel();
    if (level == 1 || level == 2) {
        item->setIcon(0, LoadSkinIcon(level == 1 ? kWarningIcon : kErrorIcon));
        for (int column = 0; column < 2; ++column)
            item->setForeground(column, QColor(255, 0, 0));
    }
    item->setData(0, ROLE_EVENT_LEVEL, level);
    insertTopLevelItem(0, item);
    scrollToTop();
}
