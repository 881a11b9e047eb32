#include "SvgTree.h"

#include <QRegularExpression>
#include <QSet>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <functional>

const QString SvgTree::SvgNamespace = QStringLiteral("http://www.w3.org/2000/svg");
const QString SvgTree::XLinkNamespace = QStringLiteral("http://www.w3.org/1999/xlink");

namespace {

// What the declared entities may add to the text, over what the file itself holds: an
// exporter's few namespace names pass, a "billion laughs" does not.
qint64 expansionAllowance(const QByteArray &xml)
{
    return std::max<qint64>(qint64(xml.size()) * 4, qint64(1) << 20);
}

bool isNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.' || c == ':' || uchar(c) >= 0x80;
}

// Every "&name;" in the text, counted by name.
QHash<QString, qint64> entityReferences(QStringView text)
{
    QHash<QString, qint64> counts;
    for (qsizetype at = text.indexOf(u'&'); at >= 0; at = text.indexOf(u'&', at + 1)) {
        qsizetype end = at + 1;
        while (end < text.size() && text[end].unicode() < 0x80 &&
               isNameChar(char(text[end].unicode())))
            ++end;
        if (end < text.size() && text[end] == u';' && end > at + 1)
            ++counts[text.sliced(at + 1, end - at - 1).toString()];
    }
    return counts;
}

} // namespace

bool SvgTree::checkEntities(const QByteArray &xml)
{
    QXmlStreamReader probe(xml);
    QXmlStreamEntityDeclarations declarations;
    while (!probe.atEnd()) {
        const QXmlStreamReader::TokenType token = probe.readNext();
        if (token == QXmlStreamReader::DTD)
            declarations = probe.entityDeclarations();
        if (token == QXmlStreamReader::DTD || token == QXmlStreamReader::StartElement ||
            token == QXmlStreamReader::Invalid)
            break;
    }
    if (declarations.isEmpty())
        return true;
    QHash<QString, QString> values;
    for (const QXmlStreamEntityDeclaration &entity : std::as_const(declarations)) {
        if (!entity.systemId().isEmpty() || !entity.publicId().isEmpty() ||
            !entity.notationName().isEmpty()) {
            m_error = QStringLiteral("it declares an entity “%1” outside the drawing")
                          .arg(entity.name().toString());
            return false;
        }
        values.insert(entity.name().toString(), entity.value().toString());
    }
    // Each entity's length once expanded, with a cycle (which the reader refuses anyway)
    // taken as past the bound.
    const qint64 allowance = expansionAllowance(xml);
    QHash<QString, qint64> lengths;
    QSet<QString> open;
    std::function<qint64(const QString &)> length = [&](const QString &name) -> qint64 {
        if (lengths.contains(name))
            return lengths[name];
        if (open.contains(name) || open.size() > 64)
            return allowance + 1;
        open.insert(name);
        const QString value = values.value(name);
        qint64 total = value.size();
        const QHash<QString, qint64> inner = entityReferences(value);
        for (auto it = inner.cbegin(); it != inner.cend() && total <= allowance; ++it) {
            if (values.contains(it.key()))
                total += std::min(allowance + 1, length(it.key())) * it.value();
        }
        open.remove(name);
        lengths.insert(name, std::min(total, allowance + 1));
        return lengths[name];
    };
    qint64 total = 0;
    const QHash<QString, qint64> used = entityReferences(QString::fromUtf8(xml));
    for (auto it = used.cbegin(); it != used.cend() && total <= allowance; ++it) {
        if (values.contains(it.key()))
            total += std::min(allowance + 1, length(it.key())) * it.value();
    }
    if (total > allowance) {
        m_error = QStringLiteral("its entities expand past %1 MiB").arg(allowance >> 20);
        return false;
    }
    return true;
}

