#include "dialogs/cauthdlg.h"
#include "dialogs/itemroles.h"
#include "dialogs/cautosearchpropertypage.h"
#include "dialogs/cipaddressctrl.h"
#include "dialogs/cipspecifypropertypage.h"
#include "dialogs/cregprojectordlg.h"
#include "dialogs/cwaitdialog.h"
#include "dialogs/dialogtimings.h"
#include "model/projector.h"
#include "model/projectormanager.h"
#include "platform/echo.h"
#include "res/stringids.h"
#include "res/stringtable.h"
#include "store/actioneventmanager.h"
#include "tests/common/testnamespace.h"
#include "tests/dialogs/registrationfixture.h"
#include "tools/emulator/emulatedprojector.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

const QString kNotFound = u"No projector is found."_s;
const QString kFull = u"Registration is not possible. Up to 100 projectors can be registered."_s;
const QString kInvalidAddress = u"The IP address entered is invalid."_s;
const QString kRegisteredAlready =
    u"A projector having the specified IP address has already been registered."_s;
const QString kBadPassword = u"The password entered is invalid."_s;
const QString kRegistered = u"(i) The projector has been registered."_s;
const QString kWaitForRefresh =
    u"The operation is invalid. Please wait for a while until refreshing is completed."_s;

// Loopback addresses of this test's emulators, outside the namespace.
const QString kLoopNet = u"127.73.15"_s;

// Set for the copy of this test that runs inside the namespace: the first three octets of its
// test network.
constexpr char kNetworkVariable[] = "LUMARIN_REGISTRATION_NET";
const QStringList kAdapters{u"lum0"_s, u"lum1"_s};
// Set for the copy that runs the broadcast search: the swept network and the one beyond it.
constexpr char kBroadcastVariable[] = "LUMARIN_REGISTRATION_BROADCAST";

void StartManager()
{
    SetStringLanguage(StringLanguage::English);
    ActionEventManager::SetLogFileEnabled(false);
    QCOMPARE(ProjectorManager::InitProjectors(), 0);
    ProjectorManager::SetPort(4352);
    ProjectorManager::SetRecvTimeOut(1);
    DialogTiming().searchPollMs = 10;
}

std::unique_ptr<EmulatedProjector> StartEmulator(const QString &address, const char *name,
                                                 const char *password = "")
{
    EmulatorConfig config;
    config.address = address.toStdString();
    config.name = name;
    config.password = password;
    auto emulator = std::make_unique<EmulatedProjector>(config);
    std::string error;
    if (!emulator->start(&error)) {
        qWarning("emulator %s: %s", qPrintable(address), error.c_str());
        return nullptr;
    }
    return emulator;
}

QStringList RegisteredAddresses(ProjectorManager &manager)
{
    QStringList addresses;
    for (Projector *projector : manager.GetProjectors())
        addresses << projector->GetIPAddress();
    return addresses;
}

} // namespace

// The Specify IP Address page and the sheet, against emulators on loopback addresses.
class TestRegisterDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void sheet_okOnly_autoSearchRefusedDuringRefresh();
    void confirm_refused_withoutTraffic_data();
    void confirm_refused_withoutTraffic();
    void confirm_passwordLoop_data();
    void confirm_passwordLoop();
    void confirm_nothingThere_311();
    void confirm_thenRegister_nameClearedAddressKept();
    void confirm_thenEdit_dropsConfirmation();
    void confirm_windowKeepsRunning_sheetBusy();
    void closeDuringConfirm_waitsThenClosesWithoutAsking_data();
    void closeDuringConfirm_waitsThenClosesWithoutAsking();

private:
    CIpSpecifyPropertyPage *OpenIpPage();
    bool Confirm(const QString &address);

    ProjectorManager *m_manager = nullptr;
    std::unique_ptr<InstalledRecordingSink> m_messages;
    std::unique_ptr<CRegProjectorDlg> m_sheet;
    std::map<int, std::unique_ptr<EmulatedProjector>> m_emulators;
    bool m_refreshing = false;
};

void TestRegisterDialog::initTestCase()
{
    StartManager();
    m_manager = ProjectorManager::GetInstance();
    m_emulators[2] = StartEmulator(kLoopNet + u".2"_s, "Registered");
    m_emulators[3] = StartEmulator(kLoopNet + u".3"_s, "Lobby");
    m_emulators[4] = StartEmulator(kLoopNet + u".4"_s, "Hall A", "admin");
    for (const auto &[host, emulator] : m_emulators)
        QVERIFY2(emulator, "an emulator did not start");
    m_messages = std::make_unique<InstalledRecordingSink>();
}

void TestRegisterDialog::init()
{
    m_manager->ClearAll();
    QVERIFY(m_manager->AddProjector(std::make_unique<Projector>(u"Registered"_s, kLoopNet + u".2"_s,
                                                                QString(), u"M"_s, u"/"_s)));
    m_refreshing = false;
    m_messages->TakeMarked();
    CAuthDlg::SetAnswersInAdvance({});
    CAuthDlg::TakeAskedCount();
    m_sheet =
        std::make_unique<CRegProjectorDlg>(nullptr, *m_manager, [this] { return m_refreshing; });
    m_sheet->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_sheet.get()));
}

