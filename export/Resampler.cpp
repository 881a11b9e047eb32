#include "Resampler.h"

#include "Parallel.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

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

// Keys' cubic convolution kernel: support 2, interpolating, reproduces straight lines for any
// a; a more negative a gives deeper negative lobes, so an enlarged edge is steeper.
double keysCubic(double x, double a)
{
    x = std::abs(x);
    if (x < 1.0)
        return ((a + 2.0) * x - (a + 3.0)) * x * x + 1.0;
    if (x < 2.0)
        return ((a * x - 5.0 * a) * x + 8.0 * a) * x - 4.0 * a;
    return 0.0;
}

// Catmull-Rom (a = -0.5). Its integral interpolates the running sums of the area average.
double catmullRom(double x)
{
    return keysCubic(x, -0.5);
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

// A kernel of the given support, stretched over the source pixels a target pixel covers when
// shrinking.
template <typename Kernel>
AxisWeights kernelWeights(int srcLen, int dstLen, Kernel kernel, double radius)
{
    const double factor = double(srcLen) / dstLen;
    const double scale = std::max(factor, 1.0);
    const double support = radius * scale;
    return buildWeights(srcLen, dstLen, [&](int j, auto add) {
        const double centre = (j + 0.5) * factor;
        const auto lo = (long long)std::floor(centre - support);
        const auto hi = (long long)std::ceil(centre + support);
        for (long long i = lo; i <= hi; ++i) {
            const double w = kernel((double(i) + 0.5 - centre) / scale);
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

// Shrinking by more than 1.3 averages the area each target pixel covers; near 1:1 Lanczos3 keeps
// the most detail. Enlarging, measured by SSIM against direct renders, from a 64 source to every
// size from 76 to 1024 on two cards (soft shapes on transparency; small glyphs and 1 px lines):
// the source is an area-sampled render, so deeper lobes win back detail at small factors, while
// at large ones each lobe spans many target pixels and its ringing costs more than it gains.
// Lanczos3 rings most (up to 0.02 behind on transparent edges from 4x up). Per band, the a with
// the best worst case over both cards: -0.9 below 3x (a = -1 was 0.001 behind on the first card
// at 76, -0.75 0.0026 behind on the glyphs at 167); -0.83 from 3x (the first card wants a above
// -0.88, the glyphs below -0.8); -0.75 from 6x, where the glyphs and the transparent edges pull
// apart and no a keeps both within 0.001 of the best other tool.
AxisWeights weightsFor(int srcLen, int dstLen)
{
    const double factor = double(srcLen) / dstLen;
    if (factor < 1.0) {
        const double a = 6.0 * srcLen <= dstLen ? -0.75 : 3.0 * srcLen <= dstLen ? -0.83 : -0.9;
        return kernelWeights(
            srcLen, dstLen, [a](double x) { return keysCubic(x, a); }, 2.0);
    }
    return factor < 1.3 ? kernelWeights(srcLen, dstLen, lanczos3, 3.0)
                        : areaWeights(srcLen, dstLen);
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

// Back to straight 8-bit: premultiplied colour is clamped to [0, alpha] so ringing can neither
// invent colour under transparency nor overflow. Colour is divided by the alpha the filter gave,
// before that is capped at 1: where alpha overshoots just inside an edge, dividing by the capped
// value would lighten the colour there, a visible light rim on every enlarged shape.
QRgb straighten(double r, double g, double b, double a)
{
    a = std::max(a, 0.0);
    const int alpha = int(std::min(a, 1.0) * 255.0 + 0.5);
    if (alpha == 0)
        return 0;
    auto channel = [a](double c) { return int(std::clamp(c, 0.0, a) / a * 255.0 + 0.5); };
    return qRgba(channel(r), channel(g), channel(b), alpha);
}

// The passes work on pixels of four premultiplied floats in the order blue, green, red, alpha
// (QRgb's byte order on the little-endian machines the vector path runs on). One pixel is one
// vector, so each filter tap is one multiply and one add for all four channels.
#if defined(__SSE2__) || defined(_M_X64)

struct Pixel
{
    __m128 v;
};

inline Pixel zeroPixel()
{
    return {_mm_setzero_ps()};
}

inline void storePixel(float *p, Pixel x)
{
    _mm_storeu_ps(p, x.v);
}

inline Pixel addWeighted(Pixel acc, float w, const float *p)
{
    return {_mm_add_ps(acc.v, _mm_mul_ps(_mm_set1_ps(w), _mm_loadu_ps(p)))};
}

void premultiplyRow(const QRgb *source, int width, float *out)
{
    // Colour times alpha over 255 squared, alpha over 255: one multiplier vector per pixel.
    const __m128 colourScale = _mm_set_ps(0.0f, 1.0f / 65025.0f, 1.0f / 65025.0f, 1.0f / 65025.0f);
    const __m128 alphaScale = _mm_set_ps(1.0f / 255.0f, 0.0f, 0.0f, 0.0f);
    const __m128i zero = _mm_setzero_si128();
    auto one = [&](__m128i wide, float *to) {
        const __m128 p = _mm_cvtepi32_ps(wide);
        const __m128 a = _mm_shuffle_ps(p, p, _MM_SHUFFLE(3, 3, 3, 3));
        const __m128 k = _mm_add_ps(_mm_mul_ps(a, colourScale), alphaScale);
        _mm_storeu_ps(to, _mm_mul_ps(p, k));
    };
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i *>(source + x));
        const __m128i lo = _mm_unpacklo_epi8(four, zero);
        const __m128i hi = _mm_unpackhi_epi8(four, zero);
        one(_mm_unpacklo_epi16(lo, zero), out + size_t(x) * 4);
        one(_mm_unpackhi_epi16(lo, zero), out + size_t(x) * 4 + 4);
        one(_mm_unpacklo_epi16(hi, zero), out + size_t(x) * 4 + 8);
        one(_mm_unpackhi_epi16(hi, zero), out + size_t(x) * 4 + 12);
    }
    for (; x < width; ++x) {
        const __m128i pixel = _mm_cvtsi32_si128(int(source[x]));
        one(_mm_unpacklo_epi16(_mm_unpacklo_epi8(pixel, zero), zero), out + size_t(x) * 4);
    }
}

void straightenRow(const float *acc, int width, QRgb *out)
{
    const __m128 zero = _mm_setzero_ps();
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 full = _mm_set1_ps(255.0f);
    // Below half a level alpha rounds to 0; the divisor is kept off zero for those pixels,
    // which are then written as 0 whatever was computed.
    const __m128 tiny = _mm_set1_ps(0.5f / 255.0f);
    const __m128i alphaLane = _mm_set_epi32(-1, 0, 0, 0);
    for (int x = 0; x < width; ++x) {
        const __m128 p = _mm_loadu_ps(acc + size_t(x) * 4);
        const __m128 a = _mm_max_ps(_mm_shuffle_ps(p, p, _MM_SHUFFLE(3, 3, 3, 3)), zero);
        const __m128 colour = _mm_min_ps(_mm_max_ps(p, zero), a);
        const __m128 scale = _mm_div_ps(full, _mm_max_ps(a, tiny));
        const __m128i c = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(colour, scale), half));
        const __m128i alpha =
            _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_min_ps(a, one), full), half));
        const __m128i merged =
            _mm_or_si128(_mm_andnot_si128(alphaLane, c), _mm_and_si128(alphaLane, alpha));
        const __m128i bytes16 = _mm_packs_epi32(merged, merged);
        const QRgb pixel = QRgb(_mm_cvtsi128_si32(_mm_packus_epi16(bytes16, bytes16)));
        out[x] = qAlpha(pixel) == 0 ? 0 : pixel;
    }
}

