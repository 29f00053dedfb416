// lumarinctl end to end: the real program, run as a child process, against projectors emulated
// in this process on 127.0.8.x, with settings files of the test's own. Its search runs only
// inside a network namespace made for it.

#include "platform/instance_lock.h"
#include "platform/settingscodec.h"
#include "res/stringtable.h"
#include "tests/common/loopbackudp.h"
#include "tests/common/programrun.h"
#include "tests/common/testfiles.h"
#include "tests/common/testnamespace.h"
#include "tools/emulator/emulatedprojector.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>
#include <utility>
#include <map>
#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString kLumarinctl = QStringLiteral(LUMARINCTL_PATH);
const QString kEmulatorProgram = QStringLiteral(PJLINK_EMULATOR_PATH);

struct GroupLine
{
    QString name;
    QString path;
};

struct ProjectorLine
{
    QString name;
    QString address;
    QString password;
    QString path;
};

// A settings file as the document writes it; timeout 1 keeps waits for silent projectors short.
QByteArray SettingsContent(const QList<GroupLine> &groups, const QList<ProjectorLine> &projectors,
                           int timeout = 1)
{
    QByteArray out = "[Group]\r\n";
    int n = 0;
    for (const GroupLine &g : groups)
        out += QString(u"%1=%2:%3\r\n"_s)
                   .arg(++n)
                   .arg(platform::EncodeText(g.name), platform::EncodeText(g.path))
                   .toLatin1();
    out += "\r\n[Projector]\r\n";
    n = 0;
    for (const ProjectorLine &p : projectors)
        out += QString(u"%1=%2:%3:%4:M:%5\r\n"_s)
                   .arg(++n)
                   .arg(platform::EncodeText(p.name), p.address,
                        platform::ScramblePassword(p.password), platform::EncodeText(p.path))
                   .toLatin1();
    out += "\r\n[Property]\r\nRefreshInterval=5\r\nTimeout=" + QByteArray::number(timeout) +
           "\r\nShowInformation=1\r\nDisplayOnlyError=0\r\nEntryManagerDlg=0\r\n";
    return out;
}

QString Address(int host)
{
    return u"127.0.8.%1"_s.arg(host);
}

// Reports of the sanitizers in the programs run, which may well end with an expected exit
// status; every test function ends by checking that there were none.
QStringList g_sanitizerReports;

struct CtlRun
{
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QString err;
    QJsonObject json; // when the output is a JSON object
};

QProcessEnvironment CtlEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"LC_ALL"_s, u"C.UTF-8"_s); // the English string table
    environment.insert(u"LANG"_s, u"C.UTF-8"_s);
    return environment;
}

// Runs a program to its end (killed after timeoutMs), input on its standard input.
CtlRun RunProgram(const QString &program, const QStringList &args, int timeoutMs = 60000,
                  const QProcessEnvironment &environment = CtlEnvironment(),
                  const QByteArray &input = QByteArray())
{
    const ProgramRun ran = RunProgramWithInput(program, args, environment, timeoutMs, input);
    CtlRun run;
    if (ran.timedOut)
        return run;
    run.finished = ran.finished;
    run.exitCode = ran.exitCode;
    run.out = ran.out;
    run.err = ran.err;
    if (run.err.contains(u"Sanitizer"_s) || run.err.contains(u"runtime error:"_s))
        g_sanitizerReports << args.join(u' ') + u":\n"_s + run.err;
    run.json = QJsonDocument::fromJson(run.out).object();
    return run;
}

CtlRun Ctl(const QString &settings, const QStringList &args)
{
    return RunProgram(kLumarinctl, QStringList{u"--settings"_s, settings} + args);
}

QString Describe(const CtlRun &run)
{
    return u"exit %1\nstdout: %2\nstderr: %3"_s.arg(run.exitCode)
        .arg(QString::fromUtf8(run.out), run.err);
}

// The candidates of a `--json search` as sorted "address name open|password registered|-" lines.
QStringList CandidateLines(const CtlRun &run)
{
    QStringList found;
    for (const QJsonValue &c : run.json[u"candidates"_s].toArray())
        found << u"%1 %2 %3 %4"_s.arg(c[u"ipAddress"_s].toString(), c[u"name"_s].toString(),
                                      c[u"passwordRequired"_s].toBool() ? u"password"_s : u"open"_s,
                                      c[u"registered"_s].toBool() ? u"registered"_s : u"-"_s);
    found.sort();
    return found;
}

// Starts the emulator on a fleet file inside a namespace and waits (bounded) until it has
// announced each of its count projectors; false when it has not.
bool StartEmulatorIn(const TestNamespace &ns, const QString &fleetFile, int count,
                     QProcess &emulator)
{
    emulator.setProcessChannelMode(QProcess::MergedChannels);
    emulator.start(u"ip"_s, ns.ExecArgs(kEmulatorProgram,
                                        {u"--config"_s, fleetFile, u"--seconds"_s, u"120"_s}));
    if (!emulator.waitForStarted(10000))
        return false;
    QDeadlineTimer ready(20000);
    QByteArray announced;
    while (announced.count('\n') < count && !ready.hasExpired() &&
           emulator.state() == QProcess::Running) {
        emulator.waitForReadyRead(500);
        announced += emulator.readAll();
    }
    if (announced.count('\n') < count)
        qWarning("emulator: %s", announced.constData());
    return announced.count('\n') >= count;
}

void StopEmulator(QProcess &emulator)
{
    emulator.terminate();
    if (!emulator.waitForFinished(5000))
        emulator.kill();
    emulator.waitForFinished(5000);
}

// The register as "groups | projectors": group full paths in tree order, then each projector as
// name@group path in tree order.
QString Listing(const QString &settings)
{
    const CtlRun run = Ctl(settings, {u"--json"_s, u"list"_s});
    if (!run.finished || run.exitCode != 0)
        return u"list failed: "_s + Describe(run);
    QStringList groups;
    for (const QJsonValue &g : run.json.value(u"groups"_s).toArray())
        groups << g[u"fullPath"_s].toString();
    QStringList projectors;
    for (const QJsonValue &p : run.json.value(u"projectors"_s).toArray())
        projectors << p[u"name"_s].toString() + u'@' + p[u"groupPath"_s].toString();
    return QString(groups.join(u' ') + u" | "_s + projectors.join(u' ')).trimmed();
}

// Projectors emulated in this process, by last octet of 127.0.8.x.
class Fleet
{
public:
    bool Start(int host, const std::function<void(EmulatorConfig &)> &setup)
    {
        EmulatorConfig config;
        config.address = Address(host).toStdString();
        config.warmUpMs = 600000;
        config.coolingMs = 600000;
        setup(config);
        auto projector = std::make_unique<EmulatedProjector>(config);
        std::string error;
        if (!projector->start(&error)) {
            qWarning("%s", error.c_str());
            return false;
        }
        m_projectors[host] = std::move(projector);
        return true;
    }
    EmulatedProjector &operator[](int host) { return *m_projectors.at(host); }

    int Count(int host, const std::string &command)
    {
        const auto received = m_projectors.at(host)->receivedCommands();
        return int(std::count(received.begin(), received.end(), command));
    }

private:
    std::map<int, std::unique_ptr<EmulatedProjector>> m_projectors;
};

} // namespace

class TestLumarinctl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void usageErrors_exit2_data();
    void usageErrors_exit2();
    void help_everyCommand();
    void helpFamiliesAndSuggestions_data();
    void helpFamiliesAndSuggestions();
    void exportImport_standardStreams();
    void tcpFallbackNotice_oncePerUserAndMachine();
    void japaneseLocale_helpAndMessagesTranslated();
    void check_answersAsMonitoringPlugin_data();
    void check_answersAsMonitoringPlugin();
    void importCsv_allOrNothing_data();
    void importCsv_allOrNothing();
    void fleetSetUp_passwdAddNoCheckRename();
    void registerGreeting_onlyForCommandsThatShowProjectors_data();
    void registerGreeting_onlyForCommandsThatShowProjectors();

    void powerOffRoot_reachesEveryAnsweringProjector();
    void projectorCommands_tellEachOutcome_data();
    void projectorCommands_tellEachOutcome();
    void statusJson_showsWhatEachProjectorReports();
    void metrics_promtoolAcceptsAMixedFleet();
    void class2_statusCheckAndFreeze();
    void input_everyClass2Input_data();
    void input_everyClass2Input();
    void add_confirmsAndRegisters();
    void paddedLines_registeredAndRead();
    void security_levelShownSecretsNever();
    void registryEdits_data();
    void registryEdits();
    void import_data();
    void import();
    void changes_refusedWhileApplicationRuns_data();
    void changes_refusedWhileApplicationRuns();
    void withoutSettings_usesApplicationsFile_leavesEventLog();
    void notSettingsFile_neverWritten_data();
    void notSettingsFile_neverWritten();
    void readOnlyCommands_missingFileStaysMissing();
    void concurrentChanges_allLand();
    void addWhileAnotherChangeLands_keepsBoth();
    void diskFull_changeFailsAndFileStays();
    void endedAtCommit_fileIsOldOrNew_data();
    void endedAtCommit_fileIsOldOrNew();
    void search_insideOwnNamespace();
    void searchBroadcast_insideOwnNamespaces();
    void watch_json_linePerNotificationUntilSigterm();
    void watch_portTaken_exits1();

private:
    QString NewSettings(const QByteArray &content);

    QTemporaryDir m_dir;
    int m_files = 0;
};

void TestLumarinctl::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFile::exists(kLumarinctl), qPrintable(kLumarinctl));
    SetStringLanguage(StringLanguage::English);
    // A lock and configuration of the test's own: a Lumarin running on this machine, or another
    // test holding the lock, must not change what lumarinctl answers here.
    QVERIFY(QDir(m_dir.path()).mkpath(u"runtime"_s));
    QVERIFY(QDir(m_dir.path()).mkpath(u"config"_s));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.filePath(u"runtime"_s)));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath(u"config"_s)));
}

void TestLumarinctl::cleanup()
{
    const QStringList reports = std::exchange(g_sanitizerReports, {});
    QVERIFY2(reports.isEmpty(), qPrintable(reports.join(u"\n\n"_s)));
}

QString TestLumarinctl::NewSettings(const QByteArray &content)
{
    const QString path = m_dir.filePath(u"settings-%1.ini"_s.arg(++m_files));
    if (!WriteFile(path, content))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestLumarinctl::usageErrors_exit2_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no command") << QStringList{};
    QTest::newRow("unknown command") << QStringList{u"reboot"_s};
    QTest::newRow("group without add or rename") << QStringList{u"group"_s, u"delete"_s, u"/A"_s};
    QTest::newRow("unknown option") << QStringList{u"list"_s, u"--all"_s};
    QTest::newRow("power without a target") << QStringList{u"power"_s, u"off"_s};
    QTest::newRow("power neither on nor off") << QStringList{u"power"_s, u"down"_s, u"/"_s};
    QTest::newRow("input type 7") << QStringList{u"input"_s, u"7"_s, u"1"_s, u"/"_s};
    QTest::newRow("input number 0") << QStringList{u"input"_s, u"rgb"_s, u"0"_s, u"/"_s};
    QTest::newRow("input number 10") << QStringList{u"input"_s, u"rgb"_s, u"10"_s, u"/"_s};
    QTest::newRow("input number AA") << QStringList{u"input"_s, u"internal"_s, u"AA"_s, u"/"_s};
    QTest::newRow("mute kind") << QStringList{u"mute"_s, u"picture"_s, u"on"_s, u"/"_s};
    QTest::newRow("move without --to") << QStringList{u"move"_s, u"/A"_s};
    QTest::newRow("search --wait without --broadcast")
        << QStringList{u"search"_s, u"--wait"_s, u"5"_s};
    QTest::newRow("search --wait 0")
        << QStringList{u"search"_s, u"--broadcast"_s, u"--wait"_s, u"0"_s};
    QTest::newRow("timeout 11") << QStringList{u"set"_s, u"timeout"_s, u"11"_s};
    QTest::newRow("refresh interval 0") << QStringList{u"set"_s, u"refresh-interval"_s, u"0"_s};
    QTest::newRow("unknown preference") << QStringList{u"set"_s, u"colour"_s, u"3"_s};
    QTest::newRow("group add without a leading slash") << QStringList{u"group"_s, u"add"_s, u"A"_s};
    QTest::newRow("too many arguments") << QStringList{u"export"_s, u"a"_s, u"b"_s};
    QTest::newRow("empty --settings") << QStringList{u"--settings"_s, QString(), u"list"_s};
    QTest::newRow("empty --settings after the command")
        << QStringList{u"list"_s, u"--settings"_s, QString()};
}

// Refused before anything is read or sent; the settings file stays as it was.
void TestLumarinctl::usageErrors_exit2()
{
    QFETCH(QStringList, args);
    const QByteArray content = SettingsContent({{u"A"_s, u"/"_s}}, {});
    const QString settings = NewSettings(content);
    const CtlRun run = Ctl(settings, args);
    QVERIFY2(run.finished && run.exitCode == 2, qPrintable(Describe(run)));
    QVERIFY(!run.err.isEmpty());
    QCOMPARE(ReadFile(settings), content);
}

void TestLumarinctl::help_everyCommand()
{
    const QStringList commands{u"list"_s,         u"status"_s, u"check"_s,  u"import-csv"_s,
                               u"passwd"_s,       u"rename"_s, u"power"_s,  u"input"_s,
                               u"mute"_s,         u"add"_s,    u"search"_s, u"group add"_s,
                               u"group rename"_s, u"move"_s,   u"remove"_s, u"set"_s,
                               u"export"_s,       u"import"_s, u"watch"_s};
    const CtlRun usage = RunProgram(kLumarinctl, {u"--help"_s});
    QCOMPARE(usage.exitCode, 0);
    for (const QString &command : commands) {
        const QStringList words = command.split(u' ');
        QVERIFY2(QString::fromUtf8(usage.out).contains(u"\n  "_s + command + u' ') ||
                     QString::fromUtf8(usage.out).contains(u"\n  "_s + command + u'\n'),
                 qPrintable(command));
        // Neither form touches a settings file: none is given, and none may be needed.
        for (const QStringList &args :
             {QStringList{u"help"_s} + words, words + QStringList{u"--help"_s}}) {
            const CtlRun run = RunProgram(kLumarinctl, args);
            QVERIFY2(run.exitCode == 0, qPrintable(args.join(u' ') + u": "_s + Describe(run)));
            QVERIFY2(run.out.startsWith(
                         QByteArray(QByteArray("Usage: lumarinctl [--settings FILE] [--json] ") +
                                    command.toUtf8())),
                     qPrintable(args.join(u' ') + u": "_s + Describe(run)));
        }
    }
}

