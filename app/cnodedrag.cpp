#include "app/cnodedrag.h"

#include "model/projectornode.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QTreeWidget>

#include <utility>

namespace {

const int kHighlightRole = Qt::BackgroundRole;

} // namespace

CNodeDrag::CNodeDrag(QTreeWidget *tree, QTreeWidget *list, QWidget *view, NodeOfItem nodeOfTreeItem,
                     NodeOfItem nodeOfListRow, DropHandler onDrop)
    : QObject(view), m_tree(tree), m_list(list), m_view(view), m_treeViewport(tree->viewport()),
      m_listViewport(list->viewport()), m_nodeOfTreeItem(std::move(nodeOfTreeItem)),
      m_nodeOfListRow(std::move(nodeOfListRow)), m_onDrop(std::move(onDrop))
{
    m_tree->viewport()->installEventFilter(this);
    m_list->viewport()->installEventFilter(this);
    m_image = new QLabel(view);
    m_image->setObjectName(QStringLiteral("dragImage"));
    m_image->setAccessibleName(QStringLiteral("dragImage"));
    m_image->setFrameShape(QFrame::Box);
    m_image->setAutoFillBackground(true);
    m_image->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_image->hide();
    // A rebuild of the tree during a drag or a press takes the highlighted and the pressed item
    // away; forget them unread.
    auto forget = [this] {
        m_highlighted = nullptr;
        m_treeClick = nullptr;
    };
    connect(m_tree->model(), &QAbstractItemModel::modelAboutToBeReset, this, forget);
    connect(m_tree->model(), &QAbstractItemModel::rowsAboutToBeRemoved, this, forget);
}

CNodeDrag::~CNodeDrag() = default;

QTreeWidgetItem *CNodeDrag::ItemAt(QTreeWidget *control, QPoint global)
{
    QWidget *viewport = control->viewport();
    const QPoint local = viewport->mapFromGlobal(global);
    if (!viewport->rect().contains(local) || !control->isVisible())
        return nullptr;
    return control->itemAt(local);
}

bool CNodeDrag::eventFilter(QObject *watched, QEvent *event)
{
    QTreeWidget *control = watched == m_treeViewport   ? m_tree
                           : watched == m_listViewport ? m_list
                                                       : nullptr;
    if (!control)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton)
            return OnPress(control, mouse->position().toPoint());
        return false;
    }
    case QEvent::MouseMove: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        return OnMove(control, mouse->globalPosition().toPoint(), mouse->buttons());
    }
    case QEvent::MouseButtonRelease: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        if (!m_dragging)
            return OnClick();
        return OnRelease(mouse->globalPosition().toPoint());
    }
    default:
        return false;
    }
}

bool CNodeDrag::OnPress(QTreeWidget *control, QPoint position)
{
    m_pressedIn = nullptr;
    m_treeClick = nullptr;
    QTreeWidgetItem *item = control->itemAt(position);
    if (m_dragging || !item)
        return false;
    m_pressedIn = control;
    m_pressPoint = control->viewport()->mapToGlobal(position);
    if (control == m_list)
        return false; // the list selects as usual: its selected rows are what a drag carries
    // The tree's selection chooses what the list shows: a press that may begin a drag leaves it
    // alone, and a release without a drag selects as a click does. The expand mark left of the
    // item still works as usual.
    if (position.x() < m_tree->visualItemRect(item).left())
        return false;
    m_treeClick = item;
    return true;
}

bool CNodeDrag::OnClick()
{
    QTreeWidget *pressedIn = std::exchange(m_pressedIn, nullptr);
    QTreeWidgetItem *item = std::exchange(m_treeClick, nullptr);
    if (pressedIn != m_tree || !item)
        return false;
    m_tree->setCurrentItem(item);
    return true;
}

bool CNodeDrag::OnMove(QTreeWidget *control, QPoint global, Qt::MouseButtons buttons)
{
    if (!m_dragging) {
        if (!m_pressedIn || m_pressedIn != control || !(buttons & Qt::LeftButton))
            return false;
        if ((global - m_pressPoint).manhattanLength() < QApplication::startDragDistance())
            return false;
        Begin(control, global);
        if (!m_dragging)
            return false;
    }
    m_lastPoint = global;
    m_image->move(m_view->mapFromGlobal(global) + QPoint(12, 12));
    m_image->raise();
    if (QTreeWidgetItem *item = ItemAt(m_tree, global))
        SetHighlight(item);
    else
        SetHighlight(nullptr);
    return true; // the controls do not rubber-band or reselect during a drag
}

void CNodeDrag::Begin(QTreeWidget *control, QPoint global)
{
    m_sources.clear();
    QStringList names;
    if (control == m_tree) {
        QTreeWidgetItem *item = m_tree->itemAt(m_tree->viewport()->mapFromGlobal(m_pressPoint));
        if (!item)
            return;
        m_sources.push_back(m_nodeOfTreeItem(item));
        names << item->text(0);
        m_fromTree = true;
    } else {
        // Every selected row, in row order.
        for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
            QTreeWidgetItem *item = m_list->topLevelItem(row);
            if (!item->isSelected())
                continue;
            m_sources.push_back(m_nodeOfListRow(item));
            names << item->text(0);
        }
        if (m_sources.empty())
            return;
        m_fromTree = false;
    }
    m_dragging = true;
    m_pressedIn = nullptr;
    m_image->setText(names.join(QLatin1Char('\n')));
    m_image->adjustSize();
    m_image->move(m_view->mapFromGlobal(global) + QPoint(12, 12));
    m_image->show();
    m_image->raise();
    // The pressed control keeps the pointer until the release (the platform's implicit grab);
    // the view holds it explicitly as well, for platforms that lose the implicit one.
    control->viewport()->grabMouse();
}

void CNodeDrag::SetHighlight(QTreeWidgetItem *item)
{
    if (item == m_highlighted)
        return;
    if (m_highlighted)
        m_highlighted->setData(0, kHighlightRole, QVariant());
    m_highlighted = item;
    if (m_highlighted)
        m_highlighted->setData(0, kHighlightRole, m_tree->palette().brush(QPalette::Highlight));
}

bool CNodeDrag::OnRelease(QPoint global)
{
    m_lastPoint = global;
    // What lies under the last point, read before anything is torn down.
    QTreeWidgetItem *treeItem = ItemAt(m_tree, m_lastPoint);
    QTreeWidgetItem *row = treeItem ? nullptr : ItemAt(m_list, m_lastPoint);
    const bool overTarget = treeItem || row;
    ProjectorNode *target = treeItem ? m_nodeOfTreeItem(treeItem)
                            : row    ? m_nodeOfListRow(row)
                                     : nullptr;
    const std::vector<ProjectorNode *> sources = std::exchange(m_sources, {});
    const bool fromTree = m_fromTree;
    End();
    if (overTarget)
        m_onDrop(sources, fromTree, target);
    emit dragEnded();
    return true;
}

void CNodeDrag::End()
{
    if (QWidget *grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    m_image->hide();
    SetHighlight(nullptr);
    m_dragging = false;
    m_pressedIn = nullptr;
    m_treeClick = nullptr;
    m_sources.clear();
}
