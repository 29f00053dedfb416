#include "res/layoutentry.h"
#include "res/viewlayout.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A rectangle written as a layout entry writes it: "top bottom left right", edges exclusive.
QString Edges(const QRect &rect)
{
    return u"%1 %2 %3 %4"_s.arg(rect.top())
        .arg(rect.top() + rect.height())
        .arg(rect.left())
        .arg(rect.left() + rect.width());
}

} // namespace

class TestViewLayout : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void everyEntryParses_data();
    void everyEntryParses();
    void geometry_data();
    void geometry();
};

void TestViewLayout::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("form");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("edges");

    const int A = int(LayoutForm::Numbers);
    const int B = int(LayoutForm::WordAndNumbers);
    const int C = int(LayoutForm::CommaSeparated);
    QTest::newRow("A") << u"165 410 200 750"_s << A << true << QString() << u"165 410 200 750"_s;
    QTest::newRow("A, several blanks")
        << u"62  120 20 752"_s << A << true << QString() << u"62 120 20 752"_s;
    QTest::newRow("A, empty rectangle")
        << u"10 10 5 5"_s << A << true << QString() << u"10 10 5 5"_s;
    QTest::newRow("A, three numbers") << u"165 410 200"_s << A << false << QString() << QString();
    QTest::newRow("A, five numbers") << u"1 2 3 4 5"_s << A << false << QString() << QString();
    QTest::newRow("A, not a number")
        << u"165 41O 200 750"_s << A << false << QString() << QString();
    QTest::newRow("A, bottom above top")
        << u"410 165 200 750"_s << A << false << QString() << QString();
    QTest::newRow("A, right left of left")
        << u"1 2 750 200"_s << A << false << QString() << QString();
    QTest::newRow("A, caption given")
        << u"Refresh 489 515 600 670"_s << A << false << QString() << QString();
    QTest::newRow("A, empty") << QString() << A << false << QString() << QString();

    QTest::newRow("B") << u"Refresh 489 515 600 670"_s << B << true << u"Refresh"_s
                       << u"489 515 600 670"_s;
    QTest::newRow("B, Japanese word")
        << u"ミュート 455 475 236 287"_s << B << true << u"ミュート"_s << u"455 475 236 287"_s;
    QTest::newRow("B, 24 characters") << u"ABCDEFGHIJKLMNOPQRSTUVWX 1 2 3 4"_s << B << true
                                      << u"ABCDEFGHIJKLMNOPQRSTUVWX"_s << u"1 2 3 4"_s;
    QTest::newRow("B, 25 characters")
        << u"ABCDEFGHIJKLMNOPQRSTUVWXY 1 2 3 4"_s << B << false << QString() << QString();
    QTest::newRow("B, two words") << u"Display all 1 2 3 4"_s << B << false << QString()
                                  << QString();
    QTest::newRow("B, no word") << u"489 515 600 670"_s << B << false << QString() << QString();

    QTest::newRow("C") << u"Detail Information,448,472,616,732"_s << C << true
                       << u"Detail Information"_s << u"448 472 616 732"_s;
    QTest::newRow("C, raised by 2")
        << u"On,420,442,100,146"_s << C << true << u"On"_s << u"420 442 100 146"_s;
    QTest::newRow("C, Japanese") << u"IPアドレス変更,418,440,318,430"_s << C << true
                                 << u"IPアドレス変更"_s << u"418 440 318 430"_s;
    QTest::newRow("C, blank after comma")
        << u"On, 418,440,100,146"_s << C << false << QString() << QString();
    QTest::newRow("C, four fields") << u"On,418,440,100"_s << C << false << QString() << QString();
    QTest::newRow("C, no caption") << u",418,440,100,146"_s << C << false << QString() << QString();
    QTest::newRow("C, hexadecimal")
        << u"On,0x1A2,440,100,146"_s << C << false << QString() << QString();
    QTest::newRow("C, comma in caption")
        << u"On,Off,418,440,100,146"_s << C << false << QString() << QString();
}

void TestViewLayout::parse()
{
    QFETCH(QString, text);
    QFETCH(int, form);
    QFETCH(bool, valid);
    QFETCH(QString, caption);
    QFETCH(QString, edges);

    const std::optional<LayoutEntry> entry = ParseLayoutEntry(text, LayoutForm(form));
    QCOMPARE(entry.has_value(), valid);
    if (valid) {
        QCOMPARE(entry->caption, caption);
        QCOMPARE(Edges(entry->rect), edges);
    }
}

void TestViewLayout::everyEntryParses_data()
{
    QTest::addColumn<int>("language");
    QTest::newRow("English") << int(StringLanguage::English);
    QTest::newRow("Japanese") << int(StringLanguage::Japanese);
}

// Every control has a rectangle inside the design size, and the labels' captions are the texts
// the list's columns use.
void TestViewLayout::everyEntryParses()
{
    QFETCH(int, language);
    const auto lang = StringLanguage(language);
    const ViewLayout layout = LoadViewLayout(lang);
    QVERIFY2(layout.problems.isEmpty(), qPrintable(layout.problems.join(u'\n')));
    QCOMPARE(layout.entries.size(), ViewLayoutSlots().size());
    const QRect design(QPoint(0, 0), VIEW_DESIGN_SIZE);
    for (auto it = layout.entries.cbegin(); it != layout.entries.cend(); ++it)
        QVERIFY2(design.contains(it.value().rect), qPrintable(QString::number(it.key())));
    QCOMPARE(layout.Caption(IDC_POWER_LABEL), LoadStringFor(135, lang));
    QCOMPARE(layout.Caption(IDC_INPUT_LABEL), LoadStringFor(136, lang));
    QCOMPARE(layout.Caption(IDC_MUTE_LABEL), LoadStringFor(137, lang));
}

