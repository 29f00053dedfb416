// Schedules end to end: the real lumarinctl against projectors emulated in this process, the
// real crontab and the real cron daemon. The machine's own crontab and cron folders are never
// touched: every program that may write a crontab runs in a private mount namespace whose cron
// spool is a folder of the test's own (root only; those tests skip otherwise), or without any
// crontab program on its PATH.

#include "platform/settingscodec.h"
#include "tests/common/emulatedfleet.h"
#include "tests/common/programrun.h"
#include "tools/emulator/emulatedprojector.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kLumarinctl = QStringLiteral(LUMARINCTL_PATH);

struct Run
{
    int exitCode = -1;
    QByteArray out;
    QString err;
    QJsonObject json;
};

QString Describe(const Run &run)
{
    return u"exit %1\nstdout: %2\nstderr: %3"_s.arg(run.exitCode)
        .arg(QString::fromUtf8(run.out), run.err);
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(content) == content.size();
}

// The register: groups /A and /B, and each projector as name, address and group path.
QByteArray Register(const QList<std::pair<QString, QString>> &projectors, const QStringList &paths)
{
    QByteArray out = "[Group]\r\n";
    out += "1=" + platform::EncodeText(u"A"_s).toLatin1() + ':' +
           platform::EncodeText(u"/"_s).toLatin1() + "\r\n";
    out += "2=" + platform::EncodeText(u"B"_s).toLatin1() + ':' +
           platform::EncodeText(u"/"_s).toLatin1() + "\r\n";
    out += "\r\n[Projector]\r\n";
    for (qsizetype i = 0; i < projectors.size(); ++i)
        out += QByteArray::number(i + 1) + '=' +
               platform::EncodeText(projectors[i].first).toLatin1() + ':' +
               projectors[i].second.toLatin1() +
               "::M:" + platform::EncodeText(paths[i]).toLatin1() + "\r\n";
    out += "\r\n[Property]\r\nRefreshInterval=5\r\nTimeout=1\r\nShowInformation=1\r\n"
           "DisplayOnlyError=0\r\nEntryManagerDlg=0\r\n";
    return out;
}

bool IsRoot()
{
    return ::geteuid() == 0;
}

} // namespace

class TestSchedules : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void add_refusesWhatCannotRun_data();
    void add_refusesWhatCannotRun();
    void missingCrontab_scheduleKeptAndTold();
    void run_reachesExactlyTheTargets_recordsAndLogs();
    void run_exceptionDate_skipped();
    void powerOnWithInput_waitsOutWarmUpRetriesErr3_namesSilent();
    void crontab_ownLinesOnly_listTellsDifference_syncMends();
    void cron_firesScheduleAtNextMinute();

private:
    QString Settings() const { return m_dir->filePath(u"site.ini"_s); }
    // lumarinctl with no crontab program on its PATH: nothing can reach a crontab.
    Run Ctl(const QStringList &args, int timeoutMs = 120000);
    // lumarinctl in a private mount namespace whose cron spool is m_spool.
    Run CtlWithCron(const QStringList &args);
    // program in such a namespace, input on its standard input.
    Run WithCron(const QStringList &program, const QByteArray &input = QByteArray());
    Run Program(const QString &program, const QStringList &args, const QProcessEnvironment &env,
                int timeoutMs, const QByteArray &input = QByteArray());
    // A register of one projector in /A, one in /B and one at the root; m_emulators in order.
    void StartFleet();
    bool MakeSpool();
    QString CrontabText() const { return QString::fromUtf8(ReadAll(m_spool + u"/root"_s)); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<EmulatedFleet> m_fleet;
    std::vector<EmulatedProjector *> m_emulators;
    QString m_spool;
};

void TestSchedules::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_fleet = std::make_unique<EmulatedFleet>(97);
    m_emulators.clear();
}

void TestSchedules::cleanup()
{
    m_fleet.reset();
    m_dir.reset();
}

Run TestSchedules::Program(const QString &program, const QStringList &args,
                           const QProcessEnvironment &env, int timeoutMs, const QByteArray &input)
{
    const ProgramRun ran = RunProgramWithInput(program, args, env, timeoutMs, input);
    Run run;
    if (ran.timedOut) {
        run.err = u"timed out: "_s + ran.err;
        return run;
    }
    run.exitCode = ran.finished ? ran.exitCode : -2;
    run.out = ran.out;
    run.err = ran.err;
    run.json = QJsonDocument::fromJson(run.out).object();
    return run;
}

