#include "CatalogueChecker.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cmath>
#include <optional>

namespace {

using Finding = CatalogueChecker::Finding;

bool isSetFolder(const QString &path)
{
    return path.endsWith(QLatin1String(".appiconset")) || path.endsWith(QLatin1String(".imageset"));
}

struct PngFacts
{
    bool isPng = false;
    bool hasAlpha = false;
    QSize size;
};

quint32 bigEndian32(const QByteArray &bytes, qsizetype at)
{
    return quint32(uchar(bytes[at])) << 24 | quint32(uchar(bytes[at + 1])) << 16 |
           quint32(uchar(bytes[at + 2])) << 8 | quint32(uchar(bytes[at + 3]));
}

// Alpha is in the IHDR colour type (4, 6) or in a tRNS chunk, which must come before the image
// data; the chunks are walked rather than searched, since the bytes "tRNS" may occur anywhere.
bool declaresAlpha(const QByteArray &head)
{
    const int colourType = uchar(head[25]);
    if (colourType == 4 || colourType == 6)
        return true;
    qsizetype at = 8;
    while (at + 8 <= head.size()) {
        const quint32 length = bigEndian32(head, at);
        const QByteArray type = head.mid(at + 4, 4);
        if (type == "tRNS")
            return true;
        if (type == "IDAT" || type == "IEND" || length > quint32(head.size()))
            return false;
        at += 12 + qsizetype(length);
    }
    return false;
}

PngFacts readPng(const QString &path)
{
    PngFacts facts;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return facts;
    const QByteArray head = file.read(1 << 20);
    if (!head.startsWith(QByteArray("\x89PNG\r\n\x1a\n", 8)) || head.size() < 33)
        return facts;
    facts.hasAlpha = declaresAlpha(head);
    file.seek(0);
    QImageReader reader(&file, "png");
    const QImage image = reader.read();
    facts.isPng = !image.isNull();
    facts.size = image.size();
    return facts;
}

// A number in a "size" or "scale" text, or -1 when it is not a plain positive number.
double positiveNumber(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) && value > 0 ? value : -1.0;
}

// The pixel count points x scale names, when it is a whole number a PNG can have.
std::optional<int> pixelsOf(double points, double scale)
{
    const double pixels = points * scale;
    if (points <= 0 || scale <= 0 || pixels > 1e6 || pixels != std::floor(pixels))
        return std::nullopt;
    return int(pixels);
}

bool isStoreIcon(const QJsonObject &entry)
{
    const QString idiom = entry[QLatin1String("idiom")].toString();
    if (idiom == QLatin1String("ios-marketing"))
        return true;
    // A dark or tinted appearance is drawn on the system's background and may be transparent.
    return idiom == QLatin1String("universal") && !entry.contains(QLatin1String("appearances")) &&
           entry[QLatin1String("platform")].toString() == QLatin1String("ios") &&
           entry[QLatin1String("size")].toString() == QLatin1String("1024x1024");
}

} // namespace

