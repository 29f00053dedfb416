// The real main window driven by random user input against an emulated fleet that changes its
// state, drops connections and answers garbage: tabs, tree and list clicks, every button and
// menu entry, dialogs answered at random, drags and keys. It must not crash, report to a
// sanitizer, get stuck, or leave a settings file that does not load.
//
// LUMARIN_SOAK_SEED repeats a run (the seed is printed at the start); LUMARIN_SOAK_SECONDS sets
// its length (20 by default, minutes by hand, best in the asan build).

#include "app/apptimings.h"
#include "app/caboutdlg.h"
#include "app/cfiledialog.h"
#include "app/cgrouptreectrl.h"
#include "app/cmainframe.h"
#include "app/cprojectorlistctrl.h"
#include "app/cvantelview.h"
#include "dialogs/cipaddressctrl.h"
#include "model/networkcheck.h"
#include "platform/profile.h"
#include "store/preferences.h"
#include "store/settingsfile.h"
#include "tests/app/appfixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidgetItemIterator>

#include <algorithm>
#include <utility>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// One action (a click that opens a dialog included) longer than this is a stuck window.
constexpr qint64 kStuckMs = 60000;
// A dialog still open after this long is closed, so that every nested loop ends.
constexpr qint64 kDialogLimitMs = 4000;

enum MenuCommand : int {
    kFileNew = 57600,
    kFileOpen = 57601,
    kFileSave = 57603,
    kFileSaveAs = 57604,
    kAbout = 57664,
    kHelpTopics = 57670,
    kRefreshInterval = 32771,
    kResponseWait = 32772,
    kShowInformation = 32781,
    kOnlyErrors = 32785,
};

quint32 SeedFromEnvironment()
{
    bool ok = false;
    const quint32 seed = qEnvironmentVariable("LUMARIN_SOAK_SEED").toUInt(&ok);
    return ok ? seed : QRandomGenerator::system()->generate();
}

int SecondsFromEnvironment()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("LUMARIN_SOAK_SECONDS", &ok);
    return ok && seconds > 0 ? seconds : 20;
}

// Plays the user inside modal dialogs: from a timer, it clicks, fills and closes whatever dialog
// is open, with its own random sequence. Addresses typed are only those of the fleet.
class DialogPlayer : public QObject
{
public:
    DialogPlayer(quint32 seed, QStringList addresses)
        : m_random(seed), m_addresses(std::move(addresses))
    {
        connect(&m_timer, &QTimer::timeout, this, &DialogPlayer::Act);
        m_timer.start(15);
    }

    int Acted() const { return m_acted; }
    void Stop() { m_timer.stop(); }

private:
    void Act()
    {
        // A click may open a further dialog, whose loop runs this timer again.
        if (m_busy)
            return;
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        m_busy = true;
        std::erase_if(m_opened, [](const auto &entry) { return !entry.first; });
        auto it = std::find_if(m_opened.begin(), m_opened.end(),
                               [dialog](const auto &entry) { return entry.first == dialog; });
        if (it == m_opened.end()) {
            m_opened.emplace_back(dialog, QElapsedTimer());
            it = std::prev(m_opened.end());
            it->second.start();
        }
        ++m_acted;
        if (it->second.elapsed() > kDialogLimitMs) {
            dialog->reject();
        } else {
            switch (m_random.bounded(10)) {
            case 0:
            case 1:
            case 2:
            case 3:
                ClickSomething(dialog);
                break;
            case 4:
            case 5:
                FillAddress(dialog);
                break;
            case 6:
            case 7:
                TypeSomething(dialog);
                break;
            case 8:
                QTest::keyClick(dialog, m_random.bounded(2) ? Qt::Key_Return : Qt::Key_Escape);
                break;
            default:
                dialog->reject();
                break;
            }
        }
        m_busy = false;
    }

    void ClickSomething(QDialog *dialog)
    {
        QList<QPushButton *> buttons;
        for (QPushButton *button : dialog->findChildren<QPushButton *>()) {
            if (button->isVisible() && button->isEnabled())
                buttons << button;
        }
        if (buttons.isEmpty())
            return;
        // From a zero timer: a click that opens a dialog must not block this one.
        QTimer::singleShot(0, buttons.at(m_random.bounded(int(buttons.size()))),
                           &QPushButton::click);
    }

