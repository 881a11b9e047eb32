#include "catalogue/CatalogueChecker.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

// The checker on its own, on catalogues built here and on real ones of shipping apps.

using Files = QMap<QString, QString>;

namespace {

using Level = CatalogueChecker::Level;

quint32 crc32(const QByteArray &bytes)
{
    quint32 crc = 0xffffffffu;
    for (char c : bytes) {
        crc ^= uchar(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray big32(quint32 value)
{
    const char bytes[4]{char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    return QByteArray(bytes, 4);
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// An RGB PNG (no alpha in its colour type) whose tRNS chunk makes pure white transparent.
QByteArray pngWithTrns(QImage image)
{
    QByteArray png = encoded(image.convertToFormat(QImage::Format_RGB888), "png");
    const QByteArray body = QByteArray("tRNS") + QByteArray("\0\xff\0\xff\0\xff", 6);
    png.insert(33, big32(6) + body + big32(crc32(body)));
    return png;
}

// The file a row names, from a short description: "png 40x40", "png 40x40 clear" (transparent
// corners), "png 40x40 alpha" (opaque, stored with alpha), "png 40x40 trns" (white made
// transparent by a tRNS chunk), "jpeg 40x40", "webp 40x40", "pdf", "svg", "heic", "words", or
// JSON text.
QByteArray bytesFor(const QString &spec)
{
    if (spec.startsWith(QLatin1Char('{')))
        return spec.toUtf8();
    const QStringList words = spec.split(QLatin1Char(' '));
    const QString kind = words.value(0);
    const QStringList sides = words.value(1).split(QLatin1Char('x'));
    const QSize size(sides.value(0).toInt(), sides.value(1).toInt());
    const QString mode = words.value(2);
    if (kind == QLatin1String("pdf"))
        return "%PDF-1.4\n1 0 obj << >> endobj\ntrailer << >>\n%%EOF\n";
    if (kind == QLatin1String("svg"))
        return "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"4\" "
               "height=\"4\"/>\n";
    if (kind == QLatin1String("heic"))
        return QByteArray("\0\0\0\x18"
                          "ftypheic\0\0\0\0mif1heic",
                          24);
    if (kind == QLatin1String("words"))
        return "not an image at all\n";
    QImage image(size, mode.isEmpty() ? QImage::Format_RGB32 : QImage::Format_ARGB32);
    image.fill(mode == QLatin1String("clear") ? Qt::transparent : Qt::white);
    QPainter painter(&image);
    painter.fillRect(QRect(QPoint(1, 1), size - QSize(2, 2)), QColor(20, 90, 200));
    painter.end();
    if (mode == QLatin1String("trns"))
        return pngWithTrns(image);
    return encoded(image, kind == QLatin1String("jpeg") ? "jpg" : kind.toLatin1().constData());
}

QString iconEntry(const QString &file, const QString &idiom, const QString &size,
                  const QString &scale, const QString &extra = QString())
{
    QString entry = QStringLiteral("{\"filename\":\"%1\",\"idiom\":\"%2\",\"size\":\"%3\"")
                        .arg(file, idiom, size);
    if (!scale.isEmpty())
        entry += QStringLiteral(",\"scale\":\"%1\"").arg(scale);
    return entry + extra + QLatin1Char('}');
}

QString contents(const QString &list, const QStringList &entries)
{
    return QStringLiteral("{\"%1\":[%2],\"info\":{\"author\":\"xcode\",\"version\":1}}")
        .arg(list, entries.join(QLatin1Char(',')));
}

const QString Dark =
    QStringLiteral(",\"appearances\":[{\"appearance\":\"luminosity\",\"value\":\"dark\"}]");
const QString Store = QStringLiteral("{\"filename\":\"store.png\",\"idiom\":\"universal\","
                                     "\"platform\":\"ios\",\"size\":\"1024x1024\"}");

} // namespace

class CheckerTest : public QObject
{
    Q_OBJECT
private slots:
    void builtCatalogues_data();
    void builtCatalogues();
    void realCatalogues_data();
    void realCatalogues();
};

// Each row is a small catalogue, relative path -> file, and every finding it must give, as
// "path code level", in the order the catalogue is walked; nothing else.
void CheckerTest::builtCatalogues_data()
{
    QTest::addColumn<Files>("files");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("messagePart"); // in the first finding's message

    const QString set = QStringLiteral("A.xcassets/Logo.imageset/");
    const QString icons = QStringLiteral("A.xcassets/AppIcon.appiconset/");
    const QString imageSet2 =
        contents("images", {R"({"filename":"a.png","idiom":"universal","scale":"1x"})",
                            R"({"filename":"b.png","idiom":"universal","scale":"2x"})"});
    auto row = [](const char *name, QMap<QString, QString> files, QStringList expected,
                  const char *part = "") {
        QTest::newRow(name) << files << expected << QString::fromUtf8(part);
    };

    row("empty catalogue", {{"A.xcassets/Contents.json", R"({"info":{"version":1}})"}}, {});
    row("colours only",
        {{"A.xcassets/Tint.colorset/Contents.json",
          R"({"colors":[{"idiom":"universal","color":{"color-space":"srgb","components":{"red":"1.000","green":"0.5","blue":"0x10","alpha":"1"}}}],"info":{"version":1}})"}},
        {});
    row("every image set format by its bytes",
        {{set + "Contents.json", contents("images", {R"({"filename":"a.pdf","idiom":"universal"})",
                                                     R"({"filename":"b.svg","idiom":"mac"})",
                                                     R"({"filename":"c.jpg","idiom":"iphone"})",
                                                     R"({"filename":"d.heic","idiom":"ipad"})",
                                                     R"({"filename":"e.png","idiom":"tv"})"})},
         {set + "a.pdf", "pdf"},
         {set + "b.svg", "svg"},
         {set + "c.jpg", "jpeg 8x8"},
         {set + "d.heic", "heic"},
         {set + "e.png", "png 8x8"}},
        {});
    row("watch sets apart by screen width",
        {{set + "Contents.json",
          contents("images",
                   {R"({"filename":"a.png","idiom":"watch","scale":"2x","screen-width":"<=145"})",
                    R"({"filename":"b.png","idiom":"watch","scale":"2x","screen-width":">183"})"})},
         {set + "a.png", "png 8x8"},
         {set + "b.png", "png 8x8"}},
        {});
    row("one file in two mac slots",
        {{icons + "Contents.json",
          contents("images", {iconEntry("i32.png", "mac", "16x16", "2x"),
                              iconEntry("i32.png", "mac", "32x32", "1x")})},
         {icons + "i32.png", "png 32x32"}},
        {});
    row("transparent dark appearance",
        {{icons + "Contents.json",
          contents("images", {iconEntry("d.png", "universal", "1024x1024", "",
                                        ",\"platform\":\"ios\"" + Dark)})},
         {icons + "d.png", "png 1024x1024 clear"}},
        {});
    row("2x within a pixel of its 1x",
        {{set + "Contents.json", imageSet2},
         {set + "a.png", "png 21x20"},
         {set + "b.png", "png 43x40"}},
        {});
    row("stack layer smaller than its stack",
        {{"A.xcassets/B.brandassets/Contents.json",
          contents(
              "assets",
              {R"({"filename":"I.imagestack","idiom":"tv","role":"primary-app-icon","size":"400x240"})"})},
         {"A.xcassets/B.brandassets/I.imagestack/Contents.json",
          contents("layers", {R"({"filename":"F.imagestacklayer"})"})},
         {"A.xcassets/B.brandassets/I.imagestack/F.imagestacklayer/Contents.json", "{}"},
         {"A.xcassets/B.brandassets/I.imagestack/F.imagestacklayer/Content.imageset/Contents.json",
          contents("images", {R"({"filename":"f.png","idiom":"tv","scale":"2x"})"})},
         {"A.xcassets/B.brandassets/I.imagestack/F.imagestacklayer/Content.imageset/f.png",
          "png 432x432"}},
        {});

    row("missing contents", {{set + "a.png", "png 8x8"}},
        {set + "Contents.json missing-contents error"}, "Logo.imageset");
    row("contents not json", {{set + "Contents.json", "{\"images\": ["}},
        {set + "Contents.json bad-json error"});
    row("slot size with no whole pixels",
        {{icons + "Contents.json",
          contents("images", {iconEntry("a.png", "iphone", "nanxnan", "2x")})},
         {icons + "a.png", "png 8x8"}},
        {icons + "Contents.json bad-json error"}, "iphone nanxnan 2x");
    row("missing file named twice",
        {{icons + "Contents.json", contents("images", {iconEntry("i.png", "mac", "16x16", "2x"),
                                                       iconEntry("i.png", "mac", "32x32", "1x")})}},
        {icons + "i.png missing-file error"});
    row("words in a png",
        {{set + "Contents.json", imageSet2}, {set + "a.png", "words"}, {set + "b.png", "png 8x8"}},
        {set + "a.png not-image error"});
    row("truncated png",
        {{set + "Contents.json", imageSet2},
         {set + "a.png", "png 8x8 cut"},
         {set + "b.png", "png 16x16"}},
        {set + "a.png not-image error"}, "damaged");
    row("webp named png",
        {{set + "Contents.json", imageSet2},
         {set + "a.png", "webp 8x8"},
         {set + "b.png", "png 16x16"}},
        {set + "a.png wrong-format warning"}, "WebP");
    row("jpeg in an app icon slot",
        {{icons + "Contents.json",
          contents("images", {iconEntry("a.jpg", "iphone", "20x20", "2x")})},
         {icons + "a.jpg", "jpeg 40x40"}},
        {icons + "a.jpg wrong-format warning"}, "JPEG");
    row("pdf in an app icon slot",
        {{icons + "Contents.json",
          contents("images", {iconEntry("a.png", "iphone", "20x20", "2x")})},
         {icons + "a.png", "pdf"}},
        {icons + "a.png not-image error"}, "PDF");
    row("icon not points x scale",
        {{icons + "Contents.json",
          contents("images", {iconEntry("a.png", "ipad", "83.5x83.5", "2x")})},
         {icons + "a.png", "png 166x166"}},
        {icons + "a.png wrong-size error"}, "167 by 167");
    row("top shelf image at 2x",
        {{"A.xcassets/B.brandassets/Contents.json",
          contents(
              "assets",
              {R"({"filename":"T.imageset","idiom":"tv","role":"top-shelf-image","size":"1920x720"})"})},
         {"A.xcassets/B.brandassets/T.imageset/Contents.json",
          contents("images", {R"({"filename":"t.png","idiom":"tv","scale":"2x"})"})},
         {"A.xcassets/B.brandassets/T.imageset/t.png", "png 1920x720"}},
        {"A.xcassets/B.brandassets/T.imageset/t.png wrong-size error"}, "3840 by 1440");
    row("visionOS layer not 1024",
        {{"A.xcassets/V.solidimagestack/Contents.json",
          contents("layers", {R"({"filename":"F.solidimagestacklayer"})"})},
         {"A.xcassets/V.solidimagestack/F.solidimagestacklayer/Contents.json", "{}"},
         {"A.xcassets/V.solidimagestack/F.solidimagestacklayer/Content.imageset/Contents.json",
          contents("images", {R"({"filename":"f.png","idiom":"vision","scale":"2x"})"})},
         {"A.xcassets/V.solidimagestack/F.solidimagestacklayer/Content.imageset/f.png",
          "png 512x512"}},
        {"A.xcassets/V.solidimagestack/F.solidimagestacklayer/Content.imageset/f.png "
         "wrong-size error"},
        "1024 by 1024");
    row("store icon with transparent pixels",
        {{icons + "Contents.json", contents("images", {Store})},
         {icons + "store.png", "png 1024x1024 clear"}},
        {icons + "store.png marketing-alpha error"}, "transparent pixels");
    row("store icon opaque with alpha",
        {{icons + "Contents.json", contents("images", {Store})},
         {icons + "store.png", "png 1024x1024 alpha"}},
        {icons + "store.png marketing-alpha error"}, "without alpha");
    row("store icon transparent through tRNS",
        {{icons + "Contents.json", contents("images", {Store})},
         {icons + "store.png", "png 1024x1024 trns"}},
        {icons + "store.png marketing-alpha error"}, "transparent pixels");
    row("watch marketing icon with alpha",
        {{icons + "Contents.json",
          contents("images", {iconEntry("w.png", "watch-marketing", "1024x1024", "1x")})},
         {icons + "w.png", "png 1024x1024 alpha"}},
        {icons + "w.png marketing-alpha error"}, "--background");
    row("same slot twice, appearances in another order",
        {{set + "Contents.json",
          contents(
              "images",
              {R"({"filename":"a.png","idiom":"universal","appearances":[{"appearance":"luminosity","value":"dark"},{"appearance":"contrast","value":"high"}]})",
               R"({"filename":"b.png","idiom":"universal","appearances":[{"appearance":"contrast","value":"high"},{"appearance":"luminosity","value":"dark"}]})"})},
         {set + "a.png", "png 8x8"},
         {set + "b.png", "png 8x8"}},
        {set + "Contents.json duplicate-slot warning"}, "universal high dark");
    row("file no slot names",
        {{set + "Contents.json", imageSet2},
         {set + "a.png", "png 8x8"},
         {set + "b.png", "png 16x16"},
         {set + "c.png", "png 8x8"},
         {set + "README.md", "words"}},
        {set + "c.png unassigned warning"});
    row("2x not twice its 1x",
        {{set + "Contents.json", imageSet2},
         {set + "a.png", "png 20x20"},
         {set + "b.png", "png 30x30"}},
        {set + "b.png scale-mismatch note"},
        "b.png is 30 by 30 pixels; at 2x beside a.png (20 by 20) it would be 40 by 40");
    row("stray iconset", {{"A.xcassets/icon.iconset/icon_16x16.png", "png 16x16"}},
        {"A.xcassets/icon.iconset unknown-folder note"}, ".iconset");
    row("unknown key", {{set + "Contents.json", R"({"images":[],"colours":[]})"}},
        {set + "Contents.json unknown-key note"}, "colours");
}

void CheckerTest::builtCatalogues()
{
    QFETCH(Files, files);
    QFETCH(QStringList, expected);
    QFETCH(QString, messagePart);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString path = dir.filePath(it.key());
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        QByteArray bytes = bytesFor(it.value());
        if (it.value().endsWith(QLatin1String(" cut")))
            bytes.chop(20);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    const CatalogueChecker::Result result = CatalogueChecker::check({dir.filePath("A.xcassets")});
    QStringList found;
    for (const CatalogueChecker::Finding &finding : result.findings) {
        found << QDir(dir.path()).relativeFilePath(finding.path) + QLatin1Char(' ') +
                     finding.problem + QLatin1Char(' ') +
                     CatalogueChecker::levelName(finding.level);
        QVERIFY2(!finding.message.contains(QLatin1String("  ")), qPrintable(finding.message));
    }
    QCOMPARE(found, expected);
    if (!messagePart.isEmpty())
        QVERIFY2(result.findings.first().message.contains(messagePart),
                 qPrintable(result.findings.first().message));
}

// Every catalogue of the real apps: a valid one gives no error, a broken one exactly its known
// problems. Each listed finding is "file code"; the App Store icons with an alpha channel are
// counted apart, as most of these apps store opaque icons with alpha.
void CheckerTest::realCatalogues_data()
{
    QTest::addColumn<QStringList>("named");
    QTest::addColumn<int>("storeIconsWithAlpha");
    const QStringList macWebP{"16-mac.png wrong-format",  "32-mac.png wrong-format",
                              "64-mac.png wrong-format",  "128-mac.png wrong-format",
                              "256-mac.png wrong-format", "512-mac.png wrong-format",
                              "1024-mac.png wrong-format"};
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

void CheckerTest::realCatalogues()
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
            found << QFileInfo(finding.path).fileName() + QLatin1Char(' ') + finding.problem;
    }
    found.sort();
    named.sort();
    QCOMPARE(found, named);
    QCOMPARE(alpha, storeIconsWithAlpha);
}

QTEST_GUILESS_MAIN(CheckerTest)
#include "tst_checker.moc"
