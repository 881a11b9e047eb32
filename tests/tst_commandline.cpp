#include "AppDelegate.h"
#include "ApplicationMain.h"
#include "CommandRun.h"
#include "catalogue/QVIconData.h"

#include <QApplication>
#include <QDir>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

QImage card(QSize size, bool transparent)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(transparent ? Qt::transparent : QColor(250, 240, 200));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 20, 20), 3));
    p.setBrush(QColor(30, 120, 220));
    p.drawEllipse(
        QRectF(size.width() * 0.1, size.height() * 0.1, size.width() * 0.8, size.height() * 0.8));
    return image;
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QJsonObject readJson(const QString &path)
{
    return QJsonDocument::fromJson(bytesOf(path)).object();
}

void writeJson(const QString &path, const QJsonObject &object)
{
    writeBytes(path, QJsonDocument(object).toJson());
}

QSize pixelSize(const QString &path)
{
    QImageReader reader(path, "png");
    return reader.read().size();
}

// Every file of a folder with its bytes, for comparing two exports whole.
QMap<QString, QByteArray> contentsOf(const QString &folder)
{
    QMap<QString, QByteArray> files;
    for (const QString &name : QDir(folder).entryList(QDir::Files))
        files[name] = bytesOf(folder + "/" + name);
    return files;
}

QStringList problemsOf(const CommandRun &result)
{
    QStringList problems;
    for (const QJsonObject &record : result.records()) {
        if (record.contains("problem"))
            problems << record["problem"].toString();
    }
    return problems;
}

} // namespace

class CommandLineTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void exportsEqualTheWindow_data();
    void exportsEqualTheWindow();
    void defaultFolderIsTheSourcesFolder();
    void jsonAndQuiet();
    void failedWritesAreNamed();
    void sourceThatIsNoImage();
    void checkIsCleanOnOwnOutput_data();
    void checkIsCleanOnOwnOutput();
    void checkFindsEachProblem_data();
    void checkFindsEachProblem();
    void checkWalksACatalogue();
    void usageErrors_data();
    void usageErrors();
    void helpAndVersion();

private:
    QString source(const QImage &image, const QString &name = "logo.png");
    QString writeOwnSet(const QString &command, bool transparent);

    std::unique_ptr<QTemporaryDir> dir;
};

void CommandLineTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void CommandLineTest::cleanup()
{
    dir.reset();
}

QString CommandLineTest::source(const QImage &image, const QString &name)
{
    QDir().mkpath(dir->filePath("src"));
    const QString path = dir->filePath("src/" + name);
    if (!image.save(path, "png"))
        qWarning("could not save %s", qPrintable(path));
    return path;
}

