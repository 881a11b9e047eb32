#include "LayeredDrawing.h"

#include "IsolatedDecoder.h"
#include "SourceImage.h"
#include "SvgTree.h"

#include <QCborArray>
#include <QCborValue>
#include <QRegularExpression>
#include <QXmlStreamWriter>

#include <algorithm>

namespace {

const QString InkscapeNamespace = QStringLiteral("http://www.inkscape.org/namespaces/inkscape");
const QString SerifNamespace = QStringLiteral("http://www.serif.com/");

bool isContainer(const QString &local)
{
    return local == QLatin1String("g") || local == QLatin1String("a") ||
           local == QLatin1String("switch") || local == QLatin1String("svg");
}

// Elements that draw where they stand; everything else (definitions, paint servers, style
// sheets, metadata, editors' own elements) draws only when referred to, if at all.
bool isRendering(const QString &local)
{
    static const QStringList drawn = {"g",       "a",      "switch",  "svg",  "path",
                                      "rect",    "circle", "ellipse", "line", "polyline",
                                      "polygon", "text",   "use",     "image"};
    return drawn.contains(local);
}

bool isInkscapeLayer(const SvgTree &tree, int element)
{
    return tree.node(element).local == QLatin1String("g") &&
           tree.attribute(element, InkscapeNamespace, QStringLiteral("groupmode")) ==
               QLatin1String("layer");
}

QList<int> renderingChildren(const SvgTree &tree, int element)
{
    QList<int> children;
    for (int child : tree.node(element).children) {
        if (tree.node(child).isElement && isRendering(tree.node(child).local))
            children.append(child);
    }
    return children;
}

// A CSS number or percentage; `fallback` when it is neither.
double number(const QString &value, double fallback)
{
    static const QRegularExpression leading(
        QStringLiteral("^\\s*([+-]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][+-]?\\d+)?)(%?)"));
    const QRegularExpressionMatch match = leading.match(value);
    if (!match.hasMatch())
        return fallback;
    const double n = match.captured(1).toDouble();
    return match.captured(2).isEmpty() ? n : n / 100;
}

bool isOpen(const QString &value)
{
    return !value.isEmpty() && value.compare(QLatin1String("none"), Qt::CaseInsensitive) != 0;
}

bool isHidden(const SvgTree &tree, int element)
{
    return tree.property(element, QLatin1String("display")) == QLatin1String("none");
}

QString visibilityHides(const SvgTree &tree, int element)
{
    const QString visibility = tree.property(element, QLatin1String("visibility"));
    if (visibility != QLatin1String("hidden") && visibility != QLatin1String("collapse"))
        return {};
    // A descendant may show itself again.
    for (int i = element + 1; i < tree.node(element).end; ++i) {
        if (tree.node(i).isElement &&
            tree.property(i, QLatin1String("visibility")) == QLatin1String("visible"))
            return {};
    }
    return visibility;
}

// Whether an element can put anything on the canvas, judged from its structure alone: what
// is unsure counts as drawn, since measuring by drawing settles the rest.
bool mayDraw(const SvgTree &tree, int element)
{
    const SvgTree::Node &node = tree.node(element);
    if (!node.isElement || !isRendering(node.local) || isHidden(tree, element) ||
        number(tree.property(element, QLatin1String("opacity")), 1) <= 0)
        return false;
    auto positive = [&](const char *name) {
        const QString value = tree.property(element, QLatin1String(name));
        return !value.isEmpty() && number(value, 1) > 0;
    };
    const QString &local = node.local;
    if (isContainer(local))
        return std::any_of(node.children.cbegin(), node.children.cend(),
                           [&](int child) { return mayDraw(tree, child); });
    if (local == QLatin1String("rect"))
        return positive("width") && positive("height");
    if (local == QLatin1String("circle"))
        return positive("r");
    if (local == QLatin1String("ellipse"))
        return positive("rx") || positive("ry");
    if (local == QLatin1String("path"))
        return !tree.property(element, QLatin1String("d")).isEmpty();
    if (local == QLatin1String("polyline") || local == QLatin1String("polygon"))
        return !tree.attribute(element, {}, QStringLiteral("points")).trimmed().isEmpty();
    if (local == QLatin1String("text"))
        return !tree.text(element).trimmed().isEmpty();
    if (local == QLatin1String("use")) {
        const QStringList targets = tree.references(element);
        return std::any_of(targets.cbegin(), targets.cend(), [&](const QString &id) {
            const int target = tree.byId(id);
            return target >= 0 && !tree.contains(target, element);
        });
    }
    return true; // line, image
}

QString nameOf(const SvgTree &tree, int element)
{
    const QString names[] = {tree.attribute(element, InkscapeNamespace, QStringLiteral("label")),
                             tree.attribute(element, SerifNamespace, QStringLiteral("id")),
                             tree.attribute(element, {}, QStringLiteral("data-name")),
                             tree.attribute(element, {}, QStringLiteral("id"))};
    for (const QString &name : names) {
        if (!name.trimmed().isEmpty())
            return name;
    }
    // Boxy SVG names an element by its title.
    for (int child : tree.node(element).children) {
        if (tree.node(child).local == QLatin1String("title"))
            return tree.text(child).simplified();
    }
    return {};
}

QString quoted(const QString &name)
{
    return QStringLiteral("“%1”").arg(name);
}

int urlTarget(const SvgTree &tree, const QString &value)
{
    static const QRegularExpression url(QStringLiteral("url\\(\\s*['\"]?\\s*#([^'\")\\s]+)"));
    return isOpen(value) ? tree.byId(url.match(value).captured(1)) : -1;
}

// A wrapper's clip is no such effect: the renderer clips each shape as it draws it, so a
// layer clipped alone gives the same pixels.
void findWrapperEffects(const SvgTree &tree, int element, const QString &name, QStringList *out)
{
    const double opacity = number(tree.property(element, QLatin1String("opacity")), 1);
    if (opacity < 1)
        out->append(
            QStringLiteral("%1 fades all its layers together (opacity %2)").arg(name).arg(opacity));
    if (isOpen(tree.property(element, QLatin1String("mask"))))
        out->append(QStringLiteral("%1 masks all its layers together").arg(name));
    if (isOpen(tree.property(element, QLatin1String("filter"))))
        out->append(QStringLiteral("%1 filters all its layers together").arg(name));
    const QString blend = tree.property(element, QLatin1String("mix-blend-mode"));
    if (!blend.isEmpty() && blend != QLatin1String("normal"))
        out->append(QStringLiteral("%1 blends all its layers together (%2)").arg(name, blend));
}

// Everything an element refers to, and all that those refer to, as whole subtrees marked in
// `included`; a reference to one of `layer`'s own wrappers (a cycle the renderer refuses) is
// not followed. Each node is marked and read once, however tangled the references.
class References
{
public:
    References(const SvgTree &tree, int layer)
        : m_tree(tree)
        , m_layer(layer)
        , m_included(tree.size(), false)
    {
    }

