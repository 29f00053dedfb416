#include "model/group.h"
#include "model/limits.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "platform/filelock.h"
#include "res/stringtable.h"
#include "store/cvanteldoc.h"
#include "store/settingsfile.h"
#include "store/settingslocation.h"
#include "store/settingslock.h"
#include "tests/common/messagesinks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr uid_t kNobody = 65534;

const QByteArray kDefaultProperties = "[Property]\r\n"
                                      "RefreshInterval=5\r\n"
                                      "Timeout=5\r\n"
                                      "ShowInformation=1\r\n"
                                      "DisplayOnlyError=0\r\n"
                                      "EntryManagerDlg=0\r\n";

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

int ModeOf(const QString &path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// The tree as text: groups as name{...}, projectors as name@address, with *password when
// there is one, and [path] when the stored path differs from where the projector sits.
QString Dump(const Group &group)
{
    QStringList parts;
    for (const auto &child : group.GetChildren()) {
        if (!child->IsProjector()) {
            const auto &sub = static_cast<const Group &>(*child);
            parts.append(sub.GetName() + u'{' + Dump(sub) + u'}');
            continue;
        }
        const auto &projector = static_cast<const Projector &>(*child);
        QString text = projector.GetName() + u'@' + projector.GetIPAddress();
        if (projector.HasPassword())
            text += u'*' + projector.GetPassword();
        if (projector.GetPath() != group.GetFullPath() &&
            !(group.GetParent() == nullptr && projector.GetPath() == u"/"_s))
            text += u'[' + projector.GetPath() + u']';
        parts.append(text);
    }
    return parts.join(u' ');
}

QStringList Names(const std::vector<Projector *> &projectors)
{
    QStringList names;
    for (const Projector *projector : projectors)
        names.append(projector->GetName());
    return names;
}

// Runs body in a child process; its exit code, or 128 + the signal that ended it.
int RunInChild(const std::function<int()> &body)
{
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// As RunInChild, with the child running as the unprivileged user, for the checks that root
// would pass anyway.
int RunAsNobody(const std::function<int()> &body)
{
    return RunInChild([&body] {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            return 99;
        return body();
    });
}

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstStart_createsTheTenLinesAndAsksToRegister();
    void properties_data();
    void properties();
    void fieldEncoding_data();
    void fieldEncoding();
    void loadRegistry_data();
    void loadRegistry();
    void load101Projectors_keeps100AndTellsOnce();
    void saveThenLoad_roundTrip();
    void open_data();
    void open();
    void saveAs_thenPreferenceChange_writesSettingsFile();
    void crashDuringSave_keepsPreviousFile();
    void saveFailure_data();
    void saveFailure();
    void diskFull_keepsOldFileAndTellsWhy();
    void notSettingsFile_refusedAndNeverWritten_data();
    void notSettingsFile_refusedAndNeverWritten();
    void invalidProperties_repairKeepsOneBackup();
    void readOnly_neverCreatesOrWrites();
    void settingsLock_excludesOtherProcesses_nestsWithinOne();
    void anyContent_loadsBounded_data();
    void anyContent_loadsBounded();
    void settingsLocation_data();
    void settingsLocation();
    void systemWideInstall_startsFromTheFileBesideTheExecutable();

private:
    QString SettingsPath() const { return m_tempDir->filePath(u"lumarin.ini"_s); }
    // A document on SettingsPath(), written with content first unless it is null.
    std::unique_ptr<CVantelDoc> Start(const QByteArray &content = QByteArray());

    std::unique_ptr<QTemporaryDir> m_tempDir;
    QString m_previousDir;
    RecordingMessageSink m_sink;
};

void TestSettingsFile::initTestCase()
{
    SetStringLanguage(StringLanguage::English);
    m_previousDir = QDir::currentPath();
}

void TestSettingsFile::init()
{
    // A fresh directory for every test, which also holds "event.log".
    m_tempDir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tempDir->isValid());
    QDir::setCurrent(m_tempDir->path());
    m_sink.Clear();
    SetUserMessageSink(&m_sink);
}

void TestSettingsFile::cleanup()
{
    SetBeforeCommitHook(nullptr);
    SetUserMessageSink(nullptr);
    ProjectorManager::DestroyInstance();
    QDir::setCurrent(m_previousDir);
    m_tempDir.reset();
}

std::unique_ptr<CVantelDoc> TestSettingsFile::Start(const QByteArray &content)
{
    if (!content.isNull() && !WriteAll(SettingsPath(), content))
        qWarning("cannot write %s", qPrintable(SettingsPath()));
    return std::make_unique<CVantelDoc>(SettingsPath());
}

void TestSettingsFile::firstStart_createsTheTenLinesAndAsksToRegister()
{
    auto doc = Start();
    QCOMPARE(ReadAll(SettingsPath()), "[Group]\r\n\r\n[Projector]\r\n\r\n" + kDefaultProperties);
    QCOMPARE(ModeOf(SettingsPath()), 0600);
    QCOMPARE(m_sink.Texts(),
             QStringList{u"Register the projectors. Please refer to Help for details."_s});
    QCOMPARE(doc->GetCurrentFile(), SettingsPath());
    QVERIFY(QFileInfo::exists(m_tempDir->filePath(u"event.log"_s)));
}

