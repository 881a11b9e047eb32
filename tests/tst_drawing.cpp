// Drawings (SVG) from the bytes to the icons, with librsvg's own reference renderings as the
// independent judge of what the pixels should be.
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
const bool Sanitized = !qEnvironmentVariableIsEmpty("ASSETSMITH_SANITIZED");

QByteArray svg(const QByteArray &attributes, const QByteArray &body)
{
    return "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' " +
           attributes + ">" + body + "</svg>";
}

// Red top left, green top right, blue bottom left, white bottom right, in a w by h user space.
QByteArray quadrants(const QByteArray &attributes, int w, int h)
{
    const char *colours[] = {"f00", "0f0", "00f", "fff"};
    QByteArray body;
    for (int i = 0; i < 4; ++i)
        body += QString::asprintf("<rect x='%g' y='%g' width='%g' height='%g' fill='#%s'/>",
                                  i % 2 * w / 2.0, i / 2 * h / 2.0, w / 2.0, h / 2.0, colours[i])
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

// A drop shadow as its definition spells it out, by hand: a blur of its input's alpha, offset,
// the flood kept where that falls, and the input merged over it.
QByteArray spelledOut(const QByteArray &in, const QByteArray &blur, const QByteArray &offset,
                      const QByteArray &flood, const QByteArray &merge = {})
{
    const QByteArray alpha = in == "SourceGraphic"
                                 ? "<feGaussianBlur in='SourceAlpha' "
                                 : "<feColorMatrix in='" + in +
                                       "' values='0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1 0'/>"
                                       "<feGaussianBlur ";
    return alpha + blur + "/><feOffset " + offset + " result='by-hand'/><feFlood " + flood +
           "/><feComposite in2='by-hand' operator='in'/><feMerge " + merge +
           "><feMergeNode/><feMergeNode in='" + in + "'/></feMerge>";
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
        int rows = 0;
        static const QRegularExpression left(
            QStringLiteral("href\\s*=\\s*[\"'](?!#|data:)|@import|<xi:include|<(text|tspan)\\b"));
        for (QDirIterator it(Reftests, {"*-ref.png"}, QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();) {
            const QString path = it.next().chopped(8) + ".svg";
            const QString name = QFileInfo(path).fileName();
            if (!QFileInfo::exists(path) || name.startsWith("system-language-") ||
                left.match(QString::fromUtf8(bytesOf(path))).hasMatch())
                continue;
            // The sanitizers' run takes every third: the drawing is librsvg's, the code around
            // it the same for each.
            if (Sanitized && rows++ % 3 != 0)
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

    // Read as browsers read it (96 pixels to the inch; 2.54 cm, 72 points, 6 picas to the inch),
    // compressed or not, known by its root past any prolog (exported files often open with a
    // licence); anything else refused with a sentence, never drawn at a guessed size.
    void loads_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("expected"); // "WxH" when it loads, else words of the refusal
        QTest::addColumn<QRgb>("topLeft");     // unless 0, at (3, 3) when drawn at 20 by 20
        const auto row = [](const char *tag, const QByteArray &data, const QString &expected,
                            QRgb topLeft = qRgb(255, 0, 0)) {
            QTest::newRow(tag) << data << expected << topLeft;
        };
        const auto sized = [&](const char *tag, const QByteArray &attributes, const QString &size) {
            row(tag, svg(attributes, "<rect width='10' height='10'/>"), size, 0);
        };
        const QString damaged = "is damaged", notImage = "not an image";
        sized("px", "width='10.5px' height='32'", "10.5x32");
        sized("in, cm", "width='1in' height='1.27cm'", "96x48");
        sized("mm, pt", "width='254mm' height='36pt'", "960x48");
        sized("pc", "width='6pc' height='3pc'", "96x48");
        sized("viewBox only", "viewBox='0 0 300 150'", "300x150");
        sized("percent: viewBox", "width='100%' height='100%' viewBox='-5 -5 40 20'", "40x20");
        sized("width, viewBox ratio", "width='200' viewBox='0 0 100 50'", "200x100");
        sized("height, viewBox ratio", "height='30' viewBox='0 0 100 50'", "60x30");
        sized("percent, no viewBox", "width='50%' height='50%'", damaged);
        sized("zero width", "width='0' height='10'", damaged);
        sized("empty viewBox", "viewBox='0 0 0 0'", damaged);
        sized("absurd size", "width='1e12' height='10'", "too large");
        const QByteArray body = quadrants("width='20' height='20'", 20, 20), filler(5000, 'x');
        row("svgz", gzip(body), "20x20");
        row("svgz cut short", gzip(body).chopped(12), damaged);
        row("gzip of no drawing", gzip("just some text"), notImage);
        // Embedded bitmaps (here one green pixel) are the one kind of reference that is drawn.
        row("embedded png",
            svg("width='20' height='20'",
                "<image width='20' height='20' href='data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAA"
                "AAEAAAABCAIAAACQd1PeAAAADElEQVR4nGNgOMEAAAGUAMlBGJ3rAAAAAElFTkSuQmCC'/>"),
            "20x20", qRgb(0, 200, 0));
        row("licence comment",
            "<?xml version='1.0' encoding='UTF-8'?>\n<!-- " + filler + " -->\n" + body, "20x20");
        row("doctype with internal subset",
            "<!DOCTYPE svg [<!ENTITY note '" + filler +
                "]>'><!-- ]> ' --><?note ]> \" ?><!ATTLIST svg data-note CDATA \"]>\">]>" + body,
            "20x20");
        row("byte order mark",
            "\xef\xbb\xbf<?xml version='1.0'?>\r\n<?made by=\"hand\"?>\t<!--" + filler + "-->" +
                body,
            "20x20");
        row("prefixed root",
            "<!--" + filler +
                "--><s:svg xmlns:s='http://www.w3.org/2000/svg' width='20' height='20'>"
                "<s:rect width='20' height='20' fill='red'/></s:svg>",
            "20x20");
        row("XHTML root",
            "<!-- <svg> --><html xmlns='http://www.w3.org/1999/xhtml'><body>" + body +
                "</body></html>",
            notImage);
        row("root svgx", QByteArray(body).replace("svg ", "svgx ").replace("/svg>", "/svgx>"),
            notImage);
        row("text", "A drawing: " + body, notImage);
        row("comment never ends", "<?xml version='1.0'?>\n<!-- " + body, notImage);
        row("doctype never ends", "<!DOCTYPE svg [ <!ENTITY a '>'> " + body, notImage);
        row("drop shadows spelled out past the bound",
            svg("width='8' height='8'",
                "<filter id='f'>" + QByteArray("<feDropShadow/>").repeated(150000) + "</filter>"),
            "too large");
        row("prolog over a mebibyte",
            "<!--" + QByteArray(SvgDrawing::MaxProlog, '-') + "-->" + body, notImage);
    }

    void loads()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, expected);
        QFETCH(QRgb, topLeft);
        const SourceImage::Loaded loaded = SourceImage::fromData(data, "x.svg");
        if (!expected.front().isDigit()) {
            QVERIFY2(!loaded.image && loaded.error.contains(expected) &&
                         loaded.error.contains("“x.svg”"),
                     qPrintable(loaded.error));
            const SvgDrawing drawing(data);
            QVERIFY(drawing.failure() != SvgDrawing::Failure::None);
            QVERIFY(drawing.render(QSize(16, 16)).isNull());
            return;
        }
        QVERIFY2(loaded.image, qPrintable(loaded.error));
        const QSizeF size = loaded.image->size();
        QCOMPARE(QString("%1x%2").arg(size.width(), 0, 'g', 6).arg(size.height(), 0, 'g', 6),
                 expected);
        if (topLeft)
            QCOMPARE(Renderer::render(loaded.image.get(), {20, 20}).pixel(3, 3), topLeft);
    }

    // The whole drawing fills the target in both directions whatever the aspect ratios: each
    // quadrant's colour at the middle of the matching quarter, and in the corners.
    void stretchesToAnyTarget_data()
    {
        QTest::addColumn<QByteArray>("drawing");
        QTest::addColumn<QSize>("target");
        const QByteArray wide = quadrants("width='200' height='100'", 200, 100);
        QTest::newRow("wide into tall") << wide << QSize(40, 120);
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

    // A drop shadow, which the renderer leaves out with all it filters, draws as the primitives
    // it stands for. Around it the drawing keeps its meaning: prefixes, style sheets, entities.
    void dropShadowsDrawAsTheirPrimitives_data()
    {
        QTest::addColumn<QByteArray>("drawing"); // FILTER stands for the primitives
        QTest::addColumn<QByteArray>("shadow");
        QTest::addColumn<QByteArray>("primitives");
        const QByteArray square =
            svg("width='64' height='64'",
                "<filter id='f' x='-50%' y='-50%' width='200%' height='200%'>FILTER</filter>"
                "<path d='M20 14h24v22h-12z' fill='#3a6' fill-opacity='0.8' filter='url(#f)'/>");
        const auto row = [&](const char *tag, const QByteArray &shadow,
                             const QByteArray &primitives, const QByteArray &drawing = {}) {
            QTest::newRow(tag) << (drawing.isEmpty() ? square : drawing) << shadow << primitives;
        };
        const QByteArray usualBlur = "stdDeviation='2'", black = "";
        row("defaults", "<feDropShadow/>",
            spelledOut("SourceGraphic", usualBlur, "dx='2' dy='2'",
                       "flood-color='black' flood-opacity='1'"));
        row("offset and blur", "<feDropShadow dx='-3' dy='5' stdDeviation='1.5'/>",
            spelledOut("SourceGraphic", "stdDeviation='1.5'", "dx='-3' dy='5'", black));
        row("blur in two directions", "<feDropShadow dx='4' dy='-2' stdDeviation='4 0.5'/>",
            spelledOut("SourceGraphic", "stdDeviation='4 0.5'", "dx='4' dy='-2'", black));
        const QByteArray red = "flood-color='#c03' flood-opacity='0.4'";
        row("flood attributes", "<feDropShadow dy='4' flood-color='#c03' flood-opacity='0.4'/>",
            spelledOut("SourceGraphic", usualBlur, "dx='2' dy='4'", red));
        row("flood style over attributes",
            "<feDropShadow dy='4' flood-color='blue' style='flood-color: #c03; "
            "flood-opacity:.4'/>",
            spelledOut("SourceGraphic", usualBlur, "dx='2' dy='4'", red));
        row("named input and result",
            "<feOffset dx='5' result='moved'/><feDropShadow in='moved' dy='4' result='shade'/>"
            "<feBlend in='SourceGraphic' in2='shade' mode='multiply'/>",
            "<feOffset dx='5' result='moved'/>" +
                spelledOut("moved", usualBlur, "dx='2' dy='4'", black, "result='shade'") +
                "<feBlend in='SourceGraphic' in2='shade' mode='multiply'/>");
        row("previous result",
            "<feFlood flood-color='#fc0' x='8' y='8' width='20' height='20'/>"
            "<feComposite in2='SourceGraphic'/><feDropShadow dx='3' dy='-4' stdDeviation='1'/>",
            "<feFlood flood-color='#fc0' x='8' y='8' width='20' height='20'/>"
            "<feComposite in2='SourceGraphic' result='top'/>" +
                spelledOut("top", "stdDeviation='1'", "dx='3' dy='-4'", black));
        row("previous named result", "<feOffset dx='-4' result='left'/><feDropShadow dy='3'/>",
            "<feOffset dx='-4' result='left'/>" +
                spelledOut("left", usualBlur, "dx='2' dy='3'", black));
        row("two in one filter",
            "<feDropShadow dx='4' dy='0' flood-color='red'/>"
            "<feDropShadow dx='0' dy='4' stdDeviation='1' flood-color='blue'/>",
            spelledOut("SourceGraphic", usualBlur, "dx='4' dy='0'", "flood-color='red'",
                       "result='first'") +
                spelledOut("first", "stdDeviation='1'", "dx='0' dy='4'", "flood-color='blue'"));
        row("subregion", "<feDropShadow dx='6' dy='6' x='10' y='12' width='40' height='30'/>",
            spelledOut("SourceGraphic", usualBlur, "dx='6' dy='6'", black,
                       "x='10' y='12' width='40' height='30'"));
        // The names the spelling would give its own results first, taken by the drawing.
        const QByteArray ours = "<feOffset dx='6' result='dropShadow1'/>";
        const QByteArray mergeOurs =
            "<feMerge><feMergeNode in='dropShadow2'/><feMergeNode in='dropShadow1'/></feMerge>";
        row("names taken", ours + "<feDropShadow in='SourceGraphic'/>" + mergeOurs,
            ours + spelledOut("SourceGraphic", usualBlur, "dx='2' dy='2'", black) + mergeOurs,
            QByteArray(square).replace("<path", "<path id='dropShadow2'"));
        row("prefixed", "<s:feDropShadow dx='-2' dy='3'/>",
            spelledOut("SourceGraphic", usualBlur, "dx='-2' dy='3'", black)
                .replace("<fe", "<s:fe")
                .replace("</fe", "</s:fe"),
            "<s:svg xmlns:s='http://www.w3.org/2000/svg' xmlns='urn:elsewhere' width='64' "
            "height='64'>"
            "<s:filter id='f'>FILTER</s:filter><s:circle cx='30' cy='30' r='12' "
            "filter='url(#f)'/></s:svg>");
        row("no namespace", "<feDropShadow dx='-3' dy='-3'/>",
            spelledOut("SourceGraphic", usualBlur, "dx='-3' dy='-3'", black),
            "<svg width='64' height='64'><filter id='f'>FILTER</filter>"
            "<circle cx='30' cy='30' r='12' filter='url(#f)'/></svg>");
        row("style sheet in CDATA", "<feDropShadow dy='-3'/>",
            spelledOut("SourceGraphic", usualBlur, "dx='2' dy='-3'", black),
            svg("width='64' height='64'",
                "<style><![CDATA[ svg > .a { fill: #36c } ]]></style><filter id='f'>FILTER"
                "</filter><rect class='a' x='9' y='9' width='30' height='40' filter='url(#f)'/>"));
        row("entities", "<feDropShadow dx='3'/>",
            spelledOut("SourceGraphic", usualBlur, "dx='3' dy='2'", black),
            "<?xml version='1.0' encoding='ISO-8859-1'?>\n<!DOCTYPE svg ["
            "<!ENTITY blue '#36c'><!ENTITY dot \"<circle cx='40' cy='40' r='9' fill='&blue;'/>\">"
            "<!ATTLIST circle stroke CDATA 'red'>]>" +
                svg("width='64' height='64'",
                    "<filter id='f'>FILTER</filter><g filter='url(#f)'>&dot;<rect width='9' "
                    "height='9' fill='&blue;'/></g>"));
    }

    void dropShadowsDrawAsTheirPrimitives()
    {
        QFETCH(QByteArray, drawing);
        QFETCH(QByteArray, shadow);
        QFETCH(QByteArray, primitives);
        const SourceImage::Loaded loaded =
            SourceImage::fromData(QByteArray(drawing).replace("FILTER", shadow), "x.svg");
        QVERIFY2(loaded.image, qPrintable(loaded.error));
        const QImage image = Renderer::render(loaded.image.get(), {64, 64});
        const QImage expected =
            SvgDrawing(QByteArray(drawing).replace("FILTER", primitives)).render({64, 64});
        QCOMPARE(difference(image, expected), 0);
    }

    // A layer of a real icon that the renderer left out whole now draws, and its shadow falls
    // below it.
    void realShadowedLayerDraws()
    {
        const SourceImage::Loaded loaded = SourceImage::fromFile(QStringLiteral(
            ASSETSMITH_REAL_ICONS "/../truth/Mcrich23__Teddy/Project Rovo.swiftpm/"
                                  "AppIcon.icon/Assets/CameraVoiceAppIcon-Body.svg"));
        QVERIFY2(loaded.image, qPrintable(loaded.error));
        const QImage image = Renderer::render(loaded.image.get(), {256, 256});
        // The body is 200 to 824 across and 320 to 780 down of 1024; the shadow falls 16 lower.
        QCOMPARE(qAlpha(image.pixel(128, 150)), 255);
        const int shadow = qAlpha(image.pixel(128, 197));
        QVERIFY2(shadow > 0 && shadow < 64, qPrintable(QString::number(shadow)));
        QCOMPARE(qAlpha(image.pixel(128, 230)), 0);
    }

    // A pure green picture sits beside the drawing, named by every route a drawing has to a file;
    // its icon must never show that green.
    void nothingBesideTheSourceIsRead_data()
    {
        QTest::addColumn<QByteArray>("body"); // SQUARE the size of the drawing, DIR its folder
        const auto row = [](const char *tag, const char *body) {
            QTest::newRow(tag) << QByteArray(body);
        };
        row("relative image", "<image href='green.png' SQUARE/>");
        row("absolute image", "<image href='DIR/green.png' SQUARE/>");
        row("file url", "<image xlink:href='file://DIR/green.png' SQUARE/>");
        row("feImage", "<filter id='f'><feImage href='DIR/green.png'/></filter>"
                       "<rect SQUARE fill='red' filter='url(#f)'/>");
        row("use", "<use href='green.svg#square'/>");
        row("paint", "<rect SQUARE fill='url(file://DIR/green.svg#p) red'/>");
        row("xinclude", "<xi:include xmlns:xi='http://www.w3.org/2001/XInclude'"
                        " href='file://DIR/green.svg' parse='xml'/>");
        row("css import",
            "<style>@import url(file://DIR/green.css);</style><rect SQUARE fill='red'/>");
        row("relative css", "<style>@import 'green.css';</style><rect SQUARE/>");
    }

    void nothingBesideTheSourceIsRead()
    {
        QFETCH(QByteArray, body);
        QTemporaryDir dir;
        const QByteArray square = "width='64' height='64'";
        QImage green(64, 64, QImage::Format_RGB32);
        green.fill(qRgb(0, 255, 0));
        saveImage(dir.filePath("green.png"), green);
        QVERIFY(writeFile(dir.filePath("green.css"), "rect { fill: #0f0 !important; }"));
        QVERIFY(writeFile(dir.filePath("green.svg"),
                          svg(square, "<pattern id='p' " + square +
                                          " patternUnits='userSpaceOnUse'><rect " + square +
                                          " fill='#0f0'/></pattern><rect id='square' " + square +
                                          " fill='#0f0'/>")));
        QVERIFY(writeFile(
            dir.filePath("logo.svg"),
            svg(square,
                body.replace("SQUARE", square).replace("DIR", QFile::encodeName(dir.path())))));
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

    // Families read as CSS reads them, in attributes and style sheets: the first family each names,
    // unless it is a generic one, is missing here, and only when there is text to set.
    void missingFontsAreNamed_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("missing");
        const auto row = [](const char *tag, const QByteArray &body, const QStringList &missing,
                            const QByteArray &text = "<text x='2' y='30'>A</text>") {
            QTest::newRow(tag) << body + text << missing;
        };
        const QStringList a{"Absent A"};
        row("attribute, single quotes", "<g font-family=\"'Absent A', serif\"/>", a);
        row("attribute, entity quotes", "<g font-family='&quot;Absent A&quot;'/>", a);
        row("attribute, unquoted", "<g font-family=' Absent \n A , serif'/>", a);
        row("attribute, escaped", "<g font-family='Absent\\ A\\,B'/>", {"Absent A,B"});
        row("style, double quotes", "<g style='fill:red;font-family:\"Absent A\",serif'/>", a);
        row("sheet, double quotes", "<style>.a{font-family:\"Absent A\",serif}</style>", a);
        row("sheet, single quotes", "<style>.a { font-family: 'Absent A'; }</style>", a);
        row("sheet, unquoted", "<style>.a{fill:red;FONT-FAMILY:Absent   A}</style>", a);
        row("sheet, escapes", "<style>.a{font-family:\"\\41 bsent\\\n\\\"A\\\"\"}</style>",
            {"Absent\"A\""});
        row("sheet, CDATA", "<style><![CDATA[.a>b{font-family:\"Absent A\"}]]></style>", a);
        row("sheet, several",
            "<style>@font-face{font-family:'Absent A'}.b{font-family:/**/Absent B}"
            ".c{font:12px serif}</style>",
            {"Absent A", "Absent B"});
        row("sheet, commented out", "<style>/* .a{font-family:Absent A} */</style>", {});
        row("sheet, in a string", "<style>.a{content:'font-family:Absent A'}</style>", {});
        row("not CSS", "<text>font-family: Absent A</text>", {});
        row("generic first", "<g font-family='sans-serif, Absent A'/>", {});
        row("generic families",
            "<g font-family='serif'/><g font-family='monospace'/><g style='font-family:cursive'/>"
            "<style>.a{font-family:system-ui}.b{font-family:fantasy}.c{font-family:ui-rounded}"
            "</style>",
            {});
        row("named twice", "<g font-family='Absent A'/><g style='font-family:\"absent a\"'/>", a);
        row("no text", "<g font-family='Absent A'/>", {}, {});
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
        const SourceImage::Loaded loaded = SourceImage::fromData(
            svg("width='64' height='64'", "<style>.a { font-family: \"Nowhere Grotesk\"; }</style>"
                                          "<text class='a' x='2' y='30'>A</text>"),
            "label.svg");
        QVERIFY(loaded.image);
        QTemporaryDir dir;
        const ExportReport report = AssetExporter::writeAppIconSet(loaded.image.get(), dir.path(),
                                                                   AssetPlan::Platform::Mac);
        QVERIFY(std::any_of(report.warnings.begin(), report.warnings.end(), [](const auto &w) {
            return w.code == "missing-font" && w.message.contains("Nowhere Grotesk");
        }));
    }
};

QTEST_GUILESS_MAIN(DrawingTest)
#include "tst_drawing.moc"
