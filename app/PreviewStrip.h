#pragma once

#include <QImage>
#include <QList>
#include <QScrollArea>
#include <QString>
#include <QStringList>

// The icons of one set as they will be written: each at 1:1 (the smallest at 2x, pixels kept
// square; an image taller than the strip leaves room for, or wider than a screen, halved until it
// is not) over a light and a dark backdrop, side by side in a strip that scrolls sideways only.
// The strip's height sets how tall a tile may be, so a taller window brings tiles back to 1:1.
// Over app icons for iOS the system's corner mask can be shown: what lies outside it is dimmed
// and its edge drawn, so art the corners would cut shows. Tiles that name a row (the layers of
// a stack) are shown as one strip per row, each under its name, sharing the height; where even
// the smallest tiles do not fit, the strips scroll up and down too.
class PreviewStrip : public QScrollArea
{
    Q_OBJECT
public:
    struct Tile
    {
        QString name;
        QImage image;
        QString row = {}; // the strip it goes on; the same for all: one strip, unnamed
    };

    explicit PreviewStrip(QWidget *parent = nullptr);

    void setTiles(const QList<Tile> &tiles, bool maskable);
    // A sentence instead of tiles: why there is nothing to show, or that it is coming.
    void setMessage(const QString &message);
    void setMaskShown(bool shown);

    QList<Tile> tiles() const { return m_tiles; }
    QString message() const { return m_message; }
    bool maskShown() const { return m_maskShown; }

    // The scale a tile of this size is shown at when no tile may be taller than `tallest`: 2 for
    // the smallest icons, else 1, halved while it is too tall or wider than a screen.
    static double zoomFor(QSize size, int tallest);
    // The scale tile `index` is shown at now; 0 for no such tile.
    double zoomOf(qsizetype index) const;
    // The rows shown, top to bottom, in the order the tiles first name them.
    QStringList rows() const;

    // Neither depends on the tiles or their scale: the strip's height decides the scale, never
    // the other way round.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    class Canvas;
    void relayout();
    // The strip's height taken by all but the tiles themselves, with captions of `lines` lines.
    int chromeHeight(int lines) const;

    QList<Tile> m_tiles;
    QString m_message;
    bool m_maskable = false;
    bool m_maskShown = true;
    int m_tallest = 1;
    int m_rowHeight = 0;
    Canvas *m_canvas;
};
