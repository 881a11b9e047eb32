#include "export/MacIconShape.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>

// The shaped Mac icon against geometry worked out here: the grid (an 824 px body 100 px in
// from each edge at 1024) and the superellipse |x/a|^5 + |y/a|^5 = 1, both scaled with the
// canvas, and a Gaussian shadow 10 px down, sigma 8 px, 30% black.

namespace {

// |u|^5 + |v|^5 for a point in canvas pixels, relative to the body at `size`: 1 on the outline.
double superellipse(double x, double y, int size)
{
    const double c = size / 2.0, a = size * 412.0 / 1024.0;
    return std::pow(std::abs((x - c) / a), 5.0) + std::pow(std::abs((y - c) / a), 5.0);
}

// The pixel's centre lies inside the body.
bool centreInside(int x, int y, int size)
{
    return superellipse(x + 0.5, y + 0.5, size) <= 1.0;
}

// The whole pixel lies well inside (the body is convex, so its four corners suffice; the small
// margin keeps it clear of the antialiased edge).
bool wellInside(int x, int y, int size)
{
    for (int dy = 0; dy <= 1; ++dy)
        for (int dx = 0; dx <= 1; ++dx)
            if (superellipse(x + dx, y + dy, size) > 0.98)
                return false;
    return true;
}

QImage solid(QRgb colour, int side, QImage::Format format = QImage::Format_ARGB32)
{
    QImage image(side, side, format);
    image.fill(colour);
    return image;
}

QImage opaqueNoise(int side, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(side, side, QImage::Format_ARGB32);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            image.setPixel(x, y, random.generate() | 0xff000000u);
    return image;
}

// The bounding box of the pixels at least half opaque.
QRect solidBox(const QImage &image)
{
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) >= 128) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

double normalCdf(double z)
{
    return 0.5 * std::erfc(-z / std::sqrt(2.0));
}

} // namespace