void TestLumarinctl::helpFamiliesAndSuggestions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("out"); // each must be on standard output
    QTest::addColumn<QString>("err");     // must be on standard error; empty: nothing there
    QTest::newRow("help group")
        << QStringList{u"help"_s, u"group"_s} << 0
        << QStringList{u"lumarinctl [--settings FILE] [--json] group add PATH"_s,
                       u"lumarinctl [--settings FILE] [--json] group rename PATH NAME"_s}
        << QString();
    QTest::newRow("group alone") << QStringList{u"group"_s} << 2 << QStringList{}
                                 << u"group takes one of: add, rename"_s;
    QTest::newRow("misspelt command") << QStringList{u"stauts"_s} << 2 << QStringList{}
                                      << u"no command \"stauts\"; did you mean \"status\"?"_s;
    QTest::newRow("misspelt family") << QStringList{u"grup"_s, u"add"_s, u"/A"_s} << 2
                                     << QStringList{} << u"did you mean \"group\"?"_s;
    QTest::newRow("misspelt help topic") << QStringList{u"help"_s, u"imprt"_s} << 2 << QStringList{}
                                         << u"did you mean \"import\"?"_s;
    QTest::newRow("nothing close")
        << QStringList{u"reboot"_s} << 2 << QStringList{} << u"no command \"reboot\"\n"_s;
}

void TestLumarinctl::helpFamiliesAndSuggestions()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QStringList, out);
    QFETCH(QString, err);
    const CtlRun run = RunProgram(kLumarinctl, args);
    QVERIFY2(run.finished && run.exitCode == exitCode, qPrintable(Describe(run)));
    for (const QString &text : out)
        QVERIFY2(QString::fromUtf8(run.out).contains(text), qPrintable(Describe(run)));
    if (err.isEmpty())
        QVERIFY2(run.err.isEmpty(), qPrintable(Describe(run)));
    else
        QVERIFY2(run.err.contains(err), qPrintable(Describe(run)));
}

// "-" stands for standard output in export and for standard input in import.
void TestLumarinctl::exportImport_standardStreams()
{
    const QByteArray content =
        SettingsContent({{u"A"_s, u"/"_s}}, {{u"P"_s, Address(49), u"pw"_s, u"/A"_s}});
    const QString settings = NewSettings(content);
    const QString copy = m_dir.filePath(u"export-%1.ini"_s.arg(++m_files));
    QCOMPARE(Ctl(settings, {u"export"_s, copy}).exitCode, 0);

    const CtlRun exported = Ctl(settings, {u"export"_s, u"-"_s});
    QVERIFY2(exported.exitCode == 0, qPrintable(Describe(exported)));
    QCOMPARE(exported.out, ReadFile(copy));
    QVERIFY(!QFile::exists(u"-"_s));
    QCOMPARE(Ctl(settings, {u"--json"_s, u"export"_s, u"-"_s}).exitCode, 2);

    // An empty standard input is refused and changes nothing, as an empty file is.
    const auto import = [&](const QByteArray &input) {
        return RunProgram(kLumarinctl, {u"--settings"_s, settings, u"import"_s, u"-"_s}, 60000,
                          CtlEnvironment(), input);
    };
    const CtlRun empty = import(QByteArray());
    QVERIFY2(empty.exitCode == 1 && empty.err.contains(u"is not a settings file"_s),
             qPrintable(Describe(empty)));
    QCOMPARE(ReadFile(settings), content);

    const CtlRun broken = import("[Group]\r\n");
    QVERIFY2(broken.exitCode == 1 && broken.err.contains(LoadString(343)),
             qPrintable(Describe(broken)));
    QCOMPARE(ReadFile(settings), content);

    const CtlRun other = import(SettingsContent({{u"X"_s, u"/"_s}}, {}));
    QVERIFY2(other.exitCode == 0, qPrintable(Describe(other)));
    QCOMPARE(Listing(settings), u"/X |"_s);
}

// Where ICMP echo is not permitted (here: an ordinary user in a namespace that forbids it), the
// TCP fallback is told once per user and machine, and with --verbose every time.
void TestLumarinctl::tcpFallbackNotice_oncePerUserAndMachine()
{
    if (const QString why = TestNamespace::SkipReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    if (QStandardPaths::findExecutable(u"setpriv"_s).isEmpty())
        QSKIP("setpriv (util-linux) is not installed");
    TestNamespace ns(u"lumarin-ctlfb"_s);
    if (!ns.IsCreated())
        QSKIP(qPrintable(u"cannot create a network namespace: "_s + ns.GetError()));
    QVERIFY2(ns.Ip({u"link"_s, u"set"_s, u"lo"_s, u"up"_s}), qPrintable(ns.GetError()));
    QVERIFY(RunProgram(u"ip"_s,
                       ns.ExecArgs(u"sh"_s, {u"-c"_s, u"echo 1 0 > "
                                                      "/proc/sys/net/ipv4/ping_group_range"_s}))
                .exitCode == 0);

    // Everything the ordinary user needs, readable and writable by it.
    const QString home = m_dir.filePath(u"nobody-%1"_s.arg(++m_files));
    QVERIFY(QDir().mkpath(home + u"/state"_s));
    const QString program = home + u"/lumarinctl"_s;
    QVERIFY(QFile::copy(kLumarinctl, program));
    const QString settings = home + u"/fleet.ini"_s;
    QVERIFY(WriteFile(settings, SettingsContent({}, {{u"P"_s, Address(50), QString(), u"/"_s}})));
    for (const QString &path :
         QStringList{m_dir.path(), home, home + u"/state"_s, program, settings})
        QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions(0x7777)));

    QProcessEnvironment environment = CtlEnvironment();
    environment.insert(u"HOME"_s, home);
    environment.insert(u"XDG_STATE_HOME"_s, home + u"/state"_s);
    const auto status = [&](const QStringList &options) {
        return RunProgram(
            u"ip"_s,
            ns.ExecArgs(u"setpriv"_s,
                        QStringList{u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s,
                                    program, u"--settings"_s, settings} +
                            options + QStringList{u"status"_s}),
            60000, environment);
    };
    const QString notice = u"ICMP echo is not permitted"_s;
    const CtlRun first = status({});
    QVERIFY2(first.finished && first.err.contains(notice), qPrintable(Describe(first)));
    QCOMPARE(QDir(home + u"/state/lumarin"_s).entryList(QDir::Files).size(), 1);
    const CtlRun second = status({});
    QVERIFY2(second.finished && !second.err.contains(notice), qPrintable(Describe(second)));
    const CtlRun verbose = status({u"--verbose"_s});
    QVERIFY2(verbose.finished && verbose.err.contains(notice), qPrintable(Describe(verbose)));
}

// Under a Japanese locale the help and the messages come from the Japanese table; nothing of
// the English one is left over.
void TestLumarinctl::japaneseLocale_helpAndMessagesTranslated()
{
    QProcessEnvironment japanese = CtlEnvironment();
    japanese.insert(u"LC_ALL"_s, u"ja_JP.UTF-8"_s);
    japanese.insert(u"LANG"_s, u"ja_JP.UTF-8"_s);
    const auto both = [&](const QStringList &args) {
        return std::pair{RunProgram(kLumarinctl, args),
                         RunProgram(kLumarinctl, args, 60000, japanese)};
    };
    const auto japaneseText = [](int id) { return LoadStringFor(id, StringLanguage::Japanese); };
    const auto englishText = [](int id) { return LoadStringFor(id, StringLanguage::English); };

    const auto [helpEn, helpJa] = both({u"--help"_s});
    QCOMPARE(helpJa.exitCode, 0);
    const QString usageJa = QString::fromUtf8(helpJa.out);
    // Summaries of list and status, the exit status paragraph's start, and a heading.
    for (int id : {2200, 2201, 2102}) {
        QVERIFY2(usageJa.contains(japaneseText(id)), qPrintable(usageJa));
        QVERIFY2(!usageJa.contains(englishText(id)), qPrintable(usageJa));
    }
    QVERIFY(usageJa.startsWith(FormatText(japaneseText(2100), {u"COMMAND"_s}).section(u' ', 0, 0)));
    // Japanese has no blanks to break at, yet no line is wider than 78 terminal columns.
    for (const QString &line : usageJa.split(u'\n')) {
        qsizetype columns = 0;
        for (const QChar c : line)
            columns += c.unicode() >= 0x2E80 ? 2 : 1;
        QVERIFY2(columns <= 78, qPrintable(line));
    }

    const auto [unknownEn, unknownJa] = both({u"stauts"_s});
    QCOMPARE(unknownJa.exitCode, 2);
    QVERIFY2(unknownJa.err.contains(FormatText(japaneseText(2004), {u"stauts"_s})),
             qPrintable(unknownJa.err));
    QVERIFY2(unknownEn.err.contains(FormatText(englishText(2004), {u"stauts"_s})),
             qPrintable(unknownEn.err));

    const QString settings = NewSettings(SettingsContent({{u"A"_s, u"/"_s}}, {}));
    const CtlRun noGroup = RunProgram(
        kLumarinctl, {u"--settings"_s, settings, u"group"_s, u"rename"_s, u"/B"_s, u"C"_s}, 60000,
        japanese);
    QCOMPARE(noGroup.exitCode, 1);
    QVERIFY2(noGroup.err.contains(FormatText(japaneseText(2020), {u"/B"_s})),
             qPrintable(noGroup.err));
}

void TestLumarinctl::check_answersAsMonitoringPlugin_data()
{
    QTest::addColumn<QStringList>("before"); // words before "check"
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("foreign"); // the settings file's content instead of the fleet's
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("summary");   // the first line of text; %1: the settings file
    QTest::addColumn<QStringList>("found"); // name=state:reasons of each projector, JSON
    const auto row = [](const char *name, const QStringList &args, int exitCode,
                        const QString &summary, const QStringList &found) {
        QTest::newRow(name) << QStringList() << args << QByteArray() << exitCode << summary
                            << found;
    };
    // Every way of not judging: UNKNOWN, its reason as the only line.
    const auto unknown = [](const char *name, const QStringList &before, const QStringList &args,
                            const QByteArray &foreign, const QString &reason) {
        QTest::newRow(name) << before << args << foreign << 3 << u"LUMARIN UNKNOWN - "_s + reason
                            << QStringList();
    };
    row("all well", {u"Fine"_s}, 0,
        u"LUMARIN OK - 1 of 1 projectors reached, 0 with warnings, 0 with errors, highest lamp "
        "time 800 h | reached=1;;;0;1 warnings=0;;;0;1 errors=0;;;0;1 lamp_hours=800;;;0;"_s,
        {u"Fine=ok:"_s});
    row("lamp at the warning threshold", {u"Fine"_s, u"--lamp-warn"_s, u"800"_s}, 1,
        u"LUMARIN WARNING - 1 of 1 projectors reached, 1 with warnings, 0 with errors, highest "
        "lamp time 800 h | reached=1;;;0;1 warnings=1;;;0;1 errors=0;;;0;1 lamp_hours=800;800;;0;"_s,
        {u"Fine=warning:lamp-hours"_s});
    row("lamp past the critical threshold",
        {u"Fine"_s, u"--lamp-warn"_s, u"500"_s, u"--lamp-crit"_s, u"700"_s}, 2,
        u"LUMARIN CRITICAL - "_s, {u"Fine=critical:lamp-hours"_s});
    row("warning in the error status", {u"Filter"_s}, 1, u"LUMARIN WARNING - "_s,
        {u"Filter=warning:warning:filter"_s});
    row("error in the error status", {u"Hot"_s}, 2, u"LUMARIN CRITICAL - "_s,
        {u"Hot=critical:error:temperature"_s});
    row("no answer", {u"Silent"_s}, 2,
        u"LUMARIN CRITICAL - 0 of 1 projectors reached, 0 with warnings, 1 with errors, highest "
        "lamp time - h | reached=0;;;0;1 warnings=0;;;0;1 errors=1;;;0;1 lamp_hours=U;;;0;"_s,
        {u"Silent=critical:no-answer"_s});
    row("password refused", {u"Locked"_s}, 2, u"LUMARIN CRITICAL - "_s,
        {u"Locked=critical:password-refused"_s});
    row("everything", {u"--lamp-warn"_s, u"1500"_s}, 2,
        u"LUMARIN CRITICAL - 4 of 6 projectors reached, 2 with warnings, 3 with errors, highest "
        "lamp time 1600 h | reached=4;;;0;6 warnings=2;;;0;6 errors=3;;;0;6 "
        "lamp_hours=1600;1500;;0;"_s,
        {u"Fine=ok:"_s, u"Filter=warning:warning:filter"_s, u"Hot=critical:error:temperature"_s,
         u"Silent=critical:no-answer"_s, u"Locked=critical:password-refused"_s,
         u"Old=warning:lamp-hours"_s});

    const QString thresholds = u"--lamp-warn, --lamp-crit, --filter-warn and --filter-crit take "
                               "a whole number of hours, and a warning threshold may not exceed "
                               "its critical one."_s;
    unknown("empty group", {}, {u"/Empty"_s}, {}, u"no projector to check"_s);
    unknown("threshold not a number", {}, {u"--lamp-warn"_s, u"many"_s}, {}, thresholds);
    unknown("warning above critical", {}, {u"--lamp-warn"_s, u"900"_s, u"--lamp-crit"_s, u"800"_s},
            {}, thresholds);
    unknown("unknown option", {}, {u"--lamp"_s, u"9"_s}, {}, u"Unknown option 'lamp'."_s);
    unknown("unknown option before the command", {u"--lamp"_s}, {}, {},
            u"Unknown option 'lamp'."_s);
    unknown("unknown target", {}, {u"Nobody"_s}, {},
            u"No projector is named \"Nobody\" or has that IP address."_s);
    unknown("empty --settings before the command", {u"--settings"_s, QString()}, {}, {},
            u"--settings needs a file name"_s);
    unknown("empty --settings after the command", {}, {u"--settings"_s, QString()}, {},
            u"--settings needs a file name"_s);
    unknown("not a settings file", {}, {}, "<html><body>Lumarin</body></html>\n",
            u"%1 is not a settings file: it has none of the sections [Group], [Projector] and "
            "[Property]. It is left as it is."_s);
    unknown("settings file cannot be read", {}, {u"--settings"_s, u"/"_s}, {},
            u"/ cannot be read: "_s);
}

