#include "TestFiles.h"
#include "export/Renderer.h"
#include "source/SourceImage.h"

namespace {

const QString Hostile = QStringLiteral(ASSETSMITH_TEST_DATA "/hostile/");

const bool Sanitized = !qEnvironmentVariableIsEmpty("ASSETSMITH_SANITIZED");

// Loads with the decoder's limits set for this one load, then puts the old ones back.
SourceImage::Loaded load(const QString &path, const QByteArray &timeout, const QByteArray &memory)
{
    const QByteArray oldTimeout = qgetenv("ASSETSMITH_DECODE_TIMEOUT_MS");
    const QByteArray oldMemory = qgetenv("ASSETSMITH_DECODE_MEMORY_MB");
    qputenv("ASSETSMITH_DECODE_TIMEOUT_MS", timeout.isEmpty() ? oldTimeout : timeout);
    qputenv("ASSETSMITH_DECODE_MEMORY_MB", memory.isEmpty() ? oldMemory : memory);
    SourceImage::Loaded loaded = SourceImage::fromFile(path);
    qputenv("ASSETSMITH_DECODE_TIMEOUT_MS", oldTimeout);
    qputenv("ASSETSMITH_DECODE_MEMORY_MB", oldMemory);
    return loaded;
}

} // namespace

class HostileTest : public QObject
{
    Q_OBJECT
private slots:
    void corpus_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("expected"); // "WxH" when it loads, else words of the refusal
        QTest::addColumn<QByteArray>("timeout");
        QTest::addColumn<QByteArray>("memory");
        QTest::addColumn<QColor>("colour"); // when valid, of a render at the top middle
        const auto row = [](const QString &tag, const QString &expected,
                            const QByteArray &timeout = {}, const QByteArray &memory = {},
                            const QColor &colour = {}) {
            QTest::newRow(qPrintable(tag))
                << tag.section(' ', 0, 0) << expected << timeout << memory << colour;
        };
        for (const char *file :
             {"truncated-half.png", "no-iend.png", "truncated-idat.png", "bad-idat-crc.png",
              "truncated-half.jpg", "no-end-marker.jpg", "truncated.gif", "truncated.webp",
              "entity-expansion.svg", "deep-nesting.svg", "not-well-formed.svg", "no-size.svg"})
            row(file, "is damaged");
        for (const char *file : {"zero-bytes.png", "text-renamed.png", "random-bytes.jpg"})
            row(file, "not an image");
        for (const char *file : {"header-100000-a-side.png", "header-65000-a-side.jpg",
                                 "side-16385.png", "svgz-bomb.svgz"})
            row(file, "is too large");
        for (const char *file : {"bmp-header-100000.bmp", "tga-header-65535.tga"})
            row(file, "Could not read");
        for (const char *file : {"rgba16.png", "cmyk.jpg", "grey-alpha.png", "palette-trns.png"})
            row(file, "40x30");
        row("side-16384.png", "16384x1");
        // A gigabyte decode on a loaded machine may pass the usual time limit.
        row("grey-16384.png", "16384x16384", "180000");
        row("grey-16384.png too slow", "reading it took too long", "300");
        // Read row by row and held shrunk: neither process holds the gigabyte it decodes to.
        row("grey-16384.png within a small memory limit", "16384x16384", {}, "256");
        row("rgba16-16384.png", "16384x16384", "180000", "256");
        row("one-pixel.png", "1x1");
        row("tall-1x10000.png", "1x10000");
        row("animated.gif", "32x32", {}, {}, Qt::red);       // the first frame
        row("exif-rotate-90.jpg", "30x60", {}, {}, Qt::red); // turned upright
        row("huge-dimensions.svg", "1000000000x1000000000");
        // Drawn as browsers draw them: without the looping reference, nor any other file.
        row("use-self.svg", "64x64");
        row("use-mutual.svg", "64x64");
        row("image-self.svg", "64x64", {}, {}, Qt::transparent);
        row("external-href.svg", "64x64", {}, {}, Qt::green);
    }

    void corpus()
    {
        QFETCH(QString, file);
        QFETCH(QString, expected);
        QFETCH(QByteArray, timeout);
        QFETCH(QByteArray, memory);
        QFETCH(QColor, colour);
        if (Sanitized && (expected == "16384x16384" || !memory.isEmpty()))
            QSKIP("the sanitizers reserve more address space than a gigabyte source leaves");
        const SourceImage::Loaded loaded = load(Hostile + file, timeout, memory);
        if (!expected.front().isDigit()) {
            QVERIFY2(!loaded.image && loaded.error.contains(expected), qPrintable(loaded.error));
            return;
        }
        QVERIFY2(loaded.image, qPrintable(loaded.error));
        const QSizeF size = loaded.image->size();
        QCOMPARE(QString("%1x%2").arg(size.width(), 0, 'f', 0).arg(size.height(), 0, 'f', 0),
                 expected);
        // Every source that loads gives an icon, of exactly the size asked for.
        const QImage icon = Renderer::render(loaded.image.get(), {64, 64});
        QCOMPARE(icon.size(), QSize(64, 64));
        if (colour.isValid()) // roughly: a JPEG's red is nearly red
            QCOMPARE(icon.pixel(32, 10) & 0xe0e0e0e0, colour.rgba() & 0xe0e0e0e0);
    }

    // A GIF ends with its trailer; NULs after it, as some writers pad files, neither hide a
    // missing one nor make a whole file look cut short.
    void gifTrailer_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("loads");
        const QByteArray gif = bytesOf(Hostile + "animated.gif"), pad(7, '\0');
        QTest::newRow("whole") << gif << true;
        QTest::newRow("padded") << gif + pad << true;
        QTest::newRow("no trailer") << gif.chopped(1) << false;
        QTest::newRow("no trailer, padded") << gif.chopped(1) + pad << false;
    }

    void gifTrailer()
    {
        QFETCH(QByteArray, data);
        QFETCH(bool, loads);
        const SourceImage::Loaded loaded = SourceImage::fromData(data, "a.gif");
        QVERIFY2(loads ? bool(loaded.image)
                       : !loaded.image && loaded.error.contains("ends before its trailer"),
                 qPrintable(loaded.error));
    }

    void debianCorpora_data()
    {
        QTest::addColumn<QString>("folder");
        const QString pixbuf = "/usr/libexec/installed-tests/gdk-pixbuf/test-images/";
        const QString rsvg = "/usr/libexec/installed-tests/RSVG/fixtures/";
        for (const QString &folder : {pixbuf + "fail", pixbuf + "randomly-modified", rsvg + "crash",
                                      rsvg + "render-crash", rsvg + "errors"})
            QTest::newRow(qPrintable(folder.section('/', -2))) << folder;
    }

    // Files that crashed or hung other readers: each is refused, or loads and draws, within the
    // limits and without harm to this process.
    void debianCorpora()
    {
        QFETCH(QString, folder);
        if (Sanitized || !QFileInfo(folder).isDir())
            QSKIP("for the normal build, with gdk-pixbuf-tests and librsvg2-tests installed");
        int files = 0;
        for (QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
            const QString path = it.next();
            const SourceImage::Loaded source = load(path, "2000", {});
            ++files;
            // A drawing the renderer gives up on yields no file, never a crash.
            const QImage icon = Renderer::render(source.image.get(), {20, 20});
            QVERIFY2(icon.size() == QSize(20, 20) ||
                         (icon.isNull() && (!source.image || source.image->isVector())),
                     qPrintable(path));
        }
        QVERIFY(files > 0);
    }
};

QTEST_GUILESS_MAIN(HostileTest)
#include "tst_hostile.moc"