    bool included(int index) const { return m_included[index]; }
    // Every node included, in the order they were.
    const QList<int> &all() const { return m_all; }

    void include(int index)
    {
        for (int i = index; i < m_tree.node(index).end; ++i) {
            if (m_included[i])
                continue;
            m_included[i] = true;
            m_all.append(i);
            if (m_tree.node(i).isElement)
                m_pending.append(i);
        }
    }

    void follow(int element)
    {
        for (const QString &id : m_tree.references(element)) {
            const int target = m_tree.byId(id);
            if (target >= 0 && !m_included[target] &&
                !(m_layer >= 0 && target != m_layer && m_tree.contains(target, m_layer)))
                include(target);
        }
    }

    void close()
    {
        while (!m_pending.isEmpty())
            follow(m_pending.takeLast());
    }

private:
    const SvgTree &m_tree;
    int m_layer;
    QList<bool> m_included;
    QList<int> m_pending;
    QList<int> m_all;
};

} // namespace

LayeredDrawing LayeredDrawing::split(const QByteArray &drawing)
{
    LayeredDrawing split;
    const SvgTree tree(drawing);
    if (!tree.error().isEmpty()) {
        split.m_error = tree.error();
        return split;
    }
    if (tree.node(0).local != QLatin1String("svg")) {
        split.m_error = QStringLiteral("its root element is not <svg>");
        return split;
    }
    split.findLayers(tree);
    if (!split.m_error.isEmpty())
        return split;
    split.findCrossLayer(tree);

    const qint64 allowed = allowedGrowth(drawing.size());
    qint64 written = 0;
    for (int i = 0; i < split.m_layers.size(); ++i) {
        Layer &layer = split.m_layers[i];
        if (!layer.kept())
            continue;
        layer.svg = split.layerDrawing(tree, split.m_elements[i]);
        written += layer.svg.size();
        if (written > allowed) {
            split.m_error = growthError();
            split.m_layers.clear();
            return split;
        }
    }
    std::reverse(split.m_layers.begin(), split.m_layers.end());
    std::reverse(split.m_elements.begin(), split.m_elements.end());
    return split;
}

