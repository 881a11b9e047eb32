// Drawings (SVG) from the bytes to the icons: sizes as browsers read them, stretching, straight
// alpha, nothing read beside the source, the worker's one trip, and librsvg's own reference
// renderings as the independent judge of what the pixels should be.
#include "TestFiles.h"
#include "export/AssetExporter.h"
#include "export/Renderer.h"
#include "source/IsolatedDecoder.h"
#include "source/SourceImage.h"
#include "source/SvgDrawing.h"

#include <QRegularExpression>
#include <QtEndian>
#include <QTemporaryDir>

#include <zlib.h>

namespace {

const QString Reftests = QStringLiteral("/usr/libexec/installed-tests/RSVG/fixtures/reftests");

QByteArray svg(const QByteArray &attributes, const QByteArray &body)
{
    return "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' " +
           attributes + ">" + body + "</svg>";
}

// Red top left, green top right, blue bottom left, white bottom right, in a w by h user space.
QByteArray quadrants(const QByteArray &attributes, int w, int h)
{
    QByteArray body;
    const char *colours[] = {"#f00", "#0f0", "#00f", "#fff"};
    for (int i = 0; i < 4; ++i)
        body += QStringLiteral("<rect x='%1' y='%2' width='%3' height='%4' fill='%5'/>")
                    .arg(i % 2 * w / 2.0)
                    .arg(i / 2 * h / 2.0)
                    .arg(w / 2.0)
                    .arg(h / 2.0)
                    .arg(colours[i])
                    .toUtf8();
    return svg(attributes, body);
}

// The gzip wrapping around the raw deflate stream inside Qt's zlib format.
QByteArray gzip(const QByteArray &data)
{
    const QByteArray z = qCompress(data, 1);
    const quint32 trailer[2] = {
        qToLittleEndian(quint32(
            crc32(0, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size())))),
        qToLittleEndian(quint32(data.size()))};
    return QByteArray("\x1f\x8b\x08\0\0\0\0\0\0\xff", 10) + z.mid(6, z.size() - 10) +
           QByteArray(reinterpret_cast<const char *>(trailer), 8);
}

// How many pixels differ by more than 2 in a premultiplied channel (colour under
// near-transparency counts only as much as it shows).
qint64 difference(const QImage &a, const QImage &b)
{
    const QImage pa = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage pb = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    qint64 over = 0;
    for (int y = 0; y < pa.height(); ++y) {
        for (int x = 0; x < pa.width(); ++x) {
            const QRgb p = pa.pixel(x, y), q = pb.pixel(x, y);
            over += std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))}) > 2;
        }
    }
    return over;
}

} // namespace

