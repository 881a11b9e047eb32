#include "TestFiles.h"
#include "catalogue/QVIconData.h"
#include "export/Resampler.h"

// Channel c of a pixel: 0 blue, 1 green, 2 red, 3 alpha.
static const auto channel = [](QRgb pixel, int c) { return int(pixel >> (8 * c)) & 0xff; };

// The largest difference in any channel; colour under alpha below 16 carries no weight.
static int maxDifference(const QImage &a, const QImage &b)
{
    int worst = a.size() == b.size() ? 0 : 255;
    for (int i = 0; i < a.width() * a.height() && worst < 255; ++i) {
        const QRgb p = a.pixel(i % a.width(), i / a.width());
        const QRgb q = b.pixel(i % a.width(), i / a.width());
        for (int c = std::max(qAlpha(p), qAlpha(q)) >= 16 ? 0 : 3; c < 4; ++c)
            worst = std::max(worst, std::abs(channel(p, c) - channel(q, c)));
    }
    return worst;
}

// The mean of one channel over the square of side k at (x0, y0).
static double mean(const QImage &image, int c, int x0, int y0, int k)
{
    double sum = 0;
    for (int y = y0; y < y0 + k; ++y)
        for (int x = x0; x < x0 + k; ++x)
            sum += channel(image.pixel(x, y), c);
    return sum / (double(k) * k);
}

class ResamplerTest : public QObject
{
    Q_OBJECT
private slots:
    // Each row reaches other filters on each axis; the opaque colour comes in without alpha.
    void constantStaysConstant_data()
    {
        QTest::addColumn<QSize>("from");
        QTest::addColumn<QSize>("to");
        QTest::addColumn<QRgb>("colour");
        for (QRgb colour : {qRgb(12, 200, 99), qRgba(200, 100, 50, 128)}) {
            const char *kind = qAlpha(colour) == 255 ? "opaque" : "translucent";
            QTest::addRow("%s area", kind) << QSize(301, 207) << QSize(29, 40) << colour;
            QTest::addRow("%s lanczos, x1.5", kind) << QSize(100, 100) << QSize(87, 150) << colour;
            QTest::addRow("%s x2.5, x11", kind) << QSize(16, 9) << QSize(40, 99) << colour;
            QTest::addRow("%s from 1 pixel", kind) << QSize(1, 1) << QSize(13, 5) << colour;
            QTest::addRow("%s to 1 pixel", kind) << QSize(7, 5) << QSize(1, 1) << colour;
        }
    }

    void constantStaysConstant()
    {
        QFETCH(QSize, from);
        QFETCH(QSize, to);
        QFETCH(QRgb, colour);
        QImage source(from, qAlpha(colour) == 255 ? QImage::Format_RGB32 : QImage::Format_ARGB32);
        source.fill(colour);
        QImage expected(to, QImage::Format_ARGB32);
        expected.fill(colour);
        QCOMPARE(Resampler::resample(source, to.width(), to.height()), expected);
        QVERIFY(Resampler::resample(source, to.width(), 0).isNull());
    }

