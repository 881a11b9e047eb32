#pragma once

#include "source/SourceImage.h"

#include <QHash>
#include <QImage>
#include <QJsonObject>
#include <QList>
#include <QString>

#include <atomic>

// Draws an Icon Composer document (a folder "<Name>.icon" with icon.json and Assets/) without
// the editor: at any pixel size, in each of the six appearances its export offers, for the iOS
// square, the macOS body and the watch circle, or as a full-bleed square.
//
// What it draws and how close it comes to the editor's own exports is written down in
// the README. In short: fills, placement, layer fills, opacity, hidden layers and
// every blend mode are drawn as the document says; the glass material (its specular rim,
// refraction and blur) is left out, and shadow, translucency and the dark, clear and tinted
// looks are plain approximations measured against the editor's exports.
class IconRenderer
{
public:
    enum class Appearance { Default, Dark, ClearLight, ClearDark, TintedLight, TintedDark };
    enum class Platform { IOS, MacOS, WatchOS };
    // Platform: the platform's own shape (iOS rounded square; on macOS the inset body with its
    // shadow when the document's squares are shared with iOS, the full-canvas rounded square for
    // a macOS-only document; the watch circle). Square: the whole canvas, nothing cut.
    enum class Mask { Platform, Square };

    // Larger renders are refused: the working canvas holds four floats a pixel.
    static constexpr int MaxPixels = 4096;

    // A read document: its icon.json and every image a layer names, in any appearance, loaded
    // through the decoding worker and keyed by the name icon.json uses.
    struct Document
    {
        QJsonObject json;
        QHash<QString, SourceImagePtr> images;
    };
    struct Loaded
    {
        Document document;
        QString error; // a sentence; empty when the document loaded
    };
    // Reads the bundle folder. Refused: an unreadable or invalid icon.json, an image name that is
    // empty, holds a path separator or leads outside Assets/ (through "..", or a link), and an
    // image that does not load.
    static Loaded load(const QString &bundlePath, const std::atomic_bool *cancel = nullptr);

    struct Request
    {
        int pixels = 1024;
        Appearance appearance = Appearance::Default;
        Platform platform = Platform::IOS;
        Mask mask = Mask::Platform;
    };
    struct Rendered
    {
        QImage image; // pixels x pixels, ARGB32_Premultiplied, sRGB; null on error
        QString error;
    };
    // One image per request, in order. Each drawing is drawn at all the sizes the requests need
    // in one trip to the decoding worker, so asking for several at once is much cheaper.
    static QList<Rendered> renderAll(const Document &document, const QList<Request> &requests,
                                     const std::atomic_bool *cancel = nullptr);
    static Rendered render(const Document &document, const Request &request);

    // The words the document's specializations use for an appearance ("light" for Default and
    // Clear Light, "dark" for Dark and Clear Dark, "tinted" for both tinted looks) and for a
    // platform's idiom ("square" or "watchOS").
    static QString appearanceSlot(Appearance appearance);
    static QString idiomSlot(Platform platform);
    // A colour string of the document ("display-p3:1.0,0.5,0.0,1.0") as straight sRGB components
    // r, g, b, a in 0...1 (clamped); false for a string that is none.
    static bool colour(const QString &text, float rgba[4]);
};
