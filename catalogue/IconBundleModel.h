#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QLatin1StringView>
#include <QList>
#include <QString>

// The Icon Composer document (a folder "<Name>.icon" holding icon.json and a flat Assets folder
// of layer images) as data: the keys each level of icon.json knows, the shape each key's value
// has, and the colour and fill forms. Shapes hold to what real documents show; keys known only
// from public descriptions of newer versions are known but judged loosely.
class IconBundleModel
{
public:
    // The three levels of icon.json that carry keys.
    enum class Place { Root, Group, Layer };

    enum class Shape {
        Text,         // a string
        Flag,         // true or false
        Number,       // finite
        NumberOrNull, // blur-material: the app writes null
        Texts,        // an array of strings
        Object,       // any object (keys only public descriptions name)
        List,         // an array of objects (groups, layers)
        Fill,         // a keyword or an object with one paint
        Shadow,       // { kind, opacity }
        Translucency, // { enabled, value }
        Position,     // { scale, translation-in-points: [x, y] }
        Platforms,    // supported-platforms
    };

    struct Key
    {
        QLatin1StringView name;
        Shape shape;
        bool specializable; // may be replaced by "<name>-specializations"
    };

    static constexpr QLatin1StringView Suffix{"-specializations"};

    // Whether a folder's name makes it an Icon Composer document.
    static bool isBundle(const QString &folderName);

    // The key a name stands for at that level: the plain key, or the key it specializes (then
    // *specialized is set). Null when the level does not know the name.
    static const Key *keyOf(Place place, const QString &name, bool *specialized);

    // The keys a specialization entry may hold besides "value".
    static const QList<QLatin1StringView> &slotKeys();

    // The value `key` takes in `object` for one appearance ("light", "dark", "tinted"; empty for
    // none) and idiom ("square", "watchOS"): the plain key when present, else the entry of
    // "<key>-specializations" whose slots all match and that names the most of them (a base
    // entry names none), the first such on a tie. Undefined when neither gives one, so the caller
    // applies the key's default.
    static QJsonValue specialized(const QJsonObject &object, QStringView key,
                                  QStringView appearance, QStringView idiom);

    // What is wrong with a value that should have the shape, in words ("is not a number"); empty
    // when it has the shape.
    static QString problemOf(Shape shape, const QJsonValue &value);
    // The same for a colour string "<space>:<components>".
    static QString colourProblem(const QString &text);
};
