// GLib's headers name struct members "signals", which Qt defines as a keyword: they come first.
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <librsvg/rsvg.h>

#include "SvgDrawing.h"

#include "ImageLimits.h"

#include <QRegularExpression>
#include <QSet>

#include <zlib.h>

#include <cmath>

struct SvgDrawing::Handle
{
    RsvgHandle *rsvg = nullptr;
    ~Handle()
    {
        if (rsvg)
            g_object_unref(rsvg);
    }
};

namespace {

bool isCompressed(const QByteArray &data)
{
    return data.size() >= 2 && uchar(data[0]) == 0x1f && uchar(data[1]) == 0x8b;
}

enum class Inflated { Ok, Damaged, TooLarge };

// The renderer would inflate a compressed drawing itself, without any bound.
Inflated inflateBounded(const QByteArray &in, qsizetype limit, QByteArray *out)
{
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        return Inflated::Damaged;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
    stream.avail_in = uInt(in.size());
    char chunk[65536];
    int status = Z_OK;
    Inflated result = Inflated::Damaged;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef *>(chunk);
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END)
            break;
        out->append(chunk, qsizetype(sizeof chunk - stream.avail_out));
        if (out->size() > limit) {
            result = Inflated::TooLarge;
            status = Z_DATA_ERROR;
            break;
        }
        if (stream.avail_in == 0 && status == Z_OK && stream.avail_out != 0)
            break; // cut short: no more input and no end of stream
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END ? Inflated::Ok : result;
}

// A length of the outermost element in pixels; 0 for a percentage, which needs a viewport.
double pixels(const RsvgLength &length)
{
    // Font-relative units against the initial font size browsers use.
    constexpr double FontSize = 16.0;
    const double dpi = SvgDrawing::PixelsPerInch;
    switch (length.unit) {
    case RSVG_UNIT_PX:
        return length.length;
    case RSVG_UNIT_EM:
        return length.length * FontSize;
    case RSVG_UNIT_EX:
        return length.length * FontSize / 2;
    case RSVG_UNIT_IN:
        return length.length * dpi;
    case RSVG_UNIT_CM:
        return length.length * dpi / 2.54;
    case RSVG_UNIT_MM:
        return length.length * dpi / 25.4;
    case RSVG_UNIT_PT:
        return length.length * dpi / 72;
    case RSVG_UNIT_PC:
        return length.length * dpi / 6;
    case RSVG_UNIT_PERCENT:
        break;
    }
    return 0;
}

bool usable(double side)
{
    return std::isfinite(side) && side > 0;
}

// The size a browser gives an <img> of the drawing: width and height where they are absolute,
// a missing one from the viewBox's aspect ratio, else the viewBox itself.
QSizeF intrinsicSize(RsvgHandle *handle)
{
    gboolean hasWidth = false, hasHeight = false, hasViewBox = false;
    RsvgLength width{}, height{};
    RsvgRectangle viewBox{};
    rsvg_handle_get_intrinsic_dimensions(handle, &hasWidth, &width, &hasHeight, &height,
                                         &hasViewBox, &viewBox);
    double w = hasWidth ? pixels(width) : 0;
    double h = hasHeight ? pixels(height) : 0;
    const bool box = hasViewBox && usable(viewBox.width) && usable(viewBox.height);
    if (box && !usable(w) && !usable(h)) {
        w = viewBox.width;
        h = viewBox.height;
    } else if (box && !usable(h)) {
        h = w * viewBox.height / viewBox.width;
    } else if (box && !usable(w)) {
        w = h * viewBox.width / viewBox.height;
    }
    if (!usable(w) || !usable(h))
        return {};
    return {w, h};
}

// Premultiplied to straight alpha, rounded to the nearest level as the resampler rounds; a
// colour above its alpha (which a renderer should not give) is clamped.
void unpremultiply(QImage *image)
{
    for (int y = 0; y < image->height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image->scanLine(y));
        for (int x = 0; x < image->width(); ++x) {
            const QRgb p = line[x];
            const uint a = qAlpha(p);
            if (a == 255)
                continue;
            if (a == 0) {
                line[x] = 0;
                continue;
            }
            auto straight = [a](uint c) { return (std::min(c, a) * 255 + a / 2) / a; };
            line[x] = qRgba(int(straight(qRed(p))), int(straight(qGreen(p))),
                            int(straight(qBlue(p))), int(a));
        }
    }
}

bool isGenericFamily(const QString &family)
{
    static const QSet<QString> generic = {
        QStringLiteral("serif"),        QStringLiteral("sans-serif"), QStringLiteral("monospace"),
        QStringLiteral("cursive"),      QStringLiteral("fantasy"),    QStringLiteral("system-ui"),
        QStringLiteral("emoji"),        QStringLiteral("math"),       QStringLiteral("fangsong"),
        QStringLiteral("inherit"),      QStringLiteral("initial"),    QStringLiteral("unset"),
        QStringLiteral("-apple-system")};
    const QString lower = family.toLower();
    return generic.contains(lower) || lower.startsWith(QLatin1String("ui-"));
}

bool fontInstalled(const QString &family)
{
    FcPattern *pattern = FcPatternCreate();
    const QByteArray name = family.toUtf8();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(name.constData()));
    FcObjectSet *objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet *fonts = FcFontList(nullptr, pattern, objects);
    const bool installed = fonts && fonts->nfont > 0;
    if (fonts)
        FcFontSetDestroy(fonts);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    return installed;
}

} // namespace

