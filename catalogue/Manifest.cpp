#include "Manifest.h"

#include "AssetNaming.h"
#include "AssetPlan.h"
#include "CatalogueModel.h"
#include "IconBundleModel.h"
#include "commandline/CommandTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

using Option = CommandTable::Option;
using Value = CommandTable::Value;

const QString SchemaUrl = QStringLiteral("https://assetsmith.dev/schema/assetsmith.schema.json");
const QString Kind = QStringLiteral("kind");
const QString Source = QStringLiteral("source");
const QStringList TopKeys{QStringLiteral("$schema"), QStringLiteral("catalogue"),
                          QStringLiteral("sets")};
// The name the icon command gives a document it is not given one for.
const QString IconDefaultName = QStringLiteral("AppIcon");

// What a set must hold beyond a good value for each of its keys: the rules the command line
// holds the same options to. Reading checks them and the schema states them, from this list.
struct Rule
{
    enum What {
        Needs,       // keys[0] is required
        NeedsEither, // keys[0] or keys[1]
        NotBoth,     // not keys[0] and keys[1] together
        NeedsSwitch, // keys[0] only with the switch keys[1] on
        TwoOrMore,   // the array keys[0] holds two values or more
    } what;
    QString kind;
    QStringList keys;
    QString message = {}; // what is said instead of the rule's own words
};

const QList<Rule> &rules()
{
    static const QList<Rule> list{
        {Rule::Needs, QStringLiteral("imageset"), {QStringLiteral("width")}},
        {Rule::NeedsSwitch,
         QStringLiteral("ios"),
         {QStringLiteral("dark"), QStringLiteral("single-size")}},
        {Rule::NeedsSwitch,
         QStringLiteral("ios"),
         {QStringLiteral("tinted"), QStringLiteral("single-size")}},
        // The back layer must be opaque, and the top shelf images lie on the background colour.
        {Rule::NeedsEither,
         QStringLiteral("vision"),
         {QStringLiteral("background"), QStringLiteral("back")}},
        {Rule::Needs, QStringLiteral("tv"), {QStringLiteral("background")}},
        {Rule::NotBoth,
         QStringLiteral("icon"),
         {QStringLiteral("background"), QStringLiteral("back")}},
    };
    static const QList<Rule> withLayers = [] {
        QList<Rule> all = list;
        for (const char *kind : {"vision", "tv", "icon"}) {
            all << Rule{Rule::TwoOrMore,
                        QLatin1String(kind),
                        {QStringLiteral("layers")},
                        QStringLiteral("needs two layers or more, front first")}
                << Rule{Rule::NotBoth,
                        QLatin1String(kind),
                        {QStringLiteral("layers"), QStringLiteral("back")},
                        QStringLiteral("layers and back both give the back layer: give the back "
                                       "layer as the last of layers")};
        }
        return all;
    }();
    return withLayers;
}

QStringList kinds()
{
    QStringList list;
    for (const CommandTable::Command &command : CommandTable::commands()) {
        if (command.isSet)
            list << command.name;
    }
    return list;
}

QList<const Option *> manifestOptions(const QString &kind)
{
    QList<const Option *> list;
    for (const Option *option : CommandTable::optionsOf(kind)) {
        if (option->inManifest)
            list << option;
    }
    return list;
}

// Every key a set of the kind may hold, in the order a manifest written for it lists them.
QStringList keysOf(const QString &kind)
{
    QStringList keys{Kind, Source};
    for (const Option *option : manifestOptions(kind))
        keys << option->manifestKey();
    return keys;
}

// "a, b or c"
QString either(const QStringList &words)
{
    if (words.size() < 2)
        return words.join(QString());
    return QStringLiteral("%1 or %2")
        .arg(words.mid(0, words.size() - 1).join(QStringLiteral(", ")), words.constLast());
}

QString quoted(const QString &text)
{
    return QStringLiteral("“%1”").arg(text);
}

QString what(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double:
        return QStringLiteral("a number");
    case QJsonValue::String:
        return QStringLiteral("a string");
    case QJsonValue::Array:
        return QStringLiteral("an array");
    case QJsonValue::Object:
        return QStringLiteral("an object");
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("null");
}