#else

struct Pixel
{
    float v[4];
};

inline Pixel zeroPixel()
{
    return {{0, 0, 0, 0}};
}

inline void storePixel(float *p, Pixel x)
{
    std::copy(x.v, x.v + 4, p);
}

inline Pixel addWeighted(Pixel acc, float w, const float *p)
{
    for (int c = 0; c < 4; ++c)
        acc.v[c] += w * p[c];
    return acc;
}

void premultiplyRow(const QRgb *source, int width, float *out)
{
    for (int x = 0; x < width; ++x) {
        const QRgb pixel = source[x];
        const float a = float(qAlpha(pixel)) * (1.0f / 255.0f);
        const float k = a * (1.0f / 255.0f);
        float *to = out + size_t(x) * 4;
        to[0] = float(qBlue(pixel)) * k;
        to[1] = float(qGreen(pixel)) * k;
        to[2] = float(qRed(pixel)) * k;
        to[3] = a;
    }
}

void straightenRow(const float *acc, int width, QRgb *out)
{
    for (int x = 0; x < width; ++x) {
        const float *p = acc + size_t(x) * 4;
        out[x] = straighten(p[2], p[1], p[0], p[3]);
    }
}

#endif

// A source held at 16 bits a channel is premultiplied (or opaque) already: it only needs
// scaling, and the channels put in the order blue, green, red, alpha.
void wideRow(const QRgba64 *source, int width, float *out)
{
    constexpr float unit = 1.0f / 65535.0f;
#if defined(__SSE2__) || defined(_M_X64)
    const __m128 scale = _mm_set1_ps(unit);
    const __m128i zero = _mm_setzero_si128();
    for (int x = 0; x < width; ++x) {
        const __m128i pixel = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(source + x));
        const __m128 rgba = _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(pixel, zero)), scale);
        _mm_storeu_ps(out + size_t(x) * 4, _mm_shuffle_ps(rgba, rgba, _MM_SHUFFLE(3, 0, 1, 2)));
    }
