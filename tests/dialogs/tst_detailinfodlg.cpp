#include "dialogs/cdetailinfodlg.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "res/stringtable.h"
#include "tools/emulator/emulatedprojector.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// This suite's emulators live on 127.57.0.0/24.
std::string Address(int host)
{
    return "127.57.0." + std::to_string(host);
}

// The table as the user reads it: "label|value" per row.
QStringList Rows(const CDetailInfoDlg &dialog)
{
    auto *list = dialog.findChild<QTreeWidget *>(u"1028"_s);
    QStringList rows;
    for (int i = 0; list && i < list->topLevelItemCount(); ++i)
        rows << list->topLevelItem(i)->text(0) + u'|' + list->topLevelItem(i)->text(1);
    return rows;
}

} // namespace

class TestDetailInfoDlg : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void table_data();
    void table();
    void unreachable_showsNotConnectedAndEmptyValues();
    void class2_rowsFollowTheClass1Rows();
    void securityAndEveryInput_shown_data();
    void securityAndEveryInput_shown();
    void table_headerAlignedAndColumnsSized();
    void rows_cannotBeSelected();
    void closeDuringRead_carriedOutAfterTheRead();

private:
    // Shows a dialog for a projector at address (password given) and waits for its table.
    std::unique_ptr<CDetailInfoDlg> ShowFor(Projector &projector);
};

void TestDetailInfoDlg::initTestCase()
{
    SetStringLanguage(StringLanguage::English);
    QCOMPARE(ProjectorManager::InitProjectors(), 0);
    ProjectorManager::SetPort(4352);
    ProjectorManager::SetRecvTimeOut(2);
}

std::unique_ptr<CDetailInfoDlg> TestDetailInfoDlg::ShowFor(Projector &projector)
{
    auto dialog = std::make_unique<CDetailInfoDlg>(projector);
    QSignalSpy finished(dialog.get(), &CDetailInfoDlg::readFinished);
    dialog->show();
    if (!finished.wait(10000))
        qWarning("the detail read did not finish");
    return dialog;
}

void TestDetailInfoDlg::table_data()
{
    QTest::addColumn<QString>("manufacturer");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("lampAnswer");  // "" for a single lamp of 1200 h, lit
    QTest::addColumn<QString>("inputAnswer"); // INST as reported
    QTest::addColumn<QStringList>("rows");

    const QStringList head{u"Projector name :|Hall"_s, u"Status :|Connected"_s,
                           u"IP address :|127.57.0.%1"_s};
    const QString info = u"PJLink class :|Class 1"_s;
    QTest::newRow("two lamps, no password, inputs sorted")
        << u"Emulux"_s << QString() << u"%1LAMP=1200 1 35 0"_s << u"%1INST=31 12 21"_s
        << (head + QStringList{u"Password :|Off"_s, info, u"Manufacturer :|Emulux"_s,
                               u"Model information :|EP-100"_s, u"Other information :|"_s,
                               u"Lamp information :|Lamp 1,On,1200h"_s, u"|Lamp 2,Off,35h"_s,
                               u"Input list :|RGB2,Video1,Digital1"_s});
    QTest::newRow("no lamp, password, no inputs")
        << u"Emulux"_s << u"secret"_s << u"%1LAMP=ERR1"_s << u"%1INST="_s
        << (head + QStringList{u"Password :|On"_s, info, u"Manufacturer :|Emulux"_s,
                               u"Model information :|EP-100"_s, u"Other information :|"_s,
                               u"Lamp information :|"_s, u"Input list :|"_s});
    QTest::newRow("unknown lamp state, the maker's camera")
        << u"Korvane"_s << QString() << u"%1LAMP=7 5"_s << u"%1INST=19 11"_s
        << (head + QStringList{u"Password :|Off"_s, info, u"Manufacturer :|Korvane"_s,
                               u"Model information :|EP-100"_s, u"Other information :|"_s,
                               u"Lamp information :|Lamp 1,unknown,7h"_s,
                               u"Input list :|RGB1,Camera"_s});
}

void TestDetailInfoDlg::table()
{
    QFETCH(QString, manufacturer);
    QFETCH(QString, password);
    QFETCH(QString, lampAnswer);
    QFETCH(QString, inputAnswer);
    QFETCH(QStringList, rows);

    static int host = 1;
    EmulatorConfig config;
    config.address = Address(host++);
    config.name = "Hall";
    config.manufacturer = manufacturer.toStdString();
    config.password = password.toStdString();
    config.rawAnswers["LAMP"] = lampAnswer.toStdString();
    config.rawAnswers["INST"] = inputAnswer.toStdString();
    EmulatedProjector emulator(config);
    std::string error;
    QVERIFY2(emulator.start(&error), error.c_str());

    const QString address = QString::fromStdString(config.address);
    Projector projector(u"Hall"_s, address, password, u"M"_s, u"/"_s);
    auto dialog = ShowFor(projector);
    rows[2] = u"IP address :|"_s + address;
    QCOMPARE(Rows(*dialog), rows);
    QVERIFY(!dialog->findChild<QLabel *>(u"waitText"_s)->isVisible());
}