// QJsonParseError counts bytes; an editor counts lines and the characters of one.
QString lineAndColumn(const QByteArray &json, int offset)
{
    const QByteArray before = json.left(qBound(0, offset, int(json.size())));
    const qsizetype lineStart = before.lastIndexOf('\n') + 1;
    return QStringLiteral("%1:%2")
        .arg(before.count('\n') + 1)
        .arg(QString::fromUtf8(before.mid(lineStart)).toUcs4().size() + 1);
}

// A JSON number as the command line would have been given it, so that the table judges it: a
// whole number in digits, anything else as JSON would print it.
QString numberText(double number)
{
    if (std::isfinite(number) && number == std::floor(number) && std::fabs(number) < 1e15)
        return QString::number(qint64(number));
    return QString::number(number, 'g', 17);
}

QString defaultNameOf(const QString &kind, const QString &source)
{
    if (const std::optional<AssetPlan::Platform> platform = AssetPlan::platformOfKey(kind))
        return AssetPlan::defaultName(*platform);
    if (kind == QLatin1String("imageset"))
        return source.isEmpty() ? QString()
                                : AssetNaming::defaultAssetName(QFileInfo(source).fileName());
    return IconDefaultName;
}

} // namespace

QString Manifest::Set::assetName() const
{
    return name.isEmpty() ? defaultNameOf(kind, source) : name;
}

namespace {

QString *textField(Manifest::Set &set, const QString &option)
{
    const QHash<QString, QString Manifest::Set::*> fields{
        {QStringLiteral("out"), &Manifest::Set::folder},
        {QStringLiteral("name"), &Manifest::Set::name},
        {QStringLiteral("background"), &Manifest::Set::background},
        {QStringLiteral("style"), &Manifest::Set::style},
        {QStringLiteral("dark"), &Manifest::Set::dark},
        {QStringLiteral("tinted"), &Manifest::Set::tinted},
        {QStringLiteral("back"), &Manifest::Set::back},
    };
    const auto field = fields.constFind(option);
    return field == fields.constEnd() ? nullptr : &(set.*field.value());
}

class Reader
{
public:
    explicit Reader(Manifest &manifest)
        : m(manifest)
        , base(QFileInfo(manifest.path).dir())
    {
    }

    void top(const QJsonObject &object)
    {
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!TopKeys.contains(it.key()))
                error(it.key(), QStringLiteral("unknown key (the top level takes: %1)")
                                    .arg(TopKeys.join(QStringLiteral(", "))));
        }
        const QJsonValue schema = object.value(TopKeys[0]);
        if (!schema.isUndefined() && !schema.isString())
            error(TopKeys[0], QStringLiteral("must be a string, not %1").arg(what(schema)));
        const QJsonValue catalogue = object.value(TopKeys[1]);
        catalogueGiven = !catalogue.isUndefined();
        if (catalogueGiven && !catalogue.isString())
            error(TopKeys[1], QStringLiteral("must be a string, not %1").arg(what(catalogue)));
        else if (catalogueGiven && catalogue.toString().isEmpty())
            error(TopKeys[1], QStringLiteral("is empty: it names no folder"));
        else if (catalogueGiven)
            m.catalogue = absolute(catalogue.toString());

        const QJsonValue sets = object.value(TopKeys[2]);
        if (sets.isUndefined())
            error(TopKeys[2], QStringLiteral("missing: the sets to write, as an array of objects"));
        else if (!sets.isArray())
            error(TopKeys[2],
                  QStringLiteral("must be an array of objects, not %1").arg(what(sets)));
        else if (sets.toArray().isEmpty())
            error(TopKeys[2], QStringLiteral("is empty: there is no set to write"));
        const QJsonArray list = sets.toArray();
        for (qsizetype i = 0; i < list.size(); ++i)
            set(QStringLiteral("sets[%1]").arg(i), list.at(i));
    }

    void error(const QString &place, const QString &message)
    {
        m.errors << QStringLiteral("%1: %2").arg(place, message);
    }