    void FillAddress(QDialog *dialog)
    {
        const QList<CIpAddressCtrl *> fields = dialog->findChildren<CIpAddressCtrl *>();
        if (fields.isEmpty() || m_addresses.isEmpty())
            return;
        CIpAddressCtrl *field = fields.at(m_random.bounded(int(fields.size())));
        if (!field->isEnabled())
            return;
        field->SetAddress(m_addresses.at(m_random.bounded(int(m_addresses.size()))));
        emit field->addressEdited();
    }

    void TypeSomething(QDialog *dialog)
    {
        QList<QLineEdit *> edits;
        for (QLineEdit *edit : dialog->findChildren<QLineEdit *>()) {
            // Address parts get fleet addresses only (FillAddress).
            if (edit->isVisible() && edit->isEnabled() &&
                !qobject_cast<CIpAddressCtrl *>(edit->parentWidget()))
                edits << edit;
        }
        if (edits.isEmpty())
            return;
        static const QString kLetters = u"abcXYZ /-pw"_s;
        QString text;
        for (int i = int(m_random.bounded(12)); i > 0; --i)
            text += kLetters.at(m_random.bounded(int(kLetters.size())));
        QLineEdit *edit = edits.at(m_random.bounded(int(edits.size())));
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    QRandomGenerator m_random;
    QStringList m_addresses;
    QTimer m_timer;
    bool m_busy = false;
    int m_acted = 0;
    std::vector<std::pair<QPointer<QDialog>, QElapsedTimer>> m_opened; // when each was first seen
};

// Whether the settings file loads: settings content with a complete [Property] section.
QString SettingsProblem(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return u"cannot read "_s + path;
    const QByteArray content = file.readAll();
    if (!IsSettingsContent(content))
        return u"not settings content"_s;
    Preferences prefs;
    if (!ReadProperties(platform::ProfileFile(content), prefs))
        return u"[Property] does not load"_s;
    return QString();
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

private slots:
    void randomUse_noCrashNoStuckWindowSettingsLoad();
};

void TestSoak::randomUse_noCrashNoStuckWindowSettingsLoad()
{
    const quint32 seed = SeedFromEnvironment();
    const int seconds = SecondsFromEnvironment();
    qInfo("soak: LUMARIN_SOAK_SEED=%u LUMARIN_SOAK_SECONDS=%d", seed, seconds);
    QRandomGenerator random(seed);

    Timings() = AppTimings();
    Timings().powerWaitMs = 30;
    Timings().inputWaitMs = 30;
    Timings().muteWaitMs = 30;
    AppFixture fixture;
    // No adapter: Auto Search probes nothing beyond this machine's loopback fleet.
    SetAdapterListerForTesting([] { return std::vector<platform::AdapterAddress>{}; });
    CAboutDlg::SetUrlOpenerForTesting([](const QUrl &) { return true; });

    struct Member
    {
        const char *name;
        const char *group;
        EmulatorConfig config;
    };
    std::vector<Member> members(6);
    members[0] = {"Plain", "/", {}};
    members[1] = {"Slow", "/A", {}};
    members[1].config.answerDelayMs = 120;
    members[2] = {"Dropper", "/A", {}};
    members[2].config.dropAfterCommands = 2;
    members[3] = {"Garbage", "/A/B", {}};
    members[3].config.malformedAnswers = true;
    members[4] = {"Locked", "/C", {}};
    members[4].config.password = "pw";
    members[5] = {"Warned", "/C", {}};
    members[5].config.errors = {0, 1, 2, 0, 1, 0};
    std::vector<EmulatedProjector *> fleet;
    std::vector<AppFixture::Registered> registered;
    QStringList addresses{u"127.61.0.252"_s}; // silent
    for (Member &member : members) {
        member.config.warmUpMs = 300;
        member.config.coolingMs = 300;
        EmulatedProjector *emulator =
            fixture.Emulate(QString::fromLatin1(member.name), member.config);
        QVERIFY(emulator);
        fleet.push_back(emulator);
        const QString address = QString::fromStdString(emulator->config().address);
        addresses << address;
        registered.push_back(
            {QString::fromLatin1(member.name), address, QString::fromLatin1(member.group)});
    }
    // One more that answers but is not registered: something for the dialogs to find.
    EmulatedProjector *spare = fixture.Emulate(u"Spare"_s);
    QVERIFY(spare);
    addresses << QString::fromStdString(spare->config().address);
    registered.push_back({u"Silent"_s, u"127.61.0.252"_s, u"/A/B"_s});
    fixture.WriteSettings(registered);
    const QString copy = QDir::current().filePath(u"copy.ini"_s);
    const QString garbage = QDir::current().filePath(u"garbage.ini"_s);
    {
        QFile file(garbage);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Property]\r\nRefreshInterval=x\r\n[Projector]\r\n1=zz\r\n");
    }
    QVERIFY(QFile::copy(fixture.SettingsPath(), copy));

