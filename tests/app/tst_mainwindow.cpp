#include "app/caboutdlg.h"
#include "app/chelpwindow.h"
#include "app/cimagetextbutton.h"
#include "app/cmainframe.h"
#include "app/ctitledlg.h"
#include "app/cvantelapp.h"
#include "app/cvantelview.h"
#include "model/networkcheck.h"
#include "model/projectormanager.h"
#include "res/viewlayout.h"
#include "store/cvanteldoc.h"
#include "tests/app/appfixture.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace {

QString Edges(const QRect &rect)
{
    return u"%1 %2 %3 %4"_s.arg(rect.top())
        .arg(rect.top() + rect.height())
        .arg(rect.left())
        .arg(rect.left() + rect.width());
}

// The view's controls: every direct child whose objectName is a number.
QList<QWidget *> Controls(const CVantelView *view)
{
    QList<QWidget *> controls;
    for (QWidget *child : view->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        bool numeric = false;
        child->objectName().toInt(&numeric);
        if (numeric)
            controls.append(child);
    }
    return controls;
}

bool SplashShowing()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (qobject_cast<CTitleDlg *>(window) && window->isVisible())
            return true;
    }
    return false;
}

void AddLanguages()
{
    QTest::addColumn<int>("language");
    QTest::newRow("English") << int(StringLanguage::English);
    QTest::newRow("Japanese") << int(StringLanguage::Japanese);
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void startTab_data();
    void startTab();
    void designSize_everyControlAtItsEntry_data();
    void designSize_everyControlAtItsEntry();
    void grownWindow_controlsFollowTheEdges();
    void clientNeverSmallerThanDesignSize();
    void tabs_showTheirOwnControls();
    void informationField_hiddenMovesListUpAndIsSaved();
    void captions_fitTheirControlsWithRealGlyphs_data();
    void captions_fitTheirControlsWithRealGlyphs();
    void close_duringSlowRefresh_hidesThenEndsWithTheWorker();
    void close_withoutRefresh_endsAtOnce();
    void networkCheck_data();
    void networkCheck();
    void libraryFailure_messageAndSplashClosed();
    void commandLineFile_importedAsByOpen();
    void about_websiteOpensTheSiteOrSaysWhatFailed();
    void help_topicsIndexAndFilter();
    void escape_closesNothing();
    void showAgain_keepsWhereTheUserPutIt();
};

void TestMainWindow::startTab_data()
{
    QTest::addColumn<int>("projectors");
    QTest::addColumn<int>("tab");
    QTest::addColumn<bool>("greeting"); // "Register the projectors..."
    QTest::newRow("none registered") << 0 << int(CVantelView::TAB_EDIT) << true;
    QTest::newRow("two registered") << 2 << int(CVantelView::TAB_REMOTE_CONTROL) << false;
}

void TestMainWindow::startTab()
{
    QFETCH(int, projectors);
    QFETCH(int, tab);
    QFETCH(bool, greeting);

    AppFixture fixture;
    std::vector<AppFixture::Registered> registered;
    for (int i = 0; i < projectors; ++i)
        registered.push_back({u"P%1"_s.arg(i), u"127.61.0.%1"_s.arg(200 + i), u"/A"_s});
    fixture.WriteSettings(registered);
    QVERIFY(fixture.Start());

    QCOMPARE(int(fixture.View()->GetTab()), tab);
    QCOMPARE(fixture.Frame()->windowTitle(), u"Lumarin "_s);
    QCOMPARE(fixture.TakeMessages().contains(LoadString(300)), greeting);
    const bool remote = tab == CVantelView::TAB_REMOTE_CONTROL;
    QCOMPARE(fixture.Control(IDC_POWER_ON)->isVisible(), remote);
    QCOMPARE(fixture.Control(IDC_REGISTER)->isVisible(), !remote);
    // The first refresh runs and ends.
    QTRY_VERIFY_WITH_TIMEOUT(!fixture.View()->IsRefreshing(), 15000);
    QVERIFY(fixture.Control<QPushButton>(IDC_REFRESH)->isEnabled());
}

void TestMainWindow::designSize_everyControlAtItsEntry_data()
{
    AddLanguages();
}

