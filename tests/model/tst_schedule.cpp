// The rules of schedules as tables: what a user types, when a schedule runs next (across the
// week's and the months' ends and a daylight-saving change in a named zone), and its crontab
// time fields.

#include "model/schedule.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

Schedule Weekly(const QString &days, const QString &at)
{
    Schedule schedule;
    schedule.name = u"s"_s;
    ParseScheduleDays(days, schedule.days);
    ParseScheduleTime(at, schedule.at);
    return schedule;
}

Schedule OnDate(const QString &date, const QString &at)
{
    Schedule schedule;
    schedule.name = u"s"_s;
    ParseScheduleDate(date, schedule.date);
    ParseScheduleTime(at, schedule.at);
    return schedule;
}

QDateTime Utc(const QString &text)
{
    return QDateTime::fromString(text, Qt::ISODate).toUTC();
}

} // namespace

class TestSchedule : public QObject
{
    Q_OBJECT

private slots:
    void parseTimeDaysDates_data();
    void parseTimeDaysDates();
    void parseAction_data();
    void parseAction();
    void nextRun_data();
    void nextRun();
    void skipOn_exceptionAndPassedDate();
    void cronFields_data();
    void cronFields();
    void shellQuote_survivesEveryCharacter();
};

void TestSchedule::parseTimeDaysDates_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("expected"); // the value read, as text

    QTest::newRow("time H:MM") << u"time"_s << u"7:45"_s << true << u"07:45"_s;
    QTest::newRow("time HH:MM") << u"time"_s << u"23:59"_s << true << u"23:59"_s;
    QTest::newRow("time 24:00") << u"time"_s << u"24:00"_s << false << QString();
    QTest::newRow("time minute 60") << u"time"_s << u"12:60"_s << false << QString();
    QTest::newRow("time one minute digit") << u"time"_s << u"7:5"_s << false << QString();
    QTest::newRow("time with blank") << u"time"_s << u" 7:45"_s << false << QString();
    QTest::newRow("time seconds") << u"time"_s << u"07:45:00"_s << false << QString();

    QTest::newRow("days daily") << u"days"_s << u"daily"_s << true << u"127"_s;
    QTest::newRow("days mon-fri") << u"days"_s << u"mon-fri"_s << true << u"31"_s;
    QTest::newRow("days list any case") << u"days"_s << u"Sat,SUN"_s << true << u"96"_s;
    QTest::newRow("days over the week's end") << u"days"_s << u"fri-mon"_s << true << u"113"_s;
    QTest::newRow("days range and day") << u"days"_s << u"mon-wed,fri"_s << true << u"23"_s;
    QTest::newRow("days one day") << u"days"_s << u"sun"_s << true << u"64"_s;
    QTest::newRow("days full name") << u"days"_s << u"monday"_s << false << QString();
    QTest::newRow("days open range") << u"days"_s << u"mon-"_s << false << QString();
    QTest::newRow("days empty") << u"days"_s << QString() << false << QString();
    QTest::newRow("days empty item") << u"days"_s << u"mon,,fri"_s << false << QString();

    QTest::newRow("date") << u"date"_s << u"2027-03-01"_s << true << u"2027-03-01"_s;
    QTest::newRow("date leap day") << u"date"_s << u"2028-02-29"_s << true << u"2028-02-29"_s;
    QTest::newRow("date no leap day") << u"date"_s << u"2027-02-29"_s << false << QString();
    QTest::newRow("date short fields") << u"date"_s << u"2027-3-1"_s << false << QString();
    QTest::newRow("date month 13") << u"date"_s << u"2027-13-01"_s << false << QString();

    QTest::newRow("exceptions sorted, once each")
        << u"except"_s << u"2027-12-25,2027-01-01,2027-12-25"_s << true
        << u"2027-01-01,2027-12-25"_s;
    QTest::newRow("exceptions one wrong")
        << u"except"_s << u"2027-12-25,2027-12-32"_s << false << QString();
    QTest::newRow("name") << u"name"_s << u"Night off"_s << true << QString();
    QTest::newRow("name blank") << u"name"_s << u"  "_s << false << QString();
    QTest::newRow("name line break") << u"name"_s << u"a\nb"_s << false << QString();
    QTest::newRow("name 65 characters") << u"name"_s << QString(65, u'x') << false << QString();
}