QString CommandLineTest::writeOwnSet(const QString &command, bool transparent)
{
    const QString path = source(card({300, 300}, transparent));
    const QString out = dir->filePath("out");
    QDir().mkpath(out);
    QStringList arguments{command, path, "--out", out, "--quiet"};
    if (command == "imageset")
        arguments << "--width"
                  << "40";
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

    QTest::newRow("ios") << QStringList{"ios"} << QSize(512, 512) << ""
                         << ""
                         << ""
                         << "AppIcon.appiconset";
    QTest::newRow("mac") << QStringList{"mac"} << QSize(300, 300) << ""
                         << ""
                         << ""
                         << "AppIcon.appiconset";
    // The height follows the width as the proportion lock makes it follow: 101 * 150/200 = 75.75.
    QTest::newRow("imageset height from ratio")
        << QStringList{"imageset", "--width", "101"} << QSize(200, 150) << "101"
        << "76"
        << "logo"
        << "logo.imageset";
    QTest::newRow("imageset both sides and a name")
        << QStringList{"imageset", "--width", "30", "--height", "50", "--name", "Badge Icon"}
        << QSize(200, 150) << "30"
        << "50"
        << "Badge Icon"
        << "Badge Icon.imageset";
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

    auto ui = ApplicationMain::loadInterface(*qApp);
    ui->window->show();
    AppDelegate *d = ui->delegate.get();
    d->openImageFile(QUrl::fromLocalFile(path));
    QVERIFY(d->currentImage());
    d->filePathField()->clear();
    QTest::keyClicks(d->filePathField(), fromWindow);
    const char *button = arguments.first() == "ios"   ? "iosButton"
                         : arguments.first() == "mac" ? "macButton"
                                                      : "imageSetButton";
    if (arguments.first() == "imageset") {
        d->widthField()->clear();
        QTest::keyClicks(d->widthField(), width);
        if (d->heightField()->text() != height) {
            d->proportionsCheckBox()->setChecked(false);
            d->heightField()->clear();
            QTest::keyClicks(d->heightField(), height);
        }
        QCOMPARE(d->heightField()->text(), height);
        d->assetNameField()->clear();
        QTest::keyClicks(d->assetNameField(), name);
    }
    QTest::mouseClick(ui->window->findChild<QPushButton *>(button), Qt::LeftButton);
    QVERIFY2(d->statusLabel()->text().startsWith("Wrote"), qPrintable(d->statusLabel()->text()));
    // The command prints what the status line says, for its own folder: the summary, and each
    // warning with the errors.
    QStringList said{QString::fromUtf8(result.out.trimmed())};
    for (const QByteArray &line : result.err.trimmed().split('\n')) {
        if (!line.isEmpty())
            said << QString::fromUtf8(line).remove(QRegularExpression("^Warning: "));
    }
    QCOMPARE(said.join('\n'), d->statusLabel()->text().replace(fromWindow, fromCommand));

    const QMap<QString, QByteArray> written = contentsOf(fromCommand + "/" + folder);
    QVERIFY(written.contains("Contents.json"));
    QCOMPARE(written.keys(), contentsOf(fromWindow + "/" + folder).keys());
    QVERIFY(written == contentsOf(fromWindow + "/" + folder));
}

void CommandLineTest::defaultFolderIsTheSourcesFolder()
{
    source(card({64, 64}, false), "mark.png");
    // A relative source is taken from the working folder and the set lands beside it.
    const CommandRun result = run({"ios", "src/mark.png"}, dir->path());
    QVERIFY2(result.exitCode == 0, result.err.constData());
    const QString folder = dir->filePath("src/AppIcon.appiconset");
    QCOMPARE(QString::fromUtf8(result.out.trimmed()), "Wrote 14 files to " + folder);
    QCOMPARE(pixelSize(folder + "/Icon-1024.png"), QSize(1024, 1024));

    const CommandRun set = run({"imageset", "src/mark.png", "--width", "10"}, dir->path());
    QCOMPARE(set.exitCode, 0);
    QCOMPARE(pixelSize(dir->filePath("src/mark.imageset/mark@3x.png")), QSize(30, 30));
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
    const QString folder = dir->filePath("AppIcon.appiconset");
    QCOMPARE(records.first()["file"].toString(), folder + "/Contents.json");
    for (const QJsonObject &record : records) {
        QVERIFY(record["ok"].toBool());
        const QString file = record["file"].toString();
        QVERIFY2(QFileInfo::exists(file), qPrintable(file));
        if (file.endsWith(".png"))
            QCOMPARE(pixelSize(file), QSize(record["width"].toInt(), record["height"].toInt()));
    }
}

void CommandLineTest::failedWritesAreNamed()
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
    QCOMPARE(pixelSize(folder + "/Icon-1024.png"), QSize(1024, 1024));

    const CommandRun plain = run({"ios", path, "--out", dir->path()});
    QCOMPARE(plain.exitCode, 1);
    QVERIFY(plain.err.contains("Icon-60@2x.png"));
    QVERIFY(plain.err.contains("Wrote 13 of 14 files"));

    const CommandRun nowhere = run({"ios", path, "--out", dir->filePath("missing/parent")});
    QCOMPARE(nowhere.exitCode, 1);
    QVERIFY(!nowhere.err.trimmed().isEmpty());
    QVERIFY(!QFileInfo::exists(dir->filePath("missing")));
}

void CommandLineTest::sourceThatIsNoImage()
{
    const QString path = dir->filePath("notes.png");
    writeBytes(path, "just some words, not a picture\n");
    const CommandRun result = run({"ios", path, "--out", dir->path()});
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains("notes.png"), result.err.constData());
    QVERIFY(!QFileInfo::exists(dir->filePath("AppIcon.appiconset")));
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
    QCOMPARE(problemsOf(result), problems);
    QCOMPARE(result.exitCode, problems.isEmpty() ? 0 : 1);
    const CommandRun plain = run({"check", set});
    QCOMPARE(plain.exitCode, result.exitCode);
    if (problems.isEmpty())
        QCOMPARE(plain.out.trimmed(), QByteArray("No problems in 1 sets"));
}

