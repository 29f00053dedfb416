#include "app/cbackgroundbmp.h"
#include "app/cbitmapbutton.h"
#include "app/cedbackgroundbmp.h"
#include "app/cedwidebackgroundbmp.h"
#include "app/cimagetextbutton.h"
#include "app/crcbackgroundbmp.h"
#include "app/crcwidebackgroundbmp.h"
#include "res/skinbitmap.h"
#include "res/stringtable.h"

#include <QAccessible>
#include <QApplication>
#include <QDirIterator>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QImage Rgb(const QImage &image)
{
    return image.convertToFormat(QImage::Format_RGB32);
}

QImage Piece(int id)
{
    return Rgb(LoadSkinImage(id));
}

// Checks that the composed rows [y, y + height) of image are the row algorithm's result for the
// pieces: the left piece at 0, full middle copies, the cut middle copy, the right piece at the
// right edge.
void VerifyRow(const QImage &image, int y, int height, int left, int middle, int right)
{
    const QImage l = Piece(left), m = Piece(middle), r = Piece(right);
    QCOMPARE(l.height(), height);
    const int width = image.width();
    QCOMPARE(image.copy(0, y, l.width(), height), l);
    int x = l.width();
    for (; x + m.width() <= width - r.width(); x += m.width())
        QCOMPARE(image.copy(x, y, m.width(), height), m);
    const int rest = width - r.width() - x;
    if (rest > 0)
        QCOMPARE(image.copy(x, y, rest, height), m.copy(0, 0, rest, height));
    QCOMPARE(image.copy(width - r.width(), y, r.width(), height), r);
}

// Whether some pixel of image is close to colour.
bool HasColour(const QImage &image, const QColor &colour)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (qAbs(c.red() - colour.red()) < 40 && qAbs(c.green() - colour.green()) < 40 &&
                qAbs(c.blue() - colour.blue()) < 40)
                return true;
        }
    }
    return false;
}

QImage Grab(QWidget &widget)
{
    return Rgb(widget.grab().toImage());
}

} // namespace

class TestSkin : public QObject
{
    Q_OBJECT

private slots:
    void init() { SetStringLanguage(StringLanguage::English); }
    void cleanupTestCase() { SetStringLanguage(StringLanguage::Auto); }

    void picture_existsAtItsSize_data();
    void picture_existsAtItsSize();
    void captionedPictures_differByLanguage();
    void applicationIcon_hasEverySize();
    void generator_drawsTheCommittedSetWithFittingCaptions();

    void composer_rowsAtDesignSize_data();
    void composer_rowsAtDesignSize();
    void composer_wideWindow_cutsMiddleAndBody();
    void composer_growth();
    void composer_drawCopiesComposedPicture();
    void composer_missingPiece_staysUnprepared();

    void imageTextButton_takesPictureSizeAtFirstPaint();
    void imageTextButton_pictureAndColourPerState_data();
    void imageTextButton_pictureAndColourPerState();
    void imageTextButton_focusRectangleInside();

    void bitmapButton_picturePerState();
    void bitmapButton_captionAndLanguage();
};

void TestSkin::picture_existsAtItsSize_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("captioned");

    auto add = [](int id, QSize size, bool captioned = false) {
        QTest::addRow("%d", id) << id << size << captioned;
    };
    // Background pieces: left 400 (1162: 300), middle 300, right 100, at their rows' heights.
    const struct
    {
        int left, middle, right, height;
    } rows[] = {{1121, 1120, 1122, 28}, {193, 313, 315, 106},    {1124, 1123, 1125, 40},
                {1162, 1161, 1160, 40}, {1130, 1129, 1131, 400}, {1127, 1126, 1128, 80},
                {1133, 1132, 1134, 37}, {1163, 1164, 1165, 40},  {1139, 1138, 1140, 400},
                {1136, 1135, 1137, 80}};
    for (const auto &row : rows) {
        add(row.left, {row.left == 1162 ? 300 : 400, row.height});
        add(row.middle, {300, row.height});
        add(row.right, {100, row.height});
    }
    add(131, {772, 525});
    add(133, {141, 35});
    add(135, {141, 35});
    add(134, {127, 35});
    add(136, {127, 35});
    add(139, {17, 21});
    add(156, {180, 260});
    add(235, {32, 32});
    for (int id = 245; id <= 253; ++id)
        add(id, {46, 22}, true);
    for (int id : {254, 255, 256, 275, 276, 277})
        add(id, {116, 24}, true);
    for (int id = 257; id <= 274; ++id)
        add(id, {112, 22}, true);
    for (int id = 198; id <= 234; ++id) {
        if (id <= 209 || id >= 212)
            add(id, {16, 16});
    }
    for (int id : {236, 237, 325, 326})
        add(id, {16, 16});
}

