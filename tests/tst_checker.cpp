#include "TestFiles.h"
#include "catalogue/CatalogueChecker.h"
#include "catalogue/ShadowedSets.h"

#include <QBuffer>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtEndian>

#include <zlib.h>

// The checker on its own, on catalogues built here and on real ones of shipping apps.

namespace {

// A 1024 by 1024 PNG of the colour type at 8 bits a sample, built by hand: the chunks named
// (PLTE, tRNS, IDAT) in that order between IHDR and IEND.
QByteArray handBuiltPng(int colourType, const QStringList &chunks)
{
    const auto chunk = [](const QByteArray &type, const QByteArray &body) {
        QByteArray length(4, '\0'), crc(4, '\0');
        qToBigEndian(quint32(body.size()), length.data());
        const QByteArray typed = type + body;
        qToBigEndian(quint32(crc32(0, reinterpret_cast<const Bytef *>(typed.constData()),
                                   uInt(typed.size()))),
                     crc.data());
        return length + typed + crc;
    };
    const int samples[] = {1, 0, 3, 1, 2, 0, 4};
    const QByteArray header = QByteArray::fromHex("000004000000040008") + char(colourType) +
                              QByteArray(3, '\0'); // 1024 by 1024 at 8 bits
    const QByteArray rows(1024 * (1 + 1024 * samples[colourType]), '\0');
    const QMap<QString, QByteArray> bodies{
        {"PLTE", QByteArray(3, '\xff')},
        // a grey or RGB sample's two bytes, or the one palette entry's alpha
        {"tRNS", QByteArray(colourType == 3 ? 1 : 2 * samples[colourType], '\0')},
        {"IDAT", qCompress(rows).mid(4)}}; // a zlib stream after Qt's length
    QByteArray png = QByteArray("\x89PNG\r\n\x1a\n") + chunk("IHDR", header);
    for (const QString &name : chunks)
        png += chunk(name.toLatin1(), bodies.value(name));
    return png + chunk("IEND", {});
}

// A file's bytes: "png 40x40" (also "jpeg", "webp") is a card stored with alpha; a third word
// "clear" gives it transparent corners, "cut" truncates it. "chunks 3 PLTE,tRNS,IDAT" is a PNG
// built by hand. Any other text is the file's bytes.
QByteArray bytesFor(const QString &text)
{
    const QStringList words = text.split(' ');
    if (words[0] == "chunks")
        return handBuiltPng(words.value(1).toInt(), words.value(2).split(','));
    if (!QStringList{"png", "jpeg", "webp"}.contains(words[0]))
        return text.toUtf8();
    const QStringList sides = words.value(1).split('x');
    const QString mode = words.value(2);
    const QImage image = card(QSize(sides[0].toInt(), sides.value(1).toInt()), mode == "clear");
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, words[0].toLatin1().constData());
    if (mode == "cut")
        bytes.chop(20);
    return bytes;
}

// A set's Contents.json from "list: entry; entry..." and the files its entries name, in order.
// An entry is a file name then words: "2x" is the scale, "20x20" the size, "key=value" any key
// (a value in [] is JSON), any other word the idiom.
QStringList set(const QString &folder, const QString &contents, const QStringList &files = {})
{
    QJsonArray list;
    QStringList names;
    for (const QString &entry : contents.section(": ", 1).split("; ")) {
        const QStringList words = entry.split(' ');
        QJsonObject object{{"filename", words[0]}};
        for (const QString &word : words.mid(1)) {
            const QString key = word.section('=', 0, 0), value = word.section('=', 1);
            if (value.startsWith('['))
                object[key] = QJsonDocument::fromJson(value.toUtf8()).array();
            else if (!value.isEmpty())
                object[key] = value;
            else
                object[!word.contains('x')  ? "idiom"
                       : word.endsWith('x') ? "scale"
                                            : "size"] = word;
        }
        list << object;
        if (!names.contains(words[0]))
            names << words[0];
    }
    QStringList all{folder + "/Contents.json " +
                    QJsonDocument(QJsonObject{{contents.section(':', 0, 0), list}}).toJson()};
    for (qsizetype i = 0; i < files.size(); ++i)
        all << folder + '/' + names[i] + ' ' + files[i];
    return all;
}

