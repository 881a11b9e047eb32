#include "TestFiles.h"
#include "catalogue/QVIconData.h"
#include "export/AssetExporter.h"

#include <QJsonArray>
#include <QLabel>
#include <QTemporaryDir>

namespace {

// Every slot's file exists with points x scale pixels, and the document is the expected one.
void verifyIconSet(const QString &folder, const QJsonObject &expected)
{
    const QJsonObject written = readJson(folder + "/Contents.json");
    QCOMPARE(written, expected);
    QVERIFY(written["info"].toObject()["version"].isDouble());
    for (const QJsonValue &value : written["images"].toArray()) {
        const QJsonObject entry = value.toObject();
        const QImage image = readPng(folder + "/" + entry["filename"].toString());
        const double points = entry["size"].toString().section('x', 0, 0).toDouble();
        const int pixels = int(points * entry["scale"].toString().chopped(1).toInt());
        QVERIFY2(!image.isNull(), qPrintable(entry["filename"].toString()));
        QCOMPARE(image.size(), QSize(pixels, pixels));
    }
}

} // namespace

class ExportTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void iconSetIsComplete_data();
    void iconSetIsComplete();
    void reExportReplacesTheSameFiles();
    void macAfterIos();
    void nothingWritten_data();
    void nothingWritten();
    void imageSets_data();
    void imageSets();
    void opaqueAndTransparentPixels_data();
    void opaqueAndTransparentPixels();
    void oneThreadOrManySameBytes();

private:
    void loadSource(const QImage &image, const QString &name = "logo.png")
    {
        d()->openImageFile(QUrl::fromLocalFile(saveImage(dir->filePath("src/" + name), image)));
        QVERIFY(d()->currentImage());
    }
    // A button's mnemonic clicks it a moment later, as a click would look on screen.
    void pressByKey(Qt::Key key)
    {
        d()->statusLabel()->clear();
        QTest::keyClick(ui->window.get(), key, Qt::AltModifier);
        QTRY_VERIFY(!status().isEmpty());
    }
    AppDelegate *d() { return ui->delegate.get(); }
    QString status() { return d()->statusLabel()->text(); }
    // The status line's first line: what was written, before any warnings.
    QString summary() { return status().section(QLatin1Char('\n'), 0, 0); }

    std::unique_ptr<ApplicationMain::Interface> ui;
    std::unique_ptr<QTemporaryDir> dir;
};

void ExportTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    ui = openWindow();
}

void ExportTest::cleanup()
{
    ui.reset();
    dir.reset();
}

void ExportTest::iconSetIsComplete_data()
{
    QTest::addColumn<bool>("ios");
    QTest::addColumn<QString>("slash"); // after the typed folder
    QTest::newRow("ios") << true << "";
    QTest::newRow("mac, trailing slash") << false << "/";
}

void ExportTest::iconSetIsComplete()
{
    QFETCH(bool, ios);
    QFETCH(QString, slash);
    loadSource(card({256, 256}, true));
    typeInto(d()->filePathField(), dir->path() + slash);
    pressByKey(ios ? Qt::Key_I : Qt::Key_M);
    const QString folder = dir->filePath("AppIcon.appiconset");
    const QStringList names =
        ios ? QVIconData::filenamesForSizes() : QVIconData::filenamesForSizesMac();
    const QList<int> sizes =
        ios ? QVIconData::sizesToMakeForIcon() : QVIconData::sizesToMakeForIconMac();
    QStringList expected = names;
    expected << "Contents.json";
    expected.sort();
    QCOMPARE(filesIn(folder), expected);
    verifyIconSet(folder, ios ? QVIconData::appIconContents() : QVIconData::appIconContentsMac());
    for (int i = 0; i < sizes.size(); ++i)
        QCOMPARE(readPng(folder + "/" + names[i]).size(), QSize(sizes[i], sizes[i]));
    QCOMPARE(summary(), QString("Wrote %1 files to %2").arg(names.size() + 1).arg(folder));
    QCOMPARE(d()->statusLabel()->accessibleName(), status());
}

