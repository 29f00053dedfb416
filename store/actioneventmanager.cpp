#include "store/actioneventmanager.h"

#include "store/settingslocation.h"
#include "store/usermessage.h"

#include <QDir>

#include <atomic>
#include <utility>

using namespace Qt::StringLiterals;

namespace {
std::mutex g_instanceLock;
// Not an owning static: see ProjectorManager's instance (model/projectormanager.cpp).
ActionEventManager *g_instance = nullptr;
std::atomic<bool> g_errorsOnly{false};
std::atomic<bool> g_logFileEnabled{true};
QString g_logPath; // guarded by g_instanceLock
} // namespace

void SetEventFilter(bool errorsOnly)
{
    g_errorsOnly.store(errorsOnly);
}

bool IsEventFilterErrorsOnly()
{
    return g_errorsOnly.load();
}

ActionEventManager *ActionEventManager::GetInstance()
{
    std::lock_guard guard(g_instanceLock);
    if (!g_instance)
        g_instance = new ActionEventManager(g_logFileEnabled ? g_logPath : QString());
    return g_instance;
}

void ActionEventManager::SetLogFileFor(const QString &settingsPath)
{
    std::lock_guard guard(g_instanceLock);
    g_logPath = EventLogPathFor(settingsPath);
}

void ActionEventManager::SetLogFileEnabled(bool enabled)
{
    g_logFileEnabled.store(enabled);
}

void ActionEventManager::DestroyInstance()
{
    std::lock_guard guard(g_instanceLock);
    delete std::exchange(g_instance, nullptr);
    g_logPath.clear();
}

ActionEventManager::ActionEventManager(const QString &logPath) : m_logPath(logPath), m_log(logPath)
{
    if (logPath.isEmpty())
        m_logFailed = true; // nothing to write to, nothing to report
    // Appending, once emptied: a scheduled run (lumarinctl schedule run) adds its line to the
    // same file while the window runs, and neither may write over the other's lines.
    else if (!m_log.open(QIODevice::WriteOnly | QIODevice::Append) || !m_log.resize(0))
        ShowUserMessage(MarkLogFailed());
}

ActionEventManager::~ActionEventManager() = default;

void ActionEventManager::AddEvent(std::unique_ptr<ActionEvent> event)
{
    if (!event || event->GetLevel() == ActionEvent::Debug)
        return;
    const bool shown = !IsEventFilterErrorsOnly() || event->GetLevel() == ActionEvent::Warning ||
                       event->GetLevel() == ActionEvent::Error;
    QString failure;
    {
        std::lock_guard guard(m_lock);
        failure = WriteLine(*event);
        if (shown)
            m_queue.push_back(std::move(event));
    }
    // Outside the lock: a sink may well log or query the manager itself.
    if (!failure.isEmpty())
        ShowUserMessage(failure);
}

bool ActionEventManager::HasPending() const
{
    std::lock_guard guard(m_lock);
    return !m_queue.empty();
}

std::unique_ptr<ActionEvent> ActionEventManager::TakeOldest()
{
    std::lock_guard guard(m_lock);
    if (m_queue.empty())
        return nullptr;
    std::unique_ptr<ActionEvent> event = std::move(m_queue.front());
    m_queue.pop_front();
    return event;
}

QString ActionEventManager::WriteLine(const ActionEvent &event)
{
    if (m_logFailed)
        return {};
    // Each line is flushed at once, so an administrator's tail -f sees it and a crash loses
    // nothing already logged.
    const QByteArray line = event.LogLine().toUtf8();
    if (m_log.write(line) != line.size() || !m_log.flush())
        return MarkLogFailed();
    return {};
}

QString ActionEventManager::MarkLogFailed()
{
    m_logFailed = true;
    const QString reason = m_log.errorString();
    m_log.close();
    return u"The event log \"%1\" cannot be written (%2). Events are still shown in the event "
           "list."_s.arg(QDir::toNativeSeparators(m_logPath), reason);
}

ProjectorManager::EventSink EventListSink()
{
    return [](std::unique_ptr<ActionEvent> event) {
        ActionEventManager::GetInstance()->AddEvent(std::move(event));
    };
}
