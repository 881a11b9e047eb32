#include "TestFiles.h"
#include "ImageWell.h"

#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>

namespace {

// What the window shows and holds once a source is opened.
QStringList shown(const ApplicationMain::Interface &ui)
{
    const AppDelegate *d = ui.delegate.get();
    const SourceImagePtr well = d->imageView()->image();
    const QSizeF wellSize = well ? well->size() : QSizeF();
    return {d->widthField()->text(),
            d->heightField()->text(),
            d->filePathField()->text(),
            d->assetNameField()->text(),
            d->statusLabel()->text(),
            d->currentSourceUrl().toString(),
            QString::number(d->currentRatio()),
            QString("%1x%2").arg(wellSize.width()).arg(wellSize.height())};
}

} // namespace

class LaunchTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void fileGivenOpensAsADialogPick_data();
    void fileGivenOpensAsADialogPick();
    void missingOrNoFile();
    void programGivenAFileThatIsNoImageSaysSo();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString startFolder;
};

void LaunchTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    startFolder = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir->path()));
}

void LaunchTest::cleanup()
{
    QDir::setCurrent(startFolder);
    closeDialogs();
    dir.reset();
}

void LaunchTest::fileGivenOpensAsADialogPick_data()
{
    QTest::addColumn<QString>("file");     // made in the working folder
    QTest::addColumn<QByteArray>("bytes"); // empty: a 200 x 100 PNG
    QTest::addColumn<QString>("argument"); // "@" stands for the working folder
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("status");
    struct Row
    {
        const char *row, *file, *bytes, *argument, *width, *name, *status;
    };
    const Row rows[] = {
        {"absolute path", "pics/photo.png", "", "@/pics/photo.png", "200", "photo", ""},
        {"relative path", "pics/photo.png", "", "pics/photo.png", "200", "photo", ""},
        {"relative, with dot folders", "pics/photo.png", "", "./pics/../pics/photo.png", "200",
         "photo", ""},
        {"spaces, other scripts, two dots", "Иконка/app icon.dark.png", "",
         "Иконка/app icon.dark.png", "200", "app icon", ""},
        {"drawing", "art/logo.svg",
         "<svg xmlns='http://www.w3.org/2000/svg' width='64' height='32'>"
         "<rect width='64' height='32' fill='#c33'/></svg>",
         "art/logo.svg", "64", "logo", ""},
        {"text named as a picture", "notes.png", "just some text, not a picture", "notes.png", "",
         "notes", "“notes.png” is not an image this program can read."},
    };
    for (const Row &r : rows)
        QTest::newRow(r.row) << QString(r.file) << QByteArray(r.bytes) << QString(r.argument)
                             << QString(r.width) << QString(r.name) << QString(r.status);
}

void LaunchTest::fileGivenOpensAsADialogPick()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, argument);
    QFETCH(QString, width);
    QFETCH(QString, name);
    QFETCH(QString, status);
    const QString path = dir->filePath(file);
    if (bytes.isEmpty())
        saveImage(path, card({200, 100}, false));
    else
        QVERIFY(writeFile(path, bytes));
    argument.replace(QLatin1Char('@'), dir->path());

    const auto given = openWindow();
    QCOMPARE(ApplicationMain::openFileArgument(*given, {"assetsmith", argument}), status);
    const QStringList byArgument = shown(*given);
    QCOMPARE(byArgument.mid(0, 1), QStringList{width});
    QCOMPARE(byArgument.mid(2, 4), (QStringList{QFileInfo(path).path() + "/", name, status,
                                                QUrl::fromLocalFile(path).toString()}));

    const auto picked = openWindow();
    pick(*picked, path);
    QCOMPARE(byArgument, shown(*picked));

    // The ratio followed: the lock keeps the file's proportions.
    if (!width.isEmpty()) {
        typeInto(given->delegate->widthField(), "20");
        QCOMPARE(given->delegate->heightField()->text(), QString("10"));
    }
}

void LaunchTest::missingOrNoFile()
{
    const auto none = openWindow();
    QCOMPARE(ApplicationMain::openFileArgument(*none, {"assetsmith"}), QString());
    QCOMPARE(shown(*none), shown(*openWindow()));

    const auto ui = openWindow();
    const QString status = ApplicationMain::openFileArgument(*ui, {"assetsmith", "gone.png"});
    QCOMPARE(status, QString("“gone.png” is not an image this program can read."));
    QCOMPARE(ui->delegate->statusLabel()->text(), status);
    QVERIFY(!ui->delegate->currentImage());
    QCOMPARE(ui->delegate->filePathField()->text(), dir->path() + "/");
}

void LaunchTest::programGivenAFileThatIsNoImageSaysSo()
{
    QVERIFY(writeFile(dir->filePath("notes.png"), "just some text, not a picture"));
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(dir->path());
    program.setReadChannel(QProcess::StandardError);
    program.start(QStringLiteral(ASSETSMITH_BINARY), {"notes.png"});
    QVERIFY(program.waitForStarted());

    // The reason is written once the window is up, and the program then waits for its user;
    // Qt may say other things on the same channel first.
    const QByteArray lead = "assetsmith: ";
    QByteArray said;
    auto lineSaid = [&] {
        const qsizetype at = said.indexOf(lead);
        return at >= 0 && said.indexOf('\n', at) >= 0;
    };
    while (!lineSaid() && program.waitForReadyRead(120000))
        said += program.readAllStandardError();
    const bool running = program.state() == QProcess::Running;
    program.terminate();
    program.waitForFinished();

    QVERIFY2(lineSaid(), said.constData());
    const qsizetype at = said.indexOf(lead);
    QCOMPARE(QString::fromUtf8(said.mid(at, said.indexOf('\n', at) - at)),
             QString("assetsmith: “notes.png” is not an image this program can read."));
    QVERIFY(running);
}

QTEST_MAIN(LaunchTest)
#include "tst_launch.moc"
