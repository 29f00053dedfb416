#pragma once

#include "model/schedule.h"

#include <QString>

#include <vector>

// The schedules' lines in the crontab of the user running the program. Lumarin's lines for one
// settings file stand in a block between two marker comments that name the file; nothing
// outside Lumarin's blocks is ever changed, and a block of another settings file is left alone.
// The lines call lumarinctl by its absolute path, so they run whatever cron's PATH holds.

// The lumarinctl beside the running program (the window, or lumarinctl itself).
QString LumarinctlBesideProgram();

// One line per enabled schedule that can still run:
// "0 22 * * 1-5 '/usr/bin/lumarinctl' --settings '/home/a/lumarin.ini' schedule run 'Night'
// >/dev/null", quoted for the shell and with cron's '%' escaped. Standard error, which names
// every projector that did not do it, becomes the cron mail.
QStringList ScheduleCronLines(const std::vector<Schedule> &schedules, const QString &lumarinctl,
                              const QString &settingsPath, const QDate &today);

// The crontab text with the settings file's block replaced by lines (removed when empty), or
// appended at the end when there was none.
QString ReplaceCronBlock(const QString &crontab, const QString &settingsPath,
                         const QStringList &lines);
// The lines of the settings file's block in the crontab text; empty when there is none.
QStringList CronBlockLines(const QString &crontab, const QString &settingsPath);

// What reading or writing the crontab gave.
struct CrontabResult
{
    enum Status {
        Ok,
        Missing, // no crontab program: cron is not installed
        Failed,  // the program refused; reason says why
    };
    Status status = Ok;
    QString text;   // ReadCrontab: the crontab, empty when the user has none
    QString reason; // Failed: the program's own message
};

CrontabResult ReadCrontab();
CrontabResult WriteCrontab(const QString &text);

// Reads the crontab, replaces the settings file's block with the schedules' lines and writes it
// back when it changed. The outcome, Ok also when nothing needed writing.
CrontabResult SyncCrontab(const std::vector<Schedule> &schedules, const QString &settingsPath);
// Whether the crontab holds exactly the schedules' lines; the read's outcome when it failed.
CrontabResult CrontabMatches(const std::vector<Schedule> &schedules, const QString &settingsPath,
                             bool &matches);

// The user's text for a crontab that could not be read or written (Missing or Failed).
QString CrontabProblemText(const CrontabResult &result);