void TestSettingsFile::properties_data()
{
    QTest::addColumn<QByteArray>("lines"); // the [Property] section without its header
    QTest::addColumn<bool>("valid");       // else the file is rewritten at start
    QTest::addColumn<int>("refreshInterval");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<bool>("showInformation");

    const QByteArray rest = "Timeout=5\r\nShowInformation=1\r\nDisplayOnlyError=0\r\n"
                            "EntryManagerDlg=0\r\n";
    const QByteArray start = "RefreshInterval=5\r\nTimeout=5\r\n";
    const QByteArray end = "DisplayOnlyError=0\r\nEntryManagerDlg=0\r\n";
    QTest::newRow("in range") << "RefreshInterval=7\r\n" + rest << true << 7 << 5 << true;
    QTest::newRow("0 becomes 5") << "RefreshInterval=0\r\n" + rest << true << 5 << 5 << true;
    QTest::newRow("11 becomes 5") << "RefreshInterval=11\r\n" + rest << true << 5 << 5 << true;
    QTest::newRow("-2 becomes 5") << "RefreshInterval=-2\r\n" + rest << true << 5 << 5 << true;
    QTest::newRow("huge becomes 5")
        << "RefreshInterval=99999999999999999999\r\n" + rest << true << 5 << 5 << true;
    QTest::newRow("leading number") << "RefreshInterval=8x\r\n" + rest << true << 8 << 5 << true;
    QTest::newRow("no number keeps 5")
        << "RefreshInterval=abc\r\n" + rest << true << 5 << 5 << true;
    QTest::newRow("key names ignore case")
        << QByteArray("refreshinterval=3\r\nTIMEOUT=9\r\nshowinformation=0\r\n" + end) << true << 3
        << 9 << false;
    QTest::newRow("-1 is invalid") << "RefreshInterval=-1\r\n" + rest << false << 5 << 5 << true;
    QTest::newRow("missing RefreshInterval") << rest << false << 5 << 5 << true;
    QTest::newRow("values before the failure stay")
        << QByteArray("RefreshInterval=7\r\nTimeout=-1\r\nShowInformation=0\r\n" + end) << false
        << 7 << 5 << true;
    QTest::newRow("ShowInformation=2")
        << start + "ShowInformation=2\r\n" + end << false << 5 << 5 << true;
    QTest::newRow("ShowInformation=true")
        << start + "ShowInformation=true\r\n" + end << false << 5 << 5 << true;
    QTest::newRow("ShowInformation=1x")
        << start + "ShowInformation=1x\r\n" + end << false << 5 << 5 << true;
    QTest::newRow("ShowInformation with blanks")
        << start + "ShowInformation=  0  \r\n" + end << true << 5 << 5 << false;
    QTest::newRow("missing flag takes its default")
        << QByteArray("RefreshInterval=4\r\nTimeout=6\r\n") << true << 4 << 6 << true;
}

void TestSettingsFile::properties()
{
    QFETCH(QByteArray, lines);
    QFETCH(bool, valid);
    QFETCH(int, refreshInterval);
    QFETCH(int, timeout);
    QFETCH(bool, showInformation);

    const QByteArray content = "[Group]\r\n\r\n[Projector]\r\n\r\n[Property]\r\n" + lines;
    auto doc = Start(content);
    QCOMPARE(doc->GetRefreshInterval(), refreshInterval);
    QCOMPARE(doc->GetTimeout(), timeout);
    QCOMPARE(doc->GetShowInformation(), showInformation);
    QCOMPARE(ProjectorManager::GetPort(), 4352);
    // A valid section leaves the file alone; an invalid one is replaced by the values held.
    const QByteArray expected =
        valid ? content : SettingsContent(*doc->GetRoot(), doc->GetProjectors(), [&] {
            Preferences prefs;
            prefs.refreshInterval = doc->GetRefreshInterval();
            prefs.timeout = doc->GetTimeout();
            prefs.showInformation = doc->GetShowInformation();
            prefs.displayOnlyError = doc->GetDisplayOnlyError();
            prefs.entryManagerDlg = doc->GetEntryManagerDlg();
            return prefs;
        }());
    QCOMPARE(ReadAll(SettingsPath()), expected);
}

void TestSettingsFile::fieldEncoding_data()
{
    QTest::addColumn<QString>("name"); // of a group and of a projector in it
    QTest::addColumn<QString>("password");
    QTest::addColumn<QByteArray>("nameField");
    QTest::addColumn<QByteArray>("passwordField");
    QTest::addColumn<QString>("passwordBack");

    QTest::newRow("colon escaped") << u"A:B"_s << u"abc"_s << QByteArray("0041005c003a0042")
                                   << QByteArray("162636") << u"abc"_s;
    QTest::newRow("four digits below U+0010 and up to U+0FFF")
        << QString(QChar(0x0001)) + QChar(0x0100) + QChar(0x0fff) << QString()
        << QByteArray("000101000fff") << QByteArray() << QString();
    QTest::newRow("Japanese") << u"会議室"_s << u"p@ss"_s << QByteArray("4f1a8b705ba4")
                              << QByteArray("0704") + "3737" << u"p@ss"_s;
    QTest::newRow("high byte of a password character lost")
        << u"x"_s << QString(QChar(0x0141)) << QByteArray("0078") << QByteArray("14") << u"A"_s;
}