// One emulated projector in each state; check answers with the plugin's exit status, a summary
// with performance data, and the reason for every projector that is not OK. When it cannot
// judge, the summary is the message shown on standard error, on one line.
void TestLumarinctl::check_answersAsMonitoringPlugin()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, args);
    QFETCH(QByteArray, foreign);
    QFETCH(int, exitCode);
    QFETCH(QString, summary);
    QFETCH(QStringList, found);

    Fleet fleet;
    QVERIFY(fleet.Start(71, [](EmulatorConfig &c) { c.name = "Fine", c.lamps = {{800, 0}}; }));
    QVERIFY(fleet.Start(72, [](EmulatorConfig &c) {
        c.name = "Filter", c.errors = {0, 0, 0, 0, 1, 0}, c.lamps = {{100, 0}};
    }));
    QVERIFY(fleet.Start(73, [](EmulatorConfig &c) {
        c.name = "Hot", c.errors = {0, 0, 2, 0, 0, 0}, c.lamps = {{200, 0}};
    }));
    QVERIFY(fleet.Start(74, [](EmulatorConfig &c) { c.listening = false; }));
    QVERIFY(fleet.Start(75, [](EmulatorConfig &c) { c.name = "Locked", c.password = "right"; }));
    QVERIFY(fleet.Start(76, [](EmulatorConfig &c) { c.name = "Old", c.lamps = {{1600, 0}}; }));
    const QByteArray content =
        !foreign.isEmpty() ? foreign
                           : SettingsContent({{u"Empty"_s, u"/"_s}},
                                             {{u"Fine"_s, Address(71), QString(), u"/"_s},
                                              {u"Filter"_s, Address(72), QString(), u"/"_s},
                                              {u"Hot"_s, Address(73), QString(), u"/"_s},
                                              {u"Silent"_s, Address(74), QString(), u"/"_s},
                                              {u"Locked"_s, Address(75), u"wrong"_s, u"/"_s},
                                              {u"Old"_s, Address(76), QString(), u"/"_s}});
    const QString settings = NewSettings(content);
    summary.replace(u"%1"_s, settings);

    const CtlRun text = Ctl(settings, before + QStringList{u"check"_s} + args);
    QVERIFY2(text.finished && text.exitCode == exitCode, qPrintable(Describe(text)));
    const QStringList lines = QString::fromUtf8(text.out).split(u'\n', Qt::SkipEmptyParts);
    QVERIFY2(!lines.isEmpty() && lines.front().startsWith(summary), qPrintable(Describe(text)));
    // A line per projector that is not OK, naming it with its address and group.
    const qsizetype notOk = std::count_if(found.begin(), found.end(),
                                          [](const QString &f) { return !f.contains(u"=ok:"_s); });
    QCOMPARE(lines.size(), 1 + notOk);
    for (const QString &line : lines.mid(1))
        QVERIFY2(line.contains(u" (127.0.8.7"_s) && line.contains(u", /): "_s), qPrintable(line));
    if (exitCode == 3) {
        // The reason is the message on standard error, where scripts and people read it.
        const QString reason = lines.front().mid(qsizetype(strlen("LUMARIN UNKNOWN - ")));
        QVERIFY2(text.err.contains(reason), qPrintable(Describe(text)));
    }

    const CtlRun json =
        Ctl(settings, QStringList{u"--json"_s} + before + QStringList{u"check"_s} + args);
    QCOMPARE(json.exitCode, exitCode);
    QStringList states;
    for (const QJsonValue &p : json.json[u"projectors"_s].toArray()) {
        QStringList reasons;
        for (const QJsonValue &r : p[u"reasons"_s].toArray())
            reasons << r.toString();
        states << p[u"name"_s].toString() + u'=' + p[u"state"_s].toString() + u':' +
                      reasons.join(u',');
    }
    QCOMPARE(states, found);
    QCOMPARE(json.json[u"status"_s].toString(),
             QStringList({u"ok"_s, u"warning"_s, u"critical"_s, u"unknown"_s})[exitCode]);
    QVERIFY2(json.json[u"summary"_s].toString().startsWith(summary), qPrintable(Describe(json)));
    QCOMPARE(ReadFile(settings), content); // a check writes nothing, nor over a foreign file
}

void TestLumarinctl::importCsv_allOrNothing_data()
{
    QTest::addColumn<QByteArray>("csv");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("listing"); // empty: nothing changed
    QTest::addColumn<QStringList>("told");

    const QByteArray header = "name,address,group path,password\r\n";
    QTest::newRow("all good, quoted, BOM, LF and CRLF")
        << QByteArray("\xEF\xBB\xBF") + header +
               "Hall 1,127.0.8.81,/A,\n\"Room, 2\",127.0.8.82,,\"pa\"\"ss\"\r\nLobby,127.0.8.83\n"
        << 0 << u"/A | Hall 1@/A P@/ Room, 2@/ Lobby@/"_s << QStringList{u"3 projectors"_s};
    QTest::newRow("one bad address: nothing")
        << header + "Hall 1,127.0.8.81,/A\nRoom 2,127.0.8.300,/A\n"
        << 1 << QString() << QStringList{u"line 3: "_s + LoadString(315), u"1 rows refused"_s};
    QTest::newRow("registered address, repeated address, unknown group")
        << header + "X,127.0.8.80\nY,127.0.8.84\nZ,127.0.8.84\nW,127.0.8.85,/Nowhere\n"
        << 1 << QString()
        << QStringList{u"line 2: "_s + LoadString(316), u"line 4: "_s + LoadString(316),
                       u"line 5: There is no group \"/Nowhere\"."_s, u"3 rows refused"_s};
    QTest::newRow("empty name, too many columns")
        << header + ",127.0.8.86\nV,127.0.8.87,/,pw,extra\n"
        << 1 << QString()
        << QStringList{u"line 2: the name is empty"_s, u"line 3: a row has 2 to 4 columns"_s};
    QTest::newRow("no header") << QByteArray("Hall 1,127.0.8.81\n") << 1 << QString()
                               << QStringList{u"The first row must be the header"_s};
    QTest::newRow("open quote") << header + "\"Hall 1,127.0.8.81\n"
                                << 1 << QString()
                                << QStringList{u"line 2: a quoted field is not closed"_s};
    QTest::newRow("header only") << header << 0 << u"/A | P@/"_s << QStringList{u"0 projectors"_s};
}

// Every row is checked before anything changes: one bad row and the register stays as it was.
void TestLumarinctl::importCsv_allOrNothing()
{
    QFETCH(QByteArray, csv);
    QFETCH(int, exitCode);
    QFETCH(QString, listing);
    QFETCH(QStringList, told);

    const QByteArray before =
        SettingsContent({{u"A"_s, u"/"_s}}, {{u"P"_s, Address(80), QString(), u"/"_s}});
    const QString settings = NewSettings(before);
    // Through standard input; a file takes the same path once read.
    const CtlRun run = RunProgram(kLumarinctl, {u"--settings"_s, settings, u"import-csv"_s, u"-"_s},
                                  60000, CtlEnvironment(), csv);
    QVERIFY2(run.finished && run.exitCode == exitCode, qPrintable(Describe(run)));
    for (const QString &text : told)
        QVERIFY2(QString(run.err + QString::fromUtf8(run.out)).contains(text),
                 qPrintable(Describe(run)));
    if (listing.isEmpty()) {
        QCOMPARE(ReadFile(settings), before);
        return;
    }
    QCOMPARE(Listing(settings), listing);
    if (csv.contains("pa\"\"ss"))
        QVERIFY(ReadFile(settings).contains(
            QByteArray(":" + platform::ScramblePassword(u"pa\"ss"_s).toLatin1() + ":M:")));
}

// passwd tries the new password against the projector and keeps the old one when it is refused;
// add --no-check registers a projector that does not answer; rename renames groups only.
void TestLumarinctl::fleetSetUp_passwdAddNoCheckRename()
{
    Fleet fleet;
    QVERIFY(fleet.Start(90, [](EmulatorConfig &c) { c.name = "Hall", c.password = "old"; }));
    const QByteArray content =
        SettingsContent({{u"A"_s, u"/"_s}}, {{u"Hall"_s, Address(90), u"old"_s, u"/A"_s}});
    const QString settings = NewSettings(content);
    const auto passwd = [&](const QByteArray &input) {
        return RunProgram(kLumarinctl, {u"--settings"_s, settings, u"passwd"_s, u"Hall"_s}, 60000,
                          CtlEnvironment(), input);
    };
    const QByteArray scrambledNew = ":" + platform::ScramblePassword(u"new"_s).toLatin1() + ":M:";

    // The projector still asks for "old": the new password is refused and nothing changes.
    const CtlRun refused = passwd("new\n");
    QVERIFY2(refused.exitCode == 1 && refused.err.contains(LoadString(317)),
             qPrintable(Describe(refused)));
    QCOMPARE(ReadFile(settings), content);
    const CtlRun noInput = passwd(QByteArray());
    QVERIFY2(noInput.exitCode == 2, qPrintable(Describe(noInput)));
    const CtlRun group = RunProgram(kLumarinctl, {u"--settings"_s, settings, u"passwd"_s, u"/A"_s},
                                    60000, CtlEnvironment(), "new\n");
    QVERIFY2(group.exitCode == 1, qPrintable(Describe(group)));

    fleet[90].update([](EmulatorConfig &c) { c.password = "new"; });
    const CtlRun changed = passwd("new\n");
    QVERIFY2(changed.exitCode == 0 && changed.err.contains(LoadString(318)),
             qPrintable(Describe(changed)));
    QVERIFY(ReadFile(settings).contains(scrambledNew));

    // --no-check sends nothing, not even to a projector that listens.
    QVERIFY(fleet.Start(93, [](EmulatorConfig &c) { c.name = "Loft"; }));
    const CtlRun quiet = Ctl(settings, {u"add"_s, u"--no-check"_s, u"Loft"_s, Address(93)});
    QVERIFY2(quiet.exitCode == 0, qPrintable(Describe(quiet)));
    QVERIFY(fleet[93].receivedCommands().empty());
    QVERIFY2(Ctl(settings, {u"remove"_s, u"Loft"_s}).exitCode == 0, "remove Loft");

    // Nothing listens at .91: registered all the same, under the name given.
    const CtlRun unchecked =
        Ctl(settings, {u"add"_s, u"--no-check"_s, u"Attic"_s, Address(91), u"--group"_s, u"/A"_s});
    QVERIFY2(unchecked.exitCode == 0, qPrintable(Describe(unchecked)));
    QCOMPARE(Listing(settings), u"/A | Hall@/A Attic@/A"_s);
    for (const QStringList &args :
         {QStringList{u"add"_s, u"--no-check"_s, Address(92)},
          QStringList{u"add"_s, u"Attic 2"_s, Address(92)},
          QStringList{u"add"_s, u"--no-check"_s, u"Attic"_s, Address(91)}})
        QVERIFY2(Ctl(settings, args).exitCode == (args.size() == 4 ? 1 : 2),
                 qPrintable(args.join(u' ')));

    const CtlRun renameGroup = Ctl(settings, {u"rename"_s, u"/A"_s, u"North"_s});
    QVERIFY2(renameGroup.exitCode == 0, qPrintable(Describe(renameGroup)));
    const CtlRun renameProjector = Ctl(settings, {u"rename"_s, u"Hall"_s, u"Aula"_s});
    QVERIFY2(renameProjector.exitCode == 1 && renameProjector.err.contains(u"PJLink NAME"_s),
             qPrintable(Describe(renameProjector)));
    QCOMPARE(Listing(settings), u"/North | Hall@/North Attic@/North"_s);
}

void TestLumarinctl::registerGreeting_onlyForCommandsThatShowProjectors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("greets");
    QTest::newRow("list") << QStringList{u"list"_s} << 0 << true;
    QTest::newRow("status") << QStringList{u"status"_s} << 1 << true;
    QTest::newRow("group add") << QStringList{u"group"_s, u"add"_s, u"/A"_s} << 0 << false;
    QTest::newRow("set") << QStringList{u"set"_s, u"timeout"_s} << 0 << false;
}

// Message 300 greets an empty register at the document's creation; lumarinctl passes it on only
// where it explains the answer.
void TestLumarinctl::registerGreeting_onlyForCommandsThatShowProjectors()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(bool, greets);
    const CtlRun run = Ctl(NewSettings(SettingsContent({}, {})), args);
    QVERIFY2(run.finished && run.exitCode == exitCode, qPrintable(Describe(run)));
    QCOMPARE(run.err.contains(LoadString(300)), greets);
}

// The night-time switch-off: every projector that answers gets the command once, the silent one
// is skipped, the one whose stored password is refused counts as reached but gets nothing.
void TestLumarinctl::powerOffRoot_reachesEveryAnsweringProjector()
{
    Fleet fleet;
    QVERIFY(fleet.Start(1, [](EmulatorConfig &c) { c.name = "Lobby", c.power = 1; }));
    QVERIFY(fleet.Start(
        2, [](EmulatorConfig &c) { c.name = "Hall", c.password = "admin", c.power = 1; }));
    QVERIFY(fleet.Start(3, [](EmulatorConfig &c) { c.name = "Room 1", c.power = 1; }));
    QVERIFY(fleet.Start(
        4, [](EmulatorConfig &c) { c.name = "Room 2", c.password = "admin", c.power = 1; }));
    QVERIFY(fleet.Start(5, [](EmulatorConfig &c) { c.name = "Attic", c.listening = false; }));

    const QString settings = NewSettings(SettingsContent(
        {{u"A"_s, u"/"_s}, {u"B"_s, u"/A"_s}}, {{u"Lobby"_s, Address(1), QString(), u"/"_s},
                                                {u"Hall"_s, Address(2), u"admin"_s, u"/A"_s},
                                                {u"Room 1"_s, Address(3), QString(), u"/A/B"_s},
                                                {u"Room 2"_s, Address(4), u"wrong"_s, u"/A/B"_s},
                                                {u"Attic"_s, Address(5), QString(), u"/A"_s}}));
    const CtlRun run = Ctl(settings, {u"--json"_s, u"power"_s, u"off"_s, u"/"_s});
    // Room 2's password and the silent Attic: not done everywhere, so exit status 1.
    QVERIFY2(run.finished && run.exitCode == 1, qPrintable(Describe(run)));
    QCOMPARE(run.json[u"selected"_s].toInt(), 5);
    QCOMPARE(run.json[u"reached"_s].toInt(), 4);

    const std::map<int, int> switchedOff{{1, 1}, {2, 1}, {3, 1}, {4, 0}, {5, 0}};
    for (const auto &[host, count] : switchedOff)
        QVERIFY2(fleet.Count(host, "POWR 0") == count, qPrintable(Address(host)));
    QVERIFY(fleet[4].receivedCommands().empty()); // never past authentication
    QCOMPARE(fleet[5].connectionCount(), 0);
    QCOMPARE(fleet[1].config().power, 2); // cooling

    // One event per projector that took the command, none for the others.
    QStringList sources;
    for (const QJsonValue &event : run.json[u"events"_s].toArray()) {
        QCOMPARE(event[u"message"_s].toString(), u"The power has been turned Off."_s);
        QCOMPARE(event[u"level"_s].toString(), u"information"_s);
        sources << event[u"source"_s].toString();
    }
    QCOMPARE(sources, QStringList({u"Room 1"_s, u"Hall"_s, u"Lobby"_s})); // tree order

    // The read-back of the projectors reached; the refused password shows as a failed read
    // (result 10), not as a projector that did not answer.
    QStringList readBack;
    for (const QJsonValue &p : run.json[u"projectors"_s].toArray())
        readBack << p[u"name"_s].toString() + u'=' + p[u"cells"_s][u"power"_s].toString();
    QCOMPARE(readBack, QStringList({u"Room 1=Cooling"_s, u"Room 2=X"_s, u"Hall=Cooling"_s,
                                    u"Lobby=Cooling"_s}));

    // Nothing reached at all: exit status 1 and message 337.
    const QString silentOnly =
        NewSettings(SettingsContent({}, {{u"Attic"_s, Address(5), QString(), u"/"_s}}));
    const CtlRun none = Ctl(silentOnly, {u"power"_s, u"on"_s, u"Attic"_s});
    QVERIFY2(none.finished && none.exitCode == 1, qPrintable(Describe(none)));
    QVERIFY(none.err.contains(LoadString(337)));
}