void TestRegisterDialog::cleanup()
{
    m_sheet.reset();
    QCOMPARE(CAuthDlg::PendingAnswers(), 0);
}

void TestRegisterDialog::cleanupTestCase()
{
    m_messages.reset();
    ProjectorManager::DestroyInstance();
    m_emulators.clear();
}

CIpSpecifyPropertyPage *TestRegisterDialog::OpenIpPage()
{
    m_sheet->Tabs()->setCurrentIndex(1);
    return m_sheet->IpSpecifyPage();
}

bool TestRegisterDialog::Confirm(const QString &address)
{
    CIpSpecifyPropertyPage *page = OpenIpPage();
    page->AddressCtrl()->SetAddress(address);
    return ClickAndWaitIdle(page,
                            [page] { QTest::mouseClick(page->ConfirmButton(), Qt::LeftButton); });
}

void TestRegisterDialog::sheet_okOnly_autoSearchRefusedDuringRefresh()
{
    QCOMPARE(m_sheet->windowTitle(), u"Register Projector"_s);
    QCOMPARE(m_sheet->Tabs()->tabText(0), u"Auto Search"_s);
    QCOMPARE(m_sheet->Tabs()->tabText(1), u"Specify IP Address"_s);
    QCOMPARE(m_sheet->Tabs()->currentIndex(), 0);
    QVERIFY(m_sheet->findChild<QPushButton *>(u"1"_s));
    QVERIFY(!m_sheet->findChild<QPushButton *>(u"2"_s)); // no Cancel

    CAutoSearchPropertyPage *page = m_sheet->AutoSearchPage();
    QTreeWidget *list = page->List();
    // Shown as "Projector name", "Password", "Select".
    QCOMPARE(list->headerItem()->text(list->header()->logicalIndex(0)), u"Projector name"_s);
    QCOMPARE(list->headerItem()->text(list->header()->logicalIndex(1)), u"Password"_s);
    QCOMPARE(list->headerItem()->text(list->header()->logicalIndex(2)), u"Select"_s);
    QVERIFY(!page->RegisterButton()->isEnabled());

    m_refreshing = true;
    QTest::mouseClick(page->AutoSearchButton(), Qt::LeftButton);
    QCOMPARE(m_messages->TakeMarked(), QStringList{kWaitForRefresh});
    QVERIFY(!m_manager->IsSearching());
    QVERIFY(!page->WaitDialog());
    QVERIFY(!page->IsBusy());
    QVERIFY(m_sheet->Tabs()->isEnabled());
}

void TestRegisterDialog::confirm_refused_withoutTraffic_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty field") << QString() << kInvalidAddress;
    QTest::newRow("0.0.0.0") << u"0.0.0.0"_s << kInvalidAddress;
    QTest::newRow("octet above 255") << kLoopNet + u".300"_s << kInvalidAddress;
    QTest::newRow("limited broadcast") << u"255.255.255.255"_s << kInvalidAddress;
    QTest::newRow("multicast") << u"224.0.0.1"_s << kInvalidAddress;
    QTest::newRow("this network") << u"0.1.2.3"_s << kInvalidAddress;
    QTest::newRow("registered") << kLoopNet + u".2"_s << kRegisteredAlready;
}

void TestRegisterDialog::confirm_refused_withoutTraffic()
{
    QFETCH(QString, address);
    QFETCH(QString, message);
    // A confirmation before is dropped by the refused one.
    QVERIFY(Confirm(kLoopNet + u".3"_s));
    CIpSpecifyPropertyPage *page = m_sheet->IpSpecifyPage();
    QVERIFY(page->RegisterButton()->isEnabled());
    const int connections = m_emulators[2]->connectionCount();

    QVERIFY(Confirm(address));
    QCOMPARE(m_messages->TakeMarked(), QStringList{message});
    QCOMPARE(m_emulators[2]->connectionCount(), connections);
    QVERIFY(!page->ConfirmedProjector());
    QVERIFY(!page->RegisterButton()->isEnabled());
    QCOMPARE(page->NameLabel()->text(), QString());
}

void TestRegisterDialog::confirm_passwordLoop_data()
{
    QTest::addColumn<QList<std::optional<QString>>>("answers");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("confirmed");

    using Answers = QList<std::optional<QString>>;
    QTest::newRow("right at once") << Answers{u"admin"_s} << QStringList() << true;
    QTest::newRow("wrong, empty, then right") << Answers{u"wrong"_s, QString(), u"admin"_s}
                                              << QStringList{kBadPassword, kBadPassword} << true;
    QTest::newRow("wrong, then Cancel")
        << Answers{u"wrong"_s, std::nullopt} << QStringList{kBadPassword} << false;
    QTest::newRow("Cancel at once") << Answers{std::nullopt} << QStringList() << false;
    QTest::newRow("a character PJLink cannot carry, then right")
        << Answers{u"pass\u4e00"_s, u"admin"_s} << QStringList{LoadString(STR_PASSWORD_RULES)}
        << true;
}

