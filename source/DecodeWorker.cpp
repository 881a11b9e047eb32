#include "DecodeWorker.h"

#include "platform/ProcessLimits.h"
#include "LayeredDrawing.h"
#include "RowDecoder.h"
#include "RowReducer.h"
#include "SvgDrawing.h"

#include <QBuffer>
#include <QFile>
#include <QStringDecoder>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <semaphore>
#include <thread>
#include <vector>

namespace {

constexpr quint32 Magic = 0x574d5341;        // "ASMW"
constexpr quint32 ReducedMagic = 0x524d5341; // "ASMR"
constexpr quint32 RowTag = 1;
constexpr quint32 EndTag = 2;
constexpr quint32 MaxText = 1 << 16;
constexpr quint32 MaxProfile = 4 << 20;

bool putU32(QIODevice *out, quint32 value)
{
    const quint32 le = qToLittleEndian(value);
    return out->write(reinterpret_cast<const char *>(&le), 4) == 4;
}

bool putU64(QIODevice *out, quint64 value)
{
    const quint64 le = qToLittleEndian(value);
    return out->write(reinterpret_cast<const char *>(&le), 8) == 8;
}

bool putBytes(QIODevice *out, const QByteArray &bytes)
{
    return putU32(out, quint32(bytes.size())) && out->write(bytes) == bytes.size();
}

bool putDouble(QIODevice *out, double value)
{
    quint64 bits;
    std::memcpy(&bits, &value, 8);
    bits = qToLittleEndian(bits);
    return out->write(reinterpret_cast<const char *>(&bits), 8) == 8;
}

bool getU32(const DecodeWorker::ReadExactly &read, quint32 *value)
{
    quint32 le;
    if (!read(reinterpret_cast<char *>(&le), 4))
        return false;
    *value = qFromLittleEndian(le);
    return true;
}

bool getBytes(const DecodeWorker::ReadExactly &read, quint32 limit, QByteArray *bytes)
{
    quint32 size;
    if (!getU32(read, &size) || size > limit)
        return false;
    bytes->resize(qsizetype(size));
    return read(bytes->data(), size);
}

bool getDouble(const DecodeWorker::ReadExactly &read, double *value)
{
    quint64 bits;
    if (!read(reinterpret_cast<char *>(&bits), 8))
        return false;
    bits = qFromLittleEndian(bits);
    std::memcpy(value, &bits, 8);
    return true;
}

// Every byte up to the end of input, or up to one past `limit`: a pipe hands data over in parts,
// and one read returns only the first.
QByteArray readAllInput(qint64 limit)
{
    QByteArray data;
    char chunk[1 << 16];
    while (data.size() <= limit) {
        const size_t n = std::fread(chunk, 1, sizeof chunk, stdin);
        if (n == 0)
            break;
        data.append(chunk, qsizetype(n));
    }
    return data;
}

// As QString::toUtf8 writes it: well-formed, whatever the text held.
bool isUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    return !decoder.hasError();
}

bool isHeaderHonest(ImageDecoder::Status status, const QByteArray &reason, QSizeF size,
                    const QByteArray &profile, const QByteArray &svg, const QByteArray &fonts,
                    quint32 frames, const QList<QSize> &expected, bool framesFollowed)
{
    if (!isUtf8(reason) || !isUtf8(fonts))
        return false;
    if (status != ImageDecoder::Status::Ok)
        return size.width() == -1 && size.height() == -1 && profile.isEmpty() && svg.isEmpty() &&
               fonts.isEmpty() && frames == 0;
    if (!reason.isEmpty() || !(size.width() > 0 && size.height() > 0) ||
        size.width() > ImageLimits::MaxDrawingSide || size.height() > ImageLimits::MaxDrawingSide)
        return false;
    if (!fonts.isEmpty() && (svg.isEmpty() || fonts.split('\n').contains(QByteArray())))
        return false;
    if (!expected.isEmpty())
        return profile.isEmpty() && svg.isEmpty() && frames == quint32(expected.size());
    if (!svg.isEmpty())
        return profile.isEmpty() && frames == 0 && !framesFollowed;
    if (framesFollowed)
        return frames == 0 && fonts.isEmpty() &&
               (profile.isEmpty() || QColorSpace::fromIccProfile(profile).isValid());
    return frames >= 1 && frames <= quint32(ImageLimits::MaxFrames) &&
           (profile.isEmpty() || QColorSpace::fromIccProfile(profile).isValid());
}

