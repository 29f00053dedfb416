#include "app/cbackgroundbmp.h"

#include "res/skinbitmap.h"

#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <utility>

namespace {

constexpr int DESIGN_WIDTH = 777;
constexpr int DESIGN_HEIGHT = 530;

QImage BlackImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

} // namespace

CBackgroundBmp::CBackgroundBmp(std::vector<BackgroundRow> rows) : m_rows(std::move(rows)) {}

CBackgroundBmp::~CBackgroundBmp() = default;

bool CBackgroundBmp::Prepare(QWidget *window)
{
    m_window = window;
    m_prepared = false;
    m_composed = false;
    m_growth = QSize(0, 0);
    m_image = BlackImage(DESIGN_WIDTH, DESIGN_HEIGHT);
    m_pixmap = QPixmap();
    m_pieces.clear();
    for (const BackgroundRow &row : m_rows) {
        Pieces pieces{LoadSkinImage(row.left), LoadSkinImage(row.middle), LoadSkinImage(row.right)};
        for (const QImage *piece : {&pieces.left, &pieces.middle, &pieces.right}) {
            if (piece->isNull() || piece->height() != row.height) {
                m_pieces.clear();
                return false;
            }
        }
        m_pieces.push_back(std::move(pieces));
    }
    m_prepared = true;
    return true;
}

void CBackgroundBmp::DrawRow(QPainter &painter, int y, int width, const QImage &left,
                             const QImage &middle, const QImage &right)
{
    painter.drawImage(0, y, left);
    // A window narrower than the two end pieces gets no middle piece rather than a negative
    // count of them.
    const int area = width - left.width() - right.width();
    if (area > 0 && middle.width() > 0) {
        int x = left.width();
        for (int i = 0; i < area / middle.width(); ++i, x += middle.width())
            painter.drawImage(x, y, middle);
        const int rest = area % middle.width();
        if (rest > 0)
            painter.drawImage(QPoint(x, y), middle, QRect(0, 0, rest, middle.height()));
    }
    painter.drawImage(width - right.width(), y, right);
}

void CBackgroundBmp::Resize(int width, int height)
{
    if (!m_prepared || width <= 0 || height <= 0)
        return;
    m_image = BlackImage(width, height);
    QPainter painter(&m_image);

    // Rows above the tiled one from the top, rows below it from the bottom.
    std::size_t tiled = m_rows.size();
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].tiled) {
            tiled = i;
            break;
        }
    }
    int top = 0;
    for (std::size_t i = 0; i < tiled; ++i) {
        const Pieces &p = m_pieces[i];
        DrawRow(painter, top, width, p.left, p.middle, p.right);
        top += m_rows[i].height;
    }
    int bottom = height;
    for (std::size_t i = m_rows.size(); i-- > tiled + 1;) {
        bottom -= m_rows[i].height;
        const Pieces &p = m_pieces[i];
        DrawRow(painter, bottom, width, p.left, p.middle, p.right);
    }
    const int tiledHeight = bottom - top;
    if (tiled < m_rows.size() && tiledHeight > 0) {
        const Pieces &p = m_pieces[tiled];
        const int rowHeight = m_rows[tiled].height;
        QImage band = BlackImage(width, rowHeight);
        {
            QPainter bandPainter(&band);
            DrawRow(bandPainter, 0, width, p.left, p.middle, p.right);
        }
        for (int y = top; y < bottom; y += rowHeight) {
            // The last copy is cut to what remains above the bottom rows.
            const int h = std::min(rowHeight, bottom - y);
            painter.drawImage(QPoint(0, y), band, QRect(0, 0, width, h));
        }
    }
    painter.end();

    // Growths are measured against the previous composition, whatever its size, so that their
    // sum always equals the change since the first composition.
    const int leftWidth = m_pieces.empty() ? 0 : m_pieces.front().left.width();
    const int rightWidth = m_pieces.empty() ? 0 : m_pieces.front().right.width();
    const int middleWidth = width - leftWidth - rightWidth;
    if (m_composed)
        m_growth = QSize(middleWidth - m_middleWidth, tiledHeight - m_tiledHeight);
    else
        m_growth = QSize(0, 0);
    m_middleWidth = middleWidth;
    m_tiledHeight = tiledHeight;
    m_composed = true;

    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        m_pixmap = QPixmap::fromImage(m_image);
}

void CBackgroundBmp::Draw(QPainter &painter, int x, int y, int width, int height) const
{
    if (!m_prepared)
        return;
    const QRect source(0, 0, width, height);
    if (!m_pixmap.isNull())
        painter.drawPixmap(QPoint(x, y), m_pixmap, source);
    else
        painter.drawImage(QPoint(x, y), m_image, source);
}
