#include "app/cgrouptreectrl.h"
#include "app/cmainframe.h"
#include "app/cprojectorlistctrl.h"
#include "app/cvantelview.h"
#include "dialogs/cdetailinfodlg.h"
#include "model/projector.h"
#include "res/viewlayout.h"
#include "tests/app/appfixture.h"
#include "tests/common/scripteduser.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QPixmap>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionHeader>
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
    void listTexts_fitTheirColumns_data();
    void listTexts_fitTheirColumns();
    void longCell_cutWithItsTextAsToolTip();
    void class2Projector_dropDownAndDetailShowWhole_data();
    void class2Projector_dropDownAndDetailShowWhole();
};

namespace {

// A fleet that fills every column: warming up, off, both mutes, a temperature error, a lamp
// warning, a long manufacturer and a group path two levels down.
void StartDefaultFleet(AppFixture &fixture, StringLanguage language)
{
    struct Kind
    {
        const char *name;
        const char *group;
        int power;
        int mute;
        int error;      // index into ERST, -1: none
        int errorLevel; // 1 warning, 2 error
    };
    const Kind kinds[] = {
        {"Lobby", "/", 3, 30, -1, 0},
        {"Hall East", "/Building", 1, 31, 1, 1},
        {"Hall West", "/Building", 0, 30, -1, 0},
        {"Room 101", "/Building/Floor1", 1, 11, -1, 0},
        {"Room 102", "/Building/Floor1", 1, 21, 2, 2},
    };
    std::vector<AppFixture::Registered> registered;
    for (const Kind &kind : kinds) {
        EmulatorConfig config;
        config.power = kind.power;
        config.warmUpMs = 600000; // stays warming up
        config.mute = kind.mute;
        config.manufacturer = "Emulux Visual Systems";
        config.lamps = {{12345, 0}};
        if (kind.error >= 0)
            config.errors[size_t(kind.error)] = kind.errorLevel;
        EmulatedProjector *emulator = fixture.Emulate(QString::fromLatin1(kind.name), config);
        QVERIFY(emulator);
        registered.push_back({QString::fromLatin1(kind.name),
                              QString::fromStdString(emulator->config().address),
                              QString::fromLatin1(kind.group)});
    }
    fixture.WriteSettings(registered);
    QVERIFY(fixture.Start(language));
    QTRY_VERIFY_WITH_TIMEOUT(!fixture.View()->IsRefreshing(), 20000);
}

// The texts of the header and the cells that do not fit their column, as "column: text".
QStringList CutTexts(CProjectorListCtrl &list)
{
    QStringList cut;
    QHeaderView *header = list.header();
    for (int column = 0; column < list.columnCount(); ++column) {
        // The room a header label gets, its sort mark included (any column may be sorted).
        QStyleOptionHeader option;
        option.initFrom(header);
        option.state |= QStyle::State_Horizontal;
        option.rect = QRect(0, 0, list.columnWidth(column), header->height());
        option.section = column;
        option.text = list.headerItem()->text(column);
        option.sortIndicator = QStyleOptionHeader::SortDown;
        const QRect label =
            header->style()->subElementRect(QStyle::SE_HeaderLabel, &option, header);
        if (header->fontMetrics().horizontalAdvance(option.text) > label.width())
            cut << QString::number(column) + u": "_s + option.text;
    }
    // A cell's text, its icon, and the style's margins around both.
    const int margin = list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1;
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
        QTreeWidgetItem *item = list.topLevelItem(row);
        for (int column = 0; column < list.columnCount(); ++column) {
            int needed = list.fontMetrics().horizontalAdvance(item->text(column)) + 2 * margin;
            if (!item->icon(column).isNull())
                needed += list.iconSize().width() + 2 * margin;
            if (needed > list.columnWidth(column) && item->toolTip(column) != item->text(column))
                cut << QString::number(column) + u": "_s + item->text(column);
        }
    }
    return cut;
}

} // namespace

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