void TestRegisterDialog::confirm_passwordLoop()
{
    QFETCH(QList<std::optional<QString>>, answers);
    QFETCH(QStringList, messages);
    QFETCH(bool, confirmed);

    CAuthDlg::SetAnswersInAdvance(answers);
    QVERIFY(Confirm(kLoopNet + u".4"_s));
    QCOMPARE(CAuthDlg::TakeAskedCount(), int(answers.size()));
    QCOMPARE(CAuthDlg::LastAskedAddress(), kLoopNet + u".4"_s); // the prompt says which one
    QCOMPARE(m_messages->TakeMarked(), messages);
    CIpSpecifyPropertyPage *page = m_sheet->IpSpecifyPage();
    QCOMPARE(page->RegisterButton()->isEnabled(), confirmed);
    QCOMPARE(page->NameLabel()->text(), confirmed ? u"Hall A"_s : QString());
    QCOMPARE(page->ConfirmedProjector() != nullptr, confirmed);
    if (confirmed)
        QCOMPARE(page->ConfirmedProjector()->GetPassword(), u"admin"_s);
    QCOMPARE(m_manager->GetProjectorCount(), 1); // nothing registered by Confirm
}

void TestRegisterDialog::confirm_nothingThere_311()
{
    QVERIFY(Confirm(kLoopNet + u".99"_s));
    QCOMPARE(m_messages->TakeMarked(), QStringList{kNotFound});
    QVERIFY(!m_sheet->IpSpecifyPage()->RegisterButton()->isEnabled());
    QCOMPARE(CAuthDlg::TakeAskedCount(), 0);
}

void TestRegisterDialog::confirm_thenRegister_nameClearedAddressKept()
{
    CAuthDlg::SetAnswersInAdvance({u"admin"_s});
    QVERIFY(Confirm(kLoopNet + u"."_s + u"004"_s)); // typed with a leading zero
    CIpSpecifyPropertyPage *page = m_sheet->IpSpecifyPage();
    QCOMPARE(page->GetIpAddressText(), kLoopNet + u".4"_s);
    QCOMPARE(page->NameLabel()->text(), u"Hall A"_s);
    const int connections = m_emulators[4]->connectionCount();

    QVERIFY(ClickAndWaitIdle(
        page, [page] { QTest::mouseClick(page->RegisterButton(), Qt::LeftButton); }));
    QCOMPARE(m_messages->TakeMarked(), QStringList{kRegistered});
    QCOMPARE(page->NameLabel()->text(), QString());
    QVERIFY(!page->RegisterButton()->isEnabled());
    QVERIFY(!page->ConfirmedProjector());
    std::array<int, 4> octets{};
    QCOMPARE(page->AddressCtrl()->GetAddress(octets), 4);
    QCOMPARE(octets, (std::array<int, 4>{127, 73, 15, 4}));

    QCOMPARE(RegisteredAddresses(*m_manager),
             QStringList({kLoopNet + u".2"_s, kLoopNet + u".4"_s}));
    Projector *registered = m_manager->GetProjectors().back();
    QCOMPARE(registered->GetName(), u"Hall A"_s);
    QCOMPARE(registered->GetPassword(), u"admin"_s);
    QCOMPARE(registered->GetParent(), m_manager->GetRoot());
    // Refreshed once before the success was told.
    QVERIFY(registered->IsAuthenticated());
    QVERIFY(m_emulators[4]->connectionCount() > connections);

    // Confirm again on the same address: now registered.
    QVERIFY(Confirm(kLoopNet + u".4"_s));
    QCOMPARE(m_messages->TakeMarked(), QStringList{kRegisteredAlready});
}

void TestRegisterDialog::confirm_thenEdit_dropsConfirmation()
{
    QVERIFY(Confirm(kLoopNet + u".3"_s));
    CIpSpecifyPropertyPage *page = m_sheet->IpSpecifyPage();
    QCOMPARE(page->NameLabel()->text(), u"Lobby"_s);
    QVERIFY(page->RegisterButton()->isEnabled());

    // The user changes the last part to another projector's address without confirming.
    m_sheet->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_sheet.get()));
    QLineEdit *last = page->AddressCtrl()->Part(3);
    last->setFocus();
    last->selectAll();
    QTest::keyClick(last, Qt::Key_4);
    QCOMPARE(last->text(), u"4"_s);
    QCOMPARE(page->NameLabel()->text(), QString());
    QVERIFY(!page->RegisterButton()->isEnabled());
    QVERIFY(!page->ConfirmedProjector());
    QTest::mouseClick(page->RegisterButton(), Qt::LeftButton);
    QCOMPARE(m_manager->GetProjectorCount(), 1);
    QCOMPARE(m_messages->TakeMarked(), QStringList());
}

