#include "SourceImage.h"

#include "IsolatedDecoder.h"

#include <QDateTime>
#include <QFileInfo>

#include <mutex>

struct SourceImage::WholeFile
{
    std::mutex mutex;
    bool tried = false;
    QImage image;
    QDateTime modified;
    qint64 bytes = 0;
};

SourceImage::Loaded SourceImage::fromFile(const QString &path, const std::atomic_bool *cancel,
                                          const std::function<void(int rows, int of)> &progress)
{
    Loaded loaded =
        fromDecoded(IsolatedDecoder::decodeFileReduced(path, HeldSide, cancel, progress),
                    QFileInfo(path).fileName());
    if (loaded.image && loaded.image->m_reduction > 1) {
        auto held = std::const_pointer_cast<SourceImage>(loaded.image);
        const QFileInfo info(path);
        held->m_path = info.absoluteFilePath();
        held->m_whole = std::make_shared<WholeFile>();
        held->m_whole->modified = info.lastModified();
        held->m_whole->bytes = info.size();
    }
    return loaded;
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
    source->m_reduction = decoded.frames.size() == 1 ? std::max(decoded.reduction, 1) : 1;
    return {source, {}};
}

QImage SourceImage::bitmapFor(QSize target) const
{
    if (m_reduction == 1 || !m_whole)
        return pictureFor(target);
    const QImage &held = m_frames.first();
    auto fits = [](int side, int wanted) {
        return wanted >= 1 && (side % wanted == 0 || side >= HeldShrink * qint64(wanted));
    };
    if (fits(held.width(), target.width()) && fits(held.height(), target.height()))
        return held;
    const std::lock_guard lock(m_whole->mutex);
    if (!m_whole->tried) {
        m_whole->tried = true;
        // The file is taken only as it was when it was first read.
        const QFileInfo info(m_path);
        const ImageDecoder::Decoded whole =
            info.lastModified() == m_whole->modified && info.size() == m_whole->bytes
                ? IsolatedDecoder::decodeFile(m_path)
                : ImageDecoder::refused(ImageDecoder::Status::NotImage, {});
        if (whole.status == ImageDecoder::Status::Ok && whole.frames.size() == 1 &&
            whole.size == m_size && whole.colorSpace == m_colorSpace)
            m_whole->image = whole.frames.first();
    }
    return m_whole->image;
}

QImage SourceImage::pictureFor(QSize target) const
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
