#include "CommandRun.h"
#include "TestFiles.h"

#include <QJsonArray>
#include <QLabel>
#include <QTemporaryDir>

namespace {

const QColor Red(220, 20, 20);

// A slot of the single-size form, with its appearance if it has one.
QJsonObject entry(const QString &appearance)
{
    QJsonObject object{{"filename", appearance.isEmpty() ? QString("Icon-1024.png")
                                                         : "Icon-1024-" + appearance + ".png"},
                       {"idiom", "universal"},
                       {"platform", "ios"},
                       {"size", "1024x1024"}};
    if (!appearance.isEmpty())
        object["appearances"] =
            QJsonArray{QJsonObject{{"appearance", "luminosity"}, {"value", appearance}}};
    return object;
}

} // namespace

class AppStoreTest : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
    }
    void cleanup() { dir.reset(); }
    void warnings_data();
    void warnings();
    void background_data();
    void background();
    void singleSize_data();
    void singleSize();
    void tintedAutoIsGreyInTheSourcesShape();

private:
    QString save(const QImage &image, const QString &name)
    {
        return saveImage(dir->filePath("src/" + name), image);
    }
    std::unique_ptr<QTemporaryDir> dir;
};

void AppStoreTest::warnings_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("transparent");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("width");        // for an image set
    QTest::addColumn<QStringList>("warnings"); // the start of each line after the summary

    const QString transparent = "The source has transparent pixels, so Icon-1024.png was written "
                                "with transparency: App Store upload refuses";
    const QString small = "The source is 300 by 200 pixels, smaller than ";
    struct Row
    {
        const char *row;
        QSize size;
        bool transparent;
        const char *button, *width;
        QStringList warnings;
    };
    const Row rows[] = {
        {"clean 1024 square, iOS", {1024, 1024}, false, "iosButton", "", {}},
        {"clean 1024 square, Mac", {1024, 1024}, false, "macButton", "", {}},
        {"transparent, iOS", {1024, 1024}, true, "iosButton", "", {transparent}},
        {"transparent, Mac needs no opaque icon", {1024, 1024}, true, "macButton", "", {}},
        {"small",
         {512, 512},
         false,
         "iosButton",
         "",
         {"The source is 512 by 512 pixels, smaller than Icon-1024.png (1024 by 1024 pixels): it "
          "was enlarged and will look soft."}},
        {"not square",
         {1200, 1024},
         false,
         "macButton",
         "",
         {"The source is 1200 by 1024 pixels, not square: the icons were stretched"}},
        {"all three",
         {300, 200},
         true,
         "iosButton",
         "",
         {transparent, small + "Icon-1024.png", "The source is 300 by 200 pixels, not square"}},
        {"image set within the source", {300, 200}, true, "imageSetButton", "99", {}},
        {"image set enlarged",
         {300, 200},
         false,
         "imageSetButton",
         "101",
         {small + "logo@3x.png (303 by 201 pixels)"}},
    };
    for (const Row &r : rows)
        QTest::newRow(r.row) << r.size << r.transparent << QString(r.button) << QString(r.width)
                             << r.warnings;
}

void AppStoreTest::warnings()
{
    QFETCH(QSize, size);
    QFETCH(bool, transparent);
    QFETCH(QString, button);
    QFETCH(QString, width);
    QFETCH(QStringList, warnings);
    const QString source = save(card(size, transparent, Red), "logo.png");
    const auto ui = openWindow();
    AppDelegate *d = ui->delegate.get();
    d->openImageFile(QUrl::fromLocalFile(source));
    typeInto(d->filePathField(), dir->path());
    if (!width.isEmpty())
        typeInto(d->widthField(), width);
    press(*ui, qPrintable(button));

    const QStringList lines = d->statusLabel()->text().split('\n');
    QVERIFY2(lines.first().startsWith("Wrote "), qPrintable(lines.first()));
    QVERIFY2(lines.size() == 1 + warnings.size(), qPrintable(lines.join(" / ")));
    for (int i = 0; i < warnings.size(); ++i)
        QVERIFY2(lines[i + 1].startsWith(warnings[i]), qPrintable(lines[i + 1]));
    // A screen reader reads the warnings with the summary.
    QCOMPARE(d->statusLabel()->accessibleName(), d->statusLabel()->text());
}

void AppStoreTest::background_data()
{
    QTest::addColumn<QString>("colour");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("#rrggbb") << "#204080" << QColor(0x20, 0x40, 0x80);
    QTest::newRow("a name") << "teal" << QColor(0, 128, 128);
    QTest::newRow("white") << "white" << QColor(Qt::white);
}

