#include "CatalogueModel.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>

namespace {

using Kind = CatalogueModel::Kind;
using Members = CatalogueModel::Members;
using Files = CatalogueModel::Files;
using L = QLatin1StringView;

const QList<L> Resources{L("on-demand-resource-tags"), L("localizable")};

const QList<Kind> &kinds()
{
    static const QList<Kind> table{
        {L(".xcassets"),
         {},
         Members::None,
         Files::Nothing,
         {},
         {L("provides-namespace"), L("generate-swift-asset-symbol-extensions"),
          L("on-demand-resource-tags")}},
        {L(".appiconset"),
         L("images"),
         Members::Files,
         Files::IconPng,
         {},
         {L("pre-rendered"), L("on-demand-resource-tags")}},
        {L(".imageset"),
         L("images"),
         Members::Files,
         Files::Image,
         {},
         Resources + QList<L>{L("preserves-vector-representation"), L("template-rendering-intent"),
                              L("compression-type"), L("auto-scaling")}},
        {L(".colorset"), L("colors"), Members::Values, Files::Nothing, {}, Resources},
        {L(".symbolset"),
         L("symbols"),
         Members::Files,
         Files::Svg,
         {},
         Resources + QList<L>{L("symbol-rendering-intent")}},
        {L(".dataset"), L("data"), Members::Files, Files::Anything, {}, Resources},
        {L(".launchimage"), L("images"), Members::Files, Files::LaunchPng, {}, {}},
        {L(".brandassets"),
         L("assets"),
         Members::Folders,
         Files::Nothing,
         {L(".imagestack"), L(".imageset")},
         {}},
        {L(".imagestack"),
         L("layers"),
         Members::Folders,
         Files::Nothing,
         {L(".imagestacklayer")},
         {L("canvasSize")}},
        {L(".imagestacklayer"), {}, Members::Layer, Files::Nothing, {L(".imageset")}, {}},
        {L(".solidimagestack"),
         L("layers"),
         Members::Folders,
         Files::Nothing,
         {L(".solidimagestacklayer")},
         {}},
        {L(".solidimagestacklayer"), {}, Members::Layer, Files::Nothing, {L(".imageset")}, {}},
        {L(".complicationset"),
         L("assets"),
         Members::Folders,
         Files::Nothing,
         {L(".imageset")},
         {}},
    };
    return table;
}

QJsonArray sortedAppearances(const QJsonArray &appearances)
{
    QList<QByteArray> texts;
    for (const QJsonValue &value : appearances)
        texts << QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    std::sort(texts.begin(), texts.end());
    QJsonArray sorted;
    for (const QByteArray &text : std::as_const(texts))
        sorted.append(QJsonDocument::fromJson(text).array().first());
    return sorted;
}

QString keyWithout(QJsonObject entry, std::initializer_list<const char *> dropped)
{
    for (const char *name : dropped)
        entry.remove(QLatin1String(name));
    const QLatin1String appearances("appearances");
    if (entry.value(appearances).isArray())
        entry[appearances] = sortedAppearances(entry.value(appearances).toArray());
    return QString::fromUtf8(QJsonDocument(entry).toJson(QJsonDocument::Compact));
}

QString valueText(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isArray() || value.isObject())
        return QString::fromUtf8(
            value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                            : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    return value.toVariant().toString();
}

double positive(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && std::isfinite(value) && value > 0 ? value : -1.0;
}

} // namespace

const CatalogueModel::Kind *CatalogueModel::kindOf(const QString &folderName)
{
    for (const Kind &kind : kinds()) {
        if (folderName.endsWith(kind.extension) && folderName.size() > kind.extension.size())
            return &kind;
    }
    return nullptr;
}

const CatalogueModel::Kind &CatalogueModel::group()
{
    static const Kind kind{{},
                           {},
                           Members::None,
                           Files::Nothing,
                           {},
                           {L("provides-namespace"), L("on-demand-resource-tags")}};
    return kind;
}

bool CatalogueModel::hasExtension(const QString &folderName)
{
    const qsizetype dot = folderName.lastIndexOf(QLatin1Char('.'));
    return dot > 0 && dot + 1 < folderName.size();
}

QString CatalogueModel::slotKey(const QJsonObject &entry)
{
    return keyWithout(entry, {"filename"});
}

QString CatalogueModel::scaleFreeKey(const QJsonObject &entry)
{
    return keyWithout(entry, {"filename", "scale"});
}

QString CatalogueModel::describeSlot(const QJsonObject &entry)
{
    QStringList words;
    for (const char *first : {"idiom", "size", "scale"}) {
        const QString value = entry[QLatin1String(first)].toString();
        if (!value.isEmpty())
            words << value;
    }
    for (auto it = entry.begin(); it != entry.end(); ++it) {
        const QString name = it.key();
        if (name == QLatin1String("idiom") || name == QLatin1String("size") ||
            name == QLatin1String("scale") || name == QLatin1String("filename"))
            continue;
        if (name == QLatin1String("appearances")) {
            for (const QJsonValue &appearance : sortedAppearances(it.value().toArray()))
                words << valueText(appearance.toObject().value(QLatin1String("value")));
            continue;
        }
        words << name + QLatin1Char(' ') + valueText(it.value());
    }
    return words.join(QLatin1Char(' '));
}

QString CatalogueModel::luminosity(const QJsonObject &entry)
{
    for (const QJsonValue &value : entry[QLatin1String("appearances")].toArray()) {
        const QJsonObject appearance = value.toObject();
        if (appearance[QLatin1String("appearance")].toString() == QLatin1String("luminosity"))
            return appearance[QLatin1String("value")].toString();
    }
    return {};
}

bool CatalogueModel::isStoreIcon(const QJsonObject &entry)
{
    const QString idiom = entry[QLatin1String("idiom")].toString();
    if (idiom == QLatin1String("ios-marketing") || idiom == QLatin1String("watch-marketing"))
        return true;
    const QString platform = entry[QLatin1String("platform")].toString();
    const QString appearance = luminosity(entry);
    // A dark or tinted appearance is drawn on the system's background and may be transparent.
    return idiom == QLatin1String("universal") &&
           (platform == QLatin1String("ios") || platform == QLatin1String("watchos")) &&
           entry[QLatin1String("size")].toString() == QLatin1String("1024x1024") &&
           appearance != QLatin1String("dark") && appearance != QLatin1String("tinted");
}

double CatalogueModel::scaleOf(const QJsonObject &entry)
{
    const QJsonValue value = entry[QLatin1String("scale")];
    if (value.isUndefined())
        return 1.0;
    const QString text = value.toString();
    return text.endsWith(QLatin1Char('x')) ? positive(text.chopped(1)) : -1.0;
}

bool CatalogueModel::parseSize(const QString &text, double *width, double *height)
{
    const QStringList sides = text.split(QLatin1Char('x'));
    if (sides.size() != 2)
        return false;
    *width = positive(sides[0]);
    *height = positive(sides[1]);
    return *width > 0 && *height > 0;
}

const QList<QLatin1StringView> &CatalogueModel::topLevelKeys()
{
    static const QList<L> keys{L("info"), L("properties")};
    return keys;
}