void TestSkin::picture_existsAtItsSize()
{
    QFETCH(int, id);
    QFETCH(QSize, size);
    QFETCH(bool, captioned);
    for (StringLanguage language : {StringLanguage::English, StringLanguage::Japanese}) {
        SetStringLanguage(language);
        const QString path = SkinPicturePath(id);
        QVERIFY2(!path.isEmpty(), qPrintable(u"no picture %1"_s.arg(id)));
        if (captioned)
            QVERIFY2(path.contains(language == StringLanguage::Japanese ? u"/ja/"_s : u"/en/"_s),
                     qPrintable(path));
        QCOMPARE(LoadSkinImage(id).size(), size);
    }
}

void TestSkin::captionedPictures_differByLanguage()
{
    for (int id = 245; id <= 277; ++id) {
        SetStringLanguage(StringLanguage::English);
        const QImage english = LoadSkinImage(id);
        SetStringLanguage(StringLanguage::Japanese);
        const QImage japanese = LoadSkinImage(id);
        QVERIFY2(!english.isNull() && english != japanese, qPrintable(QString::number(id)));
    }
}

void TestSkin::applicationIcon_hasEverySize()
{
    const QIcon icon = ApplicationIcon();
    const QList<QSize> sizes = icon.availableSizes();
    for (int size : {16, 32, 48, 256})
        QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
    QVERIFY(LoadSkinIcon(9999).isNull());
    QVERIFY(LoadSkinBitmap(9999).isNull());
}

void TestSkin::generator_drawsTheCommittedSetWithFittingCaptions()
{
    // The generator stops when a caption of the string tables does not fit its picture; after a
    // translation changes, it must still draw every picture the program embeds, at its size.
    const QString source = qEnvironmentVariable("LUMARIN_SOURCE_DIR");
    if (source.isEmpty())
        QSKIP("LUMARIN_SOURCE_DIR is not set (run through ctest)");
    QTemporaryDir out;
    QVERIFY(out.isValid());
    QProcess generator;
    generator.start(QStringLiteral(LUMARIN_SKINGEN), {out.path() + u"/skin"_s});
    QVERIFY(generator.waitForFinished(60000));
    QVERIFY2(generator.exitStatus() == QProcess::NormalExit && generator.exitCode() == 0,
             generator.readAllStandardError().constData());

    auto pictures = [](const QString &root) {
        QMap<QString, QSize> found;
        QDirIterator it(root, {u"*.png"_s}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            found.insert(QDir(root).relativeFilePath(path), QImage(path).size());
        }
        return found;
    };
    const QMap<QString, QSize> drawn = pictures(out.path() + u"/skin"_s);
    const QMap<QString, QSize> committed = pictures(source + u"/res/skin"_s);
    QVERIFY(drawn.size() > 100);
    QCOMPARE(drawn.keys(), committed.keys());
    QCOMPARE(drawn, committed);
}

void TestSkin::composer_rowsAtDesignSize_data()
{
    QTest::addColumn<int>("look");
    // At 777 x 530: each look's rows at their places, the body cut to what is left.
    QTest::newRow("Edit") << 0;
    QTest::newRow("Edit, information field") << 1;
    QTest::newRow("Remote Control") << 2;
    QTest::newRow("Remote Control, information field") << 3;
}

std::unique_ptr<CBackgroundBmp> MakeComposer(int look)
{
    switch (look) {
    case 0:
        return std::make_unique<CEDBackgroundBmp>();
    case 1:
        return std::make_unique<CEDWideBackgroundBmp>();
    case 2:
        return std::make_unique<CRCBackgroundBmp>();
    default:
        return std::make_unique<CRCWideBackgroundBmp>();
    }
}