Run TestSchedules::Ctl(const QStringList &args, int timeoutMs)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
    env.insert(u"PATH"_s, m_dir->filePath(u"no-programs"_s));
    return Program(kLumarinctl, QStringList{u"--settings"_s, Settings()} + args, env, timeoutMs);
}

Run TestSchedules::CtlWithCron(const QStringList &args)
{
    return WithCron(QStringList{kLumarinctl, u"--settings"_s, Settings()} + args);
}

Run TestSchedules::WithCron(const QStringList &program, const QByteArray &input)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"LC_ALL"_s, u"C.UTF-8"_s);
    env.insert(u"PATH"_s, u"/usr/sbin:/usr/bin:/sbin:/bin"_s);
    // The spool folder of the test's own over the machine's, in this process's namespace only.
    const QString script =
        u"mount --bind \"$1\" /var/spool/cron/crontabs && shift && exec \"$@\""_s;
    return Program(u"unshare"_s,
                   QStringList{u"-m"_s, u"--propagation"_s, u"private"_s, u"sh"_s, u"-c"_s, script,
                               u"sh"_s, m_spool} +
                       program,
                   env, 120000, input);
}

bool TestSchedules::MakeSpool()
{
    m_spool = m_dir->filePath(u"crontabs"_s);
    return QDir().mkpath(m_spool) && QProcess::execute(u"chgrp"_s, {u"crontab"_s, m_spool}) == 0 &&
           QProcess::execute(u"chmod"_s, {u"1730"_s, m_spool}) == 0;
}

void TestSchedules::StartFleet()
{
    QList<std::pair<QString, QString>> projectors;
    const QStringList paths{u"/A"_s, u"/B"_s, u"/"_s};
    for (const QString &name : {u"Alpha"_s, u"Beta"_s, u"Root"_s}) {
        EmulatorConfig config;
        config.power = 1;
        EmulatedProjector *emulator = m_fleet->Emulate(name, config);
        QVERIFY(emulator);
        m_emulators.push_back(emulator);
        projectors << std::pair{name, AddressOf(*emulator)};
    }
    QVERIFY(WriteAll(Settings(), Register(projectors, paths)));
}

void TestSchedules::add_refusesWhatCannotRun_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    const QStringList add{u"schedule"_s, u"add"_s, u"Night"_s};
    QTest::newRow("no time") << add + QStringList{u"power"_s, u"off"_s, u"/"_s} << 2
                             << u"is not a time"_s;
    QTest::newRow("time 25:00") << add + QStringList{u"--at"_s, u"25:00"_s, u"power"_s, u"off"_s,
                                                     u"/"_s}
                                << 2 << u"\"25:00\" is not a time"_s;
    QTest::newRow("days and date")
        << add + QStringList{u"--at"_s,       u"22:00"_s, u"--days"_s, u"mon"_s, u"--date"_s,
                             u"2030-01-01"_s, u"power"_s, u"off"_s,    u"/"_s}
        << 2 << u"not both"_s;
    QTest::newRow("days misspelt")
        << add + QStringList{u"--at"_s,  u"22:00"_s, u"--days"_s, u"mon-fir"_s,
                             u"power"_s, u"off"_s,   u"/"_s}
        << 2 << u"\"mon-fir\" is not a list of days"_s;
    QTest::newRow("unknown action")
        << add + QStringList{u"--at"_s, u"22:00"_s, u"reboot"_s, u"now"_s, u"/"_s} << 2
        << u"is not an action"_s;
    QTest::newRow("input off") << add + QStringList{u"--at"_s,  u"22:00"_s, u"--input"_s, u"3"_s,
                                                    u"power"_s, u"off"_s,   u"1"_s,       u"/"_s}
                               << 2 << u"is not an action"_s;
    QTest::newRow("no target") << add + QStringList{u"--at"_s, u"22:00"_s, u"mute"_s, u"video"_s,
                                                    u"on"_s}
                               << 2 << u"at least one target"_s;
    QTest::newRow("unknown target")
        << add + QStringList{u"--at"_s, u"22:00"_s, u"power"_s, u"off"_s, u"/Nowhere"_s} << 1
        << u"/Nowhere"_s;
    QTest::newRow("exception date")
        << add + QStringList{u"--at"_s,  u"22:00"_s, u"--except"_s, u"2030-02-30"_s,
                             u"power"_s, u"off"_s,   u"/"_s}
        << 2 << u"\"2030-02-30\" is not a date"_s;
}

