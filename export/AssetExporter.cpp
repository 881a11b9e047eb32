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
#include <QHash>
#include <QJsonArray>
#include <QXmlStreamReader>
#include <QRegularExpression>
#include <QPolygonF>
#include <QJsonDocument>
#include <QLocale>
#include <QMap>
#include <QPainter>
#include <QSet>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <numeric>
#include <optional>
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
    // Layers drawn under the source at the same size, front first, before the look is applied.
    QList<const SourceImage *> under = {};

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
    case Art::Layers:
        planned.source = options.layers.value(file.layer);
        for (int layer = file.layer + 1; layer <= file.lastLayer; ++layer)
            planned.under.append(options.layers.value(layer));
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
    QList<QImage> under; // those of the layers under it, in their order
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
    auto picture = [&](const SourceImage *source, const QImage &drawing) {
        return source && source->isVector() ? drawing
                                            : Renderer::render(source, planned.drawSize, 1);
    };
    QImage image = picture(planned.source, drawn.image);
    if (!planned.under.isEmpty() && !image.isNull()) {
        QImage stack(image.size(), QImage::Format_ARGB32_Premultiplied);
        stack.fill(Qt::transparent);
        QPainter painter(&stack);
        for (qsizetype i = planned.under.size(); i-- > 0;) {
            const QImage layer = picture(planned.under[i], drawn.under.value(i));
            if (layer.isNull())
                return {};
            painter.drawImage(QRect(QPoint(0, 0), stack.size()), layer);
        }
        painter.drawImage(QPoint(0, 0), image);
        painter.end();
        image = stack.convertToFormat(QImage::Format_ARGB32);
    }
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
        const bool layer = plan[i].file.art == Art::Layers;
        if (plan[i].file.opaqueLayer && !opaque[i])
            warnings.append(
                {QStringLiteral("transparent-back"),
                 QStringLiteral("The back %1 has transparent pixels, so %2 was written with "
                                "transparency: the system needs the back layer opaque. Use %3, "
                                "or a background colour.")
                     .arg(layer ? QStringLiteral("layer") : QStringLiteral("source"),
                          plan[i].file.path,
                          layer ? QStringLiteral("a back layer that covers the canvas")
                                : QStringLiteral("an opaque back source"))});
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
        for (const SourceImage *source : QList{planned.source} + planned.under) {
            if (source && source->isVector() && !drawings.contains(source))
                drawings.append(source);
        }
    }
    for (size_t i = 0; i < plan.size(); ++i)
        drawn[i].under.resize(plan[i].under.size());
    for (const SourceImage *drawing : std::as_const(drawings)) {
        QList<QSizeF> sizes;
        for (const Planned &planned : plan) {
            if ((planned.source == drawing || planned.under.contains(drawing)) &&
                !sizes.contains(planned.drawSize))
                sizes.append(planned.drawSize);
        }
        const Renderer::Rendered rendered = Renderer::renderAll(drawing, sizes, 0, cancel);
        for (size_t i = 0; i < plan.size(); ++i) {
            const QImage image = rendered.images.value(sizes.indexOf(plan[i].drawSize));
            if (plan[i].source == drawing)
                drawn[i].image = image;
            for (qsizetype j = 0; j < plan[i].under.size(); ++j) {
                if (plan[i].under[j] == drawing)
                    drawn[i].under[j] = image;
            }
            if (image.isNull() && (plan[i].source == drawing || plan[i].under.contains(drawing)))
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
        for (bool helped = true;;) {
            std::unique_lock lock(mutex);
            if (!helped)
                ready.wait(lock, [&] { return results[i].done; });
            if (results[i].done) {
                png = std::move(results[i].png);
                opaque = results[i].opaque;
                break;
            }
            lock.unlock();
            helped = pending.runOne();
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

// A number of a drawing's attribute, with no unit but px; nothing for any other.
std::optional<double> svgNumber(QStringView text)
{
    text = text.trimmed();
    if (text.endsWith(QLatin1String("px")))
        text.chop(2);
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

// An element's presentation: its attributes and its style attribute's declarations as one.
QHash<QString, QString> propertiesOf(const QXmlStreamAttributes &attributes)
{
    QHash<QString, QString> properties;
    for (const QXmlStreamAttribute &attribute : attributes) {
        const QString name = attribute.qualifiedName().toString();
        if (name == QLatin1String("style")) {
            for (const QString &declaration :
                 attribute.value().toString().split(QLatin1Char(';'))) {
                const QString key = declaration.section(QLatin1Char(':'), 0, 0).trimmed();
                if (!key.isEmpty())
                    properties.insert(key, declaration.section(QLatin1Char(':'), 1).trimmed());
            }
        } else if (!name.startsWith(QLatin1String("inkscape:")) &&
                   !name.startsWith(QLatin1String("sodipodi:")) &&
                   !name.startsWith(QLatin1String("serif:")) &&
                   !name.startsWith(QLatin1String("xmlns")) && name != QLatin1String("id") &&
                   name != QLatin1String("data-name") && name != QLatin1String("xml:space") &&
                   name != QLatin1String("version")) {
            properties.insert(name, attribute.value().toString());
        }
    }
    return properties;
}

// The points of a path of straight lines only, as one closed outline; nothing for any other.
std::optional<QList<QPointF>> straightOutline(const QString &d)
{
    static const QRegularExpression token(
        QStringLiteral("[A-Za-z]|[-+]?(?:\\d*\\.\\d+|\\d+\\.?)(?:[eE][-+]?\\d+)?"));
    QList<QPointF> points;
    QPointF at;
    QChar command;
    bool closed = false;
    QList<double> numbers;
    QStringList tokens;
    for (auto it = token.globalMatch(d); it.hasNext();)
        tokens << it.next().captured();
    for (qsizetype i = 0; i < tokens.size();) {
        if (tokens[i].front().isLetter())
            command = tokens[i++].front();
        const QChar upper = command.toUpper();
        const bool relative = command.isLower();
        if (closed || upper == QLatin1Char('Z')) {
            if (upper != QLatin1Char('Z') || closed)
                return std::nullopt;
            closed = true;
            continue;
        }
        const int count = upper == QLatin1Char('M') || upper == QLatin1Char('L')   ? 2
                          : upper == QLatin1Char('H') || upper == QLatin1Char('V') ? 1
                                                                                   : 0;
        if (count == 0 || i + count > tokens.size() ||
            (upper == QLatin1Char('M') && !points.isEmpty()))
            return std::nullopt;
        numbers.clear();
        for (int k = 0; k < count; ++k) {
            bool ok = false;
            numbers << tokens[i + k].toDouble(&ok);
            if (!ok || !std::isfinite(numbers.last()))
                return std::nullopt;
        }
        i += count;
        const QPointF base = relative ? at : QPointF();
        if (upper == QLatin1Char('H'))
            at = QPointF(numbers[0] + (relative ? at.x() : 0), at.y());
        else if (upper == QLatin1Char('V'))
            at = QPointF(at.x(), numbers[0] + (relative ? at.y() : 0));
        else
            at = base + QPointF(numbers[0], numbers[1]);
        points << at;
        if (upper == QLatin1Char('M'))
            command = relative ? QLatin1Char('l') : QLatin1Char('L');
    }
    if (points.size() > 1 && points.last() == points.first())
        points.removeLast();
    return points;
}

// The box a path covers when it is an upright rectangle; nothing for any other.
std::optional<QRectF> rectangleOf(const QString &d)
{
    const std::optional<QList<QPointF>> points = straightOutline(d);
    if (!points || points->size() != 4)
        return std::nullopt;
    QRectF box = QPolygonF(*points).boundingRect();
    for (qsizetype i = 0; i < 4; ++i) {
        const QPointF a = points->at(i), b = points->at((i + 1) % 4);
        const bool corner = (a.x() == box.left() || a.x() == box.right()) &&
                            (a.y() == box.top() || a.y() == box.bottom());
        if (!corner || (a.x() != b.x() && a.y() != b.y()) || a == b)
            return std::nullopt;
    }
    return box;
}

// A colour of a drawing, with an opacity laid on it; invalid for any the drawing cannot mean.
QColor svgColour(const QString &text, double opacity)
{
    if (!std::isfinite(opacity))
        return {};
    QColor colour = !text.isEmpty() && (text.front() == QLatin1Char('#') || text.front().isLetter())
                        ? QColor::fromString(text)
                        : QColor();
    if (colour.isValid())
        colour.setAlphaF(float(colour.alphaF() * std::clamp(opacity, 0.0, 1.0)));
    return colour;
}

// The fill of a drawing that is one upright rectangle over its whole canvas painted with one
// colour or a linear gradient of two colours, as Icon Composer writes a fill; nothing for any
// other drawing, and nothing where the drawing holds anything this does not follow, so that a
// layer is never lost to a fill that draws something else.
std::optional<QJsonObject> plainFill(const QByteArray &drawing)
{
    static const QStringList strokeOnly{
        "stroke-width",     "stroke-linecap",    "stroke-linejoin", "stroke-miterlimit",
        "stroke-dasharray", "stroke-dashoffset", "stroke-opacity",  "fill-rule",
        "paint-order",      "enable-background"};
    auto harmless = [&](const QHash<QString, QString> &properties, const QStringList &allowed) {
        for (auto it = properties.begin(); it != properties.end(); ++it) {
            const bool shown = it.key() == QLatin1String("display") && it.value() == "inline";
            if (!allowed.contains(it.key()) && !strokeOnly.contains(it.key()) && !shown)
                return false;
        }
        return true;
    };
    QXmlStreamReader xml(drawing);
    QRectF canvas;
    std::optional<QRectF> box;
    QHash<QString, QString> shape;
    struct Gradient
    {
        QHash<QString, QString> properties;
        QList<std::pair<double, QColor>> stops;
    };
    QHash<QString, Gradient> gradients;
    QString gradient;
    bool inDefs = false;
    int shapes = 0;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.tokenType() == QXmlStreamReader::EndElement) {
            if (xml.name() == QLatin1String("defs"))
                inDefs = false;
            if (xml.name() == QLatin1String("linearGradient"))
                gradient.clear();
            continue;
        }
        if (xml.tokenType() != QXmlStreamReader::StartElement) {
            if (xml.hasError())
                return std::nullopt;
            continue;
        }
        const QString name = xml.qualifiedName().toString();
        const QHash<QString, QString> properties = propertiesOf(xml.attributes());
        if (name == QLatin1String("svg") && canvas.isNull()) {
            if (!harmless(properties, {"width", "height", "viewBox", "x", "y"}))
                return std::nullopt;
            const QStringList box = properties.value("viewBox").split(
                QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts);
            QList<double> numbers;
            for (const QString &word : box)
                numbers << svgNumber(word).value_or(qQNaN());
            if (numbers.size() == 4)
                canvas = QRectF(numbers[0], numbers[1], numbers[2], numbers[3]);
            else if (box.isEmpty())
                canvas = QRectF(0, 0, svgNumber(properties.value("width")).value_or(qQNaN()),
                                svgNumber(properties.value("height")).value_or(qQNaN()));
            if (!(canvas.width() > 0 && canvas.height() > 0) || !std::isfinite(canvas.x()) ||
                !std::isfinite(canvas.y()))
                return std::nullopt;
        } else if (name == QLatin1String("title") || name == QLatin1String("desc") ||
                   name == QLatin1String("metadata") ||
                   name == QLatin1String("sodipodi:namedview")) {
            xml.skipCurrentElement();
        } else if (name == QLatin1String("defs")) {
            inDefs = true;
        } else if (name == QLatin1String("g") && !inDefs) {
            if (!harmless(properties, {}))
                return std::nullopt;
        } else if (name == QLatin1String("linearGradient") && inDefs) {
            gradient = xml.attributes().value(QLatin1String("id")).toString();
            gradients[gradient].properties = properties;
        } else if (name == QLatin1String("stop") && !gradient.isEmpty()) {
            QString offset = properties.value("offset", "0");
            const bool percent = offset.endsWith(QLatin1Char('%'));
            const double at = svgNumber(percent ? offset.chopped(1) : offset).value_or(qQNaN()) /
                              (percent ? 100.0 : 1.0);
            const QColor colour =
                svgColour(properties.value("stop-color", "black"),
                          svgNumber(properties.value("stop-opacity", "1")).value_or(qQNaN()));
            if (!std::isfinite(at) || !colour.isValid())
                return std::nullopt;
            gradients[gradient].stops.append({std::clamp(at, 0.0, 1.0), colour});
        } else if ((name == QLatin1String("rect") || name == QLatin1String("path")) && !inDefs &&
                   ++shapes == 1) {
            shape = properties;
            if (name == QLatin1String("path")) {
                box = rectangleOf(properties.value("d"));
            } else if (properties.value("rx", "0").toDouble() == 0 &&
                       properties.value("ry", "0").toDouble() == 0) {
                const std::optional<double> x = svgNumber(properties.value("x", "0")),
                                            y = svgNumber(properties.value("y", "0")),
                                            w = svgNumber(properties.value("width")),
                                            h = svgNumber(properties.value("height"));
                if (x && y && w && h)
                    box = QRectF(*x, *y, *w, *h);
            }
            if (!box || !harmless(shape, {"x", "y", "width", "height", "rx", "ry", "d", "fill",
                                          "fill-opacity", "opacity", "stroke"}))
                return std::nullopt;
            xml.skipCurrentElement();
        } else {
            return std::nullopt;
        }
    }
    if (xml.hasError() || shapes != 1 || !box || canvas.isNull() || !box->contains(canvas) ||
        shape.value("stroke", "none") != QLatin1String("none"))
        return std::nullopt;
    const double opacity = svgNumber(shape.value("opacity", "1")).value_or(qQNaN()) *
                           svgNumber(shape.value("fill-opacity", "1")).value_or(qQNaN());
    const QString paint = shape.value("fill");
    static const QRegularExpression url(QStringLiteral("^url\\(\\s*#([^)\\s]+)\\s*\\)$"));
    const QRegularExpressionMatch reference = url.match(paint);
    if (!reference.hasMatch()) {
        const QColor colour = paint.isEmpty() ? QColor() : svgColour(paint, opacity);
        if (!colour.isValid())
            return std::nullopt;
        return QJsonObject{{"solid", iconColour(colour)}};
    }
    // A gradient takes its stops and its ends from those it refers to where it has none.
    QString id = reference.captured(1);
    Gradient own = gradients.value(id);
    QHash<QString, QString> ends = own.properties;
    QList<std::pair<double, QColor>> stops = own.stops;
    for (int hop = 0; hop < 4 && gradients.contains(id); ++hop) {
        const Gradient &found = gradients[id];
        if (stops.isEmpty())
            stops = found.stops;
        for (auto it = found.properties.begin(); it != found.properties.end(); ++it) {
            if (!ends.contains(it.key()))
                ends.insert(it.key(), it.value());
        }
        id = found.properties.value("xlink:href", found.properties.value("href")).mid(1);
    }
    if (!gradients.contains(reference.captured(1)) || stops.size() != 2 ||
        stops[0].first > stops[1].first ||
        !harmless(ends, {"x1", "y1", "x2", "y2", "gradientUnits", "xlink:href", "href"}))
        return std::nullopt;
    const bool user = ends.value("gradientUnits") == QLatin1String("userSpaceOnUse");
    if (!user && ends.contains("gradientUnits") &&
        ends.value("gradientUnits") != QLatin1String("objectBoundingBox"))
        return std::nullopt;
    auto coordinate = [&](const char *key, const char *fallback, bool across) {
        QString text = ends.value(QLatin1String(key), QLatin1String(fallback));
        const bool percent = text.endsWith(QLatin1Char('%'));
        double value = svgNumber(percent ? text.chopped(1) : text).value_or(qQNaN());
        if (percent && user)
            return qQNaN();
        if (percent)
            value /= 100.0;
        const double start = across ? box->x() : box->y(),
                     span = across ? box->width() : box->height();
        const double inUser = user ? value : start + value * span;
        return across ? (inUser - canvas.x()) / canvas.width()
                      : (inUser - canvas.y()) / canvas.height();
    };
    const QPointF from(coordinate("x1", "0", true), coordinate("y1", "0", false));
    const QPointF to(coordinate("x2", user ? "100%" : "1", true), coordinate("y2", "0", false));
    // Stops short of the ends move the ends, as the colours pad out beyond them.
    const QPointF start = from + stops[0].first * (to - from),
                  stop = from + stops[1].first * (to - from);
    for (double value : {start.x(), start.y(), stop.x(), stop.y()}) {
        if (!std::isfinite(value))
            return std::nullopt;
    }
    auto point = [](QPointF p) { return QJsonObject{{"x", p.x()}, {"y", p.y()}}; };
    for (auto &[at, colour] : stops)
        colour = svgColour(colour.name(QColor::HexArgb), opacity);
    return QJsonObject{
        {"linear-gradient", QJsonArray{iconColour(stops[0].second), iconColour(stops[1].second)}},
        {"orientation", QJsonObject{{"start", point(start)}, {"stop", point(stop)}}}};
}

// A layer's name as a file name in Assets/: no folder separators, nothing hidden, no name
// another layer took, ignoring case as a Mac's disk does.
QString layerFileStem(QString name, int index, QSet<QString> *taken)
{
    static const QRegularExpression unsafe(QStringLiteral("[/\\\\:*?\"<>|\\x00-\\x1f]"));
    name = name.replace(unsafe, QStringLiteral("-")).trimmed();
    while (name.startsWith(QLatin1Char('.')))
        name.remove(0, 1);
    if (name.isEmpty())
        name = QStringLiteral("Layer %1").arg(index + 1);
    name.truncate(100);
    QString unique = name;
    for (int n = 2; taken->contains(unique.toLower()); ++n)
        unique = QStringLiteral("%1 %2").arg(name).arg(n);
    taken->insert(unique.toLower());
    return unique;
}

// The layer `name` of an Icon Composer bundle, and its file in Assets/: a drawing as it is, a
// bitmap as a PNG no larger than the 1024 point canvas, which the layer's scale then fills.
QJsonObject iconLayer(Job &job, const SourceImage *source, const QString &name, Art art,
                      int index = 0)
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
                               .art = art,
                               .layer = index,
                               .lastLayer = index});
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
    const QList<const SourceImage *> layers =
        options.layers.size() >= 2 ? options.layers : QList<const SourceImage *>();
    if (!layers.isEmpty() && options.back)
        return Job::refused(QStringLiteral("Give the layers or a back source, not both: the back "
                                           "layer is the source's own."));
    job.bind = [source, back = options.back, layers](const AssetPlan::File &file) {
        const SourceImage *image = file.art == Art::Back     ? back
                                   : file.art == Art::Layers ? layers.value(file.layer)
                                                             : source;
        return Planned{file, image, QSizeF(file.size), QColor()};
    };
    // The values Icon Composer gives a new group: a neutral shadow at half opacity and
    // translucency on at half; a new layer gets no glass key of its own.
    auto groupOf = [](const QJsonArray &members) {
        return QJsonObject{{"layers", members},
                           {"shadow", QJsonObject{{"kind", "neutral"}, {"opacity", 0.5}}},
                           {"translucency", QJsonObject{{"enabled", true}, {"value", 0.5}}}};
    };
    auto group = [&](const SourceImage *image, const QString &layerName, Art art) {
        return groupOf(QJsonArray{iconLayer(job, image, layerName, art)});
    };
    // Groups run front to back.
    QJsonArray groups;
    std::optional<QJsonObject> fill;
    if (layers.isEmpty()) {
        groups.append(group(source, QStringLiteral("Foreground"), Art::Source));
        if (options.back)
            groups.append(group(options.back, QStringLiteral("Background"), Art::Back));
    } else {
        qsizetype drawn = layers.size();
        // A back layer of one colour or gradient over the whole canvas is what a fill is.
        if (layers.last() && layers.last()->isVector() &&
            (fill = plainFill(layers.last()->drawing())))
            --drawn;
        QSet<QString> taken;
        QJsonArray members;
        for (qsizetype i = 0; i < drawn; ++i) {
            if (!layers[i])
                return Job::refused(NoSource);
            const QString name = layerFileStem(options.layerNames.value(i), int(i), &taken);
            const QJsonObject layer = iconLayer(job, layers[i], name, Art::Layers, int(i));
            if (options.groups)
                members.append(layer);
            else
                groups.append(groupOf(QJsonArray{layer}));
        }
        if (options.groups)
            groups.append(groupOf(members));
    }
    QJsonObject document{{"groups", groups},
                         {"supported-platforms",
                          QJsonObject{{"circles", QJsonArray{"watchOS"}}, {"squares", "shared"}}}};
    if (fill)
        document["fill"] = *fill;
    else if (options.background.isValid() && !options.back)
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
            .macStyle = options.macStyle,
            .layers = int(std::min(options.layers.size(), qsizetype(1) << 20))};
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
