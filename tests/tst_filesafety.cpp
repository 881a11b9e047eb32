#include "CommandRun.h"
#include "TestFiles.h"
#include "catalogue/QVIconData.h"
#include "export/AssetExporter.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

namespace {

const QByteArray PngEnd("IEND\xae\x42\x60\x82", 8);

bool sanitized()
{
    return !qEnvironmentVariableIsEmpty("ASSETSMITH_SANITIZED");
}

QImage solid(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QPainter p(&image);
    p.setPen(QPen(Qt::white, 5));
    p.drawLine(0, 0, size.width(), size.height());
    return image;
}

// A tmpfs of the given size at `path`, or an explanation of why there is none.
class Mount
{
public:
    Mount(const QString &path, const QString &size)
        : path(path)
    {
        QDir().mkpath(path);
        mounted = QProcess::execute(QStringLiteral("mount"),
                                    {"-t", "tmpfs", "-o", "size=" + size, "tmpfs", path}) == 0;
    }
    ~Mount()
    {
        if (mounted)
            QProcess::execute(QStringLiteral("umount"), {"-l", path});
    }
    bool remountReadOnly() const
    {
        return QProcess::execute(QStringLiteral("mount"), {"-o", "remount,ro", path}) == 0;
    }
    QString path;
    bool mounted = false;
};

} // namespace

class FileSafetyTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void killedAtRandomMoments();
    void readOnlyFolder();
    void fullDisk();
    void folderRemovedDuringExport();
    void folderTexts_data();
    void folderTexts();

private:
    QString saveSource(const QImage &image, const QString &name)
    {
        return saveImage(dir->filePath("src/" + name), image);
    }

    std::unique_ptr<QTemporaryDir> dir;
};

void FileSafetyTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void FileSafetyTest::cleanup()
{
    dir.reset();
}

// An export killed at any moment leaves every file it names either as it was or complete and new,
// and touches nothing else.
void FileSafetyTest::killedAtRandomMoments()
{
    if (sanitized())
        QSKIP("runs in the normal build: the sanitizers only slow each child down");
    const QColor colours[2] = {QColor(200, 30, 30), QColor(30, 30, 200)};
    const QString sources[2] = {saveSource(solid({1024, 1024}, colours[0]), "red.png"),
                                saveSource(solid({1024, 1024}, colours[1]), "blue.png")};
    const QString out = dir->filePath("out");
    const QString folder = out + "/AppIcon.appiconset";
    QDir().mkpath(folder);
    QVERIFY(writeFile(folder + "/notes.txt", "kept by the user"));

    // One whole export first, so every file has an old version, and a measure of how long one
    // takes, so the kills spread over its whole length.
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(run({"ios", sources[0], "--out", out, "--quiet"}).exitCode, 0);
    const qint64 length = std::max<qint64>(timer.elapsed(), 50);
    const QJsonObject expected = QVIconData::appIconContents();
    const QStringList names = QVIconData::filenamesForSizes();
    const QList<int> sizes = QVIconData::sizesToMakeForIcon();

    QRandomGenerator random(2024);
    int killedMidway = 0;
    for (int round = 0; round < 200; ++round) {
        QProcess process;
        process.start(QStringLiteral(ASSETSMITH_BINARY),
                      {"ios", sources[(round + 1) % 2], "--out", out, "--quiet"});
        QVERIFY(process.waitForStarted());
        QThread::msleep(random.bounded(int(length * 5 / 4)));
        if (process.state() == QProcess::Running) {
            process.kill();
            ++killedMidway;
        }
        QVERIFY(process.waitForFinished());

        QCOMPARE(readJson(folder + "/Contents.json"), expected);
        for (int i = 0; i < names.size(); ++i) {
            const QString path = folder + "/" + names[i];
            const QByteArray bytes = bytesOf(path);
            QVERIFY2(bytes.endsWith(PngEnd), qPrintable(names[i]));
            const QImage image = readPng(path);
            QCOMPARE(image.size(), QSize(sizes[i], sizes[i]));
            const QColor centre = image.pixelColor(sizes[i] / 2, sizes[i] / 4);
            QVERIFY2(centre == colours[0] || centre == colours[1], qPrintable(names[i]));
        }
        QCOMPARE(bytesOf(folder + "/notes.txt"), QByteArray("kept by the user"));
        // Nothing else appears but the unfinished temporary copies of a killed writer.
        for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
            QVERIFY2(name == "Contents.json" || name == "notes.txt" || names.contains(name) ||
                         name.contains(".png.") || name.startsWith("Contents.json."),
                     qPrintable(name));
        }
    }
    QVERIFY2(killedMidway >= 100, "too few kills landed during an export");
}

