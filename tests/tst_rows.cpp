#include "CommandRun.h"
#include "TestFiles.h"
#include "export/Renderer.h"
#include "export/Resampler.h"
#include "source/DecodeWorker.h"
#include "source/RowDecoder.h"
#include "source/RowReducer.h"
#include "source/SourceImage.h"

#include <QBuffer>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>

#include <cmath>
#include <cstring>

using enum ImageDecoder::Status;

namespace {

// The plain header that ends a stream of shrunken rows: a success of the given size, or a
// refusal.
QByteArray ending(double w, double h, uint status = 0)
{
    const QByteArray reason = status ? "cut" : "";
    if (status)
        w = h = -1;
    return le(uint(2), 0x574d5341u, status, uint(reason.size())) + reason + le(w, h) +
           le(0u, 0u, 0u, 0u);
}

QByteArray row(QList<quint16> channels)
{
    QByteArray bytes = le(1u);
    for (quint16 c : channels)
        bytes += le(c);
    return bytes;
}

// A picture with something of everything: a gradient, noise, and a disc with hard edges on
// partial transparency.
QImage picture(QSize size, bool alpha)
{
    QImage image = noise(size, alpha, 7);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const double dx = (x - size.width() / 3.0) / size.width();
            const double dy = (y - size.height() / 2.0) / size.height();
            const bool disc = dx * dx + dy * dy < 0.04;
            const int r = disc ? 250 : (x * 255 / size.width() + qRed(line[x]) % 9);
            const int g = disc ? 20 : (y * 255 / size.height() + qGreen(line[x]) % 9) % 256;
            line[x] = qRgba(r, g, qBlue(line[x]) % 64 + 100,
                            alpha ? (disc ? 255 : 128 + qAlpha(line[x]) % 100) : 255);
        }
    }
    return image;
}

// The source averaged over blocks of bw x bh pixels, in double precision, premultiplied, then
// straightened and rounded as an exported file is.
QImage boxAverage(const QImage &source, int bw, int bh)
{
    QImage out(source.width() / bw, source.height() / bh, QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        for (int x = 0; x < out.width(); ++x) {
            double sum[4] = {};
            for (int j = 0; j < bh; ++j) {
                for (int i = 0; i < bw; ++i) {
                    const QRgb p = source.pixel(x * bw + i, y * bh + j);
                    const double a = qAlpha(p) / 255.0;
                    sum[0] += qRed(p) * a, sum[1] += qGreen(p) * a, sum[2] += qBlue(p) * a;
                    sum[3] += a;
                }
            }
            const int alpha = int(std::lround(sum[3] / (bw * bh) * 255));
            auto c = [&](double s) { return alpha ? int(std::lround(s / sum[3])) : 0; };
            out.setPixel(x, y, alpha ? qRgba(c(sum[0]), c(sum[1]), c(sum[2]), alpha) : 0);
        }
    }
    return out;
}

int largestDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size() || a.isNull())
        return 256;
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    int most = 0;
    for (int j = 0; j < x.height(); ++j) {
        for (int i = 0; i < x.width() * 4; ++i)
            most = std::max(most, std::abs(x.constScanLine(j)[i] - y.constScanLine(j)[i]));
    }
    return most;
}

} // namespace

