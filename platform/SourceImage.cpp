#include "SourceImage.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

namespace {

// Straight-alpha 32-bit, or its opaque form. Qt reads only RGB colour profiles; a grey or CMYK
// source arrives without one and its values are taken as sRGB.
QImage normalised(QImage image)
{
    const QImage::Format format =
        image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    if (image.format() != format)
        image = image.convertToFormat(format);
    return image;
}

bool isSvgFormat(const QByteArray &format)
{
    return format == "svg" || format == "svgz";
}

} // namespace

SourceImage::Loaded SourceImage::fromFile(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {nullptr, QStringLiteral("Could not open “%1”: %2.").arg(name, file.errorString())};
    return decode(file.readAll(), name);
}

SourceImage::Loaded SourceImage::fromData(const QByteArray &data, const QString &name)
{
    return decode(data, name);
}

SourceImagePtr SourceImage::fromImage(const QImage &image)
{
    if (image.isNull())
        return nullptr;
    auto source = std::make_shared<SourceImage>();
    source->m_frames.append(normalised(image));
    source->m_size = QSizeF(image.size());
    return source;
}

SourceImage::Loaded SourceImage::decode(const QByteArray &data, const QString &name)
{
    const QString notAnImage =
        QStringLiteral("“%1” is not an image this program can read.").arg(name);
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    // Qt refuses images above 256 MB by default; a 16384 x 16384 RGBA source needs 1024.
    QImageReader::setAllocationLimit(1024);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QByteArray format = reader.format();
    if (format.isEmpty())
        return {nullptr, notAnImage};

    auto source = std::make_shared<SourceImage>();
    if (isSvgFormat(format)) {
        QSvgRenderer renderer(data);
        if (!renderer.isValid() || renderer.defaultSize().isEmpty())
            return {nullptr, notAnImage};
        source->m_svg = data;
        source->m_size = QSizeF(renderer.defaultSize());
        return {source, {}};
    }

    // Only files made of several sizes or pages offer a choice; an animation gives its first frame.
    const bool severalImages = format == "ico" || format == "icns" || format == "tiff";
    const int count = severalImages ? qMax(1, reader.imageCount()) : 1;
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToNextImage())
            break;
        QImage image = reader.read();
        if (image.isNull())
            break;
        const QColorSpace space = image.colorSpace();
        if (source->m_frames.isEmpty() && space.isValid() &&
            space != QColorSpace(QColorSpace::SRgb))
            source->m_colorSpace = space;
        source->m_frames.append(normalised(std::move(image)));
    }
    if (source->m_frames.isEmpty())
        return {nullptr, notAnImage};
    QSize largest;
    for (const QImage &frame : std::as_const(source->m_frames)) {
        if (qint64(frame.width()) * frame.height() > qint64(largest.width()) * largest.height())
            largest = frame.size();
    }
    source->m_size = QSizeF(largest);
    return {source, {}};
}

QImage SourceImage::bitmapFor(QSize target) const
{
    const QImage *best = nullptr;
    const QImage *largest = nullptr;
    for (const QImage &frame : m_frames) {
        const qint64 area = qint64(frame.width()) * frame.height();
        if (!largest || area > qint64(largest->width()) * largest->height())
            largest = &frame;
        const bool coversTarget =
            frame.width() >= target.width() && frame.height() >= target.height();
        if (coversTarget && (!best || area < qint64(best->width()) * best->height()))
            best = &frame;
    }
    if (!best)
        best = largest;
    return best ? *best : QImage();
}

QImage SourceImage::renderVector(QSize target) const
{
    if (m_svg.isEmpty() || target.isEmpty())
        return {};
    QImage image(target, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.fill(Qt::transparent);
    QSvgRenderer renderer(m_svg);
    renderer.setAspectRatioMode(Qt::IgnoreAspectRatio);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(target)));
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

QImage SourceImage::preview(int bound) const
{
    const QSize shown =
        m_size.toSize().scaled(bound, bound, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    if (isVector()) {
        QImage image(shown, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QSvgRenderer renderer(m_svg);
        QPainter painter(&image);
        renderer.render(&painter, QRectF(image.rect()));
        return image;
    }
    const QImage bitmap = bitmapFor(shown);
    if (bitmap.width() <= bound && bitmap.height() <= bound)
        return bitmap;
    return bitmap.scaled(shown, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}
