#include "app/cimagetextbutton.h"

#include "res/skinbitmap.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

CImageTextButton::CImageTextButton(QWidget *parent) : QPushButton(parent) {}

void CImageTextButton::SetBitmaps(int normal, int pressed, int disabled)
{
    m_images.clear();
    m_loaded = false;
    m_size = QSize();
    const QPixmap first = LoadSkinBitmap(normal);
    if (first.isNull()) {
        updateGeometry();
        update();
        return;
    }
    m_size = first.size();
    m_images.append(first);
    for (int id : {pressed, disabled}) {
        if (id == 0)
            continue;
        const QPixmap picture = LoadSkinBitmap(id);
        // The image list holds pictures of one size only; another size is refused, as a
        // missing picture would be.
        if (!picture.isNull() && picture.size() == m_size)
            m_images.append(picture);
    }
    m_loaded = true;
    updateGeometry();
    update();
}

void CImageTextButton::SetText(const QString &caption)
{
    m_caption = caption;
    setText(caption);
    setAccessibleName(caption);
    update();
}

void CImageTextButton::SetTextColors(const QColor &normal, const QColor &disabled)
{
    m_textColor = normal;
    m_disabledTextColor = disabled;
    update();
}

void CImageTextButton::SetFont(const QString &face, int height)
{
    QFont font = QWidget::font();
    font.setFamily(face);
    const int pixels = height < 0 ? -height : height;
    if (pixels > 0)
        font.setPixelSize(pixels);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    m_font = font;
    m_hasFont = true;
    update();
}

void CImageTextButton::SetTextPosition(int x, int y)
{
    m_textX = x;
    m_textY = y;
    update();
}

int CImageTextButton::PictureIndexFor(bool enabled, bool pressed) const
{
    if (!enabled)
        return m_images.size() == 3 ? 2 : 0;
    return pressed && m_images.size() >= 2 ? 1 : 0;
}

QSize CImageTextButton::sizeHint() const
{
    return m_loaded ? m_size : QPushButton::sizeHint();
}

void CImageTextButton::paintEvent(QPaintEvent *)
{
    if (m_loaded && size() != m_size)
        resize(m_size); // keeps the position; the next paint draws at the new size
    const QRect rect = m_loaded ? QRect(QPoint(0, 0), m_size) : this->rect();

    QPainter painter(this);
    QStyleOptionButton frame;
    frame.initFrom(this);
    frame.rect = rect;
    frame.state |= QStyle::State_Sunken;
    style()->drawPrimitive(QStyle::PE_PanelButtonCommand, &frame, &painter, this);

    const bool enabled = isEnabled();
    if (m_loaded)
        painter.drawPixmap(rect.topLeft(), m_images.at(PictureIndexFor(enabled, isDown())));

    if (!m_caption.isEmpty()) {
        painter.setPen(enabled ? m_textColor : m_disabledTextColor);
        painter.setFont(m_hasFont ? m_font : QWidget::font());
        if (m_textX == -1 || m_textY == -1) {
            painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, m_caption);
        } else {
            const int ascent = painter.fontMetrics().ascent();
            painter.drawText(QPoint(m_textX, m_textY + ascent), m_caption);
        }
    }

    if (hasFocus()) {
        // Drawn by hand: styles may leave the focus frame out unless the keyboard moved the
        // focus, and the tab buttons are often reached by mouse.
        painter.setPen(QPen(enabled ? m_textColor : m_disabledTextColor, 1, Qt::DotLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(this->rect().adjusted(8, 8, -9, -9));
    }
}
