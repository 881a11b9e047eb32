#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QXmlStreamAttributes>
#include <QXmlStreamNamespaceDeclarations>

class QXmlStreamWriter;

// A drawing's XML held in memory the way the renderer reads it: elements with their attributes
// and namespace declarations as written, and their text (CDATA kept as CDATA), with comments,
// processing instructions and the document type left behind and internal entities expanded.
// The text is untrusted, so reading is bounded in nodes, depth and expansion, and refuses any
// entity it would have to fetch from outside.
//
// Nodes are kept in document order, so an element's descendants are the nodes from just after
// it up to its `end`.
class SvgTree
{
public:
    static constexpr int MaxNodes = 1 << 20;
    static constexpr int MaxDepth = 256;

    static const QString SvgNamespace;
    static const QString XLinkNamespace;

    struct Node
    {
        int parent = -1;
        int end = 0; // one past its last descendant
        bool isElement = true;
        bool cdata = false;
        QString name;  // an element's qualified name as written, or a text's characters
        QString local; // an element's name when it is SVG's (or in no namespace), else empty
        QXmlStreamAttributes attributes;
        QXmlStreamNamespaceDeclarations namespaces;
        QList<int> children;
    };

    explicit SvgTree(const QByteArray &xml);

    // Why the text could not be read (a clause), or empty when it was.
    QString error() const { return m_error; }
    qsizetype size() const { return m_nodes.size(); }
    const Node &node(int index) const { return m_nodes[index]; }
    bool contains(int ancestor, int index) const
    {
        return index >= ancestor && index < m_nodes[ancestor].end;
    }

    QString attribute(int element, const QString &namespaceUri, const QString &name) const;
    // A presentation property: its declaration in the style attribute, else the attribute.
    QString property(int element, QLatin1StringView name) const;
    // The element an id names: the first of that id, as the renderer takes it; -1 for none.
    int byId(const QString &id) const { return m_ids.value(id, -1); }
    // The ids an element refers to by its own attributes (href and url(#…)), and for a style
    // sheet by its rules.
    QStringList references(int element) const;
    // An element's text, its descendants' included.
    QString text(int element) const;

    void writeStart(int element, QXmlStreamWriter *writer) const;
    // The node and everything in it, but scripts, which no renderer of ours runs.
    void writeWhole(int index, QXmlStreamWriter *writer) const;

private:
    bool checkEntities(const QByteArray &xml);

    QList<Node> m_nodes;
    QHash<QString, int> m_ids;
    QString m_error;
};
