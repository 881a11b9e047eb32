#include "TestFiles.h"
#include "catalogue/QVIconData.h"
#include "export/Renderer.h"

#include <QBuffer>

#include <limits>

namespace {

QImage decodePng(const QByteArray &png)
{
    QBuffer buffer;
    buffer.setData(png);
    QImageReader reader(&buffer, "png");
    return reader.read();
}

// Renders through the controller's own two operations and decodes what a file would hold.
QImage renderedFile(const SourceImagePtr &source, QSizeF size)
{
    AppDelegate controller;
    return decodePng(controller.PNGRepresentationOfImage(controller.resizeImage(source, size)));
}

QImage quadrants(QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    QPainter p(&image);
    const int w = size.width() / 2, h = size.height() / 2;
    p.fillRect(0, 0, w, h, Qt::red);
    p.fillRect(w, 0, w, h, Qt::green);
    p.fillRect(0, h, w, h, Qt::blue);
    p.fillRect(w, h, w, h, Qt::yellow);
    return image;
}

QByteArray pngBytes(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "png");
    return bytes;
}

// An icon file holding the given images, each stored as PNG data.
QByteArray icoFile(const QList<QImage> &images)
{
    QByteArray header, data;
    auto le = [&](int v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            header.append(char((v >> (8 * i)) & 0xff));
    };
    le(0, 2);
    le(1, 2);
    le(int(images.size()), 2);
    for (const QImage &image : images) {
        const QByteArray png = pngBytes(image);
        le(image.width() & 0xff, 1);
        le(image.height() & 0xff, 1);
        le(0, 2);
        le(1, 2);
        le(32, 2);
        le(int(png.size()), 4);
        le(6 + 16 * int(images.size()) + int(data.size()), 4);
        data += png;
    }
    return header + data;
}

} // namespace

class RenderingTest : public QObject
{
    Q_OBJECT
private slots:
    void exactPixelSize_data();
    void exactPixelSize();
    void stretchKeepsQuadrants();
    void upright();
    void alphaKeptWithoutFringe();
    void vectorDrawnAtTargetSize();
    void bestImageOfSeveral_data();
    void bestImageOfSeveral();
    void colourSpaceKept();
    void impossibleTargetsGiveNothing_data();
    void impossibleTargetsGiveNothing();
};

void RenderingTest::exactPixelSize_data()
{
    QTest::addColumn<QSize>("source");
    QTest::addColumn<QSize>("target");
    for (int n : QVIconData::sizesToMakeForIcon() + QVIconData::sizesToMakeForIconMac()) {
        QTest::addRow("%d from 300x300", n) << QSize(300, 300) << QSize(n, n);
        QTest::addRow("%d from 64x40", n) << QSize(64, 40) << QSize(n, n);
    }
    QTest::newRow("20x10 square source") << QSize(100, 100) << QSize(20, 10);
    QTest::newRow("1x1") << QSize(50, 70) << QSize(1, 1);
    QTest::newRow("1x300") << QSize(50, 70) << QSize(1, 300);
    QTest::newRow("16 to 1024") << QSize(16, 16) << QSize(1024, 1024);
}

void RenderingTest::exactPixelSize()
{
    QFETCH(QSize, source);
    QFETCH(QSize, target);
    AppDelegate controller;
    const QImage rendered =
        controller.resizeImage(SourceImage::fromImage(quadrants(source)), QSizeF(target));
    const QByteArray png = controller.PNGRepresentationOfImage(rendered);
    const QImage file = decodePng(png);
    QCOMPARE(file.size(), target);
    // Every pixel is opaque, so the file has no alpha channel, and holds the rendered pixels.
    QCOMPARE(pngColourType(png), 2);
    QCOMPARE(file.convertToFormat(QImage::Format_ARGB32),
             rendered.convertToFormat(QImage::Format_ARGB32));
}

void RenderingTest::stretchKeepsQuadrants()
{
    const QImage file = renderedFile(SourceImage::fromImage(quadrants({1000, 500})), {100, 100});
    QCOMPARE(file.size(), QSize(100, 100));
    // Nothing cut off, no margin: the colours reach the corners.
    for (int at : {0, 25, 75, 99}) {
        const int other = 99 - at;
        QCOMPARE(file.pixelColor(at, at), QColor(at < 50 ? Qt::red : Qt::yellow));
        QCOMPARE(file.pixelColor(other, at), QColor(at < 50 ? Qt::green : Qt::blue));
    }
}

void RenderingTest::upright()
{
    QImage source(40, 40, QImage::Format_RGB32);
    source.fill(Qt::green);
    QPainter(&source).fillRect(0, 0, 40, 10, Qt::red);
    const QImage file = renderedFile(SourceImage::fromImage(source), {20, 20});
    QCOMPARE(file.pixelColor(10, 1), QColor(Qt::red));
    QCOMPARE(file.pixelColor(10, 18), QColor(Qt::green));
}