// A Class 2 projector adds its rows after those every projector has; values it cannot give
// now (no freeze state in standby) stay empty.
void TestDetailInfoDlg::class2_rowsFollowTheClass1Rows()
{
    EmulatorConfig config;
    config.address = Address(40);
    config.pjlinkClass = 2;
    config.power = 0;
    config.serialNumber = "SN-7";
    config.softwareVersion = "2.10";
    config.filterHours = 850;
    config.lampModels = "LMP-1 LMP-2";
    config.filterModels = "";
    config.recommendedResolution = "1920x1200";
    EmulatedProjector emulator(config);
    std::string error;
    QVERIFY2(emulator.start(&error), error.c_str());

    Projector projector(u"Hall"_s, QString::fromStdString(config.address), QString(), u"M"_s,
                        u"/"_s);
    auto dialog = ShowFor(projector);
    const QStringList rows = Rows(*dialog);
    QVERIFY2(rows.contains(u"PJLink class :|Class 2"_s), qPrintable(rows.join(u'\n')));
    QCOMPARE(rows.mid(rows.indexOf(u"Input list :|RGB1,RGB2,Video1,Digital1,Network1"_s)),
             (QStringList{u"Input list :|RGB1,RGB2,Video1,Digital1,Network1"_s,
                          u"Serial number :|SN-7"_s, u"Software version :|2.10"_s,
                          u"Filter usage time :|850 hours"_s, u"Replacement lamp :|LMP-1, LMP-2"_s,
                          u"Replacement filter :|"_s, u"Input resolution :|"_s,
                          u"Recommended resolution :|1920 x 1200"_s, u"Freeze :|"_s}));
}

void TestDetailInfoDlg::securityAndEveryInput_shown_data()
{
    QTest::addColumn<int>("pjlinkClass");
    QTest::addColumn<QString>("security"); // the emulator's kind; empty: no password
    QTest::addColumn<QString>("row");      // the security row; empty: none
    // A Class 1 projector keeps its rows as they were, unless it uses a check they cannot name.
    QTest::newRow("Class 1, open") << 1 << QString() << QString();
    QTest::newRow("Class 1, MD5") << 1 << u"md5"_s << QString();
    QTest::newRow("Class 1, SHA-256") << 1 << u"sha256"_s << u"Security :|SHA-256"_s;
    QTest::newRow("Class 2, open") << 2 << QString() << u"Security :|None"_s;
    QTest::newRow("Class 2, MD5 silent on level 2") << 2 << u"md5-silent"_s << u"Security :|MD5"_s;
    QTest::newRow("Class 2, both levels") << 2 << u"sha256+md5"_s << u"Security :|SHA-256"_s;
}

// Below "Password :" the check the projector uses, never the password; a Class 2 projector's
// input list holds every input that "%2INST" offers, internal and lettered ones too.
void TestDetailInfoDlg::securityAndEveryInput_shown()
{
    QFETCH(int, pjlinkClass);
    QFETCH(QString, security);
    QFETCH(QString, row);
    using S = EmulatorConfig::Security;
    EmulatorConfig config;
    // An address per row: the check that worked is remembered per address for the process.
    static int nextHost = 60;
    config.address = Address(nextHost++);
    config.pjlinkClass = pjlinkClass;
    config.power = 1;
    config.inputs = {{1, 1}, {3, 10}, {6, 1}};
    if (!security.isEmpty()) {
        config.password = "Lamp-7";
        config.security = security == u"md5"_s          ? S::Md5
                          : security == u"md5-silent"_s ? S::Md5Silent
                          : security == u"sha256"_s     ? S::Sha256
                                                        : S::Sha256Md5;
    }
    EmulatedProjector emulator(config);
    std::string error;
    QVERIFY2(emulator.start(&error), error.c_str());

    Projector projector(u"Hall"_s, QString::fromStdString(config.address),
                        QString::fromStdString(config.password), u"M"_s, u"/"_s);
    auto dialog = ShowFor(projector);
    const QStringList rows = Rows(*dialog);
    const int password =
        rows.indexOf(security.isEmpty() ? u"Password :|Off"_s : u"Password :|On"_s);
    QVERIFY2(password >= 0, qPrintable(rows.join(u'\n')));
    QCOMPARE(rows.value(password + 1).startsWith(u"Security :"_s) ? rows[password + 1] : QString(),
             row);
    QVERIFY2(rows.contains(pjlinkClass == 2 ? u"Input list :|RGB1,DigitalA,Internal1"_s
                                            : u"Input list :|RGB1"_s),
             qPrintable(rows.join(u'\n')));
    QVERIFY2(!rows.join(u'\n').contains(u"Lamp-7"_s), qPrintable(rows.join(u'\n')));
}

