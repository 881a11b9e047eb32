#include "DecodeWorker.h"

#include "ProcessLimits.h"

#include <QFile>
#include <QGuiApplication>
#include <QtEndian>

#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>

namespace {

constexpr quint32 Magic = 0x574d5341; // "ASMW"
constexpr quint32 MaxText = 1 << 16;
constexpr quint32 MaxProfile = 4 << 20;
constexpr int OutOfMemoryExit = 3;

bool putU32(QIODevice *out, quint32 value)
{
    const quint32 le = qToLittleEndian(value);
    return out->write(reinterpret_cast<const char *>(&le), 4) == 4;
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

QByteArray readAllInput(qint64 limit)
{
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return {};
    return in.read(limit + 1);
}

[[noreturn]] void outOfMemory()
{
    std::_Exit(OutOfMemoryExit);
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

    const QByteArray mode = argc >= 3 ? QByteArray(argv[2]) : QByteArray();
    if (!(mode == "decode" && argc >= 4) && !(mode == "render" && argc >= 5))
        return 2;

    ImageDecoder::Decoded decoded;
    QByteArray input;
    bool haveInput = true;
    if (mode == "decode" && QByteArray(argv[3]) != "-") {
        QFile file(QFile::decodeName(argv[3]));
        if (!file.open(QIODevice::ReadOnly)) {
            decoded.status = ImageDecoder::Status::NotImage;
            decoded.reason = file.errorString();
            haveInput = false;
        } else if (file.size() > ImageDecoder::MaxFileBytes) {
            decoded.status = ImageDecoder::Status::TooLarge;
            decoded.reason = QStringLiteral("the file is larger than 512 MiB");
            haveInput = false;
        } else {
            input = file.readAll();
        }
    } else {
        input = readAllInput(mode == "render" ? qint64(64) << 20 : ImageDecoder::MaxFileBytes);
    }

    // Drawings need fonts, so they get a GUI application, on no screen. Bitmaps need none, and
    // starting one (platform plugin, theme, font configuration) would cost most of a small
    // source's load time.
    std::optional<QGuiApplication> application;
    int appArgc = 1;
    if (haveInput && (mode == "render" || ImageDecoder::isDrawing(input))) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application.emplace(appArgc, argv);
    }

    if (haveInput && mode == "decode") {
        decoded = ImageDecoder::decode(input);
    } else if (haveInput) {
        const QSize size(QByteArray(argv[3]).toInt(), QByteArray(argv[4]).toInt());
        const QImage image = ImageDecoder::renderSvg(input, size);
        decoded.status = image.isNull() ? ImageDecoder::Status::Damaged : ImageDecoder::Status::Ok;
        if (!image.isNull())
            decoded.frames.append(image);
        decoded.size = QSizeF(size);
    }

    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly) || !write(&out, decoded))
        return 1;
    out.flush();
    return 0;
}

bool DecodeWorker::write(QIODevice *out, const ImageDecoder::Decoded &decoded)
{
    bool ok = putU32(out, Magic) && putU32(out, quint32(decoded.status)) &&
              putBytes(out, decoded.reason.left(int(MaxText / 4)).toUtf8()) &&
              putDouble(out, decoded.size.width()) && putDouble(out, decoded.size.height()) &&
              putBytes(out, decoded.colorSpace.isValid() ? decoded.colorSpace.iccProfile()
                                                         : QByteArray()) &&
              putBytes(out, decoded.svg) && putU32(out, quint32(decoded.frames.size()));
    for (const QImage &frame : decoded.frames) {
        ok = ok && putU32(out, quint32(frame.width())) && putU32(out, quint32(frame.height())) &&
             putU32(out, frame.hasAlphaChannel() ? 1 : 0);
        for (int y = 0; ok && y < frame.height(); ++y) {
            const qint64 bytes = qint64(frame.width()) * 4;
            ok = out->write(reinterpret_cast<const char *>(frame.constScanLine(y)), bytes) == bytes;
        }
    }
    return ok;
}

bool DecodeWorker::read(const ReadExactly &read, ImageDecoder::Decoded *decoded)
{
    quint32 magic, status, frames;
    QByteArray reason, profile;
    double width, height;
    if (!getU32(read, &magic) || magic != Magic || !getU32(read, &status) ||
        status > quint32(ImageDecoder::Status::TookTooLong) || !getBytes(read, MaxText, &reason) ||
        !getDouble(read, &width) || !getDouble(read, &height) ||
        !getBytes(read, MaxProfile, &profile) ||
        !getBytes(read, quint32(ImageDecoder::MaxFileBytes), &decoded->svg) ||
        !getU32(read, &frames) || frames > quint32(ImageDecoder::MaxFrames))
        return false;
    decoded->status = ImageDecoder::Status(status);
    decoded->reason = QString::fromUtf8(reason);
    decoded->size = QSizeF(width, height);
    if (!profile.isEmpty())
        decoded->colorSpace = QColorSpace::fromIccProfile(profile);
    qint64 pixels = 0;
    for (quint32 i = 0; i < frames; ++i) {
        quint32 w, h, alpha;
        if (!getU32(read, &w) || !getU32(read, &h) || !getU32(read, &alpha) || w == 0 || h == 0 ||
            w > quint32(ImageDecoder::MaxSide) || h > quint32(ImageDecoder::MaxSide))
            return false;
        pixels += qint64(w) * h;
        if (pixels > ImageDecoder::MaxPixels)
            return false;
        QImage frame(int(w), int(h), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        if (frame.isNull())
            return false;
        for (int y = 0; y < frame.height(); ++y) {
            if (!read(reinterpret_cast<char *>(frame.scanLine(y)), qint64(w) * 4))
                return false;
        }
        if (decoded->colorSpace.isValid())
            frame.setColorSpace(decoded->colorSpace);
        decoded->frames.append(std::move(frame));
    }
    return true;
}
