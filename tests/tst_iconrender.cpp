#include "TestFiles.h"
#include "catalogue/IconBundleModel.h"
#include "catalogue/IconJson.h"
#include "export/BlendModes.h"
#include "export/IconRenderer.h"

#include <QJsonArray>
#include <QTemporaryDir>

// Drawing Icon Composer documents: placement, layer fills, blend formulas and specializations
// against values worked out by hand, and every real document drawn in every appearance.

namespace {

const QString RealIcons = QStringLiteral(ASSETSMITH_REAL_ICONS);
using Appearance = IconRenderer::Appearance;

QJsonObject parse(const QByteArray &text)
{
    QJsonObject object;
    IconJson::read(text, &object, nullptr);
    return object;
}

// A bundle of one group of one layer over a black background, with no shadow or translucency
// to blur the edges: the layer and group objects get `layerKeys` and `groupKeys` added.
QString writeBundle(
    const QString &folder, const QImage &image, const QJsonObject &layerKeys,
    const QJsonObject &groupKeys = {},
    const QJsonValue &fill = parse(R"({"v":{"solid":"srgb:0,0,0,1"}})").value(QStringLiteral("v")))
{
    QJsonObject layer = layerKeys;
    layer[QStringLiteral("image-name")] = QStringLiteral("art.png");
    QJsonObject group = groupKeys;
    group[QStringLiteral("layers")] = QJsonArray{layer};
    group[QStringLiteral("shadow")] = parse(R"({"kind":"none","opacity":0})");
    group[QStringLiteral("translucency")] = parse(R"({"enabled":false,"value":0})");
    QJsonObject root{{QStringLiteral("groups"), QJsonArray{group}}};
    root[fill.isArray() ? QStringLiteral("fill-specializations") : QStringLiteral("fill")] = fill;
    const QString bundle = folder + QStringLiteral("/Test.icon");
    writeFile(bundle + QStringLiteral("/icon.json"), IconJson::write(root));
    saveImage(bundle + QStringLiteral("/Assets/art.png"), image);
    return bundle;
}

QImage solid(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

QImage drawn(const QString &bundle, int pixels, Appearance appearance = Appearance::Default)
{
    const IconRenderer::Loaded loaded = IconRenderer::load(bundle);
    if (!loaded.error.isEmpty())
        qWarning("%s", qPrintable(loaded.error));
    IconRenderer::Request request;
    request.pixels = pixels;
    request.appearance = appearance;
    request.mask = IconRenderer::Mask::Square;
    return IconRenderer::render(loaded.document, request)
        .image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class IconRenderTest : public QObject
{
    Q_OBJECT

private slots:
    // An image of 1024 points at scale 1 covers the canvas: the drawing is the image itself.
    void fullCanvasLayerIsTheImage()
    {
        QTemporaryDir dir;
        QImage image(256, 256, QImage::Format_ARGB32);
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x)
                image.setPixel(x, y, qRgb(x, y, (x * 7 + y * 3) % 256));
        }
        // 256 points at scale 4 fill the 1024-point canvas, drawn at 256 pixels.
        const QImage out = drawn(writeBundle(dir.path(), image, parse(R"({"position":{"scale":4,
                                                 "translation-in-points":[0,0]}})")),
                                 256);
        QCOMPARE(out.size(), image.size());
        int worst = 0;
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                const QRgb a = out.pixel(x, y), b = image.pixel(x, y);
                worst =
                    std::max({worst, std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                              std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
            }
        }
        QVERIFY2(worst <= 1, qPrintable(QString::number(worst)));
    }

