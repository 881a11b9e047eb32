#include "TestFiles.h"
#include "catalogue/CatalogueChecker.h"
#include "catalogue/IconBundleModel.h"

#include <QBuffer>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtEndian>

#include <zlib.h>

// The checker on its own, on catalogues built here and on real ones of shipping apps.

namespace {

// A file's bytes: "png 40x40" (also "jpeg", "webp") is a card stored with alpha; a third word
// "clear" gives it transparent corners, "trns" makes its white transparent through a tRNS chunk
// in an RGB PNG, "cut" truncates it. Any other text is the file's bytes.
QByteArray bytesFor(const QString &text)
{
    const QStringList words = text.split(' ');
    if (!QStringList{"png", "jpeg", "webp"}.contains(words[0]))
        return text.toUtf8();
    const QStringList sides = words.value(1).split('x');
    const QString mode = words.value(2);
    QImage image = card(QSize(sides[0].toInt(), sides.value(1).toInt()), mode == "clear");
    if (mode == "trns")
        image = image.convertToFormat(QImage::Format_RGB888);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, words[0].toLatin1().constData());
    if (mode == "cut")
        bytes.chop(20);
    if (mode == "trns") {
        QByteArray chunk("\0\0\0\6tRNS\0\xff\0\xff\0\xff\0\0\0\0", 18);
        const auto *body = reinterpret_cast<const Bytef *>(chunk.constData() + 4);
        qToBigEndian(quint32(crc32(0, body, 10)), chunk.data() + 14);
        bytes.insert(33, chunk);
    }
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

} // namespace

