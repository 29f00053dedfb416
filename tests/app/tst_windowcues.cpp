// What the keyboard and a screen reader get, and what a click during a network try shows: Enter
// on the window's buttons and in address fields, the hourglass drawn whole, named address
// parts and confirmed names, a refused password that says why, and a close that visibly waits.

#include "app/cgrouptreectrl.h"
#include "app/cmainframe.h"
#include "app/cprojectorlistctrl.h"
#include "app/cvantelview.h"
#include "model/refreshscheduler.h"
#include "dialogs/cipaddressctrl.h"
#include "dialogs/cmodfiyipaddressdlg.h"
#include "dialogs/cpasswordmodifydlg.h"
#include "dialogs/cregprojectordlg.h"
#include "res/stringids.h"
#include "res/viewlayout.h"
#include "tests/app/appfixture.h"
#include "tests/common/scripteduser.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int kCycleMs = 20000;

QString Address(const EmulatedProjector &emulator)
{
    return QString::fromStdString(emulator.config().address);
}

bool OctetsNamed(const CIpAddressCtrl *field)
{
    for (int i = 0; i < 4; ++i) {
        if (field->Part(i)->accessibleName() != LoadString(STR_FIRST_OCTET + i))
            return false;
    }
    return true;
}

// Fills the field and presses Enter in its last part.
void TypeAndEnter(CIpAddressCtrl *field, const QString &address)
{
    field->SetAddress(address);
    field->Part(3)->setFocus();
    QTest::keyClick(field->Part(3), Qt::Key_Return);
}

} // namespace

class TestWindowCues : public QObject
{
    Q_OBJECT

private slots:
    void cue_data();
    void cue();
};

void TestWindowCues::cue_data()
{
    QTest::addColumn<QString>("cue");
    QTest::addColumn<int>("language");
    const int en = int(StringLanguage::English);
    const int ja = int(StringLanguage::Japanese);
    QTest::newRow("Enter on Refresh") << u"refresh"_s << en;
    QTest::newRow("Enter on Close") << u"close"_s << en;
    QTest::newRow("hourglass whole") << u"hourglass"_s << en;
    QTest::newRow("change address: Enter confirms, names read") << u"address"_s << en;
    QTest::newRow("change address in Japanese") << u"address"_s << ja;
    QTest::newRow("register: Enter confirms, names read") << u"register"_s << en;
    QTest::newRow("register in Japanese") << u"register"_s << ja;
    QTest::newRow("password: characters refused say why") << u"password rule"_s << en;
    QTest::newRow("password rule in Japanese") << u"password rule"_s << ja;
    QTest::newRow("change address: a prompted password refused says why")
        << u"address password rule"_s << en;
    QTest::newRow("password: Cancel during the try waits visibly") << u"cancel"_s << en;
}