void TestScreenshots::listTexts_fitTheirColumns_data()
{
    QTest::addColumn<int>("language");
    QTest::newRow("English") << int(StringLanguage::English);
    QTest::newRow("Japanese") << int(StringLanguage::Japanese);
}

// Every header and cell of the list is readable at the default size, scrolled to if need be;
// a larger window gives its width to the columns until every one shows.
void TestScreenshots::listTexts_fitTheirColumns()
{
    QFETCH(int, language);
    AppFixture fixture;
    StartDefaultFleet(fixture, StringLanguage(language));
    if (QTest::currentTestFailed())
        return;
    CProjectorListCtrl *list = fixture.View()->GetProjectorList();
    QCOMPARE(list->RowCount(), 5);
    QCoreApplication::processEvents();
    std::vector<int> defaults;
    for (int column = 0; column < list->columnCount(); ++column) {
        QVERIFY(list->columnWidth(column) >= CProjectorListCtrl::kColumnWidths[column]);
        defaults.push_back(list->columnWidth(column));
    }
    const QStringList cut = CutTexts(*list);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u" | "_s)));

    fixture.Frame()->resize(1200, fixture.Frame()->height());
    QTRY_COMPARE(list->horizontalScrollBar()->maximum(), 0);
    for (int column = 0; column < list->columnCount(); ++column)
        QVERIFY(list->columnWidth(column) >= defaults[size_t(column)]);
    const QStringList wideCut = CutTexts(*list);
    QVERIFY2(wideCut.isEmpty(), qPrintable(wideCut.join(u" | "_s)));
    const QDir dir(QStringLiteral(LUMARIN_SCREENSHOT_DIR));
    QVERIFY(dir.mkpath(u"."_s));
    QVERIFY(fixture.Frame()->grab().save(
        dir.filePath(u"wide-"_s + QString::fromLatin1(QTest::currentDataTag()) + u".png"_s)));
}

// A text longer than a column may grow is cut and shows whole as its cell's tool tip; a cell
// that fits has none.
void TestScreenshots::longCell_cutWithItsTextAsToolTip()
{
    const QString longName = u"Projector above the stage of the great hall, left side, 2nd row"_s;
    Projector cut(longName, u"127.61.0.253"_s, QString(), u"M"_s, u"/"_s);
    Projector fits(u"Lobby"_s, u"127.61.0.254"_s, QString(), u"M"_s, u"/"_s);
    CProjectorListCtrl list;
    list.SetUpColumns();
    list.resize(600, 200);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    list.ShowNodes({&cut, &fits});
    list.UpdateData();
    QCOMPARE(list.columnWidth(COLUMN_NAME), CProjectorListCtrl::kMaxColumnWidth);
    const auto rowOf = [&list](const QString &name) {
        return list.findItems(name, Qt::MatchExactly).value(0);
    };
    QVERIFY(rowOf(longName) && rowOf(u"Lobby"_s));
    QCOMPARE(rowOf(longName)->toolTip(COLUMN_NAME), longName);
    QCOMPARE(rowOf(u"Lobby"_s)->toolTip(COLUMN_NAME), QString());
}

void TestScreenshots::class2Projector_dropDownAndDetailShowWhole_data()
{
    QTest::addColumn<int>("language");
    QTest::newRow("en") << int(StringLanguage::English);
    QTest::newRow("ja") << int(StringLanguage::Japanese);
}

