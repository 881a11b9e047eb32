#include "TestFiles.h"
#include "catalogue/QVIconData.h"
#include "export/AssetExporter.h"
#include "export/Renderer.h"

#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>

#include <future>
#include <thread>

namespace {

// Every file of each set and its pixel size, written out by hand.
const char *IosFiles = "Icon-20 20,Icon-40 40,Icon-60 60,Icon-Small 29,Icon-Small@2x 58,"
                       "Icon-Small@3x 87,Icon-40@2x 80,Icon-60@2x 120,Icon-60@3x 180,Icon-76 76,"
                       "Icon-76@2x 152,Icon-83.5@2x 167,Icon-1024 1024";
const char *MacFiles =
    "Icon-16 16,Icon-32 32,Icon-64 64,Icon-128 128,Icon-256 256,Icon-512 512,Icon-1024 1024";
const QColor Red(220, 20, 20), Dark(40, 40, 160), Green(20, 200, 40);
const QJsonObject SingleSlot{{"idiom", "universal"}, {"platform", "ios"}, {"size", "1024x1024"}};

// A table written as "row name|field|...;next row", all fields text.
void rowsOf(const char *table)
{
    QTest::addColumn<QStringList>("f");
    for (const QString &row : QString(table).split(';'))
        QTest::newRow(qPrintable(row.section('|', 0, 0))) << row.split('|');
}

// What a PNG holds, as the tables write it: "file WxH colour-type corner centre".
QString looks(const QString &path)
{
    const QImage image = readPng(path).convertToFormat(QImage::Format_ARGB32);
    const QColor corner = image.pixelColor(0, 0),
                 centre = image.pixelColor(image.width() / 2, image.height() / 2);
    return QString::asprintf("%s %dx%d %d ", qPrintable(QFileInfo(path).fileName()), image.width(),
                             image.height(), pngColourType(bytesOf(path))) +
           corner.name(QColor::HexArgb) + ' ' + centre.name(QColor::HexArgb);
}

// Mounts a tmpfs at `path` (or remounts it) with the options; false where this process may not.
bool mount(const QString &path, const QString &options)
{
    return QDir().mkpath(path) &&
           QProcess::execute("mount", {"-t", "tmpfs", "-o", options, "tmpfs", path}) == 0;
}

} // namespace

class ExportTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir;
    QString folder() const { return dir->filePath("AppIcon.appiconset"); }

