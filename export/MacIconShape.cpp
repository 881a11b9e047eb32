#include "MacIconShape.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

// Points on the outline per quarter turn. At 1024 px a chord of the densest corner (radius of
// curvature about 127 px) then strays under 0.01 px from the curve: far below what 8-bit
// antialiasing can show, so the polygon is as good as the curve at every icon size.
constexpr int PointsPerQuarter = 256;

// One pass of a separable Gaussian over `in` (rows of `width` floats, `height` rows), along x
// when `stride` is 1 and along y when it is `width`. Outside the canvas is transparent, which
// is what the canvas around the body is, so the taps that fall outside are simply left out.
void blurPass(const std::vector<float> &in, std::vector<float> &out, int width, int height,
              bool alongX, const std::vector<float> &weights)
{
    const int radius = int(weights.size()) - 1;
    const int length = alongX ? width : height;
    const qsizetype step = alongX ? 1 : width;
    const int lines = alongX ? height : width;
    for (int line = 0; line < lines; ++line) {
        const qsizetype base = alongX ? qsizetype(line) * width : line;
        for (int i = 0; i < length; ++i) {
            const int from = std::max(0, i - radius), to = std::min(length - 1, i + radius);
            float sum = 0.0f;
            for (int j = from; j <= to; ++j)
                sum += in[base + j * step] * weights[std::abs(i - j)];
            out[base + i * step] = sum;
        }
    }
}

// The shadow's alpha (0..1 before the opacity) from the composed body's alpha: blurred, then
// moved down by `offset` pixels.
std::vector<float> shadowOf(const QImage &layer, double sigma, double offset)
{
    const int width = layer.width(), height = layer.height();
    std::vector<float> alpha(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(layer.constScanLine(y));
        for (int x = 0; x < width; ++x)
            alpha[size_t(y) * width + x] = float(qAlpha(row[x])) / 255.0f;
    }

    // Below 0.3 px the kernel's side taps weigh under 0.4% of the centre's: on a shadow of at
    // most 30% opacity the blur would move a pixel by under half an 8-bit level.
    if (sigma >= 0.3) {
        // Three sigmas hold 99.7% of the weight; what lies beyond is under one level here.
        const int radius = int(std::ceil(3.0 * sigma));
        std::vector<float> weights(size_t(radius) + 1);
        double total = 0.0;
        for (int j = 0; j <= radius; ++j) {
            const double w = std::exp(-double(j) * j / (2.0 * sigma * sigma));
            weights[j] = float(w);
            total += j == 0 ? w : 2.0 * w;
        }
        // Normalised so a large opaque body casts a shadow of exactly the full opacity.
        for (float &w : weights)
            w = float(w / total);
        std::vector<float> across(alpha.size());
        blurPass(alpha, across, width, height, true, weights);
        blurPass(across, alpha, width, height, false, weights);
    }

    // A fractional offset is interpolated between the two nearest whole rows rather than
    // rounded: at 16 to 64 px the offset is 0.16 to 0.63 px, and rounding would drop it or
    // push the shadow 60% too far.
    const int whole = int(std::floor(offset));
    const float part = float(offset - whole);
    std::vector<float> moved(alpha.size(), 0.0f);
    for (int y = 0; y < height; ++y) {
        const int upper = y - whole - 1, lower = y - whole;
        for (int x = 0; x < width; ++x) {
            const float a = lower >= 0 && lower < height ? alpha[size_t(lower) * width + x] : 0;
            const float b = upper >= 0 && upper < height ? alpha[size_t(upper) * width + x] : 0;
            moved[size_t(y) * width + x] = (1.0f - part) * a + part * b;
        }
    }
    return moved;
}

} // namespace

int MacIconShape::bodyPixels(int size)
{
    // In integers: exact, where the double product could land a hair above a whole number
    // and round up one pixel too many.
    if (size < 1)
        return 1;
    const qint64 side =
        (qint64(size) * qint64(GridBody) + qint64(GridCanvas) - 1) / qint64(GridCanvas);
    return int(std::max<qint64>(1, side));
}