    // A red image on black, drawn at 256 pixels (a quarter of a point each): where it lands,
    // worked out from the 1024-point canvas by hand.
    void placement_data()
    {
        QTest::addColumn<QSize>("imageSize");
        QTest::addColumn<QByteArray>("layer");
        QTest::addColumn<QByteArray>("group");
        QTest::addColumn<QRect>("expected");
        const QByteArray none = "{}";
        QTest::newRow("centred") << QSize(256, 256) << none << none << QRect(96, 96, 64, 64);
        QTest::newRow("scaled") << QSize(256, 256)
                                << QByteArray(
                                       R"({"position":{"scale":2,"translation-in-points":[0,0]}})")
                                << none << QRect(64, 64, 128, 128);
        QTest::newRow("moved, y down")
            << QSize(256, 256)
            << QByteArray(R"({"position":{"scale":1,"translation-in-points":[128,-64]}})") << none
            << QRect(128, 80, 64, 64);
        QTest::newRow("group scales size and offset")
            << QSize(256, 256)
            << QByteArray(R"({"position":{"scale":1,"translation-in-points":[128,0]}})")
            << QByteArray(R"({"position":{"scale":0.5,"translation-in-points":[0,0]}})")
            << QRect(128, 112, 32, 32);
        QTest::newRow("group moves")
            << QSize(256, 256) << none
            << QByteArray(R"({"position":{"scale":1,"translation-in-points":[0,256]}})")
            << QRect(96, 160, 64, 64);
        QTest::newRow("wide image") << QSize(512, 128) << none << none << QRect(64, 112, 128, 32);
    }
    void placement()
    {
        QFETCH(QSize, imageSize);
        QFETCH(QByteArray, layer);
        QFETCH(QByteArray, group);
        QFETCH(QRect, expected);
        QTemporaryDir dir;
        const QImage out = drawn(
            writeBundle(dir.path(), solid(imageSize, Qt::red), parse(layer), parse(group)), 256);
        int red = 0;
        for (int y = 0; y < out.height(); ++y) {
            for (int x = 0; x < out.width(); ++x) {
                const bool isRed = qRed(out.pixel(x, y)) > 128;
                red += isRed;
                // Inside by a pixel is red, outside by a pixel is black.
                if (expected.adjusted(1, 1, -1, -1).contains(x, y))
                    QVERIFY2(isRed, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
                else if (!expected.adjusted(-1, -1, 1, 1).contains(x, y))
                    QVERIFY2(!isRed, qPrintable(QStringLiteral("%1,%2").arg(x).arg(y)));
            }
        }
        QVERIFY(std::abs(red - expected.width() * expected.height()) <=
                expected.width() + expected.height());
    }

    // A layer fill paints the image's shape in its colour; the image's alpha stays. Expected
    // sRGB levels from each colour space by hand (P3 through its linear primaries): Display
    // P3's red lies outside sRGB and clips, its grey is sRGB's own.
    void layerFill_data()
    {
        QTest::addColumn<QString>("colour");
        QTest::addColumn<QColor>("expected");
        QTest::newRow("srgb") << "srgb:0.20000,0.40000,0.60000,1.00000" << QColor(51, 102, 153);
        QTest::newRow("srgb, half alpha")
            << "srgb:1.00000,1.00000,1.00000,0.50000" << QColor(255, 255, 255, 128);
        QTest::newRow("extended-gray") << "extended-gray:0.50000,1.00000" << QColor(128, 128, 128);
        QTest::newRow("p3 grey") << "display-p3:0.50000,0.50000,0.50000,1.00000"
                                 << QColor(128, 128, 128);
        QTest::newRow("p3 violet")
            << "display-p3:0.50000,0.25000,0.75000,1.00000" << QColor(137, 59, 198);
        QTest::newRow("p3 red clips")
            << "display-p3:1.00000,0.00000,0.00000,1.00000" << QColor(255, 0, 0);
        QTest::newRow("linear gray")
            << "extended-linear-gray:0.21586,1.00000" << QColor(128, 128, 128);
    }
    void layerFill()
    {
        QFETCH(QString, colour);
        QFETCH(QColor, expected);
        QTemporaryDir dir;
        // A green image, half transparent on its right: only its shape may show.
        QImage image = solid({1024, 1024}, Qt::green);
        for (int y = 0; y < 1024; ++y) {
            for (int x = 512; x < 1024; ++x)
                image.setPixel(x, y, qRgba(0, 255, 0, 128));
        }
        QJsonObject layer{{QStringLiteral("fill"), QJsonObject{{QStringLiteral("solid"), colour}}}};
        const QImage out =
            drawn(writeBundle(dir.path(), image, layer, {}, QStringLiteral("none")), 64);
        const QColor left = out.pixelColor(10, 32), right = out.pixelColor(54, 32);
        QVERIFY2(std::abs(left.red() - expected.red()) <= 1 &&
                     std::abs(left.green() - expected.green()) <= 1 &&
                     std::abs(left.blue() - expected.blue()) <= 1 &&
                     std::abs(left.alpha() - expected.alpha()) <= 1,
                 qPrintable(left.name(QColor::HexArgb)));
        QVERIFY(std::abs(right.alpha() - expected.alpha() * 128 / 255) <= 2);
    }

    // The W3C formulas on one component, worked out by hand. Backdrop and source are straight
    // colour with their alpha; the result is straight colour and alpha.
    void blendModes_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<float>("cb");
        QTest::addColumn<float>("ab");
        QTest::addColumn<float>("cs");
        QTest::addColumn<float>("as");
        QTest::addColumn<float>("co");
        QTest::addColumn<float>("ao");
        const struct
        {
            const char *mode;
            float low, high; // B(0.25, 0.5) and B(0.6, 0.8)
        } opaque[] = {
            {"normal", 0.5f, 0.8f},           {"multiply", 0.125f, 0.48f},
            {"screen", 0.625f, 0.92f},        {"overlay", 0.25f, 0.84f},
            {"darken", 0.25f, 0.6f},          {"lighten", 0.5f, 0.8f},
            {"color-dodge", 0.5f, 1.0f},      {"color-burn", 0.0f, 0.5f},
            {"soft-light", 0.25f, 0.704758f}, {"hard-light", 0.25f, 0.84f},
            {"difference", 0.25f, 0.2f},      {"exclusion", 0.5f, 0.44f},
            {"plus-darker", 0.0f, 0.4f},      {"plus-lighter", 0.75f, 1.0f},
        };
        for (const auto &row : opaque) {
            QTest::addRow("%s low", row.mode)
                << row.mode << 0.25f << 1.0f << 0.5f << 1.0f << row.low << 1.0f;
            QTest::addRow("%s high", row.mode)
                << row.mode << 0.6f << 1.0f << 0.8f << 1.0f << row.high << 1.0f;
        }
        // Overlay is hard-light with the two swapped: a pair on either side of one half tells.
        QTest::newRow("overlay apart")
            << "overlay" << 0.2f << 1.0f << 0.7f << 1.0f << 0.28f << 1.0f;
        QTest::newRow("hard-light apart")
            << "hard-light" << 0.2f << 1.0f << 0.7f << 1.0f << 0.52f << 1.0f;
        // Half a source over an opaque backdrop 0.6: normal mixes; multiply mixes the product
        // 0.3 with the backdrop; plus-lighter adds the premultiplied 0.25.
        QTest::newRow("normal, half source")
            << "normal" << 0.6f << 1.0f << 0.5f << 0.5f << 0.55f << 1.0f;
        QTest::newRow("multiply, half source")
            << "multiply" << 0.6f << 1.0f << 0.5f << 0.5f << 0.45f << 1.0f;
        QTest::newRow("plus-lighter, half source")
            << "plus-lighter" << 0.6f << 1.0f << 0.5f << 0.5f << 0.85f << 1.0f;
        // Over nothing every separable mode is the source itself.
        QTest::newRow("multiply over clear")
            << "multiply" << 0.0f << 0.0f << 0.4f << 1.0f << 0.4f << 1.0f;
    }
    void blendModes()
    {
        QFETCH(QString, mode);
        QFETCH(float, cb);
        QFETCH(float, ab);
        QFETCH(float, cs);
        QFETCH(float, as);
        QFETCH(float, co);
        QFETCH(float, ao);
        const std::optional<BlendModes::Mode> known = BlendModes::fromName(mode);
        QVERIFY(known);
        const float source[4] = {cs * as, cs * as, cs * as, as};
        float backdrop[4] = {cb * ab, cb * ab, cb * ab, ab};
        BlendModes::composite(*known, source, backdrop);
        QVERIFY2(std::abs(backdrop[3] - ao) < 1e-5f, qPrintable(QString::number(backdrop[3])));
        QVERIFY2(std::abs(backdrop[0] / backdrop[3] - co) < 1e-5f,
                 qPrintable(QString::number(backdrop[0] / backdrop[3])));
    }