private:
    Manifest &m;
    const QDir base;
    bool catalogueGiven = false;
    QHash<QString, QString> written; // what a set writes, folded → its place

    QString absolute(const QString &path) const
    {
        return QDir::cleanPath(base.absoluteFilePath(path));
    }

    void set(const QString &place, const QJsonValue &value)
    {
        if (!value.isObject()) {
            error(place, QStringLiteral("must be an object, not %1").arg(what(value)));
            return;
        }
        const QJsonObject object = value.toObject();
        Manifest::Set set;
        set.place = place;

        const QJsonValue kind = object.value(Kind);
        if (kind.isUndefined())
            error(place, QStringLiteral("kind missing: %1").arg(either(kinds())));
        else if (!kind.isString())
            error(place + QStringLiteral(".kind"),
                  QStringLiteral("must be a string, not %1").arg(what(kind)));
        else if (!kinds().contains(kind.toString()))
            error(place + QStringLiteral(".kind"),
                  QStringLiteral("%1 is not %2").arg(quoted(kind.toString()), either(kinds())));
        else
            set.kind = kind.toString();

        const QJsonValue source = object.value(Source);
        if (source.isUndefined())
            error(place, QStringLiteral("source missing: the path of its source image, or \"\" "
                                        "to fill in later"));
        else if (!source.isString())
            error(place + QStringLiteral(".source"),
                  QStringLiteral("must be a string, not %1").arg(what(source)));
        else if (!source.toString().isEmpty())
            set.source = absolute(source.toString());
        const bool toFill = source.isString() && source.toString().isEmpty();

        if (set.kind.isEmpty()) {
            // Without a kind the options cannot be judged; only a key no kind takes is wrong.
            for (auto it = object.begin(); it != object.end(); ++it) {
                if (it.key() != Kind && it.key() != Source &&
                    !CommandTable::manifestOption(it.key()))
                    error(place + QLatin1Char('.') + it.key(),
                          QStringLiteral("unknown key (no kind of set takes it)"));
            }
            return;
        }

        const QStringList keys = keysOf(set.kind);
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (it.key() == Kind || it.key() == Source)
                continue;
            if (!keys.contains(it.key())) {
                error(place + QLatin1Char('.') + it.key(),
                      QStringLiteral("unknown key (sets of kind %1 take: %2)")
                          .arg(set.kind, keys.join(QStringLiteral(", "))));
                continue;
            }
            const Option &option = *CommandTable::manifestOption(it.key());
            if (option.manifestList.isEmpty())
                this->option(set, option, it.value(), toFill);
            else
                list(set, option, it.value(), toFill);
        }

        // A set still to be filled in, as init leaves them, may lack what its source decides
        // (an image set's width, say): build names it as without a source, and the rest is
        // asked for once the source is there.
        for (const Rule &rule : rules()) {
            const bool decidedLater = rule.what == Rule::Needs || rule.what == Rule::NeedsEither;
            if (rule.kind == set.kind && !(decidedLater && set.source.isEmpty()))
                check(set, rule, object);
        }

        const bool outGiven = object.contains(QStringLiteral("out"));
        if (!outGiven && !catalogueGiven)
            error(place, QStringLiteral("no folder to write into: give it \"out\", or give the "
                                        "manifest a \"catalogue\""));
        else if (!outGiven)
            set.folder = m.catalogue;
        claim(set);
        m.sets << set;
    }

    void option(Manifest::Set &set, const Option &option, const QJsonValue &value, bool toFill)
    {
        const QString place = set.place + QLatin1Char('.') + option.name;
        QString text;
        switch (option.value) {
        case Value::None:
            if (!value.isBool()) {
                error(place, QStringLiteral("must be true or false, not %1").arg(what(value)));
                return;
            }
            if (option.name == QLatin1String("single-size"))
                set.singleSize = value.toBool();
            else if (option.name == QLatin1String("groups"))
                set.groups = value.toBool();
            else
                Q_ASSERT_X(false, "Manifest", "a switch with no place in Manifest::Set");
            return;
        case Value::Number:
            if (!value.isDouble()) {
                error(place, QStringLiteral("must be a whole number, not %1").arg(what(value)));
                return;
            }
            text = numberText(value.toDouble());
            break;
        default:
            if (!value.isString()) {
                error(place, QStringLiteral("must be a string, not %1").arg(what(value)));
                return;
            }
            text = value.toString();
            break;
        }
        // A set left to fill in may leave its other sources empty too; they are filled with it.
        const bool path = option.value == Value::File || option.value == Value::Folder;
        if (!(toFill && option.value == Value::File && text.isEmpty())) {
            if (const QString problem = CommandTable::valueProblem(option, set.kind, text);
                !problem.isEmpty()) {
                error(place, problem);
                return;
            }
        }
        if (option.value == Value::Number) {
            (option.name == QLatin1String("width") ? set.width : set.height) =
                int(value.toDouble());
            return;
        }
        QString *field = textField(set, option.name);
        Q_ASSERT_X(field, "Manifest", "an option with no place in Manifest::Set");
        if (field)
            *field =
                path && !text.isEmpty() && !option.choices.contains(text) ? absolute(text) : text;
    }

    // An option given once for each value: its values as an array, each judged as the option's
    // value is. Only layers are given so.
    void list(Manifest::Set &set, const Option &option, const QJsonValue &value, bool toFill)
    {
        const QString place = set.place + QLatin1Char('.') + option.manifestList;
        if (!value.isArray()) {
            error(place, QStringLiteral("must be an array of strings, not %1").arg(what(value)));
            return;
        }
        Q_ASSERT_X(option.name == QLatin1String("layer"), "Manifest",
                   "a list with no place in Manifest::Set");
        const QJsonArray values = value.toArray();
        for (qsizetype i = 0; i < values.size(); ++i) {
            const QString at = QStringLiteral("%1[%2]").arg(place).arg(i);
            const QString text = values[i].toString();
            if (!values[i].isString()) {
                error(at, QStringLiteral("must be a string, not %1").arg(what(values[i])));
            } else if (const QString problem = CommandTable::valueProblem(option, set.kind, text);
                       !problem.isEmpty() && !(toFill && text.isEmpty())) {
                error(at, problem);
            } else {
                set.layers << (text.isEmpty() ? text : absolute(text));
            }
        }
    }

    void check(const Manifest::Set &set, const Rule &rule, const QJsonObject &object)
    {
        const auto has = [&](int i) { return object.contains(rule.keys.at(i)); };
        switch (rule.what) {
        case Rule::Needs:
            if (!has(0))
                error(set.place, QStringLiteral("%1 needs %2").arg(set.kind, rule.keys[0]));
            break;
        case Rule::NeedsEither:
            if (!has(0) && !has(1))
                error(
                    set.place,
                    QStringLiteral("%1 needs %2 or %3").arg(set.kind, rule.keys[0], rule.keys[1]));
            break;
        case Rule::NotBoth:
            if (has(0) && has(1))
                error(set.place, !rule.message.isEmpty()
                                     ? rule.message
                                     : QStringLiteral("%1 takes %2 or %3, not both")
                                           .arg(set.kind, rule.keys[0], rule.keys[1]));
            break;
        case Rule::TwoOrMore:
            // A value that is no array at all has been named already.
            if (object.value(rule.keys[0]).isArray() &&
                object.value(rule.keys[0]).toArray().size() < 2)
                error(set.place + QLatin1Char('.') + rule.keys[0], rule.message);
            break;
        case Rule::NeedsSwitch:
            if (has(0) && object.value(rule.keys[1]) != QJsonValue(true))
                error(set.place + QLatin1Char('.') + rule.keys[0],
                      QStringLiteral("needs \"%1\": true").arg(rule.keys[1]));
            break;
        }
    }

    // Two sets of one kind and name in one folder would each overwrite the other's files; an
    // iOS and a Mac set of one name share their folder, as Xcode's own do.
    void claim(const Manifest::Set &set)
    {
        const QString name = set.assetName();
        if (set.folder.isEmpty() || name.isEmpty())
            return;
        const QString key = set.kind + QLatin1Char('\n') +
                            QDir::cleanPath(set.folder + QLatin1Char('/') + name).toCaseFolded();
        if (const auto first = written.constFind(key); first != written.constEnd())
            error(set.place, QStringLiteral("writes the same %1 set as %2: %3 in %4")
                                 .arg(set.kind, first.value(), quoted(name), set.folder));
        else
            written.insert(key, set.place);
    }
};

