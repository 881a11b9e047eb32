#include "CommandRun.h"
#include "TestFiles.h"
#include "catalogue/QVIconData.h"

#include <QJsonArray>
#include <QLabel>
#include <QCheckBox>
#include <QRegularExpression>
#include <QTemporaryDir>

class CommandLineTest : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
    }
    void cleanup() { dir.reset(); }
    void exportsEqualTheWindow_data();
    void exportsEqualTheWindow();
    void defaultFolderIsTheSourcesFolder();
    void jsonAndQuiet();
    void failuresAreNamed();
    void checkIsCleanOnOwnOutput_data();
    void checkIsCleanOnOwnOutput();
    void checkLevelsAndExitCodes_data();
    void checkLevelsAndExitCodes();
    void checkPaths();
    void outFolderAndMissingSource();
    void usageErrors_data();
    void usageErrors();
    void helpAndVersion();

private:
    QString source(const QImage &image, const QString &name = "logo.png")
    {
        return saveImage(dir->filePath("src/" + name), image);
    }
    QString writeOwnSet(const QString &command, bool transparent);

    std::unique_ptr<QTemporaryDir> dir;
};

QString CommandLineTest::writeOwnSet(const QString &command, bool transparent)
{
    const QString path = source(card({300, 300}, transparent));
    const QString out = dir->filePath("out");
    QDir().mkpath(out);
    QStringList arguments{command, path, "--out", out, "--quiet"};
    if (command == "imageset")
        arguments << "--width" << QString("40");
    const CommandRun result = run(arguments);
    if (result.exitCode != 0)
        qWarning("%s", result.err.constData());
    return out + (command == "imageset" ? "/logo.imageset" : "/AppIcon.appiconset");
}

void CommandLineTest::exportsEqualTheWindow_data()
{
    QTest::addColumn<QStringList>("arguments"); // after the source, without --out
    QTest::addColumn<QSize>("sourceSize");
    QTest::addColumn<QString>("width"); // typed into the window for an image set
    QTest::addColumn<QString>("height");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("folder");
    struct Row
    {
        const char *row;
        QStringList arguments;
        QSize sourceSize;
        const char *width, *height, *name, *folder;
    };
    const Row rows[] = {
        {"ios", {"ios"}, {512, 512}, "", "", "", "AppIcon.appiconset"},
        {"mac", {"mac"}, {300, 300}, "", "", "", "AppIcon.appiconset"},
        // The height follows the width as the proportion lock makes it: 101 * 150/200 = 75.75.
        {"imageset height from ratio",
         {"imageset", "--width", "101"},
         {200, 150},
         "101",
         "76",
         "logo",
         "logo.imageset"},
        {"imageset both sides and a name",
         {"imageset", "--width", "30", "--height", "50", "--name", "Badge Icon"},
         {200, 150},
         "30",
         "50",
         "Badge Icon",
         "Badge Icon.imageset"},
    };
    for (const Row &r : rows)
        QTest::newRow(r.row) << r.arguments << r.sourceSize << QString(r.width) << QString(r.height)
                             << QString(r.name) << QString(r.folder);
}

void CommandLineTest::exportsEqualTheWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(QSize, sourceSize);
    QFETCH(QString, width);
    QFETCH(QString, height);
    QFETCH(QString, name);
    QFETCH(QString, folder);
    const QString path = source(card(sourceSize, true));
    const QString fromCommand = dir->filePath("command");
    const QString fromWindow = dir->filePath("window");
    QDir().mkpath(fromCommand);
    QDir().mkpath(fromWindow);

    QStringList commandArguments = arguments;
    commandArguments.insert(1, path);
    commandArguments << "--out" << fromCommand;
    const CommandRun result = run(commandArguments);
    QCOMPARE(result.exitCode, 0);

    const auto ui = openWindow();
    AppDelegate *d = ui->delegate.get();
    d->openImageFile(QUrl::fromLocalFile(path));
    QVERIFY(d->currentImage());
    typeInto(d->filePathField(), fromWindow);
    const QString command = arguments.first();
    if (command == "imageset") {
        typeInto(d->widthField(), width);
        if (d->heightField()->text() != height) {
            d->proportionsCheckBox()->setChecked(false);
            typeInto(d->heightField(), height);
        }
        QCOMPARE(d->heightField()->text(), height);
        typeInto(d->assetNameField(), name);
    }
    press(*ui, command == "ios" ? "iosButton" : command == "mac" ? "macButton" : "imageSetButton");
    QVERIFY2(d->statusLabel()->text().startsWith("Wrote"), qPrintable(d->statusLabel()->text()));
    // The command prints what the status line says, for its own folder: the summary, and each
    // warning with the errors.
    QStringList said{QString::fromUtf8(result.out.trimmed())};
    for (const QByteArray &line : result.err.trimmed().split('\n')) {
        if (!line.isEmpty())
            said << QString::fromUtf8(line).remove(QRegularExpression("^Warning: "));
    }
    QCOMPARE(said.join('\n'), d->statusLabel()->text().replace(fromWindow, fromCommand));

    const QMap<QString, QByteArray> written = tree(fromCommand + "/" + folder);
    QVERIFY(written.contains("Contents.json"));
    QCOMPARE(written.keys(), tree(fromWindow + "/" + folder).keys());
    QVERIFY(written == tree(fromWindow + "/" + folder));
}