void TestMainWindow::designSize_everyControlAtItsEntry()
{
    QFETCH(int, language);
    AppFixture fixture;
    QVERIFY(fixture.Start(StringLanguage(language)));
    CVantelView *view = fixture.View();
    QCOMPARE(view->size(), VIEW_DESIGN_SIZE);

    const ViewLayout layout = LoadViewLayout(StringLanguage(language));
    QVERIFY(layout.problems.isEmpty());
    const QList<QWidget *> controls = Controls(view);
    for (const LayoutSlot &slot : ViewLayoutSlots()) {
        QWidget *control = fixture.Control(slot.controlId);
        QVERIFY2(control, qPrintable(u"no control %1"_s.arg(slot.controlId)));
        QRect expected = layout.Rect(slot.controlId);
        if (const auto *tab = qobject_cast<CImageTextButton *>(control)) {
            // A tab button takes the size of its picture: 141 x 35 and 127 x 35.
            QCOMPARE(tab->BitmapSize().height(), 35);
            expected.setSize(tab->BitmapSize());
        }
        if (slot.controlId == IDC_HOURGLASS) {
            // Its picture is taller than the entry: shown whole, centred on it.
            const QPoint centre = expected.center();
            expected.setSize(
                expected.size().expandedTo(static_cast<QLabel *>(control)->pixmap().size()));
            expected.moveCenter(centre);
        }
        if (slot.controlId == IDC_GROUPS_HEADER || slot.controlId == IDC_GROUP_TREE) {
            // Their vertical edges follow the list's column header, which ends at 192.
            const int headerBottom = fixture.Control(IDC_PROJECTOR_LIST)->y() + 27;
            QCOMPARE(headerBottom, 192);
        }
        QVERIFY2(Edges(control->geometry()) == Edges(expected),
                 qPrintable(u"%1 at %2, entry %3"_s.arg(slot.controlId)
                                .arg(Edges(control->geometry()), Edges(expected))));
    }
    // Every control can be found by its id and named by a reader, except a label that shows
    // nothing at the moment.
    for (QWidget *control : controls) {
        const auto *label = qobject_cast<QLabel *>(control);
        if (label && label->text().isEmpty() && label->pixmap().isNull())
            continue;
        QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
    }
    QCOMPARE(controls.size(), ViewLayoutSlots().size());
}

void TestMainWindow::grownWindow_controlsFollowTheEdges()
{
    AppFixture fixture;
    fixture.WriteSettings({{u"P"_s, u"127.61.0.250"_s, u"/"_s}});
    QVERIFY(fixture.Start());
    CVantelView *view = fixture.View();
    QMap<int, QRect> before;
    for (QWidget *control : Controls(view))
        before.insert(control->objectName().toInt(), control->geometry());

    fixture.Frame()->resize(fixture.Frame()->size() + QSize(100, 50));
    QTRY_COMPARE(view->size(), VIEW_DESIGN_SIZE + QSize(100, 50));

    const QRect refresh = fixture.Control(IDC_REFRESH)->geometry();
    QCOMPARE(refresh.topLeft(), QPoint(700, 539));
    QCOMPARE(refresh.size(), before[IDC_REFRESH].size());
    const QRect tree = fixture.Control(IDC_GROUP_TREE)->geometry();
    QCOMPARE(tree.y() + tree.height(), 460);
    QCOMPARE(tree.top(), before[IDC_GROUP_TREE].top());
    for (const int id :
         {IDC_POWER_ON, IDC_POWER_OFF, IDC_SET_INPUT, IDC_MUTE_ON, IDC_MUTE_OFF, IDC_POWER_LABEL,
          IDC_INPUT_LABEL, IDC_MUTE_LABEL, IDC_INPUT_COMBO, IDC_MUTE_COMBO})
        QCOMPARE(fixture.Control(id)->geometry(), before[id].translated(0, 50));
    const QRect list = fixture.Control(IDC_PROJECTOR_LIST)->geometry();
    QCOMPARE(Edges(list), u"165 460 200 850"_s);
}

