#include "FilterRewrite.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

using namespace Qt::StringLiterals;

namespace {

const QString SvgNamespace = QStringLiteral("http://www.w3.org/2000/svg");
const QString DropShadow = QStringLiteral("feDropShadow");

// The filter children the renderer draws; any other child is passed over, and so is no
// primitive whose result the next one takes by default.
bool isPrimitive(QStringView name)
{
    static const QSet<QString> primitives = {QStringLiteral("feBlend"),
                                             QStringLiteral("feColorMatrix"),
                                             QStringLiteral("feComponentTransfer"),
                                             QStringLiteral("feComposite"),
                                             QStringLiteral("feConvolveMatrix"),
                                             QStringLiteral("feDiffuseLighting"),
                                             QStringLiteral("feDisplacementMap"),
                                             DropShadow,
                                             QStringLiteral("feFlood"),
                                             QStringLiteral("feGaussianBlur"),
                                             QStringLiteral("feImage"),
                                             QStringLiteral("feMerge"),
                                             QStringLiteral("feMorphology"),
                                             QStringLiteral("feOffset"),
                                             QStringLiteral("feSpecularLighting"),
                                             QStringLiteral("feTile"),
                                             QStringLiteral("feTurbulence")};
    return primitives.contains(name.toString());
}

// The renderer takes an element of no namespace for one of its own.
bool isSvg(QStringView namespaceUri)
{
    return namespaceUri.isEmpty() || namespaceUri == SvgNamespace;
}

// An attribute of no namespace; null when there is none.
QString written(const QXmlStreamAttributes &attributes, QLatin1StringView name)
{
    for (const QXmlStreamAttribute &attribute : attributes) {
        if (attribute.namespaceUri().isEmpty() && attribute.name() == name)
            return attribute.value().toString();
    }
    return {};
}

struct Shadow
{
    QString input;    // by name, unless it takes the result of the element `from`
    qint64 from = -1; // a primitive without a name, given one for this shadow
};

// What the first reading finds: elements are counted in document order.
struct Plan
{
    QSet<QString> names; // every result and input name the drawing uses
    QHash<qint64, Shadow> shadows;
    QSet<qint64> needName;
};

bool readPlan(const QByteArray &text, Plan *plan)
{
    struct Open
    {
        bool filter = false;
        qint64 previous = -1; // the last primitive child, while this is a filter
        QString previousResult;
    };
    QList<Open> open;
    QXmlStreamReader xml(text);
    qint64 index = -1;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::EndElement) {
            open.removeLast();
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        ++index;
        const QXmlStreamAttributes attributes = xml.attributes();
        for (const QLatin1StringView name : {"in"_L1, "in2"_L1, "result"_L1}) {
            const QString value = written(attributes, name);
            if (!value.isEmpty())
                plan->names.insert(value);
        }
        const bool svg = isSvg(xml.namespaceUri());
        if (!open.isEmpty() && open.last().filter && svg && isPrimitive(xml.name())) {
            Open &parent = open.last();
            if (xml.name() == DropShadow) {
                // Without an input of its own it takes the previous primitive's result, or
                // the drawing for the first one.
                Shadow shadow{written(attributes, "in"_L1)};
                if (shadow.input.isEmpty() && parent.previous < 0)
                    shadow.input = QStringLiteral("SourceGraphic");
                else if (shadow.input.isEmpty() && !parent.previousResult.isEmpty())
                    shadow.input = parent.previousResult;
                else if (shadow.input.isEmpty())
                    plan->needName.insert(shadow.from = parent.previous);
                plan->shadows.insert(index, shadow);
            }
            parent.previous = index;
            parent.previousResult = written(attributes, "result"_L1);
        }
        Open opened;
        opened.filter = svg && xml.name() == QLatin1String("filter");
        open.append(opened);
    }
    return !xml.hasError();
}

// Result names none of the drawing's own can be taken for.
class Names
{
public:
    explicit Names(const QSet<QString> &taken)
        : m_taken(taken)
    {
    }

    QString next()
    {
        QString name;
        do
            name = QStringLiteral("dropShadow%1").arg(++m_count);
        while (m_taken.contains(name));
        return name;
    }

private:
    const QSet<QString> &m_taken;
    qint64 m_count = 0;
};

