#include "app/cgrouptreectrl.h"
#include "app/cmainframe.h"
#include "app/cprojectorlistctrl.h"
#include "app/cvantelview.h"
#include "tests/app/appfixture.h"

#include <QDir>
#include <QPixmap>
#include <QTest>

using namespace Qt::StringLiterals;

// Pictures of the main window for people to look at: both tabs in both languages, on a small
// emulated fleet, written to the build directory (screenshots/main-<tab>-<language>.png).
class TestScreenshots : public QObject
{
    Q_OBJECT

private slots:
    void mainWindow_data();
    void mainWindow();
};

void TestScreenshots::mainWindow_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("tab");
    for (const auto &[language, code] :
         {std::pair{StringLanguage::English, "en"}, std::pair{StringLanguage::Japanese, "ja"}}) {
        QTest::addRow("main-remote-%s", code)
            << int(language) << int(CVantelView::TAB_REMOTE_CONTROL);
        QTest::addRow("main-edit-%s", code) << int(language) << int(CVantelView::TAB_EDIT);
    }
}

void TestScreenshots::mainWindow()
{
    QFETCH(int, language);
    QFETCH(int, tab);

    AppFixture fixture;
    std::vector<AppFixture::Registered> registered;
    const char *names[] = {"Lobby", "Hall East", "Hall West", "Room 101", "Room 102"};
    const char *groups[] = {"/", "/Building", "/Building", "/Building/Floor1", "/Building/Floor1"};
    for (int i = 0; i < 5; ++i) {
        EmulatorConfig config;
        config.power = i == 2 ? 0 : 1;
        if (i == 4)
            config.errors[2] = 2; // a temperature error
        EmulatedProjector *emulator = fixture.Emulate(QString::fromLatin1(names[i]), config);
        QVERIFY(emulator);
        registered.push_back({QString::fromLatin1(names[i]),
                              QString::fromStdString(emulator->config().address),
                              QString::fromLatin1(groups[i])});
    }
    fixture.WriteSettings(registered);
    QVERIFY(fixture.Start(StringLanguage(language)));
    QTRY_VERIFY_WITH_TIMEOUT(!fixture.View()->IsRefreshing(), 20000);
    fixture.View()->SetTab(CVantelView::Tab(tab));
    // Every group open, every projector listed, one of them chosen.
    fixture.View()->GetGroupTree()->expandAll();
    CProjectorListCtrl *list = fixture.View()->GetProjectorList();
    QCOMPARE(list->RowCount(), 5);
    const QList<QTreeWidgetItem *> chosen = list->findItems(u"Hall East"_s, Qt::MatchExactly);
    QCOMPARE(chosen.size(), 1);
    list->setCurrentItem(chosen.front());
    QCoreApplication::processEvents();

    const QDir dir(QStringLiteral(LUMARIN_SCREENSHOT_DIR));
    QVERIFY(dir.mkpath(u"."_s));
    const QString path = dir.filePath(QString::fromLatin1(QTest::currentDataTag()) + u".png"_s);
    const QPixmap picture = fixture.Frame()->grab();
    QCOMPARE(picture.size(), fixture.Frame()->size());
    QVERIFY(picture.save(path));
    qInfo("%s", qPrintable(path));
}

QTEST_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
