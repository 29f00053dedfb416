#pragma once

#include <QPixmap>
#include <QPushButton>
#include <QSize>

// A push button shown as one of three pictures that carry its visible caption: normal, pressed
// (while held down) and focused (while it has the keyboard focus). A disabled button shows the
// normal picture. The window text (text()) is the caption, which screen readers announce.
class CBitmapButton : public QPushButton
{
    Q_OBJECT

public:
    explicit CBitmapButton(QWidget *parent = nullptr);

    // Loads the pictures (0 = none; a missing pressed or focused picture falls back to the
    // normal one). Returns false when the normal picture cannot be loaded.
    bool LoadBitmaps(int normal, int pressed, int focused);

    enum class Picture { Normal, Pressed, Focused };
    // Which picture the button shows in its current state.
    Picture CurrentPicture() const;
    QPixmap PictureOf(Picture which) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPixmap m_normal;
    QPixmap m_pressed;
    QPixmap m_focused;
};