class DrawingTest : public QObject
{
    Q_OBJECT

private slots:
    // Each of Debian's librsvg reference renderings, drawn at the reference's own size. Left out:
    // cases librsvg marks as ignored, text (its references need fonts installed only on its own
    // test machines), the system-language cases (they follow the machine's language), and drawings
    // that reach files beside them, which this product refuses to read.
    void matchesReferenceRenderings_data()
    {
        QTest::addColumn<QString>("path");
        static const QRegularExpression left(
            QStringLiteral("href\\s*=\\s*[\"'](?!#|data:)|@import|<xi:include|<(text|tspan)\\b"));
        for (QDirIterator it(Reftests, {"*-ref.png"}, QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();) {
            const QString path = it.next().chopped(8) + ".svg";
            const QString name = QFileInfo(path).fileName();
            if (!QFileInfo::exists(path) || name.startsWith("system-language-") ||
                left.match(QString::fromUtf8(bytesOf(path))).hasMatch())
                continue;
            QTest::newRow(qPrintable(QDir(Reftests).relativeFilePath(path))) << path;
        }
    }

    void matchesReferenceRenderings()
    {
        QFETCH(QString, path);
        const SvgDrawing drawing(bytesOf(path));
        const QImage reference(path.chopped(4) + "-ref.png");
        QCOMPARE(drawing.failure(), SvgDrawing::Failure::None);
        // A drawing of a fractional size is shown unscaled on whole pixels (or cropped) by its
        // reference, where an icon stretches it to fill them.
        if (drawing.size() != QSizeF(reference.size()))
            QSKIP("the reference is not the drawing's own size");
        const QImage drawn = drawing.render(reference.size());
        const qint64 over = difference(drawn, reference);
        QVERIFY2(over * 1000 <= qint64(drawn.width()) * drawn.height(),
                 qPrintable(QString("%1 pixels differ by more than 2").arg(over)));
    }

    // Expected sizes by hand: 96 pixels to the inch; 2.54 cm, 72 points and 6 picas to the inch.
    void sizeAsBrowsersReadIt_data()
    {
        QTest::addColumn<QByteArray>("attributes");
        QTest::addColumn<QSizeF>("size"); // empty: refused for having no size
        QTest::newRow("px") << QByteArray("width='10.5px' height='32'") << QSizeF(10.5, 32);
        QTest::newRow("in, cm") << QByteArray("width='1in' height='1.27cm'") << QSizeF(96, 48);
        QTest::newRow("mm, pt") << QByteArray("width='254mm' height='36pt'") << QSizeF(960, 48);
        QTest::newRow("pc") << QByteArray("width='6pc' height='3pc'") << QSizeF(96, 48);
        QTest::newRow("viewBox only") << QByteArray("viewBox='0 0 300 150'") << QSizeF(300, 150);
        QTest::newRow("percent: viewBox")
            << QByteArray("width='100%' height='100%' viewBox='-5 -5 40 20'") << QSizeF(40, 20);
        QTest::newRow("width, viewBox ratio")
            << QByteArray("width='200' viewBox='0 0 100 50'") << QSizeF(200, 100);
        QTest::newRow("height, viewBox ratio")
            << QByteArray("height='30' viewBox='0 0 100 50'") << QSizeF(60, 30);
        QTest::newRow("no size") << QByteArray() << QSizeF();
        QTest::newRow("percent, no viewBox") << QByteArray("width='50%' height='50%'") << QSizeF();
        QTest::newRow("zero width") << QByteArray("width='0' height='10'") << QSizeF();
        QTest::newRow("empty viewBox") << QByteArray("viewBox='0 0 0 0'") << QSizeF();
        QTest::newRow("absurd size") << QByteArray("width='1e12' height='10'") << QSizeF();
    }

    void sizeAsBrowsersReadIt()
    {
        QFETCH(QByteArray, attributes);
        QFETCH(QSizeF, size);
        const QByteArray data = svg(attributes, "<rect width='10' height='10'/>");
        const SvgDrawing drawing(data);
        if (size.isEmpty()) {
            QVERIFY(drawing.failure() != SvgDrawing::Failure::None);
            QVERIFY(drawing.render(QSize(16, 16)).isNull());
            // Refused through the whole load with a sentence, not drawn at a guessed size.
            const SourceImage::Loaded loaded = SourceImage::fromData(data, "x.svg");
            QVERIFY(!loaded.image);
            QVERIFY2(loaded.error.contains("“x.svg”"), qPrintable(loaded.error));
            return;
        }
        QCOMPARE(drawing.failure(), SvgDrawing::Failure::None);
        QVERIFY2(qAbs(drawing.size().width() - size.width()) < 1e-4 &&
                     qAbs(drawing.size().height() - size.height()) < 1e-4,
                 qPrintable(
                     QString("%1 x %2").arg(drawing.size().width()).arg(drawing.size().height())));
    }

    // The whole drawing fills the target in both directions whatever the aspect ratios: each
    // quadrant's colour at the middle of the matching quarter, and in the corners.
    void stretchesToAnyTarget_data()
    {
        QTest::addColumn<QByteArray>("drawing");
        QTest::addColumn<QSize>("target");
        const QByteArray wide = quadrants("width='200' height='100'", 200, 100);
        QTest::newRow("wide into tall") << wide << QSize(40, 120);
        QTest::newRow("wide into square") << wide << QSize(64, 64);
        QTest::newRow("wide enlarged") << wide << QSize(1000, 300);
        QTest::newRow("viewBox scaled by size")
            << quadrants("width='50' height='100' viewBox='0 0 10 20'", 10, 20) << QSize(80, 80);
        QTest::newRow("viewBox only, tiny")
            << quadrants("viewBox='0 0 30 10'", 30, 10) << QSize(4, 4);
    }

    void stretchesToAnyTarget()
    {
        QFETCH(QByteArray, drawing);
        QFETCH(QSize, target);
        const QImage image = SvgDrawing(drawing).render(target);
        QCOMPARE(image.size(), target);
        const int w = target.width(), h = target.height();
        const QRgb colours[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255),
                                qRgb(255, 255, 255)};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(image.pixel(w / 4 + i % 2 * w / 2, h / 4 + i / 2 * h / 2), colours[i]);
        QCOMPARE(image.pixel(0, 0), colours[0]);
        QCOMPARE(image.pixel(w - 1, h - 1), colours[3]);
    }

