#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// An app's sets as one file in its repository ("assetsmith.json"): the catalogue they go into
// and, for each set, its kind (a command that writes a set: "ios", …, "icon", "imageset"), its
// source and the options that command takes, under the command's own option names. Paths are
// relative to the manifest's folder. Reading it checks everything a command would check of its
// arguments, so a build never starts on a manifest with a mistake in it.
//
//   { "$schema": "…",                        any string, not read
//     "catalogue": "App/Assets.xcassets",    where sets without "out" go
//     "sets": [ { "kind": "ios", "source": "art/icon.svg", "background": "#0a84ff" }, … ] }
//
// A set takes "kind", "source" (both required) and the options of its command that the command
// table marks for manifests: a switch as true or false, a number as a JSON integer (not a
// string of digits), an option given once for each value as an array under its own key
// ("layers" for --layer), everything else as a string. "source": "" leaves the set to fill in, and
// while it is empty so may the other paths be. The rules between options are the command's
// (imageset needs width, dark and tinted need single-size, …), and no two sets may write the
// same set: the same kind and name into the same folder, letters' case aside, as a Mac's file
// system has it.
class Manifest
{
public:
    static constexpr const char *FileName = "assetsmith.json";

    struct Set
    {
        QString place; // where it is in the manifest, for messages: "sets[2]"
        QString kind;
        QString source;     // absolute; empty while the manifest leaves it to fill in
        QString folder;     // absolute: the folder the set is written into
        QString name;       // empty: the kind's default
        QString background; // as written; empty: none
        QString style;      // "26", "15" or empty
        bool singleSize = false;
        QString dark;   // absolute paths, or empty
        QString tinted; // absolute path, "auto" or empty
        QString back;
        // vision, tv, icon: the layers' files (absolute), front first; empty: a layered source
        // drawing's own layers
        QStringList layers;
        bool groups = false; // icon: all layers in one group
        int width = 0;       // imageset; height 0: from the source's aspect ratio
        int height = 0;

        // The name it is written under: its own, else its kind's default (an image set's
        // source's name); empty for an image set still without a source.
        QString assetName() const;
    };

    QString path;      // the manifest file, absolute
    QString catalogue; // absolute; empty when every set names its own "out"
    QList<Set> sets;
    // Everything wrong with the file, each with its place ("sets[2].backgound: unknown key"):
    // a manifest with any is not built.
    QStringList errors;

    static Manifest read(const QString &path);
    static Manifest parse(const QByteArray &json, const QString &path);

    // A JSON Schema (draft 2020-12) of the file, for editors.
    static QByteArray schema();

    // A starting manifest for a catalogue: one set for each app icon platform, image set, image
    // stack and Icon Composer document it holds, under their names, with the options their files
    // show; every source left empty, to fill in. `manifestPath` is where it will be saved, for the
    // relative paths.
    struct Started
    {
        QByteArray json;
        QStringList toFill; // "sets[0].source", … in order
        // What in the catalogue has no set (an unknown kind of folder, …), and each set left
        // without a key it needs, which reading then refuses ("sets[3]: tv needs …").
        QStringList notes;
        QString refusal; // not a catalogue folder, or nothing in it to write
    };
    static Started start(const QString &catalogue, const QString &manifestPath);
};