qint64 LayeredDrawing::allowedGrowth(qint64 drawingBytes)
{
    return qint64(MaxGrowth) * std::max<qint64>(drawingBytes, 16 << 10);
}

QString LayeredDrawing::growthError()
{
    return QStringLiteral("its layers together would be more than %1 times its size, repeating "
                          "what they share")
        .arg(MaxGrowth);
}

// The names and sentences around the layers' drawings are the drawing's own words, and may be
// repeated once more where a sentence names two layers.
qint64 LayeredDrawing::maxSerialisedBytes(qint64 drawingBytes)
{
    return allowedGrowth(drawingBytes) + 2 * allowedGrowth(drawingBytes) / MaxGrowth;
}

LayeredDrawing LayeredDrawing::splitIsolated(const QByteArray &drawing,
                                             const std::atomic_bool *cancel)
{
    std::optional<LayeredDrawing> split;
    const ImageDecoder::Decoded done = IsolatedDecoder::splitSvg(
        drawing, maxSerialisedBytes(drawing.size()),
        [&](const QByteArray &reply) {
            split = fromSerialised(reply, drawing.size());
            return split.has_value();
        },
        cancel);
    if (done.status == ImageDecoder::Status::Ok && split)
        return *split;
    LayeredDrawing failed;
    switch (done.status) {
    case ImageDecoder::Status::TookTooLong:
        failed.m_error = QStringLiteral("splitting it took too long");
        break;
    case ImageDecoder::Status::TooLarge:
        failed.m_error = QStringLiteral("splitting it needs too much memory");
        break;
    default:
        failed.m_error = done.reason;
        break;
    }
    return failed;
}

namespace {

QCborArray texts(const QStringList &list)
{
    QCborArray array;
    for (const QString &text : list)
        array.append(text);
    return array;
}

// Text strings only (CBOR's are UTF-8 checked as read); `nonEmpty` refuses an empty one.
std::optional<QStringList> textsOf(const QCborValue &value, bool nonEmpty)
{
    if (!value.isArray())
        return std::nullopt;
    QStringList list;
    for (const QCborValue &item : value.toArray()) {
        if (!item.isString() || (nonEmpty && item.toString().isEmpty()))
            return std::nullopt;
        list.append(item.toString());
    }
    return list;
}

} // namespace

QByteArray LayeredDrawing::serialised() const
{
    QCborArray layers;
    for (const Layer &layer : m_layers)
        layers.append(QCborArray{layer.name, layer.kind, layer.element, int(layer.state), layer.why,
                                 texts(layer.crossLayer), layer.svg});
    return QCborValue(QCborArray{m_error, texts(m_wrappers), texts(m_crossLayer), layers}).toCbor();
}

