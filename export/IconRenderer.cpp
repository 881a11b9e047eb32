#include "IconRenderer.h"

#include "BlendModes.h"
#include "MacIconShape.h"
#include "Resampler.h"
#include "catalogue/IconBundleModel.h"
#include "catalogue/IconJson.h"
#include "source/ImageLimits.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QMap>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

using Appearance = IconRenderer::Appearance;
using Platform = IconRenderer::Platform;
using Mode = BlendModes::Mode;

// The design canvas in points; the editor lays everything out on it.
constexpr double CanvasPoints = 1024.0;
constexpr qint64 MaxJsonBytes = qint64(8) << 20;

// The iOS and full-canvas macOS outline: a superellipse |x/a|^n + |y/a|^n = 1. Fitted to the
// alpha of the editor's 1024 px exports, whose corners start about 300 px from each corner
// along the edges; n = 5 (the older macOS body) keeps the corners a little too full.
constexpr double SquareExponent = 4.4;

// The backgrounds the editor puts behind the other appearances, top and bottom of the canvas,
// as measured in its exports (8-bit sRGB levels, fitted along the left edge of two documents).
struct Backdrop
{
    std::array<float, 3> top, bottom;
};
constexpr Backdrop SystemLight{{255, 255, 255}, {232, 232, 232}};
constexpr Backdrop SystemDark{{52, 52, 52}, {16, 16, 16}};
constexpr Backdrop ClearLight{{142, 142, 142}, {126, 126, 126}};
constexpr Backdrop ClearDark{{72, 72, 72}, {41, 41, 41}};
constexpr Backdrop TintedLight{{137, 116, 215}, {111, 87, 207}};
constexpr Backdrop TintedDark{{20, 11, 44}, {7, 5, 13}};
// In the clear and tinted looks every shape becomes one colour at this opacity: white, or in
// the tinted dark look the tint itself.
constexpr float MonochromeOpacity = 0.75f;
constexpr std::array<float, 3> TintedDarkShape{81, 45, 172};

// A shadow in design points: moved down and blurred, at the document's opacity.
constexpr double ShadowOffset = 4.0, ShadowSigma = 8.0;
// Translucency lowers a group's opacity down its height: 1 - value * t^TranslucencyCurve, t
// from 0 at the top of the group's shapes to 1 at their bottom.
constexpr double TranslucencyCurve = 1.5;
// The automatic gradient's top: this much lighter in OKLab, with this much of the chroma.
constexpr double AutomaticLift = 0.11, AutomaticChroma = 0.85;

struct Colour
{
    float r = 0, g = 0, b = 0, a = 0;
};

float linearOf(float c)
{
    return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
}

float encodedOf(float c)
{
    c = std::clamp(c, 0.0f, 1.0f);
    return c <= 0.0031308f ? 12.92f * c : 1.055f * std::pow(c, 1.0f / 2.4f) - 0.055f;
}

Colour fromLevels(const std::array<float, 3> &levels, float alpha = 1.0f)
{
    return {levels[0] / 255.0f, levels[1] / 255.0f, levels[2] / 255.0f, alpha};
}

// The system colours a "named:" colour may name, as UIKit gives them in light mode.
struct Named
{
    const char *name;
    std::array<float, 3> levels;
};
constexpr std::array<Named, 13> SystemColours{{
    {"system-red", {255, 59, 48}},
    {"system-green", {52, 199, 89}},
    {"system-blue", {0, 122, 255}},
    {"system-orange", {255, 149, 0}},
    {"system-yellow", {255, 204, 0}},
    {"system-brown", {162, 132, 94}},
    {"system-pink", {255, 45, 85}},
    {"system-purple", {175, 82, 222}},
    {"system-gray", {142, 142, 147}},
    {"system-teal", {48, 176, 199}},
    {"system-indigo", {88, 86, 214}},
    {"system-mint", {0, 199, 190}},
    {"system-cyan", {50, 173, 230}},
}};

// Linear sRGB to OKLab and back: the automatic gradient is a lighter version of one colour,
// and lightening in a perceptual space keeps its hue.
std::array<double, 3> toOklab(const Colour &c)
{
    const double r = linearOf(c.r), g = linearOf(c.g), b = linearOf(c.b);
    const double l = std::cbrt(0.4122214708 * r + 0.5363325363 * g + 0.0514459929 * b);
    const double m = std::cbrt(0.2119034982 * r + 0.6806995451 * g + 0.1073969566 * b);
    const double s = std::cbrt(0.0883024619 * r + 0.2817188376 * g + 0.6299787005 * b);
    return {0.2104542553 * l + 0.7936177850 * m - 0.0040720468 * s,
            1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s,
            0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s};
}

