#pragma once

#include <QByteArray>
#include <QImage>

// Encodes a rendered image as one PNG file, losslessly. An image whose every pixel is opaque is
// written without an alpha channel: App Store upload refuses an icon with one even when nothing
// in it is transparent.
class PngEncoder
{
public:
    // Empty for a null image. The image data is filtered and deflated in pieces spread over
    // `threads` threads (0: one per core); the bytes are the same whatever the count.
    // `opaque`, when given, tells whether the image was written without alpha.
    static QByteArray encode(const QImage &image, int threads = 0, bool *opaque = nullptr);

    static bool isOpaque(const QImage &image);
};
