#include "AssetPlan.h"

#include "CatalogueModel.h"
#include "QVIconData.h"
#include "source/ImageLimits.h"

#include <QHash>
#include <QJsonArray>
#include <QLocale>
#include <QSet>

#include <algorithm>

namespace {

using Platform = AssetPlan::Platform;
using Art = AssetPlan::Art;
using Look = AssetPlan::Look;
using Claim = AssetPlan::Claim;

QJsonObject infoOnly()
{
    return QJsonObject{{"info", QVIconData::info()}};
}

QJsonObject imagesOf(const QJsonArray &images)
{
    return QJsonObject{{"images", images}, {"info", QVIconData::info()}};
}

QJsonObject layersOf(const QStringList &layers)
{
    QJsonArray list;
    for (const QString &layer : layers)
        list.append(QJsonObject{{"filename", layer}});
    return QJsonObject{{"info", QVIconData::info()}, {"layers", list}};
}

QString sizeText(QSize size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

QString text(const QJsonObject &entry, const char *key)
{
    return entry.value(QLatin1String(key)).toString();
}

// The back layer: the back source when there is one, over the background colour when there is
// that too; else the colour alone.
AssetPlan::File backLayer(const QString &path, QSize size, const AssetPlan::Options &options)
{
    return {.path = path,
            .size = size,
            .art = options.back ? Art::Back : Art::None,
            .look = !options.back                  ? Look::Fill
                    : options.background.isValid() ? Look::OverBackground
                                                   : Look::AsDrawn,
            .opaqueLayer = true};
}

// The names of a stack's layers, front first, as Xcode names three and this product more.
QStringList layerNames(qsizetype count)
{
    QStringList names{QStringLiteral("Front")};
    for (qsizetype i = 1; i + 1 < count; ++i)
        names << (i == 1 ? QStringLiteral("Middle") : QStringLiteral("Middle %1").arg(i));
    names << QStringLiteral("Back");
    return names;
}

// A tvOS image stack: of a front and a back layer, or of a layered source's layers, each
// placed as the front one is so that they stay in register. Without `scales` it holds one
// image with no scale key, as the App Store stack has; otherwise 1x and 2x.
void addTvStack(AssetPlan &plan, const QString &stack, QSize size, bool scales,
                const AssetPlan::Options &options)
{
    const QList<std::pair<int, int>> runs = options.layers >= 2
                                                ? AssetPlan::stackLayers(options.layers, 5)
                                                : QList<std::pair<int, int>>{{0, 0}, {0, 0}};
    const QStringList layers = layerNames(runs.size());
    QStringList folders;
    for (const QString &layer : layers)
        folders << layer + ".imagestacklayer";
    plan.documents.append({stack, layersOf(folders), QStringLiteral("layers"), Claim::SameEntry});
    for (qsizetype n = 0; n < layers.size(); ++n) {
        const QString &layer = layers[n];
        const bool back = n + 1 == layers.size();
        const QString folder = stack + '/' + folders[n];
        const QString images = folder + "/Content.imageset";
        plan.documents.append({folder, infoOnly()});
        QJsonArray entries;
        QList<std::pair<QString, int>> files{{layer + ".png", 1}};
        if (scales)
            files.append({layer + "@2x.png", 2});
        for (const auto &[file, scale] : files) {
            QJsonObject entry{{"filename", file}, {"idiom", "tv"}};
            if (scales)
                entry["scale"] = QStringLiteral("%1x").arg(scale);
            entries.append(entry);
            const QString path = images + '/' + file;
            const QSize pixels = size * scale;
            AssetPlan::File planned{.path = path,
                                    .size = pixels,
                                    .look = Look::Placed,
                                    .artBox = AssetPlan::tvSafeArea(pixels)};
            if (options.layers >= 2) {
                planned.art = Art::Layers;
                planned.layer = runs[n].first;
                planned.lastLayer = runs[n].second;
                if (back) {
                    planned.look = Look::PlacedOverBackground;
                    planned.opaqueLayer = true;
                }
            } else if (back) {
                planned = backLayer(path, pixels, options);
            }
            plan.files.append(planned);
        }
        plan.documents.append(
            {images, imagesOf(entries), QStringLiteral("images"), Claim::SameEntry});
    }
}

// A top shelf image at 1x and 2x, for the shelf and again for the App Store's marketing.
void addTopShelf(AssetPlan &plan, const QString &set, const QString &name, QSize size)
{
    QJsonArray images;
    for (const QString &idiom : {QStringLiteral("tv"), QStringLiteral("tv-marketing")}) {
        const QString stem = idiom == QLatin1String("tv") ? name : name + "-marketing";
        for (int scale : {1, 2}) {
            const QString file = stem + (scale == 2 ? "@2x.png" : ".png");
            images.append(QJsonObject{
                {"filename", file}, {"idiom", idiom}, {"scale", QStringLiteral("%1x").arg(scale)}});
            const QSize pixels = size * scale;
            plan.files.append({.path = set + '/' + file,
                               .size = pixels,
                               .look = Look::PlacedOverBackground,
                               .artBox = AssetPlan::tvSafeArea(pixels)});
        }
    }
    plan.documents.append({set, imagesOf(images), QStringLiteral("images"), Claim::SameEntry});
}

void planIos(AssetPlan &plan, const AssetPlan::Options &options)
{
    const Look main = options.background.isValid() ? Look::OverBackground : Look::AsDrawn;
    QStringList appearances{QString()};
    if (options.singleSize) {
        const QSize size(1024, 1024);
        plan.files.append({.path = QVIconData::singleSizeFilename(), .size = size, .look = main});
        // The dark and tinted appearances are drawn on the system's own background, so they
        // keep their transparency whatever the main icon is laid over.
        if (options.dark) {
            appearances << QStringLiteral("dark");
            plan.files.append({.path = QVIconData::singleSizeFilename(QStringLiteral("dark")),
                               .size = size,
                               .art = Art::Dark});
        }
        if (options.tinted) {
            appearances << QStringLiteral("tinted");
            plan.files.append({.path = QVIconData::singleSizeFilename(QStringLiteral("tinted")),
                               .size = size,
                               .art = Art::Tinted,
                               .look = Look::Luminance});
        }
        plan.documents.append({QString(),
                               QVIconData::singleSizeContents(options.dark, options.tinted),
                               QStringLiteral("images"), Claim::Platform, appearances});
        return;
    }
    const QList<int> sizes = QVIconData::sizesToMakeForIcon();
    const QStringList names = QVIconData::filenamesForSizes();
    for (qsizetype i = 0; i < sizes.size(); ++i)
        plan.files.append(
            {.path = names.at(i), .size = QSize(sizes.at(i), sizes.at(i)), .look = main});
    plan.documents.append({QString(), QVIconData::appIconContents(), QStringLiteral("images"),
                           Claim::Platform, appearances});
}

void planMac(AssetPlan &plan, const AssetPlan::Options &options)
{
    const QList<int> sizes = QVIconData::sizesToMakeForIconMac();
    const QStringList names = QVIconData::filenamesForSizesMac();
    for (qsizetype i = 0; i < sizes.size(); ++i)
        plan.files.append({.path = names.at(i),
                           .size = QSize(sizes.at(i), sizes.at(i)),
                           .look = options.macStyle == AssetPlan::MacStyle::Shaped
                                       ? Look::MacShaped
                                       : Look::AsDrawn});
    plan.documents.append({QString(),
                           QVIconData::appIconContentsMac(),
                           QStringLiteral("images"),
                           Claim::Platform,
                           {QString()}});
}

void planWatch(AssetPlan &plan, const AssetPlan::Options &options)
{
    const QString file = QStringLiteral("Icon-1024.png");
    plan.documents.append({QString(),
                           imagesOf({QJsonObject{{"filename", file},
                                                 {"idiom", "universal"},
                                                 {"platform", "watchos"},
                                                 {"size", "1024x1024"}}}),
                           QStringLiteral("images"),
                           Claim::Platform,
                           {QString()}});
    plan.files.append(
        {.path = file,
         .size = QSize(1024, 1024),
         .look = options.background.isValid() ? Look::OverBackground : Look::AsDrawn});
}

void planVision(AssetPlan &plan, const AssetPlan::Options &options)
{
    const bool layered = options.layers >= 2;
    const QStringList layers = layerNames(layered ? 3 : 2);
    const QList<std::pair<int, int>> runs =
        layered ? AssetPlan::stackLayers(options.layers, 3) : QList<std::pair<int, int>>();
    QStringList folders;
    for (const QString &layer : layers)
        folders << layer + ".solidimagestacklayer";
    plan.documents.append(
        {QString(), layersOf(folders), QStringLiteral("layers"), Claim::SameEntry});
    const QSize size(AssetPlan::VisionLayerPixels, AssetPlan::VisionLayerPixels);
    for (qsizetype n = 0; n < layers.size(); ++n) {
        const QString &layer = layers[n];
        const bool back = n + 1 == layers.size();
        const QString images = folders[n] + "/Content.imageset";
        // A two-layer source leaves the middle layer empty, as Xcode writes one: an entry
        // that names no file.
        const bool empty = layered && n == 1 && runs.size() == 2;
        QJsonObject entry{{"idiom", "vision"}, {"scale", "2x"}};
        if (!empty)
            entry["filename"] = layer + ".png";
        plan.documents.append({folders[n], infoOnly()});
        plan.documents.append(
            {images, imagesOf({entry}), QStringLiteral("images"), Claim::SameEntry});
        if (empty)
            continue;
        const QString path = images + '/' + layer + ".png";
        if (layered) {
            const std::pair<int, int> run = back ? runs.last() : runs[n];
            plan.files.append({.path = path,
                               .size = size,
                               .art = Art::Layers,
                               .look = back && options.background.isValid() ? Look::OverBackground
                                                                            : Look::AsDrawn,
                               .opaqueLayer = back,
                               .layer = run.first,
                               .lastLayer = run.second});
        } else if (back) {
            plan.files.append(backLayer(path, size, options));
        } else {
            plan.files.append({.path = path, .size = size});
        }
    }
}

void planTv(AssetPlan &plan, const AssetPlan::Options &options)
{
    const QString store = QStringLiteral("App Icon - App Store.imagestack");
    const QString icon = QStringLiteral("App Icon.imagestack");
    const QString wide = QStringLiteral("Top Shelf Image Wide.imageset");
    const QString shelf = QStringLiteral("Top Shelf Image.imageset");
    auto asset = [](const QString &file, const QString &role, QSize size) {
        return QJsonObject{
            {"filename", file}, {"idiom", "tv"}, {"role", role}, {"size", sizeText(size)}};
    };
    plan.documents.append(
        {QString(),
         QJsonObject{{"assets", QJsonArray{asset(store, "primary-app-icon", {1280, 768}),
                                           asset(icon, "primary-app-icon", {400, 240}),
                                           asset(wide, "top-shelf-image-wide", {2320, 720}),
                                           asset(shelf, "top-shelf-image", {1920, 720})}},
                     {"info", QVIconData::info()}},
         QStringLiteral("assets"), Claim::SameEntry});
    addTvStack(plan, store, QSize(1280, 768), false, options);
    addTvStack(plan, icon, QSize(400, 240), true, options);
    addTopShelf(plan, wide, QStringLiteral("TopShelfWide"), QSize(2320, 720));
    addTopShelf(plan, shelf, QStringLiteral("TopShelf"), QSize(1920, 720));
}

// The idioms each platform's entries carry; another idiom of the same platform (CarPlay's
// "car" beside iOS) is not written here and stays.
bool idiomOf(Platform platform, const QString &idiom)
{
    static const QHash<Platform, QStringList> idioms{
        {Platform::Ios, {"iphone", "ipad", "ios-marketing", "universal"}},
        {Platform::Mac, {"mac", "universal"}},
        {Platform::Watch, {"watch", "watch-marketing", "universal"}},
    };
    return idioms.value(platform).contains(idiom);
}

// The one appearance an entry is drawn in: "" for none, or nothing when it names any other
// kind of appearance, which no plan writes.
std::optional<QString> appearanceOf(const QJsonObject &entry)
{
    const QJsonValue appearances = entry.value(QLatin1String("appearances"));
    if (appearances.isUndefined())
        return QString();
    const QJsonArray list = appearances.toArray();
    if (list.size() != 1 || list.first().toObject().value(QLatin1String("appearance")).toString() !=
                                QLatin1String("luminosity"))
        return std::nullopt;
    return list.first().toObject().value(QLatin1String("value")).toString();
}

// Two entries for the same place: the same slot, or, for entries that are only a name (the
// layers of a stack), the same name.
bool sameEntry(const QJsonObject &a, const QJsonObject &b)
{
    const QString key = CatalogueModel::slotKey(a);
    if (key == QLatin1String("{}"))
        return CatalogueModel::slotKey(b) == key && text(a, "filename") == text(b, "filename");
    return key == CatalogueModel::slotKey(b);
}

QString joined(const QString &folder, const QString &name)
{
    return folder.isEmpty() ? name : folder + QLatin1Char('/') + name;
}

// A name of a file inside the folder itself, neither hidden nor reaching elsewhere.
bool plainName(const QString &name)
{
    return !name.isEmpty() && !name.startsWith(QLatin1Char('.')) &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

// A name a file of ours may take over: a plain PNG file name inside the folder.
bool plainPngName(const QString &name)
{
    return plainName(name) && name.endsWith(QLatin1String(".png"), Qt::CaseInsensitive);
}

// Each platform once: its command word, its name in messages, its asset folder's extension and
// how its set is planned.
struct PlatformRow
{
    Platform platform;
    const char *key;
    const char *displayName;
    const char *extension;
    void (*plan)(AssetPlan &plan, const AssetPlan::Options &options);
};

const PlatformRow Platforms[] = {
    {Platform::Ios, "ios", "iOS", ".appiconset", planIos},
    {Platform::Mac, "mac", "Mac", ".appiconset", planMac},
    {Platform::Watch, "watch", "watchOS", ".appiconset", planWatch},
    {Platform::Vision, "vision", "visionOS", ".solidimagestack", planVision},
    {Platform::Tv, "tv", "tvOS", ".brandassets", planTv},
};

const PlatformRow &rowOf(Platform platform)
{
    for (const PlatformRow &row : Platforms) {
        if (row.platform == platform)
            return row;
    }
    Q_UNREACHABLE();
}

// The names our entries of a document take: the name the entry each replaces gave its slot, so
// that a set keeps its own names; else our own name; else one made from it and `tag`. Never a
// name a kept entry uses, nor one another file of ours holds.
QStringList namesOfOurs(const QList<QJsonObject> &ours, const QList<QJsonObject> &theirs,
                        const QList<bool> &claimed, const QSet<QString> &keptNames,
                        const QString &tag)
{
    QHash<QString, QString> owner; // lower-case name -> our own name of the file holding it
    auto free = [&](const QString &name, const QString &holder) {
        const QString lower = name.toLower();
        return !keptNames.contains(lower) && owner.value(lower, holder) == holder;
    };
    QStringList names(ours.size());
    for (qsizetype i = 0; i < ours.size(); ++i) {
        const QString own = text(ours[i], "filename");
        // An entry of no file (an empty stack layer) takes no name, not even one it once had.
        if (own.isEmpty())
            continue;
        for (qsizetype j = 0; j < theirs.size() && names[i].isEmpty(); ++j) {
            const QString name = text(theirs[j], "filename");
            if (claimed[j] && sameEntry(ours[i], theirs[j]) && plainPngName(name) &&
                free(name, own)) {
                names[i] = name;
                owner.insert(name.toLower(), own);
            }
        }
    }
    QHash<QString, QString> fallback;
    for (qsizetype i = 0; i < ours.size(); ++i) {
        const QString own = text(ours[i], "filename");
        if (!names[i].isEmpty() || own.isEmpty())
            continue;
        if (!fallback.contains(own)) {
            QString name = own;
            const QString stem = own.chopped(4);
            for (int n = 1; !free(name, own); ++n)
                name = n == 1 ? QStringLiteral("%1-%2.png").arg(stem, tag)
                              : QStringLiteral("%1-%2-%3.png").arg(stem, tag).arg(n);
            owner.insert(name.toLower(), own);
            fallback.insert(own, name);
        }
        names[i] = fallback.value(own);
    }
    return names;
}

// The files of `folder` once for every name the entries that named each now give it.
QList<AssetPlan::File> filesRenamed(const QList<AssetPlan::File> &files, const QString &folder,
                                    const QList<QJsonObject> &ours, const QStringList &names)
{
    QList<AssetPlan::File> renamed;
    for (const AssetPlan::File &file : files) {
        const QString inside = file.path.section(QLatin1Char('/'), 0, -2);
        const QString own = file.path.section(QLatin1Char('/'), -1);
        QStringList given;
        for (qsizetype i = 0; inside == folder && i < ours.size(); ++i) {
            if (text(ours[i], "filename") == own && !given.contains(names[i]))
                given.append(names[i]);
        }
        if (given.isEmpty())
            given.append(own);
        for (const QString &name : std::as_const(given)) {
            AssetPlan::File copy = file;
            copy.path = joined(inside, name);
            renamed.append(copy);
        }
    }
    return renamed;
}

// The entries after a write: ours where the entries they replace were, the rest after the last
// of those, so that writing the same set again changes nothing; every other entry in its place.
QList<QJsonObject> entriesPlaced(const QList<QJsonObject> &theirs, const QList<bool> &claimed,
                                 const QList<QJsonObject> &ours)
{
    QList<QJsonObject> list;
    QList<bool> placed(ours.size(), false);
    qsizetype insertAt = -1;
    for (qsizetype j = 0; j < theirs.size(); ++j) {
        if (!claimed[j]) {
            list.append(theirs[j]);
            continue;
        }
        insertAt = list.size();
        for (qsizetype i = 0; i < ours.size(); ++i) {
            if (!placed[i] && sameEntry(ours[i], theirs[j])) {
                placed[i] = true;
                list.append(ours[i]);
                insertAt = list.size();
                break;
            }
        }
    }
    if (insertAt < 0)
        insertAt = list.size();
    for (qsizetype i = 0; i < ours.size(); ++i) {
        if (!placed[i])
            list.insert(insertAt++, ours[i]);
    }
    return list;
}

} // namespace

QString AssetPlan::Document::path() const
{
    return joined(folder, QStringLiteral("Contents.json"));
}

bool AssetPlan::Document::claims(const QJsonObject &entry, Platform platform) const
{
    switch (claim) {
    case Claim::None:
        return false;
    case Claim::Platform: {
        const std::optional<QString> appearance = appearanceOf(entry);
        return platformOf(entry) == platform && idiomOf(platform, text(entry, "idiom")) &&
               appearance && appearances.contains(*appearance);
    }
    case Claim::PlainScales: {
        static const QStringList scales{"1x", "2x", "3x"}, keys{"filename", "idiom", "scale"};
        for (auto it = entry.begin(); it != entry.end(); ++it) {
            if (!keys.contains(it.key()))
                return false;
        }
        return text(entry, "idiom") == QLatin1String("universal") &&
               scales.contains(text(entry, "scale"));
    }
    case Claim::SameEntry:
        for (const QJsonValue &ours : contents.value(list).toArray()) {
            if (sameEntry(ours.toObject(), entry))
                return true;
        }
        return false;
    }
    return false;
}

AssetPlan AssetPlan::appIcon(Platform platform, const Options &options)
{
    AssetPlan plan;
    plan.platform = platform;
    plan.background = options.background;
    const QString name = options.name.isEmpty() ? defaultName(platform) : options.name;
    if (const QString problem = nameProblem(name); !problem.isEmpty()) {
        plan.refusal = problem;
        return plan;
    }
    const PlatformRow &row = rowOf(platform);
    plan.folder = name + QLatin1String(row.extension);
    // The back layers must be opaque, and the top shelf images lie on the background colour.
    if (platform == Platform::Tv && !options.background.isValid()) {
        plan.refusal = QStringLiteral(
            "Choose a background colour first: the top shelf images lay the source over it.");
        return plan;
    }
    if ((platform == Platform::Vision || platform == Platform::Tv) && options.layers >= 2 &&
        options.back) {
        plan.refusal = QStringLiteral("Give the layers or a back source, not both: the back "
                                      "layer is the source's own.");
        return plan;
    }
    if (platform == Platform::Vision && !options.background.isValid() && !options.back &&
        options.layers < 2) {
        plan.refusal = QStringLiteral("Choose a background colour or a back source first: "
                                      "the back layer must be opaque.");
        return plan;
    }
    row.plan(plan, options);
    // The icon App Store upload reads is the one the checker holds to be it.
    const AssetPlan::Document &root = plan.documents.first();
    for (File &file : plan.files) {
        file.storeIcon = false;
        for (const QJsonValue &entry : root.contents.value(root.list).toArray())
            file.storeIcon |= entry[QLatin1String("filename")].toString() == file.path &&
                              CatalogueModel::isStoreIcon(entry.toObject());
    }
    return plan;
}

AssetPlan AssetPlan::imageSet(const ImageSetDescription &set)
{
    AssetPlan plan;
    if (set.assetName().isEmpty()) {
        plan.refusal = QStringLiteral("Type an asset name first.");
        return plan;
    }
    if (set.assetName().contains(QLatin1Char('/'))) {
        plan.refusal =
            QStringLiteral("Type an asset name without “/”: it names the folder and its files.");
        return plan;
    }
    if (const QString problem = nameProblem(set.assetName()); !problem.isEmpty()) {
        plan.refusal = problem;
        return plan;
    }
    const QSizeF base = set.baseSize();
    if (base.width() < 1 || base.height() < 1) {
        plan.refusal = QStringLiteral("Type a width and a height of at least 1 pixel.");
        return plan;
    }
    const QList<QSizeF> sizes = set.sizes();
    const QSizeF largest = sizes.last();
    if (!ImageLimits::fits(largest.width(), largest.height())) {
        plan.refusal =
            QStringLiteral("The image set is too large: its 3x image would be %1 by %2 pixels, "
                           "and at most %3 pixels a side and %4 pixels in all can be made.")
                .arg(largest.width(), 0, 'f', 0)
                .arg(largest.height(), 0, 'f', 0)
                .arg(ImageLimits::MaxSide)
                .arg(ImageLimits::MaxPixels);
        return plan;
    }
    plan.folder = set.folderName();
    plan.documents.append(
        {QString(), set.contents(), QStringLiteral("images"), Claim::PlainScales});
    for (qsizetype i = 0; i < sizes.size(); ++i)
        plan.files.append({.path = set.fileNameForIndex(i + 1), .size = sizes.at(i).toSize()});
    return plan;
}

QString AssetPlan::key(Platform platform)
{
    return QLatin1String(rowOf(platform).key);
}

std::optional<AssetPlan::Platform> AssetPlan::platformOfKey(const QString &word)
{
    for (const PlatformRow &row : Platforms) {
        if (word == QLatin1String(row.key))
            return row.platform;
    }
    return std::nullopt;
}

QString AssetPlan::displayName(Platform platform)
{
    return QLatin1String(rowOf(platform).displayName);
}

QString AssetPlan::defaultName(Platform platform)
{
    return platform == Platform::Tv ? QStringLiteral("App Icon & Top Shelf Image")
                                    : QStringLiteral("AppIcon");
}

QString AssetPlan::nameProblem(const QString &name)
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("Type a name first: it names the asset folder.");
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')))
        return QStringLiteral("Type a name without “/” or “\\”: it names one folder.");
    if (name.startsWith(QLatin1Char('.')))
        return QStringLiteral("Type a name that does not start with “.”: Xcode hides such "
                              "folders.");
    return {};
}

std::optional<AssetPlan::Platform> AssetPlan::platformOf(const QJsonObject &entry)
{
    const QJsonValue named = entry.value(QLatin1String("platform"));
    if (!named.isUndefined()) {
        const QString platform = named.toString();
        if (platform == QLatin1String("ios"))
            return Platform::Ios;
        if (platform == QLatin1String("macos"))
            return Platform::Mac;
        if (platform == QLatin1String("watchos"))
            return Platform::Watch;
        return std::nullopt;
    }
    const QString idiom = text(entry, "idiom");
    if (idiom == QLatin1String("iphone") || idiom == QLatin1String("ipad") ||
        idiom == QLatin1String("ios-marketing") || idiom == QLatin1String("car"))
        return Platform::Ios;
    if (idiom == QLatin1String("mac"))
        return Platform::Mac;
    if (idiom == QLatin1String("watch") || idiom == QLatin1String("watch-marketing"))
        return Platform::Watch;
    return std::nullopt;
}

QList<std::pair<int, int>> AssetPlan::stackLayers(int layers, int most)
{
    QList<std::pair<int, int>> runs{{0, 0}};
    const int middles = std::min(layers, most) - 2, shared = layers - 2;
    for (int i = 0; i < middles; ++i)
        runs.append({1 + i * shared / middles, (i + 1) * shared / middles});
    runs.append({layers - 1, layers - 1});
    return runs;
}

QRect AssetPlan::tvSafeArea(QSize layer)
{
    const int inset = layer.height() / 10;
    return QRect(QPoint(0, 0), layer).adjusted(inset, inset, -inset, -inset);
}

AssetPlan::Merged
AssetPlan::mergeInto(const std::function<Existing(const QString &documentPath)> &existing)
{
    Merged merged;
    const Platform ownPlatform = platform.value_or(Platform::Ios);
    const QString tag = platform ? key(*platform) : QStringLiteral("new");
    QList<Document> written;
    QList<File> renamedFiles = files;
    QStringList keptKinds; // in the order the entries come, "" for entries of no platform
    int keptOther = 0;
    for (Document document : std::as_const(documents)) {
        const Existing found = existing(document.path());
        if (!found.unreadable.isEmpty()) {
            merged.refusal = found.unreadable;
            return merged;
        }
        if (!found.contents) {
            written.append(document);
            continue;
        }
        if (document.list.isEmpty())
            continue; // a layer's own document holds nothing of ours to change
        const QJsonValue theirList = found.contents->value(document.list);
        if (!theirList.isUndefined() && !theirList.isArray()) {
            merged.refusal = QStringLiteral("%1 holds “%2” that is not a list; fix or remove it "
                                            "first, so that nothing in it is lost.")
                                 .arg(joined(folder, document.path()), document.list);
            return merged;
        }
        QList<QJsonObject> theirs;
        for (const QJsonValue &value : theirList.toArray()) {
            if (!value.isObject()) {
                merged.refusal = QStringLiteral("%1 holds an entry of “%2” that is not an "
                                                "object; fix or remove it first, so that nothing "
                                                "in it is lost.")
                                     .arg(joined(folder, document.path()), document.list);
                return merged;
            }
            theirs.append(value.toObject());
        }
        QList<QJsonObject> ours;
        for (const QJsonValue &value : document.contents.value(document.list).toArray())
            ours.append(value.toObject());

        QList<bool> claimed;
        QSet<QString> keptNames; // lower case: Macs' disks ignore case
        for (const QJsonObject &entry : std::as_const(theirs)) {
            claimed.append(document.claims(entry, ownPlatform));
            if (!claimed.last()) {
                keptNames.insert(text(entry, "filename").toLower());
                const std::optional<Platform> kind =
                    document.claim == Claim::Platform ? platformOf(entry) : std::nullopt;
                const std::optional<QString> appearance = appearanceOf(entry);
                if (!kind) {
                    ++keptOther;
                    continue;
                }
                const QString words =
                    (appearance && !appearance->isEmpty() ? *appearance + QLatin1Char(' ')
                                                          : QString()) +
                    displayName(*kind);
                if (!keptKinds.contains(words))
                    keptKinds.append(words);
            } else {
                ++merged.replaced;
            }
        }

        // Entries of a stack's layers and of brand assets name folders, which keep their names.
        if (document.list == QLatin1String("images")) {
            const QStringList names = namesOfOurs(ours, theirs, claimed, keptNames, tag);
            renamedFiles = filesRenamed(renamedFiles, document.folder, ours, names);
            for (qsizetype i = 0; i < ours.size(); ++i) {
                if (!names[i].isEmpty())
                    ours[i].insert(QStringLiteral("filename"), names[i]);
            }
        }
        const QList<QJsonObject> list = entriesPlaced(theirs, claimed, ours);

        QSet<QString> named;
        for (const QJsonObject &entry : std::as_const(list))
            named.insert(text(entry, "filename").toLower());
        for (qsizetype j = 0; j < theirs.size(); ++j) {
            const QString name = text(theirs[j], "filename");
            if (claimed[j] && plainName(name) && !named.contains(name.toLower()) &&
                !merged.unnamed.contains(joined(document.folder, name))) {
                merged.unnamed.append(joined(document.folder, name));
            }
        }

        QJsonObject contents = *found.contents;
        QJsonArray array;
        for (const QJsonObject &entry : std::as_const(list))
            array.append(entry);
        contents.insert(document.list, array);
        if (!contents.contains(QLatin1String("info")))
            contents.insert(QStringLiteral("info"), QVIconData::info());
        // A document that already says all this is left as it is, byte for byte.
        if (contents == *found.contents)
            continue;
        document.contents = contents;
        written.append(document);
    }
    documents = written;
    files = renamedFiles;
    merged.keptKinds = keptKinds;
    if (keptOther > 0)
        merged.keptKinds.append(keptOther == 1 ? QStringLiteral("1 other entry")
                                               : QStringLiteral("%1 other entries").arg(keptOther));
    return merged;
}

QString AssetPlan::mergeSentence(const Merged &merged, const QString &where) const
{
    if (merged.keptKinds.isEmpty())
        return {};
    const QString what = platform ? QStringLiteral("the %1 icons").arg(displayName(*platform))
                                  : QStringLiteral("the images");
    // "the Mac and dark iOS icons and 2 other entries are kept"
    QStringList platforms, parts;
    for (const QString &kind : merged.keptKinds) {
        if (kind.front().isDigit())
            parts << kind;
        else
            platforms << kind;
    }
    const QLocale english(QLocale::English);
    if (!platforms.isEmpty())
        parts.prepend(QStringLiteral("the %1 icons").arg(english.createSeparatedList(platforms)));
    const QString keptText = english.createSeparatedList(parts);
    const bool one = platforms.isEmpty() && keptText.startsWith(QLatin1String("1 "));
    return merged.replaced > 0 ? QStringLiteral("Replaced %1 in %2; %3 %4 kept")
                                     .arg(what, where, keptText, one ? "is" : "are")
                               : QStringLiteral("Added %1 to %2; %3 %4 kept")
                                     .arg(what, where, keptText, one ? "is" : "are");
}
