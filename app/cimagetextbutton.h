#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QPixmap>
#include <QPushButton>
#include <QSize>
#include <QString>

// A push button that draws one of up to three pictures of equal size (normal, pressed,
// disabled) with a caption painted over it: the tab buttons of the main view. At its first
// paint after pictures are set the button takes the picture's size, keeping its position.
class CImageTextButton : public QPushButton
{
    Q_OBJECT

public:
    explicit CImageTextButton(QWidget *parent = nullptr);

    // Loads the pictures (0 = none). When the normal picture cannot be loaded, the button keeps
    // no pictures and draws a plain frame. Pressed and disabled pictures of another size than the
    // normal one are left out.
    void SetBitmaps(int normal, int pressed, int disabled);
    // The caption painted over the picture; also the window text and the accessible name.
    void SetText(const QString &caption);
    // Caption colour for the normal and pressed states, and for the disabled state.
    void SetTextColors(const QColor &normal, const QColor &disabled);
    // Caption font: face and character height in pixels (a negative height counts as its
    // magnitude, 0 keeps the widget's font size); normal weight, no italic, underline or
    // strike-out.
    void SetFont(const QString &face, int height);
    // Where the caption's top left goes; (-1, -1) centres it in the picture.
    void SetTextPosition(int x, int y);

    QSize BitmapSize() const { return m_size; }
    QString Caption() const { return m_caption; }
    QFont CaptionFont() const { return m_font; }

    // The picture index (0 normal, 1 pressed, 2 disabled) and caption colour for a state.
    int PictureIndexFor(bool enabled, bool pressed) const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<QPixmap> m_images;
    bool m_loaded = false;
    QSize m_size;
    QString m_caption;
    QColor m_textColor{255, 255, 255};
    QColor m_disabledTextColor{255, 255, 255};
    int m_textX = -1;
    int m_textY = -1;
    QFont m_font;
    bool m_hasFont = false;
};
