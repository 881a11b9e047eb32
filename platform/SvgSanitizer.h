#pragma once

#include <QByteArray>
#include <QString>

// Makes a drawing safe to render: inflates a compressed one within a bound, keeps only
// references inside the drawing ("#id") and embedded bitmaps ("data:image/png" and the like),
// and refuses drawings that refer to themselves or nest beyond reason. The renderer follows
// every reference it is given, so nothing outside the file may reach it.
class SvgSanitizer
{
public:
    static constexpr qsizetype MaxInflated = qsizetype(32) << 20;
    static constexpr int MaxDepth = 256;

    enum class Verdict { Safe, NotSvg, Damaged, TooLarge };
    struct Result
    {
        Verdict verdict = Verdict::NotSvg;
        QByteArray svg;
        QString reason;
    };

    static Result sanitize(const QByteArray &data);
    static bool isCompressed(const QByteArray &data);
    // Whether the data looks like a drawing at all (after inflating a compressed one).
    static bool looksLikeSvg(const QByteArray &data);
};
