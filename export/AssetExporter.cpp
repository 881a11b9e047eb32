#include "AssetExporter.h"

#include "PngEncoder.h"
#include "Renderer.h"
#include "catalogue/QVIconData.h"
#include "platform/FileSystem.h"

#include <QFileInfo>
#include <QJsonDocument>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

namespace {

struct Planned
{
    QSizeF size;
    QString fileName;
};

struct Rendered
{
    QByteArray png;
    bool done = false;
};

QString describeFailure(const QString &folder, const QString &fileName, const QString &reason)
{
    if (!QFileInfo(folder).isDir()) {
        return QStringLiteral("Could not write %1: the folder %2 does not exist.")
            .arg(fileName, folder);
    }
    return QStringLiteral("Could not write %1 in %2: %3.").arg(fileName, folder, reason);
}

// Renders and encodes every planned file on worker threads, largest first so that the longest
// job does not start last, and hands each PNG to `write` in list order on the calling thread.
template <typename Write>
void renderInOrder(const SourceImage *source, const std::vector<Planned> &plan, int threads,
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
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t n; (n = next.fetch_add(1)) < order.size();) {
            const size_t i = order[n];
            QByteArray png = PngEncoder::encode(Renderer::render(source, plan[i].size, 1));
            std::lock_guard lock(mutex);
            results[i].png = std::move(png);
            results[i].done = true;
            ready.notify_all();
        }
    };

    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t workers = std::min(plan.size(), size_t(threads > 0 ? unsigned(threads) : cores));
    std::vector<std::jthread> pool;
    for (size_t w = 0; w < workers; ++w)
        pool.emplace_back(work);

    for (size_t i = 0; i < plan.size(); ++i) {
        QByteArray png;
        {
            std::unique_lock lock(mutex);
            ready.wait(lock, [&] { return results[i].done; });
            png = std::move(results[i].png);
        }
        write(i, png);
    }
}

ExportReport writeFolder(const SourceImage *source, const QString &folder,
                         const QJsonObject &contents, const std::vector<Planned> &plan, int threads)
{
    ExportReport report;
    report.folder = folder;
    FileSystem::createFolder(folder);

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
    };

    writeFile(QStringLiteral("Contents.json"), AssetExporter::serialise(contents), QSizeF(), {});
    renderInOrder(source, plan, threads, [&](size_t i, const QByteArray &png) {
        writeFile(plan[i].fileName, png, plan[i].size,
                  QStringLiteral("the image could not be made"));
    });
    FileSystem::syncFolder(folder);
    return report;
}

const QString NoSource = QStringLiteral("Choose a source image first.");
const QString NoFolder = QStringLiteral("Type or choose an output folder first.");

} // namespace

QByteArray AssetExporter::serialise(const QJsonObject &document)
{
    return QJsonDocument(document).toJson(QJsonDocument::Indented);
}

ExportReport AssetExporter::writeAppIconSet(const SourceImage *source, const QString &folderText,
                                            const QString &platformWord, int threads)
{
    if (!source)
        return ExportReport::refused(NoSource);
    if (folderText.isEmpty())
        return ExportReport::refused(NoFolder);

    const bool ios = platformWord == QLatin1String("ios");
    const QJsonObject contents =
        ios ? QVIconData::appIconContents() : QVIconData::appIconContentsMac();
    const QList<int> sizes =
        ios ? QVIconData::sizesToMakeForIcon() : QVIconData::sizesToMakeForIconMac();
    const QStringList names =
        ios ? QVIconData::filenamesForSizes() : QVIconData::filenamesForSizesMac();

    std::vector<Planned> plan;
    for (int size : sizes)
        plan.push_back({QSizeF(size, size), names.at(sizes.indexOf(size))});
    return writeFolder(source, folderText + QStringLiteral("/AppIcon.appiconset"), contents, plan,
                       threads);
}

ExportReport AssetExporter::writeImageSet(const SourceImage *source, const QString &folderText,
                                          const ImageSetDescription &set, int threads)
{
    if (!source)
        return ExportReport::refused(NoSource);
    if (folderText.isEmpty())
        return ExportReport::refused(NoFolder);
    const QString name = set.assetName();
    if (name.isEmpty())
        return ExportReport::refused(QStringLiteral("Type an asset name first."));
    if (name.contains(QLatin1Char('/'))) {
        return ExportReport::refused(
            QStringLiteral("Type an asset name without “/”: it names the folder and its files."));
    }
    const QSizeF base = set.baseSize();
    if (base.width() < 1 || base.height() < 1) {
        return ExportReport::refused(
            QStringLiteral("Type a width and a height of at least 1 pixel."));
    }
    const QList<QSizeF> sizes = set.sizes();
    const QSizeF largest = sizes.last();
    if (!Renderer::canRender(largest.width(), largest.height())) {
        return ExportReport::refused(
            QStringLiteral("The image set is too large: its 3x image would be %1 by %2 pixels, "
                           "and at most %3 pixels a side and %4 pixels in all can be made.")
                .arg(largest.width(), 0, 'f', 0)
                .arg(largest.height(), 0, 'f', 0)
                .arg(Renderer::MaxSide)
                .arg(Renderer::MaxPixels));
    }

    std::vector<Planned> plan;
    for (const QSizeF &size : sizes)
        plan.push_back({size, set.fileNameForIndex(sizes.indexOf(size) + 1)});
    return writeFolder(source, folderText + QLatin1Char('/') + set.folderName(), set.contents(),
                       plan, threads);
}
