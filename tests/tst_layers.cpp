// A layered drawing split into its layers: the kept layers, each drawn alone by the decoding
// worker as the product draws drawings and laid over each other back to front, must give the
// whole drawing drawn at once. The real files are designers' own; the hand-made ones copy what
// exporters write where the real files lack it.
#include "TestFiles.h"
#include "source/LayeredDrawing.h"
#include "source/SourceImage.h"

#include <QRegularExpression>

namespace {

const QString Corpus = QStringLiteral(ASSETSMITH_REAL_ICONS "/../../drawings/layered");
const QString HandMade = QStringLiteral(ASSETSMITH_TEST_DATA "/layers");
const QList<QSize> Sizes = {{64, 64}, {256, 256}};

// The drawing at each of Sizes, in straight alpha as the worker gives it.
QList<QImage> draw(const QByteArray &svg, const QString &name)
{
    const SourceImage::Loaded loaded = SourceImage::fromData(svg, name);
    return loaded.image ? loaded.image->renderVector(Sizes).images : QList<QImage>();
}

// Source-over of the layers' premultiplied pixels, kept exact until the end (from the straight
// colours the worker gives, not rounded again) so that only the renderer's rounding remains.
QImage composite(const QList<QImage> &backToFront, QSize size)
{
    QList<double> sum(qsizetype(size.width()) * size.height() * 4, 0.0);
    for (const QImage &layer : backToFront) {
        for (int y = 0; y < size.height(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(layer.constScanLine(y));
            for (int x = 0; x < size.width(); ++x) {
                double *out = &sum[(qsizetype(y) * size.width() + x) * 4];
                const double a = qAlpha(line[x]) / 255.0;
                const double in[] = {qRed(line[x]) * a, qGreen(line[x]) * a, qBlue(line[x]) * a,
                                     a * 255};
                for (int c = 0; c < 4; ++c)
                    out[c] = in[c] + out[c] * (1 - a);
            }
        }
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const double *in = &sum[(qsizetype(y) * size.width() + x) * 4];
            image.setPixel(x, y, qRgba(qRound(in[0]), qRound(in[1]), qRound(in[2]), qRound(in[3])));
        }
    }
    return image;
}

// How many pixels differ by more than `levels` in some premultiplied channel.
int differing(const QImage &a, const QImage &b, int levels)
{
    const QImage pb = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = pb.pixel(x, y);
            count +=
                std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))}) > levels;
        }
    }
    return count;
}

// The references to anything outside the drawing itself.
QSet<QString> outsideReferences(const QByteArray &svg)
{
    static const QRegularExpression reference(
        QStringLiteral("(?:href\\s*=\\s*[\"']|url\\(\\s*['\"]?)(?!#)([^\"')]*)"));
    QSet<QString> found;
    for (auto it = reference.globalMatch(QString::fromUtf8(svg)); it.hasNext();)
        found.insert(it.next().captured(1));
    return found;
}

// The layers front first as "name" with "!" for hidden and "~" for empty, joined by "|"; and
// their kinds as letters: L an Inkscape layer, G a group, S a shape.
QString listing(const LayeredDrawing &split, QString *kinds)
{
    QStringList names;
    kinds->clear();
    for (const LayeredDrawing::Layer &layer : split.layers()) {
        names.append(layer.name + (layer.state == LayeredDrawing::State::Hidden  ? "!"
                                   : layer.state == LayeredDrawing::State::Empty ? "~"
                                                                                 : ""));
        kinds->append(layer.kind == "inkscape-layer" ? 'L' : layer.kind == "group" ? 'G' : 'S');
    }
    return names.join(u'|');
}

// Everything a split says but its layers' drawings, one line a field.
QStringList said(const LayeredDrawing &split)
{
    QStringList lines{split.error(), split.wrappers().join(u'|'), split.crossLayer().join(u'|')};
    for (const LayeredDrawing::Layer &layer : split.layers())
        lines << QStringList{layer.name,    layer.kind,
                             layer.element, QString::number(int(layer.state)),
                             layer.why,     layer.crossLayer.join(u'|')}
                     .join(u'/');
    return lines;
}

} // namespace

