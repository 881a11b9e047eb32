#include "AssetExporter.h"

#include "Parallel.h"
#include "PngEncoder.h"
#include "Renderer.h"
#include "MacIconShape.h"
#include "catalogue/IconJson.h"
#include "catalogue/PlatformIconData.h"
#include "catalogue/QVIconData.h"
#include "platform/FileSystem.h"
#include "source/ImageLimits.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

namespace {

// How a planned file is made from its source drawn at `drawSize()`.
enum class Look {
    AsDrawn,
    OverBackground,
    Luminance,
    Fill,      // the background colour alone; no source
    Placed,    // centred on a canvas of `size`, over the background when there is one
    MacShaped, // the body of a shaped Mac icon
};

struct Planned
{
    QSizeF size = {};
    QString fileName = {}; // inside the asset folder
    const SourceImage *source = nullptr;
    Look look = Look::AsDrawn;
    QColor background = {};
    bool storeIcon = false;   // the one App Store upload reads, which must be opaque
    QSizeF artSize = {};      // the size the source is drawn at, when not `size`
    bool opaqueLayer = false; // a back layer, which the system needs opaque

    QSizeF drawSize() const { return artSize.isEmpty() ? size : artSize; }
};

// The largest size of the source's shape that fits inside `box`, in whole pixels.
QSizeF fitted(QSizeF source, QSizeF box)
{
    if (source.isEmpty())
        return box;
    const double scale = std::min(box.width() / source.width(), box.height() / source.height());
    return QSizeF(std::max(1.0, std::round(source.width() * scale)),
                  std::max(1.0, std::round(source.height() * scale)));
}

// A drawing's picture for a planned file, drawn before the plan is carried out, or why not.
struct Drawn
{
    QImage image;
    QString failure;
};

struct Rendered
{
    QByteArray png;
    bool opaque = false;
    bool done = false;
};

QImage renderPlanned(const Planned &planned, const Drawn &drawn)
{
    if (planned.look == Look::Fill) {
        QImage fill(planned.size.toSize(), QImage::Format_RGB32);
        fill.fill(planned.background);
        return fill;
    }
    const QImage image = planned.source && planned.source->isVector()
                             ? drawn.image
                             : Renderer::render(planned.source, planned.drawSize(), 1);
    switch (planned.look) {
    case Look::OverBackground:
        return Renderer::overBackground(image, planned.background);
    case Look::Luminance:
        return Renderer::luminance(image);
    case Look::Placed:
        return Renderer::placed(image, planned.size.toSize(), planned.background);
    case Look::MacShaped:
        return image.isNull() ? image : MacIconShape::compose(image, int(planned.size.width()));
    case Look::AsDrawn:
    case Look::Fill:
        break;
    }
    return image;
}

QString sizeText(QSizeF size)
{
    return QStringLiteral("%1 by %2 pixels")
        .arg(size.width(), 0, 'f', 0)
        .arg(size.height(), 0, 'f', 0);
}

// What the user should know of a finished export: nothing that stops it, all of it said.
QList<ExportReport::Warning> warningsFor(const std::vector<Planned> &plan,
                                         const std::vector<bool> &opaque, bool appIcon)
{
    QList<ExportReport::Warning> warnings;
    for (size_t i = 0; i < plan.size(); ++i) {
        if (plan[i].storeIcon && !opaque[i])
            warnings.append(
                {QStringLiteral("transparent-store-icon"),
                 QStringLiteral("The source has transparent pixels, so %1 was written with "
                                "transparency: App Store upload refuses a transparent App Store "
                                "icon. Use an opaque source, or a background colour.")
                     .arg(plan[i].fileName)});
        if (plan[i].opaqueLayer && !opaque[i])
            warnings.append(
                {QStringLiteral("transparent-back"),
                 QStringLiteral("The back source has transparent pixels, so %1 was written with "
                                "transparency: the system needs the back layer opaque. Use an "
                                "opaque back source, or a background colour.")
                     .arg(plan[i].fileName)});
    }
    // Each source once: the largest file made from it says whether it was enlarged.
    QList<const SourceImage *> sources;
    for (const Planned &planned : plan) {
        if (!sources.contains(planned.source))
            sources.append(planned.source);
    }
    for (const SourceImage *source : sources) {
        if (!source || source->isVector())
            continue;
        const Planned *largest = nullptr;
        for (const Planned &planned : plan) {
            const QSizeF drawn = planned.drawSize();
            if (planned.source == source &&
                (!largest || drawn.width() * drawn.height() >
                                 largest->drawSize().width() * largest->drawSize().height()))
                largest = &planned;
        }
        const QSizeF have = source->size(), need = largest->drawSize();
        if (need.width() > have.width() || need.height() > have.height())
            warnings.append(
                {QStringLiteral("enlarged"),
                 QStringLiteral("The source is %1, smaller than %2 (%3): it was enlarged and will "
                                "look soft. Use a source at least as large.")
                     .arg(sizeText(have), largest->fileName.section('/', -1), sizeText(need))});
    }
    for (const SourceImage *source : std::as_const(sources)) {
        if (!source || source->missingFonts().isEmpty())
            continue;
        const QStringList fonts = source->missingFonts();
        warnings.append(
            {QStringLiteral("missing-font"),
             QStringLiteral("The drawing's text is set in %1, not installed here: it was drawn "
                            "with a substitute font. Install %2, or turn the text into outlines.")
                 .arg(QLocale().createSeparatedList(fonts),
                      fonts.size() == 1 ? QStringLiteral("the font") : QStringLiteral("them"))});
    }
    if (appIcon) {
        // A file drawn in another shape than its source's; a placed or fitted one keeps it.
        for (const SourceImage *source : std::as_const(sources)) {
            const bool stretched =
                source && source->size().width() != source->size().height() &&
                std::any_of(plan.begin(), plan.end(), [&](const Planned &planned) {
                    const QSizeF drawn = planned.drawSize(), own = source->size();
                    return planned.source == source && planned.look != Look::Placed &&
                           std::abs(drawn.width() * own.height() - drawn.height() * own.width()) >
                               0.01 * drawn.height() * own.height();
                });
            if (stretched)
                warnings.append(
                    {QStringLiteral("stretched"),
                     QStringLiteral("The source is %1, not square: the icons were stretched "
                                    "to squares.")
                         .arg(sizeText(source->size()))});
        }
    }
    // The same file given as two sources says the same thing twice.
    QList<ExportReport::Warning> once;
    for (const ExportReport::Warning &warning : std::as_const(warnings)) {
        if (std::none_of(once.begin(), once.end(), [&](const ExportReport::Warning &w) {
                return w.message == warning.message;
            }))
            once.append(warning);
    }
    return once;
}

QString describeFailure(const QString &folder, const QString &fileName, const QString &reason)
{
    if (!QFileInfo(folder).isDir()) {
        return QStringLiteral("Could not write %1: the folder %2 does not exist.")
            .arg(fileName, folder);
    }
    return QStringLiteral("Could not write %1 in %2: %3.").arg(fileName, folder, reason);
}

// Each drawing goes to the decoding worker once, for every size made from it.
std::vector<Drawn> drawDrawings(const std::vector<Planned> &plan)
{
    std::vector<Drawn> drawn(plan.size());
    QList<const SourceImage *> drawings;
    for (const Planned &planned : plan) {
        if (planned.source && planned.source->isVector() && !drawings.contains(planned.source))
            drawings.append(planned.source);
    }
    for (const SourceImage *drawing : std::as_const(drawings)) {
        QList<QSizeF> sizes;
        for (const Planned &planned : plan) {
            if (planned.source == drawing && !sizes.contains(planned.drawSize()))
                sizes.append(planned.drawSize());
        }
        const Renderer::Rendered rendered = Renderer::renderAll(drawing, sizes);
        for (size_t i = 0; i < plan.size(); ++i) {
            if (plan[i].source != drawing)
                continue;
            drawn[i].image = rendered.images.value(sizes.indexOf(plan[i].drawSize()));
            if (drawn[i].image.isNull())
                drawn[i].failure = rendered.error;
        }
    }
    return drawn;
}

// Renders and encodes every planned file on worker threads, largest first so that the longest
// job does not start last, and hands each PNG to `write` in list order on the calling thread.
template <typename Write>
void renderInOrder(const std::vector<Planned> &plan, const std::vector<Drawn> &drawn, int threads,
                   Write write)
{
    std::vector<Rendered> results(plan.size());
    std::vector<size_t> order(plan.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return plan[a].size.width() * plan[a].size.height() >
               plan[b].size.width() * plan[b].size.height();
    });

