#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// The icon.json of a layered .icon bundle. Designers save these files again after we write them,
// so we write exactly the text their editor writes: then a round trip through their hands shows
// only what they changed, not a re-formatting of the whole file.
class IconJson
{
public:
    // The editor's layout: two-space indentation, "key" : value, keys in ascending code-point
    // order at every level, every array element on its own line, an empty array or object as its
    // opening bracket, an empty line and the closing bracket at the parent's indentation; strings
    // as raw UTF-8 escaping only '"', '\', '/' and control characters; whole numbers without a
    // decimal point, others in their shortest round-trip form, never with an exponent; no newline
    // after the closing brace.
    static QByteArray write(const QJsonObject &document);

    // Any valid JSON text whose top level is an object, whatever its layout (files re-indented
    // by other tools come in too). Anything else gives false and a reason in `error`.
    static bool read(const QByteArray &text, QJsonObject *document, QString *error);
};
