#include "TestFiles.h"
#include "catalogue/CatalogueChecker.h"
#include "export/AssetExporter.h"
#include "export/Renderer.h"
#include "source/LayeredDrawing.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>

#include <future>

static const QColor Red(220, 20, 20), Dark(40, 40, 160), Green(20, 200, 40);
static const bool Sanitized = !qEnvironmentVariableIsEmpty("ASSETSMITH_SANITIZED");
// The tvOS sets draw the largest files, through the code the other sets run already: the
// sanitizers' run, which looks for memory faults, leaves them to the plain one.
static const char SanitizedSkip[] = "tvOS sets are left to the run without the sanitizers";

// A document with the image file names taken out: what Xcode reads besides them. A stack's middle
// layer goes too: ours has the front and back layers, some real stacks one between them as well.
static QJsonValue withoutImageNames(const QJsonValue &value)
{
    if (value.isArray()) {
        QJsonArray array;
        for (const QJsonValue &item : value.toArray())
            if (!item["filename"].toString().startsWith("Middle"))
                array.append(withoutImageNames(item));
        return array;
    }
    if (!value.isObject())
        return value;
    QJsonObject object;
    const QJsonObject from = value.toObject();
    for (auto it = from.begin(); it != from.end(); ++it)
        if (it.key() != "filename" || !it.value().toString().endsWith(".png"))
            object.insert(it.key(), withoutImageNames(it.value()));
    return object;
}

// A table written as "row name|field|...;next row", all fields text.
static void rowsOf(const char *table)
{
    QTest::addColumn<QStringList>("f");
    for (const QString &row : QString(table).split(';'))
        QTest::newRow(qPrintable(row.section('|', 0, 0))) << row.split('|');
}

// What a PNG holds, as the tables write it: "file WxH colour-type corner centre".
static QString looks(const QString &path)
{
    const QImage image = readPng(path).convertToFormat(QImage::Format_ARGB32);
    QString text = QString::asprintf("%s %dx%d %d", qPrintable(QFileInfo(path).completeBaseName()),
                                     image.width(), image.height(), pngColourType(bytesOf(path)));
    for (QPoint at : {QPoint(0, 0), QPoint(image.width() / 2, image.height() / 2)})
        text += ' ' + image.pixelColor(at).name(QColor::HexArgb);
    return text;
}

// The first failure whose message does not name its file and give the reason.
static QString unsaid(const ExportReport &report, const QString &reason)
{
    for (const ExportReport::File &file : report.files) {
        if (!file.ok && !(file.message.contains(QFileInfo(file.path).fileName()) &&
                          file.message.contains(reason)))
            return file.path + ": " + file.message;
    }
    return {};
}

// Every file and folder below `root`, each with its bytes and time of change: what a check must
// leave as it found it. The tests date every file in the past first, so a rewrite shows.
static QStringList snapshot(const QString &root)
{
    QStringList entries;
    for (QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                         QDirIterator::Subdirectories);
         it.hasNext();) {
        const QFileInfo info(it.next());
        entries << QDir(root).relativeFilePath(info.filePath()) + ' ' +
                       info.lastModified().toString(Qt::ISODateWithMs) + ' ' +
                       (info.isDir() ? "folder"
                                     : QCryptographicHash::hash(bytesOf(info.filePath()),
                                                                QCryptographicHash::Sha256)
                                           .toHex());
    }
    entries.sort();
    return entries;
}

static bool backdate(const QString &root)
{
    const QDateTime past(QDate(2001, 1, 1), QTime(0, 0));
    for (QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly) ||
            !file.setFileTime(past, QFileDevice::FileModificationTime))
            return false;
    }
    return true;
}

// A check's findings as "path: what", or its refusal.
static QStringList found(const ExportReport &report)
{
    QStringList lines;
    for (const ExportReport::Difference &difference : report.differences)
        lines << difference.path + ": " + difference.what;
    return report.refusal.isEmpty() ? lines : QStringList{report.refusal};
}

