#include "dialogs/cauthdlg.h"
#include "dialogs/cipaddressctrl.h"
#include "dialogs/cmodfiyipaddressdlg.h"
#include "dialogs/cpasswordmodifydlg.h"
#include "editdialogfixture.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "res/stringids.h"
#include "res/stringtable.h"
#include "tools/emulator/emulatedprojector.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// This suite's emulators live on 127.61.0.0/24; nothing listens on 127.61.0.200 and above.
QString Address(int host)
{
    return u"127.61.0.%1"_s.arg(host);
}

std::unique_ptr<EmulatedProjector> StartEmulator(int host, const char *name,
                                                 const char *password = "")
{
    EmulatorConfig config;
    config.address = Address(host).toStdString();
    config.name = name;
    config.password = password;
    auto emulator = std::make_unique<EmulatedProjector>(config);
    std::string error;
    if (!emulator->start(&error))
        qWarning("emulator: %s", error.c_str());
    return emulator;
}

// A registered projector, at the given address with the given password.
Projector *Register(const QString &name, const QString &address, const QString &password)
{
    return ProjectorManager::GetInstance()->AddProjector(
        std::make_unique<Projector>(name, address, password, u"M"_s, u"/"_s));
}

void TypeAddress(CModfiyIPAddressDlg &dialog, const QString &address)
{
    auto *field = dialog.findChild<CIpAddressCtrl *>(u"1047"_s);
    // The field's own typing rules are tested with the field; here the address just goes in.
    field->SetAddress(address);
}

// Presses a button that starts a connect and waits for the connect to end, the event loop
// running meanwhile (the dialog must not block it).
bool PressAndWait(QDialog &dialog, const QString &button, QObject *signalSource, const char *signal)
{
    QSignalSpy finished(signalSource, signal);
    dialog.findChild<QPushButton *>(button)->click();
    return finished.count() > 0 || finished.wait(10000);
}

} // namespace

class TestProjectorEditDlgs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void changePassword_data();
    void changePassword();
    void changePassword_closeDuringTry_waitsForIt();
    void changeAddress_data();
    void changeAddress();
    void changeAddress_passwordStartsFromTheProjectorsAtEachConfirm();
    void changeAddress_editAfterConfirm_dropsTheConfirmation();

private:
    RecordingMessageSink m_sink;
};

void TestProjectorEditDlgs::initTestCase()
{
    SetStringLanguage(StringLanguage::English);
    SetUserMessageSink(&m_sink);
    QCOMPARE(ProjectorManager::InitProjectors(), 0);
    ProjectorManager::SetPort(4352);
    ProjectorManager::SetRecvTimeOut(2);
}

void TestProjectorEditDlgs::cleanupTestCase()
{
    SetUserMessageSink(nullptr);
    ProjectorManager::DestroyInstance();
}

void TestProjectorEditDlgs::init()
{
    ProjectorManager::GetInstance()->ClearAll();
    m_sink.TakeIds();
    CAuthDlg::SetAnswersInAdvance({});
    CAuthDlg::TakeAskedCount();
}

void TestProjectorEditDlgs::changePassword_data()
{
    QTest::addColumn<bool>("answering");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("message");
    QTest::addColumn<QString>("stored"); // the projector's password afterwards

    QTest::newRow("accepted") << true << u"secret"_s << 318 << u"secret"_s;
    QTest::newRow("refused: the old one kept") << true << u"wrong"_s << 317 << u"old"_s;
    QTest::newRow("empty refused: the old one kept") << true << QString() << 317 << u"old"_s;
    QTest::newRow("silent projector") << false << u"secret"_s << 341 << u"old"_s;
    // Refused before anything is sent, with the rule that says why.
    QTest::newRow("character the settings file cannot keep")
        << true << u"sécret\u3042"_s << int(STR_PASSWORD_RULES) << u"old"_s;
}

void TestProjectorEditDlgs::changePassword()
{
    QFETCH(bool, answering);
    QFETCH(QString, typed);
    QFETCH(int, message);
    QFETCH(QString, stored);

    // The projector now wants "secret"; the registry still holds the old password.
    auto emulator = answering ? StartEmulator(1, "Hall", "secret") : nullptr;
    Projector *projector = Register(u"Hall"_s, Address(answering ? 1 : 201), u"old"_s);
    CPasswordModifyDlg dialog(*projector);
    dialog.show();
    QCOMPARE(dialog.GetOldPassword(), u"old"_s);
    dialog.findChild<QLineEdit *>(u"1043"_s)->setText(typed);
    if (message == STR_PASSWORD_RULES) {
        dialog.findChild<QPushButton *>(u"1"_s)->click();
        QVERIFY(!dialog.IsBusy());
    } else {
        QVERIFY(PressAndWait(dialog, u"1"_s, &dialog, SIGNAL(tryFinished(int))));
    }
    QCOMPARE(m_sink.TakeIds(), QList<int>{message});
    QCOMPARE(projector->GetPassword(), stored);
    QCOMPARE(dialog.isVisible(), message != 318);
    if (message == 318)
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
}