void CommandLineTest::defaultFolderIsTheSourcesFolder()
{
    source(card({64, 64}, false), "mark.png");
    // A relative source is taken from the working folder and the set lands beside it.
    const CommandRun result = run({"ios", "src/mark.png"}, dir->path());
    QVERIFY2(result.exitCode == 0, result.err.constData());
    const QString folder = dir->filePath("src/AppIcon.appiconset");
    QCOMPARE(QString::fromUtf8(result.out.trimmed()), "Wrote 14 files to " + folder);
    QCOMPARE(readPng(folder + "/Icon-1024.png").size(), QSize(1024, 1024));

    const CommandRun set = run({"imageset", "src/mark.png", "--width", "10"}, dir->path());
    QCOMPARE(set.exitCode, 0);
    QCOMPARE(readPng(dir->filePath("src/mark.imageset/mark@3x.png")).size(), QSize(30, 30));
}

void CommandLineTest::jsonAndQuiet()
{
    const QString path = source(card({128, 128}, false));
    const CommandRun quiet = run({"mac", path, "--out", dir->path(), "--quiet"});
    QCOMPARE(quiet.exitCode, 0);
    QVERIFY(quiet.out.isEmpty());
    QVERIFY(quiet.err.isEmpty());

    const CommandRun json = run({"mac", path, "--out", dir->path(), "--json"});
    QCOMPARE(json.exitCode, 0);
    QList<QJsonObject> records = json.records();
    // The 128 source makes an enlarged 1024 icon, and says so.
    QCOMPARE(records.takeLast()["warning"].toString(), "enlarged");
    QCOMPARE(records.size(), 1 + QVIconData::filenamesForSizesMac().size());
    QCOMPARE(records.first()["file"].toString(), dir->filePath("AppIcon.appiconset/Contents.json"));
    for (const QJsonObject &record : records) {
        QVERIFY(record["ok"].toBool());
        const QString file = record["file"].toString();
        QVERIFY2(QFileInfo::exists(file), qPrintable(file));
        if (file.endsWith(".png"))
            QCOMPARE(readPng(file).size(),
                     QSize(record["width"].toInt(), record["height"].toInt()));
    }
}

// A failed write exits 1 after writing what it could and names each failure; so does a source that
// is no image, which writes nothing.
void CommandLineTest::failuresAreNamed()
{
    const QString path = source(card({128, 128}, false));
    // A folder where one file should go: that file fails, the rest are written.
    const QString folder = dir->filePath("AppIcon.appiconset");
    QVERIFY(QDir().mkpath(folder + "/Icon-60@2x.png"));
    const CommandRun result = run({"ios", path, "--out", dir->path(), "--json"});
    QCOMPARE(result.exitCode, 1);
    int failed = 0;
    for (const QJsonObject &record : result.records()) {
        if (!record.contains("file") || record["ok"].toBool())
            continue;
        ++failed;
        QCOMPARE(record["file"].toString(), folder + "/Icon-60@2x.png");
        QVERIFY(record["message"].toString().contains("Icon-60@2x.png"));
    }
    QCOMPARE(failed, 1);
    QCOMPARE(readPng(folder + "/Icon-1024.png").size(), QSize(1024, 1024));

    const CommandRun plain = run({"ios", path, "--out", dir->path()});
    QCOMPARE(plain.exitCode, 1);
    QVERIFY(plain.err.contains("Icon-60@2x.png"));
    QVERIFY(plain.err.contains("Wrote 13 of 14 files"));

    // An --out folder that cannot be made, under a file.
    const CommandRun nowhere = run({"ios", path, "--out", path + "/sub"});
    QCOMPARE(nowhere.exitCode, 1);
    QVERIFY(nowhere.err.contains("sub"));

    const QString words = dir->filePath("words/notes.png");
    QVERIFY(writeFile(words, "just some words, not a picture\n"));
    const CommandRun noImage = run({"ios", words, "--out", dir->filePath("words")});
    QCOMPARE(noImage.exitCode, 1);
    QVERIFY2(noImage.err.contains("notes.png"), noImage.err.constData());
    QCOMPARE(QDir(dir->filePath("words")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
             QStringList{"notes.png"});
}

void CommandLineTest::checkIsCleanOnOwnOutput_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("transparent");
    QTest::addColumn<QStringList>("problems");
    QTest::newRow("ios opaque") << "ios" << false << QStringList();
    QTest::newRow("ios transparent") << "ios" << true << QStringList{"marketing-alpha"};
    QTest::newRow("mac transparent") << "mac" << true << QStringList();
    QTest::newRow("imageset transparent") << "imageset" << true << QStringList();
}