void TestMainWindow::clientNeverSmallerThanDesignSize()
{
    AppFixture fixture;
    QVERIFY(fixture.Start());
    fixture.Frame()->resize(400, 300);
    QCoreApplication::processEvents();
    QVERIFY(fixture.View()->width() >= VIEW_DESIGN_SIZE.width());
    QVERIFY(fixture.View()->height() >= VIEW_DESIGN_SIZE.height());
    QVERIFY(fixture.Frame()->minimumSizeHint().width() >= VIEW_DESIGN_SIZE.width());
}

void TestMainWindow::tabs_showTheirOwnControls()
{
    AppFixture fixture;
    QVERIFY(fixture.Start());
    const QList<int> remoteOnly{IDC_POWER_ON,    IDC_POWER_OFF,   IDC_SET_INPUT,   IDC_MUTE_ON,
                                IDC_MUTE_OFF,    IDC_POWER_LABEL, IDC_INPUT_LABEL, IDC_MUTE_LABEL,
                                IDC_INPUT_COMBO, IDC_MUTE_COMBO};
    const QList<int> editOnly{IDC_REGISTER,  IDC_CHANGE_PASSWORD, IDC_REGROUP,
                              IDC_CHANGE_IP, IDC_RENAME_GROUP,    IDC_DELETE};
    for (const int tab : {IDC_TAB_REMOTE, IDC_TAB_EDIT, IDC_TAB_REMOTE}) {
        QTest::mouseClick(fixture.Control(tab), Qt::LeftButton);
        const bool remote = tab == IDC_TAB_REMOTE;
        QCOMPARE(int(fixture.View()->GetTab()),
                 int(remote ? CVantelView::TAB_REMOTE_CONTROL : CVantelView::TAB_EDIT));
        for (const int id : remoteOnly)
            QVERIFY2(fixture.Control(id)->isVisible() == remote, qPrintable(QString::number(id)));
        for (const int id : editOnly)
            QVERIFY2(fixture.Control(id)->isVisible() == !remote, qPrintable(QString::number(id)));
        for (const int id : {IDC_DETAIL, IDC_REFRESH, IDC_CLOSE, IDC_PROJECTOR_LIST})
            QVERIFY(fixture.Control(id)->isVisible());
    }
}

void TestMainWindow::informationField_hiddenMovesListUpAndIsSaved()
{
    AppFixture fixture;
    QVERIFY(fixture.Start());
    QAction *show = fixture.Frame()->FindCommand(32781);
    QAction *onlyErrors = fixture.Frame()->FindCommand(32785);
    QVERIFY(show && onlyErrors);
    QVERIFY(show->isChecked());
    QVERIFY(onlyErrors->isEnabled());
    QCOMPARE(fixture.Control(IDC_PROJECTOR_LIST)->y(), 165);

    show->trigger();
    QVERIFY(!show->isChecked());
    QVERIFY(!onlyErrors->isEnabled());
    QCOMPARE(fixture.Control(IDC_PROJECTOR_LIST)->y(), 62);
    QCOMPARE(fixture.Control(IDC_GROUPS_HEADER)->y(), 63);
    QCOMPARE(fixture.Control(IDC_GROUP_TREE)->y(), 62 + 27);
    QVERIFY(!fixture.Control(IDC_EVENT_LIST)->isVisible());
    QCOMPARE(fixture.Control<QLabel>(IDC_INFORMATION_CAPTION)->text(), LoadString(130));
    QCOMPARE(fixture.Control<QLabel>(IDC_STATUS_CAPTION)->text(), QString());
    QVERIFY(fixture.SettingsText().contains(u"ShowInformation=0"_s));

    // Saved: the next start opens without it, and keeps it off after a resize.
    fixture.Stop();
    QVERIFY(fixture.Start());
    QCOMPARE(fixture.Control(IDC_PROJECTOR_LIST)->y(), 62);
    fixture.Frame()->resize(fixture.Frame()->size() + QSize(30, 40));
    QTRY_COMPARE(fixture.View()->height(), VIEW_DESIGN_SIZE.height() + 40);
    QCOMPARE(fixture.Control(IDC_PROJECTOR_LIST)->y(), 62);
    QVERIFY(!fixture.Frame()->FindCommand(32785)->isEnabled());

    fixture.Frame()->FindCommand(32781)->trigger();
    QCOMPARE(fixture.Control(IDC_PROJECTOR_LIST)->y(), 165);
    QVERIFY(fixture.Control(IDC_EVENT_LIST)->isVisible());
    QCOMPARE(fixture.Control<QLabel>(IDC_INFORMATION_CAPTION)->text(), LoadString(129));
    QCOMPARE(fixture.Control<QLabel>(IDC_STATUS_CAPTION)->text(), LoadString(130));
    QVERIFY(fixture.Frame()->FindCommand(32785)->isEnabled());
    QVERIFY(fixture.SettingsText().contains(u"ShowInformation=1"_s));

    fixture.Frame()->FindCommand(32785)->trigger();
    QVERIFY(fixture.Frame()->FindCommand(32785)->isChecked());
    QVERIFY(fixture.SettingsText().contains(u"DisplayOnlyError=1"_s));
}