[[noreturn]] void outOfMemory()
{
    std::_Exit(DecodeWorker::OutOfMemoryExit);
}

// "WxH", each side at least 1 and within the decoder's limits.
QList<QSize> parseSizes(int argc, char **argv, int first)
{
    QList<QSize> sizes;
    for (int i = first; i < argc; ++i) {
        const QList<QByteArray> sides = QByteArray(argv[i]).split('x');
        bool okW = false, okH = false;
        const int w = sides.size() == 2 ? sides[0].toInt(&okW) : 0;
        const int h = sides.size() == 2 ? sides[1].toInt(&okH) : 0;
        if (!okW || !okH || !ImageLimits::fits(QSize(w, h)))
            return {};
        sizes.append(QSize(w, h));
    }
    return sizes;
}

// The file shrunk as its rows are read, each shrunken row sent as soon as it is complete; no
// value when the file is not one to read so. A file that fails on a row still ends the stream
// with its reason, and the reader drops the rows it had.
std::optional<bool> streamReduced(QIODevice *out, const char *path, int side)
{
    RowDecoder rows(QFile::decodeName(path));
    const int factor = rows.isReadable() ? DecodeWorker::reductionFor(rows.size(), side) : 1;
    if (factor < 2)
        return std::nullopt;
    const QSize size = rows.size();
    RowReducer reducer(size.width(), size.height(), factor, !rows.hasAlpha());
    bool ok = putU32(out, ReducedMagic) && putU32(out, quint32(factor)) &&
              putU32(out, quint32(reducer.width())) && putU32(out, quint32(reducer.height())) &&
              putU32(out, rows.hasAlpha() ? 1 : 0);
    ImageDecoder::Decoded result;
    result.status = ImageDecoder::Status::Ok;
    result.size = QSizeF(size);
    result.colorSpace = rows.colorSpace();
    // The library inflates the next band of `factor` rows while the last one is averaged and
    // sent, on a second thread: two bands in turn, each handed over by a semaphore.
    const size_t band = size_t(size.width()) * size_t(factor);
    std::vector<QRgb> bands[2] = {std::vector<QRgb>(band), std::vector<QRgb>(band)};
    // Room for the one extra release that wakes an averager when sending failed.
    std::counting_semaphore<4> free(2), ready(0);
    std::atomic_bool stopped = !ok, sent = ok;
    std::thread averager([&] {
        for (int b = 0; b < reducer.height(); ++b) {
            ready.acquire();
            if (stopped)
                return;
            const QRgb *rowsOf = bands[b % 2].data();
            for (int r = 0; r < factor; ++r)
                reducer.addRow(rowsOf + size_t(r) * size_t(size.width()));
            const qint64 bytes = qint64(reducer.width()) * 8;
            if (!putU32(out, RowTag) ||
                out->write(reinterpret_cast<const char *>(reducer.row()), bytes) != bytes) {
                sent = false;
                stopped = true;
            }
            free.release();
        }
    });
    for (int b = 0; sent && b < reducer.height(); ++b) {
        free.acquire();
        QRgb *rowsOf = bands[b % 2].data();
        for (int r = 0; r < factor; ++r) {
            if (!rows.readRow(rowsOf + size_t(r) * size_t(size.width()))) {
                result = ImageDecoder::refused(ImageDecoder::Status::Damaged, rows.reason());
                stopped = true;
                break;
            }
        }
        ready.release();
        if (stopped)
            break;
    }
    if (!sent)
        ready.release(); // an averager that stopped first waits for nothing more
    averager.join();
    ok = sent;
    if (result.status == ImageDecoder::Status::Ok && !rows.finish())
        result = ImageDecoder::refused(ImageDecoder::Status::Damaged, rows.reason());
    return ok && putU32(out, EndTag) && DecodeWorker::writeHeader(out, result, 0);
}

} // namespace

bool DecodeWorker::isRequested(int argc, char **argv)
{
    return argc >= 2 && std::strcmp(argv[1], Argument) == 0;
}

