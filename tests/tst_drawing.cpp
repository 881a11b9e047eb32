// Drawings (SVG) from the bytes to the icons: sizes as browsers read them, stretching, straight
// alpha, nothing read beside the source, the worker's one trip, and librsvg's own reference
// renderings as the independent judge of what the pixels should be.
#include "export/AssetExporter.h"
#include "source/DecodeWorker.h"
#include "source/IsolatedDecoder.h"
#include "source/SourceImage.h"
#include "source/SvgDrawing.h"

#include <QBuffer>
#include <QDirIterator>
#include <QImageReader>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <zlib.h>

namespace {

const QString Reftests = QStringLiteral("/usr/libexec/installed-tests/RSVG/fixtures/reftests");

QByteArray svg(const QByteArray &attributes, const QByteArray &body)
{
    return "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' " +
           attributes + ">" + body + "</svg>";
}

// Four quadrants: red top left, green top right, blue bottom left, white bottom right.
QByteArray quadrants(const QByteArray &attributes, double w, double h)
{
    const QByteArray x = QByteArray::number(w / 2), y = QByteArray::number(h / 2);
    return svg(attributes, "<rect width='" + x + "' height='" + y + "' fill='#f00'/>" +
                               "<rect x='" + x + "' width='" + x + "' height='" + y +
                               "' fill='#0f0'/>" + "<rect y='" + y + "' width='" + x +
                               "' height='" + y + "' fill='#00f'/>" + "<rect x='" + x + "' y='" +
                               y + "' width='" + x + "' height='" + y + "' fill='#fff'/>");
}

QByteArray gzip(const QByteArray &data)
{
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&stream, uLong(data.size()))) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}

QByteArray pngOf(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "png");
    return bytes;
}

// The largest difference of one premultiplied channel, and how many pixels differ by more
// than `tolerance` in any channel: premultiplied, so colour under near-transparency counts
// only as much as it shows.
struct Difference
{
    int largest = 0;
    qint64 pixelsOver = 0;
};

Difference compare(const QImage &a, const QImage &b, int tolerance)
{
    const QImage pa = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage pb = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    Difference d;
    for (int y = 0; y < pa.height(); ++y) {
        const auto *la = reinterpret_cast<const QRgb *>(pa.constScanLine(y));
        const auto *lb = reinterpret_cast<const QRgb *>(pb.constScanLine(y));
        for (int x = 0; x < pa.width(); ++x) {
            const int diff = std::max(
                {std::abs(qRed(la[x]) - qRed(lb[x])), std::abs(qGreen(la[x]) - qGreen(lb[x])),
                 std::abs(qBlue(la[x]) - qBlue(lb[x])), std::abs(qAlpha(la[x]) - qAlpha(lb[x]))});
            d.largest = std::max(d.largest, diff);
            d.pixelsOver += diff > tolerance;
        }
    }
    return d;
}

bool isNear(QRgb pixel, QRgb expected, int slack = 2)
{
    return std::abs(qRed(pixel) - qRed(expected)) <= slack &&
           std::abs(qGreen(pixel) - qGreen(expected)) <= slack &&
           std::abs(qBlue(pixel) - qBlue(expected)) <= slack &&
           std::abs(qAlpha(pixel) - qAlpha(expected)) <= slack;
}

} // namespace

class DrawingTest : public QObject
{
    Q_OBJECT

private slots:
    void matchesReferenceRenderings_data();
    void matchesReferenceRenderings();
    void sizeAsBrowsersReadIt_data();
    void sizeAsBrowsersReadIt();
    void stretchesToAnyTarget_data();
    void stretchesToAnyTarget();
    void alphaIsStraightWithoutFringe();
    void compressedDrawings_data();
    void compressedDrawings();
    void nothingBesideTheSourceIsRead_data();
    void nothingBesideTheSourceIsRead();
    void workerDrawsEverySizeInOneTrip();
    void workerRefusesCutShortInput();
    void largeDrawingCrossesWhole();
    void sameBytesOnOneCoreAndMany();
    void missingFontsAreNamed();
};

