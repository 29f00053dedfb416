// The commands of the main window as a user gives them: real mouse clicks on the list, the
// buttons, the drop-downs, the tabs and the menus, dialogs answered as a user answers them.
// Each row checks what reached the projector, what the settings file keeps and what the list
// shows afterwards.

#include "app/apptimings.h"
#include "app/cmainframe.h"
#include "app/cprojectorlistctrl.h"
#include "app/cvantelview.h"
#include "dialogs/cdetailinfodlg.h"
#include "dialogs/cipaddressctrl.h"
#include "dialogs/cmodfiyipaddressdlg.h"
#include "dialogs/cpasswordmodifydlg.h"
#include "dialogs/cregroupdlg.h"
#include "dialogs/ctimingdlg.h"
#include "res/viewlayout.h"
#include "tests/app/appfixture.h"
#include "tests/app/savedregistry.h"
#include "tests/common/scripteduser.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

constexpr int kCycleMs = 20000;
constexpr int kRefreshIntervalCommand = 32771;

QString Address(const EmulatedProjector &emulator)
{
    return QString::fromStdString(emulator.config().address);
}

void Click(QWidget *widget)
{
    QVERIFY2(widget && widget->isVisible() && widget->isEnabled(),
             widget ? qPrintable(widget->objectName()) : "no widget");
    QTest::mouseClick(widget, Qt::LeftButton);
}

QTreeWidgetItem *RowItem(CProjectorListCtrl &list, const QString &name)
{
    for (int row = 0; row < list.RowCount(); ++row) {
        if (list.topLevelItem(row)->text(COLUMN_NAME) == name)
            return list.topLevelItem(row);
    }
    return nullptr;
}

void ClickRow(CProjectorListCtrl &list, const QString &name)
{
    QTreeWidgetItem *item = RowItem(list, name);
    QVERIFY2(item, qPrintable(name));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(item).center());
}

// Moves the drop-down to the entry with this text with the arrow keys, as a user does with
// the keyboard (the offscreen platform shows no popups to click in).
void ChooseEntry(QComboBox *combo, const QString &text)
{
    const int index = combo->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    combo->setFocus();
    for (int step = 0; step < 40 && combo->currentIndex() != index; ++step)
        QTest::keyClick(combo, combo->currentIndex() < index ? Qt::Key_Down : Qt::Key_Up);
    QCOMPARE(combo->currentIndex(), index);
}

// Opens the menu of the bar that holds the command and clicks the command in it.
void ClickMenuCommand(CMainFrame &frame, int command)
{
    QAction *action = frame.FindCommand(command);
    QVERIFY(action);
    QMenuBar *bar = frame.menuBar();
    for (QAction *title : bar->actions()) {
        QMenu *menu = title->menu();
        if (!menu || !menu->actions().contains(action))
            continue;
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(title).center());
        QTRY_VERIFY(menu->isVisible());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        return;
    }
    QFAIL("the command is in no menu");
}

template <class T> T *Child(QWidget *parent, const QString &id)
{
    return parent->findChild<T *>(id);
}

// What a row does, all through the window.
enum class Action {
    PowerOn,
    Input,
    Mute,
    ChangePassword,
    ChangeAddress,
    Regroup,
    Detail,
    RefreshInterval,
};

} // namespace

Q_DECLARE_METATYPE(Action)

class TestWindowCommands : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void command_data();
    void command();
    void class2Projector_namesInputsAndShowsItsDetail();
};

void TestWindowCommands::init()
{
    Timings() = AppTimings();
    Timings().powerWaitMs = 50;
    Timings().inputWaitMs = 50;
    Timings().muteWaitMs = 50;
}

