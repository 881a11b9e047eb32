#include "TestFiles.h"
#include "catalogue/QVIconData.h"
#include "export/AssetExporter.h"
#include "export/Renderer.h"

#include <QLabel>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

const QString Hostile = QStringLiteral(ASSETSMITH_TEST_DATA "/hostile/");

bool sanitized()
{
    return !qEnvironmentVariableIsEmpty("ASSETSMITH_SANITIZED");
}

// Sets the decoder's limits for one load, then puts the old ones back.
SourceImage::Loaded loadWithLimits(const QString &file, const QByteArray &timeout,
                                   const QByteArray &memory = QByteArray())
{
    const QByteArray oldTimeout = qgetenv("ASSETSMITH_DECODE_TIMEOUT_MS");
    const QByteArray oldMemory = qgetenv("ASSETSMITH_DECODE_MEMORY_MB");
    if (!timeout.isEmpty())
        qputenv("ASSETSMITH_DECODE_TIMEOUT_MS", timeout);
    if (!memory.isEmpty())
        qputenv("ASSETSMITH_DECODE_MEMORY_MB", memory);
    SourceImage::Loaded loaded = SourceImage::fromFile(Hostile + file);
    qputenv("ASSETSMITH_DECODE_TIMEOUT_MS", oldTimeout);
    qputenv("ASSETSMITH_DECODE_MEMORY_MB", oldMemory);
    return loaded;
}

// Exports the iOS set and checks every file decodes at its size.
void verifyExport(const SourceImage *source)
{
    QTemporaryDir dir;
    const ExportReport report = AssetExporter::writeAppIconSet(source, dir.path(), "ios");
    QVERIFY2(report.succeeded(), qPrintable(report.summary()));
    const QList<int> sizes = QVIconData::sizesToMakeForIcon();
    for (int i = 0; i < sizes.size(); ++i)
        QCOMPARE(readPng(dir.filePath("AppIcon.appiconset/" + QVIconData::filenamesForSizes()[i]))
                     .size(),
                 QSize(sizes[i], sizes[i]));
}

} // namespace

class HostileTest : public QObject
{
    Q_OBJECT
private slots:
    void corpus_data();
    void corpus();
    void localFilesNeverReachAnOutput();
    void hangAndMemoryLimits_data();
    void hangAndMemoryLimits();
    void windowSaysWhy();
    void debianCorpora_data();
    void debianCorpora();
};

void HostileTest::corpus_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected"); // "WxH" when it loads, else part of the message
    const QString damaged = "the file is damaged";
    const QString tooLarge = "it is too large";
    const QString notImage = "is not an image this program can read";
    struct Row
    {
        const char *file;
        QString expected;
    };
    const Row rows[] = {
        {"truncated-half.png", damaged},
        {"no-iend.png", damaged},
        {"truncated-idat.png", damaged},
        {"bad-idat-crc.png", damaged},
        {"truncated-half.jpg", damaged},
        {"no-end-marker.jpg", damaged},
        {"truncated.gif", damaged},
        {"truncated.webp", damaged},
        {"zero-bytes.png", notImage},
        {"text-renamed.png", notImage},
        {"random-bytes.jpg", notImage},
        {"header-100000-a-side.png", tooLarge},
        {"header-65000-a-side.jpg", tooLarge},
        {"side-16385.png", tooLarge},
        {"side-16384.png", "16384x1"},
        {"bmp-header-100000.bmp", "Could not read"},
        {"tga-header-65535.tga", "Could not read"},
        {"rgba16-16384.png", tooLarge},
        {"grey-16384.png", "16384x16384"},
        {"one-pixel.png", "1x1"},
        {"tall-1x10000.png", "1x10000"},
        {"animated.gif", "32x32"},
        {"rgba16.png", "40x30"},
        {"cmyk.jpg", "40x30"},
        {"grey-alpha.png", "40x30"},
        {"palette-trns.png", "40x30"},
        {"exif-rotate-90.jpg", "30x60"},
        {"entity-expansion.svg", damaged},
        {"huge-dimensions.svg", "1000000000x1000000000"},
        {"use-self.svg", "64x64"}, // drawn as browsers draw it: without the looping <use>
        {"use-mutual.svg", "64x64"},
        {"image-self.svg", "64x64"},
        {"image-mutual-a.svg", "64x64"},
        {"external-href.svg", "64x64"},
        {"svgz-bomb.svgz", tooLarge},
        {"deep-nesting.svg", damaged},
        {"not-well-formed.svg", damaged},
        {"no-size.svg", damaged},
        {"embedded-png.svg", "64x64"},
    };
    for (const Row &row : rows)
        QTest::newRow(row.file) << QString(row.file) << row.expected;
}