// Each reference rendering of Debian's librsvg tests, drawn at the reference's own size. Left
// out: cases librsvg marks as ignored, text (its references were made with fonts installed only
// on its own test machines), the system-language cases (they follow the machine's language),
// and drawings that reach files beside them, which this product refuses to read by design.
void DrawingTest::matchesReferenceRenderings_data()
{
    QTest::addColumn<QString>("svgPath");
    QTest::addColumn<QString>("refPath");
    if (!QFileInfo(Reftests).isDir())
        return;
    static const QRegularExpression outside(
        QStringLiteral("(href\\s*=\\s*[\"'](?!#|data:))|@import|<xi:include"));
    static const QRegularExpression text(QStringLiteral("<(text|tspan|textPath)\\b"));
    QDirIterator it(Reftests, {QStringLiteral("*-ref.png")}, QDir::Files,
                    QDirIterator::Subdirectories);
    QStringList refs;
    while (it.hasNext())
        refs.append(it.next());
    refs.sort();
    for (const QString &ref : std::as_const(refs)) {
        const QString path = ref.chopped(8) + QStringLiteral(".svg");
        const QString name = QFileInfo(path).fileName();
        QFile file(path);
        // The language cases pass only under the language their references were made in.
        if (name.startsWith(QLatin1String("ignore-")) ||
            name.startsWith(QLatin1String("system-language-")) || !file.open(QIODevice::ReadOnly))
            continue;
        const QString source = QString::fromUtf8(file.readAll());
        if (outside.match(source).hasMatch() || text.match(source).hasMatch())
            continue;
        QTest::newRow(qPrintable(QDir(Reftests).relativeFilePath(path))) << path << ref;
    }
}

void DrawingTest::matchesReferenceRenderings()
{
    QFETCH(QString, svgPath);
    QFETCH(QString, refPath);
    if (!QFileInfo(Reftests).isDir())
        QSKIP("Debian's librsvg2-tests is not installed");
    QFile file(svgPath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const SvgDrawing drawing(file.readAll());
    const QImage reference = QImage(refPath).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!reference.isNull());
    QCOMPARE(drawing.failure(), SvgDrawing::Failure::None);
    // A reference of a drawing with a fractional size shows it unscaled on whole pixels (or
    // cropped), where an icon stretches it to fill them.
    if (drawing.size() != QSizeF(reference.size()))
        QSKIP("the reference is not the drawing's own size");
    const QImage drawn = drawing.render(reference.size());
    QCOMPARE(drawn.size(), reference.size());
    const Difference d = compare(drawn, reference, 2);
    QVERIFY2(d.pixelsOver * 1000 <= qint64(drawn.width()) * drawn.height(),
             qPrintable(QStringLiteral("%1 pixels differ by more than 2, at most by %2")
                            .arg(d.pixelsOver)
                            .arg(d.largest)));
}

// Expected sizes worked out by hand: 96 pixels to the inch, 2.54 cm to the inch.
void DrawingTest::sizeAsBrowsersReadIt_data()
{
    QTest::addColumn<QByteArray>("attributes");
    QTest::addColumn<QSizeF>("size"); // empty: refused for having no size
    QTest::newRow("pixels") << QByteArray("width='64' height='32'") << QSizeF(64, 32);
    QTest::newRow("px unit") << QByteArray("width='10.5px' height='20px'") << QSizeF(10.5, 20);
    QTest::newRow("inches") << QByteArray("width='1in' height='0.5in'") << QSizeF(96, 48);
    QTest::newRow("centimetres") << QByteArray("width='2.54cm' height='1.27cm'") << QSizeF(96, 48);
    QTest::newRow("millimetres") << QByteArray("width='254mm' height='25.4mm'") << QSizeF(960, 96);
    QTest::newRow("points") << QByteArray("width='72pt' height='36pt'") << QSizeF(96, 48);
    QTest::newRow("picas") << QByteArray("width='6pc' height='3pc'") << QSizeF(96, 48);
    QTest::newRow("viewBox only") << QByteArray("viewBox='0 0 300 150'") << QSizeF(300, 150);
    QTest::newRow("percent falls back to viewBox")
        << QByteArray("width='100%' height='100%' viewBox='-5 -5 40 20'") << QSizeF(40, 20);
    QTest::newRow("width and viewBox ratio")
        << QByteArray("width='200' viewBox='0 0 100 50'") << QSizeF(200, 100);
    QTest::newRow("height and viewBox ratio")
        << QByteArray("height='30' viewBox='0 0 100 50'") << QSizeF(60, 30);
    QTest::newRow("no size at all") << QByteArray() << QSizeF();
    QTest::newRow("percent and no viewBox") << QByteArray("width='50%' height='50%'") << QSizeF();
    QTest::newRow("zero width") << QByteArray("width='0' height='10'") << QSizeF();
    QTest::newRow("empty viewBox") << QByteArray("viewBox='0 0 0 0'") << QSizeF();
}

