// lumarin-skingen: draws every picture of the skin (backgrounds, buttons, tabs, icons, splash)
// and writes them as PNG files, one set of captioned pictures per language. The build never
// runs it; `cmake --build --preset dev --target skin-images` rewrites res/skin from it.

#include "res/stringtable.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

QTextStream &Err()
{
    static QTextStream stream(stderr);
    return stream;
}

// ---- colours ------------------------------------------------------------------------------

struct Look
{
    QColor dark;   // button bottom, accent bar
    QColor mid;    // button top
    QColor outer;  // window area around the card
    QColor card;   // card interior behind the controls
    QColor line;   // card border
    QColor tabBar; // bar under the active tab
};

const Look BLUE{QColor(0x1d, 0x56, 0xb0), QColor(0x3d, 0x7f, 0xe0), QColor(0xb9, 0xcf, 0xef),
                QColor(0xee, 0xf4, 0xfc), QColor(0x9d, 0xb9, 0xe0), QColor(0x2f, 0x6f, 0xd0)};
const Look TEAL{QColor(0x0b, 0x6e, 0x6c), QColor(0x1c, 0xa3, 0x9d), QColor(0xb2, 0xdc, 0xd8),
                QColor(0xec, 0xf7, 0xf6), QColor(0x8c, 0xc8, 0xc3), QColor(0x12, 0x8c, 0x87)};
const QColor NEUTRAL_OUTER(0xdc, 0xe2, 0xe8);
const QColor NEUTRAL_CARD(0xf8, 0xfa, 0xfc);
const QColor NEUTRAL_LINE(0xb9, 0xc3, 0xce);
const QColor NEUTRAL_ACCENT(0x6f, 0x7f, 0x90);
const QColor INK(0x2b, 0x34, 0x3e);

// The card (the light area behind lists and buttons) runs from x = 4 to 8 pixels before the
// right edge, so every control of the design size, the tab buttons included, stands on it.
constexpr int CARD_LEFT = 4;
constexpr int CARD_RIGHT_MARGIN = 8;
constexpr qreal CARD_RADIUS = 6;

// ---- output -------------------------------------------------------------------------------

struct Written
{
    QString name;
    QImage image;
};

class Output
{
public:
    explicit Output(const QString &dir) : m_dir(dir) {}

    bool Prepare()
    {
        for (const QString &sub : {u""_s, u"en"_s, u"ja"_s}) {
            QDir dir(m_dir.filePath(sub));
            if (!dir.exists() && !m_dir.mkpath(sub.isEmpty() ? u"."_s : sub)) {
                Err() << "cannot create " << dir.path() << "\n";
                return false;
            }
            // Start from an empty set, so a picture dropped from the skin does not linger.
            for (const QString &old : dir.entryList({u"*.png"_s}, QDir::Files))
                dir.remove(old);
        }
        return true;
    }

    bool Save(const QString &name, const QImage &image)
    {
        const QString path = m_dir.filePath(name);
        if (!image.save(path, "PNG")) {
            Err() << "cannot write " << path << "\n";
            m_ok = false;
            return false;
        }
        m_written.push_back({name, image});
        return true;
    }

    // The application icon for the desktop, in the hicolor layout the install rules take it
    // from; only when a folder for it was given.
    void SetIconFolder(const QString &dir) { m_icons = dir; }
    bool SaveIcon(int size, const QImage &image)
    {
        if (m_icons.isEmpty())
            return true;
        const QString folder = m_icons + u"/hicolor/%1x%1/apps"_s.arg(size);
        if (!QDir().mkpath(folder)) {
            Err() << "cannot create " << folder << "\n";
            m_ok = false;
            return false;
        }
        const QString path = folder + u"/lumarin.png"_s;
        if (!image.save(path, "PNG")) {
            Err() << "cannot write " << path << "\n";
            m_ok = false;
            return false;
        }
        return true;
    }

    bool Ok() const { return m_ok; }
    const std::vector<Written> &All() const { return m_written; }

private:
    QDir m_dir;
    QString m_icons;
    std::vector<Written> m_written;
    bool m_ok = true;
};

QImage Transparent(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QImage Opaque(int width, int height, const QColor &fill = Qt::black)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

// ---- the mark -----------------------------------------------------------------------------

// Our own abstract mark: a rounded square in blue to teal with a light disc and a widening
// beam.
void DrawMark(QPainter &p, const QRectF &r)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = r.width();
    QLinearGradient fill(r.topLeft(), r.bottomRight());
    fill.setColorAt(0, QColor(0x2a, 0x6c, 0xe0));
    fill.setColorAt(1, QColor(0x12, 0xa0, 0x98));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(r, s * 0.22, s * 0.22);

    QPainterPath beam;
    const QPointF c(r.left() + s * 0.33, r.top() + s * 0.5);
    beam.moveTo(c + QPointF(0, -s * 0.09));
    beam.lineTo(r.left() + s * 0.86, r.top() + s * 0.24);
    beam.lineTo(r.left() + s * 0.86, r.top() + s * 0.76);
    beam.lineTo(c + QPointF(0, s * 0.09));
    beam.closeSubpath();
    QLinearGradient light(c, QPointF(r.left() + s * 0.86, c.y()));
    light.setColorAt(0, QColor(255, 255, 255, 220));
    light.setColorAt(1, QColor(255, 255, 255, 40));
    p.setBrush(light);
    p.drawPath(beam);

    p.setBrush(Qt::white);
    p.drawEllipse(c, s * 0.15, s * 0.15);
    p.setBrush(QColor(0x2a, 0x6c, 0xe0));
    p.drawEllipse(c, s * 0.06, s * 0.06);
    p.restore();
}

QFont WordFont(int pixels)
{
    QFont font(u"DejaVu Sans"_s);
    font.setPixelSize(pixels);
    font.setBold(true);
    return font;
}

// ---- background rows ----------------------------------------------------------------------

// Every row is drawn at the full width of its three pieces and then cut into them; features
// sit inside the left or right piece, and the middle piece is uniform across, so it tiles.

void CardSides(QPainter &p, int width, int top, int bottom, const QColor &card, const QColor &line)
{
    p.fillRect(QRect(CARD_LEFT, top, width - CARD_RIGHT_MARGIN - CARD_LEFT, bottom - top), card);
    p.fillRect(QRect(CARD_LEFT, top, 1, bottom - top), line);
    p.fillRect(QRect(width - CARD_RIGHT_MARGIN - 1, top, 1, bottom - top), line);
}

void BannerRow(QPainter &p, int width, int height)
{
    QLinearGradient g(0, 0, 0, height);
    g.setColorAt(0, QColor(0x24, 0x33, 0x44));
    g.setColorAt(1, QColor(0x17, 0x22, 0x2e));
    p.fillRect(0, 0, width, height, g);
    p.fillRect(0, height - 1, width, 1, QColor(0x0e, 0x15, 0x1c));
    p.fillRect(0, 0, width, 1, QColor(0x3a, 0x4b, 0x5e));

    // The logo in the right piece: the mark and the word.
    DrawMark(p, QRectF(width - 96, 5, 18, 18));
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(WordFont(13));
    p.setPen(Qt::white);
    p.drawText(QRect(width - 74, 0, 70, height), Qt::AlignVCenter | Qt::AlignLeft, u"Lumarin"_s);
}

