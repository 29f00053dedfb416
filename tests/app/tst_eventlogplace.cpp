#include "model/group.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "store/actioneventmanager.h"
#include "store/cvanteldoc.h"
#include "tests/common/messagesinks.h"
#include "tools/emulator/emulatedprojector.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// However the settings file is chosen, the real program, started from a working folder of its
// own, logs the first refresh's event beside that file and writes nothing where it started.
enum class Way { BesideProgram, PerUser, ProfileOverride, SettingsOption };

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteAll(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Every file named "event.log" under root.
QStringList EventLogsUnder(const QString &root)
{
    QStringList found;
    QDirIterator it(root, {u"event.log"_s}, QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(QDir(root).relativeFilePath(it.next()));
    return found;
}

int FreeUdpPort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &length);
    ::close(fd);
    return ntohs(addr.sin_port);
}

} // namespace

Q_DECLARE_METATYPE(Way)

class TestEventLogPlace : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void refresh_logsBesideSettingsFile_nothingInWorkingFolder_data();
    void refresh_logsBesideSettingsFile_nothingInWorkingFolder();

private:
    // A register of one projector (which reports a temperature error) at path.
    void WriteRegister(const QString &path);

    std::unique_ptr<EmulatedProjector> m_projector;
    QString m_address;
};

void TestEventLogPlace::initTestCase()
{
    // The registers are written through the document here; only the program under test logs.
    ActionEventManager::SetLogFileEnabled(false);
    EmulatorConfig config;
    config.port = 4352;
    config.name = "Hall";
    config.power = 1;
    config.errors = {0, 0, 2, 0, 0, 0};
    // 127.65.N.1, N by process, so that suites running at once rarely meet.
    for (int host = 1; host < 50 && !m_projector; ++host) {
        config.address = "127.65." + std::to_string(QCoreApplication::applicationPid() % 200) +
                         "." + std::to_string(host);
        auto projector = std::make_unique<EmulatedProjector>(config);
        if (projector->start())
            m_projector = std::move(projector);
    }
    QVERIFY2(m_projector, "no loopback address for the emulator");
    m_address = QString::fromStdString(m_projector->config().address);
}

void TestEventLogPlace::cleanupTestCase()
{
    m_projector.reset();
}

void TestEventLogPlace::WriteRegister(const QString &path)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QVERIFY(WriteAll(path, "[Property]\r\nRefreshInterval=5\r\nTimeout=1\r\n"));
    SilentMessageSink sink;
    SetUserMessageSink(&sink);
    {
        CVantelDoc doc(path);
        ProjectorManager &manager = *ProjectorManager::GetInstance();
        manager.AddProjector(std::make_unique<Projector>(
            u"Hall"_s, m_address, QString(), u"Emulux"_s, manager.GetRoot()->GetFullPath()));
        QVERIFY(doc.SaveSettings());
    }
    SetUserMessageSink(nullptr);
}

void TestEventLogPlace::refresh_logsBesideSettingsFile_nothingInWorkingFolder_data()
{
    QTest::addColumn<Way>("way");
    QTest::addColumn<QString>("settings"); // relative to the test's root folder

    QTest::newRow("beside the program") << Way::BesideProgram << u"bin/lumarin.ini"_s;
    QTest::newRow("per-user file, program's folder read-only")
        << Way::PerUser << u"config/lumarin/lumarin.ini"_s;
    QTest::newRow("profile override") << Way::ProfileOverride << u"registers/north.ini"_s;
    QTest::newRow("--settings, relative to the working folder")
        << Way::SettingsOption << u"registers/south/lumarin.ini"_s;
}

void TestEventLogPlace::refresh_logsBesideSettingsFile_nothingInWorkingFolder()
{
    QFETCH(Way, way);
    QFETCH(QString, settings);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QDir dir(root.path());
    for (const QString &folder : {u"bin"_s, u"work"_s, u"config"_s, u"home"_s, u"runtime"_s})
        QVERIFY(dir.mkpath(folder));
    QFile::setPermissions(dir.filePath(u"runtime"_s),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString program = dir.filePath(u"bin/lumarin"_s);
    QVERIFY(QFile::copy(QStringLiteral(LUMARIN_PATH), program));
    QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
    WriteRegister(dir.filePath(settings));
    if (QTest::currentTestFailed())
        return;

    QStringList arguments;
    QString command = program;
    switch (way) {
    case Way::BesideProgram:
        break;
    case Way::PerUser:
        if (geteuid() == 0) {
            // Root writes into any folder: the program's is mounted read-only in a mount
            // namespace of this run's own.
            command = u"unshare"_s;
            arguments = {u"--mount"_s,
                         u"--propagation"_s,
                         u"private"_s,
                         u"sh"_s,
                         u"-c"_s,
                         u"mount --bind -o ro \"$0\" \"$0\" && exec \"$1\""_s,
                         dir.filePath(u"bin"_s),
                         program};
        } else {
            QVERIFY(
                QFile::setPermissions(dir.filePath(u"bin"_s), QFile::ReadOwner | QFile::ExeOwner));
        }
        break;
    case Way::ProfileOverride:
        QVERIFY(WriteAll(dir.filePath(u"config/lumarin"_s),
                         "[Profile]\r\nfile=" + dir.filePath(settings).toUtf8() + "\r\n"));
        break;
    case Way::SettingsOption:
        arguments = {u"--settings"_s, u"../"_s + settings};
        break;
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, dir.filePath(u"home"_s));
    env.insert(u"XDG_CONFIG_HOME"_s, dir.filePath(u"config"_s));
    env.insert(u"XDG_RUNTIME_DIR"_s, dir.filePath(u"runtime"_s));
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"LUMARIN_SPLASH_MS"_s, u"0"_s);
    env.insert(u"LUMARIN_UDP_PORT"_s, QString::number(FreeUdpPort()));
    env.insert(u"LANG"_s, u"C.UTF-8"_s);

    QProcess window;
    window.setProcessEnvironment(env);
    window.setWorkingDirectory(dir.filePath(u"work"_s));
    window.start(command, arguments);
    QVERIFY(window.waitForStarted(10000));
    const QString expected = QFileInfo(dir.filePath(settings)).dir().filePath(u"event.log"_s);
    QTRY_VERIFY2_WITH_TIMEOUT(ReadAll(expected).contains("Hall") ||
                                  window.state() != QProcess::Running,
                              "no event logged", 30000);
    const bool ran = window.state() == QProcess::Running;
    window.terminate();
    if (!window.waitForFinished(10000)) {
        window.kill();
        window.waitForFinished(10000);
    }
    QVERIFY2(ran, window.readAllStandardError().constData());
    QFile::setPermissions(dir.filePath(u"bin"_s),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QVERIFY(ReadAll(expected).contains("ERROR\t"));
    QCOMPARE(EventLogsUnder(root.path()), QStringList{dir.relativeFilePath(expected)});
    QCOMPARE(QDir(dir.filePath(u"work"_s))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
    if (way == Way::PerUser)
        QVERIFY(!QFileInfo::exists(dir.filePath(u"bin/lumarin.ini"_s)));
}

QTEST_GUILESS_MAIN(TestEventLogPlace)
#include "tst_eventlogplace.moc"