void DrawingTest::sizeAsBrowsersReadIt()
{
    QFETCH(QByteArray, attributes);
    QFETCH(QSizeF, size);
    const SvgDrawing drawing(svg(attributes, "<rect width='10' height='10'/>"));
    if (size.isEmpty()) {
        QVERIFY(drawing.failure() != SvgDrawing::Failure::None);
        QVERIFY(drawing.render(QSize(16, 16)).isNull());
        // And through the whole load: refused with a sentence, not drawn at a guessed size.
        const SourceImage::Loaded loaded =
            SourceImage::fromData(svg(attributes, "<rect width='10' height='10'/>"), "x.svg");
        QVERIFY(!loaded.image);
        QVERIFY2(loaded.error.contains("“x.svg”"), qPrintable(loaded.error));
        return;
    }
    QCOMPARE(drawing.failure(), SvgDrawing::Failure::None);
    QVERIFY2(qAbs(drawing.size().width() - size.width()) < 1e-4 &&
                 qAbs(drawing.size().height() - size.height()) < 1e-4,
             qPrintable(QStringLiteral("%1 x %2")
                            .arg(drawing.size().width(), 0, 'g', 12)
                            .arg(drawing.size().height(), 0, 'g', 12)));
}

// The whole drawing fills the target in both directions, whatever the two aspect ratios: each
// quadrant's colour is found at the middle of the matching quarter of the target.
void DrawingTest::stretchesToAnyTarget_data()
{
    QTest::addColumn<QByteArray>("drawing");
    QTest::addColumn<QSize>("target");
    const QByteArray wide = quadrants("width='200' height='100'", 200, 100);
    QTest::newRow("wide into tall") << wide << QSize(40, 120);
    QTest::newRow("wide into square") << wide << QSize(64, 64);
    QTest::newRow("wide enlarged") << wide << QSize(1000, 300);
    // A viewBox of another aspect ratio than the size: drawn as a browser shows it at its own
    // size (centred, meet), then stretched as a whole.
    QTest::newRow("viewBox and size agree")
        << quadrants("width='50' height='100' viewBox='0 0 10 20'", 10, 20) << QSize(80, 80);
    QTest::newRow("viewBox only, tiny target")
        << quadrants("viewBox='0 0 30 10'", 30, 10) << QSize(4, 4);
}

void DrawingTest::stretchesToAnyTarget()
{
    QFETCH(QByteArray, drawing);
    QFETCH(QSize, target);
    const QImage image = SvgDrawing(drawing).render(target);
    QCOMPARE(image.size(), target);
    const int w = target.width(), h = target.height();
    QCOMPARE(image.pixel(w / 4, h / 4), qRgb(255, 0, 0));
    QCOMPARE(image.pixel(w * 3 / 4, h / 4), qRgb(0, 255, 0));
    QCOMPARE(image.pixel(w / 4, h * 3 / 4), qRgb(0, 0, 255));
    QCOMPARE(image.pixel(w * 3 / 4, h * 3 / 4), qRgb(255, 255, 255));
    // Nothing cut off, no margin: the corners are the quadrants' colours too.
    QCOMPARE(image.pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(image.pixel(w - 1, h - 1), qRgb(255, 255, 255));
}

// A white disc on transparency: wherever it shows at all, it is pure white (a premultiplied
// result read as straight would darken the rim), and the corners stay fully transparent.
void DrawingTest::alphaIsStraightWithoutFringe()
{
    const SvgDrawing drawing(svg("width='100' height='100'", "<circle cx='50' cy='50' r='40' "
                                                             "fill='#fff' fill-opacity='0.5'/>"
                                                             "<circle cx='50' cy='50' r='30' "
                                                             "fill='#fff'/>"));
    const QImage image = drawing.render(QSize(37, 37));
    QCOMPARE(image.format(), QImage::Format_ARGB32);
    int partial = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) == 0)
                continue;
            partial += qAlpha(p) < 255;
            QVERIFY2(qRed(p) == 255 && qGreen(p) == 255 && qBlue(p) == 255,
                     qPrintable(QStringLiteral("(%1,%2) is %3").arg(x).arg(y).arg(p, 8, 16)));
        }
    }
    QVERIFY(partial > 20); // the half-transparent ring and the antialiased rims were there
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QVERIFY(isNear(image.pixel(18, 18), qRgba(255, 255, 255, 255), 0));
    QVERIFY(isNear(image.pixel(18, 6), qRgba(255, 255, 255, 128), 1)); // the 0.5 ring
}