// The top of a card: its rounded top corners and a thin accent bar.
void CardTop(QPainter &p, int width, int height, int top, const QColor &outer, const QColor &card,
             const QColor &line, const QColor &accent)
{
    p.fillRect(0, 0, width, height, outer);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF body(CARD_LEFT + 0.5, top + 0.5, width - CARD_RIGHT_MARGIN - CARD_LEFT - 1,
                      height - top + 2 * CARD_RADIUS);
    p.setClipRect(0, 0, width, height);
    p.setPen(QPen(line, 1));
    p.setBrush(card);
    p.drawRoundedRect(body, CARD_RADIUS, CARD_RADIUS);
    // Accent bar along the top edge, inside the rounded corners.
    QPainterPath clip;
    clip.addRoundedRect(body, CARD_RADIUS, CARD_RADIUS);
    p.setClipPath(clip);
    p.fillRect(QRectF(body.left(), body.top(), body.width(), 3), accent);
    p.setClipping(false);
    p.setRenderHint(QPainter::Antialiasing, false);
}

void PanelTopRow(QPainter &p, int width, int height, const Look &look)
{
    CardTop(p, width, height, 4, look.outer, look.card, look.line, look.dark);
}

void InformationRow(QPainter &p, int width, int height)
{
    p.fillRect(0, 0, width, height, NEUTRAL_OUTER);
    CardTop(p, width, height - 4, 4, NEUTRAL_OUTER, NEUTRAL_CARD, NEUTRAL_LINE, NEUTRAL_ACCENT);
    // Close the card at the bottom: it holds only the caption and the event list.
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(NEUTRAL_LINE, 1));
    p.setBrush(NEUTRAL_CARD);
    QPainterPath shape;
    shape.addRoundedRect(
        QRectF(CARD_LEFT + 0.5, 4.5, width - CARD_RIGHT_MARGIN - CARD_LEFT - 1, height - 4 - 6 - 1),
        CARD_RADIUS, CARD_RADIUS);
    p.fillRect(0, height - 24, width, 24, NEUTRAL_OUTER);
    p.setClipRect(0, height - 24, width, 24);
    p.drawPath(shape);
    p.setClipping(false);
    p.setRenderHint(QPainter::Antialiasing, false);
}

void BodyRow(QPainter &p, int width, int height, const Look &look)
{
    p.fillRect(0, 0, width, height, look.outer);
    CardSides(p, width, 0, height, look.card, look.line);
}

// Stripes for whatever is inactive: the notch of the other tab and the inactive tab itself.
void Stripes(QPainter &p, const QRectF &area, const QColor &base, const QColor &stripe)
{
    p.save();
    p.setClipRect(area);
    p.fillRect(area, base);
    p.setPen(QPen(stripe, 2));
    for (int x = int(area.left()) - int(area.height()); x < area.right(); x += 6)
        p.drawLine(QPointF(x, area.bottom() + 1), QPointF(x + area.height() + 1, area.top()));
    p.restore();
}

// The tab buttons stand at x 8..148 and 151..277, 33 to 67 pixels below the bottom row's top;
// the notches frame them with a one-pixel border.
const QRect RC_TAB(8, 33, 141, 35);
const QRect ED_TAB(151, 33, 127, 35);
constexpr int CARD_BOTTOM = 28; // in the bottom row
const QColor INACTIVE_LINE(0xa4, 0xaf, 0xbb);
const QColor INACTIVE_BASE(0xe9, 0xec, 0xef);
const QColor INACTIVE_STRIPE(0xd6, 0xdb, 0xe1);

void BottomRow(QPainter &p, int width, int height, const Look &look, bool remoteActive)
{
    p.fillRect(0, 0, width, height, look.outer);
    // The card's lower end: square on the left where the tabs hang, rounded on the right.
    const qreal left = CARD_LEFT + 0.5;
    const qreal right = width - CARD_RIGHT_MARGIN - 0.5;
    const qreal bottom = CARD_BOTTOM - 0.5;
    QPainterPath card;
    card.moveTo(left, -1);
    card.lineTo(left, bottom);
    card.lineTo(right - CARD_RADIUS, bottom);
    card.quadTo(right, bottom, right, bottom - CARD_RADIUS);
    card.lineTo(right, -1);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(look.line, 1));
    p.setBrush(look.card);
    p.drawPath(card);
    p.setRenderHint(QPainter::Antialiasing, false);

    // The inactive tab's notch: striped inside a grey frame.
    const QRect inactive = (remoteActive ? ED_TAB : RC_TAB).adjusted(-1, -1, 1, 1);
    Stripes(p, inactive, INACTIVE_BASE, INACTIVE_STRIPE);
    p.setPen(INACTIVE_LINE);
    p.setBrush(Qt::NoBrush);
    p.drawRect(inactive.adjusted(0, 0, -1, -1));

    // The active tab's notch opens into the card above it.
    const QRect tab = remoteActive ? RC_TAB : ED_TAB;
    const QRect open(tab.left(), CARD_BOTTOM - 1, tab.width(), tab.bottom() - CARD_BOTTOM + 2);
    p.fillRect(open, look.card);
    p.setPen(look.line);
    p.drawLine(tab.left() - 1, CARD_BOTTOM - 1, tab.left() - 1, tab.bottom() + 1);
    p.drawLine(tab.right() + 1, CARD_BOTTOM - 1, tab.right() + 1, tab.bottom() + 1);
    p.drawLine(tab.left() - 1, tab.bottom() + 1, tab.right() + 1, tab.bottom() + 1);
}

struct RowPieces
{
    int left, middle, right;
    int leftWidth = 400;
};

using RowPainter = std::function<void(QPainter &, int width, int height)>;

// Draws a row at the width of its three pieces and writes the pieces.
std::vector<QImage> WriteRow(Output &out, const RowPieces &ids, int height, const RowPainter &draw)
{
    constexpr int middleWidth = 300;
    constexpr int rightWidth = 100;
    const int width = ids.leftWidth + middleWidth + rightWidth;
    QImage row = Opaque(width, height);
    {
        QPainter p(&row);
        draw(p, width, height);
    }
    std::vector<QImage> pieces{row.copy(0, 0, ids.leftWidth, height),
                               row.copy(ids.leftWidth, 0, middleWidth, height),
                               row.copy(ids.leftWidth + middleWidth, 0, rightWidth, height)};
    out.Save(u"%1.png"_s.arg(ids.left), pieces[0]);
    out.Save(u"%1.png"_s.arg(ids.middle), pieces[1]);
    out.Save(u"%1.png"_s.arg(ids.right), pieces[2]);
    return pieces;
}