// The schema of one option's value, from its row of the table.
QJsonObject valueSchema(const Option &option)
{
    QJsonObject schema{{QStringLiteral("description"), option.help}};
    switch (option.value) {
    case Value::None:
        schema.insert(QStringLiteral("type"), QStringLiteral("boolean"));
        break;
    case Value::Number:
        schema.insert(QStringLiteral("type"), QStringLiteral("integer"));
        schema.insert(QStringLiteral("minimum"), 1);
        schema.insert(QStringLiteral("maximum"), std::numeric_limits<std::int32_t>::max());
        break;
    case Value::Choice:
        schema.insert(QStringLiteral("enum"), QJsonArray::fromStringList(option.choices));
        break;
    case Value::Text:
        // As AssetPlan::nameProblem: one folder's name, not hidden.
        schema.insert(QStringLiteral("type"), QStringLiteral("string"));
        schema.insert(QStringLiteral("pattern"), QStringLiteral("^[^./\\\\][^/\\\\]*$"));
        break;
    case Value::Folder:
        schema.insert(QStringLiteral("type"), QStringLiteral("string"));
        schema.insert(QStringLiteral("minLength"), 1);
        break;
    case Value::File:
    case Value::Colour:
        schema.insert(QStringLiteral("type"), QStringLiteral("string"));
        if (!option.choices.isEmpty())
            schema.insert(QStringLiteral("examples"), QJsonArray::fromStringList(option.choices));
        break;
    }
    if (option.manifestList.isEmpty())
        return schema;
    schema.remove(QStringLiteral("description"));
    return {{QStringLiteral("description"), option.help},
            {QStringLiteral("type"), QStringLiteral("array")},
            {QStringLiteral("items"), schema}};
}

