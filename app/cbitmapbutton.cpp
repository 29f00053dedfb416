#include "app/cbitmapbutton.h"

#include "res/skinbitmap.h"

#include <QPainter>

CBitmapButton::CBitmapButton(QWidget *parent) : QPushButton(parent) {}

bool CBitmapButton::LoadBitmaps(int normal, int pressed, int focused)
{
    m_normal = normal != 0 ? LoadSkinBitmap(normal) : QPixmap();
    m_pressed = pressed != 0 ? LoadSkinBitmap(pressed) : QPixmap();
    m_focused = focused != 0 ? LoadSkinBitmap(focused) : QPixmap();
    updateGeometry();
    update();
    return !m_normal.isNull();
}

CBitmapButton::Picture CBitmapButton::CurrentPicture() const
{
    if (!isEnabled())
        return Picture::Normal;
    if (isDown())
        return Picture::Pressed;
    if (hasFocus())
        return Picture::Focused;
    return Picture::Normal;
}

QPixmap CBitmapButton::PictureOf(Picture which) const
{
    switch (which) {
    case Picture::Pressed:
        return m_pressed.isNull() ? m_normal : m_pressed;
    case Picture::Focused:
        return m_focused.isNull() ? m_normal : m_focused;
    case Picture::Normal:
        break;
    }
    return m_normal;
}

QSize CBitmapButton::sizeHint() const
{
    return m_normal.isNull() ? QPushButton::sizeHint() : m_normal.size();
}

void CBitmapButton::paintEvent(QPaintEvent *event)
{
    if (m_normal.isNull()) {
        // Without pictures the caption must still be visible.
        QPushButton::paintEvent(event);
        return;
    }
    QPainter painter(this);
    // The skin has no disabled picture: a faded one tells that a click would do nothing now.
    if (!isEnabled())
        painter.setOpacity(0.45);
    painter.drawPixmap(0, 0, PictureOf(CurrentPicture()));
}