void TestMainWindow::captions_fitTheirControlsWithRealGlyphs_data()
{
    AddLanguages();
}

// What a user reads in the window: no caption cut off, and every character drawn from a font
// that has it (no empty boxes instead of Japanese).
void TestMainWindow::captions_fitTheirControlsWithRealGlyphs()
{
    QFETCH(int, language);
    AppFixture fixture;
    fixture.WriteSettings({{u"P"_s, u"127.61.0.251"_s, u"/"_s}});
    QVERIFY(fixture.Start(StringLanguage(language)));
    CVantelView *view = fixture.View();
    view->ShowWaitMessage(true, LoadString(327));

    struct Caption
    {
        QString text;
        QFont font;
        int room;
        QString where;
    };
    QList<Caption> captions;
    for (QWidget *control : Controls(view)) {
        if (auto *label = qobject_cast<QLabel *>(control)) {
            captions.append({label->text(), label->font(), label->width(), label->objectName()});
        } else if (auto *combo = qobject_cast<QComboBox *>(control)) {
            const int arrow = 20;
            for (int i = 0; i < combo->count(); ++i)
                captions.append({combo->itemText(i), combo->font(), combo->width() - arrow - 8,
                                 combo->objectName()});
        } else if (auto *header = qobject_cast<QHeaderView *>(control)) {
            captions.append({header->model()->headerData(0, Qt::Horizontal).toString(),
                             header->font(), control->width() - 8, header->objectName()});
        }
    }
    for (const int id : {IDC_REFRESH, IDC_CLOSE}) {
        auto *button = fixture.Control<QPushButton>(id);
        captions.append(
            {button->text(), button->font(), button->width() - 8, button->objectName()});
    }

    for (const Caption &caption : std::as_const(captions)) {
        const QFontMetrics metrics(caption.font);
        QVERIFY2(metrics.horizontalAdvance(caption.text) <= caption.room,
                 qPrintable(u"%1: \"%2\" is %3 pixels wide in %4, room for %5"_s
                                .arg(caption.where, caption.text)
                                .arg(metrics.horizontalAdvance(caption.text))
                                .arg(QFontInfo(caption.font).family())
                                .arg(caption.room)));
        for (const QChar c : caption.text)
            QVERIFY2(c.isSpace() || metrics.inFont(c),
                     qPrintable(u"%1: no glyph for '%2' in %3"_s.arg(caption.where, c)
                                    .arg(QFontInfo(caption.font).family())));
    }
}

void TestMainWindow::close_duringSlowRefresh_hidesThenEndsWithTheWorker()
{
    AppFixture fixture;
    EmulatorConfig slow;
    slow.answerDelayMs = 1500;
    EmulatedProjector *emulator = fixture.Emulate(u"Slow"_s, slow);
    QVERIFY(emulator);
    fixture.WriteSettings(
        {{u"Slow"_s, QString::fromStdString(emulator->config().address), u"/"_s}});
    QVERIFY(fixture.Start());
    CMainFrame *frame = fixture.Frame();
    QVERIFY(fixture.View()->IsRefreshing());
    QVERIFY(fixture.View()->IsWorkerRunning());

    QSignalSpy closed(frame, &CMainFrame::closed);
    QElapsedTimer clock;
    clock.start();
    frame->close();
    QVERIFY(!frame->isVisible());
    QVERIFY(clock.elapsed() < 500); // the user-interface thread did not wait
    QCOMPARE(closed.count(), 0);
    QVERIFY(fixture.View()->IsWorkerRunning());

    QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 20000);
    QVERIFY(!fixture.View()->IsWorkerRunning());
}

