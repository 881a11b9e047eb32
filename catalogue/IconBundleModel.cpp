#include "IconBundleModel.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

#include <cmath>

namespace {

using Key = IconBundleModel::Key;
using Shape = IconBundleModel::Shape;
using L = QLatin1StringView;

// Real documents show every key here but those marked "public": Icon Composer 2 keys that only
// public descriptions name. Those are known, so that a newer document gives no notes, but their
// values are only judged as far as their type.
const QList<Key> RootKeys{
    {L("groups"), Shape::List, false},
    {L("supported-platforms"), Shape::Platforms, false},
    {L("fill"), Shape::Fill, true},
    {L("color-space-for-untagged-svg-colors"), Shape::Text, false},
    {L("features"), Shape::Texts, false},                // public
    {L("implicit-asset-mirroring"), Shape::Flag, false}, // public
    {L("languages"), Shape::Texts, false},               // public
};

const QList<Key> GroupKeys{
    {L("layers"), Shape::List, false},
    {L("shadow"), Shape::Shadow, true},
    {L("translucency"), Shape::Translucency, true},
    {L("specular"), Shape::Flag, true},
    {L("blur-material"), Shape::NumberOrNull, true},
    {L("lighting"), Shape::Text, true},
    {L("name"), Shape::Text, false},
    {L("hidden"), Shape::Flag, true},
    {L("blend-mode"), Shape::Text, true},
    {L("opacity"), Shape::Number, true},
    {L("position"), Shape::Position, true},
    {L("refractivity"), Shape::Object, true},               // public
    {L("specular-highlight-placement"), Shape::Text, true}, // public
    {L("asset-mirroring"), Shape::Object, true},            // public
};

const QList<Key> LayerKeys{
    {L("name"), Shape::Text, false},
    {L("image-name"), Shape::Text, true},
    {L("glass"), Shape::Flag, true},
    {L("fill"), Shape::Fill, true},
    {L("hidden"), Shape::Flag, true},
    {L("position"), Shape::Position, true},
    {L("blend-mode"), Shape::Text, true},
    {L("opacity"), Shape::Number, true},
    {L("asset-mirroring"), Shape::Object, true}, // public
};

struct Space
{
    L name;
    int components;
};

// "named" takes one word, not numbers; the others take that many numbers. The extended spaces
// allow values outside 0...1, so no range is judged for any of them.
const QList<Space> Spaces{
    {L("display-p3"), 4},    {L("srgb"), 4}, {L("extended-srgb"), 4},
    {L("extended-gray"), 2}, {L("gray"), 2}, {L("extended-linear-gray"), 2},
    {L("named"), 0},
};

const QList<L> SystemColours{L("red"),    L("green"), L("blue"),   L("orange"), L("yellow"),
                             L("brown"),  L("pink"),  L("purple"), L("gray"),   L("teal"),
                             L("indigo"), L("mint"),  L("cyan")};

const QList<L> FillWords{L("automatic"), L("system-light"), L("system-dark"), L("none")};

QString quoted(const QString &text)
{
    return QStringLiteral("“%1”").arg(text);
}

bool isNumber(const QJsonValue &value)
{
    return value.isDouble() && std::isfinite(value.toDouble());
}

bool isTexts(const QJsonValue &value)
{
    if (!value.isArray())
        return false;
    for (const QJsonValue &item : value.toArray()) {
        if (!item.isString())
            return false;
    }
    return true;
}

// An object that has each of the keys with a value of its test.
bool hasAll(const QJsonValue &value,
            std::initializer_list<std::pair<const char *, bool (*)(const QJsonValue &)>> keys)
{
    if (!value.isObject())
        return false;
    const QJsonObject object = value.toObject();
    for (const auto &[name, test] : keys) {
        if (!test(object.value(QLatin1String(name))))
            return false;
    }
    return true;
}

bool isFlag(const QJsonValue &value)
{
    return value.isBool();
}

bool isText(const QJsonValue &value)
{
    return value.isString();
}

bool isPoint(const QJsonValue &value)
{
    return hasAll(value, {{"x", isNumber}, {"y", isNumber}});
}

bool isPair(const QJsonValue &value)
{
    const QJsonArray pair = value.toArray();
    return value.isArray() && pair.size() == 2 && isNumber(pair[0]) && isNumber(pair[1]);
}

QString colourIn(const QJsonValue &value)
{
    if (!value.isString())
        return QStringLiteral("has a colour that is not a string");
    const QString problem = IconBundleModel::colourProblem(value.toString());
    return problem.isEmpty()
               ? QString()
               : QStringLiteral("has the colour %1: %2").arg(quoted(value.toString()), problem);
}

// A keyword, or an object with exactly one paint (and a direction beside a two-colour gradient).
QString fillProblem(const QJsonValue &value)
{
    const QString forms = QStringLiteral(
        "is not a fill: one of “automatic”, “system-light”, “system-dark”, “none”, or an object "
        "with one of “solid”, “linear-gradient”, “automatic-gradient”");
    if (value.isString())
        return FillWords.contains(value.toString()) ? QString() : forms;
    if (!value.isObject())
        return forms;
    const QJsonObject object = value.toObject();
    QStringList paints;
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (it.key() == QLatin1String("solid") || it.key() == QLatin1String("automatic-gradient") ||
            it.key() == QLatin1String("linear-gradient"))
            paints << it.key();
        else if (it.key() != QLatin1String("orientation"))
            return QStringLiteral("holds %1, which no fill has").arg(quoted(it.key()));
    }
    if (paints.size() != 1)
        return forms;
    const QJsonValue paint = object.value(paints[0]);
    if (paints[0] != QLatin1String("linear-gradient")) {
        if (object.contains(QLatin1String("orientation")))
            return QStringLiteral("has an “orientation”, which only a “linear-gradient” takes");
        return colourIn(paint);
    }
    if (!paint.isArray() || paint.toArray().size() != 2)
        return QStringLiteral("has a “linear-gradient” that is not a list of two colours");
    for (const QJsonValue &colour : paint.toArray()) {
        if (const QString problem = colourIn(colour); !problem.isEmpty())
            return problem;
    }
    const QJsonValue orientation = object.value(QLatin1String("orientation"));
    if (!orientation.isUndefined() && !hasAll(orientation, {{"start", isPoint}, {"stop", isPoint}}))
        return QStringLiteral("has an “orientation” that is not { start: {x, y}, stop: {x, y} }");
    return {};
}

