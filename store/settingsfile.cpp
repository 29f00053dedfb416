#include "store/settingsfile.h"

#include "model/group.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "platform/profile.h"
#include "platform/settingscodec.h"
#include "store/settingslock.h"
#include "store/usermessage.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>
#include <QStringList>

#include <atomic>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr QStringView kGroupSection = u"Group";
constexpr QStringView kProjectorSection = u"Projector";
constexpr QStringView kPropertySection = u"Property";
constexpr QStringView kScheduleSection = u"Schedule";
// name, enabled, time, days, date, exceptions, warm-up limit, action, then one field per target
constexpr int kScheduleFields = 9;
constexpr int kPjlinkPort = 4352;
constexpr int kGroupFields = 2;
constexpr int kProjectorFields = 5;

std::atomic<void (*)()> g_beforeCommit{nullptr};

bool IsScanfSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

// A decimal integer read the way scanf's "%d" reads one: leading white space, a sign, digits up
// to the first other character. None without a digit. Saturates far beyond any valid value, so
// a long run of digits is simply out of range.
std::optional<long long> ScanInteger(QStringView text)
{
    constexpr long long kSaturated = 1'000'000'000'000LL;
    qsizetype i = 0;
    while (i < text.size() && IsScanfSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    long long value = 0;
    bool digits = false;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        digits = true;
        value = std::min(value * 10 + (text[i].unicode() - u'0'), kSaturated);
    }
    if (!digits)
        return std::nullopt;
    return negative ? -value : value;
}

// "-1", which a missing key yields too, makes the section invalid. Text that is no number
// leaves the member as it was.
bool ReadMinutesOrSeconds(const platform::ProfileFile &profile, QStringView key, int &member)
{
    const QString value = profile.GetString(kPropertySection, key, u"-1"_s);
    if (value == u"-1"_s)
        return false;
    if (const std::optional<long long> number = ScanInteger(value))
        member = Preferences::InRange(*number);
    return true;
}

bool ReadFlag(const platform::ProfileFile &profile, QStringView key, const QString &defaultValue,
              bool &member)
{
    const QString value = profile.GetString(kPropertySection, key, defaultValue);
    if (value != u"0"_s && value != u"1"_s)
        return false;
    member = value == u"1"_s;
    return true;
}

void CollectFullPaths(const Group &group, QSet<QString> &fullPaths)
{
    for (const Group *child : group.GetChildGroups()) {
        fullPaths.insert(child->GetFullPath());
        CollectFullPaths(*child, fullPaths);
    }
}

void AppendLine(QByteArray &out, int number, const QString &value)
{
    out += QByteArray::number(number);
    out += '=';
    out += value.toUtf8();
    out += "\r\n";
}

void AppendFlag(QByteArray &out, const char *key, bool value)
{
    out += key;
    out += value ? "=1\r\n" : "=0\r\n";
}

void WriteGroupsBelow(QByteArray &out, const Group &group, int &number)
{
    for (const Group *child : group.GetChildGroups()) {
        AppendLine(out, ++number,
                   platform::EncodeText(child->GetName()) + u':' +
                       platform::EncodeText(child->GetPath()));
        WriteGroupsBelow(out, *child, number);
    }
}

} // namespace

bool ReadProperties(const platform::ProfileFile &profile, Preferences &prefs)
{
    if (!ReadMinutesOrSeconds(profile, u"RefreshInterval", prefs.refreshInterval))
        return false;
    if (!ReadMinutesOrSeconds(profile, u"Timeout", prefs.timeout))
        return false;
    return ReadFlag(profile, u"ShowInformation", u"1"_s, prefs.showInformation) &&
           ReadFlag(profile, u"DisplayOnlyError", u"0"_s, prefs.displayOnlyError) &&
           ReadFlag(profile, u"EntryManagerDlg", u"0"_s, prefs.entryManagerDlg);
}

bool IsSettingsContent(const QByteArray &content)
{
    if (content.isEmpty())
        return true;
    const platform::ProfileFile profile(content);
    return profile.HasSection(kGroupSection) || profile.HasSection(kProjectorSection) ||
           profile.HasSection(kPropertySection);
}

bool IsSettingsFileOrMissing(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return file.size() == 0 || IsSettingsContent(file.readAll());
}

QString NotSettingsFileMessage(const QString &path)
{
    return u"%1 is not a settings file: it has none of the sections [Group], [Projector] and "
           "[Property]. It is left as it is."_s.arg(QDir::toNativeSeparators(path));
}

void ApplyLibrarySettings(const Preferences &prefs)
{
    ProjectorManager::SetRecvTimeOut(prefs.timeout);
    ProjectorManager::SetPort(kPjlinkPort);
}

