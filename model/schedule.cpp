#include "model/schedule.h"

#include "model/mutestatus.h"
#include "res/stringids.h"
#include "res/stringtable.h"

#include <QRegularExpression>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

const QStringList kDayNames{u"mon"_s, u"tue"_s, u"wed"_s, u"thu"_s, u"fri"_s, u"sat"_s, u"sun"_s};

int DayIndex(const QString &name)
{
    return int(kDayNames.indexOf(name.toLower()));
}

bool ParseOnOff(const QString &text, bool &on)
{
    on = text == u"on"_s;
    return on || text == u"off"_s;
}

// An input type as its number 1 to 6 or its name in either table language, any case.
int ParseInputType(const QString &text)
{
    bool isNumber = false;
    const int number = text.toInt(&isNumber);
    if (isNumber)
        return number >= InputStatus::RGB && number <= InputStatus::Internal ? number : -1;
    for (int type = InputStatus::RGB; type <= InputStatus::Internal; ++type) {
        const int id =
            type == InputStatus::Internal ? STR_INPUT_INTERNAL : STR_INPUT_TYPE_BASE + type;
        for (StringLanguage language : {StringLanguage::English, StringLanguage::Japanese}) {
            if (text.compare(LoadStringFor(id, language), Qt::CaseInsensitive) == 0)
                return type;
        }
    }
    return -1;
}

QString MuteWord(int mute)
{
    return mute == MuteStatus::Video   ? u"video"_s
           : mute == MuteStatus::Audio ? u"audio"_s
                                       : u"both"_s;
}

// The moment the schedule's time falls on date in zone. A time the clocks skip that day is
// taken as the moment they jump past it, as cron runs such jobs; a time that comes twice is
// taken the first time.
QDateTime RunMoment(const QDate &date, const QTime &at, const QTimeZone &zone)
{
    // Scan the day's transitions: at most a few a day, bounded by the loop below.
    const QDateTime dayStart = QDateTime(date, QTime(0, 0), zone);
    const QDateTime dayEnd = QDateTime(date.addDays(1), QTime(0, 0), zone);
    const QDateTime moment(date, at, zone);
    if (moment.isValid() && moment.date() == date && moment.time() == at) {
        // The earlier of the two, when the hour repeats: one hour before may read the same.
        for (int offsetHours : {1, 2}) {
            const QDateTime earlier = moment.addSecs(-3600LL * offsetHours);
            const QDateTime local = earlier.toTimeZone(zone);
            if (local.date() == date && local.time() == at)
                return earlier;
        }
        return moment;
    }
    // Skipped: the first transition of the day after the day's start is the jump.
    const QTimeZone::OffsetData next = zone.nextTransition(dayStart.addSecs(-1));
    if (next.atUtc.isValid() && next.atUtc < dayEnd.toUTC())
        return next.atUtc.toTimeZone(zone);
    return moment; // no transition found: Qt's own choice
}

bool IsRunDay(const Schedule &schedule, const QDate &date)
{
    if (schedule.exceptions.contains(date))
        return false;
    if (schedule.date.isValid())
        return date == schedule.date;
    return (schedule.days & (1 << (date.dayOfWeek() - 1))) != 0;
}

// Cron's day-of-week numbers of the weekday bits, runs of three or more as ranges.
QString CronDays(int days)
{
    if ((days & kEveryDay) == kEveryDay)
        return u"*"_s;
    QList<int> numbers; // cron: 0 Sunday .. 6 Saturday
    for (int day = 0; day < 7; ++day) {
        if (days & (1 << day))
            numbers << (day + 1) % 7;
    }
    std::sort(numbers.begin(), numbers.end());
    QStringList parts;
    for (qsizetype i = 0; i < numbers.size();) {
        qsizetype j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1)
            ++j;
        if (j - i >= 2)
            parts << u"%1-%2"_s.arg(numbers[i]).arg(numbers[j]);
        else
            for (qsizetype k = i; k <= j; ++k)
                parts << QString::number(numbers[k]);
        i = j + 1;
    }
    return parts.join(u',');
}

} // namespace