void TestSettingsFile::fieldEncoding()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QByteArray, nameField);
    QFETCH(QByteArray, passwordField);
    QFETCH(QString, passwordBack);

    auto doc = Start();
    ProjectorManager *manager = ProjectorManager::GetInstance();
    Group *group = manager->AddGroupTo(doc->GetRoot(), std::make_unique<Group>(name));
    manager->AddProjector(
        std::make_unique<Projector>(name, u"10.0.0.1"_s, password, u"A"_s, group->GetFullPath()));
    QVERIFY(doc->SaveSettings());

    const QByteArray file = ReadAll(SettingsPath());
    const QByteArray groupLine = "\r\n1=" + nameField + ":002f\r\n";
    const QByteArray projectorLine =
        "\r\n1=" + nameField + ":10.0.0.1:" + passwordField + ":M:002f" + nameField + "\r\n";
    QVERIFY2(file.contains(groupLine), file.constData());
    QVERIFY2(file.contains(projectorLine), file.constData());

    doc.reset();
    doc = Start();
    const QString back = name + u'{' + name + u"@10.0.0.1"_s +
                         (passwordBack.isEmpty() ? QString() : u'*' + passwordBack) + u'}';
    QCOMPARE(Dump(*doc->GetRoot()), back);
}

void TestSettingsFile::loadRegistry_data()
{
    QTest::addColumn<QByteArray>("groups");     // [Group] lines
    QTest::addColumn<QByteArray>("projectors"); // [Projector] lines
    QTest::addColumn<QString>("tree");          // Dump of the root
    QTest::addColumn<QString>("list");          // registration order

    // 0041 A, 0042 B, 0043 C, 0070 p, 002f /, 002f0041 /A, 002f0041002f0042 /A/B
    QTest::newRow("keys 1, 2 and 4: the gap ends the section")
        << QByteArray()
        << QByteArray("1=0070:10.0.0.1::M:002f\r\n2=0071:10.0.0.2::M:002f\r\n"
                      "4=0072:10.0.0.4::M:002f\r\n")
        << u"p@10.0.0.1 q@10.0.0.2"_s << u"p q"_s;
    QTest::newRow("groups at both depths, placed by path")
        << QByteArray("1=0041:002f\r\n2=0042:002f0041\r\n3=0043:002f\r\n")
        << QByteArray("1=0070:10.0.0.1::M:002f0041002f0042\r\n2=0071:10.0.0.2::M:002f0043\r\n"
                      "3=0072:10.0.0.3::M:002f0041\r\n")
        << u"A{B{p@10.0.0.1} r@10.0.0.3} C{q@10.0.0.2}"_s << u"p q r"_s;
    QTest::newRow("unknown parent drops the group and its children")
        << QByteArray("1=0041:002f0058\r\n2=0042:002f0041\r\n3=0043:002f\r\n") << QByteArray()
        << u"C{}"_s << QString();
    QTest::newRow("unknown group path puts the projector at the top, path kept")
        << QByteArray() << QByteArray("1=0070:10.0.0.1::M:002f0058\r\n") << u"p@10.0.0.1[/X]"_s
        << u"p"_s;
    QTest::newRow("lines with too few fields are skipped")
        << QByteArray("1=0041\r\n2=0042:002f\r\n")
        << QByteArray("1=0070:10.0.0.1::M\r\n2=0071:10.0.0.2::M:002f\r\n") << u"B{} q@10.0.0.2"_s
        << u"q"_s;
    QTest::newRow("empty password, lone last digit, any method letter, extra fields")
        << QByteArray()
        << QByteArray("1=0070:10.0.0.1::M:002f\r\n2=0071:10.0.0.2:1626363:A:002f\r\n"
                      "3=0072:10.0.0.3:16::002f:extra\r\n")
        << u"p@10.0.0.1 q@10.0.0.2*abc r@10.0.0.3*a"_s << u"p q r"_s;
    QTest::newRow("escaped colon in an address drops the line")
        << QByteArray() << QByteArray("1=0070:10\\:0.0.1::M:002f\r\n2=0071:10.0.0.2::M:002f\r\n")
        << u"q@10.0.0.2"_s << u"q"_s;
    QTest::newRow("first of two equal keys wins")
        << QByteArray() << QByteArray("1=0070:10.0.0.1::M:002f\r\n1=0071:10.0.0.2::M:002f\r\n")
        << u"p@10.0.0.1"_s << u"p"_s;
    QTest::newRow("names no dialog accepts still load: a/b, tab")
        << QByteArray("1=0061002f0062:002f\r\n2=00410009:002f\r\n")
        << QByteArray("1=0070:10.0.0.1::M:002f00410009\r\n") << u"a/b{} A\t{p@10.0.0.1}"_s
        << u"p"_s;
    QTest::newRow("blank value ends the section")
        << QByteArray("1=0041:002f\r\n2=  \r\n3=0042:002f\r\n") << QByteArray() << u"A{}"_s
        << QString();
}