std::array<double, 3> linearFromOklab(const std::array<double, 3> &lab)
{
    const double l = std::pow(lab[0] + 0.3963377774 * lab[1] + 0.2158037573 * lab[2], 3);
    const double m = std::pow(lab[0] - 0.1055613458 * lab[1] - 0.0638541728 * lab[2], 3);
    const double s = std::pow(lab[0] - 0.0894841775 * lab[1] - 1.2914855480 * lab[2], 3);
    return {4.0767416621 * l - 3.3077115913 * m + 0.2309699292 * s,
            -1.2684380046 * l + 2.6097574011 * m - 0.3413193965 * s,
            -0.0041960863 * l - 0.7034186147 * m + 1.7076147010 * s};
}

// The colour `lift` lighter in OKLab with `chroma` of its chroma, or as much lighter as sRGB
// holds: a bright yellow cannot get lighter without turning pale, and the editor's gradient keeps
// it yellow.
Colour lighter(const Colour &colour, double lift, double chroma)
{
    const auto base = toOklab(colour);
    const auto at = [&](double l) {
        return linearFromOklab({base[0] + l, base[1] * chroma, base[2] * chroma});
    };
    const auto fits = [](const std::array<double, 3> &rgb) {
        return std::all_of(rgb.begin(), rgb.end(),
                           [](double c) { return c >= -0.05 && c <= 1.08; });
    };
    double low = 0.0, high = lift;
    if (!fits(at(high))) {
        for (int step = 0; step < 24; ++step) {
            const double middle = (low + high) / 2;
            (fits(at(middle)) ? low : high) = middle;
        }
        high = low;
    }
    const auto rgb = at(high);
    return {encodedOf(float(rgb[0])), encodedOf(float(rgb[1])), encodedOf(float(rgb[2])), colour.a};
}

// A fill as it paints: nothing (the image keeps its colours), one colour, or two colours along a
// line given in unit coordinates of the painted rectangle.
struct Paint
{
    enum class Kind { Keep, Solid, Gradient } kind = Kind::Keep;
    Colour from, to;
    QPointF start{0.5, 0.0}, stop{0.5, 1.0};

    Colour at(double u, double v) const
    {
        if (kind != Kind::Gradient)
            return from;
        const double dx = stop.x() - start.x(), dy = stop.y() - start.y();
        const double length = dx * dx + dy * dy;
        const double t =
            length > 0
                ? std::clamp(((u - start.x()) * dx + (v - start.y()) * dy) / length, 0.0, 1.0)
                : 0.0;
        const auto mix = [t](float a, float b) { return float(a + (b - a) * t); };
        return {mix(from.r, to.r), mix(from.g, to.g), mix(from.b, to.b), mix(from.a, to.a)};
    }
};

Paint gradientOf(const Backdrop &backdrop)
{
    Paint paint;
    paint.kind = Paint::Kind::Gradient;
    paint.from = fromLevels(backdrop.top);
    paint.to = fromLevels(backdrop.bottom);
    return paint;
}

Colour colourOf(const QJsonValue &value)
{
    float rgba[4] = {0, 0, 0, 0};
    IconRenderer::colour(value.toString(), rgba);
    return {rgba[0], rgba[1], rgba[2], rgba[3]};
}

// A fill value as paint. `dark` chooses what "automatic" means on the document's background;
// on a layer "automatic", "none" and an absent fill all keep the image's colours.
Paint paintOf(const QJsonValue &fill, bool background, bool dark)
{
    Paint paint;
    if (fill.isString() || fill.isUndefined()) {
        const QString word = fill.toString(QStringLiteral("automatic"));
        if (word == QLatin1String("system-light") ||
            (background && word == QLatin1String("automatic") && !dark))
            return gradientOf(SystemLight);
        if (word == QLatin1String("system-dark") ||
            (background && word == QLatin1String("automatic")))
            return gradientOf(SystemDark);
        return paint; // "none", or "automatic" on a layer
    }
    const QJsonObject object = fill.toObject();
    if (object.contains(QLatin1String("solid"))) {
        paint.kind = Paint::Kind::Solid;
        paint.from = paint.to = colourOf(object.value(QLatin1String("solid")));
    } else if (object.contains(QLatin1String("linear-gradient"))) {
        const QJsonArray colours = object.value(QLatin1String("linear-gradient")).toArray();
        paint.kind = Paint::Kind::Gradient;
        paint.from = colourOf(colours.at(0));
        paint.to = colourOf(colours.at(colours.size() > 1 ? 1 : 0));
    } else if (object.contains(QLatin1String("automatic-gradient"))) {
        // Measured on four exports: the colour itself from 70% of the height down, and above
        // it a version about 0.11 lighter in OKLab with 85% of its chroma at the top edge.
        paint.kind = Paint::Kind::Gradient;
        paint.to = colourOf(object.value(QLatin1String("automatic-gradient")));
        paint.from = lighter(paint.to, AutomaticLift, AutomaticChroma);
        paint.stop = QPointF(0.5, 0.7);
    } else {
        return paint;
    }
    const QJsonObject orientation = object.value(QLatin1String("orientation")).toObject();
    if (!orientation.isEmpty()) {
        const auto point = [&](const char *key) {
            const QJsonObject p = orientation.value(QLatin1String(key)).toObject();
            return QPointF(p.value(QLatin1String("x")).toDouble(),
                           p.value(QLatin1String("y")).toDouble());
        };
        paint.start = point("start");
        paint.stop = point("stop");
    }
    return paint;
}

