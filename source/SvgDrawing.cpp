// GLib's headers name struct members "signals", which Qt defines as a keyword: they come first.
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <librsvg/rsvg.h>

#include "SvgDrawing.h"

#include "FilterRewrite.h"
#include "ImageLimits.h"

#include <QXmlStreamReader>
#include <QSet>

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>

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

// CSS text as a tokenizer sees it: comments, strings and escapes, which may hide or spell any
// character of a font's name.
class Css
{
public:
    explicit Css(QStringView text)
        : m_text(text)
    {
    }

    bool atEnd() const { return m_at >= m_text.size(); }
    QChar peek() const { return atEnd() ? QChar() : m_text[m_at]; }
    void skip() { ++m_at; }

    void skipSpaceAndComments()
    {
        for (;;) {
            while (!atEnd() && peek().isSpace())
                ++m_at;
            if (atEnd() || !m_text.sliced(m_at).startsWith(u"/*"))
                return;
            const qsizetype end = m_text.indexOf(u"*/", m_at + 2);
            m_at = end < 0 ? m_text.size() : end + 2;
        }
    }

    // At a quote: the string's value, with its escapes read.
    QString string()
    {
        const QChar quote = m_text[m_at++];
        QString value;
        while (!atEnd() && peek() != quote && peek() != u'\n') {
            if (peek() == u'\\')
                escape(&value);
            else
                value.append(m_text[m_at++]);
        }
        if (!atEnd() && peek() == quote)
            ++m_at;
        return value;
    }

    // The run of name characters here (letters, digits, '-', '_', anything past ASCII, escapes).
    QString word()
    {
        QString value;
        while (!atEnd()) {
            const QChar c = peek();
            if (c == u'\\')
                escape(&value);
            else if (c.isLetterOrNumber() || c == u'-' || c == u'_' || c.unicode() >= 0x80)
                value.append(m_text[m_at++]);
            else
                break;
        }
        return value;
    }

    // Past a value, up to its end: a ';', a '}' or the end, outside strings and comments.
    void skipValue()
    {
        while (!atEnd() && peek() != u';' && peek() != u'}') {
            if (peek() == u'"' || peek() == u'\'')
                string();
            else if (m_text.sliced(m_at).startsWith(u"/*"))
                skipSpaceAndComments();
            else if (peek() == u'\\')
                m_at = std::min(m_at + 2, m_text.size());
            else
                ++m_at;
        }
    }

private:
    // At a backslash: up to six hex digits and one blank, a line break that is skipped, or the
    // next character taken as it is.
    void escape(QString *value)
    {
        ++m_at;
        if (atEnd())
            return;
        char32_t codePoint = 0;
        int digits = 0;
        for (; digits < 6 && hexDigit(peek()) >= 0; ++digits, ++m_at)
            codePoint = codePoint * 16 + char32_t(hexDigit(peek()));
        if (digits == 0) {
            if (peek() != u'\n')
                value->append(peek());
            ++m_at;
            return;
        }
        if (!atEnd() && peek().isSpace())
            ++m_at;
        if (codePoint == 0 || codePoint > 0x10ffff || (codePoint >= 0xd800 && codePoint < 0xe000))
            codePoint = 0xfffd;
        value->append(QString::fromUcs4(&codePoint, 1));
    }

    static int hexDigit(QChar c)
    {
        const char16_t u = c.unicode();
        return u >= '0' && u <= '9'   ? u - '0'
               : u >= 'a' && u <= 'f' ? u - 'a' + 10
               : u >= 'A' && u <= 'F' ? u - 'A' + 10
                                      : -1;
    }

    QStringView m_text;
    qsizetype m_at = 0;
};

// The first family of a font-family value: a quoted name, or the words of an unquoted one
// joined by single spaces. Empty when the value opens with neither.
QString firstFamily(Css &css)
{
    css.skipSpaceAndComments();
    if (css.peek() == u'"' || css.peek() == u'\'')
        return css.string().simplified();
    QStringList words;
    for (QString word = css.word(); !word.isEmpty(); word = css.word()) {
        words.append(word);
        css.skipSpaceAndComments();
    }
    return words.join(QLatin1Char(' '));
}

QString firstFamily(QStringView value)
{
    Css css(value);
    return firstFamily(css);
}