// The row algorithm of the background composer, for the full background picture 131.
void ComposeRow(QPainter &p, int y, int width, const std::vector<QImage> &pieces)
{
    p.drawImage(0, y, pieces[0]);
    const int area = width - pieces[0].width() - pieces[2].width();
    int x = pieces[0].width();
    for (int i = 0; area > 0 && i < area / pieces[1].width(); ++i, x += pieces[1].width())
        p.drawImage(x, y, pieces[1]);
    if (area > 0)
        p.drawImage(QPoint(x, y), pieces[1],
                    QRect(0, 0, area % pieces[1].width(), pieces[1].height()));
    p.drawImage(width - pieces[2].width(), y, pieces[2]);
}

void WriteBackgrounds(Output &out)
{
    const auto banner = WriteRow(out, {1121, 1120, 1122}, 28, BannerRow);
    WriteRow(out, {193, 313, 315}, 106, InformationRow);

    const auto edTop = WriteRow(out, {1124, 1123, 1125}, 40,
                                [](QPainter &p, int w, int h) { PanelTopRow(p, w, h, TEAL); });
    WriteRow(out, {1162, 1161, 1160, 300}, 40,
             [](QPainter &p, int w, int h) { PanelTopRow(p, w, h, TEAL); });
    const auto edBody = WriteRow(out, {1130, 1129, 1131}, 400,
                                 [](QPainter &p, int w, int h) { BodyRow(p, w, h, TEAL); });
    const auto edBottom = WriteRow(out, {1127, 1126, 1128}, 80, [](QPainter &p, int w, int h) {
        BottomRow(p, w, h, TEAL, false);
    });

    WriteRow(out, {1133, 1132, 1134}, 37,
             [](QPainter &p, int w, int h) { PanelTopRow(p, w, h, BLUE); });
    WriteRow(out, {1163, 1164, 1165}, 40,
             [](QPainter &p, int w, int h) { PanelTopRow(p, w, h, BLUE); });
    WriteRow(out, {1139, 1138, 1140}, 400,
             [](QPainter &p, int w, int h) { BodyRow(p, w, h, BLUE); });
    WriteRow(out, {1136, 1135, 1137}, 80,
             [](QPainter &p, int w, int h) { BottomRow(p, w, h, BLUE, true); });

    // 131: the whole "Edit" background at 772 x 525, as the composer builds it.
    constexpr int width = 772;
    constexpr int height = 525;
    QImage whole = Opaque(width, height);
    QPainter p(&whole);
    ComposeRow(p, 0, width, banner);
    ComposeRow(p, 28, width, edTop);
    for (int y = 68; y < height - 80; y += 400) {
        QImage band = Opaque(width, 400);
        QPainter bp(&band);
        ComposeRow(bp, 0, width, edBody);
        bp.end();
        p.drawImage(QPoint(0, y), band, QRect(0, 0, width, std::min(400, height - 80 - y)));
    }
    ComposeRow(p, height - 80, width, edBottom);
    p.end();
    out.Save(u"131.png"_s, whole);
}

// ---- tabs ---------------------------------------------------------------------------------

// A tab picture: flat, framed by the notch of the background; the button paints its caption over
// it in black. The active tab continues the card above it and carries its look's colour at the
// bottom; the inactive one is striped.
QImage Tab(int width, const Look &look, bool active)
{
    constexpr int height = 35;
    QImage image = Opaque(width, height);
    QPainter p(&image);
    if (active) {
        p.fillRect(image.rect(), look.card);
        p.fillRect(QRect(0, height - 4, width, 4), look.tabBar);
    } else {
        Stripes(p, image.rect(), INACTIVE_BASE, INACTIVE_STRIPE);
        p.fillRect(QRect(0, height - 3, width, 3), look.line);
    }
    return image;
}

// ---- buttons with captions ----------------------------------------------------------------

enum class ButtonState { Normal, Pressed, Focused };

QFont CaptionFont(StringLanguage language, int pixels)
{
    QFont font(language == StringLanguage::Japanese ? u"IPAGothic"_s : u"DejaVu Sans"_s);
    font.setPixelSize(pixels);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

bool Fits(const QFont &font, const QString &caption, QSize size)
{
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(caption) <= size.width() - 10 &&
           metrics.ascent() + metrics.descent() <= size.height() - 4;
}

QImage Button(QSize size, const Look &look, ButtonState state, const QString &caption,
              const QFont &font)
{
    QImage image = Opaque(size.width(), size.height(), look.card);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(image.rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient g(0, 0, 0, size.height());
    if (state == ButtonState::Pressed) {
        g.setColorAt(0, look.dark.darker(125));
        g.setColorAt(1, look.dark);
    } else {
        g.setColorAt(0, look.mid);
        g.setColorAt(1, look.dark);
    }
    p.setPen(QPen(look.dark.darker(140), 1));
    p.setBrush(g);
    p.drawRoundedRect(r, 4, 4);
    if (state != ButtonState::Pressed) {
        p.setPen(QPen(QColor(255, 255, 255, 70), 1));
        p.drawLine(QPointF(r.left() + 4, 1.5), QPointF(r.right() - 4, 1.5));
    }
    if (state == ButtonState::Focused) {
        p.setPen(QPen(QColor(255, 255, 255, 210), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(r.adjusted(2, 2, -2, -2), 2.5, 2.5);
    }
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(font);
    // Centre the ink of a capital (or of a full-height ideograph) rather than the line box,
    // whose descent would lift the caption; every caption of a language shares the baseline.
    const QFontMetricsF metrics(font);
    const bool ideographs = font.family() == u"IPAGothic"_s;
    const QRectF ink = metrics.tightBoundingRect(ideographs ? u"\u56FD"_s : u"H"_s);
    const qreal baseline = std::round(size.height() / 2.0 - (ink.top() + ink.bottom()) / 2.0);
    const qreal x = std::round((size.width() - metrics.horizontalAdvance(caption)) / 2.0);
    const int shift = state == ButtonState::Pressed ? 1 : 0;
    p.setPen(QColor(0, 0, 0, 70));
    p.drawText(QPointF(x + shift, baseline + shift + 1), caption);
    p.setPen(Qt::white);
    p.drawText(QPointF(x + shift, baseline + shift), caption);
    return image;
}

// The caption of a bitmap button: the first field of its layout entry.
QString CaptionOf(int layoutId, StringLanguage language)
{
    return LoadStringFor(layoutId, language).section(u',', 0, 0).trimmed();
}

struct ButtonSet
{
    int firstId;  // normal; +1 pressed, +2 focused
    int layoutId; // where the caption comes from
    QSize size;
    const Look *look;
    int group; // buttons of a group share one caption size
};

bool WriteButtons(Output &out)
{
    const std::vector<ButtonSet> sets{
        {245, 400, {46, 22}, &BLUE, 0},  {248, 401, {46, 22}, &BLUE, 0},
        {251, 402, {46, 22}, &BLUE, 0},  {254, 431, {116, 24}, &BLUE, 1},
        {275, 431, {116, 24}, &TEAL, 1}, {257, 500, {112, 22}, &TEAL, 1},
        {260, 501, {112, 22}, &TEAL, 1}, {263, 502, {112, 22}, &TEAL, 1},
        {266, 503, {112, 22}, &TEAL, 1}, {269, 504, {112, 22}, &TEAL, 1},
        {272, 505, {112, 22}, &TEAL, 1},
    };
    constexpr int largest = 12;
    constexpr int smallest = 8;
    bool ok = true;
    for (StringLanguage language : {StringLanguage::English, StringLanguage::Japanese}) {
        const QString folder = language == StringLanguage::Japanese ? u"ja"_s : u"en"_s;
        // The largest size at which every caption of a group fits its picture.
        int groupSize[2] = {largest, largest};
        for (const ButtonSet &set : sets) {
            const QString caption = CaptionOf(set.layoutId, language);
            if (caption.isEmpty()) {
                Err() << "no caption in entry " << set.layoutId << " (" << folder << ")\n";
                ok = false;
                continue;
            }
            int pixels = largest;
            while (pixels >= smallest && !Fits(CaptionFont(language, pixels), caption, set.size))
                --pixels;
            if (pixels < smallest) {
                Err() << "caption \"" << caption << "\" (" << folder << ", entry " << set.layoutId
                      << ") does not fit " << set.size.width() << "x" << set.size.height()
                      << " even at " << smallest << " pixels\n";
                ok = false;
                continue;
            }
            groupSize[set.group] = std::min(groupSize[set.group], pixels);
        }
        if (!ok)
            continue;
        for (const ButtonSet &set : sets) {
            const QString caption = CaptionOf(set.layoutId, language);
            const QFont font = CaptionFont(language, groupSize[set.group]);
            const ButtonState states[] = {ButtonState::Normal, ButtonState::Pressed,
                                          ButtonState::Focused};
            for (int i = 0; i < 3; ++i)
                out.Save(u"%1/%2.png"_s.arg(folder).arg(set.firstId + i),
                         Button(set.size, *set.look, states[i], caption, font));
        }
    }
    return ok;
}

// ---- icons --------------------------------------------------------------------------------

using Glyph = std::function<void(QPainter &)>;

const QColor METAL(0x4a, 0x55, 0x61);
const QColor METAL_DARK(0x2e, 0x36, 0x3f);
const QColor GLASS(0x9f, 0xd3, 0xff);
const QColor RED(0xd9, 0x3a, 0x3a);

void Projector(QPainter &p, bool ip)
{
    QLinearGradient g(0, 5, 0, 13);
    g.setColorAt(0, QColor(0x7c, 0x88, 0x95));
    g.setColorAt(1, METAL);
    p.setPen(QPen(METAL_DARK, 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 5.5, 15, 8), 1.5, 1.5);
    p.fillRect(QRectF(2, 13.5, 2.5, 1.5), METAL_DARK);
    p.fillRect(QRectF(11.5, 13.5, 2.5, 1.5), METAL_DARK);
    p.setPen(QPen(QColor(255, 255, 255, 130), 1));
    p.drawLine(QPointF(2.5, 8.5), QPointF(6, 8.5));
    p.drawLine(QPointF(2.5, 10.5), QPointF(6, 10.5));
    p.setPen(QPen(QColor(0x2b, 0x5c, 0x8a), 1));
    p.setBrush(GLASS);
    p.drawEllipse(QPointF(10.8, 9.5), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(10, 8.7), 0.9, 0.9);
    if (ip) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1e, 0x6f, 0xd9));
        p.drawRoundedRect(QRectF(0, 0, 10, 6), 1.5, 1.5);
        QFont font(u"DejaVu Sans"_s);
        font.setPixelSize(6);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Qt::white);
        p.drawText(QRectF(0, -0.5, 10, 7), Qt::AlignCenter, u"IP"_s);
    }
}

