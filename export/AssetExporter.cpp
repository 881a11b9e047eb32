#include "AssetExporter.h"

#include "MacIconShape.h"
#include "Parallel.h"
#include "PngEncoder.h"
#include "Renderer.h"
#include "catalogue/IconJson.h"
#include "catalogue/ShadowedSets.h"
#include "platform/FileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QMap>
#include <QSet>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <numeric>
#include <vector>

namespace {

using Look = AssetPlan::Look;
using Art = AssetPlan::Art;

// A file of a plan bound to the picture it is made from.
struct Planned
{
    AssetPlan::File file;
    const SourceImage *source = nullptr;
    QSizeF drawSize; // what the source is drawn at before the look is applied
    QColor background;

    bool placed() const
    {
        return file.look == Look::Placed || file.look == Look::PlacedOverBackground;
    }
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

Planned bind(const AssetPlan::File &file, const SourceImage *source,
             const AssetExporter::AppIconOptions &options, const QColor &background)
{
    Planned planned{file, source, QSizeF(file.size), background};
    switch (file.art) {
    case Art::Source:
        break;
    case Art::Dark:
        planned.source = options.dark;
        break;
    case Art::Tinted:
        planned.source = options.tinted ? options.tinted : source;
        break;
    case Art::Back:
        planned.source = options.back;
        break;
    case Art::None:
        planned.source = nullptr;
        break;
    }
    if (planned.placed() && planned.source)
        planned.drawSize = fitted(planned.source->size(), QSizeF(file.artBox.size()));
    if (file.look == Look::MacShaped) {
        const int body = MacIconShape::bodyPixels(file.size.width());
        planned.drawSize = QSizeF(body, body);
    }
    return planned;
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
    const QSize size = planned.file.size;
    if (planned.file.look == Look::Fill) {
        QImage fill(size, QImage::Format_RGB32);
        fill.fill(planned.background);
        return fill;
    }
    const QImage image = planned.source && planned.source->isVector()
                             ? drawn.image
                             : Renderer::render(planned.source, planned.drawSize, 1);
    switch (planned.file.look) {
    case Look::OverBackground:
        return Renderer::overBackground(image, planned.background);
    case Look::Luminance:
        return Renderer::luminance(image);
    case Look::Placed:
        return Renderer::placed(image, size, QColor());
    case Look::PlacedOverBackground:
        return Renderer::placed(image, size, planned.background);
    case Look::MacShaped:
        return image.isNull() ? image : MacIconShape::compose(image, size.width());
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

QString fileNameOf(const Planned &planned)
{
    return planned.file.path.section(QLatin1Char('/'), -1);
}

// What the user should know of a finished export: nothing that stops it, all of it said.
QList<ExportReport::Warning> warningsFor(const std::vector<Planned> &plan,
                                         const std::vector<bool> &opaque, bool appIcon)
{
    QList<ExportReport::Warning> warnings;
    for (size_t i = 0; i < plan.size(); ++i) {
        if (plan[i].file.storeIcon && !opaque[i])
            warnings.append(
                {QStringLiteral("transparent-store-icon"),
                 QStringLiteral("The source has transparent pixels, so %1 was written with "
                                "transparency: App Store upload refuses a transparent App Store "
                                "icon. Use an opaque source, or a background colour.")
                     .arg(plan[i].file.path)});
        if (plan[i].file.opaqueLayer && !opaque[i])
            warnings.append(
                {QStringLiteral("transparent-back"),
                 QStringLiteral("The back source has transparent pixels, so %1 was written with "
                                "transparency: the system needs the back layer opaque. Use an "
                                "opaque back source, or a background colour.")
                     .arg(plan[i].file.path)});
    }
    // Each source once: the largest file made from it says whether it was enlarged.
    QList<const SourceImage *> sources;
    for (const Planned &planned : plan) {
        if (!sources.contains(planned.source))
            sources.append(planned.source);
    }
    for (const SourceImage *source : std::as_const(sources)) {
        if (!source || source->isVector())
            continue;
        const Planned *largest = nullptr;
        for (const Planned &planned : plan) {
            const QSizeF drawn = planned.drawSize;
            if (planned.source == source &&
                (!largest || drawn.width() * drawn.height() >
                                 largest->drawSize.width() * largest->drawSize.height()))
                largest = &planned;
        }
        const QSizeF have = source->size(), need = largest->drawSize;
        if (need.width() > have.width() || need.height() > have.height())
            warnings.append(
                {QStringLiteral("enlarged"),
                 QStringLiteral("The source is %1, smaller than %2 (%3): it was enlarged and will "
                                "look soft. Use a source at least as large.")
                     .arg(sizeText(have), fileNameOf(*largest), sizeText(need))});
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
                    const QSizeF drawn = planned.drawSize, own = source->size();
                    return planned.source == source && !planned.placed() &&
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

// Each drawing goes to the decoding worker once, for every size made from it.
std::vector<Drawn> drawDrawings(const std::vector<Planned> &plan,
                                const std::atomic_bool *cancel = nullptr)
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
            if (planned.source == drawing && !sizes.contains(planned.drawSize))
                sizes.append(planned.drawSize);
        }
        const Renderer::Rendered rendered = Renderer::renderAll(drawing, sizes, 0, cancel);
        for (size_t i = 0; i < plan.size(); ++i) {
            if (plan[i].source != drawing)
                continue;
            drawn[i].image = rendered.images.value(sizes.indexOf(plan[i].drawSize));
            if (drawn[i].image.isNull())
                drawn[i].failure = rendered.error;
        }
    }
    return drawn;
}

// Renders and encodes every planned file on the pool's threads, largest first so that the
// longest job does not start last, and hands each PNG to `write` in list order on the calling
// thread as soon as its turn comes.
template <typename Write>
void renderInOrder(const std::vector<Planned> &plan, const std::vector<Drawn> &drawn, int threads,
                   Write write)
{
    std::vector<Rendered> results(plan.size());
    std::vector<size_t> order(plan.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        const QSize sa = plan[a].file.size, sb = plan[b].file.size;
        return qint64(sa.width()) * sa.height() > qint64(sb.width()) * sb.height();
    });

    std::mutex mutex;
    std::condition_variable ready;
    Parallel::Pending pending = Parallel::start(order.size(), threads, [&](size_t n) {
        const size_t i = order[n];
        const QImage image = renderPlanned(plan[i], drawn[i]);
        bool opaque = false;
        QByteArray png = PngEncoder::encode(image, 0, &opaque);
        std::lock_guard lock(mutex);
        results[i].png = std::move(png);
        results[i].opaque = opaque;
        results[i].done = true;
        ready.notify_all();
    });
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
    pending.wait();
}

// An export made ready: the folder, the plan of its documents and files, or why there is none.
struct Job
{
    QString refusal;
    QString folder;
    AssetPlan plan;
    // Files written as they are, after the Contents.json files, by their path inside the folder.
    QList<std::pair<QString, QByteArray>> documents;
    // Binds the plan's files, once merged, to their pictures.
    std::function<Planned(const AssetPlan::File &)> bind;
    bool appIcon = false;
    bool merges = false;

