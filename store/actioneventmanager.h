#pragma once

#include "model/actionevent.h"
#include "model/projectormanager.h"

#include <QFile>
#include <QString>

#include <deque>
#include <memory>
#include <mutex>

// Receives events from the user-interface thread and the refresh worker, writes each accepted
// one to the register's "event.log" and queues those to be shown. Every member is thread-safe: one
// lock guards the queue and the file.
class ActionEventManager
{
public:
    // The process-wide manager, created on first use; the log file named by SetLogFileFor is
    // created afresh (emptied) at that moment. Without one, no log file is kept.
    static ActionEventManager *GetInstance();
    // Destroys the manager (queued events are dropped, the log is closed) and forgets the
    // register's log: a later manager keeps none until SetLogFileFor names one again.
    static void DestroyInstance();
    // Before the first GetInstance: the log is the one of the register whose settings file is
    // settingsPath, at EventLogPathFor (store/settingslocation.h).
    static void SetLogFileFor(const QString &settingsPath);
    // Before the first GetInstance: keep no log file at all (tools that must leave the
    // register's "event.log" alone), whatever SetLogFileFor says; events are only queued.
    static void SetLogFileEnabled(bool enabled);

    // Takes ownership. Debug events vanish; with the errors-only filter, information events are
    // written but not queued.
    void AddEvent(std::unique_ptr<ActionEvent> event);
    bool HasPending() const;
    std::unique_ptr<ActionEvent> TakeOldest(); // nullptr when nothing is pending

    ActionEventManager(const ActionEventManager &) = delete;
    ActionEventManager &operator=(const ActionEventManager &) = delete;
    ~ActionEventManager();

private:
    explicit ActionEventManager(const QString &logPath); // empty: no log file
    // Lock held. Both give the text to show the user once the lock is released, or nothing:
    // a failing log is reported once and then left alone.
    QString WriteLine(const ActionEvent &event);
    QString MarkLogFailed();

    mutable std::mutex m_lock;
    std::deque<std::unique_ptr<ActionEvent>> m_queue;
    QString m_logPath;
    QFile m_log;
    bool m_logFailed = false;
};

// A sink (refresh, fan-out, registration) that hands each event to the process-wide manager.
ProjectorManager::EventSink EventListSink();

// The process-wide filter: errors only shows warnings and errors; it acts on events added later.
void SetEventFilter(bool errorsOnly);
bool IsEventFilterErrorsOnly();