// Attributes of a drop shadow that only one of its primitives takes, or none.
bool isOwn(const QXmlStreamAttribute &attribute)
{
    static const QSet<QString> own = {QStringLiteral("in"),
                                      QStringLiteral("in2"),
                                      QStringLiteral("result"),
                                      QStringLiteral("operator"),
                                      QStringLiteral("stdDeviation"),
                                      QStringLiteral("dx"),
                                      QStringLiteral("dy"),
                                      QStringLiteral("flood-color"),
                                      QStringLiteral("flood-opacity"),
                                      QStringLiteral("x"),
                                      QStringLiteral("y"),
                                      QStringLiteral("width"),
                                      QStringLiteral("height"),
                                      QStringLiteral("id")};
    return attribute.namespaceUri().isEmpty() && own.contains(attribute.name().toString());
}

// A drop shadow being spelled out: its primitives all carry its prefix, namespace declarations
// and shared attributes (style, class, colour space...), and its children go into the flood,
// which draws none.
struct Spelling
{
    QString prefix;
    QXmlStreamNamespaceDeclarations namespaces;
    QXmlStreamAttributes shared, own;
    QString input, offset, shadow, result;
};

void startElement(QXmlStreamWriter &out, const QString &qualifiedName,
                  const QXmlStreamNamespaceDeclarations &namespaces,
                  const QXmlStreamAttributes &attributes)
{
    out.writeStartElement(qualifiedName);
    for (const QXmlStreamNamespaceDeclaration &declaration : namespaces) {
        out.writeAttribute(declaration.prefix().isEmpty()
                               ? QStringLiteral("xmlns")
                               : QLatin1String("xmlns:") + declaration.prefix().toString(),
                           declaration.namespaceUri().toString());
    }
    // Attributes the document type gives by default come out written, as the renderer applies
    // them all the same.
    for (const QXmlStreamAttribute &attribute : attributes)
        out.writeAttribute(attribute.qualifiedName().toString(), attribute.value().toString());
}

void startPrimitive(QXmlStreamWriter &out, const Spelling &spelling, QLatin1StringView name)
{
    startElement(out, spelling.prefix + name, spelling.namespaces, spelling.shared);
}

QString ownOr(const Spelling &spelling, QLatin1StringView name, const QString &fallback)
{
    const QString value = written(spelling.own, name).trimmed();
    return value.isEmpty() ? fallback : value;
}

void spellOpening(QXmlStreamWriter &out, const Spelling &spelling)
{
    const QString two = QStringLiteral("2");
    startPrimitive(out, spelling, "feGaussianBlur"_L1);
    // Only the alpha of the blur is used below, the same blurred alone or with the colours.
    out.writeAttribute(QStringLiteral("in"), spelling.input == QLatin1String("SourceGraphic")
                                                 ? QStringLiteral("SourceAlpha")
                                                 : spelling.input);
    out.writeAttribute(QStringLiteral("stdDeviation"), ownOr(spelling, "stdDeviation"_L1, two));
    out.writeEndElement();
    startPrimitive(out, spelling, "feOffset"_L1);
    out.writeAttribute(QStringLiteral("dx"), ownOr(spelling, "dx"_L1, two));
    out.writeAttribute(QStringLiteral("dy"), ownOr(spelling, "dy"_L1, two));
    out.writeAttribute(QStringLiteral("result"), spelling.offset);
    out.writeEndElement();
    startPrimitive(out, spelling, "feFlood"_L1);
    for (const QLatin1StringView name : {"flood-color"_L1, "flood-opacity"_L1}) {
        const QString value = written(spelling.own, name);
        if (!value.isNull())
            out.writeAttribute(name, value);
    }
}

