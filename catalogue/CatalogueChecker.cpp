#include "CatalogueChecker.h"

#include "AssetPlan.h"
#include "CatalogueModel.h"
#include "IconBundleModel.h"
#include "MemberFile.h"
#include "ShadowedSets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSet>

#include <cmath>
#include <functional>
#include <optional>

namespace {

using Finding = CatalogueChecker::Finding;
using Level = CatalogueChecker::Level;
using Kind = CatalogueModel::Kind;
using Members = CatalogueModel::Members;
using Files = CatalogueModel::Files;
using Format = MemberFile::Format;

// The pixels a tvOS or visionOS image needs, set by the asset that holds it.
struct Need
{
    enum Mode {
        Free,   // any size (an image set on its own)
        Exact,  // points x scale (a top shelf image)
        AtMost, // no larger than points x scale (a layer of an App Icon stack)
        Fixed,  // these pixels at any scale (a visionOS icon layer)
    };
    Mode mode = Free;
    QSizeF points;
    QString what; // the asset that sets the need, for messages
};

// Pixels = points x scale when that is a whole count a picture can have.
std::optional<QSize> pixelsOf(QSizeF points, double scale)
{
    const double width = points.width() * scale, height = points.height() * scale;
    if (scale <= 0 || !(width > 0 && width <= 1e6 && height > 0 && height <= 1e6) ||
        width != std::floor(width) || height != std::floor(height))
        return std::nullopt;
    return QSize(int(width), int(height));
}

QString sizeText(QSize size)
{
    return QStringLiteral("%1 by %2").arg(size.width()).arg(size.height());
}

bool namedPng(const QString &fileName)
{
    return fileName.endsWith(QLatin1String(".png"), Qt::CaseInsensitive);
}

bool isImageName(const QString &fileName)
{
    static const QStringList suffixes{"png", "jpg",  "jpeg", "heic", "heif", "pdf",
                                      "svg", "webp", "gif",  "tif",  "tiff"};
    return suffixes.contains(QFileInfo(fileName).suffix().toLower());
}

class Walk
{
public:
    CatalogueChecker::Result result;

    // Findings name files by `path` as given, so a relative path stays relative.
    void start(const QString &path)
    {
        if (!QFileInfo(path).isDir())
            return;
        root = QFileInfo(path).canonicalFilePath();
        visit(QDir::cleanPath(path));
        while (!links.isEmpty())
            links.takeFirst()();
    }

private:
    QString root;          // the real path of the folder being checked
    QSet<QString> visited; // real paths
    QSet<QString> said;
    QList<std::function<void()>> links; // to follow once every real folder has been walked

    void add(const QString &path, Level level, const char *problem, const QString &message)
    {
        const QString clean = QDir::cleanPath(path);
        const QString key =
            clean + QLatin1Char('\n') + QLatin1String(problem) + QLatin1Char('\n') + message;
        if (said.contains(key))
            return;
        said.insert(key);
        result.findings.append({clean, level, QString::fromLatin1(problem), message});
    }

    // The folder's own name, also when it was given as "." or "..".
    static QString nameOf(const QString &folder)
    {
        return QFileInfo(QDir::cleanPath(QFileInfo(folder).absoluteFilePath())).fileName();
    }

    static QFileInfoList childFolders(const QString &folder)
    {
        QFileInfoList children;
        for (const QFileInfo &child :
             QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
            children << QFileInfo(QDir::cleanPath(child.filePath()));
        return children;
    }

    static QStringList entryNames(const QString &folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                      QDir::System);
    }

    // Whether the real folder is seen for the first time.
    bool enter(const QString &folder)
    {
        const QString real = QFileInfo(folder).canonicalFilePath();
        if (real.isEmpty() || visited.contains(real))
            return false;
        visited.insert(real);
        return true;
    }