void TestSettingsFile::loadRegistry()
{
    QFETCH(QByteArray, groups);
    QFETCH(QByteArray, projectors);
    QFETCH(QString, tree);
    QFETCH(QString, list);

    auto doc = Start("[group]\r\n" + groups + "\r\n[PROJECTOR]\r\n" + projectors + "\r\n" +
                     kDefaultProperties);
    QCOMPARE(Dump(*doc->GetRoot()), tree);
    QCOMPARE(Names(doc->GetProjectors()).join(u' '), list);
}

void TestSettingsFile::load101Projectors_keeps100AndTellsOnce()
{
    QByteArray lines;
    for (int n = 1; n <= 101; ++n)
        lines += QByteArray::number(n) + "=0070:10.0.1." + QByteArray::number(n) + "::M:002f\r\n";
    const QByteArray content =
        "[Group]\r\n\r\n[Projector]\r\n" + lines + "\r\n" + kDefaultProperties;
    auto doc = Start(content);

    QCOMPARE(doc->GetProjectors().size(), size_t(100));
    QCOMPARE(doc->GetProjectors().back()->GetIPAddress(), u"10.0.1.100"_s);
    QCOMPARE(
        m_sink.Texts(),
        QStringList{u"Registration is not possible. Up to 100 projectors can be registered."_s});
    // The ignored line stays until the next save.
    QCOMPARE(ReadAll(SettingsPath()), content);
    QVERIFY(doc->SaveSettings());
    QVERIFY(!ReadAll(SettingsPath()).contains("10.0.1.101"));
}

void TestSettingsFile::saveThenLoad_roundTrip()
{
    auto doc = Start();
    ProjectorManager *manager = ProjectorManager::GetInstance();
    Group *root = doc->GetRoot();
    // Depth 1 and depth 2 groups, with names that need escaping and every Unicode range.
    std::vector<Group *> groups{root};
    const QStringList topNames{u"会議室"_s, u"Hall: East"_s, u"講堂"_s};
    for (const QString &name : topNames) {
        Group *top = manager->AddGroupTo(root, std::make_unique<Group>(name));
        groups.push_back(top);
        groups.push_back(manager->AddGroupTo(top, std::make_unique<Group>(name + u" 二階"_s)));
    }
    manager->AddGroupTo(root, std::make_unique<Group>(u"空のグループ"_s));
    for (int i = 0; i < MAX_PROJECTORS; ++i) {
        const Group *group = groups[size_t(i) % groups.size()];
        const QString path = group == root ? u"/"_s : group->GetFullPath();
        const QString password = i % 3 == 0 ? QString() : u"pw:%1\u00e9"_s.arg(i);
        QVERIFY(manager->AddProjector(std::make_unique<Projector>(
            u"プロジェクター %1"_s.arg(i), u"192.168.%1.%2"_s.arg(i / 50).arg(i % 50 + 1), password,
            u"A"_s, path)));
    }
    doc->SetRefreshInterval(10);
    doc->SetTimeout(1);
    doc->SetShowInformation(false);
    doc->SetDisplayOnlyError(true);
    doc->SetEntryManagerDlg(true);
    QVERIFY(doc->SaveSettings());

    const QString tree = Dump(*doc->GetRoot());
    const QStringList list = Names(doc->GetProjectors());
    const QByteArray written = ReadAll(SettingsPath());
    doc.reset();
    m_sink.Clear();

    doc = Start();
    QCOMPARE(Dump(*doc->GetRoot()), tree);
    QCOMPARE(Names(doc->GetProjectors()), list);
    QCOMPARE(doc->GetRefreshInterval(), 10);
    QCOMPARE(doc->GetTimeout(), 1);
    QCOMPARE(doc->GetShowInformation(), false);
    QCOMPARE(doc->GetDisplayOnlyError(), true);
    QCOMPARE(doc->GetEntryManagerDlg(), true);
    QCOMPARE(m_sink.Texts(), QStringList());
    QVERIFY(doc->SaveSettings());
    QCOMPARE(ReadAll(SettingsPath()), written);
    QVERIFY(!written.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(written.count("\r\n"), written.count('\n'));
}

void TestSettingsFile::open_data()
{
    QTest::addColumn<QByteArray>("content"); // of the chosen file; null: it does not exist
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("tree"); // afterwards
    QTest::addColumn<int>("refreshInterval");
    QTest::addColumn<bool>("chosenIsCurrent");

    const QString before = u"A{p@10.0.0.1}"_s;
    QTest::newRow("empty file changes nothing")
        << QByteArray("") << true << QString() << before << 5 << true;
    QTest::newRow("missing file") << QByteArray() << false << u"Failed to open document."_s
                                  << before << 5 << false;
    QTest::newRow("invalid [Property]: registry and preferences kept")
        << QByteArray("[Group]\r\n1=0042:002f\r\n[Property]\r\nRefreshInterval=9\r\n") << false
        << u"The setting file cannot be opened."_s << before << 5 << false;
    QTest::newRow("valid file replaces the registry")
        << QByteArray("[Group]\r\n1=0042:002f\r\n[Projector]\r\n1=0071:10.0.0.2::M:002f0042\r\n"
                      "[Property]\r\nRefreshInterval=9\r\nTimeout=2\r\n")
        << true << QString() << u"B{q@10.0.0.2}"_s << 9 << true;
}

void TestSettingsFile::open()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, ok);
    QFETCH(QString, message);
    QFETCH(QString, tree);
    QFETCH(int, refreshInterval);
    QFETCH(bool, chosenIsCurrent);

    auto doc = Start("[Group]\r\n1=0041:002f\r\n[Projector]\r\n1=0070:10.0.0.1::M:002f0041\r\n" +
                     kDefaultProperties);
    const QByteArray settingsBefore = ReadAll(SettingsPath());
    const QString chosen = m_tempDir->filePath(u"chosen.ini"_s);
    if (!content.isNull())
        QVERIFY(WriteAll(chosen, content));

    QCOMPARE(doc->Open(chosen), ok);
    QCOMPARE(m_sink.Texts(), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(Dump(*doc->GetRoot()), tree);
    QCOMPARE(doc->GetRefreshInterval(), refreshInterval);
    QCOMPARE(doc->GetCurrentFile(), chosenIsCurrent ? chosen : SettingsPath());
    if (ok && !content.isEmpty()) {
        // The import is written to the settings file at once; the chosen file stays as it was.
        QCOMPARE(ReadAll(SettingsPath()),
                 "[Group]\r\n1=0042:002f\r\n\r\n[Projector]\r\n1=0071:10.0.0.2::M:002f0042\r\n"
                 "\r\n[Property]\r\nRefreshInterval=9\r\nTimeout=2\r\nShowInformation=1\r\n"
                 "DisplayOnlyError=0\r\nEntryManagerDlg=0\r\n");
        QCOMPARE(ReadAll(chosen), content);
    } else {
        QCOMPARE(ReadAll(SettingsPath()), settingsBefore);
    }
}

