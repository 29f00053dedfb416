#include "store/crontab.h"

#include "res/stringids.h"
#include "res/stringtable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

namespace {

constexpr int kCrontabTimeoutMs = 30000;

QString BeginMarker(const QString &settingsPath)
{
    return u"# BEGIN lumarin schedules of "_s + settingsPath +
           u" (written by lumarinctl schedule sync)"_s;
}

QString EndMarker(const QString &settingsPath)
{
    return u"# END lumarin schedules of "_s + settingsPath;
}

// Cron turns an unescaped '%' of the command into a line break.
QString CronEscaped(const QString &command)
{
    QString escaped = command;
    escaped.replace(u"%"_s, u"\\%"_s);
    return escaped;
}

CrontabResult RunCrontab(const QStringList &arguments, const QByteArray &input)
{
    CrontabResult result;
    const QString program = QStandardPaths::findExecutable(u"crontab"_s);
    if (program.isEmpty()) {
        result.status = CrontabResult::Missing;
        return result;
    }
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(kCrontabTimeoutMs)) {
        result.status = CrontabResult::Missing;
        return result;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(kCrontabTimeoutMs)) {
        process.kill();
        process.waitForFinished(kCrontabTimeoutMs);
        result.status = CrontabResult::Failed;
        result.reason = u"crontab did not finish"_s;
        return result;
    }
    result.text = QString::fromUtf8(process.readAllStandardOutput());
    const QString error = QString::fromUtf8(process.readAllStandardError()).trimmed();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        result.status = CrontabResult::Failed;
        result.reason = error.isEmpty() ? u"crontab failed"_s : error;
    }
    return result;
}

} // namespace

QString LumarinctlBesideProgram()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(u"lumarinctl"_s);
}

QStringList ScheduleCronLines(const std::vector<Schedule> &schedules, const QString &lumarinctl,
                              const QString &settingsPath, const QDate &today)
{
    QStringList lines;
    for (const Schedule &schedule : schedules) {
        if (!schedule.enabled || (schedule.date.isValid() &&
                                  ScheduleSkipOn(schedule, today) == ScheduleSkip::DatePassed))
            continue;
        lines << CronTimeFields(schedule) + u' ' +
                     CronEscaped(ShellQuote(lumarinctl) + u" --settings "_s +
                                 ShellQuote(settingsPath) + u" schedule run "_s +
                                 ShellQuote(schedule.name) + u" >/dev/null"_s);
    }
    return lines;
}

QString ReplaceCronBlock(const QString &crontab, const QString &settingsPath,
                         const QStringList &lines)
{
    const QString begin = BeginMarker(settingsPath);
    const QString end = EndMarker(settingsPath);
    QStringList kept;
    bool inBlock = false;
    bool placed = false;
    const auto place = [&] {
        if (placed || lines.isEmpty())
            return;
        kept << begin << lines << end;
        placed = true;
    };
    QStringList all = crontab.split(u'\n');
    if (!all.isEmpty() && all.back().isEmpty())
        all.removeLast();
    for (const QString &line : std::as_const(all)) {
        if (!inBlock && line == begin) {
            inBlock = true;
            continue;
        }
        if (inBlock) {
            if (line == end) {
                inBlock = false;
                place(); // where the block stood
            }
            continue;
        }
        kept << line;
    }
    place();
    return kept.isEmpty() ? QString() : kept.join(u'\n') + u'\n';
}

QStringList CronBlockLines(const QString &crontab, const QString &settingsPath)
{
    const QString begin = BeginMarker(settingsPath);
    const QString end = EndMarker(settingsPath);
    QStringList lines;
    bool inBlock = false;
    for (const QString &line : crontab.split(u'\n')) {
        if (line == begin)
            inBlock = true;
        else if (line == end)
            return lines;
        else if (inBlock)
            lines << line;
    }
    return lines;
}

CrontabResult ReadCrontab()
{
    CrontabResult result = RunCrontab({u"-l"_s}, {});
    // A user without a crontab: "no crontab for USER", exit status 1.
    if (result.status == CrontabResult::Failed && result.reason.startsWith(u"no crontab for"_s)) {
        result.status = CrontabResult::Ok;
        result.text.clear();
        result.reason.clear();
    }
    return result;
}

CrontabResult WriteCrontab(const QString &text)
{
    return RunCrontab({u"-"_s}, text.toUtf8());
}

CrontabResult SyncCrontab(const std::vector<Schedule> &schedules, const QString &settingsPath)
{
    CrontabResult read = ReadCrontab();
    if (read.status != CrontabResult::Ok)
        return read;
    const QString wanted = ReplaceCronBlock(read.text, settingsPath,
                                            ScheduleCronLines(schedules, LumarinctlBesideProgram(),
                                                              settingsPath, QDate::currentDate()));
    if (wanted == read.text)
        return read;
    return WriteCrontab(wanted);
}

CrontabResult CrontabMatches(const std::vector<Schedule> &schedules, const QString &settingsPath,
                             bool &matches)
{
    const CrontabResult read = ReadCrontab();
    matches = read.status == CrontabResult::Ok &&
              CronBlockLines(read.text, settingsPath) ==
                  ScheduleCronLines(schedules, LumarinctlBesideProgram(), settingsPath,
                                    QDate::currentDate());
    return read;
}

QString CrontabProblemText(const CrontabResult &result)
{
    if (result.status == CrontabResult::Missing)
        return LoadString(MSG_CRONTAB_MISSING);
    return FormatText(LoadString(MSG_CRONTAB_FAILED), {result.reason});
}