int DecodeWorker::run(int argc, char **argv)
{
    ProcessLimits::useBinaryStandardStreams();
    ProcessLimits::enlargeOutputPipe();
    std::set_new_handler(outOfMemory);
    ProcessLimits::limitMemory(qgetenv("ASSETSMITH_WORKER_MEMORY_MB").toLongLong() << 20);

    QByteArray mode = argc >= 3 ? QByteArray(argv[2]) : QByteArray();
    const QList<QSize> sizes = mode == "render" ? parseSizes(argc, argv, 3) : QList<QSize>();
    bool sideOk = false;
    const int side = mode == "reduce" && argc == 5 ? QByteArray(argv[3]).toInt(&sideOk) : 0;
    if (!(mode == "decode" && argc == 4) && !(mode == "render" && !sizes.isEmpty()) &&
        !(mode == "split" && argc == 3) && !(sideOk && side >= 1 && QByteArray(argv[4]) != "-"))
        return 2;

    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly))
        return 1;
    auto finish = [&out](bool ok) {
        out.flush();
        return ok ? 0 : 1;
    };

    if (mode == "reduce") {
        if (const std::optional<bool> streamed = streamReduced(&out, argv[4], side))
            return finish(*streamed);
        // Not a file for the row by row path: the plain result, from the same file.
        mode = "decode";
        argv[3] = argv[4];
    }

    QByteArray input;
    if (mode == "decode" && QByteArray(argv[3]) != "-") {
        QFile file(QFile::decodeName(argv[3]));
        if (!file.open(QIODevice::ReadOnly))
            return finish(write(
                &out, ImageDecoder::refused(ImageDecoder::Status::NotImage, file.errorString())));
        if (file.size() > ImageLimits::MaxFileBytes)
            return finish(write(&out, ImageDecoder::refused(ImageDecoder::Status::TooLarge,
                                                            ImageDecoder::tooLargeFileReason())));
        input = file.readAll();
    } else if (!unframe(readAllInput(ImageLimits::MaxFileBytes + 16), ImageLimits::MaxFileBytes,
                        &input)) {
        return finish(
            write(&out, ImageDecoder::refused(ImageDecoder::Status::Damaged,
                                              QStringLiteral("the image reader received it cut "
                                                             "short"))));
    }

    if (mode == "decode")
        return finish(write(&out, ImageDecoder::decode(input)));
    if (mode == "split")
        return finish(writeSplit(&out, LayeredDrawing::splitSerialised(input)));

    // One drawing, parsed once, drawn at every size asked for; each picture leaves as soon as
    // it is drawn, so only one is held at a time.
    const SvgDrawing drawing(input);
    ImageDecoder::Decoded header;
    header.status = drawing.failure() == SvgDrawing::Failure::None ? ImageDecoder::Status::Ok
                                                                   : ImageDecoder::Status::Damaged;
    header.reason = drawing.reason();
    header.size = drawing.size();
    if (header.status != ImageDecoder::Status::Ok)
        return finish(write(&out, header));
    bool ok = writeHeader(&out, header, int(sizes.size()));
    for (const QSize &size : sizes) {
        // A size it could not be drawn at goes out as an empty picture, which ends the reading.
        const QImage image = drawing.render(size);
        ok = ok && writeFrame(&out, image);
        if (image.isNull())
            break;
    }
    return finish(ok);
}

QByteArray DecodeWorker::frame(const QByteArray &data)
{
    QByteArray framed;
    framed.reserve(data.size() + 12);
    QBuffer buffer(&framed);
    buffer.open(QIODevice::WriteOnly);
    putU32(&buffer, Magic);
    putU64(&buffer, quint64(data.size()));
    buffer.write(data);
    return framed;
}

bool DecodeWorker::unframe(const QByteArray &framed, qint64 limit, QByteArray *data)
{
    if (framed.size() < 12)
        return false;
    // Byte by byte: the compiler cannot see that the size was checked for a wider read.
    auto little = [&framed](int at, int bytes) {
        quint64 value = 0;
        for (int i = bytes - 1; i >= 0; --i)
            value = value << 8 | uchar(framed.at(at + i));
        return value;
    };
    const quint64 magic = little(0, 4);
    const quint64 size = little(4, 8);
    if (magic != Magic || size > quint64(limit) || quint64(framed.size() - 12) != size)
        return false;
    *data = framed.mid(12);
    return true;
}

