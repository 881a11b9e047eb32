#pragma once

#include "ImageSetDescription.h"

#include <QColor>
#include <QJsonObject>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>

// Every asset folder this product writes, as data: for an app icon platform and its options, or
// an image set, the asset folder, each Contents.json with its entries, and each file with its
// pixel size and what is drawn into it. Making a plan draws nothing and touches no disk; the
// exporter carries a plan out, the preview shows one, the checker judges by the same rules.
//
// A catalogue the user already has is written into, not over: `mergeInto` reads the documents
// already on disk and turns the plan into one that replaces only the entries it claims (its own
// platform, idioms and appearances; an image set's plain scales; a stack's own layers) and keeps
// every other entry, key for key. Its files then take the names the replaced entries gave their
// slots, and never a name a kept entry uses.
class AssetPlan
{
public:
    enum class Platform { Ios, Mac, Watch, Vision, Tv };
    // For macOS 26, full-bleed art the system masks itself; for macOS 15 and earlier, the art
    // drawn into the rounded body those systems show as drawn.
    enum class MacStyle { FullBleed, Shaped };

    // Which picture a file is made from.
    // Layers: the layers `layer` to `lastLayer` of a layered source, front first, laid over each
    // other.
    enum class Art { Source, Dark, Tinted, Back, None, Layers };
    // How the picture becomes the file.
    enum class Look {
        AsDrawn,              // drawn at the file's size, transparency kept
        OverBackground,       // laid over the background colour
        Luminance,            // in grey, for the tinted appearance
        Fill,                 // the background colour alone
        Placed,               // fitted inside `artBox`, on transparency
        PlacedOverBackground, // fitted inside `artBox`, over the background colour
        MacShaped,            // drawn into the body of a shaped Mac icon, over its shadow
    };

    struct Options
    {
        QString name;      // the asset folder's name; empty for the platform's own default
        QColor background; // invalid: none
        bool singleSize = false;
        bool dark = false;
        bool tinted = false; // from a tinted source or made grey from the main one
        bool back = false;   // a back source for the visionOS and tvOS back layers
        MacStyle macStyle = MacStyle::FullBleed;
        // The layers of a layered source, front first: from two on, the visionOS and tvOS
        // stacks are drawn layer by layer, and a back source is refused.
        int layers = 0;
    };

    struct File
    {
        QString path = {}; // inside the asset folder
        QSize size = {};   // pixels
        Art art = Art::Source;
        Look look = Look::AsDrawn;
        QRect artBox = {};        // the placed looks: the box the art is fitted into
        bool storeIcon = false;   // read by App Store upload, which refuses transparency
        bool opaqueLayer = false; // a back layer, which the system needs opaque
        int layer = 0;            // Art::Layers: the front one of the layers drawn
        int lastLayer = 0;        // and the back one
    };

    // Which entries of a document already on disk a write replaces.
    enum class Claim {
        None,        // the document holds no list: the one on disk is kept as it is
        Platform,    // app icon entries of `platform`, its idioms and the appearances written
        PlainScales, // an image set's universal 1x, 2x and 3x entries with no other trait
        SameEntry,   // entries that fill the same slot as one of ours, or name the same folder
    };

    struct Document
    {
        QString folder = {}; // inside the asset folder; "" for the asset folder itself
        QJsonObject contents = {};
        QString list = {}; // the key of its entries: "images", "layers", "assets"; "" for none
        Claim claim = Claim::None;
        QStringList appearances = {}; // Claim::Platform: those written, "" for the main one

        QString path() const;
        bool claims(const QJsonObject &entry, Platform platform) const;
    };

    QString folder;                   // the asset folder, e.g. "AppIcon.appiconset"
    std::optional<Platform> platform; // none for an image set
    QList<Document> documents;        // the asset folder's own first
    QList<File> files;                // in the order they are written
    QColor background;
    QString refusal; // why there is no plan for these options

    static AssetPlan appIcon(Platform platform, const Options &options);
    static AssetPlan imageSet(const ImageSetDescription &set);

    // The platform as the command line and the window name it, and as messages name it.
    static QString key(Platform platform);
    static std::optional<Platform> platformOfKey(const QString &key);
    static QString displayName(Platform platform);
    static QString defaultName(Platform platform);
    // Why a name cannot name an asset folder, or nothing when it can.
    static QString nameProblem(const QString &name);

    // The app icon platform an entry of an app icon set belongs to, by its "platform" key or
    // else its idiom ("car" is iOS's); none for a universal entry that names no platform.
    static std::optional<Platform> platformOf(const QJsonObject &entry);

    // The part of a tvOS icon layer the focus effect never crops: inset by a tenth of the
    // layer's height on every side.
    static QRect tvSafeArea(QSize layer);
    // The pixels every layer of a visionOS icon has, whatever scale its entry names.
    static constexpr int VisionLayerPixels = 1024;
    // The layers of a layered source each layer of a stack of at most `most` layers draws,
    // front first, as the first and last of a run: the front and back ones alone, the middle
    // ones shared out among the middle layers as evenly as they go.
    static QList<std::pair<int, int>> stackLayers(int layers, int most);

    // The plan written into what is on disk, or why it cannot be: `existing` gives the document
    // at a path inside the asset folder, nothing when there is none, or a reason it cannot be
    // read (which refuses the write rather than lose what the document holds).
    struct Existing
    {
        std::optional<QJsonObject> contents;
        QString unreadable;
    };
    struct Merged
    {
        QString refusal;
        QStringList unnamed; // paths inside the asset folder that replaced entries named
                             // and no entry names now
        int replaced = 0;    // entries on disk this write replaced
        // What the kept entries are, in their order, for messages: "Mac", "dark iOS", and
        // last "2 other entries" for entries of no platform.
        QStringList keptKinds;
    };
    Merged mergeInto(const std::function<Existing(const QString &documentPath)> &existing);

    // The one line that says what a merge did: "Added the Mac icons to WHERE; the iOS icons are
    // kept", or empty when the set held nothing else.
    QString mergeSentence(const Merged &merged, const QString &where) const;
};
