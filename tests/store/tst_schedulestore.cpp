// Where schedules are kept: their own section of the settings file, present only when there are
// schedules (a file without any keeps its exact bytes), carried by Save As and Open; and the
// state file of their runs beside the event log, written by concurrent runs without loss.

#include "model/actionevent.h"
#include "model/projectormanager.h"
#include "platform/profile.h"
#include "res/stringtable.h"
#include "store/actioneventmanager.h"
#include "store/cvanteldoc.h"
#include "store/schedulerunstate.h"
#include "store/settingsfile.h"
#include "store/settingslocation.h"
#include "tests/common/messagesinks.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

bool WriteAll(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

// A register as an earlier version wrote it: groups, projectors (one with a password), and
// preferences that differ from the defaults.
const QByteArray kWithoutSchedules = "[Group]\r\n"
                                     "1=00480061006c006c:002f\r\n"
                                     "\r\n[Projector]\r\n"
                                     "1=0050:127.0.0.2::M:002f\r\n"
                                     "\r\n[Property]\r\n"
                                     "RefreshInterval=7\r\n"
                                     "Timeout=2\r\n"
                                     "ShowInformation=0\r\n"
                                     "DisplayOnlyError=1\r\n"
                                     "EntryManagerDlg=0\r\n";

Schedule Make(const QString &name, const QString &action, const QString &inputType,
              const QStringList &targets, const QString &at, const QString &days,
              const QString &date = QString(), const QString &exceptions = QString())
{
    Schedule schedule;
    schedule.name = name;
    qsizetype used = 0;
    ParseScheduleAction(action.split(u' '),
                        inputType.isEmpty() ? std::nullopt : std::optional<QString>(inputType),
                        schedule.action, used);
    schedule.targets = targets;
    ParseScheduleTime(at, schedule.at);
    if (date.isEmpty())
        ParseScheduleDays(days, schedule.days);
    else
        ParseScheduleDate(date, schedule.date);
    ParseExceptionDates(exceptions, schedule.exceptions);
    return schedule;
}

// Names, texts and targets that need every escape the file has.
std::vector<Schedule> SampleSchedules()
{
    std::vector<Schedule> schedules{
        Make(u"Night: off"_s, u"power off"_s, {}, {u"/"_s}, u"22:00"_s, u"mon-fri"_s, {},
             u"2027-05-14,2027-12-24"_s),
        Make(u"講義室 朝"_s, u"power on"_s, u"digital"_s, {u"/Lecture"_s, u"Room 1: East"_s},
             u"07:45"_s, u"mon-fri"_s),
        Make(u"open house"_s, u"mute both off"_s, {}, {u"127.0.0.2"_s}, u"09:00"_s, {},
             u"2027-06-05"_s),
        Make(u"weekend"_s, u"freeze on"_s, {}, {u"/Hall"_s}, u"00:00"_s, u"fri-mon"_s),
    };
    schedules[1].warmUpLimit = 300;
    schedules[3].enabled = false;
    return schedules;
}

} // namespace

class TestScheduleStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void withoutSchedules_bytesUnchanged();
    void schedules_roundTripSaveAsAndOpen();
    void damagedLines_dropped_data();
    void damagedLines_dropped();
    void runState_besideEventLog_concurrentRunsAllLand();
    void eventLog_appendedByRunWhileWindowLogs();

private:
    QString SettingsPath() const { return m_dir->filePath(u"lumarin.ini"_s); }

    std::unique_ptr<QTemporaryDir> m_dir;
    RecordingMessageSink m_sink;
};

void TestScheduleStore::initTestCase()
{
    SetStringLanguage(StringLanguage::English);
}

void TestScheduleStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_sink.Clear();
    SetUserMessageSink(&m_sink);
}

void TestScheduleStore::cleanup()
{
    SetUserMessageSink(nullptr);
    m_dir.reset();
}