void CommandLineTest::checkIsCleanOnOwnOutput()
{
    QFETCH(QString, command);
    QFETCH(bool, transparent);
    QFETCH(QStringList, problems);
    const QString set = writeOwnSet(command, transparent);
    const CommandRun result = run({"check", set, "--json"});
    QCOMPARE(result.problems(), problems);
    QCOMPARE(result.exitCode, problems.isEmpty() ? 0 : 1);
    if (problems.isEmpty())
        QCOMPARE(run({"check", set}).out.trimmed(), QByteArray("No problems in 1 set"));
}

// Exit codes by level, --strict, and what is printed: each finding once, then the summary.
void CommandLineTest::checkLevelsAndExitCodes_data()
{
    QTest::addColumn<QString>("breakage");
    QTest::addColumn<bool>("strict");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("summary");
    QTest::newRow("clean") << "" << true << 0 << "No problems in 1 set";
    QTest::newRow("error") << "delete logo@3x.png" << false << 1 << "1 problem in 1 set (1 error)";
    QTest::newRow("warning") << "add extra.png" << false << 0 << "1 problem in 1 set (1 warning)";
    QTest::newRow("warning strict")
        << "add extra.png" << true << 1 << "1 problem in 1 set (1 warning)";
    QTest::newRow("note") << "shrink logo@2x.png" << false << 0 << "1 problem in 1 set (1 note)";
    QTest::newRow("note strict") << "shrink logo@2x.png" << true << 1
                                 << "1 problem in 1 set (1 note)";
    QTest::newRow("two problems") << "both" << false << 1
                                  << "2 problems in 1 set (1 error, 1 warning)";
}

void CommandLineTest::checkLevelsAndExitCodes()
{
    QFETCH(QString, breakage);
    QFETCH(bool, strict);
    QFETCH(int, exitCode);
    QFETCH(QString, summary);
    const QString set = writeOwnSet("imageset", false);
    if (breakage.startsWith("delete") || breakage == "both")
        QVERIFY(QFile::remove(set + "/logo@3x.png"));
    if (breakage.startsWith("add") || breakage == "both")
        QVERIFY(card({20, 20}, false).save(set + "/extra.png"));
    if (breakage.startsWith("shrink"))
        QVERIFY(card({50, 50}, false).save(set + "/logo@2x.png"));
    // The set given twice, and inside its folder: still one set, each finding once.
    QStringList arguments{"check", set, set, dir->filePath("out")};
    if (strict)
        arguments << "--strict";
    const CommandRun plain = run(arguments);
    QCOMPARE(plain.exitCode, exitCode);
    const QList<QByteArray> lines = plain.out.trimmed().split('\n');
    QCOMPARE(lines.last(), summary.toUtf8());
    QCOMPARE(lines.size() - 1, breakage == "both" ? 2 : breakage.isEmpty() ? 0 : 1);

    const CommandRun json = run(arguments << "--json");
    QCOMPARE(json.exitCode, exitCode);
    const QList<QJsonObject> records = json.records();
    QCOMPARE(records.size(), lines.size());
    for (qsizetype i = 0; i + 1 < records.size(); ++i)
        QCOMPARE(QStringList(records[i].keys()),
                 QStringList({"level", "message", "path", "problem"}));
    const QJsonObject total = records.last()["summary"].toObject();
    QCOMPARE(total["sets"].toInt(), 1);
    QCOMPARE(total["problems"].toInt(), lines.size() - 1);
}