void RenderingTest::alphaKeptWithoutFringe()
{
    // A white disc on clear black: averaging straight colour would darken its rim.
    QImage source = card({512, 512}, true, Qt::white);
    const SourceImagePtr image = SourceImage::fromImage(source);
    for (int n : {29, 87, 180, 1024}) {
        const QImage file = renderedFile(image, QSizeF(n, n));
        QVERIFY(file.hasAlphaChannel());
        QCOMPARE(qAlpha(file.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(file.pixel(n / 2, n / 2)), 255);
        int edgePixels = 0;
        for (int y = 0; y < n; ++y) {
            for (int x = 0; x < n; ++x) {
                const QRgb px = file.pixel(x, y);
                if (qAlpha(px) == 0 || qAlpha(px) == 255)
                    continue;
                ++edgePixels;
                QVERIFY2(
                    qRed(px) >= 254 && qGreen(px) >= 254 && qBlue(px) >= 254,
                    qPrintable(
                        QString("fringe at %1,%2 in %3: %4").arg(x).arg(y).arg(n).arg(px, 8, 16)));
            }
        }
        QVERIFY(edgePixels > 0);
    }
}

void RenderingTest::vectorDrawnAtTargetSize()
{
    // A 16-point drawing whose left half is black: drawn at 1024 the edge stays one pixel sharp.
    const QByteArray svg = "<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16' "
                           "viewBox='0 0 16 16'><rect x='0' y='0' width='8' height='16' "
                           "fill='black'/></svg>";
    const SourceImage::Loaded loaded = SourceImage::fromData(svg, "half.svg");
    QVERIFY(loaded.image);
    QVERIFY(loaded.image->isVector());
    QCOMPARE(loaded.image->size(), QSizeF(16, 16));
    const QImage file = renderedFile(loaded.image, {1024, 1024});
    QCOMPARE(file.size(), QSize(1024, 1024));
    for (int x : {510, 511, 512, 513})
        QCOMPARE(qAlpha(file.pixel(x, 500)), x < 512 ? 255 : 0);
    // Stretched, not letterboxed.
    const QImage wide = renderedFile(loaded.image, {200, 50});
    QCOMPARE(qAlpha(wide.pixel(99, 25)), 255);
    QCOMPARE(qAlpha(wide.pixel(100, 25)), 0);
}

void RenderingTest::bestImageOfSeveral_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<QColor>("colour");
    QTest::newRow("16 uses the 16") << 16 << QColor(Qt::red);
    QTest::newRow("17 uses the 64") << 17 << QColor(Qt::blue);
    QTest::newRow("64 uses the 64") << 64 << QColor(Qt::blue);
    QTest::newRow("200 uses the largest") << 200 << QColor(Qt::green);
}

void RenderingTest::bestImageOfSeveral()
{
    QFETCH(int, target);
    QFETCH(QColor, colour);
    QList<QImage> images;
    const std::pair<int, Qt::GlobalColor> stored[] = {
        {64, Qt::blue}, {16, Qt::red}, {128, Qt::green}};
    for (auto [side, fill] : stored) {
        images << QImage(side, side, QImage::Format_ARGB32);
        images.last().fill(fill);
    }
    const SourceImage::Loaded loaded = SourceImage::fromData(icoFile(images), "app.ico");
    QVERIFY2(loaded.image, qPrintable(loaded.error));
    QCOMPARE(loaded.image->size(), QSizeF(128, 128));
    QCOMPARE(renderedFile(loaded.image, QSizeF(target, target)).pixelColor(target / 2, target / 2),
             colour);
}

void RenderingTest::colourSpaceKept()
{
    QImage source = quadrants({64, 64});
    source.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    const SourceImage::Loaded loaded = SourceImage::fromData(pngBytes(source), "p3.png");
    QVERIFY(loaded.image);
    QCOMPARE(renderedFile(loaded.image, {32, 32}).colorSpace(),
             QColorSpace(QColorSpace::DisplayP3));

    // A plain sRGB source gives plain files, with no profile to carry.
    const QImage plain =
        renderedFile(SourceImage::fromData(pngBytes(quadrants({64, 64})), "s.png").image, {32, 32});
    QVERIFY(!plain.colorSpace().isValid() || plain.colorSpace() == QColorSpace(QColorSpace::SRgb));
}

void RenderingTest::impossibleTargetsGiveNothing_data()
{
    QTest::addColumn<QSizeF>("target");
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("0x0") << QSizeF(0, 0);
    QTest::newRow("0x40") << QSizeF(0, 40);
    QTest::newRow("40x0") << QSizeF(40, 0);
    QTest::newRow("negative") << QSizeF(-20, 20);
    QTest::newRow("NaN") << QSizeF(nan, 20);
    QTest::newRow("infinite") << QSizeF(20, inf);
    QTest::newRow("16385 wide") << QSizeF(16385, 1);
    QTest::newRow("above 2^28 pixels") << QSizeF(16384, 16385);
    QTest::newRow("3x of the 32-bit limit") << QSizeF(6442450941.0, 3);
}

void RenderingTest::impossibleTargetsGiveNothing()
{
    QFETCH(QSizeF, target);
    AppDelegate controller;
    const QImage image = controller.resizeImage(SourceImage::fromImage(quadrants({8, 8})), target);
    QVERIFY(image.isNull());
    QVERIFY(controller.PNGRepresentationOfImage(image).isEmpty());
    QVERIFY(controller.resizeImage(nullptr, {20, 20}).isNull());
}

QTEST_MAIN(RenderingTest)
#include "tst_rendering.moc"