class CheckerTest : public QObject
{
    Q_OBJECT
private slots:
    // Each row is a catalogue, one "path description" a file, its paths relative to the catalogue,
    // and every finding it must give in the order it is walked, "path code level", then after a
    // "|" part of its message, joined by ", ".
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
            QStringList{
                R"(Contents.json {"info":{"version":1}})",
                R"(Tint.colorset/Contents.json {"colors":[{"idiom":"universal","color":{"color-space":"srgb","components":{"red":"1.000","green":"0.5","blue":"0x10","alpha":"1"}}}]})",
                stack + "/Contents.json {}"} +
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
        row("contents not json", {R"(L.imageset/Contents.json {"images": [)"},
            "L.imageset/Contents.json bad-json error");
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
                "images: s.png universal 1024x1024 platform=ios; t.png ios-marketing 1024x1024 1x; "
                "w.png watch-marketing 1024x1024 1x",
                {"png 1024x1024 clear", "png 1024x1024 trns", "png 1024x1024"}),
            "I.appiconset/s.png marketing-alpha error|transparent pixels, "
            "I.appiconset/t.png marketing-alpha error|transparent pixels, "
            "I.appiconset/w.png marketing-alpha error|without alpha");
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
        row("stray iconset", {"icon.iconset/icon_16x16.png png 16x16"},
            "icon.iconset unknown-folder note|.iconset");
    }

    void builtCatalogues()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QString root = dir.filePath("A.xcassets");
        for (const QString &file : files)
            QVERIFY(
                writeFile(root + '/' + file.section(' ', 0, 0), bytesFor(file.section(' ', 1))));
        const QList<CatalogueChecker::Finding> findings = CatalogueChecker::check({root}).findings;
        QStringList found, codes;
        for (const CatalogueChecker::Finding &finding : findings)
            found << QDir(root).relativeFilePath(finding.path) + ' ' + finding.problem + ' ' +
                         CatalogueChecker::levelName(finding.level);
        for (const QString &finding : expected)
            codes << finding.section('|', 0, 0);
        QCOMPARE(found, codes);
        for (qsizetype i = 0; i < findings.size(); ++i) {
            const QString &message = findings[i].message;
            QVERIFY2(message.contains(expected[i].section('|', 1)) && !message.contains("  "),
                     qPrintable(message));
        }
    }

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

    // Each row is a folder with an Icon Composer document A.icon: its files, "path <- description"
    // (as in bytesFor; real asset names have spaces), and every finding "path code level|part of
    // the message".
    void builtIcons_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("expected");
        const auto row = [](const char *name, const QStringList &files, const QString &expected) {
            QTest::newRow(name) << files << expected.split(", ", Qt::SkipEmptyParts);
        };
        const QString fore = "A.icon/Assets/fore.svg <- " + Svg;
        row("valid", {"A.icon/icon.json <- " + iconJson(), fore}, "");
        // The forms real documents use, and an image no layer names.
        row("every form real documents use",
            {"A.icon/icon.json <- " +
                 iconJson(
                     R"({"blend-mode-specializations":[{"appearance":"tinted","value":"overlay"}],)"
                     R"("fill-specializations":[{"value":{"automatic-gradient":"gray:0.50000,1.00000"}},)"
                     R"({"appearance":"dark","value":"none"},{"idiom":"watchOS","value":{"solid":)"
                     R"("extended-srgb:0.00000,0.53333,1.00000,1.00000"}}],"glass":true,"hidden":false,)"
                     R"("image-name-specializations":[{"value":"fore.svg"},{"appearance":"dark",)"
                     R"("value":"Dark (1).png"}],"name":"fore","opacity":0,"position":{"scale":2,)"
                     R"("translation-in-points":[0,-236.5]}},{"image-name":"fore.svg","name":"fore"})",
                     R"("color-space-for-untagged-svg-colors":"display-p3","fill-specializations":[)"
                     R"({"value":{"linear-gradient":["display-p3:1.00000,0.50000,0.00000,1.00000",)"
                     R"("extended-gray:0.20000,1.00000"],"orientation":{"start":{"x":0.5,"y":0},)"
                     R"("stop":{"x":0.5,"y":0.7}}}},{"appearance":"dark","value":"system-dark"}])",
                     R"(,"blur-material":null,"lighting":"individual","name":"Group 1","specular":true,)"
                     R"("position-specializations":[{"idiom":"square","value":{"scale":1,)"
                     R"("translation-in-points":[0,0]}}])"),
             fore, "A.icon/Assets/Dark (1).png <- png 8x8", "A.icon/Assets/spare.svg <- " + Svg},
            "");
        row("keys only public descriptions name",
            {"A.icon/icon.json <- " +
                 iconJson(
                     R"({"asset-mirroring":{"mirrorable":true},"image-name":"fore.svg"})",
                     R"("features":["refractivity"],"fill":{"solid":"named:system-blue"},)"
                     R"("implicit-asset-mirroring":false,"languages":["en"])",
                     R"(,"refractivity":{"enabled":true},"specular-highlight-placement":)"
                     R"("inside","hidden-specializations":[{"localization":"en","value":true}])"),
             fore},
            "");
        row("no icon.json", {fore}, "A.icon/icon.json missing-contents error|A.icon");
        row("icon.json not JSON", {R"(A.icon/icon.json <- {"groups": [)", fore},
            "A.icon/icon.json bad-json error");
        row("icon.json a list", {"A.icon/icon.json <- []", fore},
            "A.icon/icon.json bad-json error|not an object");
        row("groups not a list", {R"(A.icon/icon.json <- {"fill":"automatic","groups":{}})"},
            "A.icon/icon.json wrong-type error|top level: “groups” is not a list");
        row("group without layers",
            {R"(A.icon/icon.json <- {"fill":"automatic","groups":[{"name":"Group"}]})"},
            "A.icon/icon.json wrong-type error|groups[0]: there is no “layers”");
        row("layer without image", {"A.icon/icon.json <- " + iconJson(R"({"name":"fore"})"), fore},
            "A.icon/icon.json wrong-type error|groups[0].layers[0]: the layer has neither");
        row("layer with image and its specializations",
            {"A.icon/icon.json <- " +
                 iconJson(R"({"image-name":"fore.svg","image-name-specializations":[{"value":)"
                          R"("fore.svg"}]})"),
             fore},
            "A.icon/icon.json wrong-type error|“image-name” and “image-name-specializations”");
        row("colour with three components",
            {"A.icon/icon.json <- " +
                 iconJson(R"({"image-name":"fore.svg"})",
                          R"("fill":{"solid":"srgb:1.00000,0.00000,0.00000"})"),
             fore},
            "A.icon/icon.json wrong-type error|top level: “fill” has the colour "
            "“srgb:1.00000,0.00000,0.00000”: srgb takes 4 components");
        row("fill keyword unknown",
            {"A.icon/icon.json <- " +
                 iconJson(
                     R"({"image-name":"fore.svg","fill-specializations":[{"value":"white"}]})"),
             fore},
            "A.icon/icon.json wrong-type error|groups[0].layers[0].fill-specializations[0]: "
            "“value” is not a fill");
        row("specialization without value",
            {"A.icon/icon.json <- " +
                 iconJson(R"({"image-name":"fore.svg","glass-specializations":[{"appearance":)"
                          R"("dark"}]})"),
             fore},
            "A.icon/icon.json wrong-type error|glass-specializations[0] has no “value”");
        row("platforms of the wrong shape",
            {R"(A.icon/icon.json <- {"groups":[],"supported-platforms":{"squares":true}})"},
            "A.icon/icon.json wrong-type error|“supported-platforms” has “squares”");
        row("position without translation",
            {"A.icon/icon.json <- " +
                 iconJson(R"({"image-name":"fore.svg","position":{"scale":2}})"),
             fore},
            "A.icon/icon.json wrong-type error|“position” is not");
        row("missing image", {"A.icon/icon.json <- " + iconJson(R"({"image-name":"gone.png"})")},
            "A.icon/Assets/gone.png missing-file error|groups[0].layers[0]");
        row("image outside Assets",
            {"A.icon/icon.json <- " + iconJson(R"({"image-name":"../icon.json"})")},
            "A.icon/icon.json missing-file error|the image “../icon.json”");
        row("PNG holding text",
            {"A.icon/icon.json <- " + iconJson(R"({"image-name":"fore.png"})"),
             "A.icon/Assets/fore.png <- not an image"},
            "A.icon/Assets/fore.png not-image error|no image format");
        row("JPEG layer",
            {"A.icon/icon.json <- " + iconJson(R"({"image-name":"fore.jpg"})"),
             "A.icon/Assets/fore.jpg <- jpeg 8x8"},
            "A.icon/Assets/fore.jpg not-image error|JPEG");
        row("unknown layer key",
            {"A.icon/icon.json <- " + iconJson(R"({"image-name":"fore.svg","foo":1})"), fore},
            "A.icon/icon.json unknown-key note|groups[0].layers[0]: unknown key “foo”");
        row("name specialized",
            {"A.icon/icon.json <- " +
                 iconJson(R"({"image-name":"fore.svg","name-specializations":[]})"),
             fore},
            "A.icon/icon.json unknown-key note|“name-specializations”");
        row("same-name app icon set beside it",
            {"A.icon/icon.json <- " + iconJson(), fore,
             R"(A.appiconset/Contents.json <- {"images":[]})"},
            "A.appiconset icon-shadows-set warning|Xcode uses the .icon");
        row("same-name app icon set in a catalogue beside it",
            {"A.icon/icon.json <- " + iconJson(), fore,
             R"(X.xcassets/Icons/A.appiconset/Contents.json <- {"images":[]})",
             R"(X.xcassets/B.appiconset/Contents.json <- {"images":[]})"},
            "X.xcassets/Icons/A.appiconset icon-shadows-set warning|A.icon");
        row("inside a catalogue", {"X.xcassets/A.icon/icon.json <- " + iconJson()},
            "X.xcassets/A.icon/Assets/fore.svg missing-file error");
    }

    void builtIcons()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        const QString root = dir.filePath("P");
        for (const QString &file : files)
            QVERIFY(writeFile(root + '/' + file.section(" <- ", 0, 0),
                              bytesFor(file.section(" <- ", 1))));
        const CatalogueChecker::Result result = CatalogueChecker::check({root});
        QStringList found, codes;
        for (const CatalogueChecker::Finding &finding : result.findings)
            found << QDir(root).relativeFilePath(finding.path) + ' ' + finding.problem + ' ' +
                         CatalogueChecker::levelName(finding.level) + '|' + finding.message;
        for (const QString &finding : expected)
            codes << finding.section('|', 0, 0);
        for (qsizetype i = 0; i < found.size(); ++i) {
            const QString message = found[i].section('|', 1);
            found[i] = found[i].section('|', 0, 0);
            if (i < expected.size())
                QVERIFY2(message.contains(expected[i].section('|', 1)), qPrintable(message));
        }
        QCOMPARE(found, codes);
        QVERIFY(result.setsChecked >= 1);
    }

    // Colour strings: the spaces real documents use, with their component counts.
    void iconColours_data()
    {
        QTest::addColumn<QString>("colour");
        QTest::addColumn<bool>("valid");
        for (const char *good :
             {"srgb:1.00000,0.47843,0.00000,1.00000", "display-p3:0,0,0,0", "extended-gray:0.5,1",
              "extended-srgb:1.20000,-0.10000,0.00000,1.00000", "gray:0.50000,1.00000",
              "extended-linear-gray:0.2,1", "named:system-mint"})
            QTest::newRow(good) << QString(good) << true;
        for (const char *bad :
             {"srgb:1.00000,0.47843,0.00000", "extended-gray:0.5,1,1,1", "display-p3:1,1,1,x",
              "gray:0.5,", "cmyk:0,0,0,1", "srgb 1,0,0,1", "", "srgb:", "named:system-chartreuse",
              "named:red", "srgb:1, 0,0,1", "SRGB:1,0,0,1"})
            QTest::newRow(bad) << QString(bad) << false;
    }

    void iconColours()
    {
        QFETCH(QString, colour);
        QFETCH(bool, valid);
        QCOMPARE(IconBundleModel::colourProblem(colour).isEmpty(), valid);
        QCOMPARE(IconBundleModel::problemOf(IconBundleModel::Shape::Fill,
                                            QJsonObject{{"automatic-gradient", colour}})
                     .isEmpty(),
                 valid);
    }

    // Fills, as JSON: keywords and one-paint objects pass; anything else does not.
    void iconFills_data()
    {
        QTest::addColumn<QString>("fill");
        QTest::addColumn<bool>("valid");
        const QString red = "\"srgb:1,0,0,1\"";
        for (const QString &good :
             {QString(R"("automatic")"), QString(R"("system-light")"), QString(R"("system-dark")"),
              QString(R"("none")"), R"({"solid":)" + red + "}",
              R"({"automatic-gradient":)" + red + "}",
              R"({"linear-gradient":[)" + red + "," + red + "]}",
              R"({"linear-gradient":[)" + red + "," + red +
                  R"(],"orientation":{"start":{"x":0.5,"y":1},"stop":{"x":0.5,"y":0.3}}})"})
            QTest::newRow(qPrintable(good)) << good << true;
        for (const QString &bad :
             {QString(R"("white")"), QString("1"), QString("null"), QString("{}"),
              R"({"solid":)" + red + R"(,"automatic-gradient":)" + red + "}",
              QString(R"({"solid":"white"})"), R"({"linear-gradient":[)" + red + "]}",
              R"({"linear-gradient":)" + red + "}", R"({"solid":)" + red + R"(,"tint":1})",
              R"({"solid":)" + red +
                  R"(,"orientation":{"start":{"x":0,"y":0},"stop":{"x":0,"y":1}}})",
              R"({"linear-gradient":[)" + red + "," + red + R"(],"orientation":{"start":[0,0]}})"})
            QTest::newRow(qPrintable(bad)) << bad << false;
    }

    void iconFills()
    {
        QFETCH(QString, fill);
        QFETCH(bool, valid);
        const QJsonValue value =
            QJsonDocument::fromJson(("[" + fill + "]").toUtf8()).array().first();
        QCOMPARE(IconBundleModel::problemOf(IconBundleModel::Shape::Fill, value).isEmpty(), valid);
    }

    // Every Icon Composer document of the real apps passes without a single finding; the count is
    // that of the collection's list of sources.
    void realIcons()
    {
        const QString root = QStringLiteral(ASSETSMITH_REAL_ICONS);
        if (!QFileInfo(root).isDir())
            QSKIP("the real Icon Composer documents are not here");
        const CatalogueChecker::Result result = CatalogueChecker::check({root});
        QStringList found;
        for (const CatalogueChecker::Finding &finding : result.findings)
            found << QDir(root).relativeFilePath(finding.path) + ": " + finding.problem + ": " +
                         finding.message;
        QCOMPARE(found, QStringList());
        QCOMPARE(result.setsChecked, 39);
    }
};

QTEST_GUILESS_MAIN(CheckerTest)
#include "tst_checker.moc"
