// Schedules on the command line: kept in the settings file, run by cron through "schedule run".
// The rules are the core's (model/schedule.h); the crontab's lines are store/crontab.h's, the
// runs' outcomes store/schedulerunstate.h's.

#include "tools/lumarinctl/commands.h"

#include "model/actionevent.h"
#include "model/projector.h"
#include "model/schedule.h"
#include "res/stringids.h"
#include "res/stringtable.h"
#include "store/crontab.h"
#include "store/cvanteldoc.h"
#include "store/schedulerunstate.h"
#include "store/settingslocation.h"
#include "store/usermessage.h"
#include "tools/lumarinctl/ctlstrings.h"
#include "tools/lumarinctl/report.h"
#include "tools/lumarinctl/targets.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTimeZone>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The index of the schedule named name; -1, told, when there is none.
qsizetype FindSchedule(const std::vector<Schedule> &schedules, const QString &name)
{
    const auto it = std::find_if(schedules.begin(), schedules.end(),
                                 [&](const Schedule &s) { return s.name == name; });
    if (it == schedules.end()) {
        ShowUserMessage(FormatText(LoadString(CTL_NO_SCHEDULE), {name}));
        return -1;
    }
    return it - schedules.begin();
}

// Told and false on an error.
bool Check(ScheduleError error, const QString &word)
{
    if (error == ScheduleError::None)
        return true;
    ShowUserMessage(ScheduleErrorText(error, word));
    return false;
}

// The crontab made to agree with the schedules just saved. A missing crontab program keeps the
// schedules and says that nothing runs them.
int SyncAfterChange(CommandContext &context)
{
    const CrontabResult synced =
        SyncCrontab(context.doc.GetSchedules(), context.doc.GetSettingsPath());
    if (synced.status == CrontabResult::Ok)
        return ExitDone;
    ShowUserMessage(CrontabProblemText(synced));
    return ExitRefused;
}

int SaveAndSync(CommandContext &context, std::vector<Schedule> schedules)
{
    context.doc.SetSchedules(std::move(schedules));
    if (!context.doc.SaveSettings())
        return ExitRefused;
    return SyncAfterChange(context);
}

QString SkipText(ScheduleSkip skip)
{
    return LoadString(skip == ScheduleSkip::ExceptionDate ? CTL_SKIP_EXCEPTION : CTL_SKIP_PASSED);
}

QString LocalTime(const QDateTime &at)
{
    return at.toLocalTime().toString(u"yyyy-MM-dd HH:mm"_s);
}

int SetEnabled(CommandContext &context, const CommandArgs &args, bool enabled)
{
    std::vector<Schedule> schedules = context.doc.GetSchedules();
    const qsizetype found = FindSchedule(schedules, args.positional.at(0));
    if (found < 0)
        return ExitRefused;
    schedules[size_t(found)].enabled = enabled;
    return SaveAndSync(context, std::move(schedules));
}

} // namespace

int RunScheduleAdd(CommandContext &context, const CommandArgs &args)
{
    Schedule schedule;
    schedule.name = args.positional.at(0);
    if (!Check(ParseScheduleName(schedule.name), schedule.name))
        return ExitUsage;
    if (!Check(ParseScheduleTime(args.Value(u"at"_s), schedule.at), args.Value(u"at"_s)))
        return ExitUsage;
    if (args.IsSet(u"days"_s) && args.IsSet(u"date"_s)) {
        Check(ScheduleError::DaysAndDate, QString());
        return ExitUsage;
    }
    if (args.IsSet(u"date"_s)) {
        if (!Check(ParseScheduleDate(args.Value(u"date"_s), schedule.date), args.Value(u"date"_s)))
            return ExitUsage;
    } else if (!Check(ParseScheduleDays(args.IsSet(u"days"_s) ? args.Value(u"days"_s) : u"daily"_s,
                                        schedule.days),
                      args.Value(u"days"_s))) {
        return ExitUsage;
    }
    if (!Check(ParseExceptionDates(args.Value(u"except"_s), schedule.exceptions),
               args.Value(u"except"_s)))
        return ExitUsage;
    if (args.IsSet(u"warm-up"_s) &&
        !ParseWarmUpLimit(args.Value(u"warm-up"_s), schedule.warmUpLimit))
        return ExitUsage;
    const QStringList words = args.positional.mid(1);
    qsizetype used = 0;
    const std::optional<QString> input =
        args.IsSet(u"input"_s) ? std::optional<QString>(args.Value(u"input"_s)) : std::nullopt;
    if (!Check(ParseScheduleAction(words, input, schedule.action, used),
               words.mid(0, 3).join(u' ')))
        return ExitUsage;
    schedule.targets = words.mid(used);
    if (!Check(schedule.targets.isEmpty() ? ScheduleError::NoTargets : ScheduleError::None,
               QString()))
        return ExitUsage;
    // A target that names nothing now is a typing error, told now rather than at night.
    std::vector<ProjectorNode *> nodes;
    if (!ResolveTargets(context.manager, schedule.targets, nodes))
        return ExitRefused;

    std::vector<Schedule> schedules = context.doc.GetSchedules();
    if (std::any_of(schedules.begin(), schedules.end(),
                    [&](const Schedule &s) { return s.name == schedule.name; })) {
        ShowUserMessage(FormatText(LoadString(CTL_SCHEDULE_EXISTS), {schedule.name}));
        return ExitRefused;
    }
    schedules.push_back(schedule);
    return SaveAndSync(context, std::move(schedules));
}

