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

} // namespace

class MacShapeTest : public QObject
{
    Q_OBJECT
private slots:
    void refusals()
    {
        QVERIFY(MacIconShape::compose(QImage(), 64).isNull());
        QVERIFY(MacIconShape::compose(solid(0xff336699, 13), 0).isNull());
        QVERIFY(MacIconShape::outline(0).isEmpty());
        QCOMPARE(MacIconShape::bodyPixels(0), 1);
        QCOMPARE(MacIconShape::compose(solid(0xff336699, 1), 1).size(), QSize(1, 1));
    }

    // size|bodyPixels, by hand ceil(size * 824 / 1024)|pixels an edge may be off|least overlap
    // with the superellipse|alpha of the pixel holding each side edge halfway down: the fraction c
    // of it inside (0.4375, 0.65625), and below 38 px the unblurred shadow's 30% of c under the
    // rest, 255 (c + 0.3 c (1 - c))|the artwork's colour|"alpha" when it comes with alpha
    void solidBody_data()
    {
        QTest::addColumn<QStringList>("f");
        for (const char *row :
             {"16|13|1|0.85|130.4|ff0180fe|", "24|20|1|0.95|184.6|ffc8285a|alpha",
              "256|206|0|0.99|255|ffffffff|", "1024|824|0|0.99|255|ff0180fe|alpha"})
            QTest::newRow(qPrintable(QString(row).section('|', 0, 0))) << QString(row).split('|');
    }
    // A body of the wrong size (a floor or a round: 16, 24) or place, another shape (a square, a
    // rounded rectangle, another exponent); canvas corners not clear; a pixel well inside not the
    // artwork's colour (a shadow over the body, premultiplication, a filter darkening the edges);
    // an edge snapped to whole pixels or antialiased twice. From 256 px, the mean alpha of bands
    // just below and above the body, across its straight middle, against the Gaussian's integral
    // across the edge moved down: no offset, a wrong sigma or opacity, a shadow that does not
    // scale.
    void solidBody()
    {
        QFETCH(QStringList, f);
        const int size = f[0].toInt(), pixels = f[1].toInt(), tolerance = f[2].toInt();
        const double overlap = f[3].toDouble(), side = f[4].toDouble();
        const QRgb colour = f[5].toUInt(nullptr, 16);
        const bool alpha = f[6] == "alpha";
        QCOMPARE(MacIconShape::bodyPixels(size), pixels);
        const auto format = alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
        const QImage icon = MacIconShape::compose(solid(colour, pixels, format), size);
        QCOMPARE(icon.size(), QSize(size, size));
        QCOMPARE(icon.format(), QImage::Format_ARGB32);
        QRect box;
        double both = 0, either = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const bool drawn = qAlpha(icon.pixel(x, y)) >= 128;
                const bool expected = superellipse(x + 0.5, y + 0.5, size) <= 1.0;
                if (drawn)
                    box |= QRect(x, y, 1, 1);
                both += drawn && expected;
                either += drawn || expected;
                if (wellInside(x, y, size) && icon.pixel(x, y) != colour)
                    QFAIL(qPrintable(QString("(%1, %2): %3").arg(x).arg(y).arg(icon.pixel(x, y))));
            }
        const double s = size / 1024.0;
        const int end = size - 1, k = int(100 * s);
        for (int edge : {box.left(), box.top(), end - box.right(), end - box.bottom()})
            QVERIFY2(std::abs(edge - 100 * s) <= tolerance, qPrintable(QString::number(edge)));
        QVERIFY2(both / either >= overlap, qPrintable(QString::number(both / either)));
        for (QPoint p : {QPoint(0, 0), QPoint(end, 0), QPoint(0, end), QPoint(end, end)})
            QCOMPARE(qAlpha(icon.pixel(p)), 0);
        for (QPoint p : {QPoint(k, size / 2), QPoint(end - k, size / 2)})
            QVERIFY2(std::abs(qAlpha(icon.pixel(p)) - side) <= 3.0,
                     qPrintable(QString::number(qAlpha(icon.pixel(p)))));
        if (size < 256)
            return;
        // Each band: 9 rows at 1024, scaled, across x = 412..611. The shadow's edges lie 10 px
        // below the body's: at 934 and 110.
        const double area = (int(8 * s) + 1) * (int(612 * s) - int(412 * s));
        double means[2] = {}, expected[2] = {};
        for (int band = 0; band < 2; ++band) {
            const int top = int((band == 0 ? 926 : 90) * s);
            for (int y = top; y <= top + int(8 * s); ++y)
                for (int x = int(412 * s); x < int(612 * s); ++x) {
                    const double inside = band == 0 ? 934 * s - (y + 0.5) : y + 0.5 - 110 * s;
                    const double z = inside / (8 * s);
                    expected[band] += 0.30 * 255.0 * 0.5 * std::erfc(-z / std::sqrt(2.0)) / area;
                    means[band] += qAlpha(icon.pixel(x, y)) / area;
                }
        }
        qInfo("below %.2f (Gaussian %.2f), above %.2f (Gaussian %.2f)", means[0], expected[0],
              means[1], expected[1]);
        QVERIFY(means[0] > means[1] + 20.0);
        QVERIFY(std::abs(means[0] - expected[0]) <= 2.0);
        QVERIFY(std::abs(means[1] - expected[1]) <= 2.0);
    }

    // Noise artwork with a round hole. On the grid the body is the artwork pixel for pixel at its
    // exact place (no filter, no half-pixel shift), and the hole stays clear with no shadow in
    // its middle: the composed body casts the shadow, not the bare outline.
    void artwork()
    {
        const int size = 1024, side = 824;
        QRandomGenerator random{7};
        QImage art(side, side, QImage::Format_ARGB32);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x) {
                const bool hole = std::hypot(x + 0.5 - side / 2.0, y + 0.5 - side / 2.0) < side / 4;
                art.setPixel(x, y, hole ? 0u : random.generate() | 0xff000000u);
            }
        const QImage icon = MacIconShape::compose(art, size);
        QCOMPARE(icon.pixel(size / 2, size / 2), 0u);
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                if (wellInside(x, y, size) && qAlpha(art.pixel(x - 100, y - 100)) == 255 &&
                    icon.pixel(x, y) != art.pixel(x - 100, y - 100))
                    QFAIL(qPrintable(QString("(%1, %2)").arg(x).arg(y)));
    }
};

QTEST_GUILESS_MAIN(MacShapeTest)
#include "tst_macshape.moc"