QString ScheduleErrorText(ScheduleError error, const QString &word)
{
    int id = 0;
    switch (error) {
    case ScheduleError::None:
        return {};
    case ScheduleError::Name:
        id = STR_SCHEDULE_BAD_NAME;
        break;
    case ScheduleError::Time:
        id = STR_SCHEDULE_BAD_TIME;
        break;
    case ScheduleError::Days:
        id = STR_SCHEDULE_BAD_DAYS;
        break;
    case ScheduleError::Date:
    case ScheduleError::Exceptions:
        id = STR_SCHEDULE_BAD_DATE;
        break;
    case ScheduleError::DaysAndDate:
        id = STR_SCHEDULE_DAYS_AND_DATE;
        break;
    case ScheduleError::Action:
        id = STR_SCHEDULE_BAD_ACTION;
        break;
    case ScheduleError::InputType:
        id = STR_SCHEDULE_BAD_INPUT;
        break;
    case ScheduleError::MuteKind:
        id = STR_SCHEDULE_BAD_MUTE;
        break;
    case ScheduleError::OnOff:
        id = STR_SCHEDULE_BAD_ON_OFF;
        break;
    case ScheduleError::WarmUpLimit:
        id = STR_SCHEDULE_BAD_WARM_UP;
        break;
    case ScheduleError::NoTargets:
        id = STR_SCHEDULE_NO_TARGETS;
        break;
    }
    return FormatText(LoadString(id), {word, QString::number(MAX_WARM_UP_LIMIT)});
}

ScheduleError ParseScheduleName(const QString &text)
{
    if (text.trimmed().isEmpty() || text.size() > MAX_SCHEDULE_NAME ||
        std::any_of(text.begin(), text.end(),
                    [](QChar c) { return c.category() == QChar::Other_Control; }))
        return ScheduleError::Name;
    return ScheduleError::None;
}

ScheduleError ParseScheduleTime(const QString &text, QTime &at)
{
    static const QRegularExpression pattern(u"^([0-9]{1,2}):([0-9]{2})$"_s);
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return ScheduleError::Time;
    const int hour = match.captured(1).toInt();
    const int minute = match.captured(2).toInt();
    if (hour > 23 || minute > 59)
        return ScheduleError::Time;
    at = QTime(hour, minute);
    return ScheduleError::None;
}

ScheduleError ParseScheduleDays(const QString &text, int &days)
{
    const QString lower = text.trimmed().toLower();
    if (lower == u"daily"_s) {
        days = kEveryDay;
        return ScheduleError::None;
    }
    int bits = 0;
    for (const QString &part : lower.split(u',')) {
        const QStringList ends = part.trimmed().split(u'-');
        if (ends.size() > 2)
            return ScheduleError::Days;
        const int first = DayIndex(ends.front().trimmed());
        const int last = DayIndex(ends.back().trimmed());
        if (first < 0 || last < 0)
            return ScheduleError::Days;
        // A range may run over the week's end: fri-mon is Friday to Monday.
        for (int day = first, steps = 0; steps < 7; day = (day + 1) % 7, ++steps) {
            bits |= 1 << day;
            if (day == last)
                break;
        }
    }
    days = bits;
    return ScheduleError::None;
}

ScheduleError ParseScheduleDate(const QString &text, QDate &date)
{
    static const QRegularExpression pattern(u"^[0-9]{4}-[0-9]{2}-[0-9]{2}$"_s);
    if (!pattern.match(text.trimmed()).hasMatch())
        return ScheduleError::Date;
    const QDate parsed = QDate::fromString(text.trimmed(), Qt::ISODate);
    if (!parsed.isValid())
        return ScheduleError::Date;
    date = parsed;
    return ScheduleError::None;
}

ScheduleError ParseExceptionDates(const QString &text, QList<QDate> &dates)
{
    QList<QDate> parsed;
    for (const QString &part : text.split(u',', Qt::SkipEmptyParts)) {
        QDate date;
        if (ParseScheduleDate(part, date) != ScheduleError::None)
            return ScheduleError::Exceptions;
        if (!parsed.contains(date))
            parsed << date;
    }
    std::sort(parsed.begin(), parsed.end());
    dates = parsed;
    return ScheduleError::None;
}

ScheduleError ParseInputArgument(const QString &type, const QString &number, InputStatus &input)
{
    const int parsedType = ParseInputType(type);
    // 1 to 9, then A to Z (Class 2); the projectors' own input lists tell which they have.
    const std::optional<int> parsedNumber = InputStatus::NumberFromText(number);
    if (parsedType < 0 || !parsedNumber)
        return ScheduleError::InputType;
    input = InputStatus(parsedType, *parsedNumber);
    return ScheduleError::None;
}