// The first family of every font-family declaration in a style sheet or a style attribute.
// A declaration starts the text, or follows a '{', a '}' or a ';'; everything else (selectors,
// at-rules, other properties) is passed over.
void fontFamilyDeclarations(QStringView text, QStringList *families)
{
    Css css(text);
    bool declarationStart = true;
    for (css.skipSpaceAndComments(); !css.atEnd(); css.skipSpaceAndComments()) {
        if (declarationStart) {
            declarationStart = false;
            const QString property = css.word();
            if (!property.isEmpty()) {
                css.skipSpaceAndComments();
                if (css.peek() == u':' &&
                    property.compare(QLatin1String("font-family"), Qt::CaseInsensitive) == 0) {
                    css.skip();
                    families->append(firstFamily(css));
                    css.skipValue();
                }
                continue;
            }
        }
        const QChar c = css.peek();
        if (c == u'"' || c == u'\'') {
            css.string();
        } else {
            declarationStart = c == u'{' || c == u'}' || c == u';';
            css.skip();
        }
    }
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

// No base file: the renderer then resolves no reference but "data:" URLs. It reads the whole
// stream before returning, so `text` need not outlive the call.
RsvgHandle *parse(const QByteArray &text, GError **error)
{
    GInputStream *stream =
        g_memory_input_stream_new_from_data(text.constData(), text.size(), nullptr);
    RsvgHandle *rsvg =
        rsvg_handle_new_from_stream_sync(stream, nullptr, RSVG_HANDLE_FLAGS_NONE, nullptr, error);
    g_object_unref(stream);
    return rsvg;
}

bool isXmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Moves `at` past the document type declaration that starts there. Its quoted literals and, in
// the internal subset, its comments and processing instructions may hold any '>' or ']'.
bool skipDoctype(const QByteArray &text, qsizetype *at)
{
    bool inSubset = false;
    for (qsizetype i = *at + 9; i < text.size(); ++i) {
        const char c = text[i];
        const char *end = c == '"' ? "\"" : c == '\'' ? "'" : nullptr;
        if (inSubset && QByteArrayView(text).sliced(i).startsWith("<!--"))
            end = "-->";
        else if (inSubset && QByteArrayView(text).sliced(i).startsWith("<?"))
            end = "?>";
        if (end) {
            const qsizetype found = text.indexOf(end, i + 1);
            if (found < 0)
                return false;
            i = found + qsizetype(std::strlen(end)) - 1;
        } else if (c == '[' || c == ']') {
            inSubset = c == '[';
        } else if (c == '>' && !inSubset) {
            *at = i + 1;
            return true;
        }
    }
    return false;
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

    GError *error = nullptr;
    RsvgHandle *rsvg = parse(m_xml, &error);
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
    // The renderer leaves out whatever a drop shadow filters, where browsers draw it: it is
    // handed the primitives the shadow is made of instead. It has read the drawing as given
    // first, which refuses what is not well-formed and entities that expand out of proportion;
    // a drawing with no drop shadow keeps its exact bytes.
    if (m_xml.contains("feDropShadow")) {
        QByteArray spelled;
        switch (FilterRewrite::dropShadows(m_xml, MaxInflated, &spelled)) {
        case FilterRewrite::Outcome::Unchanged:
            break;
        case FilterRewrite::Outcome::TooLarge:
            m_failure = Failure::TooLarge;
            m_reason = QStringLiteral("its drop shadows spelled out take over %1 MiB")
                           .arg(MaxInflated >> 20);
            return;
        case FilterRewrite::Outcome::Rewritten:
            if (RsvgHandle *shadowed = parse(spelled, nullptr)) {
                g_object_unref(rsvg);
                m_handle->rsvg = rsvg = shadowed;
            }
            break;
        }
    }
    rsvg_handle_set_dpi(rsvg, PixelsPerInch);

    m_size = intrinsicSize(rsvg);
    if (m_size.isEmpty()) {
        m_failure = Failure::NoSize;
        m_reason = QStringLiteral("it sets neither a width and height nor a viewBox");
        return;
    }
    if (m_size.width() > ImageLimits::MaxDrawingSide ||
        m_size.height() > ImageLimits::MaxDrawingSide) {
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
    // Without a copy: only the prolog is read, and most files are small.
    const QByteArray text =
        QByteArray::fromRawData(data.constData(), std::min(data.size(), MaxProlog));
    qsizetype at = text.startsWith("\xef\xbb\xbf") ? 3 : 0;
    auto skipPast = [&text, &at](const char *end, qsizetype from) {
        const qsizetype found = text.indexOf(end, from);
        at = found < 0 ? text.size() : found + qsizetype(std::strlen(end));
        return found >= 0;
    };
    for (;;) {
        while (at < text.size() && isXmlSpace(text[at]))
            ++at;
        const QByteArrayView rest = QByteArrayView(text).sliced(at);
        bool closed = true;
        if (rest.startsWith("<?"))
            closed = skipPast("?>", at + 2);
        else if (rest.startsWith("<!--"))
            closed = skipPast("-->", at + 4);
        else if (rest.startsWith("<!DOCTYPE"))
            closed = skipDoctype(text, &at);
        else
            break;
        if (!closed)
            return false;
    }
    if (at >= text.size() || text[at] != '<')
        return false;
    const qsizetype start = ++at;
    while (at < text.size() && !isXmlSpace(text[at]) && text[at] != '>' && text[at] != '/')
        ++at;
    if (at == text.size())
        return false; // a name cut off at the bound may go on past "svg"
    const QByteArrayView name = QByteArrayView(text).sliced(start, at - start);
    return name == "svg" || name.endsWith(":svg");
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
    if (m_failure != Failure::None)
        return {};
    QStringList families;
    bool hasText = false;
    // The renderer accepted the drawing, so it is well-formed XML; entities declared in it are
    // expanded within the reader's bound.
    QXmlStreamReader xml(m_xml);
    while (xml.readNext() != QXmlStreamReader::Invalid && !xml.atEnd()) {
        if (!xml.isStartElement())
            continue;
        hasText = hasText || xml.name() == QLatin1String("text");
        for (const QXmlStreamAttribute &attribute : xml.attributes()) {
            if (!attribute.namespaceUri().isEmpty())
                continue;
            if (attribute.name() == QLatin1String("font-family"))
                families.append(firstFamily(attribute.value()));
            else if (attribute.name() == QLatin1String("style"))
                fontFamilyDeclarations(attribute.value(), &families);
        }
        if (xml.name() == QLatin1String("style"))
            fontFamilyDeclarations(xml.readElementText(QXmlStreamReader::IncludeChildElements),
                                   &families);
    }
    // Without any text a named family draws nothing, and is no concern.
    if (!hasText)
        return {};
    QStringList missing;
    for (const QString &family : std::as_const(families)) {
        if (family.isEmpty() || isGenericFamily(family) ||
            missing.contains(family, Qt::CaseInsensitive) || fontInstalled(family))
            continue;
        missing.append(family);
    }
    return missing;
}