void TestMainWindow::close_withoutRefresh_endsAtOnce()
{
    AppFixture fixture;
    QVERIFY(fixture.Start());
    QTRY_VERIFY_WITH_TIMEOUT(!fixture.View()->IsRefreshing(), 10000);
    QSignalSpy closed(fixture.Frame(), &CMainFrame::closed);
    QTest::mouseClick(fixture.Control(IDC_CLOSE), Qt::LeftButton);
    QCOMPARE(closed.count(), 1);
}

void TestMainWindow::networkCheck_data()
{
    QTest::addColumn<bool>("adapters");
    QTest::newRow("an adapter") << true;
    QTest::newRow("no adapter") << false;
}

void TestMainWindow::networkCheck()
{
    QFETCH(bool, adapters);
    AppFixture fixture;
    if (!adapters)
        SetAdapterListerForTesting([] { return std::vector<platform::AdapterAddress>(); });
    QVERIFY(fixture.Start());
    QTest::qWait(50);
    QCOMPARE(fixture.TakeMessages().contains(LoadString(342)), !adapters);
    QVERIFY(fixture.Frame()->isVisible()); // it keeps running either way
}

void TestMainWindow::libraryFailure_messageAndSplashClosed()
{
    AppFixture fixture;
    fixture.WriteSettings({{u"P"_s, u"127.61.0.252"_s, u"/"_s}});
    CVantelView::SetLibraryInitForTesting([] { return -1; });
    QVERIFY(fixture.Start());
    QVERIFY(fixture.TakeMessages().contains(LoadString(347)));
    QVERIFY(!SplashShowing());
    QVERIFY(fixture.Frame()->isVisible());
    QVERIFY(!fixture.View()->IsRefreshing()); // no first refresh
    QVERIFY(!fixture.View()->IsWorkerRunning());
}

void TestMainWindow::commandLineFile_importedAsByOpen()
{
    AppFixture fixture;
    // Another settings file with two projectors, made the way the program writes one.
    fixture.WriteSettings({{u"Imported1"_s, u"127.61.0.240"_s, u"/Hall"_s},
                           {u"Imported2"_s, u"127.61.0.241"_s, u"/Hall"_s}});
    const QString other = QDir::current().filePath(u"other.ini"_s);
    QVERIFY(QFile::copy(fixture.SettingsPath(), other));
    fixture.WriteSettings({});

    QVERIFY(fixture.Start(StringLanguage::English, true, other));
    QCOMPARE(fixture.App()->GetDocument()->GetProjectors().size(), size_t(2));
    QCOMPARE(int(fixture.View()->GetTab()), int(CVantelView::TAB_REMOTE_CONTROL));
    QVERIFY(fixture.SettingsText().contains(u"127.61.0.240"_s)); // imported into the settings
    fixture.Stop();

    QVERIFY(!fixture.Start(StringLanguage::English, false, u"missing.ini"_s));
    QVERIFY(!fixture.Frame());
}