SvgDrawing::SvgDrawing(const QByteArray &data)
{
    if (!looksLikeSvg(data)) {
        m_reason = QStringLiteral("it is not a drawing");
        return;
    }
    m_xml = data;
    if (isCompressed(data)) {
        m_xml.clear();
        switch (inflateBounded(data, MaxInflated, &m_xml)) {
        case Inflated::Ok:
            break;
        case Inflated::TooLarge:
            m_failure = Failure::TooLarge;
            m_reason = QStringLiteral("it inflates past %1 MiB").arg(MaxInflated >> 20);
            return;
        case Inflated::Damaged:
            m_failure = Failure::Damaged;
            m_reason = QStringLiteral("its compressed data is incomplete");
            return;
        }
        if (!looksLikeSvg(m_xml)) {
            m_reason = QStringLiteral("it is not a drawing");
            return;
        }
    }

    // No base file: the renderer then resolves no reference but "data:" URLs.
    GInputStream *stream =
        g_memory_input_stream_new_from_data(m_xml.constData(), m_xml.size(), nullptr);
    GError *error = nullptr;
    RsvgHandle *rsvg =
        rsvg_handle_new_from_stream_sync(stream, nullptr, RSVG_HANDLE_FLAGS_NONE, nullptr, &error);
    g_object_unref(stream);
    if (!rsvg) {
        m_failure = Failure::Damaged;
        m_reason = error ? QString::fromUtf8(error->message).trimmed()
                         : QStringLiteral("it is not a well-formed drawing");
        if (error)
            g_error_free(error);
        return;
    }
    m_handle = std::make_unique<Handle>();
    m_handle->rsvg = rsvg;
    rsvg_handle_set_dpi(rsvg, PixelsPerInch);

    m_size = intrinsicSize(rsvg);
    if (m_size.isEmpty()) {
        m_failure = Failure::NoSize;
        m_reason = QStringLiteral("it sets neither a width and height nor a viewBox");
        return;
    }
    // Its size becomes whole pixel counts in the fields; beyond this they could not hold it.
    constexpr double MaxSize = 1 << 30;
    if (m_size.width() > MaxSize || m_size.height() > MaxSize) {
        m_failure = Failure::TooLarge;
        m_reason = QStringLiteral("it says it is %1 by %2 pixels")
                       .arg(m_size.width(), 0, 'g', 3)
                       .arg(m_size.height(), 0, 'g', 3);
        m_size = {};
        return;
    }
    m_failure = Failure::None;
}

SvgDrawing::~SvgDrawing() = default;

bool SvgDrawing::looksLikeSvg(const QByteArray &data)
{
    if (isCompressed(data))
        return true; // only a drawing is read compressed; inflating tells the rest
    const QByteArray head = data.left(4096);
    return head.contains("<svg") || head.contains(":svg");
}

QImage SvgDrawing::render(QSize target) const
{
    if (m_failure != Failure::None || !ImageLimits::fits(target))
        return {};
    QImage image(target, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.fill(Qt::transparent);
    cairo_surface_t *surface = cairo_image_surface_create_for_data(
        image.bits(), CAIRO_FORMAT_ARGB32, image.width(), image.height(), image.bytesPerLine());
    cairo_t *cr = cairo_create(surface);
    // Drawn at its own size, then stretched as a bitmap would be: a target of another aspect
    // ratio distorts the whole drawing instead of fitting it with margins.
    cairo_scale(cr, target.width() / m_size.width(), target.height() / m_size.height());
    const RsvgRectangle viewport{0, 0, m_size.width(), m_size.height()};
    GError *error = nullptr;
    const bool drawn = rsvg_handle_render_document(m_handle->rsvg, cr, &viewport, &error);
    if (error)
        g_error_free(error);
    const bool ok = drawn && cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    cairo_surface_destroy(surface);
    if (!ok)
        return {};
    unpremultiply(&image);
    return image.reinterpretAsFormat(QImage::Format_ARGB32) ? image : QImage();
}

QStringList SvgDrawing::missingFonts() const
{
    static const QRegularExpression textElement(QStringLiteral(R"(<([\w-]+:)?text\b)"));
    // As an attribute or a CSS declaration; the first family named is the one the designer saw.
    static const QRegularExpression declaration(
        QStringLiteral(R"(font-family\s*(?:=\s*("[^"]*"|'[^']*')|:\s*([^;}"<>]*)))"));
    if (m_failure != Failure::None)
        return {};
    const QString text = QString::fromUtf8(m_xml);
    if (!textElement.match(text).hasMatch())
        return {};
    QStringList missing;
    for (auto it = declaration.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        QString list = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
        if (match.captured(2).isEmpty())
            list = list.mid(1, list.size() - 2);
        list.replace(QLatin1String("&quot;"), QLatin1String("\""))
            .replace(QLatin1String("&apos;"), QLatin1String("'"));
        QString first = list.section(QLatin1Char(','), 0, 0).trimmed();
        if (first.size() >= 2 && (first.front() == u'"' || first.front() == u'\'') &&
            first.back() == first.front())
            first = first.mid(1, first.size() - 2).trimmed();
        if (first.isEmpty() || isGenericFamily(first) ||
            missing.contains(first, Qt::CaseInsensitive) || fontInstalled(first))
            continue;
        missing.append(first);
    }
    return missing;
}