// A Class 2 projector with two lamps and named terminals: the open input list is as wide as its
// longest entry, and Detail Information shows every row without a scroll bar. Both are written
// as pictures (dropdown-<language>.png, detail-class2-<language>.png).
void TestScreenshots::class2Projector_dropDownAndDetailShowWhole()
{
    QFETCH(int, language);
    AppFixture fixture;
    EmulatorConfig config;
    config.pjlinkClass = 2;
    config.power = 1;
    config.manufacturer = "Emulux Visual Systems";
    config.lamps = {{1200, 0}, {35, 0}};
    config.inputs = {{1, 1}, {3, 1}, {3, 10}, {5, 1}, {6, 1}};
    config.input = {5, 1};
    config.inputNames = {{{3, 1}, "HDMI 1"},
                         {{3, 10}, "HDMI 2 (ARC)"},
                         {{5, 1}, "HDBaseT"},
                         {{6, 1}, "Media player"}};
    config.lampModels = "LMP-100 LMP-200";
    config.filterModels = "FLT-100";
    config.filterHours = 1520;
    EmulatedProjector *hall = fixture.Emulate(u"Hall A"_s, config);
    QVERIFY(hall);
    fixture.WriteSettings({{u"Hall A"_s, QString::fromStdString(hall->config().address), u"/"_s}});
    QVERIFY(fixture.Start(StringLanguage(language)));
    QTRY_VERIFY_WITH_TIMEOUT(CycleEnded(*fixture.View()), 20000);
    const QDir dir(QStringLiteral(LUMARIN_SCREENSHOT_DIR));
    QVERIFY(dir.mkpath(u"."_s));
    const QString tag = QString::fromLatin1(QTest::currentDataTag());

    CProjectorListCtrl *list = fixture.View()->GetProjectorList();
    const QList<QTreeWidgetItem *> row = list->findItems(u"Hall A"_s, Qt::MatchExactly);
    QCOMPARE(row.size(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(row[0]).center());
    auto *inputs = fixture.Control<QComboBox>(IDC_INPUT_COMBO);
    QTRY_COMPARE(inputs->count(), 5);
    inputs->showPopup();
    QAbstractItemView *open = inputs->view();
    QTRY_VERIFY(open->isVisible());
    QStringList cut;
    for (int i = 0; i < inputs->count(); ++i) {
        const QString text = inputs->itemText(i);
        if (open->visualRect(open->model()->index(i, 0)).width() <
                open->fontMetrics().horizontalAdvance(text) ||
            open->viewport()->width() < open->fontMetrics().horizontalAdvance(text))
            cut << text;
    }
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(u" | "_s)));
    QVERIFY(inputs->findText(u"Internal1 - Media player"_s) >= 0 ||
            inputs->findText(u"内部1 - Media player"_s) >= 0);
    QVERIFY(open->window()->grab().save(dir.filePath(u"dropdown-"_s + tag + u".png"_s)));
    inputs->hidePopup();

    QStringList rows;
    bool verticalBar = true;
    bool horizontalBar = true;
    bool seenWhole = false;
    int polls = 0;
    ScriptedUser user({[&] {
        auto *dialog = ScriptedUser::Modal<CDetailInfoDlg>();
        // One poll after the read, so that the dialog has taken the size it asked for.
        if (!dialog || dialog->IsReading() || polls++ < 1)
            return false;
        auto *table = dialog->findChild<QTreeWidget *>(u"1028"_s);
        for (int i = 0; i < table->topLevelItemCount(); ++i)
            rows << table->topLevelItem(i)->text(0) + u'|' + table->topLevelItem(i)->text(1);
        verticalBar = table->verticalScrollBar()->isVisible();
        horizontalBar = table->horizontalScrollBar()->isVisible();
        // Seen whole: the last row and both columns inside the visible part of the table.
        const QRect last =
            table->visualItemRect(table->topLevelItem(table->topLevelItemCount() - 1));
        seenWhole = last.bottom() < table->viewport()->height() &&
                    table->header()->length() <= table->viewport()->width();
        dialog->grab().save(dir.filePath(u"detail-class2-"_s + tag + u".png"_s));
        QTest::mouseClick(dialog->findChild<QPushButton *>(u"1"_s), Qt::LeftButton);
        return true;
    }});
    QTest::mouseClick(fixture.Control<QPushButton>(IDC_DETAIL), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(user.IsDone(), 15000);
    // Ten rows, the second lamp, the security level and the eight Class 2 rows.
    QCOMPARE(rows.size(), 20);
    QVERIFY2(!verticalBar && !horizontalBar && seenWhole, qPrintable(rows.join(u'\n')));
}

QTEST_MAIN(TestScreenshots)
#include "tst_screenshots.moc"