QList<Finding> CatalogueChecker::checkSet(const QString &folder)
{
    QList<Finding> findings;
    const QString contentsPath = folder + QStringLiteral("/Contents.json");
    QFile contentsFile(contentsPath);
    if (!contentsFile.open(QIODevice::ReadOnly))
        return {{contentsPath, QStringLiteral("missing-contents"),
                 QStringLiteral("Contents.json is missing")}};
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(contentsFile.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject() ||
        !document.object()[QLatin1String("images")].isArray())
        return {{contentsPath, QStringLiteral("bad-json"),
                 QStringLiteral("Contents.json is not a valid catalogue: %1")
                     .arg(error.error != QJsonParseError::NoError
                              ? error.errorString()
                              : QStringLiteral("no \"images\" array"))}};

    const bool imageSet = folder.endsWith(QLatin1String(".imageset"));
    QSet<QString> named;
    QSet<QString> seenSlots;
    QHash<QString, PngFacts> facts;
    QHash<int, QSize> imageSetSizes; // scale -> pixels
    for (const QJsonValue &value : document.object()[QLatin1String("images")].toArray()) {
        const QJsonObject entry = value.toObject();
        const QString size = entry[QLatin1String("size")].toString();
        const QString scale = entry[QLatin1String("scale")].toString();
        const QString slot =
            QStringList{
                entry[QLatin1String("idiom")].toString(), size, scale,
                entry[QLatin1String("platform")].toString(),
                QString::fromUtf8(QJsonDocument(entry[QLatin1String("appearances")].toArray())
                                      .toJson(QJsonDocument::Compact))}
                .join(QLatin1Char('|'));
        if (seenSlots.contains(slot))
            findings.append({contentsPath, QStringLiteral("duplicate-slot"),
                             QStringLiteral("two entries fill the slot %1 %2 %3")
                                 .arg(entry[QLatin1String("idiom")].toString(), size, scale)});
        seenSlots.insert(slot);

        const QString fileName = entry[QLatin1String("filename")].toString();
        if (fileName.isEmpty())
            continue; // an empty slot is Xcode's own way of saying "not filled"
        named.insert(fileName);
        const QString path = folder + QLatin1Char('/') + fileName;
        // A file several slots name is missing or unreadable once, not once a slot.
        const bool firstMention = !facts.contains(fileName);
        if (!QFileInfo(path).isFile()) {
            facts.insert(fileName, PngFacts());
            if (firstMention)
                findings.append({path, QStringLiteral("missing-file"),
                                 QStringLiteral("the file %1 named in Contents.json is missing")
                                     .arg(fileName)});
            continue;
        }
        if (!facts.contains(fileName))
            facts.insert(fileName, readPng(path));
        const PngFacts png = facts.value(fileName);
        if (!png.isPng) {
            if (firstMention)
                findings.append({path, QStringLiteral("not-png"),
                                 QStringLiteral("%1 is not a readable PNG file").arg(fileName)});
            continue;
        }
        // A single-size icon names no scale: it is 1x.
        const double scaleValue = scale.isEmpty() ? 1.0
                                  : scale.endsWith(QLatin1Char('x'))
                                      ? positiveNumber(scale.chopped(1))
                                      : positiveNumber(QString());
        if (!size.isEmpty()) {
            const std::optional<int> width =
                pixelsOf(positiveNumber(size.section(QLatin1Char('x'), 0, 0)), scaleValue);
            const std::optional<int> height =
                pixelsOf(positiveNumber(size.section(QLatin1Char('x'), 1)), scaleValue);
            if (!width || !height)
                findings.append({contentsPath, QStringLiteral("bad-json"),
                                 QStringLiteral("the slot size “%1” at scale “%2” of %3 names no "
                                                "whole pixel size")
                                     .arg(size, scale, fileName)});
            else if (png.size != QSize(*width, *height))
                findings.append(
                    {path, QStringLiteral("wrong-size"),
                     QStringLiteral("%1 is %2 by %3 pixels; the slot %4 at %5 needs %6 by %7")
                         .arg(fileName)
                         .arg(png.size.width())
                         .arg(png.size.height())
                         .arg(size, scale)
                         .arg(*width)
                         .arg(*height)});
        } else if (imageSet && (scaleValue == 1 || scaleValue == 2 || scaleValue == 3)) {
            imageSetSizes.insert(int(scaleValue), png.size);
        }
        if (isStoreIcon(entry) && png.hasAlpha)
            findings.append(
                {path, QStringLiteral("marketing-alpha"),
                 QStringLiteral("%1 has an alpha channel, which App Store upload refuses")
                     .arg(fileName)});
    }
    if (imageSetSizes.contains(1)) {
        const QSize base = imageSetSizes.value(1);
        for (auto it = imageSetSizes.cbegin(); it != imageSetSizes.cend(); ++it) {
            if (it.value() != base * it.key())
                findings.append(
                    {folder, QStringLiteral("wrong-size"),
                     QStringLiteral("the %1x image is %2 by %3 pixels; the 1x image is %4 by %5")
                         .arg(it.key())
                         .arg(it.value().width())
                         .arg(it.value().height())
                         .arg(base.width())
                         .arg(base.height())});
        }
    }
    const QStringList pngs =
        QDir(folder).entryList({QStringLiteral("*.png"), QStringLiteral("*.PNG")}, QDir::Files);
    for (const QString &png : pngs) {
        if (!named.contains(png))
            findings.append({folder + QLatin1Char('/') + png, QStringLiteral("unassigned"),
                             QStringLiteral("%1 is in the folder but no slot names it").arg(png)});
    }
    return findings;
}

CatalogueChecker::Result CatalogueChecker::check(const QStringList &paths)
{
    Result result;
    for (const QString &path : paths) {
        QStringList sets;
        if (isSetFolder(QDir::cleanPath(path))) {
            sets << QDir::cleanPath(path);
        } else {
            for (QDirIterator it(path, QDir::Dirs | QDir::NoDotAndDotDot,
                                 QDirIterator::Subdirectories);
                 it.hasNext();) {
                const QString folder = it.next();
                if (isSetFolder(folder))
                    sets << folder;
            }
            sets.sort();
        }
        if (sets.isEmpty())
            result.findings.append({path, QStringLiteral("missing-contents"),
                                    QStringLiteral("no .appiconset or .imageset here")});
        for (const QString &set : std::as_const(sets)) {
            result.findings += checkSet(set);
            ++result.setsChecked;
        }
    }
    return result;
}
