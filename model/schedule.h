#pragma once

#include "model/inputstatus.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QTimeZone>

#include <optional>

// Schedules: what the fleet does by itself at set times, carried out by cron through
// `lumarinctl schedule run`. The rules here are pure functions; the window and lumarinctl both
// call them, and the settings file (store/settingsfile.h) keeps the schedules.

// What a schedule does to each of its projectors.
struct ScheduleAction
{
    enum Kind { PowerOn, PowerOff, Input, Mute, Freeze, PowerOnWithInput };
    Kind kind = PowerOff;
    InputStatus input; // Input, PowerOnWithInput
    int mute = -1;     // Mute: MuteStatus::Video, Audio or VideoAndAudio
    bool on = false;   // Mute, Freeze

    friend bool operator==(const ScheduleAction &, const ScheduleAction &) = default;
};

// How long power on with input waits for a projector to report "on", by default and at most.
inline constexpr int DEFAULT_WARM_UP_LIMIT = 180; // seconds
inline constexpr int MAX_WARM_UP_LIMIT = 900;

// Monday is bit 0, Sunday bit 6 (Qt's dayOfWeek() - 1).
inline constexpr int kEveryDay = 0x7f;
inline constexpr int kMondayToFriday = 0x1f;

struct Schedule
{
    QString name;
    ScheduleAction action;
    QStringList targets;     // as lumarinctl's TARGET: group paths, projector names or addresses
    QTime at;                // local time, whole minutes
    int days = 0;            // weekday bits; 0 when the schedule runs on one date
    QDate date;              // valid: the one date it runs on, instead of weekdays
    QList<QDate> exceptions; // dates it does not run on, ascending, each once
    bool enabled = true;
    int warmUpLimit = DEFAULT_WARM_UP_LIMIT; // seconds, power on with input

    friend bool operator==(const Schedule &, const Schedule &) = default;
};

// What was wrong with a piece of a schedule as typed. Each has a text in the string table
// (ScheduleErrorText).
enum class ScheduleError {
    None,
    Name,        // empty, too long, or with a line break
    Time,        // not HH:MM within 00:00..23:59
    Days,        // not daily, a day, a range or a list of them
    Date,        // not an existing YYYY-MM-DD
    Exceptions,  // a date of the list is not an existing YYYY-MM-DD
    DaysAndDate, // both weekdays and a date
    Action,      // not one of the actions
    InputType,   // not an input type or number
    MuteKind,    // not video, audio or both
    OnOff,       // not on or off
    WarmUpLimit, // not whole seconds within 1..MAX_WARM_UP_LIMIT
    NoTargets,   // an action without targets
};

// The user's text for an error; word is the piece that was wrong.
QString ScheduleErrorText(ScheduleError error, const QString &word);

inline constexpr int MAX_SCHEDULE_NAME = 64;

ScheduleError ParseScheduleName(const QString &text);
// "7:45" or "07:45".
ScheduleError ParseScheduleTime(const QString &text, QTime &at);
// "daily", "mon-fri", "sat,sun", "mon-wed,fri", a range over the week's end ("fri-mon"); day
// names are English three-letter names, any case.
ScheduleError ParseScheduleDays(const QString &text, int &days);
// "YYYY-MM-DD", an existing date.
ScheduleError ParseScheduleDate(const QString &text, QDate &date);
// "YYYY-MM-DD,YYYY-MM-DD,...": ascending and each once afterwards.
ScheduleError ParseExceptionDates(const QString &text, QList<QDate> &dates);

// An input as lumarinctl's `input` takes it: its type as its number or its name in either table
// language, any case, and its number. The one place where an input typed by a user is read.
ScheduleError ParseInputArgument(const QString &type, const QString &number, InputStatus &input);

// The action at the front of words: "power on", "power off", "input TYPE NUMBER",
// "mute video|audio|both on|off", "freeze on|off". With inputType set, "power on" takes the
// input's number as its next word and becomes power on with input. used: how many words it
// took.
ScheduleError ParseScheduleAction(const QStringList &words, const std::optional<QString> &inputType,
                                  ScheduleAction &action, qsizetype &used);

// The action as a user types it again ("power on --input 3 1", "mute video off").
QString ScheduleActionText(const ScheduleAction &action);
// The weekdays and time, or the date and time, as a user types them ("mon-fri 22:00",
// "2027-03-01 07:45").
QString ScheduleDaysText(const Schedule &schedule);

// The first run strictly after after, in zone: on a chosen weekday (or the one date) that is
// not an exception, at the schedule's time. A time the clocks skip on a day runs when they
// jump past it; a time that comes twice runs the first time. None for a disabled schedule and
// for a one-date schedule whose run is past.
std::optional<QDateTime> NextScheduleRun(const Schedule &schedule, const QDateTime &after,
                                         const QTimeZone &zone);

// Why `schedule run` does nothing on a date, or None when it carries the action out.
enum class ScheduleSkip {
    None,
    ExceptionDate, // the date is one of the exceptions
    DatePassed,    // a one-date schedule after its date
};
ScheduleSkip ScheduleSkipOn(const Schedule &schedule, const QDate &today);

// The five time fields of the schedule's crontab line ("0 22 * * 1-5", "45 7 1 3 *"). A one-date
// schedule fires on its day every year; ScheduleSkipOn keeps it from running again.
QString CronTimeFields(const Schedule &schedule);

// text quoted for the POSIX shell: in single quotes, each single quote as '\''.
QString ShellQuote(const QString &text);
