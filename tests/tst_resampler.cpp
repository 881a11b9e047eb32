#include "catalogue/QVIconData.h"
#include "export/Resampler.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

#include <cmath>

namespace {

QImage noise(QSize size, bool withAlpha, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(size, withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const quint32 r = random.generate();
            line[x] =
                qRgba(r & 0xff, (r >> 8) & 0xff, (r >> 16) & 0xff, withAlpha ? (r >> 24) : 255);
        }
    }
    // Shapes on top, so there are edges as well as noise.
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(QColor(250, 200, 20, 200));
    p.drawEllipse(
        QRectF(size.width() * 0.2, size.height() * 0.2, size.width() * 0.5, size.height() * 0.4));
    return image;
}

int maxDifference(const QImage &a, const QImage &b)
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            // Colour under near-zero alpha carries no weight; compare what is seen.
            const int alpha = std::max(qAlpha(p), qAlpha(q));
            worst = std::max(worst, std::abs(qAlpha(p) - qAlpha(q)));
            if (alpha >= 16) {
                worst = std::max({worst, std::abs(qRed(p) - qRed(q)),
                                  std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
            }
        }
    }
    return worst;
}

double mean(const QImage &image, int channel)
{
    double sum = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            sum += (image.pixel(x, y) >> (8 * channel)) & 0xff;
    return sum / (double(image.width()) * image.height());
}

} // namespace

class ResamplerTest : public QObject
{
    Q_OBJECT
private slots:
    void constantStaysConstant_data();
    void constantStaysConstant();
    void meanIsKept_data();
    void meanIsKept();
    void ownSizeGivesTheSourceBack();
    void integerShrinkIsTheBoxAverage_data();
    void integerShrinkIsTheBoxAverage();
    void colourUnderTransparencyNeverBleeds_data();
    void colourUnderTransparencyNeverBleeds();
    void opaqueStaysOpaque();
    void fastPathMatchesReference_data();
    void fastPathMatchesReference();
    void threadCountDoesNotChangeBytes();
    void nothingBelowOnePixel();
};

void ResamplerTest::constantStaysConstant_data()
{
    QTest::addColumn<QSize>("from");
    QTest::addColumn<QSize>("to");
    QTest::addColumn<QRgb>("colour");
    for (QRgb colour : {qRgba(12, 200, 99, 255), qRgba(200, 100, 50, 128)}) {
        const char *kind = qAlpha(colour) == 255 ? "opaque" : "translucent";
        QTest::addRow("%s shrink", kind) << QSize(301, 207) << QSize(29, 40) << colour;
        QTest::addRow("%s slight shrink", kind) << QSize(100, 100) << QSize(87, 90) << colour;
        QTest::addRow("%s enlarge", kind) << QSize(16, 9) << QSize(180, 77) << colour;
        QTest::addRow("%s 1 pixel", kind) << QSize(1, 1) << QSize(13, 5) << colour;
    }
}

void ResamplerTest::constantStaysConstant()
{
    QFETCH(QSize, from);
    QFETCH(QSize, to);
    QFETCH(QRgb, colour);
    QImage source(from, QImage::Format_ARGB32);
    source.fill(colour);
    const QImage out = Resampler::resample(source, to.width(), to.height());
    QCOMPARE(out.size(), to);
    for (int y = 0; y < to.height(); ++y)
        for (int x = 0; x < to.width(); ++x)
            QCOMPARE(out.pixel(x, y), colour);
}

void ResamplerTest::meanIsKept_data()
{
    QTest::addColumn<int>("size");
    for (int n : {128, 100, 87, 60, 29, 7})
        QTest::addRow("256 to %d", n) << n;
}

void ResamplerTest::meanIsKept()
{
    QFETCH(int, size);
    const QImage source = noise({256, 256}, false, 7);
    const QImage out = Resampler::resample(source, size, size);
    for (int c = 0; c < 3; ++c)
        QVERIFY2(std::abs(mean(out, c) - mean(source, c)) < 1.0, qPrintable(QString::number(c)));
}

void ResamplerTest::ownSizeGivesTheSourceBack()
{
    const QImage source = noise({57, 31}, true, 3);
    QImage expected = source;
    // Colour under zero alpha is nothing; the result writes it as 0.
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (qAlpha(expected.pixel(x, y)) == 0)
                expected.setPixel(x, y, 0);
    const QImage out = Resampler::resample(source, 57, 31);
    QCOMPARE(maxDifference(out, expected), 0);
    QCOMPARE(
        maxDifference(Resampler::resample(source.convertToFormat(QImage::Format_RGB32), 57, 31),
                      source.convertToFormat(QImage::Format_RGB32)),
        0);
}

