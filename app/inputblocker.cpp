#include "app/inputblocker.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

InputBlocker::InputBlocker(QWidget *window) : m_window(window)
{
    qApp->installEventFilter(this);
    QApplication::setOverrideCursor(Qt::BusyCursor);
}

InputBlocker::~InputBlocker()
{
    QApplication::restoreOverrideCursor();
    qApp->removeEventFilter(this);
}

bool InputBlocker::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::DragEnter:
    case QEvent::Drop: {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && m_window && widget->window() == m_window->window()) {
            // An accepted override keeps menu shortcuts from firing; the key press that
            // follows is dropped here too.
            if (event->type() == QEvent::ShortcutOverride)
                event->accept();
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
