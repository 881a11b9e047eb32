// Feeds arbitrary bytes to the application's reader of the decoding worker's reply, as a worker
// that lies in any field would send them. The first byte says how many sizes were asked to be
// drawn (none: a decode), the next two bytes of each size its sides; the rest is the reply.
#include "source/DecodeWorker.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

QByteArray withSizes(const QList<QSize> &sizes, const QByteArray &reply)
{
    QByteArray input(1, char(sizes.size()));
    for (const QSize &size : sizes)
        input += QByteArray{char(size.width() - 1), char(size.height() - 1)};
    return input + reply;
}

// Honest replies, from the worker's own writer, for the fuzzer to start from.
void writeSeeds(const QString &folder)
{
    QDir().mkpath(folder);
    QImage opaque(3, 2, QImage::Format_RGB32), clear(2, 5, QImage::Format_ARGB32);
    opaque.fill(Qt::red);
    clear.fill(Qt::transparent);
    ImageDecoder::Decoded bitmap{ImageDecoder::Status::Ok, {}, {opaque, clear}, {}, {}, {2, 5},
                                 QColorSpace::DisplayP3};
    ImageDecoder::Decoded drawing{
        ImageDecoder::Status::Ok, {}, {}, "<svg/>", {"Absent"}, {12.5, 7}, {}};
    const ImageDecoder::Decoded failure = ImageDecoder::refused(ImageDecoder::Status::Damaged, "x");
    ImageDecoder::Decoded drawn{ImageDecoder::Status::Ok, {}, {opaque, clear}, {}, {}, {4, 4}, {}};
    const QList<std::pair<ImageDecoder::Decoded, QList<QSize>>> seeds = {
        {bitmap, {}}, {drawing, {}}, {failure, {}}, {failure, {{3, 2}}}, {drawn, {{3, 2}, {2, 5}}}};
    for (qsizetype i = 0; i < seeds.size(); ++i) {
        QByteArray reply;
        QBuffer buffer(&reply);
        buffer.open(QIODevice::WriteOnly);
        DecodeWorker::write(&buffer, seeds[i].first);
        QFile file(QStringLiteral("%1/seed-%2").arg(folder).arg(i));
        if (file.open(QIODevice::WriteOnly))
            file.write(withSizes(seeds[i].second, reply));
    }
    // A 4 by 2 file shrunk by 2 into one premultiplied row of two pixels, then its header.
    QByteArray shrunk("\x04ASMR\x02\0\0\0\x02\0\0\0\x01\0\0\0\x01\0\0\0\x01\0\0\0", 25);
    shrunk += QByteArray(16, '\0') + QByteArray("\x02\0\0\0", 4);
    QByteArray ending;
    QBuffer buffer(&ending);
    buffer.open(QIODevice::WriteOnly);
    ImageDecoder::Decoded header;
    header.status = ImageDecoder::Status::Ok;
    header.size = {4, 2};
    DecodeWorker::writeHeader(&buffer, header, 0);
    QFile file(QStringLiteral("%1/seed-shrunk").arg(folder));
    if (file.open(QIODevice::WriteOnly))
        file.write(shrunk + ending);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (const QString seeds = qEnvironmentVariable("ASSETSMITH_FUZZ_SEEDS"); !seeds.isEmpty())
        writeSeeds(seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const size_t count = size > 0 ? data[0] % 4 : 0;
    if (size < 1 + 2 * count)
        return 0;
    QList<QSize> sizes;
    for (size_t i = 0; i < count; ++i)
        sizes.append(QSize(1 + data[1 + 2 * i] % 16, 1 + data[2 + 2 * i] % 16));
    size_t at = 1 + 2 * count;
    const auto read = [&](char *out, qint64 n) {
        if (n < 0 || size_t(n) > size - at)
            return false;
        if (n > 0)
            std::memcpy(out, data + at, size_t(n));
        at += size_t(n);
        return true;
    };
    // A decode asked with bit 2 of the first byte set takes a stream of shrunken rows too.
    const bool reduced = count == 0 && size > 0 && (data[0] & 4);
    ImageDecoder::Decoded decoded;
    if (!(reduced ? DecodeWorker::readReduced(read, &decoded)
                  : DecodeWorker::read(read, &decoded, sizes)))
        return 0;
    if (decoded.reduction > 1 &&
        (decoded.frames.size() != 1 ||
         decoded.size != QSizeF(decoded.frames[0].size() * decoded.reduction)))
        std::abort();
    // What the application goes on to rely on.
    const bool ok = decoded.status == ImageDecoder::Status::Ok;
    if (!ok && (!decoded.frames.isEmpty() || !decoded.svg.isEmpty()))
        std::abort();
    if (ok && !sizes.isEmpty() && decoded.frames.size() != sizes.size())
        std::abort();
    if (ok && sizes.isEmpty() && decoded.frames.isEmpty() == decoded.svg.isEmpty())
        std::abort();
    for (qsizetype i = 0; i < decoded.frames.size(); ++i) {
        const QImage &frame = decoded.frames[i];
        if (frame.isNull() || (!sizes.isEmpty() && frame.size() != sizes[i]))
            std::abort();
    }
    return 0;
}