void TestSettingsFile::saveAs_thenPreferenceChange_writesSettingsFile()
{
    auto doc = Start("[Group]\r\n[Projector]\r\n1=0070:10.0.0.1::M:002f\r\n" + kDefaultProperties);
    const QString other = m_tempDir->filePath(u"copy.ini"_s);
    QVERIFY(doc->SaveAs(other));
    QCOMPARE(doc->GetCurrentFile(), other);
    QCOMPARE(ModeOf(other), 0600);
    const QByteArray copy = ReadAll(other);
    QVERIFY(copy.contains("RefreshInterval=5\r\n"));

    doc->SetRefreshInterval(8);
    QVERIFY(doc->Save()); // a plain Save goes to the current file
    QVERIFY(ReadAll(other).contains("RefreshInterval=8\r\n"));
    QVERIFY(ReadAll(SettingsPath()).contains("RefreshInterval=5\r\n"));

    doc->SetRefreshInterval(3);
    QVERIFY(doc->SaveSettings());
    QVERIFY(ReadAll(SettingsPath()).contains("RefreshInterval=3\r\n"));
    QVERIFY(ReadAll(other).contains("RefreshInterval=8\r\n"));
    QCOMPARE(doc->GetCurrentFile(), SettingsPath());
}

void TestSettingsFile::crashDuringSave_keepsPreviousFile()
{
    auto doc =
        Start("[Group]\r\n[Projector]\r\n1=0070:10.0.0.1:162636:M:002f\r\n" + kDefaultProperties);
    QVERIFY(QFile::setPermissions(SettingsPath(), QFile::ReadOwner | QFile::WriteOwner |
                                                      QFile::ReadOther | QFile::ReadGroup));
    const QByteArray before = ReadAll(SettingsPath());

    const int status = RunInChild([&doc] {
        SetBeforeCommitHook([] {
            // Shows that the new content was complete when the process died.
            ::close(::open("save-interrupted", O_CREAT | O_WRONLY, 0600));
            ::kill(::getpid(), SIGKILL);
        });
        doc->SetRefreshInterval(9);
        doc->SaveSettings();
        return 0;
    });
    QCOMPARE(status, 128 + SIGKILL);
    QVERIFY(QFileInfo::exists(m_tempDir->filePath(u"save-interrupted"_s)));
    QCOMPARE(ReadAll(SettingsPath()), before);

    // A completed save replaces the file and tightens its mode.
    QVERIFY(doc->SaveSettings());
    QCOMPARE(ModeOf(SettingsPath()), 0600);
}

void TestSettingsFile::saveFailure_data()
{
    QTest::addColumn<QString>("target"); // relative to the test directory
    QTest::addColumn<bool>("asNobody");
    QTest::addColumn<bool>("accessDenied");

    QTest::newRow("missing directory") << u"missing/copy.ini"_s << false << false;
    QTest::newRow("directory of another user") << u"locked/copy.ini"_s << true << true;
    QTest::newRow("file of another user") << u"shared/copy.ini"_s << true << true;
}