void TestRegisterDialog::confirm_windowKeepsRunning_sheetBusy()
{
    m_emulators[3]->update([](EmulatorConfig &config) { config.answerDelayMs = 300; });
    CIpSpecifyPropertyPage *page = OpenIpPage();
    page->AddressCtrl()->SetAddress(kLoopNet + u".3"_s);
    int ticks = 0;
    bool busySeen = false;
    QTimer tick;
    connect(&tick, &QTimer::timeout, [&] {
        ++ticks;
        busySeen = busySeen || (page->IsBusy() && !m_sheet->Tabs()->isEnabled());
    });
    tick.start(20);
    QVERIFY(ClickAndWaitIdle(page,
                             [page] { QTest::mouseClick(page->ConfirmButton(), Qt::LeftButton); }));
    m_emulators[3]->update([](EmulatorConfig &config) { config.answerDelayMs = 0; });
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    QVERIFY(busySeen);
    QVERIFY(m_sheet->Tabs()->isEnabled());
    QCOMPARE(page->NameLabel()->text(), u"Lobby"_s);
}

void TestRegisterDialog::closeDuringConfirm_waitsThenClosesWithoutAsking_data()
{
    QTest::addColumn<bool>("escape"); // else the close box
    QTest::newRow("Escape") << true;
    QTest::newRow("close box") << false;
}

void TestRegisterDialog::closeDuringConfirm_waitsThenClosesWithoutAsking()
{
    QFETCH(bool, escape);
    // The projector wants a password, so an unfinished Confirm would go on to ask for it.
    m_emulators[4]->update([](EmulatorConfig &config) { config.answerDelayMs = 400; });
    CIpSpecifyPropertyPage *page = OpenIpPage();
    page->AddressCtrl()->SetAddress(kLoopNet + u".4"_s);
    QSignalSpy idle(page, &CIpSpecifyPropertyPage::idle);
    QTest::mouseClick(page->ConfirmButton(), Qt::LeftButton);
    QVERIFY(page->IsBusy());
    if (escape)
        QTest::keyClick(m_sheet.get(), Qt::Key_Escape);
    else
        QVERIFY(!m_sheet->close());
    QVERIFY(m_sheet->isVisible()); // stays while the connect runs
    QVERIFY(idle.wait(10000));
    m_emulators[4]->update([](EmulatorConfig &config) { config.answerDelayMs = 0; });
    QTRY_VERIFY_WITH_TIMEOUT(!m_sheet->isVisible(), 5000);
    QCOMPARE(m_sheet->result(), int(QDialog::Rejected));
    QCOMPARE(CAuthDlg::TakeAskedCount(), 0);
    QCOMPARE(m_messages->TakeMarked(), QStringList());
    QVERIFY(!page->ConfirmedProjector());
    QCOMPARE(m_manager->GetProjectorCount(), 1);
}

// Runs inside the namespace made by TestRegisterDialogLauncher: the Auto Search page with the
// real search.
class TestAutoSearch : public QObject
{
    Q_OBJECT

public:
    explicit TestAutoSearch(const QString &net) : m_net(net) {}

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void search_findsNothing_311_registerStaysDisabled();
    void search_lockedRows_onePasswordUnlocksEveryRowThatTakesIt();
    void register_limitCountsCheckedRows();
    void register_rowRegisteredMeanwhile_316_othersRegistered();
    void cancel_partWay_data();
    void cancel_partWay();

private:
    QString Address(int host) const { return m_net + u'.' + QString::number(host); }
    CAutoSearchPropertyPage *Search();
    QTreeWidgetItem *Row(const QString &address) const;
    QStringList RowTexts() const;

    QString m_net;
    ProjectorManager *m_manager = nullptr;
    std::unique_ptr<InstalledRecordingSink> m_messages;
    std::unique_ptr<CRegProjectorDlg> m_sheet;
    std::map<int, std::unique_ptr<EmulatedProjector>> m_emulators;
};

void TestAutoSearch::initTestCase()
{
    StartManager();
    m_manager = ProjectorManager::GetInstance();
    m_emulators[3] = StartEmulator(Address(3), "Alpha");
    m_emulators[5] = StartEmulator(Address(5), "Beta", "secret");
    m_emulators[6] = StartEmulator(Address(6), "Gamma", "secret");
    m_emulators[7] = StartEmulator(Address(7), "Delta", "other");
    m_emulators[9] = StartEmulator(Address(9), "Echo");
    for (const auto &[host, emulator] : m_emulators)
        QVERIFY2(emulator, "an emulator did not start");
    m_messages = std::make_unique<InstalledRecordingSink>();
}

void TestAutoSearch::init()
{
    m_manager->ClearAll();
    m_messages->TakeMarked();
    CAuthDlg::SetAnswersInAdvance({});
    CAuthDlg::TakeAskedCount();
    m_sheet = std::make_unique<CRegProjectorDlg>(nullptr, *m_manager);
    m_sheet->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_sheet.get()));
}

