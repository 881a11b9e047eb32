#pragma once

#include <QImage>
#include <QList>
#include <QScrollArea>
#include <QString>

// The icons of one set as they will be written: each at 1:1 (the smallest at 2x, pixels kept
// square; top shelf images, wider than a screen, smaller) over a light and a dark backdrop, side by
// side in a strip that scrolls. Over app icons for iOS the system's corner mask can be shown: what
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

    // The scale a tile of this size is shown at: 2 for the smallest icons, 1 for the others,
    // less only for images wider than a screen (tvOS top shelf images).
    static double zoomFor(QSize size);

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