void ReadGroups(const platform::ProfileFile &profile, ProjectorManager &manager)
{
    // Placing a group searches the tree for its parent. Knowing every full path up front lets a
    // line without a parent go without that search, and the cap bounds the searches that are
    // left: no registry the program builds comes near it.
    QSet<QString> fullPaths;
    CollectFullPaths(*manager.GetRoot(), fullPaths);
    int added = 0;
    for (int n = 1; added < MAX_LOADED_GROUPS; ++n) {
        const QString value = profile.GetString(kGroupSection, QString::number(n), QString());
        if (value.isEmpty())
            break;
        const QStringList fields = platform::SplitFields(value);
        if (fields.size() < kGroupFields)
            continue;
        const QString path = platform::DecodeText(fields[1]);
        if (path != u"/"_s && !fullPaths.contains(path))
            continue;
        if (Group *group =
                manager.AddGroup(std::make_unique<Group>(platform::DecodeText(fields[0]), path))) {
            fullPaths.insert(group->GetFullPath());
            ++added;
        }
    }
}

bool ReadProjectors(const platform::ProfileFile &profile, ProjectorManager &manager)
{
    for (int n = 1;; ++n) {
        const QString value = profile.GetString(kProjectorSection, QString::number(n), QString());
        if (value.isEmpty())
            return true;
        const QStringList fields = platform::SplitFields(value);
        // A ':' gets into the address only through an escape; written back plain it would shift
        // the line's fields, so such a line is as damaged as a short one.
        if (fields.size() < kProjectorFields || fields[1].contains(u':'))
            continue;
        auto projector = std::make_unique<Projector>(platform::DecodeText(fields[0]), fields[1],
                                                     platform::UnscramblePassword(fields[2]),
                                                     fields[3], platform::DecodeText(fields[4]));
        if (!manager.AddProjector(std::move(projector)))
            return false;
    }
}

void WriteGroups(QByteArray &out, const Group &root)
{
    int number = 0;
    WriteGroupsBelow(out, root, number);
}

void WriteProjectors(QByteArray &out, const std::vector<Projector *> &projectors)
{
    int number = 0;
    for (const Projector *projector : projectors) {
        // Every projector reports "Specify IP Address", whose letter is M.
        AppendLine(out, ++number,
                   platform::EncodeText(projector->GetName()) + u':' + projector->GetIPAddress() +
                       u':' + platform::ScramblePassword(projector->GetPassword()) + u":M:"_s +
                       platform::EncodeText(projector->GetPath()));
    }
}

void WriteProperties(QByteArray &out, const Preferences &prefs)
{
    out += "[Property]\r\n";
    out += "RefreshInterval=" + QByteArray::number(prefs.refreshInterval) + "\r\n";
    out += "Timeout=" + QByteArray::number(prefs.timeout) + "\r\n";
    AppendFlag(out, "ShowInformation", prefs.showInformation);
    AppendFlag(out, "DisplayOnlyError", prefs.displayOnlyError);
    AppendFlag(out, "EntryManagerDlg", prefs.entryManagerDlg);
}

std::vector<Schedule> ReadSchedules(const platform::ProfileFile &profile)
{
    std::vector<Schedule> schedules;
    QSet<QString> names;
    for (int n = 1; n <= MAX_SCHEDULES; ++n) {
        const QString value = profile.GetString(kScheduleSection, QString::number(n), QString());
        if (value.isEmpty())
            break;
        const QStringList fields = platform::SplitFields(value);
        if (fields.size() < kScheduleFields)
            continue;
        Schedule schedule;
        schedule.name = platform::DecodeText(fields[0]);
        schedule.enabled = fields[1] != u"0"_s;
        bool daysRead = false;
        schedule.days = fields[3].toInt(&daysRead) & kEveryDay;
        bool limitRead = false;
        schedule.warmUpLimit = fields[6].toInt(&limitRead);
        QStringList actionWords = platform::DecodeText(fields[7]).split(u' ');
        std::optional<QString> inputType;
        if (const qsizetype at = actionWords.indexOf(u"--input"_s); at >= 0) {
            inputType = actionWords.value(at + 1);
            actionWords.remove(at, std::min<qsizetype>(2, actionWords.size() - at));
        }
        qsizetype used = 0;
        const bool sound =
            ParseScheduleName(schedule.name) == ScheduleError::None &&
            !names.contains(schedule.name) && fields[2].size() == 4 &&
            ParseScheduleTime(fields[2].left(2) + u':' + fields[2].mid(2), schedule.at) ==
                ScheduleError::None &&
            daysRead &&
            (fields[4].isEmpty() ||
             ParseScheduleDate(fields[4], schedule.date) == ScheduleError::None) &&
            (schedule.date.isValid() != (schedule.days != 0)) &&
            ParseExceptionDates(fields[5], schedule.exceptions) == ScheduleError::None &&
            limitRead && schedule.warmUpLimit >= 1 && schedule.warmUpLimit <= MAX_WARM_UP_LIMIT &&
            ParseScheduleAction(actionWords, inputType, schedule.action, used) ==
                ScheduleError::None &&
            used == actionWords.size();
        if (!sound)
            continue;
        for (qsizetype i = kScheduleFields - 1; i < fields.size(); ++i) {
            const QString target = platform::DecodeText(fields[i]);
            if (!target.isEmpty())
                schedule.targets << target;
        }
        if (schedule.targets.isEmpty())
            continue;
        names.insert(schedule.name);
        schedules.push_back(schedule);
    }
    return schedules;
}