void TestSkin::composer_rowsAtDesignSize()
{
    QFETCH(int, look);
    const std::unique_ptr<CBackgroundBmp> composer = MakeComposer(look);
    QWidget window;
    QVERIFY(composer->Prepare(&window));
    composer->Resize(777, 530);
    const QImage image = Rgb(composer->GetImage());
    QCOMPARE(image.size(), QSize(777, 530));
    // For people to look at: the composed look, in the test's working folder (the build tree).
    image.save(u"skin-look-%1.png"_s.arg(look));

    struct Expected
    {
        int y, height, left, middle, right;
    };
    QList<Expected> expected;
    switch (look) {
    case 0: // banner 28, panel 40, one body row cut to 382, bottom 80
        expected = {{0, 28, 1121, 1120, 1122},
                    {28, 40, 1124, 1123, 1125},
                    {68, 382, 1130, 1129, 1131},
                    {450, 80, 1127, 1126, 1128}};
        break;
    case 1:
        expected = {{0, 28, 1121, 1120, 1122},
                    {28, 106, 193, 313, 315},
                    {134, 40, 1162, 1161, 1160},
                    {174, 276, 1130, 1129, 1131},
                    {450, 80, 1127, 1126, 1128}};
        break;
    case 2:
        expected = {{0, 28, 1121, 1120, 1122},
                    {28, 37, 1133, 1132, 1134},
                    {65, 385, 1139, 1138, 1140},
                    {450, 80, 1136, 1135, 1137}};
        break;
    default:
        expected = {{0, 28, 1121, 1120, 1122},
                    {28, 106, 193, 313, 315},
                    {134, 40, 1163, 1164, 1165},
                    {174, 276, 1139, 1138, 1140},
                    {450, 80, 1136, 1135, 1137}};
        break;
    }
    for (const Expected &row : expected) {
        if (row.y + row.height == 450) {
            // The body: one copy, cut at the bottom to what is left above the bottom row.
            QImage body(777, 400, QImage::Format_RGB32);
            QPainter painter(&body);
            CBackgroundBmp::DrawRow(painter, 0, 777, Piece(row.left), Piece(row.middle),
                                    Piece(row.right));
            painter.end();
            QCOMPARE(image.copy(0, row.y, 777, row.height), body.copy(0, 0, 777, row.height));
        } else {
            VerifyRow(image, row.y, row.height, row.left, row.middle, row.right);
        }
        if (QTest::currentTestFailed())
            QFAIL(qPrintable(u"row at %1"_s.arg(row.y)));
    }
    // At the design width the middle piece appears once, cut to 277 pixels.
    QCOMPARE(image.copy(400, 0, 277, 28), Piece(1120).copy(0, 0, 277, 28));
}

void TestSkin::composer_wideWindow_cutsMiddleAndBody()
{
    CEDBackgroundBmp composer;
    QWidget window;
    QVERIFY(composer.Prepare(&window));
    composer.Resize(1000, 1000);
    const QImage image = Rgb(composer.GetImage());
    // Middle pieces: once in full (300), once cut to 200.
    const QImage middle = Piece(1126);
    QCOMPARE(image.copy(400, 920, 300, 80), middle);
    QCOMPARE(image.copy(700, 920, 200, 80), middle.copy(0, 0, 200, 80));
    QCOMPARE(image.copy(900, 920, 100, 80), Piece(1128));
    // Body 852 high: two full copies at 68 and 468, the third cut to 52 at 868.
    QImage band(1000, 400, QImage::Format_RGB32);
    {
        QPainter painter(&band);
        CBackgroundBmp::DrawRow(painter, 0, 1000, Piece(1130), Piece(1129), Piece(1131));
    }
    QCOMPARE(image.copy(0, 68, 1000, 400), band);
    QCOMPARE(image.copy(0, 468, 1000, 400), band);
    QCOMPARE(image.copy(0, 868, 1000, 52), band.copy(0, 0, 1000, 52));
    VerifyRow(image, 0, 28, 1121, 1120, 1122);
    VerifyRow(image, 920, 80, 1127, 1126, 1128);

    // Narrower than the two end pieces: no middle piece, the right piece at the right edge.
    composer.Resize(450, 530);
    const QImage narrow = Rgb(composer.GetImage());
    QCOMPARE(narrow.size(), QSize(450, 530));
    QCOMPARE(narrow.copy(350, 0, 100, 28), Piece(1122));
}