QByteArray LayeredDrawing::splitSerialised(const QByteArray &drawing)
{
    const QByteArray bytes = split(drawing).serialised();
    if (bytes.size() <= maxSerialisedBytes(drawing.size()))
        return bytes;
    LayeredDrawing refused;
    refused.m_error = growthError();
    return refused.serialised();
}

std::optional<LayeredDrawing> LayeredDrawing::fromSerialised(const QByteArray &bytes,
                                                             qint64 drawingBytes)
{
    if (bytes.size() > maxSerialisedBytes(drawingBytes))
        return std::nullopt;
    QCborParserError parsed;
    const QCborValue value = QCborValue::fromCbor(bytes, &parsed);
    // Written as this build writes it, and nothing after it.
    if (parsed.error != QCborError::NoError || !value.isArray() || value.toCbor() != bytes)
        return std::nullopt;
    const QCborArray top = value.toArray();
    if (top.size() != 4 || !top[0].isString() || !top[3].isArray())
        return std::nullopt;
    const std::optional<QStringList> wrappers = textsOf(top[1], true);
    const std::optional<QStringList> crossLayer = textsOf(top[2], false);
    const QCborArray layers = top[3].toArray();
    if (!wrappers || wrappers->size() > SvgTree::MaxDepth || !crossLayer ||
        layers.size() > MaxLayers || (!top[0].toString().isEmpty() && !layers.isEmpty()))
        return std::nullopt;
    LayeredDrawing split;
    split.m_error = top[0].toString();
    split.m_wrappers = *wrappers;
    split.m_crossLayer = *crossLayer;
    const QStringList kinds{QStringLiteral("inkscape-layer"), QStringLiteral("group"),
                            QStringLiteral("shape")};
    qint64 written = 0;
    for (const QCborValue &item : layers) {
        const QCborArray fields = item.toArray();
        if (!item.isArray() || fields.size() != 7 || !fields[0].isString() ||
            !fields[1].isString() || !fields[2].isString() || !fields[3].isInteger() ||
            !fields[4].isString() || !fields[6].isByteArray())
            return std::nullopt;
        Layer layer;
        layer.name = fields[0].toString();
        layer.kind = fields[1].toString();
        layer.element = fields[2].toString();
        const qint64 state = fields[3].toInteger();
        layer.why = fields[4].toString();
        const std::optional<QStringList> effects = textsOf(fields[5], true);
        layer.svg = fields[6].toByteArray();
        if (layer.name.isEmpty() || !kinds.contains(layer.kind) || layer.element.isEmpty() ||
            state < int(State::Kept) || state > int(State::Empty) || !effects)
            return std::nullopt;
        layer.state = State(state);
        layer.crossLayer = *effects;
        // A kept layer has its drawing and may span others; one left out has a reason only.
        if (layer.kept() != !layer.svg.isEmpty() || layer.kept() != layer.why.isEmpty() ||
            (!layer.kept() && !layer.crossLayer.isEmpty()))
            return std::nullopt;
        written += layer.svg.size();
        if (written > allowedGrowth(drawingBytes))
            return std::nullopt;
        split.m_layers.append(layer);
    }
    return split;
}