void Power(QPainter &p, bool on)
{
    const QColor colour = on ? QColor(0x1f, 0xa3, 0x4a) : QColor(0x7d, 0x87, 0x93);
    if (on) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x1f, 0xa3, 0x4a, 40));
        p.drawEllipse(QPointF(8, 8.5), 7.5, 7.5);
    }
    QPen pen(colour, 2, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(2.5, 3, 11, 11), 125 * 16, -250 * 16);
    p.drawLine(QPointF(8, 1.5), QPointF(8, 7.5));
}

void Rgb(QPainter &p)
{
    QPainterPath shell;
    shell.moveTo(1, 4.5);
    shell.lineTo(15, 4.5);
    shell.lineTo(13, 12.5);
    shell.lineTo(3, 12.5);
    shell.closeSubpath();
    p.setPen(QPen(METAL_DARK, 1));
    p.setBrush(QColor(0x35, 0x3f, 0x4a));
    p.drawPath(shell);
    p.setPen(Qt::NoPen);
    const QColor colours[] = {QColor(0xff, 0x55, 0x4f), QColor(0x46, 0xd1, 0x6a),
                              QColor(0x4f, 0x9b, 0xff)};
    for (int i = 0; i < 3; ++i) {
        p.setBrush(colours[i]);
        p.drawEllipse(QPointF(4.5 + 3.5 * i, 8.5), 1.5, 1.5);
    }
}

void Video(QPainter &p)
{
    p.setPen(QPen(QColor(0x9a, 0x7a, 0x12), 1));
    p.setBrush(QColor(0xf2, 0xc2, 0x30));
    p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
    p.setBrush(QColor(0x5a, 0x48, 0x10));
    p.drawEllipse(QPointF(8, 8), 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xee, 0xee, 0xee));
    p.drawEllipse(QPointF(8, 8), 1.1, 1.1);
}

void Digital(QPainter &p)
{
    QPainterPath shell;
    shell.moveTo(0.5, 5.5);
    shell.lineTo(15.5, 5.5);
    shell.lineTo(15.5, 9);
    shell.lineTo(12.5, 12);
    shell.lineTo(3.5, 12);
    shell.lineTo(0.5, 9);
    shell.closeSubpath();
    p.setPen(QPen(QColor(0x3d, 0x2a, 0x86), 1));
    p.setBrush(QColor(0x6a, 0x4f, 0xc9));
    p.drawPath(shell);
    p.fillRect(QRectF(3, 7.5, 10, 1.5), QColor(0xd8, 0xd0, 0xf5));
}

void Storage(QPainter &p)
{
    QPainterPath card;
    card.moveTo(6, 1.5);
    card.lineTo(13.5, 1.5);
    card.lineTo(13.5, 14.5);
    card.lineTo(2.5, 14.5);
    card.lineTo(2.5, 5);
    card.closeSubpath();
    p.setPen(QPen(QColor(0x21, 0x5e, 0x3b), 1));
    p.setBrush(QColor(0x3e, 0x9e, 0x66));
    p.drawPath(card);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i)
        p.fillRect(QRectF(6.5 + 2.2 * i, 2.5, 1.2, 3), QColor(0xf2, 0xd4, 0x6b));
    p.fillRect(QRectF(4.5, 8.5, 7, 4), QColor(255, 255, 255, 150));
}

void Network(QPainter &p)
{
    const QPointF a(8, 3.5), b(3.5, 12), c(12.5, 12);
    p.setPen(QPen(METAL, 1.4));
    p.drawLine(a, b);
    p.drawLine(a, c);
    p.drawLine(b, c);
    p.setPen(QPen(QColor(0x0f, 0x5c, 0x68), 1));
    p.setBrush(QColor(0x1e, 0x9f, 0xb2));
    for (const QPointF &n : {a, b, c})
        p.drawEllipse(n, 2.5, 2.5);
}