    std::mutex mutex;
    std::condition_variable ready;
    auto job = [&](size_t n) {
        const size_t i = order[n];
        const QImage image = renderPlanned(plan[i], drawn[i]);
        bool opaque = false;
        QByteArray png = PngEncoder::encode(image, 0, &opaque);
        std::lock_guard lock(mutex);
        results[i].png = std::move(png);
        results[i].opaque = opaque;
        results[i].done = true;
        ready.notify_all();
    };
    // The workers render while this thread writes each file as soon as its turn comes.
    std::jthread workers([&] { Parallel::forEach(order.size(), threads, job); });

    for (size_t i = 0; i < plan.size(); ++i) {
        QByteArray png;
        bool opaque = false;
        {
            std::unique_lock lock(mutex);
            ready.wait(lock, [&] { return results[i].done; });
            png = std::move(results[i].png);
            opaque = results[i].opaque;
        }
        write(i, png, opaque);
    }
}

// An export made ready: the folder, its Contents.json and every file, or why there is none.
struct Job
{
    QString refusal;
    QString folder;
    // Each Contents.json by the folder it describes inside the asset folder, "" first.
    QList<std::pair<QString, QJsonObject>> contents;
    // Files written as they are, after the Contents.json files, by their path inside it.
    QList<std::pair<QString, QByteArray>> documents;
    std::vector<Planned> plan;
    bool appIcon = false;