void spellClosing(QXmlStreamWriter &out, const Spelling &spelling)
{
    out.writeEndElement(); // the flood
    startPrimitive(out, spelling, "feComposite"_L1);
    out.writeAttribute(QStringLiteral("operator"), QStringLiteral("in"));
    out.writeAttribute(QStringLiteral("in2"), spelling.offset);
    out.writeAttribute(QStringLiteral("result"), spelling.shadow);
    out.writeEndElement();
    startPrimitive(out, spelling, "feMerge"_L1);
    // The merge stands for the drop shadow: its name, subregion and result.
    for (const QLatin1StringView name : {"id"_L1, "x"_L1, "y"_L1, "width"_L1, "height"_L1}) {
        const QString value = written(spelling.own, name);
        if (!value.isNull())
            out.writeAttribute(name, value);
    }
    if (!spelling.result.isEmpty())
        out.writeAttribute(QStringLiteral("result"), spelling.result);
    for (const QString &input : {spelling.shadow, spelling.input}) {
        out.writeStartElement(spelling.prefix + QLatin1String("feMergeNode"));
        out.writeAttribute(QStringLiteral("in"), input);
        out.writeEndElement();
    }
    out.writeEndElement();
}

} // namespace

FilterRewrite::Outcome FilterRewrite::dropShadows(const QByteArray &xml, qsizetype limit,
                                                  QByteArray *out)
{
    Plan plan;
    if (!readPlan(xml, &plan) || plan.shadows.isEmpty())
        return Outcome::Unchanged;

    Names names(plan.names);
    QHash<qint64, QString> given; // names given to primitives that had none
    QList<Spelling> spellings;    // drop shadows open, innermost last
    QList<bool> spelled;          // per open element: whether it is a drop shadow
    QByteArray text;
    QXmlStreamWriter writer(&text);
    QXmlStreamReader reader(xml);
    qint64 index = -1;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartDocument:
            if (reader.documentVersion().isEmpty())
                break;
            if (reader.isStandaloneDocument())
                writer.writeStartDocument(reader.documentVersion().toString(), true);
            else
                writer.writeStartDocument(reader.documentVersion().toString());
            break;
        case QXmlStreamReader::DTD:
            writer.writeDTD(reader.text().toString());
            break;
        case QXmlStreamReader::StartElement: {
            ++index;
            QString result;
            if (plan.needName.contains(index)) {
                result = names.next();
                given.insert(index, result);
            }
            const auto shadow = plan.shadows.constFind(index);
            spelled.append(shadow != plan.shadows.cend());
            if (!spelled.last()) {
                QXmlStreamAttributes attributes = reader.attributes();
                if (!result.isEmpty()) {
                    // An empty name is none, and gives way.
                    attributes.removeIf([](const QXmlStreamAttribute &attribute) {
                        return attribute.namespaceUri().isEmpty() &&
                               attribute.name() == QLatin1String("result");
                    });
                    attributes.append(QStringLiteral("result"), result);
                }
                startElement(writer, reader.qualifiedName().toString(),
                             reader.namespaceDeclarations(), attributes);
                break;
            }
            Spelling spelling;
            const QStringView name = reader.qualifiedName();
            spelling.prefix = name.first(name.size() - DropShadow.size()).toString();
            spelling.namespaces = reader.namespaceDeclarations();
            for (const QXmlStreamAttribute &attribute : reader.attributes())
                (isOwn(attribute) ? spelling.own : spelling.shared).append(attribute);
            spelling.input = shadow->from < 0 ? shadow->input : given.value(shadow->from);
            spelling.offset = names.next();
            spelling.shadow = names.next();
            spelling.result = result.isEmpty() ? written(spelling.own, "result"_L1) : result;
            spellOpening(writer, spelling);
            spellings.append(spelling);
            break;
        }
        case QXmlStreamReader::EndElement:
            if (spelled.takeLast())
                spellClosing(writer, spellings.takeLast());
            else
                writer.writeEndElement();
            break;
        case QXmlStreamReader::Characters:
            if (reader.isCDATA())
                writer.writeCDATA(reader.text().toString());
            else
                writer.writeCharacters(reader.text().toString());
            break;
        case QXmlStreamReader::Comment:
            writer.writeComment(reader.text().toString());
            break;
        case QXmlStreamReader::EntityReference:
            writer.writeEntityReference(reader.name().toString());
            break;
        case QXmlStreamReader::ProcessingInstruction:
            writer.writeProcessingInstruction(reader.processingInstructionTarget().toString(),
                                              reader.processingInstructionData().toString());
            break;
        default:
            break;
        }
        if (text.size() > limit)
            return Outcome::TooLarge;
    }
    if (reader.hasError())
        return Outcome::Unchanged;
    *out = text;
    return Outcome::Rewritten;
}
