#include "RowReducer.h"

#include <algorithm>

RowReducer::RowReducer(int width, int height, int factor, bool opaque)
    : m_factor(std::max(factor, 1))
    , m_width(std::max(width, 0) / m_factor)
    , m_height(std::max(height, 0) / m_factor)
    , m_opaque(opaque)
    , m_sums(size_t(m_width) * 4, 0)
    , m_row(size_t(m_width))
{
}

QImage::Format RowReducer::format() const
{
    return m_opaque ? QImage::Format_RGBX64 : QImage::Format_RGBA64_Premultiplied;
}

bool RowReducer::addRow(const QRgb *row)
{
    if (m_rowsDone >= m_height)
        return false;
    quint64 *sum = m_sums.data();
    for (int x = 0; x < m_width; ++x, sum += 4) {
        const QRgb *block = row + size_t(x) * size_t(m_factor);
        for (int i = 0; i < m_factor; ++i) {
            const quint64 a = qAlpha(block[i]);
            sum[0] += quint64(qRed(block[i])) * a;
            sum[1] += quint64(qGreen(block[i])) * a;
            sum[2] += quint64(qBlue(block[i])) * a;
            sum[3] += a;
        }
    }
    if (++m_sourceRow < m_factor)
        return false;
    m_sourceRow = 0;
    // Colour sums are at most 65025 per pixel, alpha sums 255: scaled to 16 bits and rounded to
    // the nearest, colour can never pass alpha. The largest product, 65025 * 2^28 * 65535, fits.
    const quint64 pixels = quint64(m_factor) * quint64(m_factor);
    const quint64 colourUnit = 65025 * pixels;
    const quint64 alphaUnit = 255 * pixels;
    auto colour = [&](quint64 s) { return quint16((s * 65535 + colourUnit / 2) / colourUnit); };
    sum = m_sums.data();
    for (int x = 0; x < m_width; ++x, sum += 4) {
        const quint16 alpha =
            m_opaque ? quint16(65535) : quint16((sum[3] * 65535 + alphaUnit / 2) / alphaUnit);
        m_row[size_t(x)] =
            QRgba64::fromRgba64(colour(sum[0]), colour(sum[1]), colour(sum[2]), alpha);
        std::fill(sum, sum + 4, 0);
    }
    ++m_rowsDone;
    return true;
}
