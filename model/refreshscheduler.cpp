#include "model/refreshscheduler.h"

#include "model/refreshworker.h"

RefreshScheduler::RefreshScheduler(StartWorker start, std::function<int()> intervalMs,
                                   QObject *parent)
    : QObject(parent), m_start(std::move(start)), m_intervalMs(std::move(intervalMs))
{
    m_intervalTimer.setSingleShot(true);
    m_nowTimer.setSingleShot(true);
    connect(&m_intervalTimer, &QTimer::timeout, this, [this] {
        emit busyChanged(true);
        RequestCycle();
    });
    connect(&m_nowTimer, &QTimer::timeout, this, &RefreshScheduler::RequestCycle);
}

RefreshScheduler::~RefreshScheduler() = default; // each worker waits for its cycle's end

void RefreshScheduler::RequestRefreshSoon()
{
    emit busyChanged(true);
    if (m_running) {
        m_requested = true;
        return;
    }
    m_nowTimer.start(REFRESH_NOW_DELAY_MS);
}

void RefreshScheduler::RequestCycle()
{
    m_nowTimer.stop();
    if (m_running) {
        m_requested = true;
        return;
    }
    Start();
}

void RefreshScheduler::Start()
{
    m_intervalTimer.stop();
    m_requested = false;
    ReapWorkers();
    m_running = true;
    ++m_cyclesStarted;
    emit busyChanged(true);
    m_workers.push_back(m_start());
}

void RefreshScheduler::ReapWorkers()
{
    // Only workers whose thread has ended go; destroying one joins a thread that is done.
    std::erase_if(m_workers, [](const auto &worker) { return !worker || worker->IsFinished(); });
}

void RefreshScheduler::OnCycleFinished()
{
    if (!m_running)
        return;
    m_running = false;
    ReapWorkers();
    // Work asked for during the cycle runs before anything else starts.
    std::vector<std::function<void()>> work;
    work.swap(m_idleWork);
    for (auto &job : work)
        job();
    if (m_running)
        return; // the work started a cycle itself
    if (m_requested) {
        Start();
        return;
    }
    if (!m_nowTimer.isActive()) {
        m_intervalTimer.start(m_intervalMs());
        emit busyChanged(false);
    }
}

void RefreshScheduler::IntervalChanged()
{
    if (m_running)
        return; // armed with the new interval when the cycle ends
    m_intervalTimer.start(m_intervalMs());
}

void RefreshScheduler::RunWhenIdle(std::function<void()> work)
{
    if (!m_running) {
        work();
        return;
    }
    m_idleWork.push_back(std::move(work));
}
