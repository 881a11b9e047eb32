#include "AppDelegate.h"
#include "ApplicationMain.h"
#include "ImageWell.h"

#include <QApplication>
#include <QFileDialog>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

// What the window shows and holds once a source is opened.
struct Shown
{
    QString width, height, folder, name, status;
    QUrl source;
    double ratio = 0;
    QSize wellImage;

    static Shown of(const ApplicationMain::Interface &ui)
    {
        const AppDelegate *d = ui.delegate.get();
        const SourceImagePtr well = d->imageView()->image();
        return {d->widthField()->text(),    d->heightField()->text(),
                d->filePathField()->text(), d->assetNameField()->text(),
                d->statusLabel()->text(),   d->currentSourceUrl(),
                d->currentRatio(),          well ? well->size().toSize() : QSize()};
    }
};

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
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
    void missingFileIsReported();
    void noFileGivenOpensAnEmptyWindow();
    void programGivenAFileThatIsNoImageSaysSo();

private:
    std::unique_ptr<ApplicationMain::Interface> openWindow();
    void pick(ApplicationMain::Interface &ui, const QString &path);

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
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QFileDialog *>(w))
            delete w;
    }
    dir.reset();
}

std::unique_ptr<ApplicationMain::Interface> LaunchTest::openWindow()
{
    auto ui = ApplicationMain::loadInterface(*qApp);
    ui->window->show();
    return ui;
}

void LaunchTest::pick(ApplicationMain::Interface &ui, const QString &path)
{
    const QList<QWidget *> before = QApplication::topLevelWidgets();
    QTest::mouseClick(ui.window->findChild<QPushButton *>("chooseImageButton"), Qt::LeftButton);
    QFileDialog *dialog = nullptr;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (!before.contains(w) && qobject_cast<QFileDialog *>(w) && w->isVisible())
            dialog = qobject_cast<QFileDialog *>(w);
    }
    QVERIFY(dialog);
    dialog->selectFile(path);
    static_cast<QDialog *>(dialog)->accept(); // as the OK button does
}

void LaunchTest::fileGivenOpensAsADialogPick_data()
{
    QTest::addColumn<QString>("file");     // made in the working folder
    QTest::addColumn<QByteArray>("bytes"); // empty: a 200 x 100 PNG
    QTest::addColumn<QString>("argument"); // "@" stands for the working folder
    QTest::addColumn<QString>("width");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("status");

    const QByteArray png;
    const QByteArray drawing = "<svg xmlns='http://www.w3.org/2000/svg' width='64' height='32'>"
                               "<rect width='64' height='32' fill='#c33'/></svg>";
    QTest::newRow("absolute path") << "pics/photo.png" << png << "@/pics/photo.png"
                                   << "200"
                                   << "photo"
                                   << "";
    QTest::newRow("relative path") << "pics/photo.png" << png << "pics/photo.png"
                                   << "200"
                                   << "photo"
                                   << "";
    QTest::newRow("relative, with dot folders")
        << "pics/photo.png" << png << "./pics/../pics/photo.png"
        << "200"
        << "photo"
        << "";
    QTest::newRow("spaces, other scripts, two dots")
        << "Иконка/app icon.dark.png" << png << "Иконка/app icon.dark.png"
        << "200"
        << "app icon"
        << "";
    QTest::newRow("drawing") << "art/logo.svg" << drawing << "art/logo.svg"
                             << "64"
                             << "logo"
                             << "";
    QTest::newRow("text named as a picture")
        << "notes.png" << QByteArray("just some text, not a picture") << "notes.png"
        << ""
        << "notes"
        << "“notes.png” is not an image this program can read.";
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
    if (bytes.isEmpty()) {
        QDir().mkpath(QFileInfo(path).path());
        QImage image(200, 100, QImage::Format_ARGB32);
        image.fill(Qt::darkCyan);
        QVERIFY(image.save(path, "png"));
    } else {
        write(path, bytes);
    }
    argument.replace(QLatin1Char('@'), dir->path());

    const auto given = openWindow();
    QCOMPARE(ApplicationMain::openFileArgument(*given, {"assetsmith", argument}), status);
    const Shown byArgument = Shown::of(*given);

    const auto picked = openWindow();
    pick(*picked, path);
    const Shown byDialog = Shown::of(*picked);

    QCOMPARE(byArgument.source, QUrl::fromLocalFile(path));
    QCOMPARE(byArgument.width, width);
    QCOMPARE(byArgument.folder, QFileInfo(path).path() + "/");
    QCOMPARE(byArgument.name, name);
    QCOMPARE(byArgument.status, status);

    QCOMPARE(byArgument.source, byDialog.source);
    QCOMPARE(byArgument.width, byDialog.width);
    QCOMPARE(byArgument.height, byDialog.height);
    QCOMPARE(byArgument.folder, byDialog.folder);
    QCOMPARE(byArgument.name, byDialog.name);
    QCOMPARE(byArgument.status, byDialog.status);
    QCOMPARE(byArgument.ratio, byDialog.ratio);
    QCOMPARE(byArgument.wellImage, byDialog.wellImage);

    // The ratio followed: the lock keeps the file's proportions.
    if (!width.isEmpty()) {
        QLineEdit *field = given->delegate->widthField();
        field->selectAll();
        QTest::keyClicks(field, "20");
        QCOMPARE(given->delegate->heightField()->text(), QString("10"));
    }
}

void LaunchTest::missingFileIsReported()
{
    const auto ui = openWindow();
    const QString status = ApplicationMain::openFileArgument(*ui, {"assetsmith", "gone.png"});
    QCOMPARE(status, QString("“gone.png” is not an image this program can read."));
    QCOMPARE(ui->delegate->statusLabel()->text(), status);
    QVERIFY(!ui->delegate->currentImage());
    QCOMPARE(ui->delegate->filePathField()->text(), dir->path() + "/");
}

void LaunchTest::noFileGivenOpensAnEmptyWindow()
{
    const auto ui = openWindow();
    QCOMPARE(ApplicationMain::openFileArgument(*ui, {"assetsmith"}), QString());
    const Shown shown = Shown::of(*ui);
    QVERIFY(shown.source.isEmpty());
    QVERIFY(shown.folder.isEmpty());
    QVERIFY(shown.width.isEmpty());
    QVERIFY(shown.status.isEmpty());
}

void LaunchTest::programGivenAFileThatIsNoImageSaysSo()
{
    write(dir->filePath("notes.png"), "just some text, not a picture");
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