    std::vector<Planned> bound() const
    {
        std::vector<Planned> planned;
        for (const AssetPlan::File &file : plan.files)
            planned.push_back(bind(file));
        return planned;
    }

    static Job refused(const QString &why)
    {
        Job job;
        job.refusal = why;
        return job;
    }
};

const QString NoSource = QStringLiteral("Choose a source image first.");
const QString NoFolder = QStringLiteral("Type or choose an output folder first.");

// What keeps a set from ever going where it is meant to, which a check finds as a write does:
// a file in the way of its folder, or no folder to make it in.
QString placeProblem(const QString &folder)
{
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        return QStringLiteral("Could not write %1: a file of that name is in the way.").arg(folder);
    const QString parent = info.absolutePath();
    if (!info.exists() && !QFileInfo(parent).isDir())
        return QStringLiteral("Could not write %1: the folder %2 does not exist.")
            .arg(info.fileName(), parent);
    return {};
}

// Where the set goes must take it before anything is drawn: its folder there or creatable, and
// writable.
QString destinationProblem(const QString &folder)
{
    if (const QString problem = placeProblem(folder); !problem.isEmpty())
        return problem;
    const QFileInfo info(folder);
    if (!info.exists()) {
        std::error_code error;
        std::filesystem::create_directory(std::filesystem::path(folder.toStdU16String()), error);
        if (error)
            return QStringLiteral("Could not create the folder %1: %2.")
                .arg(folder, QString::fromLocal8Bit(error.message()));
    }
    // A file made and removed again asks the system itself, which knows read-only disks and
    // access lists that permission bits do not show.
    QTemporaryFile probe(folder + QStringLiteral("/.assetsmith-XXXXXX"));
    if (!probe.open())
        return QStringLiteral("Could not write into %1: %2.").arg(folder, probe.errorString());
    return {};
}

// A document on disk, for a merge: absent, read, or in a state that refuses the write.
AssetPlan::Existing readExisting(const QString &folder, const QString &inside)
{
    const QString path = folder + QLatin1Char('/') + inside;
    QFile file(path);
    if (!file.exists())
        return {};
    if (!file.open(QIODevice::ReadOnly))
        return {std::nullopt,
                QStringLiteral("Could not read %1: %2.").arg(path, file.errorString())};
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {std::nullopt,
                QStringLiteral("%1 is not a JSON object (%2): fix or remove it first, so that "
                               "nothing in it is lost.")
                    .arg(path, error.error != QJsonParseError::NoError
                                   ? error.errorString()
                                   : QStringLiteral("it holds another kind of value"))};
    return {document.object(), {}};
}

// A job made ready against the disk, as a write and a check alike carry it out: merged with the
// documents there, so that `job.plan.documents` holds only those to be rewritten, its files
// bound to their pictures and its drawings drawn; or why it is refused.
struct Prepared
{
    QString refusal;
    AssetPlan::Merged merged;
    std::vector<Planned> plan;
    std::vector<Drawn> drawn;
};

enum class Mode { Write, Check };

Prepared prepare(Job &job, Mode mode)
{
    Prepared prepared;
    prepared.refusal = !job.refusal.isEmpty() ? job.refusal
                       : mode == Mode::Write  ? destinationProblem(job.folder)
                                              : placeProblem(job.folder);
    if (!prepared.refusal.isEmpty())
        return prepared;
    if (job.merges) {
        prepared.merged = job.plan.mergeInto(
            [&](const QString &inside) { return readExisting(job.folder, inside); });
        if (!prepared.merged.refusal.isEmpty()) {
            prepared.refusal = prepared.merged.refusal;
            return prepared;
        }
    }
    prepared.plan = job.bound();
    prepared.drawn = drawDrawings(prepared.plan);
    return prepared;
}

ExportReport writeFolder(Job job, int threads, const AssetExporter::Progress &progress)
{
    const Prepared prepared = prepare(job, Mode::Write);
    if (!prepared.refusal.isEmpty())
        return ExportReport::refused(prepared.refusal);
    const QString &folder = job.folder;
    const AssetPlan::Merged &merged = prepared.merged;
    const std::vector<Planned> &plan = prepared.plan;
    const std::vector<Drawn> &drawn = prepared.drawn;
    const int total = int(plan.size() + job.plan.documents.size() + job.documents.size());
    ExportReport report;
    report.folder = folder;
    // Every file written, by the folder inside the asset folder that holds it.
    QMap<QString, QSet<QString>> written;
    auto add = [&](const QString &path) {
        written[path.section(QLatin1Char('/'), 0, -2)] << path.section(QLatin1Char('/'), -1);
    };
    for (const AssetPlan::Document &document : std::as_const(job.plan.documents))
        add(document.path());
    for (const auto &[path, bytes] : job.documents)
        add(path);
    for (const Planned &planned : plan)
        add(planned.file.path);
    for (auto it = written.cbegin(); it != written.cend(); ++it) {
        QString path = folder;
        for (const QString &level : it.key().split(QLatin1Char('/'), Qt::SkipEmptyParts))
            FileSystem::createFolder(path += QLatin1Char('/') + level);
        // A writer stopped mid-write (a kill, a power cut) leaves its temporary file beside the
        // one it was replacing, named after it and six letters or digits; those of the files
        // written now are removed, nothing else.
        const QDir inside(path);
        for (const QString &name : inside.entryList(QDir::Files | QDir::Hidden)) {
            const QString suffix = name.right(6);
            if (name.size() > 7 && name.at(name.size() - 7) == QLatin1Char('.') &&
                it.value().contains(name.chopped(7)) &&
                std::all_of(suffix.begin(), suffix.end(),
                            [](QChar c) { return c.unicode() < 128 && c.isLetterOrNumber(); }))
                QFile::remove(inside.filePath(name));
        }
    }

    auto writeFile = [&](const QString &fileName, const QByteArray &bytes, QSize size,
                         const QString &emptyReason) {
        ExportReport::File file;
        file.path = folder + QLatin1Char('/') + fileName;
        file.width = size.width();
        file.height = size.height();
        QString reason = emptyReason;
        file.ok = !bytes.isEmpty() && FileSystem::writeFileAtomically(file.path, bytes, &reason);
        if (!file.ok)
            file.message =
                QFileInfo(folder).isDir()
                    ? QStringLiteral("Could not write %1 in %2: %3.").arg(fileName, folder, reason)
                    : QStringLiteral("Could not write %1: the folder %2 does not "
                                     "exist.")
                          .arg(fileName, folder);
        report.files.append(file);
        if (progress)
            progress(int(report.files.size()), total);
    };

    for (const AssetPlan::Document &document : std::as_const(job.plan.documents))
        writeFile(document.path(), AssetExporter::serialise(document.contents), QSize(), {});
    for (const auto &[path, bytes] : job.documents)
        writeFile(path, bytes, QSize(), QStringLiteral("there is nothing to write"));
    std::vector<bool> opaque(plan.size());
    renderInOrder(plan, drawn, threads, [&](size_t i, const QByteArray &png, bool isOpaque) {
        writeFile(plan[i].file.path, png, plan[i].file.size,
                  drawn[i].failure.isEmpty() ? QStringLiteral("the image could not be made")
                                             : drawn[i].failure);
        opaque[i] = isOpaque;
    });
    FileSystem::syncFolder(folder);
    if (report.writtenCount() > 0)
        report.warnings = warningsFor(plan, opaque, job.appIcon);
    for (const QString &inside : std::as_const(merged.unnamed)) {
        const QString path = folder + QLatin1Char('/') + inside;
        if (QFileInfo::exists(path))
            report.warnings.append(
                {QStringLiteral("unnamed-file"),
                 QStringLiteral("No slot names %1 now; remove it if it is not yours.").arg(path)});
    }
    report.note = job.plan.mergeSentence(
        merged,
        QStringLiteral("%1 (%2 files)").arg(QDir::cleanPath(folder)).arg(report.files.size()));
    return report;
}

// What the write of a job would change, found by making every byte it would write and reading
// what is there instead; nothing on disk is touched.
ExportReport checkFolder(Job job, int threads)
{
    const Prepared prepared = prepare(job, Mode::Check);
    if (!prepared.refusal.isEmpty())
        return ExportReport::refused(prepared.refusal);
    const QString &folder = job.folder;
    ExportReport report;
    report.folder = folder;
    QString failure; // the first file that could not be made: then nothing can be said of it
    auto compare = [&](const QString &inside, const QByteArray &bytes, const QString &emptyReason) {
        const QString path = folder + QLatin1Char('/') + inside;
        if (bytes.isEmpty()) {
            if (failure.isEmpty())
                failure = QStringLiteral("Could not make %1: %2.").arg(path, emptyReason);
            return;
        }
        const QFileInfo info(path);
        QFile file(path);
        if (!info.exists())
            report.differences.append({path, QStringLiteral("missing")});
        else if (!info.isFile() || info.size() != bytes.size() || !file.open(QIODevice::ReadOnly) ||
                 file.readAll() != bytes)
            report.differences.append({path, QStringLiteral("different bytes")});
    };
    for (const AssetPlan::Document &document : std::as_const(job.plan.documents)) {
        const QString path = folder + QLatin1Char('/') + document.path();
        report.differences.append({path, QFileInfo::exists(path) ? QStringLiteral("entries differ")
                                                                 : QStringLiteral("missing")});
    }
    for (const auto &[path, bytes] : std::as_const(job.documents))
        compare(path, bytes, QStringLiteral("there is nothing to write"));
    const std::vector<Planned> &plan = prepared.plan;
    renderInOrder(plan, prepared.drawn, threads, [&](size_t i, const QByteArray &png, bool) {
        compare(plan[i].file.path, png,
                prepared.drawn[i].failure.isEmpty() ? QStringLiteral("the image could not be made")
                                                    : prepared.drawn[i].failure);
    });
    if (!failure.isEmpty())
        return ExportReport::refused(failure);
    return report;
}

AssetExporter::Preview previewJob(const Job &job, int threads, const std::atomic_bool *cancel)
{
    AssetExporter::Preview preview;
    if (!job.refusal.isEmpty()) {
        preview.refusal = job.refusal;
        return preview;
    }
    const std::vector<Planned> plan = job.bound();
    const std::vector<Drawn> drawn = drawDrawings(plan, cancel);
    std::vector<QImage> images(plan.size());
    Parallel::forEach(plan.size(), threads,
                      [&](size_t i) { images[i] = renderPlanned(plan[i], drawn[i]); });
    for (size_t i = 0; i < plan.size(); ++i)
        preview.files.append({plan[i].file.path, images[i]});
    return preview;
}

Job appIconJob(const SourceImage *source, const QString &folderText, AssetPlan::Platform platform,
               const AssetExporter::AppIconOptions &options)
{
    if (!source)
        return Job::refused(NoSource);
    if (folderText.isEmpty())
        return Job::refused(NoFolder);
    Job job;
    job.plan = AssetPlan::appIcon(platform, AssetExporter::planOptions(options));
    if (!job.plan.refusal.isEmpty())
        return Job::refused(job.plan.refusal);
    job.folder = folderText + QLatin1Char('/') + job.plan.folder;
    job.appIcon = true;
    job.merges = true;
    const QColor background = job.plan.background;
    job.bind = [source, options, background](const AssetPlan::File &file) {
        return bind(file, source, options, background);
    };
    return job;
}

Job imageSetJob(const SourceImage *source, const QString &folderText,
                const ImageSetDescription &set)
{
    if (!source)
        return Job::refused(NoSource);
    if (folderText.isEmpty())
        return Job::refused(NoFolder);
    Job job;
    job.plan = AssetPlan::imageSet(set);
    if (!job.plan.refusal.isEmpty())
        return Job::refused(job.plan.refusal);
    job.folder = folderText + QLatin1Char('/') + job.plan.folder;
    job.merges = true;
    job.bind = [source](const AssetPlan::File &file) {
        return Planned{file, source, QSizeF(file.size), QColor()};
    };
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
QJsonObject iconLayer(Job &job, const SourceImage *source, const QString &name, Art art)
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
        job.plan.files.append({.path = QStringLiteral("Assets/") + name + QStringLiteral(".png"),
                               .size = file.toSize(),
                               .art = art});
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
    if (const QString problem = AssetPlan::nameProblem(name); !problem.isEmpty())
        return Job::refused(problem);
    Job job;
    job.folder = folderText + QLatin1Char('/') + name + QStringLiteral(".icon");
    job.appIcon = true;
    job.bind = [source, back = options.back](const AssetPlan::File &file) {
        return Planned{file, file.art == Art::Back ? back : source, QSizeF(file.size), QColor()};
    };
    // The values Icon Composer gives a new group: a neutral shadow at half opacity and
    // translucency on at half; a new layer gets no glass key of its own.
    auto group = [&](const SourceImage *image, const QString &layerName, Art art) {
        return QJsonObject{{"layers", QJsonArray{iconLayer(job, image, layerName, art)}},
                           {"shadow", QJsonObject{{"kind", "neutral"}, {"opacity", 0.5}}},
                           {"translucency", QJsonObject{{"enabled", true}, {"value", 0.5}}}};
    };
    // Groups run front to back.
    QJsonArray groups{group(source, QStringLiteral("Foreground"), Art::Source)};
    if (options.back)
        groups.append(group(options.back, QStringLiteral("Background"), Art::Back));
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
    QList<ExportReport::Warning> warnings;
    for (const QString &path : ShadowedSets::appIconSetsShadowedBy(folderText, name))
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

AssetPlan::Options AssetExporter::planOptions(const AppIconOptions &options)
{
    return {.name = options.name,
            .background = options.background,
            .singleSize = options.singleSize,
            .dark = options.dark != nullptr,
            .tinted = options.tinted != nullptr || options.tintedFromSource,
            .back = options.back != nullptr,
            .macStyle = options.macStyle};
}

ExportReport AssetExporter::writeAppIconSet(const SourceImage *source, const QString &folderText,
                                            Platform platform, int threads)
{
    return writeAppIconSet(source, folderText, platform, AppIconOptions(), threads);
}

ExportReport AssetExporter::writeAppIconSet(const SourceImage *source, const QString &folderText,
                                            Platform platform, const AppIconOptions &options,
                                            int threads, const Progress &progress)
{
    return writeFolder(appIconJob(source, folderText, platform, options), threads, progress);
}

ExportReport AssetExporter::writeImageSet(const SourceImage *source, const QString &folderText,
                                          const ImageSetDescription &set, int threads,
                                          const Progress &progress)
{
    return writeFolder(imageSetJob(source, folderText, set), threads, progress);
}

// The folder text only has to be there; nothing is written.
AssetExporter::Preview AssetExporter::previewAppIconSet(const SourceImage *source,
                                                        Platform platform,
                                                        const AppIconOptions &options, int threads,
                                                        const std::atomic_bool *cancel)
{
    return previewJob(appIconJob(source, QStringLiteral("."), platform, options), threads, cancel);
}

AssetExporter::Preview AssetExporter::previewImageSet(const SourceImage *source,
                                                      const ImageSetDescription &set, int threads,
                                                      const std::atomic_bool *cancel)
{
    return previewJob(imageSetJob(source, QStringLiteral("."), set), threads, cancel);
}

ExportReport AssetExporter::compareAppIconSet(const SourceImage *source, const QString &folderText,
                                              Platform platform, const AppIconOptions &options,
                                              int threads)
{
    return checkFolder(appIconJob(source, folderText, platform, options), threads);
}

ExportReport AssetExporter::compareImageSet(const SourceImage *source, const QString &folderText,
                                            const ImageSetDescription &set, int threads)
{
    return checkFolder(imageSetJob(source, folderText, set), threads);
}

ExportReport AssetExporter::compareIconBundle(const SourceImage *source, const QString &folderText,
                                              const QString &name, const AppIconOptions &options,
                                              int threads)
{
    return checkFolder(iconJob(source, folderText, name, options), threads);
}
