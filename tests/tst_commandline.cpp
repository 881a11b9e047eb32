#include "CommandRun.h"
#include "TestFiles.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

// The program as a build pipeline runs it: no display, exit codes, what it prints and writes.
class CommandLineTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir;
    QString at(const QString &name) const { return dir->filePath(name); }
    static void rowsOf(const char *table)
    {
        QTest::addColumn<QStringList>("f");
        for (const QString &row : QString(table).split(';'))
            QTest::newRow(qPrintable(row.section('|', 0, 0))) << row.split('|');
    }
    QString source(const QString &name, bool clear = false, QColor colour = QColor(220, 20, 20))
    {
        return saveImage(at(name), card({256, 256}, clear, colour));
    }

private slots:
    void init() { dir = std::make_unique<QTemporaryDir>(); }

    // A usage error exits 2, naming what is wrong in one line, and touches nothing.
    void usageErrors_data()
    {
        QTest::addColumn<QByteArray>("named");
        const QString rows =
            "ios a.png --shiny|shiny; ios a.png --out|out; imageset a.png --width ten|ten; "
            "imageset a.png --width -4|-4; imageset a.png --width 99999999999|99999999999; "
            "imageset a.png|--width; ios|SOURCE; mac a.png b.png|SOURCE; android a.png|android; "
            "ios a.png --width 3|width; check|PATH; check nowhere|no such file or folder: nowhere; "
            "ios a.png --background mauvish|mauvish; ios a.png --background #80ff0000|#80ff0000; "
            "mac a.png --background white|background; ios a.png --tinted b.png|--single-size; "
            "imageset a.png --width 3 --single-size|single-size; mac a.png --style 14|14; "
            "ios a.png --style 15|style; vision a.png|--background; tv a.png --back a.png|"
            "--background; watch a.png --back a.png|back; vision a.png --back a.png --dark a.png|"
            "dark; icon a.png --background red --back a.png|not both; icon a.png --style 15|style; "
            "mac a.png --name a/b|“a/b” cannot name a folder; watch a.png --name .x|“.x”; "
            "check . --name x|--name; imageset a.png --width 0|“0”; "
            "imageset a.png --width 3 --height 0|--height; ios a.png --background transparent|"
            "not opaque; tv a.png --background #80ff0000|#80ff0000; a.png|no display; "
            "check . --format xml|“xml” is not text, json or github; check . --json --format "
            "github|two formats; build a.png|--manifest; build --manifest a.png --strict|strict; "
            "render a.png --size 10|--out; "
            "render a.png --size 5000 --out x.png|4096; render a.png --size 9 --out x.png "
            "--platform android|android; vision a.png --background red --layer a.png|"
            "two layers; tv a.png --background red --layer a.png --layer a.png --back a.png|"
            "--back; tv a.png --background red --groups|groups; mac a.png --layer a.png|layer";
        for (const QString &row : rows.split("; "))
            QTest::newRow(qPrintable(row.section('|', 0, 0))) << row.section('|', 1).toUtf8();
    }
    void usageErrors()
    {
        QFETCH(QByteArray, named);
        source("a.png");
        const CommandRun result = run(QString(QTest::currentDataTag()).split(' '), dir->path());
        const QByteArray said = result.err.trimmed();
        QVERIFY2(result.exitCode == 2 && !said.contains('\n') && said.contains(named), said.data());
        QVERIFY(result.out.isEmpty() && tree(dir->path()).keys() == QStringList{"a.png"});
    }

    // What could be written is written, each failure named, and the run exits 1; a source that is
    // missing is said not to exist.
    void failuresExit1()
    {
        const QString logo = source("logo.png"), set = at("AppIcon.appiconset/");
        QVERIFY(QDir().mkpath(set + "Icon-60@2x.png")); // a folder where a file goes
        const CommandRun json = run({"ios", logo, "--json", "--out", dir->path()});
        QStringList failed; // each failure, with its message up to the system's reason
        for (const QJsonObject &record : json.records()) {
            if (!record["ok"].toBool(true))
                failed << record["file"].toString() + ": " +
                              record["message"].toString().section(" in ", 0, 0);
        }
        QCOMPARE(json.exitCode, 1);
        QCOMPARE(failed, QStringList{set + "Icon-60@2x.png: Could not write Icon-60@2x.png"});
        QCOMPARE(readPng(set + "Icon-1024.png").size(), QSize(1024, 1024));
        // The second time Contents.json already says all it would write, and is left alone.
        QVERIFY(run({"ios", logo, "--out", dir->path()}).err.contains("Wrote 12 of 13 files"));
        const CommandRun missing = run({"ios", at("gone.png"), "--out", at("out")});
        QVERIFY(missing.exitCode == 1 &&
                missing.err.contains("“" + at("gone.png").toUtf8() + "” does not exist"));
    }

    // --help prints the usage and exits 0. --out is made with its parents; without it the set
    // lands beside the source, found from the working folder. --quiet prints nothing; --json one
    // record a file, and one a warning.
    void foldersQuietAndJson()
    {
        const CommandRun help = run({"--help"});
        QVERIFY(help.exitCode == 0 && help.out.contains("imageset SOURCE --width W"));
        saveImage(at("src/mark.png"), card({200, 150}, true));
        const CommandRun quiet = run({"mac", "src/mark.png", "--quiet"}, dir->path());
        QVERIFY(quiet.exitCode == 0 && quiet.out.isEmpty() && quiet.err.isEmpty());
        QVERIFY(QFileInfo(at("src/AppIcon.appiconset/Contents.json")).isFile());
        // Any script's digits, and 101 * 150 / 200 = 75.75 rounded as the proportion lock does.
        const QStringList arguments{"imageset", at("src/mark.png"), "--width", "١٠١", "--json"};
        QList<QJsonObject> records = run(arguments + QStringList{"--out", at("a/b/c")}).records();
        QCOMPARE(records.size(), 5);
        QCOMPARE(records.takeLast()["warning"].toString(), QString("enlarged"));
        const QJsonObject contents = records.takeFirst(); // with no pixel size
        QCOMPARE(contents.keys(), QStringList({"file", "message", "ok"}));
        QCOMPARE(contents["file"].toString(), at("a/b/c/mark.imageset/Contents.json"));
        QList<QSize> sizes; // as each record says, and as written
        for (const QJsonObject &record : records)
            sizes << QSize(record["width"].toInt(), record["height"].toInt())
                  << readPng(record["file"].toString()).size();
        QCOMPARE(
            sizes,
            QList<QSize>({{101, 76}, {101, 76}, {202, 152}, {202, 152}, {303, 228}, {303, 228}}));
    }

    // --single-size, --background, --dark and --tinted reach the set: each appearance from its
    // own source, the tinted one's grey its source's luminance (200), or with "auto" the main
    // one's (0.2126 * 220 + 0.7152 * 20 + 0.0722 * 20 = 62.52, so 63); the main icon over teal.
    void singleSize()
    {
        const QString set = at("AppIcon.appiconset/");
        for (const QString &tinted :
             {source("grey.png", false, {200, 200, 200}), QString("auto")}) {
            QCOMPARE(
                run({"ios", source("logo.png", true), "--single-size", "--quiet", "--background",
                     "teal", "--dark", source("dark.png", true, {20, 180, 40}), "--tinted", tinted})
                    .exitCode,
                0);
            QStringList looks{readPng(set + "Icon-1024.png").pixelColor(0, 0).name()};
            for (const QString &file : QDir(set).entryList({"*.png"}))
                looks << file + " " + readPng(set + file).pixelColor(512, 512).name();
            QCOMPARE(looks, QStringList({"#008080", "Icon-1024-dark.png #14b428",
                                         tinted == "auto" ? "Icon-1024-tinted.png #3f3f3f"
                                                          : "Icon-1024-tinted.png #c8c8c8",
                                         "Icon-1024.png #dc1414"}));
        }
    }

    // A drawing of layers is written layer by layer, with what spans its layers warned of; a
    // back source keeps it whole; layer files are taken in their order, into one group with
    // --groups; every set passes the check.
    void layeredSource()
    {
        const QByteArray svg =
            R"(<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64"><g id="Back">)"
            R"(<rect width="64" height="64" fill="#203040"/></g><g id="Shade" opacity="0.5" )"
            R"(style="mix-blend-mode:multiply"><circle cx="32" cy="32" r="20"/></g>)"
            R"(<g id="Star"><rect x="24" y="24" width="16" height="16" fill="red"/></g></svg>)";
        QVERIFY(writeFile(at("star.svg"), svg));
        const CommandRun vision =
            run({"vision", at("star.svg"), "--background", "white", "--json", "--out", at("v")});
        QCOMPARE(vision.exitCode, 0);
        QStringList warned;
        for (const QJsonObject &record : vision.records()) {
            if (record.contains("warning"))
                warned << record["warning"].toString();
        }
        QCOMPARE(warned, QStringList{"cross-layer"});
        auto layers = [&](const QString &stack) {
            QStringList names;
            for (const QJsonValue &layer : readJson(stack + "/Contents.json")["layers"].toArray())
                names << layer["filename"].toString().section('.', 0, 0);
            return names.join(',');
        };
        QCOMPARE(layers(at("v/AppIcon.solidimagestack")), "Front,Middle,Back");
        QCOMPARE(
            run({"vision", at("star.svg"), "--back", source("b.png"), "--out", at("w")}).exitCode,
            0);
        QCOMPARE(layers(at("w/AppIcon.solidimagestack")), "Front,Back");
        QCOMPARE(run({"icon", at("star.svg"), "--layer", source("front.png", true), "--layer",
                      source("back.png"), "--groups", "--out", at("i")})
                     .exitCode,
                 0);
        const QJsonArray groups = readJson(at("i/AppIcon.icon/icon.json"))["groups"].toArray();
        QCOMPARE(groups.size(), 1);
        QStringList files;
        for (const QJsonValue &layer : groups[0]["layers"].toArray())
            files << layer["image-name"].toString();
        QCOMPARE(files, (QStringList{"front.png", "back.png"}));
        QCOMPARE(run({"check", at("v"), at("w"), at("i")}).exitCode, 0);
    }

    // check exits 1 on an error, and on any finding with --strict; --json ends with the counts.
    void check()
    {
        QCOMPARE(run({"imageset", source("logo.png"), "--width", "40", "--quiet"}).exitCode, 0);
        const QString set = at("logo.imageset/");
        const auto checked = [&](const char *option) {
            const CommandRun result = run({"check", set, "--json", option});
            const QJsonObject counts = result.records().last()["summary"].toObject();
            return QList<int>{result.exitCode, counts["errors"].toInt(), counts["warnings"].toInt(),
                              counts["notes"].toInt()};
        }; // the exit code, errors, warnings and notes
        QCOMPARE(checked("--strict"), QList<int>({0, 0, 0, 0}));
        saveImage(set + "logo@2x.png", card({30, 30}, false)); // not twice its 1x: a note
        QCOMPARE(checked("--json"), QList<int>({0, 0, 0, 1}));
        QCOMPARE(checked("--strict"), QList<int>({1, 0, 0, 1}));
        saveImage(set + "extra.png", card({20, 20}, false)); // a stray file: a warning
        QCOMPARE(checked("--json"), QList<int>({0, 0, 1, 1}));
        QVERIFY(QFile::remove(set + "logo@3x.png")); // a missing file: an error
        QCOMPARE(checked("--json"), QList<int>({1, 1, 1, 1}));
        // A relative path stays relative, and each line ends with its code.
        const CommandRun text = run({"check", "logo.imageset"}, dir->path());
        const QRegularExpression line("^(\\S+): (\\w+): .+ \\[([a-z-]+)\\]$");
        QStringList said;
        for (const QByteArray &bytes : text.out.split('\n')) {
            if (const auto match = line.match(QString::fromUtf8(bytes)); match.hasMatch())
                said << match.captured(1) + ' ' + match.captured(2) + ' ' + match.captured(3);
        }
        QCOMPARE(said, QStringList({"logo.imageset/logo@3x.png error missing-file",
                                    "logo.imageset/logo@2x.png note scale-mismatch",
                                    "logo.imageset/extra.png warning unassigned"}));
        const CommandRun json = run({"check", "logo.imageset", "--json"}, dir->path());
        QCOMPARE(json.records().value(0)["path"].toString(), "logo.imageset/logo@3x.png");
        // As workflow commands, named from the working folder however the path was given, with
        // the runner's separators escaped in the file's name.
        QVERIFY(QDir().rename(set, at("a,b:c.imageset")));
        const CommandRun github =
            run({"check", at("a,b:c.imageset"), "--format", "github"}, dir->path());
        QStringList commands;
        for (const QByteArray &bytes : github.out.split('\n')) {
            if (bytes.startsWith("::"))
                commands << QString::fromUtf8(bytes.left(bytes.indexOf("::", 2) + 2));
        }
        QCOMPARE(commands,
                 QStringList({"::error file=a%2Cb%3Ac.imageset/logo@3x.png,title=missing-file::",
                              "::notice file=a%2Cb%3Ac.imageset/logo@2x.png,title=scale-mismatch::",
                              "::warning file=a%2Cb%3Ac.imageset/extra.png,title=unassigned::"}));
        QCOMPARE(github.exitCode, 1);
    }

    // A manifest's sets are written as their commands write them; --check then finds nothing,
    // and after one source pixel changes it names exactly the files a build rewrites, and the
    // Contents.json that lost an entry; a second build makes everything current again.
    void manifestBuild()
    {
        source("art/logo.png", true);
        source("art/dark.png", true, QColor(20, 180, 40));
        QVERIFY(writeFile(at("assetsmith.json"), R"({
  "catalogue": "App/Assets.xcassets",
  "sets": [
    {"kind": "ios", "source": "art/logo.png", "background": "white"},
    {"kind": "mac", "source": "art/logo.png", "style": "15"},
    {"kind": "ios", "name": "Night", "source": "art/dark.png", "single-size": true,
     "dark": "art/dark.png", "tinted": "auto"},
    {"kind": "imageset", "name": "Logo", "source": "art/logo.png", "width": 40},
    {"kind": "icon", "source": "art/logo.png", "out": "App"}
  ]
})"));
        const CommandRun built = run({"build", "--quiet"}, dir->path());
        QCOMPARE(built.exitCode, 0);
        const QMap<QString, QByteArray> first = tree(at("App"));
        // The same files as the five commands write, byte for byte.
        const QString copy = at("commands/Assets.xcassets");
        for (const QStringList &command :
             {QStringList{"ios", "art/logo.png", "--background", "white"},
              {"mac", "art/logo.png", "--style", "15"},
              {"ios", "art/dark.png", "--name", "Night", "--single-size", "--dark", "art/dark.png",
               "--tinted", "auto"},
              {"imageset", "art/logo.png", "--name", "Logo", "--width", "40"}})
            QCOMPARE(run(command + QStringList{"--quiet", "--out", copy}, dir->path()).exitCode, 0);
        QCOMPARE(
            run({"icon", "art/logo.png", "--quiet", "--out", at("commands")}, dir->path()).exitCode,
            0);
        QCOMPARE(first, tree(at("commands")));

        const CommandRun current = run({"build", "--check"}, dir->path());
        QVERIFY2(current.exitCode == 0 && current.out.contains("current"), current.out.data());
        QCOMPARE(tree(at("App")), first);

        QImage changed = readPng(at("art/logo.png"));
        changed.setPixelColor(128, 128, Qt::black);
        saveImage(at("art/logo.png"), changed);
        const QString contents = at("App/Assets.xcassets/Logo.imageset/Contents.json");
        QJsonObject logo = readJson(contents);
        QJsonArray images = logo["images"].toArray();
        images.removeLast();
        logo["images"] = images;
        QVERIFY(writeFile(contents, QJsonDocument(logo).toJson()));
        const QMap<QString, QByteArray> before = tree(at("App"));
        const CommandRun stale = run({"build", "--check", "--json"}, dir->path());
        QCOMPARE(stale.exitCode, 1);
        QCOMPARE(tree(at("App")), before);
        QStringList said;
        for (const QJsonObject &record : stale.records()) {
            if (record.contains("file"))
                said << QDir(at("App")).relativeFilePath(record["file"].toString()) + ": " +
                            record["message"].toString();
        }
        QCOMPARE(run({"build", "--quiet"}, dir->path()).exitCode, 0);
        QStringList rewritten; // what the build really changed, as the disk shows it
        for (const auto &[path, bytes] : tree(at("App")).asKeyValueRange()) {
            if (before.value(path) != bytes)
                rewritten << path + (path.endsWith("Contents.json") ? ": entries differ"
                                                                    : ": different bytes");
        }
        said.sort();
        rewritten.sort();
        QCOMPARE(said, rewritten);
        QVERIFY(said.size() > 2 && said.contains("Assets.xcassets/Logo.imageset/Contents.json: "
                                                 "entries differ"));
        QVERIFY(!said.join(' ').contains("Night")); // its source did not change
        QCOMPARE(run({"build", "--check", "--quiet"}, dir->path()).exitCode, 0);
    }

    // A manifest's vision, tv and icon sets take their layers as their commands do: a real
    // layered drawing's own, or the files named in "layers", into one group with "groups"; the
    // effects that span a drawing's layers are warned of as the command warns of them.
    void manifestLayers()
    {
        const QString drawing = QStringLiteral(ASSETSMITH_REAL_ICONS) +
                                "/../../drawings/layered/ReVanced__revanced-branding/assets/"
                                "revanced-logo/revanced-logo-square.svg";
        source("art/front.png", true);
        source("art/back.png", false, QColor(20, 180, 40));
        QVERIFY(writeFile(
            at("art/star.svg"),
            R"(<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64"><g id="Back">)"
            R"(<rect width="64" height="64" fill="#203040"/></g><g id="Shade" )"
            R"(style="mix-blend-mode:multiply"><circle cx="32" cy="32" r="20"/></g></svg>)"));
        QVERIFY(writeFile(at("assetsmith.json"), QStringLiteral(R"({
  "catalogue": "App/Assets.xcassets",
  "sets": [
    {"kind": "vision", "source": "%1", "background": "black"},
    {"kind": "tv", "source": "%1", "background": "black"},
    {"kind": "icon", "source": "%1", "out": "App"},
    {"kind": "icon", "name": "Files", "source": "art/star.svg", "out": "App",
     "layers": ["art/front.png", "art/back.png"], "groups": true},
    {"kind": "icon", "name": "Star", "source": "art/star.svg", "out": "App"}
  ]
})")
                                                     .arg(drawing)
                                                     .toUtf8()));
        const auto warnings = [](const CommandRun &run) {
            QStringList said;
            for (const QJsonObject &record : run.records()) {
                if (record.contains("warning"))
                    said << record["warning"].toString() + ": " + record["message"].toString();
            }
            return said;
        };
        const CommandRun built = run({"build", "--json"}, dir->path());
        QCOMPARE(built.exitCode, 0);
        const QString copy = at("commands/Assets.xcassets");
        QStringList warned;
        for (const QStringList &command :
             {QStringList{"vision", drawing, "--background", "black", "--out", copy},
              {"tv", drawing, "--background", "black", "--out", copy},
              {"icon", drawing, "--out", at("commands")},
              {"icon", "art/star.svg", "--name", "Files", "--layer", "art/front.png", "--layer",
               "art/back.png", "--groups", "--out", at("commands")},
              {"icon", "art/star.svg", "--name", "Star", "--out", at("commands")}}) {
            const CommandRun single = run(command + QStringList{"--json"}, dir->path());
            QCOMPARE(single.exitCode, 0);
            warned += warnings(single);
        }
        QCOMPARE(tree(at("App")), tree(at("commands")));
        QCOMPARE(readJson(at("App/AppIcon.icon/icon.json"))["groups"].toArray().size(), 2);
        QCOMPARE(readJson(at("App/Files.icon/icon.json"))["groups"].toArray().size(), 1);
        QVERIFY(warned.filter("cross-layer: ").size() == 1);
        QCOMPARE(warnings(built), warned);
        const CommandRun current = run({"build", "--check"}, dir->path());
        QVERIFY2(current.exitCode == 0 && current.out.contains("current"), current.out.data());
    }

    // init starts a manifest from a real catalogue that build reads: every set is there, and
    // each is named as still without a source rather than the file refused.
    void manifestFromCatalogue()
    {
        const QString real = QStringLiteral(ASSETSMITH_REAL_CATALOGUES) +
                             "/kiwix__kiwix-apple/Support/Assets.xcassets";
        const QString catalogue = at("Support/Assets.xcassets");
        for (const auto &[path, bytes] : tree(real).asKeyValueRange())
            QVERIFY(writeFile(catalogue + '/' + path, bytes));
        const CommandRun init = run({"init"}, dir->path());
        QVERIFY2(init.exitCode == 0 && init.out.contains("fill in each set's \"source\""),
                 init.err.data());
        QCOMPARE(run({"init"}, dir->path()).exitCode, 1); // never over a manifest
        const CommandRun check = run({"build", "--check"}, dir->path());
        QCOMPARE(check.exitCode, 1);
        const int sets = QJsonDocument::fromJson(bytesOf(at("assetsmith.json")))
                             .object()["sets"]
                             .toArray()
                             .size();
        QVERIFY(sets >= 2);
        QCOMPARE(check.err.count("no source yet"), sets);
        QCOMPARE(tree(catalogue), tree(real));
    }

    // An Icon Composer document is a source of every set, and render draws it as its editor
    // exports it: the editor's own render of a real document is matched within 10 levels on
    // average (premultiplied), its corners cut away as the iOS shape cuts them.
    void iconDocumentAsSource()
    {
        const QString truth =
            QStringLiteral(ASSETSMITH_REAL_ICONS) + "/../truth/deadsoftie__quire/";
        const QString document = truth + "QuireIcon.icon";
        const CommandRun rendered =
            run({"render", document + "/icon.json", "--size", "1024", "--out", at("quire.png")});
        QVERIFY2(rendered.exitCode == 0, rendered.err.data());
        const QImage ours =
            readPng(at("quire.png")).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const QImage theirs = readPng(truth + "Icon-iOS-Default-1024x1024@1x.png")
                                  .convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(ours.size(), theirs.size());
        double difference = 0;
        for (int y = 0; y < ours.height(); ++y) {
            const auto *a = reinterpret_cast<const QRgb *>(ours.constScanLine(y));
            const auto *b = reinterpret_cast<const QRgb *>(theirs.constScanLine(y));
            for (int x = 0; x < ours.width(); ++x)
                difference += std::abs(qRed(a[x]) - qRed(b[x])) +
                              std::abs(qGreen(a[x]) - qGreen(b[x])) +
                              std::abs(qBlue(a[x]) - qBlue(b[x]));
        }
        difference /= 3.0 * ours.width() * ours.height();
        QVERIFY2(difference < 10, qPrintable(QString::number(difference)));
        QCOMPARE(qAlpha(ours.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(ours.pixel(512, 512)), 255);

        const QString catalogue = at("App/Assets.xcassets");
        for (const QStringList &command : {QStringList{"ios", "--single-size"},
                                           {"mac", "--style", "15"},
                                           {"watch"},
                                           {"vision", "--background", "black"},
                                           {"tv", "--background", "black"},
                                           {"imageset", "--width", "64"}}) {
            const CommandRun result =
                run(QStringList{command.first(), document, "--quiet", "--out", catalogue} +
                    command.mid(1));
            QVERIFY2(result.exitCode == 0, qPrintable(command.join(' ') + result.err));
        }
        // Written beside each other as one app's catalogue, nothing in it is wrong.
        const CommandRun checked = run({"check", catalogue, "--json"});
        QCOMPARE(checked.records().last()["summary"].toObject()["errors"].toInt(), 0);
        // The single size takes the document's own dark and tinted looks.
        const QString duck = QStringLiteral(ASSETSMITH_REAL_ICONS) +
                             "/../truth/mblode__rubber-duck/rubber-duck.icon";
        QCOMPARE(run({"ios", duck, "--single-size", "--quiet", "--out", at("duck")}).exitCode, 0);
        const QString set = at("duck/AppIcon.appiconset/");
        const QImage light = readPng(set + "Icon-1024.png");
        const QImage dark = readPng(set + "Icon-1024-dark.png");
        const QImage tinted = readPng(set + "Icon-1024-tinted.png");
        QVERIFY(!dark.isNull() && !tinted.isNull() && dark != light && tinted != dark);
        QVERIFY(QFileInfo(catalogue + "/QuireIcon.imageset/QuireIcon@3x.png").isFile());
    }

    // layers lists a real layered drawing's layers front first, the hidden ones left out and
    // the kept ones with their boxes inside the canvas; a bitmap has none.
    void layersListed()
    {
        const QString drawing =
            QStringLiteral(ASSETSMITH_REAL_ICONS) +
            "/../../drawings/layered/mumble-voip__mumble/icons/mumble_small.svg";
        const CommandRun listed = run({"layers", drawing, "--json"});
        QCOMPARE(listed.exitCode, 0);
        QStringList layers;
        for (const QJsonObject &record : listed.records()) {
            if (!record.contains("layer"))
                continue;
            layers << record["name"].toString() + ' ' + record["state"].toString();
            const QJsonArray box = record["bounds"].toArray();
            QCOMPARE(box.isEmpty(), record["state"].toString() != "kept");
            if (!box.isEmpty())
                QVERIFY(box[0].toDouble() >= 0 && box[2].toDouble() > 0 &&
                        box[0].toDouble() + box[2].toDouble() <= 400.5);
        }
        QCOMPARE(layers, QStringList({"Shadow-Glows hidden", "Sign hidden", "Headphones kept",
                                      "Headstrap kept", "Effects hidden", "Circle kept"}));
        QCOMPARE(listed.records().last()["summary"].toObject()["kept"].toInt(), 3);
        const CommandRun bitmap = run({"layers", source("flat.png")});
        QVERIFY(bitmap.exitCode == 1 && bitmap.err.contains("not a drawing"));

        // The split is the decoding worker's: one that runs out of memory there is refused with
        // the reason, and a document is then drawn from the whole drawing, with a warning.
        const QByteArray real = qgetenv("ASSETSMITH_WORKER");
        QVERIFY(writeFile(at("worker"),
                          "#!/bin/sh\n[ \"$2\" = split ] && exit 3\nexec '" + real + "' \"$@\"\n"));
        QVERIFY(QFile::setPermissions(at("worker"), QFile::ReadOwner | QFile::ExeOwner));
        qputenv("ASSETSMITH_WORKER", QFile::encodeName(at("worker")));
        const CommandRun failed = run({"layers", drawing});
        const CommandRun whole = run({"icon", drawing, "--out", at("i")});
        qputenv("ASSETSMITH_WORKER", real);
        QVERIFY2(failed.exitCode == 1 &&
                     failed.err.contains("into layers: splitting it needs too much memory."),
                 failed.err.data());
        QCOMPARE(whole.exitCode, 0);
        QVERIFY2(whole.err.contains("The drawing is drawn whole, as one layer: splitting it needs "
                                    "too much memory."),
                 whole.err.data());
        QCOMPARE(readJson(at("i/AppIcon.icon/icon.json"))["groups"].toArray().size(), 1);
    }

    // A real app's catalogue|its sets written in turn, as "command[:name]", with its options
    void realCatalogues_data()
    {
        rowsOf("kiwix|kiwix__kiwix-apple/Support/Assets.xcassets|mac,ios,watch,mac;"
               "home-assistant|home-assistant__iOS/Sources/App/Resources/Assets.xcassets|"
               "ios,mac,ios:AppIcon.beta,watch:AppIcon.dev;"
               "home-assistant watch|home-assistant__iOS/WatchApp/Assets.xcassets|"
               "watch:WatchIcon.beta,ios:WatchIcon;"
               "flutter|flutter__gallery/ios/Runner/Assets.xcassets|ios,mac,ios --single-size;"
               "backyard birds|apple__sample-backyard-birds/Multiplatform/Assets.xcassets|"
               "watch,ios --single-size --dark DARK,mac --style 15;"
               "vision|minchiaHuang__Vision-Pro/Assets.xcassets|vision,ios,vision:Beta;"
               "swiftfin|jellyfin__Swiftfin/Swiftfin tvOS/Resources/Assets.xcassets|tv,ios");
    }
    // A file not ours to replace changed; an entry of another platform, idiom or appearance
    // lost or changed; a new finding of check beyond the files the writer said no slot names.
    void realCatalogues()
    {
        QFETCH(QStringList, f);
        const QString catalogue = at("App.xcassets");
        for (const auto &[path, bytes] :
             tree(QStringLiteral(ASSETSMITH_REAL_CATALOGUES "/") + f[1]).asKeyValueRange())
            QVERIFY(writeFile(catalogue + '/' + path, bytes));
        const QString logo = saveImage(at("logo.png"), card({1024, 1024}, false));
        const QString dark = saveImage(at("dark.png"), card({1024, 1024}, true, Qt::blue));
        // Findings as "path problem", which a write may take away but not add.
        const auto findings = [&] {
            QSet<QString> all;
            for (const QJsonObject &record : run({"check", catalogue, "--json"}).records())
                if (record.contains("problem"))
                    all << record["path"].toString() + ' ' + record["problem"].toString();
            return all;
        };
        for (const QString &step : f[2].split(',')) {
            const QStringList words = step.split(' ');
            const QString command = words[0].section(':', 0, 0), name = words[0].section(':', 1);
            const QMap<QString, QByteArray> before = tree(catalogue);
            QSet<QString> allowed = findings();
            QStringList arguments{command, logo, "--out", catalogue, "--json"};
            if (!name.isEmpty())
                arguments << "--name" << name;
            if (command != "mac")
                arguments += QStringList{"--background", "white"};
            for (const QString &word : words.mid(1))
                arguments << (word == "DARK" ? dark : word);
            const CommandRun result = run(arguments);
            QVERIFY2(result.exitCode == 0, result.err.constData());
            QSet<QString> written;
            for (const QJsonObject &record : result.records()) {
                if (record["ok"].toBool())
                    written << QDir(catalogue).relativeFilePath(record["file"].toString());
                if (record["warning"] == "unnamed-file")
                    allowed << record["message"].toString().remove(
                                   QRegularExpression("^No slot names | now;.*")) +
                                   " unassigned";
            }
            const QMap<QString, QByteArray> after = tree(catalogue);
            for (const auto &[path, bytes] : before.asKeyValueRange()) {
                QVERIFY2(after.contains(path), qPrintable(step + ": lost " + path));
                if (!written.contains(path)) {
                    QVERIFY2(after[path] == bytes, qPrintable(step + ": changed " + path));
                } else if (path.endsWith("Contents.json") && path.contains(".appiconset")) {
                    // Entries of every other platform stay, key for key.
                    const QString other = command == "ios" ? "mac|watch" : "iphone|ipad|ios";
                    for (const QJsonValue &entry :
                         QJsonDocument::fromJson(bytes)["images"].toArray()) {
                        const QString kind = entry["platform"].toString(entry["idiom"].toString());
                        if (kind.contains(QRegularExpression("^(" + other + ")")))
                            QVERIFY2(readJson(catalogue + '/' + path)["images"].toArray().contains(
                                         entry),
                                     qPrintable(step + ": dropped an entry of " + kind));
                    }
                }
            }
            const QSet<QString> now = findings();
            QVERIFY2(allowed.contains(now),
                     qPrintable(step + ": " + QStringList((now - allowed).values()).join("; ")));
        }
    }

    // One set for three platforms, as real multi-platform sets are: check finds nothing in it,
    // and writing a platform again changes no byte.
    void onePlatformAfterAnother()
    {
        // Each platform from a picture of its own: none may draw over another's files.
        QMap<QString, QByteArray> before;
        for (auto [platform, colour] : {std::pair{"ios", QColor(Qt::red)},
                                        {"mac", QColor(Qt::blue)},
                                        {"watch", QColor(Qt::green)}}) {
            const QString art =
                saveImage(at(QString(platform) + ".png"), card({1024, 1024}, false, colour));
            QCOMPARE(run({platform, art, "--out", at("A.xcassets"), "--quiet"}).exitCode, 0);
            const QMap<QString, QByteArray> now = tree(at("A.xcassets"));
            for (const auto &[path, bytes] : before.asKeyValueRange())
                QVERIFY2(path.endsWith("Contents.json") || now[path] == bytes, qPrintable(path));
            before = now;
        }
        const QJsonObject counts =
            run({"check", at("A.xcassets"), "--json"}).records().last()["summary"].toObject();
        QCOMPARE(counts["problems"].toInt(), 0);
        const QMap<QString, QByteArray> all = tree(at("A.xcassets"));
        QCOMPARE(
            readJson(at("A.xcassets/AppIcon.appiconset/Contents.json"))["images"].toArray().size(),
            18 + 10 + 1);
        const CommandRun mac = run({"mac", at("mac.png"), "--out", at("A.xcassets")});
        QCOMPARE(tree(at("A.xcassets")), all);
        QVERIFY2(mac.out.contains("Replaced the Mac icons in ") &&
                     mac.out.contains("; the iOS and watchOS icons are kept"),
                 mac.out.constData());
    }

    // A writer killed at 20 random moments, from start-up to past a whole export's length, leaves
    // each file the set names whole, old or new, and the user's own file untouched.
    void killedAtRandomMoments()
    {
        const QString sources[2] = {source("red.png"), source("blue.png", false, Qt::blue)};
        const QString set = at("AppIcon.appiconset/");
        QMap<QString, QByteArray> versions[2];
        QElapsedTimer timer;
        timer.start();
        for (int i : {0, 1}) {
            QCOMPARE(run({"ios", sources[i], "--out", dir->path(), "--quiet"}).exitCode, 0);
            versions[i] = tree(set);
        }
        const int length = int(timer.elapsed() / 2) + 2; // spreads the kills; nothing is timed
        QVERIFY(writeFile(set + "notes.txt", "the user's"));
        QRandomGenerator random(2024);
        int midway = 0;
        for (int round = 0; round < 20; ++round) {
            QProcess writer;
            writer.start(ASSETSMITH_BINARY,
                         {"ios", sources[round % 2], "--out", dir->path(), "--quiet"});
            QVERIFY(writer.waitForStarted());
            QThread::msleep(random.bounded(length * 5 / 4));
            midway += writer.state() == QProcess::Running;
            writer.kill();
            QVERIFY(writer.waitForFinished());
            QMap<QString, QByteArray> now = tree(set);
            QCOMPARE(now["notes.txt"], QByteArray("the user's"));
            for (auto [name, bytes] : versions[0].asKeyValueRange())
                QVERIFY2(now[name] == bytes || now[name] == versions[1][name], qPrintable(name));
        }
        QVERIFY2(midway >= 5, "too few kills landed during an export");
    }
};

QTEST_GUILESS_MAIN(CommandLineTest)
#include "tst_commandline.moc"
