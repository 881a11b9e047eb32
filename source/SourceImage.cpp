#include "SourceImage.h"

#include "IsolatedDecoder.h"

#include <QFileInfo>

SourceImage::Loaded SourceImage::fromFile(const QString &path, const std::atomic_bool *cancel)
{
    return fromDecoded(IsolatedDecoder::decodeFile(path, cancel), QFileInfo(path).fileName());
}

SourceImage::Loaded SourceImage::fromData(const QByteArray &data, const QString &name,
                                          const std::atomic_bool *cancel)
{
    return fromDecoded(IsolatedDecoder::decodeData(data, cancel), name);
}

SourceImagePtr SourceImage::fromImage(const QImage &image)
{
    if (image.isNull())
        return nullptr;
    auto source = std::make_shared<SourceImage>();
    source->m_frames.append(image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                          : QImage::Format_RGB32));
    source->m_size = QSizeF(image.size());
    return source;
}

SourceImage::Loaded SourceImage::fromDecoded(const ImageDecoder::Decoded &decoded,
                                             const QString &name)
{
    using Status = ImageDecoder::Status;
    const QString why =
        decoded.reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(decoded.reason);
    switch (decoded.status) {
    case Status::Ok:
        break;
    case Status::NotImage:
        return {nullptr, QStringLiteral("“%1” is not an image this program can read.").arg(name)};
    case Status::Damaged:
        return {nullptr,
                QStringLiteral("Could not read “%1”: the file is damaged%2.").arg(name, why)};
    case Status::TooLarge:
        return {nullptr, QStringLiteral("Could not read “%1”: it is too large%2.").arg(name, why)};
    case Status::TookTooLong:
        return {nullptr,
                QStringLiteral("Could not read “%1”: reading it took too long.").arg(name)};
    case Status::Cancelled:
        return {nullptr, QStringLiteral("Stopped reading “%1”.").arg(name)};
    }
    if (decoded.frames.isEmpty() && decoded.svg.isEmpty())
        return {nullptr, QStringLiteral("“%1” is not an image this program can read.").arg(name)};
    auto source = std::make_shared<SourceImage>();
    source->m_frames = decoded.frames;
    source->m_svg = decoded.svg;
    source->m_missingFonts = decoded.missingFonts;
    source->m_size = decoded.size;
    source->m_colorSpace = decoded.colorSpace;
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

SourceImage::Drawn SourceImage::renderVector(const QList<QSize> &targets,
                                             const std::atomic_bool *cancel) const
{
    if (m_svg.isEmpty())
        return {{}, QStringLiteral("the source is not a drawing")};
    const ImageDecoder::Decoded decoded = IsolatedDecoder::renderSvg(m_svg, targets, cancel);
    if (decoded.status != ImageDecoder::Status::Ok)
        return {{}, decoded.reason};
    return {decoded.frames, {}};
}