    QVERIFY(fixture.Start());
    CMainFrame *frame = fixture.Frame();
    CVantelView *view = fixture.View();
    QSignalSpy closed(frame, &CMainFrame::closed);
    CGroupTreeCtrl *tree = view->GetGroupTree();
    CProjectorListCtrl *list = view->GetProjectorList();
    DialogPlayer player(seed + 1, addresses);

    const auto pick = [&random](int count) { return count > 0 ? int(random.bounded(count)) : 0; };
    const auto centreOf = [](QTreeWidget *control, QTreeWidgetItem *item) {
        control->scrollToItem(item);
        return control->visualItemRect(item).center();
    };
    const auto anyTreeItem = [&]() -> QTreeWidgetItem * {
        QList<QTreeWidgetItem *> items;
        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            items << *it;
        return items.isEmpty() ? nullptr : items.at(pick(int(items.size())));
    };
    const auto anyRow = [&]() -> QTreeWidgetItem * {
        return list->RowCount() ? list->topLevelItem(pick(list->RowCount())) : nullptr;
    };
    const int buttonIds[] = {IDC_POWER_ON, IDC_POWER_OFF,  IDC_SET_INPUT,    IDC_MUTE_ON,
                             IDC_MUTE_OFF, IDC_DETAIL,     IDC_REGISTER,     IDC_CHANGE_PASSWORD,
                             IDC_REGROUP,  IDC_CHANGE_IP,  IDC_RENAME_GROUP, IDC_DELETE,
                             IDC_REFRESH,  IDC_TAB_REMOTE, IDC_TAB_EDIT};
    const int menuIds[] = {kFileNew,         kFileOpen,   kFileSave,        kFileSaveAs,
                           kAbout,           kHelpTopics, kRefreshInterval, kResponseWait,
                           kShowInformation, kOnlyErrors};