const QString Dark = R"({"appearance":"luminosity","value":"dark"})";
const QString High = R"({"appearance":"contrast","value":"high"})";

// An Icon Composer document's icon.json with one group of the given layers: the group's keys are
// those of a new group in the app, the root's "fill" unless `root` says otherwise.
QString iconJson(const QString &layers = R"({"image-name":"fore.svg","name":"fore"})",
                 const QString &root = R"("fill":"automatic")", const QString &group = {})
{
    return "{" + root + R"(,"groups":[{"layers":[)" + layers + "]" + group +
           R"(,"shadow":{"kind":"neutral","opacity":0.5},"translucency":{"enabled":true,"value":0.5}}],)"
           R"("supported-platforms":{"circles":["watchOS"],"squares":"shared"}})";
}

const QString Svg = R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 1024 1024"/>)";

// Writes the row's files, each "path description" (as in bytesFor, or "-> TARGET" for a
// symbolic link), into the folder and checks it: every finding "path code level" in the order it
// is walked, each message holding the part after the "|" and no doubled space.
void checkBuilt(const QString &folder)
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    const QString root = dir.filePath(folder);
    for (const QString &file : files) {
        const QString path = root + '/' + file.section(' ', 0, 0), what = file.section(' ', 1);
        if (what.startsWith("-> "))
            QVERIFY(QDir().mkpath(QFileInfo(path).path()) && QFile::link(what.mid(3), path));
        else
            QVERIFY(writeFile(path, bytesFor(what)));
    }
    QStringList found;
    for (const CatalogueChecker::Finding &finding : CatalogueChecker::check({root}).findings) {
        const QString part = expected.value(found.size()).section('|', 1);
        const bool said = finding.message.contains(part) && !finding.message.contains("  ");
        found << QDir(root).relativeFilePath(finding.path) + ' ' + finding.problem + ' ' +
                     CatalogueChecker::levelName(finding.level) +
                     (said && part.isEmpty() ? "" : '|' + (said ? part : finding.message));
    }
    QCOMPARE(found, expected);
}

} // namespace