void WriteSchedules(QByteArray &out, const std::vector<Schedule> &schedules)
{
    if (schedules.empty())
        return;
    out += "\r\n[Schedule]\r\n";
    int number = 0;
    for (const Schedule &schedule : schedules) {
        QStringList exceptions;
        for (const QDate &date : schedule.exceptions)
            exceptions << date.toString(Qt::ISODate);
        QStringList fields{platform::EncodeText(schedule.name),
                           schedule.enabled ? u"1"_s : u"0"_s,
                           schedule.at.toString(u"HH:mm"_s).remove(u':'),
                           QString::number(schedule.date.isValid() ? 0 : schedule.days),
                           schedule.date.isValid() ? schedule.date.toString(Qt::ISODate)
                                                   : QString(),
                           exceptions.join(u','),
                           QString::number(schedule.warmUpLimit),
                           platform::EncodeText(ScheduleActionText(schedule.action))};
        for (const QString &target : schedule.targets)
            fields << platform::EncodeText(target);
        AppendLine(out, ++number, fields.join(u':'));
    }
}

QByteArray SettingsContent(const Group &root, const std::vector<Projector *> &projectors,
                           const Preferences &prefs, const std::vector<Schedule> &schedules)
{
    QByteArray out = "[Group]\r\n";
    WriteGroups(out, root);
    out += "\r\n[Projector]\r\n";
    WriteProjectors(out, projectors);
    out += "\r\n";
    WriteProperties(out, prefs);
    WriteSchedules(out, schedules);
    return out;
}

const SettingsWriteError &SettingsWriteResult::GetError() const
{
    Q_ASSERT(m_error.has_value());
    return *m_error;
}

SettingsWriteResult WriteSettingsFile(const QString &path, const QByteArray &content)
{
    using Kind = SettingsWriteError::Kind;
    const QFileInfo target(path);
    const QFileInfo directory(target.absolutePath());
    if ((target.exists() && !target.isWritable()) || (directory.isDir() && !directory.isWritable()))
        return SettingsWriteError{Kind::AccessDenied, QString()};
    if (target.exists() && !IsSettingsFileOrMissing(path))
        return SettingsWriteError{Kind::NotSettingsFile, QString()};

    QSaveFile file(path);
    const auto fail = [&file] {
        const QString reason = file.errorString();
        file.cancelWriting();
        return SettingsWriteError{Kind::WriteFailed, reason};
    };
    // Unbuffered, so that a full disk shows in the write's own result rather than in a flush
    // that could go unnoticed.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return SettingsWriteError{Kind::WriteFailed, file.errorString()};
    // Before any content: a new file would otherwise be readable by everyone, and a replaced
    // one keeps whatever mode it had.
    if (!file.setPermissions(QFile::ReadOwner | QFile::WriteOwner))
        return fail();
    if (file.write(content) != content.size() || !file.flush() ||
        file.error() != QFileDevice::NoError)
        return fail();
    if (void (*hook)() = g_beforeCommit.load())
        hook();
    if (!file.commit())
        return SettingsWriteError{Kind::WriteFailed, file.errorString()};
    return {};
}

bool SaveSettingsContent(const QString &path, const QByteArray &content, bool lock)
{
    const QString file = QDir::toNativeSeparators(path);
    const QString denied =
        u"Unable to write to %1, it is read-only or opened by someone else."_s.arg(file);
    // Told before the lock is tried: the lock file could not be made there either.
    const QFileInfo target(path);
    const QFileInfo directory(target.absolutePath());
    if ((target.exists() && !target.isWritable()) ||
        (directory.isDir() && !directory.isWritable())) {
        ShowUserMessage(denied);
        return false;
    }
    std::optional<SettingsLock> held;
    if (lock) {
        held.emplace(path);
        if (!held->IsHeld()) {
            ShowUserMessage(u"Failed to save document.\n"_s + held->GetError());
            return false;
        }
    }
    const SettingsWriteResult written = WriteSettingsFile(path, content);
    if (written.IsWritten())
        return true;
    switch (written.GetError().kind) {
    case SettingsWriteError::Kind::AccessDenied:
        ShowUserMessage(denied);
        break;
    case SettingsWriteError::Kind::NotSettingsFile:
        ShowUserMessage(u"Failed to save document.\n"_s + NotSettingsFileMessage(path));
        break;
    case SettingsWriteError::Kind::WriteFailed:
        ShowUserMessage(u"Failed to save document.\n%1: %2"_s.arg(file, written.GetError().reason));
        break;
    }
    return false;
}

bool CreateEmptySettingsFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                     QFile::ReadOwner | QFile::WriteOwner);
}

void SetBeforeCommitHook(void (*hook)())
{
    g_beforeCommit.store(hook);
}