int RunScheduleRemove(CommandContext &context, const CommandArgs &args)
{
    std::vector<Schedule> schedules = context.doc.GetSchedules();
    const qsizetype found = FindSchedule(schedules, args.positional.at(0));
    if (found < 0)
        return ExitRefused;
    schedules.erase(schedules.begin() + found);
    const int status = SaveAndSync(context, schedules);
    QStringList names;
    for (const Schedule &schedule : schedules)
        names << schedule.name;
    ForgetScheduleRuns(context.doc.GetSettingsPath(), names);
    return status;
}

int RunScheduleEnable(CommandContext &context, const CommandArgs &args)
{
    return SetEnabled(context, args, true);
}

int RunScheduleDisable(CommandContext &context, const CommandArgs &args)
{
    return SetEnabled(context, args, false);
}

int RunScheduleSync(CommandContext &context, const CommandArgs &)
{
    return SyncAfterChange(context);
}

int RunScheduleList(CommandContext &context, const CommandArgs &)
{
    const std::vector<Schedule> &schedules = context.doc.GetSchedules();
    const std::map<QString, ScheduleRunRecord> runs =
        ReadScheduleRuns(context.doc.GetSettingsPath());
    const QDateTime now = QDateTime::currentDateTime();
    const QTimeZone zone = QTimeZone::systemTimeZone();

    QList<QStringList> rows{LoadString(CTL_SCHEDULE_HEADING).split(u'\t')};
    QStringList failures;
    QJsonArray list;
    for (const Schedule &schedule : schedules) {
        const std::optional<QDateTime> next = NextScheduleRun(schedule, now, zone);
        QJsonObject object{
            {u"name"_s, schedule.name},
            {u"enabled"_s, schedule.enabled},
            {u"action"_s, ScheduleActionText(schedule.action)},
            {u"targets"_s, QJsonArray::fromStringList(schedule.targets)},
            {u"when"_s, ScheduleDaysText(schedule)},
            {u"warmUpLimit"_s, schedule.warmUpLimit},
            {u"nextRun"_s,
             next ? QJsonValue(next->toOffsetFromUtc(next->offsetFromUtc()).toString(Qt::ISODate))
                  : QJsonValue()}};
        QStringList exceptions;
        for (const QDate &date : schedule.exceptions)
            exceptions << date.toString(Qt::ISODate);
        object.insert(u"exceptions"_s, QJsonArray::fromStringList(exceptions));

        QString last = LoadString(CTL_NEVER);
        QJsonValue lastJson;
        if (const auto it = runs.find(schedule.name); it != runs.end()) {
            const ScheduleRunRecord &run = it->second;
            QJsonArray projectors;
            for (const ScheduleRunProjector &p : run.projectors) {
                projectors.append(QJsonObject{{u"name"_s, p.name},
                                              {u"ipAddress"_s, p.ipAddress},
                                              {u"groupPath"_s, p.groupPath},
                                              {u"outcome"_s, p.outcome},
                                              {u"line"_s, p.line}});
                if (p.outcome != u"done"_s)
                    failures << FormatText(LoadString(MSG_SCHEDULE_PROJECTOR),
                                           {schedule.name, p.line});
            }
            QJsonObject lastRun{{u"at"_s, run.at.toLocalTime()
                                              .toOffsetFromUtc(run.at.toLocalTime().offsetFromUtc())
                                              .toString(Qt::ISODate)},
                                {u"done"_s, run.DoneCount()},
                                {u"notDone"_s, run.NotDoneCount()},
                                {u"projectors"_s, projectors}};
            if (run.skipped != ScheduleSkip::None) {
                lastRun.insert(u"skipped"_s, SkipText(run.skipped));
                last =
                    FormatText(LoadString(CTL_SKIPPED), {LocalTime(run.at), SkipText(run.skipped)});
            } else {
                last = FormatText(LoadString(CTL_LAST_RUN),
                                  {LocalTime(run.at), QString::number(run.DoneCount()),
                                   QString::number(run.NotDoneCount())});
            }
            if (!run.problem.isEmpty()) {
                lastRun.insert(u"problem"_s, run.problem);
                failures << FormatText(LoadString(MSG_SCHEDULE_PROJECTOR),
                                       {schedule.name, run.problem});
            }
            lastJson = lastRun;
        }
        object.insert(u"lastRun"_s, lastJson);
        list.append(object);
        rows << QStringList{schedule.name,
                            LoadString(schedule.enabled ? CTL_ENABLED : CTL_DISABLED),
                            ScheduleActionText(schedule.action),
                            schedule.targets.join(u' '),
                            ScheduleDaysText(schedule),
                            next ? LocalTime(*next) : u"-"_s,
                            last};
    }
    context.report.Set(u"schedules"_s, list);
    if (schedules.empty())
        context.report.Line(LoadString(CTL_NO_SCHEDULES));
    else
        context.report.Table(rows);
    for (const QString &failure : std::as_const(failures))
        context.report.Line(failure);

    // The crontab as it is: a difference is told, never mended by listing.
    bool matches = false;
    const CrontabResult read = CrontabMatches(schedules, context.doc.GetSettingsPath(), matches);
    context.report.Set(u"crontabMatches"_s, matches);
    if (read.status != CrontabResult::Ok)
        ShowUserMessage(CrontabProblemText(read), MessageIcon::Warning);
    else if (!matches)
        ShowUserMessage(LoadString(CTL_CRON_OUT_OF_SYNC), MessageIcon::Warning);
    return ExitDone;
}