void LayeredDrawing::findLayers(const SvgTree &tree)
{
    m_chain = {0};
    QList<int> candidates = renderingChildren(tree, 0);
    const bool inkscape = std::any_of(candidates.cbegin(), candidates.cend(),
                                      [&](int c) { return isInkscapeLayer(tree, c); });
    // Look through a lone group that holds everything drawn (an artboard, a clip) to the
    // groups inside it, which are what the designer stacked.
    while (!inkscape && candidates.size() == 1 &&
           tree.node(candidates[0]).local == QLatin1String("g") && !isHidden(tree, candidates[0]) &&
           !renderingChildren(tree, candidates[0]).isEmpty()) {
        const int wrapper = candidates[0];
        m_chain.append(wrapper);
        const QString name = nameOf(tree, wrapper);
        m_wrappers.append(name.isEmpty() ? QStringLiteral("g") : name);
        candidates = renderingChildren(tree, wrapper);
    }
    if (candidates.size() > MaxLayers) {
        m_error = QStringLiteral("it has %1 top-level layers, more than the %2 it may have")
                      .arg(candidates.size())
                      .arg(MaxLayers);
        return;
    }
    m_elements = candidates;
    for (int place = 0; place < candidates.size(); ++place) {
        Layer layer;
        describe(tree, candidates[place], place + 1, &layer);
        m_layers.append(layer);
    }
}

void LayeredDrawing::describe(const SvgTree &tree, int index, int place, Layer *layer) const
{
    const SvgTree::Node &node = tree.node(index);
    layer->element = node.local;
    layer->kind = isInkscapeLayer(tree, index) ? QStringLiteral("inkscape-layer")
                  : isContainer(node.local)    ? QStringLiteral("group")
                                               : QStringLiteral("shape");
    layer->name = nameOf(tree, index);
    if (layer->name.isEmpty())
        layer->name = QStringLiteral("%1 %2").arg(node.local).arg(place);

    const QString visibility = visibilityHides(tree, index);
    if (isHidden(tree, index)) {
        layer->state = State::Hidden;
        layer->why = QStringLiteral("hidden by display: none");
    } else if (!visibility.isEmpty()) {
        layer->state = State::Hidden;
        layer->why = QStringLiteral("hidden by visibility: %1").arg(visibility);
    } else if (number(tree.property(index, QLatin1String("opacity")), 1) <= 0) {
        layer->state = State::Empty;
        layer->why = QStringLiteral("fully transparent (opacity 0)");
    } else if (!mayDraw(tree, index)) {
        layer->state = State::Empty;
        layer->why = isContainer(node.local) ? QStringLiteral("nothing in it draws")
                                             : QStringLiteral("it has nothing to draw");
    }
}

void LayeredDrawing::findCrossLayer(const SvgTree &tree)
{
    findWrapperEffects(tree, 0, QStringLiteral("the drawing"), &m_crossLayer);
    for (int i = 1; i < m_chain.size(); ++i)
        findWrapperEffects(tree, m_chain[i], quoted(m_wrappers[i - 1]), &m_crossLayer);
    for (int i = 0; i < tree.size(); ++i) {
        if (tree.node(i).local == QLatin1String("style"))
            m_styleSheets.append(i);
    }
    for (int sheet : std::as_const(m_styleSheets)) {
        if (tree.text(sheet).contains(QLatin1String("mix-blend-mode"))) {
            m_crossLayer.append(QStringLiteral("a style sheet sets mix-blend-mode"));
            break;
        }
    }

    QList<int> owner(tree.size(), -1);
    for (int l = 0; l < m_elements.size(); ++l)
        std::fill(owner.begin() + m_elements[l], owner.begin() + tree.node(m_elements[l]).end, l);
    for (int l = 0; l < m_elements.size(); ++l) {
        Layer &layer = m_layers[l];
        if (!layer.kept())
            continue;
        const int element = m_elements[l];
        for (int i = element; i < tree.node(element).end; ++i) {
            if (!tree.node(i).isElement)
                continue;
            const QString blend = tree.property(i, QLatin1String("mix-blend-mode"));
            if (!blend.isEmpty() && blend != QLatin1String("normal")) {
                layer.crossLayer.append(QStringLiteral("%1 blends with the layers under it (%2)")
                                            .arg(quoted(layer.name), blend));
                break;
            }
        }
        // A mask drawn from another layer's content ties the two together.
        References masks(tree, -1);
        for (int i = element; i < tree.node(element).end; ++i) {
            if (!tree.node(i).isElement)
                continue;
            const int target = urlTarget(tree, tree.property(i, QLatin1String("mask")));
            if (target >= 0 && !masks.included(target))
                masks.include(target);
        }
        masks.close();
        for (int i : masks.all()) {
            if (owner[i] >= 0 && owner[i] != l) {
                layer.crossLayer.append(
                    QStringLiteral("%1 is masked by what %2 draws")
                        .arg(quoted(layer.name), quoted(m_layers[owner[i]].name)));
                break;
            }
        }
    }
}

