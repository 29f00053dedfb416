#include "app/cvantelview.h"
#include "dialogs/cauthdlg.h"
#include "dialogs/cipaddressctrl.h"
#include "dialogs/cipspecifypropertypage.h"
#include "dialogs/cregprojectordlg.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "tests/app/appfixture.h"
#include "tests/common/scripteduser.h"
#include "tests/dialogs/registrationfixture.h"

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using namespace Qt::StringLiterals;

// "Register Projector" of the real main window.
class TestRegisterProjector : public QObject
{
    Q_OBJECT

private slots:
    void byAddress_withPassword_registeredShownAndSaved();
};

void TestRegisterProjector::byAddress_withPassword_registeredShownAndSaved()
{
    AppFixture fixture;
    EmulatorConfig config;
    config.password = "admin";
    EmulatedProjector *emulator = fixture.Emulate(u"Hall A"_s, config);
    QVERIFY(emulator);
    const QString address = QString::fromStdString(emulator->config().address);
    fixture.WriteSettings({});
    QVERIFY(fixture.Start());
    fixture.TakeMessages();

    CAuthDlg::SetAnswersInAdvance({u"wrong"_s, u"admin"_s});
    // Inside the modal sheet once "Register Projector" has opened it, then OK; a sheet left open
    // by a failed check is closed when the script gives up, so the test cannot hang.
    const auto registerByAddress = [&](CRegProjectorDlg *sheet) {
        QCOMPARE(sheet->windowTitle(), u"Register Projector"_s);
        sheet->Tabs()->setCurrentIndex(1);
        CIpSpecifyPropertyPage *page = sheet->IpSpecifyPage();
        page->AddressCtrl()->SetAddress(address);
        QVERIFY(ClickAndWaitIdle(
            page, [page] { QTest::mouseClick(page->ConfirmButton(), Qt::LeftButton); }));
        QCOMPARE(page->NameLabel()->text(), u"Hall A"_s);
        QVERIFY(ClickAndWaitIdle(
            page, [page] { QTest::mouseClick(page->RegisterButton(), Qt::LeftButton); }));
        QCOMPARE(page->NameLabel()->text(), QString());
    };
    ScriptedUser user({ScriptedUser::OnModal<CRegProjectorDlg>(registerByAddress),
                       ScriptedUser::ClickInModal<CRegProjectorDlg>(u"1"_s)},
                      60000);
    QTest::mouseClick(fixture.Control<QPushButton>(1006), Qt::LeftButton);
    QVERIFY(user.IsDone());
    QCOMPARE(CAuthDlg::PendingAnswers(), 0);
    QCOMPARE(fixture.TakeMessages(), QStringList({u"The password entered is invalid."_s,
                                                  u"The projector has been registered."_s}));

    // In the registry, with its password, and in the settings file written afterwards.
    const auto projectors = ProjectorManager::GetInstance()->GetProjectors();
    QCOMPARE(projectors.size(), std::size_t(1));
    QCOMPARE(projectors.front()->GetIPAddress(), address);
    QCOMPARE(projectors.front()->GetPassword(), u"admin"_s);
    QVERIFY2(fixture.SettingsText().contains(address), qPrintable(fixture.SettingsText()));
}

QTEST_MAIN(TestRegisterProjector)
#include "tst_registerprojector.moc"