SvgTree::SvgTree(const QByteArray &xml)
{
    if (!checkEntities(xml))
        return;
    QXmlStreamReader reader(xml);
    QList<int> open;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            if (m_nodes.size() >= MaxNodes || open.size() >= MaxDepth) {
                m_error = m_nodes.size() >= MaxNodes
                              ? QStringLiteral("it has more than %1 elements").arg(MaxNodes)
                              : QStringLiteral("its elements nest deeper than %1").arg(MaxDepth);
                return;
            }
            Node node;
            node.parent = open.isEmpty() ? -1 : open.last();
            node.name = reader.qualifiedName().toString();
            const QStringView uri = reader.namespaceUri();
            if (uri.isEmpty() || uri == SvgNamespace)
                node.local = reader.name().toString();
            node.attributes = reader.attributes();
            node.namespaces = reader.namespaceDeclarations();
            const int index = int(m_nodes.size());
            if (node.parent >= 0)
                m_nodes[node.parent].children.append(index);
            const QString id = reader.attributes().value(QLatin1String("id")).toString();
            if (!id.isEmpty() && !m_ids.contains(id))
                m_ids.insert(id, index);
            m_nodes.append(std::move(node));
            open.append(index);
            break;
        }
        case QXmlStreamReader::EndElement:
            m_nodes[open.last()].end = int(m_nodes.size());
            open.removeLast();
            break;
        case QXmlStreamReader::Characters: {
            if (open.isEmpty())
                break;
            if (m_nodes.size() >= MaxNodes) {
                m_error = QStringLiteral("it has more than %1 elements").arg(MaxNodes);
                return;
            }
            Node text;
            text.parent = open.last();
            text.isElement = false;
            text.cdata = reader.isCDATA();
            text.name = reader.text().toString();
            text.end = int(m_nodes.size()) + 1;
            m_nodes[open.last()].children.append(int(m_nodes.size()));
            m_nodes.append(std::move(text));
            break;
        }
        case QXmlStreamReader::EntityReference:
            m_error = QStringLiteral("it uses an entity “%1” it does not declare")
                          .arg(reader.name().toString());
            return;
        case QXmlStreamReader::Invalid:
            m_error = QStringLiteral("it is not well-formed (%1)").arg(reader.errorString());
            return;
        default:
            break;
        }
    }
    if (m_nodes.isEmpty())
        m_error = QStringLiteral("it has no elements");
}

QString SvgTree::attribute(int element, const QString &namespaceUri, const QString &name) const
{
    for (const QXmlStreamAttribute &attribute : m_nodes[element].attributes) {
        if (attribute.name() == name && attribute.namespaceUri() == namespaceUri)
            return attribute.value().toString();
    }
    return {};
}

QString SvgTree::property(int element, QLatin1StringView name) const
{
    const QString style = attribute(element, {}, QStringLiteral("style"));
    QString value;
    bool declared = false;
    for (const QString &declaration : style.split(u';')) {
        const qsizetype colon = declaration.indexOf(u':');
        if (colon < 0 || declaration.left(colon).trimmed().compare(name, Qt::CaseInsensitive))
            continue;
        value = declaration.mid(colon + 1).trimmed();
        value.remove(QLatin1String("!important"), Qt::CaseInsensitive);
        declared = true;
    }
    return declared ? value.trimmed() : attribute(element, {}, name).trimmed();
}

QStringList SvgTree::references(int element) const
{
    static const QRegularExpression url(QStringLiteral("url\\(\\s*['\"]?\\s*#([^'\")\\s]+)"));
    QStringList ids;
    auto urls = [&ids](const QString &value) {
        if (!value.contains(QLatin1String("url(")))
            return;
        for (auto it = url.globalMatch(value); it.hasNext();)
            ids.append(it.next().captured(1));
    };
    for (const QXmlStreamAttribute &attribute : m_nodes[element].attributes) {
        const QStringView uri = attribute.namespaceUri();
        if (attribute.name() == QLatin1String("href") && (uri.isEmpty() || uri == XLinkNamespace)) {
            const QString value = attribute.value().trimmed().toString();
            if (value.startsWith(u'#') && value.size() > 1)
                ids.append(value.mid(1));
        } else if (uri.isEmpty()) {
            urls(attribute.value().toString());
        }
    }
    if (m_nodes[element].local == QLatin1String("style"))
        urls(text(element));
    return ids;
}

QString SvgTree::text(int element) const
{
    QString text;
    for (int i = element + 1; i < m_nodes[element].end; ++i) {
        if (!m_nodes[i].isElement)
            text += m_nodes[i].name;
    }
    return text;
}

void SvgTree::writeStart(int element, QXmlStreamWriter *writer) const
{
    const Node &node = m_nodes[element];
    writer->writeStartElement(node.name);
    for (const QXmlStreamNamespaceDeclaration &declaration : node.namespaces) {
        const QString prefix = declaration.prefix().toString();
        writer->writeAttribute(prefix.isEmpty() ? QStringLiteral("xmlns") : "xmlns:" + prefix,
                               declaration.namespaceUri().toString());
    }
    // Defaults a document type supplies were never the renderer's: it reads no DTD.
    for (const QXmlStreamAttribute &attribute : node.attributes) {
        if (!attribute.isDefault())
            writer->writeAttribute(attribute.qualifiedName().toString(),
                                   attribute.value().toString());
    }
}

void SvgTree::writeWhole(int index, QXmlStreamWriter *writer) const
{
    const Node &node = m_nodes[index];
    if (!node.isElement) {
        if (node.cdata)
            writer->writeCDATA(node.name);
        else
            writer->writeCharacters(node.name);
        return;
    }
    if (node.local == QLatin1String("script"))
        return;
    writeStart(index, writer);
    for (int child : node.children)
        writeWhole(child, writer);
    writer->writeEndElement();
}