// Each row breaks a set of our own in one way and names what check must say and where.
void CommandLineTest::checkFindsEachProblem_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("breakage");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("where"); // the file name the finding is about

    QTest::newRow("missing file") << "ios"
                                  << "delete Icon-40.png"
                                  << "missing-file"
                                  << "Icon-40.png";
    QTest::newRow("wrong size") << "ios"
                                << "shrink Icon-76@2x.png"
                                << "wrong-size"
                                << "Icon-76@2x.png";
    QTest::newRow("mac wrong size") << "mac"
                                    << "shrink Icon-1024.png"
                                    << "wrong-size"
                                    << "Icon-1024.png";
    QTest::newRow("unassigned file") << "ios"
                                     << "add extra.png"
                                     << "unassigned"
                                     << "extra.png";
    QTest::newRow("duplicate slot") << "mac"
                                    << "duplicate 0"
                                    << "duplicate-slot"
                                    << "Contents.json";
    QTest::newRow("not a png") << "ios"
                               << "words Icon-Small.png"
                               << "not-png"
                               << "Icon-Small.png";
    QTest::newRow("jpeg named png") << "ios"
                                    << "jpeg Icon-Small@2x.png"
                                    << "not-png"
                                    << "Icon-Small@2x.png";
    QTest::newRow("bad json") << "ios"
                              << "truncate Contents.json"
                              << "bad-json"
                              << "Contents.json";
    QTest::newRow("no images array") << "mac"
                                     << "empty Contents.json"
                                     << "bad-json"
                                     << "Contents.json";
    QTest::newRow("missing contents") << "ios"
                                      << "delete Contents.json"
                                      << "missing-contents"
                                      << "Contents.json";
    QTest::newRow("opaque marketing icon with alpha channel") << "ios"
                                                              << "alpha Icon-1024.png"
                                                              << "marketing-alpha"
                                                              << "Icon-1024.png";
    QTest::newRow("image set 2x not twice 1x") << "imageset"
                                               << "shrink logo@2x.png"
                                               << "wrong-size"
                                               << "logo.imageset";
    QTest::newRow("size no pixel count can have") << "ios"
                                                  << "size 0"
                                                  << "bad-json"
                                                  << "Contents.json";
}

void CommandLineTest::checkFindsEachProblem()
{
    QFETCH(QString, command);
    QFETCH(QString, breakage);
    QFETCH(QString, problem);
    QFETCH(QString, where);
    const QString set = writeOwnSet(command, false);
    const QString verb = breakage.section(' ', 0, 0);
    const QString target = set + "/" + breakage.section(' ', 1);
    const QString contents = set + "/Contents.json";

    if (verb == "delete") {
        QVERIFY(QFile::remove(target));
    } else if (verb == "shrink") {
        QVERIFY(card({7, 7}, false).save(target, "png"));
    } else if (verb == "add") {
        QVERIFY(card({20, 20}, false).save(target, "png"));
    } else if (verb == "words") {
        writeBytes(target, "not an image");
    } else if (verb == "jpeg") {
        QVERIFY(card({58, 58}, false).save(target, "jpg"));
    } else if (verb == "truncate") {
        writeBytes(target, bytesOf(target).left(100));
    } else if (verb == "empty") {
        writeBytes(target, "{}");
    } else if (verb == "alpha") {
        QImage image = card({1024, 1024}, false).convertToFormat(QImage::Format_ARGB32);
        QVERIFY(image.save(target, "png"));
        QImageReader reader(target, "png");
        QVERIFY(reader.read().hasAlphaChannel());
    } else if (verb == "duplicate" || verb == "size") {
        QJsonObject document = readJson(contents);
        QJsonArray images = document["images"].toArray();
        const int index = breakage.section(' ', 1).toInt();
        if (verb == "duplicate") {
            images.append(images[index]);
        } else {
            QJsonObject entry = images[index].toObject();
            entry["size"] = "nanxnan";
            images[index] = entry;
        }
        document["images"] = images;
        writeJson(contents, document);
    }

    const CommandRun result = run({"check", set, "--json"});
    QCOMPARE(result.exitCode, 1);
    const QList<QJsonObject> records = result.records();
    QVERIFY(!records.isEmpty());
    bool found = false;
    for (const QJsonObject &record : records) {
        QVERIFY(!record["message"].toString().isEmpty());
        if (record["problem"].toString() == problem &&
            QFileInfo(record["path"].toString()).fileName() == where)
            found = true;
    }
    QVERIFY2(found, result.out.constData());
    // The broken part alone is reported: nothing else of the set is faulted.
    QCOMPARE(problemsOf(result), QStringList{problem});

    const CommandRun plain = run({"check", set});
    QCOMPARE(plain.exitCode, 1);
    QVERIFY(plain.out.contains(where.toUtf8()));
}

