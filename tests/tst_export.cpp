#include "AppDelegate.h"
#include "ApplicationMain.h"
#include "catalogue/QVIconData.h"
#include "export/AssetExporter.h"
#include "export/Renderer.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPainter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <ranges>

namespace {

QJsonObject readJson(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

QImage readPng(const QString &path)
{
    QImageReader reader(path, "png");
    QImage image = reader.read();
    image.setDevicePixelRatio(1); // Qt reads "@2x" in a name as a screen density
    return image;
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList filesIn(const QString &folder)
{
    QStringList names = QDir(folder).entryList(QDir::Files);
    names.sort();
    return names;
}

QImage cardImage(QSize size, bool transparent, QColor colour = QColor(30, 120, 220))
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(transparent ? Qt::transparent : Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(colour);
    p.setPen(Qt::NoPen);
    p.drawEllipse(
        QRectF(size.width() * 0.1, size.height() * 0.1, size.width() * 0.8, size.height() * 0.8));
    return image;
}

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
        const int scale = entry["scale"].toString().chopped(1).toInt();
        QVERIFY2(!image.isNull(), qPrintable(entry["filename"].toString()));
        QCOMPARE(image.size(), QSize(int(points * scale), int(points * scale)));
    }
}

} // namespace

class ExportTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void iosSetIsComplete();
    void reExportReplacesTheSameFiles();
    void macAfterIos();
    void missingParentWritesNothing();
    void trailingSlash();
    void emptyFolderTextWritesNothing();
    void noSourceImage();
    void imageSets_data();
    void imageSets();
    void opaqueAndTransparentPixels_data();
    void opaqueAndTransparentPixels();
    void oneThreadOrManySameBytes();

private:
    void loadSource(const QImage &image, const QString &name = "logo.png");
    void press(const char *button)
    {
        QTest::mouseClick(ui->window->findChild<QPushButton *>(button), Qt::LeftButton);
    }
    // A button's mnemonic clicks it a moment later, as a click would look on screen.
    void pressByKey(Qt::Key key)
    {
        ui->delegate->statusLabel()->clear();
        QTest::keyClick(ui->window.get(), key, Qt::AltModifier);
        QTRY_VERIFY(!status().isEmpty());
    }
    void typeInto(QLineEdit *field, const QString &text)
    {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        // keyClicks knows ASCII only; other letters arrive as typed text, as an input method sends
        // them.
        for (const QString &c : text.toUcs4() | std::views::transform([](char32_t u) {
                                    return QString::fromUcs4(&u, 1);
                                }))
            QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, c, Qt::NoModifier);
    }
    QString status() const { return ui->delegate->statusLabel()->text(); }
    // The status line's first line: what was written, before any warnings.
    QString summary() const { return status().section(QLatin1Char('\n'), 0, 0); }

    std::unique_ptr<ApplicationMain::Interface> ui;
    std::unique_ptr<QTemporaryDir> dir;
};

void ExportTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    ui = ApplicationMain::loadInterface(*qApp);
    ui->window->show();
    ui->window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(ui->window.get()));
}

void ExportTest::cleanup()
{
    ui.reset();
    dir.reset();
}

void ExportTest::loadSource(const QImage &image, const QString &name)
{
    QDir().mkpath(dir->filePath("src"));
    const QString path = dir->filePath("src/" + name);
    QVERIFY(image.save(path, "png"));
    ui->delegate->openImageFile(QUrl::fromLocalFile(path));
    QVERIFY(ui->delegate->currentImage());
}

void ExportTest::iosSetIsComplete()
{
    loadSource(cardImage({256, 256}, true));
    typeInto(ui->delegate->filePathField(), dir->path());
    pressByKey(Qt::Key_I);
    const QString folder = dir->filePath("AppIcon.appiconset");
    QStringList expected = QVIconData::filenamesForSizes() << "Contents.json";
    expected.sort();
    QCOMPARE(filesIn(folder), expected);
    verifyIconSet(folder, QVIconData::appIconContents());
    const QList<int> sizes = QVIconData::sizesToMakeForIcon();
    for (int i = 0; i < sizes.size(); ++i)
        QCOMPARE(readPng(folder + "/" + QVIconData::filenamesForSizes()[i]).size(),
                 QSize(sizes[i], sizes[i]));
    QCOMPARE(summary(), "Wrote 14 files to " + folder);
    QCOMPARE(ui->delegate->statusLabel()->accessibleName(), status());
}

