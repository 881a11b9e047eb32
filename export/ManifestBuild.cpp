#include "ManifestBuild.h"

#include "AssetExporter.h"
#include "Parallel.h"
#include "SourceFile.h"
#include "SourceLayers.h"
#include "catalogue/AssetNaming.h"
#include "catalogue/AssetPlan.h"
#include "catalogue/ImageSetDescription.h"
#include "source/SourceImage.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QSet>

namespace {

using Set = Manifest::Set;

bool isIcon(const Set &set)
{
    return set.kind == QLatin1String("icon");
}

bool isImageSet(const Set &set)
{
    return set.kind == QLatin1String("imageset");
}

// The source files a set reads: the main one first.
QStringList sourcesOf(const Set &set)
{
    QStringList paths{set.source};
    for (const QString &path : {set.dark, set.back})
        if (!path.isEmpty())
            paths << path;
    if (!set.tinted.isEmpty() && set.tinted != QLatin1String("auto"))
        paths << set.tinted;
    return paths + set.layers;
}

bool takesLayers(const Set &set)
{
    return set.kind == QLatin1String("vision") || set.kind == QLatin1String("tv") || isIcon(set);
}

// Whether the set is drawn from its source drawing's own layers, if it has any: a back source
// keeps the drawing whole as the front layer, as on the command line.
bool splitsSource(const Set &set)
{
    return takesLayers(set) && set.layers.isEmpty() && set.back.isEmpty() && !set.source.isEmpty();
}

AssetExporter::AppIconOptions optionsOf(const Set &set,
                                        const QMap<QString, SourceFile::Opened> &loaded)
{
    auto image = [&](const QString &path) {
        return path.isEmpty() ? nullptr : loaded.value(path).image.get();
    };
    AssetExporter::AppIconOptions options;
    if (!set.background.isEmpty())
        options.background = QColor::fromString(set.background);
    options.singleSize = set.singleSize;
    options.dark = image(set.dark);
    options.tintedFromSource = set.tinted == QLatin1String("auto");
    options.tinted = options.tintedFromSource ? nullptr : image(set.tinted);
    // An Icon Composer document gives its own appearances, as on the command line.
    const SourceFile::Opened &main = loaded.value(set.source);
    if (set.singleSize && set.dark.isEmpty())
        options.dark = main.dark.get();
    if (set.singleSize && set.tinted.isEmpty())
        options.tinted = main.tinted.get();
    options.macStyle = set.style == QLatin1String("15") ? AssetPlan::MacStyle::Shaped
                                                        : AssetPlan::MacStyle::FullBleed;
    options.back = image(set.back);
    options.name = set.name;
    return options;
}

ImageSetDescription imageSetOf(const Set &set, const SourceImage &source)
{
    int height = set.height;
    if (height == 0) {
        const QSizeF size = source.size();
        height =
            AssetNaming::heightForWidth(QString::number(set.width), size.height() / size.width());
    }
    return ImageSetDescription(set.width, height, set.assetName());
}

// The asset folder a set writes, case folded as the file systems most users have fold it: sets
// that share one are written one after the other, so each merges with what the one before
// wrote.
QString assetFolderOf(const Set &set)
{
    QString inside;
    if (isIcon(set))
        inside = set.assetName() + QStringLiteral(".icon");
    else if (isImageSet(set))
        inside = set.assetName() + QStringLiteral(".imageset");
    else if (const auto platform = AssetPlan::platformOfKey(set.kind)) {
        AssetPlan::Options options;
        options.name = set.name;
        inside = AssetPlan::appIcon(*platform, options).folder;
    }
    return QDir::cleanPath(set.folder + QLatin1Char('/') + inside).toCaseFolded();
}

ExportReport exportSet(const Set &set, const SourceImage *source,
                       const AssetExporter::AppIconOptions &options, bool check, int threads)
{
    if (isIcon(set)) {
        const QString name = set.assetName();
        return check ? AssetExporter::compareIconBundle(source, set.folder, name, options, threads)
                     : AssetExporter::writeIconBundle(source, set.folder, name, options, threads);
    }
    const AssetPlan::Platform platform = *AssetPlan::platformOfKey(set.kind);
    return check ? AssetExporter::compareAppIconSet(source, set.folder, platform, options, threads)
                 : AssetExporter::writeAppIconSet(source, set.folder, platform, options, threads);
}

ExportReport runSet(const QString &manifest, const Set &set,
                    const QMap<QString, SourceFile::Opened> &loaded,
                    const QMap<QString, SourceLayers::Found> &drawingLayers,
                    ManifestBuild::Mode mode, int threads)
{
    const bool check = mode == ManifestBuild::Mode::Check;
    if (set.source.isEmpty())
        return ExportReport::refused(
            QStringLiteral("%1: %2: no source yet: fill in its \"source\".")
                .arg(QFileInfo(manifest).fileName(), set.place));
    for (const QString &path : sourcesOf(set)) {
        if (const SourceFile::Opened &source = loaded.value(path); !source.image)
            return ExportReport::refused(source.error);
    }
    // An Icon Composer document gives the watch its watch idiom.
    const SourceFile::Opened &opened = loaded.value(set.source);
    const SourceImage *source = set.kind == QLatin1String("watch") && opened.watch
                                    ? opened.watch.get()
                                    : opened.image.get();
    // As a command's --out, the folder is made if it is not there; a check makes nothing.
    if (!check && !QFileInfo(set.folder).isDir() && !QDir().mkpath(set.folder))
        return ExportReport::refused(
            QStringLiteral("Could not create the folder %1.").arg(set.folder));
    if (isImageSet(set)) {
        const ImageSetDescription description = imageSetOf(set, *source);
        return check ? AssetExporter::compareImageSet(source, set.folder, description, threads)
                     : AssetExporter::writeImageSet(source, set.folder, description, threads);
    }
    AssetExporter::AppIconOptions options = optionsOf(set, loaded);
    if (!takesLayers(set))
        return exportSet(set, source, options, check, threads);
    // The layers as the command takes them: the files named, each opened once for the build,
    // else the source drawing's own, split once for every set drawn from them.
    const SourceLayers::Found found =
        !set.layers.isEmpty()
            ? SourceLayers::ofOpenedFiles(set.layers,
                                          [&](const QString &path) { return loaded.value(path); })
            : drawingLayers.value(splitsSource(set) ? set.source : QString());
    if (!found.error.isEmpty())
        return ExportReport::refused(found.error);
    options.groups = set.groups;
    if (found.layered()) {
        options.layerNames = found.names;
        for (const SourceImagePtr &image : found.images)
            options.layers << image.get();
    }
    ExportReport report = exportSet(set, source, options, check, threads);
    report.warnings = found.warnings() + report.warnings;
    return report;
}

} // namespace