int RunScheduleRun(CommandContext &context, const CommandArgs &args)
{
    const QString settingsPath = context.doc.GetSettingsPath();
    const qsizetype found = FindSchedule(context.doc.GetSchedules(), args.positional.at(0));
    if (found < 0)
        return ExitRefused;
    const Schedule schedule = context.doc.GetSchedules()[size_t(found)];
    const QString action = ScheduleActionText(schedule.action);

    ScheduleRunRecord record;
    record.at = QDateTime::currentDateTimeUtc();
    int status = ExitDone;
    QString logLine;
    int level = ActionEvent::Information;
    record.skipped = ScheduleSkipOn(schedule, QDate::currentDate());
    if (record.skipped != ScheduleSkip::None) {
        logLine = FormatText(LoadString(record.skipped == ScheduleSkip::ExceptionDate
                                            ? MSG_SCHEDULE_SKIPPED_EXCEPTION
                                            : MSG_SCHEDULE_SKIPPED_PASSED),
                             {schedule.name});
        ShowUserMessage(logLine, MessageIcon::Information);
    } else {
        std::vector<ProjectorOutcome> outcomes;
        status = RunAction(context, schedule.targets, schedule.action,
                           std::chrono::seconds(schedule.warmUpLimit), &outcomes);
        for (const ProjectorOutcome &outcome : outcomes) {
            const Projector &projector = *outcome.projector;
            record.projectors.push_back(
                {projector.GetName(), projector.GetIPAddress(), projector.GetPath(),
                 OutcomeWord(outcome.outcome),
                 outcome.outcome == CommandOutcome::Done ? QString() : OutcomeLine(outcome)});
        }
        if (outcomes.empty()) {
            // The targets named nothing (a group emptied or a projector removed since).
            record.problem = u"no projector"_s;
            logLine = FormatText(LoadString(MSG_SCHEDULE_NOTHING),
                                 {schedule.name, action, schedule.targets.join(u' ')});
            status = ExitRefused;
        } else {
            logLine = FormatText(LoadString(MSG_SCHEDULE_RUN),
                                 {schedule.name, action, QString::number(record.DoneCount()),
                                  QString::number(record.projectors.size())});
        }
        if (status != ExitDone)
            level = ActionEvent::Warning;
    }
    QString reason;
    if (!RecordScheduleRun(settingsPath, schedule.name, record, &reason)) {
        ShowUserMessage(FormatText(LoadString(CTL_SCHEDULE_STATE_UNWRITABLE), {reason}));
        status = ExitRefused;
    }
    if (!AppendToEventLog(settingsPath, ActionEvent(u"lumarinctl"_s, logLine, level)))
        ShowUserMessage(
            FormatText(LoadString(CTL_SCHEDULE_STATE_UNWRITABLE), {EventLogPathFor(settingsPath)}));
    context.report.Line(logLine);
    return status;
}
