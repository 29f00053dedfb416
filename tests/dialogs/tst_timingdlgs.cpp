#include "dialogs/ctimingdlg.h"
#include "res/stringtable.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// Which dialog a row of a table opens.
enum class Kind { RefreshInterval, WaitResponse };

std::unique_ptr<CTimingDlg> Make(Kind kind, int value)
{
    if (kind == Kind::RefreshInterval)
        return std::make_unique<CRefreshIntervalDlg>(value, 1, 10);
    return std::make_unique<CWaitResponseDlg>(value, 1, 10);
}

QString ComboId(Kind kind)
{
    return kind == Kind::RefreshInterval ? u"1045"_s : u"1046"_s;
}

} // namespace

Q_DECLARE_METATYPE(Kind)

class TestTimingDlgs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { SetStringLanguage(StringLanguage::English); }

    void opening_listsOneToTenWithCurrentSelected_data();
    void opening_listsOneToTenWithCurrentSelected();
    void set_takesTheChosenValue_cancelKeepsTheOld_data();
    void set_takesTheChosenValue_cancelKeepsTheOld();
    void texts_captionUnitAndNote();
};

void TestTimingDlgs::opening_listsOneToTenWithCurrentSelected_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("selected");

    QTest::newRow("interval 5") << Kind::RefreshInterval << 5 << u"5"_s;
    QTest::newRow("interval 1") << Kind::RefreshInterval << 1 << u"1"_s;
    QTest::newRow("wait 10") << Kind::WaitResponse << 10 << u"10"_s;
    // A value the list does not hold selects the nearest end instead of nothing, so "Set" can
    // never produce a value outside the range.
    QTest::newRow("interval 0") << Kind::RefreshInterval << 0 << u"1"_s;
    QTest::newRow("wait 99") << Kind::WaitResponse << 99 << u"10"_s;
}

void TestTimingDlgs::opening_listsOneToTenWithCurrentSelected()
{
    QFETCH(Kind, kind);
    QFETCH(int, value);
    QFETCH(QString, selected);

    auto dialog = Make(kind, value);
    dialog->show();
    auto *combo = dialog->findChild<QComboBox *>(ComboId(kind));
    QVERIFY(combo);
    QVERIFY(!combo->isEditable());
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    QCOMPARE(items, (QStringList{u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s, u"8"_s,
                                 u"9"_s, u"10"_s}));
    QCOMPARE(combo->currentText(), selected);
}

void TestTimingDlgs::set_takesTheChosenValue_cancelKeepsTheOld_data()
{
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("value");

    QTest::newRow("interval Set") << Kind::RefreshInterval << u"1"_s << int(QDialog::Accepted)
                                  << 10;
    QTest::newRow("interval Cancel")
        << Kind::RefreshInterval << u"2"_s << int(QDialog::Rejected) << 5;
    QTest::newRow("wait Set") << Kind::WaitResponse << u"1"_s << int(QDialog::Accepted) << 10;
    QTest::newRow("wait Cancel") << Kind::WaitResponse << u"2"_s << int(QDialog::Rejected) << 5;
}

void TestTimingDlgs::set_takesTheChosenValue_cancelKeepsTheOld()
{
    QFETCH(Kind, kind);
    QFETCH(QString, button);
    QFETCH(int, result);
    QFETCH(int, value);

    auto dialog = Make(kind, 5);
    dialog->show();
    auto *combo = dialog->findChild<QComboBox *>(ComboId(kind));
    QVERIFY(combo);
    // Choose the last entry with the keyboard, as a user would.
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_End);
    QCOMPARE(combo->currentText(), u"10"_s);

    auto *press = dialog->findChild<QPushButton *>(button);
    QVERIFY(press);
    QTest::mouseClick(press, Qt::LeftButton);
    QCOMPARE(dialog->result(), result);
    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->GetValue(), value);
}

void TestTimingDlgs::texts_captionUnitAndNote()
{
    CRefreshIntervalDlg interval(5, 1, 10);
    QCOMPARE(interval.objectName(), u"147"_s);
    QCOMPARE(interval.windowTitle(), u"Refresh Interval"_s);
    QCOMPARE(interval.findChild<QLabel *>(u"unitLabel"_s)->text(), u"minutes."_s);
    QCOMPARE(interval.findChild<QLabel *>(u"selectLabel"_s)->text(), u"Select time."_s);
    QVERIFY(!interval.findChild<QLabel *>(u"noteLabel"_s));
    QCOMPARE(interval.findChild<QPushButton *>(u"1"_s)->text(), u"Set"_s);
    QCOMPARE(interval.findChild<QPushButton *>(u"2"_s)->text(), u"Cancel"_s);

    CWaitResponseDlg wait(5, 1, 10);
    QCOMPARE(wait.objectName(), u"146"_s);
    QCOMPARE(wait.windowTitle(), u"Response Wait Time"_s);
    QCOMPARE(wait.findChild<QLabel *>(u"unitLabel"_s)->text(), u"sec."_s);
    // The running program keeps the old wait time; the dialog says when the new one applies.
    QVERIFY(wait.findChild<QLabel *>(u"noteLabel"_s)->text().contains(u"next start"_s));
}

QTEST_MAIN(TestTimingDlgs)
#include "tst_timingdlgs.moc"