class MacShapeTest : public QObject
{
    Q_OBJECT
private slots:
    // Worked by hand: ceil(size * 824 / 1024), at least 1. A floor, a round or a double
    // product that lands just above a whole number gives another value on some row.
    void bodyPixels_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("pixels");
        const int table[][2] = {{16, 13},   {32, 26},    {64, 52},    {128, 103}, {256, 206},
                                {512, 412}, {1024, 824}, {1, 1},      {2, 2},     {0, 1},
                                {-7, 1},    {100, 81},   {2048, 1648}};
        for (const auto &row : table)
            QTest::addRow("%d", row[0]) << row[0] << row[1];
    }

    void bodyPixels()
    {
        QFETCH(int, size);
        QFETCH(int, pixels);
        QCOMPARE(MacIconShape::bodyPixels(size), pixels);
    }

    void refusals()
    {
        QVERIFY(MacIconShape::compose(QImage(), 64).isNull());
        QVERIFY(MacIconShape::compose(solid(0xff336699, 13), 0).isNull());
        QVERIFY(MacIconShape::compose(solid(0xff336699, 13), -16).isNull());
        QVERIFY(MacIconShape::outline(0).isEmpty());
        const QImage icon = MacIconShape::compose(solid(0xff336699, 1), 1);
        QCOMPARE(icon.size(), QSize(1, 1));
        QCOMPARE(icon.format(), QImage::Format_ARGB32);
    }

    // The half-opaque pixels span the body, 100 px in from each side at 1024 (the shadow alone
    // never reaches half opacity); at small sizes within a pixel of the scaled edges. A body
    // out of place or mis-scaled, or a shadow too strong, moves an edge.
    void boundingBox_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("tolerance");
        for (int size : {16, 32, 64, 128})
            QTest::addRow("%d", size) << size << 1;
        QTest::addRow("1024") << 1024 << 0;
    }

    void boundingBox()
    {
        QFETCH(int, size);
        QFETCH(int, tolerance);
        const QImage icon =
            MacIconShape::compose(solid(qRgb(30, 144, 255), MacIconShape::bodyPixels(size)), size);
        QCOMPARE(icon.size(), QSize(size, size));
        QCOMPARE(icon.format(), QImage::Format_ARGB32);
        const QRect box = solidBox(icon);
        const int first = int(std::lround(size * 100.0 / 1024.0));
        const int last = int(std::lround(size * 924.0 / 1024.0)) - 1;
        qInfo("%d px: x %d..%d, y %d..%d (scaled body %g..%g)", size, box.left(), box.right(),
              box.top(), box.bottom(), size * 100.0 / 1024.0, size * 924.0 / 1024.0);
        for (int edge : {box.left(), box.top()})
            QVERIFY2(std::abs(edge - first) <= tolerance, qPrintable(QString::number(edge)));
        for (int edge : {box.right(), box.bottom()})
            QVERIFY2(std::abs(edge - last) <= tolerance, qPrintable(QString::number(edge)));
    }

    // The canvas corners are clear; the body's corners, outside the superellipse but inside its
    // square, hold at most the shadow (30% of 255); the centre is the body's colour. A square
    // or plain rounded-rectangle cut, or no cut, fills the corner pixels.
    void corners_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {64, 128, 256, 512, 1024})
            QTest::addRow("%d", size) << size;
    }

    void corners()
    {
        QFETCH(int, size);
        const QRgb colour = qRgb(200, 40, 90);
        const QImage icon =
            MacIconShape::compose(solid(colour, MacIconShape::bodyPixels(size)), size);
        const int end = size - 1;
        for (QPoint p : {QPoint(0, 0), QPoint(end, 0), QPoint(0, end), QPoint(end, end)})
            QCOMPARE(qAlpha(icon.pixel(p)), 0);
        // The last pixel on the diagonal wholly outside the body, yet inside its square.
        int k = int(std::ceil(size * 100.0 / 1024.0));
        QVERIFY(superellipse(k + 1, k + 1, size) > 1.0);
        while (superellipse(k + 2, k + 2, size) > 1.0)
            ++k;
        for (QPoint p :
             {QPoint(k, k), QPoint(end - k, k), QPoint(k, end - k), QPoint(end - k, end - k)})
            QVERIFY2(qAlpha(icon.pixel(p)) <= 77,
                     qPrintable(
                         QString("(%1, %2): %3").arg(p.x()).arg(p.y()).arg(qAlpha(icon.pixel(p)))));
        if (size == 1024)
            QVERIFY(qAlpha(icon.pixel(105, 105)) <= 10); // above the body: no shadow reaches it
        QCOMPARE(icon.pixel(size / 2, size / 2), colour);
    }

    // At small sizes the body's side edges fall inside pixels; halfway down, where the side is
    // straight, such a pixel is covered by the fraction c of it inside the body, and the
    // shadow (unblurred below 0.3 px, and straight down) adds 30% of c under the rest. An edge
    // snapped to whole pixels, or the artwork's edge antialiased as well as the outline, gives
    // another alpha.
    void sideCoverage_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {16, 24, 32})
            QTest::addRow("%d", size) << size;
    }

    void sideCoverage()
    {
        QFETCH(int, size);
        const QImage icon =
            MacIconShape::compose(solid(qRgb(90, 90, 90), MacIconShape::bodyPixels(size)), size);
        const double left = size * 100.0 / 1024.0, right = size * 924.0 / 1024.0;
        const int row = size / 2;
        const struct
        {
            int x;
            double covered;
        } edges[] = {{int(left), std::ceil(left) - left}, {int(right), right - std::floor(right)}};
        for (const auto &edge : edges) {
            const double c = edge.covered;
            const double expected = 255.0 * (c + (1.0 - c) * 0.3 * c);
            const int alpha = qAlpha(icon.pixel(edge.x, row));
            qInfo("%d px, column %d: alpha %d, expected %.1f", size, edge.x, alpha, expected);
            QVERIFY(std::abs(alpha - expected) <= 3.0);
        }
    }

    // The half-opaque pixels against the superellipse sampled at pixel centres. A circle, a
    // rounded rectangle or another exponent scores lower.
    void overlap_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<double>("least");
        QTest::addRow("1024") << 1024 << 0.99;
        QTest::addRow("512") << 512 << 0.99;
        QTest::addRow("128") << 128 << 0.97;
    }

    void overlap()
    {
        QFETCH(int, size);
        QFETCH(double, least);
        const QImage icon =
            MacIconShape::compose(solid(qRgb(10, 10, 10), MacIconShape::bodyPixels(size)), size);
        qint64 both = 0, either = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const bool drawn = qAlpha(icon.pixel(x, y)) >= 128;
                const bool expected = centreInside(x, y, size);
                both += drawn && expected;
                either += drawn || expected;
            }
        const double ratio = double(both) / double(either);
        qInfo("%d px: intersection over union %.5f", size, ratio);
        QVERIFY2(ratio >= least, qPrintable(QString::number(ratio)));
    }

    // Below the body the shadow shows; above it, next to none. Each band's mean is held to the
    // Gaussian's integral across the body's bottom (or top) edge, moved down by the offset, all
    // scaled with the canvas. No offset, a wrong sigma or opacity, or a shadow that does not
    // scale moves a mean off.
    void shadow_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {256, 512, 1024})
            QTest::addRow("%d", size) << size;
    }

    void shadow()
    {
        QFETCH(int, size);
        const QImage icon =
            MacIconShape::compose(solid(qRgb(250, 250, 250), MacIconShape::bodyPixels(size)), size);
        const double s = size / 1024.0, c = size / 2.0, a = 412.0 * s;
        const double sigma = 8.0 * s, offset = 10.0 * s, full = 0.30 * 255.0;
        double means[2] = {}, expected[2] = {};
        const int x0 = int(300 * s), x1 = int(700 * s);
        const int rows[2][2] = {{int(926 * s), int(934 * s)}, {int(90 * s), int(98 * s)}};
        for (int band = 0; band < 2; ++band) {
            int count = 0;
            for (int y = rows[band][0]; y <= rows[band][1]; ++y)
                for (int x = x0; x <= x1; ++x) {
                    const double u = std::abs((x + 0.5 - c) / a);
                    const double reach = a * std::pow(1.0 - std::pow(u, 5.0), 0.2);
                    const double below = c + reach + offset - (y + 0.5);
                    const double above = (y + 0.5) - (c - reach + offset);
                    means[band] += qAlpha(icon.pixel(x, y));
                    expected[band] += full * normalCdf((band == 0 ? below : above) / sigma);
                    ++count;
                }
            means[band] /= count;
            expected[band] /= count;
        }
        qInfo("%d px: below %.2f (Gaussian %.2f), above %.2f (Gaussian %.2f)", size, means[0],
              expected[0], means[1], expected[1]);
        QVERIFY(means[0] > means[1] + 20.0);
        QVERIFY2(std::abs(means[0] - expected[0]) <= 2.0, qPrintable(QString::number(means[0])));
        QVERIFY2(std::abs(means[1] - expected[1]) <= 2.0, qPrintable(QString::number(means[1])));
    }

    // A hole in the artwork stays a hole, shadowless in its middle: the composed body casts the
    // shadow, not the bare outline. The ring around it stays opaque.
    void hole_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {64, 256, 1024})
            QTest::addRow("%d", size) << size;
    }

    void hole()
    {
        QFETCH(int, size);
        const int side = MacIconShape::bodyPixels(size);
        QImage art = solid(qRgb(0, 160, 80), side);
        const double middle = side / 2.0, radius = side * 0.25;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                if (std::hypot(x + 0.5 - middle, y + 0.5 - middle) < radius)
                    art.setPixel(x, y, qRgba(0, 160, 80, 0));
        const QImage icon = MacIconShape::compose(art, size);
        const int c = size / 2;
        QVERIFY2(qAlpha(icon.pixel(c, c)) <= 2, qPrintable(QString::number(icon.pixel(c, c))));
        const int ring = int(size * 0.31); // between the hole (0.2 of the canvas) and the edge
        for (QPoint p : {QPoint(c - ring, c), QPoint(c + ring, c), QPoint(c, c - ring)})
            QCOMPARE(icon.pixel(p), qRgb(0, 160, 80));
    }

    // Every pixel well inside the body is the artwork's colour exactly, opaque, whatever the
    // size (so whether the artwork is copied or resampled) and whether it came with alpha or
    // not. A shadow drawn over the body, colour lost to premultiplication, or a filter that
    // darkens near the edges changes some of them.
    void colour_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QRgb>("colour");
        QTest::addColumn<int>("format");
        for (int size : {16, 32, 64, 128, 1024})
            for (QRgb colour : {qRgb(255, 255, 255), qRgb(1, 128, 254), qRgb(200, 40, 90)})
                for (auto format : {QImage::Format_ARGB32, QImage::Format_RGB32})
                    QTest::addRow("%d %08x %s", size, colour,
                                  format == QImage::Format_RGB32 ? "rgb" : "argb")
                        << size << colour << int(format);
    }

    void colour()
    {
        QFETCH(int, size);
        QFETCH(QRgb, colour);
        QFETCH(int, format);
        const QImage icon = MacIconShape::compose(
            solid(colour, MacIconShape::bodyPixels(size), QImage::Format(format)), size);
        int checked = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                if (wellInside(x, y, size)) {
                    if (icon.pixel(x, y) != colour)
                        QFAIL(qPrintable(
                            QString("(%1, %2): %3").arg(x).arg(y).arg(icon.pixel(x, y), 8, 16)));
                    ++checked;
                }
        QVERIFY(checked > size * size / 3);
    }

    // On the grid the body is the artwork pixel for pixel, at its exact place: no filter, no
    // half-pixel shift.
    void copiedOneToOne_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {256, 512, 1024})
            QTest::addRow("%d", size) << size;
    }

    void copiedOneToOne()
    {
        QFETCH(int, size);
        const int side = MacIconShape::bodyPixels(size), margin = size * 100 / 1024;
        const QImage art = opaqueNoise(side, quint32(size));
        const QImage icon = MacIconShape::compose(art, size);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                if (wellInside(x, y, size) && icon.pixel(x, y) != art.pixel(x - margin, y - margin))
                    QFAIL(qPrintable(QString("(%1, %2)").arg(x).arg(y)));
    }
};

QTEST_GUILESS_MAIN(MacShapeTest)
#include "tst_macshape.moc"
