#pragma once

#include <QImage>

// Resamples a bitmap to an exact pixel grid.
//
// Why premultiplied alpha: averaging straight colour lets the colour of invisible pixels bleed
// into their visible neighbours (dark or light fringes where transparency meets an opaque shape).
// Every pass therefore works on premultiplied RGBA in float; the result is divided back to
// straight alpha, rounded to the nearest 8-bit level and clamped.
//
// Which filter: measured against a vector drawing rendered directly at the target size, no single
// classic filter wins everywhere.
// - Enlarging: an interpolating cubic (support 2 source pixels), sharper than Catmull-Rom:
//   a = -1 below 3 times the size, a = -0.75 from there up, where ringing would show (see
//   weightsFor for the measurements behind the choice).
// - Shrinking by a factor below 1.3: Lanczos3 (support 3 source pixels, widened by the factor).
//   A resize to the source's own size returns the source unchanged.
// - Shrinking by 1.3 or more: the area each target pixel covers, averaged over a smooth
//   reconstruction of the source. The running sum of each row (and column) is known exactly at
//   pixel edges; it is interpolated between them with a Catmull-Rom cubic and differenced at the
//   target pixel's two edges. This is exact at integer factors, equals the plain area average at
//   large factors and beats both Lanczos and the box average in between.
// Each axis is independent: width and height are scaled separately (a non-square target
// stretches) and may use different filters.
//
// Edges: the source is extended by repeating its border pixels, so a constant image stays
// constant at every size and nothing darkens at the border.
//
// Weights are computed once per axis per call and normalised to sum 1. The horizontal pass runs
// first, on rows converted to premultiplied float one at a time; the vertical pass then combines
// whole rows of that intermediate. Rows are shared out to threads; every output row is computed
// the same way whatever the thread count, so the result is byte-identical on one core or many.
class Resampler
{
public:
    // `source` in any format; it is read as straight-alpha 8-bit RGBA, but for RGBA64_Premultiplied
    // and RGBX64 (a huge file held shrunk), which are taken as they are. Returns an image of format
    // ARGB32 (straight alpha) of exactly width x height, or a null image when either is below 1.
    // `threads` 0 means one per core.
    static QImage resample(const QImage &source, int width, int height, int threads = 0);

    // The plain path the fast one is held to: the same filters and weights, evaluated per output
    // pixel in double precision with no tricks. Slow; for tests.
    static QImage resampleReference(const QImage &source, int width, int height);
};
