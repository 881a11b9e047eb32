#pragma once

#include <QByteArray>
#include <QList>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>

class SvgTree;

// One layered drawing split into its layers, each a complete drawing of its own, so that the
// kept layers drawn at any size and laid over each other back to front give the whole drawing
// again (within rounding), except where the report names an effect that spans layers.
//
// The layers are the top-level Inkscape layers, else the top-level groups and loose shapes,
// seen through a single wrapper group (an artboard, a clip) that holds everything drawn. Each
// layer's drawing keeps the root element as it was, the wrappers around the layer with their
// attributes, every style sheet, and everything the layer refers to wherever it lies in the
// document (paint servers, clips, masks, filters, markers, symbols, <use> targets), followed
// from reference to reference. Nothing outside the drawing is read or added.
class LayeredDrawing
{
public:
    // More top-level layers than this are refused: no icon needs them, and each layer's
    // drawing repeats what it refers to.
    static constexpr int MaxLayers = 256;
    // The layers' drawings together may be this many times the drawing's size.
    static constexpr int MaxGrowth = 64;

    enum class State { Kept, Hidden, Empty };

    struct Layer
    {
        QString name;    // its label, serif:id, data-name, id or title, else element and place
        QString kind;    // "inkscape-layer", "group", or "shape" for any loose element
        QString element; // its element's name: "g", "path", "use"…
        State state = State::Kept;
        QString why; // for a layer left out: what hides it, or why it draws nothing
        // Effects of this layer on the layers under it, each a sentence.
        QStringList crossLayer;
        QByteArray svg; // a kept layer alone, as a complete drawing; empty otherwise
        // Where it draws, in the drawing's own pixels: null until measure() drew it.
        QRectF bounds;

        bool kept() const { return state == State::Kept; }
    };

    // `drawing` is the drawing's text as read (an SVGZ inflated): SourceImage::drawing().
    static LayeredDrawing split(const QByteArray &drawing);
    // The same split made in the decoding worker, within its memory and time, as every read of
    // untrusted text is; a worker that fails, or replies what no split could be, gives the error.
    static LayeredDrawing splitIsolated(const QByteArray &drawing,
                                        const std::atomic_bool *cancel = nullptr);

    // The split as the worker sends it (CBOR), refused as grown too much when that would be more
    // than maxSerialisedBytes; and read back, refusing anything the split of a drawing of
    // `drawingBytes` could not be.
    static QByteArray splitSerialised(const QByteArray &drawing);
    static std::optional<LayeredDrawing> fromSerialised(const QByteArray &bytes,
                                                        qint64 drawingBytes);
    static qint64 maxSerialisedBytes(qint64 drawingBytes);

    // Why the drawing was not split (a clause), or empty when it was.
    QString error() const { return m_error; }
    // Front first: the last drawn is the first, as icon.json lists its groups.
    const QList<Layer> &layers() const { return m_layers; }
    // The wrappers looked through to reach the layers, outermost first.
    QStringList wrappers() const { return m_wrappers; }
    // Effects that apply to all layers together (a wrapper's opacity, mask, filter or blend)
    // or that mix one layer with another, each a sentence, the layers' own included. Where
    // there is any, the kept layers laid over each other differ from the whole drawing.
    QStringList crossLayer() const;

    // Draws each kept layer at `target` in the decoding worker to find its bounds; a layer that
    // draws nothing there is left out as empty. Gives why it failed, else empty.
    QString measure(QSize target, const std::atomic_bool *cancel = nullptr);

private:
    static qint64 allowedGrowth(qint64 drawingBytes);
    static QString growthError();
    QByteArray serialised() const;

    void findLayers(const SvgTree &tree);
    void describe(const SvgTree &tree, int index, int place, Layer *layer) const;
    void findCrossLayer(const SvgTree &tree);
    QByteArray layerDrawing(const SvgTree &tree, int layer) const;

    QString m_error;
    QList<Layer> m_layers;
    QStringList m_wrappers;
    QStringList m_crossLayer;
    // Back to front, as the document draws them: the layer elements and their wrappers.
    QList<int> m_elements;
    QList<int> m_chain;
    QList<int> m_styleSheets;
};