double finiteOr(const QJsonValue &value, double fallback)
{
    const double number = value.toDouble(fallback);
    return std::isfinite(number) ? number : fallback;
}

struct Position
{
    double scale = 1.0, x = 0.0, y = 0.0;
};

Position positionOf(const QJsonValue &value)
{
    Position position;
    const QJsonObject object = value.toObject();
    position.scale = finiteOr(object.value(QLatin1String("scale")), 1.0);
    const QJsonArray moved = object.value(QLatin1String("translation-in-points")).toArray();
    position.x = finiteOr(moved.at(0), 0.0);
    position.y = finiteOr(moved.at(1), 0.0);
    return position;
}

// One layer to draw, in design points.
struct LayerDraw
{
    QString image;
    QRectF rect;
    Paint fill;
    float opacity = 1.0f;
    Mode mode = Mode::Normal;
    bool glass = true; // only glass layers let the group's translucency through
};

struct GroupDraw
{
    QList<LayerDraw> layers; // back to front
    float opacity = 1.0f;
    enum class Shadow { None, Neutral, LayerColour } shadow = Shadow::None;
    float shadowOpacity = 0.0f;
    float translucency = 0.0f; // 0 when off
};

// The document reduced to what one appearance and idiom draw.
struct Plan
{
    Paint background;
    QList<GroupDraw> groups; // back to front
    bool monochrome = false;
    Colour shape; // the one colour of every shape when monochrome
};

bool isDark(Appearance appearance)
{
    return appearance == Appearance::Dark || appearance == Appearance::ClearDark ||
           appearance == Appearance::TintedDark;
}