void TestWindowCommands::command_data()
{
    QTest::addColumn<Action>("action");
    QTest::addColumn<QString>("projectorPassword"); // what the projector asks for
    QTest::addColumn<QString>("received");          // a command line the projector must get
    QTest::addColumn<QStringList>("saved");         // the registry the settings file keeps
    QTest::addColumn<int>("column");                // a cell of Hall's row, or -1
    QTest::addColumn<int>("cellText");              // its text id

    // Hall, the projector under test, sits at /; "Other" in /A never answers. Its address is
    // filled in by the test where the row says "@hall".
    const QStringList untouched{u"/A"_s, u"/A/Other @127.61.0.250"_s, u"/Root/Hall @hall"_s};
    QTest::newRow("power on") << Action::PowerOn << QString() << u"POWR 1"_s << untouched
                              << int(COLUMN_POWER) << 203;
    QTest::newRow("input") << Action::Input << QString() << u"INPT 31"_s << untouched
                           << int(COLUMN_INPUT) << -1;
    QTest::newRow("mute") << Action::Mute << QString() << u"AVMT 11"_s << untouched
                          << int(COLUMN_MUTE) << 221;
    QTest::newRow("change password")
        << Action::ChangePassword << u"newpw"_s << u"CLSS ?"_s
        << QStringList{u"/A"_s, u"/A/Other @127.61.0.250"_s, u"/Root/Hall @hall newpw"_s} << -1
        << -1;
    QTest::newRow("change address")
        << Action::ChangeAddress << QString() << QString()
        << QStringList{u"/A"_s, u"/A/Other @127.61.0.250"_s, u"/Root/Stage @stage"_s}
        << int(COLUMN_IP_ADDRESS) << -1;
    QTest::newRow("regroup") << Action::Regroup << QString() << QString()
                             << QStringList{u"/A"_s, u"/A/Hall @hall"_s,
                                            u"/A/Other @127.61.0.250"_s}
                             << -1 << -1;
    QTest::newRow("detail") << Action::Detail << QString() << u"INF2 ?"_s << untouched << -1 << -1;
    QTest::newRow("refresh interval from the Tool menu")
        << Action::RefreshInterval << QString() << QString() << untouched << -1 << -1;
}

