#pragma once

#include "model/notificationlistener.h"

#include <QEvent>
#include <QObject>

#include <atomic>

class ActionEventManager;
class ProjectorManager;

// Status notifications while the main window runs: the listener on the controller's UDP port
// (model/notificationlistener.h), each notification applied to its projector by the manager,
// and the view told through its event queue as a refresh tells it (ProjectorsChangedEvent).
// Created and destroyed on the user-interface thread; the sink runs on the listener thread and
// touches no widget.
class StatusNotifications : public QObject
{
    Q_OBJECT

public:
    StatusNotifications(ProjectorManager &manager, ActionEventManager &events, QObject *view);
    ~StatusNotifications() override; // stops the listener before anything it uses goes

    // Starts listening on ControllerUdpPort() and makes the manager's searches use the
    // listener. 0, or the listener's code; a taken port becomes one line of the event list,
    // and the periodic refresh goes on as before.
    int Start();
    NotificationListener &Listener() { return m_listener; }

protected:
    bool event(QEvent *event) override;

private:
    void Received(quint32 from, const pjlink::Datagram &notification); // listener thread

    ProjectorManager &m_manager;
    ActionEventManager &m_events;
    QObject *m_view;
    // A rebuild is queued: a flood of notifications costs one rebuild per turn of the event
    // loop, not one per datagram.
    std::atomic<bool> m_posted{false};
    NotificationListener m_listener; // last: stopped first
};