void TestSettingsFile::saveFailure()
{
    QFETCH(QString, target);
    QFETCH(bool, asNobody);
    QFETCH(bool, accessDenied);
    if (asNobody && ::getuid() != 0)
        QSKIP("needs root to act as another user");

    auto doc = Start("[Group]\r\n[Projector]\r\n1=0070:10.0.0.1::M:002f\r\n" + kDefaultProperties);
    const QString path = m_tempDir->filePath(target);
    const QFile::Permissions all = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                   QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                   QFile::ExeOther;
    QVERIFY(QFile::setPermissions(m_tempDir->path(), all));
    QDir(m_tempDir->path()).mkdir(u"locked"_s);
    QDir(m_tempDir->path()).mkdir(u"shared"_s);
    QVERIFY(QFile::setPermissions(m_tempDir->filePath(u"shared"_s), all | QFile::WriteOther));
    QVERIFY(WriteAll(m_tempDir->filePath(u"shared/copy.ini"_s), "old"));
    const QByteArray before = ReadAll(path);

    const QString expected =
        accessDenied
            ? u"Unable to write to %1, it is read-only or opened by someone else."_s.arg(path)
            : u"Failed to save document.\n%1: No such file or directory"_s.arg(path);
    auto attempt = [&] {
        m_sink.Clear();
        const bool saved = doc->SaveAs(path);
        if (saved || m_sink.Texts() != QStringList{expected} ||
            doc->GetCurrentFile() != SettingsPath()) {
            qWarning("saved %d, current %s, messages %s", saved, qPrintable(doc->GetCurrentFile()),
                     qPrintable(m_sink.Texts().join(u'|')));
            return 1;
        }
        return 0;
    };
    QCOMPARE(asNobody ? RunAsNobody(attempt) : attempt(), 0);
    QCOMPARE(ReadAll(path), before);
}

// A file system of the test's own, 64 KiB, in a mount namespace of a child process: filled up,
// a save must fail, say why, and leave the old bytes and no temporary file behind.
void TestSettingsFile::diskFull_keepsOldFileAndTellsWhy()
{
    if (::getuid() != 0)
        QSKIP("needs root to mount a small file system of its own");
    const QString mountPoint = m_tempDir->filePath(u"small"_s);
    QVERIFY(QDir().mkpath(mountPoint));
    const QString settings = mountPoint + u"/lumarin.ini"_s;
    constexpr int kNoNamespace = 90;

    const int status = RunInChild([&] {
        const QByteArray point = QFile::encodeName(mountPoint);
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("lumarin-test", point.constData(), "tmpfs", 0, "size=64k,mode=0700") != 0)
            return kNoNamespace;
        const QByteArray before = "[Group]\r\n1=0041:002f\r\n\r\n[Projector]\r\n"
                                  "1=0070:10.0.0.1:162636:M:002f0041\r\n\r\n" +
                                  kDefaultProperties;
        if (!WriteAll(settings, before))
            return 1;
        CVantelDoc doc(settings);
        QFile fill(mountPoint + u"/fill"_s);
        if (!fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return 2;
        const QByteArray block(4096, 'x');
        for (int i = 0; i < 64 && fill.write(block) == block.size(); ++i) {
        }
        fill.close();

        m_sink.Clear();
        doc.SetTimeout(9);
        if (doc.SaveSettings())
            return 3;
        if (ReadAll(settings) != before)
            return 4;
        const QString expected = u"Failed to save document.\n%1: No space left on device"_s;
        if (m_sink.Texts() != QStringList{expected.arg(settings)}) {
            qWarning("%s", qPrintable(m_sink.Texts().join(u'|')));
            return 5;
        }
        const QStringList left =
            QDir(mountPoint)
                .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
        // The register's event log sits beside its settings file.
        if (left !=
            QStringList{u"event.log"_s, u"fill"_s, u"lumarin.ini"_s, u"lumarin.ini.lock"_s}) {
            qWarning("%s", qPrintable(left.join(u' ')));
            return 6;
        }
        return 0;
    });
    if (status == kNoNamespace)
        QSKIP("cannot mount a file system in a mount namespace here");
    QCOMPARE(status, 0);
}

void TestSettingsFile::notSettingsFile_refusedAndNeverWritten_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("JSON") << QByteArray("{\n  \"projectors\": [\"10.0.0.1\"]\n}\n");
    QTest::newRow("CSV") << QByteArray("name,address\r\nHall,10.0.0.1\r\n");
    QTest::newRow("text with a key") << QByteArray("RefreshInterval=5\n");
    QTest::newRow("garbage") << QByteArray("\x7f"
                                           "ELF\x02\x01\x00\xff\xfe[",
                                           10);
}

void TestSettingsFile::notSettingsFile_refusedAndNeverWritten()
{
    QFETCH(QByteArray, content);
    auto doc = Start(content);
    const QString refusal = SettingsPath() +
                            u" is not a settings file: it has none of the sections [Group], "
                            "[Projector] and [Property]. It is left as it is."_s;
    QCOMPARE(m_sink.Texts(), QStringList{refusal});
    QVERIFY(doc->IsSettingsFileRefused());
    QCOMPARE(Dump(*doc->GetRoot()), QString());

    m_sink.Clear();
    doc->SetRefreshInterval(3);
    QVERIFY(!doc->SaveSettings());
    QCOMPARE(m_sink.Texts(), QStringList{u"Failed to save document.\n"_s + refusal});
    // Save As over such a file is refused as well.
    const QString other = m_tempDir->filePath(u"other.json"_s);
    QVERIFY(WriteAll(other, content));
    QVERIFY(!doc->SaveAs(other));
    QCOMPARE(ReadAll(other), content);
    QCOMPARE(ReadAll(SettingsPath()), content);
    QVERIFY(!QFileInfo::exists(SettingsPath() + u".bak"_s));
}

