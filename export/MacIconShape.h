#pragma once

#include <QImage>
#include <QPainterPath>

// A Mac app icon as systems up to macOS 15 show it: the artwork inside a rounded body with
// transparent corners and a soft drop shadow, on a transparent square canvas. Newer systems cut
// full-bleed art to their own shape; older ones show the file as drawn, so an icon for them has
// to carry its shape and shadow itself.
//
// Everything is laid out on the 1024 px grid and scaled with the canvas in float geometry, so the
// body keeps its proportions at every size from 16 px up; only the artwork's pixel size is
// rounded (up, so resampling never has to stretch it past the body).
class MacIconShape
{
public:
    // The grid at 1024 px: the body is 824 px square, 100 px from each edge of the canvas.
    static constexpr double GridCanvas = 1024.0, GridMargin = 100.0, GridBody = 824.0;
    // The body's outline: a superellipse |x/a|^n + |y/a|^n = 1 with n = 5 (a = half the body
    // side), the usual close match to the continuous-corner rounded square of the system's icons.
    static constexpr double Exponent = 5.0;
    // The shadow at 1024 px, scaled with the canvas: straight down by 10 px, a Gaussian blur of
    // standard deviation 8 px, black at 30% opacity. Sigma 8 makes the shadow fade out over
    // about 3 sigma = 24 px, which stays inside the 100 px margin even 10 px lower, so the
    // shadow is never clipped by the canvas; a softer one would start to touch the edge.
    static constexpr double ShadowOffsetY = 10.0, ShadowSigma = 8.0, ShadowOpacity = 0.30;
    // Larger canvases are refused (compose returns a null image): far beyond any icon, and it
    // keeps every size and index computation within range.
    static constexpr int MaxSize = 16384;

    // The pixel size to render the artwork at for a canvas of `size` pixels: the body's side
    // rounded up to whole pixels (ceil(size*824/1024)), at least 1.
    static int bodyPixels(int size);
    // The outline at `size` as a path in canvas pixels (float geometry: the body spans
    // size*100/1024 to size*924/1024). Empty below size 1.
    static QPainterPath outline(int size);
    // A superellipse |x/a|^n + |y/b|^n = 1 about `centre` as a closed polygon of `points`
    // points, sampled evenly in polar angle (which spaces them evenly along the curve too; the
    // axis points fall exactly on the edges).
    static QPainterPath superellipse(QPointF centre, double a, double b, double exponent,
                                     int points);
    // The finished icon: `body` (the artwork already resampled to bodyPixels(size) square, any
    // format; read as straight alpha) placed on the body's exact float rectangle, cut to the
    // outline with antialiasing, over its shadow, on a transparent `size` x `size` canvas.
    // Format_ARGB32 (straight alpha). The artwork's own transparency is kept, and it is the
    // composed body that casts the shadow, so a hole in the art has no shadow inside it.
    // A null image when `body` is null or `size` is outside 1..MaxSize.
    static QImage compose(const QImage &body, int size);
};