void Camera(QPainter &p)
{
    p.setPen(QPen(METAL_DARK, 1));
    p.setBrush(METAL);
    p.drawRoundedRect(QRectF(4.5, 2.5, 5, 3), 1, 1);
    p.drawRoundedRect(QRectF(0.5, 4.5, 15, 9.5), 2, 2);
    p.setPen(QPen(QColor(0x2b, 0x5c, 0x8a), 1));
    p.setBrush(GLASS);
    p.drawEllipse(QPointF(8, 9.25), 3.2, 3.2);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xb0, 0x30));
    p.drawEllipse(QPointF(13, 6.5), 0.9, 0.9);
}

void Screen(QPainter &p, const QRectF &r)
{
    p.setPen(QPen(METAL_DARK, 1));
    p.setBrush(QColor(0xdd, 0xe9, 0xf5));
    p.drawRect(r);
    p.fillRect(QRectF(r.center().x() - 0.75, r.bottom(), 1.5, 2), METAL_DARK);
    p.fillRect(QRectF(r.center().x() - 3, r.bottom() + 2, 6, 1), METAL_DARK);
}

void Speaker(QPainter &p, qreal x, qreal y, qreal s)
{
    QPainterPath path;
    path.moveTo(x, y + 3 * s);
    path.lineTo(x + 2.5 * s, y + 3 * s);
    path.lineTo(x + 5.5 * s, y);
    path.lineTo(x + 5.5 * s, y + 10 * s);
    path.lineTo(x + 2.5 * s, y + 7 * s);
    path.lineTo(x, y + 7 * s);
    path.closeSubpath();
    p.setPen(QPen(METAL_DARK, 1));
    p.setBrush(METAL);
    p.drawPath(path);
}

void Slash(QPainter &p, QPointF from, QPointF to)
{
    p.setPen(QPen(Qt::white, 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    p.setPen(QPen(RED, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
}

void VideoMute(QPainter &p)
{
    Screen(p, QRectF(1.5, 2.5, 13, 8.5));
    Slash(p, {2, 14}, {14, 1.5});
}

void AudioMute(QPainter &p)
{
    Speaker(p, 1.5, 3, 1);
    p.setPen(QPen(RED, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10, 5.5), QPointF(14.5, 10.5));
    p.drawLine(QPointF(14.5, 5.5), QPointF(10, 10.5));
}

void BothMute(QPainter &p)
{
    Screen(p, QRectF(0.5, 1.5, 9, 6.5));
    Speaker(p, 8.5, 7.5, 0.7);
    Slash(p, {1.5, 14.5}, {14.5, 1.5});
}

void Warning(QPainter &p)
{
    QPainterPath t;
    t.moveTo(8, 1);
    t.lineTo(15.3, 14.5);
    t.lineTo(0.7, 14.5);
    t.closeSubpath();
    QLinearGradient g(0, 1, 0, 15);
    g.setColorAt(0, QColor(0xff, 0xd8, 0x4d));
    g.setColorAt(1, QColor(0xf2, 0xa9, 0x00));
    p.setPen(QPen(QColor(0xa8, 0x74, 0x00), 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(g);
    p.drawPath(t);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3a, 0x2a, 0x00));
    p.drawRoundedRect(QRectF(7.1, 5, 1.8, 5.5), 0.8, 0.8);
    p.drawEllipse(QPointF(8, 12.4), 1, 1);
}

void Error(QPainter &p)
{
    QRadialGradient g(QPointF(6, 5), 10);
    g.setColorAt(0, QColor(0xf0, 0x5a, 0x52));
    g.setColorAt(1, QColor(0xc8, 0x28, 0x22));
    p.setPen(QPen(QColor(0x8e, 0x1a, 0x15), 1));
    p.setBrush(g);
    p.drawEllipse(QPointF(8, 8), 7, 7);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5.3, 5.3), QPointF(10.7, 10.7));
    p.drawLine(QPointF(10.7, 5.3), QPointF(5.3, 10.7));
}

const QColor FOLDER_LINE(0xae, 0x7b, 0x1c);

void FolderClosed(QPainter &p)
{
    p.setPen(QPen(FOLDER_LINE, 1));
    p.setBrush(QColor(0xe8, 0xb0, 0x3f));
    p.drawRoundedRect(QRectF(0.5, 2.5, 6, 3), 1, 1);
    QLinearGradient g(0, 4, 0, 14);
    g.setColorAt(0, QColor(0xfb, 0xd7, 0x6e));
    g.setColorAt(1, QColor(0xea, 0xae, 0x3c));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 4.5, 15, 9.5), 1.2, 1.2);
    p.setPen(QPen(QColor(255, 255, 255, 140), 1));
    p.drawLine(QPointF(1.5, 5.5), QPointF(14.5, 5.5));
}

void FolderOpen(QPainter &p)
{
    p.setPen(QPen(FOLDER_LINE, 1));
    p.setBrush(QColor(0xdc, 0xa0, 0x34));
    p.drawRoundedRect(QRectF(0.5, 2.5, 6, 3), 1, 1);
    p.drawRoundedRect(QRectF(0.5, 4, 13, 10), 1.2, 1.2);
    QPainterPath front;
    front.moveTo(3, 7.5);
    front.lineTo(15.7, 7.5);
    front.lineTo(13, 14);
    front.lineTo(0.5, 14);
    front.closeSubpath();
    QLinearGradient g(0, 7, 0, 14);
    g.setColorAt(0, QColor(0xff, 0xe0, 0x86));
    g.setColorAt(1, QColor(0xf1, 0xbb, 0x4c));
    p.setBrush(g);
    p.drawPath(front);
}

void Marked(QPainter &p, const Glyph &folder)
{
    folder(p);
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(RED);
    p.drawEllipse(QPointF(11.5, 10.5), 4, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(10.8, 7.8, 1.4, 3.4));
    p.drawEllipse(QPointF(11.5, 12.6), 0.8, 0.8);
}

void DisplayAll(QPainter &p)
{
    const QColor colours[] = {QColor(0x2a, 0x6c, 0xe0), QColor(0x12, 0xa0, 0x98),
                              QColor(0x12, 0xa0, 0x98), QColor(0x2a, 0x6c, 0xe0)};
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        p.setBrush(colours[i]);
        p.drawRoundedRect(QRectF(1 + (i % 2) * 7.5, 1 + (i / 2) * 7.5, 6.5, 6.5), 1.5, 1.5);
    }
}

