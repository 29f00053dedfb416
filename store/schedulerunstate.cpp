#include "store/schedulerunstate.h"

#include "model/actionevent.h"
#include "store/settingslocation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>

#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Longer than any write of the file takes; a lock left by a crashed run is taken over then.
constexpr int kLockWaitMs = 10000;

QString SkipWord(ScheduleSkip skip)
{
    switch (skip) {
    case ScheduleSkip::ExceptionDate:
        return u"exception-date"_s;
    case ScheduleSkip::DatePassed:
        return u"date-passed"_s;
    case ScheduleSkip::None:
        break;
    }
    return {};
}

ScheduleSkip SkipOfWord(const QString &word)
{
    if (word == u"exception-date"_s)
        return ScheduleSkip::ExceptionDate;
    if (word == u"date-passed"_s)
        return ScheduleSkip::DatePassed;
    return ScheduleSkip::None;
}

QJsonObject ReadObject(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

// Reads, changes and writes the file whole under its lock file.
bool Update(const QString &settingsPath, const std::function<void(QJsonObject &)> &change,
            QString *reason)
{
    const QString path = ScheduleStatePathFor(settingsPath);
    QLockFile lock(path + u".lock"_s);
    lock.setStaleLockTime(kLockWaitMs * 3);
    if (!lock.tryLock(kLockWaitMs)) {
        if (reason)
            *reason = u"%1.lock is held by another program"_s.arg(path);
        return false;
    }
    QJsonObject root = ReadObject(path);
    QJsonObject schedules = root.value(u"schedules"_s).toObject();
    change(schedules);
    root.insert(u"schedules"_s, schedules);
    QSaveFile file(path);
    const QByteArray content = QJsonDocument(root).toJson(QJsonDocument::Indented);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() ||
        !file.commit()) {
        if (reason)
            *reason = u"%1: %2"_s.arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace

int ScheduleRunRecord::DoneCount() const
{
    return int(std::count_if(projectors.begin(), projectors.end(),
                             [](const ScheduleRunProjector &p) { return p.outcome == u"done"_s; }));
}

int ScheduleRunRecord::NotDoneCount() const
{
    return int(projectors.size()) - DoneCount();
}

QString ScheduleStatePathFor(const QString &settingsPath)
{
    const QFileInfo log(EventLogPathFor(settingsPath));
    return log.dir().filePath(QFileInfo(settingsPath).completeBaseName() +
                              u".schedule-runs.json"_s);
}

std::map<QString, ScheduleRunRecord> ReadScheduleRuns(const QString &settingsPath)
{
    std::map<QString, ScheduleRunRecord> runs;
    const QJsonObject schedules =
        ReadObject(ScheduleStatePathFor(settingsPath)).value(u"schedules"_s).toObject();
    for (auto it = schedules.begin(); it != schedules.end(); ++it) {
        const QJsonObject run = it.value().toObject();
        ScheduleRunRecord record;
        record.at = QDateTime::fromString(run.value(u"at"_s).toString(), Qt::ISODate);
        if (!record.at.isValid())
            continue;
        record.skipped = SkipOfWord(run.value(u"skipped"_s).toString());
        record.problem = run.value(u"problem"_s).toString();
        for (const QJsonValue &value : run.value(u"projectors"_s).toArray()) {
            const QJsonObject p = value.toObject();
            record.projectors.push_back(
                {p.value(u"name"_s).toString(), p.value(u"ipAddress"_s).toString(),
                 p.value(u"groupPath"_s).toString(), p.value(u"outcome"_s).toString(),
                 p.value(u"line"_s).toString()});
        }
        runs.emplace(it.key(), record);
    }
    return runs;
}

bool RecordScheduleRun(const QString &settingsPath, const QString &name,
                       const ScheduleRunRecord &record, QString *reason)
{
    QJsonArray projectors;
    for (const ScheduleRunProjector &p : record.projectors)
        projectors.append(QJsonObject{{u"name"_s, p.name},
                                      {u"ipAddress"_s, p.ipAddress},
                                      {u"groupPath"_s, p.groupPath},
                                      {u"outcome"_s, p.outcome},
                                      {u"line"_s, p.line}});
    QJsonObject run{{u"at"_s, record.at.toUTC().toString(Qt::ISODate)},
                    {u"projectors"_s, projectors}};
    if (record.skipped != ScheduleSkip::None)
        run.insert(u"skipped"_s, SkipWord(record.skipped));
    if (!record.problem.isEmpty())
        run.insert(u"problem"_s, record.problem);
    return Update(
        settingsPath, [&](QJsonObject &schedules) { schedules.insert(name, run); }, reason);
}

bool ForgetScheduleRuns(const QString &settingsPath, const QStringList &names)
{
    if (!QFileInfo::exists(ScheduleStatePathFor(settingsPath)))
        return true;
    return Update(
        settingsPath,
        [&](QJsonObject &schedules) {
            for (const QString &key : schedules.keys()) {
                if (!names.contains(key))
                    schedules.remove(key);
            }
        },
        nullptr);
}

bool AppendToEventLog(const QString &settingsPath, const ActionEvent &event)
{
    QFile log(EventLogPathFor(settingsPath));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    // One write of the whole line: with O_APPEND it lands whole after the others' lines.
    const QByteArray line = event.LogLine().toUtf8();
    return log.write(line) == line.size() && log.flush();
}