    static Job refused(const QString &why)
    {
        Job job;
        job.refusal = why;
        return job;
    }
};

ExportReport writeFolder(const Job &job, int threads, const AssetExporter::Progress &progress)
{
    if (!job.refusal.isEmpty())
        return ExportReport::refused(job.refusal);
    const QString &folder = job.folder;
    const std::vector<Planned> &plan = job.plan;
    const int total = int(plan.size() + job.contents.size() + job.documents.size());
    const std::vector<Drawn> drawn = drawDrawings(plan);
    ExportReport report;
    report.folder = folder;
    FileSystem::createFolder(folder);
    // Every folder a file goes into, each level made in turn below the asset folder.
    QStringList inner;
    for (const auto &[inside, contents] : job.contents)
        inner << inside;
    for (const auto &[path, bytes] : job.documents)
        inner << path.section(QLatin1Char('/'), 0, -2);
    for (const Planned &planned : plan)
        inner << planned.fileName.section(QLatin1Char('/'), 0, -2);
    for (const QString &inside : std::as_const(inner)) {
        QString path = folder;
        for (const QString &level : inside.split(QLatin1Char('/'), Qt::SkipEmptyParts))
            FileSystem::createFolder(path += QLatin1Char('/') + level);
    }

    auto writeFile = [&](const QString &fileName, const QByteArray &bytes, QSizeF size,
                         const QString &emptyReason) {
        ExportReport::File file;
        file.path = folder + QLatin1Char('/') + fileName;
        file.width = int(size.width());
        file.height = int(size.height());
        QString reason = emptyReason;
        file.ok = !bytes.isEmpty() && FileSystem::writeFileAtomically(file.path, bytes, &reason);
        if (!file.ok)
            file.message = describeFailure(folder, fileName, reason);
        report.files.append(file);
        if (progress)
            progress(int(report.files.size()), total);
    };

    for (const auto &[inside, contents] : job.contents)
        writeFile((inside.isEmpty() ? inside : inside + QLatin1Char('/')) +
                      QStringLiteral("Contents.json"),
                  AssetExporter::serialise(contents), QSizeF(), {});
    for (const auto &[path, bytes] : job.documents)
        writeFile(path, bytes, QSizeF(), QStringLiteral("there is nothing to write"));
    std::vector<bool> opaque(plan.size());
    renderInOrder(plan, drawn, threads, [&](size_t i, const QByteArray &png, bool isOpaque) {
        writeFile(plan[i].fileName, png, plan[i].size,
                  drawn[i].failure.isEmpty() ? QStringLiteral("the image could not be made")
                                             : drawn[i].failure);
        opaque[i] = isOpaque;
    });
    FileSystem::syncFolder(folder);
    if (report.writtenCount() > 0)
        report.warnings = warningsFor(plan, opaque, job.appIcon);
    return report;
}

AssetExporter::Preview previewJob(const Job &job, int threads)
{
    AssetExporter::Preview preview;
    if (!job.refusal.isEmpty()) {
        preview.refusal = job.refusal;
        return preview;
    }
    const std::vector<Drawn> drawn = drawDrawings(job.plan);
    std::vector<QImage> images(job.plan.size());
    Parallel::forEach(job.plan.size(), threads,
                      [&](size_t i) { images[i] = renderPlanned(job.plan[i], drawn[i]); });
    for (size_t i = 0; i < job.plan.size(); ++i)
        preview.files.append({job.plan[i].fileName, images[i]});
    return preview;
}

