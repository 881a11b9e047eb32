#include "PreviewStrip.h"

#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>

#include <algorithm>

namespace {

const int Gap = 12;
const int LabelHeight = 50;
const int WidestShown = 1280;
const QColor Light(0xf2, 0xf2, 0xf7);
const QColor Dark(0x1c, 0x1c, 0x1e);

// The rounded square iOS cuts an icon to, close enough to judge the corners by: the system's
// shape has continuous corners whose radius is about 22.4% of the side.
QPainterPath iosMask(const QRectF &rect)
{
    QPainterPath path;
    const qreal radius = rect.width() * 0.2237;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

} // namespace

class PreviewStrip::Canvas : public QWidget
{
public:
    explicit Canvas(PreviewStrip *strip)
        : QWidget(strip)
        , m_strip(strip)
    {
    }

    QSize contentSize() const
    {
        if (m_strip->m_tiles.isEmpty())
            return {};
        int width = Gap, height = 0;
        for (const Tile &tile : std::as_const(m_strip->m_tiles)) {
            const QSize shown = (QSizeF(tile.image.size()) * zoomFor(tile.image.size())).toSize();
            width += std::max(2 * shown.width() + Gap, 90) + Gap;
            height = std::max(height, shown.height());
        }
        return {width, height + LabelHeight + 2 * Gap};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        if (m_strip->m_tiles.isEmpty()) {
            painter.setPen(palette().color(QPalette::PlaceholderText));
            painter.drawText(rect().adjusted(Gap, Gap, -Gap, -Gap),
                             Qt::AlignCenter | Qt::TextWordWrap, m_strip->m_message);
            return;
        }
        int x = Gap;
        for (const Tile &tile : std::as_const(m_strip->m_tiles)) {
            const double zoom = zoomFor(tile.image.size());
            const QSize shown = (QSizeF(tile.image.size()) * zoom).toSize();
            const int width = std::max(2 * shown.width() + Gap, 90);
            int left = x + (width - 2 * shown.width() - Gap) / 2;
            for (const QColor &backdrop : {Light, Dark}) {
                const QRect target(QPoint(left, Gap), shown);
                painter.fillRect(target, backdrop);
                // Zoomed pixels stay square blocks: smoothing would show pixels that are not
                // in the file. Only images too wide for a screen are shown smaller.
                painter.setRenderHint(QPainter::SmoothPixmapTransform, zoom < 1);
                painter.drawImage(target, tile.image);
                if (m_strip->m_maskable && m_strip->m_maskShown) {
                    painter.setRenderHint(QPainter::Antialiasing, true);
                    QPainterPath outside;
                    outside.addRect(target);
                    const QPainterPath mask = iosMask(QRectF(target));
                    QColor veil = backdrop;
                    veil.setAlpha(200);
                    painter.fillPath(outside.subtracted(mask), veil);
                    painter.setPen(QPen(QColor(0x8e, 0x8e, 0x93), 1));
                    painter.drawPath(mask);
                    painter.setRenderHint(QPainter::Antialiasing, false);
                }
                left += shown.width() + Gap;
            }
            painter.setPen(palette().color(QPalette::WindowText));
            // A layer's file is named by its stack, the folder at the top of its path.
            const QString caption =
                QStringLiteral("%1%2\n%3×%4%5")
                    .arg(tile.name.contains(QLatin1Char('/'))
                             ? tile.name.section(QLatin1Char('/'), 0, 0) + QLatin1Char('\n')
                             : QString(),
                         tile.name.section(QLatin1Char('/'), -1))
                    .arg(tile.image.width())
                    .arg(tile.image.height())
                    .arg(zoom > 1   ? QStringLiteral(" at 2x")
                         : zoom < 1 ? QStringLiteral(" at %1%").arg(zoom * 100)
                                    : QString());
            painter.drawText(QRect(x, Gap + shown.height() + 4, width, LabelHeight),
                             Qt::AlignHCenter | Qt::AlignTop, caption);
            x += width + Gap;
        }
    }

private:
    PreviewStrip *m_strip;
};

PreviewStrip::PreviewStrip(QWidget *parent)
    : QScrollArea(parent)
    , m_canvas(new Canvas(this))
{
    setWidget(m_canvas);
    setWidgetResizable(false);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(tr("Preview"));
    relayout();
}

void PreviewStrip::setTiles(const QList<Tile> &tiles, bool maskable)
{
    m_tiles = tiles;
    m_maskable = maskable;
    m_message.clear();
    relayout();
}

void PreviewStrip::setMessage(const QString &message)
{
    m_tiles.clear();
    m_message = message;
    relayout();
}

void PreviewStrip::setMaskShown(bool shown)
{
    m_maskShown = shown;
    m_canvas->update();
}

double PreviewStrip::zoomFor(QSize size)
{
    double zoom = std::max(size.width(), size.height()) <= 32 ? 2.0 : 1.0;
    while (size.width() * zoom > WidestShown || size.height() * zoom > TallestShown)
        zoom /= 2;
    return zoom;
}

QSize PreviewStrip::sizeHint() const
{
    return {QScrollArea::sizeHint().width(), minimumSizeHint().height()};
}

// The tallest tile any set can have, its caption and the scroll bar under them: the strip never
// needs to scroll up and down.
QSize PreviewStrip::minimumSizeHint() const
{
    return {QScrollArea::minimumSizeHint().width(), TallestShown + LabelHeight + 2 * Gap +
                                                        horizontalScrollBar()->sizeHint().height() +
                                                        2 * frameWidth()};
}

void PreviewStrip::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    if (m_tiles.isEmpty())
        relayout();
}

void PreviewStrip::relayout()
{
    const QSize content = m_canvas->contentSize();
    m_canvas->resize(content.isEmpty() ? viewport()->size() : content);
    QStringList names;
    for (const Tile &tile : std::as_const(m_tiles))
        names << QStringLiteral("%1 (%2 by %3)")
                     .arg(tile.name)
                     .arg(tile.image.width())
                     .arg(tile.image.height());
    setAccessibleDescription(m_tiles.isEmpty() ? m_message : names.join(QStringLiteral(", ")));
    m_canvas->update();
}
