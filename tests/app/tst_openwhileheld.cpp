// File > Open and New replace the registry only once nothing holds its nodes: asked for during a
// slow refresh cycle while a dialog is open or a command runs, they wait for the cycle, the
// dialog and the command, and then run once. Meant to run under AddressSanitizer too.

#include "app/cfiledialog.h"
#include "app/cgrouptreectrl.h"
#include "app/cmainframe.h"
#include "app/cprojectorcommands.h"
#include "app/cprojectorlistctrl.h"
#include "app/cvantelapp.h"
#include "app/cvantelview.h"
#include "model/refreshscheduler.h"
#include "model/group.h"
#include "res/stringids.h"
#include "res/viewlayout.h"
#include "store/cvanteldoc.h"
#include "tests/app/appfixture.h"
#include "tests/common/scripteduser.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int kCycleMs = 30000;
constexpr int kFileNew = 57600;
constexpr int kFileOpen = 57601;

QString Address(const EmulatedProjector &emulator)
{
    return QString::fromStdString(emulator.config().address);
}

bool Idle(const CVantelView &view)
{
    return CycleEnded(view) && !view.IsReplacementPending();
}

void ClickItem(QTreeWidget *control, QTreeWidgetItem *item)
{
    control->scrollToItem(item);
    QTest::mouseClick(control->viewport(), Qt::LeftButton, {},
                      control->visualItemRect(item).center());
}

} // namespace

class TestOpenWhileHeld : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void openDuringHold_waitsForCycleAndHolder_data();
    void openDuringHold_waitsForCycleAndHolder();
    void secondOpenWhilePending_runsOnlyTheFirst();
    void refusedOpen_keepsSelectionAndList();
    void closeWhilePending_neverOpens();

private:
    // A fleet whose cycles take a while: a slow projector in /G, one asking for a password it
    // was registered without, one that never answers. other.ini holds Imported1 and Imported2.
    void StartFleet();
    QTreeWidgetItem *Row(const QString &name) const;
    void StartSlowCycle();
    QString WaitText() const;

    std::unique_ptr<AppFixture> m_fixture;
    CVantelView *m_view = nullptr;
    CProjectorListCtrl *m_list = nullptr;
    CGroupTreeCtrl *m_tree = nullptr;
    QString m_other;
};

void TestOpenWhileHeld::init()
{
    CFileDialog::ClearNextFileNames();
    m_fixture = std::make_unique<AppFixture>();
    StartFleet();
}

void TestOpenWhileHeld::cleanup()
{
    m_fixture.reset();
    CFileDialog::ClearNextFileNames();
}

void TestOpenWhileHeld::StartFleet()
{
    m_fixture->WriteSettings({{u"Imported1"_s, u"127.61.0.240"_s, u"/Hall"_s},
                              {u"Imported2"_s, u"127.61.0.241"_s, u"/Hall"_s}});
    m_other = QDir::current().filePath(u"other.ini"_s);
    QFile::remove(m_other);
    QVERIFY(QFile::copy(m_fixture->SettingsPath(), m_other));

    EmulatorConfig slow;
    slow.answerDelayMs = 250;
    EmulatorConfig locked;
    locked.password = "pw";
    EmulatedProjector *slowOne = m_fixture->Emulate(u"Slow"_s, slow);
    EmulatedProjector *lockedOne = m_fixture->Emulate(u"Locked"_s, locked);
    QVERIFY(slowOne && lockedOne);
    m_fixture->WriteSettings({{u"Slow"_s, Address(*slowOne), u"/G"_s},
                              {u"Locked"_s, Address(*lockedOne), u"/"_s},
                              {u"Silent"_s, u"127.61.0.250"_s, u"/"_s}});
    QVERIFY(m_fixture->Start());
    m_view = m_fixture->View();
    m_list = m_view->GetProjectorList();
    m_tree = m_view->GetGroupTree();
    QTRY_VERIFY_WITH_TIMEOUT(Idle(*m_view), kCycleMs);
    m_tree->expandAll();
    m_fixture->TakeMessages();
}

QTreeWidgetItem *TestOpenWhileHeld::Row(const QString &name) const
{
    for (int row = 0; row < m_list->RowCount(); ++row) {
        if (m_list->topLevelItem(row)->text(COLUMN_NAME) == name)
            return m_list->topLevelItem(row);
    }
    return nullptr;
}

