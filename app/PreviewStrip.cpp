#include "PreviewStrip.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>

#include <algorithm>

namespace {

const int Gap = 12;
// Above the tiles and under the captions: less than between tiles, as height is scarcer.
const int Edge = 8;
const int CaptionGap = 4;
const int WidestShown = 1280;
// What the strip asks for: the phone icons at 1:1; and at least: a 32 px icon at 1:1.
const int TallestWanted = 192;
const int TallestNeeded = 32;
// A strip of a stack's layer: tiles small enough to scroll through, large enough to tell apart.
const int RowTallestNeeded = 64;
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

// A layer's file is named by its stack, the folder at the top of its path: a third line.
int captionLines(const QList<PreviewStrip::Tile> &tiles)
{
    return std::any_of(
               tiles.begin(), tiles.end(),
               [](const PreviewStrip::Tile &tile) { return tile.name.contains(QLatin1Char('/')); })
               ? 3
               : 2;
}

QString captionOf(const PreviewStrip::Tile &tile, double zoom)
{
    return QStringLiteral("%1%2\n%3×%4%5")
        .arg(tile.name.contains(QLatin1Char('/'))
                 ? tile.name.section(QLatin1Char('/'), 0, 0) + QLatin1Char('\n')
                 : QString(),
             tile.name.section(QLatin1Char('/'), -1))
        .arg(tile.image.width())
        .arg(tile.image.height())
        .arg(zoom > 1   ? QStringLiteral(" at 2x")
             : zoom < 1 ? QStringLiteral(" at %1%").arg(zoom * 100)
                        : QString());
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

    // A tile's column: its two copies side by side, or its caption where that is wider.
    int columnWidth(const Tile &tile, double zoom) const
    {
        const int shown = int(tile.image.width() * zoom);
        const QRect caption = fontMetrics().boundingRect(QRect(0, 0, 4 * WidestShown, 200),
                                                         Qt::AlignHCenter, captionOf(tile, zoom));
        return std::max(2 * shown + Gap, caption.width() + Gap);
    }

    // The width the rows' names take at their left; 0 for one unnamed strip.
    int labelWidth() const
    {
        int widest = 0;
        for (const QString &row : m_strip->rows())
            widest = std::max(widest, fontMetrics().horizontalAdvance(row));
        return widest > 0 ? widest + Gap : 0;
    }

    // Each row's tiles in their order, rows in the order the tiles first name them.
    QList<QList<const Tile *>> rowsOfTiles() const
    {
        const QStringList rows = m_strip->rows();
        QList<QList<const Tile *>> grouped(rows.size());
        for (const Tile &tile : m_strip->m_tiles)
            grouped[rows.indexOf(tile.row)].append(&tile);
        return grouped;
    }

    // The tiles' size at a limit, the height of one row: the tallest tile and its chrome.
    QSize contentSize(int tallest) const
    {
        const QList<Tile> &tiles = m_strip->m_tiles;
        if (tiles.isEmpty())
            return {};
        int width = 0, height = 0;
        for (const QList<const Tile *> &row : rowsOfTiles()) {
            int x = Gap;
            for (const Tile *tile : row) {
                const double zoom = zoomFor(tile->image.size(), tallest);
                x += columnWidth(*tile, zoom) + Gap;
                height = std::max(height, int(tile->image.height() * zoom));
            }
            width = std::max(width, x);
        }
        return {labelWidth() + width, height + m_strip->chromeHeight(captionLines(tiles))};
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const QList<Tile> &tiles = m_strip->m_tiles;
        if (tiles.isEmpty()) {
            painter.setPen(palette().color(QPalette::PlaceholderText));
            painter.drawText(rect().adjusted(Gap, Edge, -Gap, -Edge),
                             Qt::AlignCenter | Qt::TextWordWrap, m_strip->m_message);
            return;
        }
        const int lines = captionLines(tiles);
        const int labels = labelWidth();
        const QStringList names = m_strip->rows();
        const QList<QList<const Tile *>> rows = rowsOfTiles();
        for (qsizetype r = 0; r < rows.size(); ++r) {
            const int top = int(r) * m_strip->m_rowHeight;
            if (labels > 0) {
                painter.setPen(palette().color(QPalette::WindowText));
                painter.drawText(QRect(Gap, top + Edge, labels - Gap, m_strip->m_tallest),
                                 Qt::AlignLeft | Qt::AlignVCenter, names.at(r));
            }
            int x = labels + Gap;
            for (const Tile *tile : rows.at(r)) {
                paintTile(&painter, *tile, x, top, lines);
                x += columnWidth(*tile, zoomFor(tile->image.size(), m_strip->m_tallest)) + Gap;
            }
        }
    }

    void paintTile(QPainter *painter, const Tile &tile, int x, int top, int lines)
    {
        const double zoom = zoomFor(tile.image.size(), m_strip->m_tallest);
        const QSize shown = (QSizeF(tile.image.size()) * zoom).toSize();
        const int width = columnWidth(tile, zoom);
        int left = x + (width - 2 * shown.width() - Gap) / 2;
        for (const QColor &backdrop : {Light, Dark}) {
            const QRect target(QPoint(left, top + Edge), shown);
            painter->fillRect(target, backdrop);
            // Zoomed pixels stay square blocks: smoothing would show pixels that are not in the
            // file. Only images halved to fit are smoothed.
            painter->setRenderHint(QPainter::SmoothPixmapTransform, zoom < 1);
            painter->drawImage(target, tile.image);
            if (m_strip->m_maskable && m_strip->m_maskShown) {
                painter->setRenderHint(QPainter::Antialiasing, true);
                QPainterPath outside;
                outside.addRect(target);
                const QPainterPath mask = iosMask(QRectF(target));
                QColor veil = backdrop;
                veil.setAlpha(200);
                painter->fillPath(outside.subtracted(mask), veil);
                painter->setPen(QPen(QColor(0x8e, 0x8e, 0x93), 1));
                painter->drawPath(mask);
                painter->setRenderHint(QPainter::Antialiasing, false);
            }
            left += shown.width() + Gap;
        }
        painter->setPen(palette().color(QPalette::WindowText));
        painter->drawText(QRect(x, top + Edge + shown.height() + CaptionGap, width,
                                lines * fontMetrics().lineSpacing()),
                          Qt::AlignHCenter | Qt::AlignTop, captionOf(tile, zoom));
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

double PreviewStrip::zoomFor(QSize size, int tallest)
{
    double zoom = std::max(size.width(), size.height()) <= 32 ? 2.0 : 1.0;
    const int limit = std::max(tallest, 1);
    while (size.width() * zoom > WidestShown || size.height() * zoom > limit)
        zoom /= 2;
    return zoom;
}

QStringList PreviewStrip::rows() const
{
    QStringList rows;
    for (const Tile &tile : m_tiles) {
        if (!rows.contains(tile.row))
            rows.append(tile.row);
    }
    return rows;
}

double PreviewStrip::zoomOf(qsizetype index) const
{
    if (index < 0 || index >= m_tiles.size())
        return 0;
    return zoomFor(m_tiles.at(index).image.size(), m_tallest);
}

int PreviewStrip::chromeHeight(int lines) const
{
    return 2 * Edge + CaptionGap + lines * fontMetrics().lineSpacing();
}

QSize PreviewStrip::sizeHint() const
{
    return {QScrollArea::sizeHint().width(), TallestWanted + chromeHeight(3) +
                                                 horizontalScrollBar()->sizeHint().height() +
                                                 2 * frameWidth()};
}

QSize PreviewStrip::minimumSizeHint() const
{
    return {QScrollArea::minimumSizeHint().width(), TallestNeeded + chromeHeight(3) +
                                                        horizontalScrollBar()->sizeHint().height() +
                                                        2 * frameWidth()};
}

void PreviewStrip::resizeEvent(QResizeEvent *event)
{
    QScrollArea::resizeEvent(event);
    relayout();
}

void PreviewStrip::changeEvent(QEvent *event)
{
    QScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        relayout();
}

// The tile limit comes from the strip's own height, not its viewport's, which the sideways
// scroll bar changes: the bar's height is given up only when the tiles at the larger limit
// would be wider than the strip, so showing or hiding it never changes the limit again.
void PreviewStrip::relayout()
{
    const int inside = height() - 2 * frameWidth();
    const int chrome = chromeHeight(captionLines(m_tiles));
    const int rows = std::max(int(this->rows().size()), 1);
    const auto fit = [&](int room) {
        return std::max((room - rows * chrome) / rows, rows > 1 ? RowTallestNeeded : 1);
    };
    m_tallest = fit(inside);
    if (m_canvas->contentSize(m_tallest).width() > width() - 2 * frameWidth())
        m_tallest = fit(inside - horizontalScrollBar()->sizeHint().height());
    const QSize content = m_canvas->contentSize(m_tallest);
    m_rowHeight = content.height();
    m_canvas->resize(content.isEmpty() ? viewport()->size()
                                       : QSize(content.width(), rows * content.height()));
    QStringList names;
    for (const Tile &tile : std::as_const(m_tiles))
        names << QStringLiteral("%1%2 (%3 by %4)")
                     .arg(tile.row.isEmpty() ? QString() : tile.row + QStringLiteral(": "),
                          tile.name)
                     .arg(tile.image.width())
                     .arg(tile.image.height());
    setAccessibleDescription(m_tiles.isEmpty() ? m_message : names.join(QStringLiteral(", ")));
    m_canvas->update();
}