void TestProjectorEditDlgs::changePassword_closeDuringTry_waitsForIt()
{
    EmulatorConfig config;
    config.address = Address(2).toStdString();
    config.password = "secret";
    config.answerDelayMs = 300;
    EmulatedProjector emulator(config);
    QVERIFY(emulator.start());
    Projector *projector = Register(u"Slow"_s, Address(2), u"old"_s);

    CPasswordModifyDlg dialog(*projector);
    dialog.show();
    QTest::keyClicks(dialog.findChild<QLineEdit *>(u"1043"_s), u"wrong"_s);
    QSignalSpy finished(&dialog, &CPasswordModifyDlg::tryFinished);
    dialog.findChild<QPushButton *>(u"1"_s)->click();
    QVERIFY(dialog.IsBusy());
    dialog.reject(); // Cancel while the projector is being asked
    QVERIFY(dialog.isVisible());
    QVERIFY(finished.wait(10000));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(projector->GetPassword(), u"old"_s);
    QCOMPARE(m_sink.TakeIds(), QList<int>{});
}

void TestProjectorEditDlgs::changeAddress_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QList<std::optional<QString>>>("passwords"); // answers to the prompt
    QTest::addColumn<QList<int>>("confirmMessages");
    QTest::addColumn<QString>("newName"); // shown after Confirm; empty: OK stays disabled

    using Answers = QList<std::optional<QString>>;
    // 10: answers as "Lobby" without password; 11: "Stage" with password "pw"; the registered
    // projector sits at 12 ("Hall"), and nothing answers at 202.
    QTest::newRow("answering projector") << Address(10) << Answers{} << QList<int>{} << u"Lobby"_s;
    QTest::newRow("password asked, the second one taken")
        << Address(11) << Answers{u"bad"_s, u"pw"_s} << QList<int>{317} << u"Stage"_s;
    QTest::newRow("password prompt cancelled")
        << Address(11) << Answers{std::nullopt} << QList<int>{} << QString();
    QTest::newRow("silent address") << Address(202) << Answers{} << QList<int>{311} << QString();
    QTest::newRow("its own address") << Address(12) << Answers{} << QList<int>{316} << QString();
    QTest::newRow("empty field") << QString() << Answers{} << QList<int>{315} << QString();
    QTest::newRow("0.0.0.0") << u"0.0.0.0"_s << Answers{} << QList<int>{315} << QString();
    QTest::newRow("octet above 255")
        << Address(12).section(u'.', 0, 2) + u".300"_s << Answers{} << QList<int>{315} << QString();
    QTest::newRow("multicast") << u"224.0.0.1"_s << Answers{} << QList<int>{315} << QString();
    QTest::newRow("limited broadcast")
        << u"255.255.255.255"_s << Answers{} << QList<int>{315} << QString();
}