void TestDetailInfoDlg::unreachable_showsNotConnectedAndEmptyValues()
{
    // Nothing listens at this address.
    Projector projector(u"Gone"_s, u"127.57.0.200"_s, QString(), u"M"_s, u"/"_s);
    auto dialog = ShowFor(projector);
    QCOMPARE(Rows(*dialog), (QStringList{u"Projector name :|Gone"_s, u"Status :|Not connected"_s,
                                         u"IP address :|127.57.0.200"_s, u"Password :|"_s,
                                         u"PJLink class :|"_s, u"Manufacturer :|"_s,
                                         u"Model information :|"_s, u"Other information :|"_s,
                                         u"Lamp information :|"_s, u"Input list :|"_s}));
}

void TestDetailInfoDlg::table_headerAlignedAndColumnsSized()
{
    EmulatorConfig config;
    config.address = Address(100);
    config.otherInfo = std::string(120, 'x'); // wider than the dialog
    EmulatedProjector emulator(config);
    QVERIFY(emulator.start());
    Projector projector(u"Wide"_s, QString::fromStdString(config.address), QString(), u"M"_s,
                        u"/"_s);

    auto dialog = std::make_unique<CDetailInfoDlg>(projector);
    QSignalSpy finished(dialog.get(), &CDetailInfoDlg::readFinished);
    dialog->show();
    auto *list = dialog->findChild<QTreeWidget *>(u"1028"_s);
    const int width = list->viewport()->width();
    QCOMPARE(list->columnWidth(0), (width / 5) * 2);
    QCOMPARE(list->columnWidth(1), width - (width / 5) * 2 - 18);
    const int initialStatus = list->columnWidth(1);
    QVERIFY(finished.wait(10000));

    QCOMPARE(list->headerItem()->text(0), u"Items"_s);
    QCOMPARE(list->headerItem()->text(1), u"Status"_s);
    QCOMPARE(list->headerItem()->textAlignment(0) & Qt::AlignHorizontal_Mask, int(Qt::AlignRight));
    // The long value widens its column; the labels' column fits the longest label.
    const int status = list->columnWidth(1);
    const int labels = list->columnWidth(0);
    QVERIFY(status > initialStatus);
    list->resizeColumnToContents(1);
    list->resizeColumnToContents(0);
    QCOMPARE(list->columnWidth(1), status);
    QCOMPARE(list->columnWidth(0), labels);
}

void TestDetailInfoDlg::rows_cannotBeSelected()
{
    EmulatorConfig config;
    config.address = Address(101);
    EmulatedProjector emulator(config);
    QVERIFY(emulator.start());
    Projector projector(u"P"_s, QString::fromStdString(config.address), QString(), u"M"_s, u"/"_s);
    auto dialog = ShowFor(projector);
    auto *list = dialog->findChild<QTreeWidget *>(u"1028"_s);
    const QRect row = list->visualItemRect(list->topLevelItem(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
    QTest::keyClick(list, Qt::Key_Down, Qt::ShiftModifier);
    QVERIFY(list->selectedItems().isEmpty());
}

void TestDetailInfoDlg::closeDuringRead_carriedOutAfterTheRead()
{
    EmulatorConfig config;
    config.address = Address(102);
    config.answerDelayMs = 150; // every answer, so the read takes over a second
    EmulatedProjector emulator(config);
    QVERIFY(emulator.start());
    Projector projector(u"Slow"_s, QString::fromStdString(config.address), QString(), u"M"_s,
                        u"/"_s);

    auto dialog = std::make_unique<CDetailInfoDlg>(projector);
    QSignalSpy finished(dialog.get(), &CDetailInfoDlg::readFinished);
    QSignalSpy accepted(dialog.get(), &QDialog::accepted);
    // A timer of this thread keeps ticking while the projector is read.
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(20);

    dialog->show();
    QVERIFY(dialog->IsReading());
    QVERIFY(dialog->findChild<QLabel *>(u"waitText"_s)->isVisible());
    QTest::mouseClick(dialog->findChild<QPushButton *>(u"1"_s), Qt::LeftButton);
    // The close waits for the read: the dialog stays, the projector is still being read.
    QVERIFY(dialog->isVisible());
    QCOMPARE(accepted.count(), 0);

    QVERIFY(finished.wait(10000));
    QVERIFY(ticks >= 10);
    QCOMPARE(accepted.count(), 1);
    QVERIFY(!dialog->isVisible());
    QVERIFY(Rows(*dialog).contains(u"Status :|Connected"_s));
}

QTEST_MAIN(TestDetailInfoDlg)
#include "tst_detailinfodlg.moc"
