#include "Renderer.h"

#include "Resampler.h"
#include "source/ImageLimits.h"

#include <algorithm>
#include <cmath>

QImage Renderer::render(const SourceImage *source, QSizeF target, int threads)
{
    return renderAll(source, {target}, threads).images.value(0);
}

Renderer::Rendered Renderer::renderAll(const SourceImage *source, const QList<QSizeF> &targets,
                                       int threads, const std::atomic_bool *cancel)
{
    if (!source)
        return {{}, QStringLiteral("there is no source image")};
    QList<QSize> pixels;
    for (const QSizeF &target : targets) {
        if (!ImageLimits::fits(target.width(), target.height()))
            return {{},
                    QStringLiteral("%1 by %2 pixels cannot be made")
                        .arg(target.width(), 0, 'f', 0)
                        .arg(target.height(), 0, 'f', 0)};
        // The limits bound both sides, so they round into an int.
        pixels.append(QSize(int(std::lround(target.width())), int(std::lround(target.height()))));
    }
    Rendered rendered;
    if (source->isVector()) {
        SourceImage::Drawn drawn = source->renderVector(pixels, cancel);
        rendered.images = std::move(drawn.images);
        rendered.error = std::move(drawn.error);
    } else {
        for (const QSize &size : std::as_const(pixels))
            rendered.images.append(
                Resampler::resample(source->bitmapFor(size), size.width(), size.height(), threads));
    }
    if (source->colorSpace().isValid()) {
        for (QImage &image : rendered.images)
            image.setColorSpace(source->colorSpace());
    }
    return rendered;
}

QImage Renderer::overBackground(const QImage &image, QColor background)
{
    if (image.isNull())
        return {};
    QImage source = image.convertToFormat(QImage::Format_ARGB32);
    QImage result(source.size(), QImage::Format_RGB32);
    result.setColorSpace(image.colorSpace());
    const int back[3] = {background.red(), background.green(), background.blue()};
    for (int y = 0; y < source.height(); ++y) {
        const auto *in = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        auto *out = reinterpret_cast<QRgb *>(result.scanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            const int a = qAlpha(in[x]);
            const int front[3] = {qRed(in[x]), qGreen(in[x]), qBlue(in[x])};
            int mixed[3];
            for (int c = 0; c < 3; ++c)
                mixed[c] = (front[c] * a + back[c] * (255 - a) + 127) / 255;
            out[x] = qRgb(mixed[0], mixed[1], mixed[2]);
        }
    }
    return result;
}

QImage Renderer::luminance(const QImage &image)
{
    if (image.isNull())
        return {};
    QImage result = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < result.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            const QRgb p = line[x];
            // Rec. 709 weights in fixed point (they sum to 65536), rounded.
            const int grey = (13933 * qRed(p) + 46871 * qGreen(p) + 4732 * qBlue(p) + 32768) >> 16;
            line[x] = qRgba(grey, grey, grey, qAlpha(p));
        }
    }
    return result;
}

QImage Renderer::placed(const QImage &image, QSize canvas, QColor background)
{
    if (image.isNull() || canvas.isEmpty())
        return QImage();
    // Copied, not painted: the pixels stay exactly as resampled.
    QImage placed(canvas, QImage::Format_ARGB32);
    placed.fill(Qt::transparent);
    const QImage art = image.convertToFormat(QImage::Format_ARGB32);
    const QPoint at((canvas.width() - art.width()) / 2, (canvas.height() - art.height()) / 2);
    const QRect area = QRect(at, art.size()).intersected(placed.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const auto *from = reinterpret_cast<const QRgb *>(art.constScanLine(y - at.y()));
        auto *to = reinterpret_cast<QRgb *>(placed.scanLine(y));
        std::copy(from + (area.left() - at.x()), from + (area.right() - at.x()) + 1,
                  to + area.left());
    }
    placed.setColorSpace(image.colorSpace());
    return background.isValid() ? overBackground(placed, background) : placed;
}