void CommandLineTest::checkWalksACatalogue()
{
    const QString catalogue = dir->filePath("Assets.xcassets");
    const QString path = source(card({200, 200}, true));
    QCOMPARE(run({"ios", path, "--out", catalogue + "/Phone", "--quiet"}).exitCode, 1);
    QVERIFY(QDir().mkpath(catalogue + "/Phone"));
    QCOMPARE(run({"ios", path, "--out", catalogue + "/Phone", "--quiet"}).exitCode, 0);
    QCOMPARE(run({"imageset", path, "--width", "16", "--out", catalogue, "--quiet"}).exitCode, 0);
    QVERIFY(QFile::remove(catalogue + "/logo.imageset/logo@3x.png"));

    const CommandRun result = run({"check", catalogue, "--json"});
    QCOMPARE(result.exitCode, 1);
    QStringList found;
    for (const QJsonObject &record : result.records())
        found << QDir(catalogue).relativeFilePath(record["path"].toString()) + " " +
                     record["problem"].toString();
    found.sort();
    QCOMPARE(found, QStringList({"Phone/AppIcon.appiconset/Icon-1024.png marketing-alpha",
                                 "logo.imageset/logo@3x.png missing-file"}));

    const CommandRun nothing = run({"check", dir->filePath("src")});
    QCOMPARE(nothing.exitCode, 1);
}

void CommandLineTest::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("named"); // what the one-line error must mention

    QTest::newRow("unknown option") << QStringList{"ios", "a.png", "--shiny"} << "shiny";
    QTest::newRow("missing value") << QStringList{"ios", "a.png", "--out"} << "out";
    QTest::newRow("width not a number")
        << QStringList{"imageset", "a.png", "--width", "ten"} << "ten";
    QTest::newRow("negative width") << QStringList{"imageset", "a.png", "--width", "-4"} << "-4";
    QTest::newRow("width beyond 32 bits")
        << QStringList{"imageset", "a.png", "--width", "99999999999"} << "99999999999";
    QTest::newRow("fractional height")
        << QStringList{"imageset", "a.png", "--width", "4", "--height", "2.5"} << "2.5";
    QTest::newRow("no width") << QStringList{"imageset", "a.png"} << "--width";
    QTest::newRow("no source") << QStringList{"ios"} << "SOURCE";
    QTest::newRow("two sources") << QStringList{"mac", "a.png", "b.png"} << "SOURCE";
    QTest::newRow("width for an icon set")
        << QStringList{"ios", "a.png", "--width", "3"} << "width";
    QTest::newRow("check with nothing") << QStringList{"check"} << "PATH";
    QTest::newRow("no such colour")
        << QStringList{"ios", "a.png", "--background", "mauvish"} << "mauvish";
    QTest::newRow("colour with alpha")
        << QStringList{"ios", "a.png", "--background", "#80ff0000"} << "#80ff0000";
    QTest::newRow("background for a mac set")
        << QStringList{"mac", "a.png", "--background", "white"} << "background";
    QTest::newRow("dark without single size")
        << QStringList{"ios", "a.png", "--dark", "b.png"} << "--single-size";
    QTest::newRow("single size for an image set")
        << QStringList{"imageset", "a.png", "--width", "3", "--single-size"} << "single-size";
    QTest::newRow("unknown command") << QStringList{"android", "a.png"} << "android";
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
