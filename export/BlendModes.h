#pragma once

#include <QStringView>

#include <optional>

// The blend modes a layer or group of an Icon Composer document names, by the compositing
// formulas of the W3C's compositing and blending level 1 (plus-lighter and plus-darker as the
// same family of definitions gives them). Colours are gamma-encoded sRGB components in 0...1.
class BlendModes
{
public:
    enum class Mode {
        Normal,
        Multiply,
        Screen,
        Overlay,
        Darken,
        Lighten,
        ColorDodge,
        ColorBurn,
        SoftLight,
        HardLight,
        Difference,
        Exclusion,
        PlusDarker,
        PlusLighter,
    };

    // The mode a document's word names ("color-dodge"); none for a word it does not know.
    static std::optional<Mode> fromName(QStringView name);

    // The separable blend B(cb, cs) of one straight colour component of the backdrop and the
    // source. Not used for the two plus modes, which work on premultiplied values.
    static float blend(Mode mode, float cb, float cs);

    // The source laid over the backdrop, both premultiplied RGBA (four floats each): the backdrop
    // becomes the result. Source-over with blending, or the plus modes' own sums.
    static void composite(Mode mode, const float *source, float *backdrop);
};