    // A link waits until the real folders are walked, so that a folder it leads to is said
    // under its own path; one that leads out of the folder checked, or back into a folder
    // walked already, is not followed.
    void follow(const QFileInfo &child, const std::function<void()> &visitChild)
    {
        if (!child.isSymLink()) {
            visitChild();
            return;
        }
        links.append([this, path = child.filePath(), visitChild] {
            const QString real = QFileInfo(path).canonicalFilePath();
            const QString inside = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
            if (real.isEmpty())
                return; // gone since the folder was listed
            if (real != root && !real.startsWith(inside))
                add(path, Level::Note, "skipped-link",
                    QStringLiteral("a link to %1, outside the folder checked: not followed")
                        .arg(real));
            else if (visited.contains(real))
                add(path, Level::Note, "skipped-link",
                    QStringLiteral("a link to %1, which is checked already: not followed")
                        .arg(real));
            else
                visitChild();
        });
    }

    void visit(const QString &path)
    {
        const QString name = nameOf(path);
        const Kind *kind = CatalogueModel::kindOf(name);
        if (IconBundleModel::isBundle(name))
            iconBundle(path);
        else if (!kind)
            search(path);
        else if (kind->isSet())
            asset(path, *kind, {});
        else
            group(path, *kind);
    }

    // Outside a catalogue: only the folders the model knows are looked at.
    void search(const QString &folder)
    {
        if (!enter(folder))
            return;
        for (const QFileInfo &child : childFolders(folder))
            follow(child, [this, path = child.filePath()] { visit(path); });
    }

    void unknownFolder(const QString &path)
    {
        add(path, Level::Note, "unknown-folder",
            QStringLiteral("Xcode knows no folder kind “.%1”: it is not part of the catalogue")
                .arg(QFileInfo(path).suffix()));
    }

    // Contents.json read and its keys checked against the kind; nothing when it is absent or
    // unreadable (and then said so when the kind needs one).
    // The JSON object in the folder's file `name`, or nothing: said to be missing when the
    // folder needs it, and said not to be an object when it is not one.
    std::optional<QJsonObject> document(const QString &folder, const QString &name, bool needed)
    {
        const QString path = folder + QLatin1Char('/') + name;
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            if (needed)
                add(path, Level::Error, "missing-contents",
                    QStringLiteral("%1 is missing: Xcode cannot read %2 without it")
                        .arg(name, nameOf(folder)));
            return std::nullopt;
        }
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
        if (error.error != QJsonParseError::NoError || !document.isObject()) {
            add(path, Level::Error, "bad-json",
                QStringLiteral("%1 is not a JSON object: %2")
                    .arg(name, error.error != QJsonParseError::NoError
                                   ? error.errorString()
                                   : QStringLiteral("not an object")));
            return std::nullopt;
        }
        return document.object();
    }