void TestWindowCommands::command()
{
    QFETCH(Action, action);
    QFETCH(QString, projectorPassword);
    QFETCH(QString, received);
    QFETCH(QStringList, saved);
    QFETCH(int, column);
    QFETCH(int, cellText);

    AppFixture fixture;
    EmulatorConfig on;
    on.power = action == Action::PowerOn ? 0 : 1;
    on.warmUpMs = 600000;
    on.password = projectorPassword.toStdString();
    // A projector's address is changed only while it cannot be reached there.
    on.listening = action != Action::ChangeAddress;
    EmulatedProjector *hall = fixture.Emulate(u"Hall"_s, on);
    EmulatedProjector *stage = fixture.Emulate(u"Stage"_s);
    QVERIFY(hall && stage);
    fixture.WriteSettings(
        {{u"Hall"_s, Address(*hall), u"/"_s}, {u"Other"_s, u"127.61.0.250"_s, u"/A"_s}});
    for (QString &line : saved)
        line.replace(u"@hall"_s, u'@' + Address(*hall))
            .replace(u"@stage"_s, u'@' + Address(*stage));
    QVERIFY(fixture.Start());
    CVantelView *view = fixture.View();
    CMainFrame *frame = fixture.Frame();
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);
    CProjectorListCtrl *list = view->GetProjectorList();
    hall->clearReceivedCommands();
    fixture.TakeMessages();

    ClickRow(*list, u"Hall"_s);
    QCOMPARE(view->GetListSelection().size(), std::size_t(1));
    const bool editTab = action == Action::ChangePassword || action == Action::ChangeAddress ||
                         action == Action::Regroup;
    if (editTab)
        Click(fixture.Control<QWidget>(IDC_TAB_EDIT));

    std::unique_ptr<ScriptedUser> user;
    switch (action) {
    case Action::PowerOn:
        Click(fixture.Control<QPushButton>(IDC_POWER_ON));
        break;
    case Action::Input:
        ChooseEntry(fixture.Control<QComboBox>(IDC_INPUT_COMBO), u"Digital1"_s);
        Click(fixture.Control<QPushButton>(IDC_SET_INPUT));
        break;
    case Action::Mute:
        ChooseEntry(fixture.Control<QComboBox>(IDC_MUTE_COMBO), LoadString(221));
        Click(fixture.Control<QPushButton>(IDC_MUTE_ON));
        break;
    case Action::ChangePassword:
        user = std::make_unique<ScriptedUser>(QList<ScriptedUser::Step>{
            ScriptedUser::OnModal<CPasswordModifyDlg>([](CPasswordModifyDlg *dialog) {
                QLineEdit *edit = Child<QLineEdit>(dialog, u"1043"_s);
                QTest::mouseClick(edit, Qt::LeftButton);
                QTest::keyClicks(edit, u"newpw"_s);
                QTest::mouseClick(Child<QPushButton>(dialog, u"1"_s), Qt::LeftButton);
            })});
        Click(fixture.Control<QPushButton>(IDC_CHANGE_PASSWORD));
        break;
    case Action::ChangeAddress: {
        const QString target = Address(*stage);
        user = std::make_unique<ScriptedUser>(QList<ScriptedUser::Step>{
            ScriptedUser::OnModal<CModfiyIPAddressDlg>([target](CModfiyIPAddressDlg *dialog) {
                Child<CIpAddressCtrl>(dialog, u"1047"_s)->SetAddress(target);
                QTest::mouseClick(Child<QPushButton>(dialog, u"1002"_s), Qt::LeftButton);
            }),
            [] {
                // OK once the confirmation has found the projector.
                auto *dialog = ScriptedUser::Modal<CModfiyIPAddressDlg>();
                QPushButton *ok = dialog ? Child<QPushButton>(dialog, u"1"_s) : nullptr;
                if (!ok || dialog->IsBusy() || !ok->isEnabled())
                    return false;
                QTest::mouseClick(ok, Qt::LeftButton);
                return true;
            }});
        Click(fixture.Control<QPushButton>(IDC_CHANGE_IP));
        break;
    }
    case Action::Regroup:
        user = std::make_unique<ScriptedUser>(
            QList<ScriptedUser::Step>{ScriptedUser::OnModal<CReGroupDlg>([](CReGroupDlg *dialog) {
                auto *tree = Child<QTreeWidget>(dialog, u"1047"_s);
                const QList<QTreeWidgetItem *> found =
                    tree->findItems(u"A"_s, Qt::MatchExactly | Qt::MatchRecursive);
                if (found.isEmpty())
                    return;
                tree->scrollToItem(found.first());
                QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                                  tree->visualItemRect(found.first()).center());
                QTest::mouseClick(Child<QPushButton>(dialog, u"1"_s), Qt::LeftButton);
            })});
        Click(fixture.Control<QPushButton>(IDC_REGROUP));
        break;
    case Action::Detail:
        user = std::make_unique<ScriptedUser>(QList<ScriptedUser::Step>{[] {
            auto *dialog = ScriptedUser::Modal<CDetailInfoDlg>();
            if (!dialog || dialog->IsReading())
                return false;
            QTest::mouseClick(Child<QPushButton>(dialog, u"1"_s), Qt::LeftButton);
            return true;
        }});
        Click(fixture.Control<QPushButton>(IDC_DETAIL));
        break;
    case Action::RefreshInterval:
        user = std::make_unique<ScriptedUser>(QList<ScriptedUser::Step>{
            ScriptedUser::OnModal<CRefreshIntervalDlg>([](CRefreshIntervalDlg *dialog) {
                auto *values = Child<QComboBox>(dialog, u"1045"_s);
                values->setCurrentIndex(values->findText(u"9"_s));
                QTest::mouseClick(Child<QPushButton>(dialog, u"1"_s), Qt::LeftButton);
            })});
        ClickMenuCommand(*frame, kRefreshIntervalCommand);
        break;
    }
    if (user)
        QTRY_VERIFY_WITH_TIMEOUT(user->IsDone(), 15000);
    QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget() && CycleEnded(*view) &&
                                 fixture.Control<QPushButton>(IDC_REFRESH)->isEnabled(),
                             kCycleMs);

    if (!received.isEmpty()) {
        const auto commands = hall->receivedCommands();
        QVERIFY2(std::count(commands.begin(), commands.end(), received.toStdString()) >= 1,
                 qPrintable(received));
    }
    QTRY_COMPARE_WITH_TIMEOUT(SavedRegistry(fixture.SettingsPath()), saved, 5000);
    if (action == Action::RefreshInterval)
        QVERIFY(fixture.SettingsText().contains(u"RefreshInterval=9"_s));
    if (column >= 0) {
        const QString name = action == Action::ChangeAddress ? u"Stage"_s : u"Hall"_s;
        const QString expected = action == Action::ChangeAddress ? Address(*stage)
                                 : action == Action::Input       ? u"Digital1"_s
                                                                 : LoadString(cellText);
        QTRY_COMPARE_WITH_TIMEOUT(
            RowItem(*list, name) ? RowItem(*list, name)->text(column) : QString(), expected, 5000);
    }
}

