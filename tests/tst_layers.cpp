// A layered drawing split into its layers: the kept layers, each drawn alone by the decoding
// worker as the product draws drawings and laid over each other back to front, must give the
// whole drawing drawn at once, within one level per channel.
#include "TestFiles.h"
#include "source/LayeredDrawing.h"
#include "source/SourceImage.h"

namespace {

const QString Corpus = QStringLiteral(ASSETSMITH_REAL_ICONS "/../../drawings/layered");
const QList<QSize> Sizes = {{64, 64}, {256, 256}};

// The drawing at each of Sizes, premultiplied.
QList<QImage> draw(const QByteArray &svg, const QString &name)
{
    const SourceImage::Loaded loaded = SourceImage::fromData(svg, name);
    if (!loaded.image)
        qWarning("%s: %s", qPrintable(name), qPrintable(loaded.error));
    QList<QImage> images =
        loaded.image ? loaded.image->renderVector(Sizes).images : QList<QImage>();
    for (QImage &image : images)
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
    return images;
}

// Source-over of premultiplied pixels, kept exact until the end so that only the renderer's
// own rounding remains.
QImage composite(const QList<QImage> &backToFront, QSize size)
{
    QList<double> sum(qsizetype(size.width()) * size.height() * 4, 0.0);
    for (const QImage &layer : backToFront) {
        for (int y = 0; y < size.height(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(layer.constScanLine(y));
            for (int x = 0; x < size.width(); ++x) {
                double *out = &sum[(qsizetype(y) * size.width() + x) * 4];
                const QRgb p = line[x];
                const double keep = 1 - qAlpha(p) / 255.0;
                const int channels[] = {qRed(p), qGreen(p), qBlue(p), qAlpha(p)};
                for (int c = 0; c < 4; ++c)
                    out[c] = channels[c] + out[c] * keep;
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

// The largest difference in any premultiplied channel, and how many pixels differ at all.
QString worst(const QImage &a, const QImage &b, int *level)
{
    *level = 0;
    int differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int d =
                std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
            *level = std::max(*level, d);
            differing += d > 0;
        }
    }
    return QStringLiteral("%1 levels at worst, %2 pixels differ").arg(*level).arg(differing);
}

} // namespace

class LayersTest : public QObject
{
    Q_OBJECT

private slots:
    void corpusRedraws_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("crossLayer");
        for (QDirIterator it(Corpus, {"*.svg"}, QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();) {
            const QString path = it.next();
            QTest::newRow(qPrintable(QDir(Corpus).relativeFilePath(path))) << path << false;
        }
    }

    void corpusRedraws()
    {
        QFETCH(QString, path);
        QFETCH(bool, crossLayer);
        const QByteArray bytes = bytesOf(path);
        const LayeredDrawing split = LayeredDrawing::split(bytes);
        QVERIFY2(split.error().isEmpty(), qPrintable(split.error()));
        QCOMPARE(!split.crossLayer().isEmpty(), crossLayer);
        const QList<QImage> whole = draw(bytes, path);
        QCOMPARE(whole.size(), Sizes.size());
        QList<QList<QImage>> layers; // back to front
        for (auto it = split.layers().crbegin(); it != split.layers().crend(); ++it) {
            qDebug() << it->name << it->kind << int(it->state) << it->why << it->svg.size();
            if (it->kept())
                layers.append(draw(it->svg, it->name));
        }
        for (int s = 0; s < Sizes.size(); ++s) {
            QList<QImage> atSize;
            for (const QList<QImage> &layer : std::as_const(layers))
                atSize.append(layer.value(s));
            int level = 0;
            const QString message = worst(composite(atSize, Sizes[s]), whole[s], &level);
            QVERIFY2(level <= 1, qPrintable(message));
        }
    }
};

QTEST_GUILESS_MAIN(LayersTest)
#include "tst_layers.moc"
