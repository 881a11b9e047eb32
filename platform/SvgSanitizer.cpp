#include "SvgSanitizer.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <zlib.h>

namespace {

// Inflates gzip data; false when it is damaged or would pass `limit`.
bool inflateBounded(const QByteArray &in, qsizetype limit, QByteArray *out, bool *tooLarge)
{
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        return false;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
    stream.avail_in = uInt(in.size());
    char chunk[65536];
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef *>(chunk);
        stream.avail_out = sizeof chunk;
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END)
            break;
        out->append(chunk, qsizetype(sizeof chunk - stream.avail_out));
        if (out->size() > limit) {
            *tooLarge = true;
            status = Z_DATA_ERROR;
            break;
        }
        if (stream.avail_in == 0 && status == Z_OK && stream.avail_out != 0)
            break; // truncated: no more input and no end of stream
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END;
}

bool keptReference(QStringView value)
{
    const QString v = value.trimmed().toString().toLower();
    if (v.startsWith(u'#'))
        return true;
    // Embedded bitmaps only: an embedded drawing could carry references of its own.
    return v.startsWith(QLatin1String("data:image/")) &&
           !v.startsWith(QLatin1String("data:image/svg"));
}

// "#id" and "url(#id)" references in an attribute value.
QStringList referencedIds(QStringView value)
{
    static const QRegularExpression url(QStringLiteral(R"(url\(\s*['"]?#([^)'"\s]+))"));
    QStringList ids;
    const QString v = value.trimmed().toString();
    if (v.startsWith(u'#'))
        ids << v.mid(1);
    for (auto it = url.globalMatch(v); it.hasNext();)
        ids << it.next().captured(1);
    return ids;
}

bool hasCycle(const QHash<QString, QSet<QString>> &refs)
{
    enum Mark { Unvisited, Open, Done };
    QHash<QString, Mark> marks;
    // Iterative depth-first search: the graph comes from the file and may be deep.
    for (auto root = refs.cbegin(); root != refs.cend(); ++root) {
        if (marks.value(root.key()) != Unvisited)
            continue;
        QList<std::pair<QString, QList<QString>>> stack;
        stack.append({root.key(), refs.value(root.key()).values()});
        marks[root.key()] = Open;
        while (!stack.isEmpty()) {
            auto &[node, pending] = stack.last();
            if (pending.isEmpty()) {
                marks[node] = Done;
                stack.removeLast();
                continue;
            }
            const QString next = pending.takeLast();
            const Mark mark = marks.value(next);
            if (mark == Open)
                return true;
            if (mark == Unvisited && refs.contains(next)) {
                marks[next] = Open;
                stack.append({next, refs.value(next).values()});
            }
        }
    }
    return false;
}

} // namespace

bool SvgSanitizer::isCompressed(const QByteArray &data)
{
    return data.size() >= 2 && uchar(data[0]) == 0x1f && uchar(data[1]) == 0x8b;
}

bool SvgSanitizer::looksLikeSvg(const QByteArray &data)
{
    if (isCompressed(data))
        return true; // only a drawing is read compressed; inflating tells the rest
    const QByteArray head = data.left(4096);
    return head.contains("<svg") || head.contains(":svg");
}

SvgSanitizer::Result SvgSanitizer::sanitize(const QByteArray &data)
{
    QByteArray xml = data;
    if (isCompressed(data)) {
        xml.clear();
        bool tooLarge = false;
        if (!inflateBounded(data, MaxInflated, &xml, &tooLarge)) {
            if (tooLarge)
                return {Verdict::TooLarge, {}, QStringLiteral("it inflates past 32 MiB")};
            return {Verdict::Damaged, {}, QStringLiteral("its compressed data is incomplete")};
        }
    }
    if (xml.size() > MaxInflated)
        return {Verdict::TooLarge, {}, QStringLiteral("the drawing is larger than 32 MiB")};

    QXmlStreamReader reader(xml);
    QByteArray out;
    QXmlStreamWriter writer(&out);
    QHash<QString, QSet<QString>> refs; // id -> ids its subtree refers to
    QList<QString> openIds;             // ids of the open elements, innermost last
    QList<bool> elementHasId;
    bool sawSvg = false;

    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartDocument:
            writer.writeStartDocument();
            break;
        case QXmlStreamReader::StartElement: {
            if (elementHasId.size() >= MaxDepth)
                return {Verdict::Damaged, {}, QStringLiteral("the drawing is nested too deeply")};
            sawSvg = sawSvg || reader.name() == QLatin1String("svg");
            writer.writeStartElement(reader.qualifiedName().toString());
            for (const QXmlStreamNamespaceDeclaration &ns : reader.namespaceDeclarations())
                writer.writeNamespace(ns.namespaceUri().toString(), ns.prefix().toString());
            const QString id = reader.attributes().value(QLatin1String("id")).toString();
            const bool hasId = !id.isEmpty();
            elementHasId.append(hasId);
            if (hasId) {
                openIds.append(id);
                refs[id];
            }
            for (const QXmlStreamAttribute &attribute : reader.attributes()) {
                if (attribute.name() == QLatin1String("href") && !keptReference(attribute.value()))
                    continue;
                for (const QString &target : referencedIds(attribute.value())) {
                    for (const QString &open : std::as_const(openIds))
                        refs[open].insert(target);
                }
                writer.writeAttribute(attribute.qualifiedName().toString(),
                                      attribute.value().toString());
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            writer.writeEndElement();
            if (!elementHasId.isEmpty() && elementHasId.takeLast())
                openIds.removeLast();
            break;
        case QXmlStreamReader::Characters:
            if (reader.isCDATA())
                writer.writeCDATA(reader.text().toString());
            else
                writer.writeCharacters(reader.text().toString());
            break;
        case QXmlStreamReader::EndDocument:
            writer.writeEndDocument();
            break;
        default: // a DTD, comments, processing instructions, unresolved entities: dropped
            break;
        }
        if (out.size() > MaxInflated)
            return {Verdict::TooLarge, {}, QStringLiteral("the drawing expands past 32 MiB")};
    }
    if (reader.hasError())
        return {sawSvg ? Verdict::Damaged : Verdict::NotSvg,
                {},
                QStringLiteral("it is not well-formed: %1").arg(reader.errorString())};
    if (!sawSvg)
        return {Verdict::NotSvg, {}, QStringLiteral("it holds no drawing")};
    if (hasCycle(refs))
        return {Verdict::Damaged, {}, QStringLiteral("the drawing refers to itself")};
    return {Verdict::Safe, out, {}};
}
