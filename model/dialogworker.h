#pragma once

#include <QObject>

#include <functional>
#include <thread>

// Runs one job at a time on a thread of its own and hands its end back to the user-interface
// thread, so that connects and searches never block the window. A job must end by itself within
// a bounded time (every connect is bounded by the response wait time).
class DialogWorker : public QObject
{
    Q_OBJECT

public:
    explicit DialogWorker(QObject *parent = nullptr);
    // Waits for a job still running; its done is not called.
    ~DialogWorker() override;

    bool IsBusy() const { return m_busy; }
    // job runs on the worker thread; done runs afterwards on this object's thread, once the
    // thread has been joined. False (nothing started) while a job runs.
    bool Start(std::function<void()> job, std::function<void()> done);

signals:
    void finished();

private:
    std::thread m_thread;
    std::function<void()> m_done;
    bool m_busy = false;
};