void TestSkin::composer_growth()
{
    CEDBackgroundBmp composer;
    composer.Resize(777, 530); // before Prepare: nothing happens
    QVERIFY(!composer.IsPrepared());
    QVERIFY(composer.GetImage().isNull());

    QWidget window;
    QVERIFY(composer.Prepare(&window));
    QCOMPARE(composer.GetImage().size(), QSize(777, 530));
    QCOMPARE(composer.GetImage().pixelColor(400, 300), QColor(Qt::black)); // nothing composed

    const struct
    {
        int width, height;
        QSize growth;
    } steps[] = {
        {777, 530, {0, 0}},    // the first composition has nothing to grow from
        {877, 580, {100, 50}}, // the main view's "100 x 50 larger"
        {877, 580, {0, 0}},
        {900, 560, {23, -20}},
        {0, 0, {23, -20}}, // a minimised window: no composition, growths kept
        {777, 530, {-123, -30}},
        {777, 100, {0, -430}}, // lower than the fixed rows: the body height goes negative
        {777, 530, {0, 430}},  // and comes back to where it was
    };
    for (const auto &step : steps) {
        composer.Resize(step.width, step.height);
        QCOMPARE(composer.GetGrowth(), step.growth);
    }
    QCOMPARE(composer.GetMiddleWidth(), 277);
    QCOMPARE(composer.GetTiledHeight(), 382);
}

void TestSkin::composer_drawCopiesComposedPicture()
{
    CRCBackgroundBmp composer;
    QImage target(300, 200, QImage::Format_RGB32);
    target.fill(Qt::white);
    {
        QPainter painter(&target);
        composer.Draw(painter, 0, 0, 300, 200); // not prepared: paints nothing
    }
    QCOMPARE(target.pixelColor(10, 10), QColor(Qt::white));

    QWidget window;
    QVERIFY(composer.Prepare(&window));
    composer.Resize(777, 530);
    {
        QPainter painter(&target);
        composer.Draw(painter, 10, 20, 250, 150);
    }
    QCOMPARE(target.copy(10, 20, 250, 150), Rgb(composer.GetImage()).copy(0, 0, 250, 150));
    QCOMPARE(target.pixelColor(5, 5), QColor(Qt::white));
}

void TestSkin::composer_missingPiece_staysUnprepared()
{
    // A composer whose rows name a picture the skin lacks.
    class Broken : public CBackgroundBmp
    {
    public:
        Broken() : CBackgroundBmp({{1121, 1120, 1122, 28}, {1130, 9999, 1131, 400, true}}) {}
    };
    Broken composer;
    QWidget window;
    QVERIFY(!composer.Prepare(&window));
    QVERIFY(!composer.IsPrepared());
    composer.Resize(777, 530);
    QImage target(50, 50, QImage::Format_RGB32);
    target.fill(Qt::white);
    QPainter painter(&target);
    composer.Draw(painter, 0, 0, 50, 50);
    QCOMPARE(target.pixelColor(1, 1), QColor(Qt::white));
}

void TestSkin::imageTextButton_takesPictureSizeAtFirstPaint()
{
    QWidget window;
    window.resize(777, 530);
    CImageTextButton button(&window);
    button.setGeometry(8, 483, 100, 30);
    button.SetText(u"Remote Control"_s);
    button.SetTextColors(Qt::black, Qt::black);
    button.SetFont(u"DejaVu Sans"_s, -12);
    button.SetBitmaps(135, 135, 0);
    QCOMPARE(button.geometry(), QRect(8, 483, 100, 30)); // nothing moves before painting
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_COMPARE(button.geometry(), QRect(8, 483, 141, 35));
    QCOMPARE(button.accessibleName(), u"Remote Control"_s);
    QCOMPARE(button.text(), u"Remote Control"_s);
    QCOMPARE(button.CaptionFont().pixelSize(), 12);
    QCOMPARE(button.CaptionFont().weight(), QFont::Normal);
}

void TestSkin::imageTextButton_pictureAndColourPerState_data()
{
    QTest::addColumn<QList<int>>("pictures"); // normal, pressed, disabled (0 = none)
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("pressed");
    QTest::addColumn<int>("shown"); // picture id expected
    QTest::addColumn<bool>("disabledColour");

    QTest::newRow("normal") << QList<int>{254, 255, 256} << true << false << 254 << false;
    QTest::newRow("pressed") << QList<int>{254, 255, 256} << true << true << 255 << false;
    QTest::newRow("pressed, one picture") << QList<int>{254, 0, 0} << true << true << 254 << false;
    QTest::newRow("disabled") << QList<int>{254, 255, 256} << false << false << 256 << true;
    QTest::newRow("disabled, two pictures")
        << QList<int>{254, 255, 0} << false << false << 254 << true;
    QTest::newRow("pressed picture of another size")
        << QList<int>{254, 245, 256} << true << true << 256 << false;
}