const QString NoSource = QStringLiteral("Choose a source image first.");
const QString NoFolder = QStringLiteral("Type or choose an output folder first.");

// The watchOS, visionOS and tvOS sets: every file of the layout, made as its role says.
Job platformJob(const SourceImage *source, const QString &folderText, const QString &platformWord,
                const AssetExporter::AppIconOptions &options)
{
    using Role = PlatformIconData::Role;
    const bool watch = platformWord == QLatin1String("watch");
    const bool tv = platformWord == QLatin1String("tv");
    if (tv && !options.background.isValid())
        return Job::refused(QStringLiteral(
            "Choose a background colour first: the top shelf images lay the source over it."));
    if (!watch && !options.background.isValid() && !options.back)
        return Job::refused(QStringLiteral("Choose a background colour or a back source first: "
                                           "the back layer must be opaque."));
    const PlatformIconData::Layout layout = watch ? PlatformIconData::watch()
                                            : tv  ? PlatformIconData::tv()
                                                  : PlatformIconData::vision();
    Job job;
    job.folder = folderText + QLatin1Char('/') + layout.folder;
    job.contents = layout.contents;
    job.appIcon = true;
    for (const PlatformIconData::File &file : layout.files) {
        Planned planned;
        planned.size = QSizeF(file.size);
        planned.fileName = file.path;
        planned.source = source;
        planned.background = options.background;
        switch (file.role) {
        case Role::Icon:
            planned.look = options.background.isValid() ? Look::OverBackground : Look::AsDrawn;
            planned.storeIcon = true;
            break;
        case Role::Front:
            break;
        case Role::FrontTv:
            planned.look = Look::Placed;
            planned.background = QColor();
            planned.artSize =
                fitted(source->size(), PlatformIconData::tvSafeArea(file.size).size());
            break;
        case Role::Back:
            planned.source = options.back;
            planned.look = !options.back                  ? Look::Fill
                           : options.background.isValid() ? Look::OverBackground
                                                          : Look::AsDrawn;
            planned.opaqueLayer = true;
            break;
        case Role::TopShelf:
            planned.look = Look::Placed;
            planned.artSize =
                fitted(source->size(), PlatformIconData::tvSafeArea(file.size).size());
            break;
        }
        job.plan.push_back(planned);
    }
    return job;
}

Job appIconJob(const SourceImage *source, const QString &folderText, const QString &platformWord,
               const AssetExporter::AppIconOptions &options)
{
    if (!source)
        return Job::refused(NoSource);
    if (folderText.isEmpty())
        return Job::refused(NoFolder);

    if (platformWord == QLatin1String("watch") || platformWord == QLatin1String("vision") ||
        platformWord == QLatin1String("tv"))
        return platformJob(source, folderText, platformWord, options);
    const bool ios = platformWord == QLatin1String("ios");
    Job job;
    job.folder = folderText + QStringLiteral("/AppIcon.appiconset");
    job.appIcon = true;
    std::vector<Planned> &plan = job.plan;
    auto planFor = [&](Planned planned) {
        planned.source = planned.source ? planned.source : source;
        if (ios && options.background.isValid() && planned.look == Look::AsDrawn) {
            planned.look = Look::OverBackground;
            planned.background = options.background;
        }
        plan.push_back(planned);
    };

    if (ios && options.singleSize) {
        const QSizeF size(1024, 1024);
        planFor({.size = size, .fileName = QVIconData::singleSizeFilename(), .storeIcon = true});
        // The dark and tinted appearances are drawn on the system's own background, so they
        // keep their transparency whatever the main icon is laid over.
        if (options.dark)
            plan.push_back({.size = size,
                            .fileName = QVIconData::singleSizeFilename(QStringLiteral("dark")),
                            .source = options.dark});
        if (options.tinted || options.tintedFromSource)
            plan.push_back({.size = size,
                            .fileName = QVIconData::singleSizeFilename(QStringLiteral("tinted")),
                            .source = options.tinted ? options.tinted : source,
                            .look = Look::Luminance});
        job.contents = {
            {QString(), QVIconData::singleSizeContents(
                            options.dark != nullptr, options.tinted || options.tintedFromSource)}};
        return job;
    }

    const QList<int> sizes =
        ios ? QVIconData::sizesToMakeForIcon() : QVIconData::sizesToMakeForIconMac();
    const QStringList names =
        ios ? QVIconData::filenamesForSizes() : QVIconData::filenamesForSizesMac();
    const bool shaped = !ios && options.macStyle == AssetExporter::MacStyle::Shaped;
    for (int size : sizes) {
        // The 1024 file of the iOS set is the App Store's icon.
        Planned planned{.size = QSizeF(size, size),
                        .fileName = names.at(sizes.indexOf(size)),
                        .storeIcon = ios && size == 1024};
        if (shaped) {
            planned.look = Look::MacShaped;
            const int body = MacIconShape::bodyPixels(size);
            planned.artSize = QSizeF(body, body);
        }
        planFor(planned);
    }
    job.contents = {
        {QString(), ios ? QVIconData::appIconContents() : QVIconData::appIconContentsMac()}};
    return job;
}

