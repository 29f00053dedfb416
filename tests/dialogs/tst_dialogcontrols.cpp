#include "dialogs/cauthdlg.h"
#include "dialogs/cipaddressctrl.h"
#include "res/stringtable.h"
#include "tests/common/scripteduser.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <array>

using namespace Qt::StringLiterals;

namespace {

QString AddressOf(const CIpAddressCtrl &control)
{
    std::array<int, 4> octets{};
    const int filled = control.GetAddress(octets);
    return u"%1.%2.%3.%4/%5"_s.arg(octets[0]).arg(octets[1]).arg(octets[2]).arg(octets[3]).arg(
        filled);
}

QString Parts(const CIpAddressCtrl &control)
{
    QStringList parts;
    for (int i = 0; i < 4; ++i)
        parts << control.Part(i)->text();
    return parts.join(u'|');
}

int FocusedPart(const CIpAddressCtrl &control)
{
    for (int i = 0; i < 4; ++i) {
        if (control.Part(i)->hasFocus())
            return i;
    }
    return -1;
}

} // namespace

// The small pieces of the registration dialogs: the address field and the password prompt.
class TestDialogControls : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void ipAddress_typing_data();
    void ipAddress_typing();
    void ipAddress_backspaceInEmptyPart_goesBack();
    void ipAddress_paste_fillsFromThePart();
    void ipAddress_setAddress_isNoEdit();

    void authDlg_realWindow_okKeepsText_cancelIsNone();
    void authDlg_answersInAdvance_inOrder_countsAsks();
};

void TestDialogControls::initTestCase()
{
    SetStringLanguage(StringLanguage::English);
}

void TestDialogControls::ipAddress_typing_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("parts");
    QTest::addColumn<QString>("address"); // octets and the number of parts filled
    QTest::addColumn<int>("focused");

    QTest::newRow("dots move on") << u"192.168.1.20"_s << u"192|168|1|20"_s << u"192.168.1.20/4"_s
                                  << 3;
    QTest::newRow("third digit moves on")
        << u"1921681.20"_s << u"192|168|1|20"_s << u"192.168.1.20/4"_s << 3;
    QTest::newRow("third digit, then a dot, moves once only")
        << u"192.168.001.2"_s << u"192|168|001|2"_s << u"192.168.1.2/4"_s << 3;
    QTest::newRow("above 255 stays as typed")
        << u"300.1"_s << u"300|1||"_s << u"300.1.0.0/2"_s << 1;
    QTest::newRow("letters ignored") << u"1a2.b3"_s << u"12|3||"_s << u"12.3.0.0/2"_s << 1;
    QTest::newRow("dot in an empty part stays") << u".5"_s << u"5|||"_s << u"5.0.0.0/1"_s << 0;
    QTest::newRow("nothing typed") << QString() << u"|||"_s << u"0.0.0.0/0"_s << 0;
}

void TestDialogControls::ipAddress_typing()
{
    QFETCH(QString, keys);
    QFETCH(QString, parts);
    QFETCH(QString, address);
    QFETCH(int, focused);

    CIpAddressCtrl control;
    control.show();
    QVERIFY(QTest::qWaitForWindowExposed(&control));
    control.Part(0)->setFocus();
    QSignalSpy edited(&control, &CIpAddressCtrl::addressEdited);
    for (const QChar c : keys)
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
    QCOMPARE(Parts(control), parts);
    QCOMPARE(AddressOf(control), address);
    QCOMPARE(FocusedPart(control), focused);
    QCOMPARE(edited.size(), keys.size());
    QCOMPARE(control.IsBlank(), address.endsWith(u"/0"_s));
}

void TestDialogControls::ipAddress_backspaceInEmptyPart_goesBack()
{
    CIpAddressCtrl control;
    control.show();
    QVERIFY(QTest::qWaitForWindowExposed(&control));
    control.Part(0)->setFocus();
    for (const char c : {'1', '0', '.', '2', '.'})
        QTest::keyClick(QApplication::focusWidget(), c);
    QCOMPARE(FocusedPart(control), 2);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace); // empty part: back
    QCOMPARE(FocusedPart(control), 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace); // erases the 2
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace); // back again
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace); // erases a digit of 10
    QCOMPARE(Parts(control), u"1|||"_s);
    QCOMPARE(FocusedPart(control), 0);
}