// A drawing of 128 by 128 in `count` Inkscape layers, front first: upright stripes 16 pixels
// apart and 20 wide, each over the next one's left edge, in the colours below, over a back layer
// that is a circle (two layers), the whole canvas in a gradient (three), with rounded corners
// (four) or in one colour (more).
static QByteArray layeredDrawing(int count)
{
    static const char *names[] = {"Red", "Green", "Blue/Sky", "green", "Magenta"};
    static const char *colours[] = {"#ff0000", "#00ff00", "#0000ff", "#ffff00", "#ff00ff"};
    QByteArray svg = R"(<svg xmlns="http://www.w3.org/2000/svg" )"
                     R"(xmlns:inkscape="http://www.inkscape.org/namespaces/inkscape" )"
                     R"(width="128" height="128" viewBox="0 0 128 128"><defs>)"
                     R"(<linearGradient id="sky" x1="0" y1="0" x2="0" y2="1">)"
                     R"(<stop offset="0" stop-color="#102030"/><stop offset="1" )"
                     R"(stop-color="#405060"/></linearGradient></defs>)";
    auto layer = [](const char *name) {
        return QByteArray(R"(<g inkscape:groupmode="layer" inkscape:label=")") + name + "\">";
    };
    svg += layer("Back");
    svg += count == 2   ? R"(<circle cx="64" cy="64" r="40" fill="#203040"/>)"
           : count == 3 ? R"x(<rect width="128" height="128" fill="url(#sky)"/>)x"
           : count == 4 ? R"(<rect width="128" height="128" rx="8" fill="#203040"/>)"
                        : R"(<path d="M0 0H128V128H0Z" style="fill:#203040"/>)";
    svg += "</g>";
    for (int k = count - 2; k >= 0; --k)
        svg += layer(names[k]) + QByteArray(R"(<rect x=")") + QByteArray::number(16 * k + 8) +
               R"(" y="8" width="20" height="112" fill=")" + colours[k] + "\"/></g>";
    return svg + "</svg>";
}

class ExportTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir;
    QString folder() const { return dir->filePath("AppIcon.appiconset"); }
    static SourceImagePtr from(const QImage &image) { return SourceImage::fromImage(image); }
    const SourceImagePtr darkArt = from(card({1024, 1024}, true, Dark)),
                         backArt = from(card({600, 600}, false, Dark));

    // Writes, or checks, at `at` the set `words` names: "image" a 300 by 200 image set, "icon"
    // an icon bundle, else a platform; then the options as appIcons takes them.
    ExportReport carry(bool write, const SourceImage *source, const QString &words,
                       const QString &at, int threads) const
    {
        const QStringList w = words.split(' ');
        const AssetExporter::AppIconOptions options{
            .background = QColor(words.section("bg=", 1)),
            .singleSize = w.contains("single"),
            .dark = w.contains("dark") ? darkArt.get() : nullptr,
            .tintedFromSource = w.contains("auto"),
            .macStyle = w.contains("shaped") ? AssetExporter::MacStyle::Shaped
                                             : AssetExporter::MacStyle::FullBleed,
            .back = w.contains("back") ? backArt.get() : nullptr};
        if (w[0] == "image") {
            const ImageSetDescription set(300, 200, "star");
            return write ? AssetExporter::writeImageSet(source, at, set, threads)
                         : AssetExporter::compareImageSet(source, at, set, threads);
        }
        if (w[0] == "icon")
            return write
                       ? AssetExporter::writeIconBundle(source, at, "AppIcon", options, threads)
                       : AssetExporter::compareIconBundle(source, at, "AppIcon", options, threads);
        const AssetPlan::Platform platform = *AssetPlan::platformOfKey(w[0]);
        return write ? AssetExporter::writeAppIconSet(source, at, platform, options, threads)
                     : AssetExporter::compareAppIconSet(source, at, platform, options, threads);
    }

private slots:
    void init() { dir = std::make_unique<QTemporaryDir>(); }

    // name|source size, "clear" when transparent|the platform, then "single", "dark", "tinted",
    // "auto" (tinted from the main source), "back", "shaped", "bg=<colour>"|"file colour-type
    // corner centre", ..., the first whose name begins the file's ("*" for all)|"warning
    // code:words of its message", ...|the real set whose Contents.json files ours match
    void appIcons_data()
    {
        rowsOf("mac: no background|1024x1024 clear|mac bg=teal|* 6 #00000000 #ffdc1414||;"
               "ios over a background|1024x1024 clear|ios bg=teal|* 2 #ff008080 #ffdc1414||;"
               "single, dark, tinted, over white|1024x1024 clear|ios single dark tinted bg=white|"
               "Icon-1024-dark 6 #00000000 #ff2828a0,Icon-1024-tinted 6 #00000000 #ff969696,"
               "Icon-1024 2 #ffffffff #ffdc1414||;"
               "single, tinted from the main source|1024x1024 clear|ios single auto|"
               "Icon-1024-tinted 6 #00000000 #ff3f3f3f,Icon-1024 6 #00000000 #ffdc1414|"
               "transparent-store-icon:|;"
               "opaque, small, not square|512x400|mac|* 2 #ffffffff #ffdc1414|"
               "enlarged:smaller than Icon-1024.png (1024 by 1024 pixels),stretched:512 by 400|;"
               "all three|300x200 clear|ios|* 6 #00000000 #ffdc1414|"
               "transparent-store-icon:Icon-1024.png,enlarged:300 by 200,stretched:300 by 200|;"
               "mac shaped|1200x1200|mac shaped|* 6 #00000000 #ffdc1414||;"
               "watch|1200x1200 clear|watch bg=#14c828|* 2 #ff14c828 #ffdc1414||"
               "home-assistant__iOS/Sources/WatchApp/Assets.xcassets/WatchIcon.appiconset;"
               "watch, transparent|1200x1200 clear|watch|* 6 #00000000 #ffdc1414|"
               "transparent-store-icon:background colour|"
               "home-assistant__iOS/Sources/WatchApp/Assets.xcassets/WatchIcon.appiconset;"
               "vision|1200x1200 clear|vision bg=#14c828|Front 6 #00000000 #ffdc1414,"
               "Back 2 #ff14c828 #ff14c828||minchiaHuang__Vision-Pro/Assets.xcassets/"
               "AppIcon.solidimagestack;"
               "vision, back source|1200x1200 clear|vision back|Front 6 #00000000 #ffdc1414,"
               "Back 2 #ffffffff #ff2828a0||minchiaHuang__Vision-Pro/Assets.xcassets/"
               "AppIcon.solidimagestack;"
               "tv|1200x1200 clear|tv bg=#14c828|Front 6 #00000000 #ffdc1414,"
               "Back 2 #ff14c828 #ff14c828,TopShelf 2 #ff14c828 #ffdc1414||"
               "jellyfin__Swiftfin/Swiftfin tvOS/Resources/Assets.xcassets/"
               "App Icon & Top Shelf Image.brandassets");
    }
    // A missing, extra or wrongly sized file; an option applied to the wrong file or set (the
    // tinted file made from the main source); alpha dropped or kept wrongly; a warning missed; a
    // Contents.json unlike Xcode's (image names aside); a set the check faults beyond a
    // transparent store icon; a front layer off centre or, on tvOS, outside the safe area.
    void appIcons()
    {
        QFETCH(QStringList, f);
        const QStringList words = f[2].split(' '), size = f[1].section(' ', 0, 0).split('x');
        const auto source =
            from(card({size[0].toInt(), size[1].toInt()}, f[1].endsWith("clear"), Red));
        const auto dark = from(card({1024, 1024}, true, Dark)),
                   tinted = from(card({1024, 1024}, true, Green)),
                   back = from(card({1200, 1200}, false, Dark));
        const AssetExporter::AppIconOptions options{
            .background = QColor(f[2].section("bg=", 1)),
            .singleSize = words.contains("single"),
            .dark = words.contains("dark") ? dark.get() : nullptr,
            .tinted = words.contains("tinted") ? tinted.get() : nullptr,
            .tintedFromSource = words.contains("auto"),
            .macStyle = words.contains("shaped") ? AssetExporter::MacStyle::Shaped
                                                 : AssetExporter::MacStyle::FullBleed,
            .back = words.contains("back") ? back.get() : nullptr};
        const AssetPlan::Platform platform = *AssetPlan::platformOfKey(words[0]);
        const ExportReport report =
            AssetExporter::writeAppIconSet(source.get(), dir->path(), platform, options);
        QVERIFY2(report.succeeded(), qPrintable(report.summary()));
        QStringList made, expected, said, given = f[3].split(',');
        // Every document and file of the plan, whose table is tested, the files at their size in
        // the look their row gives.
        const AssetPlan plan = AssetPlan::appIcon(platform, AssetExporter::planOptions(options));
        for (const AssetPlan::Document &document : plan.documents)
            expected << document.path();
        for (const AssetPlan::File &file : plan.files) {
            const QString name = QFileInfo(file.path).completeBaseName();
            const auto look = std::find_if(given.begin(), given.end(), [&](const QString &g) {
                return name.startsWith(g.section(' ', 0, 0).remove('*'));
            });
            expected << QString::asprintf("%s %dx%d ", qPrintable(name), file.size.width(),
                                          file.size.height()) +
                            (look == given.end() ? "" : look->section(' ', 1));
        }
        const QString real = QString(ASSETSMITH_REAL_CATALOGUES) + '/' + f[5] + '/';
        for (const QString &file : tree(report.folder).keys()) {
            const QString path = report.folder + '/' + file;
            if (file.endsWith("Contents.json")) {
                made << file;
                if (!f[5].isEmpty() && QFileInfo(real).isDir())
                    QCOMPARE(withoutImageNames(readJson(path)),
                             withoutImageNames(readJson(real + file)));
                continue;
            }
            made << looks(path);
            if (!file.section('/', -1).startsWith("Front"))
                continue;
            const QImage image = readPng(path).convertToFormat(QImage::Format_ARGB32);
            QRect drawn;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (qAlpha(image.pixel(x, y)) > 0)
                        drawn |= QRect(x, y, 1, 1);
            const int inset = words[0] == "tv" ? image.height() / 10 : 0;
            QVERIFY(image.rect().adjusted(inset, inset, -inset, -inset).contains(drawn));
            QCOMPARE(drawn.center(), image.rect().center());
        }
        made.sort(), expected.sort();
        QCOMPARE(made, expected);
        for (const ExportReport::Warning &warning : report.warnings) {
            const QString hint = f[4].section(',', said.size(), said.size()).section(':', 1);
            said << warning.code + ':' + (warning.message.contains(hint) ? hint : warning.message);
        }
        QCOMPARE(said, f[4].split(',', Qt::SkipEmptyParts));
        QCOMPARE(CatalogueChecker::check({report.folder}).findings.size(),
                 f[4].count("transparent-store-icon"));
    }

    // name|width|height|asset name|1x,2x,3x sizes, none when refused|the refusal or the warning
    void imageSets_data()
    {
        rowsOf("spaces and other scripts|20|10|my icon Ωмя 日本|20x10,40x20,60x30|;"
               "3x just fits|5461|1|wide|5461x1,10922x2,16383x3|wide@3x.png (16383 by 3 pixels);"
               "0 wide|0|10|star||at least 1 pixel;-5 high|10|-5|star||at least 1 pixel;"
               "empty name|20|10|||Type an asset name first.;slash|20|10|a/b||without “/”;"
               "3x too wide|5462|1|wide||would be 16386 by 3 pixels;"
               "3x beyond 32 bits|2147483647|1|wide||would be 6442450941 by 3 pixels");
    }
    // A file of the wrong size, name or scale, a partial set where none is allowed, a size
    // wrapped.
    void imageSets()
    {
        QFETCH(QStringList, f);
        const ImageSetDescription set(f[1].toInt(), f[2].toInt(), f[3]);
        const ExportReport report =
            AssetExporter::writeImageSet(from(card({300, 200}, true)).get(), dir->path(), set);
        QVERIFY2(report.summaryWithWarnings().contains(f[5]), qPrintable(report.summary()));
        QCOMPARE(report.warnings.size(), f[4].isEmpty() || f[5].isEmpty() ? 0 : 1);
        QCOMPARE(tree(dir->path()).size(), report.files.size());
        const QString folder = dir->filePath(set.folderName()) + '/';
        QJsonArray images;
        for (int k = 1; k <= 3 && !f[4].isEmpty(); ++k) {
            const QString file = f[3] + (k > 1 ? QString("@%1x.png").arg(k) : ".png");
            const QSize size = readPng(folder + file).size();
            QCOMPARE(QString("%1x%2").arg(size.width()).arg(size.height()),
                     f[4].section(',', k - 1, k - 1));
            images.append(QJsonObject{
                {"idiom", "universal"}, {"filename", file}, {"scale", QString("%1x").arg(k)}});
        }
        QCOMPARE(readJson(folder + "Contents.json")["images"].toArray(), images);
    }

    // Squeezed, mirrored, turned or cropped (the colours meet a quarter of the way in, so a
    // centred crop shows in the corners); not the smallest of an icon file's sizes that covers
    // the target in both directions, else the largest.
    void rendering()
    {
        QImage image(1000, 500, QImage::Format_RGB32);
        const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
        for (int q = 0; q < 4; ++q)
            QPainter(&image).fillRect(q % 2 * 250, q / 2 * 125, 750, 375, colours[q]);
        const QImage out = Renderer::render(from(image).get(), {100, 100});
        for (int q = 0; q < 4; ++q)
            QCOMPARE(out.pixelColor(q % 2 * 99, q / 2 * 99), colours[q]);
        ImageDecoder::Decoded decoded;
        decoded.status = ImageDecoder::Status::Ok;
        for (int side : {64, 16, 128})
            decoded.frames << card({side, side}, false);
        const SourceImagePtr icon = SourceImage::fromDecoded(decoded, "app.ico").image;
        QList<int> picked;
        for (QSize to :
             {QSize(16, 16), QSize(17, 17), QSize(64, 64), QSize(200, 200), QSize(9, 70)})
            picked << icon->bitmapFor(to).width();
        QCOMPARE(picked, QList<int>({16, 64, 64, 128, 128}));
    }

    // name|the reason every failed file must give, or the refusal
    void diskFailures_data()
    {
        rowsOf("read-only|Read-only file system;full|No space left on device");
    }
    // A failure unreported or reported without its file or reason, a file reported as written
    // that is not whole, an old file lost, a temporary file left behind.
    void diskFailures()
    {
        QFETCH(QStringList, f);
        const QString disk = dir->filePath("disk"), set = disk + "/AppIcon.appiconset";
        const auto mount = [&](const char *options) {
            return QProcess::execute("mount", {"-t", "tmpfs", "-o", options, "tmpfs", disk}) == 0;
        };
        if (!QDir().mkpath(disk) || !mount("size=256k"))
            QSKIP("cannot mount a file system here (needs root)");
        const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {"-l", disk}); });
        const auto plain = from(card({1024, 1024}, false, Qt::gray)),
                   noisy = from(noise({1024, 1024}, false, 11));
        QVERIFY(AssetExporter::writeAppIconSet(plain.get(), disk, AssetPlan::Platform::Ios)
                    .succeeded());
        QVERIFY(AssetExporter::writeAppIconSet(noisy.get(), dir->path(), AssetPlan::Platform::Ios)
                    .succeeded());
        const QMap<QString, QByteArray> before = tree(set), after = tree(folder());
        QVERIFY(f[0] == "full" || mount("remount,ro"));
        const ExportReport report =
            AssetExporter::writeAppIconSet(noisy.get(), disk, AssetPlan::Platform::Ios);
        // A read-only set is refused before drawing; the unchanged Contents.json is not rewritten.
        QVERIFY2(!report.succeeded() && report.files.size() == (f[0] == "full" ? 13 : 0),
                 qPrintable(report.summary()));
        QVERIFY(f[0] == "full" || report.refusal.contains(f[1]));
        QCOMPARE(unsaid(report, f[1]), QString());
        for (const ExportReport::File &file : report.files)
            QVERIFY2(bytesOf(file.path) ==
                         (file.ok ? after : before)[QFileInfo(file.path).fileName()],
                     qPrintable(file.path));
        QCOMPARE(tree(set).keys(), before.keys());
    }
    // A writer killed mid-write leaves its temporary beside the file it replaced: the next write
    // of the set removes those of its own files, and nothing else.
    void leftoverTemporaries()
    {
        const QStringList ours{"Icon-16.png.yNrFjA", "Contents.json.A1b2C3"},
            theirs{"Icon-16.png.abc", "notes.txt.yNrFjA", "Icon-16.png.yNrFj-", "mine.png"};
        for (const QString &name : ours + theirs)
            QVERIFY(writeFile(folder() + '/' + name, "x"));
        QVERIFY(AssetExporter::writeAppIconSet(from(card({64, 64}, false)).get(), dir->path(),
                                               AssetPlan::Platform::Mac)
                    .succeeded());
        for (const QString &name : ours)
            QVERIFY2(!QFileInfo::exists(folder() + '/' + name), qPrintable(name));
        for (const QString &name : theirs)
            QCOMPARE(bytesOf(folder() + '/' + name), QByteArray("x"));
    }

    // A write into a folder that is gone reported as done, or the folder made again.
    void folderRemovedMidExport()
    {
        const auto big = from(noise({4096, 4096}, false, 5));
        auto exporting = std::async(std::launch::async, [&] {
            return AssetExporter::writeAppIconSet(big.get(), dir->path(), AssetPlan::Platform::Ios,
                                                  1);
        });
        while (exporting.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready &&
               !QFileInfo::exists(folder() + "/Contents.json"))
            ;
        while (QFileInfo::exists(folder()))
            QDir(folder()).removeRecursively();
        const ExportReport report = exporting.get();
        if (report.succeeded())
            QSKIP("the export finished before the folder could be removed");
        QVERIFY(!QFileInfo::exists(folder()));
        QCOMPARE(unsaid(report, ": the folder " + folder() + " does not exist."), QString());
    }

    // source|fill, a keyword or the colour of a solid one|the front asset: "svg" for the drawing as
    // it was, else "side colour-type corner centre" as in appIcons|the front layer's scale
    void iconBundles_data()
    {
        rowsOf(
            "drawing over a colour|svg|srgb:0.07843,0.78431,0.15686,1.00000|svg|2;"
            "large bitmap over a back layer|2048|automatic|1024x1024 6 #00000000 #ffdc1414|1;"
            "small bitmap, no fill|300|automatic|300x300 6 #00000000 #ffdc1414|3.4133333333333336");
    }
    // A bundle holds icon.json in the shape of a real one-layer bundle Icon Composer wrote, the
    // source as its front asset, the fill asked for, and passes the check; a catalogue beside it
    // with an app icon set of the same name is warned of.
    void iconBundles()
    {
        QFETCH(QStringList, f);
        const QByteArray svg = R"(<svg xmlns="http://www.w3.org/2000/svg" width="512" )"
                               R"(height="512"><rect width="512" height="512" fill="red"/></svg>)";
        QVERIFY(writeFile(dir->filePath("logo.svg"), svg));
        const SourceImagePtr source = f[1] == "svg"
                                          ? SourceImage::fromFile(dir->filePath("logo.svg")).image
                                          : from(card({f[1].toInt(), f[1].toInt()}, true, Red));
        const SourceImagePtr back = from(card({600, 600}, false, Dark));
        QVERIFY(source);
        const AssetExporter::AppIconOptions options{.background =
                                                        f[2] != "automatic" ? Green : QColor(),
                                                    .back = f[1] == "2048" ? back.get() : nullptr};
        QVERIFY(QDir().mkpath(dir->filePath("Assets.xcassets/AppIcon.appiconset")));
        const ExportReport report =
            AssetExporter::writeIconBundle(source.get(), dir->path(), "AppIcon", options);
        QVERIFY2(report.succeeded(), qPrintable(report.summary()));
        QCOMPARE(report.warnings.size(), 1);
        QCOMPARE(report.warnings[0].code, "icon-shadows-set");
        const QString bundle = dir->filePath("AppIcon.icon");

        const QByteArray text = bytesOf(bundle + "/icon.json");
        QVERIFY(text.startsWith("{\n  \"fill\" : ") && text.endsWith("\n}"));
        const QJsonObject icon = QJsonDocument::fromJson(text).object();
        QCOMPARE(icon["fill"].toString(icon["fill"]["solid"].toString()), f[2]);
        const QJsonObject layer = icon["groups"][0]["layers"][0].toObject();
        QCOMPARE(layer["position"]["scale"].toDouble(1), f[4].toDouble());
        const QString front = bundle + "/Assets/" + layer["image-name"].toString();
        if (f[3] == "svg")
            QCOMPARE(bytesOf(front), svg);
        else
            QCOMPARE(looks(front).section(' ', 1), f[3]);
        QCOMPARE(icon["groups"].toArray().size(), options.back ? 2 : 1);

        // Key for key the shape of a real bundle with one layer in one group, its group's shadow
        // and translucency and its platforms as they are; our layer's position holds its scale.
        const QString real =
            QString(ASSETSMITH_REAL_ICONS) + "/ryanep__2fauth-companion/AppIcon.icon/icon.json";
        if (QFileInfo(real).isFile()) {
            const QJsonObject theirs = readJson(real);
            QJsonObject ourGroup = icon["groups"][0].toObject(), ourLayer = layer,
                        theirGroup = theirs["groups"][0].toObject();
            ourLayer.remove("position");
            QCOMPARE(ourLayer.keys(), theirGroup["layers"][0].toObject().keys());
            ourGroup.remove("layers");
            theirGroup.remove("layers");
            QCOMPARE(ourGroup, theirGroup);
            QCOMPARE(icon.keys(), theirs.keys());
            QCOMPARE(icon["supported-platforms"], theirs["supported-platforms"]);
        }

        const CatalogueChecker::Result checked = CatalogueChecker::check({bundle});
        QCOMPARE(checked.findings.size(), 1);
        QCOMPARE(checked.findings[0].problem, "icon-shadows-set");
    }

    // name|layers|set, "groups" for a .icon of one group|the stack's layers, or the .icon's
    // groups with "+" between the files of one; the .icon's fill|the middle layer's pixels at
    // the left edge of each stripe but the back's, under the stripe before it, front first,
    // "-" for no middle file
    void layeredSources_data()
    {
        rowsOf("vision 2|2|vision|Front,Middle,Back|-;"
               "vision 3|3|vision|Front,Middle,Back|#00000000 #ff00ff00;"
               "vision 6|6|vision|Front,Middle,Back|#00000000 #ff00ff00 #ff00ff00 #ff0000ff "
               "#ffffff00;"
               "tv 2|2|tv|Front,Back|-;"
               "tv 3|3|tv|Front,Middle,Back|#00000000 #ff00ff00;"
               "tv 6|6|tv|Front,Middle,Middle 2,Middle 3,Back|#00000000 #ff00ff00 #ff00ff00 "
               "#00000000 #00000000;"
               "icon 2|2|icon|Red.svg,Back.svg|automatic;"
               "icon 3|3|icon|Red.svg,Green.svg|{\"linear-gradient\":[\"srgb:0.06275,0.12549,"
               "0.18824,1.00000\",\"srgb:0.25098,0.31373,0.37647,1.00000\"],\"orientation\":{"
               "\"start\":{\"x\":0,\"y\":0},\"stop\":{\"x\":0,\"y\":1}}};"
               "icon 3 in one group|3|groups|Red.svg+Green.svg|gradient;"
               "icon 4, rounded|4|icon|Red.svg,Green.svg,Blue-Sky.svg,Back.svg|automatic;"
               "icon 6|6|icon|Red.svg,Green.svg,Blue-Sky.svg,green 2.svg,Magenta.svg|"
               "{\"solid\":\"srgb:0.12549,0.18824,0.25098,1.00000\"}");
    }
    // A layer lost, doubled or out of order, the middle ones not flattened into one, a
    // layer drawn over another's place, a back layer of one colour or gradient not taken as
    // the fill or another taken as one, layer files named unsafely or alike; and every set
    // passes the check.
    void layeredSources()
    {
        QFETCH(QStringList, f);
        if (Sanitized && f[2] == "tv")
            QSKIP(SanitizedSkip);
        const LayeredDrawing split = LayeredDrawing::split(layeredDrawing(f[1].toInt()));
        QVERIFY2(split.error().isEmpty(), qPrintable(split.error()));
        QList<SourceImagePtr> loaded;
        AssetExporter::AppIconOptions options{.background = f[2] == "tv" ? Green : QColor()};
        for (const LayeredDrawing::Layer &layer : split.layers()) {
            loaded << SourceImage::fromData(layer.svg, layer.name).image;
            QVERIFY(loaded.last());
            options.layers << loaded.last().get();
            options.layerNames << layer.name;
        }
        QCOMPARE(options.layers.size(), f[1].toInt());
        options.groups = f[2] == "groups";
        const SourceImagePtr whole = SourceImage::fromData(layeredDrawing(f[1].toInt()), "").image;
        const bool icon = f[2] == "icon" || f[2] == "groups";
        const ExportReport report =
            icon ? AssetExporter::writeIconBundle(whole.get(), dir->path(), "AppIcon", options)
                 : AssetExporter::writeAppIconSet(whole.get(), dir->path(),
                                                  *AssetPlan::platformOfKey(f[2]), options);
        QVERIFY2(report.succeeded(), qPrintable(report.summary()));
        QCOMPARE(CatalogueChecker::check({report.folder}).count(CatalogueChecker::Level::Error), 0);
        if (icon) {
            const QJsonObject json = readJson(report.folder + "/icon.json");
            QStringList groups;
            for (const QJsonValue &group : json["groups"].toArray()) {
                QStringList files;
                for (const QJsonValue &layer : group["layers"].toArray()) {
                    files << layer["image-name"].toString();
                    // Each layer's file is that layer's drawing as the split gave it.
                    QCOMPARE(bytesOf(report.folder + "/Assets/" + files.last()),
                             split.layers()[groups.size() + files.size() - 1].svg);
                }
                groups << files.join('+');
            }
            QCOMPARE(groups.join(','), f[3]);
            const QJsonValue fill = json["fill"];
            if (f[4] == "gradient")
                QVERIFY(fill.toObject().contains("linear-gradient"));
            else
                QCOMPARE(
                    fill.isString()
                        ? fill.toString()
                        : QString(QJsonDocument(fill.toObject()).toJson(QJsonDocument::Compact)),
                    f[4]);
            return;
        }
        const QString stack = report.folder + (f[2] == "tv" ? "/App Icon.imagestack" : "");
        const QString suffix = f[2] == "tv" ? ".imagestacklayer" : ".solidimagestacklayer";
        QStringList layers;
        for (const QJsonValue &layer : readJson(stack + "/Contents.json")["layers"].toArray())
            layers << layer["filename"].toString().chopped(suffix.size());
        QCOMPARE(layers.join(','), f[3]);
        auto image = [&](const QString &layer) {
            return readPng(stack + '/' + layer + suffix + "/Content.imageset/" + layer +
                           (f[2] == "tv" ? "@2x.png" : ".png"))
                .convertToFormat(QImage::Format_ARGB32);
        };
        // The front layer's file is the front layer drawn alone, where the set places it.
        const QImage front = image("Front");
        const QRect box = f[2] == "tv" ? QRect(208, 48, 384, 384) : QRect(0, 0, 1024, 1024);
        const SourceImage::Drawn alone = loaded.first()->renderVector({box.size()});
        QVERIFY(!alone.images.isEmpty());
        QCOMPARE(front.copy(box), alone.images.first().convertToFormat(QImage::Format_ARGB32));
        const QImage middle = image("Middle");
        QCOMPARE(middle.isNull(), f[4] == "-");
        const QStringList stripes = f[4].split(' ');
        for (qsizetype k = 0; k < stripes.size() && !middle.isNull(); ++k) {
            const double scale = box.width() / 128.0;
            const QPoint at = box.topLeft() + QPointF((16 * k + 10) * scale, 64 * scale).toPoint();
            QCOMPARE(middle.pixelColor(at).name(QColor::HexArgb), stripes[k]);
        }
    }

    // name|folder text|folder made first|where the set lands, none if nowhere|the reason each
    // failure gives; paths relative to the test folder
    void folderTexts_data()
    {
        rowsOf("spaces, quotes, scripts|it's \"Ωア\"|it's \"Ωア\"|it's \"Ωア\"|;"
               "leading dash|-o|-o|-o|;parent|work/..|work|.|;missing|nowhere|||does not exist");
        QTest::newRow("4096 letters") << QStringList{"", QString(4096, 'a'), "", "", "not exist"};
    }
    // A set written beside the joined path, a text read as an option or cleaned, a failure unsaid.
    void folderTexts()
    {
        QFETCH(QStringList, f);
        QVERIFY(QDir(dir->path()).mkpath(f[2].isEmpty() ? "." : f[2]));
        const QMap<QString, QByteArray> before = tree(dir->path());
        const ExportReport report = AssetExporter::writeAppIconSet(
            from(card({64, 64}, false)).get(), dir->filePath(f[1]), AssetPlan::Platform::Ios);
        const QString set = dir->path() + '/' + f[3] + "/AppIcon.appiconset";
        QCOMPARE(report.writtenCount(), f[3].isEmpty() ? 0 : 14);
        QCOMPARE(tree(set).size(), f[3].isEmpty() ? 0 : 14);
        QVERIFY(f[3].isEmpty() || QDir(set).removeRecursively());
        QCOMPARE(tree(dir->path()), before);
        QCOMPARE(unsaid(report, f[4]), QString());
    }
    // name|the set, as carry() takes it|"svg" for a drawing source, else a bitmap
    void checkAfterWrite_data()
    {
        rowsOf("ios|ios bg=teal|;ios single, dark, tinted from the source|ios single dark auto|;"
               "mac 26|mac|;mac 15|mac shaped|;watch|watch bg=#14c828|;vision|vision back|;"
               "tv|tv bg=#14c828|;image set|image|;icon bundle|icon back|;"
               "ios from a drawing|ios|svg;icon bundle from a drawing|icon bg=teal|svg");
    }
    // A check that makes other bytes or names than the write (another size, look, order of
    // entries, a drawing's file), that writes or removes anything; a file whose bytes depend on
    // the number of threads.
    void checkAfterWrite()
    {
        QFETCH(QStringList, f);
        if (Sanitized && f[1].startsWith("tv"))
            QSKIP(SanitizedSkip);
        const QByteArray svg = R"(<svg xmlns="http://www.w3.org/2000/svg" width="300" )"
                               R"(height="200"><circle cx="120" cy="90" r="70" fill="#d01"/>)"
                               R"(<rect x="150" y="100" width="140" height="90" fill="#27a" )"
                               R"(opacity="0.6"/></svg>)";
        QVERIFY(writeFile(dir->filePath("logo.svg"), svg));
        const SourceImagePtr source = f[2] == "svg"
                                          ? SourceImage::fromFile(dir->filePath("logo.svg")).image
                                          : from(card({1200, 1100}, true, Red));
        QVERIFY(source);
        const QString one = dir->filePath("one"), three = dir->filePath("three");
        QVERIFY(QDir().mkpath(one) && QDir().mkpath(three));
        const ExportReport written = carry(true, source.get(), f[1], one, 1);
        QVERIFY2(written.succeeded(), qPrintable(written.summary()));
        // The sanitizers look for memory faults, which the second write adds nothing to.
        if (!Sanitized) {
            QVERIFY(carry(true, source.get(), f[1], three, 3).succeeded());
            QCOMPARE(tree(one), tree(three));
        }
        QVERIFY(backdate(dir->path()));
        const QStringList before = snapshot(dir->path());
        const ExportReport checked = carry(false, source.get(), f[1], one, 2);
        QCOMPARE(found(checked), QStringList());
        QCOMPARE(checked.folder, written.folder);
        QCOMPARE(snapshot(dir->path()), before);
    }

    // name|the set, as carry() takes it|what is done to it after the write|the file it is done
    // to, none for every file the write wrote|how the check sees that file, or what its refusal
    // says
    void checkDifferences_data()
    {
        rowsOf(
            "PNG removed|ios|remove|Icon-1024.png|missing;"
            "layer PNG removed|vision back|remove|Back.solidimagestacklayer/Content.imageset/"
            "Back.png|missing;"
            "PNG with a byte changed|ios|flip|Icon-40@2x.png|different bytes;"
            "bundle asset with a byte changed|icon|flip|Assets/Foreground.png|different bytes;"
            "icon.json with a byte changed|icon|flip|icon.json|different bytes;"
            "entry removed|ios|entry|Contents.json|entries differ;"
            "entry removed from an image set|image|entry|Contents.json|entries differ;"
            "layer's entry removed|tv bg=teal|entry|App Icon - App Store.imagestack/Contents.json|"
            "entries differ;"
            "same entries laid out otherwise|ios|compact|Contents.json|;"
            "source pixel changed|ios|pixel||different bytes;"
            "bundle's source pixel changed|icon|pixel||different bytes;"
            "folder absent|ios|absent||missing;stack absent|vision back|absent||missing;"
            "bundle absent|icon back|absent||missing;"
            "Contents.json unreadable|ios|garbage|Contents.json|is not a JSON object;"
            "file in the folder's way|ios|in the way||a file of that name is in the way");
    }
    // A difference missed or made up, said of another file or in other words, out of the write's
    // order; a Contents.json judged by its bytes rather than its entries; a refusal a write would
    // give not given; anything on disk written, made or removed, leftover temporaries included.
    void checkDifferences()
    {
        QFETCH(QStringList, f);
        if (Sanitized && f[1].startsWith("tv"))
            QSKIP(SanitizedSkip);
        QImage image = card({1200, 1200}, true, Red);
        const ExportReport written = carry(true, from(image).get(), f[1], dir->path(), 0);
        QVERIFY2(written.succeeded(), qPrintable(written.summary()));
        const QString &action = f[2], file = written.folder + '/' + f[3];
        const bool refused = action == "garbage" || action == "in the way";
        QStringList expected;
        if (!f[3].isEmpty() && !f[4].isEmpty() && !refused)
            expected << file + ": " + f[4];
        QVERIFY2(f[3].isEmpty() || QFileInfo(file).isFile(), qPrintable(file));
        QByteArray bytes = bytesOf(file);
        if (action == "remove")
            QVERIFY(QFile::remove(file));
        if (action == "flip")
            bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 1);
        if (action == "entry") {
            QJsonObject document = readJson(file);
            const QString list = document.contains("images") ? "images" : "layers";
            QJsonArray entries = document[list].toArray();
            entries.removeAt(entries.size() / 2);
            document[list] = entries;
            bytes = QJsonDocument(document).toJson();
        }
        if (action == "compact")
            bytes = QJsonDocument(readJson(file)).toJson(QJsonDocument::Compact);
        if (action == "garbage")
            bytes = "{\"images\": [";
        if (action == "flip" || action == "entry" || action == "compact" || action == "garbage")
            QVERIFY(writeFile(file, bytes));
        // What the write of the changed source, elsewhere, gives other bytes to; every file when
        // the set is gone.
        if (action == "pixel") {
            image.setPixelColor(600, 500, Green);
            QTemporaryDir elsewhere;
            const ExportReport changed = carry(true, from(image).get(), f[1], elsewhere.path(), 0);
            for (const ExportReport::File &made : changed.files) {
                const QString path = written.folder + made.path.mid(changed.folder.size());
                if (bytesOf(path) != bytesOf(made.path))
                    expected << path + ": " + f[4];
            }
            QVERIFY(!expected.isEmpty() && expected.size() < written.files.size());
        }
        if (action == "absent" || action == "in the way")
            QVERIFY(QDir(written.folder).removeRecursively());
        if (action == "absent")
            for (const ExportReport::File &made : written.files)
                expected << made.path + ": " + f[4];
        if (action == "in the way")
            QVERIFY(writeFile(written.folder, "x"));
        for (const char *leftover : {"Contents.json.abc123", "icon.json.A1b2C3"})
            QVERIFY(!QFileInfo(written.folder).isDir() ||
                    writeFile(written.folder + '/' + leftover, "x"));
        QVERIFY(backdate(dir->path()));
        const QStringList before = snapshot(dir->path());
        const ExportReport checked = carry(false, from(image).get(), f[1], dir->path(), 0);
        if (refused)
            QVERIFY2(checked.refusal.contains(f[4]), qPrintable(checked.refusal));
        else
            QCOMPARE(found(checked), expected);
        QVERIFY(checked.files.isEmpty());
        QCOMPARE(snapshot(dir->path()), before);
    }
};

QTEST_GUILESS_MAIN(ExportTest)
#include "tst_export.moc"