private slots:
    void init() { dir = std::make_unique<QTemporaryDir>(); }

    // name|source size, "clear" when transparent|the platform, then "single", "dark", "tinted",
    // "auto" (tinted from the main source), "bg=<colour>"|"file colour-type corner centre" ("*":
    // every file of the set), ...|"warning-code:words of its message", ...
    void appIcons_data()
    {
        rowsOf("mac, transparent: no store icon|1024x1024 clear|mac|* 6 #00000000 #ffdc1414|;"
               "ios over a background|1024x1024 clear|ios bg=#204080|* 2 #ff204080 #ffdc1414|;"
               "mac has no background|1024x1024 clear|mac bg=teal|* 6 #00000000 #ffdc1414|;"
               "single, dark, tinted, over white|1024x1024 clear|ios single dark tinted bg=white|"
               "Icon-1024 2 #ffffffff #ffdc1414,Icon-1024-dark 6 #00000000 #ff2828a0,"
               "Icon-1024-tinted 6 #00000000 #ff969696|;"
               "single, tinted from the main source|1024x1024 clear|ios single auto|Icon-1024 6 "
               "#00000000 #ffdc1414,Icon-1024-tinted 6 #00000000 #ff3f3f3f|transparent-store-icon:;"
               "small: enlarged|512x512|ios|* 2 #ffffffff #ffdc1414|"
               "enlarged:smaller than Icon-1024.png (1024 by 1024 pixels);"
               "not square: stretched|1200x1024|mac|* 2 #ffffffff #ffdc1414|stretched:1200 by 1024;"
               "all three|300x200 clear|ios|* 6 #00000000 #ffdc1414|"
               "transparent-store-icon:Icon-1024.png,enlarged:300 by 200,stretched:300 by 200");
    }
    // A missing, extra or wrongly sized file; an option applied to the wrong file or set (the
    // tinted file made from the main source); alpha dropped or kept wrongly; a warning missed.
    void appIcons()
    {
        QFETCH(QStringList, f);
        const QStringList words = f[2].split(' '), size = f[1].section(' ', 0, 0).split('x');
        const bool ios = words[0] == "ios";
        const auto source = SourceImage::fromImage(
            card({size[0].toInt(), size[1].toInt()}, f[1].endsWith("clear"), Red));
        const auto dark = SourceImage::fromImage(card({1024, 1024}, true, Dark));
        const auto tinted = SourceImage::fromImage(card({1024, 1024}, true, Green));
        const AssetExporter::AppIconOptions options{
            QColor(f[2].section("bg=", 1)), words.contains("single"),
            words.contains("dark") ? dark.get() : nullptr,
            words.contains("tinted") ? tinted.get() : nullptr, words.contains("auto")};
        const ExportReport report =
            AssetExporter::writeAppIconSet(source.get(), dir->path(), words[0], options);
        QStringList expected, made, said;
        QJsonArray images;
        for (const QString &file : f[3].split(',')) {
            const QString name = file.section(' ', 0, 0), look = name.section('-', 2);
            const QStringList sides = name == "*" ? QString(ios ? IosFiles : MacFiles).split(',')
                                                  : QStringList{name + " 1024"};
            for (const QString &side : sides)
                expected << side.section(' ', 0, 0) + ".png " + side.section(' ', 1) + 'x' +
                                side.section(' ', 1) + ' ' + file.section(' ', 1);
            QJsonObject entry = SingleSlot;
            entry["filename"] = name + ".png";
            if (!look.isEmpty())
                entry["appearances"] =
                    QJsonArray{QJsonObject{{"appearance", "luminosity"}, {"value", look}}};
            images.append(entry);
        }
        for (const QString &png : filesIn(folder()).filter(".png"))
            made << looks(folder() + '/' + png);
        expected.sort();
        QCOMPARE(made, expected);
        auto contents = ios ? QVIconData::appIconContents() : QVIconData::appIconContentsMac();
        if (options.singleSize)
            contents["images"] = images;
        QCOMPARE(readJson(folder() + "/Contents.json"), contents);
        for (const ExportReport::Warning &warning : report.warnings) {
            const QString hint = f[4].section(',', said.size(), said.size()).section(':', 1);
            said << warning.code + ':' + (warning.message.contains(hint) ? hint : warning.message);
        }
        QCOMPARE(said, f[4].split(',', Qt::SkipEmptyParts));
    }

    // name|width|height|asset name|1x,2x,3x sizes, none when refused|the refusal or the warning
    void imageSets_data()
    {
        rowsOf("20 by 10 from 300 by 200|20|10|star|20x10,40x20,60x30|;"
               "enlarged|101|67|logo|101x67,202x134,303x201|logo@3x.png (303 by 201 pixels);"
               "spaces and other scripts|8|8|my icon Ωмя 日本|8x8,16x16,24x24|;"
               "3x just fits|5461|1|wide|5461x1,10922x2,16383x3|(16383 by 3 pixels);"
               "zero width|0|10|star||at least 1 pixel;"
               "negative height|10|-5|star||at least 1 pixel;"
               "empty name|20|10|||Type an asset name first.;"
               "slash in the name|20|10|a/b||without “/”;"
               "3x too wide|5462|1|wide||would be 16386 by 3 pixels;"
               "3x beyond 32 bits|2147483647|1|wide||would be 6442450941 by 3 pixels");
    }
    // A file of the wrong size or name, a partial set where none is allowed, a size wrapped.
    void imageSets()
    {
        QFETCH(QStringList, f);
        const auto source = SourceImage::fromImage(card({300, 200}, true));
        const ImageSetDescription set(f[1].toInt(), f[2].toInt(), f[3]);
        const ExportReport report = AssetExporter::writeImageSet(source.get(), dir->path(), set);
        const QString said = report.summaryWithWarnings();
        QVERIFY2(said.contains(f[5]), qPrintable(said));
        QCOMPARE(report.warnings.size(), f[4].isEmpty() || f[5].isEmpty() ? 0 : 1);
        QCOMPARE(QDir(dir->path()).isEmpty(), report.files.isEmpty());
        const QString folder = dir->filePath(set.folderName()) + '/';
        QStringList sizes;
        QJsonArray images;
        for (int k = 1; k <= 3 && !f[4].isEmpty(); ++k) {
            const QString file = f[3] + (k > 1 ? QString("@%1x.png").arg(k) : ".png");
            const QImage image = readPng(folder + file);
            sizes << QString::number(image.width()) + 'x' + QString::number(image.height());
            images.append(QJsonObject{
                {"idiom", "universal"}, {"filename", file}, {"scale", QString("%1x").arg(k)}});
        }
        QCOMPARE(sizes.join(','), f[4]);
        QCOMPARE(filesIn(folder).size(), report.files.size());
        QCOMPARE(readJson(folder + "Contents.json")["images"].toArray(), images);
    }

    // Squeezed, mirrored, turned or cropped; the first or the largest of several sizes (an icon
    // file's) drawn for every size.
    void rendering()
    {
        QImage image(1000, 500, QImage::Format_RGB32);
        const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
        for (int q = 0; q < 4; ++q)
            QPainter(&image).fillRect(q % 2 * 500, q / 2 * 250, 500, 250, colours[q]);
        const QImage out = Renderer::render(SourceImage::fromImage(image).get(), {100, 100});
        for (int q = 0; q < 4; ++q)
            for (int at : {0, 24})
                QCOMPARE(out.pixelColor(q % 2 ? 99 - at : at, q / 2 ? 99 - at : at), colours[q]);

        ImageDecoder::Decoded decoded;
        decoded.status = ImageDecoder::Status::Ok;
        decoded.frames = {card({64, 64}, false, Qt::blue), card({16, 16}, false, Qt::red),
                          card({128, 128}, false, Qt::green)};
        const SourceImagePtr icon = SourceImage::fromDecoded(decoded, "app.ico").image;
        QStringList picked;
        for (int side : {16, 17, 64, 200}) {
            const QImage made = Renderer::render(icon.get(), QSizeF(side, side));
            picked << made.pixelColor(side / 2, side / 2).name();
        }
        QCOMPARE(picked, (QStringList{"#ff0000", "#0000ff", "#0000ff", "#00ff00"}));
    }

    // name|the reason every failed file must give
    void diskFailures_data() { rowsOf("read-only|is not writable;full|No space left on device"); }
    // A failure unreported or reported without its file or reason, a file reported as written
    // that is not whole, an old file lost, a temporary file left behind.
    void diskFailures()
    {
        QFETCH(QStringList, f);
        const QString disk = dir->filePath("disk");
        if (!mount(disk, "size=256k"))
            QSKIP("cannot mount a file system here (needs root)");
        const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {"-l", disk}); });
        const auto plain = SourceImage::fromImage(card({1024, 1024}, false, Qt::gray));
        QVERIFY(AssetExporter::writeAppIconSet(plain.get(), disk, "ios").succeeded());
        const QMap<QString, QByteArray> before = tree(disk);
        QVERIFY(f[0] == "full" || mount(disk, "remount,ro"));
        const auto noisy = SourceImage::fromImage(noise({1024, 1024}, false, 11));
        const ExportReport report = AssetExporter::writeAppIconSet(noisy.get(), disk, "ios");
        QVERIFY2(!report.succeeded() && report.files.size() == 14, qPrintable(report.summary()));
        for (const ExportReport::File &file : report.files) {
            const QString name = QFileInfo(file.path).fileName();
            const bool whole = name == "Contents.json"
                                   ? readJson(file.path) == QVIconData::appIconContents()
                                   : readPng(file.path).width() == file.width;
            QVERIFY2(file.ok ? whole : file.message.contains(name) && file.message.contains(f[1]),
                     qPrintable(name + ": " + file.message));
            QVERIFY(file.ok || bytesOf(file.path) == before.value("AppIcon.appiconset/" + name));
        }
        QCOMPARE(tree(disk).keys(), before.keys());
    }
    // A write into a folder that is gone reported as done, or the folder made again.
    void folderRemovedMidExport()
    {
        const auto big = SourceImage::fromImage(noise({4096, 4096}, false, 5));
        auto exporting = std::async(std::launch::async, [&] {
            return AssetExporter::writeAppIconSet(big.get(), dir->path(), "ios", 1);
        });
        while (exporting.wait_for(std::chrono::seconds(0)) != std::future_status::ready &&
               !QFileInfo::exists(folder() + "/Contents.json"))
            std::this_thread::yield();
        while (QFileInfo::exists(folder()))
            QDir(folder()).removeRecursively();
        const ExportReport report = exporting.get();
        if (report.succeeded())
            QSKIP("the export finished before the folder could be removed");
        QVERIFY(!QFileInfo::exists(folder()));
        const QString reason = ": the folder " + folder() + " does not exist.";
        for (const ExportReport::File &file : report.files)
            QVERIFY2(file.ok || file.message.contains(QFileInfo(file.path).fileName() + reason),
                     qPrintable(file.message));
    }
    // name|folder text|folder made first|where the set lands, none if nowhere|the reason each
    // failure gives; paths relative to the test folder
    void folderTexts_data()
    {
        rowsOf("spaces|my icons|my icons|my icons|;"
               "quotes|it's \"here\"|it's \"here\"|it's \"here\"|;"
               "other scripts|Иконки アイコン|Иконки アイコン|Иконки アイコン|;"
               "leading dash|-o|-o|-o|;"
               "parent|work/..|work|.|;"
               "missing folder|nowhere|||does not exist");
        QTest::newRow("4096 letters") << QStringList{"", QString(4096, 'a'), "", "", "not exist"};
    }
    // A set written beside the joined path, a text read as an option or cleaned, a failure unsaid.
    void folderTexts()
    {
        QFETCH(QStringList, f);
        QVERIFY(QDir(dir->path()).mkpath(f[2].isEmpty() ? "." : f[2]));
        const QMap<QString, QByteArray> before = tree(dir->path());
        const auto source = SourceImage::fromImage(card({64, 64}, false));
        const ExportReport report =
            AssetExporter::writeAppIconSet(source.get(), dir->filePath(f[1]), "ios");
        const QString set = dir->path() + '/' + f[3] + "/AppIcon.appiconset";
        QCOMPARE(report.writtenCount(), f[3].isEmpty() ? 0 : 14);
        QCOMPARE(tree(set).size(), f[3].isEmpty() ? 0 : 14);
        QVERIFY(f[3].isEmpty() || QDir(set).removeRecursively());
        QCOMPARE(tree(dir->path()), before);
        for (const ExportReport::File &file : report.files)
            QVERIFY2(file.ok || (file.message.contains(QFileInfo(file.path).fileName()) &&
                                 file.message.contains(f[4])),
                     qPrintable(file.message));
    }
    // A file written in place and not truncated, another's file removed, the Mac set's names
    // not replacing the iOS ones they share; bytes that depend on the thread count (1 or 5).
    void reExportReplacesWholeFiles()
    {
        const auto ios = SourceImage::fromImage(noise({700, 500}, true, 3));
        const auto mac = SourceImage::fromImage(noise({300, 300}, true, 4));
        const QString mine = dir->filePath("mine"), fresh = dir->filePath("fresh");
        QVERIFY(writeFile(mine + "/AppIcon.appiconset/notes.txt", "mine") && QDir().mkpath(fresh));
        QVERIFY(writeFile(mine + "/AppIcon.appiconset/Icon-60.png", QByteArray(1 << 20, 'x')));
        QMap<QString, QByteArray> expected{{"AppIcon.appiconset/notes.txt", "mine"}};
        for (const auto &[platform, source] :
             {std::pair("ios", ios.get()), std::pair("mac", mac.get())}) {
            QVERIFY(AssetExporter::writeAppIconSet(source, mine, platform, 1).succeeded());
            QVERIFY(AssetExporter::writeAppIconSet(source, fresh, platform, 5).succeeded());
            expected.insert(tree(fresh));
            QVERIFY(tree(mine) == expected);
        }
        QCOMPARE(expected.size(), 21); // 13 iOS files, 6 more for the Mac, Contents.json, notes
    }
};

QTEST_GUILESS_MAIN(ExportTest)
#include "tst_export.moc"