QList<ManifestBuild::Result> ManifestBuild::run(const Manifest &manifest, Mode mode, int threads)
{
    // Every source once, however many sets name it; a document's other looks only where a set
    // takes them.
    QStringList paths;
    QSet<QString> looks;
    for (const Set &set : manifest.sets) {
        if (set.source.isEmpty())
            continue;
        for (const QString &path : sourcesOf(set))
            if (!paths.contains(path))
                paths << path;
        if (set.kind == QLatin1String("watch") ||
            (set.singleSize && (set.dark.isEmpty() || set.tinted.isEmpty())))
            looks.insert(set.source);
    }
    std::vector<SourceFile::Opened> images(paths.size());
    Parallel::forEach(images.size(), threads, [&](size_t i) {
        const QString &path = paths[qsizetype(i)];
        images[i] = SourceFile::openNamed(path, looks.contains(path) ? SourceFile::Looks::All
                                                                     : SourceFile::Looks::Default);
    });
    QMap<QString, SourceFile::Opened> loaded;
    for (qsizetype i = 0; i < paths.size(); ++i)
        loaded.insert(paths[i], images[size_t(i)]);

    // Every drawing split into its layers once, however many sets draw them.
    QStringList drawings;
    for (const Set &set : manifest.sets) {
        if (splitsSource(set) && loaded.value(set.source).image && !drawings.contains(set.source))
            drawings << set.source;
    }
    std::vector<SourceLayers::Found> split(size_t(drawings.size()));
    Parallel::forEach(split.size(), threads, [&](size_t i) {
        split[i] = SourceLayers::ofDrawing(*loaded.value(drawings[qsizetype(i)]).image);
    });
    QMap<QString, SourceLayers::Found> drawingLayers;
    for (qsizetype i = 0; i < drawings.size(); ++i)
        drawingLayers.insert(drawings[i], split[size_t(i)]);

    // Sets that write one asset folder go in the manifest's order on one thread; the groups run
    // side by side.
    QList<QList<qsizetype>> groups;
    QMap<QString, qsizetype> groupOf;
    for (qsizetype i = 0; i < manifest.sets.size(); ++i) {
        const QString folder = assetFolderOf(manifest.sets[i]);
        if (!groupOf.contains(folder)) {
            groupOf.insert(folder, groups.size());
            groups.append(QList<qsizetype>());
        }
        groups[groupOf.value(folder)].append(i);
    }
    QList<Result> results(manifest.sets.size());
    Parallel::forEach(size_t(groups.size()), threads, [&](size_t g) {
        for (const qsizetype i : std::as_const(groups[qsizetype(g)])) {
            const Set &set = manifest.sets[i];
            results[i] = {set, runSet(manifest.path, set, loaded, drawingLayers, mode, threads)};
        }
    });
    return results;
}