void CommandLineTest::checkPaths()
{
    const QString empty = dir->filePath("empty.xcassets");
    QVERIFY(QDir().mkpath(empty));
    const CommandRun nothing = run({"check", empty});
    QCOMPARE(nothing.exitCode, 0);
    QCOMPARE(nothing.out.trimmed(), QByteArray("No problems in 0 sets"));

    const CommandRun absent = run({"check", empty, dir->filePath("nowhere")});
    QCOMPARE(absent.exitCode, 2);
    QVERIFY2(absent.err.contains("no such file or folder: " + dir->filePath("nowhere").toUtf8()),
             absent.err.constData());
    QVERIFY(absent.out.isEmpty());
}

// A pipeline's --out need not exist; the source it names must, and is said to be absent.
void CommandLineTest::outFolderAndMissingSource()
{
    const QString path = source(card({64, 64}, false));
    const QString deep = dir->filePath("a/b/c");
    QCOMPARE(run({"mac", path, "--out", deep, "--quiet"}).exitCode, 0);
    QVERIFY(QFileInfo(deep + "/AppIcon.appiconset/Contents.json").isFile());

    const CommandRun missing = run({"ios", dir->filePath("gone.png"), "--out", deep});
    QCOMPARE(missing.exitCode, 1);
    QVERIFY2(missing.err.contains("does not exist"), missing.err.constData());
    QVERIFY(!missing.err.contains("is not an image"));
}

void CommandLineTest::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("named"); // what the one-line error must mention
    struct Row
    {
        const char *row;
        QStringList arguments;
        const char *named;
    };
    const Row rows[] = {
        {"unknown option", {"ios", "a.png", "--shiny"}, "shiny"},
        {"missing value", {"ios", "a.png", "--out"}, "out"},
        {"width not a number", {"imageset", "a.png", "--width", "ten"}, "ten"},
        {"negative width", {"imageset", "a.png", "--width", "-4"}, "-4"},
        {"width beyond 32 bits", {"imageset", "a.png", "--width", "99999999999"}, "99999999999"},
        {"fractional height", {"imageset", "a.png", "--width", "4", "--height", "2.5"}, "2.5"},
        {"no width", {"imageset", "a.png"}, "--width"},
        {"no source", {"ios"}, "SOURCE"},
        {"two sources", {"mac", "a.png", "b.png"}, "SOURCE"},
        {"width for an icon set", {"ios", "a.png", "--width", "3"}, "width"},
        {"check with nothing", {"check"}, "PATH"},
        {"no such colour", {"ios", "a.png", "--background", "mauvish"}, "mauvish"},
        {"colour with alpha", {"ios", "a.png", "--background", "#80ff0000"}, "#80ff0000"},
        {"background for a mac set", {"mac", "a.png", "--background", "white"}, "background"},
        {"dark without single size", {"ios", "a.png", "--dark", "b.png"}, "--single-size"},
        {"single size for an image set",
         {"imageset", "a.png", "--width", "3", "--single-size"},
         "single-size"},
        {"unknown command", {"android", "a.png"}, "android"},
    };
    for (const Row &r : rows)
        QTest::newRow(r.row) << r.arguments << QString(r.named);
}

void CommandLineTest::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, named);
    const CommandRun result = run(arguments, dir->path());
    QCOMPARE(result.exitCode, 2);
    const QByteArray message = result.err.trimmed();
    QVERIFY2(!message.contains('\n'), message.constData());
    QVERIFY2(message.contains(named.toUtf8()), message.constData());
    QVERIFY(result.out.isEmpty());
    QVERIFY(QDir(dir->path()).isEmpty());
}

void CommandLineTest::helpAndVersion()
{
    const CommandRun help = run({"--help"});
    QCOMPARE(help.exitCode, 0);
    for (const char *word : {"ios", "mac", "imageset", "check", "--out", "--width", "--json"})
        QVERIFY2(help.out.contains(word), word);
    const CommandRun version = run({"--version"});
    QCOMPARE(version.exitCode, 0);
    QVERIFY(version.out.startsWith("assetsmith "));
}

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    CommandLineTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_commandline.moc"