void Padlock(QPainter &p, bool open)
{
    p.setPen(QPen(QColor(0x6b, 0x75, 0x80), 1.8));
    p.setBrush(Qt::NoBrush);
    if (open) {
        QPainterPath shackle;
        shackle.moveTo(11.5, 4);
        shackle.arcTo(QRectF(11.5 - 0, 0.8, 7, 7), 180, -180);
        p.save();
        p.translate(-7.5, 0);
        p.drawPath(shackle);
        p.restore();
        p.drawLine(QPointF(4, 4.3), QPointF(4, 7.5));
    } else {
        QPainterPath shackle;
        shackle.moveTo(4.5, 7.5);
        shackle.lineTo(4.5, 5);
        shackle.arcTo(QRectF(4.5, 1.5, 7, 7), 180, -180);
        shackle.lineTo(11.5, 7.5);
        p.drawPath(shackle);
    }
    QLinearGradient g(0, 7, 0, 15);
    g.setColorAt(0, QColor(0xf6, 0xc8, 0x4c));
    g.setColorAt(1, QColor(0xd9, 0x97, 0x1f));
    p.setPen(QPen(FOLDER_LINE, 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(2.5, 7.5, 11, 7.5), 1.5, 1.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x5a, 0x3c, 0x08));
    p.drawEllipse(QPointF(8, 10.4), 1.3, 1.3);
    p.drawRect(QRectF(7.4, 10.5, 1.2, 2.5));
}

QImage Icon(const Glyph &glyph, bool selected)
{
    QImage image = Transparent(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    if (selected) {
        // A selected row's icon stands on a light plate so that it reads on the highlight.
        p.setPen(QPen(QColor(0x7f, 0xa7, 0xd9), 1));
        p.setBrush(QColor(255, 255, 255, 235));
        p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
        p.save();
        p.translate(8, 8);
        p.scale(0.8, 0.8);
        p.translate(-8, -8);
        glyph(p);
        p.restore();
    } else {
        glyph(p);
    }
    return image;
}

void WriteIcons(Output &out)
{
    struct Entry
    {
        int plain;    // 0: none
        int selected; // 0: none
        Glyph glyph;
    };
    const std::vector<Entry> icons{
        {227, 226, [](QPainter &p) { Projector(p, false); }},
        {225, 224, [](QPainter &p) { Projector(p, true); }},
        {221, 220, [](QPainter &p) { Power(p, false); }},
        {223, 222, [](QPainter &p) { Power(p, true); }},
        {229, 228, Rgb},
        {233, 232, Video},
        {201, 200, Digital},
        {231, 230, Storage},
        {219, 218, Network},
        {199, 198, Camera},
        {217, 216, VideoMute},
        {213, 212, AudioMute},
        {215, 214, BothMute},
        {205, 204, Warning},
        {203, 202, Error},
        {207, 0, FolderClosed},
        {209, 0, FolderOpen},
        {234, 0, FolderOpen},
        {206, 208, DisplayAll},
        {325, 0, [](QPainter &p) { Marked(p, FolderClosed); }},
        {326, 0, [](QPainter &p) { Marked(p, FolderOpen); }},
        {236, 0, [](QPainter &p) { Padlock(p, true); }},
        {237, 0, [](QPainter &p) { Padlock(p, false); }},
    };
    for (const Entry &e : icons) {
        out.Save(u"%1.png"_s.arg(e.plain), Icon(e.glyph, false));
        if (e.selected != 0)
            out.Save(u"%1.png"_s.arg(e.selected), Icon(e.glyph, true));
    }
}

// ---- application icon, title icon, hourglass, splash --------------------------------------

void WriteMarks(Output &out)
{
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        QImage image = Transparent(size, size);
        QPainter p(&image);
        const qreal inset = size >= 32 ? size / 32.0 : 0;
        DrawMark(p, QRectF(inset, inset, size - 2 * inset, size - 2 * inset));
        p.end();
        out.Save(u"app-%1.png"_s.arg(size), image);
        out.SaveIcon(size, image);
        if (size == 32)
            out.Save(u"235.png"_s, image);
    }

    QImage glass = Transparent(17, 21);
    {
        QPainter p(&glass);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath bulb;
        bulb.moveTo(3, 2.5);
        bulb.lineTo(14, 2.5);
        bulb.cubicTo(14, 7, 9.5, 8.5, 9.5, 10.5);
        bulb.cubicTo(9.5, 12.5, 14, 14, 14, 18.5);
        bulb.lineTo(3, 18.5);
        bulb.cubicTo(3, 14, 7.5, 12.5, 7.5, 10.5);
        bulb.cubicTo(7.5, 8.5, 3, 7, 3, 2.5);
        p.setPen(QPen(QColor(0x5e, 0x7d, 0x99), 1));
        p.setBrush(QColor(0xe6, 0xf2, 0xfb, 220));
        p.drawPath(bulb);
        p.save();
        p.setClipPath(bulb);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0xe9, 0xa8, 0x2b));
        QPainterPath sand;
        sand.moveTo(3, 18.5);
        sand.lineTo(8.5, 13.5);
        sand.lineTo(14, 18.5);
        sand.closeSubpath();
        p.drawPath(sand);
        p.drawRect(QRectF(3, 5.5, 11, 2.5));
        p.drawRect(QRectF(8, 8, 1, 8));
        p.restore();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x5b, 0x46, 0x36));
        p.drawRoundedRect(QRectF(1, 0.5, 15, 2.5), 1, 1);
        p.drawRoundedRect(QRectF(1, 18, 15, 2.5), 1, 1);
    }
    out.Save(u"139.png"_s, glass);

    // 156: the picture beside the texts of the splash window and the About box: a brand panel
    // with the mark, in the colours of both looks.
    constexpr int width = 180;
    constexpr int height = 260;
    QImage splash = Opaque(width, height);
    {
        QPainter p(&splash);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(0, 0, width * 0.4, height);
        g.setColorAt(0, QColor(0x2a, 0x6c, 0xe0));
        g.setColorAt(1, QColor(0x12, 0xa0, 0x98));
        p.fillRect(splash.rect(), g);
        const QPointF centre(width / 2.0, height * 0.44);
        for (int i = 0; i < 4; ++i) {
            p.setPen(QPen(QColor(255, 255, 255, 70 - 15 * i), 1.2));
            p.setBrush(Qt::NoBrush);
            const qreal r = 56 + 22 * i;
            p.drawEllipse(centre, r, r);
        }
        // The mark on a white plate, so that its own blue and teal stay visible.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 235));
        p.drawRoundedRect(QRectF(centre.x() - 42, centre.y() - 42, 84, 84), 20, 20);
        DrawMark(p, QRectF(centre.x() - 34, centre.y() - 34, 68, 68));
        p.setFont(WordFont(18));
        p.setPen(Qt::white);
        p.drawText(QRectF(0, height - 58, width, 30), Qt::AlignCenter, u"Lumarin"_s);
    }
    out.Save(u"156.png"_s, splash);
}

// ---- contact sheet ------------------------------------------------------------------------