void TestSchedule::parseTimeDaysDates()
{
    QFETCH(QString, what);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(QString, expected);

    ScheduleError error = ScheduleError::None;
    QString read;
    if (what == u"time"_s) {
        QTime at;
        error = ParseScheduleTime(text, at);
        read = at.toString(u"HH:mm"_s);
    } else if (what == u"days"_s) {
        int days = 0;
        error = ParseScheduleDays(text, days);
        read = QString::number(days);
    } else if (what == u"date"_s) {
        QDate date;
        error = ParseScheduleDate(text, date);
        read = date.toString(Qt::ISODate);
    } else if (what == u"except"_s) {
        QList<QDate> dates;
        error = ParseExceptionDates(text, dates);
        QStringList texts;
        for (const QDate &date : dates)
            texts << date.toString(Qt::ISODate);
        read = texts.join(u',');
    } else {
        error = ParseScheduleName(text);
    }
    QCOMPARE(error == ScheduleError::None, valid);
    if (valid && !expected.isEmpty())
        QCOMPARE(read, expected);
    if (!valid)
        QVERIFY(!ScheduleErrorText(error, text).isEmpty());
}

void TestSchedule::parseAction_data()
{
    QTest::addColumn<QString>("words");
    QTest::addColumn<QString>("inputOption"); // "-": none
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text"); // ScheduleActionText of the result
    QTest::addColumn<int>("used");

    const int none = int(ScheduleError::None);
    QTest::newRow("power off") << u"power off /"_s << u"-"_s << none << u"power off"_s << 2;
    QTest::newRow("power on") << u"power on /A"_s << u"-"_s << none << u"power on"_s << 2;
    QTest::newRow("power on with input by name")
        << u"power on 1 /Lecture"_s << u"digital"_s << none << u"power on --input 3 1"_s << 3;
    QTest::newRow("power on with input, Japanese type name")
        << u"power on 2 /"_s << u"デジタル"_s << none << u"power on --input 3 2"_s << 3;
    QTest::newRow("power off with input")
        << u"power off 1 /"_s << u"3"_s << int(ScheduleError::Action) << QString() << 0;
    QTest::newRow("input by number") << u"input 1 2 /"_s << u"-"_s << none << u"input 1 2"_s << 3;
    QTest::newRow("input type 7") << u"input 7 1 /"_s << u"-"_s << int(ScheduleError::InputType)
                                  << QString() << 0;
    QTest::newRow("input number 0")
        << u"input 3 0 /"_s << u"-"_s << int(ScheduleError::InputType) << QString() << 0;
    QTest::newRow("--input with input")
        << u"input 3 1 /"_s << u"3"_s << int(ScheduleError::Action) << QString() << 0;
    QTest::newRow("mute both off")
        << u"mute both off /"_s << u"-"_s << none << u"mute both off"_s << 3;
    QTest::newRow("mute kind") << u"mute all on /"_s << u"-"_s << int(ScheduleError::MuteKind)
                               << QString() << 0;
    QTest::newRow("freeze on") << u"freeze on /"_s << u"-"_s << none << u"freeze on"_s << 2;
    QTest::newRow("freeze maybe") << u"freeze maybe /"_s << u"-"_s << int(ScheduleError::OnOff)
                                  << QString() << 0;
    QTest::newRow("power without state")
        << u"power"_s << u"-"_s << int(ScheduleError::OnOff) << QString() << 0;
    QTest::newRow("unknown verb") << u"reboot /"_s << u"-"_s << int(ScheduleError::Action)
                                  << QString() << 0;
}

void TestSchedule::parseAction()
{
    QFETCH(QString, words);
    QFETCH(QString, inputOption);
    QFETCH(int, error);
    QFETCH(QString, text);
    QFETCH(int, used);

    ScheduleAction action;
    qsizetype taken = 0;
    const std::optional<QString> input =
        inputOption == u"-"_s ? std::nullopt : std::optional<QString>(inputOption);
    QCOMPARE(int(ParseScheduleAction(words.split(u' '), input, action, taken)), error);
    if (error != int(ScheduleError::None))
        return;
    QCOMPARE(ScheduleActionText(action), text);
    QCOMPARE(int(taken), used);
    // The text reads back as the same action.
    QStringList again = text.split(u' ');
    std::optional<QString> againInput;
    if (const qsizetype at = again.indexOf(u"--input"_s); at >= 0) {
        againInput = again.at(at + 1);
        again.remove(at, 2);
    }
    ScheduleAction reread;
    QCOMPARE(ParseScheduleAction(again, againInput, reread, taken), ScheduleError::None);
    QCOMPARE(reread, action);
}