Plan planOf(const QJsonObject &json, Appearance appearance, Platform platform,
            const QHash<QString, SourceImagePtr> &images)
{
    const QString slot = IconRenderer::appearanceSlot(appearance);
    const QString idiom = IconRenderer::idiomSlot(platform);
    const auto value = [&](const QJsonObject &object, const char *key) {
        return IconBundleModel::specialized(object, QString::fromLatin1(key), slot, idiom);
    };
    Plan plan;
    switch (appearance) {
    case Appearance::Default:
        plan.background = paintOf(value(json, "fill"), true, false);
        break;
    case Appearance::Dark: {
        // A document with no background of its own for dark gets the system's dark one.
        const QJsonValue dark = value(json, "fill");
        const QJsonValue light = IconBundleModel::specialized(json, u"fill", u"light", idiom);
        plan.background =
            paintOf(dark == light ? QJsonValue(QStringLiteral("system-dark")) : dark, true, true);
        break;
    }
    case Appearance::ClearLight:
    case Appearance::ClearDark:
    case Appearance::TintedLight:
    case Appearance::TintedDark: {
        const Backdrop &backdrop = appearance == Appearance::ClearLight    ? ClearLight
                                   : appearance == Appearance::ClearDark   ? ClearDark
                                   : appearance == Appearance::TintedLight ? TintedLight
                                                                           : TintedDark;
        plan.background = gradientOf(backdrop);
        plan.monochrome = true;
        plan.shape = appearance == Appearance::TintedDark
                         ? fromLevels(TintedDarkShape, MonochromeOpacity)
                         : Colour{1.0f, 1.0f, 1.0f, MonochromeOpacity};
        break;
    }
    }

    const QJsonArray groups = json.value(QLatin1String("groups")).toArray();
    // Front to back in the file; drawn back to front.
    for (qsizetype g = groups.size() - 1; g >= 0; --g) {
        const QJsonObject group = groups.at(g).toObject();
        if (value(group, "hidden").toBool(false))
            continue;
        GroupDraw draw;
        draw.opacity = float(std::clamp(finiteOr(value(group, "opacity"), 1.0), 0.0, 1.0));
        const QJsonObject shadow = value(group, "shadow").toObject();
        const QString kind = shadow.value(QLatin1String("kind")).toString();
        draw.shadow = kind == QLatin1String("neutral")       ? GroupDraw::Shadow::Neutral
                      : kind == QLatin1String("layer-color") ? GroupDraw::Shadow::LayerColour
                                                             : GroupDraw::Shadow::None;
        draw.shadowOpacity =
            float(std::clamp(finiteOr(shadow.value(QLatin1String("opacity")), 0.0), 0.0, 1.0));
        const QJsonObject translucency = value(group, "translucency").toObject();
        if (translucency.value(QLatin1String("enabled")).toBool(false))
            draw.translucency = float(
                std::clamp(finiteOr(translucency.value(QLatin1String("value")), 0.0), 0.0, 1.0));
        const Position at = positionOf(value(group, "position"));
        const std::optional<Mode> groupMode =
            BlendModes::fromName(value(group, "blend-mode").toString());

        const QJsonArray layers = group.value(QLatin1String("layers")).toArray();
        for (qsizetype l = layers.size() - 1; l >= 0; --l) {
            const QJsonObject layer = layers.at(l).toObject();
            if (value(layer, "hidden").toBool(false))
                continue;
            LayerDraw layerDraw;
            layerDraw.image = value(layer, "image-name").toString();
            const SourceImagePtr image = images.value(layerDraw.image);
            if (!image)
                continue;
            // Centred at its own size, the layer's position inside the group's: the group
            // scales its layers' sizes and offsets about the canvas centre, then moves them.
            const Position own = positionOf(value(layer, "position"));
            const double scale = own.scale * at.scale;
            const QSizeF size = image->size() * scale;
            const QPointF centre(CanvasPoints / 2 + at.x + at.scale * own.x,
                                 CanvasPoints / 2 + at.y + at.scale * own.y);
            layerDraw.rect = QRectF(centre.x() - size.width() / 2, centre.y() - size.height() / 2,
                                    size.width(), size.height());
            layerDraw.fill = paintOf(value(layer, "fill"), false, isDark(appearance));
            layerDraw.opacity = float(std::clamp(finiteOr(value(layer, "opacity"), 1.0), 0.0, 1.0));
            layerDraw.glass = value(layer, "glass").toBool(true);
            // A layer of its own blend mode keeps it; a normal one takes its group's.
            const Mode own_mode =
                BlendModes::fromName(value(layer, "blend-mode").toString()).value_or(Mode::Normal);
            layerDraw.mode = own_mode == Mode::Normal ? groupMode.value_or(Mode::Normal) : own_mode;
            if (plan.monochrome)
                layerDraw.mode = Mode::Normal;
            draw.layers.append(layerDraw);
        }
        if (!draw.layers.isEmpty())
            plan.groups.append(draw);
    }
    return plan;
}

// The pixel size an image is drawn at for a rectangle of `side` design pixels: rounded, at
// least one, and no more than four canvases (anything larger is mostly cut off, and is scaled
// up from there).
QSize pixelSizeFor(const QRectF &rect, int canvas)
{
    const double cap = std::min(4.0 * canvas, double(ImageLimits::MaxSide));
    double w = rect.width(), h = rect.height();
    if (!(w > 0 && h > 0) || !std::isfinite(w) || !std::isfinite(h))
        return {};
    const double shrink = std::min({1.0, cap / w, cap / h});
    w = std::clamp(std::round(w * shrink), 1.0, cap);
    h = std::clamp(std::round(h * shrink), 1.0, cap);
    return QSize(int(w), int(h));
}

// A canvas of premultiplied RGBA floats.
struct Plane
{
    int side = 0;
    std::vector<float> pixels;

    explicit Plane(int s)
        : side(s)
        , pixels(size_t(s) * size_t(s) * 4, 0.0f)
    {
    }
    float *at(int x, int y) { return &pixels[(size_t(y) * size_t(side) + size_t(x)) * 4]; }
};