void TestMainWindow::about_websiteOpensTheSiteOrSaysWhatFailed()
{
    AppFixture fixture;
    QVERIFY(fixture.Start());
    fixture.TakeMessages();
    QList<QUrl> opened;
    bool succeed = true;
    CAboutDlg::SetUrlOpenerForTesting([&](const QUrl &url) {
        opened.append(url);
        return succeed;
    });
    CAboutDlg about(fixture.Frame());
    auto *website = about.findChild<QPushButton *>(u"1004"_s);
    QVERIFY(website);
    QCOMPARE(website->text(), u"PJLink Website"_s);
    QVERIFY(about.findChild<QPushButton *>(u"1"_s));
    QCOMPARE(about.findChild<QLabel *>(u"1061"_s)->text(), u"Lumarin"_s);

    QTest::mouseClick(website, Qt::LeftButton);
    QCOMPARE(opened, QList<QUrl>{QUrl(LoadString(32799))});
    QVERIFY(opened.front().scheme().startsWith(u"http"_s));
    QVERIFY(fixture.TakeMessages().isEmpty());

    succeed = false;
    QTest::mouseClick(website, Qt::LeftButton);
    const QStringList messages = fixture.TakeMessages();
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages.front().contains(LoadString(32799)));
    QVERIFY(messages.front().contains(u"web browser"_s));
    CAboutDlg::SetUrlOpenerForTesting(nullptr);
}

void TestMainWindow::help_topicsIndexAndFilter()
{
    const QString directory =
        QDir(qEnvironmentVariable("LUMARIN_SOURCE_DIR")).filePath(u"app/help/en"_s);
    const QList<CHelpWindow::Topic> topics = CHelpWindow::LoadTopics(directory);
    QStringList titles;
    for (const CHelpWindow::Topic &topic : topics)
        titles.append(topic.title);
    QCOMPARE(titles,
             (QStringList{u"Starting Lumarin"_s, u"Registering projectors"_s, u"Arranging groups"_s,
                          u"Sending commands"_s, u"The settings file"_s, u"The command line"_s}));
    QCOMPARE(CHelpWindow::FilterTopics(topics, QString()).size(), topics.size());
    QCOMPARE(CHelpWindow::FilterTopics(topics, u"LUMARINCTL"_s), QList<int>{5});
    QCOMPARE(CHelpWindow::FilterTopics(topics, u"password drag"_s), QList<int>());
    QCOMPARE(CHelpWindow::FilterTopics(topics, u"mute"_s), (QList<int>{0, 3, 5}));
    QCOMPARE(CHelpWindow::DirectoryFor(u"/opt/x/bin/lumarin"_s), u"/opt/x/bin/lumarin-help"_s);
    {
        // Installed under a prefix, the topics are found in share/; a folder beside wins.
        QTemporaryDir prefix;
        QVERIFY(QDir(prefix.path()).mkpath(u"share/lumarin/help"_s));
        const QString program = prefix.filePath(u"bin/lumarin"_s);
        QCOMPARE(CHelpWindow::DirectoryFor(program), prefix.filePath(u"share/lumarin/help"_s));
        QVERIFY(QDir(prefix.path()).mkpath(u"bin/lumarin-help"_s));
        QCOMPARE(CHelpWindow::DirectoryFor(program), prefix.filePath(u"bin/lumarin-help"_s));
    }

    // Without topics beside the program, "Search Topics" says where it looked.
    AppFixture fixture;
    QVERIFY(fixture.Start());
    fixture.TakeMessages();
    fixture.Frame()->FindCommand(57670)->trigger();
    const QStringList messages = fixture.TakeMessages();
    QCOMPARE(messages.size(), 1);
    QVERIFY(messages.front().contains(u"-help"_s));
}

void TestMainWindow::escape_closesNothing()
{
    AppFixture fixture;
    QVERIFY(fixture.Start());
    QSignalSpy closed(fixture.Frame(), &CMainFrame::closed);
    QTest::keyClick(fixture.View(), Qt::Key_Escape);
    QTest::keyClick(fixture.Control(IDC_PROJECTOR_LIST), Qt::Key_Escape);
    QVERIFY(fixture.Frame()->isVisible());
    QCOMPARE(closed.count(), 0);
}

// Centred at the first show only: a window restored or mapped again stays where the user moved
// it.
void TestMainWindow::showAgain_keepsWhereTheUserPutIt()
{
    AppFixture fixture;
    fixture.WriteSettings({});
    QVERIFY(fixture.Start());
    CMainFrame *frame = fixture.Frame();
    const QPoint centred = frame->pos();
    const QPoint moved = centred + QPoint(-37, -23);
    frame->move(moved);
    frame->showMinimized();
    frame->showNormal();
    frame->hide();
    frame->show();
    QCOMPARE(frame->pos(), moved);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
