#pragma once

#include "ExportReport.h"
#include "catalogue/AssetPlan.h"
#include "catalogue/ImageSetDescription.h"
#include "source/SourceImage.h"

#include <QColor>
#include <QJsonObject>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Carries out an asset plan (catalogue/AssetPlan.h): an app icon set or an image set, from plain
// values, for the window and the command line alike. A set already on disk is written into: the
// plan is merged with its Contents.json files first, so that entries of other platforms,
// idioms and appearances stay with their files. Then the Contents.json files are written, then
// the PNGs in list order, each rendered from the full source and replacing a file of its name
// whole; nothing is deleted. The files are rendered and encoded on the shared pool of threads,
// all joined before a call returns; the writes themselves happen in order on the calling thread.
class AssetExporter
{
public:
    using Platform = AssetPlan::Platform;
    using MacStyle = AssetPlan::MacStyle;

    // The choices beyond the window's own set. The background applies to every set but the
    // Mac one; the single-size form is iOS only; the back source is the back layer of the
    // visionOS and tvOS stacks.
    struct AppIconOptions
    {
        QColor background; // invalid: the icons keep the source's transparency
        bool singleSize = false;
        const SourceImage *dark = nullptr;
        const SourceImage *tinted = nullptr;
        bool tintedFromSource = false; // the tinted image made grey from the main source
        MacStyle macStyle = MacStyle::FullBleed;
        const SourceImage *back = nullptr;
        QString name = {}; // the asset folder's name; empty for the platform's own
        // A layered source's layers, front first, each over the whole canvas: from two on, the
        // visionOS and tvOS stacks and the .icon document are drawn layer by layer (every flat
        // set still draws the source), and a back source is refused.
        QList<const SourceImage *> layers = {};
        QStringList layerNames = {}; // the .icon's layers and files; empty: "Layer 1"…
        bool groups = false;         // .icon: all layers in one group rather than one each
    };
    // The choices as the plan takes them: which pictures there are, not the pictures.
    static AssetPlan::Options planOptions(const AppIconOptions &options);

    // Called on the writing thread after each file, Contents.json included.
    using Progress = std::function<void(int written, int total)>;

    static ExportReport writeAppIconSet(const SourceImage *source, const QString &folderText,
                                        Platform platform, int threads = 0);
    static ExportReport writeAppIconSet(const SourceImage *source, const QString &folderText,
                                        Platform platform, const AppIconOptions &options,
                                        int threads = 0, const Progress &progress = {});
    static ExportReport writeImageSet(const SourceImage *source, const QString &folderText,
                                      const ImageSetDescription &set, int threads = 0,
                                      const Progress &progress = {});

    // An Icon Composer bundle NAME.icon: icon.json and, in Assets/, the source as the front
    // layer (a drawing kept as a drawing, a bitmap as a PNG of at most 1024 pixels) over the
    // background colour as a solid fill, or over the back source as a layer of its own, or over
    // the system's automatic fill when neither is given. With the layers of a layered source,
    // a group for each layer, front first, each layer's drawing or picture its own file named
    // after it, and a back layer that is one colour or linear gradient over the whole canvas
    // taken as the fill instead.
    static ExportReport writeIconBundle(const SourceImage *source, const QString &folderText,
                                        const QString &name, const AppIconOptions &options,
                                        int threads = 0, const Progress &progress = {});

    // What a write of the same arguments would change, writing nothing: each file it would make
    // or give other bytes, and each Contents.json whose entries would change, as the report's
    // differences, in the order the write would write them. Refused for the same reasons a write
    // is, but for those of writing itself: a folder that is not there yet is no refusal
    // (everything in it is missing), and neither is one that cannot be written into. A file that
    // cannot be made refuses the check, as nothing can be said of it.
    static ExportReport compareAppIconSet(const SourceImage *source, const QString &folderText,
                                          Platform platform, const AppIconOptions &options,
                                          int threads = 0);
    static ExportReport compareImageSet(const SourceImage *source, const QString &folderText,
                                        const ImageSetDescription &set, int threads = 0);
    static ExportReport compareIconBundle(const SourceImage *source, const QString &folderText,
                                          const QString &name, const AppIconOptions &options,
                                          int threads = 0);

    // The images a write would encode, in its order, without writing anything: what the file
    // would hold, pixel for pixel. Refused for the same reasons a write is, the folder aside.
    // Setting `cancel` from another thread stops the drawing of a drawing source; what comes back
    // then is to be dropped.
    struct PreviewFile
    {
        QString fileName;
        QImage image;
        QString layer = {}; // a layer's own picture: the layer's name
    };
    struct Preview
    {
        QList<PreviewFile> files;
        QString refusal;
    };
    static Preview previewAppIconSet(const SourceImage *source, Platform platform,
                                     const AppIconOptions &options, int threads = 0,
                                     const std::atomic_bool *cancel = nullptr);
    static Preview previewImageSet(const SourceImage *source, const ImageSetDescription &set,
                                   int threads = 0, const std::atomic_bool *cancel = nullptr);

    // The Contents.json text of a catalogue document: pretty-printed UTF-8 JSON.
    static QByteArray serialise(const QJsonObject &document);
};