QPainterPath MacIconShape::outline(int size)
{
    if (size < 1)
        return {};
    const double scale = double(size) / GridCanvas;
    const double centre = scale * GridCanvas / 2.0;
    const double a = scale * GridBody / 2.0;
    return superellipse(QPointF(centre, centre), a, a, Exponent, 4 * PointsPerQuarter);
}

QPainterPath MacIconShape::superellipse(QPointF centre, double a, double b, double exponent,
                                        int points)
{
    QPainterPath path;
    for (int i = 0; i < points; ++i) {
        const double t = 2.0 * std::numbers::pi * i / points;
        const double c = std::cos(t), s = std::sin(t);
        const double p = std::pow(std::pow(std::abs(c), exponent) + std::pow(std::abs(s), exponent),
                                  1.0 / exponent);
        const QPointF point(centre.x() + a / p * c, centre.y() + b / p * s);
        if (i == 0)
            path.moveTo(point);
        else
            path.lineTo(point);
    }
    path.closeSubpath();
    return path;
}

QImage MacIconShape::compose(const QImage &body, int size)
{
    if (body.isNull() || size < 1 || size > MaxSize)
        return {};
    // Premultiplied throughout: smoothing and cutting straight colour would drag the colour of
    // invisible pixels into the edges.
    QImage art = body.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage layer(size, size, QImage::Format_ARGB32_Premultiplied);
    if (art.isNull() || layer.isNull())
        return {};
    layer.fill(Qt::transparent);

    const double scale = double(size) / GridCanvas;
    const QRectF rect(GridMargin * scale, GridMargin * scale, GridBody * scale, GridBody * scale);
    {
        QPainter painter(&layer);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        const QRect whole = rect.toRect();
        if (QRectF(whole) == rect && art.size() == whole.size()) {
            // On the grid (every multiple of 256 px) the artwork is a plain copy: any filter,
            // even one at a scale of exactly 1, could soften it.
            painter.drawImage(whole.topLeft(), art);
        } else {
            // The body's edges fall inside pixels. A one-pixel border repeating the artwork's
            // own edge lets those partial pixels take the edge colour, so the outline mask
            // alone decides their coverage (an antialiased image edge would cut them twice).
            QImage padded(art.width() + 2, art.height() + 2, art.format());
            if (padded.isNull())
                return {};
            for (int y = 0; y < padded.height(); ++y) {
                const auto *from = reinterpret_cast<const QRgb *>(
                    art.constScanLine(std::clamp(y - 1, 0, art.height() - 1)));
                auto *to = reinterpret_cast<QRgb *>(padded.scanLine(y));
                for (int x = 0; x < padded.width(); ++x)
                    to[x] = from[std::clamp(x - 1, 0, art.width() - 1)];
            }
            const double sx = rect.width() / art.width(), sy = rect.height() / art.height();
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(rect.adjusted(-sx, -sy, sx, sy), padded);
        }

        QImage mask(size, size, QImage::Format_ARGB32_Premultiplied);
        if (mask.isNull())
            return {};
        mask.fill(Qt::transparent);
        {
            QPainter maskPainter(&mask);
            maskPainter.setRenderHint(QPainter::Antialiasing);
            maskPainter.fillPath(outline(size), Qt::black);
        }
        painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        painter.drawImage(0, 0, mask);
    }

    const std::vector<float> shadow = shadowOf(layer, ShadowSigma * scale, ShadowOffsetY * scale);
    QImage canvas(size, size, QImage::Format_ARGB32_Premultiplied);
    if (canvas.isNull())
        return {};
    for (int y = 0; y < size; ++y) {
        auto *row = reinterpret_cast<QRgb *>(canvas.scanLine(y));
        for (int x = 0; x < size; ++x) {
            const double level = std::clamp(
                double(shadow[size_t(y) * size + x]) * ShadowOpacity * 255.0, 0.0, 255.0);
            row[x] = qRgba(0, 0, 0, int(std::lround(level))); // black: premultiplied as is
        }
    }
    {
        QPainter painter(&canvas);
        painter.drawImage(0, 0, layer);
    }
    return canvas.convertToFormat(QImage::Format_ARGB32);
}
