#pragma once

#include <QImage>
#include <QList>
#include <QScrollArea>
#include <QString>

// The icons of one set as they will be written: each at 1:1 (the smallest at 2x, pixels kept
// square; images taller than TallestShown or wider than a screen halved until they are not) over
// a light and a dark backdrop, side by side in a strip that scrolls sideways only: it is as tall
// as its tallest tile can be. Over app icons for iOS the system's corner mask can be shown: what
// lies outside it is dimmed and its edge drawn, so art the corners would cut shows.
class PreviewStrip : public QScrollArea
{
    Q_OBJECT
public:
    struct Tile
    {
        QString name;
        QImage image;
    };

    explicit PreviewStrip(QWidget *parent = nullptr);

    void setTiles(const QList<Tile> &tiles, bool maskable);
    // A sentence instead of tiles: why there is nothing to show, or that it is coming.
    void setMessage(const QString &message);
    void setMaskShown(bool shown);

    QList<Tile> tiles() const { return m_tiles; }
    QString message() const { return m_message; }
    bool maskShown() const { return m_maskShown; }

    // The tallest a tile is shown: every iOS icon but the App Store's stays at 1:1, the tvOS App
    // Store image shows at a quarter, and the strip still fits under the controls.
    static constexpr int TallestShown = 192;
    // The scale a tile of this size is shown at: 2 for the smallest icons, 1 for the others,
    // a power of a half for those taller than TallestShown or wider than a screen.
    static double zoomFor(QSize size);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    class Canvas;
    void relayout();

    QList<Tile> m_tiles;
    QString m_message;
    bool m_maskable = false;
    bool m_maskShown = true;
    Canvas *m_canvas;
};
