#include "tests/common/documentfixture.h"
#include "tests/common/testfiles.h"

#include "store/cvanteldoc.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;

// The real program on an X server of the test's own, over a register of emulated projectors
// whose slow answers keep a refresh cycle running: it must end cleanly when the X server goes
// away and when it is asked to stop by a signal, without a sanitizer report.
class TestWindowEnd : public QObject
{
    Q_OBJECT

public:
    enum class Ending { DisplayGone, Sigterm, Sighup };
    Q_ENUM(Ending)

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void end_duringRefresh_data();
    void end_duringRefresh();

private:
    bool StartXServer();
    QProcessEnvironment Environment() const;
    bool AnyCommandReceived();

    DocumentFixture m_fixture{47};
    std::unique_ptr<QTemporaryDir> m_dir; // the program's settings, lock and working directory
    QString m_settings;
    QProcess m_xServer;
    QString m_display; // ":N" once the X server runs
};

void TestWindowEnd::initTestCase()
{
    if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty())
        QFAIL("Xvfb is missing: tools/dev.sh installs it (package xvfb)");
}

void TestWindowEnd::init()
{
    QVERIFY(m_fixture.Open());
    // Each answer waits, so that a cycle over the register lasts some seconds.
    EmulatorConfig slow;
    slow.answerDelayMs = 300;
    for (const QString &name : {u"Aula"_s, u"Foyer"_s, u"Studio"_s}) {
        EmulatedProjector *emulator = m_fixture.Emulate(name, slow);
        QVERIFY(emulator);
        QVERIFY(m_fixture.Register(*emulator));
    }
    QVERIFY(m_fixture.Doc().SaveSettings());

    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_settings = m_dir->filePath(u"lumarin.ini"_s);
    QVERIFY(QFile::copy(m_fixture.Doc().GetSettingsPath(), m_settings));
    QVERIFY(StartXServer());
}

void TestWindowEnd::cleanup()
{
    if (m_xServer.state() != QProcess::NotRunning) {
        m_xServer.terminate();
        if (!m_xServer.waitForFinished(10000))
            m_xServer.kill();
        m_xServer.waitForFinished(5000);
    }
    m_display.clear();
    m_dir.reset();
    m_fixture.Close();
}

// Xvfb picks a free display itself and writes its number to stdout once it accepts clients.
bool TestWindowEnd::StartXServer()
{
    m_xServer.start(u"Xvfb"_s, {u"-displayfd"_s, u"1"_s, u"-nolisten"_s, u"tcp"_s, u"-screen"_s,
                                u"0"_s, u"1280x1024x24"_s});
    if (!m_xServer.waitForStarted(10000))
        return false;
    QByteArray number;
    for (int wait = 0; wait < 100 && !number.contains('\n'); ++wait) {
        if (!m_xServer.waitForReadyRead(200) && m_xServer.state() != QProcess::Running)
            break;
        number += m_xServer.readAllStandardOutput();
    }
    if (!number.contains('\n')) {
        qWarning("Xvfb did not start: %s", m_xServer.readAllStandardError().constData());
        return false;
    }
    m_display = u":"_s + QString::fromLatin1(number.trimmed());
    return true;
}

QProcessEnvironment TestWindowEnd::Environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    env.insert(u"DISPLAY"_s, m_display);
    env.remove(u"WAYLAND_DISPLAY"_s);
    env.insert(u"XDG_RUNTIME_DIR"_s, m_dir->path());
    env.insert(u"XDG_CONFIG_HOME"_s, m_dir->filePath(u"config"_s));
    env.insert(u"LUMARIN_SPLASH_MS"_s, u"0"_s);
    env.insert(u"LANG"_s, u"C.UTF-8"_s);
    return env;
}

bool TestWindowEnd::AnyCommandReceived()
{
    for (const auto &emulator : m_fixture.Fleet().Emulators())
        if (!ReceivedCommands(*emulator).isEmpty())
            return true;
    return false;
}

void TestWindowEnd::end_duringRefresh_data()
{
    QTest::addColumn<Ending>("ending");
    QTest::newRow("the X server ends") << Ending::DisplayGone;
    QTest::newRow("SIGTERM") << Ending::Sigterm;
    QTest::newRow("SIGHUP") << Ending::Sighup;
}

void TestWindowEnd::end_duringRefresh()
{
    QFETCH(Ending, ending);
    const QByteArray before = ReadFile(m_settings);
    QVERIFY(!before.isEmpty());

    QProcess lumarin;
    lumarin.setProcessEnvironment(Environment());
    lumarin.setWorkingDirectory(m_dir->path());
    lumarin.start(QStringLiteral(LUMARIN_PATH), {u"--settings"_s, m_settings});
    QVERIFY(lumarin.waitForStarted(10000));
    // The start-up refresh has reached the projectors: a cycle runs.
    QTRY_VERIFY_WITH_TIMEOUT(AnyCommandReceived() || lumarin.state() == QProcess::NotRunning,
                             30000);
    QCOMPARE(lumarin.state(), QProcess::Running);

    switch (ending) {
    case Ending::DisplayGone:
        m_xServer.kill();
        QVERIFY(m_xServer.waitForFinished(10000));
        break;
    case Ending::Sigterm:
        QCOMPARE(::kill(pid_t(lumarin.processId()), SIGTERM), 0);
        break;
    case Ending::Sighup:
        QCOMPARE(::kill(pid_t(lumarin.processId()), SIGHUP), 0);
        break;
    }
    QVERIFY2(lumarin.waitForFinished(60000), "the program did not end");
    const QString errors = QString::fromLocal8Bit(lumarin.readAllStandardError());

    // A sanitizer's report ends the program with status 1 too (or aborts it): read what it said.
    static const QRegularExpression report(
        u"ERROR: (Address|Leak|UndefinedBehavior)Sanitizer|runtime error:"_s);
    QVERIFY2(!report.match(errors).hasMatch(), qPrintable(errors));
    QVERIFY2(lumarin.exitStatus() == QProcess::NormalExit, qPrintable(errors));
    if (ending == Ending::DisplayGone)
        QVERIFY2(lumarin.exitCode() < 128, qPrintable(errors));
    else
        QVERIFY2(lumarin.exitCode() == 0, qPrintable(errors));
    QCOMPARE(ReadFile(m_settings), before);
}

QTEST_GUILESS_MAIN(TestWindowEnd)
#include "tst_windowend.moc"
