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

// The IHDR colour type says whether a file carries alpha (4, 6) or a tRNS chunk adds it.
PngFacts readPng(const QString &path)
{
    PngFacts facts;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return facts;
    const QByteArray head = file.read(1 << 20);
    if (!head.startsWith(QByteArray("\x89PNG\r\n\x1a\n", 8)) || head.size() < 33)
        return facts;
    const int colourType = uchar(head[25]);
    facts.hasAlpha = colourType == 4 || colourType == 6 || head.contains("tRNS");
    file.seek(0);
    QImageReader reader(&file, "png");
    const QImage image = reader.read();
    facts.isPng = !image.isNull();
    facts.size = image.size();
    return facts;
}

double pointsOf(const QString &size)
{
    return size.section(QLatin1Char('x'), 0, 0).toDouble();
}

double scaleOf(const QString &scale)
{
    return scale.endsWith(QLatin1Char('x')) ? scale.chopped(1).toDouble() : 0.0;
}

bool isStoreIcon(const QJsonObject &entry)
{
    const QString idiom = entry[QLatin1String("idiom")].toString();
    if (idiom == QLatin1String("ios-marketing"))
        return true;
    return idiom == QLatin1String("universal") &&
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
        if (!QFileInfo(path).isFile()) {
            findings.append(
                {path, QStringLiteral("missing-file"),
                 QStringLiteral("the file %1 named in Contents.json is missing").arg(fileName)});
            continue;
        }
        if (!facts.contains(fileName))
            facts.insert(fileName, readPng(path));
        const PngFacts png = facts.value(fileName);
        if (!png.isPng) {
            findings.append({path, QStringLiteral("not-png"),
                             QStringLiteral("%1 is not a readable PNG file").arg(fileName)});
            continue;
        }
        if (!size.isEmpty()) {
            const double pixels = pointsOf(size) * scaleOf(scale);
            if (png.size != QSize(int(pixels), int(pixels)) || pixels != double(int(pixels)))
                findings.append(
                    {path, QStringLiteral("wrong-size"),
                     QStringLiteral("%1 is %2 by %3 pixels; the slot %4 at %5 needs %6 by %6")
                         .arg(fileName)
                         .arg(png.size.width())
                         .arg(png.size.height())
                         .arg(size, scale)
                         .arg(pixels)});
        } else if (imageSet && scaleOf(scale) >= 1.0) {
            imageSetSizes.insert(int(scaleOf(scale)), png.size);
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
