#pragma once

#include <QString>

#include <cstdint>

// The numeric readings of the width and height fields. The fields hold any Unicode decimal
// digits (general category Nd, outside the Basic Multilingual Plane too), so these work on code
// points and read every kept digit as its value: "١٢" reads 12. Nothing here is undefined for
// any text: results beyond the 32-bit range saturate.
class DigitText
{
public:
    // The text with every code point that is not a decimal digit removed. When `cursor` is given
    // it is a position in `text` (UTF-16 units) and becomes the matching position in the result.
    static QString keepDigits(const QString &text, int *cursor = nullptr);

    // Leading decimal digits as a 32-bit integer, saturated at the 32-bit limits; a text that
    // does not begin with a number (after blanks and one sign) reads as 0.
    static std::int32_t toInt32(const QString &text);

    // The same leading number read in single precision (to infinity past the float range).
    static float toFloat(const QString &text);

    // Rounds halves away from zero and converts, saturating: NaN gives 0, anything beyond the
    // 32-bit range (infinities included) the nearest limit.
    static std::int32_t roundToInt32(double value);

    // Truncates toward zero and converts, with the same saturation as roundToInt32.
    static std::int32_t truncateToInt32(double value);
};
