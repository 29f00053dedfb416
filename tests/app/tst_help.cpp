// Help > Search Topics: the topics of the window's language, and a help window of its own size
// that leaves the main window's menus free.

#include "app/chelpwindow.h"
#include "app/cmainframe.h"
#include "tests/app/appfixture.h"

#include <QDir>
#include <QListWidget>
#include <QMenuBar>
#include <QTest>

using namespace Qt::StringLiterals;

class TestHelp : public QObject
{
    Q_OBJECT

private slots:
    void topics_followTheLanguage_data();
    void topics_followTheLanguage();
    void place_besideOrBelowTheMenus_data();
    void place_besideOrBelowTheMenus();
    void searchTopics_opensTheLanguagesTopicsClearOfTheMenus_data();
    void searchTopics_opensTheLanguagesTopicsClearOfTheMenus();
};

namespace {

const QString kSourceHelp = QStringLiteral(LUMARIN_HELP_SOURCE);

QStringList Titles(const QString &directory)
{
    QStringList titles;
    for (const CHelpWindow::Topic &topic : CHelpWindow::LoadTopics(directory))
        titles << topic.title;
    return titles;
}

} // namespace

void TestHelp::topics_followTheLanguage_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("English") << int(StringLanguage::English)
                             << QStringList{u"Starting Lumarin"_s,  u"Registering projectors"_s,
                                            u"Arranging groups"_s,  u"Sending commands"_s,
                                            u"The settings file"_s, u"The command line"_s};
    QTest::newRow("Japanese") << int(StringLanguage::Japanese)
                              << QStringList{u"Lumarin の起動"_s, u"プロジェクターの登録"_s,
                                             u"グループの整理"_s, u"コマンドの送信"_s,
                                             u"設定ファイル"_s,   u"コマンドライン"_s};
}

// Each language has the same pages under the same names, and its own titles.
void TestHelp::topics_followTheLanguage()
{
    QFETCH(int, language);
    QFETCH(QStringList, titles);
    const QString directory = CHelpWindow::TopicsDirectory(kSourceHelp, StringLanguage(language));
    QCOMPARE(Titles(directory), titles);
    const QStringList pages = QDir(directory).entryList(QDir::Files, QDir::Name);
    QCOMPARE(pages, QDir(kSourceHelp + u"/en"_s).entryList(QDir::Files, QDir::Name));
    // Every page has its text, not only a title.
    for (const CHelpWindow::Topic &topic : CHelpWindow::LoadTopics(directory))
        QVERIFY2(topic.text.size() > 200, qPrintable(topic.path));

    // A help folder without language folders (an older install) is read as it is; a language
    // without its folder falls back to English.
    QTemporaryDir flat;
    QCOMPARE(CHelpWindow::TopicsDirectory(flat.path(), StringLanguage(language)), flat.path());
    QTemporaryDir englishOnly;
    QVERIFY(QDir(englishOnly.path()).mkdir(u"en"_s));
    QCOMPARE(CHelpWindow::TopicsDirectory(englishOnly.path(), StringLanguage(language)),
             englishOnly.filePath(u"en"_s));
}

void TestHelp::place_besideOrBelowTheMenus_data()
{
    QTest::addColumn<QRect>("frame");
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QRect>("expected");
    const QRect wide(0, 0, 1920, 1080);
    QTest::newRow("room on the right")
        << QRect(100, 100, 777, 560) << wide << QRect(877, 100, 640, 480);
    QTest::newRow("room on the left only")
        << QRect(1100, 100, 777, 560) << wide << QRect(460, 100, 640, 480);
    QTest::newRow("no room: over it, below the menus")
        << QRect(11, 20, 777, 560) << QRect(0, 0, 800, 600) << QRect(148, 45, 640, 480);
    QTest::newRow("small screen: shorter")
        << QRect(0, 0, 777, 560) << QRect(0, 0, 800, 400) << QRect(137, 25, 640, 375);
}

void TestHelp::place_besideOrBelowTheMenus()
{
    QFETCH(QRect, frame);
    QFETCH(QRect, screen);
    QFETCH(QRect, expected);
    const int menuBottom = frame.top() + 24;
    QCOMPARE(CHelpWindow::PlaceFor(frame, menuBottom, screen), expected);
}

void TestHelp::searchTopics_opensTheLanguagesTopicsClearOfTheMenus_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("firstTitle");
    QTest::newRow("English") << int(StringLanguage::English) << u"Starting Lumarin"_s;
    QTest::newRow("Japanese") << int(StringLanguage::Japanese) << u"Lumarin の起動"_s;
}

// The topics sit beside this test program (a link made by the build), as beside lumarin.
void TestHelp::searchTopics_opensTheLanguagesTopicsClearOfTheMenus()
{
    QFETCH(int, language);
    QFETCH(QString, firstTitle);
    AppFixture fixture;
    QVERIFY(fixture.Start(StringLanguage(language)));
    fixture.TakeMessages();
    fixture.Frame()->FindCommand(57670)->trigger();
    QCOMPARE(fixture.TakeMessages(), QStringList());
    auto *help = fixture.Frame()->findChild<CHelpWindow *>(u"helpWindow"_s);
    QVERIFY(help);
    QTRY_VERIFY(help->isVisible());
    auto *index = help->findChild<QListWidget *>(u"helpIndex"_s);
    QVERIFY(index && index->count() == 6);
    QCOMPARE(index->item(0)->text(), firstTitle);

    QMenuBar *menus = fixture.Frame()->menuBar();
    const QRect menuRect(menus->mapToGlobal(QPoint(0, 0)), menus->size());
    QVERIFY2(!help->frameGeometry().intersects(menuRect),
             qPrintable(u"help %1,%2 menus end at %3"_s.arg(help->frameGeometry().top())
                            .arg(help->frameGeometry().left())
                            .arg(menuRect.bottom())));
    QVERIFY(help->size() != fixture.Frame()->size());
    QVERIFY(help->width() <= CHelpWindow::kSize.width());
}

QTEST_MAIN(TestHelp)
#include "tst_help.moc"