    // Half-transparent mid-grey comes out straight, rounded as rsvg-convert writes it: read as
    // straight, premultiplied would give 64 (a dark fringe on every soft edge), truncation 127.
    // Clear stays clear.
    void alphaIsStraight()
    {
        const QImage image = SvgDrawing(svg("width='4' height='4'", "<rect width='2' height='4' "
                                                                    "fill='#808080' "
                                                                    "fill-opacity='0.5'/>"))
                                 .render(QSize(4, 4));
        QCOMPARE(image.format(), QImage::Format_ARGB32);
        QCOMPARE(image.pixel(1, 1), qRgba(128, 128, 128, 128));
        QCOMPARE(image.pixel(3, 1), 0u);
    }

    void parsing_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<SvgDrawing::Failure>("failure");
        QTest::addColumn<QRgb>("topLeft");
        const QByteArray plain = quadrants("width='20' height='20'", 20, 20);
        using F = SvgDrawing::Failure;
        QTest::newRow("svgz") << gzip(plain) << F::None << qRgb(255, 0, 0);
        QTest::newRow("svgz cut short") << gzip(plain).chopped(12) << F::Damaged << QRgb();
        QTest::newRow("gzip of no drawing") << gzip("just some text") << F::NotSvg << QRgb();
        // Embedded bitmaps (here one green pixel) are the one kind of reference that is drawn.
        QTest::newRow("embedded png")
            << svg("width='20' height='20'",
                   "<image width='20' height='20' "
                   "href='data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAA"
                   "AAEAAAABCAIAAACQd1PeAAAADElEQVR4nGNgOMEAAAGUAMlBGJ3rAAAAAElFTkSuQmCC'/>")
            << F::None << qRgb(0, 200, 0);
    }

    void parsing()
    {
        QFETCH(QByteArray, data);
        QFETCH(SvgDrawing::Failure, failure);
        QFETCH(QRgb, topLeft);
        const SvgDrawing drawing(data);
        QCOMPARE(drawing.failure(), failure);
        if (failure == SvgDrawing::Failure::None)
            QCOMPARE(drawing.render(QSize(20, 20)).pixel(3, 3), topLeft);
    }

    // Known by its root element however long the prolog before it, as exported files often
    // open with a licence; any other document, or one whose prolog never ends, is not a drawing.
    void recognisedByItsRoot_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("expected"); // "WxH" when it loads, else words of the refusal
        const QByteArray body = quadrants("width='20' height='20'", 20, 20);
        const QByteArray filler(5000, 'x');
        const QString notImage = "not an image";
        QTest::newRow("licence comment")
            << "<?xml version='1.0' encoding='UTF-8'?>\n<!-- " + filler + " -->\n" + body
            << "20x20";
        QTest::newRow("doctype with internal subset")
            << "<!DOCTYPE svg PUBLIC '-//W3C//DTD SVG 1.1//EN'\n"
               "  'http://www.w3.org/Graphics/SVG/1.1/DTD/svg11.dtd' [\n"
               "  <!ENTITY note '" +
                   filler +
                   "]>'>\n  <!-- ]> ' -->\n  <?note ]> \" ?>\n"
                   "  <!ATTLIST svg data-note CDATA \"]>\">\n]>\n" +
                   body
            << "20x20";
        QTest::newRow("byte order mark")
            << "\xef\xbb\xbf<?xml version='1.0'?>\r\n<?made by=\"hand\"?>\t<!--" + filler + "-->" +
                   body
            << "20x20";
        QTest::newRow("prefixed root")
            << "<!--" + filler +
                   "--><s:svg xmlns:s='http://www.w3.org/2000/svg' width='20' height='20'>"
                   "<s:rect width='20' height='20' fill='red'/></s:svg>"
            << "20x20";
        QTest::newRow("XHTML root") << "<?xml version='1.0'?>\n<!-- <svg> -->\n"
                                       "<html xmlns='http://www.w3.org/1999/xhtml'><body>" +
                                           body + "</body></html>"
                                    << notImage;
        QTest::newRow("root svgx")
            << QByteArray(body).replace("svg ", "svgx ").replace("/svg>", "/svgx>") << notImage;
        QTest::newRow("text") << "A drawing: " + body << notImage;
        QTest::newRow("comment never ends") << "<?xml version='1.0'?>\n<!-- " + body << notImage;
        QTest::newRow("doctype never ends")
            << "<!DOCTYPE svg [ <!ENTITY a '>'> " + body << notImage;
        QTest::newRow("prolog over a mebibyte")
            << "<!--" + QByteArray(SvgDrawing::MaxProlog, '-') + "-->" + body << notImage;
    }

    void recognisedByItsRoot()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, expected);
        const SourceImage::Loaded loaded = SourceImage::fromData(data, "x.svg");
        if (!expected.front().isDigit()) {
            QVERIFY2(!loaded.image && loaded.error.contains(expected), qPrintable(loaded.error));
            return;
        }
        QVERIFY2(loaded.image, qPrintable(loaded.error));
        QCOMPARE(loaded.image->size(), QSizeF(20, 20));
        QCOMPARE(Renderer::render(loaded.image.get(), {20, 20}).pixel(3, 3), qRgb(255, 0, 0));
    }

    // A pure green picture sits beside the drawing, named by every route a drawing has to a file;
    // its icon must never show that green.
    void nothingBesideTheSourceIsRead_data()
    {
        QTest::addColumn<QByteArray>("body");
        const QByteArray square = "width='64' height='64'";
        QTest::newRow("relative image") << "<image href='green.png' " + square + "/>";
        QTest::newRow("absolute image") << "<image href='@DIR@/green.png' " + square + "/>";
        QTest::newRow("file url") << "<image xlink:href='file://@DIR@/green.png' " + square + "/>";
        QTest::newRow("feImage")
            << "<filter id='f'><feImage href='@DIR@/green.png'/></filter><rect " + square +
                   " fill='red' filter='url(#f)'/>";
        QTest::newRow("use") << QByteArray("<use href='green.svg#square'/>");
        QTest::newRow("paint") << "<rect " + square + " fill='url(file://@DIR@/green.svg#p) red'/>";
        QTest::newRow("xinclude") << QByteArray(
            "<xi:include xmlns:xi='http://www.w3.org/2001/XInclude'"
            " href='file://@DIR@/green.svg' parse='xml'/>");
        QTest::newRow("css import") << "<style>@import url(file://@DIR@/green.css);</style><rect " +
                                           square + " fill='red'/>";
        QTest::newRow("relative css")
            << "<style>@import 'green.css';</style><rect " + square + "/>";
    }

    void nothingBesideTheSourceIsRead()
    {
        QFETCH(QByteArray, body);
        QTemporaryDir dir;
        QImage green(64, 64, QImage::Format_RGB32);
        green.fill(qRgb(0, 255, 0));
        saveImage(dir.filePath("green.png"), green);
        QVERIFY(writeFile(dir.filePath("green.css"), "rect { fill: #0f0 !important; }"));
        QVERIFY(
            writeFile(dir.filePath("green.svg"),
                      svg("width='64' height='64'",
                          "<pattern id='p' width='64' height='64' patternUnits='userSpaceOnUse'>"
                          "<rect width='64' height='64' fill='#0f0'/></pattern>"
                          "<rect id='square' width='64' height='64' fill='#0f0'/>")));
        QVERIFY(writeFile(
            dir.filePath("logo.svg"),
            svg("width='64' height='64'", body.replace("@DIR@", QFile::encodeName(dir.path())))));
        const SourceImage::Loaded loaded = SourceImage::fromFile(dir.filePath("logo.svg"));
        QVERIFY2(loaded.image, qPrintable(loaded.error));
        const QImage icon = Renderer::render(loaded.image.get(), {64, 64});
        QCOMPARE(icon.size(), QSize(64, 64));
        for (int i = 0; i < 64 * 64; ++i) {
            const QRgb p = icon.pixel(i % 64, i / 64);
            QVERIFY(qAlpha(p) == 0 || qGreen(p) < 128 || qRed(p) > 64 || qBlue(p) > 64);
        }
    }

    // Every size comes back from one worker, each exactly as this process draws it; the drawing is
    // over 64 KiB, which a pipe hands over in parts.
    void workerDrawsEverySizeInOneTrip()
    {
        const QByteArray drawing =
            svg("viewBox='0 0 10 10'", "<!--" + QByteArray(300000, 'x') +
                                           "--><linearGradient id='g'><stop stop-color='#123'/>"
                                           "<stop offset='1' stop-color='#fe9' stop-opacity='0.3'/>"
                                           "</linearGradient><circle cx='5' cy='5' r='4.5' "
                                           "fill='url(#g)'/>");
        const SourceImage::Loaded loaded = SourceImage::fromData(drawing, "big.svg");
        QVERIFY2(loaded.image, qPrintable(loaded.error));
        QCOMPARE(loaded.image->size(), QSizeF(10, 10));
        const QList<QSize> sizes{{20, 20}, {1024, 1024}, {3, 7}, {87, 87}, {20, 20}};
        const SourceImage::Drawn drawn = loaded.image->renderVector(sizes);
        QVERIFY2(drawn.error.isEmpty(), qPrintable(drawn.error));
        QCOMPARE(drawn.images.size(), sizes.size());
        const SvgDrawing here(drawing);
        for (qsizetype i = 0; i < sizes.size(); ++i)
            QCOMPARE(drawn.images[i].convertToFormat(QImage::Format_ARGB32), here.render(sizes[i]));
    }

    // Families read as CSS reads them, in attributes and style sheets: the first family each
    // names, unless it is a generic one, is missing here.
    void missingFontsAreNamed_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("missing");
        const QByteArray text = "<text x='2' y='30'>A</text>";
        struct Row
        {
            const char *tag;
            QByteArray body;
            QStringList missing;
        };
        const Row rows[] = {
            {"attribute, single quotes", "<g font-family=\"'Absent A', serif\"/>", {"Absent A"}},
            {"attribute, double quotes", "<g font-family='\"Absent A\",serif'/>", {"Absent A"}},
            {"attribute, entity quotes", "<g font-family='&quot;Absent A&quot;'/>", {"Absent A"}},
            {"attribute, unquoted", "<g font-family=' Absent \n A , serif'/>", {"Absent A"}},
            {"attribute, escaped", "<g font-family='Absent\\ A\\,B'/>", {"Absent A,B"}},
            {"style, double quotes",
             "<g style='fill:red;font-family:\"Absent A\",serif'/>",
             {"Absent A"}},
            {"style, entity quotes",
             "<g style=\"font-family:&quot;Absent A&quot;;fill:red\"/>",
             {"Absent A"}},
            {"sheet, double quotes",
             "<style>.a{font-family:\"Absent A\",serif}</style>",
             {"Absent A"}},
            {"sheet, single quotes",
             "<style>.a { font-family: 'Absent A'; }</style>",
             {"Absent A"}},
            {"sheet, unquoted", "<style>.a{fill:red;FONT-FAMILY:Absent   A}</style>", {"Absent A"}},
            {"sheet, escapes",
             "<style>.a{font-family:\"\\41 bsent \\\"A\\\"\\\n\"}</style>",
             {"Absent \"A\""}},
            {"sheet, important",
             "<style>.a{font-family:'Absent A' !important}</style>",
             {"Absent A"}},
            {"sheet, CDATA",
             "<style><![CDATA[.a>b{font-family:\"Absent A\"}]]></style>",
             {"Absent A"}},
            {"sheet, several",
             "<style>@font-face{font-family:'Absent A'}.b{font-family:/**/"
             "Absent B}.c{font:12px serif}</style>",
             {"Absent A", "Absent B"}},
            {"sheet, commented out", "<style>/* .a{font-family:Absent A} */</style>", {}},
            {"sheet, in a string", "<style>.a{content:'font-family:Absent A'}</style>", {}},
            {"not CSS", "<text>font-family: Absent A</text>", {}},
            {"generic first", "<g font-family='sans-serif, Absent A'/>", {}},
            {"generic families",
             "<g font-family='serif'/><g font-family='monospace'/><g style='font-family:cursive'/>"
             "<style>.a{font-family:system-ui}.b{font-family:fantasy}.c{font-family:ui-rounded}"
             "</style>",
             {}},
            {"named twice",
             "<g font-family='Absent A'/><g style='font-family:\"absent a\"'/>",
             {"Absent A"}},
            {"no text", "<g font-family='Absent A'/>", {}},
        };
        for (const Row &row : rows) {
            const bool withText = QByteArray(row.tag) != "no text";
            QTest::newRow(row.tag) << row.body + (withText ? text : QByteArray()) << row.missing;
        }
    }

    void missingFontsAreNamed()
    {
        QFETCH(QByteArray, body);
        QFETCH(QStringList, missing);
        const SvgDrawing drawing(svg("width='64' height='64'", body));
        QCOMPARE(drawing.failure(), SvgDrawing::Failure::None);
        QCOMPARE(drawing.missingFonts(), missing);
    }

    // The export warns of them.
    void missingFontsAreWarnedOf()
    {
        const QByteArray text =
            svg("width='64' height='64'", "<style>.a { font-family: \"Nowhere Grotesk\"; }</style>"
                                          "<text class='a' x='2' y='30'>A</text>");
        QTemporaryDir dir;
        const SourceImage::Loaded loaded = SourceImage::fromData(text, "label.svg");
        QVERIFY(loaded.image);
        const ExportReport report = AssetExporter::writeAppIconSet(loaded.image.get(), dir.path(),
                                                                   AssetPlan::Platform::Mac);
        QVERIFY(std::any_of(report.warnings.begin(), report.warnings.end(), [](const auto &w) {
            return w.code == "missing-font" && w.message.contains("Nowhere Grotesk");
        }));
    }
};

QTEST_GUILESS_MAIN(DrawingTest)
#include "tst_drawing.moc"
