#pragma once

#include "ImageDecoder.h"

#include <QByteArray>
#include <QColorSpace>
#include <QImage>
#include <QList>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class SourceImage;

// The source image as the rest of the product holds it: shared, never changed after loading,
// and absent (null) until something gave an image.
using SourceImagePtr = std::shared_ptr<const SourceImage>;

// A loaded source image: one or several bitmaps (the sizes of an icon file, the pages of a TIFF)
// or a vector drawing that is drawn afresh at every size it is asked for. Files and data are
// decoded, and drawings rendered, in the decoding worker process.
class SourceImage
{
public:
    // What a load gave: an image, or none and a sentence saying why, naming the file.
    struct Loaded
    {
        SourceImagePtr image;
        QString error;
    };

    // A file whose long side is at least twice HeldSide (PNG and JPEG, as RowDecoder takes them)
    // is held shrunk, as it was read, by the largest whole factor that divides both sides and
    // keeps the long side at least HeldSide; `progress` hears of the rows as they arrive.
    static constexpr int HeldSide = 4096;
    // A target is made from the shrunken bitmap when, on each side, it divides that bitmap's
    // side (the two averages then make the one the whole file gives) or is at most this
    // fraction of it (off by a level at most, from where target pixels cut shrunken ones).
    static constexpr int HeldShrink = 16;

    // Setting `cancel` from another thread stops the load; it then gives no image.
    static Loaded fromFile(const QString &path, const std::atomic_bool *cancel = nullptr,
                           const std::function<void(int rows, int of)> &progress = {});
    // Image data, as dropped or pasted; `name` only words the message.
    static Loaded fromData(const QByteArray &data, const QString &name,
                           const std::atomic_bool *cancel = nullptr);
    // An image already decoded by this process.
    static SourceImagePtr fromImage(const QImage &image);
    // A decoder's result, and the sentence for one that gave no image.
    static Loaded fromDecoded(const ImageDecoder::Decoded &decoded, const QString &name);

    // The size the fields show: the largest bitmap's pixel size, or the drawing's own size. This
    // product takes an image's size in points to be its pixel size.
    QSizeF size() const { return m_size; }
    bool isVector() const { return !m_svg.isEmpty(); }
    // A drawing's text as it was read (an SVGZ inflated); empty for a bitmap source.
    QByteArray drawing() const { return m_svg; }

    // The bitmap that fits a target best: the smallest at least as large as the target in both
    // directions, else the largest. Format ARGB32 or RGB32 (opaque), or, from a shrunken file,
    // RGBA64 premultiplied or RGBX64. Null for a vector source. A file held shrunk that cannot
    // give the target as the whole file would is read again whole for it (and kept), as far as
    // memory allows: null when it cannot be.
    QImage bitmapFor(QSize target) const;
    // The same without reading again: what is held, for a picture on screen.
    QImage pictureFor(QSize target) const;
    // The factor the file is held shrunk by; 1 when it is held whole.
    int reduction() const { return m_reduction; }
    // The drawing rendered into exactly each target's pixels, stretched, all in one trip to the
    // decoding worker: the images in the order of `targets`, or none and a sentence saying why.
    // Setting `cancel` from another thread stops the drawing; it then gives none.
    struct Drawn
    {
        QList<QImage> images;
        QString error;
    };
    Drawn renderVector(const QList<QSize> &targets, const std::atomic_bool *cancel = nullptr) const;
    // Font families the drawing's text names that are not installed here.
    QStringList missingFonts() const { return m_missingFonts; }
    // The colour space to tag rendered files with; invalid when they are plain sRGB.
    QColorSpace colorSpace() const { return m_colorSpace; }

private:
    struct WholeFile;
    QList<QImage> m_frames;
    int m_reduction = 1;
    QString m_path;
    std::shared_ptr<WholeFile> m_whole;
    QByteArray m_svg;
    QStringList m_missingFonts;
    QSizeF m_size;
    QColorSpace m_colorSpace;
};