void TestSchedule::nextRun_data()
{
    QTest::addColumn<QString>("kind"); // days or date
    QTest::addColumn<QString>("when"); // the days or the date
    QTest::addColumn<QString>("at");
    QTest::addColumn<QString>("exceptions");
    QTest::addColumn<QString>("after");    // local time in Europe/Berlin
    QTest::addColumn<QString>("expected"); // UTC, empty: none

    // 2027-01-29 is a Friday; Berlin is UTC+1 in winter and UTC+2 in summer.
    QTest::newRow("later the same day") << u"days"_s << u"mon-fri"_s << u"22:00"_s << QString()
                                        << u"2027-01-29T21:59:00"_s << u"2027-01-29T21:00:00Z"_s;
    QTest::newRow("at the minute itself: next run")
        << u"days"_s << u"mon-fri"_s << u"22:00"_s << QString() << u"2027-01-29T22:00:00"_s
        << u"2027-02-01T21:00:00Z"_s;
    QTest::newRow("weekend over the week's end")
        << u"days"_s << u"sat,sun"_s << u"07:45"_s << QString() << u"2027-01-31T08:00:00"_s
        << u"2027-02-06T06:45:00Z"_s;
    QTest::newRow("Sunday to Monday range")
        << u"days"_s << u"fri-mon"_s << u"07:45"_s << QString() << u"2027-01-31T08:00:00"_s
        << u"2027-02-01T06:45:00Z"_s;
    QTest::newRow("month's end") << u"days"_s << u"daily"_s << u"00:30"_s << QString()
                                 << u"2027-01-31T23:00:00"_s << u"2027-01-31T23:30:00Z"_s;
    QTest::newRow("year's end") << u"days"_s << u"daily"_s << u"00:00"_s << QString()
                                << u"2027-12-31T23:59:00"_s << u"2027-12-31T23:00:00Z"_s;
    QTest::newRow("leap day") << u"date"_s << u"2028-02-29"_s << u"07:00"_s << QString()
                              << u"2028-02-28T12:00:00"_s << u"2028-02-29T06:00:00Z"_s;
    QTest::newRow("one date passed") << u"date"_s << u"2027-03-01"_s << u"07:00"_s << QString()
                                     << u"2027-03-01T07:00:00"_s << QString();
    QTest::newRow("exception skips Monday")
        << u"days"_s << u"mon-fri"_s << u"22:00"_s << u"2027-02-01"_s << u"2027-01-29T23:00:00"_s
        << u"2027-02-02T21:00:00Z"_s;
    QTest::newRow("exceptions a week long")
        << u"days"_s << u"mon"_s << u"22:00"_s << u"2027-02-01,2027-02-08,2027-02-15"_s
        << u"2027-01-29T23:00:00"_s << u"2027-02-22T21:00:00Z"_s;
    QTest::newRow("excepted one date") << u"date"_s << u"2027-03-01"_s << u"07:00"_s
                                       << u"2027-03-01"_s << u"2027-02-01T07:00:00"_s << QString();
    // Clocks go from 02:00 to 03:00 on 2027-03-28: 02:30 runs when they jump.
    QTest::newRow("skipped by spring forward")
        << u"days"_s << u"daily"_s << u"02:30"_s << QString() << u"2027-03-27T12:00:00"_s
        << u"2027-03-28T01:00:00Z"_s;
    QTest::newRow("after the change, summer time")
        << u"days"_s << u"daily"_s << u"22:00"_s << QString() << u"2027-03-28T12:00:00"_s
        << u"2027-03-28T20:00:00Z"_s;
    // Clocks go from 03:00 back to 02:00 on 2027-10-31: 02:30 runs the first time only.
    QTest::newRow("twice by fall back: the first")
        << u"days"_s << u"daily"_s << u"02:30"_s << QString() << u"2027-10-30T12:00:00"_s
        << u"2027-10-31T00:30:00Z"_s;
    QTest::newRow("twice by fall back: not again")
        << u"days"_s << u"daily"_s << u"02:30"_s << QString() << u"2027-10-31T02:45:00"_s
        << u"2027-11-01T01:30:00Z"_s;
}