void FileSafetyTest::readOnlyFolder()
{
    // As root, permissions do not stop a write; only a read-only file system does.
    Mount mount(dir->filePath("disk"), "4m");
    if (!mount.mounted)
        QSKIP("cannot mount a file system here (needs root and mount rights)");
    const QString source = saveSource(solid({256, 256}, Qt::darkGreen), "green.png");
    QCOMPARE(run({"ios", source, "--out", mount.path, "--quiet"}).exitCode, 0);
    const QMap<QString, QByteArray> before = tree(mount.path);
    QVERIFY(mount.remountReadOnly());

    const auto image = SourceImage::fromFile(saveSource(solid({256, 256}, Qt::red), "red.png"));
    QVERIFY(image.image);
    const ExportReport report =
        AssetExporter::writeAppIconSet(image.image.get(), mount.path, "ios");
    QCOMPARE(report.writtenCount(), 0);
    for (const ExportReport::File &file : report.files)
        QVERIFY2(file.message.contains("Read-only file system") ||
                     file.message.contains("is not writable"),
                 qPrintable(file.message));
    QVERIFY(report.summary().startsWith("Could not write Contents.json"));
    QCOMPARE(tree(mount.path), before);
}

void FileSafetyTest::fullDisk()
{
    Mount mount(dir->filePath("disk"), "64k");
    if (!mount.mounted)
        QSKIP("cannot mount a file system here (needs root and mount rights)");
    // Plain colours make small icons: the first set fits, the noisy one cannot.
    const QString small = saveSource(solid({1024, 1024}, Qt::gray), "grey.png");
    QCOMPARE(run({"ios", small, "--out", mount.path, "--quiet"}).exitCode, 0);
    const QMap<QString, QByteArray> before = tree(mount.path);

    const auto image =
        SourceImage::fromFile(saveSource(noise({1024, 1024}, false, 11), "noise.png"));
    QVERIFY(image.image);
    const ExportReport report =
        AssetExporter::writeAppIconSet(image.image.get(), mount.path, "ios");
    QVERIFY(!report.succeeded());
    QVERIFY2(report.summary().contains("No space left on device"), qPrintable(report.summary()));
    int failed = 0;
    for (const ExportReport::File &file : report.files) {
        const QString name = QDir(mount.path).relativeFilePath(file.path);
        if (file.ok) {
            QVERIFY(bytesOf(file.path).endsWith(PngEnd) || name.endsWith(".json"));
        } else {
            ++failed;
            QVERIFY2(file.message.contains(QFileInfo(file.path).fileName()),
                     qPrintable(file.message));
            QCOMPARE(bytesOf(file.path), before.value(name));
        }
    }
    QVERIFY(failed > 0);
    // No half-written temporary copy is left to fill the disk.
    QCOMPARE(tree(mount.path).keys(), before.keys());
}

