#pragma once

#include "source/SourceImage.h"

#include <QString>

#include <atomic>
#include <functional>

// A source as a user names it: an image or drawing file, or an Icon Composer document (its
// bundle folder, or the icon.json in one). A document is drawn flat for the sets that take a
// picture: full-bleed and uncut, since those sets leave the mask to the system, at the size of
// its canvas.
class SourceFile
{
public:
    static constexpr int DocumentPixels = 1024;

    // The bundle folder a path names, or empty when it names no Icon Composer document.
    static QString documentOf(const QString &path);

    struct Opened
    {
        SourceImagePtr image; // a document's default appearance
        QString error;        // a sentence naming the file; empty when it opened
        // A document's own dark and tinted appearances and its watch idiom, drawn as the
        // image is; null for a plain file.
        SourceImagePtr dark, tinted, watch;
    };
    // A document's default look alone, or its other looks too (each is a drawing of its own).
    enum class Looks { Default, All };
    // `progress` hears how far a huge file's rows are read (SourceImage::fromFile).
    static Opened open(const QString &path, Looks looks = Looks::All,
                       const std::atomic_bool *cancel = nullptr,
                       const std::function<void(int rows, int of)> &progress = {});
    // A path as a user typed it (the command line, a manifest): one that names nothing is said
    // to be absent rather than unreadable, and the rest is opened by its absolute path.
    static Opened openNamed(const QString &path, Looks looks = Looks::Default,
                            const std::atomic_bool *cancel = nullptr);
};