ScheduleError ParseScheduleAction(const QStringList &words, const std::optional<QString> &inputType,
                                  ScheduleAction &action, qsizetype &used)
{
    const QString verb = words.value(0);
    ScheduleAction parsed;
    if (verb == u"power"_s) {
        bool on = false;
        if (!ParseOnOff(words.value(1), on))
            return ScheduleError::OnOff;
        used = 2;
        parsed.kind = on ? ScheduleAction::PowerOn : ScheduleAction::PowerOff;
        if (inputType) {
            // Power on with input: the option gives the type, the next word the number.
            if (!on)
                return ScheduleError::Action;
            if (ParseInputArgument(*inputType, words.value(2), parsed.input) != ScheduleError::None)
                return ScheduleError::InputType;
            parsed.kind = ScheduleAction::PowerOnWithInput;
            used = 3;
        }
    } else if (inputType) {
        return ScheduleError::Action; // --input belongs to power on only
    } else if (verb == u"input"_s) {
        if (ParseInputArgument(words.value(1), words.value(2), parsed.input) != ScheduleError::None)
            return ScheduleError::InputType;
        parsed.kind = ScheduleAction::Input;
        used = 3;
    } else if (verb == u"mute"_s) {
        const QString kind = words.value(1);
        parsed.mute = kind == u"video"_s   ? MuteStatus::Video
                      : kind == u"audio"_s ? MuteStatus::Audio
                      : kind == u"both"_s  ? MuteStatus::VideoAndAudio
                                           : MuteStatus::Unknown;
        if (parsed.mute == MuteStatus::Unknown)
            return ScheduleError::MuteKind;
        if (!ParseOnOff(words.value(2), parsed.on))
            return ScheduleError::OnOff;
        parsed.kind = ScheduleAction::Mute;
        used = 3;
    } else if (verb == u"freeze"_s) {
        if (!ParseOnOff(words.value(1), parsed.on))
            return ScheduleError::OnOff;
        parsed.kind = ScheduleAction::Freeze;
        used = 2;
    } else {
        return ScheduleError::Action;
    }
    action = parsed;
    return ScheduleError::None;
}

QString ScheduleActionText(const ScheduleAction &action)
{
    // The number as typed (1 to 9, A to Z), so that it reads back as the same input.
    const QString input = QString::number(action.input.GetType()) + u' ' +
                          InputStatus::NumberText(action.input.GetNumber());
    const QString onOff = action.on ? u"on"_s : u"off"_s;
    switch (action.kind) {
    case ScheduleAction::PowerOn:
        return u"power on"_s;
    case ScheduleAction::PowerOff:
        return u"power off"_s;
    case ScheduleAction::Input:
        return u"input "_s + input;
    case ScheduleAction::Mute:
        return u"mute "_s + MuteWord(action.mute) + u' ' + onOff;
    case ScheduleAction::Freeze:
        return u"freeze "_s + onOff;
    case ScheduleAction::PowerOnWithInput:
        return u"power on --input "_s + input;
    }
    return {};
}

QString ScheduleDaysText(const Schedule &schedule)
{
    const QString time = schedule.at.toString(u"HH:mm"_s);
    if (schedule.date.isValid())
        return schedule.date.toString(Qt::ISODate) + u' ' + time;
    if ((schedule.days & kEveryDay) == kEveryDay)
        return u"daily "_s + time;
    if ((schedule.days & kEveryDay) == kMondayToFriday)
        return u"mon-fri "_s + time;
    QStringList names;
    for (int day = 0; day < 7; ++day) {
        if (schedule.days & (1 << day))
            names << kDayNames[day];
    }
    return names.join(u',') + u' ' + time;
}

std::optional<QDateTime> NextScheduleRun(const Schedule &schedule, const QDateTime &after,
                                         const QTimeZone &zone)
{
    if (!schedule.enabled || !schedule.at.isValid() ||
        (!schedule.date.isValid() && (schedule.days & kEveryDay) == 0))
        return std::nullopt;
    // Every day's run lies within the day or at its end; a week past the last exception finds
    // the next one of any weekday.
    const QDate first = after.toTimeZone(zone).date().addDays(-1);
    const qsizetype horizon =
        8 + (schedule.exceptions.isEmpty()
                 ? 0
                 : std::max<qint64>(0, first.daysTo(schedule.exceptions.back())));
    for (qsizetype i = 0; i <= horizon; ++i) {
        const QDate date = first.addDays(i);
        if (schedule.date.isValid() && date > schedule.date)
            break;
        if (!IsRunDay(schedule, date))
            continue;
        const QDateTime moment = RunMoment(date, schedule.at, zone);
        if (moment > after)
            return moment;
    }
    return std::nullopt;
}

ScheduleSkip ScheduleSkipOn(const Schedule &schedule, const QDate &today)
{
    if (schedule.exceptions.contains(today))
        return ScheduleSkip::ExceptionDate;
    if (schedule.date.isValid() && today > schedule.date)
        return ScheduleSkip::DatePassed;
    return ScheduleSkip::None;
}

QString CronTimeFields(const Schedule &schedule)
{
    const QString time = u"%1 %2"_s.arg(schedule.at.minute()).arg(schedule.at.hour());
    if (schedule.date.isValid())
        return time + u" %1 %2 *"_s.arg(schedule.date.day()).arg(schedule.date.month());
    return time + u" * * "_s + CronDays(schedule.days);
}

QString ShellQuote(const QString &text)
{
    QString quoted = text;
    quoted.replace(u"'"_s, u"'\\''"_s);
    return u'\'' + quoted + u'\'';
}