void ExportTest::reExportReplacesTheSameFiles()
{
    loadSource(cardImage({128, 128}, false, Qt::red));
    typeInto(ui->delegate->filePathField(), dir->path());
    press("iosButton");
    const QString folder = dir->filePath("AppIcon.appiconset");
    QFile keep(folder + "/notes.txt");
    QVERIFY(keep.open(QIODevice::WriteOnly));
    keep.write("mine");
    keep.close();
    QCOMPARE(readPng(folder + "/Icon-60.png").pixelColor(30, 30), QColor(Qt::red));

    loadSource(cardImage({128, 128}, false, Qt::blue), "other.png");
    press("iosButton");
    QCOMPARE(filesIn(folder).size(), 15);
    QCOMPARE(readPng(folder + "/Icon-60.png").pixelColor(30, 30), QColor(Qt::blue));
    QCOMPARE(bytesOf(folder + "/notes.txt"), QByteArray("mine"));
}

void ExportTest::macAfterIos()
{
    loadSource(cardImage({300, 300}, false));
    typeInto(ui->delegate->filePathField(), dir->path());
    press("iosButton");
    const QString folder = dir->filePath("AppIcon.appiconset");
    QMap<QString, QByteArray> before;
    for (const QString &name : QVIconData::filenamesForSizes())
        before[name] = bytesOf(folder + "/" + name);

    loadSource(cardImage({300, 300}, false, Qt::darkGreen), "green.png");
    press("macButton");
    verifyIconSet(folder, QVIconData::appIconContentsMac());
    const QStringList ios = QVIconData::filenamesForSizes();
    QSet<QString> all(ios.begin(), ios.end());
    const QStringList mac = QVIconData::filenamesForSizesMac();
    all.unite(QSet<QString>(mac.begin(), mac.end()));
    QCOMPARE(filesIn(folder).size(), all.size() + 1);
    QCOMPARE(all.size(), 19); // 13 iOS, six more for the Mac
    for (const QString &name : QVIconData::filenamesForSizes()) {
        if (name == "Icon-1024.png")
            QVERIFY(bytesOf(folder + "/" + name) != before[name]);
        else
            QCOMPARE(bytesOf(folder + "/" + name), before[name]);
    }
    QCOMPARE(summary(), "Wrote 8 files to " + folder);
}

void ExportTest::missingParentWritesNothing()
{
    loadSource(cardImage({64, 64}, false));
    const QString missing = dir->filePath("not/there");
    typeInto(ui->delegate->filePathField(), missing);
    press("iosButton");
    QVERIFY(!QFileInfo::exists(dir->filePath("not")));
    QCOMPARE(status(), "Could not write Contents.json: the folder " + missing +
                           "/AppIcon.appiconset does not exist. Wrote 0 of 14 files to " + missing +
                           "/AppIcon.appiconset.");
}

void ExportTest::trailingSlash()
{
    loadSource(cardImage({64, 64}, false));
    typeInto(ui->delegate->filePathField(), dir->path() + "/");
    press("macButton");
    verifyIconSet(dir->filePath("AppIcon.appiconset"), QVIconData::appIconContentsMac());
    QCOMPARE(summary(), "Wrote 8 files to " + dir->filePath("AppIcon.appiconset"));
}

void ExportTest::emptyFolderTextWritesNothing()
{
    loadSource(cardImage({64, 64}, false));
    ui->delegate->filePathField()->clear();
    press("iosButton");
    QVERIFY(!QFileInfo::exists("/AppIcon.appiconset"));
    QCOMPARE(status(), QString("Type or choose an output folder first."));
}

