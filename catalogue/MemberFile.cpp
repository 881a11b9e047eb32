#include "MemberFile.h"

#include <QFile>
#include <QXmlStreamReader>

namespace {

using Format = MemberFile::Format;

quint32 big32(const QByteArray &bytes, qsizetype at)
{
    return quint32(uchar(bytes[at])) << 24 | quint32(uchar(bytes[at + 1])) << 16 |
           quint32(uchar(bytes[at + 2])) << 8 | quint32(uchar(bytes[at + 3]));
}

quint32 little(const QByteArray &bytes, qsizetype at, int count)
{
    quint32 value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | uchar(bytes[at + i]);
    return value;
}

// Walks the chunks to the end: a truncated file or one with a broken chunk length is damaged.
// Alpha is in the colour type (4, 6) or a tRNS chunk; decoders drop a tRNS after the image data.
void readPng(QFile &file, MemberFile *member)
{
    const QByteArray head = file.read(33);
    if (head.size() < 33 || head.mid(12, 4) != "IHDR") {
        member->format = Format::Damaged;
        return;
    }
    const quint32 width = big32(head, 16), height = big32(head, 20);
    const int colourType = uchar(head[25]);
    if (width == 0 || height == 0 || width > 0x7fffffff || height > 0x7fffffff) {
        member->format = Format::Damaged;
        return;
    }
    member->pixels = QSize(int(width), int(height));
    if (colourType == 4 || colourType == 6)
        member->alpha = MemberFile::Alpha::Channel;
    bool imageData = false;
    qint64 at = 33;
    const qint64 size = file.size();
    while (at + 8 <= size) {
        if (!file.seek(at))
            break;
        const QByteArray header = file.read(8);
        if (header.size() < 8)
            break;
        const quint32 length = big32(header, 0);
        const QByteArray type = header.mid(4, 4);
        if (type == "IEND")
            return;
        if (type == "IDAT")
            imageData = true;
        else if (type == "tRNS" && !imageData && member->alpha == MemberFile::Alpha::None)
            member->alpha = MemberFile::Alpha::Transparency;
        at += 12 + qint64(length);
    }
    member->format = Format::Damaged;
}

// The frame header (SOF0..SOF15 but DHT, JPG and DAC) holds the size; markers before it are
// skipped by their lengths.
void readJpeg(QFile &file, MemberFile *member)
{
    qint64 at = 2;
    for (;;) {
        if (!file.seek(at))
            break;
        const QByteArray header = file.read(9);
        if (header.size() < 4 || uchar(header[0]) != 0xff)
            break;
        const int marker = uchar(header[1]);
        if (marker == 0xff) {
            ++at;
            continue;
        }
        const int length = uchar(header[2]) << 8 | uchar(header[3]);
        const bool frame =
            marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
        if (frame && header.size() == 9) {
            const int height = uchar(header[5]) << 8 | uchar(header[6]);
            const int width = uchar(header[7]) << 8 | uchar(header[8]);
            if (width > 0 && height > 0)
                member->pixels = QSize(width, height);
            return;
        }
        if (length < 2 || marker == 0xd9 || marker == 0xda)
            break;
        at += 2 + length;
    }
    // Without a frame header no decoder can draw it.
    member->format = Format::Damaged;
}

void readWebP(const QByteArray &head, MemberFile *member)
{
    const QByteArray chunk = head.mid(12, 4);
    if (chunk == "VP8X" && head.size() >= 30) {
        if (uchar(head[20]) & 0x10)
            member->alpha = MemberFile::Alpha::Channel;
        member->pixels = QSize(int(little(head, 24, 3)) + 1, int(little(head, 27, 3)) + 1);
    } else if (chunk == "VP8L" && head.size() >= 25 && uchar(head[20]) == 0x2f) {
        const quint32 bits = little(head, 21, 4);
        member->pixels = QSize(int(bits & 0x3fff) + 1, int((bits >> 14) & 0x3fff) + 1);
        if ((bits >> 28) & 1)
            member->alpha = MemberFile::Alpha::Channel;
    } else if (chunk == "VP8 " && head.size() >= 30) {
        member->pixels =
            QSize(int(little(head, 26, 2) & 0x3fff), int(little(head, 28, 2) & 0x3fff));
    } else {
        member->format = Format::Damaged;
    }
}

bool isSvg(QFile &file)
{
    file.seek(0);
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement)
            return xml.name() == QLatin1String("svg");
    }
    return false;
}

} // namespace

MemberFile MemberFile::read(const QString &path)
{
    MemberFile member;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return member;
    const QByteArray head = file.read(32);
    member.format = Format::Unknown;
    if (head.startsWith("\x89PNG\r\n\x1a\n")) {
        member.format = Format::Png;
        file.seek(0);
        readPng(file, &member);
    } else if (head.startsWith("\xff\xd8\xff")) {
        member.format = Format::Jpeg;
        readJpeg(file, &member);
    } else if (head.startsWith("RIFF") && head.mid(8, 4) == "WEBP") {
        member.format = Format::WebP;
        readWebP(head, &member);
    } else if (head.mid(4, 4) == "ftyp") {
        const QByteArray brand = head.mid(8, 4);
        for (const char *heif : {"heic", "heix", "hevc", "hevx", "heim", "heis", "mif1", "msf1"}) {
            if (brand == heif)
                member.format = Format::Heif;
        }
    } else if (head.startsWith("GIF87a") || head.startsWith("GIF89a")) {
        member.format = Format::Gif;
    } else if (head.startsWith(QByteArray("II*\0", 4)) || head.startsWith(QByteArray("MM\0*", 4))) {
        member.format = Format::Tiff;
    } else if (file.seek(0) && file.read(1024).contains("%PDF-")) {
        member.format = Format::Pdf;
    } else if (isSvg(file)) {
        member.format = Format::Svg;
    }
    return member;
}

QString MemberFile::formatName(Format format)
{
    switch (format) {
    case Format::Missing:
        return QStringLiteral("missing");
    case Format::Unknown:
        return QStringLiteral("no image format");
    case Format::Damaged:
        return QStringLiteral("damaged");
    case Format::Png:
        return QStringLiteral("PNG");
    case Format::Jpeg:
        return QStringLiteral("JPEG");
    case Format::Heif:
        return QStringLiteral("HEIF");
    case Format::Pdf:
        return QStringLiteral("PDF");
    case Format::Svg:
        return QStringLiteral("SVG");
    case Format::WebP:
        return QStringLiteral("WebP");
    case Format::Gif:
        return QStringLiteral("GIF");
    case Format::Tiff:
        return QStringLiteral("TIFF");
    }
    return {};
}