// Three box blurs of running sums: close to a Gaussian of `sigma`, at a cost that does not grow
// with it. Outside the canvas counts as clear.
void boxBlur(std::vector<float> &values, int side, int channels, double sigma)
{
    if (sigma < 0.3)
        return;
    // Box width for three passes to approximate the Gaussian's variance.
    const int radius =
        std::max(1, int(std::lround((std::sqrt(4.0 * sigma * sigma + 1.0) - 1.0) / 2.0)));
    const float norm = 1.0f / float(2 * radius + 1);
    std::vector<float> line(size_t(side) * channels), sums(size_t(side + 1) * channels);
    for (int pass = 0; pass < 6; ++pass) {
        const bool alongX = pass % 2 == 0;
        for (int l = 0; l < side; ++l) {
            const auto index = [&](int i, int c) {
                const size_t x = alongX ? size_t(i) : size_t(l), y = alongX ? size_t(l) : size_t(i);
                return (y * size_t(side) + x) * size_t(channels) + size_t(c);
            };
            for (int c = 0; c < channels; ++c)
                sums[size_t(c)] = 0.0f;
            for (int i = 0; i < side; ++i) {
                for (int c = 0; c < channels; ++c)
                    sums[size_t(i + 1) * channels + c] =
                        sums[size_t(i) * channels + c] + values[index(i, c)];
            }
            for (int i = 0; i < side; ++i) {
                const int from = std::max(0, i - radius), to = std::min(side, i + radius + 1);
                for (int c = 0; c < channels; ++c)
                    line[size_t(i) * channels + c] =
                        (sums[size_t(to) * channels + c] - sums[size_t(from) * channels + c]) *
                        norm;
            }
            for (int i = 0; i < side; ++i) {
                for (int c = 0; c < channels; ++c)
                    values[index(i, c)] = line[size_t(i) * channels + c];
            }
        }
    }
}

// The layer's image drawn at its place on a clear canvas of `side` pixels, recoloured by its
// fill, as premultiplied ARGB32.
QImage layerPixels(const LayerDraw &layer, const QImage &art, int side, double pixelsPerPoint,
                   const Plan &plan)
{
    QImage canvas(side, side, QImage::Format_ARGB32_Premultiplied);
    if (canvas.isNull())
        return canvas;
    canvas.fill(Qt::transparent);
    const QRectF rect(layer.rect.x() * pixelsPerPoint, layer.rect.y() * pixelsPerPoint,
                      layer.rect.width() * pixelsPerPoint, layer.rect.height() * pixelsPerPoint);
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect, art.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
    const bool recolour = plan.monochrome || layer.fill.kind != Paint::Kind::Keep;
    for (int y = 0; y < side; ++y) {
        auto *row = reinterpret_cast<QRgb *>(canvas.scanLine(y));
        for (int x = 0; x < side; ++x) {
            const QRgb p = row[x];
            if (qAlpha(p) == 0)
                continue;
            if (!recolour)
                continue;
            // The image is only a mask: its coverage times the paint.
            const Colour c =
                plan.monochrome
                    ? plan.shape
                    : layer.fill.at((x + 0.5 - rect.x()) / std::max(rect.width(), 1e-9),
                                    (y + 0.5 - rect.y()) / std::max(rect.height(), 1e-9));
            const float a = float(qAlpha(p)) / 255.0f * c.a;
            const auto level = [a](float v) {
                return int(std::lround(std::clamp(v * a, 0.0f, 1.0f) * 255.0f));
            };
            row[x] = qRgba(level(c.r), level(c.g), level(c.b),
                           int(std::lround(std::clamp(a, 0.0f, 1.0f) * 255.0f)));
        }
    }
    return canvas;
}

QPainterPath superellipse(const QRectF &rect, double exponent)
{
    return MacIconShape::superellipse(rect.center(), rect.width() / 2, rect.height() / 2, exponent,
                                      1024);
}

QImage toImage(Plane &plane)
{
    QImage image(plane.side, plane.side, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return image;
    for (int y = 0; y < plane.side; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < plane.side; ++x) {
            const float *p = plane.at(x, y);
            const float a = std::clamp(p[3], 0.0f, 1.0f);
            const auto level = [a](float v) {
                return int(std::lround(std::clamp(v, 0.0f, a) * 255.0f));
            };
            row[x] = qRgba(level(p[0]), level(p[1]), level(p[2]), int(std::lround(a * 255.0f)));
        }
    }
    return image;
}

using Drawn = QHash<QString, QMap<std::pair<int, int>, QImage>>;