#else
    for (int x = 0; x < width; ++x) {
        float *to = out + size_t(x) * 4;
        to[0] = float(source[x].blue()) * unit;
        to[1] = float(source[x].green()) * unit;
        to[2] = float(source[x].red()) * unit;
        to[3] = float(source[x].alpha()) * unit;
    }
#endif
}

bool isWide(const QImage &image)
{
    return image.format() == QImage::Format_RGBA64_Premultiplied ||
           image.format() == QImage::Format_RGBX64;
}

void horizontalRow(const uchar *line, bool wide, int srcWidth, const FloatWeights &h,
                   float *rowBuffer, float *out)
{
    if (wide)
        wideRow(reinterpret_cast<const QRgba64 *>(line), srcWidth, rowBuffer);
    else
        premultiplyRow(reinterpret_cast<const QRgb *>(line), srcWidth, rowBuffer);
    const int dstWidth = int(h.first.size());
    for (int x = 0; x < dstWidth; ++x) {
        const float *in = rowBuffer + size_t(h.first[size_t(x)]) * 4;
        const float *w = h.weights.data() + size_t(x) * size_t(h.taps);
        Pixel acc = zeroPixel();
        const int count = h.count[size_t(x)];
        for (int t = 0; t < count; ++t)
            acc = addWeighted(acc, w[t], in + size_t(t) * 4);
        storePixel(out + size_t(x) * 4, acc);
    }
}

void verticalRow(const float *rows, size_t rowStride, int firstRow, const FloatWeights &v, int y,
                 float *acc, QRgb *out, int dstWidth)
{
    const float *w = v.weights.data() + size_t(y) * size_t(v.taps);
    const int count = v.count[size_t(y)];
    const float *top = rows + size_t(v.first[size_t(y)] - firstRow) * rowStride;
    for (int x = 0; x < dstWidth; ++x) {
        const float *column = top + size_t(x) * 4;
        Pixel sum = zeroPixel();
        for (int t = 0; t < count; ++t)
            sum = addWeighted(sum, w[t], column + size_t(t) * rowStride);
        storePixel(acc + size_t(x) * 4, sum);
    }
    straightenRow(acc, dstWidth, out);
}

QImage asArgb32(const QImage &source)
{
    if (source.format() == QImage::Format_ARGB32 || source.format() == QImage::Format_RGB32 ||
        isWide(source))
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

    // Each band is computed the same way whichever thread takes it.
    Parallel::forEach(size_t(bands), threads, [&](size_t band) {
        std::vector<float> rowBuffer(size_t(srcWidth) * 4);
        std::vector<float> acc(rowStride);
        std::vector<float> rows;
        const int y0 = int(band) * bandRows;
        const int y1 = std::min(height, y0 + bandRows);
        const int firstRow = v.first[size_t(y0)];
        const int lastRow = v.first[size_t(y1 - 1)] + v.count[size_t(y1 - 1)];
        rows.resize(size_t(lastRow - firstRow) * rowStride);
        for (int sy = firstRow; sy < lastRow; ++sy) {
            horizontalRow(source.constScanLine(sy), isWide(source), srcWidth, h, rowBuffer.data(),
                          rows.data() + size_t(sy - firstRow) * rowStride);
        }
        for (int y = y0; y < y1; ++y) {
            verticalRow(rows.data(), rowStride, firstRow, v, y, acc.data(),
                        reinterpret_cast<QRgb *>(resultBits + y * resultStride), width);
        }
    });
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