// A Class 2 projector in the real window: its terminal names in the input drop-down, its
// Class 2 rows in Detail Information.
void TestWindowCommands::class2Projector_namesInputsAndShowsItsDetail()
{
    AppFixture fixture;
    EmulatorConfig modern;
    modern.pjlinkClass = 2;
    modern.power = 1;
    modern.serialNumber = "SN-2024";
    modern.inputs = {{1, 1}, {3, 1}, {6, 1}};
    modern.inputNames = {{{3, 1}, "HDMI 1"}, {{6, 1}, "Logo"}};
    EmulatedProjector *hall = fixture.Emulate(u"Hall"_s, modern);
    QVERIFY(hall);
    fixture.WriteSettings({{u"Hall"_s, Address(*hall), u"/"_s}});
    QVERIFY(fixture.Start());
    CVantelView *view = fixture.View();
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);

    ClickRow(*view->GetProjectorList(), u"Hall"_s);
    auto *inputs = fixture.Control<QComboBox>(IDC_INPUT_COMBO);
    QVERIFY(inputs->findText(u"Digital1 - HDMI 1"_s) >= 0);
    QVERIFY(inputs->findText(u"RGB1"_s) >= 0);
    // The internal input, which only "%2INST" lists, is chosen and switched with "%2INPT".
    hall->clearReceivedCommands();
    ChooseEntry(inputs, u"Internal1 - Logo"_s);
    Click(fixture.Control<QPushButton>(IDC_SET_INPUT));
    QTRY_VERIFY_WITH_TIMEOUT(hall->config().input == std::pair(6, 1), 10000);
    const auto requests = hall->receivedRequests();
    QVERIFY(std::find(requests.begin(), requests.end(), "%2INPT 61") != requests.end());
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);
    const auto inputCell = [view] {
        QTreeWidgetItem *row = RowItem(*view->GetProjectorList(), u"Hall"_s);
        return row ? row->text(COLUMN_INPUT) : QString();
    };
    QTRY_COMPARE_WITH_TIMEOUT(inputCell(), u"Internal1"_s, 10000);

    QStringList rows;
    ScriptedUser user({[&rows] {
        auto *dialog = ScriptedUser::Modal<CDetailInfoDlg>();
        if (!dialog || dialog->IsReading())
            return false;
        auto *list = Child<QTreeWidget>(dialog, u"1028"_s);
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows << list->topLevelItem(i)->text(0) + u'|' + list->topLevelItem(i)->text(1);
        QTest::mouseClick(Child<QPushButton>(dialog, u"1"_s), Qt::LeftButton);
        return true;
    }});
    Click(fixture.Control<QPushButton>(IDC_DETAIL));
    QTRY_VERIFY_WITH_TIMEOUT(user.IsDone(), 15000);
    QVERIFY2(rows.contains(u"PJLink class :|Class 2"_s), qPrintable(rows.join(u'\n')));
    QVERIFY2(rows.contains(u"Serial number :|SN-2024"_s), qPrintable(rows.join(u'\n')));
    QVERIFY2(rows.contains(u"Input resolution :|1920 x 1080"_s), qPrintable(rows.join(u'\n')));
}

QTEST_MAIN(TestWindowCommands)
#include "tst_windowcommands.moc"
