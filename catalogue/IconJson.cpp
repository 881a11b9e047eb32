#include "IconJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <QVariant>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace {

// Both writers of the platform the editor runs on put a backslash before '/' unless the program
// opts out, and no file seen so far has a '/' in any string to show that it does.
constexpr bool EscapeSlash = true;

void indent(QByteArray &out, int depth)
{
    out.append(qsizetype(depth) * 2, ' ');
}

// The text's code points; a lone surrogate, which no UTF-8 can hold, stands for itself.
std::u32string codePoints(const QString &text)
{
    std::u32string points;
    points.reserve(size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            points += QChar::surrogateToUcs4(c, text[++i]);
        else
            points += char32_t(c.unicode());
    }
    return points;
}

void writeString(QByteArray &out, const QString &text)
{
    static constexpr char Hex[] = "0123456789abcdef";
    out += '"';
    for (const char32_t c : codePoints(text)) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '/':
            out += EscapeSlash ? "\\/" : "/";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || (c >= 0xd800 && c < 0xe000)) {
                out += "\\u";
                for (int shift = 12; shift >= 0; shift -= 4)
                    out += Hex[(c >> shift) & 0xf];
            } else if (c < 0x80) {
                out += char(c);
            } else { // UTF-8 stays raw: the editor writes an en dash as its three bytes
                const int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
                static constexpr uchar Lead[] = {0, 0xc0, 0xe0, 0xf0};
                out += char(Lead[tail] | (c >> (6 * tail)));
                for (int i = tail - 1; i >= 0; --i)
                    out += char(0x80 | ((c >> (6 * i)) & 0x3f));
            }
        }
    }
    out += '"';
}

void writeNumber(QByteArray &out, const QJsonValue &value)
{
    // The parser keeps integers that fit 64 bits as integers; going through a double would
    // change any beyond 2^53.
    const QVariant exact = value.toVariant();
    if (exact.typeId() == QMetaType::LongLong) {
        out += QByteArray::number(exact.toLongLong());
        return;
    }
    const double number = value.toDouble();
    // JSON has no text for infinities or NaN, and "-0" would be the only signed zero in a file.
    if (!std::isfinite(number) || number == 0) {
        out += '0';
        return;
    }
    // Fixed notation in the shortest form that reads back to the same double: whole values come
    // out without a decimal point and nothing gets an exponent. The longest such text (the
    // smallest subnormal) is 327 characters.
    std::array<char, 400> buffer;
    const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), number,
                                            std::chars_format::fixed);
    if (error != std::errc()) {
        out += '0';
        return;
    }
    out.append(buffer.data(), end - buffer.data());
}

void writeValue(QByteArray &out, const QJsonValue &value, int depth);

// The editor opens a line for the elements even when there are none, so an empty container
// spans three lines with an empty one in the middle.
template <typename Items, typename WriteItem>
void writeContainer(QByteArray &out, char open, char close, const Items &items, int depth,
                    WriteItem writeItem)
{
    out += open;
    out += '\n';
    bool first = true;
    for (const auto &item : items) {
        if (!first)
            out += ",\n";
        first = false;
        indent(out, depth + 1);
        writeItem(item);
    }
    out += '\n';
    indent(out, depth);
    out += close;
}

void writeObject(QByteArray &out, const QJsonObject &object, int depth)
{
    // In code-point order, as UTF-8 bytes sort; UTF-16 units, which QString compares, do not
    // once a key holds a character beyond the Basic Multilingual Plane.
    std::vector<std::pair<std::u32string, QString>> keys;
    keys.reserve(size_t(object.size()));
    for (auto it = object.begin(); it != object.end(); ++it)
        keys.emplace_back(codePoints(it.key()), it.key());
    std::sort(keys.begin(), keys.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
    writeContainer(out, '{', '}', keys, depth, [&](const std::pair<std::u32string, QString> &key) {
        writeString(out, key.second);
        out += " : ";
        writeValue(out, object.value(key.second), depth + 1);
    });
}

void writeValue(QByteArray &out, const QJsonValue &value, int depth)
{
    switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        out += "null";
        break;
    case QJsonValue::Bool:
        out += value.toBool() ? "true" : "false";
        break;
    case QJsonValue::Double:
        writeNumber(out, value);
        break;
    case QJsonValue::String:
        writeString(out, value.toString());
        break;
    case QJsonValue::Array: {
        const QJsonArray array = value.toArray();
        writeContainer(out, '[', ']', array, depth,
                       [&](const QJsonValue &element) { writeValue(out, element, depth + 1); });
        break;
    }
    case QJsonValue::Object:
        writeObject(out, value.toObject(), depth);
        break;
    }
}

} // namespace

QByteArray IconJson::write(const QJsonObject &document)
{
    QByteArray out;
    writeObject(out, document, 0);
    return out;
}

bool IconJson::read(const QByteArray &text, QJsonObject *document, QString *error)
{
    const auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (text.trimmed().isEmpty())
        return fail(QStringLiteral("the file is empty"));
    QJsonParseError parseError;
    const QJsonDocument parsed = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(QStringLiteral("not valid JSON at byte %1: %2")
                        .arg(parseError.offset)
                        .arg(parseError.errorString()));
    if (!parsed.isObject())
        return fail(QStringLiteral("the top level is not an object"));
    if (document)
        *document = parsed.object();
    if (error)
        error->clear();
    return true;
}
