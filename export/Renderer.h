#pragma once

#include "source/SourceImage.h"

#include <QColor>
#include <QImage>
#include <QList>
#include <QString>
#include <QSizeF>

// Draws the whole source into a new image of exactly the target's pixel size: stretched
// independently in width and height, upright, alpha kept. A bitmap source is resampled from the
// bitmap that fits the target best; a drawing is rendered at the target size itself.
class Renderer
{
public:
    // A null image when the target cannot be rendered or the source is absent.
    static QImage render(const SourceImage *source, QSizeF target, int threads = 0);
    // Several targets at once: a drawing is drawn at all of them in one trip to the decoding
    // worker. The images in the order of `targets`, or none and a clause saying why. Setting
    // `cancel` from another thread stops a drawing's trip.
    struct Rendered
    {
        QList<QImage> images;
        QString error;
    };
    static Rendered renderAll(const SourceImage *source, const QList<QSizeF> &targets,
                              int threads = 0, const std::atomic_bool *cancel = nullptr);

    // The image laid over an opaque colour: every pixel opaque, the colour where it was clear.
    static QImage overBackground(const QImage &image, QColor background);
    // The image in the middle of a canvas of `canvas` pixels, over `background`, or on
    // transparency when that is invalid.
    static QImage placed(const QImage &image, QSize canvas, QColor background);
    // The image's luminance as grey, its alpha kept: the shape stays, the colour goes.
    static QImage luminance(const QImage &image);
};
