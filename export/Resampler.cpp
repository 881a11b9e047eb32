#include "Resampler.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <thread>
#include <vector>

namespace {

// Lanczos3: support 3.
double lanczos3(double x)
{
    x = std::abs(x);
    if (x < 1e-12)
        return 1.0;
    if (x >= 3.0)
        return 0.0;
    const double px = std::numbers::pi * x;
    return 3.0 * std::sin(px) * std::sin(px / 3.0) / (px * px);
}

// Catmull-Rom cubic (a = -0.5): support 2; interpolates, and reproduces straight lines.
double catmullRom(double x)
{
    x = std::abs(x);
    if (x < 1.0)
        return (1.5 * x - 2.5) * x * x + 1.0;
    if (x < 2.0)
        return ((-0.5 * x + 2.5) * x - 4.0) * x + 2.0;
    return 0.0;
}

// For each target position: the first source index and the weights of the source pixels from
// there on, summing to 1. Stored with a fixed stride so the passes index them directly.
struct AxisWeights
{
    std::vector<int> first;
    std::vector<int> count;
    std::vector<double> weights; // stride `taps`
    int taps = 0;

    const double *of(int j) const { return weights.data() + size_t(j) * size_t(taps); }
};

// Builds the table from per-target weights given on the border-extended source: `weigh` lists
// (extended index, weight) pairs, and indices beyond the source fold onto its border pixel.
template <typename Weigh> AxisWeights buildWeights(int srcLen, int dstLen, Weigh weigh)
{
    std::vector<std::vector<double>> rows(static_cast<size_t>(dstLen));
    AxisWeights table;
    table.first.resize(size_t(dstLen));
    table.count.resize(size_t(dstLen));
    for (int j = 0; j < dstLen; ++j) {
        int lo = srcLen, hi = -1;
        std::vector<std::pair<int, double>> taps;
        weigh(j, [&](long long i, double w) {
            const int folded = int(std::clamp<long long>(i, 0, srcLen - 1));
            taps.emplace_back(folded, w);
            lo = std::min(lo, folded);
            hi = std::max(hi, folded);
        });
        std::vector<double> &row = rows[size_t(j)];
        row.assign(size_t(hi - lo + 1), 0.0);
        double sum = 0.0;
        for (auto [i, w] : taps) {
            row[size_t(i - lo)] += w;
            sum += w;
        }
        for (double &w : row)
            w /= sum;
        table.first[size_t(j)] = lo;
        table.count[size_t(j)] = hi - lo + 1;
        table.taps = std::max(table.taps, hi - lo + 1);
    }
    table.weights.assign(size_t(dstLen) * size_t(table.taps), 0.0);
    for (int j = 0; j < dstLen; ++j)
        std::copy(rows[size_t(j)].begin(), rows[size_t(j)].end(),
                  table.weights.begin() + ptrdiff_t(size_t(j) * size_t(table.taps)));
    return table;
}

AxisWeights lanczosWeights(int srcLen, int dstLen)
{
    const double factor = double(srcLen) / dstLen;
    const double scale = std::max(factor, 1.0);
    const double support = 3.0 * scale;
    return buildWeights(srcLen, dstLen, [&](int j, auto add) {
        const double centre = (j + 0.5) * factor;
        const auto lo = (long long)std::floor(centre - support);
        const auto hi = (long long)std::ceil(centre + support);
        for (long long i = lo; i <= hi; ++i) {
            const double w = lanczos3((double(i) + 0.5 - centre) / scale);
            if (w != 0.0)
                add(i, w);
        }
    });
}

// Target pixel j covers source edges [a, b]. The running sum S(k) of the pixels before edge k is
// exact at integer k; S between them is Catmull-Rom interpolated from knots floor(x)-1..+2, and
// the pixel is (S(b) - S(a)) / (b - a). Pixel i enters S(k) for every knot k > i.
AxisWeights areaWeights(int srcLen, int dstLen)
{
    const double factor = double(srcLen) / dstLen;
    return buildWeights(srcLen, dstLen, [&](int j, auto add) {
        const double a = j * factor;
        const double b = (j + 1) * factor;
        const auto fa = (long long)std::floor(a);
        const auto fb = (long long)std::floor(b);
        auto knotSum = [](double x, long long fx, long long i) {
            double sum = 0.0;
            for (long long k = fx - 1; k <= fx + 2; ++k) {
                if (k > i)
                    sum += catmullRom(x - double(k));
            }
            return sum;
        };
        for (long long i = fa - 1; i <= fb + 1; ++i) {
            const double w = (knotSum(b, fb, i) - knotSum(a, fa, i)) / factor;
            if (w != 0.0)
                add(i, w);
        }
    });
}

AxisWeights weightsFor(int srcLen, int dstLen)
{
    const double factor = double(srcLen) / dstLen;
    return factor < 1.3 ? lanczosWeights(srcLen, dstLen) : areaWeights(srcLen, dstLen);
}

struct FloatWeights
{
    std::vector<int> first;
    std::vector<int> count;
    std::vector<float> weights;
    int taps;
};

FloatWeights toFloat(const AxisWeights &table)
{
    return {table.first, table.count,
            std::vector<float>(table.weights.begin(), table.weights.end()), table.taps};
}

struct Premultiplied
{
    float c[4]; // r, g, b, a in 0..1
};

Premultiplied premultiply(QRgb pixel)
{
    const float a = float(qAlpha(pixel)) * (1.0f / 255.0f);
    const float k = a * (1.0f / 255.0f);
    return {{float(qRed(pixel)) * k, float(qGreen(pixel)) * k, float(qBlue(pixel)) * k, a}};
}

// Back to straight 8-bit: premultiplied colour is clamped to [0, alpha] so ringing can neither
// invent colour under transparency nor overflow.
QRgb straighten(double r, double g, double b, double a)
{
    a = std::clamp(a, 0.0, 1.0);
    const int alpha = int(a * 255.0 + 0.5);
    if (alpha == 0)
        return 0;
    auto channel = [a](double c) { return int(std::clamp(c, 0.0, a) / a * 255.0 + 0.5); };
    return qRgba(channel(r), channel(g), channel(b), alpha);
}

void horizontalRow(const QRgb *source, int srcWidth, const FloatWeights &h,
                   Premultiplied *rowBuffer, float *out)
{
    for (int x = 0; x < srcWidth; ++x)
        rowBuffer[x] = premultiply(source[x]);
    const int dstWidth = int(h.first.size());
    for (int x = 0; x < dstWidth; ++x) {
        const Premultiplied *in = rowBuffer + h.first[size_t(x)];
        const float *w = h.weights.data() + size_t(x) * size_t(h.taps);
        float acc[4] = {0, 0, 0, 0};
        for (int t = 0; t < h.count[size_t(x)]; ++t) {
            for (int c = 0; c < 4; ++c)
                acc[c] += w[t] * in[t].c[c];
        }
        std::copy(acc, acc + 4, out + size_t(x) * 4);
    }
}

void verticalRow(const float *rows, size_t rowStride, int firstRow, const FloatWeights &v, int y,
                 float *acc, QRgb *out, int dstWidth)
{
    const size_t n = size_t(dstWidth) * 4;
    std::fill(acc, acc + n, 0.0f);
    const float *w = v.weights.data() + size_t(y) * size_t(v.taps);
    for (int t = 0; t < v.count[size_t(y)]; ++t) {
        const float *row = rows + size_t(v.first[size_t(y)] + t - firstRow) * rowStride;
        const float wt = w[t];
        for (size_t i = 0; i < n; ++i)
            acc[i] += wt * row[i];
    }
    for (int x = 0; x < dstWidth; ++x) {
        const float *p = acc + size_t(x) * 4;
        out[x] = straighten(p[0], p[1], p[2], p[3]);
    }
}

QImage asArgb32(const QImage &source)
{
    if (source.format() == QImage::Format_ARGB32 || source.format() == QImage::Format_RGB32)
        return source;
    return source.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

QImage Resampler::resample(const QImage &sourceImage, int width, int height, int threads)
{
    if (width < 1 || height < 1 || sourceImage.isNull())
        return {};
    const QImage source = asArgb32(sourceImage);
    QImage result(width, height, QImage::Format_ARGB32);
    if (result.isNull())
        return {};
    const int srcWidth = source.width();
    const FloatWeights h = toFloat(weightsFor(srcWidth, width));
    const FloatWeights v = toFloat(weightsFor(source.height(), height));

    // Output rows go in bands; each band runs the horizontal pass over just the source rows it
    // needs, so memory stays a few dozen rows per thread whatever the image size.
    const double factor = double(source.height()) / height;
    const int bandRows = std::clamp(int(64.0 / factor), 1, height);
    const int bands = (height + bandRows - 1) / bandRows;
    const size_t rowStride = size_t(width) * 4;
    // Taken once: scanLine() on a shared image may detach, which threads must not race on.
    uchar *const resultBits = result.bits();
    const qsizetype resultStride = result.bytesPerLine();

    std::atomic<int> nextBand{0};
    auto work = [&] {
        std::vector<Premultiplied> rowBuffer(static_cast<size_t>(srcWidth));
        std::vector<float> acc(rowStride);
        std::vector<float> rows;
        for (int band; (band = nextBand.fetch_add(1)) < bands;) {
            const int y0 = band * bandRows;
            const int y1 = std::min(height, y0 + bandRows);
            const int firstRow = v.first[size_t(y0)];
            const int lastRow = v.first[size_t(y1 - 1)] + v.count[size_t(y1 - 1)];
            rows.resize(size_t(lastRow - firstRow) * rowStride);
            for (int sy = firstRow; sy < lastRow; ++sy) {
                const auto *line = reinterpret_cast<const QRgb *>(source.constScanLine(sy));
                horizontalRow(line, srcWidth, h, rowBuffer.data(),
                              rows.data() + size_t(sy - firstRow) * rowStride);
            }
            for (int y = y0; y < y1; ++y) {
                verticalRow(rows.data(), rowStride, firstRow, v, y, acc.data(),
                            reinterpret_cast<QRgb *>(resultBits + y * resultStride), width);
            }
        }
    };

    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int workers = std::min(bands, threads > 0 ? threads : int(cores));
    std::vector<std::jthread> pool;
    for (int i = 1; i < workers; ++i)
        pool.emplace_back(work);
    work();
    return result;
}

QImage Resampler::resampleReference(const QImage &sourceImage, int width, int height)
{
    if (width < 1 || height < 1 || sourceImage.isNull())
        return {};
    const QImage source = asArgb32(sourceImage);
    const AxisWeights h = weightsFor(source.width(), width);
    const AxisWeights v = weightsFor(source.height(), height);
    QImage result(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            double sum[4] = {0, 0, 0, 0};
            for (int ty = 0; ty < v.count[size_t(y)]; ++ty) {
                const int sy = v.first[size_t(y)] + ty;
                for (int tx = 0; tx < h.count[size_t(x)]; ++tx) {
                    const int sx = h.first[size_t(x)] + tx;
                    const QRgb p = source.pixel(sx, sy);
                    const double a = qAlpha(p) / 255.0;
                    const double w = v.of(y)[ty] * h.of(x)[tx];
                    sum[0] += w * qRed(p) / 255.0 * a;
                    sum[1] += w * qGreen(p) / 255.0 * a;
                    sum[2] += w * qBlue(p) / 255.0 * a;
                    sum[3] += w * a;
                }
            }
            result.setPixel(x, y, straighten(sum[0], sum[1], sum[2], sum[3]));
        }
    }
    return result;
}
