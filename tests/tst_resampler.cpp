#include "TestFiles.h"
#include "catalogue/QVIconData.h"
#include "export/Resampler.h"

#include <cmath>

namespace {

int maxDifference(const QImage &a, const QImage &b)
{
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max(worst, std::abs(qAlpha(p) - qAlpha(q)));
            // Colour under near-zero alpha carries no weight; compare what is seen.
            if (std::max(qAlpha(p), qAlpha(q)) >= 16) {
                worst = std::max({worst, std::abs(qRed(p) - qRed(q)),
                                  std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
            }
        }
    }
    return worst;
}

// The mean of one channel over the square of side k at (x0, y0), in units of the channel.
double mean(const QImage &image, int channel, int x0 = 0, int y0 = 0, int k = 0)
{
    const int w = k ? k : image.width(), h = k ? k : image.height();
    double sum = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x)
            sum += (image.pixel(x, y) >> (8 * channel)) & 0xff;
    return sum / (double(w) * h);
}

} // namespace

class ResamplerTest : public QObject
{
    Q_OBJECT
private slots:
    void constantStaysConstant_data();
    void constantStaysConstant();
    void shrinkKeepsTheMean_data();
    void shrinkKeepsTheMean();
    void ownSizeGivesTheSourceBack();
    void edgesStayClean_data();
    void edgesStayClean();
    void fastPathMatchesReference_data();
    void fastPathMatchesReference();
    void threadCountDoesNotChangeBytes();
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

// Any shrink keeps the picture's mean; an integer one is exactly the box average.
void ResamplerTest::shrinkKeepsTheMean_data()
{
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    const std::pair<int, int> rows[] = {{64, 32},  {90, 30},  {120, 20}, {256, 100},
                                        {256, 87}, {256, 60}, {256, 29}, {256, 7}};
    for (auto [from, to] : rows)
        QTest::addRow("%d to %d", from, to) << from << to;
}

void ResamplerTest::shrinkKeepsTheMean()
{
    QFETCH(int, from);
    QFETCH(int, to);
    const QImage source = noise({from, from}, false, 11);
    const QImage out = Resampler::resample(source, to, to);
    for (int c = 0; c < 3; ++c)
        QVERIFY2(std::abs(mean(out, c) - mean(source, c)) < 1.0, qPrintable(QString::number(c)));
    if (from % to)
        return;
    const int k = from / to;
    for (int y = 0; y < to; ++y)
        for (int x = 0; x < to; ++x)
            for (int c = 0; c < 3; ++c)
                QVERIFY(std::abs(((out.pixel(x, y) >> (8 * c)) & 0xff) -
                                 mean(source, c, x * k, y * k, k)) <= 1.0);
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
    QCOMPARE(maxDifference(Resampler::resample(source, 57, 31), expected), 0);
    const QImage opaque = source.convertToFormat(QImage::Format_RGB32);
    QCOMPARE(maxDifference(Resampler::resample(opaque, 57, 31), opaque), 0);
}

// Colour under transparency never bleeds into what is seen, and ringing at hard edges never makes
// an opaque picture translucent.
void ResamplerTest::edgesStayClean_data()
{
    QTest::addColumn<int>("to");
    for (int n : {17, 20, 37, 41, 90, 300, 333})
        QTest::addRow("%d", n) << n;
}

void ResamplerTest::edgesStayClean()
{
    QFETCH(int, to);
    // Left half invisible magenta, right half opaque green.
    QImage holed(100, 100, QImage::Format_ARGB32);
    holed.fill(qRgba(255, 0, 255, 0));
    QPainter p(&holed);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(50, 0, 50, 100, QColor(0, 128, 0));
    p.end();
    // Black on white rings under Lanczos.
    QImage hard(40, 40, QImage::Format_RGB32);
    hard.fill(Qt::white);
    QPainter(&hard).fillRect(10, 10, 20, 20, Qt::black);

    const QImage out = Resampler::resample(holed, to, to);
    const QImage opaque = Resampler::resample(hard, to, to);
    for (int y = 0; y < to; ++y) {
        for (int x = 0; x < to; ++x) {
            const QRgb px = out.pixel(x, y);
            // Green may ring at the edge; magenta never shows.
            QVERIFY2(qAlpha(px) == 0 || (qRed(px) == 0 && qBlue(px) == 0),
                     qPrintable(QString("%1,%2: %3").arg(x).arg(y).arg(px, 8, 16)));
            QCOMPARE(qAlpha(opaque.pixel(x, y)), 255);
        }
    }
}

void ResamplerTest::fastPathMatchesReference_data()
{
    QTest::addColumn<QSize>("source");
    QTest::addColumn<int>("target");
    for (int n : QVIconData::sizesToMakeForIcon() + QVIconData::sizesToMakeForIconMac()) {
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

QTEST_GUILESS_MAIN(ResamplerTest)
#include "tst_resampler.moc"
