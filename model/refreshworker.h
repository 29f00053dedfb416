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
inline constexpr QEvent::Type ProjectorsChangedEvent = QEvent::Type(0x8001); // WM_APP+1
inline constexpr QEvent::Type RefreshFinishedEvent = QEvent::Type(0x8002);   // WM_APP+2

// One refresh cycle on a thread of its own: every projector registered when the cycle starts,
// in registration order, is handed to refreshOne (the document's RefreshProjector, which
// serializes single-projector refreshes); then ProjectorsChangedEvent and RefreshFinishedEvent
// are posted to the receiver. The worker never touches a window.
//
// The receiver must outlive the worker: destroying the worker waits for the cycle to end.
class RefreshWorker
{
public:
    using RefreshOne = std::function<void(Projector *)>;

    RefreshWorker(ProjectorManager &manager, RefreshOne refreshOne, QObject *receiver);
    ~RefreshWorker();

    RefreshWorker(const RefreshWorker &) = delete;
    RefreshWorker &operator=(const RefreshWorker &) = delete;

    bool IsFinished() const { return m_finished.load(); }
    void Wait();

private:
    void Run(const std::vector<Projector *> &projectors, const RefreshOne &refreshOne,
             QObject *receiver);

    std::atomic<bool> m_finished{false};
    std::thread m_thread;
};