// One projector per way a command can end, all in /Floor in this order, each offering Digital
// 2 unless told otherwise. Each refuses power and input alike, so that one fleet serves both
// commands.
struct OutcomeProjector
{
    const char *name;
    std::function<void(EmulatorConfig &)> setup;
    const char16_t *storedPassword = u"";
};

const std::vector<OutcomeProjector> &OutcomeFleet()
{
    static const std::vector<OutcomeProjector> fleet{
        {"Done", [](EmulatorConfig &c) { c.power = 1; }},
        {"Range",
         [](EmulatorConfig &c) {
             c.power = 1, c.refusedSets = {{"POWR", 2}, {"INPT", 2}};
         }},
        {"Warming", [](EmulatorConfig &c) { c.power = 3; }},
        {"Failing",
         [](EmulatorConfig &c) {
             c.power = 1, c.errors = {0, 2, 0, 0, 0, 0};
             c.refusedSets = {{"POWR", 4}, {"INPT", 4}};
         }},
        {"Locked", [](EmulatorConfig &c) { c.power = 1, c.password = "secret"; }, u"wrong"},
        {"Silent", [](EmulatorConfig &c) { c.listening = false; }},
        {"Dropping",
         [](EmulatorConfig &c) {
             c.power = 1, c.droppedSets = {"POWR", "INPT"};
         }},
        {"NoDigital2",
         [](EmulatorConfig &c) {
             c.power = 1, c.inputs = {{1, 1}, {3, 1}};
         }},
    };
    return fleet;
}

constexpr int kOutcomeHost = 31; // the fleet's first host; the others follow

void TestLumarinctl::projectorCommands_tellEachOutcome_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QStringList>("outcomes"); // per projector: outcome,result,power,error
    QTest::addColumn<QStringList>("lines");    // standard error, in tree order
    QTest::addColumn<QString>("countLine");
    QTest::addColumn<int>("exitCode");

    const auto line = [](int i, const QString &text) {
        return u"%1 (%2, /Floor): %3"_s.arg(QString::fromLatin1(OutcomeFleet()[size_t(i)].name),
                                            Address(kOutcomeHost + i), text);
    };
    const QString err2 = u"refused by the projector: the value is out of its range (ERR2)"_s;
    const QString err3 = u"refused by the projector: not possible now (ERR3)"_s;
    const QString err4 = u"refused by the projector: projector failure (ERR4)"_s;
    const QString password = u"the stored password was refused; nothing was sent"_s;
    const QString silent = u"no answer"_s;
    const QString dropped = u"the connection dropped before the projector answered"_s;

    QTest::newRow("input to every way of ending")
        << QStringList{u"input"_s, u"Digital"_s, u"2"_s, u"/Floor"_s}
        << QStringList{u"done,0,,"_s,
                       u"out-of-range,2,on,"_s,
                       u"unavailable,3,warm-up,"_s,
                       u"projector-failure,4,on,lamp"_s,
                       u"password-refused,10,,"_s,
                       u"no-answer,-1,,"_s,
                       u"connection-dropped,-1,,"_s,
                       u"input-not-offered,2,,"_s}
        << QStringList{line(1, err2 + u"; power: On"_s),
                       line(2, err3 + u"; power: Warm up"_s),
                       line(3, err4 + u"; power: On; error: Lamp"_s),
                       line(4, password),
                       line(5, silent),
                       line(6, dropped),
                       line(7, u"the projector does not offer this input; nothing was sent"_s)}
        << u"6 of 8 projectors reached."_s << 1;

    QTest::newRow("power off, warm-up refuses")
        << QStringList{u"power"_s, u"off"_s, u"/Floor"_s}
        << QStringList{u"done,0,,"_s,
                       u"out-of-range,2,on,"_s,
                       u"unavailable,3,warm-up,"_s,
                       u"projector-failure,4,on,lamp"_s,
                       u"password-refused,10,,"_s,
                       u"no-answer,-1,,"_s,
                       u"connection-dropped,-1,,"_s,
                       u"done,0,,"_s}
        << QStringList{line(1, err2 + u"; power: On"_s),
                       line(2, err3 + u"; power: Warm up"_s),
                       line(3, err4 + u"; power: On; error: Lamp"_s),
                       line(4, password),
                       line(5, silent),
                       line(6, dropped)}
        << u"7 of 8 projectors reached."_s << 1;

    QTest::newRow("mute, every target did it")
        << QStringList{u"mute"_s, u"video"_s, u"on"_s, u"Done"_s, u"NoDigital2"_s}
        << QStringList{u"done,0,,"_s, u"done,0,,"_s} << QStringList()
        << u"2 of 2 projectors reached."_s << 0;
}

void TestLumarinctl::projectorCommands_tellEachOutcome()
{
    QFETCH(QStringList, command);
    QFETCH(QStringList, outcomes);
    QFETCH(QStringList, lines);
    QFETCH(QString, countLine);
    QFETCH(int, exitCode);

    // A command changes the projectors (power on goes to cooling), so each run gets them new.
    QList<ProjectorLine> registered;
    const auto startFleet = [&](Fleet &fleet) {
        registered.clear();
        for (size_t i = 0; i < OutcomeFleet().size(); ++i) {
            const OutcomeProjector &p = OutcomeFleet()[i];
            const int host = kOutcomeHost + int(i);
            if (!fleet.Start(host, [&](EmulatorConfig &c) {
                    c.name = p.name;
                    c.inputs = {{3, 1}, {3, 2}};
                    p.setup(c);
                }))
                return false;
            registered << ProjectorLine{QString::fromLatin1(p.name), Address(host),
                                        QString::fromUtf16(p.storedPassword), u"/Floor"_s};
        }
        return true;
    };
    auto fleet = std::make_unique<Fleet>();
    QVERIFY(startFleet(*fleet));
    const QString settings = NewSettings(SettingsContent({{u"Floor"_s, u"/"_s}}, registered));

    // Standard error, less the one-time notice about ICMP echo.
    const auto outcomeLines = [](const QString &err) {
        QStringList kept;
        for (const QString &l : err.split(u'\n', Qt::SkipEmptyParts)) {
            if (!l.startsWith(u"lumarinctl:"_s))
                kept << l;
        }
        return kept;
    };

    const CtlRun json = Ctl(settings, QStringList{u"--json"_s} + command);
    QVERIFY2(json.finished, qPrintable(Describe(json)));
    QCOMPARE(json.exitCode, exitCode);
    QCOMPARE(outcomeLines(json.err), lines);
    QCOMPARE(json.json[u"ok"_s].toBool(), exitCode == 0);
    QCOMPARE(json.json[u"messages"_s].toVariant().toStringList(), lines);

    const QJsonArray results = json.json[u"results"_s].toArray();
    QCOMPARE(results.size(), outcomes.size());
    int done = 0;
    for (qsizetype i = 0; i < outcomes.size(); ++i) {
        const QStringList want = outcomes[i].split(u',');
        const QJsonObject result = results[i].toObject();
        const QString name = result[u"name"_s].toString();
        const auto wordOrNull = [](const QString &word) {
            return word.isEmpty() ? QJsonValue() : QJsonValue(word);
        };
        const int host =
            kOutcomeHost + int(std::find_if(OutcomeFleet().begin(), OutcomeFleet().end(),
                                            [&](const OutcomeProjector &p) {
                                                return name == QLatin1String(p.name);
                                            }) -
                               OutcomeFleet().begin());
        const QJsonObject expected{
            {u"name"_s, name},
            {u"ipAddress"_s, Address(host)},
            {u"groupPath"_s, u"/Floor"_s},
            {u"outcome"_s, want[0]},
            {u"result"_s, want[1].toInt()},
            {u"power"_s, wordOrNull(want[2])},
            {u"error"_s, wordOrNull(want[3])},
        };
        QCOMPARE(result, expected);
        done += want[0] == u"done"_s ? 1 : 0;
    }
    QCOMPARE(json.json[u"done"_s].toInt(), done);

    // What was sent: a refused password lets nothing through, a silent projector is never
    // connected to, and the input goes only where it is offered.
    QVERIFY((*fleet)[kOutcomeHost + 4].receivedCommands().empty());
    QCOMPARE((*fleet)[kOutcomeHost + 5].connectionCount(), 0);
    QCOMPARE(fleet->Count(kOutcomeHost + 7, "INPT 32"), 0);

    // Text: the count line stays on standard output, the same lines on standard error.
    fleet.reset();
    fleet = std::make_unique<Fleet>();
    QVERIFY(startFleet(*fleet));
    const CtlRun text = Ctl(settings, command);
    QVERIFY2(text.finished, qPrintable(Describe(text)));
    QCOMPARE(text.exitCode, exitCode);
    QCOMPARE(QString::fromUtf8(text.out).split(u'\n').value(0), countLine);
    QCOMPARE(outcomeLines(text.err), lines);

    // A Japanese desktop: the same outcomes for scripts, the lines for people translated.
    fleet.reset();
    fleet = std::make_unique<Fleet>();
    QVERIFY(startFleet(*fleet));
    QProcessEnvironment japanese = CtlEnvironment();
    japanese.insert(u"LC_ALL"_s, u"ja_JP.UTF-8"_s);
    japanese.insert(u"LANG"_s, u"ja_JP.UTF-8"_s);
    const CtlRun ja =
        RunProgram(kLumarinctl, QStringList{u"--settings"_s, settings, u"--json"_s} + command,
                   60000, japanese);
    QVERIFY2(ja.finished, qPrintable(Describe(ja)));
    QCOMPARE(ja.exitCode, exitCode);
    QCOMPARE(ja.json[u"results"_s].toArray(), results);
    const QStringList jaLines = outcomeLines(ja.err);
    QCOMPARE(jaLines.size(), lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i)
        QVERIFY2(jaLines[i] != lines[i] && jaLines[i].startsWith(lines[i].section(u',', 0, 0)),
                 qPrintable(jaLines[i]));
}

// The Prometheus text of a fleet with every kind of projector, checked by Prometheus's own
// promtool and by the values it must carry.
void TestLumarinctl::metrics_promtoolAcceptsAMixedFleet()
{
    Fleet fleet;
    QVERIFY(fleet.Start(61, [](EmulatorConfig &c) {
        c.name = "Aula \"Nord\" \\ 1", c.power = 1, c.input = {3, 2}, c.mute = 11;
        c.lamps = {{1520, 1}, {30, 0}};
        c.pjlinkClass = 2, c.filterHours = 250;
    }));
    QVERIFY(fleet.Start(62, [](EmulatorConfig &c) {
        c.name = "Faulty", c.power = 0, c.errors = {0, 1, 2, 0, 0, 0};
    }));
    QVERIFY(fleet.Start(63, [](EmulatorConfig &c) { c.name = "Locked", c.password = "other"; }));
    QVERIFY(fleet.Start(64, [](EmulatorConfig &c) { c.listening = false; }));
    const QByteArray content =
        SettingsContent({{u"A"_s, u"/"_s}}, {{u"Aula"_s, Address(61), u"secretpw"_s, u"/A"_s},
                                             {u"Faulty"_s, Address(62), QString(), u"/A"_s},
                                             {u"Locked"_s, Address(63), u"secretpw"_s, u"/"_s},
                                             {u"Silent"_s, Address(64), QString(), u"/"_s}});
    const QString settings = NewSettings(content);

    const CtlRun run = Ctl(settings, {u"metrics"_s, u"--register"_s, u"North \"B\""_s});
    QVERIFY2(run.finished && run.exitCode == 0, qPrintable(Describe(run)));
    const QString text = QString::fromUtf8(run.out);
    QVERIFY(!text.contains(u"secretpw"_s));
    const QString aula = u"register=\"North \\\"B\\\"\",name=\"Aula \\\"Nord\\\" \\\\ 1\","
                         "address=\"%1\",group=\"/A\""_s.arg(Address(61));
    for (const QString &line : QStringList{
             u"lumarin_projectors_registered{register=\"North \\\"B\\\"\"} 4"_s,
             u"lumarin_projector_up{"_s + aula + u"} 1"_s,
             u"lumarin_projector_power_state{"_s + aula + u"} 1"_s,
             u"lumarin_projector_lamp_usage_seconds{"_s + aula + u",lamp=\"2\"} 108000"_s,
             u"lumarin_projector_input_info{"_s + aula + u",type=\"digital\",number=\"2\"} 1"_s,
             u"lumarin_projector_mute{"_s + aula + u",kind=\"video\"} 1"_s,
             u"lumarin_projector_mute{"_s + aula + u",kind=\"audio\"} 0"_s,
             u"lumarin_projector_filter_usage_seconds{"_s + aula + u"} 900000"_s})
        QVERIFY2(text.contains(line + u'\n'), qPrintable(line + u"\n in:\n"_s + text));
    const QString faulty = u"name=\"Faulty\",address=\"%1\",group=\"/A\""_s.arg(Address(62));
    QVERIFY(text.contains(u"lumarin_projector_error_state{register=\"North \\\"B\\\"\","_s +
                          faulty + u",category=\"temperature\"} 2\n"_s));
    // Silent and refused projectors are down and report no values that were never read.
    QCOMPARE(text.count(u"lumarin_projector_up{"_s), 4);
    QCOMPARE(text.count(u"} 0\n"_s) >= 2, true);
    QCOMPARE(text.count(u"lumarin_projector_power_state{"_s), 2);
    // Only the Class 2 projector has a filter sample.
    QCOMPARE(text.count(u"lumarin_projector_filter_usage_seconds{"_s), 1);

    const QString promtool = QStandardPaths::findExecutable(u"promtool"_s);
    if (!promtool.isEmpty()) {
        const CtlRun checked =
            RunProgram(promtool, {u"check"_s, u"metrics"_s}, 60000, CtlEnvironment(), run.out);
        QVERIFY2(checked.finished && checked.exitCode == 0, qPrintable(Describe(checked)));
    } else {
        qWarning("promtool is not installed: the format is not checked by Prometheus");
    }

    // --output replaces the file whole; the settings file is never written.
    const QString file = m_dir.filePath(u"lumarin.prom"_s);
    QVERIFY(WriteFile(file, "stale\n"));
    const CtlRun written = Ctl(settings, {u"metrics"_s, u"/A"_s, u"--output"_s, file});
    QVERIFY2(written.exitCode == 0 && written.out.isEmpty(), qPrintable(Describe(written)));
    const QByteArray saved = ReadFile(file);
    QVERIFY(saved.startsWith("# HELP lumarin_projectors_registered"));
    QCOMPARE(QString::fromUtf8(saved).count(u"lumarin_projector_up{"_s), 2);
    QVERIFY(QString::fromUtf8(saved).contains(u"register=\""_s +
                                              QFileInfo(settings).completeBaseName()));
    QCOMPARE(ReadFile(settings), content);
    const CtlRun unwritable =
        Ctl(settings, {u"metrics"_s, u"--output"_s, m_dir.filePath(u"no/such/dir/x.prom"_s)});
    QVERIFY2(unwritable.exitCode == 1 && unwritable.err.contains(u"cannot be written"_s),
             qPrintable(Describe(unwritable)));
}