// The design (background, groups, shadows) at `side` pixels, square and uncut.
QImage drawDesign(const Plan &plan, int side, const Drawn &drawn)
{
    const double perPoint = side / CanvasPoints;
    Plane canvas(side);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const Colour c = plan.background.at((x + 0.5) / side, (y + 0.5) / side);
            if (plan.background.kind == Paint::Kind::Keep)
                continue; // "none": no background at all
            float *p = canvas.at(x, y);
            p[0] = c.r * c.a, p[1] = c.g * c.a, p[2] = c.b * c.a, p[3] = c.a;
        }
    }
    const size_t count = size_t(side) * size_t(side);
    for (const GroupDraw &group : plan.groups) {
        QList<QImage> layers;
        std::vector<float> coverage(count, 0.0f);
        for (const LayerDraw &layer : group.layers) {
            const QSize size = pixelSizeFor(
                QRectF(0, 0, layer.rect.width() * perPoint, layer.rect.height() * perPoint), side);
            const QImage art = drawn.value(layer.image).value({size.width(), size.height()});
            QImage pixels = art.isNull() ? QImage() : layerPixels(layer, art, side, perPoint, plan);
            layers.append(pixels);
            if (pixels.isNull())
                continue;
            for (int y = 0; y < side; ++y) {
                const auto *row = reinterpret_cast<const QRgb *>(pixels.constScanLine(y));
                for (int x = 0; x < side; ++x) {
                    float &c = coverage[size_t(y) * side + x];
                    const float a = float(qAlpha(row[x])) / 255.0f * layer.opacity;
                    c = c + a - c * a;
                }
            }
        }
        // Translucency: opacity falling from the top of the group's shapes to their bottom.
        std::vector<float> ramp(size_t(side), 1.0f);
        if (group.translucency > 0) {
            int top = side, bottom = -1;
            for (int y = 0; y < side; ++y) {
                for (int x = 0; x < side; ++x) {
                    if (coverage[size_t(y) * side + x] > 0.5f / 255.0f) {
                        top = std::min(top, y);
                        bottom = std::max(bottom, y);
                        break;
                    }
                }
            }
            for (int y = top; y <= bottom && bottom > top; ++y) {
                const double t = double(y - top) / (bottom - top);
                ramp[size_t(y)] = float(1.0 - group.translucency * std::pow(t, TranslucencyCurve));
            }
        }
        if (group.shadow != GroupDraw::Shadow::None && group.shadowOpacity > 0) {
            // The shadow of the group's shapes as they stand, coloured by them for a chromatic
            // one (their premultiplied colours blurred with their coverage).
            const bool chromatic = group.shadow == GroupDraw::Shadow::LayerColour;
            const int channels = chromatic ? 4 : 1;
            std::vector<float> shadow(count * size_t(channels), 0.0f);
            const int offset = int(std::lround(ShadowOffset * perPoint));
            for (int y = 0; y < side; ++y) {
                const int from = y - offset;
                if (from < 0 || from >= side)
                    continue;
                for (int x = 0; x < side; ++x) {
                    const size_t i = size_t(y) * side + x, j = size_t(from) * side + x;
                    if (!chromatic) {
                        shadow[i] = coverage[j];
                        continue;
                    }
                    float colour[4] = {0, 0, 0, 0};
                    for (qsizetype l = 0; l < layers.size(); ++l) {
                        if (layers[l].isNull())
                            continue;
                        const QRgb p =
                            reinterpret_cast<const QRgb *>(layers[l].constScanLine(from))[x];
                        const float o = group.layers[l].opacity / 255.0f;
                        const float source[4] = {qRed(p) * o, qGreen(p) * o, qBlue(p) * o,
                                                 qAlpha(p) * o};
                        BlendModes::composite(Mode::Normal, source, colour);
                    }
                    std::copy(colour, colour + 4, &shadow[i * 4]);
                }
            }
            boxBlur(shadow, side, channels, ShadowSigma * perPoint);
            for (int y = 0; y < side; ++y) {
                for (int x = 0; x < side; ++x) {
                    const size_t i = size_t(y) * side + x;
                    const float k = group.shadowOpacity * group.opacity;
                    const float source[4] = {chromatic ? shadow[i * 4] * k : 0.0f,
                                             chromatic ? shadow[i * 4 + 1] * k : 0.0f,
                                             chromatic ? shadow[i * 4 + 2] * k : 0.0f,
                                             (chromatic ? shadow[i * 4 + 3] : shadow[i]) * k};
                    BlendModes::composite(Mode::Normal, source, canvas.at(x, y));
                }
            }
        }
        for (qsizetype l = 0; l < layers.size(); ++l) {
            if (layers[l].isNull())
                continue;
            const LayerDraw &layer = group.layers[l];
            for (int y = 0; y < side; ++y) {
                const auto *row = reinterpret_cast<const QRgb *>(layers[l].constScanLine(y));
                const float k =
                    layer.opacity * group.opacity * (layer.glass ? ramp[size_t(y)] : 1.0f) / 255.0f;
                for (int x = 0; x < side; ++x) {
                    const QRgb p = row[x];
                    if (qAlpha(p) == 0)
                        continue;
                    const float source[4] = {qRed(p) * k, qGreen(p) * k, qBlue(p) * k,
                                             qAlpha(p) * k};
                    BlendModes::composite(layer.mode, source, canvas.at(x, y));
                }
            }
        }
    }
    return toImage(canvas);
}

