#include "ImageDecoder.h"

#include "SvgDrawing.h"

#include <QBuffer>
#include <QImageReader>

namespace {

using Status = ImageDecoder::Status;

// Qt's decoders report a damaged or cut-off file only as a warning and hand back what they had,
// the rest filled in; the worker listens for those warnings.
thread_local QStringList *capturedWarnings = nullptr;
int allocationLimit = ImageDecoder::AllocationLimitMB;
QtMessageHandler previousHandler = nullptr;

void captureWarning(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (capturedWarnings && type != QtDebugMsg && type != QtInfoMsg) {
        capturedWarnings->append(message);
        return;
    }
    if (previousHandler)
        previousHandler(type, context, message);
}

class WarningCapture
{
public:
    WarningCapture()
    {
        capturedWarnings = &warnings;
        previousHandler = qInstallMessageHandler(captureWarning);
    }
    ~WarningCapture()
    {
        qInstallMessageHandler(previousHandler);
        capturedWarnings = nullptr;
    }
    QStringList warnings;
};

bool mentionsDamage(const QStringList &warnings)
{
    static const char *const signs[] = {
        "premature", "truncat",    "corrupt",   "incomplete", "crc",        "invalid",    "bad ",
        "error",     "not enough", "too short", "extraneous", "unexpected", "end of file"};
    for (const QString &warning : warnings) {
        const QString w = warning.toLower();
        if (w.contains(QLatin1String("allocation limit")) ||
            w.contains(QLatin1String("out of memory")))
            continue;
        for (const char *sign : signs) {
            if (w.contains(QLatin1String(sign)))
                return true;
        }
    }
    return false;
}

bool mentionsAllocationLimit(const QStringList &warnings)
{
    for (const QString &warning : warnings) {
        if (warning.contains(QLatin1String("allocation limit"), Qt::CaseInsensitive) ||
            warning.contains(QLatin1String("out of memory"), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// Ends that a complete file of the format always has; a download cut short lacks them.
QString missingEnd(const QByteArray &format, const QByteArray &data)
{
    if (format == "png" && !data.contains(QByteArray("IEND", 4)))
        return QStringLiteral("it ends before its last chunk");
    if (format == "jpeg") {
        const qsizetype end = data.lastIndexOf(QByteArray("\xff\xd9", 2));
        if (end < 0 || end < data.lastIndexOf(QByteArray("\xff\xda", 2)))
            return QStringLiteral("it ends before its end marker");
    }
    if (format == "gif") {
        qsizetype last = data.size() - 1;
        while (last >= 0 && data[last] == '\0')
            --last;
        if (last < 0 || data[last] != ';')
            return QStringLiteral("it ends before its trailer");
    }
    if (format == "webp" && data.size() >= 8) {
        const quint32 riff = quint32(uchar(data[4])) | quint32(uchar(data[5])) << 8 |
                             quint32(uchar(data[6])) << 16 | quint32(uchar(data[7])) << 24;
        if (qint64(riff) + 8 > data.size())
            return QStringLiteral("it is shorter than its header says");
    }
    return {};
}

bool tooLarge(QSize size)
{
    return !ImageLimits::fits(size);
}

QImage normalised(QImage image)
{
    const QImage::Format format =
        image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    if (image.format() != format)
        image = image.convertToFormat(format);
    return image;
}

bool isDrawingFormat(const QByteArray &format, const QByteArray &data)
{
    return format == "svg" || format == "svgz" ||
           (format.isEmpty() && SvgDrawing::looksLikeSvg(data));
}

ImageDecoder::Decoded decodeSvg(const QByteArray &data)
{
    const SvgDrawing drawing(data);
    switch (drawing.failure()) {
    case SvgDrawing::Failure::None:
        break;
    case SvgDrawing::Failure::NotSvg:
        return ImageDecoder::refused(Status::NotImage, drawing.reason());
    case SvgDrawing::Failure::TooLarge:
        return ImageDecoder::refused(Status::TooLarge, drawing.reason());
    case SvgDrawing::Failure::Damaged:
    case SvgDrawing::Failure::NoSize:
        return ImageDecoder::refused(Status::Damaged, drawing.reason());
    }
    // A drawing the renderer refuses (a reference cycle, say) is told now, not at export.
    if (drawing.render(QSize(16, 16)).isNull())
        return ImageDecoder::refused(Status::Damaged,
                                     QStringLiteral("the drawing cannot be drawn"));
    ImageDecoder::Decoded decoded;
    decoded.status = Status::Ok;
    decoded.svg = drawing.xml();
    decoded.size = drawing.size();
    decoded.missingFonts = drawing.missingFonts();
    return decoded;
}

} // namespace

ImageDecoder::Decoded ImageDecoder::decode(const QByteArray &data)
{
    if (data.size() > ImageLimits::MaxFileBytes)
        return refused(Status::TooLarge, tooLargeFileReason());
    if (data.isEmpty())
        return refused(Status::NotImage, QStringLiteral("the file is empty"));

    WarningCapture capture;
    QImageReader::setAllocationLimit(allocationLimit);
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QByteArray format = reader.format();
    if (isDrawingFormat(format, data))
        return decodeSvg(data);
    if (format.isEmpty())
        return refused(Status::NotImage, {});
    if (const QString end = missingEnd(format, data); !end.isEmpty())
        return refused(Status::Damaged, end);

    Decoded decoded;
    // Only files made of several sizes or pages offer a choice; an animation gives its first frame.
    const bool severalImages = format == "ico" || format == "icns" || format == "tiff";
    const int count = severalImages ? qBound(1, reader.imageCount(), ImageLimits::MaxFrames) : 1;
    qint64 pixels = 0;
    for (int i = 0; i < count; ++i) {
        if (i > 0 && !reader.jumpToNextImage())
            break;
        const QSize header = reader.size();
        if (header.isValid() && tooLarge(header))
            return refused(
                Status::TooLarge,
                QStringLiteral("it is %1 by %2 pixels").arg(header.width()).arg(header.height()));
        QImage image = reader.read();
        if (mentionsAllocationLimit(capture.warnings))
            return refused(Status::TooLarge, QStringLiteral("decoding it needs more than 1 GiB"));
        if (image.isNull()) {
            if (i > 0)
                break;
            // A decoder that could not get its memory says only that it could not read.
            if (header.isValid() && QImage(header, QImage::Format_ARGB32).isNull())
                return refused(Status::TooLarge,
                               QStringLiteral("there is not enough memory to decode it"));
            return refused(reader.error() == QImageReader::UnsupportedFormatError ? Status::NotImage
                                                                                  : Status::Damaged,
                           reader.errorString());
        }
        if (mentionsDamage(capture.warnings))
            return refused(Status::Damaged, capture.warnings.first());
        if (tooLarge(image.size()))
            return refused(
                Status::TooLarge,
                QStringLiteral("it is %1 by %2 pixels").arg(image.width()).arg(image.height()));
        pixels += qint64(image.width()) * image.height();
        if (pixels > ImageLimits::MaxPixels)
            return refused(Status::TooLarge, QStringLiteral("its images hold too many pixels"));
        // Qt reads only RGB profiles: a grey or CMYK source arrives without one, its values
        // taken as sRGB.
        const QColorSpace space = image.colorSpace();
        if (decoded.frames.isEmpty() && space.isValid() && space != QColorSpace(QColorSpace::SRgb))
            decoded.colorSpace = space;
        decoded.frames.append(normalised(std::move(image)));
    }
    qint64 largestArea = -1;
    for (const QImage &frame : std::as_const(decoded.frames)) {
        if (qint64(frame.width()) * frame.height() > largestArea) {
            largestArea = qint64(frame.width()) * frame.height();
            decoded.size = QSizeF(frame.size());
        }
    }
    decoded.status = Status::Ok;
    return decoded;
}

void ImageDecoder::setAllocationLimit(int megabytes)
{
    allocationLimit = qBound(1, megabytes, AllocationLimitMB);
}

QString ImageDecoder::tooLargeFileReason()
{
    return QStringLiteral("the file is larger than %1 MiB").arg(ImageLimits::MaxFileBytes >> 20);
}

ImageDecoder::Decoded ImageDecoder::refused(Status status, const QString &reason)
{
    Decoded decoded;
    decoded.status = status;
    decoded.reason = reason;
    return decoded;
}