bool DecodeWorker::writeHeader(QIODevice *out, const ImageDecoder::Decoded &decoded, int frames)
{
    return putU32(out, Magic) && putU32(out, quint32(decoded.status)) &&
           putBytes(out, decoded.reason.left(int(MaxText / 4)).toUtf8()) &&
           putDouble(out, decoded.size.width()) && putDouble(out, decoded.size.height()) &&
           putBytes(out, decoded.colorSpace.isValid() ? decoded.colorSpace.iccProfile()
                                                      : QByteArray()) &&
           putBytes(out, decoded.svg) &&
           putBytes(out,
                    decoded.missingFonts.join(QLatin1Char('\n')).left(int(MaxText / 4)).toUtf8()) &&
           putU32(out, quint32(frames));
}

bool DecodeWorker::writeFrame(QIODevice *out, const QImage &frame)
{
    bool ok = putU32(out, quint32(frame.width())) && putU32(out, quint32(frame.height())) &&
              putU32(out, frame.hasAlphaChannel() ? 1 : 0);
    for (int y = 0; ok && y < frame.height(); ++y) {
        const qint64 bytes = qint64(frame.width()) * 4;
        ok = out->write(reinterpret_cast<const char *>(frame.constScanLine(y)), bytes) == bytes;
    }
    return ok;
}

bool DecodeWorker::write(QIODevice *out, const ImageDecoder::Decoded &decoded)
{
    bool ok = writeHeader(out, decoded, int(decoded.frames.size()));
    for (const QImage &frame : decoded.frames)
        ok = ok && writeFrame(out, frame);
    return ok;
}

bool DecodeWorker::read(const ReadExactly &read, ImageDecoder::Decoded *decoded,
                        const QList<QSize> &expected)
{
    quint32 magic;
    return getU32(read, &magic) && magic == Magic && readAfterMagic(read, decoded, expected);
}

int DecodeWorker::reductionFor(QSize size, int side)
{
    if (!ImageLimits::fits(size) || side < 1)
        return 1;
    const int longSide = std::max(size.width(), size.height());
    for (int factor = longSide / side; factor >= 2; --factor) {
        if (size.width() % factor == 0 && size.height() % factor == 0)
            return factor;
    }
    return 1;
}

bool DecodeWorker::readReduced(const ReadExactly &read, ImageDecoder::Decoded *decoded,
                               const Progress &progress)
{
    quint32 magic;
    if (!getU32(read, &magic))
        return false;
    if (magic == Magic)
        return readAfterMagic(read, decoded, {});
    quint32 factor, width, height, alpha;
    if (magic != ReducedMagic || !getU32(read, &factor) || !getU32(read, &width) ||
        !getU32(read, &height) || !getU32(read, &alpha) || alpha > 1 || factor < 2 || width == 0 ||
        height == 0 || factor > quint32(ImageLimits::MaxSide) ||
        !ImageLimits::fits(QSize(int(std::min<quint64>(quint64(width) * factor, 1u << 30)),
                                 int(std::min<quint64>(quint64(height) * factor, 1u << 30)))))
        return false;
    QImage frame(int(width), int(height),
                 alpha ? QImage::Format_RGBA64_Premultiplied : QImage::Format_RGBX64);
    if (frame.isNull())
        return false;
    quint32 rows = 0, tag;
    for (;;) {
        if (!getU32(read, &tag))
            return false;
        if (tag == EndTag)
            break;
        if (tag != RowTag || rows == height)
            return false;
        auto *line = reinterpret_cast<QRgba64 *>(frame.scanLine(int(rows)));
        if (!read(reinterpret_cast<char *>(line), qint64(width) * 8))
            return false;
        // A premultiplied channel above its alpha, or a clear pixel in an opaque image, is
        // nothing the reducer makes.
        if (!std::all_of(line, line + width, [alpha](QRgba64 p) {
                return alpha ? std::max({p.red(), p.green(), p.blue()}) <= p.alpha()
                             : p.alpha() == 65535;
            }))
            return false;
        ++rows;
        if (progress)
            progress(int(rows), int(height));
    }
    ImageDecoder::Decoded ending;
    if (!getU32(read, &magic) || magic != Magic || !readAfterMagic(read, &ending, {}, true))
        return false;
    if (ending.status != ImageDecoder::Status::Ok) {
        *decoded = ending;
        return true;
    }
    if (rows != height || ending.size != QSizeF(double(width) * factor, double(height) * factor))
        return false;
    if (ending.colorSpace.isValid())
        frame.setColorSpace(ending.colorSpace);
    *decoded = ending;
    decoded->frames = {frame};
    decoded->reduction = int(factor);
    return true;
}