void TestSettingsFile::invalidProperties_repairKeepsOneBackup()
{
    const QByteArray first = "[Group]\r\n1=0041:002f\r\n[Property]\r\nRefreshInterval=-1\r\n";
    const QByteArray second = "[Projector]\r\n1=0070:10.0.0.1::M:002f\r\n";
    for (const QByteArray &content : {first, second}) {
        Start(content).reset();
        ProjectorManager::DestroyInstance();
        QCOMPARE(ReadAll(SettingsPath() + u".bak"_s), content);
        QCOMPARE(ModeOf(SettingsPath() + u".bak"_s), 0600);
        QVERIFY(ReadAll(SettingsPath()).endsWith(kDefaultProperties));
    }
    QVERIFY(ReadAll(SettingsPath()).contains("1=0070:10.0.0.1::M:002f\r\n"));

    // Nothing worth keeping: a first start makes no backup.
    QVERIFY(QFile::remove(SettingsPath() + u".bak"_s));
    QVERIFY(QFile::remove(SettingsPath()));
    Start().reset();
    QVERIFY(!QFileInfo::exists(SettingsPath() + u".bak"_s));
}

void TestSettingsFile::readOnly_neverCreatesOrWrites()
{
    {
        CVantelDoc doc(SettingsPath(), CVantelDoc::Access::ReadOnly);
        QVERIFY(!doc.SaveSettings());
        QVERIFY(doc.SaveAs(m_tempDir->filePath(u"copy.ini"_s))); // other files may be written
    }
    ProjectorManager::DestroyInstance();
    QVERIFY(!QFileInfo::exists(SettingsPath()));
    QVERIFY(!QFileInfo::exists(SettingsLock::LockPathFor(SettingsPath())));

    const QByteArray invalid = "[Group]\r\n1=0041:002f\r\n";
    QVERIFY(WriteAll(SettingsPath(), invalid));
    {
        CVantelDoc doc(SettingsPath(), CVantelDoc::Access::ReadOnly);
        QCOMPARE(Dump(*doc.GetRoot()), u"A{}"_s);
    }
    QCOMPARE(ReadAll(SettingsPath()), invalid);
    QVERIFY(!QFileInfo::exists(SettingsPath() + u".bak"_s));
}

void TestSettingsFile::settingsLock_excludesOtherProcesses_nestsWithinOne()
{
    auto otherProcessGetsLock = [this] {
        // A lock file opened anew, as another program opens it: a forked child shares this
        // process's lock table and open files.
        return RunInChild([this] {
                   platform::FileLock lock;
                   return lock.Lock(SettingsLock::LockPathFor(SettingsPath()), 100) ? 0 : 1;
               }) == 0;
    };
    {
        SettingsLock outer(SettingsPath());
        QVERIFY(outer.IsHeld());
        {
            SettingsLock inner(SettingsPath(), 0); // no wait: it must not wait for outer
            QVERIFY(inner.IsHeld());
        }
        QVERIFY(!otherProcessGetsLock()); // the outer lock is still held
    }
    QVERIFY(otherProcessGetsLock());
    QCOMPARE(ModeOf(SettingsLock::LockPathFor(SettingsPath())), 0600);
}

void TestSettingsFile::anyContent_loadsBounded_data()
{
    QTest::addColumn<QByteArray>("content");

    QRandomGenerator random(4352);
    QByteArray junk(4 << 20, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(junk.data()), junk.size() / 4);
    QTest::newRow("binary junk") << junk;
    QTest::newRow("junk after the headers")
        << QByteArray("[Group]\r\n1=" + junk.left(1 << 20) + "\r\n[Projector]\r\n1=" +
                      junk.mid(1 << 20, 1 << 20) + "\r\n[Property]\r\n" + junk.right(1 << 20));

    QTest::newRow("huge lines") << QByteArray(
        "[Group]\r\n1=" + QByteArray(8 << 20, '0') +
        ":002f\r\n[Projector]\r\n1=" + QByteArray(8 << 20, ':') + "\r\n");
    QTest::newRow("odd and broken hex")
        << QByteArray("[Group]\r\n1=004:002\r\n2=zz41:002f\r\n3=0041\\:0042:002f\r\n"
                      "[Projector]\r\n1=00700:10.0.0.1:1g2:M:002f004\r\n"
                      "2=\\::\\:\\::\\:::\r\n");

    QByteArray groups = "[Group]\r\n";
    QByteArray orphans = "[Group]\r\n";
    QByteArray projectors = "[Projector]\r\n";
    for (int n = 1; n <= 1000000; ++n) {
        const QByteArray key = QByteArray::number(n);
        groups += key + "=0041:002f\r\n";
        orphans += key + "=0042:002f0058\r\n";
        projectors += key + "=:10.0.0.1:::002f0041\r\n";
    }
    QTest::newRow("a million groups") << groups;
    QTest::newRow("a million groups without parent") << orphans;
    QTest::newRow("a million projectors") << projectors;
}