void TestAutoSearch::cleanup()
{
    platform::SetEchoCheckOverride({});
    m_sheet.reset();
    QCOMPARE(CAuthDlg::PendingAnswers(), 0);
}

void TestAutoSearch::cleanupTestCase()
{
    m_messages.reset();
    ProjectorManager::DestroyInstance();
    m_emulators.clear();
}

CAutoSearchPropertyPage *TestAutoSearch::Search()
{
    CAutoSearchPropertyPage *page = m_sheet->AutoSearchPage();
    const bool ended = ClickAndWaitIdle(
        page, [page] { QTest::mouseClick(page->AutoSearchButton(), Qt::LeftButton); }, 60000);
    if (!ended)
        qWarning("the search did not end");
    return page;
}

QTreeWidgetItem *TestAutoSearch::Row(const QString &address) const
{
    const CAutoSearchPropertyPage *page = m_sheet->AutoSearchPage();
    for (std::size_t i = 0; i < page->FoundProjectors().size(); ++i) {
        if (page->FoundProjectors()[i]->GetIPAddress() == address)
            return page->List()->topLevelItem(int(i));
    }
    return nullptr;
}

// Every row as the user reads it: name, padlock (open, closed, none), check box, grey or not.
QStringList TestAutoSearch::RowTexts() const
{
    const QTreeWidget *list = m_sheet->AutoSearchPage()->List();
    const QColor grey = list->palette().color(QPalette::Disabled, QPalette::Text);
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = list->topLevelItem(i);
        const int padlock = item->data(1, ROLE_PADLOCK).toInt();
        rows << u"%1 %2 %3%4"_s.arg(
            item->text(2),
            padlock == CAutoSearchPropertyPage::PADLOCK_OPEN
                ? u"open"_s
                : (padlock == CAutoSearchPropertyPage::PADLOCK_CLOSED ? u"closed"_s : u"-"_s),
            item->checkState(0) == Qt::Checked ? u"[x]"_s : u"[ ]"_s,
            item->foreground(2).color() == grey ? u" grey"_s : QString());
    }
    return rows;
}

void TestAutoSearch::search_findsNothing_311_registerStaysDisabled()
{
    platform::SetEchoCheckOverride([](const QString &) { return false; });
    CAutoSearchPropertyPage *page = Search();
    QCOMPARE(m_messages->TakeMarked(), QStringList{kNotFound});
    QCOMPARE(page->List()->topLevelItemCount(), 0);
    QVERIFY(!page->RegisterButton()->isEnabled());
    QVERIFY(!page->WasSearchCancelled());
    QTRY_VERIFY(!page->WaitDialog());
    QVERIFY(m_sheet->Tabs()->isEnabled());
    // Another tab and back: still nothing to register.
    m_sheet->Tabs()->setCurrentIndex(1);
    m_sheet->Tabs()->setCurrentIndex(0);
    QVERIFY(!page->RegisterButton()->isEnabled());
}

void TestAutoSearch::search_lockedRows_onePasswordUnlocksEveryRowThatTakesIt()
{
    CAutoSearchPropertyPage *page = Search();
    QCOMPARE(m_messages->TakeMarked(), QStringList());
    QCOMPARE(RowTexts(), QStringList({u"Alpha - [ ]"_s, u"******** closed [ ] grey"_s,
                                      u"******** closed [ ] grey"_s, u"******** closed [ ] grey"_s,
                                      u"Echo - [ ]"_s}));
    QTreeWidget *list = page->List();

    // A locked row refuses its box; the click asks for a password once (here: Cancel).
    CAuthDlg::SetAnswersInAdvance({std::nullopt});
    ClickCheckBox(list, Row(Address(5)));
    QCOMPARE(CAuthDlg::TakeAskedCount(), 1);
    QCOMPARE(Row(Address(5))->checkState(0), Qt::Unchecked);
    QVERIFY(!page->RegisterButton()->isEnabled());

    // A wrong password unlocks nothing and keeps the rows as they were.
    CAuthDlg::SetAnswersInAdvance({u"wrong"_s});
    QVERIFY(ClickAndWaitIdle(page, [&] { ClickRow(list, Row(Address(6))); }));
    QCOMPARE(CAuthDlg::TakeAskedCount(), 1);
    QCOMPARE(m_messages->TakeMarked(), QStringList{kBadPassword});
    QCOMPARE(RowTexts().mid(1, 3), QStringList(3, u"******** closed [ ] grey"_s));

    // An empty password is refused without a try.
    CAuthDlg::SetAnswersInAdvance({QString()});
    QVERIFY(ClickAndWaitIdle(page, [&] { ClickRow(list, Row(Address(7))); }));
    QCOMPARE(m_messages->TakeMarked(), QStringList{kBadPassword});
    CAuthDlg::TakeAskedCount();

    // One password, typed once, unlocks both rows that take it; the third keeps its lock.
    CAuthDlg::SetAnswersInAdvance({u"secret"_s});
    QVERIFY(ClickAndWaitIdle(page, [&] { ClickRow(list, Row(Address(5))); }));
    QCOMPARE(CAuthDlg::TakeAskedCount(), 1);
    QCOMPARE(m_messages->TakeMarked(), QStringList());
    QCOMPARE(RowTexts(), QStringList({u"Alpha - [ ]"_s, u"Beta open [ ]"_s, u"Gamma open [ ]"_s,
                                      u"******** closed [ ] grey"_s, u"Echo - [ ]"_s}));

    // Checking the first box enables Register, unchecking the last disables it.
    ClickCheckBox(list, Row(Address(5)));
    QCOMPARE(Row(Address(5))->checkState(0), Qt::Checked);
    QVERIFY(page->RegisterButton()->isEnabled());
    ClickCheckBox(list, Row(Address(3)));
    ClickCheckBox(list, Row(Address(5)));
    QVERIFY(page->RegisterButton()->isEnabled());
    ClickCheckBox(list, Row(Address(3)));
    QVERIFY(!page->RegisterButton()->isEnabled());
    QCOMPARE(CAuthDlg::TakeAskedCount(), 0); // unlocked rows ask nothing

    // Another tab and back, rows found but none checked: still nothing to register.
    m_sheet->Tabs()->setCurrentIndex(1);
    m_sheet->Tabs()->setCurrentIndex(0);
    QVERIFY(!page->RegisterButton()->isEnabled());
}