// Cuts the image to the path with antialiasing.
void cut(QImage &image, const QPainterPath &path)
{
    QImage mask(image.size(), QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(path, Qt::black);
    }
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    painter.drawImage(0, 0, mask);
}

bool sharedSquares(const QJsonObject &json)
{
    const QJsonValue squares =
        json.value(QLatin1String("supported-platforms")).toObject().value(QLatin1String("squares"));
    return !squares.isArray() || !squares.toArray().contains(QStringLiteral("macOS")) ||
           squares.toArray().contains(QStringLiteral("iOS")) ||
           squares.toArray().contains(QStringLiteral("shared"));
}

QString nameProblem(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("a layer names no image");
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) ||
        name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("the image name “%1” is not a plain file name").arg(name);
    return {};
}

} // namespace

QString IconRenderer::appearanceSlot(Appearance appearance)
{
    switch (appearance) {
    case Appearance::Default:
    case Appearance::ClearLight:
        return QStringLiteral("light");
    case Appearance::Dark:
    case Appearance::ClearDark:
        return QStringLiteral("dark");
    case Appearance::TintedLight:
    case Appearance::TintedDark:
        return QStringLiteral("tinted");
    }
    return {};
}

QString IconRenderer::idiomSlot(Platform platform)
{
    return platform == Platform::WatchOS ? QStringLiteral("watchOS") : QStringLiteral("square");
}

bool IconRenderer::colour(const QString &text, float rgba[4])
{
    if (!IconBundleModel::colourProblem(text).isEmpty())
        return false;
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    const QString space = text.left(colon);
    const QString rest = text.mid(colon + 1);
    if (space == QLatin1String("named")) {
        for (const Named &named : SystemColours) {
            if (rest == QLatin1String(named.name)) {
                const Colour c = fromLevels(named.levels);
                rgba[0] = c.r, rgba[1] = c.g, rgba[2] = c.b, rgba[3] = 1.0f;
                return true;
            }
        }
        return false;
    }
    std::vector<float> v;
    for (const QString &part : rest.split(QLatin1Char(',')))
        v.push_back(float(part.toDouble()));
    float r, g, b, a;
    if (v.size() == 2) {
        const float grey = space == QLatin1String("extended-linear-gray") ? encodedOf(v[0]) : v[0];
        r = g = b = grey;
        a = v[1];
    } else {
        r = v[0], g = v[1], b = v[2], a = v[3];
        if (space == QLatin1String("display-p3")) {
            // Display P3 shares sRGB's transfer curve; only the primaries differ.
            const float lr = linearOf(r), lg = linearOf(g), lb = linearOf(b);
            r = encodedOf(1.2249401f * lr - 0.2249404f * lg);
            g = encodedOf(-0.0420569f * lr + 1.0420571f * lg);
            b = encodedOf(-0.0196376f * lr - 0.0786361f * lg + 1.0982735f * lb);
        }
    }
    rgba[0] = std::clamp(r, 0.0f, 1.0f);
    rgba[1] = std::clamp(g, 0.0f, 1.0f);
    rgba[2] = std::clamp(b, 0.0f, 1.0f);
    rgba[3] = std::clamp(a, 0.0f, 1.0f);
    return true;
}

IconRenderer::Loaded IconRenderer::load(const QString &bundlePath, const std::atomic_bool *cancel)
{
    Loaded loaded;
    const QDir bundle(bundlePath);
    QFile file(bundle.filePath(QStringLiteral("icon.json")));
    if (!file.open(QIODevice::ReadOnly)) {
        loaded.error =
            QStringLiteral("Could not read %1: %2.").arg(file.fileName(), file.errorString());
        return loaded;
    }
    if (file.size() > MaxJsonBytes) {
        loaded.error =
            QStringLiteral("%1 is too large to be an icon document.").arg(file.fileName());
        return loaded;
    }
    QString why;
    if (!IconJson::read(file.readAll(), &loaded.document.json, &why)) {
        loaded.error = QStringLiteral("Could not read %1: %2.").arg(file.fileName(), why);
        return loaded;
    }
    QStringList names;
    for (const QJsonValue &group : loaded.document.json.value(QLatin1String("groups")).toArray()) {
        for (const QJsonValue &layer : group.toObject().value(QLatin1String("layers")).toArray()) {
            const QJsonObject object = layer.toObject();
            if (object.contains(QLatin1String("image-name")))
                names << object.value(QLatin1String("image-name")).toString();
            for (const QJsonValue &entry :
                 object.value(QLatin1String("image-name-specializations")).toArray())
                names << entry.toObject().value(QLatin1String("value")).toString();
        }
    }
    names.removeDuplicates();
    const QString assets = QFileInfo(bundle.filePath(QStringLiteral("Assets"))).canonicalFilePath();
    for (const QString &name : std::as_const(names)) {
        if (const QString problem = nameProblem(name); !problem.isEmpty()) {
            loaded.error = QStringLiteral("Could not draw %1: %2.").arg(bundlePath, problem);
            return loaded;
        }
        // A link inside Assets may point anywhere; only what really lies in it is read.
        const QString path =
            QFileInfo(bundle.filePath(QStringLiteral("Assets/") + name)).canonicalFilePath();
        if (assets.isEmpty() || path.isEmpty() || !path.startsWith(assets + QLatin1Char('/'))) {
            loaded.error = QStringLiteral("Could not draw %1: the image “%2” is not in its "
                                          "Assets folder.")
                               .arg(bundlePath, name);
            return loaded;
        }
        SourceImage::Loaded image = SourceImage::fromFile(path, cancel);
        if (!image.image) {
            loaded.error = image.error;
            return loaded;
        }
        loaded.document.images.insert(name, image.image);
    }
    return loaded;
}

