#include "AppDelegate.h"
#include "ApplicationMain.h"
#include "catalogue/QVIconData.h"
#include "export/AssetExporter.h"
#include "platform/SourceImage.h"

#include <QApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QImageReader>
#include <QJsonDocument>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

namespace {

const QByteArray PngEnd("IEND\xae\x42\x60\x82", 8);

bool sanitized()
{
    return !qEnvironmentVariableIsEmpty("ASSETSMITH_SANITIZED");
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file below a folder, relative to it, with its bytes.
QMap<QString, QByteArray> tree(const QString &root)
{
    QMap<QString, QByteArray> files;
    for (QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();) {
        const QString path = it.next();
        files[QDir(root).relativeFilePath(path)] = bytesOf(path);
    }
    return files;
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

// Noise does not compress, so its icons fill a small disk quickly.
QImage noise(QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    QRandomGenerator random(11);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = random.generate() | 0xff000000u;
    }
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

int runCommand(const QStringList &arguments, QByteArray *errors = nullptr)
{
    QProcess process;
    process.start(QStringLiteral(ASSETSMITH_BINARY), arguments);
    process.waitForFinished(240000);
    if (errors)
        *errors = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

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
    void longAssetName();

private:
    QString saveSource(const QImage &image, const QString &name);

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

QString FileSafetyTest::saveSource(const QImage &image, const QString &name)
{
    QDir().mkpath(dir->filePath("src"));
    const QString path = dir->filePath("src/" + name);
    if (!image.save(path, "png"))
        qWarning("could not save %s", qPrintable(path));
    return path;
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
    QFile notes(folder + "/notes.txt");
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("kept by the user");
    notes.close();

    // One whole export first, so every file has an old version, and a measure of how long one
    // takes, so the kills spread over its whole length.
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(runCommand({"ios", sources[0], "--out", out, "--quiet"}), 0);
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

        QCOMPARE(QJsonDocument::fromJson(bytesOf(folder + "/Contents.json")).object(), expected);
        for (int i = 0; i < names.size(); ++i) {
            const QString path = folder + "/" + names[i];
            const QByteArray bytes = bytesOf(path);
            QVERIFY2(bytes.endsWith(PngEnd), qPrintable(names[i]));
            QImageReader reader(path, "png");
            const QImage image = reader.read();
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
    QCOMPARE(runCommand({"ios", source, "--out", mount.path, "--quiet"}), 0);
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
    const QString small = saveSource(QImage(solid({1024, 1024}, Qt::gray)), "grey.png");
    QCOMPARE(runCommand({"ios", small, "--out", mount.path, "--quiet"}), 0);
    const QMap<QString, QByteArray> before = tree(mount.path);

    const auto image = SourceImage::fromFile(saveSource(noise({1024, 1024}), "noise.png"));
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

void FileSafetyTest::folderTexts_data()
{
    QTest::addColumn<QString>("text");     // typed into the folder field; relative to work/
    QTest::addColumn<QString>("existing"); // made beforehand, relative to the test folder
    QTest::addColumn<QString>("written");  // where the set must land, or "" for nowhere
    QTest::addColumn<QString>("message");

    QTest::newRow("spaces") << "my icons"
                            << "work/my icons"
                            << "work/my icons"
                            << "Wrote 14 files to";
    QTest::newRow("quotes") << "it's \"here\""
                            << "work/it's \"here\""
                            << "work/it's \"here\""
                            << "Wrote 14 files to";
    QTest::newRow("other scripts") << "Иконки アイコン"
                                   << "work/Иконки アイコン"
                                   << "work/Иконки アイコン"
                                   << "Wrote 14 files to";
    QTest::newRow("leading dash") << "-o"
                                  << "work/-o"
                                  << "work/-o"
                                  << "Wrote 14 files to";
    QTest::newRow("parent") << ".."
                            << "work"
                            << "."
                            << "Wrote 14 files to";
    QTest::newRow("4096 letters") << QString(4096, 'a') << "work"
                                  << ""
                                  << "Could not write Contents.json";
    QTest::newRow("missing folder") << "nowhere"
                                    << "work"
                                    << ""
                                    << "the folder nowhere/AppIcon.appiconset does not exist";
}

void FileSafetyTest::folderTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, existing);
    QFETCH(QString, written);
    QFETCH(QString, message);
    QVERIFY(QDir().mkpath(dir->filePath(existing)));
    const QString source = saveSource(solid({64, 64}, Qt::red), "red.png");
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir->filePath("work")));
    const QMap<QString, QByteArray> before = tree(dir->path());

    auto ui = ApplicationMain::loadInterface(*qApp);
    ui->window->show();
    ui->delegate->openImageFile(QUrl::fromLocalFile(source));
    QLineEdit *field = ui->delegate->filePathField();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    if (text.size() > 100) {
        field->insert(text); // as a paste: typing 4096 keys only slows the test down
    } else {
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
    QCOMPARE(field->text(), text);
    QTest::mouseClick(ui->window->findChild<QPushButton *>("iosButton"), Qt::LeftButton);
    const QString status = ui->delegate->statusLabel()->text();
    QDir::setCurrent(previous);
    QVERIFY2(status.contains(message), qPrintable(status));

    QMap<QString, QByteArray> after = tree(dir->path());
    if (!written.isEmpty()) {
        const QString prefix =
            QDir::cleanPath(written + "/AppIcon.appiconset").remove(QRegularExpression("^\\./"));
        int made = 0;
        for (auto it = after.begin(); it != after.end();) {
            if (it.key().startsWith(prefix + "/")) {
                ++made;
                it = after.erase(it);
            } else {
                ++it;
            }
        }
        QCOMPARE(made, 14);
    }
    QCOMPARE(after, before);
}

void FileSafetyTest::longAssetName()
{
    const QString source = saveSource(solid({64, 64}, Qt::red), "red.png");
    auto ui = ApplicationMain::loadInterface(*qApp);
    ui->window->show();
    AppDelegate *d = ui->delegate.get();
    d->openImageFile(QUrl::fromLocalFile(source));
    d->filePathField()->setText(dir->path());
    d->assetNameField()->setText(QString(4096, u'é'));
    QTest::mouseClick(ui->window->findChild<QPushButton *>("imageSetButton"), Qt::LeftButton);
    const QString status = d->statusLabel()->text();
    QVERIFY2(status.startsWith("Could not write"), qPrintable(status));
    QCOMPARE(QDir(dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"src"});
}

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    FileSafetyTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_filesafety.moc"