void ResamplerTest::integerShrinkIsTheBoxAverage_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::newRow("64 to 32") << 64 << 32;
    QTest::newRow("90 to 30") << 90 << 30;
    QTest::newRow("120 to 20") << 120 << 20;
}

void ResamplerTest::integerShrinkIsTheBoxAverage()
{
    QFETCH(int, from);
    QFETCH(int, to);
    const QImage source = noise({from, from}, false, 11);
    const QImage out = Resampler::resample(source, to, to);
    const int k = from / to;
    for (int y = 0; y < to; ++y) {
        for (int x = 0; x < to; ++x) {
            for (int c = 0; c < 3; ++c) {
                double sum = 0;
                for (int dy = 0; dy < k; ++dy)
                    for (int dx = 0; dx < k; ++dx)
                        sum += (source.pixel(x * k + dx, y * k + dy) >> (8 * c)) & 0xff;
                const int got = (out.pixel(x, y) >> (8 * c)) & 0xff;
                QVERIFY(std::abs(got - sum / (k * k)) <= 1.0);
            }
        }
    }
}

void ResamplerTest::colourUnderTransparencyNeverBleeds_data()
{
    QTest::addColumn<QSize>("to");
    QTest::newRow("shrink") << QSize(17, 17);
    QTest::newRow("slight shrink") << QSize(90, 90);
    QTest::newRow("enlarge") << QSize(333, 333);
}

void ResamplerTest::colourUnderTransparencyNeverBleeds()
{
    QFETCH(QSize, to);
    // Left half invisible magenta, right half opaque green.
    QImage source(100, 100, QImage::Format_ARGB32);
    source.fill(qRgba(255, 0, 255, 0));
    QPainter p(&source);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(50, 0, 50, 100, QColor(0, 128, 0));
    p.end();
    const QImage out = Resampler::resample(source, to.width(), to.height());
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            const QRgb px = out.pixel(x, y);
            if (qAlpha(px) == 0)
                continue;
            QVERIFY2(qRed(px) == 0 &&
                         qBlue(px) == 0, // green may ring at the edge; magenta never shows
                     qPrintable(QString("%1,%2: %3").arg(x).arg(y).arg(px, 8, 16)));
        }
    }
}

void ResamplerTest::opaqueStaysOpaque()
{
    // Hard black and white edges make Lanczos ring; alpha must stay exactly 255.
    QImage source(40, 40, QImage::Format_RGB32);
    source.fill(Qt::white);
    QPainter(&source).fillRect(10, 10, 20, 20, Qt::black);
    for (int n : {20, 37, 40, 41, 300}) {
        const QImage out = Resampler::resample(source, n, n);
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x)
                QCOMPARE(qAlpha(out.pixel(x, y)), 255);
    }
}

void ResamplerTest::fastPathMatchesReference_data()
{
    QTest::addColumn<QSize>("source");
    QTest::addColumn<int>("target");
    const QList<int> sizes = QVIconData::sizesToMakeForIcon() + QVIconData::sizesToMakeForIconMac();
    for (int n : sizes) {
        if (n <= 256)
            QTest::addRow("%d from 300", n) << QSize(300, 300) << n;
        if (n <= 180)
            QTest::addRow("%d from 64x48", n) << QSize(64, 48) << n;
    }
}

void ResamplerTest::fastPathMatchesReference()
{
    QFETCH(QSize, source);
    QFETCH(int, target);
    const QImage image = noise(source, true, 5);
    QVERIFY(maxDifference(Resampler::resample(image, target, target),
                          Resampler::resampleReference(image, target, target)) <= 1);
}

void ResamplerTest::threadCountDoesNotChangeBytes()
{
    const QImage image = noise({700, 500}, true, 9);
    for (QSize to : {QSize(87, 87), QSize(1024, 1024), QSize(300, 20)}) {
        const QImage one = Resampler::resample(image, to.width(), to.height(), 1);
        QCOMPARE(Resampler::resample(image, to.width(), to.height(), 2), one);
        QCOMPARE(Resampler::resample(image, to.width(), to.height(), 5), one);
    }
}

void ResamplerTest::nothingBelowOnePixel()
{
    const QImage image = noise({10, 10}, false, 1);
    QVERIFY(Resampler::resample(image, 0, 10).isNull());
    QVERIFY(Resampler::resample(image, 10, 0).isNull());
    QVERIFY(Resampler::resample(image, -3, 10).isNull());
    QVERIFY(Resampler::resample(QImage(), 10, 10).isNull());
}

QTEST_GUILESS_MAIN(ResamplerTest)
#include "tst_resampler.moc"