bool WriteSheet(const QString &path, const std::vector<Written> &all)
{
    constexpr int sheetWidth = 1600;
    constexpr int gap = 10;
    constexpr int label = 14;
    QFont font(u"DejaVu Sans"_s);
    font.setPixelSize(10);
    // Lay out in rows: wide pictures each on their own, small ones side by side.
    std::vector<std::pair<QPoint, const Written *>> places;
    int x = gap, y = gap, rowHeight = 0;
    for (const Written &w : all) {
        const QImage &img = w.image;
        const int cellWidth = std::max(img.width(), 60);
        if (x + cellWidth + gap > sheetWidth) {
            x = gap;
            y += rowHeight + label + gap;
            rowHeight = 0;
        }
        places.push_back({QPoint(x, y), &w});
        x += cellWidth + gap;
        rowHeight = std::max(rowHeight, img.height());
    }
    const int height = y + rowHeight + label + gap;
    QImage sheet(sheetWidth, height, QImage::Format_RGB32);
    sheet.fill(QColor(0x9a, 0xa4, 0xae));
    QPainter p(&sheet);
    p.setFont(font);
    for (const auto &[at, w] : places) {
        p.drawImage(at, w->image);
        p.setPen(Qt::black);
        p.drawText(QRect(at.x(), at.y() + w->image.height(), std::max(w->image.width(), 60), label),
                   Qt::AlignLeft | Qt::AlignVCenter, w->name.chopped(4));
    }
    p.end();
    return sheet.save(path, "PNG");
}

// ---- preview ------------------------------------------------------------------------------

// A rectangle from a layout entry of the string table: "top bottom left right", optionally after
// a one-word caption, or "caption,top,bottom,left,right".
QRect LayoutRect(int id, StringLanguage language)
{
    const QString text = LoadStringFor(id, language);
    QStringList fields =
        text.contains(u',') ? text.split(u',') : text.split(u' ', Qt::SkipEmptyParts);
    if (fields.size() < 4)
        return {};
    fields = fields.mid(fields.size() - 4);
    const int top = fields[0].toInt(), bottom = fields[1].toInt();
    const int left = fields[2].toInt(), right = fields[3].toInt();
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

QString FirstWord(int id, StringLanguage language)
{
    return LoadStringFor(id, language).section(u' ', 0, 0);
}

QImage Load(const QDir &dir, const QString &name)
{
    return QImage(dir.filePath(name));
}

// The main window's background, pictures and stand-ins for the system controls at their layout
// rectangles, at the design size: how the skin looks in place, for whoever draws it.
QImage Preview(const QDir &dir, StringLanguage language, bool edit, bool information)
{
    const QString folder = language == StringLanguage::Japanese ? u"ja"_s : u"en"_s;
    constexpr int width = 777;
    constexpr int height = 530;
    QImage image = Opaque(width, height);
    QPainter p(&image);
    auto row = [&](int y, int l, int m, int r) {
        const std::vector<QImage> pieces{Load(dir, u"%1.png"_s.arg(l)),
                                         Load(dir, u"%1.png"_s.arg(m)),
                                         Load(dir, u"%1.png"_s.arg(r))};
        ComposeRow(p, y, width, pieces);
        return pieces[0].height();
    };
    int y = row(0, 1121, 1120, 1122);
    if (information)
        y += row(y, 193, 313, 315);
    if (edit)
        y += information ? row(y, 1162, 1161, 1160) : row(y, 1124, 1123, 1125);
    else
        y += information ? row(y, 1163, 1164, 1165) : row(y, 1133, 1132, 1134);
    for (; y < height - 80; y += 400) {
        QImage band = Opaque(width, 400);
        QPainter bp(&band);
        if (edit)
            ComposeRow(
                bp, 0, width,
                {Load(dir, u"1130.png"_s), Load(dir, u"1129.png"_s), Load(dir, u"1131.png"_s)});
        else
            ComposeRow(
                bp, 0, width,
                {Load(dir, u"1139.png"_s), Load(dir, u"1138.png"_s), Load(dir, u"1140.png"_s)});
        bp.end();
        p.drawImage(QPoint(0, y), band, QRect(0, 0, width, std::min(400, height - 80 - y)));
    }
    if (edit)
        row(height - 80, 1127, 1126, 1128);
    else
        row(height - 80, 1136, 1135, 1137);

    QFont font(language == StringLanguage::Japanese ? u"IPAGothic"_s : u"DejaVu Sans"_s);
    font.setPixelSize(12);
    QFont bold = font;
    bold.setBold(true);
    bold.setPixelSize(13);
    const QColor ink(1, 1, 1);
    p.setFont(font);

    auto box = [&](const QRect &r) {
        p.fillRect(r, Qt::white);
        p.setPen(QColor(0x8f, 0x9b, 0xa7));
        p.drawRect(r.adjusted(0, 0, -1, -1));
    };
    auto header = [&](const QRect &r, const QStringList &titles, int columnWidth) {
        p.fillRect(r, QColor(0xf0, 0xf2, 0xf4));
        p.setPen(QColor(0xc4, 0xcb, 0xd2));
        p.drawLine(r.bottomLeft(), r.bottomRight());
        int x = r.left() + 6;
        for (const QString &t : titles) {
            p.setPen(ink);
            p.drawText(QRect(x, r.top(), columnWidth - 8, r.height()), Qt::AlignVCenter, t);
            x += columnWidth;
            p.setPen(QColor(0xc4, 0xcb, 0xd2));
            p.drawLine(x - 3, r.top() + 3, x - 3, r.bottom() - 3);
        }
    };
    auto systemButton = [&](const QRect &r, const QString &text) {
        QLinearGradient g(0, r.top(), 0, r.bottom());
        g.setColorAt(0, QColor(0xfb, 0xfb, 0xfb));
        g.setColorAt(1, QColor(0xe4, 0xe6, 0xe9));
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QColor(0x8f, 0x9b, 0xa7));
        p.setBrush(g);
        p.drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(ink);
        p.drawText(r, Qt::AlignCenter, text);
    };

    // Information field and the captions above the lists.
    const QRect listRect = LayoutRect(422, language).adjusted(0, 0, 0, 0);
    QRect list = listRect;
    list.setTop(information ? 165 : 62);
    p.setFont(bold);
    p.setPen(ink);
    p.drawText(LayoutRect(424, language), Qt::AlignLeft | Qt::AlignVCenter,
               LoadStringFor(information ? 129 : 130, language));
    if (information) {
        p.drawText(LayoutRect(425, language), Qt::AlignLeft | Qt::AlignVCenter,
                   LoadStringFor(130, language));
        p.setFont(font);
        box(LayoutRect(421, language));
        p.drawImage(24, 65, Load(dir, u"205.png"_s));
        p.setPen(QColor(0xc0, 0x20, 0x20));
        p.drawText(QRect(44, 64, 600, 18), Qt::AlignVCenter, u"12:00:00   Lamp"_s);
    }
    p.setFont(font);
    box(list);
    const QRect listHeader(list.left() + 1, list.top() + 1, list.width() - 2, 20);
    header(listHeader,
           {LoadStringFor(133, language), LoadStringFor(135, language),
            LoadStringFor(136, language), LoadStringFor(137, language),
            LoadStringFor(138, language)},
           100);
    const char *rows[] = {"225", "227", "227"};
    for (int i = 0; i < 3; ++i) {
        const int ry = listHeader.bottom() + 4 + i * 18;
        p.drawImage(list.left() + 4, ry, Load(dir, QString::fromLatin1(rows[i]) + u".png"_s));
        p.setPen(ink);
        p.drawText(QRect(list.left() + 24, ry, 80, 16), Qt::AlignVCenter, u"Hall %1"_s.arg(i + 1));
        p.drawImage(list.left() + 106, ry, Load(dir, i == 2 ? u"221.png"_s : u"223.png"_s));
        p.drawImage(list.left() + 206, ry, Load(dir, u"229.png"_s));
        if (i == 1)
            p.drawImage(list.left() + 406, ry, Load(dir, u"205.png"_s));
    }
    QRect tree = LayoutRect(423, language);
    tree.setTop(listHeader.bottom() + 1);
    QRect strip = LayoutRect(168, language);
    strip.setTop(list.top() + 1);
    strip.setBottom(listHeader.bottom());
    box(tree.adjusted(0, -1, 0, 0));
    header(strip, {FirstWord(168, language)}, strip.width() + 8);
    p.drawImage(tree.left() + 4, tree.top() + 4, Load(dir, u"208.png"_s));
    p.setPen(ink);
    p.drawText(QRect(tree.left() + 24, tree.top() + 4, 150, 16), Qt::AlignVCenter,
               LoadStringFor(131, language));
    p.drawImage(tree.left() + 20, tree.top() + 22, Load(dir, u"209.png"_s));
    p.drawText(QRect(tree.left() + 40, tree.top() + 22, 150, 16), Qt::AlignVCenter, u"Floor 1"_s);
    p.drawImage(tree.left() + 20, tree.top() + 40, Load(dir, u"325.png"_s));
    p.drawText(QRect(tree.left() + 40, tree.top() + 40, 150, 16), Qt::AlignVCenter, u"Floor 2"_s);

    // Buttons of the tab.
    auto bitmap = [&](int layout, int picture) {
        const QRect r = LayoutRect(layout, language);
        p.drawImage(r.topLeft(), Load(dir, u"%1/%2.png"_s.arg(folder).arg(picture)));
    };
    if (edit) {
        for (int i = 0; i < 6; ++i)
            bitmap(500 + i, 257 + 3 * i);
        bitmap(431, 275);
    } else {
        bitmap(400, 245);
        bitmap(401, 248);
        bitmap(402, 251);
        bitmap(403, 245);
        bitmap(404, 248);
        bitmap(431, 254);
        for (int id : {169, 170, 171}) {
            p.setPen(ink);
            p.drawText(LayoutRect(id, language), Qt::AlignRight | Qt::AlignVCenter,
                       FirstWord(id, language));
        }
        for (int id : {419, 420}) {
            const QRect r = LayoutRect(id, language);
            box(r);
            p.setPen(ink);
            p.drawText(r.adjusted(4, 0, -20, 0), Qt::AlignVCenter,
                       id == 419 ? LoadStringFor(211, language) : LoadStringFor(221, language));
            p.drawText(QRect(r.right() - 16, r.top(), 14, r.height()), Qt::AlignCenter,
                       u"\u25BE"_s);
        }
    }
    systemButton(LayoutRect(417, language), FirstWord(417, language));
    systemButton(LayoutRect(418, language), FirstWord(418, language));
    p.drawImage(LayoutRect(416, language).topLeft(), Load(dir, u"139.png"_s));
    p.setPen(ink);
    p.drawText(LayoutRect(415, language), Qt::AlignLeft | Qt::AlignVCenter,
               LoadStringFor(327, language).trimmed());

    // The tab buttons: their pictures with the caption drawn over them in black.
    const QPoint remote = LayoutRect(427, language).topLeft();
    const QPoint editTab = LayoutRect(426, language).topLeft();
    const QImage remotePicture = Load(dir, edit ? u"133.png"_s : u"135.png"_s);
    const QImage editPicture = Load(dir, edit ? u"134.png"_s : u"136.png"_s);
    p.drawImage(remote, remotePicture);
    p.drawImage(editTab, editPicture);
    p.setPen(Qt::black);
    p.drawText(QRect(remote, remotePicture.size()), Qt::AlignCenter, LoadStringFor(142, language));
    p.drawText(QRect(editTab, editPicture.size()), Qt::AlignCenter, LoadStringFor(141, language));
    return image;
}