QJsonObject required(const QStringList &keys)
{
    return {{QStringLiteral("required"), QJsonArray::fromStringList(keys)}};
}

QJsonObject kindSchema(const QString &kind)
{
    QJsonObject properties{
        {Kind, QJsonObject{{QStringLiteral("const"), kind}}},
        {Source, QJsonObject{{QStringLiteral("type"), QStringLiteral("string")},
                             {QStringLiteral("description"),
                              QStringLiteral("The source image or drawing; \"\" while it is left "
                                             "to fill in.")}}},
    };
    for (const Option *option : manifestOptions(kind))
        properties.insert(option->manifestKey(), valueSchema(*option));
    QJsonArray constraints;
    for (const Rule &rule : rules()) {
        if (rule.kind != kind)
            continue;
        switch (rule.what) {
        case Rule::Needs:
            constraints << required({rule.keys[0]});
            break;
        case Rule::NeedsEither:
            constraints << QJsonObject{
                {QStringLiteral("anyOf"),
                 QJsonArray{required({rule.keys[0]}), required({rule.keys[1]})}}};
            break;
        case Rule::NotBoth:
            constraints << QJsonObject{{QStringLiteral("not"), required(rule.keys)}};
            break;
        case Rule::TwoOrMore:
            constraints << QJsonObject{
                {QStringLiteral("properties"),
                 QJsonObject{{rule.keys[0], QJsonObject{{QStringLiteral("minItems"), 2}}}}}};
            break;
        case Rule::NeedsSwitch: {
            QJsonObject on = required({rule.keys[1]});
            on.insert(QStringLiteral("properties"),
                      QJsonObject{{rule.keys[1], QJsonObject{{QStringLiteral("const"), true}}}});
            constraints << QJsonObject{
                {QStringLiteral("dependentSchemas"), QJsonObject{{rule.keys[0], on}}}};
            break;
        }
        }
    }
    QJsonObject schema{{QStringLiteral("type"), QStringLiteral("object")},
                       {QStringLiteral("properties"), properties},
                       {QStringLiteral("required"), QJsonArray{Kind, Source}},
                       {QStringLiteral("additionalProperties"), false}};
    if (!constraints.isEmpty())
        schema.insert(QStringLiteral("allOf"), constraints);
    return schema;
}

// One set of a started manifest: its keys and values, in no order yet.
struct StartedSet
{
    QJsonObject keys;
    QString note;
};

class Starter
{
public:
    Starter(const QString &catalogue, const QString &manifestPath)
        : root(catalogue)
        , manifestFolder(QFileInfo(manifestPath).dir())
    {
    }

    QList<StartedSet> sets;
    QStringList notes;