void AppStoreTest::background()
{
    QFETCH(QString, colour);
    QFETCH(QColor, expected);
    const QString source = save(card({1024, 1024}, true, Red), "logo.png");
    const CommandRun result =
        run({"ios", source, "--background", colour, "--out", dir->path(), "--quiet"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.err.isEmpty(), result.err.constData()); // no transparency left to warn of
    const QString folder = dir->filePath("AppIcon.appiconset");
    const QStringList files = QDir(folder).entryList({"*.png"}, QDir::Files);
    QCOMPARE(files.size(), 13);
    for (const QString &file : files) {
        QCOMPARE(pngColourType(bytesOf(folder + "/" + file)), 2);
        const QImage image = readPng(folder + "/" + file).convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                QVERIFY(qAlpha(line[x]) == 255);
        }
        // The corner was clear in the source, the centre red.
        QCOMPARE(image.pixelColor(0, 0), expected);
        QCOMPARE(image.pixelColor(image.width() / 2, image.height() / 2), Red);
    }
    QCOMPARE(run({"check", folder}).exitCode, 0);
}

void AppStoreTest::singleSize_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("appearances");

    QTest::newRow("main only") << QStringList() << QStringList{"Icon-1024.png"} << QStringList{""};
    QTest::newRow("dark") << QStringList{"--dark", "DARK"}
                          << QStringList{"Icon-1024-dark.png", "Icon-1024.png"}
                          << QStringList{"", "dark"};
    QTest::newRow("tinted from a file")
        << QStringList{"--tinted", "DARK"} << QStringList{"Icon-1024-tinted.png", "Icon-1024.png"}
        << QStringList{"", "tinted"};
    QTest::newRow("dark and tinted auto")
        << QStringList{"--tinted", "auto", "--dark", "DARK"}
        << QStringList{"Icon-1024-dark.png", "Icon-1024-tinted.png", "Icon-1024.png"}
        << QStringList{"", "dark", "tinted"};
}

void AppStoreTest::singleSize()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, files);
    QFETCH(QStringList, appearances);
    const QString source = save(card({1024, 1024}, false, Red), "logo.png");
    const QString dark = save(card({1024, 1024}, true, Red), "dark.png");
    options.replaceInStrings("DARK", dark);
    const CommandRun result =
        run(QStringList{"ios", source, "--single-size", "--out", dir->path()} + options);
    QCOMPARE(result.exitCode, 0);
    const QString folder = dir->filePath("AppIcon.appiconset");
    QCOMPARE(QDir(folder).entryList({"*.png"}, QDir::Files), files);

    QJsonArray images;
    for (const QString &appearance : appearances)
        images.append(entry(appearance));
    const QJsonObject contents = readJson(folder + "/Contents.json");
    QCOMPARE(contents["images"].toArray(), images);
    QCOMPARE(contents["info"].toObject()["version"].toInt(), 1);
    for (const QString &file : files)
        QCOMPARE(readPng(folder + "/" + file).size(), QSize(1024, 1024));
    // The main icon is opaque; the appearances may be clear, as they are drawn on the system's.
    QCOMPARE(pngColourType(bytesOf(folder + "/Icon-1024.png")), 2);
    const CommandRun check = run({"check", folder, "--json"});
    QVERIFY2(check.exitCode == 0, check.out.constData());
}

void AppStoreTest::tintedAutoIsGreyInTheSourcesShape()
{
    const QImage art = card({1024, 1024}, true, Red);
    const QString source = save(art, "logo.png");
    QCOMPARE(
        run({"ios", source, "--single-size", "--tinted", "auto", "--out", dir->path(), "--quiet"})
            .exitCode,
        0);
    const QImage tinted = readPng(dir->filePath("AppIcon.appiconset/Icon-1024-tinted.png"))
                              .convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(tinted.size(), art.size());
    for (int y = 0; y < art.height(); y += 3) {
        for (int x = 0; x < art.width(); x += 3) {
            const QRgb p = tinted.pixel(x, y);
            QCOMPARE(qAlpha(p), qAlpha(art.pixel(x, y)));
            if (qAlpha(p) == 0)
                continue;
            QVERIFY(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p));
        }
    }
    // The red (220, 20, 20) as luminance: 0.2126 * 220 + 0.7152 * 20 + 0.0722 * 20 = 62.5.
    QVERIFY(qAbs(qRed(tinted.pixel(512, 512)) - 62) <= 1);
}

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    AppStoreTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_appstore.moc"