void TestSkin::imageTextButton_pictureAndColourPerState()
{
    QFETCH(QList<int>, pictures);
    QFETCH(bool, enabled);
    QFETCH(bool, pressed);
    QFETCH(int, shown);
    QFETCH(bool, disabledColour);

    CImageTextButton button;
    button.SetBitmaps(pictures[0], pictures[1], pictures[2]);
    button.SetText(u"Status"_s);
    const QColor normal(255, 0, 0), disabled(0, 255, 0);
    button.SetTextColors(normal, disabled);
    button.setEnabled(enabled);
    button.setDown(pressed);
    const QImage image = Grab(button);
    QCOMPARE(image.size(), QSize(116, 24));
    // Away from the centred caption the picture shows unchanged.
    const QImage expected = Piece(shown);
    QCOMPARE(image.copy(0, 0, 20, 24), expected.copy(0, 0, 20, 24));
    QCOMPARE(image.copy(96, 0, 20, 24), expected.copy(96, 0, 20, 24));
    QCOMPARE(HasColour(image, disabledColour ? disabled : normal), true);
    QCOMPARE(HasColour(image, disabledColour ? normal : disabled), false);
}

void TestSkin::imageTextButton_focusRectangleInside()
{
    QWidget window;
    CImageTextButton button(&window);
    button.SetBitmaps(135, 135, 0);
    button.SetTextColors(Qt::black, Qt::black);
    CImageTextButton other(&window); // holds the focus first
    other.move(200, 0);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    other.setFocus();
    QTRY_VERIFY(other.hasFocus());
    const QImage plain = Grab(button);
    button.setFocus();
    QTRY_VERIFY(button.hasFocus());
    const QImage focused = Grab(button);
    // The focus rectangle stays 8 pixels inside the button: the border band is untouched.
    QCOMPARE(focused.copy(0, 0, 141, 8), plain.copy(0, 0, 141, 8));
    QCOMPARE(focused.copy(0, 0, 8, 35), plain.copy(0, 0, 8, 35));
    QCOMPARE(focused.copy(0, 27, 141, 8), plain.copy(0, 27, 141, 8));
    QVERIFY(focused.copy(8, 8, 125, 19) != plain.copy(8, 8, 125, 19));
}

void TestSkin::bitmapButton_picturePerState()
{
    QWidget window;
    CBitmapButton button(&window);
    QVERIFY(button.LoadBitmaps(257, 258, 259));
    button.setGeometry(QRect(QPoint(70, 418), button.sizeHint()));
    QCOMPARE(button.size(), QSize(112, 22));
    CBitmapButton other(&window); // takes the focus away
    other.setGeometry(0, 0, 10, 10);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));

    other.setFocus();
    QTRY_VERIFY(other.hasFocus());
    QCOMPARE(Grab(button), Piece(257));
    button.setDown(true);
    QCOMPARE(Grab(button), Piece(258));
    button.setDown(false);
    button.setFocus();
    QTRY_VERIFY(button.hasFocus());
    QCOMPARE(Grab(button), Piece(259));
    button.setDown(true); // pressed wins over focused
    QCOMPARE(Grab(button), Piece(258));
    button.setDown(false);
    button.setEnabled(false); // disabled: the normal picture, faded, so it does not look pressable
    const QImage disabled = Grab(button);
    QVERIFY(disabled != Piece(257));
    QCOMPARE(disabled.size(), Piece(257).size());

    // A missing pressed or focused picture falls back to the normal one.
    button.setEnabled(true);
    QVERIFY(button.LoadBitmaps(257, 0, 0));
    button.setDown(true);
    QCOMPARE(Grab(button), Piece(257));
    QVERIFY(!button.LoadBitmaps(9999, 258, 259));
}

void TestSkin::bitmapButton_captionAndLanguage()
{
    CBitmapButton button;
    button.setText(u"Detail Information"_s);
    QVERIFY(button.LoadBitmaps(254, 255, 256));
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(&button);
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), u"Detail Information"_s);
    const QImage english = Grab(button);

    SetStringLanguage(StringLanguage::Japanese);
    QVERIFY(button.LoadBitmaps(254, 255, 256));
    const QImage japanese = Grab(button);
    QCOMPARE(japanese, Piece(254));
    QVERIFY(japanese != english);
}

QTEST_MAIN(TestSkin)
#include "tst_skin.moc"