void TestScheduleStore::withoutSchedules_bytesUnchanged()
{
    QVERIFY(WriteAll(SettingsPath(), kWithoutSchedules));
    {
        CVantelDoc doc(SettingsPath());
        QVERIFY(doc.GetSchedules().empty());
        QVERIFY(doc.SaveSettings());
        QCOMPARE(ReadAll(SettingsPath()), kWithoutSchedules);
        QVERIFY(doc.SaveAs(m_dir->filePath(u"copy.ini"_s)));
        QCOMPARE(ReadAll(m_dir->filePath(u"copy.ini"_s)), kWithoutSchedules);

        // Schedules added and all removed again: the same bytes once more.
        doc.SetSchedules(SampleSchedules());
        QVERIFY(doc.SaveSettings());
        QVERIFY(ReadAll(SettingsPath()).contains("\r\n[Schedule]\r\n1="));
        doc.SetSchedules({});
        QVERIFY(doc.SaveSettings());
        QCOMPARE(ReadAll(SettingsPath()), kWithoutSchedules);
    }
}

void TestScheduleStore::schedules_roundTripSaveAsAndOpen()
{
    QVERIFY(WriteAll(SettingsPath(), kWithoutSchedules));
    const std::vector<Schedule> schedules = SampleSchedules();
    const QString copy = m_dir->filePath(u"copy.ini"_s);
    const QString other = m_dir->filePath(u"other.ini"_s);
    QVERIFY(WriteAll(other, kWithoutSchedules));
    {
        CVantelDoc doc(SettingsPath());
        doc.SetSchedules(schedules);
        QVERIFY(doc.SaveSettings());
        // Every other section exactly as before, the schedules after them.
        const QByteArray written = ReadAll(SettingsPath());
        QVERIFY(written.startsWith(QByteArray(kWithoutSchedules + "\r\n[Schedule]\r\n")));
        QVERIFY(doc.SaveAs(copy));
        QCOMPARE(ReadAll(copy), written);
    }
    {
        CVantelDoc doc(SettingsPath());
        QCOMPARE(doc.GetSchedules(), schedules);
        // Open (lumarinctl import) takes the other file's schedules: none.
        QVERIFY(doc.Open(other));
        QVERIFY(doc.GetSchedules().empty());
        QCOMPARE(ReadAll(SettingsPath()), kWithoutSchedules);
        QVERIFY(doc.Open(copy));
        QCOMPARE(doc.GetSchedules(), schedules);
    }
    CVantelDoc doc(SettingsPath());
    QCOMPARE(doc.GetSchedules(), schedules);
    QVERIFY2(m_sink.Texts().isEmpty(), qPrintable(m_sink.Texts().join(u'\n')));
}

void TestScheduleStore::damagedLines_dropped_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("kept");

    // 006e = "n"; action "power off" and target "/" hex-encoded as the file keeps them.
    const QByteArray off = "0070006f0077006500720020006f00660066";
    QTest::newRow("sound") << "006e:1:2200:31:::180:" + off + ":002f" << true;
    QTest::newRow("no targets") << "006e:1:2200:31:::180:" + off + ":" << false;
    QTest::newRow("time 24:00") << "006e:1:2400:31:::180:" + off + ":002f" << false;
    QTest::newRow("days and date") << "006e:1:2200:31:2027-01-01::180:" + off + ":002f" << false;
    QTest::newRow("neither days nor date") << "006e:1:2200:0:::180:" + off + ":002f" << false;
    QTest::newRow("unknown action") << QByteArray("006e:1:2200:31:::180:0078:002f") << false;
    QTest::newRow("warm-up 0") << "006e:1:2200:31:::0:" + off + ":002f" << false;
    QTest::newRow("bad exception") << "006e:1:2200:31::2027-02-30:180:" + off + ":002f" << false;
    QTest::newRow("too few fields") << QByteArray("006e:1:2200:31") << false;
}

void TestScheduleStore::damagedLines_dropped()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, kept);
    // The line between two sound ones, the second of which has the first's name and is dropped.
    const QByteArray sound = "0061:1:0700:96:::180:0070006f0077006500720020006f006e:002f";
    const QByteArray content = kWithoutSchedules + "\r\n[Schedule]\r\n1=" + sound +
                               "\r\n2=" + line + "\r\n3=" + sound + "\r\n";
    const std::vector<Schedule> read = ReadSchedules(platform::ProfileFile(content));
    QCOMPARE(int(read.size()), kept ? 2 : 1);
    QCOMPARE(read.front().name, u"a"_s);
    QCOMPARE(ScheduleActionText(read.front().action), u"power on"_s);
    if (kept) {
        QCOMPARE(read.back().days, kMondayToFriday);
        QCOMPARE(read.back().targets, QStringList{u"/"_s});
    }
}

