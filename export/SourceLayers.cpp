#include "SourceLayers.h"

#include "SourceFile.h"

#include <QFileInfo>

SourceLayers::Found SourceLayers::ofFiles(const QStringList &paths, const std::atomic_bool *cancel)
{
    return ofOpenedFiles(paths, [cancel](const QString &path) {
        return QFileInfo::exists(path)
                   ? SourceFile::open(QFileInfo(path).absoluteFilePath(),
                                      SourceFile::Looks::Default, cancel)
                   : SourceFile::Opened{
                         nullptr, QStringLiteral("“%1” does not exist.").arg(path), {}, {}, {}};
    });
}

SourceLayers::Found
SourceLayers::ofOpenedFiles(const QStringList &paths,
                            const std::function<SourceFile::Opened(const QString &path)> &open)
{
    Found found;
    for (const QString &path : paths) {
        const SourceFile::Opened layer = open(path);
        if (!layer.image) {
            found.error = layer.error;
            found.failedPath = path;
            found.images.clear();
            found.names.clear();
            return found;
        }
        found.images << layer.image;
        found.names << QFileInfo(path).completeBaseName();
    }
    return found;
}

SourceLayers::Found SourceLayers::ofDrawing(const SourceImage &source,
                                            const std::atomic_bool *cancel)
{
    Found found;
    if (!source.isVector())
        return found;
    found.drawing = LayeredDrawing::splitIsolated(source.drawing(), cancel);
    if (!found.drawing.error().isEmpty() ||
        !found.drawing.measure(QSize(MeasurePixels, MeasurePixels), cancel).isEmpty())
        return found;
    QList<SourceImagePtr> kept;
    QStringList names;
    for (const LayeredDrawing::Layer &layer : found.drawing.layers()) {
        if (!layer.kept())
            continue;
        const SourceImage::Loaded loaded = SourceImage::fromData(layer.svg, layer.name, cancel);
        if (!loaded.image) {
            found.error = loaded.error;
            found.failedPath = layer.name;
            return found;
        }
        kept << loaded.image;
        names << layer.name;
    }
    if (kept.size() >= 2) {
        found.images = kept;
        found.names = names;
    }
    return found;
}