void TestWindowCues::cue()
{
    QFETCH(QString, cue);
    QFETCH(int, language);

    AppFixture fixture;
    EmulatorConfig slowLocked;
    slowLocked.password = "pw";
    slowLocked.answerDelayMs = 300;
    EmulatorConfig locked;
    locked.password = "pw";
    EmulatedProjector *target = fixture.Emulate(u"Target"_s);
    EmulatedProjector *slow = fixture.Emulate(u"Slow"_s, slowLocked);
    EmulatedProjector *lockedTarget = fixture.Emulate(u"LockedTarget"_s, locked);
    QVERIFY(target && slow && lockedTarget);
    fixture.WriteSettings(
        {{u"Slow"_s, Address(*slow), u"/"_s}, {u"Silent"_s, u"127.61.0.250"_s, u"/"_s}});
    QVERIFY(fixture.Start(StringLanguage(language)));
    CVantelView *view = fixture.View();
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*view), kCycleMs);
    fixture.TakeMessages();
    CProjectorListCtrl *list = view->GetProjectorList();
    const auto selectRow = [list](const QString &name) {
        for (int row = 0; row < list->RowCount(); ++row) {
            if (list->topLevelItem(row)->text(COLUMN_NAME) == name)
                list->setCurrentItem(list->topLevelItem(row));
        }
    };
    view->SetTab(CVantelView::TAB_EDIT);

    if (cue == u"refresh") {
        auto *refresh = fixture.Control<QPushButton>(IDC_REFRESH);
        refresh->setFocus();
        const int started = view->GetScheduler()->CyclesStarted();
        QTest::keyClick(refresh, Qt::Key_Return);
        QVERIFY(view->IsRefreshing());
        QTRY_VERIFY(view->GetScheduler()->CyclesStarted() == started + 1);
    } else if (cue == u"close") {
        auto *close = fixture.Control<QPushButton>(IDC_CLOSE);
        close->setFocus();
        QTest::keyClick(close, Qt::Key_Enter);
        QTRY_VERIFY(!fixture.Frame()->isVisible());
    } else if (cue == u"hourglass") {
        auto *hourglass = fixture.Control<QLabel>(IDC_HOURGLASS);
        const QSize picture = hourglass->pixmap().size();
        QVERIFY(!picture.isEmpty());
        QVERIFY(hourglass->contentsRect().width() >= picture.width());
        QVERIFY(hourglass->contentsRect().height() >= picture.height());
    } else if (cue == u"address" || cue == u"address password rule") {
        const bool rule = cue == u"address password rule";
        selectRow(u"Silent"_s);
        QString readName;
        bool named = false;
        ScriptedUser user({
            ScriptedUser::OnModal<CModfiyIPAddressDlg>([&](CModfiyIPAddressDlg *dialog) {
                auto *field = dialog->findChild<CIpAddressCtrl *>(u"1047"_s);
                named = OctetsNamed(field);
                TypeAndEnter(field, Address(rule ? *lockedTarget : *target));
            }),
            // The password prompt: a character PJLink cannot carry, then Cancel.
            [&] {
                if (!rule)
                    return true;
                auto *prompt = ScriptedUser::Modal<QDialog>();
                if (!prompt || qobject_cast<CModfiyIPAddressDlg *>(prompt))
                    return false;
                prompt->findChild<QLineEdit *>()->insert(u"pässword"_s); // as pasted
                prompt->accept();
                return true;
            },
            [&] {
                auto *prompt = ScriptedUser::Modal<QDialog>();
                if (!rule || !prompt || qobject_cast<CModfiyIPAddressDlg *>(prompt))
                    return !rule;
                prompt->reject(); // asked again after the rule was told
                return true;
            },
            [&] {
                auto *dialog = ScriptedUser::Modal<CModfiyIPAddressDlg>();
                if (!dialog || dialog->IsBusy())
                    return false;
                auto *name = dialog->findChild<QLabel *>(u"1065"_s);
                if (!rule && name->text().isEmpty())
                    return false;
                readName = name->accessibleName();
                dialog->reject();
                return true;
            },
        });
        fixture.Control<QPushButton>(IDC_CHANGE_IP)->click();
        QVERIFY(user.IsDone());
        QVERIFY(named);
        if (rule) {
            QCOMPARE(fixture.TakeMessages(), QStringList{LoadString(STR_PASSWORD_RULES)});
        } else {
            QCOMPARE(readName, LoadString(951).trimmed() + u" Target"_s);
            QCOMPARE(fixture.TakeMessages(), QStringList());
        }
    } else if (cue == u"register") {
        QString readName;
        bool named = false;
        ScriptedUser user({
            ScriptedUser::OnModal<CRegProjectorDlg>([&](CRegProjectorDlg *dialog) {
                dialog->Tabs()->setCurrentIndex(1);
                auto *field = dialog->findChild<CIpAddressCtrl *>(u"1033"_s);
                named = OctetsNamed(field);
                TypeAndEnter(field, Address(*target));
            }),
            [&] {
                auto *dialog = ScriptedUser::Modal<CRegProjectorDlg>();
                auto *name = dialog ? dialog->findChild<QLabel *>(u"1068"_s) : nullptr;
                if (!name || dialog->IsBusy() || name->text().isEmpty())
                    return false;
                readName = name->accessibleName();
                dialog->reject();
                return true;
            },
        });
        fixture.Control<QPushButton>(IDC_REGISTER)->click();
        QVERIFY(user.IsDone());
        QVERIFY(named);
        QCOMPARE(readName, LoadString(165) + u" Target"_s);
    } else if (cue == u"password rule" || cue == u"cancel") {
        const bool cancel = cue == u"cancel";
        selectRow(u"Slow"_s);
        bool waitedVisibly = false;
        ScriptedUser user({
            ScriptedUser::OnModal<CPasswordModifyDlg>([&](CPasswordModifyDlg *dialog) {
                dialog->findChild<QLineEdit *>(u"1043"_s)->insert(cancel ? u"wrong"_s
                                                                         : u"pässword"_s);
                dialog->findChild<QPushButton *>(u"1"_s)->click();
                if (!cancel) {
                    QVERIFY(!dialog->IsBusy()); // nothing sent
                    dialog->reject();
                    return;
                }
                QVERIFY(dialog->IsBusy());
                dialog->findChild<QPushButton *>(u"2"_s)->click();
                waitedVisibly = dialog->isVisible() && dialog->cursor().shape() == Qt::BusyCursor;
                for (QPushButton *button : dialog->findChildren<QPushButton *>())
                    waitedVisibly = waitedVisibly && !button->isEnabled();
            }),
        });
        fixture.Control<QPushButton>(IDC_CHANGE_PASSWORD)->click();
        QVERIFY(user.IsDone());
        if (cancel) {
            QVERIFY(waitedVisibly);
            // The dialog closed once the try ended; the refusal closed it without a message.
            QCOMPARE(fixture.TakeMessages(), QStringList());
        } else {
            QCOMPARE(fixture.TakeMessages(), QStringList{LoadString(STR_PASSWORD_RULES)});
        }
    } else {
        QFAIL(qPrintable(cue));
    }
}

QTEST_MAIN(TestWindowCues)
#include "tst_windowcues.moc"
