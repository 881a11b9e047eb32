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

    // How a file's header says some of its pixels may be see-through.
    enum class Alpha {
        None,
        Channel,     // an alpha channel (PNG colour type 4 or 6, WebP's alpha flag)
        Transparency // a PNG tRNS chunk: a colour or palette entries made transparent
    };

    static MemberFile read(const QString &path);

    // The format in words, for messages ("PNG", "WebP").
    static QString formatName(Format format);

    Format format = Format::Missing;
    QSize pixels; // invalid when the format has no pixel size or hides it
    Alpha alpha = Alpha::None;
};
