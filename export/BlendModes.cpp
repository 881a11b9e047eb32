#include "BlendModes.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace {

using Mode = BlendModes::Mode;

constexpr std::array<std::pair<const char16_t *, Mode>, 14> Names{{
    {u"normal", Mode::Normal},
    {u"multiply", Mode::Multiply},
    {u"screen", Mode::Screen},
    {u"overlay", Mode::Overlay},
    {u"darken", Mode::Darken},
    {u"lighten", Mode::Lighten},
    {u"color-dodge", Mode::ColorDodge},
    {u"color-burn", Mode::ColorBurn},
    {u"soft-light", Mode::SoftLight},
    {u"hard-light", Mode::HardLight},
    {u"difference", Mode::Difference},
    {u"exclusion", Mode::Exclusion},
    {u"plus-darker", Mode::PlusDarker},
    {u"plus-lighter", Mode::PlusLighter},
}};

float multiply(float cb, float cs)
{
    return cb * cs;
}

float screen(float cb, float cs)
{
    return cb + cs - cb * cs;
}

float hardLight(float cb, float cs)
{
    return cs <= 0.5f ? multiply(cb, 2.0f * cs) : screen(cb, 2.0f * cs - 1.0f);
}

} // namespace

std::optional<BlendModes::Mode> BlendModes::fromName(QStringView name)
{
    for (const auto &[word, mode] : Names) {
        if (name == QStringView(word))
            return mode;
    }
    return std::nullopt;
}

float BlendModes::blend(Mode mode, float cb, float cs)
{
    switch (mode) {
    case Mode::Normal:
    case Mode::PlusDarker:
    case Mode::PlusLighter:
        return cs;
    case Mode::Multiply:
        return multiply(cb, cs);
    case Mode::Screen:
        return screen(cb, cs);
    case Mode::Overlay:
        return hardLight(cs, cb);
    case Mode::Darken:
        return std::min(cb, cs);
    case Mode::Lighten:
        return std::max(cb, cs);
    case Mode::ColorDodge:
        if (cb <= 0.0f)
            return 0.0f;
        return cs >= 1.0f ? 1.0f : std::min(1.0f, cb / (1.0f - cs));
    case Mode::ColorBurn:
        if (cb >= 1.0f)
            return 1.0f;
        return cs <= 0.0f ? 0.0f : 1.0f - std::min(1.0f, (1.0f - cb) / cs);
    case Mode::SoftLight: {
        if (cs <= 0.5f)
            return cb - (1.0f - 2.0f * cs) * cb * (1.0f - cb);
        const float d = cb <= 0.25f ? ((16.0f * cb - 12.0f) * cb + 4.0f) * cb : std::sqrt(cb);
        return cb + (2.0f * cs - 1.0f) * (d - cb);
    }
    case Mode::HardLight:
        return hardLight(cb, cs);
    case Mode::Difference:
        return std::abs(cb - cs);
    case Mode::Exclusion:
        return cb + cs - 2.0f * cb * cs;
    }
    return cs;
}

void BlendModes::composite(Mode mode, const float *source, float *backdrop)
{
    const float as = source[3], ab = backdrop[3];
    if (mode == Mode::PlusLighter || mode == Mode::PlusDarker) {
        const float ao = std::min(1.0f, as + ab);
        for (int c = 0; c < 3; ++c) {
            // Premultiplied: 1 - ((1 - D) + (1 - S)) with "1" standing for each pixel's own
            // alpha, so that clear areas add nothing.
            backdrop[c] = mode == Mode::PlusLighter
                              ? std::min(1.0f, source[c] + backdrop[c])
                              : std::max(0.0f, ao - ((as - source[c]) + (ab - backdrop[c])));
        }
        backdrop[3] = ao;
        return;
    }
    for (int c = 0; c < 3; ++c) {
        const float mixed = mode == Mode::Normal || ab <= 0.0f || as <= 0.0f
                                ? 0.0f
                                : blend(mode, backdrop[c] / ab, source[c] / as);
        // cs' = (1 - ab) cs + ab B(cb, cs), then source-over, all premultiplied.
        const float blended =
            mode == Mode::Normal ? source[c] : (1.0f - ab) * source[c] + as * ab * mixed;
        backdrop[c] = blended + (1.0f - as) * backdrop[c];
    }
    backdrop[3] = as + ab * (1.0f - as);
}
