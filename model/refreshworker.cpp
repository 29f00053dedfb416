#include "model/refreshworker.h"

#include "model/projectormanager.h"
#include "model/projectorschangedevent.h"

#include <QCoreApplication>

// The list is copied when the cycle starts: projectors registered during the cycle wait for
// the next one, and a projector removed meanwhile is skipped by UpdateStatus.
RefreshWorker::RefreshWorker(ProjectorManager &manager, RefreshAll refreshAll, QObject *receiver)
    : m_thread([this, projectors = manager.GetProjectors(), refreshAll = std::move(refreshAll),
                receiver] { Run(projectors, refreshAll, receiver); })
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

void RefreshWorker::Run(const std::vector<Projector *> &projectors, const RefreshAll &refreshAll,
                        QObject *receiver)
{
    refreshAll(projectors);
    QCoreApplication::postEvent(receiver, new QEvent(ProjectorsChangedEvent));
    QCoreApplication::postEvent(receiver, new QEvent(RefreshFinishedEvent));
    m_finished.store(true);
}