// A Class 2 projector beside a Class 1 one: its values in status, its filter in check, freeze
// done by it and refused by the other.
void TestLumarinctl::class2_statusCheckAndFreeze()
{
    Fleet fleet;
    QVERIFY(fleet.Start(81, [](EmulatorConfig &c) {
        c.name = "Modern", c.pjlinkClass = 2, c.power = 1, c.filterHours = 250;
        c.serialNumber = "SN-81", c.inputs = {{1, 1}, {3, 1}, {6, 1}};
        c.inputNames = {{{3, 1}, "HDMI 1"}};
        c.inputResolution = "-";
    }));
    QVERIFY(fleet.Start(82, [](EmulatorConfig &c) { c.name = "Classic", c.power = 1; }));
    const QString settings =
        NewSettings(SettingsContent({}, {{u"Modern"_s, Address(81), QString(), u"/"_s},
                                         {u"Classic"_s, Address(82), QString(), u"/"_s}}));

    const CtlRun status = Ctl(settings, {u"status"_s, u"--json"_s});
    QVERIFY2(status.exitCode == 0, qPrintable(Describe(status)));
    const QJsonArray projectors = status.json[u"projectors"_s].toArray();
    QCOMPARE(projectors.size(), 2);
    const QJsonObject modern = projectors[0].toObject();
    QCOMPARE(modern[u"class"_s].toInt(), 2);
    const QJsonObject class2 = modern[u"class2"_s].toObject();
    QCOMPARE(class2[u"serialNumber"_s].toString(), u"SN-81"_s);
    QCOMPARE(class2[u"filterHours"_s].toInt(), 250);
    QCOMPARE(class2[u"inputResolution"_s].toString(), u"no-signal"_s);
    QCOMPARE(class2[u"recommendedResolution"_s][u"width"_s].toInt(), 1920);
    QCOMPARE(class2[u"freeze"_s].toBool(true), false);
    QCOMPARE(
        class2[u"inputNames"_s].toArray(),
        (QJsonArray{QJsonObject{
            {u"type"_s, 3}, {u"number"_s, 1}, {u"code"_s, u"31"_s}, {u"name"_s, u"HDMI 1"_s}}}));
    QCOMPARE(class2[u"result"_s].toInt(), 0);
    QCOMPARE(projectors[1][u"class"_s].toInt(), 1);
    QVERIFY(projectors[1][u"class2"_s].isNull());
    // A Class 1 projector is asked nothing of Class 2.
    for (const char *class2Query : {"SNUM ?", "FILT ?", "IRES ?", "FREZ ?", "INST ?"})
        QCOMPARE(fleet.Count(82, class2Query), class2Query == std::string("INST ?") ? 1 : 0);

    const CtlRun check =
        Ctl(settings, {u"check"_s, u"--filter-warn"_s, u"200"_s, u"--filter-crit"_s, u"1000"_s});
    QVERIFY2(check.exitCode == 1, qPrintable(Describe(check)));
    QVERIFY2(check.out.contains("filter_hours=250;200;1000;0;"), qPrintable(Describe(check)));
    QVERIFY2(check.out.contains("WARNING: Modern") && check.out.contains("filter time 250 h"),
             qPrintable(Describe(check)));
    const CtlRun crit = Ctl(settings, {u"check"_s, u"--filter-crit"_s, u"250"_s});
    QCOMPARE(crit.exitCode, 2);
    const CtlRun inverted =
        Ctl(settings, {u"check"_s, u"--filter-warn"_s, u"9"_s, u"--filter-crit"_s, u"8"_s});
    QCOMPARE(inverted.exitCode, 3);

    const CtlRun freeze = Ctl(settings, {u"--json"_s, u"freeze"_s, u"on"_s, u"/"_s});
    QVERIFY2(freeze.exitCode == 1, qPrintable(Describe(freeze)));
    const QJsonArray results = freeze.json[u"results"_s].toArray();
    QCOMPARE(results.size(), 2);
    QCOMPARE(results[0][u"outcome"_s].toString(), u"done"_s);
    QCOMPARE(results[1][u"outcome"_s].toString(), u"undefined-command"_s);
    QVERIFY(fleet[81].config().freeze);
    QVERIFY(Ctl(settings, {u"freeze"_s, u"off"_s, u"Modern"_s}).exitCode == 0);
    QVERIFY(!fleet[81].config().freeze);
}

void TestLumarinctl::statusJson_showsWhatEachProjectorReports()
{
    Fleet fleet;
    QVERIFY(fleet.Start(11, [](EmulatorConfig &c) {
        c.name = "Lobby", c.manufacturer = "Emulux", c.power = 1, c.input = {3, 1};
        c.lamps = {{1520, 0}};
    }));
    QVERIFY(fleet.Start(12, [](EmulatorConfig &c) {
        c.name = "Cam", c.manufacturer = "Korvane", c.power = 1;
        c.inputs = {{1, 1}, {1, 9}}, c.input = {1, 9}, c.mute = 31;
        c.errors = {0, 1, 0, 0, 0, 0}, c.lamps = {{870, 0}};
    }));
    QVERIFY(fleet.Start(13, [](EmulatorConfig &c) {
        c.name = "Faulty", c.power = 0, c.errors = {0, 0, 2, 1, 0, 0};
        c.rawAnswers = {{"POWR", "%1POWR=ERR4"}, {"INPT", "%1INPT=ERR3"}};
    }));
    QVERIFY(fleet.Start(14, [](EmulatorConfig &c) { c.listening = false; }));

    const QString settings = NewSettings(
        SettingsContent({{u"A"_s, u"/"_s}}, {{u"Lobby"_s, Address(11), QString(), u"/"_s},
                                             {u"Cam"_s, Address(12), QString(), u"/A"_s},
                                             {u"Faulty"_s, Address(13), QString(), u"/A"_s},
                                             {u"Silent"_s, Address(14), QString(), u"/"_s}}));
    const CtlRun run = Ctl(settings, {u"status"_s, u"--json"_s});
    QVERIFY2(run.finished && run.exitCode == 0, qPrintable(Describe(run)));

    const QStringList keys{u"name"_s,  u"manufacturer"_s, u"power"_s,     u"input"_s,    u"mute"_s,
                           u"error"_s, u"lampTime"_s,     u"ipAddress"_s, u"groupPath"_s};
    // Tree order: /A's projectors come first, as its group was placed before them.
    const QList<QStringList> expected{
        {u"Cam"_s, u"Korvane"_s, u"On"_s, u"Camera"_s, u"Video & Audio"_s, u"Lamp"_s, u"870 h"_s,
         Address(12), u"/A"_s},
        // ERR4 on the power query, and no input during standby: an empty cell, no error.
        {u"Faulty"_s, u"Emulux"_s, u"X"_s, QString(), QString(), u"Temperature"_s, u"1200 h"_s,
         Address(13), u"/A"_s},
        {u"Lobby"_s, u"Emulux"_s, u"On"_s, u"Digital1"_s, QString(), QString(), u"1520 h"_s,
         Address(11), u"/"_s},
        {u"Silent"_s, u"?"_s, u"?"_s, u"?"_s, u"?"_s, u"?"_s, u"?"_s, Address(14), u"/"_s},
    };
    const QJsonArray projectors = run.json[u"projectors"_s].toArray();
    QCOMPARE(projectors.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QStringList cells;
        for (const QString &key : keys)
            cells << projectors[i][u"cells"_s][key].toString();
        QCOMPARE(cells, expected[i]);
    }

    // The values for scripts: fixed words and numbers, null where nothing is known.
    const auto value = [&](int i, const QString &key) {
        return QJsonDocument(QJsonArray{projectors[i][key]}).toJson(QJsonDocument::Compact);
    };
    const QList<std::pair<QString, QList<QByteArray>>> values{
        // Cam, Faulty, Lobby, Silent
        {u"power"_s, {R"(["on"])", "[null]", R"(["on"])", "[null]"}},
        {u"input"_s,
         {R"([{"code":"19","number":9,"type":"rgb"}])", R"(["unavailable"])",
          R"([{"code":"31","number":1,"type":"digital"}])", "[null]"}},
        {u"mute"_s, {R"(["video-and-audio"])", R"(["off"])", R"(["off"])", "[null]"}},
        {u"lampHours"_s, {"[870]", "[1200]", "[1520]", "[null]"}},
        {u"manufacturer"_s, {R"(["Korvane"])", R"(["Emulux"])", R"(["Emulux"])", "[null]"}},
        {u"reachable"_s, {"[true]", "[true]", "[true]", "[false]"}},
    };
    for (const auto &[key, expectedValues] : values) {
        for (int i = 0; i < 4; ++i)
            QVERIFY2(value(i, key) == expectedValues[i],
                     qPrintable(key + u' ' + QString::number(i) + u": "_s +
                                QString::fromUtf8(value(i, key))));
    }
    QCOMPARE(projectors[1][u"errors"_s].toObject(), QJsonObject({{u"fan"_s, u"ok"_s},
                                                                 {u"lamp"_s, u"ok"_s},
                                                                 {u"temperature"_s, u"error"_s},
                                                                 {u"cover"_s, u"warning"_s},
                                                                 {u"filter"_s, u"ok"_s},
                                                                 {u"other"_s, u"ok"_s}}));
    QVERIFY(projectors[3][u"errors"_s].isNull());
    QCOMPARE(run.json[u"schema"_s].toInt(), 1);
    const QRegularExpression iso(uR"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$)"_s);
    for (const QJsonValue &event : run.json[u"events"_s].toArray())
        QVERIFY2(iso.match(event[u"time"_s].toString()).hasMatch(),
                 qPrintable(event[u"time"_s].toString()));

    // A Japanese desktop gets the same values; only the texts for people differ.
    QProcessEnvironment japanese = CtlEnvironment();
    japanese.insert(u"LC_ALL"_s, u"ja_JP.UTF-8"_s);
    japanese.insert(u"LANG"_s, u"ja_JP.UTF-8"_s);
    const CtlRun ja = RunProgram(kLumarinctl, {u"--settings"_s, settings, u"--json"_s, u"status"_s},
                                 60000, japanese);
    QVERIFY2(ja.exitCode == 0, qPrintable(Describe(ja)));
    const auto forScripts = [](QJsonObject document) {
        QJsonArray stripped;
        for (const QJsonValue &p : document[u"projectors"_s].toArray()) {
            QJsonObject projector = p.toObject();
            projector.remove(u"cells"_s);
            stripped.append(projector);
        }
        document[u"projectors"_s] = stripped;
        QJsonArray events;
        for (const QJsonValue &e : document[u"events"_s].toArray())
            events.append(QJsonObject{{u"level"_s, e[u"level"_s]}, {u"source"_s, e[u"source"_s]}});
        document[u"events"_s] = events;
        return document;
    };
    QCOMPARE(forScripts(ja.json), forScripts(run.json));
    QVERIFY(ja.json[u"projectors"_s][0][u"cells"_s][u"power"_s].toString() !=
            run.json[u"projectors"_s][0][u"cells"_s][u"power"_s].toString());

    const QJsonObject cam = projectors[0][u"codes"_s].toObject();
    QCOMPARE(cam[u"connectResult"_s].toInt(), 0);
    QCOMPARE(cam[u"inputType"_s].toInt(), 1);
    QCOMPARE(cam[u"inputNumber"_s].toInt(), 9);
    QCOMPARE(cam[u"mute"_s].toInt(), 3);
    QCOMPARE(cam[u"errorLevels"_s].toArray(), QJsonArray({0, 1, 0, 0, 0, 0}));
    QCOMPARE(cam[u"lampHours"_s].toArray(), QJsonArray({870}));
    QCOMPARE(projectors[1][u"codes"_s][u"powerResult"_s].toInt(), 4);
    QCOMPARE(projectors[3][u"codes"_s][u"connectResult"_s].toInt(), -1);
    QCOMPARE(projectors[3][u"codes"_s][u"reachable"_s].toBool(), false);

    QStringList events;
    for (const QJsonValue &event : run.json[u"events"_s].toArray())
        events << event[u"levelText"_s].toString() + u' ' + event[u"source"_s].toString() +
                      u": "_s + event[u"message"_s].toString();
    QCOMPARE(events, QStringList({u"WARN Cam: "_s + LoadString(344),
                                  u"ERROR Faulty: "_s + LoadString(335)}));

    // The same cells as a table, for people; a target narrows the refresh to one projector.
    const int before = fleet[11].connectionCount();
    const CtlRun text = Ctl(settings, {u"status"_s, u"Faulty"_s});
    QVERIFY2(text.finished && text.exitCode == 0, qPrintable(Describe(text)));
    const QStringList lines = QString::fromUtf8(text.out).split(u'\n');
    QVERIFY(lines.size() >= 2);
    QVERIFY(
        lines[0].startsWith(u"Name    Manufacturer  Power  Input  Mute  Error        Lamp time"_s));
    QVERIFY2(lines[1].startsWith(u"Faulty  Emulux        X" + QString(19, u' ') +
                                 u"Temperature  1200 h"),
             qPrintable(lines[1]));
    QCOMPARE(fleet[11].connectionCount(), before);

    // Only silent projectors: exit status 1.
    const CtlRun silent = Ctl(settings, {u"status"_s, u"Silent"_s});
    QVERIFY2(silent.finished && silent.exitCode == 1, qPrintable(Describe(silent)));
}

// The Confirm and Register steps of registration by address, step by step on one file.
void TestLumarinctl::add_confirmsAndRegisters()
{
    Fleet fleet;
    QVERIFY(fleet.Start(21, [](EmulatorConfig &c) { c.name = "Secure", c.password = "admin"; }));
    QVERIFY(fleet.Start(22, [](EmulatorConfig &c) { c.name = "Open"; }));
    QVERIFY(fleet.Start(23, [](EmulatorConfig &c) { c.listening = false; }));
    const QString settings = NewSettings(SettingsContent({{u"A"_s, u"/"_s}}, {}));

    struct Step
    {
        QStringList args;
        int exitCode;
        QString message; // contained in standard error
        QString listing; // afterwards
    };
    const QString empty = u"/A |"_s;
    const QList<Step> steps{
        {{Address(21), u"--password"_s, u"wrong"_s}, 1, LoadString(317), empty},
        {{Address(21)}, 1, u"--password"_s, empty},
        {{Address(21), u"--password"_s, u"admin"_s, u"--group"_s, u"/A"_s},
         0,
         LoadString(313),
         u"/A | Secure@/A"_s},
        {{Address(21), u"--password"_s, u"admin"_s}, 1, LoadString(316), u"/A | Secure@/A"_s},
        {{u"0.0.0.0"_s}, 1, LoadString(315), u"/A | Secure@/A"_s},
        {{u"127.0.8"_s}, 1, LoadString(315), u"/A | Secure@/A"_s},
        {{Address(23)}, 1, LoadString(311), u"/A | Secure@/A"_s},
        {{Address(22), u"--group"_s, u"/B"_s}, 1, u"no group \"/B\""_s, u"/A | Secure@/A"_s},
        {{Address(22)}, 0, LoadString(313), u"/A | Secure@/A Open@/"_s},
    };
    for (const Step &step : steps) {
        const int connections = fleet[21].connectionCount() + fleet[22].connectionCount();
        const CtlRun run = Ctl(settings, QStringList{u"add"_s} + step.args);
        const QString what = step.args.join(u' ') + u": "_s + Describe(run);
        QVERIFY2(run.finished && run.exitCode == step.exitCode, qPrintable(what));
        QVERIFY2(run.err.contains(step.message), qPrintable(what));
        QCOMPARE(Listing(settings), step.listing);
        // Refused without a word to any projector: a registered address, an unknown group.
        if (step.message == LoadString(316) || step.message.contains(u"no group"_s))
            QCOMPARE(fleet[21].connectionCount() + fleet[22].connectionCount(), connections);
    }
    // The password is kept, scrambled as the settings file keeps it.
    QVERIFY(ReadFile(settings).contains(
        QByteArray(":" + platform::ScramblePassword(u"admin"_s).toLatin1() + ":M:")));
}

