#include "SourceLayers.h"

#include "SourceFile.h"

#include <QFileInfo>

#include <algorithm>

SourceLayers::Found SourceLayers::ofFiles(const QStringList &paths, const std::atomic_bool *cancel)
{
    return ofOpenedFiles(paths, [cancel](const QString &path) {
        return SourceFile::openNamed(path, SourceFile::Looks::Default, cancel);
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
    const auto stopped = [cancel] { return cancel && cancel->load(); };
    if (!found.drawing.error().isEmpty()) {
        if (!stopped())
            found.notSplit = found.drawing.error();
        return found;
    }
    const QList<LayeredDrawing::Layer> &layers = found.drawing.layers();
    if (std::count_if(layers.begin(), layers.end(),
                      [](const LayeredDrawing::Layer &layer) { return layer.kept(); }) < 2)
        return found; // one layer or none: nothing to measure
    if (const QString problem = found.drawing.measure(QSize(MeasurePixels, MeasurePixels), cancel);
        !problem.isEmpty()) {
        if (!stopped())
            found.notSplit = QStringLiteral("its layers could not be drawn: %1").arg(problem);
        return found;
    }
    QList<SourceImagePtr> kept;
    QStringList names;
    for (const LayeredDrawing::Layer &layer : found.drawing.layers()) {
        if (!layer.kept())
            continue;
        const SourceImage::Loaded loaded = SourceImage::fromData(layer.svg, layer.name, cancel);
        if (!loaded.image) {
            if (!stopped())
                found.notSplit = QStringLiteral("its layer “%1” could not be read: %2")
                                     .arg(layer.name, loaded.error);
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

QList<ExportReport::Warning> SourceLayers::Found::warnings() const
{
    QList<ExportReport::Warning> warnings;
    if (layered()) {
        for (const QString &sentence : drawing.crossLayer())
            warnings.append({QStringLiteral("cross-layer"), sentence});
    }
    if (!notSplit.isEmpty())
        warnings.append(
            {QStringLiteral("not-split"),
             QStringLiteral("The drawing is drawn whole, as one layer: %1.").arg(notSplit)});
    return warnings;
}
