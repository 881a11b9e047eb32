#pragma once

#include "ImageLimits.h"

#include <QByteArray>
#include <QColorSpace>
#include <QImage>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

// Turns file bytes into bitmaps or a safe drawing, refusing what would exhaust memory and what is
// damaged instead of inventing pixels. It runs inside the decoding worker process; nothing here
// may be trusted to survive hostile input, which is why the worker is a process of its own.
class ImageDecoder
{
public:
    // As 8-bit RGBA, ImageLimits::MaxPixels need exactly this much; Qt's decoders may take no
    // more.
    static constexpr int AllocationLimitMB = 1024;

    // Cancelled is never sent by the worker: the parent stopped waiting for it.
    enum class Status { Ok, NotImage, Damaged, TooLarge, TookTooLong, Cancelled };

    struct Decoded
    {
        Status status = Status::NotImage;
        QString reason;           // why, for any status but Ok
        QList<QImage> frames;     // ARGB32 or RGB32
        QByteArray svg;           // a drawing's text instead of frames
        QStringList missingFonts; // families the drawing's text names but this system lacks
        QSizeF size;              // the size the fields show
        QColorSpace colorSpace;   // invalid for plain sRGB
        // Above 1, the one frame is the file shrunk by this factor, premultiplied (RGBA64) or
        // opaque (RGBX64) at 16 bits a channel; `size` stays the file's.
        int reduction = 1;
    };

    static Decoded decode(const QByteArray &data);

    // Lowers how much a decoder may allocate (in MiB, at most AllocationLimitMB): a fuzzer
    // needs its speed more than gigabyte images.
    static void setAllocationLimit(int megabytes);

    static QString tooLargeFileReason();
    // A result that gives no image, and why.
    static Decoded refused(Status status, const QString &reason);
};