void TestDialogControls::ipAddress_paste_fillsFromThePart()
{
    CIpAddressCtrl control;
    control.show();
    QVERIFY(QTest::qWaitForWindowExposed(&control));
    QSignalSpy edited(&control, &CIpAddressCtrl::addressEdited);
    QApplication::clipboard()->setText(u" 192.168.10.7 "_s);
    control.Part(0)->setFocus();
    control.Part(0)->paste();
    QCOMPARE(Parts(control), u"192|168|10|7"_s);
    QCOMPARE(edited.size(), 1);

    // Pasted into the third part: the rest that does not fit is dropped.
    control.ClearAddress();
    QApplication::clipboard()->setText(u"1.2.3.4"_s);
    control.Part(2)->setFocus();
    control.Part(2)->paste();
    QCOMPARE(Parts(control), u"||1|2"_s);
}

void TestDialogControls::ipAddress_setAddress_isNoEdit()
{
    CIpAddressCtrl control;
    QSignalSpy edited(&control, &CIpAddressCtrl::addressEdited);
    control.SetAddress(u"10.0.0.999"_s);
    QCOMPARE(Parts(control), u"10|0|0|999"_s);
    control.SetAddress(u"10.1"_s);
    QCOMPARE(Parts(control), u"10|1||"_s);
    QCOMPARE(edited.size(), 0);
}

void TestDialogControls::authDlg_realWindow_okKeepsText_cancelIsNone()
{
    CAuthDlg::SetAnswersInAdvance({});
    CAuthDlg::TakeAskedCount();
    // Answer the real window as a user would, once it is up.
    const auto answer = [](const QString &text, bool ok) {
        return ScriptedUser::OnModal<CAuthDlg>([text, ok](CAuthDlg *dialog) {
            QCOMPARE(dialog->windowTitle(), u"Authentication"_s);
            auto *edit = dialog->findChild<QLineEdit *>(u"1040"_s);
            QVERIFY(edit);
            QCOMPARE(edit->echoMode(), QLineEdit::Password);
            QTest::keyClicks(edit, text);
            QTest::mouseClick(dialog->findChild<QPushButton *>(ok ? u"1"_s : u"2"_s),
                              Qt::LeftButton);
        });
    };
    ScriptedUser user(
        {answer(u"secret 1"_s, true), answer(QString(), true), answer(u"typed"_s, false)});
    QCOMPARE(CAuthDlg::Ask(nullptr), std::optional<QString>(u"secret 1"_s));
    QCOMPARE(CAuthDlg::Ask(nullptr), std::optional<QString>(QString()));
    QCOMPARE(CAuthDlg::Ask(nullptr), std::nullopt);
    QVERIFY(user.IsDone());
    QCOMPARE(CAuthDlg::TakeAskedCount(), 3);
}

void TestDialogControls::authDlg_answersInAdvance_inOrder_countsAsks()
{
    CAuthDlg::TakeAskedCount();
    CAuthDlg::SetAnswersInAdvance({u"a"_s, std::nullopt, QString()});
    QCOMPARE(CAuthDlg::Ask(nullptr), std::optional<QString>(u"a"_s));
    QCOMPARE(CAuthDlg::Ask(nullptr), std::nullopt);
    QCOMPARE(CAuthDlg::PendingAnswers(), 1);
    QCOMPARE(CAuthDlg::Ask(nullptr), std::optional<QString>(QString()));
    QCOMPARE(CAuthDlg::PendingAnswers(), 0);
    QCOMPARE(CAuthDlg::TakeAskedCount(), 3);
}

QTEST_MAIN(TestDialogControls)
#include "tst_dialogcontrols.moc"
