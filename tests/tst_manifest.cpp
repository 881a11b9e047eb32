#include "TestFiles.h"
#include "catalogue/Manifest.h"

#include <QJsonArray>
#include <QTemporaryDir>

namespace {

const QString Here = QStringLiteral("/work/proj/assetsmith.json");
const QString Real = QDir::cleanPath(QStringLiteral(ASSETSMITH_REAL_CATALOGUES));

// JSON written with single quotes, which read more easily in C++ (and which moc's reading of
// raw strings does not spoil).
QByteArray q(QByteArray json)
{
    return json.replace('\'', '"');
}

// A manifest of one set into the catalogue "A.xcassets", the set's keys written in JSON.
QByteArray oneSet(const QByteArray &keys)
{
    return q("{'catalogue': 'A.xcassets', 'sets': [{" + keys + "}]}");
}

// A set read back as "kind[:name][ single-size][ WxH][ in FOLDER]", FOLDER relative to `root`.
QString described(const Manifest::Set &set, const QString &root)
{
    QString text = set.kind;
    if (!set.name.isEmpty())
        text += ':' + set.name;
    if (set.singleSize)
        text += " single-size";
    if (set.width)
        text += QStringLiteral(" %1x%2").arg(set.width).arg(set.height);
    if (set.folder != root)
        text += " in " + QDir(root).relativeFilePath(set.folder);
    return text;
}

} // namespace