// Firmware that pads every line with NULs and sends an unasked link-up before its first answer:
// registered and read like any other, with and without a password, Class 1 and Class 2.
void TestLumarinctl::paddedLines_registeredAndRead()
{
    Fleet fleet;
    const auto padded = [](EmulatorConfig &c) {
        c.nulPadding = 7, c.tcpLinkUp = true, c.power = 1;
    };
    QVERIFY(fleet.Start(31, [&](EmulatorConfig &c) { padded(c), c.name = "Padded"; }));
    QVERIFY(fleet.Start(32, [&](EmulatorConfig &c) {
        padded(c), c.name = "PaddedTwo", c.pjlinkClass = 2, c.password = "admin";
    }));
    const QString settings = NewSettings(SettingsContent({}, {}));
    const CtlRun first = Ctl(settings, {u"add"_s, Address(31)});
    QVERIFY2(first.exitCode == 0, qPrintable(Describe(first)));
    const CtlRun second = Ctl(settings, {u"add"_s, Address(32), u"--password"_s, u"admin"_s});
    QVERIFY2(second.exitCode == 0, qPrintable(Describe(second)));
    QCOMPARE(Listing(settings), u"| Padded@/ PaddedTwo@/"_s);

    const CtlRun status = Ctl(settings, {u"status"_s, u"--json"_s});
    QVERIFY2(status.exitCode == 0, qPrintable(Describe(status)));
    const QJsonArray projectors = status.json[u"projectors"_s].toArray();
    QCOMPARE(projectors.size(), 2);
    for (const QJsonValue &p : projectors) {
        QVERIFY2(p[u"power"_s].toString() == u"on"_s, qPrintable(p[u"name"_s].toString()));
        QCOMPARE(p[u"input"_s][u"type"_s].toString(), u"rgb"_s);
        QCOMPARE(p[u"lampHours"_s].toInt(), 1200);
    }
    QCOMPARE(projectors[1][u"class2"_s][u"serialNumber"_s].toString(), u"EMX0000001"_s);
    QCOMPARE(projectors[1][u"class2"_s][u"result"_s].toInt(), 0);
}

// Each projector's password check in the JSON; neither the password nor a digest in any output.
void TestLumarinctl::input_everyClass2Input_data()
{
    QTest::addColumn<QStringList>("input"); // TYPE NUMBER as typed
    QTest::addColumn<QString>("sent");      // the request the projector got
    QTest::addColumn<QString>("type");      // in status --json
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("cell");
    QTest::newRow("internal by number")
        << QStringList{u"6"_s, u"1"_s} << u"%2INPT 61"_s << u"internal"_s << 1 << u"Internal1"_s;
    QTest::newRow("digital A") << QStringList{u"digital"_s, u"A"_s} << u"%2INPT 3A"_s
                               << u"digital"_s << 10 << u"DigitalA"_s;
    QTest::newRow("internal, lower-case z") << QStringList{u"Internal"_s, u"z"_s} << u"%2INPT 6Z"_s
                                            << u"internal"_s << 35 << u"InternalZ"_s;
    QTest::newRow("Class 1 input, as before")
        << QStringList{u"video"_s, u"9"_s} << u"%1INPT 29"_s << u"video"_s << 9 << u"Video9"_s;
}

// lumarinctl input takes every Class 2 input, switches it with "%2INPT" where Class 1 cannot name
// it, and status shows it in JSON and in the list's cell. A Class 1 projector never offers such an
// input and is told so, without a "%2" request.
void TestLumarinctl::input_everyClass2Input()
{
    QFETCH(QStringList, input);
    QFETCH(QString, sent);
    QFETCH(QString, type);
    QFETCH(int, number);
    QFETCH(QString, cell);
    Fleet fleet;
    QVERIFY(fleet.Start(86, [](EmulatorConfig &c) {
        c.name = "Modern", c.pjlinkClass = 2, c.power = 1;
        c.inputs = {{1, 1}, {2, 9}, {3, 10}, {6, 1}, {6, 35}};
        c.inputNames = {{{6, 1}, "Logo"}};
    }));
    QVERIFY(fleet.Start(87, [](EmulatorConfig &c) { c.name = "Classic", c.power = 1; }));
    const QString settings =
        NewSettings(SettingsContent({}, {{u"Modern"_s, Address(86), QString(), u"/"_s},
                                         {u"Classic"_s, Address(87), QString(), u"/"_s}}));

    const CtlRun run =
        Ctl(settings, QStringList{u"--json"_s, u"input"_s} + input + QStringList{u"Modern"_s});
    QVERIFY2(run.exitCode == 0, qPrintable(Describe(run)));
    const auto requests = fleet[86].receivedRequests();
    QVERIFY2(std::find(requests.begin(), requests.end(), sent.toStdString()) != requests.end(),
             qPrintable(Describe(run)));
    const CtlRun status = Ctl(settings, {u"--json"_s, u"status"_s, u"Modern"_s});
    QVERIFY2(status.exitCode == 0, qPrintable(Describe(status)));
    const QJsonObject modern = status.json[u"projectors"_s][0].toObject();
    QCOMPARE(modern[u"input"_s][u"type"_s].toString(), type);
    QCOMPARE(modern[u"input"_s][u"number"_s].toInt(), number);
    QCOMPARE(modern[u"input"_s][u"code"_s].toString(), sent.right(2));
    QCOMPARE(modern[u"cells"_s][u"input"_s].toString(), cell);

    if (sent.startsWith(u"%2"_s)) {
        const CtlRun classic =
            Ctl(settings, QStringList{u"input"_s} + input + QStringList{u"Classic"_s});
        QVERIFY2(classic.exitCode == 1 && classic.err.contains(u"Classic"_s),
                 qPrintable(Describe(classic)));
        for (const std::string &request : fleet[87].receivedRequests())
            QVERIFY2(request.rfind("%1", 0) == 0, request.c_str());
    }
}

void TestLumarinctl::security_levelShownSecretsNever()
{
    using S = EmulatorConfig::Security;
    Fleet fleet;
    QVERIFY(fleet.Start(41, [](EmulatorConfig &c) { c.name = "Open"; }));
    QVERIFY(fleet.Start(42, [](EmulatorConfig &c) { c.name = "Md5", c.password = "Lamp-7"; }));
    QVERIFY(fleet.Start(43, [](EmulatorConfig &c) {
        c.name = "Sha", c.password = "Lamp-7", c.security = S::Sha256;
    }));
    QVERIFY(fleet.Start(44, [](EmulatorConfig &c) {
        c.name = "ShaWrong", c.password = "Lamp-8", c.security = S::Sha256;
    }));
    const QString settings =
        NewSettings(SettingsContent({}, {{u"Open"_s, Address(41), QString(), u"/"_s},
                                         {u"Md5"_s, Address(42), u"Lamp-7"_s, u"/"_s},
                                         {u"Sha"_s, Address(43), u"Lamp-7"_s, u"/"_s},
                                         {u"ShaWrong"_s, Address(44), u"Lamp-7"_s, u"/"_s},
                                         {u"Silent"_s, Address(45), QString(), u"/"_s}}));
    const CtlRun run = Ctl(settings, {u"status"_s, u"--json"_s});
    QVERIFY2(run.finished && run.exitCode == 0, qPrintable(Describe(run)));
    QStringList levels;
    for (const QJsonValue &p : run.json[u"projectors"_s].toArray())
        levels << p[u"name"_s].toString() + u'=' +
                      (p[u"security"_s].isNull() ? u"null"_s : p[u"security"_s].toString());
    QCOMPARE(levels, (QStringList{u"Open=none"_s, u"Md5=md5"_s, u"Sha=sha256"_s,
                                  u"ShaWrong=sha256"_s, u"Silent=null"_s}));
    QCOMPARE(fleet[43].connectionCount(), 1);

    const CtlRun text = Ctl(settings, {u"status"_s});
    const CtlRun metrics = Ctl(settings, {u"metrics"_s});
    QVERIFY2(metrics.exitCode == 0, qPrintable(Describe(metrics)));
    for (const auto &[name, level] :
         {std::pair{u"Open"_s, u"none"_s}, {u"Md5"_s, u"md5"_s}, {u"Sha"_s, u"sha256"_s}}) {
        const QRegularExpression sample(u"lumarin_projector_security_info\\{[^}]*name=\""_s + name +
                                        u"\"[^}]*level=\""_s + level + u"\"\\} 1"_s);
        QVERIFY2(sample.match(QString::fromUtf8(metrics.out)).hasMatch(),
                 qPrintable(name + u'\n' + QString::fromUtf8(metrics.out)));
    }
    const QRegularExpression digest(u"[0-9a-fA-F]{32}"_s);
    for (const CtlRun *output : {&run, &text, &metrics}) {
        const QString all = QString::fromUtf8(output->out) + output->err;
        QVERIFY2(!all.contains(u"Lamp-"_s) && !digest.match(all).hasMatch(), qPrintable(all));
    }
}

void TestLumarinctl::registryEdits_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message"); // contained in standard error; empty: none expected
    QTest::addColumn<QString>("listing"); // empty: unchanged, and the file too

    const QString unchanged;
    QTest::newRow("group add below a top group")
        << QStringList{u"group"_s, u"add"_s, u"/C/D"_s} << 0 << QString()
        << u"/A /A/B /C /C/B /C/D | P1@/A/B Twin@/C P2@/ Twin@/"_s;
    QTest::newRow("group add 20 characters")
        << QStringList{u"group"_s, u"add"_s, u"/"_s + QString(20, u'x')} << 0 << QString()
        << u"/A /A/B /C /C/B /"_s + QString(20, u'x') + u" | P1@/A/B Twin@/C P2@/ Twin@/"_s;
    QTest::newRow("group add, third level")
        << QStringList{u"group"_s, u"add"_s, u"/A/B/X"_s} << 1 << LoadString(322) << unchanged;
    QTest::newRow("group add, a group's name")
        << QStringList{u"group"_s, u"add"_s, u"/C/B"_s} << 1 << LoadString(325) << unchanged;
    QTest::newRow("group add, a projector's name")
        << QStringList{u"group"_s, u"add"_s, u"/P2"_s} << 1 << LoadString(325) << unchanged;
    QTest::newRow("group add, 21 characters")
        << QStringList{u"group"_s, u"add"_s, u"/C/"_s + QString(21, u'x')} << 1 << LoadString(324)
        << unchanged;
    QTest::newRow("group add, unknown parent")
        << QStringList{u"group"_s, u"add"_s, u"/Z/X"_s} << 1 << u"no group \"/Z\""_s << unchanged;
    QTest::newRow("group rename") << QStringList{u"group"_s, u"rename"_s, u"/A"_s, u"Z"_s} << 0
                                  << QString()
                                  << u"/Z /Z/B /C /C/B | P1@/Z/B Twin@/C P2@/ Twin@/"_s;
    QTest::newRow("group rename, own name") << QStringList{u"group"_s, u"rename"_s, u"/A"_s, u"A"_s}
                                            << 1 << LoadString(325) << unchanged;
    QTest::newRow("group rename, a sibling's name")
        << QStringList{u"group"_s, u"rename"_s, u"/A/"_s, u"C"_s} << 1 << LoadString(325)
        << unchanged;
    QTest::newRow("group rename with a slash")
        << QStringList{u"group"_s, u"rename"_s, u"/A"_s, u"a/b"_s} << 1 << LoadString(324)
        << unchanged;
    QTest::newRow("group add with a control character")
        << QStringList{u"group"_s, u"add"_s, u"/C/x\ty"_s} << 1 << LoadString(324) << unchanged;
    QTest::newRow("add with a password PJLink cannot carry")
        << QStringList{u"add"_s, Address(49), u"--password"_s, u"\u0141x"_s} << 1
        << LoadString(2030) << unchanged;
    QTest::newRow("add with a password of 33 characters")
        << QStringList{u"add"_s,    u"--no-check"_s, u"N"_s,
                       Address(49), u"--password"_s, QString(33, u'p')}
        << 1 << LoadString(2030) << unchanged;
    QTest::newRow("group rename, the root")
        << QStringList{u"group"_s, u"rename"_s, u"/"_s, u"X"_s} << 1
        << FormatText(LoadString(339), {u"Root"_s}) << unchanged;
    QTest::newRow("move group, too deep")
        << QStringList{u"move"_s, u"/A"_s, u"--to"_s, u"/C"_s} << 1 << LoadString(320) << unchanged;
    QTest::newRow("move group, name taken") << QStringList{u"move"_s, u"/A/B"_s, u"--to"_s, u"/C"_s}
                                            << 1 << LoadString(325) << unchanged;
    QTest::newRow("move group into its own group")
        << QStringList{u"move"_s, u"/A/B"_s, u"--to"_s, u"/A"_s} << 1 << LoadString(346)
        << unchanged;
    QTest::newRow("move group below itself")
        << QStringList{u"move"_s, u"/A"_s, u"--to"_s, u"/A/B"_s} << 1 << LoadString(321)
        << unchanged;
    QTest::newRow("move the root")
        << QStringList{u"move"_s, u"/"_s, u"--to"_s, u"/C"_s} << 1 << LoadString(346) << unchanged;
    QTest::newRow("move, one refused: nothing moves")
        << QStringList{u"move"_s, u"P2"_s, u"/A"_s, u"--to"_s, u"/C"_s} << 1 << LoadString(320)
        << unchanged;
    QTest::newRow("move, unknown group") << QStringList{u"move"_s, u"P2"_s, u"--to"_s, u"/Q"_s} << 1
                                         << u"no group \"/Q\""_s << unchanged;
    QTest::newRow("move projector by name")
        << QStringList{u"move"_s, u"P2"_s, u"--to"_s, u"/C/B"_s} << 0 << QString()
        << u"/A /A/B /C /C/B | P1@/A/B P2@/C/B Twin@/C Twin@/"_s;
    QTest::newRow("move projector by address")
        << QStringList{u"move"_s, Address(43), u"--to"_s, u"/A"_s} << 0 << QString()
        << u"/A /A/B /C /C/B | P1@/A/B Twin@/A Twin@/C P2@/"_s;
    QTest::newRow("move group up to the root")
        << QStringList{u"move"_s, u"/A/B"_s, u"--to"_s, u"/"_s} << 0 << QString()
        << u"/A /C /C/B /B | Twin@/C P1@/B P2@/ Twin@/"_s; // reloaded: groups come first
    QTest::newRow("move, a name two projectors share")
        << QStringList{u"move"_s, u"Twin"_s, u"--to"_s, u"/A"_s} << 1
        << u"\"Twin\" names 2 projectors"_s << unchanged;
    QTest::newRow("remove group with everything below")
        << QStringList{u"remove"_s, u"/A"_s} << 0 << QString()
        << u"/C /C/B | Twin@/C P2@/ Twin@/"_s;
    QTest::newRow("remove a group and a projector inside it")
        << QStringList{u"remove"_s, u"P1"_s, u"/A/B"_s, u"P1"_s} << 0 << QString()
        << u"/A /C /C/B | Twin@/C P2@/ Twin@/"_s;
    QTest::newRow("remove the root")
        << QStringList{u"remove"_s, u"/"_s} << 1 << LoadString(346) << unchanged;
    QTest::newRow("remove, unknown name")
        << QStringList{u"remove"_s, u"P2"_s, u"Nobody"_s} << 1 << u"\"Nobody\""_s << unchanged;
}

