#pragma once

#include <QByteArray>

// A drawing's text with every feDropShadow of its filters spelled out as the primitives it is
// defined as (a blur of its input's alpha, offset, flooded with its colour, merged under its
// input), which the renderer draws where it draws no drop shadow at all.
//
// Everything else keeps its meaning: elements, prefixes and namespaces, attributes, text and
// CDATA, comments, processing instructions and the document type. Entities come out expanded,
// as the renderer expands them. The work is two linear readings of the text, and the result
// never grows past a bound.
class FilterRewrite
{
public:
    enum class Outcome { Unchanged, Rewritten, TooLarge };

    // `xml` should be text the renderer already accepted: its parser refuses entities that
    // expand out of proportion, which this reader would otherwise expand. `out` is set only
    // when the outcome is Rewritten, and is then at most `limit` bytes.
    static Outcome dropShadows(const QByteArray &xml, qsizetype limit, QByteArray *out);
};
