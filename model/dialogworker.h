#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <type_traits>

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
    // The same for a job that gives a value: done receives it, moved, on this object's thread.
    // The one way a result comes back from a worker; no result boxes in the callers. Job and
    // done may be move-only (a job may carry a projector out and back).
    template <class Job, class Done>
    requires(!std::is_void_v<std::invoke_result_t<Job &>>) bool Start(Job job, Done done)
    {
        using Value = std::invoke_result_t<Job &>;
        // std::function copies what it holds; shared boxes let move-only callables through.
        auto value = std::make_shared<std::optional<Value>>();
        auto jobBox = std::make_shared<Job>(std::move(job));
        auto doneBox = std::make_shared<Done>(std::move(done));
        return Start(std::function<void()>([value, jobBox] { value->emplace((*jobBox)()); }),
                     std::function<void()>([value, doneBox] { (*doneBox)(std::move(**value)); }));
    }

signals:
    void finished();

private:
    std::thread m_thread;
    std::function<void()> m_done;
    bool m_busy = false;
};