QByteArray LayeredDrawing::layerDrawing(const SvgTree &tree, int layer) const
{
    References references(tree, layer);
    references.include(layer);
    for (int sheet : m_styleSheets)
        references.include(sheet);
    for (int wrapper : m_chain)
        references.follow(wrapper);
    references.close();

    // What is written: the root and the wrappers down to the layer, and the path down to each
    // subtree included.
    QList<bool> onPath(tree.size(), false);
    for (int i : references.all()) {
        for (int up = tree.node(i).parent; up >= 0 && !onPath[up]; up = tree.node(up).parent)
            onPath[up] = true;
    }

    const QString &rootName = tree.node(0).name;
    const QString defs = rootName.contains(u':')
                             ? rootName.left(rootName.indexOf(u':') + 1) + QStringLiteral("defs")
                             : QStringLiteral("defs");
    QByteArray out;
    QXmlStreamWriter writer(&out);
    writer.writeStartDocument();
    // Within the root and the wrappers everything draws, so what was drawn elsewhere in the
    // document and is here only as a reference goes inside a <defs>; keeping document order
    // keeps which of two elements of one id the renderer finds.
    auto write = [&](auto &&self, int index, bool drawing) -> void {
        const SvgTree::Node &node = tree.node(index);
        const bool wrapper = index != layer && tree.contains(index, layer);
        if (!node.isElement || (!references.included(index) && !onPath[index]))
            return;
        const bool hide = drawing && !wrapper && index != layer && isRendering(node.local);
        if (hide)
            writer.writeStartElement(defs);
        if (references.included(index)) {
            tree.writeWhole(index, &writer);
        } else {
            tree.writeStart(index, &writer);
            for (int child : node.children)
                self(self, child, drawing && wrapper);
            writer.writeEndElement();
        }
        if (hide)
            writer.writeEndElement();
    };
    write(write, 0, true);
    writer.writeEndDocument();
    return out;
}

QStringList LayeredDrawing::crossLayer() const
{
    QStringList all = m_crossLayer;
    for (auto it = m_layers.crbegin(); it != m_layers.crend(); ++it)
        all += it->crossLayer;
    return all;
}

QString LayeredDrawing::measure(QSize target, const std::atomic_bool *cancel)
{
    for (Layer &layer : m_layers) {
        if (!layer.kept())
            continue;
        const SourceImage::Loaded loaded = SourceImage::fromData(layer.svg, layer.name, cancel);
        if (!loaded.image)
            return loaded.error;
        const SourceImage::Drawn drawn = loaded.image->renderVector({target}, cancel);
        if (drawn.images.isEmpty())
            return drawn.error;
        const QImage &image = drawn.images.first();
        int left = image.width(), top = image.height(), right = -1, bottom = -1;
        for (int y = 0; y < image.height(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                if (qAlpha(line[x]) == 0)
                    continue;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
        if (right < 0) {
            layer.state = State::Empty;
            layer.why = QStringLiteral("it draws nothing at %1 by %2 pixels")
                            .arg(target.width())
                            .arg(target.height());
            layer.svg.clear();
            continue;
        }
        const double sx = loaded.image->size().width() / image.width();
        const double sy = loaded.image->size().height() / image.height();
        layer.bounds =
            QRectF(left * sx, top * sy, (right + 1 - left) * sx, (bottom + 1 - top) * sy);
    }
    return {};
}
