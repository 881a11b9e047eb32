#include "TestFiles.h"
#include "export/PngEncoder.h"

#include <QColorSpace>

#include <cairo.h>

class PngEncoderTest : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data()
    {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<bool>("opaque");
        QImage oneClear = noise({31, 17}, false, 3).convertToFormat(QImage::Format_ARGB32);
        oneClear.setPixel(30, 16, qRgba(1, 2, 3, 254));
        QImage profiled = card({40, 40}, true);
        profiled.setColorSpace(QColorSpace::DisplayP3);
        QTest::newRow("opaque, stored with alpha") << card({64, 64}, false) << true;
        QTest::newRow("one pixel not opaque") << oneClear << false;
        QTest::newRow("premultiplied, odd width")
            << noise({13, 7}, true, 4).convertToFormat(QImage::Format_ARGB32_Premultiplied)
            << false;
        QTest::newRow("opaque, odd width") << noise({37, 11}, false, 5) << true;
        QTest::newRow("1x1") << card({1, 1}, true) << false;
        QTest::newRow("colour profile") << profiled << false;
        // Several deflate pieces each, of noise and of long runs.
        QTest::newRow("noise 3000x300") << noise({3000, 300}, true, 6) << false;
        QTest::newRow("opaque noise 3000x300") << noise({3000, 300}, false, 7) << true;
        QTest::newRow("flat 1024") << card({1024, 1024}, true) << false;
    }

    void roundTrip()
    {
        QFETCH(QImage, image);
        QFETCH(bool, opaque);
        bool wasOpaque = !opaque;
        const QByteArray png = PngEncoder::encode(image, 1, &wasOpaque);
        QCOMPARE(wasOpaque, opaque);
        QCOMPARE(pngColourType(png), opaque ? 2 : 6);
        QCOMPARE(PngEncoder::encode(image, 8), png);
        const QImage straight = image.convertToFormat(QImage::Format_ARGB32);
        // Both readers check every chunk's CRC and the image data's adler32.
        const QImage read = QImage::fromData(png, "png");
        QCOMPARE(read.convertToFormat(QImage::Format_ARGB32), straight);
        QCOMPARE(read.colorSpace(), image.colorSpace());

        // cairo's reader gives premultiplied ARGB32 in rows of exactly the width.
        QDataStream in(png);
        const auto feed = [](void *stream, unsigned char *data, unsigned int length) {
            return static_cast<QDataStream *>(stream)->readRawData(reinterpret_cast<char *>(data),
                                                                   int(length)) == int(length)
                       ? CAIRO_STATUS_SUCCESS
                       : CAIRO_STATUS_READ_ERROR;
        };
        const std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
            cairo_image_surface_create_from_png_stream(feed, &in), cairo_surface_destroy);
        QCOMPARE(cairo_image_surface_get_width(surface.get()), image.width());
        QCOMPARE(cairo_image_surface_get_height(surface.get()), image.height());
        const auto *c = reinterpret_cast<const QRgb *>(cairo_image_surface_get_data(surface.get()));
        const auto *s = reinterpret_cast<const QRgb *>(straight.constBits());
        for (qsizetype i = 0; i < qsizetype(image.width()) * image.height(); ++i) {
            const auto pm = [&](int v) { return (v * qAlpha(s[i]) + 127) / 255; };
            QCOMPARE(c[i], qRgba(pm(qRed(s[i])), pm(qGreen(s[i])), pm(qBlue(s[i])), qAlpha(s[i])));
        }
    }

    void nullImage() { QVERIFY(PngEncoder::encode(QImage(), 1).isEmpty()); }
};

QTEST_GUILESS_MAIN(PngEncoderTest)
#include "tst_pngencoder.moc"
