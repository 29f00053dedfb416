#include "tools/exporter/metricscollector.h"

#include "model/actionevent.h"
#include "model/connectionwindow.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "store/actioneventmanager.h"
#include "store/cvanteldoc.h"
#include "store/prometheusmetrics.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <map>
#include <memory>

MetricsCollector::MetricsCollector(Options options) : m_options(std::move(options))
{
    if (m_options.interval)
        m_interval = *m_options.interval;
}

MetricsCollector::~MetricsCollector()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void MetricsCollector::Start()
{
    m_thread = std::thread([this] { Run(); });
}

QByteArray MetricsCollector::Latest() const
{
    std::lock_guard lock(m_mutex);
    return m_latest;
}

QDateTime MetricsCollector::LatestAt() const
{
    std::lock_guard lock(m_mutex);
    return m_latestAt;
}

std::chrono::seconds MetricsCollector::Interval() const
{
    std::lock_guard lock(m_mutex);
    return m_interval;
}

void MetricsCollector::Run()
{
    // The document and the projector manager live on this thread alone.
    ProjectorManager::InitProjectors();
    CVantelDoc doc(m_options.settingsPath, CVantelDoc::Access::ReadOnly);
    QDateTime loadedMTime = QFileInfo(m_options.settingsPath).lastModified();
    const QString registerName = m_options.registerName.isEmpty()
                                     ? QFileInfo(m_options.settingsPath).completeBaseName()
                                     : m_options.registerName;
    // The product (INF2) is not part of a refresh; it is asked once of each address that answers
    // and kept, for lumarin_projector_info.
    std::map<QString, QString> products;
    for (;;) {
        const QDateTime mtime = QFileInfo(m_options.settingsPath).lastModified();
        if (mtime != loadedMTime) {
            // Changed by the window or lumarinctl: read the register as it is now.
            doc.Reload();
            loadedMTime = mtime;
            products.clear();
        }
        const std::vector<Projector *> projectors = doc.GetProjectors();
        QElapsedTimer clock;
        clock.start();
        doc.RefreshProjectors(projectors, true);
        // The events of the cycle are not kept: a service would otherwise grow without end.
        while (ActionEventManager::GetInstance()->TakeOldest()) {
        }
        MetricsRead read;
        read.durationSeconds = double(clock.nsecsElapsed()) / 1e9;
        read.readAt = QDateTime::currentDateTimeUtc();
        read.registerName = registerName;
        read.registered = int(projectors.size());
        for (Projector *projector : projectors) {
            ProjectorState state = projector->GetState();
            auto product = products.find(state.ipAddress);
            if (product == products.end() && state.connectResult == 0) {
                QString text;
                ConnectionWindow window(*projector, 0);
                if (window.GetResult() == 0 && projector->GetModelInfo(text) == 0)
                    product = products.emplace(state.ipAddress, text).first;
                window.Close();
            }
            if (product != products.end()) {
                state.modelResult = 0;
                state.modelInfo = product->second;
            }
            read.projectors.push_back(std::move(state));
        }
        const QByteArray text = FormatPrometheusMetrics(read);

        std::unique_lock lock(m_mutex);
        m_latest = text;
        m_latestAt = read.readAt;
        if (!m_options.interval)
            m_interval = std::chrono::minutes(std::max(1, doc.GetRefreshInterval()));
        if (m_wake.wait_for(lock, m_interval, [this] { return m_stopping; }))
            return;
    }
}