QString platformsProblem(const QJsonValue &value)
{
    if (!value.isObject())
        return QStringLiteral("is not an object");
    const QJsonObject object = value.toObject();
    const QJsonValue squares = object.value(QLatin1String("squares"));
    if (!squares.isUndefined() && !squares.isString() && !isTexts(squares))
        return QStringLiteral("has “squares” that is neither a word nor a list of words");
    const QJsonValue circles = object.value(QLatin1String("circles"));
    if (!circles.isUndefined() && !isTexts(circles))
        return QStringLiteral("has “circles” that is not a list of words");
    return {};
}

} // namespace

bool IconBundleModel::isBundle(const QString &folderName)
{
    return folderName.size() > 5 && folderName.endsWith(QLatin1String(".icon"));
}

const IconBundleModel::Key *IconBundleModel::keyOf(Place place, const QString &name,
                                                   bool *specialized)
{
    const QList<Key> &keys = place == Place::Root    ? RootKeys
                             : place == Place::Group ? GroupKeys
                                                     : LayerKeys;
    *specialized = name.endsWith(Suffix);
    const QString plain = *specialized ? name.chopped(Suffix.size()) : name;
    for (const Key &key : keys) {
        if (key.name == plain)
            return !*specialized || key.specializable ? &key : nullptr;
    }
    return nullptr;
}

const QList<QLatin1StringView> &IconBundleModel::slotKeys()
{
    // "localization" is a slot only public descriptions of Icon Composer 2 name.
    static const QList<L> keys{L("appearance"), L("idiom"), L("localization")};
    return keys;
}