void TestAutoSearch::register_limitCountsCheckedRows()
{
    // 98 registered, none of them found by the search.
    for (int i = 0; i < 98; ++i) {
        QVERIFY(m_manager->AddProjector(std::make_unique<Projector>(
            u"P%1"_s.arg(i), u"10.99.0.%1"_s.arg(i + 1), QString(), u"M"_s, u"/"_s)));
    }
    CAutoSearchPropertyPage *page = Search();
    QTreeWidget *list = page->List();
    ClickCheckBox(list, Row(Address(3)));
    ClickCheckBox(list, Row(Address(9)));
    // Unlocked with its password, then checked: three checked rows.
    CAuthDlg::SetAnswersInAdvance({u"other"_s});
    QVERIFY(ClickAndWaitIdle(page, [&] { ClickRow(list, Row(Address(7))); }));
    ClickCheckBox(list, Row(Address(7)));
    QCOMPARE(RowTexts().filter(u"[x]"_s).size(), 3);

    QTest::mouseClick(page->RegisterButton(), Qt::LeftButton);
    QCOMPARE(m_messages->TakeMarked(), QStringList{kFull});
    QCOMPARE(m_manager->GetProjectorCount(), 98);
    QCOMPARE(RowTexts().filter(u"[x]"_s).size(), 3); // checks kept

    ClickCheckBox(list, Row(Address(3)));
    QVERIFY(ClickAndWaitIdle(
        page, [page] { QTest::mouseClick(page->RegisterButton(), Qt::LeftButton); }));
    QCOMPARE(m_messages->TakeMarked(), QStringList{kRegistered});
    QCOMPARE(m_manager->GetProjectorCount(), 100);
    QCOMPARE(RegisteredAddresses(*m_manager).mid(98), QStringList({Address(7), Address(9)}));
    QVERIFY(!Row(Address(7)));
    QVERIFY(!Row(Address(9)));
    QCOMPARE(RowTexts(), QStringList({u"Alpha - [ ]"_s, u"******** closed [ ] grey"_s,
                                      u"******** closed [ ] grey"_s}));
    QVERIFY(!page->RegisterButton()->isEnabled());
    // The registered copy keeps the password it was unlocked with, and has been refreshed.
    Projector *delta = m_manager->GetProjectors()[98];
    QCOMPARE(delta->GetPassword(), u"other"_s);
    QVERIFY(delta->IsAuthenticated());
    QCOMPARE(delta->GetName(), u"Delta"_s);
}

void TestAutoSearch::register_rowRegisteredMeanwhile_316_othersRegistered()
{
    CAutoSearchPropertyPage *page = Search();
    QTreeWidget *list = page->List();
    ClickCheckBox(list, Row(Address(3)));
    ClickCheckBox(list, Row(Address(9)));
    // Registered another way while the page showed it.
    QVERIFY(m_manager->AddProjector(
        std::make_unique<Projector>(u"Alpha"_s, Address(3), QString(), u"M"_s, u"/"_s)));

    QVERIFY(ClickAndWaitIdle(
        page, [page] { QTest::mouseClick(page->RegisterButton(), Qt::LeftButton); }));
    QCOMPARE(m_messages->TakeMarked(), QStringList({kRegisteredAlready, kRegistered}));
    QCOMPARE(RegisteredAddresses(*m_manager), QStringList({Address(3), Address(9)}));
    QCOMPARE(RowTexts().first(), u"Alpha - [x]"_s);
    QVERIFY(!Row(Address(9)));
    QVERIFY(page->RegisterButton()->isEnabled());
}

void TestAutoSearch::cancel_partWay_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Cancel button") << 0;
    QTest::newRow("Escape") << 1;
    QTest::newRow("close box") << 2;
    // The sheet's close cancels the search too, and closes the sheet once it has stopped.
    QTest::newRow("sheet's close box") << 3;
}