void FileSafetyTest::folderRemovedDuringExport()
{
    // A large source keeps the export busy long after it has written Contents.json.
    const QString source = saveSource(solid({4096, 4096}, Qt::darkCyan), "big.png");
    const QString out = dir->filePath("out");
    const QString folder = out + "/AppIcon.appiconset";
    QDir().mkpath(out);
    QProcess process;
    process.start(QStringLiteral(ASSETSMITH_BINARY), {"ios", source, "--out", out});
    QVERIFY(process.waitForStarted());
    while (process.state() == QProcess::Running && !QFileInfo::exists(folder + "/Contents.json"))
        QThread::msleep(1);
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(process.waitForFinished(240000));
    if (process.exitCode() == 0)
        QSKIP("the export finished before the folder could be removed");
    QCOMPARE(process.exitCode(), 1);
    const QByteArray errors = process.readAllStandardError();
    QVERIFY2(errors.contains("does not exist"), errors.constData());
    // Nothing was made again in its place or beside it.
    QVERIFY(!QFileInfo::exists(folder));
    QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList());
}

// Texts used verbatim: the set lands in the joined path, nothing is written elsewhere, and every
// failure is reported.
void FileSafetyTest::folderTexts_data()
{
    QTest::addColumn<QString>("text");     // typed into the folder field; relative to work/
    QTest::addColumn<QString>("name");     // typed as the asset name for an image set, if any
    QTest::addColumn<QString>("existing"); // made beforehand, relative to the test folder
    QTest::addColumn<QString>("written");  // where the set must land, or "" for nowhere
    QTest::addColumn<QString>("message");
    const QString wrote = "Wrote 14 files to";
    struct Row
    {
        const char *row;
        QString text;
        const char *name, *existing, *written;
        QString message;
    };
    const Row rows[] = {
        {"spaces", "my icons", "", "work/my icons", "work/my icons", wrote},
        {"quotes", "it's \"here\"", "", "work/it's \"here\"", "work/it's \"here\"", wrote},
        {"other scripts", "Иконки アイコン", "", "work/Иконки アイコン", "work/Иконки アイコン",
         wrote},
        {"leading dash", "-o", "", "work/-o", "work/-o", wrote},
        {"parent", "..", "", "work", ".", wrote},
        {"4096 letters", QString(4096, 'a'), "", "work", "", "Could not write Contents.json"},
        {"missing folder", "nowhere", "", "work", "",
         "the folder nowhere/AppIcon.appiconset does not exist"},
        {"4096 letters of asset name", ".", "é", "work", "", "Could not write"},
    };
    for (const Row &r : rows)
        QTest::newRow(r.row) << r.text << QString(r.name) << QString(r.existing)
                             << QString(r.written) << r.message;
}

void FileSafetyTest::folderTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, name);
    QFETCH(QString, existing);
    QFETCH(QString, written);
    QFETCH(QString, message);
    QVERIFY(QDir().mkpath(dir->filePath(existing)));
    const QString source = saveSource(solid({64, 64}, Qt::red), "red.png");
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir->filePath("work")));
    const QMap<QString, QByteArray> before = tree(dir->path());

    const auto ui = openWindow();
    ui->delegate->openImageFile(QUrl::fromLocalFile(source));
    QLineEdit *field = ui->delegate->filePathField();
    typeInto(field, text.size() > 100 ? QString() : text);
    field->insert(text.size() > 100 ? text : QString()); // as a paste: 4096 keys only take time
    QCOMPARE(field->text(), text);
    if (!name.isEmpty()) {
        typeInto(ui->delegate->assetNameField(), QString());
        ui->delegate->assetNameField()->insert(name.repeated(4096));
    }
    press(*ui, name.isEmpty() ? "iosButton" : "imageSetButton");
    const QString status = ui->delegate->statusLabel()->text();
    QDir::setCurrent(previous);
    QVERIFY2(status.contains(message), qPrintable(status));

    QMap<QString, QByteArray> after = tree(dir->path());
    if (!written.isEmpty()) {
        const QString prefix =
            QDir::cleanPath(written + "/AppIcon.appiconset").remove(QRegularExpression("^\\./"));
        const auto inSet = [&](QMap<QString, QByteArray>::iterator it) {
            return it.key().startsWith(prefix + "/");
        };
        QCOMPARE(erase_if(after, inSet), qsizetype(14));
    }
    QCOMPARE(after, before);
}

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    FileSafetyTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_filesafety.moc"