    // Which entry a key takes for an appearance and idiom.
    void specializations_data()
    {
        QTest::addColumn<QByteArray>("object");
        QTest::addColumn<QString>("appearance");
        QTest::addColumn<QString>("idiom");
        QTest::addColumn<int>("expected"); // 0: no value, the key's default applies
        const QByteArray baseDarkTinted =
            R"({"k-specializations":[{"value":1},{"appearance":"dark","value":2},
                {"appearance":"tinted","value":3}]})";
        QTest::newRow("plain key") << QByteArray(R"({"k":5})") << "dark"
                                   << "square" << 5;
        QTest::newRow("base for light") << baseDarkTinted << "light"
                                        << "square" << 1;
        QTest::newRow("dark") << baseDarkTinted << "dark"
                              << "square" << 2;
        QTest::newRow("tinted") << baseDarkTinted << "tinted"
                                << "watchOS" << 3;
        QTest::newRow("no base, light")
            << QByteArray(R"({"k-specializations":[{"appearance":"dark","value":2}]})") << "light"
            << "square" << 0;
        QTest::newRow("no base, dark")
            << QByteArray(R"({"k-specializations":[{"appearance":"dark","value":2}]})") << "dark"
            << "square" << 2;
        const QByteArray idioms =
            R"({"k-specializations":[{"value":1},{"idiom":"watchOS","value":4}]})";
        QTest::newRow("idiom, square") << idioms << "dark"
                                       << "square" << 1;
        QTest::newRow("idiom, watch") << idioms << "dark"
                                      << "watchOS" << 4;
        const QByteArray both =
            R"({"k-specializations":[{"appearance":"dark","value":2},
                {"appearance":"dark","idiom":"watchOS","value":6}]})";
        QTest::newRow("both slots win") << both << "dark"
                                        << "watchOS" << 6;
        QTest::newRow("one slot of two") << both << "dark"
                                         << "square" << 2;
        QTest::newRow("unknown slot")
            << QByteArray(R"({"k-specializations":[{"localization":"fr","value":9}]})") << "light"
            << "square" << 0;
    }
    void specializations()
    {
        QFETCH(QByteArray, object);
        QFETCH(QString, appearance);
        QFETCH(QString, idiom);
        QFETCH(int, expected);
        const QJsonValue value =
            IconBundleModel::specialized(parse(object), u"k", appearance, idiom);
        QCOMPARE(value.toInt(0), expected);
    }

    // The appearances choose their entries: a background of blue, red in dark; the tinted look
    // has its own backdrop, purple rather than either.
    void appearanceChoosesBackground_data()
    {
        QTest::addColumn<Appearance>("appearance");
        QTest::addColumn<QColor>("expected");
        QTest::newRow("default") << Appearance::Default << QColor(0, 0, 255);
        QTest::newRow("dark") << Appearance::Dark << QColor(255, 0, 0);
    }
    void appearanceChoosesBackground()
    {
        QFETCH(Appearance, appearance);
        QFETCH(QColor, expected);
        QTemporaryDir dir;
        const QJsonValue fill = parse(R"({"v":[{"value":{"solid":"srgb:0,0,1,1"}},
            {"appearance":"dark","value":{"solid":"srgb:1,0,0,1"}}]})")
                                    .value(QStringLiteral("v"));
        const QImage out =
            drawn(writeBundle(dir.path(), solid({16, 16}, Qt::transparent), {}, {}, fill), 32,
                  appearance);
        QCOMPARE(out.pixelColor(2, 2), expected);
    }

    // Image names that would read outside Assets are refused before anything is read.
    void refusedNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("parent") << "../icon.json";
        QTest::newRow("sub-folder") << "sub/art.png";
        QTest::newRow("backslash") << "..\\art.png";
        QTest::newRow("empty") << "";
        QTest::newRow("link out") << "link.png";
    }
    void refusedNames()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString bundle = writeBundle(dir.path(), solid({8, 8}, Qt::red), {});
        saveImage(dir.path() + QStringLiteral("/outside.png"), solid({8, 8}, Qt::red));
        QFile::link(dir.path() + QStringLiteral("/outside.png"),
                    bundle + QStringLiteral("/Assets/link.png"));
        QJsonObject root = readJson(bundle + QStringLiteral("/icon.json"));
        QJsonArray groups = root[QStringLiteral("groups")].toArray();
        QJsonObject group = groups[0].toObject();
        group[QStringLiteral("layers")] =
            QJsonArray{QJsonObject{{QStringLiteral("image-name"), name}}};
        root[QStringLiteral("groups")] = QJsonArray{group};
        writeFile(bundle + QStringLiteral("/icon.json"), IconJson::write(root));
        const IconRenderer::Loaded loaded = IconRenderer::load(bundle);
        QVERIFY(!loaded.error.isEmpty());
        QVERIFY(loaded.document.images.isEmpty());
    }

    // Every real document draws in every appearance, on each platform, without an error.
    void realDocuments()
    {
        QDirIterator it(RealIcons, {QStringLiteral("*.icon")}, QDir::Dirs,
                        QDirIterator::Subdirectories);
        int documents = 0;
        while (it.hasNext()) {
            const QString bundle = it.next();
            const IconRenderer::Loaded loaded = IconRenderer::load(bundle);
            QVERIFY2(loaded.error.isEmpty(), qPrintable(loaded.error));
            QList<IconRenderer::Request> requests;
            for (const Appearance appearance :
                 {Appearance::Default, Appearance::Dark, Appearance::ClearLight,
                  Appearance::ClearDark, Appearance::TintedLight, Appearance::TintedDark}) {
                for (const IconRenderer::Platform platform :
                     {IconRenderer::Platform::IOS, IconRenderer::Platform::MacOS,
                      IconRenderer::Platform::WatchOS})
                    requests.append({24, appearance, platform, IconRenderer::Mask::Platform});
            }
            for (const IconRenderer::Rendered &rendered :
                 IconRenderer::renderAll(loaded.document, requests)) {
                QVERIFY2(rendered.error.isEmpty(), qPrintable(bundle + rendered.error));
                QCOMPARE(rendered.image.size(), QSize(24, 24));
                // The shape's middle is drawn on every platform.
                QVERIFY2(qAlpha(rendered.image.pixel(12, 12)) > 0, qPrintable(bundle));
            }
            ++documents;
        }
        QCOMPARE(documents, 39);
    }
};

QTEST_GUILESS_MAIN(IconRenderTest)
#include "tst_iconrender.moc"