void DrawingTest::compressedDrawings_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("failure");
    const QByteArray plain = quadrants("width='20' height='20'", 20, 20);
    QTest::newRow("svgz") << gzip(plain) << int(SvgDrawing::Failure::None);
    QTest::newRow("svgz cut short") << gzip(plain).chopped(12) << int(SvgDrawing::Failure::Damaged);
    // 40 MiB of comment inflates past the bound long before the renderer would see it.
    QTest::newRow("svgz bomb") << gzip(plain.left(60) + "<!--" + QByteArray(40 << 20, 'x') + "-->" +
                                       plain.mid(60))
                               << int(SvgDrawing::Failure::TooLarge);
    QTest::newRow("gzip of no drawing")
        << gzip("just some text") << int(SvgDrawing::Failure::NotSvg);
    QTest::newRow("not well formed")
        << QByteArray("<svg xmlns='http://www.w3.org/2000/svg' width='4' height='4'><rect")
        << int(SvgDrawing::Failure::Damaged);
    // An embedded bitmap is the one kind of reference that is drawn.
    QImage green(8, 8, QImage::Format_ARGB32);
    green.fill(qRgb(0, 200, 0));
    QTest::newRow("embedded png")
        << svg("width='20' height='20'",
               "<image width='20' height='20' href='data:image/png;base64," +
                   pngOf(green).toBase64() + "'/>")
        << int(SvgDrawing::Failure::None);
}

void DrawingTest::compressedDrawings()
{
    QFETCH(QByteArray, data);
    QFETCH(int, failure);
    const SvgDrawing drawing(data);
    QCOMPARE(int(drawing.failure()), failure);
    if (drawing.failure() != SvgDrawing::Failure::None)
        return;
    const QImage image = drawing.render(QSize(20, 20));
    QVERIFY(!image.isNull());
    const QRgb expected = QString::fromUtf8(QTest::currentDataTag()) == QLatin1String("svgz")
                              ? qRgb(255, 0, 0)
                              : qRgb(0, 200, 0);
    QVERIFY(isNear(image.pixel(3, 3), expected));
}

// A pure green picture sits beside the drawing; every route by which a drawing may name a
// file is tried, and the icons must never show that green.
void DrawingTest::nothingBesideTheSourceIsRead_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("relative image")
        << QByteArray("<image href='green.png' width='64' height='64'/>");
    QTest::newRow("absolute image")
        << QByteArray("<image href='@DIR@/green.png' width='64' height='64'/>");
    QTest::newRow("file url image")
        << QByteArray("<image xlink:href='file://@DIR@/green.png' width='64' height='64'/>");
    QTest::newRow("filter image") << QByteArray(
        "<filter id='f'><feImage href='@DIR@/green.png'/></filter>"
        "<rect width='64' height='64' fill='red' filter='url(#f)'/>");
    QTest::newRow("use of another file") << QByteArray("<use href='green.svg#square'/>");
    QTest::newRow("paint from another file")
        << QByteArray("<rect width='64' height='64' fill='url(file://@DIR@/green.svg#p) red'/>");
    QTest::newRow("xinclude") << QByteArray(
        "<xi:include xmlns:xi='http://www.w3.org/2001/XInclude' "
        "href='file://@DIR@/green.svg' parse='xml'/>");
    QTest::newRow("css import") << QByteArray("<style>@import url(file://@DIR@/green.css);</style>"
                                              "<rect width='64' height='64' fill='red'/>");
    QTest::newRow("relative css import")
        << QByteArray("<style>@import 'green.css';</style><rect width='64' height='64'/>");
}