    void group(const QString &folder)
    {
        const QString real = QFileInfo(folder).canonicalFilePath();
        if (real.isEmpty() || visited.contains(real))
            return;
        visited.insert(real);
        // In the order of the names' characters, not the locale's: the same manifest on every
        // machine.
        QFileInfoList children = QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
        std::sort(children.begin(), children.end(), [](const QFileInfo &a, const QFileInfo &b) {
            return a.fileName() < b.fileName();
        });
        for (const QFileInfo &child : children) {
            const QString name = child.fileName();
            const QString path = QDir::cleanPath(child.filePath());
            const CatalogueModel::Kind *kind = CatalogueModel::kindOf(name);
            const QLatin1StringView extension = kind ? kind->extension : QLatin1StringView();
            if (IconBundleModel::isBundle(name))
                add(path, QStringLiteral("icon"), name.chopped(5), IconDefaultName);
            else if (extension == QLatin1String(".appiconset"))
                appIconSet(path, name.chopped(extension.size()));
            else if (extension == QLatin1String(".imageset"))
                imageSet(path, name.chopped(extension.size()));
            else if (extension == QLatin1String(".solidimagestack"))
                add(path, QStringLiteral("vision"), name.chopped(extension.size()),
                    AssetPlan::defaultName(AssetPlan::Platform::Vision))
                    .keys.insert(QStringLiteral("back"), QString());
            else if (extension == QLatin1String(".brandassets"))
                add(path, QStringLiteral("tv"), name.chopped(extension.size()),
                    AssetPlan::defaultName(AssetPlan::Platform::Tv))
                    .note = QStringLiteral("tv needs \"background\", the colour behind its "
                                           "layers and top shelf images: add it");
            else if ((kind && !kind->isSet()) || !CatalogueModel::hasExtension(name))
                group(path);
            else
                notes << QStringLiteral("%1: not a kind of set assetsmith writes")
                             .arg(QDir(root).relativeFilePath(path));
        }
    }

private:
    const QString root;
    const QDir manifestFolder;
    QSet<QString> visited;

    StartedSet &add(const QString &path, const QString &kind, const QString &name,
                    const QString &defaultName)
    {
        StartedSet set;
        set.keys.insert(Kind, kind);
        set.keys.insert(Source, QString());
        if (name != defaultName)
            set.keys.insert(QStringLiteral("name"), name);
        const QString parent = QFileInfo(path).path();
        if (parent != root)
            set.keys.insert(QStringLiteral("out"), relative(parent));
        sets << set;
        return sets.last();
    }

    QString relative(const QString &path) const
    {
        const QString text = manifestFolder.relativeFilePath(path);
        return text.isEmpty() ? QStringLiteral(".") : text;
    }

    QString place(const QString &path) const { return QDir(root).relativeFilePath(path); }

    static std::optional<QJsonArray> images(const QString &folder)
    {
        QFile file(folder + QStringLiteral("/Contents.json"));
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
        if (!document.isObject())
            return std::nullopt;
        return document.object().value(QLatin1String("images")).toArray();
    }

    void appIconSet(const QString &path, const QString &name)
    {
        const std::optional<QJsonArray> entries = images(path);
        if (!entries) {
            notes << QStringLiteral("%1: its Contents.json cannot be read").arg(place(path));
            return;
        }
        QList<AssetPlan::Platform> platforms;
        bool universal = true, dark = false, tinted = false;
        for (const QJsonValue &value : *entries) {
            const QJsonObject entry = value.toObject();
            const std::optional<AssetPlan::Platform> platform = AssetPlan::platformOf(entry);
            if (!platform)
                continue;
            if (!platforms.contains(*platform))
                platforms << *platform;
            if (*platform != AssetPlan::Platform::Ios)
                continue;
            universal &=
                entry.value(QLatin1String("idiom")).toString() == QLatin1String("universal");
            dark |= CatalogueModel::luminosity(entry) == QLatin1String("dark");
            tinted |= CatalogueModel::luminosity(entry) == QLatin1String("tinted");
        }
        std::sort(platforms.begin(), platforms.end());
        if (platforms.isEmpty())
            notes << QStringLiteral("%1: no icon of a platform assetsmith writes").arg(place(path));
        for (const AssetPlan::Platform platform : platforms) {
            StartedSet &set =
                add(path, AssetPlan::key(platform), name, AssetPlan::defaultName(platform));
            if (platform != AssetPlan::Platform::Ios || !universal)
                continue;
            set.keys.insert(QStringLiteral("single-size"), true);
            if (dark)
                set.keys.insert(QStringLiteral("dark"), QString());
            if (tinted)
                set.keys.insert(QStringLiteral("tinted"), QString());
        }
    }