bool DecodeWorker::readAfterMagic(const ReadExactly &read, ImageDecoder::Decoded *decoded,
                                  const QList<QSize> &expected, bool framesFollowed)
{
    using Status = ImageDecoder::Status;
    quint32 status, frames;
    QByteArray reason, profile, svg, fonts;
    double width, height;
    if (!getU32(read, &status) || status > quint32(Status::TookTooLong) ||
        !getBytes(read, MaxText, &reason) || !getDouble(read, &width) ||
        !getDouble(read, &height) || !getBytes(read, MaxProfile, &profile) ||
        !getBytes(read, quint32(ImageLimits::MaxFileBytes), &svg) ||
        !getBytes(read, MaxText, &fonts) || !getU32(read, &frames))
        return false;
    const bool drawing = !expected.isEmpty();
    if (!isHeaderHonest(Status(status), reason, QSizeF(width, height), profile, svg, fonts, frames,
                        expected, framesFollowed))
        return false;
    decoded->status = Status(status);
    decoded->reason = QString::fromUtf8(reason);
    decoded->size = QSizeF(width, height);
    decoded->svg = svg;
    if (!fonts.isEmpty())
        decoded->missingFonts = QString::fromUtf8(fonts).split(QLatin1Char('\n'));
    if (!profile.isEmpty())
        decoded->colorSpace = QColorSpace::fromIccProfile(profile);
    qint64 pixels = 0, largestArea = 0;
    QSize largest;
    for (quint32 i = 0; i < frames; ++i) {
        quint32 w, h, alpha;
        if (!getU32(read, &w) || !getU32(read, &h) || !getU32(read, &alpha) || alpha > 1)
            return false;
        if (drawing && w == 0 && h == 0) {
            decoded->status = Status::Damaged;
            decoded->reason = QStringLiteral("it could not be drawn at %1 by %2 pixels")
                                  .arg(expected[i].width())
                                  .arg(expected[i].height());
            decoded->frames.clear();
            return true;
        }
        if (w == 0 || h == 0 || w > quint32(ImageLimits::MaxSide) ||
            h > quint32(ImageLimits::MaxSide))
            return false;
        if (drawing && QSize(int(w), int(h)) != expected[i])
            return false;
        pixels += qint64(w) * h;
        if (!drawing && pixels > ImageLimits::MaxPixels)
            return false;
        QImage frame(int(w), int(h), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        if (frame.isNull())
            return false;
        for (int y = 0; y < frame.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(frame.scanLine(y));
            if (!read(reinterpret_cast<char *>(line), qint64(w) * 4))
                return false;
            // Qt takes an opaque format's pixels to be opaque without looking.
            if (!alpha && !std::all_of(line, line + w, [](QRgb p) { return qAlpha(p) == 255; }))
                return false;
        }
        if (qint64(w) * h > largestArea) {
            largestArea = qint64(w) * h;
            largest = frame.size();
        }
        if (decoded->colorSpace.isValid())
            frame.setColorSpace(decoded->colorSpace);
        decoded->frames.append(std::move(frame));
    }
    // A bitmap's size is that of its largest frame.
    return drawing || frames == 0 || decoded->size == QSizeF(largest);
}

namespace {

// "ASML": a split is never read as a decode's result, nor the other way round.
constexpr quint32 SplitMagic = 0x4c4d5341;

} // namespace

bool DecodeWorker::writeSplit(QIODevice *out, const QByteArray &split)
{
    return putU32(out, SplitMagic) && putU64(out, quint64(split.size())) &&
           out->write(split) == split.size();
}

bool DecodeWorker::readSplit(const ReadExactly &read, qint64 limit, QByteArray *split)
{
    quint32 magic;
    quint64 size;
    if (!getU32(read, &magic) || magic != SplitMagic || !read(reinterpret_cast<char *>(&size), 8))
        return false;
    size = qFromLittleEndian(size);
    if (size > quint64(std::max<qint64>(limit, 0)))
        return false;
    // In pieces, so that a length no worker sent allocates nothing beyond what arrived.
    split->clear();
    while (quint64(split->size()) < size) {
        const qsizetype piece =
            qsizetype(std::min<quint64>(size - quint64(split->size()), 1 << 20));
        const qsizetype at = split->size();
        split->resize(at + piece);
        if (!read(split->data() + at, piece))
            return false;
    }
    return true;
}