void DrawingTest::nothingBesideTheSourceIsRead()
{
    QFETCH(QByteArray, body);
    QTemporaryDir dir;
    QImage green(64, 64, QImage::Format_RGB32);
    green.fill(qRgb(0, 255, 0));
    QVERIFY(green.save(dir.filePath("green.png")));
    const QByteArray greenSvg =
        svg("width='64' height='64'",
            "<pattern id='p' width='64' height='64' patternUnits='userSpaceOnUse'>"
            "<rect width='64' height='64' fill='#0f0'/></pattern>"
            "<rect id='square' width='64' height='64' fill='#0f0'/>");
    for (const auto &[name, bytes] :
         {std::pair{"green.svg", greenSvg},
          std::pair{"green.css", QByteArray("rect { fill: #0f0 !important; }")}}) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    const QString source = dir.filePath("logo.svg");
    {
        QFile file(source);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(svg("width='64' height='64'",
                       QByteArray(body).replace("@DIR@", QFile::encodeName(dir.path()))));
    }
    const SourceImage::Loaded loaded = SourceImage::fromFile(source);
    QVERIFY2(loaded.image, qPrintable(loaded.error));
    QVERIFY(QDir(dir.path()).mkdir("out"));
    const ExportReport report =
        AssetExporter::writeAppIconSet(loaded.image.get(), dir.filePath("out"), "mac");
    QCOMPARE(report.writtenCount(), 8);
    QDirIterator it(dir.filePath("out/AppIcon.appiconset"), {"*.png"});
    int files = 0;
    while (it.hasNext()) {
        const QImage icon = QImage(it.next()).convertToFormat(QImage::Format_ARGB32);
        ++files;
        for (int y = 0; y < icon.height(); ++y) {
            for (int x = 0; x < icon.width(); ++x) {
                const QRgb p = icon.pixel(x, y);
                QVERIFY2(!(qAlpha(p) > 0 && qGreen(p) > 128 && qRed(p) < 64 && qBlue(p) < 64),
                         qPrintable(it.fileName()));
            }
        }
    }
    QCOMPARE(files, 7);
}

// Every size of a set comes back from one worker, each exactly as the drawing class draws it
// in this process.
void DrawingTest::workerDrawsEverySizeInOneTrip()
{
    const QByteArray drawing =
        svg("viewBox='0 0 10 10'", "<defs><linearGradient id='g'><stop stop-color='#123'/>"
                                   "<stop offset='1' stop-color='#fe9' stop-opacity='0.3'/>"
                                   "</linearGradient></defs><circle cx='5' cy='5' r='4.5' "
                                   "fill='url(#g)'/>");
    const QList<QSize> sizes{{20, 20}, {1024, 1024}, {3, 7}, {87, 87}, {20, 20}};
    const ImageDecoder::Decoded decoded = IsolatedDecoder::renderSvg(drawing, sizes);
    QCOMPARE(decoded.status, ImageDecoder::Status::Ok);
    QCOMPARE(decoded.frames.size(), sizes.size());
    const SvgDrawing here(drawing);
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        QCOMPARE(decoded.frames[i].size(), sizes[i]);
        QCOMPARE(decoded.frames[i].convertToFormat(QImage::Format_ARGB32), here.render(sizes[i]));
    }
}

// The worker's input is framed with its length: a frame that is cut short, too long, or lies
// about its length is refused instead of decoding what arrived.
void DrawingTest::workerRefusesCutShortInput()
{
    const QByteArray data = quadrants("width='8' height='8'", 8, 8);
    const QByteArray framed = DecodeWorker::frame(data);
    QByteArray back;
    QVERIFY(DecodeWorker::unframe(framed, 1 << 20, &back));
    QCOMPARE(back, data);
    QVERIFY(!DecodeWorker::unframe(framed.chopped(1), 1 << 20, &back));
    QVERIFY(!DecodeWorker::unframe(framed + "x", 1 << 20, &back));
    QVERIFY(!DecodeWorker::unframe(framed.left(11), 1 << 20, &back));
    QVERIFY(!DecodeWorker::unframe(framed, data.size() - 1, &back)); // over the limit
    QByteArray badMagic = framed;
    badMagic[0] = char(badMagic[0] ^ 1);
    QVERIFY(!DecodeWorker::unframe(badMagic, 1 << 20, &back));
}

