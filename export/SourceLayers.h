#pragma once

#include "ExportReport.h"
#include "SourceFile.h"
#include "source/LayeredDrawing.h"
#include "source/SourceImage.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

// The layers the visionOS and tvOS stacks and the .icon document draw one by one, front first:
// files named one per layer, or the kept layers of a layered drawing. The window, the command
// line and a manifest's build take them from here, so all three write the same files.
class SourceLayers
{
public:
    // The size the layers are measured at to find those that draw nothing: the size every
    // layered output is drawn at.
    static constexpr int MeasurePixels = 1024;

    struct Found
    {
        // Front first; fewer than two: the source is drawn whole, as one layer.
        QList<SourceImagePtr> images;
        QStringList names;
        // A drawing's split, every layer found (left out ones too), when it was split.
        LayeredDrawing drawing;
        // Why a layer file could not be used, naming it; empty when nothing failed.
        QString error;
        QString failedPath;
        // Why a drawing is drawn whole that was not found to be of one layer: it could not be
        // split or its layers not drawn (a clause); empty otherwise.
        QString notSplit;

        bool layered() const { return images.size() >= 2; }
        // What a set drawn from these layers is warned of: the effects that span a drawing's
        // layers, which its layers laid over each other lose, and a drawing drawn whole.
        QList<ExportReport::Warning> warnings() const;
    };

    // Each file as a layer of its own over the whole canvas, front first.
    static Found ofFiles(const QStringList &paths, const std::atomic_bool *cancel = nullptr);
    // The same, each file as `open` gives it: a build opens a file once for all its sets.
    static Found ofOpenedFiles(const QStringList &paths,
                               const std::function<SourceFile::Opened(const QString &path)> &open);
    // The kept layers of a drawing that splits into two or more; none for a bitmap, a drawing
    // of one layer, or one that cannot be split (it is drawn whole). The split runs in the
    // decoding worker.
    static Found ofDrawing(const SourceImage &source, const std::atomic_bool *cancel = nullptr);
};