void TestSchedules::add_refusesWhatCannotRun()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    StartFleet();
    const QByteArray before = ReadAll(Settings());
    const Run run = Ctl(args);
    QVERIFY2(run.exitCode == exitCode && run.err.contains(message), qPrintable(Describe(run)));
    QCOMPARE(ReadAll(Settings()), before);
}

void TestSchedules::missingCrontab_scheduleKeptAndTold()
{
    StartFleet();
    const Run add = Ctl({u"schedule"_s, u"add"_s, u"Night"_s, u"--at"_s, u"22:00"_s, u"--days"_s,
                         u"mon-fri"_s, u"power"_s, u"off"_s, u"/"_s});
    QVERIFY2(add.exitCode == 1 && add.err.contains(u"crontab is not installed"_s) &&
                 add.err.contains(u"the schedules are kept"_s),
             qPrintable(Describe(add)));
    const Run list = Ctl({u"--json"_s, u"schedule"_s, u"list"_s});
    QVERIFY2(list.exitCode == 0, qPrintable(Describe(list)));
    const QJsonArray schedules = list.json[u"schedules"_s].toArray();
    QCOMPARE(schedules.size(), 1);
    QCOMPARE(schedules[0][u"name"_s].toString(), u"Night"_s);
    QCOMPARE(schedules[0][u"when"_s].toString(), u"mon-fri 22:00"_s);
    QVERIFY(!schedules[0][u"nextRun"_s].toString().isEmpty());
    QCOMPARE(list.json[u"crontabMatches"_s].toBool(), false);
    QVERIFY(list.err.contains(u"crontab is not installed"_s));
}

void TestSchedules::run_reachesExactlyTheTargets_recordsAndLogs()
{
    StartFleet();
    // A silent projector in /A as well: named, and the others done all the same.
    QByteArray settings = ReadAll(Settings());
    settings.replace("\r\n\r\n[Property]",
                     QByteArray("\r\n4=" + platform::EncodeText(u"Mute"_s).toLatin1() + ':' +
                                m_fleet->SilentAddress().toLatin1() + "::M:" +
                                platform::EncodeText(u"/A"_s).toLatin1() + "\r\n\r\n[Property]"));
    QVERIFY(WriteAll(Settings(), settings));
    Ctl({u"schedule"_s, u"add"_s, u"Off A"_s, u"--at"_s, u"22:00"_s, u"power"_s, u"off"_s, u"/A"_s,
         u"Root"_s});
    m_fleet->ClearReceivedCommands();

    const Run run = Ctl({u"schedule"_s, u"run"_s, u"Off A"_s});
    QVERIFY2(run.exitCode == 1, qPrintable(Describe(run)));
    QVERIFY2(run.err.contains(u"Mute ("_s + m_fleet->SilentAddress()), qPrintable(run.err));
    const auto sets = [](const EmulatedProjector &e) {
        return ReceivedCommands(e).filter(QRegularExpression(u"^POWR [01]$"_s));
    };
    QCOMPARE(sets(*m_emulators[0]), QStringList{u"POWR 0"_s});
    QCOMPARE(sets(*m_emulators[1]), QStringList());
    QCOMPARE(sets(*m_emulators[2]), QStringList{u"POWR 0"_s});

    const QByteArray log = ReadAll(m_dir->filePath(u"event.log"_s));
    QCOMPARE(log.count('\n'), 1);
    QVERIFY2(log.contains("Schedule Off A (power off): 2 of 3 projectors did it"), log.constData());

    const Run list = Ctl({u"--json"_s, u"schedule"_s, u"list"_s});
    const QJsonObject last = list.json[u"schedules"_s][0][u"lastRun"_s].toObject();
    QCOMPARE(last[u"done"_s].toInt(), 2);
    QCOMPARE(last[u"notDone"_s].toInt(), 1);
    const QJsonArray projectors = last[u"projectors"_s].toArray();
    QCOMPARE(projectors.size(), 3);
    QCOMPARE(projectors[1][u"name"_s].toString(), u"Mute"_s);
    QCOMPARE(projectors[1][u"outcome"_s].toString(), u"no-answer"_s);
    // The text listing names the projector that did not do it.
    const Run text = Ctl({u"schedule"_s, u"list"_s});
    QVERIFY2(text.out.contains("2 done, 1 not done") &&
                 text.out.contains(
                     QByteArray("Schedule Off A: Mute (" + m_fleet->SilentAddress().toLatin1())),
             qPrintable(Describe(text)));

    // A schedule that names nothing any more: no command, and told.
    QVERIFY(Ctl({u"schedule"_s, u"run"_s, u"Nothing"_s}).err.contains(u"no schedule named"_s));
}

