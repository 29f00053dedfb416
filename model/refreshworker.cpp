#include "model/refreshworker.h"

#include "model/projectormanager.h"

#include <QCoreApplication>

// The list is copied when the cycle starts: projectors registered during the cycle wait for
// the next one, and a projector removed meanwhile is skipped by UpdateStatus.
RefreshWorker::RefreshWorker(ProjectorManager &manager, RefreshOne refreshOne, QObject *receiver)
    : m_thread([this, projectors = manager.GetProjectors(), refreshOne = std::move(refreshOne),
                receiver] { Run(projectors, refreshOne, receiver); })
{}

RefreshWorker::~RefreshWorker()
{
    Wait();
}

void RefreshWorker::Wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

void RefreshWorker::Run(const std::vector<Projector *> &projectors, const RefreshOne &refreshOne,
                        QObject *receiver)
{
    for (Projector *projector : projectors)
        refreshOne(projector);
    QCoreApplication::postEvent(receiver, new QEvent(ProjectorsChangedEvent));
    QCoreApplication::postEvent(receiver, new QEvent(RefreshFinishedEvent));
    m_finished.store(true);
}