    QElapsedTimer run;
    run.start();
    int actions = 0;
    while (run.elapsed() < qint64(seconds) * 1000) {
        QElapsedTimer action;
        action.start();
        const int kind = pick(12);
        if (kind <= 1) {
            if (QTreeWidgetItem *item = anyTreeItem())
                QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, centreOf(tree, item));
        } else if (kind <= 3) {
            if (QTreeWidgetItem *row = anyRow())
                QTest::mouseClick(list->viewport(), Qt::LeftButton,
                                  pick(3) == 0 ? Qt::ControlModifier : Qt::NoModifier,
                                  centreOf(list, row));
        } else if (kind <= 6) {
            auto *button = fixture.Control<QPushButton>(buttonIds[pick(std::size(buttonIds))]);
            if (button && button->isVisible())
                QTest::mouseClick(button, Qt::LeftButton);
        } else if (kind == 7) {
            const int id = menuIds[pick(std::size(menuIds))];
            if (id == kFileOpen || id == kFileSaveAs) {
                const QString names[] = {copy, garbage, QDir::current().filePath(u"none.ini"_s),
                                         QString()};
                CFileDialog::SetNextFileName(id == kFileSaveAs ? copy : names[pick(4)]);
            }
            frame->FindCommand(id)->trigger();
            CFileDialog::ClearNextFileNames();
        } else if (kind == 8) {
            // A drag from the tree or the list onto a tree item.
            const bool fromTree = pick(2) == 0;
            QTreeWidget *source = fromTree ? static_cast<QTreeWidget *>(tree) : list;
            QTreeWidgetItem *item = fromTree ? anyTreeItem() : anyRow();
            QTreeWidgetItem *target = anyTreeItem();
            if (item && target) {
                const QPoint start = centreOf(source, item);
                QTest::mousePress(source->viewport(), Qt::LeftButton, {}, start);
                QTest::mouseMove(source->viewport(),
                                 start + QPoint(QApplication::startDragDistance() + 2, 0));
                const QPoint end = source->viewport()->mapFromGlobal(
                    tree->viewport()->mapToGlobal(centreOf(tree, target)));
                QTest::mouseMove(source->viewport(), end);
                QTest::mouseRelease(source->viewport(), Qt::LeftButton, {}, end);
            }
        } else if (kind == 9) {
            // The fleet changes: power, errors, mute, garbage, a dropped listener.
            EmulatedProjector *emulator = fleet[size_t(pick(int(fleet.size())))];
            const int change = pick(5);
            const int value = pick(4);
            emulator->update([change, value](EmulatorConfig &config) {
                switch (change) {
                case 0:
                    config.power = value;
                    break;
                case 1:
                    config.errors = {0, value % 3, 0, value / 2, 0, 0};
                    break;
                case 2:
                    config.mute = value == 0 ? 11 : value == 1 ? 21 : value == 2 ? 31 : 30;
                    break;
                case 3:
                    config.malformedAnswers = value == 0;
                    break;
                default:
                    config.listening = value != 0;
                    break;
                }
            });
        } else if (kind == 10) {
            auto *combo = fixture.Control<QComboBox>(pick(2) ? IDC_INPUT_COMBO : IDC_MUTE_COMBO);
            if (combo && combo->isVisible() && combo->count() > 0)
                combo->setCurrentIndex(pick(combo->count()));
        } else {
            // Keys on whatever has the focus; never Enter on Close, which ends the run.
            QWidget *focus = QApplication::focusWidget();
            if (focus && focus->window() == frame && focus != fixture.Control(IDC_CLOSE))
                QTest::keyClick(focus, pick(2) ? Qt::Key_Return : Qt::Key_Escape);
        }
        QTest::qWait(pick(40));
        ++actions;
        QVERIFY2(action.elapsed() < kStuckMs,
                 qPrintable(u"action %1 of kind %2 took %3 ms (seed %4)"_s.arg(actions)
                                .arg(kind)
                                .arg(action.elapsed())
                                .arg(seed)));
        QVERIFY2(closed.isEmpty(), qPrintable(u"the window closed (seed %1)"_s.arg(seed)));
        if (actions % 50 == 0) {
            const QString problem = SettingsProblem(fixture.SettingsPath());
            QVERIFY2(problem.isEmpty(), qPrintable(problem + u" (seed %1)"_s.arg(seed)));
        }
    }

    // Everything comes to rest, the file loads, and the window closes when asked.
    QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), 20000);
    player.Stop();
    for (EmulatedProjector *emulator : fleet)
        emulator->update([](EmulatorConfig &config) { config.listening = true; });
    QTRY_VERIFY_WITH_TIMEOUT(!view->IsWorkerRunning() && !view->IsReplacementPending(), 60000);
    const QString problem = SettingsProblem(fixture.SettingsPath());
    QVERIFY2(problem.isEmpty(), qPrintable(problem + u" (seed %1)"_s.arg(seed)));
    fixture.TakeMessages();
    qInfo("soak: %d actions, %d dialog steps in %lld ms", actions, player.Acted(), run.elapsed());
    frame->close();
    QTRY_VERIFY_WITH_TIMEOUT(!closed.isEmpty(), 60000);
    CAboutDlg::SetUrlOpenerForTesting(nullptr);
}

int main(int argc, char **argv)
{
    // A long run outlasts QtTest's five minutes per test function.
    if (!qEnvironmentVariableIsSet("QTEST_FUNCTION_TIMEOUT"))
        qputenv("QTEST_FUNCTION_TIMEOUT",
                QByteArray::number((qint64(SecondsFromEnvironment()) + 240) * 1000));
    QApplication app(argc, argv);
    TestSoak test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_soak.moc"