void TestViewLayout::geometry_data()
{
    QTest::addColumn<QSize>("client");
    QTest::addColumn<bool>("information");
    QTest::addColumn<bool>("resized");
    QTest::addColumn<int>("control");
    QTest::addColumn<QString>("edges"); // "top bottom left right"

    const QSize design = VIEW_DESIGN_SIZE;
    const QSize grown = design + QSize(100, 50);
    // At the design size every control stands at its entry, the strip and the tree following
    // the list's column header (27 pixels high from the list's top).
    const struct
    {
        int control;
        const char *edges;
    } atDesign[] = {
        {IDC_GROUPS_HEADER, "166 192 20 200"},   {IDC_GROUP_TREE, "192 410 20 200"},
        {IDC_PROJECTOR_LIST, "165 410 200 750"}, {IDC_EVENT_LIST, "62 120 20 752"},
        {IDC_REFRESH, "489 515 600 670"},        {IDC_CLOSE, "489 515 678 748"},
        {IDC_DETAIL, "448 472 616 732"},         {IDC_POWER_ON, "418 440 100 146"},
        {IDC_MUTE_OFF, "449 471 468 514"},       {IDC_DELETE, "449 471 450 562"},
        {IDC_INPUT_COMBO, "419 442 292 408"},    {IDC_TAB_REMOTE, "483 513 8 108"},
        {IDC_WAIT_TEXT, "494 510 350 585"},      {IDC_STATUS_CAPTION, "146 167 26 202"},
    };
    for (const auto &row : atDesign)
        QTest::addRow("design %d", row.control)
            << design << true << false << row.control << QString::fromLatin1(row.edges);

    const struct
    {
        int control;
        const char *edges;
    } afterGrowing[] = {
        {IDC_REFRESH, "539 565 700 770"},      {IDC_CLOSE, "539 565 778 848"},
        {IDC_DETAIL, "498 522 716 832"},       {IDC_GROUP_TREE, "192 460 20 200"},
        {IDC_GROUPS_HEADER, "166 192 20 200"}, {IDC_PROJECTOR_LIST, "165 460 200 850"},
        {IDC_POWER_ON, "468 490 100 146"},     {IDC_POWER_OFF, "468 490 154 200"},
        {IDC_SET_INPUT, "468 490 414 460"},    {IDC_MUTE_ON, "499 521 414 460"},
        {IDC_MUTE_OFF, "499 521 468 514"},     {IDC_POWER_LABEL, "474 494 59 95"},
        {IDC_INPUT_LABEL, "474 494 236 287"},  {IDC_MUTE_LABEL, "505 525 236 287"},
        {IDC_REGISTER, "468 490 70 182"},      {IDC_DELETE, "499 521 450 562"},
        {IDC_INPUT_COMBO, "469 492 292 408"},  {IDC_MUTE_COMBO, "500 523 292 408"},
        {IDC_WAIT_TEXT, "544 560 350 585"},    {IDC_HOURGLASS, "541 558 322 339"},
        {IDC_TAB_REMOTE, "533 563 8 108"},     {IDC_TAB_EDIT, "533 561 151 241"},
        {IDC_EVENT_LIST, "61 120 19 852"},     {IDC_INFORMATION_CAPTION, "43 62 26 202"},
    };
    for (const auto &row : afterGrowing)
        QTest::addRow("grown %d", row.control)
            << grown << true << true << row.control << QString::fromLatin1(row.edges);

    // Without the information field the list moves up to where the event list was.
    QTest::newRow("hidden list") << design << false << false << int(IDC_PROJECTOR_LIST)
                                 << u"62 410 200 750"_s;
    QTest::newRow("hidden strip") << design << false << false << int(IDC_GROUPS_HEADER)
                                  << u"63 89 20 200"_s;
    QTest::newRow("hidden tree") << design << false << false << int(IDC_GROUP_TREE)
                                 << u"89 410 20 200"_s;
    QTest::newRow("hidden, grown list")
        << grown << false << true << int(IDC_PROJECTOR_LIST) << u"62 460 200 850"_s;
    QTest::newRow("hidden, grown tree")
        << grown << false << true << int(IDC_GROUP_TREE) << u"89 460 20 200"_s;

    // Smaller than the design size cannot happen on screen; it places as the design size.
    QTest::newRow("too small") << QSize(600, 400) << true << true << int(IDC_REFRESH)
                               << u"489 515 600 670"_s;
}

void TestViewLayout::geometry()
{
    QFETCH(QSize, client);
    QFETCH(bool, information);
    QFETCH(bool, resized);
    QFETCH(int, control);
    QFETCH(QString, edges);

    ViewGeometryInput input;
    input.client = client;
    input.showInformation = information;
    input.listHeaderBottom = 27;
    input.resized = resized;
    const QHash<int, QRect> rects =
        ComputeViewGeometry(LoadViewLayout(StringLanguage::English), input);
    QVERIFY(rects.contains(control));
    QCOMPARE(Edges(rects.value(control)), edges);
}

QTEST_APPLESS_MAIN(TestViewLayout)
#include "tst_viewlayout.moc"