    // Any shrink keeps the picture's mean; an integer one is the box average rounded, and its own
    // size gives the source back.
    void shrinkKeepsTheMean_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        const std::pair<int, int> rows[] = {{57, 57},   {64, 32},  {90, 30},  {120, 20}, {256, 220},
                                            {256, 100}, {256, 87}, {256, 60}, {256, 29}, {256, 7}};
        for (auto [from, to] : rows)
            QTest::addRow("%d to %d", from, to) << from << to;
    }

    void shrinkKeepsTheMean()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        const QImage source = noise({from, from}, false, 11);
        const QImage out = Resampler::resample(source, to, to);
        const int k = from % to ? 0 : from / to;
        for (int c = 0; c < 3; ++c) {
            QVERIFY(std::abs(mean(out, c, 0, 0, to) - mean(source, c, 0, 0, from)) < 1.0);
            for (int i = 0; k && i < to * to; ++i)
                QVERIFY(std::abs(channel(out.pixel(i % to, i / to), c) -
                                 mean(source, c, i % to * k, i / to * k, k)) <= 0.5 + 1e-6);
        }
    }

    // Colour under transparency never bleeds into what is seen; an opaque shape keeps its own
    // colour up to its edge, where the filter's alpha overshoots 1 (dividing by the capped alpha
    // there gives a light rim); ringing at hard edges never makes an opaque picture translucent.
    void edgesStayClean_data()
    {
        QTest::addColumn<int>("to");
        for (int n : {17, 20, 37, 41, 90, 150, 250, 300, 333})
            QTest::addRow("%d", n) << n;
    }

    void edgesStayClean()
    {
        QFETCH(int, to);
        const QRgb shape = qRgb(40, 90, 160);
        // Left half invisible magenta, right half the opaque shape: a hard edge once opaque.
        QImage holed(100, 100, QImage::Format_ARGB32);
        for (int i = 0; i < 100 * 100; ++i)
            holed.setPixel(i % 100, i / 100, i % 100 < 50 ? qRgba(255, 0, 255, 0) : shape);
        const QImage out = Resampler::resample(holed, to, to);
        const QImage opaque =
            Resampler::resample(holed.convertToFormat(QImage::Format_RGB32), to, to);
        for (int i = 0; i < to * to; ++i) {
            const QRgb px = out.pixel(i % to, i / to);
            QVERIFY2(qAlpha(px) == 0 || (px | 0xff000000u) == shape,
                     qPrintable(QString("%1,%2: %3").arg(i % to).arg(i / to).arg(px, 8, 16)));
            QCOMPARE(qAlpha(opaque.pixel(i % to, i / to)), 255);
        }
    }

    // Enlarging picks the cubic's a by factor: -0.9 below 3x, -0.83 from 3x, -0.75 from 6x. An
    // 8 px step from 20 to 230, enlarged along x only; each expected level is 20 + 210 times the
    // weights Keys' formula gives the four right-hand pixels, worked out apart from the product,
    // at a pixel where the neighbouring bands' a would give another level.
    void enlargedStepFollowsItsBand_data()
    {
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("expected");
        QTest::addRow("2x undershoot") << 16 << 5 << 11;         // 11.14; -0.83 gives 12
        QTest::addRow("2x overshoot") << 16 << 10 << 239;        // 238.86; -0.83 gives 238
        QTest::addRow("2.9x rising") << 23 << 10 << 50;          // 50.07; -0.83 gives 49
        QTest::addRow("2.9x rising, upper") << 23 << 12 << 200;  // 199.93; -0.83 gives 201
        QTest::addRow("3x rising") << 24 << 12 << 163;           // 162.64; -0.9 gives 162
        QTest::addRow("3x overshoot") << 24 << 15 << 243;        // 242.91; -0.9 gives 244
        QTest::addRow("5.9x rising") << 47 << 25 << 200;         // 199.75; -0.75 gives 201
        QTest::addRow("5.9x overshoot") << 47 << 29 << 251;      // 250.82; -0.75 gives 249
        QTest::addRow("6x overshoot") << 48 << 29 << 252;        // 252.33; -0.83 gives 255
        QTest::addRow("6x overshoot, outer") << 48 << 30 << 246; // 245.95; -0.83 gives 248
        QTest::addRow("8x overshoot") << 64 << 39 << 252;        // 251.80; -0.83 gives 254
        QTest::addRow("8x overshoot, outer") << 64 << 40 << 247; // 246.96; -0.83 gives 249
    }

    void enlargedStepFollowsItsBand()
    {
        QFETCH(int, to);
        QFETCH(int, x);
        QFETCH(int, expected);
        QImage step(8, 1, QImage::Format_RGB32);
        for (int i = 0; i < 8; ++i)
            step.setPixel(i, 0, i < 4 ? qRgb(20, 20, 20) : qRgb(230, 230, 230));
        const QImage out = Resampler::resample(step, to, 1);
        QCOMPARE(qRed(out.pixel(x, 0)), expected);
        QCOMPARE(qBlue(out.pixel(x, 0)), expected);
        QCOMPARE(qAlpha(out.pixel(x, 0)), 255);
    }

    // Every catalogue size, shrunk and enlarged; each band of rows is computed the same way on
    // any number of threads.
    void fastPathMatchesReference_data()
    {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<int>("target");
        for (int n : QVIconData::sizesToMakeForIcon() + QVIconData::sizesToMakeForIconMac()) {
            QTest::addRow("%d from 300", n) << QSize(300, 300) << n;
            QTest::addRow("%d from 64x48", n) << QSize(64, 48) << n;
        }
    }

    void fastPathMatchesReference()
    {
        QFETCH(QSize, source);
        QFETCH(int, target);
        const QImage image = noise(source, true, 5);
        const QImage fast = Resampler::resample(image, target, target, 1);
        QVERIFY(maxDifference(fast, Resampler::resampleReference(image, target, target)) <= 1);
        QCOMPARE(Resampler::resample(image, target, target, 3), fast);
    }
};

QTEST_GUILESS_MAIN(ResamplerTest)
#include "tst_resampler.moc"
