#pragma once

#include <QEvent>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

class Projector;
class ProjectorManager;
class QObject;

// Posted by the refresh worker to its receiver, never sent.
inline constexpr QEvent::Type RefreshFinishedEvent = QEvent::Type(0x8002); // WM_APP+2

// One refresh cycle on a thread of its own: the list of every projector registered when the
// cycle starts, in registration order, is handed to refreshAll (the document's
// RefreshProjectors, which refreshes up to MAX_PARALLEL_CONNECTIONS of them at once and logs
// their events in list order); then ProjectorsChangedEvent (model/projectorschangedevent.h) and
// RefreshFinishedEvent are posted to the receiver. A projector registered meanwhile waits for
// the next cycle. The worker never touches a window.
//
// The receiver must outlive the worker: destroying the worker waits for the cycle to end.
class RefreshWorker
{
public:
    using RefreshAll = std::function<void(const std::vector<Projector *> &)>;

    RefreshWorker(ProjectorManager &manager, RefreshAll refreshAll, QObject *receiver);
    ~RefreshWorker();

    RefreshWorker(const RefreshWorker &) = delete;
    RefreshWorker &operator=(const RefreshWorker &) = delete;

    bool IsFinished() const { return m_finished.load(); }
    void Wait();

private:
    void Run(const std::vector<Projector *> &projectors, const RefreshAll &refreshAll,
             QObject *receiver);

    std::atomic<bool> m_finished{false};
    std::thread m_thread;
};
