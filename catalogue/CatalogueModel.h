#pragma once

#include <QJsonObject>
#include <QLatin1StringView>
#include <QList>
#include <QString>

// The asset catalogue as Xcode reads it, as data: the folder kinds it knows, what each one's
// Contents.json may hold, and what fills each of its slots. The checker walks a catalogue with
// this table; nothing about a kind is written anywhere else.
class CatalogueModel
{
public:
    enum class Members {
        None,    // a group: its child folders are assets or groups
        Files,   // each entry of the list names a file in the folder
        Folders, // each entry of the list names a child folder
        Values,  // each entry holds its own value (a colour) and names no file
        Layer,   // no list: the child image set is the layer's picture
    };

    // How the files an entry names are judged by their bytes.
    enum class Files {
        Nothing,    // no files (colours, groups, folder containers)
        Image,      // PNG, JPEG, HEIF, PDF or SVG
        IconPng,    // PNG, of points x scale pixels
        LaunchPng,  // PNG
        Svg,        // symbol images
        Anything,   // data: any bytes
        LayerImage, // an Icon Composer layer: PNG, SVG, JPEG or HEIF
    };

    struct Kind
    {
        QLatin1StringView extension; // empty for a group folder
        QLatin1StringView list;      // the Contents.json array of entries, if any
        Members members;
        Files files;
        QList<QLatin1StringView> children;   // kinds of child folders it may hold
        QList<QLatin1StringView> properties; // the keys "properties" may hold

        // An asset rather than a group: counted as a set, and its Contents.json is required.
        bool isSet() const { return members != Members::None; }
    };

    // The kind a folder's name ends in, or null when Xcode knows no such folder.
    static const Kind *kindOf(const QString &folderName);
    static const Kind &group();
    // Whether a folder's name ends in an extension at all (and so is not a group).
    static bool hasExtension(const QString &folderName);

    // The traits that identify the slot an entry fills: all of them but the file name, the
    // appearances in a fixed order, so that two entries fill the same slot exactly when their
    // keys are equal.
    static QString slotKey(const QJsonObject &entry);
    // The slot in words, for messages: "iphone 29x29 2x", then any further trait as "name value".
    static QString describeSlot(const QJsonObject &entry);
    // The slot with its scale taken out too: the entries that differ only in scale share it.
    static QString scaleFreeKey(const QJsonObject &entry);

    // The App Store icon of an app icon set: what upload checks for an alpha channel.
    static bool isStoreIcon(const QJsonObject &entry);
    // The appearance an entry is drawn in ("dark", "tinted"), empty for the main one.
    static QString luminosity(const QJsonObject &entry);

    // A "scale" text ("2x") as a number; 1 when absent; -1 when it is not a plain positive one.
    static double scaleOf(const QJsonObject &entry);
    // "WxH" with positive numbers; false otherwise.
    static bool parseSize(const QString &text, double *width, double *height);

    static const QList<QLatin1StringView> &topLevelKeys();
};