bool WritePreview(const QString &path, const QDir &dir)
{
    constexpr int gap = 12;
    QImage sheet(2 * 777 + 3 * gap, 4 * 530 + 5 * gap, QImage::Format_RGB32);
    sheet.fill(QColor(0x60, 0x68, 0x70));
    QPainter p(&sheet);
    int y = gap;
    for (StringLanguage language : {StringLanguage::English, StringLanguage::Japanese}) {
        for (bool information : {true, false}) {
            p.drawImage(gap, y, Preview(dir, language, false, information));
            p.drawImage(2 * gap + 777, y, Preview(dir, language, true, information));
            y += 530 + gap;
        }
    }
    p.end();
    return sheet.save(path, "PNG");
}

bool CheckFonts()
{
    bool ok = true;
    for (const QString &family : {u"DejaVu Sans"_s, u"IPAGothic"_s}) {
        if (!QFontDatabase::hasFamily(family)) {
            Err() << "font \"" << family
                  << "\" is not installed (Debian: fonts-dejavu-core, fonts-ipafont-gothic)\n";
            ok = false;
        }
    }
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Draws the pictures of the Lumarin skin."_s);
    parser.addHelpOption();
    parser.addPositionalArgument(u"folder"_s, u"Where the pictures go (res/skin)."_s);
    QCommandLineOption sheet(u"sheet"_s, u"Also write a contact sheet of every picture."_s,
                             u"file"_s);
    parser.addOption(sheet);
    QCommandLineOption preview(
        u"preview"_s, u"Also write both tabs at the design size, in both languages."_s, u"file"_s);
    parser.addOption(preview);
    QCommandLineOption icons(u"icons"_s,
                             u"Also write the desktop icons into <folder>/hicolor (res/icons)."_s,
                             u"folder"_s);
    parser.addOption(icons);
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);
    if (!CheckFonts())
        return 1;

    Output out(parser.positionalArguments().front());
    out.SetIconFolder(parser.value(icons));
    if (!out.Prepare())
        return 1;
    WriteBackgrounds(out);
    {
        out.Save(u"133.png"_s, Tab(141, BLUE, false));
        out.Save(u"135.png"_s, Tab(141, BLUE, true));
        out.Save(u"134.png"_s, Tab(127, TEAL, true));
        out.Save(u"136.png"_s, Tab(127, TEAL, false));
    }
    const bool captions = WriteButtons(out);
    WriteIcons(out);
    WriteMarks(out);
    if (!captions || !out.Ok())
        return 1;
    if (parser.isSet(sheet) && !WriteSheet(parser.value(sheet), out.All())) {
        Err() << "cannot write " << parser.value(sheet) << "\n";
        return 1;
    }
    if (parser.isSet(preview) &&
        !WritePreview(parser.value(preview), QDir(parser.positionalArguments().front()))) {
        Err() << "cannot write " << parser.value(preview) << "\n";
        return 1;
    }
    QTextStream(stdout) << out.All().size() << " pictures written\n";
    return 0;
}