void TestOpenWhileHeld::StartSlowCycle()
{
    QTest::mouseClick(m_fixture->Control<QPushButton>(IDC_REFRESH), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(m_view->GetScheduler()->IsRunning(), 5000);
}

QString TestOpenWhileHeld::WaitText() const
{
    const auto *label = m_fixture->Control<QLabel>(IDC_WAIT_TEXT);
    return label->isVisible() ? label->text() : QString();
}

void TestOpenWhileHeld::openDuringHold_waitsForCycleAndHolder_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("tree");    // the tree item clicked first: a group path or "all"
    QTest::addColumn<QString>("row");     // the list row clicked then; empty: none
    QTest::addColumn<QString>("dialog");  // the dialog that opens; empty: a command runs
    QTest::addColumn<bool>("newInstead"); // New asked for rather than Open

    QTest::newRow("rename group") << int(IDC_RENAME_GROUP) << u"/G"_s << QString()
                                  << u"CRenameGroupDlg"_s << false;
    QTest::newRow("regroup") << int(IDC_REGROUP) << u"all"_s << u"Slow"_s << u"CReGroupDlg"_s
                             << false;
    QTest::newRow("detail information")
        << int(IDC_DETAIL) << u"all"_s << u"Slow"_s << u"CDetailInfoDlg"_s << false;
    QTest::newRow("change password")
        << int(IDC_CHANGE_PASSWORD) << u"all"_s << u"Locked"_s << u"CPasswordModifyDlg"_s << false;
    QTest::newRow("change address")
        << int(IDC_CHANGE_IP) << u"all"_s << u"Silent"_s << u"CModfiyIPAddressDlg"_s << false;
    QTest::newRow("register projector")
        << int(IDC_REGISTER) << u"all"_s << QString() << u"CRegProjectorDlg"_s << false;
    QTest::newRow("power on fan-out")
        << int(IDC_POWER_ON) << u"all"_s << u"Slow"_s << QString() << false;
    QTest::newRow("new during rename")
        << int(IDC_RENAME_GROUP) << u"/G"_s << QString() << u"CRenameGroupDlg"_s << true;
}

void TestOpenWhileHeld::openDuringHold_waitsForCycleAndHolder()
{
    QFETCH(int, button);
    QFETCH(QString, tree);
    QFETCH(QString, row);
    QFETCH(QString, dialog);
    QFETCH(bool, newInstead);

    const bool remote = button == IDC_POWER_ON || button == IDC_DETAIL;
    m_view->SetTab(remote ? CVantelView::TAB_REMOTE_CONTROL : CVantelView::TAB_EDIT);
    QTreeWidgetItem *treeItem =
        tree == u"all" ? m_tree->DisplayAllItem()
                       : m_tree->ItemOfGroup(
                             m_fixture->App()->GetDocument()->GetRoot()->FindGroupByPath(tree));
    QVERIFY(treeItem);
    ClickItem(m_tree, treeItem);
    if (!row.isEmpty()) {
        QTreeWidgetItem *item = Row(row);
        QVERIFY2(item, qPrintable(row));
        ClickItem(m_list, item);
    }
    const QStringList before = ListNames(*m_list);
    QAction *open = m_fixture->Frame()->FindCommand(newInstead ? kFileNew : kFileOpen);
    StartSlowCycle();
    const int cyclesBefore = m_view->GetScheduler()->CyclesStarted();

    // Asks for the replacement while the holder holds; checks it waits over the cycle's end.
    bool askedAndWaited = false;
    const auto askThenOutwaitCycle = [&] {
        CFileDialog::SetNextFileName(m_other);
        open->trigger();
        QVERIFY(m_view->IsReplacementPending());
        QCOMPARE(WaitText(), LoadString(newInstead ? STR_WAIT_NEW : STR_WAIT_OPEN));
        QVERIFY(!open->isEnabled());
    };
    QString opened;
    ScriptedUser user({
        [&] {
            auto *modal = ScriptedUser::Modal<QDialog>();
            if (!modal)
                return false;
            opened = QString::fromLatin1(modal->metaObject()->className());
            askThenOutwaitCycle();
            return true;
        },
        [&] {
            if (m_view->GetScheduler()->IsRunning())
                return false;
            // The cycle ended inside the dialog's loop: nothing was replaced.
            askedAndWaited = m_view->IsReplacementPending() && ListNames(*m_list) == before &&
                             m_fixture->App()->GetDocument()->GetProjectors().size() == 3;
            ScriptedUser::Modal<QDialog>()->reject();
            return true;
        },
    });
    if (!dialog.isEmpty()) {
        QTest::mouseClick(m_fixture->Control<QPushButton>(button), Qt::LeftButton);
        QVERIFY(user.IsDone());
        QCOMPARE(opened, dialog);
        QVERIFY(askedAndWaited);
    } else {
        // The command runs on a worker; the window is blocked, so the menu is reached directly.
        QTest::mouseClick(m_fixture->Control<QPushButton>(button), Qt::LeftButton);
        QVERIFY(m_view->GetCommands()->IsBusy());
        askThenOutwaitCycle();
        QTRY_VERIFY_WITH_TIMEOUT(!m_view->GetScheduler()->IsRunning(), kCycleMs);
        if (m_view->GetCommands()->IsBusy())
            QVERIFY(m_view->IsReplacementPending());
    }

    // Once the holder let go (a detail's read-back, a register's save may follow), it runs.
    if (newInstead) {
        QTRY_VERIFY_WITH_TIMEOUT(
            m_view->GetScheduler()->CyclesStarted() > cyclesBefore && Idle(*m_view), kCycleMs);
        QCOMPARE(m_fixture->App()->GetDocument()->GetProjectors().size(), size_t(3));
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(ListNames(*m_list), (QStringList{u"Imported1"_s, u"Imported2"_s}),
                                  kCycleMs);
        QTRY_VERIFY_WITH_TIMEOUT(Idle(*m_view), kCycleMs);
        QCOMPARE(m_tree->RootItem()->childCount(), 1);
        QCOMPARE(m_tree->RootItem()->child(0)->text(0), u"Hall"_s);
    }
    QVERIFY(open->isEnabled());
    QCOMPARE(WaitText(), QString());
    if (!dialog.isEmpty())
        QCOMPARE(m_fixture->TakeMessages(), QStringList());
}