void TestAutoSearch::cancel_partWay()
{
    QFETCH(int, how);
    // The projectors answer at once; every other address keeps its probe for a while, so the
    // search is still running when the user cancels.
    platform::SetEchoCheckOverride([this](const QString &address) {
        for (const auto &[host, emulator] : m_emulators) {
            if (address == Address(host))
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(3000));
        return false;
    });
    CAutoSearchPropertyPage *page = m_sheet->AutoSearchPage();
    QSignalSpy idle(page, SIGNAL(idle()));
    QTest::mouseClick(page->AutoSearchButton(), Qt::LeftButton);
    QPointer<CWaitDialog> wait = page->WaitDialog();
    QVERIFY(wait);
    QVERIFY(wait->isVisible());
    QCOMPARE(wait->findChild<QLabel *>(u"1118"_s)->text(),
             u"Searching...  Please wait for a while."_s);
    QVERIFY(page->IsBusy());
    QVERIFY(!m_sheet->Tabs()->isEnabled());
    QTest::qWait(400); // the projectors' probes have started, the search goes on

    switch (how) {
    case 0:
        QTest::mouseClick(wait->findChild<QPushButton *>(u"2"_s), Qt::LeftButton);
        break;
    case 1:
        QTest::keyClick(wait.data(), Qt::Key_Escape);
        break;
    case 2:
        QVERIFY(!wait->close()); // stays until the search has stopped
        break;
    default:
        QVERIFY(!m_sheet->close());
        QVERIFY(m_sheet->isVisible());
        break;
    }
    QVERIFY(wait); // still there while probes end
    QVERIFY(wait->IsCancelled());
    QVERIFY(m_manager->IsSearching());
    QCOMPARE(wait->findChild<QLabel *>(u"1118"_s)->text(),
             u"Canceling...  Please wait for a while."_s);
    QVERIFY(idle.wait(20000));
    QVERIFY(!m_manager->IsSearching());
    QTRY_VERIFY(!wait);
    QVERIFY(page->WasSearchCancelled());
    QVERIFY(!page->IsBusy());
    // What was found before the Cancel is listed.
    QVERIFY(Row(Address(3)));
    QVERIFY(Row(Address(9)));
    QCOMPARE(m_messages->TakeMarked(), QStringList());
    if (how == 3)
        QTRY_VERIFY_WITH_TIMEOUT(!m_sheet->isVisible(), 5000);
}

// Runs inside the controller's namespace made by TestRegisterDialogLauncher: the page's search
// with a broadcast, against a fleet served in a second namespace.
class TestAutoSearchBroadcast : public QObject
{
    Q_OBJECT

public:
    TestAutoSearchBroadcast(const QString &net, const QString &far) : m_net(net), m_far(far) {}

private slots:
    void search_broadcastAnswersJoinTheListOnce();

private:
    QString m_net;
    QString m_far;
};

// Class 1 by the sweep, Class 2 on the swept network once though both find it, and the Class 2
// projector beyond the swept network by the broadcast alone.
void TestAutoSearchBroadcast::search_broadcastAnswersJoinTheListOnce()
{
    StartManager();
    ProjectorManager *manager = ProjectorManager::GetInstance();
    manager->SetBroadcastWait(std::chrono::milliseconds(1500));
    CRegProjectorDlg sheet(nullptr, *manager);
    sheet.show();
    QVERIFY(QTest::qWaitForWindowExposed(&sheet));
    CAutoSearchPropertyPage *page = sheet.AutoSearchPage();
    QVERIFY(ClickAndWaitIdle(
        page, [page] { QTest::mouseClick(page->AutoSearchButton(), Qt::LeftButton); }, 60000));
    QStringList rows;
    for (const auto &found : page->FoundProjectors())
        rows << found->GetIPAddress() + u' ' + found->GetName();
    QCOMPARE(rows, QStringList({m_net + u".10 One"_s, m_net + u".11 Two"_s, m_far + u".5 Far"_s}));
    QCOMPARE(page->List()->topLevelItemCount(), 3);
    QCOMPARE(manager->GetBroadcastResult(), 0);
    ProjectorManager::DestroyInstance();
}

// Runs TestAutoSearch inside a network namespace of its own.
class TestRegisterDialogLauncher : public QObject
{
    Q_OBJECT

private slots:
    void autoSearch_insideOwnNamespace();
    void autoSearch_broadcast_insideOwnNamespaces();
};

