#include "app/statusnotifications.h"

#include "model/automaticsearch.h"
#include "model/projectormanager.h"
#include "model/projectorschangedevent.h"
#include "res/stringids.h"
#include "res/stringtable.h"
#include "store/actioneventmanager.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>

namespace {

// Posted by the listener thread to this object, never sent.
const QEvent::Type NotificationsArrivedEvent = QEvent::Type(QEvent::registerEventType());

} // namespace

StatusNotifications::StatusNotifications(ProjectorManager &manager, ActionEventManager &events,
                                         QObject *view)
    : m_manager(manager), m_events(events), m_view(view),
      m_listener([this](quint32 from, const pjlink::Datagram &d) { Received(from, d); })
{}

StatusNotifications::~StatusNotifications()
{
    if (m_manager.GetListener() == &m_listener)
        m_manager.SetListener(nullptr);
    m_listener.Stop();
}

int StatusNotifications::Start()
{
    if (m_listener.IsRunning())
        return 0;
    const int port = ControllerUdpPort();
    const int result = m_listener.Start(port);
    if (result == 0) {
        m_manager.SetListener(&m_listener);
        return 0;
    }
    if (result == EADDRINUSE)
        m_events.AddEvent(std::make_unique<ActionEvent>(
            QString(), FormatText(LoadString(MSG_UDP_PORT_TAKEN), {QString::number(port)}),
            ActionEvent::Warning));
    else
        qWarning("UDP port %d: %s", port, std::strerror(result));
    return result;
}

void StatusNotifications::Received(quint32 from, const pjlink::Datagram &notification)
{
    ProjectorManager::NotificationOutcome outcome =
        m_manager.ApplyNotification(FormatIPv4(from), notification);
    if (!outcome.registered)
        return;
    const bool logged = outcome.event != nullptr;
    if (outcome.event)
        m_events.AddEvent(std::move(outcome.event));
    if ((outcome.changed || logged) && !m_posted.exchange(true))
        QCoreApplication::postEvent(this, new QEvent(NotificationsArrivedEvent));
}

bool StatusNotifications::event(QEvent *event)
{
    if (event->type() != NotificationsArrivedEvent)
        return QObject::event(event);
    // Cleared before the rebuild: a notification during it queues the next one.
    m_posted.store(false);
    QEvent changed(ProjectorsChangedEvent);
    QCoreApplication::sendEvent(m_view, &changed);
    return true;
}
