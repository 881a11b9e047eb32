#include "PngEncoder.h"

#include "Parallel.h"

#include <QColorSpace>
#include <QtEndian>

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Deflate levels. Up to the size of the largest app icon the default level costs a few
// milliseconds per file and writes an icon made from a photo some 10 % smaller than level 1 (the
// fast levels ignore the strategy that suits filtered rows). Above it, level 1 keeps a large image
// set a third faster for some 5 % more bytes.
constexpr int IconLevel = 6;
constexpr qint64 IconPixels = qint64(1024) * 1024;
constexpr int LargeLevel = 1;
// The image data is deflated in pieces of about this many filtered bytes, each on its own
// thread, each primed with the 32 KiB before it so the pieces compress nearly as one stream.
// The cut depends on the image alone, never on the thread count, so the bytes do not either.
constexpr qsizetype PieceBytes = qsizetype(1) << 20;
constexpr qsizetype Window = qsizetype(1) << 15;

void appendU32(QByteArray &out, quint32 value)
{
    const quint32 be = qToBigEndian(value);
    out.append(reinterpret_cast<const char *>(&be), 4);
}

void appendChunk(QByteArray &out, const char type[4], const char *data, qsizetype size)
{
    appendU32(out, quint32(size));
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(data, size);
    uLong crc = crc32(0L, nullptr, 0);
    crc = crc32_z(crc, reinterpret_cast<const Bytef *>(out.constData() + start), size_t(size + 4));
    appendU32(out, quint32(crc));
}

// One row in PNG's byte order (R, G, B[, A]) from straight-alpha ARGB32 or RGB32.
void packRow(const QRgb *in, int width, int channels, uchar *out)
{
    if (channels == 4) {
        for (int x = 0; x < width; ++x) {
            const QRgb p = in[x];
            out[0] = uchar(qRed(p));
            out[1] = uchar(qGreen(p));
            out[2] = uchar(qBlue(p));
            out[3] = uchar(qAlpha(p));
            out += 4;
        }
    } else {
        for (int x = 0; x < width; ++x) {
            const QRgb p = in[x];
            out[0] = uchar(qRed(p));
            out[1] = uchar(qGreen(p));
            out[2] = uchar(qBlue(p));
            out += 3;
        }
    }
}

inline uchar paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return uchar(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}

// Filters one packed row against the one above (null for the first row) into `out`: the filter
// type byte, then the row. The type is the one whose bytes, read as signed, sum smallest in
// magnitude, the usual predictor of how well a row deflates.
void filterRow(const uchar *row, const uchar *above, qsizetype length, int bpp, uchar *out,
               std::vector<uchar> &scratch)
{
    scratch.resize(size_t(length) * 5);
    uchar *const candidates[5] = {scratch.data(), scratch.data() + length,
                                  scratch.data() + 2 * length, scratch.data() + 3 * length,
                                  scratch.data() + 4 * length};
    for (qsizetype i = 0; i < length; ++i) {
        const int x = row[i];
        const int a = i >= bpp ? row[i - bpp] : 0;
        const int b = above ? above[i] : 0;
        const int c = above && i >= bpp ? above[i - bpp] : 0;
        candidates[0][i] = uchar(x);
        candidates[1][i] = uchar(x - a);
        candidates[2][i] = uchar(x - b);
        candidates[3][i] = uchar(x - ((a + b) >> 1));
        candidates[4][i] = uchar(x - paeth(a, b, c));
    }
    int best = 0;
    quint64 bestCost = ~quint64(0);
    for (int f = 0; f < 5; ++f) {
        quint64 cost = 0;
        for (qsizetype i = 0; i < length; ++i)
            cost += quint64(std::abs(int(static_cast<signed char>(candidates[f][i]))));
        if (cost < bestCost) {
            bestCost = cost;
            best = f;
        }
    }
    out[0] = uchar(best);
    std::memcpy(out + 1, candidates[best], size_t(length));
}

struct Piece
{
    int firstRow = 0;
    int endRow = 0;
    QByteArray deflated;
    uLong adler = 0;
    qsizetype filteredSize = 0;
    bool ok = false;
};

} // namespace

bool PngEncoder::isOpaque(const QImage &image)
{
    if (!image.hasAlphaChannel())
        return true;
    const QImage argb = image.format() == QImage::Format_ARGB32
                            ? image
                            : image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const QRgb *row = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(row[x]) != 255)
                return false;
        }
    }
    return true;
}