Job imageSetJob(const SourceImage *source, const QString &folderText,
                const ImageSetDescription &set)
{
    if (!source)
        return Job::refused(NoSource);
    if (folderText.isEmpty())
        return Job::refused(NoFolder);
    const QString name = set.assetName();
    if (name.isEmpty())
        return Job::refused(QStringLiteral("Type an asset name first."));
    if (name.contains(QLatin1Char('/')))
        return Job::refused(
            QStringLiteral("Type an asset name without “/”: it names the folder and its files."));
    const QSizeF base = set.baseSize();
    if (base.width() < 1 || base.height() < 1)
        return Job::refused(QStringLiteral("Type a width and a height of at least 1 pixel."));
    const QList<QSizeF> sizes = set.sizes();
    const QSizeF largest = sizes.last();
    if (!ImageLimits::fits(largest.width(), largest.height())) {
        return Job::refused(
            QStringLiteral("The image set is too large: its 3x image would be %1 by %2 pixels, "
                           "and at most %3 pixels a side and %4 pixels in all can be made.")
                .arg(largest.width(), 0, 'f', 0)
                .arg(largest.height(), 0, 'f', 0)
                .arg(ImageLimits::MaxSide)
                .arg(ImageLimits::MaxPixels));
    }

    Job job;
    job.folder = folderText + QLatin1Char('/') + set.folderName();
    job.contents = {{QString(), set.contents()}};
    for (const QSizeF &size : sizes)
        job.plan.push_back({.size = size,
                            .fileName = set.fileNameForIndex(sizes.indexOf(size) + 1),
                            .source = source});
    return job;
}

// A colour as Icon Composer writes one: its space, then each component with five decimals.
QString iconColour(const QColor &colour)
{
    const QColor rgb = colour.toRgb();
    return QStringLiteral("srgb:%1,%2,%3,%4")
        .arg(rgb.redF(), 0, 'f', 5)
        .arg(rgb.greenF(), 0, 'f', 5)
        .arg(rgb.blueF(), 0, 'f', 5)
        .arg(rgb.alphaF(), 0, 'f', 5);
}

// The layer `name` of an Icon Composer bundle, and its file in Assets/: a drawing as it is, a
// bitmap as a PNG no larger than the 1024 point canvas, which the layer's scale then fills.
QJsonObject iconLayer(Job &job, const SourceImage *source, const QString &name)
{
    constexpr double Canvas = 1024.0;
    QJsonObject layer{{"name", name}};
    const QSizeF natural = source->size();
    QSizeF file = natural;
    if (source->isVector()) {
        layer["image-name"] = name + QStringLiteral(".svg");
        job.documents.append(
            {QStringLiteral("Assets/") + name + QStringLiteral(".svg"), source->drawing()});
    } else {
        layer["image-name"] = name + QStringLiteral(".png");
        if (std::max(natural.width(), natural.height()) > Canvas)
            file = fitted(natural, QSizeF(Canvas, Canvas));
        job.plan.push_back({.size = file,
                            .fileName = QStringLiteral("Assets/") + name + QStringLiteral(".png"),
                            .source = source});
    }
    // Icon Composer places an image at its own size in points: a smaller one is scaled up to
    // span the canvas, as every other set this writes spans its canvas.
    const double longest = std::max(file.width(), file.height());
    if (longest > 0 && longest != Canvas)
        layer["position"] =
            QJsonObject{{"scale", Canvas / longest}, {"translation-in-points", QJsonArray{0, 0}}};
    return layer;
}