QJsonValue IconBundleModel::specialized(const QJsonObject &object, QStringView key,
                                        QStringView appearance, QStringView idiom)
{
    const QString plain = key.toString();
    if (object.contains(plain))
        return object.value(plain);
    QJsonValue chosen;
    int best = -1;
    for (const QJsonValue &item : object.value(plain + Suffix).toArray()) {
        const QJsonObject entry = item.toObject();
        if (!entry.contains(QLatin1String("value")))
            continue;
        int named = 0;
        bool matches = true;
        for (auto it = entry.begin(); it != entry.end() && matches; ++it) {
            if (it.key() == QLatin1String("value"))
                continue;
            ++named;
            // A slot this reader cannot tell (a localization) never matches, so the entry
            // stays for the documents that ask for it.
            const QString wanted = it.value().toString();
            if (it.key() == QLatin1String("appearance"))
                matches = !appearance.isEmpty() && wanted == appearance;
            else if (it.key() == QLatin1String("idiom"))
                matches = !idiom.isEmpty() && wanted == idiom;
            else
                matches = false;
        }
        if (matches && named > best) {
            best = named;
            chosen = entry.value(QLatin1String("value"));
        }
    }
    return chosen;
}

QString IconBundleModel::problemOf(Shape shape, const QJsonValue &value)
{
    switch (shape) {
    case Shape::Text:
        return value.isString() ? QString() : QStringLiteral("is not a string");
    case Shape::Flag:
        return value.isBool() ? QString() : QStringLiteral("is not true or false");
    case Shape::Number:
        return isNumber(value) ? QString() : QStringLiteral("is not a number");
    case Shape::NumberOrNull:
        return isNumber(value) || value.isNull() ? QString()
                                                 : QStringLiteral("is neither a number nor null");
    case Shape::Texts:
        return isTexts(value) ? QString() : QStringLiteral("is not a list of strings");
    case Shape::Object:
        return value.isObject() ? QString() : QStringLiteral("is not an object");
    case Shape::List: {
        bool objects = value.isArray();
        for (const QJsonValue &item : value.toArray())
            objects = objects && item.isObject();
        return objects ? QString() : QStringLiteral("is not a list of objects");
    }
    case Shape::Fill:
        return fillProblem(value);
    case Shape::Shadow:
        return hasAll(value, {{"kind", isText}, {"opacity", isNumber}})
                   ? QString()
                   : QStringLiteral("is not { kind: string, opacity: number }");
    case Shape::Translucency:
        return hasAll(value, {{"enabled", isFlag}, {"value", isNumber}})
                   ? QString()
                   : QStringLiteral("is not { enabled: true or false, value: number }");
    case Shape::Position:
        return hasAll(value, {{"scale", isNumber}, {"translation-in-points", isPair}})
                   ? QString()
                   : QStringLiteral("is not { scale: number, translation-in-points: [x, y] }");
    case Shape::Platforms:
        return platformsProblem(value);
    }
    return {};
}

QString IconBundleModel::colourProblem(const QString &text)
{
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return QStringLiteral("not of the form “space:components”");
    const QString space = text.left(colon), rest = text.mid(colon + 1);
    for (const Space &known : Spaces) {
        if (known.name != space)
            continue;
        if (known.components == 0) {
            const bool system =
                rest.startsWith(QLatin1String("system-")) && SystemColours.contains(rest.mid(7));
            return system ? QString()
                          : QStringLiteral("%1 is no system colour (“system-red”, …)")
                                .arg(quoted(rest));
        }
        const QStringList parts = rest.split(QLatin1Char(','));
        if (parts.size() != known.components)
            return QStringLiteral("%1 takes %2 components, not %3")
                .arg(space)
                .arg(known.components)
                .arg(parts.size());
        for (const QString &part : parts) {
            bool ok = false;
            const double number = part.toDouble(&ok);
            if (!ok || !std::isfinite(number) || part.trimmed() != part)
                return QStringLiteral("%1 is not a number").arg(quoted(part));
        }
        return {};
    }
    return QStringLiteral("%1 is no colour space Icon Composer writes").arg(quoted(space));
}