void TestLumarinctl::registryEdits()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(QString, listing);

    // Nothing here talks to a projector: none of these addresses is served.
    const QByteArray content =
        SettingsContent({{u"A"_s, u"/"_s}, {u"B"_s, u"/A"_s}, {u"C"_s, u"/"_s}, {u"B"_s, u"/C"_s}},
                        {{u"P1"_s, Address(41), QString(), u"/A/B"_s},
                         {u"P2"_s, Address(42), QString(), u"/"_s},
                         {u"Twin"_s, Address(43), QString(), u"/"_s},
                         {u"Twin"_s, Address(44), QString(), u"/C"_s}});
    const QString settings = NewSettings(content);
    QCOMPARE(Listing(settings), u"/A /A/B /C /C/B | P1@/A/B Twin@/C P2@/ Twin@/"_s);

    const CtlRun run = Ctl(settings, args);
    QVERIFY2(run.finished && run.exitCode == exitCode, qPrintable(Describe(run)));
    if (message.isEmpty())
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    else
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
    if (listing.isEmpty()) {
        QCOMPARE(ReadFile(settings), content);
    } else {
        QCOMPARE(Listing(settings), listing);
    }
}

void TestLumarinctl::import_data()
{
    QTest::addColumn<QByteArray>("content"); // of the file imported; null: no such file
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("listing"); // empty: unchanged, and the file too

    QTest::newRow("empty file") << QByteArray("") << 1 << u"is not a settings file"_s << QString();
    QTest::newRow("no [Property]")
        << QByteArray("[Group]\r\n1=0058:002f\r\n") << 1 << LoadString(343) << QString();
    QTest::newRow("no such file") << QByteArray() << 1 << u"Failed to open document."_s
                                  << QString();
    QTest::newRow("another register")
        << SettingsContent({{u"X"_s, u"/"_s}}, {{u"Q"_s, Address(45), QString(), u"/X"_s}}, 7) << 0
        << QString() << u"/X | Q@/X"_s;
}

void TestLumarinctl::import()
{
    QFETCH(QByteArray, content);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QFETCH(QString, listing);

    const QByteArray before =
        SettingsContent({{u"A"_s, u"/"_s}}, {{u"P"_s, Address(46), QString(), u"/A"_s}});
    const QString settings = NewSettings(before);
    const QString other = m_dir.filePath(u"import-%1.ini"_s.arg(++m_files));
    if (!content.isNull())
        QVERIFY(WriteFile(other, content));

    const CtlRun run = Ctl(settings, {u"import"_s, other});
    QVERIFY2(run.finished && run.exitCode == exitCode, qPrintable(Describe(run)));
    if (message.isEmpty())
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
    else
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
    if (listing.isEmpty()) {
        QCOMPARE(ReadFile(settings), before);
        return;
    }
    // The settings file now holds the imported register and preferences.
    QCOMPARE(Listing(settings), listing);
    QVERIFY(ReadFile(settings).contains("\r\nTimeout=7\r\n"));
}

void TestLumarinctl::changes_refusedWhileApplicationRuns_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("refused");
    // search --register is refused the same way, but no search runs outside a namespace.
    QTest::newRow("group add") << QStringList{u"group"_s, u"add"_s, u"/X"_s} << true;
    QTest::newRow("group rename") << QStringList{u"group"_s, u"rename"_s, u"/A"_s, u"X"_s} << true;
    QTest::newRow("move") << QStringList{u"move"_s, u"P"_s, u"--to"_s, u"/"_s} << true;
    QTest::newRow("remove") << QStringList{u"remove"_s, u"P"_s} << true;
    QTest::newRow("add") << QStringList{u"add"_s, Address(47)} << true;
    QTest::newRow("set a value") << QStringList{u"set"_s, u"timeout"_s, u"2"_s} << true;
    QTest::newRow("import") << QStringList{u"import"_s, u"other.ini"_s} << true;
    QTest::newRow("list") << QStringList{u"list"_s} << false;
    QTest::newRow("set, reading") << QStringList{u"set"_s, u"refresh-interval"_s} << false;
    QTest::newRow("export") << QStringList{u"export"_s, u"copy.ini"_s} << false;
}

// While the application holds its lock (here this test process does, as another Lumarin would),
// the settings file is the application's to write.
void TestLumarinctl::changes_refusedWhileApplicationRuns()
{
    QFETCH(QStringList, args);
    QFETCH(bool, refused);
    const QByteArray content =
        SettingsContent({{u"A"_s, u"/"_s}}, {{u"P"_s, Address(48), QString(), u"/A"_s}});
    const QString settings = NewSettings(content);
    for (QString &arg : args) {
        if (arg.endsWith(u".ini"_s)) {
            arg = m_dir.filePath(QString::number(++m_files) + arg);
            QVERIFY(WriteFile(arg, SettingsContent({}, {})));
        }
    }

    platform::InstanceLock application(u"lumarin"_s);
    QVERIFY(application.TryLock());
    const CtlRun run = Ctl(settings, QStringList{u"--json"_s} + args);
    QVERIFY2(run.finished && run.exitCode == (refused ? 1 : 0), qPrintable(Describe(run)));
    QCOMPARE(run.err.contains(u"Lumarin is running"_s), refused);
    QCOMPARE(run.json[u"ok"_s].toBool(), !refused);
    QCOMPARE(ReadFile(settings), content);
}

// Without --settings: the application's file ("lumarin.ini" beside the program, whatever this
// program is called), and the application's "event.log" beside it stays as it was although
// the refresh produces events.
void TestLumarinctl::withoutSettings_usesApplicationsFile_leavesEventLog()
{
    Fleet fleet;
    QVERIFY(
        fleet.Start(61, [](EmulatorConfig &c) { c.name = "Warm", c.errors = {0, 0, 1, 0, 0, 0}; }));
    const QString bin = m_dir.filePath(u"install/bin"_s);
    QVERIFY(QDir().mkpath(bin));
    const QString program = bin + u"/lumarinctl"_s;
    QVERIFY(QFile::copy(kLumarinctl, program));
    const QString settings = bin + u"/lumarin.ini"_s;
    QVERIFY(
        WriteFile(settings, SettingsContent({}, {{u"Warm"_s, Address(61), QString(), u"/"_s}})));
    const QByteArray log = "INFO\t10:00:00  The power has been turned On.  Warm\r\n";
    QVERIFY(WriteFile(bin + u"/event.log"_s, log));

    const CtlRun status = RunProgram(program, {u"status"_s});
    QVERIFY2(status.finished && status.exitCode == 0, qPrintable(Describe(status)));
    QVERIFY(status.out.contains("WARN\t"));
    QVERIFY(status.out.contains(LoadString(336).toUtf8()));

    const CtlRun add = RunProgram(program, {u"group"_s, u"add"_s, u"/X"_s});
    QVERIFY2(add.finished && add.exitCode == 0, qPrintable(Describe(add)));
    QVERIFY(ReadFile(settings).contains(platform::EncodeText(u"X"_s).toLatin1()));
    QVERIFY(!QFile::exists(bin + u"/lumarinctl.ini"_s));
    QCOMPARE(ReadFile(bin + u"/event.log"_s), log);
}

void TestLumarinctl::notSettingsFile_neverWritten_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("JSON") << QByteArray("{\"fleet\": [{\"name\": \"Hall\"}]}\n");
    QTest::newRow("CSV") << QByteArray("name;address\nHall;10.0.0.1\n");
    QTest::newRow("garbage") << QByteArray("\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR", 16);
}

// A file given by mistake is refused by every command, reading or changing, and keeps every
// byte.
void TestLumarinctl::notSettingsFile_neverWritten()
{
    QFETCH(QByteArray, content);
    const QString file = NewSettings(content);
    for (const QStringList &args : {QStringList{u"list"_s}, QStringList{u"status"_s},
                                    QStringList{u"set"_s, u"timeout"_s, u"9"_s},
                                    QStringList{u"group"_s, u"add"_s, u"/X"_s}}) {
        const CtlRun run = Ctl(file, args);
        QVERIFY2(run.finished && run.exitCode == 1, qPrintable(Describe(run)));
        QVERIFY2(run.err.contains(file + u" is not a settings file"_s), qPrintable(run.err));
        QCOMPARE(ReadFile(file), content);
    }
    QVERIFY(!QFile::exists(file + u".bak"_s));
}

void TestLumarinctl::readOnlyCommands_missingFileStaysMissing()
{
    const QString missing = m_dir.filePath(u"missing-%1.ini"_s.arg(++m_files));
    const QString copy = m_dir.filePath(u"copy-%1.ini"_s.arg(m_files));
    for (const QStringList &args :
         {QStringList{u"list"_s}, QStringList{u"status"_s}, QStringList{u"set"_s, u"timeout"_s},
          QStringList{u"export"_s, copy}}) {
        const CtlRun run = Ctl(missing, args);
        QVERIFY2(run.finished && run.exitCode <= 1 && !run.err.contains(u"Failed"_s),
                 qPrintable(Describe(run)));
    }
    QVERIFY(!QFile::exists(missing));
    QVERIFY(!QFile::exists(missing + u".lock"_s));
    QVERIFY(ReadFile(copy).startsWith("[Group]\r\n"));

    // Usage errors and refused changes write nothing either; the first change that succeeds
    // creates the file.
    for (const QStringList &args :
         {QStringList{u"move"_s, u"Hall"_s}, QStringList{u"set"_s, u"colour"_s, u"3"_s},
          QStringList{u"set"_s, u"timeout"_s, u"0"_s}, QStringList{u"remove"_s, u"Nope"_s},
          QStringList{u"add"_s, u"0.0.0.0"_s}, QStringList{u"group"_s, u"add"_s, u"/A/B/C"_s},
          QStringList{u"add"_s, u"--no-check"_s, u"X"_s, Address(60), u"--password"_s,
                      QString(33, u'p')}}) {
        const CtlRun run = Ctl(missing, args);
        QVERIFY2(run.finished && run.exitCode >= 1, qPrintable(Describe(run)));
        QVERIFY2(!QFile::exists(missing), qPrintable(args.join(u' ')));
    }
    const CtlRun created = Ctl(missing, {u"group"_s, u"add"_s, u"/A"_s});
    QVERIFY2(created.exitCode == 0, qPrintable(Describe(created)));
    QCOMPARE(Listing(missing), u"/A |"_s);
}

// Changes started at the same moment wait for each other's lock: every one lands.
void TestLumarinctl::concurrentChanges_allLand()
{
    constexpr int kChanges = 20;
    const QString settings = NewSettings(SettingsContent({}, {}));
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < kChanges; ++i) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(CtlEnvironment());
        process->start(kLumarinctl, {u"--settings"_s, settings, u"group"_s, u"add"_s,
                                     u"/G%1"_s.arg(i, 2, 10, QChar(u'0'))});
        processes.push_back(std::move(process));
    }
    QStringList expected;
    for (int i = 0; i < kChanges; ++i) {
        QProcess &process = *processes[size_t(i)];
        QVERIFY(process.waitForFinished(120000));
        QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
                 process.readAllStandardError().constData());
        expected << u"/G%1"_s.arg(i, 2, 10, QChar(u'0'));
    }
    const QString listing = Listing(settings);
    QStringList groups = listing.section(u" |"_s, 0, 0).split(u' ', Qt::SkipEmptyParts);
    groups.sort();
    QCOMPARE(groups, expected);
}

// add talks to the projector before it takes the lock; a change that lands meanwhile must
// survive the registration, which applies to the file as it is then.
void TestLumarinctl::addWhileAnotherChangeLands_keepsBoth()
{
    Fleet fleet;
    QVERIFY(fleet.Start(24, [](EmulatorConfig &c) { c.name = "Slow", c.answerDelayMs = 400; }));
    const QString settings = NewSettings(SettingsContent({}, {}));
    QProcess add;
    add.setProcessEnvironment(CtlEnvironment());
    add.start(kLumarinctl, {u"--settings"_s, settings, u"add"_s, Address(24)});
    QVERIFY(add.waitForStarted());
    const CtlRun group = Ctl(settings, {u"group"_s, u"add"_s, u"/Z"_s});
    QVERIFY2(group.finished && group.exitCode == 0, qPrintable(Describe(group)));
    QVERIFY(add.waitForFinished(60000));
    QVERIFY2(add.exitCode() == 0, add.readAllStandardError().constData());
    QCOMPARE(Listing(settings), u"/Z | Slow@/"_s);
}

// On a full file system a change fails with the system's reason, and the file keeps its bytes.
// The file system is a small one of the test's own, in a mount namespace of the child.
void TestLumarinctl::diskFull_changeFailsAndFileStays()
{
    if (::getuid() != 0)
        QSKIP("needs root to mount a small file system of its own");
    const QString mountPoint = m_dir.filePath(u"small-%1"_s.arg(++m_files));
    QVERIFY(QDir().mkpath(mountPoint));
    const QByteArray content = SettingsContent({{u"A"_s, u"/"_s}}, {});
    const QString original = NewSettings(content);
    const QString script =
        u"mount -t tmpfs -o size=64k lumarin-test \"$1\" || exit 90\n"
        "cp \"$2\" \"$1/lumarin.ini\" || exit 91\n"
        "head -c 100000 /dev/zero > \"$1/fill\" 2>/dev/null\n"
        "\"$3\" --settings \"$1/lumarin.ini\" set timeout 9\n"
        "status=$?\n"
        "cmp -s \"$2\" \"$1/lumarin.ini\" || exit 92\n"
        "[ \"$(ls -A \"$1\" | tr '\\n' ' ')\" = 'fill lumarin.ini lumarin.ini.lock ' ] || exit 93\n"
        "exit $status\n"_s;
    const CtlRun run =
        RunProgram(u"unshare"_s, {u"-m"_s, u"--propagation"_s, u"private"_s, u"sh"_s, u"-c"_s,
                                  script, u"sh"_s, mountPoint, original, kLumarinctl});
    if (run.exitCode == 90 || !run.finished)
        QSKIP("cannot mount a file system in a mount namespace here");
    QVERIFY2(run.exitCode == 1, qPrintable(Describe(run)));
    QVERIFY2(run.err.contains(u"Failed to save document."_s) &&
                 run.err.contains(u"No space left on device"_s),
             qPrintable(run.err));
}

