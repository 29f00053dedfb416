#pragma once

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class RefreshWorker;

// When the view's refresh cycles run: the periodic timer, the one-shot timer of the "Refresh"
// button, and requests from elsewhere (start-up, File > Open, New). One cycle at a time: a
// request while a cycle runs is kept and starts that cycle's successor as soon as it ends, and
// the periodic timer is armed only when no cycle runs.
//
// User-interface thread only. The worker reports to the owner, which passes the end of the
// cycle on with OnCycleFinished; nothing here waits for a worker that is still running.
class RefreshScheduler : public QObject
{
    Q_OBJECT

public:
    using StartWorker = std::function<std::unique_ptr<RefreshWorker>()>;

    // intervalMs: the period as it is now (the refresh interval may change at any time).
    RefreshScheduler(StartWorker start, std::function<int()> intervalMs, QObject *parent = nullptr);
    ~RefreshScheduler() override; // waits for a worker that is still running

    static constexpr int REFRESH_NOW_DELAY_MS = 10;

    // "Refresh": the cycle starts from the one-shot timer.
    void RequestRefreshSoon();
    // A cycle now, or right after the running one.
    void RequestCycle();
    // The owner received the worker's end-of-cycle notification.
    void OnCycleFinished();
    // Arms the periodic timer anew with the current interval; during a cycle that happens
    // when it ends.
    void IntervalChanged();
    // Runs work at once when no cycle runs, else when the running one ends (before a cycle
    // requested meanwhile starts).
    void RunWhenIdle(std::function<void()> work);

    bool IsRunning() const { return m_running; }
    // Something is running or about to: what the wait text shows.
    bool IsBusy() const { return m_running || m_nowTimer.isActive() || m_requested; }
    const QTimer &IntervalTimer() const { return m_intervalTimer; }
    int CyclesStarted() const { return m_cyclesStarted; }

signals:
    // Show or hide the wait text, disable or enable "Refresh".
    void busyChanged(bool busy);

private:
    void Start();
    void ReapWorkers();

    StartWorker m_start;
    std::function<int()> m_intervalMs;
    QTimer m_intervalTimer;
    QTimer m_nowTimer;
    bool m_running = false;
    bool m_requested = false; // a cycle to start when the running one ends
    std::vector<std::function<void()>> m_idleWork;
    std::vector<std::unique_ptr<RefreshWorker>> m_workers; // the running one, and ended ones
    int m_cyclesStarted = 0;
};
