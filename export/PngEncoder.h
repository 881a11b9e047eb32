#pragma once

#include <QByteArray>
#include <QImage>

// Encodes a rendered image as one PNG file, losslessly. An image whose every pixel is opaque is
// written without an alpha channel: App Store upload refuses an icon with one even when nothing
// in it is transparent.
class PngEncoder
{
public:
    // Empty for a null image.
    static QByteArray encode(const QImage &image);

    static bool isOpaque(const QImage &image);
};
