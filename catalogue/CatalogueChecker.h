#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Checks asset catalogues as Xcode and App Store upload read them, by the model of the catalogue:
// every folder kind Xcode knows, each slot's file present and of a format its set may hold, app
// icons and tvOS and visionOS images of the pixel size they need, no App Store icon with an alpha
// channel; and Icon Composer documents (.icon): icon.json of the shape real documents have, every
// layer image present as PNG, SVG, JPEG or HEIF, no app icon set of the same name that the .icon
// overrides.
// What Xcode or upload refuses is an error; what Xcode warns of is a warning; advice and
// what Xcode ignores are notes.
class CatalogueChecker
{
public:
    enum class Level { Error, Warning, Note };

    struct Finding
    {
        QString path;
        Level level = Level::Error;
        QString problem; // a short fixed code, e.g. "missing-file"
        QString message;
    };

    struct Result
    {
        QList<Finding> findings;
        int setsChecked = 0;

        int count(Level level) const;
    };

    // Each path is a catalogue, an asset folder of a kind the model knows, an .icon, or any folder
    // searched for them. A path that does not exist adds nothing. Findings name files below the
    // path as it was given; links are followed only within it, and each real folder is read once.
    static Result check(const QStringList &paths);

    static QString levelName(Level level);
};