void TestOpenWhileHeld::secondOpenWhilePending_runsOnlyTheFirst()
{
    const QString third = QDir::current().filePath(u"third.ini"_s);
    {
        QFile file(third);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Property]\r\nRefreshInterval=5\r\nTimeout=1\r\n");
    }
    StartSlowCycle();
    QAction *open = m_fixture->Frame()->FindCommand(kFileOpen);
    CFileDialog::SetNextFileName(m_other);
    CFileDialog::SetNextFileName(third);
    open->trigger();
    QVERIFY(m_view->IsReplacementPending());
    // The action is disabled: a second click or Ctrl+O does nothing.
    open->trigger();
    m_fixture->Frame()->OnFileOpen();
    m_fixture->Frame()->OnFileNew();
    QTRY_COMPARE_WITH_TIMEOUT(ListNames(*m_list), (QStringList{u"Imported1"_s, u"Imported2"_s}),
                              kCycleMs);
    QTRY_VERIFY_WITH_TIMEOUT(Idle(*m_view), kCycleMs);
    QCOMPARE(ListNames(*m_list), (QStringList{u"Imported1"_s, u"Imported2"_s}));
    // The second name was never asked for.
    QCOMPARE(CFileDialog::GetOpenFileName(nullptr, QString(), QString()), third);
}

// A file refused after waiting for a cycle leaves the tree's group, the rows and their
// selection as they were.
void TestOpenWhileHeld::refusedOpen_keepsSelectionAndList()
{
    const QString broken = QDir::current().filePath(u"broken.ini"_s);
    {
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Property]\r\nRefreshInterval=banana\r\n");
    }
    Group *g = m_fixture->App()->GetDocument()->GetRoot()->FindGroupByPath(u"/G"_s);
    ClickItem(m_tree, m_tree->ItemOfGroup(g));
    ClickItem(m_list, Row(u"Slow"_s));
    StartSlowCycle();
    CFileDialog::SetNextFileName(broken);
    m_fixture->Frame()->FindCommand(kFileOpen)->trigger();
    QVERIFY(m_view->IsReplacementPending());
    QTRY_VERIFY_WITH_TIMEOUT(Idle(*m_view), kCycleMs);
    QCOMPARE(m_fixture->TakeMessages(), QStringList{LoadString(MSG_SETTING_FILE_CANNOT_BE_OPENED)});
    QCOMPARE(m_view->GetTreeSelection(), g);
    QCOMPARE(ListNames(*m_list), QStringList{u"Slow"_s});
    QVERIFY(m_view->GetListSelection() ==
            std::vector<ProjectorNode *>{g->GetChildren().front().get()});
}

void TestOpenWhileHeld::closeWhilePending_neverOpens()
{
    StartSlowCycle();
    CFileDialog::SetNextFileName(m_other);
    m_fixture->Frame()->FindCommand(kFileOpen)->trigger();
    QVERIFY(m_view->IsReplacementPending());
    const QString settings = m_fixture->SettingsText();
    m_fixture->Frame()->close();
    QVERIFY(!m_view->IsReplacementPending());
    QTRY_VERIFY_WITH_TIMEOUT(!m_view->IsWorkerRunning(), kCycleMs);
    QTest::qWait(100);
    QCOMPARE(m_fixture->App()->GetDocument()->GetProjectors().size(), size_t(3));
    QCOMPARE(m_fixture->SettingsText(), settings);
}

QTEST_MAIN(TestOpenWhileHeld)
#include "tst_openwhileheld.moc"
