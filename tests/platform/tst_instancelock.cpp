#include "platform/instance_lock.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QString kName = u"lumarin-test-lock-%1"_s.arg(QCoreApplication::applicationPid());

// Asks a second process whether the lock is held elsewhere: exit 1 for yes, 0 for no.
bool heldSeenFromAnotherProcess()
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {u"--probe"_s, kName});
    child.waitForFinished(10000);
    return child.exitCode() == 1;
}

} // namespace

class TestInstanceLock : public QObject
{
    Q_OBJECT

private slots:
    void secondHolderRefusedAndSeenFromOutside();
    void deadHolderDoesNotCount();
};

void TestInstanceLock::secondHolderRefusedAndSeenFromOutside()
{
    {
        platform::InstanceLock first(kName);
        QVERIFY(first.TryLock());
        platform::InstanceLock second(kName);
        QVERIFY(!second.TryLock());
        QVERIFY(heldSeenFromAnotherProcess());
    }
    QVERIFY(!heldSeenFromAnotherProcess());
    platform::InstanceLock again(kName);
    QVERIFY(again.TryLock());
}

void TestInstanceLock::deadHolderDoesNotCount()
{
    // A lock file left by a process that died: pid of a child that has ended.
    QProcess child;
    child.start(u"true"_s);
    QVERIFY(child.waitForFinished(5000));
    const qint64 deadPid = child.processId() > 0 ? child.processId() : 999999;
    QFile file(platform::InstanceLockPath(kName));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QByteArray::number(deadPid) + "\nlumarin\n" + QSysInfo::machineHostName().toUtf8() +
               "\n");
    file.close();

    QVERIFY(!platform::InstanceLock::IsHeldElsewhere(kName));
    platform::InstanceLock lock(kName);
    QVERIFY(lock.TryLock());
}

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--probe") == 0) {
        QCoreApplication app(argc, argv);
        return platform::InstanceLock::IsHeldElsewhere(QString::fromLocal8Bit(argv[2])) ? 1 : 0;
    }
    QCoreApplication app(argc, argv);
    TestInstanceLock test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_instancelock.moc"