void TestSchedules::run_exceptionDate_skipped()
{
    StartFleet();
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    Ctl({u"schedule"_s, u"add"_s, u"Off"_s, u"--at"_s, u"22:00"_s, u"--except"_s,
         u"2020-01-01,"_s + today, u"power"_s, u"off"_s, u"/"_s});
    m_fleet->ClearReceivedCommands();
    const Run run = Ctl({u"schedule"_s, u"run"_s, u"Off"_s});
    QVERIFY2(run.exitCode == 0 && run.err.contains(u"exception dates"_s),
             qPrintable(Describe(run)));
    for (const EmulatedProjector *emulator : m_emulators)
        QCOMPARE(ReceivedCommands(*emulator), QStringList());
    const Run list = Ctl({u"--json"_s, u"schedule"_s, u"list"_s});
    QCOMPARE(list.json[u"schedules"_s][0][u"lastRun"_s][u"skipped"_s].toString(),
             u"exception date"_s);
}

void TestSchedules::powerOnWithInput_waitsOutWarmUpRetriesErr3_namesSilent()
{
    // Cooling: "POWR 1" is refused with ERR3 until it has cooled, then it warms up. Off: warms
    // up. Analog: has no digital input; it is switched on all the same.
    EmulatorConfig cooling;
    cooling.power = 2;
    cooling.coolingMs = 2500;
    cooling.warmUpMs = 2000;
    cooling.mute = 31;
    EmulatorConfig off;
    off.power = 0;
    off.warmUpMs = 3000;
    off.mute = 31;
    EmulatorConfig analog;
    analog.power = 0;
    analog.warmUpMs = 1000;
    analog.inputs = {{1, 1}, {2, 1}};
    QList<std::pair<QString, QString>> projectors;
    for (const auto &[name, config] : {std::pair{u"Cooling"_s, cooling}, std::pair{u"Off"_s, off},
                                       std::pair{u"Analog"_s, analog}}) {
        EmulatedProjector *emulator = m_fleet->Emulate(name, config);
        QVERIFY(emulator);
        m_emulators.push_back(emulator);
        projectors << std::pair{name, AddressOf(*emulator)};
    }
    projectors << std::pair{u"Silent"_s, m_fleet->SilentAddress()};
    QVERIFY(WriteAll(Settings(), Register(projectors, {u"/A"_s, u"/A"_s, u"/A"_s, u"/A"_s})));

    const Run run = Ctl({u"--json"_s, u"power"_s, u"on"_s, u"--input"_s, u"digital"_s, u"1"_s,
                         u"--warm-up"_s, u"60"_s, u"/A"_s});
    QVERIFY2(run.exitCode == 1, qPrintable(Describe(run)));
    QStringList outcomes;
    for (const QJsonValue &result : run.json[u"results"_s].toArray())
        outcomes << result[u"name"_s].toString() + u'=' + result[u"outcome"_s].toString();
    QCOMPARE(outcomes, (QStringList{u"Cooling=done"_s, u"Off=done"_s, u"Analog=input-not-offered"_s,
                                    u"Silent=no-answer"_s}));
    QVERIFY2(run.err.contains(u"Silent ("_s) && run.err.contains(u"Analog ("_s),
             qPrintable(run.err));

    for (int i : {0, 1}) {
        const EmulatorConfig now = m_emulators[size_t(i)]->config();
        QCOMPARE(now.power, 1);
        QCOMPARE(now.input, (std::pair{3, 1}));
        QCOMPARE(now.mute, 30);
        // Power on first, the input once on, the unmute last.
        const QStringList sets = ReceivedCommands(*m_emulators[size_t(i)])
                                     .filter(QRegularExpression(u"^(POWR|INPT|AVMT) [0-9]+$"_s));
        QCOMPARE(sets.mid(sets.size() - 2), (QStringList{u"INPT 31"_s, u"AVMT 30"_s}));
        QVERIFY(sets.first() == u"POWR 1"_s);
    }
    // The cooling one was asked again after its ERR3.
    QVERIFY(ReceivedCommands(*m_emulators[0]).count(u"POWR 1"_s) >= 2);
    QCOMPARE(m_emulators[2]->config().power == 1 || m_emulators[2]->config().power == 3, true);
    QVERIFY(!ReceivedCommands(*m_emulators[2]).contains(u"INPT 31"_s));
}