void ExportTest::reExportReplacesTheSameFiles()
{
    loadSource(card({128, 128}, false, Qt::red));
    typeInto(d()->filePathField(), dir->path());
    press(*ui, "iosButton");
    const QString folder = dir->filePath("AppIcon.appiconset");
    QVERIFY(writeFile(folder + "/notes.txt", "mine"));
    QCOMPARE(readPng(folder + "/Icon-60.png").pixelColor(30, 30), QColor(Qt::red));

    loadSource(card({128, 128}, false, Qt::blue), "other.png");
    press(*ui, "iosButton");
    QCOMPARE(filesIn(folder).size(), 15);
    QCOMPARE(readPng(folder + "/Icon-60.png").pixelColor(30, 30), QColor(Qt::blue));
    QCOMPARE(bytesOf(folder + "/notes.txt"), QByteArray("mine"));
}

void ExportTest::macAfterIos()
{
    loadSource(card({300, 300}, false));
    typeInto(d()->filePathField(), dir->path());
    press(*ui, "iosButton");
    const QString folder = dir->filePath("AppIcon.appiconset");
    const QMap<QString, QByteArray> before = tree(folder);

    loadSource(card({300, 300}, false, Qt::darkGreen), "green.png");
    press(*ui, "macButton");
    QCOMPARE(summary(), "Wrote 8 files to " + folder);
    verifyIconSet(folder, QVIconData::appIconContentsMac());
    const QMap<QString, QByteArray> after = tree(folder);
    QCOMPARE(after.size(), 20); // 13 iOS files and Contents.json, six more for the Mac
    for (auto it = before.begin(); it != before.end(); ++it) {
        if (it.key() == "Icon-1024.png" || it.key() == "Contents.json")
            QVERIFY(after[it.key()] != it.value());
        else
            QCOMPARE(after[it.key()], it.value());
    }
}

// Each export refused before a file is written: the status line says why.
void ExportTest::nothingWritten_data()
{
    QTest::addColumn<bool>("source");
    QTest::addColumn<QString>("folder"); // "@" stands for the test folder
    QTest::addColumn<QString>("message");
    QTest::newRow("no source") << false << "@"
                               << "Choose a source image first.";
    QTest::newRow("empty folder text") << true << ""
                                       << "Type or choose an output folder first.";
    QTest::newRow("missing parent")
        << true << "@/not/there"
        << "Could not write Contents.json: the folder @/not/there/AppIcon.appiconset does not "
           "exist. Wrote 0 of 14 files to @/not/there/AppIcon.appiconset.";
}