    void imageSet(const QString &path, const QString &name)
    {
        StartedSet &set = add(path, QStringLiteral("imageset"), name, QString());
        const QSize size = onePointSize(path);
        if (size.isEmpty()) {
            set.note = QStringLiteral("imageset needs \"width\": %1 has no PNG or JPEG image to "
                                      "take it from")
                           .arg(place(path));
            return;
        }
        set.keys.insert(QStringLiteral("width"), size.width());
        set.keys.insert(QStringLiteral("height"), size.height());
    }

    // The size of the set at 1x, from the header of its 1x image, else its 2x or 3x one
    // divided; the plain images before those of an appearance or a device.
    static QSize onePointSize(const QString &folder)
    {
        const QJsonArray entries = images(folder).value_or(QJsonArray());
        for (const bool plain : {true, false}) {
            for (const int scale : {1, 2, 3}) {
                for (const QJsonValue &value : entries) {
                    const QJsonObject entry = value.toObject();
                    const QString idiom = entry.value(QLatin1String("idiom")).toString();
                    const bool plainEntry =
                        !entry.contains(QLatin1String("appearances")) &&
                        (idiom.isEmpty() || idiom == QLatin1String("universal"));
                    const QString file = entry.value(QLatin1String("filename")).toString();
                    if (plainEntry != plain || CatalogueModel::scaleOf(entry) != scale ||
                        file.isEmpty())
                        continue;
                    const QString filePath = folder + QLatin1Char('/') + file;
                    // Only formats whose header gives the size, so that nothing is decoded here.
                    const QByteArray format = QImageReader::imageFormat(filePath);
                    if (format != "png" && format != "jpeg")
                        continue;
                    const QSize pixels = QImageReader(filePath, format).size();
                    if (pixels.isEmpty())
                        continue;
                    return {qMax(1, (pixels.width() + scale / 2) / scale),
                            qMax(1, (pixels.height() + scale / 2) / scale)};
                }
            }
        }
        return {};
    }
};

// One value as JSON text, escaped as QJsonDocument escapes it (a document holds no bare value).
QByteArray jsonText(const QJsonValue &value)
{
    return QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact).chopped(1).mid(1);
}

} // namespace

Manifest Manifest::read(const QString &path)
{
    Manifest manifest;
    manifest.path = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QFile file(manifest.path);
    if (QFileInfo(manifest.path).isDir()) {
        manifest.errors << QStringLiteral("%1: is a folder, not a manifest").arg(manifest.path);
        return manifest;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        manifest.errors
            << QStringLiteral("%1: cannot be read: %2").arg(manifest.path, file.errorString());
        return manifest;
    }
    const QByteArray json = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        manifest.errors
            << QStringLiteral("%1: cannot be read: %2").arg(manifest.path, file.errorString());
        return manifest;
    }
    return parse(json, manifest.path);
}

Manifest Manifest::parse(const QByteArray &json, const QString &path)
{
    Manifest manifest;
    manifest.path = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    Reader reader(manifest);
    if (json.trimmed().isEmpty())
        reader.error(manifest.path,
                     QStringLiteral("is empty: a manifest is one JSON object that holds \"sets\""));
    else if (error.error != QJsonParseError::NoError)
        reader.error(lineAndColumn(json, error.offset), error.errorString());
    else if (!document.isObject())
        reader.error(
            manifest.path,
            QStringLiteral("must be one JSON object that holds \"sets\", not %1")
                .arg(what(document.isArray() ? QJsonValue(document.array()) : QJsonValue())));
    else
        reader.top(document.object());
    return manifest;
}