void TestSettingsFile::anyContent_loadsBounded()
{
    QFETCH(QByteArray, content);

    auto doc = Start(content);
    QVERIFY(doc->GetProjectors().size() <= size_t(MAX_PROJECTORS));
    int groups = 0;
    std::function<void(const Group &)> count = [&](const Group &group) {
        for (const Group *child : group.GetChildGroups()) {
            ++groups;
            count(*child);
        }
    };
    count(*doc->GetRoot());
    QVERIFY(groups <= MAX_LOADED_GROUPS);
    // Junk without any section is no settings file: refused, and left as it is.
    if (doc->IsSettingsFileRefused()) {
        QVERIFY(!doc->SaveSettings());
        QCOMPARE(ReadAll(SettingsPath()), content);
    } else {
        QVERIFY(doc->SaveSettings());
    }
}

void TestSettingsFile::settingsLocation_data()
{
    QTest::addColumn<QString>("executable");  // <dir> is the test directory
    QTest::addColumn<QByteArray>("override"); // <config>/lumarin; null: none
    QTest::addColumn<QString>("path");        // <config>: the configuration directory
    QTest::addColumn<QString>("workingDir");  // empty: unchanged

    QTest::newRow("beside the executable")
        << u"<dir>/bin/lumarin"_s << QByteArray() << u"<dir>/bin/lumarin.ini"_s << u"<dir>/bin"_s;
    QTest::newRow("last extension dropped") << u"<dir>/bin/lumarin.run"_s << QByteArray()
                                            << u"<dir>/bin/lumarin.ini"_s << u"<dir>/bin"_s;
    QTest::newRow("override names the file")
        << u"<dir>/bin/lumarin"_s << QByteArray("[profile]\nFILE =  /srv/projectors/site.ini  \n")
        << u"/srv/projectors/site.ini"_s << QString();
    QTest::newRow("override without a value")
        << u"<dir>/bin/lumarin"_s << QByteArray("[Profile]\r\nfile=\r\n")
        << u"<dir>/bin/lumarin.ini"_s << u"<dir>/bin"_s;
    QTest::newRow("directory that cannot take files")
        << u"/proc/lumarin"_s << QByteArray() << u"<config>/lumarin/lumarin.ini"_s
        << u"<config>/lumarin"_s;
    // Root could write /usr/bin, but a package's program keeps no settings there.
    QTest::newRow("system program directory")
        << u"/usr/bin/lumarin"_s << QByteArray() << u"<config>/lumarin/lumarin.ini"_s
        << u"<config>/lumarin"_s;
}

void TestSettingsFile::settingsLocation()
{
    QFETCH(QString, executable);
    QFETCH(QByteArray, override);
    QFETCH(QString, path);
    QFETCH(QString, workingDir);

    const QString dir = QFileInfo(m_tempDir->path()).canonicalFilePath();
    const QString config = dir + u"/config"_s;
    QVERIFY(QDir().mkpath(dir + u"/bin"_s));
    QVERIFY(QDir().mkpath(config));
    if (!override.isNull())
        QVERIFY(WriteAll(config + u"/lumarin"_s, override));
    auto expand = [&](QString text) {
        return text.replace(u"<dir>"_s, dir).replace(u"<config>"_s, config);
    };

    QVERIFY(QDir::setCurrent(config));
    QCOMPARE(ResolveSettingsPathFor(expand(executable), config), expand(path));
    QCOMPARE(QDir::currentPath(), workingDir.isEmpty() ? config : expand(workingDir));
    QCOMPARE(QDir(dir + u"/bin"_s).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestSettingsFile::systemWideInstall_startsFromTheFileBesideTheExecutable()
{
    if (::getuid() != 0)
        QSKIP("needs root to act as another user");
    const QString dir = QFileInfo(m_tempDir->path()).canonicalFilePath();
    const QString bin = dir + u"/bin"_s;
    const QString config = dir + u"/config"_s;
    QVERIFY(QDir().mkpath(bin));
    QVERIFY(QDir().mkpath(config));
    QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadOther | QFile::ExeOther));
    QCOMPARE(::chown(QFile::encodeName(config).constData(), kNobody, kNobody), 0);
    const QByteArray shipped = "[Group]\r\n[Projector]\r\n1=0070:10.0.0.1::M:002f\r\n";
    QVERIFY(WriteAll(bin + u"/lumarin.ini"_s, shipped));

    const QString expected = config + u"/lumarin/lumarin.ini"_s;
    const int status = RunAsNobody([&] {
        if (ResolveSettingsPathFor(bin + u"/lumarin"_s, config) != expected ||
            ReadAll(expected) != shipped || ModeOf(expected) != 0600 ||
            QDir::currentPath() != config + u"/lumarin"_s)
            return 1;
        // Only the first time: later the user's own file is kept.
        WriteAll(expected, "mine");
        ResolveSettingsPathFor(bin + u"/lumarin"_s, config);
        return ReadAll(expected) == "mine" ? 0 : 2;
    });
    QCOMPARE(status, 0);
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
