#pragma once

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QSize>
#include <QWidget>

#include <vector>

class QPainter;

// One row of background pieces: picture ids of the left, middle and right piece (all of the
// row's height) and whether this is the body row that repeats downward to fill the window.
struct BackgroundRow
{
    int left;
    int middle;
    int right;
    int height;
    bool tiled = false;
};

// Composes a window background from rows of three pieces so that it stretches with the window:
// the rows above the tiled row from the top, the rows below it at the bottom, the tiled row
// repeated in between, and in each row the middle piece repeated between the left and the right
// piece. The picture is composed once per size change; drawing is a single copy.
// User-interface thread only.
class CBackgroundBmp
{
public:
    virtual ~CBackgroundBmp();
    CBackgroundBmp(const CBackgroundBmp &) = delete;
    CBackgroundBmp &operator=(const CBackgroundBmp &) = delete;

    // Loads every piece and creates a black 777 x 530 picture; composes nothing yet. Returns
    // false, and stays unprepared, when a piece is missing or a row's pieces differ in height.
    bool Prepare(QWidget *window);
    // Composes the picture for a client area of width x height. Does nothing before Prepare
    // and for an empty size (a minimised window).
    void Resize(int width, int height);
    // Copies the composed picture's top-left width x height to (x, y).
    void Draw(QPainter &painter, int x, int y, int width, int height) const;

    bool IsPrepared() const { return m_prepared; }
    const QImage &GetImage() const { return m_image; }
    const std::vector<BackgroundRow> &Rows() const { return m_rows; }

    // Draws one row of pieces at height y across width, in the row algorithm's order: left
    // piece, full middle copies, the middle piece's left part for the rest, right piece.
    static void DrawRow(QPainter &painter, int y, int width, const QImage &left,
                        const QImage &middle, const QImage &right);

protected:
    explicit CBackgroundBmp(std::vector<BackgroundRow> rows);

    // Growth of the middle-area width (width - left - right) and of the tiled height since the
    // previous composition; zero after the first one.
    QSize Growth() const { return m_growth; }
    int MiddleWidth() const { return m_middleWidth; }
    int TiledHeight() const { return m_tiledHeight; }

private:
    struct Pieces
    {
        QImage left, middle, right;
    };

    std::vector<BackgroundRow> m_rows;
    std::vector<Pieces> m_pieces;
    QPointer<QWidget> m_window;
    QImage m_image;
    QPixmap m_pixmap;
    bool m_prepared = false;
    bool m_composed = false;
    int m_middleWidth = 0;
    int m_tiledHeight = 0;
    QSize m_growth{0, 0};
};
