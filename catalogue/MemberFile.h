#pragma once

#include <QSize>
#include <QString>

// A file an asset names, judged by its bytes rather than its name: which format it holds, its
// pixel size where the format says it in its header, and whether it stores an alpha channel. Only
// headers and chunk boundaries are read, so a large catalogue is judged quickly.
class MemberFile
{
public:
    enum class Format { Missing, Unknown, Damaged, Png, Jpeg, Heif, Pdf, Svg, WebP, Gif, Tiff };

    // What an alpha channel holds, once the pixels are decoded.
    enum class Alpha { None, Opaque, Transparent };

    static MemberFile read(const QString &path);

    // The format in words, for messages ("PNG", "WebP").
    static QString formatName(Format format);

    Format format = Format::Missing;
    QSize pixels;               // invalid when the format has no pixel size or hides it
    bool declaresAlpha = false; // an alpha channel or transparency chunk in the header

    // Decodes the pixels to tell transparent ones from an unused alpha channel. Slow: for the
    // few files that need it.
    static Alpha alphaOf(const QString &path);
};