class LayersTest : public QObject
{
    Q_OBJECT

private slots:
    // Every real drawing and every hand-made one; those with an effect that spans layers are
    // only asked to say so.
    void layersRedrawTheWhole_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("crossLayer");
        const QSet<QString> crossing = {"wrapper-opacity.svg", "blend.svg", "mask-across.svg"};
        for (const QString &root : {Corpus, HandMade}) {
            for (QDirIterator it(root, {"*.svg"}, QDir::Files, QDirIterator::Subdirectories);
                 it.hasNext();) {
                const QString path = it.next();
                QTest::newRow(qPrintable(QFileInfo(path).fileName()))
                    << path << crossing.contains(QFileInfo(path).fileName());
            }
        }
    }

    void layersRedrawTheWhole()
    {
        QFETCH(QString, path);
        QFETCH(bool, crossLayer);
        const QByteArray bytes = bytesOf(path);
        const LayeredDrawing split = LayeredDrawing::split(bytes);
        QVERIFY2(split.error().isEmpty(), qPrintable(split.error()));
        QVERIFY2(split.crossLayer().isEmpty() != crossLayer,
                 qPrintable(split.crossLayer().join("; ")));
        QList<QList<QImage>> layers; // back to front
        for (auto it = split.layers().crbegin(); it != split.layers().crend(); ++it) {
            QCOMPARE(it->kept(), !it->svg.isEmpty());
            QVERIFY(outsideReferences(it->svg).subtract(outsideReferences(bytes)).isEmpty());
            QVERIFY(!it->svg.contains("<script"));
            if (it->kept())
                layers.append(draw(it->svg, it->name));
            QCOMPARE(layers.isEmpty() ? Sizes.size() : layers.last().size(), Sizes.size());
        }
        const QList<QImage> whole = draw(bytes, path);
        QCOMPARE(whole.size(), Sizes.size());
        for (int s = 0; s < Sizes.size(); ++s) {
            QList<QImage> atSize;
            for (const QList<QImage> &layer : std::as_const(layers))
                atSize.append(layer[s]);
            const QImage together = composite(atSize, Sizes[s]);
            // A mask drawn from another layer is copied whole, so only the others show.
            if (crossLayer && !path.endsWith("mask-across.svg"))
                QVERIFY(differing(together, whole[s], 2) > 0);
            if (crossLayer)
                continue;
            // The renderer composites in 8 bits: a layer whose own shapes overlap at an edge is
            // rounded once more alone than in the whole, which can reach a second level at a
            // pixel in a thousand.
            const int pixels = Sizes[s].width() * Sizes[s].height();
            QCOMPARE(differing(together, whole[s], 2), 0);
            QVERIFY2(differing(together, whole[s], 1) * 1000 <= pixels,
                     qPrintable(QString("%1 pixels differ by 2 levels at %2")
                                    .arg(differing(together, whole[s], 1))
                                    .arg(Sizes[s].width())));
        }
    }

    // The split the product uses, made in the decoding worker, is the one made here, byte for
    // byte, on every real drawing and every hand-made one.
    void isolatedSplitIsTheSame_data() { layersRedrawTheWhole_data(); }

    void isolatedSplitIsTheSame()
    {
        QFETCH(QString, path);
        const QByteArray bytes = bytesOf(path);
        const LayeredDrawing here = LayeredDrawing::split(bytes);
        const LayeredDrawing isolated = LayeredDrawing::splitIsolated(bytes);
        QCOMPARE(said(isolated), said(here));
        QVERIFY(!here.layers().isEmpty());
        for (qsizetype i = 0; i < here.layers().size(); ++i)
            QVERIFY(isolated.layers()[i].svg == here.layers()[i].svg);
    }

    void findsTheLayers_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("names"); // front first
        QTest::addColumn<QString>("kinds");
        QTest::addColumn<QString>("wrappers");
        const auto real = [](const char *path, const char *names, const char *kinds,
                             const char *wrappers = "") {
            QTest::newRow(path) << Corpus + "/" + path << names << kinds << wrappers;
        };
        real("mumble-voip__mumble/icons/mumble_small.svg",
             "Shadow-Glows!|Sign!|Headphones|Headstrap|Effects!|Circle", "LLLLLL");
        real("deluge-torrent__deluge/deluge/ui/data/icons/hicolor/scalable/apps/deluge.svg",
             "Finish!|solid inner wavelet larger!|solid inner wavelet small|gradient inner wave !|"
             "wave stroke 2px and fill !|wave stroke 1.3px and fill !|wave fill light!|wave fill|"
             "Layer 1",
             "LLLLLLLLL");
        real("sonnyp__Workbench/data/icons/re.sonny.Workbench.Source.svg",
             "g7858~|g3925~|g2519~|App Icon", "GGGL");
        real("TeamNewPipe__NewPipe/assets/NP logo v2.svg", "Vonalak~|Fedő|Elemek|Alapkör", "GGGG");
        real("ReVanced__revanced-branding/assets/revanced-logo/revanced-logo-square.svg",
             "Shape|Background", "GS", "Logo");
        real("LiarPrincess__Wroclive-client/Design/Icon.svg", "Bus|Background", "GS");
        real("hexchat__hexchat/data/icons/hexchat.svg", "coloredX|outline|shadow", "SSS");
        const auto made = [](const char *file, const char *names, const char *kinds,
                             const char *wrappers = "") {
            QTest::newRow(file) << HandMade + "/" + file << names << kinds << wrappers;
        };
        made("illustrator.svg", "Mark|Badge|Back ground", "GGG");
        made("figma.svg", "path 3|path 2|rect 1", "SSS", "g");
        made("sketch.svg", "Line|Oval|Rectangle", "SSG", "Page-1|Group");
        made("affinity.svg", "The Shape|Back ground", "GS", "Logo mark");
        made("inkscape.svg", "spark|Unused~|Alternative!|Body|Back|Guides!", "SLLLLL");
        made("handwritten.svg", "glyph|decor~|disc|shadow", "GGSS");
    }

    void findsTheLayers()
    {
        QFETCH(QString, path);
        QFETCH(QString, names);
        QFETCH(QString, kinds);
        QFETCH(QString, wrappers);
        const LayeredDrawing split = LayeredDrawing::split(bytesOf(path));
        QVERIFY2(split.error().isEmpty(), qPrintable(split.error()));
        QString foundKinds;
        QCOMPARE(listing(split, &foundKinds), names);
        QCOMPARE(foundKinds, kinds);
        QCOMPARE(split.wrappers().join(u'|'), wrappers);
    }

    // What a hostile or oversized drawing gets, here and in the worker: a refusal that says why, in
    // bounded work.
    void refuses_data()
    {
        QTest::addColumn<QByteArray>("svg");
        QTest::addColumn<QString>("why"); // words of the refusal; empty when it splits
        const QByteArray open = "<svg xmlns='http://www.w3.org/2000/svg' "
                                "xmlns:xlink='http://www.w3.org/1999/xlink' width='8' height='8'>";
        QTest::newRow("300 groups")
            << open + QByteArray("<g><rect width='1' height='1'/></g>").repeated(300) + "</svg>"
            << "300 top-level layers";
        QTest::newRow("256 groups")
            << open + QByteArray("<g><rect width='1' height='1'/></g>").repeated(256) + "</svg>"
            << "";
        QTest::newRow("a def repeated in every layer")
            << open + "<defs><path id='big' d='" + QByteArray("M0 0h1v1z").repeated(4000) +
                   "'/></defs>" + QByteArray("<use xlink:href='#big'/>").repeated(100) + "</svg>"
            << "64 times";
        QTest::newRow("reference cycles")
            << open + "<linearGradient id='a' xlink:href='#b'/><linearGradient id='b' "
                      "xlink:href='#a'/><g id='c'><use xlink:href='#d'/></g><g id='d'><use "
                      "xlink:href='#c'/><rect width='4' height='4' fill='url(#a)'/></g></svg>"
            << "";
        QTest::newRow("duplicate ids") << open +
                                              QByteArray("<g id='x'><use xlink:href='#x'/>"
                                                         "<rect id='x' width='1' height='1'/></g>")
                                                  .repeated(200) +
                                              "</svg>"
                                       << "";
        QTest::newRow("entities that multiply")
            << "<!DOCTYPE svg [<!ENTITY a '" + QByteArray(1000, 'x') +
                   "'><!ENTITY b '&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;'><!ENTITY c "
                   "'&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;'>]>" +
                   open + "<text>&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;</text></svg>"
            << "entities expand";
        QTest::newRow("an entity from a file")
            << "<!DOCTYPE svg [<!ENTITY e SYSTEM 'file:///etc/passwd'>]>" + open +
                   "<text>&e;</text></svg>"
            << "outside the drawing";
        QTest::newRow("not a drawing") << QByteArray("<html/>") << "not <svg>";
        QTest::newRow("cut short") << open + "<g>"
                                   << "not well-formed";
    }

    void refuses()
    {
        QFETCH(QByteArray, svg);
        QFETCH(QString, why);
        const LayeredDrawing split = LayeredDrawing::split(svg);
        QVERIFY2(why.isEmpty() ? split.error().isEmpty() : split.error().contains(why),
                 qPrintable(split.error()));
        QCOMPARE(split.layers().isEmpty(), !why.isEmpty());
        // The same refusal, or the same layers, from the decoding worker.
        QCOMPARE(said(LayeredDrawing::splitIsolated(svg)), said(split));
    }

    // A listing's bounds come from drawing each layer; one that draws nothing there is empty.
    void measures()
    {
        LayeredDrawing split = LayeredDrawing::split(
            "<svg xmlns='http://www.w3.org/2000/svg' width='32' height='16' viewBox='0 0 64 32'>"
            "<rect id='bar' x='8' y='4' width='16' height='12' fill='#f00'/>"
            "<circle id='ghost' cx='20' cy='20' r='8' fill='none'/></svg>");
        QCOMPARE(split.layers().size(), 2);
        QVERIFY(split.layers()[0].kept());
        QCOMPARE(split.measure({64, 32}), QString());
        QCOMPARE(split.layers()[0].state, LayeredDrawing::State::Empty);
        QCOMPARE(split.layers()[1].bounds, QRectF(4, 2, 8, 6));
    }
};

QTEST_GUILESS_MAIN(LayersTest)
#include "tst_layers.moc"