Job iconJob(const SourceImage *source, const QString &folderText, const QString &name,
            const AssetExporter::AppIconOptions &options)
{
    if (!source)
        return Job::refused(NoSource);
    if (folderText.isEmpty())
        return Job::refused(NoFolder);
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return Job::refused(QStringLiteral("Type an icon name without “/” first."));
    Job job;
    job.folder = folderText + QLatin1Char('/') + name + QStringLiteral(".icon");
    job.appIcon = true;
    // The values Icon Composer gives a new group: a neutral shadow at half opacity and
    // translucency on at half; a new layer gets no glass key of its own.
    auto group = [&](const SourceImage *image, const QString &layerName) {
        return QJsonObject{{"layers", QJsonArray{iconLayer(job, image, layerName)}},
                           {"shadow", QJsonObject{{"kind", "neutral"}, {"opacity", 0.5}}},
                           {"translucency", QJsonObject{{"enabled", true}, {"value", 0.5}}}};
    };
    // Groups run front to back.
    QJsonArray groups{group(source, QStringLiteral("Foreground"))};
    if (options.back)
        groups.append(group(options.back, QStringLiteral("Background")));
    QJsonObject document{{"groups", groups},
                         {"supported-platforms",
                          QJsonObject{{"circles", QJsonArray{"watchOS"}}, {"squares", "shared"}}}};
    if (options.background.isValid() && !options.back)
        document["fill"] = QJsonObject{{"solid", iconColour(options.background)}};
    else
        document["fill"] = QStringLiteral("automatic");
    job.documents.prepend({QStringLiteral("icon.json"), IconJson::write(document)});
    return job;
}

// Xcode takes NAME.icon over a catalogue's NAME.appiconset and leaves the set's images out.
QList<ExportReport::Warning> iconShadowsSet(const QString &folderText, const QString &name)
{
    const QString set = name + QStringLiteral(".appiconset");
    QStringList found;
    if (QFileInfo(folderText + QLatin1Char('/') + set).isDir())
        found << QDir::cleanPath(folderText + QLatin1Char('/') + set);
    const QDir folder(folderText);
    for (const QString &catalogue :
         folder.entryList({QStringLiteral("*.xcassets")}, QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (QFileInfo(folder.filePath(catalogue + QLatin1Char('/') + set)).isDir())
            found << QDir::cleanPath(folder.filePath(catalogue + QLatin1Char('/') + set));
    }
    QList<ExportReport::Warning> warnings;
    for (const QString &path : std::as_const(found))
        warnings.append(
            {QStringLiteral("icon-shadows-set"),
             QStringLiteral("%1 is beside %2.icon: Xcode 26 builds the app icon from the .icon "
                            "and leaves that set's images out. Remove the set, or give the "
                            ".icon another name.")
                 .arg(path, name)});
    return warnings;
}

} // namespace

ExportReport AssetExporter::writeIconBundle(const SourceImage *source, const QString &folderText,
                                            const QString &name, const AppIconOptions &options,
                                            int threads, const Progress &progress)
{
    ExportReport report =
        writeFolder(iconJob(source, folderText, name, options), threads, progress);
    if (report.writtenCount() > 0)
        report.warnings += iconShadowsSet(folderText, name);
    return report;
}

QByteArray AssetExporter::serialise(const QJsonObject &document)
{
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

ExportReport AssetExporter::writeAppIconSet(const SourceImage *source, const QString &folderText,
                                            const QString &platformWord, int threads)
{
    return writeAppIconSet(source, folderText, platformWord, AppIconOptions(), threads);
}

ExportReport AssetExporter::writeAppIconSet(const SourceImage *source, const QString &folderText,
                                            const QString &platformWord,
                                            const AppIconOptions &options, int threads,
                                            const Progress &progress)
{
    return writeFolder(appIconJob(source, folderText, platformWord, options), threads, progress);
}

ExportReport AssetExporter::writeImageSet(const SourceImage *source, const QString &folderText,
                                          const ImageSetDescription &set, int threads,
                                          const Progress &progress)
{
    return writeFolder(imageSetJob(source, folderText, set), threads, progress);
}

// The folder text only has to be there; nothing is written.
AssetExporter::Preview AssetExporter::previewAppIconSet(const SourceImage *source,
                                                        const QString &platformWord,
                                                        const AppIconOptions &options, int threads)
{
    return previewJob(appIconJob(source, QStringLiteral("."), platformWord, options), threads);
}

AssetExporter::Preview AssetExporter::previewImageSet(const SourceImage *source,
                                                      const ImageSetDescription &set, int threads)
{
    return previewJob(imageSetJob(source, QStringLiteral("."), set), threads);
}