QList<IconRenderer::Rendered> IconRenderer::renderAll(const Document &document,
                                                      const QList<Request> &requests,
                                                      const std::atomic_bool *cancel)
{
    QList<Rendered> results(requests.size());
    struct Job
    {
        Plan plan;
        int design = 0; // the square design's side in pixels
        bool inset = false;
    };
    std::vector<Job> jobs(size_t(requests.size()));
    QHash<QString, QList<QSize>> sizes;
    for (qsizetype r = 0; r < requests.size(); ++r) {
        const Request &request = requests[r];
        if (request.pixels < 1 || request.pixels > MaxPixels) {
            results[r].error = QStringLiteral("%1 pixels is not a size this can draw (1 to %2).")
                                   .arg(request.pixels)
                                   .arg(MaxPixels);
            continue;
        }
        Job &job = jobs[size_t(r)];
        job.plan = planOf(document.json, request.appearance, request.platform, document.images);
        job.inset = request.platform == Platform::MacOS && request.mask == Mask::Platform &&
                    sharedSquares(document.json);
        job.design = job.inset ? MacIconShape::bodyPixels(request.pixels) : request.pixels;
        const double perPoint = job.design / CanvasPoints;
        for (const GroupDraw &group : std::as_const(job.plan.groups)) {
            for (const LayerDraw &layer : group.layers) {
                const QSize size = pixelSizeFor(
                    QRectF(0, 0, layer.rect.width() * perPoint, layer.rect.height() * perPoint),
                    job.design);
                if (!size.isEmpty() && !sizes[layer.image].contains(size))
                    sizes[layer.image].append(size);
            }
        }
    }

    Drawn drawn;
    for (auto it = sizes.cbegin(); it != sizes.cend(); ++it) {
        const SourceImagePtr image = document.images.value(it.key());
        if (!image)
            continue;
        QList<QImage> images;
        if (image->isVector()) {
            SourceImage::Drawn vector = image->renderVector(it.value(), cancel);
            if (!vector.error.isEmpty()) {
                for (Rendered &result : results)
                    result.error =
                        QStringLiteral("Could not draw “%1”: %2.").arg(it.key(), vector.error);
                return results;
            }
            images = vector.images;
        } else {
            for (const QSize &size : it.value())
                images.append(
                    Resampler::resample(image->bitmapFor(size), size.width(), size.height()));
        }
        for (qsizetype i = 0; i < it.value().size() && i < images.size(); ++i)
            drawn[it.key()].insert({it.value()[i].width(), it.value()[i].height()}, images[i]);
    }

    for (qsizetype r = 0; r < requests.size(); ++r) {
        if (!results[r].error.isEmpty())
            continue;
        const Request &request = requests[r];
        const Job &job = jobs[size_t(r)];
        QImage design = drawDesign(job.plan, job.design, drawn);
        if (design.isNull()) {
            results[r].error = QStringLiteral("There is not enough memory to draw the icon.");
            continue;
        }
        if (job.inset) {
            design = MacIconShape::compose(design, request.pixels)
                         .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        } else if (request.mask == Mask::Platform) {
            const QRectF whole(0, 0, request.pixels, request.pixels);
            QPainterPath path;
            if (request.platform == Platform::WatchOS)
                path.addEllipse(whole);
            else
                path = superellipse(whole, SquareExponent);
            cut(design, path);
        }
        results[r].image = design;
    }
    return results;
}

IconRenderer::Rendered IconRenderer::render(const Document &document, const Request &request)
{
    return renderAll(document, {request}).value(0);
}