void ExportTest::nothingWritten()
{
    QFETCH(bool, source);
    QFETCH(QString, folder);
    QFETCH(QString, message);
    if (source)
        loadSource(card({64, 64}, false));
    typeInto(d()->filePathField(), folder.replace('@', dir->path()));
    for (const char *button : {"iosButton", "macButton", "imageSetButton"}) {
        if (source && qstrcmp(button, "iosButton"))
            break;
        press(*ui, button);
        QCOMPARE(status(), message.replace('@', dir->path()));
    }
    QVERIFY(!QFileInfo::exists("/AppIcon.appiconset"));
    QCOMPARE(QDir(dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             source ? QStringList{"src"} : QStringList());
}

void ExportTest::imageSets_data()
{
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("height");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("sizes"); // empty when nothing may be written
    QTest::addColumn<QString>("message");
    const QString written = "Wrote 4 files to %1/%2.imageset";
    const QString tooLarge = "The image set is too large: its 3x image would be %1 by 3 pixels, "
                             "and at most 16384 pixels a side and 268435456 pixels in all can be "
                             "made.";
    const QString noSize = "Type a width and a height of at least 1 pixel.";
    struct Row
    {
        const char *row, *width, *height, *name;
        QStringList sizes;
        QString message;
    };
    const Row rows[] = {
        {"20 by 10 star", "20", "10", "star", {"20x10", "40x20", "60x30"}, written},
        {"width 0", "0", "10", "star", {}, noSize},
        {"both empty", "", "", "star", {}, noSize},
        {"beyond 32 bits", "99999999999", "1", "star", {}, tooLarge.arg("6442450941")},
        {"3x just fits", "5461", "1", "wide", {"5461x1", "10922x2", "16383x3"}, written},
        {"3x just too wide", "5462", "1", "wide", {}, tooLarge.arg("16386")},
        {"empty name", "20", "10", "", {}, "Type an asset name first."},
        {"name with slash",
         "20",
         "10",
         "a/b",
         {},
         "Type an asset name without “/”: it names the folder and its files."},
        {"spaces and other scripts",
         "8",
         "8",
         "my icon Ωмя 日本",
         {"8x8", "16x16", "24x24"},
         written},
        {"leading dash and dots", "3", "2", "-..x", {"3x2", "6x4", "9x6"}, written},
    };
    for (const Row &r : rows)
        QTest::newRow(r.row) << QString(r.width) << QString(r.height) << QString(r.name) << r.sizes
                             << r.message;
}

void ExportTest::imageSets()
{
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(QString, name);
    QFETCH(QStringList, sizes);
    QFETCH(QString, message);
    loadSource(card({90, 45}, true));
    d()->proportionsCheckBox()->setChecked(false);
    typeInto(d()->filePathField(), dir->path());
    typeInto(d()->widthField(), width);
    typeInto(d()->heightField(), height);
    typeInto(d()->assetNameField(), name);
    pressByKey(Qt::Key_S);
    QCOMPARE(summary(), message.contains("%1") ? message.arg(dir->path(), name) : message);

    const QString folder = dir->filePath(name + ".imageset");
    if (sizes.isEmpty()) {
        QCOMPARE(QDir(dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{"src"});
        return;
    }
    const QJsonObject contents = readJson(folder + "/Contents.json");
    QCOMPARE(contents, d()->assetContents());
    const QJsonArray images = contents["images"].toArray();
    QCOMPARE(images.size(), 3);
    QStringList expectedFiles{"Contents.json"};
    for (int k = 0; k < 3; ++k) {
        const QString file = images[k].toObject()["filename"].toString();
        QCOMPARE(file, d()->fileNameForAssetOfIndex(k + 1));
        const QImage image = readPng(folder + "/" + file);
        QCOMPARE(QString("%1x%2").arg(image.width()).arg(image.height()), sizes[k]);
        expectedFiles << file;
    }
    expectedFiles.sort();
    QCOMPARE(filesIn(folder), expectedFiles);
}

void ExportTest::opaqueAndTransparentPixels_data()
{
    QTest::addColumn<bool>("transparent");
    QTest::newRow("opaque") << false;
    QTest::newRow("transparent") << true;
}

void ExportTest::opaqueAndTransparentPixels()
{
    QFETCH(bool, transparent);
    loadSource(card({200, 200}, transparent));
    typeInto(d()->filePathField(), dir->path());
    press(*ui, "iosButton");
    const QList<int> sizes = QVIconData::sizesToMakeForIcon();
    for (int i = 0; i < sizes.size(); ++i) {
        const QString path =
            dir->filePath("AppIcon.appiconset/" + QVIconData::filenamesForSizes()[i]);
        QCOMPARE(pngColourType(bytesOf(path)), transparent ? 6 : 2);
        const QImage rendered = d()->resizeImage(d()->currentImage(), QSizeF(sizes[i], sizes[i]));
        QCOMPARE(readPng(path).convertToFormat(QImage::Format_ARGB32),
                 rendered.convertToFormat(QImage::Format_ARGB32));
    }
}

void ExportTest::oneThreadOrManySameBytes()
{
    const SourceImagePtr source = SourceImage::fromImage(card({700, 500}, true));
    QTemporaryDir one, many;
    QVERIFY(AssetExporter::writeAppIconSet(source.get(), one.path(), "ios", 1).succeeded());
    QVERIFY(AssetExporter::writeAppIconSet(source.get(), many.path(), "ios", 4).succeeded());
    const QMap<QString, QByteArray> written = tree(one.path());
    QCOMPARE(written.size(), 14);
    QVERIFY(written == tree(many.path()));
}

QTEST_MAIN(ExportTest)
#include "tst_export.moc"