void TestSchedules::crontab_ownLinesOnly_listTellsDifference_syncMends()
{
    if (!IsRoot())
        QSKIP("needs root for a private mount namespace with a cron spool of its own");
    QVERIFY(MakeSpool());
    StartFleet();
    // Another program's lines, installed as a user does.
    const QByteArray foreign = "# someone else's\nMAILTO=\"\"\n5 4 * * * /bin/true\n";
    QCOMPARE(WithCron({u"crontab"_s, u"-"_s}, foreign).exitCode, 0);

    Run run = CtlWithCron({u"schedule"_s, u"add"_s, u"Night's off"_s, u"--at"_s, u"22:00"_s,
                           u"--days"_s, u"mon-fri"_s, u"power"_s, u"off"_s, u"/"_s});
    QVERIFY2(run.exitCode == 0, qPrintable(Describe(run)));
    run = CtlWithCron({u"schedule"_s, u"add"_s, u"50% on"_s, u"--at"_s, u"7:45"_s, u"--input"_s,
                       u"digital"_s, u"power"_s, u"on"_s, u"1"_s, u"/A"_s});
    QVERIFY2(run.exitCode == 0, qPrintable(Describe(run)));

    QString crontab = CrontabText();
    QVERIFY2(crontab.contains(QString::fromLatin1(foreign)), qPrintable(crontab));
    const QString call =
        u"'"_s + kLumarinctl + u"' --settings '"_s + Settings() + u"' schedule run "_s;
    QVERIFY2(crontab.contains(u"\n0 22 * * 1-5 "_s + call + u"'Night'\\''s off' >/dev/null\n"_s),
             qPrintable(crontab));
    QVERIFY2(crontab.contains(u"\n45 7 * * * "_s + call + u"'50\\% on' >/dev/null\n"_s),
             qPrintable(crontab));
    QCOMPARE(crontab.count(u"schedule run"_s), 2);

    run = CtlWithCron({u"schedule"_s, u"disable"_s, u"Night's off"_s});
    QVERIFY2(run.exitCode == 0, qPrintable(Describe(run)));
    QCOMPARE(CrontabText().count(u"schedule run"_s), 1);
    run = CtlWithCron({u"--json"_s, u"schedule"_s, u"list"_s});
    QVERIFY2(run.json[u"crontabMatches"_s].toBool(), qPrintable(Describe(run)));
    QCOMPARE(run.json[u"schedules"_s][0][u"enabled"_s].toBool(), false);

    // Someone edits the crontab: list tells, sync writes the lines again.
    QCOMPARE(WithCron({u"crontab"_s, u"-"_s}, foreign).exitCode, 0);
    run = CtlWithCron({u"--json"_s, u"schedule"_s, u"list"_s});
    QVERIFY2(!run.json[u"crontabMatches"_s].toBool() &&
                 run.err.contains(u"lumarinctl schedule sync"_s),
             qPrintable(Describe(run)));
    run = CtlWithCron({u"schedule"_s, u"sync"_s});
    QVERIFY2(run.exitCode == 0, qPrintable(Describe(run)));
    QCOMPARE(CrontabText().count(u"schedule run '50\\% on'"_s), 1);
    QVERIFY(
        CtlWithCron({u"--json"_s, u"schedule"_s, u"list"_s}).json[u"crontabMatches"_s].toBool());

    const QString copy = m_dir->filePath(u"copy.ini"_s);
    QCOMPARE(CtlWithCron({u"export"_s, copy}).exitCode, 0);

    // Every schedule removed: Lumarin's lines go, the others' stay as they were.
    QCOMPARE(CtlWithCron({u"schedule"_s, u"remove"_s, u"50% on"_s}).exitCode, 0);
    QCOMPARE(CtlWithCron({u"schedule"_s, u"remove"_s, u"Night's off"_s}).exitCode, 0);
    crontab = CrontabText();
    QVERIFY2(crontab.contains(QString::fromLatin1(foreign)) && !crontab.contains(u"lumarin"_s),
             qPrintable(crontab));
    QVERIFY(!ReadAll(Settings()).contains("[Schedule]"));

    // An import brings the other file's schedules, and the crontab follows.
    run = CtlWithCron({u"import"_s, copy});
    QVERIFY2(run.exitCode == 0, qPrintable(Describe(run)));
    QCOMPARE(CrontabText().count(u"schedule run '50\\% on'"_s), 1);
    QCOMPARE(CrontabText().count(u"schedule run"_s), 1);
}

