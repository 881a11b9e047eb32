#include "DigitText.h"

#include <cmath>
#include <utility>
#include <cstdlib>
#include <limits>

namespace {

bool isDecimalDigit(char32_t codePoint)
{
    return QChar::category(codePoint) == QChar::Number_DecimalDigit;
}

// The code point at `i` and the number of UTF-16 units it takes (a lone surrogate counts alone).
std::pair<char32_t, qsizetype> codePointAt(const QString &text, qsizetype i)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
        return {QChar::surrogateToUcs4(c, text.at(i + 1)), 2};
    return {c.unicode(), 1};
}

// Blanks, an optional sign, then the run of digits, as ASCII: enough for both readings.
QByteArray leadingNumber(const QString &text)
{
    QByteArray number;
    qsizetype i = 0;
    while (i < text.size() && text.at(i).isSpace())
        ++i;
    if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+'))
        number.append(char(text.at(i++).unicode()));
    while (i < text.size()) {
        const auto [codePoint, units] = codePointAt(text, i);
        if (!isDecimalDigit(codePoint))
            break;
        number.append(char('0' + QChar::digitValue(codePoint)));
        i += units;
    }
    return number;
}

} // namespace

QString DigitText::keepDigits(const QString &text, int *cursor)
{
    QString kept;
    kept.reserve(text.size());
    const int oldCursor = cursor ? *cursor : 0;
    int newCursor = 0;
    for (qsizetype i = 0; i < text.size();) {
        const auto [codePoint, units] = codePointAt(text, i);
        if (isDecimalDigit(codePoint)) {
            kept.append(QStringView(text).mid(i, units));
            if (i + units <= oldCursor)
                newCursor = int(kept.size());
        }
        i += units;
    }
    if (cursor)
        *cursor = newCursor;
    return kept;
}

std::int32_t DigitText::toInt32(const QString &text)
{
    const QByteArray number = leadingNumber(text);
    const bool negative = number.startsWith('-');
    std::int64_t value = 0;
    for (char c : number) {
        if (c < '0' || c > '9')
            continue;
        value = value * 10 + (c - '0');
        if (value > std::int64_t(std::numeric_limits<std::int32_t>::max()) + 1)
            break; // saturated either way; stop before the 64-bit value can overflow
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return std::int32_t(value);
}

float DigitText::toFloat(const QString &text)
{
    const QByteArray number = leadingNumber(text);
    if (number.isEmpty() || number == "-" || number == "+")
        return 0.0f;
    return std::strtof(number.constData(), nullptr);
}

std::int32_t DigitText::roundToInt32(double value)
{
    return truncateToInt32(std::round(value));
}

std::int32_t DigitText::truncateToInt32(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 2147483647.0)
        return std::numeric_limits<std::int32_t>::max();
    if (value <= -2147483648.0)
        return std::numeric_limits<std::int32_t>::min();
    return std::int32_t(value);
}