// Pipes carry data in parts of 64 KiB: a drawing several times that size must arrive whole,
// dropped or pasted as data and sent again to be drawn.
void DrawingTest::largeDrawingCrossesWhole()
{
    const QByteArray drawing =
        svg("width='32' height='32'",
            "<!--" + QByteArray(300000, 'x') + "--><rect width='32' height='32' fill='#f00'/>");
    const SourceImage::Loaded loaded = SourceImage::fromData(drawing, "big.svg");
    QVERIFY2(loaded.image, qPrintable(loaded.error));
    QCOMPARE(loaded.image->size(), QSizeF(32, 32));
    const SourceImage::Drawn drawn = loaded.image->renderVector({{16, 16}, {256, 256}});
    QVERIFY2(drawn.error.isEmpty(), qPrintable(drawn.error));
    QCOMPARE(drawn.images.size(), 2);
    QCOMPARE(drawn.images[1].pixel(200, 200), qRgb(255, 0, 0));
}

void DrawingTest::sameBytesOnOneCoreAndMany()
{
    QTemporaryDir dir;
    const QByteArray drawing =
        svg("viewBox='0 0 64 64'",
            "<defs><filter id='b'><feGaussianBlur stdDeviation='2'/></filter>"
            "<mask id='m'><circle cx='32' cy='32' r='24' fill='#fff'/></mask></defs>"
            "<rect width='64' height='64' fill='#38c' mask='url(#m)' filter='url(#b)'/>");
    const SourceImage::Loaded loaded = SourceImage::fromData(drawing, "icon.svg");
    QVERIFY(loaded.image);
    QVERIFY(QDir(dir.path()).mkdir("one") && QDir(dir.path()).mkdir("many"));
    AssetExporter::writeAppIconSet(loaded.image.get(), dir.filePath("one"), "ios", 1);
    AssetExporter::writeAppIconSet(loaded.image.get(), dir.filePath("many"), "ios", 8);
    QDirIterator it(dir.filePath("one/AppIcon.appiconset"), QDir::Files);
    int files = 0;
    while (it.hasNext()) {
        QFile one(it.next()), many(dir.filePath("many/AppIcon.appiconset/" + it.fileName()));
        QVERIFY(one.open(QIODevice::ReadOnly) && many.open(QIODevice::ReadOnly));
        QVERIFY2(one.readAll() == many.readAll(), qPrintable(it.fileName()));
        ++files;
    }
    QCOMPARE(files, 14);
}

void DrawingTest::missingFontsAreNamed()
{
    const QByteArray text =
        svg("width='64' height='64'",
            "<style>.a { font-family: 'Nowhere Grotesk Display', sans-serif; }</style>"
            "<text class='a' x='2' y='30'>A</text>"
            "<text x='2' y='60' font-family=\"Absent Serif Pro, serif\">B</text>"
            "<text x='2' y='60' font-family='sans-serif'>C</text>");
    QCOMPARE(SvgDrawing(text).missingFonts(),
             QStringList({"Nowhere Grotesk Display", "Absent Serif Pro"}));
    // Without any text, a named family draws nothing and is no concern.
    QCOMPARE(SvgDrawing(svg("width='4' height='4'", "<g font-family='Nowhere Grotesk'/>"))
                 .missingFonts(),
             QStringList());

    // The export says so, naming the family.
    QTemporaryDir dir;
    const SourceImage::Loaded loaded = SourceImage::fromData(text, "label.svg");
    QVERIFY(loaded.image);
    const ExportReport report =
        AssetExporter::writeAppIconSet(loaded.image.get(), dir.path(), "mac");
    const auto warning = std::find_if(report.warnings.begin(), report.warnings.end(),
                                      [](const auto &w) { return w.code == "missing-font"; });
    QVERIFY(warning != report.warnings.end());
    QVERIFY(warning->message.contains("Nowhere Grotesk Display"));
}

QTEST_GUILESS_MAIN(DrawingTest)
#include "tst_drawing.moc"
