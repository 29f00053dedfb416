#include "res/stringtable.h"
#include "store/actioneventmanager.h"
#include "tests/common/messagesinks.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The register's folder, apart from the working directory the tests run in.
const QString kRegister = u"register"_s;

QString logPath()
{
    return kRegister + u"/event.log"_s;
}

QByteArray readLog()
{
    QFile file(logPath());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList takeAllShown()
{
    QStringList shown;
    while (auto event = ActionEventManager::GetInstance()->TakeOldest())
        shown.append(event->GetMessage());
    return shown;
}

} // namespace

class TestEventLog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void logLine_isLevelTabTimeMessageNameCrLf();
    void filter_data();
    void filter();
    void restart_emptiesLog();
    void unwritableLog_reportedOnceAndEventsStillShown();
    void disabledLog_leavesFileAloneAndQueues();
    void noRegister_keepsNoLogAndQueues();

private:
    QTemporaryDir m_dir;
    QString m_previousDir;
    RecordingMessageSink m_sink;
};

void TestEventLog::init()
{
    SetStringLanguage(StringLanguage::English);
    QVERIFY(m_dir.isValid());
    m_previousDir = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    QVERIFY(QDir().mkpath(kRegister));
    ActionEventManager::SetLogFileFor(kRegister + u"/lumarin.ini"_s);
    m_sink.Clear();
    SetUserMessageSink(&m_sink);
    SetEventFilter(false);
}

void TestEventLog::cleanup()
{
    ActionEventManager::DestroyInstance();
    SetUserMessageSink(nullptr);
    SetEventFilter(false);
    QDir::setCurrent(m_previousDir);
}

void TestEventLog::logLine_isLevelTabTimeMessageNameCrLf()
{
    auto *manager = ActionEventManager::GetInstance();
    manager->AddEvent(std::make_unique<ActionEvent>(u"Room A"_s, u"The power has been turned On."_s,
                                                    ActionEvent::Information));
    manager->AddEvent(std::make_unique<ActionEvent>(
        u"会議室"_s, u"An error has occurred. Please check the projector."_s, ActionEvent::Error));

    const QList<QByteArray> lines = readLog().split('\n');
    QCOMPARE(lines.size(), 3); // two lines and the empty rest after the last LF
    const QRegularExpression info(
        u"^INFO\\t\\d\\d:\\d\\d:\\d\\d  The power has been turned On\\.  Room A\\r$"_s);
    QVERIFY2(info.match(QString::fromUtf8(lines[0])).hasMatch(), lines[0].constData());
    QVERIFY(lines[1].startsWith("ERROR\t"));
    QVERIFY(lines[1].endsWith(QByteArray(QByteArray("  ") + u"会議室"_s.toUtf8() + "\r")));
    QVERIFY(lines[2].isEmpty());
}

void TestEventLog::filter_data()
{
    QTest::addColumn<bool>("errorsOnly");
    QTest::addColumn<int>("level");
    QTest::addColumn<bool>("written");
    QTest::addColumn<bool>("shown");

    QTest::newRow("all: information") << false << 0 << true << true;
    QTest::newRow("all: warning") << false << 1 << true << true;
    QTest::newRow("all: error") << false << 2 << true << true;
    QTest::newRow("all: debug vanishes") << false << 9 << false << false;
    QTest::newRow("errors only: information written, not shown") << true << 0 << true << false;
    QTest::newRow("errors only: warning") << true << 1 << true << true;
    QTest::newRow("errors only: error") << true << 2 << true << true;
    QTest::newRow("errors only: debug vanishes") << true << 9 << false << false;
}

void TestEventLog::filter()
{
    QFETCH(bool, errorsOnly);
    QFETCH(int, level);
    QFETCH(bool, written);
    QFETCH(bool, shown);

    SetEventFilter(errorsOnly);
    ActionEventManager::GetInstance()->AddEvent(
        std::make_unique<ActionEvent>(u"P1"_s, u"Connection Failed: -1,0"_s, level));
    QCOMPARE(readLog().contains("Connection Failed"), written);
    QCOMPARE(takeAllShown().size(), shown ? 1 : 0);
}

void TestEventLog::restart_emptiesLog()
{
    ActionEventManager::GetInstance()->AddEvent(
        std::make_unique<ActionEvent>(u"P1"_s, u"first run"_s, ActionEvent::Warning));
    QVERIFY(readLog().contains("first run"));
    ActionEventManager::DestroyInstance();
    ActionEventManager::SetLogFileFor(kRegister + u"/lumarin.ini"_s);
    ActionEventManager::GetInstance();
    QCOMPARE(readLog(), QByteArray());
}

void TestEventLog::unwritableLog_reportedOnceAndEventsStillShown()
{
    if (geteuid() == 0) {
        // Root writes into read-only directories; a full device fails the writes instead.
        if (!QFile::exists(u"/dev/full"_s))
            QSKIP("needs /dev/full to make the log unwritable as root");
        QFile::remove(logPath());
        QVERIFY(QFile::link(u"/dev/full"_s, logPath()));
    } else {
        QFile::remove(logPath());
        QVERIFY(QFile::setPermissions(kRegister, QFile::ReadOwner | QFile::ExeOwner));
    }

    auto *manager = ActionEventManager::GetInstance();
    for (int i = 0; i < 3; ++i)
        manager->AddEvent(
            std::make_unique<ActionEvent>(u"P%1"_s.arg(i), u"warning %1"_s.arg(i), 1));

    QCOMPARE(m_sink.Texts().size(), 1);
    QVERIFY(m_sink.Texts().first().contains(u"event.log"_s));
    QCOMPARE(takeAllShown(), (QStringList{u"warning 0"_s, u"warning 1"_s, u"warning 2"_s}));
    QFile::setPermissions(kRegister, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

void TestEventLog::disabledLog_leavesFileAloneAndQueues()
{
    QFile::remove(logPath());
    {
        QFile existing(logPath());
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("the application's log\r\n");
    }
    ActionEventManager::SetLogFileEnabled(false);
    ActionEventManager::GetInstance()->AddEvent(
        std::make_unique<ActionEvent>(u"P1"_s, u"quiet"_s, ActionEvent::Warning));
    ActionEventManager::SetLogFileEnabled(true);
    QCOMPARE(readLog(), QByteArray("the application's log\r\n"));
    QCOMPARE(takeAllShown(), QStringList{u"quiet"_s});
    QVERIFY(m_sink.Texts().isEmpty());
}

// A manager that no register named (a tool, or a test without a document) writes nowhere; above
// all not into the working directory, where the log used to land.
void TestEventLog::noRegister_keepsNoLogAndQueues()
{
    QFile::remove(logPath());
    ActionEventManager::SetLogFileFor(QString());
    ActionEventManager::GetInstance()->AddEvent(
        std::make_unique<ActionEvent>(u"P1"_s, u"nowhere"_s, ActionEvent::Error));
    QCOMPARE(takeAllShown(), QStringList{u"nowhere"_s});
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{kRegister});
    QCOMPARE(readLog(), QByteArray("<missing>"));
    QVERIFY(m_sink.Texts().isEmpty());
}

QTEST_GUILESS_MAIN(TestEventLog)
#include "tst_eventlog.moc"