class RowsTest : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void reducer_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("factor");
        QTest::addColumn<bool>("alpha");
        QTest::newRow("2x, clear and opaque mixed") << QSize(6, 4) << 2 << true;
        QTest::newRow("3x, odd sides") << QSize(9, 6) << 3 << true;
        QTest::newRow("5x opaque") << QSize(10, 5) << 5 << false;
        QTest::newRow("1x keeps every pixel") << QSize(3, 2) << 1 << true;
    }

    // Each shrunken pixel is the mean of its block, premultiplied, to the nearest 16-bit step.
    void reducer()
    {
        QFETCH(QSize, size);
        QFETCH(int, factor);
        QFETCH(bool, alpha);
        QImage source = noise(size, alpha, 3);
        source.setPixel(0, 0, 0x00ffffff); // clear, with colour that must not count
        RowReducer reducer(size.width(), size.height(), factor, !alpha);
        int done = 0;
        for (int y = 0; y < size.height(); ++y) {
            if (!reducer.addRow(reinterpret_cast<const QRgb *>(source.constScanLine(y))))
                continue;
            ++done;
            for (int x = 0; x < reducer.width(); ++x) {
                double sum[4] = {};
                for (int j = 0; j < factor; ++j) {
                    for (int i = 0; i < factor; ++i) {
                        const QRgb p = source.pixel(x * factor + i, y - factor + 1 + j);
                        const double a = alpha ? qAlpha(p) / 255.0 : 1.0;
                        sum[0] += qRed(p) / 255.0 * a, sum[1] += qGreen(p) / 255.0 * a;
                        sum[2] += qBlue(p) / 255.0 * a, sum[3] += a;
                    }
                }
                const QRgba64 got = reducer.row()[x];
                const quint16 channels[4] = {got.red(), got.green(), got.blue(), got.alpha()};
                for (int c = 0; c < 4; ++c)
                    QVERIFY2(std::abs(channels[c] - sum[c] / (factor * factor) * 65535) <= 0.5001,
                             qPrintable(QStringLiteral("%1,%2 channel %3").arg(x).arg(y).arg(c)));
            }
        }
        QCOMPARE(done, size.height() / factor);
        QCOMPARE(reducer.format(),
                 alpha ? QImage::Format_RGBA64_Premultiplied : QImage::Format_RGBX64);
    }

    void rowsAsQt_data()
    {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<bool>("leftToQt");
        QImage palette = noise({13, 7}, true, 4).convertToFormat(QImage::Format_Indexed8);
        palette.setColor(0, qRgba(10, 20, 30, 40));
        QImage grey16(13, 7, QImage::Format_Grayscale16);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 13; ++x)
                reinterpret_cast<quint16 *>(grey16.scanLine(y))[x] = quint16(x * 5003 + y * 977);
        QTest::newRow("png rgba") << noise({17, 9}, true, 1) << QByteArray("png") << false;
        QTest::newRow("png rgb") << noise({17, 9}, false, 2) << QByteArray("png") << false;
        QTest::newRow("png palette, clear entry") << palette << QByteArray("png") << false;
        QTest::newRow("png grey 16") << grey16 << QByteArray("png") << false;
        QTest::newRow("jpeg") << picture({40, 24}, false) << QByteArray("jpeg") << false;
        QTest::newRow("jpeg grey")
            << picture({40, 24}, false).convertToFormat(QImage::Format_Grayscale8)
            << QByteArray("jpeg") << false;
        QTest::newRow("tiff rgba, left to Qt")
            << noise({17, 9}, true, 5) << QByteArray("tiff") << true;
        QTest::newRow("tiff rgb") << noise({17, 9}, false, 6) << QByteArray("tiff") << false;
        QTest::newRow("jpeg progressive, left to Qt")
            << picture({40, 24}, false) << QByteArray("jpeg") << true;
    }

    // The rows are what Qt's whole-image reader gives for the same file.
    void rowsAsQt()
    {
        QFETCH(QImage, image);
        QFETCH(QByteArray, format);
        QFETCH(bool, leftToQt);
        const QString path = dir.filePath(QString::fromLatin1(QTest::currentDataTag()));
        QImageWriter writer(path, format);
        writer.setProgressiveScanWrite(leftToQt && format == "jpeg");
        QVERIFY(writer.write(image));
        RowDecoder rows(path);
        QCOMPARE(rows.isReadable(), !leftToQt);
        if (leftToQt)
            return;
        QImage qt(path);
        QCOMPARE(rows.size(), qt.size());
        QCOMPARE(rows.hasAlpha(), qt.hasAlphaChannel());
        qt = qt.convertToFormat(rows.hasAlpha() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        QImage read(rows.size(), qt.format());
        for (int y = 0; y < read.height(); ++y)
            QVERIFY(rows.readRow(reinterpret_cast<QRgb *>(read.scanLine(y))));
        QVERIFY(rows.finish());
        QCOMPARE(largestDifference(read, qt), 0);
    }

    // A JPEG its EXIF turns is read whole, where Qt turns it upright.
    void turnedJpegLeftToQt()
    {
        QVERIFY(!RowDecoder(ASSETSMITH_TEST_DATA "/hostile/exif-rotate-90.jpg").isReadable());
        QVERIFY(RowDecoder(saveImage(dir.filePath("upright.jpg"), picture({30, 60}, false)))
                    .isReadable());
    }

    void reductionFor_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("factor");
        QTest::newRow("16384 square") << QSize(16384, 16384) << 4;
        QTest::newRow("8192 by 8") << QSize(8192, 8) << 2;
        QTest::newRow("12000 by 8000") << QSize(12000, 8000) << 2;
        QTest::newRow("4096 kept whole") << QSize(4096, 4096) << 1;
        QTest::newRow("8191 kept whole") << QSize(8191, 8191) << 1;
        QTest::newRow("no common factor") << QSize(16384, 16383) << 1;
        QTest::newRow("12288 by 9000: 3") << QSize(12288, 9000) << 3;
        QTest::newRow("beyond the limits") << QSize(32768, 8) << 1;
    }

    void reductionFor()
    {
        QFETCH(QSize, size);
        QFETCH(int, factor);
        QCOMPARE(DecodeWorker::reductionFor(size, SourceImage::HeldSide), factor);
    }

    void held_data()
    {
        QTest::addColumn<QSize>("target");
        QTest::addColumn<bool>("whole");
        QTest::newRow("1024x4 divides the held 4096x4") << QSize(1024, 4) << false;
        QTest::newRow("4096x2, held as it is") << QSize(4096, 2) << false;
        QTest::newRow("180x1, a large shrink") << QSize(180, 1) << false;
        QTest::newRow("1000x3 needs the whole file") << QSize(1000, 3) << true;
    }

    // A file of 8192 by 8 is held at 4096 by 4; each file made from it is the one the whole
    // file gives: against a plain box average where the sizes divide, else against the whole
    // file resampled.
    void held()
    {
        QFETCH(QSize, target);
        QFETCH(bool, whole);
        const QImage source = picture({8192, 8}, true);
        const QString path = saveImage(dir.filePath("held.png"), source);
        QList<int> heard;
        const SourceImage::Loaded loaded = SourceImage::fromFile(
            path, nullptr, [&](int rows, int of) { heard << rows * 10 + of; });
        QVERIFY2(loaded.image, qPrintable(loaded.error));
        QCOMPARE(heard, QList<int>({14, 24, 34, 44})); // each held row as it arrives
        QCOMPARE(loaded.image->reduction(), 2);
        QCOMPARE(loaded.image->size(), QSizeF(8192, 8));
        QCOMPARE(loaded.image->bitmapFor(target).size(), whole ? QSize(8192, 8) : QSize(4096, 4));
        const QImage made = Renderer::render(loaded.image.get(), QSizeF(target));
        const QImage expected = 8192 % target.width() == 0 && 8 % target.height() == 0
                                    ? boxAverage(source, 8192 / target.width(), 8 / target.height())
                                    : Resampler::resample(source, target.width(), target.height());
        QCOMPARE(made.size(), target);
        QCOMPARE(expected.size(), target);
        const int difference = largestDifference(made, expected);
        QVERIFY2(difference <= (whole ? 0 : 1), qPrintable(QString::number(difference)));
    }

    // A file changed since it was read is not read again in its place: what needs the whole file
    // then gets nothing, while what the held bitmap gives is still given.
    void changedFileNotReadAgain()
    {
        const QString path = saveImage(dir.filePath("changing.png"), picture({8192, 8}, true));
        const SourceImage::Loaded loaded = SourceImage::fromFile(path);
        QVERIFY2(loaded.image, qPrintable(loaded.error));
        saveImage(path, noise({8192, 8}, true, 11));
        QVERIFY(loaded.image->bitmapFor({1000, 3}).isNull());
        QCOMPARE(loaded.image->bitmapFor({1024, 4}).size(), QSize(4096, 4));
    }

    void damaged_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QImage>("image");
        QTest::newRow("png") << "cut.png" << noise({8192, 8}, true, 5);
        QTest::newRow("jpeg") << "cut.jpg" << picture({8192, 32}, false);
    }

    // A file cut off half-way through its rows is damaged, and nothing is written from it.
    void damaged()
    {
        QFETCH(QString, name);
        QFETCH(QImage, image);
        const QString path = dir.filePath(name);
        const QString full = saveImage(dir.filePath("whole-" + name), image);
        const QByteArray bytes = bytesOf(full);
        QVERIFY(writeFile(path, bytes.left(bytes.size() / 2)));
        QCOMPARE(RowDecoder(path).isReadable(), true);
        const SourceImage::Loaded loaded = SourceImage::fromFile(path);
        QVERIFY(!loaded.image);
        QVERIFY2(loaded.error.contains(QLatin1String("damaged")), qPrintable(loaded.error));
        const QString out = dir.filePath("out-" + name);
        QVERIFY(run({"ios", path, "--out", out}).exitCode != 0);
        QVERIFY(tree(out).isEmpty());
    }

    void stream_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("outcome"); // 0 refused, 1 image, 2 a failure it reports
        const QByteArray start = le(0x524d5341u, 2u, 2u, 1u, 1u); // 2x, 2 by 1, with alpha
        const QByteArray pixels = row({10000, 20000, 30000, 40000, 0, 0, 0, 0});
        QTest::newRow("honest") << start + pixels + ending(4, 2) << 1;
        QTest::newRow("plain result") << QByteArray() << 1;
        QTest::newRow("refused after rows") << start + pixels + ending(0, 0, 2) << 2;
        QTest::newRow("colour above alpha")
            << start + row({10, 50, 30, 40, 0, 0, 0, 0}) + ending(4, 2) << 0;
        QTest::newRow("clear in opaque")
            << le(0x524d5341u, 2u, 2u, 1u, 0u) + pixels + ending(4, 2) << 0;
        QTest::newRow("a row too many") << start + pixels + pixels + ending(4, 2) << 0;
        QTest::newRow("a row short") << start + ending(4, 2) << 0;
        QTest::newRow("size not the factor's") << start + pixels + ending(4, 3) << 0;
        QTest::newRow("factor 1") << le(0x524d5341u, 1u, 2u, 1u, 1u) + pixels + ending(2, 1) << 0;
        QTest::newRow("beyond the limits")
            << le(0x524d5341u, 4u, 4097u, 1u, 1u) + pixels + ending(16388, 4) << 0;
        QTest::newRow("unknown record") << start + le(3u) + pixels + ending(4, 2) << 0;
        QTest::newRow("cut short") << start + pixels + ending(4, 2).chopped(1) << 0;
    }

    // The stream of shrunken rows is held to what an honest worker sends.
    void stream()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, outcome);
        if (bytes.isEmpty()) {
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            ImageDecoder::Decoded plain;
            plain.status = Ok;
            plain.size = {1, 1};
            plain.frames = {noise({1, 1}, true, 9)};
            QVERIFY(DecodeWorker::write(&buffer, plain));
        }
        qint64 at = 0;
        const auto read = [&](char *data, qint64 size) {
            if (at + size > bytes.size())
                return false;
            std::memcpy(data, bytes.constData() + at, size_t(size));
            at += size;
            return true;
        };
        ImageDecoder::Decoded decoded;
        QList<int> heard;
        const bool ok = DecodeWorker::readReduced(read, &decoded,
                                                  [&](int rows, int of) { heard << rows << of; });
        QCOMPARE(ok, outcome != 0);
        if (outcome == 2)
            QVERIFY(decoded.status == Damaged && decoded.frames.isEmpty());
        if (outcome == 1 && decoded.reduction == 2) {
            QCOMPARE(heard, QList<int>({1, 1}));
            QCOMPARE(decoded.size, QSizeF(4, 2));
            const QImage frame = decoded.frames.value(0);
            QCOMPARE(frame.format(), QImage::Format_RGBA64_Premultiplied);
            QCOMPARE(reinterpret_cast<const QRgba64 *>(frame.constScanLine(0))[0],
                     QRgba64::fromRgba64(10000, 20000, 30000, 40000));
        }
    }
};

QTEST_MAIN(RowsTest)
#include "tst_rows.moc"