// A change is written aside and renamed over the settings file: lumarinctl stopped right
// before that rename and ended there by a signal leaves the file with its old bytes, and the
// next change goes through (no lock is left behind); let go, it writes the whole change.
void TestLumarinctl::endedAtCommit_fileIsOldOrNew_data()
{
    QTest::addColumn<int>("signalNumber"); // 0: let go
    QTest::newRow("SIGKILL") << int(SIGKILL);
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
    QTest::newRow("let go") << 0;
}

void TestLumarinctl::endedAtCommit_fileIsOldOrNew()
{
    QFETCH(int, signalNumber);
    const QByteArray before =
        SettingsContent({{u"A"_s, u"/"_s}}, {{u"P1"_s, Address(201), QString(), u"/A"_s}});
    const QString settings = NewSettings(before);

    QProcessEnvironment environment = CtlEnvironment();
    environment.insert(u"LD_PRELOAD"_s, QStringLiteral(STOP_BEFORE_RENAME_PATH));
    environment.insert(u"LUMARIN_TEST_STOP_BEFORE_RENAME"_s, settings);
    // The sanitizers' runtime wants to be loaded first; the preloaded library uses none.
    const QString asan = environment.value(u"ASAN_OPTIONS"_s);
    environment.insert(u"ASAN_OPTIONS"_s,
                       (asan.isEmpty() ? QString() : asan + u':') + u"verify_asan_link_order=0"_s);
    QProcess ctl;
    ctl.setProcessEnvironment(environment);
    ctl.start(kLumarinctl, {u"--settings"_s, settings, u"group"_s, u"add"_s, u"/B"_s});
    QVERIFY(ctl.waitForStarted(10000));
    const QString stat = u"/proc/%1/stat"_s.arg(ctl.processId());
    const auto stopped = [&stat] {
        const QByteArray line = ReadFile(stat);
        const qsizetype end = line.lastIndexOf(')'); // the state follows the name
        return end > 0 && line.mid(end + 2, 1) == "T";
    };
    QTRY_VERIFY_WITH_TIMEOUT(stopped() || ctl.state() == QProcess::NotRunning, 30000);
    QVERIFY2(ctl.state() == QProcess::Running, ctl.readAllStandardError().constData());
    QCOMPARE(ReadFile(settings), before); // the change is all written aside by now

    if (signalNumber != 0)
        QCOMPARE(::kill(pid_t(ctl.processId()), signalNumber), 0);
    QCOMPARE(::kill(pid_t(ctl.processId()), SIGCONT), 0);
    QVERIFY(ctl.waitForFinished(30000));
    const QString errors = QString::fromUtf8(ctl.readAllStandardError());
    QVERIFY2(!errors.contains(u"Sanitizer"_s) && !errors.contains(u"runtime error:"_s),
             qPrintable(errors));
    if (signalNumber != 0) {
        QCOMPARE(ctl.exitStatus(), QProcess::CrashExit);
        QCOMPARE(ReadFile(settings), before);
        QCOMPARE(Listing(settings), u"/A | P1@/A"_s);
        const CtlRun again = Ctl(settings, {u"group"_s, u"add"_s, u"/B"_s});
        QVERIFY2(again.finished && again.exitCode == 0, qPrintable(Describe(again)));
    } else {
        QCOMPARE(ctl.exitStatus(), QProcess::NormalExit);
        QVERIFY2(ctl.exitCode() == 0, qPrintable(errors));
    }
    QCOMPARE(Listing(settings), u"/A /B | P1@/A"_s);
}

// The search walks every adapter's network, so it runs only inside a namespace of this test's
// own, with the projectors served there and nothing else to find.
void TestLumarinctl::search_insideOwnNamespace()
{
    if (const QString why = TestNamespace::SkipReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY2(QFile::exists(kEmulatorProgram), qPrintable(kEmulatorProgram));
    TestNamespace ns(u"lumarin-ctl"_s);
    if (!ns.IsCreated())
        QSKIP(qPrintable(u"cannot create a network namespace: "_s + ns.GetError()));

    const QString net = u"10.215.%1"_s.arg(::getpid() % 250);
    const auto host = [&](int n) -> QString { return net + u'.' + QString::number(n); };
    QVERIFY2(
        ns.IpSteps({
            {u"link"_s, u"set"_s, u"lo"_s, u"up"_s},
            {u"link"_s, u"add"_s, u"ctl0"_s, u"type"_s, u"veth"_s, u"peer"_s, u"name"_s, u"ctl1"_s},
            {u"addr"_s, u"add"_s, host(1) + u"/27"_s, u"dev"_s, u"ctl0"_s},
            {u"link"_s, u"set"_s, u"ctl0"_s, u"up"_s},
            {u"link"_s, u"set"_s, u"ctl1"_s, u"up"_s},
            // The projectors answer on loopback addresses of the walked network.
            {u"addr"_s, u"add"_s, host(3) + u"/32"_s, u"dev"_s, u"lo"_s},
            {u"addr"_s, u"add"_s, host(5) + u"/32"_s, u"dev"_s, u"lo"_s},
            {u"addr"_s, u"add"_s, host(9) + u"/32"_s, u"dev"_s, u"lo"_s},
        }),
        qPrintable(ns.GetError()));

    const QString fleetFile = m_dir.filePath(u"search-fleet.json"_s);
    const QJsonArray fleet{
        QJsonObject{{u"address"_s, host(3)}, {u"name"_s, u"Alpha"_s}},
        QJsonObject{{u"address"_s, host(5)}, {u"name"_s, u"Beta"_s}, {u"password"_s, u"secret"_s}},
        QJsonObject{{u"address"_s, host(9)}, {u"name"_s, u"Delta"_s}},
    };
    QVERIFY(WriteFile(fleetFile, QJsonDocument(fleet).toJson()));
    QProcess emulator;
    const auto stopEmulator = qScopeGuard([&] { StopEmulator(emulator); });
    QVERIFY(StartEmulatorIn(ns, fleetFile, int(fleet.size()), emulator));

    // Delta is registered already: the search leaves it alone.
    const QString settings =
        NewSettings(SettingsContent({}, {{u"Delta"_s, host(9), QString(), u"/"_s}}));
    const auto search = [&](const QStringList &args) {
        return RunProgram(
            u"ip"_s,
            ns.ExecArgs(kLumarinctl,
                        QStringList{u"--settings"_s, settings, u"--json"_s, u"search"_s} + args),
            120000);
    };
    const auto candidates = CandidateLines;

    // A usage error is caught before anything is probed.
    const CtlRun wrong = search({u"--password"_s, u"x"_s});
    QVERIFY2(wrong.finished && wrong.exitCode == 2, qPrintable(Describe(wrong)));

    const CtlRun look = search({});
    QVERIFY2(look.finished && look.exitCode == 0, qPrintable(Describe(look)));
    QCOMPARE(candidates(look),
             QStringList({host(3) + u" Alpha open -"_s, host(5) + u" ******** password -"_s}));
    QCOMPARE(Listing(settings), u"| Delta@/"_s);

    const CtlRun registering = search({u"--register"_s, u"--password"_s, u"secret"_s});
    QVERIFY2(registering.finished && registering.exitCode == 0, qPrintable(Describe(registering)));
    QCOMPARE(candidates(registering), QStringList({host(3) + u" Alpha open registered"_s,
                                                   host(5) + u" Beta password registered"_s}));
    QVERIFY(registering.err.contains(LoadString(313)));
    const QString listing = Listing(settings);
    QVERIFY2(listing == u"| Delta@/ Alpha@/ Beta@/"_s || listing == u"| Delta@/ Beta@/ Alpha@/"_s,
             qPrintable(listing));
    QVERIFY(ReadFile(settings).contains(
        QByteArray(":" + platform::ScramblePassword(u"secret"_s).toLatin1() + ":M:")));

    // Everything there is registered now.
    const CtlRun again = search({u"--register"_s});
    QVERIFY2(again.finished && again.exitCode == 1, qPrintable(Describe(again)));
    QVERIFY(again.err.contains(LoadString(311)));
}

// The broadcast goes to every adapter's network, so it runs between two namespaces of this
// test's own: lumarinctl in one, the fleet in the other (a controller cannot share a namespace
// with emulators that hold UDP 4352 there). The sweep walks the linked /24; the broadcast alone
// also finds a Class 2 projector routed beyond it.
void TestLumarinctl::searchBroadcast_insideOwnNamespaces()
{
    if (const QString why = TestNamespace::SkipReason(); !why.isEmpty())
        QSKIP(qPrintable(why));
    QVERIFY2(QFile::exists(kEmulatorProgram), qPrintable(kEmulatorProgram));
    SplitNetwork split(u"lumarin-ctlb"_s, 219, 221);
    if (!split.IsCreated())
        QSKIP(qPrintable(u"cannot create a network namespace: "_s + split.Error()));
    const QString &net = split.net;
    const QString &far = split.far;
    QVERIFY2(split.Link(24, {net + u".10"_s, net + u".11"_s, far + u".5"_s}),
             qPrintable(split.Error()));

    const QString fleetFile = m_dir.filePath(u"broadcast-fleet.json"_s);
    const QJsonArray fleet{
        QJsonObject{
            {u"address"_s, QString(net + u".10"_s)}, {u"name"_s, u"One"_s}, {u"class"_s, 1}},
        QJsonObject{{u"address"_s, QString(net + u".11"_s)},
                    {u"name"_s, u"Two"_s},
                    {u"class"_s, 2},
                    {u"macAddress"_s, u"02:00:00:00:00:11"_s}},
        QJsonObject{{u"address"_s, QString(far + u".5"_s)},
                    {u"name"_s, u"Far"_s},
                    {u"class"_s, 2},
                    {u"macAddress"_s, u"02:00:00:00:00:05"_s}},
    };
    QVERIFY(WriteFile(fleetFile, QJsonDocument(fleet).toJson()));
    QProcess emulator;
    const auto stopEmulator = qScopeGuard([&] { StopEmulator(emulator); });
    QVERIFY(StartEmulatorIn(split.fleet, fleetFile, int(fleet.size()), emulator));

    const QString settings = NewSettings(SettingsContent({}, {}));
    const auto search = [&](const QStringList &args) {
        return RunProgram(
            u"ip"_s,
            split.controller.ExecArgs(
                kLumarinctl,
                QStringList{u"--settings"_s, settings, u"--json"_s, u"search"_s} + args),
            120000);
    };
    const QStringList swept{net + u".10 One open -"_s, net + u".11 Two open -"_s};

    const CtlRun sweep = search({});
    QVERIFY2(sweep.finished && sweep.exitCode == 0, qPrintable(Describe(sweep)));
    QCOMPARE(CandidateLines(sweep), swept);

    // The broadcast adds the projector beyond the swept network, and no address twice.
    const CtlRun both = search({u"--broadcast"_s, u"--wait"_s, u"2"_s});
    QVERIFY2(both.finished && both.exitCode == 0, qPrintable(Describe(both)));
    QStringList expected = swept + QStringList{far + u".5 Far open -"_s};
    expected.sort();
    QCOMPARE(CandidateLines(both), expected);
}

QTEST_GUILESS_MAIN(TestLumarinctl)
// watch reads the projectors once (so that they notify it), then prints a JSON line per
// notification; SIGTERM ends it with status 0.
void TestLumarinctl::watch_json_linePerNotificationUntilSigterm()
{
    const int port = FreeUdpPort();
    Fleet fleet;
    QVERIFY(fleet.Start(60, [port](EmulatorConfig &c) {
        c.name = "Stage", c.pjlinkClass = 2, c.notifyPort = port;
        c.udpPort = FreeUdpPort(); // 4352 of loopback may be someone else's
        c.macAddress = "02:00:00:00:00:60";
    }));
    QVERIFY(fleet.Start(61, [](EmulatorConfig &c) { c.name = "Other"; }));
    const QString settings =
        NewSettings(SettingsContent({}, {{u"Stage"_s, Address(60), QString(), u"/"_s},
                                         {u"Other"_s, Address(61), QString(), u"/"_s}}));
    QProcessEnvironment environment = CtlEnvironment();
    environment.insert(u"LUMARIN_UDP_PORT"_s, QString::number(port));
    QProcess watch;
    watch.setProcessEnvironment(environment);
    watch.start(kLumarinctl, {u"--settings"_s, settings, u"--json"_s, u"watch"_s, u"Stage"_s});
    QVERIFY(watch.waitForStarted(10000));
    QByteArray out;
    const auto lineWith = [&](const QString &what, const QString &value) {
        out += watch.readAllStandardOutput();
        for (const QByteArray &line : out.split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o[u"what"_s] == what && o[u"value"_s] == value &&
                o[u"source"_s] == u"notification"_s)
                return o;
        }
        return QJsonObject();
    };
    // The first read makes watch the controller the projector notifies: it says its link is up.
    QTRY_VERIFY_WITH_TIMEOUT(!lineWith(u"link"_s, u"02:00:00:00:00:60"_s).isEmpty(), 20000);
    fleet[60].update([](EmulatorConfig &c) { c.power = 1; });
    QTRY_VERIFY_WITH_TIMEOUT(!lineWith(u"power"_s, u"On"_s).isEmpty(), 10000);
    const QJsonObject line = lineWith(u"power"_s, u"On"_s);
    QCOMPARE(line[u"name"_s].toString(), u"Stage"_s);
    QCOMPARE(line[u"address"_s].toString(), Address(60));
    QVERIFY(QDateTime::fromString(line[u"time"_s].toString(), Qt::ISODateWithMs).isValid());
    QCOMPARE(fleet[61].connectionCount(), 0); // not a target

    watch.terminate();
    QVERIFY(watch.waitForFinished(10000));
    QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
    QCOMPARE(watch.exitCode(), 0);
    // Every line, the closing document included, is one JSON object.
    out += watch.readAllStandardOutput();
    for (const QByteArray &text : out.trimmed().split('\n'))
        QVERIFY2(QJsonDocument::fromJson(text).isObject(), text.constData());
    QVERIFY(g_sanitizerReports.isEmpty());
}

void TestLumarinctl::watch_portTaken_exits1()
{
    const int port = FreeUdpPort();
    const int taken = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(quint16(port));
    QCOMPARE(::bind(taken, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    const QString settings = NewSettings(SettingsContent({}, {}));
    QProcessEnvironment environment = CtlEnvironment();
    environment.insert(u"LUMARIN_UDP_PORT"_s, QString::number(port));
    const CtlRun run =
        RunProgram(kLumarinctl, {u"--settings"_s, settings, u"watch"_s}, 20000, environment);
    ::close(taken);
    QVERIFY2(run.finished && run.exitCode == 1, qPrintable(Describe(run)));
    QVERIFY2(run.err.contains(u"UDP port %1 is in use by another program"_s.arg(port)),
             qPrintable(run.err));
}

#include "tst_lumarinctl.moc"