void TestProjectorEditDlgs::changeAddress()
{
    QFETCH(QString, typed);
    QFETCH(QList<std::optional<QString>>, passwords);
    QFETCH(QList<int>, confirmMessages);
    QFETCH(QString, newName);

    auto lobby = StartEmulator(10, "Lobby");
    auto stage = StartEmulator(11, "Stage", "pw");
    Projector *projector = Register(u"Hall"_s, Address(12), QString());
    CAuthDlg::SetAnswersInAdvance(passwords);

    CModfiyIPAddressDlg dialog(*ProjectorManager::GetInstance(), *projector);
    dialog.show();
    QCOMPARE(dialog.findChild<QLabel *>(u"1044"_s)->text(), Address(12));
    QCOMPARE(dialog.findChild<QLabel *>(u"1054"_s)->text(), u"Hall"_s);
    auto *ok = dialog.findChild<QPushButton *>(u"1"_s);
    QVERIFY(!ok->isEnabled());

    TypeAddress(dialog, typed);
    const bool connects = !confirmMessages.contains(315) && !confirmMessages.contains(316);
    if (connects)
        QVERIFY(PressAndWait(dialog, u"1002"_s, &dialog, SIGNAL(connectFinished(int))));
    else
        dialog.findChild<QPushButton *>(u"1002"_s)->click();
    // Wait for the last connect of a password loop.
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.IsBusy(), 10000);
    QCOMPARE(m_sink.TakeIds(), confirmMessages);
    QCOMPARE(CAuthDlg::PendingAnswers(), 0);
    QCOMPARE(dialog.findChild<QLabel *>(u"1065"_s)->text(), newName);
    QCOMPARE(ok->isEnabled(), !newName.isEmpty());

    if (newName.isEmpty()) {
        dialog.reject();
        QCOMPARE(projector->GetIPAddress(), Address(12));
        QCOMPARE(projector->GetName(), u"Hall"_s);
        return;
    }
    QVERIFY(PressAndWait(dialog, u"1"_s, &dialog, SIGNAL(connectFinished(int))));
    QCOMPARE(m_sink.TakeIds(), QList<int>{319});
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(projector->GetIPAddress(), typed);
    QCOMPARE(projector->GetName(), newName);
    QCOMPARE(projector->GetPassword(), newName == u"Stage"_s ? u"pw"_s : QString());
}

void TestProjectorEditDlgs::changeAddress_passwordStartsFromTheProjectorsAtEachConfirm()
{
    // The password typed for one address must not be tried at the next address confirmed.
    auto first = StartEmulator(20, "First", "pw1");
    auto second = StartEmulator(21, "Second", "pw1");
    Projector *projector = Register(u"Hall"_s, Address(22), u"own"_s);
    CModfiyIPAddressDlg dialog(*ProjectorManager::GetInstance(), *projector);
    dialog.show();

    CAuthDlg::SetAnswersInAdvance({u"pw1"_s});
    TypeAddress(dialog, Address(20));
    dialog.findChild<QPushButton *>(u"1002"_s)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.IsBusy() && CAuthDlg::PendingAnswers() == 0, 10000);
    QCOMPARE(dialog.GetNewName(), u"First"_s);
    QCOMPARE(CAuthDlg::TakeAskedCount(), 1);

    // Second Confirm: the projector's own password is tried first, so the prompt comes again.
    CAuthDlg::SetAnswersInAdvance({std::nullopt});
    TypeAddress(dialog, Address(21));
    dialog.findChild<QPushButton *>(u"1002"_s)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.IsBusy() && CAuthDlg::PendingAnswers() == 0, 10000);
    QCOMPARE(CAuthDlg::TakeAskedCount(), 1);
    QCOMPARE(dialog.GetNewName(), QString());
    QVERIFY(!dialog.findChild<QPushButton *>(u"1"_s)->isEnabled());
    QCOMPARE(m_sink.TakeIds(), QList<int>{});
    dialog.reject();
    QCOMPARE(projector->GetIPAddress(), Address(22));
    QCOMPARE(projector->GetPassword(), u"own"_s);
}

void TestProjectorEditDlgs::changeAddress_editAfterConfirm_dropsTheConfirmation()
{
    auto lobby = StartEmulator(30, "Lobby");
    Projector *projector = Register(u"Hall"_s, Address(32), QString());
    CModfiyIPAddressDlg dialog(*ProjectorManager::GetInstance(), *projector);
    dialog.show();
    TypeAddress(dialog, Address(30));
    QVERIFY(PressAndWait(dialog, u"1002"_s, &dialog, SIGNAL(connectFinished(int))));
    auto *ok = dialog.findChild<QPushButton *>(u"1"_s);
    QVERIFY(ok->isEnabled());
    QCOMPARE(dialog.findChild<QLabel *>(u"1065"_s)->text(), u"Lobby"_s);

    // The user types another last octet: what was confirmed is not what is shown any more.
    QLineEdit *last = dialog.findChild<CIpAddressCtrl *>(u"1047"_s)->Part(3);
    last->setFocus();
    QTest::keyClick(last, Qt::Key_Backspace);
    QTest::keyClick(last, Qt::Key_1);
    QVERIFY(!ok->isEnabled());
    QCOMPARE(dialog.findChild<QLabel *>(u"1065"_s)->text(), QString());
    ok->click();
    QVERIFY(dialog.isVisible());
    dialog.reject();
    QCOMPARE(projector->GetIPAddress(), Address(32));
    QCOMPARE(m_sink.TakeIds(), QList<int>{});
}

QTEST_MAIN(TestProjectorEditDlgs)
#include "tst_projectoreditdlgs.moc"