void TestRegisterDialogLauncher::autoSearch_broadcast_insideOwnNamespaces()
{
    if (const QString why = TestNamespace::SkipReason(); !why.isEmpty())
        QSKIP(qPrintable(u"needs root for a network namespace: "_s + why));
    SplitNetwork split(u"lumarin-reg"_s, 221, 222);
    if (!split.IsCreated())
        QSKIP(qPrintable(u"cannot create a network namespace: "_s + split.Error()));
    const QString &net = split.net;
    const QString &far = split.far;
    TestNamespace &controller = split.controller;
    TestNamespace &fleet = split.fleet;
    // The far projector is reachable, but not on any network the sweep walks.
    QVERIFY2(split.Link(27, {net + u".10"_s, net + u".11"_s, far + u".5"_s}),
             qPrintable(split.Error()));
    QTemporaryDir dir;
    QFile json(dir.filePath(u"fleet.json"_s));
    QVERIFY(json.open(QIODevice::WriteOnly));
    json.write(uR"([
        {"address": "%1.10", "name": "One"},
        {"address": "%1.11", "name": "Two", "class": 2},
        {"address": "%2.5", "name": "Far", "class": 2}
    ])"_s.arg(net, far)
                   .toUtf8());
    json.close();
    QProcess emulators;
    emulators.setProcessChannelMode(QProcess::MergedChannels);
    emulators.start(u"ip"_s,
                    fleet.ExecArgs(QStringLiteral(PJLINK_EMULATOR_PATH),
                                   {u"--config"_s, json.fileName(), u"--seconds"_s, u"120"_s}));
    QVERIFY(emulators.waitForStarted(5000));
    QByteArray banner;
    QTRY_VERIFY_WITH_TIMEOUT((banner += emulators.readAll()).count('\n') >= 3, 10000);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kBroadcastVariable), net + u'|' + far);
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    const ProcessRun run = RunProcess(
        u"ip"_s, controller.ExecArgs(QCoreApplication::applicationFilePath()), 120000, environment);
    emulators.terminate();
    emulators.waitForFinished(5000);
    qInfo().noquote() << "in the controller's namespace:\n" << run.output;
    QVERIFY2(run.finished, "the test inside the namespace did not end in time");
    QCOMPARE(run.exitCode, 0);
}

void TestRegisterDialogLauncher::autoSearch_insideOwnNamespace()
{
    if (const QString why = TestNamespace::SkipReason(); !why.isEmpty())
        QSKIP(qPrintable(u"needs root for a network namespace: "_s + why));
    TestNamespace ns(u"lumarin-reg"_s);
    if (!ns.IsCreated())
        QSKIP(qPrintable(u"cannot create a network namespace: "_s + ns.GetError()));

    const QString net = u"10.215.%1"_s.arg(::getpid() % 250);
    QList<QStringList> steps{
        {u"link"_s, u"set"_s, u"lo"_s, u"up"_s},
        {u"link"_s, u"add"_s, u"lum0"_s, u"type"_s, u"veth"_s, u"peer"_s, u"name"_s, u"lum1"_s},
        {u"addr"_s, u"add"_s, net + u".1/27"_s, u"dev"_s, u"lum0"_s},
        {u"link"_s, u"set"_s, u"lum0"_s, u"up"_s},
        {u"link"_s, u"set"_s, u"lum1"_s, u"up"_s},
    };
    // The emulated projectors sit on loopback inside the namespace, in lum0's network.
    for (const int host : {3, 5, 6, 7, 9})
        steps.append({u"addr"_s, u"add"_s, net + u"."_s + QString::number(host) + u"/32"_s,
                      u"dev"_s, u"lo"_s});
    QVERIFY2(ns.IpSteps(steps), qPrintable(ns.GetError()));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kNetworkVariable), net);
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    const ProcessRun run = RunProcess(u"ip"_s, ns.ExecArgs(QCoreApplication::applicationFilePath()),
                                      240000, environment);
    qInfo().noquote() << "inside the namespace:\n" << run.output;
    QVERIFY2(run.finished, "the test inside the namespace did not end in time");
    QCOMPARE(run.exitCode, 0);
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString net = qEnvironmentVariable(kNetworkVariable);
    if (const QString nets = qEnvironmentVariable(kBroadcastVariable); !nets.isEmpty()) {
        // A broadcast goes to every adapter's network: only in the test's own namespace.
        QString seen;
        if (!OnlyTheseAdapters({u"lum0"_s}, &seen)) {
            std::fprintf(stderr, "not inside the test's namespace (adapters: %s)\n",
                         qPrintable(seen));
            return 3;
        }
        TestAutoSearchBroadcast test(nets.section(u'|', 0, 0), nets.section(u'|', 1, 1));
        return QTest::qExec(&test, argc, argv);
    }
    if (net.isEmpty()) {
        TestRegisterDialog pages;
        TestRegisterDialogLauncher launcher;
        QTEST_SET_MAIN_SOURCE_PATH
        int failed = QTest::qExec(&pages, argc, argv);
        failed += QTest::qExec(&launcher, argc, argv);
        return failed;
    }
    // A search here walks every adapter's network: refuse anywhere but our own namespace.
    QString seen;
    if (!OnlyTheseAdapters(kAdapters, &seen)) {
        std::fprintf(stderr, "not inside the test's namespace (adapters: %s); nothing probed\n",
                     qPrintable(seen));
        return 3;
    }
    TestAutoSearch test(net);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_registerdialog.moc"
