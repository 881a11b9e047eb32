#include "Renderer.h"

#include "Resampler.h"
#include "platform/DigitText.h"

#include <cmath>

bool Renderer::canRender(double width, double height)
{
    if (!(width >= 1.0 && height >= 1.0)) // also false for NaN
        return false;
    if (width > MaxSide || height > MaxSide)
        return false;
    return width * height <= double(MaxPixels);
}

QImage Renderer::render(const SourceImage *source, QSizeF target, int threads)
{
    if (!source || !canRender(target.width(), target.height()))
        return {};
    const QSize pixels(DigitText::roundToInt32(target.width()),
                       DigitText::roundToInt32(target.height()));
    QImage image = source->isVector()
                       ? source->renderVector(pixels)
                       : Resampler::resample(source->bitmapFor(pixels), pixels.width(),
                                             pixels.height(), threads);
    if (!image.isNull() && source->colorSpace().isValid())
        image.setColorSpace(source->colorSpace());
    return image;
}