    std::optional<QJsonObject> contents(const QString &folder, const Kind &kind)
    {
        const QString path = folder + QStringLiteral("/Contents.json");
        const std::optional<QJsonObject> read =
            document(folder, QStringLiteral("Contents.json"), kind.isSet());
        if (!read)
            return std::nullopt;
        const QJsonObject object = *read;
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (it.key() != kind.list && !CatalogueModel::topLevelKeys().contains(it.key()))
                add(path, Level::Note, "unknown-key",
                    QStringLiteral("Contents.json holds “%1”, which Xcode does not read in %2")
                        .arg(it.key(), nameOf(folder)));
        }
        const QJsonValue properties = object[QLatin1String("properties")];
        if (!properties.isUndefined() && !properties.isObject()) {
            add(path, Level::Error, "bad-json",
                QStringLiteral("Contents.json: “properties” is not an object"));
        } else {
            const QJsonObject known = properties.toObject();
            for (auto it = known.begin(); it != known.end(); ++it) {
                if (!kind.properties.contains(it.key()))
                    add(path, Level::Note, "unknown-key",
                        QStringLiteral("Contents.json has the property “%1”, which Xcode does "
                                       "not read in %2")
                            .arg(it.key(), nameOf(folder)));
            }
        }
        return object;
    }

    // The entries of the kind's list; an absent list is an empty asset.
    std::optional<QList<QJsonObject>> entries(const QString &folder, const Kind &kind,
                                              const QJsonObject &object)
    {
        const QString path = folder + QStringLiteral("/Contents.json");
        const QJsonValue list = object[kind.list];
        if (list.isUndefined())
            return QList<QJsonObject>();
        if (!list.isArray()) {
            add(path, Level::Error, "bad-json",
                QStringLiteral("Contents.json: “%1” is not a list").arg(kind.list));
            return std::nullopt;
        }
        QList<QJsonObject> all;
        for (const QJsonValue &value : list.toArray()) {
            const QJsonValue fileName = value.toObject().value(QLatin1String("filename"));
            if (!value.isObject() || (!fileName.isUndefined() && !fileName.isString())) {
                add(path, Level::Error, "bad-json",
                    QStringLiteral("Contents.json: an entry of “%1” is not an object with a "
                                   "file name in words")
                        .arg(kind.list));
                return std::nullopt;
            }
            all << value.toObject();
        }
        // The same slot filled twice: Xcode keeps one of them. Entries with no trait but their
        // file name (a stack's layers) are an order, not slots.
        QHash<QString, QString> filled;
        for (const QJsonObject &entry : std::as_const(all)) {
            const QString key = CatalogueModel::slotKey(entry);
            if (key == QLatin1String("{}"))
                continue;
            const QString name = entry[QLatin1String("filename")].toString();
            if (filled.contains(key))
                add(path, Level::Warning, "duplicate-slot",
                    QStringLiteral("two entries fill the slot “%1”: %2 and %3")
                        .arg(CatalogueModel::describeSlot(entry), filled.value(key), name));
            else
                filled.insert(key, name);
        }
        return all;
    }

    void group(const QString &folder, const Kind &kind)
    {
        if (!enter(folder))
            return;
        if (QFileInfo::exists(folder + QStringLiteral("/Contents.json")))
            contents(folder, kind);
        for (const QFileInfo &child : childFolders(folder)) {
            const QString name = child.fileName(), path = child.filePath();
            const Kind *childKind = CatalogueModel::kindOf(name);
            if (childKind && childKind->isSet()) {
                follow(child, [=, this] { asset(path, *childKind, {}); });
            } else if (IconBundleModel::isBundle(name)) {
                follow(child, [=, this] { iconBundle(path); });
            } else if (childKind || !CatalogueModel::hasExtension(name)) {
                const Kind *kindHeld = childKind ? childKind : &CatalogueModel::group();
                follow(child, [=, this] { group(path, *kindHeld); });
            } else {
                unknownFolder(path);
            }
        }
    }

    void asset(const QString &folder, const Kind &kind, const Need &need)
    {
        if (!enter(folder))
            return;
        ++result.setsChecked;
        const std::optional<QJsonObject> object = contents(folder, kind);
        std::optional<QList<QJsonObject>> list;
        if (object)
            list = entries(folder, kind, *object);
        switch (kind.members) {
        case Members::Files:
            if (list)
                files(folder, kind, *list, need);
            break;
        case Members::Values:
            if (list)
                values(folder, *list);
            break;
        case Members::Folders:
            if (list)
                folders(folder, kind, *list, need);
            break;
        case Members::Layer:
            layer(folder, kind, need);
            break;
        case Members::None:
            break;
        }
        if (kind.members == Members::Files || kind.members == Members::Values) {
            for (const QFileInfo &child : childFolders(folder))
                unknownFolder(child.filePath());
        }
    }

    void values(const QString &folder, const QList<QJsonObject> &list)
    {
        for (const QJsonObject &entry : list) {
            const QJsonValue colour = entry[QLatin1String("color")];
            if (!colour.isUndefined() && !colour.isObject())
                add(folder + QStringLiteral("/Contents.json"), Level::Error, "bad-json",
                    QStringLiteral("Contents.json: the colour of “%1” is not an object")
                        .arg(CatalogueModel::describeSlot(entry)));
        }
    }

    // The name a file is found by in its folder: the name written, or one that differs from it
    // only in case, which a Mac's disk finds and a case-sensitive one does not.
    QString onDisk(const QString &folder, const QStringList &names, const QString &name,
                   const QString &namedIn)
    {
        if (names.contains(name))
            return name;
        for (const QString &other : names) {
            if (other.compare(name, Qt::CaseInsensitive) != 0)
                continue;
            add(folder + QLatin1Char('/') + other, Level::Warning, "case-mismatch",
                QStringLiteral("%1 names %2 but the file is %3: found on the case-insensitive "
                               "disks Macs use by default, missing on a case-sensitive one; "
                               "make the names match")
                    .arg(namedIn, name, other));
            return other;
        }
        return name;
    }

    // A name that leads out of its folder names nothing in it.
    static MemberFile memberAt(const QString &folder, const QString &name, Files files)
    {
        const QString path = folder + QLatin1Char('/') + name;
        const bool inside = !name.isEmpty() && !name.contains(QLatin1Char('/')) &&
                            name != QLatin1String(".") && name != QLatin1String("..");
        MemberFile member;
        if (!inside || !QFileInfo(path).isFile())
            return member;
        if (files != Files::Anything)
            return MemberFile::read(path);
        member.format = Format::Unknown; // data: its bytes are not looked at
        return member;
    }

    // The file judged by its bytes for what the entry's kind takes, once a file however many
    // entries name it. False when nothing more can be read from it.
    bool judge(const QString &path, const QString &name, Files files, const MemberFile &member,
               const QString &namedIn)
    {
        const Format format = member.format;
        const QString holds = MemberFile::formatName(format);
        if (format == Format::Missing) {
            add(path, Level::Error, "missing-file",
                QStringLiteral("the file %1 named in %2 is missing").arg(name, namedIn));
            return false;
        }
        if (files == Files::Anything || files == Files::Nothing)
            return true;
        if (format == Format::Unknown || format == Format::Damaged) {
            add(path, Level::Error, "not-image",
                format == Format::Damaged
                    ? QStringLiteral("%1 is damaged: no image can be read from it").arg(name)
                    : QStringLiteral("%1 holds no image format Xcode reads").arg(name));
            return false;
        }
        const bool raster = format == Format::Png || format == Format::Jpeg ||
                            format == Format::Heif || format == Format::WebP ||
                            format == Format::Gif || format == Format::Tiff;
        switch (files) {
        case Files::IconPng:
        case Files::LaunchPng:
            if (!raster) {
                add(path, Level::Error, "not-image",
                    QStringLiteral("%1 holds %2: this slot takes a PNG image").arg(name, holds));
                return false;
            }
            if (format != Format::Png)
                add(path, Level::Warning, "wrong-format",
                    QStringLiteral("%1 holds %2, not PNG: Xcode converts it, but this slot takes "
                                   "PNG; re-save it as PNG")
                        .arg(name, holds));
            return true;
        case Files::Svg:
            if (format != Format::Svg) {
                add(path, Level::Error, "not-image",
                    QStringLiteral("%1 holds %2: a symbol image is SVG").arg(name, holds));
                return false;
            }
            return true;
        case Files::Image:
            if (format == Format::WebP || format == Format::Gif || format == Format::Tiff ||
                (namedPng(name) && format != Format::Png))
                add(path, Level::Warning, "wrong-format",
                    QStringLiteral("%1 holds %2%3: re-save it as PNG, JPEG, HEIF, PDF or SVG and "
                                   "name it so")
                        .arg(name, holds,
                             namedPng(name) ? QStringLiteral(", not PNG") : QString()));
            return true;
        case Files::LayerImage:
            if (format != Format::Png && format != Format::Svg && format != Format::Jpeg &&
                format != Format::Heif) {
                add(path, Level::Error, "not-image",
                    QStringLiteral("%1 holds %2: a layer image is PNG, SVG, JPEG or HEIF")
                        .arg(name, holds));
                return false;
            }
            return true;
        case Files::Nothing:
        case Files::Anything:
            return true;
        }
        return true;
    }

    void storeIcon(const QString &path, const QString &name, const MemberFile &member)
    {
        switch (member.alpha) {
        case MemberFile::Alpha::None:
            return;
        case MemberFile::Alpha::Channel:
            add(path, Level::Error, "marketing-alpha",
                QStringLiteral("%1 is the App Store icon and is stored with an alpha channel, "
                               "which upload refuses: re-save it without alpha, on a colour "
                               "where it is transparent (or export with --background COLOR)")
                    .arg(name));
            return;
        case MemberFile::Alpha::Transparency:
            add(path, Level::Error, "marketing-alpha",
                QStringLiteral("%1 is the App Store icon and makes a colour transparent (a tRNS "
                               "chunk), which upload refuses as alpha: re-save it without "
                               "transparency (or export with --background COLOR)")
                    .arg(name));
            return;
        }
    }

    void files(const QString &folder, const Kind &kind, const QList<QJsonObject> &list,
               const Need &need)
    {
        const QString contentsPath = folder + QStringLiteral("/Contents.json");
        const QStringList names = entryNames(folder);
        QHash<QString, MemberFile> members;
        QSet<QString> usable;
        QSet<QString> named;
        // Entries that differ only in scale: scale -> file, for the advice on their sizes.
        QHash<QString, QMap<double, QString>> scales;
        for (const QJsonObject &entry : list) {
            const QString written = entry[QLatin1String("filename")].toString();
            named.insert(written);
            const double scale = CatalogueModel::scaleOf(entry);
            const QString slot = CatalogueModel::describeSlot(entry);
            std::optional<QSize> needed;
            QString neededFor = QStringLiteral("the slot “%1”").arg(slot);
            bool atMost = false;
            if (kind.files == Files::IconPng) {
                double width = 0, height = 0;
                const QString size = entry[QLatin1String("size")].toString();
                if (CatalogueModel::parseSize(size, &width, &height))
                    needed = pixelsOf({width, height}, scale);
                if (!needed) {
                    add(contentsPath, Level::Error, "bad-json",
                        QStringLiteral("Contents.json: the slot “%1” names no whole pixel size")
                            .arg(slot));
                    continue;
                }
            } else if (need.mode != Need::Free) {
                needed = pixelsOf(need.points, need.mode == Need::Fixed ? 1.0 : scale);
                neededFor = need.what;
                atMost = need.mode == Need::AtMost;
            }
            if (written.isEmpty())
                continue; // an empty slot is Xcode's own way of saying "not filled"
            const QString name = onDisk(folder, names, written, QStringLiteral("Contents.json"));
            named.insert(name);
            const QString path = folder + QLatin1Char('/') + name;
            if (!members.contains(name)) {
                const MemberFile member = memberAt(folder, name, kind.files);
                members.insert(name, member);
                if (judge(path, name, kind.files, member, QStringLiteral("Contents.json")))
                    usable.insert(name);
                if (usable.contains(name) && kind.files == Files::IconPng &&
                    CatalogueModel::isStoreIcon(entry))
                    storeIcon(path, name, member);
            }
            if (!usable.contains(name))
                continue;
            const QSize pixels = members.value(name).pixels;
            if (needed && pixels.isValid()) {
                const bool fits = atMost ? pixels.width() <= needed->width() &&
                                               pixels.height() <= needed->height()
                                         : pixels == *needed;
                if (!fits)
                    add(path, Level::Error, "wrong-size",
                        QStringLiteral("%1 is %2 pixels; %3 needs %4%5 at %6")
                            .arg(name, sizeText(pixels), neededFor,
                                 atMost ? QStringLiteral("at most ") : QString(), sizeText(*needed),
                                 entry[QLatin1String("scale")].toString(QStringLiteral("1x"))));
            } else if (!needed && kind.files == Files::Image && pixels.isValid() && scale > 0) {
                scales[CatalogueModel::scaleFreeKey(entry)].insert(scale, name);
            }
        }
        scaleAdvice(folder, members, scales);
        unassigned(folder, kind, named);
    }

    // A 2x or 3x image that is not its 1x image at that scale, give or take a pixel. Advice
    // only: apps put one full-size splash image in every scale on purpose.
    void scaleAdvice(const QString &folder, const QHash<QString, MemberFile> &members,
                     const QHash<QString, QMap<double, QString>> &scales)
    {
        for (const QMap<double, QString> &byScale : scales) {
            if (!byScale.contains(1.0))
                continue;
            const QString base = byScale.value(1.0);
            const QSize one = members.value(base).pixels;
            for (auto it = byScale.cbegin(); it != byScale.cend(); ++it) {
                if (it.key() == 1.0)
                    continue;
                const QSize pixels = members.value(it.value()).pixels;
                const double width = one.width() * it.key(), height = one.height() * it.key();
                if (std::abs(pixels.width() - width) <= 1 &&
                    std::abs(pixels.height() - height) <= 1)
                    continue;
                add(folder + QLatin1Char('/') + it.value(), Level::Note, "scale-mismatch",
                    QStringLiteral("%1 is %2 pixels; at %3x beside %4 (%5) it would be %6 by %7")
                        .arg(it.value(), sizeText(pixels), QString::number(it.key()), base,
                             sizeText(one), QString::number(std::round(width)),
                             QString::number(std::round(height))));
            }
        }
    }

    void unassigned(const QString &folder, const Kind &kind, const QSet<QString> &named)
    {
        for (const QString &name : QDir(folder).entryList(QDir::Files, QDir::Name)) {
            if (named.contains(name) || name == QLatin1String("Contents.json"))
                continue;
            if (kind.files != Files::Anything && !isImageName(name))
                continue; // a README beside the images is not part of the set
            add(folder + QLatin1Char('/') + name, Level::Warning, "unassigned",
                QStringLiteral("%1 is in the set but no slot names it").arg(name));
        }
    }

    void folders(const QString &folder, const Kind &kind, const QList<QJsonObject> &list,
                 const Need &need)
    {
        QSet<QString> named;
        const QStringList names = entryNames(folder);
        const bool brand = kind.extension == QLatin1String(".brandassets");
        const bool vision = kind.extension == QLatin1String(".solidimagestack");
        for (const QJsonObject &entry : list) {
            const QString written = entry[QLatin1String("filename")].toString();
            if (written.isEmpty())
                continue;
            const QString name = onDisk(folder, names, written, QStringLiteral("Contents.json"));
            named.insert(name);
            const QString path = folder + QLatin1Char('/') + name;
            const Kind *childKind = CatalogueModel::kindOf(name);
            if (name.contains(QLatin1Char('/')) || !QFileInfo(path).isDir()) {
                add(path, Level::Error, "missing-file",
                    QStringLiteral("the folder %1 named in Contents.json is missing").arg(name));
                continue;
            }
            if (!childKind || !kind.children.contains(childKind->extension)) {
                unknownFolder(path);
                continue;
            }
            Need childNeed = need;
            double width = 0, height = 0;
            if (brand && CatalogueModel::parseSize(entry[QLatin1String("size")].toString(), &width,
                                                   &height)) {
                const bool stack = childKind->extension != QLatin1String(".imageset");
                childNeed = {stack ? Need::AtMost : Need::Exact,
                             {width, height},
                             QStringLiteral("“%1” (%2)")
                                 .arg(entry[QLatin1String("role")].toString(),
                                      entry[QLatin1String("size")].toString())};
            } else if (vision) {
                childNeed = {
                    Need::Fixed,
                    {double(AssetPlan::VisionLayerPixels), double(AssetPlan::VisionLayerPixels)},
                    QStringLiteral("a visionOS icon layer")};
            }
            follow(QFileInfo(path), [=, this] { asset(path, *childKind, childNeed); });
        }
        for (const QFileInfo &child : childFolders(folder)) {
            if (named.contains(child.fileName()))
                continue;
            if (const Kind *childKind = CatalogueModel::kindOf(child.fileName());
                childKind && kind.children.contains(childKind->extension))
                add(child.filePath(), Level::Warning, "unassigned",
                    QStringLiteral("%1 is in the set but no entry names it").arg(child.fileName()));
            else
                unknownFolder(child.filePath());
        }
    }

    void layer(const QString &folder, const Kind &kind, const Need &need)
    {
        for (const QFileInfo &child : childFolders(folder)) {
            const Kind *childKind = CatalogueModel::kindOf(child.fileName());
            if (childKind && kind.children.contains(childKind->extension))
                follow(child,
                       [=, this, path = child.filePath()] { asset(path, *childKind, need); });
            else
                unknownFolder(child.filePath());
        }
    }

    // An Icon Composer document: icon.json judged key by key, each image a layer names judged by
    // its bytes, and a same-name app icon set beside it, which Xcode then ignores.
    void iconBundle(const QString &folder)
    {
        if (!enter(folder))
            return;
        ++result.setsChecked;
        if (const std::optional<QJsonObject> json = iconJson(folder)) {
            IconImages images;
            iconObject(folder, *json, IconBundleModel::Place::Root, QStringLiteral("top level"),
                       &images);
            iconImages(folder, images);
        }
        shadowedSets(folder);
    }

    std::optional<QJsonObject> iconJson(const QString &folder)
    {
        return document(folder, QStringLiteral("icon.json"), true);
    }

    // Image file name -> the first place that names it, in the order icon.json is read.
    using IconImages = QList<std::pair<QString, QString>>;

    void wrongType(const QString &folder, const QString &message)
    {
        add(folder + QStringLiteral("/icon.json"), Level::Error, "wrong-type", message);
    }

    // One object of the root, a group or a layer: every key known at that level and of its shape,
    // never a key and its specializations together; then its groups or layers.
    void iconObject(const QString &folder, const QJsonObject &object, IconBundleModel::Place place,
                    const QString &where, IconImages *images)
    {
        using Place = IconBundleModel::Place;
        using Shape = IconBundleModel::Shape;
        for (auto it = object.begin(); it != object.end(); ++it) {
            bool specialized = false;
            const IconBundleModel::Key *key = IconBundleModel::keyOf(place, it.key(), &specialized);
            if (!key) {
                add(folder + QStringLiteral("/icon.json"), Level::Note, "unknown-key",
                    QStringLiteral("%1: unknown key “%2”").arg(where, it.key()));
                continue;
            }
            if (specialized && object.contains(key->name)) {
                wrongType(folder, QStringLiteral("%1: “%2” and “%3” together; a key is either "
                                                 "plain or specialized")
                                      .arg(where, key->name, it.key()));
                continue;
            }
            const bool image = place == Place::Layer && key->name == QLatin1String("image-name");
            if (!specialized) {
                const QString problem = IconBundleModel::problemOf(key->shape, it.value());
                if (!problem.isEmpty())
                    wrongType(folder, QStringLiteral("%1: “%2” %3").arg(where, it.key(), problem));
                else if (image)
                    images->append({it.value().toString(), where});
                continue;
            }
            specializations(folder, *key, it.value(), where + QLatin1Char('.') + it.key(),
                            image ? images : nullptr);
        }
        if (place == Place::Layer && !object.contains(QLatin1String("image-name")) &&
            !object.contains(QStringLiteral("image-name") + IconBundleModel::Suffix))
            wrongType(folder, QStringLiteral("%1: the layer has neither “image-name” nor "
                                             "“image-name-specializations”: it names no image")
                                  .arg(where));
        if (place == Place::Layer)
            return;
        const QLatin1String listName(place == Place::Root ? "groups" : "layers");
        const QJsonValue list = object.value(listName);
        if (list.isUndefined()) {
            wrongType(folder, QStringLiteral("%1: there is no “%2” list").arg(where, listName));
            return;
        }
        if (!IconBundleModel::problemOf(Shape::List, list).isEmpty())
            return; // said with the key
        const QJsonArray items = list.toArray();
        for (qsizetype i = 0; i < items.size(); ++i) {
            const QString itemWhere = QStringLiteral("%1[%2]").arg(listName).arg(i);
            iconObject(
                folder, items[i].toObject(), place == Place::Root ? Place::Group : Place::Layer,
                place == Place::Root ? itemWhere : where + QLatin1Char('.') + itemWhere, images);
        }
    }

    // "<key>-specializations": a list of entries, each a "value" of the key's shape in a slot.
    void specializations(const QString &folder, const IconBundleModel::Key &key,
                         const QJsonValue &value, const QString &where, IconImages *images)
    {
        if (!value.isArray()) {
            wrongType(folder, QStringLiteral("%1 is not a list").arg(where));
            return;
        }
        const QJsonArray entries = value.toArray();
        for (qsizetype i = 0; i < entries.size(); ++i) {
            const QString entryWhere = QStringLiteral("%1[%2]").arg(where).arg(i);
            if (!entries[i].isObject()) {
                wrongType(folder, QStringLiteral("%1 is not an object").arg(entryWhere));
                continue;
            }
            const QJsonObject entry = entries[i].toObject();
            for (auto it = entry.begin(); it != entry.end(); ++it) {
                if (it.key() == QLatin1String("value"))
                    continue;
                if (!IconBundleModel::slotKeys().contains(it.key()))
                    add(folder + QStringLiteral("/icon.json"), Level::Note, "unknown-key",
                        QStringLiteral("%1: unknown key “%2”").arg(entryWhere, it.key()));
                else if (!it.value().isString())
                    wrongType(folder,
                              QStringLiteral("%1: “%2” is not a string").arg(entryWhere, it.key()));
            }
            if (!entry.contains(QLatin1String("value"))) {
                wrongType(folder, QStringLiteral("%1 has no “value”").arg(entryWhere));
                continue;
            }
            const QJsonValue entryValue = entry.value(QLatin1String("value"));
            const QString problem = IconBundleModel::problemOf(key.shape, entryValue);
            if (!problem.isEmpty())
                wrongType(folder, QStringLiteral("%1: “value” %2").arg(entryWhere, problem));
            else if (images)
                images->append({entryValue.toString(), entryWhere});
        }
    }

    // Layers name images by bare file name in the flat Assets folder. An image no layer names is
    // left alone: real documents carry such spares, and Icon Composer reads them without a word.
    void iconImages(const QString &folder, const IconImages &images)
    {
        const QString assets = folder + QStringLiteral("/Assets");
        const QStringList names = entryNames(assets);
        QSet<QString> judged;
        for (const auto &[written, where] : images) {
            if (judged.contains(written))
                continue;
            judged.insert(written);
            const QString namedIn = QStringLiteral("icon.json at %1").arg(where);
            const QString name = onDisk(assets, names, written, namedIn);
            judge(assets + QLatin1Char('/') + name, name, Files::LayerImage,
                  memberAt(assets, name, Files::LayerImage), namedIn);
        }
    }

    // Xcode 26 builds the app icon of that name from the .icon and leaves the set's images out.
    void shadowedSets(const QString &folder)
    {
        const QString bundle = nameOf(folder);
        for (const QString &set :
             ShadowedSets::appIconSetsShadowedBy(QDir::cleanPath(folder + QStringLiteral("/..")),
                                                 QFileInfo(bundle).completeBaseName()))
            add(set, Level::Warning, "icon-shadows-set",
                QStringLiteral("%1 has the name of %2 beside it: Xcode uses the .icon for the app "
                               "icon and ignores this set's images")
                    .arg(QFileInfo(set).fileName(), bundle));
    }
};

} // namespace

int CatalogueChecker::Result::count(Level level) const
{
    int n = 0;
    for (const Finding &finding : findings)
        n += finding.level == level ? 1 : 0;
    return n;
}

CatalogueChecker::Result CatalogueChecker::check(const QStringList &paths)
{
    Walk walk;
    for (const QString &path : paths)
        walk.start(path);
    return walk.result;
}

QString CatalogueChecker::levelName(Level level)
{
    switch (level) {
    case Level::Error:
        return QStringLiteral("error");
    case Level::Warning:
        return QStringLiteral("warning");
    case Level::Note:
        return QStringLiteral("note");
    }
    return {};
}