void TestSchedules::cron_firesScheduleAtNextMinute()
{
    if (!IsRoot())
        QSKIP("needs root for a private mount namespace with cron folders of its own");
    if (QStandardPaths::findExecutable(u"cron"_s, {u"/usr/sbin"_s}).isEmpty())
        QSKIP("cron is not installed (tools/dev.sh installs it)");
    QVERIFY(MakeSpool());
    StartFleet();
    m_fleet->ClearReceivedCommands();

    // The next minute that leaves time to start: cron fires at its first second.
    QDateTime at = QDateTime::currentDateTime().addSecs(60);
    if (at.time().second() > 45)
        at = at.addSecs(60);
    const QString time = at.time().toString(u"HH:mm"_s);

    // Empty cron folders over the machine's, the test's spool, a private /run for the
    // daemon's pid file; then the schedule is added and cron runs in the foreground.
    const QString empty = m_dir->filePath(u"empty-crontab"_s);
    QVERIFY(WriteAll(empty, QByteArray()));
    QString script = u"set -e\n"_s;
    for (const QString &folder :
         {u"/etc/cron.d"_s, u"/etc/cron.hourly"_s, u"/etc/cron.daily"_s, u"/etc/cron.weekly"_s,
          u"/etc/cron.monthly"_s, u"/etc/cron.yearly"_s}) {
        if (QFileInfo(folder).isDir())
            script += u"mount -t tmpfs tmpfs "_s + folder + u'\n';
    }
    script += u"mount --bind \"$1\" /etc/crontab\n"
              "mount --bind \"$2\" /var/spool/cron/crontabs\n"
              "mount -t tmpfs tmpfs /run\n"
              "\"$3\" --settings \"$4\" schedule add Off --at \"$5\" power off /B >&2\n"
              "exec cron -f\n"_s;
    QProcess cron;
    cron.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"PATH"_s, u"/usr/sbin:/usr/bin:/sbin:/bin"_s);
    cron.setProcessEnvironment(env);
    cron.start(u"unshare"_s, {u"-m"_s, u"--propagation"_s, u"private"_s, u"sh"_s, u"-c"_s, script,
                              u"sh"_s, empty, m_spool, kLumarinctl, Settings(), time});
    QVERIFY(cron.waitForStarted(10000));

    // Bounded: the minute comes within two, the run takes seconds.
    QDeadlineTimer deadline(150000);
    const auto offSent = [&] { return ReceivedCommands(*m_emulators[1]).contains(u"POWR 0"_s); };
    while (!offSent() && !deadline.hasExpired() && cron.state() == QProcess::Running)
        QTest::qWait(500);
    // The run logs and records after the command: a few seconds more.
    QDeadlineTimer recorded(30000);
    while (!ReadAll(m_dir->filePath(u"event.log"_s)).contains("Schedule Off") &&
           !recorded.hasExpired() && offSent())
        QTest::qWait(500);
    const QString output = QString::fromUtf8(cron.readAll());
    cron.terminate();
    if (!cron.waitForFinished(5000))
        cron.kill();
    cron.waitForFinished(5000);

    QVERIFY2(offSent(),
             qPrintable(u"nothing reached the projector by "_s + time + u":\n"_s + output));
    QCOMPARE(ReceivedCommands(*m_emulators[0]).filter(u"POWR 0"_s), QStringList());
    QCOMPARE(ReceivedCommands(*m_emulators[2]).filter(u"POWR 0"_s), QStringList());
    QVERIFY2(ReadAll(m_dir->filePath(u"event.log"_s))
                 .contains("Schedule Off (power off): 1 of 1 projectors did it"),
             ReadAll(m_dir->filePath(u"event.log"_s)).constData());
    QVERIFY(ReadAll(m_dir->filePath(u"site.schedule-runs.json"_s)).contains("\"done\""));
}

QTEST_GUILESS_MAIN(TestSchedules)
#include "tst_schedules.moc"
