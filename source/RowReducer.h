#pragma once

#include <QImage>
#include <QRgb>

#include <vector>

// Shrinks an image by a whole factor while its rows arrive, so the whole image is never held:
// each block of factor x factor source pixels becomes the exact mean of its premultiplied
// pixels, kept at 16 bits a channel so that the resampler working from the result sees what it
// would have computed from the source to well under a level. Sums are whole numbers, so the
// result does not depend on the order or grouping of the arithmetic.
class RowReducer
{
public:
    // `width` and `height` are the source's, each a multiple of `factor` (at least 1).
    RowReducer(int width, int height, int factor, bool opaque);

    int width() const { return m_width; }
    int height() const { return m_height; }
    // The result's format: RGBX64 for an opaque source, else RGBA64_Premultiplied.
    QImage::Format format() const;

    // Adds the next source row of straight-alpha ARGB32 pixels. True when it completed a result
    // row, which row() then holds until the next call.
    bool addRow(const QRgb *row);
    const QRgba64 *row() const { return m_row.data(); }
    int rowsDone() const { return m_rowsDone; }

private:
    int m_factor;
    int m_width;
    int m_height;
    bool m_opaque;
    int m_sourceRow = 0;
    int m_rowsDone = 0;
    // Per result pixel: blue, green and red times alpha, and alpha, summed over the block.
    std::vector<quint64> m_sums;
    std::vector<QRgba64> m_row;
};
