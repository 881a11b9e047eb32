#pragma once

#include <QSize>
#include <QtGlobal>

// The largest images this product reads or makes, the same on both sides of the decoding
// worker: beyond them a file is refused and a render gives nothing, rather than exhausting
// memory.
class ImageLimits
{
public:
    static constexpr int MaxSide = 16384;
    // As 8-bit RGBA these need 1 GiB.
    static constexpr qint64 MaxPixels = qint64(1) << 28;
    static constexpr qint64 MaxFileBytes = qint64(512) << 20;
    // Sizes in one icon file, pages of one TIFF.
    static constexpr int MaxFrames = 64;
    // A drawing's own size becomes whole pixel counts in the fields; beyond this they could not
    // hold it.
    static constexpr double MaxDrawingSide = 1 << 30;

    // Whether a width and height (NaN included) are at least 1 and within the limits.
    static constexpr bool fits(double width, double height)
    {
        return width >= 1.0 && height >= 1.0 && width <= MaxSide && height <= MaxSide &&
               width * height <= double(MaxPixels);
    }
    static constexpr bool fits(QSize size) { return fits(size.width(), size.height()); }
};
