#pragma once

#include "model/commandoutcome.h"
#include "model/schedule.h"

#include <QDateTime>
#include <QString>

#include <map>
#include <vector>

class ActionEvent;

// What the runs of a register's schedules did, kept apart from the settings file: a run never
// changes the register, and runs while the window has the settings file open. The state file
// lies beside the event log and is named after the settings file ("lumarin.ini":
// "lumarin.schedule-runs.json"). Any process may write it: each record is read, changed and
// written back whole under a lock file, so runs that end at the same moment all land.

// One projector's part in a run.
struct ScheduleRunProjector
{
    QString name;
    QString ipAddress;
    QString groupPath;
    QString outcome; // OutcomeWord ("done", "no-answer", ...)
    QString line;    // OutcomeLine for people; empty when done
};

struct ScheduleRunRecord
{
    QDateTime at; // when the run started, UTC
    ScheduleSkip skipped = ScheduleSkip::None;
    QString problem; // set when the run reached no projector at all (no target found)
    std::vector<ScheduleRunProjector> projectors;

    int DoneCount() const;
    int NotDoneCount() const;
};

QString ScheduleStatePathFor(const QString &settingsPath);

// The last run of each schedule by name; empty when the file is missing or unreadable.
std::map<QString, ScheduleRunRecord> ReadScheduleRuns(const QString &settingsPath);

// Replaces the named schedule's last run. False with reason when the file cannot be written.
bool RecordScheduleRun(const QString &settingsPath, const QString &name,
                       const ScheduleRunRecord &record, QString *reason = nullptr);

// Drops the records of schedules not in names (after a schedule was removed or renamed).
bool ForgetScheduleRuns(const QString &settingsPath, const QStringList &names);

// Appends one line to the register's event log (store/settingslocation.h, EventLogPathFor),
// as the window writes its lines, without emptying it: for programs that log a run while the
// window may have the log open (it appends too).
bool AppendToEventLog(const QString &settingsPath, const ActionEvent &event);
