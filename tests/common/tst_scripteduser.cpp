#include "tests/common/scripteduser.h"

#include <QDialog>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Will not close on Cancel or Escape, as a sheet busy with the network does not.
class StubbornDialog : public QDialog
{
public:
    void reject() override {}
};

} // namespace

// A script that gives up must leave no modal loop running, or the test would hang.
class TestScriptedUser : public QObject
{
    Q_OBJECT

private slots:
    void givenUp_closesTheDialogsStillOpen_data();
    void givenUp_closesTheDialogsStillOpen();
};

void TestScriptedUser::givenUp_closesTheDialogsStillOpen_data()
{
    QTest::addColumn<bool>("stubborn");
    QTest::addColumn<bool>("nested");
    QTest::addColumn<int>("stepWaitMs"); // how long the one step spins its own loop; -1: never done

    QTest::newRow("step never answers") << false << false << -1;
    QTest::newRow("time is up while a step waits") << false << false << 300;
    QTest::newRow("dialog refuses to close") << true << false << -1;
    QTest::newRow("a second dialog on top") << false << true << -1;
}

void TestScriptedUser::givenUp_closesTheDialogsStillOpen()
{
    QFETCH(bool, stubborn);
    QFETCH(bool, nested);
    QFETCH(int, stepWaitMs);

    std::unique_ptr<QDialog> dialog =
        stubborn ? std::make_unique<StubbornDialog>() : std::make_unique<QDialog>();
    QDialog second;
    if (nested)
        QTimer::singleShot(0, &second, [&second] { second.exec(); });
    ScriptedUser user({[stepWaitMs] {
                          if (stepWaitMs < 0)
                              return false;
                          QTest::qWait(stepWaitMs);
                          return true;
                      }},
                      50);
    QTest::ignoreMessage(QtWarningMsg, "ScriptedUser: 1 step(s) not done");
    dialog->exec();
    QVERIFY(!user.IsDone());
    QVERIFY(!dialog->isVisible());
    QVERIFY(!second.isVisible());
}

QTEST_MAIN(TestScriptedUser)
#include "tst_scripteduser.moc"