class ManifestTest : public QObject
{
    Q_OBJECT

private slots:
    // Every mistake is found and said with its place; `exact` rows give whole messages, the
    // others the start of each.
    void errors_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QStringList>("errors");
        QTest::addColumn<bool>("exact");
        const auto row = [](const char *name, const QByteArray &json, const QStringList &errors,
                            bool exact = false) {
            QTest::newRow(name) << q(json) << errors << exact;
        };
        row("unknown top key",
            "{'catalogue': 'A.xcassets', 'colour': 1, 'sets': [{'kind': "
            "'mac', 'source': 'a.png'}]}",
            {"colour: unknown key (the top level takes: $schema, catalogue, sets)"}, true);
        row("unknown set key",
            "{'catalogue': 'A.xcassets', 'sets': [{'kind': 'mac', 'source': 'a.png'}, "
            "{'kind': 'watch', 'source': 'a.png'}, "
            "{'kind': 'ios', 'source': 'a.png', 'backgound': '#fff'}]}",
            {"sets[2].backgound: unknown key (sets of kind ios take: kind, source, out, name, "
             "background, single-size, dark, tinted)"},
            true);
        row("another kind's option", oneSet("'kind': 'mac', 'source': 'a.png', 'width': 3"),
            {"sets[0].width: unknown key (sets of kind mac take: kind, source, out, name, style)"},
            true);
        row("a command's own option", oneSet("'kind': 'ios', 'source': 'a.png', 'quiet': true"),
            {"sets[0].quiet: unknown key ("});
        row("wrong types, each said",
            oneSet("'kind': 'ios', 'source': 3, 'name': null, 'single-size': 'yes'"),
            {"sets[0].source: must be a string, not a number",
             "sets[0].name: must be a string, not null",
             "sets[0].single-size: must be true or false, not a string"},
            true);
        row("width as digits", oneSet("'kind': 'imageset', 'source': 'a.png', 'width': '120'"),
            {"sets[0].width: must be a whole number, not a string"}, true);
        row("width 0", oneSet("'kind': 'imageset', 'source': 'a.png', 'width': 0"),
            {"sets[0].width: “0” is not a whole number of pixels, at least 1"}, true);
        row("width fractional or beyond 32 bits",
            oneSet("'kind': 'imageset', 'source': 'a.png', 'width': 1.5, 'height': 3e9"),
            {"sets[0].height: “3000000000” is not", "sets[0].width: “1.5” is not"});
        row("bad colour", oneSet("'kind': 'watch', 'source': 'a.png', 'background': '#12345'"),
            {"sets[0].background: “#12345” is not a colour name or #rrggbb"}, true);
        row("translucent for ios",
            oneSet("'kind': 'ios', 'source': 'a.png', 'background': '#800a84ff'"),
            {"sets[0].background: “#800a84ff” is not a colour name"});
        row("translucent for icon",
            oneSet("'kind': 'icon', 'source': 'a.png', 'background': '#800a84ff'"), {});
        row("bad style", oneSet("'kind': 'mac', 'source': 'a.png', 'style': '14'"),
            {"sets[0].style: “14” is not 26 or 15"}, true);
        row("bad name", oneSet("'kind': 'mac', 'source': 'a.png', 'name': '.hidden'"),
            {"sets[0].name: “.hidden” cannot name a folder"});
        row("empty out", oneSet("'kind': 'mac', 'source': 'a.png', 'out': ''"),
            {"sets[0].out: is empty: it names no folder"}, true);
        row("dark without single-size", oneSet("'kind': 'ios', 'source': 'a.png', 'dark': 'd.png'"),
            {"sets[0].dark: needs \"single-size\": true"}, true);
        row("tinted with single-size off",
            oneSet("'kind': 'ios', 'source': 'a.png', 'single-size': false, 'tinted': 'auto'"),
            {"sets[0].tinted: needs \"single-size\": true"}, true);
        row("empty dark once the source is filled",
            oneSet("'kind': 'ios', 'source': 'a.png', 'single-size': true, 'dark': ''"),
            {"sets[0].dark: is empty: it names no file"}, true);
        row("empty dark while the source is to fill",
            oneSet("'kind': 'ios', 'source': '', 'single-size': true, 'dark': ''"), {});
        row("imageset without width", oneSet("'kind': 'imageset', 'source': 'a.png'"),
            {"sets[0]: imageset needs width"}, true);
        row("vision without back", oneSet("'kind': 'vision', 'source': 'a.png'"),
            {"sets[0]: vision needs background or back"}, true);
        row("vision with back", oneSet("'kind': 'vision', 'source': 'a.png', 'back': 'b.png'"), {});
        row("tv with back only", oneSet("'kind': 'tv', 'source': 'a.png', 'back': 'b.png'"),
            {"sets[0]: tv needs background"}, true);
        row("icon with both",
            oneSet("'kind': 'icon', 'source': 'a.png', 'back': 'b.png', 'background': 'red'"),
            {"sets[0]: icon takes background or back, not both"}, true);
        row("one layer", oneSet("'kind': 'icon', 'source': 'a.svg', 'layers': ['f.png']"),
            {"sets[0].layers: needs two layers or more, front first"}, true);
        row("layers and back",
            oneSet("'kind': 'tv', 'source': 'a.svg', 'background': 'red', 'back': 'b.png', "
                   "'layers': ['f.png', 'b.png']"),
            {"sets[0]: layers and back both give the back layer: give the back layer as the last "
             "of layers"},
            true);
        row("layers not an array",
            oneSet("'kind': 'vision', 'source': 'a.svg', 'background': 'red', 'layers': 'f.png'"),
            {"sets[0].layers: must be an array of strings, not a string"}, true);
        row("a layer not a file",
            oneSet("'kind': 'icon', 'source': 'a.svg', 'layers': ['f.png', 2, '']"),
            {"sets[0].layers[1]: must be a string, not a number",
             "sets[0].layers[2]: is empty: it names no file"},
            true);
        row("layer as the command names it",
            oneSet("'kind': 'icon', 'source': 'a.svg', 'layer': 'f.png', 'groups': 1"),
            {"sets[0].groups: must be true or false, not a number",
             "sets[0].layer: unknown key (sets of kind icon take: kind, source, out, name, "
             "background, back, layers, groups)"},
            true);
        row("groups for tv",
            oneSet("'kind': 'tv', 'source': 'a.svg', 'background': 'red', "
                   "'groups': true"),
            {"sets[0].groups: unknown key (sets of kind tv take: kind, source, out, name, "
             "background, back, layers)"},
            true);
        row("missing kind", oneSet("'source': 'a.png', 'frame': 2"),
            {"sets[0]: kind missing: ios, mac, watch, vision, tv, icon or imageset",
             "sets[0].frame: unknown key (no kind of set takes it)"},
            true);
        row("unknown kind", oneSet("'kind': 'android', 'source': 'a.png', 'width': 4"),
            {"sets[0].kind: “android” is not ios, mac, watch, vision, tv, icon or imageset"}, true);
        row("missing source", oneSet("'kind': 'mac'"), {"sets[0]: source missing"});
        row("no catalogue and no out",
            "{'sets': [{'kind': 'mac', 'source': 'a.png'}, "
            "{'kind': 'ios', 'source': 'a.png', 'out': 'B'}]}",
            {"sets[0]: no folder to write into"});
        // The comma missing before "kind": its quote is the 20th character of line 3, counted
        // in characters, not in bytes; the parser stops one inside it.
        row("syntax error", "{\n  'sets': [\n    {'name': 'Été' 'kind': 'mac'}\n  ]\n}",
            {"3:21: "});
        row("not an object", "[1]", {Here + ": must be one JSON object"});
        row("empty file", " \n", {Here + ": is empty"});
        row("no sets", "{'catalogue': 'A.xcassets'}", {"sets: missing"});
        row("empty sets", "{'catalogue': 'A.xcassets', 'sets': []}",
            {"sets: is empty: there is no set to write"}, true);
        row("a set not an object", "{'catalogue': 'A.xcassets', 'sets': ['ios']}",
            {"sets[0]: must be an object, not a string"}, true);
        row("catalogue not a string", "{'catalogue': 1, 'sets': [{'kind': 'mac', 'source': ''}]}",
            {"catalogue: must be a string, not a number"}, true);
        row("two ios sets of one name",
            "{'catalogue': 'A.xcassets', 'sets': [{'kind': 'ios', 'source': 'a.png'}, "
            "{'kind': 'mac', 'source': 'a.png'}, {'kind': 'ios', 'source': 'b.png', "
            "'name': 'appicon', 'out': './A.xcassets'}]}",
            {"sets[2]: writes the same ios set as sets[0]: “appicon” in /work/proj/A.xcassets"},
            true);
        row("an image set named after its source",
            "{'catalogue': 'A.xcassets', 'sets': [{'kind': 'imageset', 'source': "
            "'art/Logo.svg', 'width': 3}, {'kind': 'imageset', 'name': 'Logo', 'source': "
            "'b.png', 'width': 3}]}",
            {"sets[1]: writes the same imageset set as sets[0]"});
        row("same names apart",
            "{'catalogue': 'A.xcassets', 'sets': [{'kind': 'ios', 'source': 'a.png'}, "
            "{'kind': 'ios', 'source': 'a.png', 'out': 'B'}, {'kind': 'vision', 'source': "
            "'a.png', 'background': 'red'}, {'kind': 'icon', 'source': ''}]}",
            {});
    }

    void errors()
    {
        QFETCH(QByteArray, json);
        QFETCH(QStringList, errors);
        QFETCH(bool, exact);
        const QStringList found = Manifest::parse(json, Here).errors;
        QCOMPARE(found.size(), errors.size());
        for (qsizetype i = 0; i < errors.size(); ++i) {
            if (exact)
                QCOMPARE(found[i], errors[i]);
            else if (!found[i].startsWith(errors[i]))
                QFAIL(qPrintable(found[i] + " does not start with " + errors[i]));
        }
    }

    void readsSets()
    {
        const QByteArray json = q(
            "{\n"
            "  '$schema': 'https://assetsmith.dev/schema/assetsmith.schema.json',\n"
            "  'catalogue': 'App/../App/Assets.xcassets/',\n"
            "  'sets': [\n"
            "    {'kind': 'ios', 'source': 'art/icon.svg', 'background': '#0a84ff'},\n"
            "    {'kind': 'ios', 'name': 'AppIcon-Dark', 'source': './art//icon.svg', "
            "'single-size': true,\n"
            "     'dark': 'art/icon-dark.svg', 'tinted': 'auto'},\n"
            "    {'kind': 'mac', 'source': '/elsewhere/icon.png', 'style': '15'},\n"
            "    {'kind': 'imageset', 'name': 'Logo', 'source': 'art/logo.svg', 'width': 120},\n"
            "    {'kind': 'icon', 'source': '', 'out': '../shared/App', 'back': 'art/back.png'},\n"
            "    {'kind': 'tv', 'source': 'a.png', 'background': 'black', 'back': 'b.png', 'out': "
            "'.'},\n"
            "    {'kind': 'icon', 'name': 'Layered', 'source': 'a.svg', 'groups': true,\n"
            "     'layers': ['art/front.png', '../back.svg']}\n"
            "  ]\n"
            "}");
        const Manifest manifest = Manifest::parse(json, Here);
        QCOMPARE(manifest.errors, QStringList());
        QCOMPARE(manifest.path, Here);
        QCOMPARE(manifest.catalogue, "/work/proj/App/Assets.xcassets");
        // place|kind|name|source|folder|background|style|single|dark|tinted|back|width|height
        const QStringList expected{
            "sets[0]|ios||/work/proj/art/icon.svg|/work/proj/App/Assets.xcassets|#0a84ff||0||||0|0",
            "sets[1]|ios|AppIcon-Dark|/work/proj/art/icon.svg|/work/proj/App/Assets.xcassets|||1|"
            "/work/proj/art/icon-dark.svg|auto||0|0",
            "sets[2]|mac||/elsewhere/icon.png|/work/proj/App/Assets.xcassets||15|0||||0|0",
            "sets[3]|imageset|Logo|/work/proj/art/logo.svg|/work/proj/App/Assets.xcassets|||0||||"
            "120|0",
            "sets[4]|icon|||/work/shared/App|||0|||/work/proj/art/back.png|0|0",
            "sets[5]|tv||/work/proj/a.png|/work/proj|black||0|||/work/proj/b.png|0|0",
        };
        QStringList found;
        for (const Manifest::Set &set : manifest.sets)
            found << QStringList{set.place,
                                 set.kind,
                                 set.name,
                                 set.source,
                                 set.folder,
                                 set.background,
                                 set.style,
                                 QString::number(set.singleSize),
                                 set.dark,
                                 set.tinted,
                                 set.back,
                                 QString::number(set.width),
                                 QString::number(set.height)}
                         .join('|');
        QCOMPARE(found.mid(0, expected.size()), expected);
        QCOMPARE(manifest.sets.size(), 7);
        QCOMPARE(manifest.sets[6].layers,
                 QStringList({"/work/proj/art/front.png", "/work/back.svg"}));
        QVERIFY(manifest.sets[6].groups && !manifest.sets[5].groups);
        QCOMPARE(manifest.sets[5].layers, QStringList());
    }

    void readsFiles()
    {
        QTemporaryDir folder;
        QVERIFY(
            writeFile(folder.filePath("p/assetsmith.json"),
                      q("{'catalogue': 'A.xcassets', 'sets': [{'kind': 'mac', 'source': 'a'}]}")));
        const Manifest manifest = Manifest::read(folder.filePath("p/assetsmith.json"));
        QCOMPARE(manifest.errors, QStringList());
        QCOMPARE(manifest.sets.value(0).source, folder.filePath("p/a"));

        const Manifest missing = Manifest::read(folder.filePath("none.json"));
        QCOMPARE(missing.errors.size(), 1);
        QVERIFY(missing.errors[0].startsWith(folder.filePath("none.json") + ": cannot be read"));
        QCOMPARE(Manifest::read(folder.path()).errors.size(), 1);
    }

    // Every kind and every manifest option of the table is in the schema, each kind with the
    // options it takes and no other.
    void schema()
    {
        QJsonParseError error;
        const QJsonObject schema = QJsonDocument::fromJson(Manifest::schema(), &error).object();
        QCOMPARE(error.error, QJsonParseError::NoError);
        QCOMPARE(schema["$schema"].toString(), "https://json-schema.org/draft/2020-12/schema");
        QCOMPARE(schema["additionalProperties"], QJsonValue(false));
        const QJsonObject defs = schema["$defs"].toObject();
        QCOMPARE(defs["set"]["properties"]["kind"]["enum"].toArray(),
                 QJsonArray({"ios", "mac", "watch", "vision", "tv", "icon", "imageset"}));
        const QMap<QString, QStringList> keys{
            {"ios",
             {"background", "dark", "kind", "name", "out", "single-size", "source", "tinted"}},
            {"mac", {"kind", "name", "out", "source", "style"}},
            {"watch", {"background", "kind", "name", "out", "source"}},
            {"vision", {"back", "background", "kind", "layers", "name", "out", "source"}},
            {"tv", {"back", "background", "kind", "layers", "name", "out", "source"}},
            {"icon", {"back", "background", "groups", "kind", "layers", "name", "out", "source"}},
            {"imageset", {"height", "kind", "name", "out", "source", "width"}},
        };
        for (auto it = keys.begin(); it != keys.end(); ++it) {
            const QJsonObject kind = defs[it.key()].toObject();
            QCOMPARE(kind["properties"].toObject().keys(), it.value());
            QCOMPARE(kind["additionalProperties"], QJsonValue(false));
        }
        QCOMPARE(defs["mac"]["properties"]["style"]["enum"].toArray(), QJsonArray({"26", "15"}));
        QCOMPARE(defs["imageset"]["properties"]["width"]["type"].toString(), "integer");
        QCOMPARE(defs["ios"]["properties"]["single-size"]["type"].toString(), "boolean");
        QCOMPARE(defs["tv"]["properties"]["layers"]["type"].toString(), "array");
        QCOMPARE(defs["tv"]["properties"]["layers"]["items"]["type"].toString(), "string");
        QCOMPARE(defs["imageset"]["allOf"][0]["required"].toArray(), QJsonArray({"width"}));
        // The copy editors are pointed at is the one the table makes.
        QFile published(QStringLiteral(ASSETSMITH_TEST_DATA) +
                        "/../../docs/assetsmith.schema.json");
        QVERIFY(published.open(QIODevice::ReadOnly));
        QVERIFY2(published.readAll() == Manifest::schema(),
                 "docs/assetsmith.schema.json is stale: copy the build's assetsmith.schema.json");
    }

    // A started manifest, written out by hand: the keys in their order, the appearances left
    // to fill in.
    void startsText()
    {
        const Manifest::Started started =
            Manifest::start(Real + "/everettjf__RepoRead/src-tauri/gen/apple/Assets.xcassets",
                            Real + "/everettjf__RepoRead/assetsmith.json");
        QCOMPARE(started.refusal, QString());
        const QByteArray expected =
            q("{\n"
              "  '$schema': 'https://assetsmith.dev/schema/assetsmith.schema.json',\n"
              "  'catalogue': 'src-tauri/gen/apple/Assets.xcassets',\n"
              "  'sets': [\n"
              "    {'kind': 'ios', 'source': '', 'single-size': true, 'dark': '', 'tinted': ''}\n"
              "  ]\n"
              "}\n");
        QCOMPARE(started.json, expected);
        QCOMPARE(started.toFill, QStringList({"sets[0].source", "sets[0].dark", "sets[0].tinted"}));
        QCOMPARE(started.notes, QStringList());
    }

    // A catalogue made here for what the real ones lack: a document and a stack in groups, an
    // image set with only its 2x image, a link back up the tree.
    void startsGroups()
    {
        QTemporaryDir folder;
        const QString root = folder.filePath("A.xcassets");
        QVERIFY(writeFile(root + "/Group/Glass.icon/icon.json", "{}"));
        QVERIFY(writeFile(root + "/Group/Deep/AppIcon.solidimagestack/Contents.json", "{}"));
        QVERIFY(writeFile(root + "/Logo.imageset/Contents.json",
                          q("{'images': [{'idiom': 'universal', 'scale': '1x'}, "
                            "{'filename': 'l.png', 'idiom': 'universal', 'scale': '2x'}]}")));
        saveImage(root + "/Logo.imageset/l.png", QImage(301, 99, QImage::Format_ARGB32));
        QVERIFY(writeFile(root + "/Text.dataset/Contents.json", "{}"));
        QVERIFY(QFile::link(root + "/Group", root + "/Group/Deep/loop"));
        const Manifest::Started started = Manifest::start(root, folder.filePath("assetsmith.json"));
        const QByteArray expected =
            q("{\n"
              "  '$schema': 'https://assetsmith.dev/schema/assetsmith.schema.json',\n"
              "  'catalogue': 'A.xcassets',\n"
              "  'sets': [\n"
              "    {'kind': 'vision', 'source': '', 'out': 'A.xcassets/Group/Deep', 'back': ''},\n"
              "    {'kind': 'icon', 'name': 'Glass', 'source': '', 'out': 'A.xcassets/Group'},\n"
              "    {'kind': 'imageset', 'name': 'Logo', 'source': '', 'width': 151, 'height': 50}\n"
              "  ]\n"
              "}\n");
        QCOMPARE(started.json, expected);
        QCOMPARE(started.notes, QStringList({"Text.dataset: not a kind of set assetsmith writes"}));
        QCOMPARE(started.toFill, QStringList({"sets[0].source", "sets[0].back", "sets[1].source",
                                              "sets[2].source"}));
    }

    void refuses()
    {
        QTemporaryDir folder;
        QVERIFY(QDir().mkpath(folder.filePath("Plain")));
        QVERIFY(QDir().mkpath(folder.filePath("Empty.xcassets/Colors.colorset")));
        for (const QString &path : {folder.filePath("None.xcassets"), folder.filePath("Plain"),
                                    folder.filePath("Empty.xcassets")}) {
            const Manifest::Started started =
                Manifest::start(path, folder.filePath("assetsmith.json"));
            QVERIFY2(!started.refusal.isEmpty(), qPrintable(path));
            QCOMPARE(started.json, QByteArray());
        }
    }

    // Every real catalogue starts a manifest that reads back; the sets it leaves invalid are
    // the ones its notes name. Four are written out by hand.
    void startsReal()
    {
        const QStringList refused{
            "CodeEditApp__CodeEdit/CodeEdit/Preview Content/Preview Assets.xcassets",
            "CodeEditApp__CodeEdit/OpenWithCodeEdit/Media.xcassets",
            "apple__sample-backyard-birds/BackyardBirdsUI/Assets.xcassets",
            "apple__sample-backyard-birds/Widgets/Assets.xcassets",
            "home-assistant__iOS/Sources/Extensions/Widgets/Resources/Assets.xcassets",
            "home-assistant__iOS/Sources/Shared/Assets/Colors.xcassets",
        };
        const QMap<QString, QStringList> expected{
            {"apple__sample-backyard-birds/Multiplatform/Assets.xcassets",
             {"ios single-size", "mac", "imageset:Clouds"}},
            {"flutter__gallery/ios/Runner/Assets.xcassets", {"ios", "imageset:LaunchImage 1x1"}},
            {"home-assistant__iOS/WatchApp/Assets.xcassets",
             {"watch:WatchIcon", "watch:WatchIcon.beta", "watch:WatchIcon.dev"}},
            {"jellyfin__Swiftfin/Swiftfin tvOS/Resources/Assets.xcassets",
             {"tv", "imageset:jellyfin-blob-blue"}},
            {"kiwix__kiwix-apple/Support/Assets.xcassets",
             {"ios single-size", "mac", "imageset:Other in Categories",
              "imageset:StackExchange 90x90 in Categories", "imageset:TED in Categories",
              "imageset:Vikidia 128x69 in Categories", "imageset:Wikibooks 90x90 in Categories",
              "imageset:Wikinews 90x90 in Categories", "imageset:Wikipedia in Categories",
              "imageset:Wikiquote 90x90 in Categories", "imageset:Wikisource 90x90 in Categories",
              "imageset:Wikiversity 90x90 in Categories", "imageset:Wikivoyage 90x90 in Categories",
              "imageset:Wiktionary 90x90 in Categories", "imageset:GenericZimFile 43x43",
              "imageset:StarAdd 1044x993", "imageset:StarRemove 1044x993", "imageset:welcomeLogo"}},
        };
        // Sets left to be completed beside their sources, each with a note saying what to add.
        const QMap<QString, QStringList> expectedNotes{
            {"apple__sample-backyard-birds/Multiplatform/Assets.xcassets", {"sets[2]"}},
            {"jellyfin__Swiftfin/Swiftfin tvOS/Resources/Assets.xcassets", {"sets[0]", "sets[1]"}},
            {"kiwix__kiwix-apple/Support/Assets.xcassets",
             {"sets[2]", "sets[4]", "sets[8]", "sets[17]"}},
        };

        QStringList catalogues;
        for (QDirIterator it(Real, {"*.xcassets"}, QDir::Dirs, QDirIterator::Subdirectories);
             it.hasNext();)
            catalogues << QDir(Real).relativeFilePath(it.next());
        catalogues.sort();
        QCOMPARE(catalogues.size(), 32);
        QStringList refusals;
        for (const QString &catalogue : catalogues) {
            const QString path = Real + '/' + catalogue;
            const QString manifestPath = Real + "/assetsmith.json";
            const Manifest::Started started = Manifest::start(path, manifestPath);
            if (!started.refusal.isEmpty()) {
                refusals << catalogue;
                continue;
            }
            const Manifest manifest = Manifest::parse(started.json, manifestPath);
            QCOMPARE(manifest.catalogue, path);
            // Still without sources, the sets are read: what they lack is asked for with them.
            QCOMPARE(manifest.errors, QStringList());
            QStringList sources;
            for (const Manifest::Set &set : manifest.sets) {
                QCOMPARE(set.source, QString());
                sources << set.place + ".source";
            }
            QCOMPARE(started.toFill.filter(".source"), sources);
            if (expected.contains(catalogue)) {
                QStringList found;
                for (const Manifest::Set &set : manifest.sets)
                    found << described(set, path);
                QCOMPARE(found, expected[catalogue]);
                for (const QString &place : expectedNotes.value(catalogue))
                    QVERIFY2(std::any_of(started.notes.begin(), started.notes.end(),
                                         [&](const QString &note) {
                                             return note.startsWith(place + ": ");
                                         }),
                             qPrintable(catalogue + ": " + place));
            }
        }
        QCOMPARE(refusals, refused);
    }
};

QTEST_GUILESS_MAIN(ManifestTest)
#include "tst_manifest.moc"