class CheckerTest : public QObject
{
    Q_OBJECT
private slots:
    // A finding missed, made up, misplaced or misworded: each row is a catalogue's files, as in
    // checkBuilt, and every finding it must give, joined by ", ".
    void builtCatalogues_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char *name, const QStringList &files, const QString &expected) {
            QTest::newRow(name) << files << expected.split(", ", Qt::SkipEmptyParts);
        };
        const QString stack = "B.brandassets/I.imagestack/F.imagestacklayer";
        const QString vision = "V.solidimagestack/F.solidimagestacklayer";
        const QString pair = "images: a.png universal 1x; b.png universal 2x";
        // What Xcode takes without a word: every image format an image set may hold, watch
        // images apart by screen width, a 2x within a pixel of its 1x, one file in two mac
        // slots, a transparent dark App Store icon, a stack layer smaller than its stack.
        row("valid",
            QStringList{R"(Contents.json {"info":{"version":1}})", stack + "/Contents.json {}"} +
                set("Any.imageset",
                    "images: a.pdf universal; b.svg mac; c.jpg iphone; d.heic ipad; e.png tv 1x; "
                    "f.png tv 2x; g.png watch 2x screen-width=<=145; h.png watch 2x "
                    "screen-width=>183",
                    {"%PDF-1.4", "<svg/>", "jpeg 8x8", "....ftypheic", "png 21x20", "png 43x40",
                     "png 8x8", "png 8x8"}) +
                set("I.appiconset",
                    "images: i.png mac 16x16 2x; i.png mac 32x32 1x; d.png universal 1024x1024 "
                    "platform=ios appearances=[" +
                        Dark + "]",
                    {"png 32x32", "png 1024x1024 clear"}) +
                set("B.brandassets", "assets: I.imagestack tv 400x240 role=primary-app-icon") +
                set("B.brandassets/I.imagestack", "layers: F.imagestacklayer") +
                set(stack + "/Content.imageset", "images: f.png tv 2x", {"png 432x432"}),
            "");
        row("missing contents", {"L.imageset/a.png png 8x8"},
            "L.imageset/Contents.json missing-contents error|L.imageset");
        row("unknown key", {R"(L.imageset/Contents.json {"images":[],"colours":[]})"},
            "L.imageset/Contents.json unknown-key note|colours");
        row("image set files by their bytes",
            set("L.imageset", pair + "; c.png universal 3x; d.png iphone; d.png ipad",
                {"not an image", "png 8x8 cut", "webp 8x8"}),
            "L.imageset/a.png not-image error, L.imageset/b.png not-image error|damaged, "
            "L.imageset/c.png wrong-format warning|WebP, L.imageset/d.png missing-file error");
        row("app icon slots",
            set("I.appiconset",
                "images: a.jpg iphone 20x20 2x; b.png iphone 20x20 3x; c.png ipad 83.5x83.5 2x; "
                "d.png iphone nanxnan 2x",
                {"jpeg 40x40", "%PDF-1.4", "png 166x166", "png 8x8"}),
            "I.appiconset/a.jpg wrong-format warning|JPEG, I.appiconset/b.png not-image error|PDF, "
            "I.appiconset/c.png wrong-size error|167 by 167, "
            "I.appiconset/Contents.json bad-json error|iphone nanxnan 2x");
        row("tvOS and visionOS",
            set("B.brandassets", "assets: T.imageset tv 1920x720 role=top-shelf-image; "
                                 "X.imagestack tv 400x240 role=primary-app-icon") +
                set("B.brandassets/T.imageset", "images: t.png tv 2x", {"png 1920x720"}) +
                set("V.solidimagestack", "layers: F.solidimagestacklayer") +
                set(vision + "/Content.imageset", "images: f.png vision 2x", {"png 512x512"}) +
                QStringList{vision + "/Contents.json {}",
                            "B.brandassets/Y.imageset/Contents.json {}"},
            "B.brandassets/T.imageset/t.png wrong-size error|3840 by 1440, "
            "B.brandassets/X.imagestack missing-file error, "
            "B.brandassets/Y.imageset unassigned warning, " +
                vision + "/Content.imageset/f.png wrong-size error|1024 by 1024");
        row("App Store icons with alpha",
            set("I.appiconset",
                "images: s.png universal 1024x1024 platform=ios; "
                "w.png watch-marketing 1024x1024 1x",
                {"png 1024x1024 clear", "png 1024x1024"}),
            "I.appiconset/s.png marketing-alpha error|alpha channel, "
            "I.appiconset/w.png marketing-alpha error|alpha channel");
        // Alpha from the header alone, each colour type with and without a tRNS chunk; one
        // after the image data is out of place, and decoders drop it.
        for (const QString png : {"0 IDAT|", "0 tRNS,IDAT|tRNS", "2 IDAT|", "2 tRNS,IDAT|tRNS",
                                  "2 IDAT,tRNS|", "3 PLTE,IDAT|", "3 PLTE,tRNS,IDAT|tRNS",
                                  "4 IDAT|alpha channel", "6 IDAT|alpha channel"})
            row(qPrintable("App Store icon, colour type " + png.section('|', 0, 0)),
                set("I.appiconset", "images: s.png ios-marketing 1024x1024 1x",
                    {"chunks " + png.section('|', 0, 0)}),
                png.endsWith('|')
                    ? ""
                    : "I.appiconset/s.png marketing-alpha error|" + png.section('|', 1));
        row("data set of any bytes",
            set("D.dataset",
                "data: d.json universal universal-type-identifier=public.json; e.bin universal; "
                "f.png universal universal-type-identifier=public.png",
                {R"({"a":1})", "png 8x8 cut"}),
            "D.dataset/f.png missing-file error");
        // Found on a Mac's disk, then judged as found.
        row("names in another case",
            set("L.imageset", pair) +
                QStringList{"L.imageset/A.png png 8x8", "L.imageset/b.PNG jpeg 16x16"},
            "L.imageset/A.png case-mismatch warning|Contents.json names a.png but the file is "
            "A.png, L.imageset/b.PNG case-mismatch warning, "
            "L.imageset/b.PNG wrong-format warning|JPEG");
        // Back to the catalogue, to a set checked by its own path, to a set only a link shows,
        // out of the catalogue, and to a folder holding a set checked through another link:
        // links come after the real folders, and each set is checked once.
        row("links",
            set("G/L.imageset", "images: a.png universal") +
                set("Kept.old/K.imageset", "images: k.png universal") +
                QStringList{"G/Up -> ..", "Alias.imageset -> G/L.imageset",
                            "K.imageset -> Kept.old/K.imageset", "Out.imageset -> ../O.imageset",
                            "Stash -> Kept.old", "../O.imageset/Contents.json {}"},
            "G/L.imageset/a.png missing-file error, Kept.old unknown-folder note, "
            "Alias.imageset skipped-link note|checked already, "
            "G/Up skipped-link note|checked already, K.imageset/k.png missing-file error, "
            "Out.imageset skipped-link note|outside");
        row("same slot twice, appearances in another order",
            set("L.imageset",
                "images: a.png universal appearances=[" + Dark + "," + High +
                    "]; b.png universal appearances=[" + High + "," + Dark + "]",
                {"png 8x8", "png 8x8"}),
            "L.imageset/Contents.json duplicate-slot warning|universal high dark");
        row("file no slot names",
            set("L.imageset", pair, {"png 8x8", "png 16x16"}) +
                QStringList{"L.imageset/c.png png 8x8", "L.imageset/README.md some words"},
            "L.imageset/c.png unassigned warning");
        row("2x not twice its 1x", set("L.imageset", pair, {"png 20x20", "png 30x30"}),
            "L.imageset/b.png scale-mismatch note|b.png is 30 by 30 pixels; at 2x beside a.png "
            "(20 by 20) it would be 40 by 40");
    }

    void builtCatalogues() { checkBuilt("A.xcassets"); }

    // Every catalogue of the real apps: a valid one gives no error, a broken one exactly its
    // known problems. Each listed finding is "file code"; the App Store icons with an alpha
    // channel are counted apart, as most of these apps store opaque icons with alpha.
    void realCatalogues_data()
    {
        QTest::addColumn<QStringList>("named");
        QTest::addColumn<int>("storeIconsWithAlpha");
        QStringList macWebP;
        for (int n : {16, 32, 64, 128, 256, 512, 1024})
            macWebP << QString("%1-mac.png wrong-format").arg(n);
        QTest::newRow("apple__sample-backyard-birds") << QStringList() << 0;
        QTest::newRow("artsy__energy") << QStringList() << 0;
        // Capacitor's splash is 2732 pixels at every scale on purpose: advice, not an error.
        QTest::newRow("Beaver-Notes__Beaver-pocket")
            << QStringList{"Default@2x~universal~anyany.png scale-mismatch",
                           "Default@3x~universal~anyany.png scale-mismatch",
                           "Default@2x~universal~anyany-dark.png scale-mismatch",
                           "Default@3x~universal~anyany-dark.png scale-mismatch"}
            << 9;
        QTest::newRow("CodeEditApp__CodeEdit") << QStringList{"icon.iconset unknown-folder"} << 0;
        QTest::newRow("everettjf__RepoRead")
            << QStringList{"appicon-ios.png missing-file", "appicon-ios 1.png missing-file",
                           "appicon-ios 2.png missing-file"}
            << 0;
        QTest::newRow("flutter__gallery") << QStringList{"LaunchImage@3x.png scale-mismatch"} << 1;
        QTest::newRow("home-assistant__iOS") << macWebP + macWebP + macWebP << 31;
        QTest::newRow("jellyfin__Swiftfin") << QStringList() << 25;
        QTest::newRow("kiwix__kiwix-apple") << QStringList{"1024.png wrong-format"} + macWebP << 0;
        QTest::newRow("minchiaHuang__Vision-Pro")
            << QStringList{"world_calm_communal.jpeg missing-file"} << 1;
        QTest::newRow("Ranchero-Software__NetNewsWire")
            << QStringList{"FeedIcon.png scale-mismatch", "FeedIcon 1.png scale-mismatch"} << 2;
        QTest::newRow("rxhanson__Rectangle")
            << QStringList{"RectangleStatusTemplate.png scale-mismatch",
                           "keyboardToolbarTemplate.png scale-mismatch",
                           "snapAreaTemplate.png scale-mismatch"}
            << 0;
        QTest::newRow("zulip__zulip-mobile") << QStringList() << 1;
    }

    void realCatalogues()
    {
        QFETCH(QStringList, named);
        QFETCH(int, storeIconsWithAlpha);
        const QString root = QStringLiteral(ASSETSMITH_REAL_CATALOGUES);
        if (!QFileInfo(root).isDir())
            QSKIP("the real catalogues are not here");
        const QString repository = root + QLatin1Char('/') + QTest::currentDataTag();
        QVERIFY(QFileInfo(repository).isDir());
        const CatalogueChecker::Result result = CatalogueChecker::check({repository});
        QVERIFY(result.setsChecked > 0);
        QStringList found;
        int alpha = 0;
        for (const CatalogueChecker::Finding &finding : result.findings) {
            if (finding.problem == QLatin1String("marketing-alpha"))
                ++alpha;
            else
                found << QFileInfo(finding.path).fileName() + ' ' + finding.problem;
        }
        found.sort();
        named.sort();
        QCOMPARE(found, named);
        QCOMPARE(alpha, storeIconsWithAlpha);
    }

    // Each row is a folder with an Icon Composer document A.icon: its icon.json (none if empty),
    // Assets/fore.svg, any further files and every finding as in builtCatalogues, one that starts
    // with "|" a wrong-type error in icon.json.
    void builtIcons_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char *name, const QString &json, QStringList expected,
                            const QStringList &more = {}) {
            const QStringList files{"A.icon/icon.json " + json, "A.icon/Assets/fore.svg " + Svg};
            for (QString &finding : expected)
                if (finding.startsWith('|'))
                    finding.prepend("A.icon/icon.json wrong-type error");
            QTest::newRow(name) << files.mid(json.isEmpty() ? 1 : 0) + more << expected;
        };
        const auto layer = [](const QString &keys) {
            return iconJson(R"({"image-name":"fore.svg",)" + keys + "}");
        };
        // A layer's fill specialized to each value in turn, "value|problem;...": fills as JSON, or
        // with `solid` colours, each given as a solid fill. Each invalid one gives a wrong-type
        // error with its problem, in order.
        const auto fills = [&](const char *name, bool solid, const QString &table) {
            QStringList entries, expected;
            for (const QString &item : table.split(';')) {
                const QString value = item.section('|', 0, 0), problem = item.section('|', 1);
                if (!problem.isEmpty())
                    expected << '|' + problem;
                entries << R"({"value":)" + (solid ? "{\"solid\":\"" + value + "\"}" : value) + "}";
            }
            row(name, layer(R"("fill-specializations":[)" + entries.join(',') + "]"), expected);
        };
        // Keys only public descriptions name (realIcons holds the forms real documents use).
        row("every form",
            iconJson(R"({"image-name":"fore.svg","asset-mirroring":{}})",
                     R"("features":["refractivity"],"implicit-asset-mirroring":false,)"
                     R"("languages":["en"])",
                     R"(,"refractivity":{},"specular-highlight-placement":"inside",)"
                     R"("hidden-specializations":[{"localization":"en","value":true}])"),
            {});
        row("no icon.json", "", {"A.icon/icon.json missing-contents error|A.icon"});
        row("icon.json not JSON", R"({"groups": [)", {"A.icon/icon.json bad-json error"});
        row("icon.json a list", "[]", {"A.icon/icon.json bad-json error|not an object"});
        row("groups not a list", R"({"groups":{}})", {"|top level: “groups” is not a list"});
        row("group without layers", R"({"groups":[{}]})", {"|groups[0]: there is no “layers”"});
        row("layer without image", iconJson("{}"), {"|layers[0]: the layer has neither"});
        row("image plain and specialized", layer(R"("image-name-specializations":[])"),
            {"|“image-name” and “image-name-specializations” together"});
        fills("colours", true,
              "display-p3:1,0.5,0,1|;srgb 1,0,0,1|not of the form;cmyk:0,0,0,1|is no colour space;"
              "extended-linear-gray:0.5,1|;srgb:1,0,0|takes 4 components;extended-srgb:2,-1,0,1|;"
              "srgb:1,1,1,x|is not a number;srgb:1, 0,0,1|is not a number;named:system-mint|;"
              "named:red|is no system colour;named:system-chartreuse|is no system colour");
        fills("fills", false,
              R"("white"|is not a fill;{"solid":"gray:1,1","linear-gradient":[]}|is not a fill;)"
              R"({"solid":"gray:1,1","orientation":{}}|has an “orientation”, which only;)"
              R"({"solid":"gray:1,1","hue":1}|holds “hue”;)"
              R"({"linear-gradient":["gray:1,1"]}|has a “linear-gradient” that is not;)"
              R"({"linear-gradient":["gray:1,1","gray:0,1"],"orientation":[]}|)"
              R"(has an “orientation” that is not)");
        row("no specialized value", layer(R"("glass-specializations":[{}])"), {"|has no “value”"});
        row("platforms", R"({"groups":[],"supported-platforms":{"squares":1}})", {"|“squares”"});
        row("position half given", layer(R"("position":{"scale":2})"), {"|“position” is not"});
        row("images not in Assets", iconJson(R"({"image-name":"gone.png"},{"image-name":"../x"})"),
            {"A.icon/Assets/gone.png missing-file error|groups[0].layers[0]",
             "A.icon/x missing-file error|the file ../x named in icon.json"});
        row("layer image formats",
            iconJson(R"({"image-name":"fore.png"},{"image-name":"fore.jpg"},)"
                     R"({"image-name":"fore.heic"},{"image-name":"fore.pdf"},)"
                     R"({"image-name":"fore.webp"})"),
            {"A.icon/Assets/fore.png not-image error|no image format",
             "A.icon/Assets/fore.pdf not-image error|PDF",
             "A.icon/Assets/fore.webp not-image error|WebP"},
            {"A.icon/Assets/fore.png not an image", "A.icon/Assets/fore.jpg jpeg 8x8",
             "A.icon/Assets/fore.heic ....ftypheic", "A.icon/Assets/fore.pdf %PDF-1.4",
             "A.icon/Assets/fore.webp webp 8x8"});
        row("image name in another case", iconJson(R"({"image-name":"Fore.svg"})"),
            {"A.icon/Assets/fore.svg case-mismatch warning|icon.json at groups[0].layers[0] "
             "names Fore.svg"});
        row("unknown key", layer(R"("foo":1)"), {"A.icon/icon.json unknown-key note|key “foo”"});
        row("name specialized", layer(R"("name-specializations":[])"),
            {"A.icon/icon.json unknown-key note|“name-specializations”"});
        row("same-name app icon set", iconJson(),
            {"A.appiconset icon-shadows-set warning|A.icon beside it: Xcode uses the .icon"},
            {R"(A.appiconset/Contents.json {"images":[]})"});
        row("in a catalogue", iconJson(), {"X.xcassets/B.icon/Assets/fore.svg missing-file error"},
            {"X.xcassets/B.icon/icon.json " + iconJson()});
    }

    void builtIcons() { checkBuilt("P"); }

    // The sets a .icon in P takes the place of, as the exporter asks for them too: beside it and
    // in P's catalogues, their groups at any depth, each once though a group links back to its
    // catalogue; none inside another asset, of another name, or in a catalogue further down.
    void shadowedSets()
    {
        QTemporaryDir dir;
        const QString p = dir.filePath("P");
        for (const char *set : {"A.appiconset", "X.xcassets/G/H/A.appiconset",
                                "X.xcassets/B.appiconset", "X.xcassets/S.imageset/A.appiconset",
                                "Y.xcassets/A.appiconset", "Sub/Z.xcassets/A.appiconset"})
            QVERIFY(QDir().mkpath(p + '/' + set));
        QVERIFY(QFile::link("..", p + "/X.xcassets/G/Back"));
        QCOMPARE(ShadowedSets::appIconSetsShadowedBy(p, "A"),
                 QStringList({p + "/A.appiconset", p + "/X.xcassets/G/H/A.appiconset",
                              p + "/Y.xcassets/A.appiconset"}));
    }

    // Each Icon Composer document of the real apps (their sources list 39) gives no finding.
    void realIcons()
    {
        const QString root = QStringLiteral(ASSETSMITH_REAL_ICONS);
        if (!QFileInfo(root).isDir())
            QSKIP("the real Icon Composer documents are not here");
        const CatalogueChecker::Result result = CatalogueChecker::check({root});
        for (const CatalogueChecker::Finding &finding : result.findings)
            QFAIL(qPrintable(finding.path + ": " + finding.problem + ": " + finding.message));
        QCOMPARE(result.setsChecked, 39);
    }
};

QTEST_GUILESS_MAIN(CheckerTest)
#include "tst_checker.moc"
