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
        const QString damaged = "is damaged", tooLarge = "is too large", notImage = "not an image";
        struct Row
        {
            const char *tag;
            QString expected;
            QByteArray timeout = {}, memory = {};
            QColor colour = {};
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
            // A gigabyte decode on a loaded machine may pass the usual time limit.
            {"grey-16384.png", "16384x16384", "180000"},
            {"grey-16384.png too slow", "reading it took too long", "300"},
            {"grey-16384.png over the memory limit", tooLarge, {}, "256"},
            {"one-pixel.png", "1x1"},
            {"tall-1x10000.png", "1x10000"},
            {"animated.gif", "32x32", {}, {}, Qt::red}, // the first frame
            {"rgba16.png", "40x30"},
            {"cmyk.jpg", "40x30"},
            {"grey-alpha.png", "40x30"},
            {"palette-trns.png", "40x30"},
            {"exif-rotate-90.jpg", "30x60", {}, {}, Qt::red}, // turned upright
            {"entity-expansion.svg", damaged},
            {"huge-dimensions.svg", "1000000000x1000000000"},
            // Drawn as browsers draw them: without the looping reference, nor any other file.
            {"use-self.svg", "64x64"},
            {"use-mutual.svg", "64x64"},
            {"image-self.svg", "64x64", {}, {}, Qt::transparent},
            {"external-href.svg", "64x64", {}, {}, Qt::green},
            {"svgz-bomb.svgz", tooLarge},
            {"deep-nesting.svg", damaged},
            {"not-well-formed.svg", damaged},
            {"no-size.svg", damaged},
        };
        for (const Row &row : rows)
            QTest::newRow(row.tag) << QString(row.tag).section(' ', 0, 0) << row.expected
                                   << row.timeout << row.memory << row.colour;
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
        QVERIFY2(bool(loaded.image) == loads, qPrintable(loaded.error));
        QVERIFY2(loads || loaded.error.contains("ends before its trailer"),
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