void TestScheduleStore::runState_besideEventLog_concurrentRunsAllLand()
{
    const QString settings = SettingsPath();
    QCOMPARE(QFileInfo(ScheduleStatePathFor(settings)).absolutePath(),
             QFileInfo(EventLogPathFor(settings)).absolutePath());
    QCOMPARE(QFileInfo(ScheduleStatePathFor(settings)).fileName(), u"lumarin.schedule-runs.json"_s);

    // Eight runs at once, each in a process of its own, each with a schedule of its own.
    constexpr int kRuns = 8;
    std::vector<pid_t> children;
    for (int i = 0; i < kRuns; ++i) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ScheduleRunRecord record;
            record.at = QDateTime::currentDateTimeUtc();
            record.projectors.push_back({u"P%1"_s.arg(i), u"127.0.0.2"_s, u"/"_s, u"done"_s, {}});
            record.projectors.push_back({u"Q"_s, u"127.0.0.3"_s, u"/A"_s, u"no-answer"_s,
                                         u"Q (127.0.0.3, /A): no answer"_s});
            ::_exit(RecordScheduleRun(settings, u"s%1"_s.arg(i), record) ? 0 : 1);
        }
        QVERIFY(pid > 0);
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        QCOMPARE(::waitpid(pid, &status, 0), pid);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::map<QString, ScheduleRunRecord> runs = ReadScheduleRuns(settings);
    QCOMPARE(int(runs.size()), kRuns);
    const ScheduleRunRecord &third = runs.at(u"s3"_s);
    QCOMPARE(third.DoneCount(), 1);
    QCOMPARE(third.NotDoneCount(), 1);
    QCOMPARE(third.projectors.front().name, u"P3"_s);
    QCOMPARE(third.projectors.back().line, u"Q (127.0.0.3, /A): no answer"_s);

    // A later run replaces its schedule's record only; removed schedules are forgotten.
    ScheduleRunRecord skipped;
    skipped.at = QDateTime::currentDateTimeUtc();
    skipped.skipped = ScheduleSkip::ExceptionDate;
    QVERIFY(RecordScheduleRun(settings, u"s3"_s, skipped));
    QVERIFY(ForgetScheduleRuns(settings, {u"s3"_s, u"s4"_s}));
    runs = ReadScheduleRuns(settings);
    QCOMPARE(int(runs.size()), 2);
    QCOMPARE(runs.at(u"s3"_s).skipped, ScheduleSkip::ExceptionDate);
    QVERIFY(runs.at(u"s3"_s).projectors.empty());
    QCOMPARE(runs.at(u"s4"_s).DoneCount(), 1);
}

void TestScheduleStore::eventLog_appendedByRunWhileWindowLogs()
{
    // The window's log is open (emptied at its start); a run appends between its lines and
    // neither overwrites the other.
    QVERIFY(WriteAll(EventLogPathFor(SettingsPath()), "old line\r\n"));
    ActionEventManager::SetLogFileFor(SettingsPath());
    ActionEventManager *events = ActionEventManager::GetInstance();
    events->AddEvent(std::make_unique<ActionEvent>(u"P"_s, u"first"_s, ActionEvent::Warning));
    QVERIFY(AppendToEventLog(SettingsPath(),
                             ActionEvent(u"Schedule"_s, u"run"_s, ActionEvent::Information)));
    events->AddEvent(std::make_unique<ActionEvent>(u"P"_s, u"second"_s, ActionEvent::Warning));
    ActionEventManager::DestroyInstance();

    const QList<QByteArray> lines = ReadAll(EventLogPathFor(SettingsPath())).split('\n');
    QCOMPARE(lines.size(), 4); // three lines and the empty rest
    QVERIFY(lines[0].contains("first"));
    QVERIFY(lines[1].contains("run"));
    QVERIFY(lines[2].contains("second"));
}

QTEST_GUILESS_MAIN(TestScheduleStore)
#include "tst_schedulestore.moc"
