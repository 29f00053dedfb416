#include "model/dialogworker.h"

#include <QMetaObject>
#include <QPointer>

#include <utility>

DialogWorker::DialogWorker(QObject *parent) : QObject(parent) {}

DialogWorker::~DialogWorker()
{
    if (m_thread.joinable())
        m_thread.join();
}

bool DialogWorker::Start(std::function<void()> job, std::function<void()> done)
{
    if (m_busy)
        return false;
    m_busy = true;
    m_done = std::move(done);
    m_thread = std::thread([this, job = std::move(job)] {
        job();
        // Delivered on this object's thread; dropped when the object is destroyed first (its
        // destructor joins this thread before the object goes).
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_thread.joinable())
                    m_thread.join();
                m_busy = false;
                std::function<void()> callback = std::exchange(m_done, {});
                const QPointer<DialogWorker> alive(this);
                if (callback)
                    callback(); // may destroy this object
                if (alive)
                    emit finished();
            },
            Qt::QueuedConnection);
    });
    return true;
}
