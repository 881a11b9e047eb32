#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <memory>

// A vector drawing (SVG, or SVGZ inflated within a bound), parsed once and drawn at any number
// of pixel sizes as a browser draws it. It runs inside the decoding worker process: the parser
// and renderer are not ours to trust with hostile input.
//
// Nothing outside the drawing's own bytes is ever read: it is parsed with no base file or URL,
// so every relative, absolute or "file:" reference, XInclude and CSS @import fails, while
// "data:" URLs (embedded images) still work.
class SvgDrawing
{
public:
    static constexpr qsizetype MaxInflated = qsizetype(32) << 20;
    // Units of length become pixels as browsers convert them.
    static constexpr double PixelsPerInch = 96.0;

    enum class Failure { None, NotSvg, Damaged, TooLarge, NoSize };

    explicit SvgDrawing(const QByteArray &data);
    ~SvgDrawing();
    SvgDrawing(const SvgDrawing &) = delete;
    SvgDrawing &operator=(const SvgDrawing &) = delete;

    // Whether data is taken for a drawing at all: compressed, or XML whose root element is an
    // <svg> (of any prefix), reached past the prolog's declaration, comments, processing
    // instructions and document type within the first MaxProlog bytes.
    static constexpr qsizetype MaxProlog = qsizetype(1) << 20;
    static bool looksLikeSvg(const QByteArray &data);

    Failure failure() const { return m_failure; }
    QString reason() const { return m_reason; } // a clause, for any failure but None
    // The drawing's own size in pixels: its width and height, else its viewBox.
    QSizeF size() const { return m_size; }
    // The drawing's text as parsed: an inflated SVGZ gives its XML.
    QByteArray xml() const { return m_xml; }
    // Font families the drawing's text asks for first that are not installed, so it is drawn
    // with a substitute.
    QStringList missingFonts() const;

    // The whole drawing stretched to exactly `target` pixels, in straight-alpha ARGB32; null
    // when the drawing failed or cannot be drawn.
    QImage render(QSize target) const;

private:
    struct Handle;
    std::unique_ptr<Handle> m_handle;
    Failure m_failure = Failure::NotSvg;
    QString m_reason;
    QSizeF m_size;
    QByteArray m_xml;
};