void HostileTest::corpus()
{
    QFETCH(QString, file);
    QFETCH(QString, expected);
    if (file.contains("16384x16384") || (expected == "16384x16384" && sanitized()))
        QSKIP("a gigabyte source is left to the normal build");
    // A gigabyte decode on a loaded machine may pass the real time limit, which is not what these
    // rows are about: the limits have their own test below.
    const SourceImage::Loaded loaded =
        loadWithLimits(file, expected.startsWith("16384") ? "180000" : "");
    if (!expected.contains(QRegularExpression("^\\d+x\\d+$"))) {
        QVERIFY2(!loaded.image, qPrintable(file));
        QVERIFY2(loaded.error.contains(expected), qPrintable(loaded.error));
        QVERIFY(loaded.error.contains(file));
        return;
    }
    QVERIFY2(loaded.image, qPrintable(loaded.error));
    const QSizeF size = loaded.image->size();
    QCOMPARE(QString("%1x%2").arg(size.width(), 0, 'f', 0).arg(size.height(), 0, 'f', 0), expected);
    verifyExport(loaded.image.get());
    if (file == "animated.gif") {
        const QImage first = Renderer::render(loaded.image.get(), {8, 8});
        QCOMPARE(first.pixelColor(4, 4), QColor(Qt::red));
    }
    if (file == "exif-rotate-90.jpg") {
        const QImage upright = Renderer::render(loaded.image.get(), {30, 60});
        QVERIFY(qRed(upright.pixel(15, 10)) > 200);
    }
}

void HostileTest::localFilesNeverReachAnOutput()
{
    // The drawing is a green square with two local files laid over it; only the green may show.
    const SourceImage::Loaded loaded = SourceImage::fromFile(Hostile + "external-href.svg");
    QVERIFY(loaded.image);
    const QImage image = Renderer::render(loaded.image.get(), {64, 64});
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            QCOMPARE(image.pixel(x, y), qRgb(0, 255, 0));
    const QImage self =
        Renderer::render(SourceImage::fromFile(Hostile + "image-self.svg").image.get(), {32, 32});
    QCOMPARE(self.size(), QSize(32, 32));
    QCOMPARE(qAlpha(self.pixel(16, 16)), 0);
}

void HostileTest::hangAndMemoryLimits_data()
{
    QTest::addColumn<QByteArray>("timeout");
    QTest::addColumn<QByteArray>("memory");
    QTest::addColumn<QString>("expected");
    QTest::newRow("too slow") << QByteArray("300") << QByteArray() << "took too long";
    QTest::newRow("too much memory") << QByteArray() << QByteArray("256") << "too large";
}

void HostileTest::hangAndMemoryLimits()
{
    QFETCH(QByteArray, timeout);
    QFETCH(QByteArray, memory);
    QFETCH(QString, expected);
    const QString file = "grey-16384.png";
    if (!memory.isEmpty() && sanitized())
        QSKIP("the sanitizers reserve more address space than any limit allows");
    const SourceImage::Loaded loaded = loadWithLimits(file, timeout, memory);
    QVERIFY(!loaded.image);
    QVERIFY2(loaded.error.contains(expected), qPrintable(loaded.error));
    QVERIFY(loaded.error.contains(file));
}

void HostileTest::windowSaysWhy()
{
    const auto ui = openWindow();
    ui->delegate->openImageFile(QUrl::fromLocalFile(Hostile + "one-pixel.png"));
    QVERIFY(ui->delegate->currentImage());
    ui->delegate->openImageFile(QUrl::fromLocalFile(Hostile + "truncated-half.jpg"));
    QVERIFY(!ui->delegate->currentImage());
    QVERIFY(ui->delegate->statusLabel()->text().startsWith(
        "Could not read “truncated-half.jpg”: the file is damaged"));
    // As for any file that gives no image: the fields keep what they had.
    QCOMPARE(ui->delegate->widthField()->text(), QString("1"));
    QCOMPARE(ui->delegate->assetNameField()->text(), QString("truncated-half"));
}

void HostileTest::debianCorpora_data()
{
    QTest::addColumn<QString>("folder");
    const QString pixbuf = "/usr/libexec/installed-tests/gdk-pixbuf/test-images/";
    const QString rsvg = "/usr/libexec/installed-tests/RSVG/fixtures/";
    for (const QString &folder :
         {pixbuf + "fail", pixbuf + "randomly-modified", pixbuf + "reftests", rsvg + "crash",
          rsvg + "render-crash", rsvg + "errors", rsvg + "loading", rsvg + "dimensions"})
        QTest::newRow(qPrintable(folder.section('/', -2))) << folder;
}

void HostileTest::debianCorpora()
{
    QFETCH(QString, folder);
    if (sanitized())
        QSKIP("Debian's corpora run in the normal build; the sanitizers take the crafted corpus");
    if (!QFileInfo(folder).isDir())
        QSKIP("Debian's gdk-pixbuf-tests and librsvg2-tests are not installed");
    int loadedCount = 0, refused = 0;
    for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString path = it.next();
        const SourceImage::Loaded loaded = SourceImage::fromFile(path);
        if (!loaded.image) {
            QVERIFY2(!loaded.error.isEmpty(), qPrintable(path));
            ++refused;
            continue;
        }
        ++loadedCount;
        // Every file that loads renders exactly, at the smallest and the largest icon.
        for (int n : {20, 1024}) {
            const QImage image = Renderer::render(loaded.image.get(), QSizeF(n, n));
            if (loaded.image->isVector() && image.isNull())
                continue; // a drawing the renderer gave up on yields no file, never a crash
            QVERIFY2(image.size() == QSize(n, n), qPrintable(path));
        }
    }
    qInfo("%s: %d loaded, %d refused", qPrintable(folder), loadedCount, refused);
    QVERIFY(loadedCount + refused > 0);
}

QTEST_MAIN(HostileTest)
#include "tst_hostile.moc"