QByteArray Manifest::schema()
{
    QJsonObject definitions;
    QJsonArray byKind;
    for (const QString &kind : kinds()) {
        definitions.insert(kind, kindSchema(kind));
        byKind << QJsonObject{
            {QStringLiteral("if"),
             QJsonObject{{QStringLiteral("properties"),
                          QJsonObject{{Kind, QJsonObject{{QStringLiteral("const"), kind}}}}},
                         {QStringLiteral("required"), QJsonArray{Kind}}}},
            {QStringLiteral("then"),
             QJsonObject{{QStringLiteral("$ref"), QStringLiteral("#/$defs/%1").arg(kind)}}}};
    }
    definitions.insert(
        QStringLiteral("set"),
        QJsonObject{
            {QStringLiteral("type"), QStringLiteral("object")},
            {QStringLiteral("required"), QJsonArray{Kind, Source}},
            {QStringLiteral("properties"),
             QJsonObject{
                 {Kind, QJsonObject{{QStringLiteral("enum"), QJsonArray::fromStringList(kinds())},
                                    {QStringLiteral("description"),
                                     QStringLiteral("The command that writes the set.")}}}}},
            {QStringLiteral("allOf"), byKind}});
    const QJsonObject schema{
        {QStringLiteral("$schema"), QStringLiteral("https://json-schema.org/draft/2020-12/schema")},
        {QStringLiteral("$id"), SchemaUrl},
        {QStringLiteral("title"), QString::fromLatin1(FileName)},
        {QStringLiteral("description"),
         QStringLiteral("The sets assetsmith build writes; paths are relative to this file's "
                        "folder.")},
        {QStringLiteral("type"), QStringLiteral("object")},
        {QStringLiteral("properties"),
         QJsonObject{
             {TopKeys[0], QJsonObject{{QStringLiteral("type"), QStringLiteral("string")}}},
             {TopKeys[1],
              QJsonObject{{QStringLiteral("type"), QStringLiteral("string")},
                          {QStringLiteral("minLength"), 1},
                          {QStringLiteral("description"),
                           QStringLiteral("The asset catalogue the sets without \"out\" are "
                                          "written into.")}}},
             {TopKeys[2], QJsonObject{{QStringLiteral("type"), QStringLiteral("array")},
                                      {QStringLiteral("minItems"), 1},
                                      {QStringLiteral("items"),
                                       QJsonObject{{QStringLiteral("$ref"),
                                                    QStringLiteral("#/$defs/set")}}}}}}},
        {QStringLiteral("required"), QJsonArray{TopKeys[2]}},
        {QStringLiteral("additionalProperties"), false},
        {QStringLiteral("$defs"), definitions},
    };
    return QJsonDocument(schema).toJson(QJsonDocument::Indented);
}

Manifest::Started Manifest::start(const QString &catalogue, const QString &manifestPath)
{
    Started started;
    const QString root = QDir::cleanPath(QFileInfo(catalogue).absoluteFilePath());
    const QString manifest = QDir::cleanPath(QFileInfo(manifestPath).absoluteFilePath());
    if (!QFileInfo(root).isDir()) {
        started.refusal = QStringLiteral("There is no folder %1.").arg(root);
        return started;
    }
    if (!root.endsWith(QLatin1String(".xcassets"))) {
        started.refusal =
            QStringLiteral("%1 is not an asset catalogue: its name does not end in .xcassets.")
                .arg(root);
        return started;
    }
    Starter starter(root, manifest);
    starter.group(root);
    if (starter.sets.isEmpty()) {
        started.refusal = QStringLiteral("%1 holds no set assetsmith writes: no app icon set, "
                                         "image set, image stack or Icon Composer document.")
                              .arg(root);
        return started;
    }

    QStringList order{Kind, QStringLiteral("name"), Source};
    for (const Option &option : CommandTable::options()) {
        if (option.inManifest && !order.contains(option.manifestKey()))
            order << option.manifestKey();
    }
    const QDir folder = QFileInfo(manifest).dir();
    const QString relativeRoot = folder.relativeFilePath(root);
    QByteArray json = "{\n  \"$schema\": " + jsonText(SchemaUrl) + ",\n  \"catalogue\": " +
                      jsonText(relativeRoot.isEmpty() ? QStringLiteral(".") : relativeRoot) +
                      ",\n  \"sets\": [\n";
    for (qsizetype i = 0; i < starter.sets.size(); ++i) {
        const StartedSet &set = starter.sets.at(i);
        const QString place = QStringLiteral("sets[%1]").arg(i);
        QByteArrayList pairs;
        for (const QString &key : order) {
            const QJsonValue value = set.keys.value(key);
            if (value.isUndefined())
                continue;
            pairs << jsonText(key) + ": " + jsonText(value);
            if (value == QJsonValue(QString()))
                started.toFill << place + QLatin1Char('.') + key;
        }
        json += "    {" + pairs.join(", ") + (i + 1 < starter.sets.size() ? "},\n" : "}\n");
        if (!set.note.isEmpty())
            started.notes << place + QStringLiteral(": ") + set.note;
    }
    json += "  ]\n}\n";
    started.json = json;
    started.notes += starter.notes;
    return started;
}