void ExportTest::noSourceImage()
{
    typeInto(ui->delegate->filePathField(), dir->path());
    for (const char *button : {"iosButton", "macButton", "imageSetButton"}) {
        press(button);
        QCOMPARE(status(), QString("Choose a source image first."));
    }
    QCOMPARE(QDir(dir->path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void ExportTest::imageSets_data()
{
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("height");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("sizes"); // empty when nothing may be written
    QTest::addColumn<QString>("message");
    const QString written = "Wrote 4 files to %1/%2.imageset";
    QTest::newRow("20 by 10 star") << "20"
                                   << "10"
                                   << "star" << QStringList{"20x10", "40x20", "60x30"} << written;
    QTest::newRow("width 0") << "0"
                             << "10"
                             << "star" << QStringList()
                             << "Type a width and a height of at least 1 pixel.";
    QTest::newRow("both empty") << ""
                                << ""
                                << "star" << QStringList()
                                << "Type a width and a height of at least 1 pixel.";
    QTest::newRow("beyond 32 bits")
        << "99999999999"
        << "1"
        << "star" << QStringList()
        << "The image set is too large: its 3x image would be 6442450941 by 3 pixels, "
           "and at most 16384 pixels a side and 268435456 pixels in all can be made.";
    QTest::newRow("3x just fits") << "5461"
                                  << "1"
                                  << "wide" << QStringList{"5461x1", "10922x2", "16383x3"}
                                  << written;
    QTest::newRow("3x just too wide")
        << "5462"
        << "1"
        << "wide" << QStringList()
        << "The image set is too large: its 3x image would be 16386 by 3 pixels, "
           "and at most 16384 pixels a side and 268435456 pixels in all can be made.";
    QTest::newRow("empty name") << "20"
                                << "10"
                                << "" << QStringList() << "Type an asset name first.";
    QTest::newRow("name with slash")
        << "20"
        << "10"
        << "a/b" << QStringList()
        << "Type an asset name without “/”: it names the folder and its files.";
    QTest::newRow("spaces and other scripts")
        << "8"
        << "8"
        << "my icon Ωмя 日本" << QStringList{"8x8", "16x16", "24x24"} << written;
    QTest::newRow("leading dash and dots") << "3"
                                           << "2"
                                           << "-..x" << QStringList{"3x2", "6x4", "9x6"} << written;
}

void ExportTest::imageSets()
{
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(QString, name);
    QFETCH(QStringList, sizes);
    QFETCH(QString, message);
    loadSource(cardImage({90, 45}, true));
    ui->delegate->proportionsCheckBox()->setChecked(false);
    typeInto(ui->delegate->filePathField(), dir->path());
    typeInto(ui->delegate->widthField(), width);
    typeInto(ui->delegate->heightField(), height);
    typeInto(ui->delegate->assetNameField(), name);
    pressByKey(Qt::Key_S);
    QCOMPARE(summary(), message.contains("%1") ? message.arg(dir->path(), name) : message);

    const QString folder = dir->filePath(name + ".imageset");
    if (sizes.isEmpty()) {
        QCOMPARE(filesIn(dir->path()), QStringList()); // only the src folder, no files
        QCOMPARE(QDir(dir->path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                 QStringList{"src"});
        return;
    }
    const QJsonObject contents = readJson(folder + "/Contents.json");
    QCOMPARE(contents, ui->delegate->assetContents());
    const QJsonArray images = contents["images"].toArray();
    QCOMPARE(images.size(), 3);
    QStringList expectedFiles{"Contents.json"};
    for (int k = 0; k < 3; ++k) {
        const QString file = images[k].toObject()["filename"].toString();
        QCOMPARE(file, ui->delegate->fileNameForAssetOfIndex(k + 1));
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
    loadSource(cardImage({200, 200}, transparent));
    typeInto(ui->delegate->filePathField(), dir->path());
    press("iosButton");
    const QList<int> sizes = QVIconData::sizesToMakeForIcon();
    for (int i = 0; i < sizes.size(); ++i) {
        const QImage file =
            readPng(dir->filePath("AppIcon.appiconset/" + QVIconData::filenamesForSizes()[i]));
        QCOMPARE(file.hasAlphaChannel(), transparent);
        const QImage rendered =
            ui->delegate->resizeImage(ui->delegate->currentImage(), QSizeF(sizes[i], sizes[i]));
        QCOMPARE(file.convertToFormat(QImage::Format_ARGB32),
                 rendered.convertToFormat(QImage::Format_ARGB32));
    }
}

void ExportTest::oneThreadOrManySameBytes()
{
    const SourceImagePtr source = SourceImage::fromImage(cardImage({700, 500}, true));
    QTemporaryDir one, many;
    QVERIFY(AssetExporter::writeAppIconSet(source.get(), one.path(), "ios", 1).succeeded());
    QVERIFY(AssetExporter::writeAppIconSet(source.get(), many.path(), "ios", 4).succeeded());
    for (const QString &name : filesIn(one.filePath("AppIcon.appiconset")))
        QCOMPARE(bytesOf(one.filePath("AppIcon.appiconset/" + name)),
                 bytesOf(many.filePath("AppIcon.appiconset/" + name)));
}

QTEST_MAIN(ExportTest)
#include "tst_export.moc"