void TestSchedule::nextRun()
{
    QFETCH(QString, kind);
    QFETCH(QString, when);
    QFETCH(QString, at);
    QFETCH(QString, exceptions);
    QFETCH(QString, after);
    QFETCH(QString, expected);

    const QTimeZone berlin("Europe/Berlin");
    QVERIFY(berlin.isValid());
    Schedule schedule = kind == u"date"_s ? OnDate(when, at) : Weekly(when, at);
    QCOMPARE(ParseExceptionDates(exceptions, schedule.exceptions), ScheduleError::None);
    QDateTime from = QDateTime::fromString(after, Qt::ISODate);
    from = QDateTime(from.date(), from.time(), berlin);
    if (after == u"2027-10-31T02:45:00"_s)
        from = Utc(u"2027-10-31T01:45:00Z"_s); // the second 02:45, in winter time

    const std::optional<QDateTime> next = NextScheduleRun(schedule, from, berlin);
    if (expected.isEmpty()) {
        QVERIFY2(!next, qPrintable(next ? next->toString(Qt::ISODate) : QString()));
        return;
    }
    QVERIFY(next);
    QCOMPARE(next->toUTC(), Utc(expected));

    schedule.enabled = false;
    QVERIFY(!NextScheduleRun(schedule, from, berlin));
}

void TestSchedule::skipOn_exceptionAndPassedDate()
{
    Schedule weekly = Weekly(u"mon-fri"_s, u"22:00"_s);
    QCOMPARE(ParseExceptionDates(u"2027-05-14"_s, weekly.exceptions), ScheduleError::None);
    QCOMPARE(ScheduleSkipOn(weekly, QDate(2027, 5, 14)), ScheduleSkip::ExceptionDate);
    // A run by hand on a day that is not one of its weekdays still runs.
    QCOMPARE(ScheduleSkipOn(weekly, QDate(2027, 5, 15)), ScheduleSkip::None);

    const Schedule once = OnDate(u"2027-05-14"_s, u"07:45"_s);
    QCOMPARE(ScheduleSkipOn(once, QDate(2027, 5, 13)), ScheduleSkip::None);
    QCOMPARE(ScheduleSkipOn(once, QDate(2027, 5, 14)), ScheduleSkip::None);
    // The crontab line fires on that day every year; only the first one runs.
    QCOMPARE(ScheduleSkipOn(once, QDate(2028, 5, 14)), ScheduleSkip::DatePassed);
}

void TestSchedule::cronFields_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("when");
    QTest::addColumn<QString>("at");
    QTest::addColumn<QString>("fields");

    QTest::newRow("mon-fri") << u"days"_s << u"mon-fri"_s << u"22:00"_s << u"0 22 * * 1-5"_s;
    QTest::newRow("daily") << u"days"_s << u"daily"_s << u"07:45"_s << u"45 7 * * *"_s;
    QTest::newRow("weekend") << u"days"_s << u"sat,sun"_s << u"09:05"_s << u"5 9 * * 0,6"_s;
    QTest::newRow("over the week's end")
        << u"days"_s << u"fri-mon"_s << u"07:45"_s << u"45 7 * * 0,1,5,6"_s;
    QTest::newRow("mon-sat") << u"days"_s << u"mon-sat"_s << u"00:00"_s << u"0 0 * * 1-6"_s;
    QTest::newRow("sun-sat is every day")
        << u"days"_s << u"sun-sat"_s << u"00:00"_s << u"0 0 * * *"_s;
    QTest::newRow("one date") << u"date"_s << u"2027-03-01"_s << u"07:45"_s << u"45 7 1 3 *"_s;
}

void TestSchedule::cronFields()
{
    QFETCH(QString, kind);
    QFETCH(QString, when);
    QFETCH(QString, at);
    QFETCH(QString, fields);
    const Schedule schedule = kind == u"date"_s ? OnDate(when, at) : Weekly(when, at);
    QCOMPARE(CronTimeFields(schedule), fields);
}

void TestSchedule::shellQuote_survivesEveryCharacter()
{
    // The shell reads each quoted text back as it was.
    const QStringList texts{u"Night off"_s, u"it's"_s,           u"$(touch x) `y` \"z\" \\"_s,
                            u"'"_s,         u"50% ; rm -rf /"_s, QString()};
    for (const QString &text : texts) {
        QProcess shell;
        shell.start(u"/bin/sh"_s, {u"-c"_s, u"printf %s "_s + ShellQuote(text)});
        QVERIFY(shell.waitForFinished(10000));
        QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), text);
    }
}

QTEST_GUILESS_MAIN(TestSchedule)
#include "tst_schedule.moc"