QByteArray PngEncoder::encode(const QImage &image, int threads, bool *wasOpaque)
{
    if (image.isNull())
        return {};
    const bool opaque = isOpaque(image);
    if (wasOpaque)
        *wasOpaque = opaque;
    const QImage pixels =
        image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_RGB32
            ? image
            : image.convertToFormat(opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32);
    const int width = pixels.width();
    const int height = pixels.height();
    const int channels = opaque ? 3 : 4;
    const qsizetype rowBytes = qsizetype(width) * channels;
    const qsizetype filteredRow = rowBytes + 1;
    const int level = qint64(width) * height <= IconPixels ? IconLevel : LargeLevel;

    // Rows per piece, and enough rows before a piece to fill its dictionary.
    const int rowsPerPiece = int(std::clamp<qsizetype>(PieceBytes / filteredRow, 1, height));
    const int primingRows =
        int(std::min<qsizetype>((Window + filteredRow - 1) / filteredRow, height));
    std::vector<Piece> pieces;
    for (int y = 0; y < height; y += rowsPerPiece)
        pieces.push_back({y, std::min(height, y + rowsPerPiece), {}, 0, 0, false});

    auto deflatePiece = [&](size_t index) {
        Piece &piece = pieces[index];
        const int start = std::max(0, piece.firstRow - (index > 0 ? primingRows : 0));
        const int rows = piece.endRow - start;
        std::vector<uchar> packed(size_t(rowBytes) * 2);
        std::vector<uchar> scratch;
        std::vector<uchar> filtered(size_t(filteredRow) * size_t(rows));
        uchar *current = packed.data();
        uchar *above = packed.data() + rowBytes;
        if (start > 0)
            packRow(reinterpret_cast<const QRgb *>(pixels.constScanLine(start - 1)), width,
                    channels, above);
        for (int y = start; y < piece.endRow; ++y) {
            packRow(reinterpret_cast<const QRgb *>(pixels.constScanLine(y)), width, channels,
                    current);
            filterRow(current, y > 0 ? above : nullptr, rowBytes, channels,
                      filtered.data() + size_t(y - start) * size_t(filteredRow), scratch);
            std::swap(current, above);
        }
        const qsizetype primed = qsizetype(piece.firstRow - start) * filteredRow;
        const uchar *data = filtered.data() + primed;
        const qsizetype size = qsizetype(filtered.size()) - primed;

        const bool last = index + 1 == pieces.size();
        auto squeeze = [&](int strategy, QByteArray *out) {
            z_stream stream{};
            if (deflateInit2(&stream, level, Z_DEFLATED, -15, 8, strategy) != Z_OK)
                return false;
            if (primed > 0) {
                const qsizetype dictionary = std::min(primed, Window);
                deflateSetDictionary(&stream, data - dictionary, uInt(dictionary));
            }
            out->resize(qsizetype(deflateBound(&stream, uLong(size))) + 16);
            stream.next_in = const_cast<Bytef *>(data);
            stream.avail_in = uInt(size);
            stream.next_out = reinterpret_cast<Bytef *>(out->data());
            stream.avail_out = uInt(out->size());
            const int result = deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
            const bool ok = last ? result == Z_STREAM_END : result == Z_OK && stream.avail_in == 0;
            out->resize(qsizetype(stream.total_out));
            deflateEnd(&stream);
            return ok;
        };
        piece.ok = squeeze(Z_FILTERED, &piece.deflated);
        // Matching codes long runs (flat colour, clear areas) poorly; run-length coding
        // does them in a third of the bytes and at once, so a piece that is mostly runs gets it.
        if (piece.ok && piece.deflated.size() < size / 16) {
            QByteArray runs;
            if (squeeze(Z_RLE, &runs) && runs.size() < piece.deflated.size())
                piece.deflated = std::move(runs);
        }
        piece.adler = adler32_z(adler32(0L, nullptr, 0), data, size_t(size));
        piece.filteredSize = size;
    };

    Parallel::forEach(pieces.size(), threads, deflatePiece);

    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    char header[13];
    const quint32 w = qToBigEndian(quint32(width)), h = qToBigEndian(quint32(height));
    std::memcpy(header, &w, 4);
    std::memcpy(header + 4, &h, 4);
    header[8] = 8;                            // bits per channel
    header[9] = opaque ? 2 : 6;               // truecolour, with alpha when any pixel is not opaque
    header[10] = header[11] = header[12] = 0; // deflate, adaptive filters, not interlaced
    appendChunk(png, "IHDR", header, 13);

    if (pixels.colorSpace().isValid()) {
        const QByteArray profile = pixels.colorSpace().iccProfile();
        if (!profile.isEmpty()) {
            QByteArray body("ICC profile\0\0", 13); // name, terminator, deflate
            QByteArray deflated(qsizetype(compressBound(uLong(profile.size()))), Qt::Uninitialized);
            uLongf length = uLongf(deflated.size());
            if (compress2(reinterpret_cast<Bytef *>(deflated.data()), &length,
                          reinterpret_cast<const Bytef *>(profile.constData()),
                          uLong(profile.size()), 9) == Z_OK) {
                body.append(deflated.constData(), qsizetype(length));
                appendChunk(png, "iCCP", body.constData(), body.size());
            }
        }
    }

    uLong adler = adler32(0L, nullptr, 0);
    for (size_t i = 0; i < pieces.size(); ++i) {
        const Piece &piece = pieces[i];
        if (!piece.ok)
            return {};
        adler = adler32_combine(adler, piece.adler, z_off_t(piece.filteredSize));
        QByteArray data;
        if (i == 0)
            // zlib header: deflate, 32 KiB window, and the level as "fastest" or "default".
            data.append(level == LargeLevel ? "\x78\x01" : "\x78\x9c", 2);
        data.append(piece.deflated);
        if (i + 1 == pieces.size())
            appendU32(data, quint32(adler));
        appendChunk(png, "IDAT", data.constData(), data.size());
    }
    appendChunk(png, "IEND", nullptr, 0);
    return png;
}
