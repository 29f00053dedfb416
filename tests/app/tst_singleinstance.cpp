#include "platform/instance_lock.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// The real program, twice, with the lock in a runtime directory of the test's own.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void secondCopy_exitsAtOnceAndFirstKeepsRunning();

private:
    QProcessEnvironment Environment() const;

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSingleInstance::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", m_dir->path().toLocal8Bit()); // for IsHeldElsewhere below
    QFile settings(m_dir->filePath(u"lumarin.ini"_s));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[Property]\r\nRefreshInterval=5\r\nTimeout=1\r\n");
}

void TestSingleInstance::cleanup()
{
    m_dir.reset();
}

QProcessEnvironment TestSingleInstance::Environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_RUNTIME_DIR"_s, m_dir->path());
    env.insert(u"XDG_CONFIG_HOME"_s, m_dir->filePath(u"config"_s));
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    env.insert(u"LUMARIN_SPLASH_MS"_s, u"0"_s);
    env.insert(u"LANG"_s, u"C.UTF-8"_s);
    return env;
}

void TestSingleInstance::secondCopy_exitsAtOnceAndFirstKeepsRunning()
{
    const QString settings = m_dir->filePath(u"lumarin.ini"_s);
    QProcess first;
    first.setProcessEnvironment(Environment());
    first.setWorkingDirectory(m_dir->path());
    first.start(QStringLiteral(LUMARIN_PATH), {u"--settings"_s, settings});
    QVERIFY(first.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(platform::InstanceLock::IsHeldElsewhere(u"lumarin"_s), 10000);

    // The second copy ends before it makes a window or reads a file: even an import it is given
    // is never read, and the settings file stays as it was.
    const QByteArray before = [&settings] {
        QFile file(settings);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();
    QProcess second;
    second.setProcessEnvironment(Environment());
    second.setWorkingDirectory(m_dir->path());
    QElapsedTimer clock;
    clock.start();
    second.start(QStringLiteral(LUMARIN_PATH),
                 {u"--settings"_s, settings, m_dir->filePath(u"missing.ini"_s)});
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(second.readAllStandardError().isEmpty());
    QFile after(settings);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), before);
    QCOMPARE(first.state(), QProcess::Running);
    QVERIFY(platform::InstanceLock::IsHeldElsewhere(u"lumarin"_s));

    // While the application runs, lumarinctl refuses to change the register.
    QProcess ctl;
    ctl.setProcessEnvironment(Environment());
    ctl.start(QStringLiteral(LUMARINCTL_PATH),
              {u"--settings"_s, settings, u"group"_s, u"add"_s, u"/Hall"_s});
    QVERIFY(ctl.waitForFinished(20000));
    QCOMPARE(ctl.exitCode(), 1);
    QVERIFY(QString::fromUtf8(ctl.readAllStandardError()).contains(u"Lumarin is running"_s));
    QCOMPARE(first.state(), QProcess::Running);

    first.terminate();
    QVERIFY(first.waitForFinished(10000));
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
