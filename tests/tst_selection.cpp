#include "TestFiles.h"
#include "ImageWell.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QTemporaryDir>

namespace {

QImage filled(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

// Drags the data onto the well and drops it there, as a file manager or another program does;
// returns whether the drag was welcome and the drop taken.
std::pair<bool, bool> dropOn(ImageWell *well, QMimeData *mime)
{
    const QPoint at = well->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(well, &enter);
    if (!enter.isAccepted())
        return {false, false};
    QDropEvent drop(at, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(well, &drop);
    return {true, drop.isAccepted()};
}

} // namespace

class SelectionTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void defaultsFromTheChosenFile_data();
    void defaultsFromTheChosenFile();
    void folderFieldAcrossPicks();
    void cancelledDialogChangesNothing();
    void lastDialogToCompleteWins();
    void fileThatIsNoImage();
    void digitFilter_data();
    void digitFilter();
    void filterKeepsTheCursor();
    void lock_data();
    void lock();
    void lockOff();
    void dropKeepsRatioAndSource();
    void dropOfSomethingElseIsRefused();
    void pasteAndDeleteInTheWell();

private:
    QString makeImage(const QString &name, QSize size)
    {
        return saveImage(dir->filePath(name), filled(size, Qt::darkCyan));
    }
    AppDelegate *d() { return ui->delegate.get(); }

    std::unique_ptr<ApplicationMain::Interface> ui;
    std::unique_ptr<QTemporaryDir> dir;
};

void SelectionTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    ui = openWindow();
}

void SelectionTest::cleanup()
{
    closeDialogs();
    ui.reset();
    dir.reset();
}

void SelectionTest::defaultsFromTheChosenFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    struct Row
    {
        const char *row, *path, *folder, *name;
    };
    const Row rows[] = {
        {"plain", "/Users/a/Pictures/logo.png", "/Users/a/Pictures/", "logo"},
        {"spaces decoded", "/Users/a/My Pictures/app icon.png", "/Users/a/My Pictures/",
         "app icon"},
        {"two dots", "/Users/a/art/logo.dark.png", "/Users/a/art/", "logo"},
        {"named like its folder", "/Users/a/logo/logo", "/Users/a/logo/", "logo"},
        {"leading dot", "/Users/a/.icon.png", "/Users/a/", ""},
        {"at the root", "/logo.png", "/", "logo"},
        {"other scripts", "/home/a/Иконка/アイコン.png", "/home/a/Иконка/", "アイコン"},
    };
    for (const Row &r : rows)
        QTest::newRow(r.row) << QString(r.path) << QString(r.folder) << QString(r.name);
}

void SelectionTest::defaultsFromTheChosenFile()
{
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QFETCH(QString, name);
    d()->openImageFile(QUrl::fromLocalFile(path));
    QCOMPARE(d()->filePathField()->text(), folder);
    QCOMPARE(d()->assetNameField()->text(), name);
    QCOMPARE(d()->currentSourceUrl(), QUrl::fromLocalFile(path));
}

// A typed folder stays while the name is rewritten; a folder chosen through its dialog comes back
// over typed text at the next pick, as the size does over a typed one.
void SelectionTest::folderFieldAcrossPicks()
{
    QTest::keyClicks(d()->filePathField(), "/typed/here");
    QTest::keyClicks(d()->assetNameField(), "mine");
    pick(*ui, makeImage("a/logo.png", {30, 20}));
    QCOMPARE(d()->filePathField()->text(), QString("/typed/here"));
    QCOMPARE(d()->assetNameField()->text(), QString("logo"));

    const QString out = dir->filePath("out");
    QDir().mkpath(out);
    QFileDialog *dialog = openDialog(*ui, "chooseFolderButton");
    QVERIFY(dialog);
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
    QVERIFY(dialog->testOption(QFileDialog::ShowDirsOnly));
    QVERIFY(!dialog->testOption(QFileDialog::ReadOnly)); // new folders can be made
    dialog->setDirectory(dir->path());
    dialog->selectFile(out);
    static_cast<QDialog *>(dialog)->accept(); // as the OK button does
    QCOMPARE(d()->filePathField()->text(), out);

    typeInto(d()->filePathField(), "/elsewhere");
    d()->proportionsCheckBox()->setChecked(false);
    typeInto(d()->widthField(), "5");
    pick(*ui, makeImage("img/two.png", {48, 48}));
    QCOMPARE(d()->filePathField()->text(), out);
    QCOMPARE(d()->widthField()->text(), QString("48"));
}

void SelectionTest::cancelledDialogChangesNothing()
{
    const QString path = makeImage("x.png", {10, 10});
    for (const char *button : {"chooseImageButton", "chooseFolderButton"}) {
        QFileDialog *dialog = openDialog(*ui, button);
        QVERIFY(dialog);
        dialog->selectFile(path);
        dialog->reject();
    }
    QVERIFY(!d()->currentImage());
    QVERIFY(d()->currentSourceUrl().isEmpty());
    QCOMPARE(d()->currentRatio(), 1.0);
    QVERIFY(d()->filePathField()->text().isEmpty());
}

void SelectionTest::lastDialogToCompleteWins()
{
    const QString first = makeImage("first.png", {40, 10});
    const QString second = makeImage("second.png", {10, 40});
    QFileDialog *a = openDialog(*ui, "chooseImageButton");
    QFileDialog *b = openDialog(*ui, "chooseImageButton"); // opens while the first is shown
    QVERIFY(a && b && a != b);
    b->selectFile(second);
    static_cast<QDialog *>(b)->accept();
    a->selectFile(first);
    static_cast<QDialog *>(a)->accept();
    QCOMPARE(d()->assetNameField()->text(), QString("first"));
    QCOMPARE(d()->currentRatio(), 0.25);
}

void SelectionTest::fileThatIsNoImage()
{
    pick(*ui, makeImage("good.png", {80, 40}));
    const SourceImagePtr shown = d()->imageView()->image();
    const QString text = dir->filePath("notes.png");
    QVERIFY(writeFile(text, "just some text, not a picture"));
    pick(*ui, text);
    QVERIFY(!d()->currentImage());
    QCOMPARE(d()->assetNameField()->text(), QString("notes"));
    QCOMPARE(d()->widthField()->text(), QString("80")); // the fields keep their text
    QCOMPARE(d()->imageView()->image(), shown);         // and the well its picture
    QCOMPARE(d()->statusLabel()->text(),
             QString("“notes.png” is not an image this program can read."));

    // With no finite ratio the lock still writes an integer.
    typeInto(d()->widthField(), "10");
    QCOMPARE(d()->heightField()->text(), QString("0"));
}

void SelectionTest::digitFilter_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("pasted");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("other"); // the locked field at ratio 1
    struct Row
    {
        const char *row, *typed;
        bool pasted;
        const char *kept, *other;
    };
    const Row rows[] = {
        {"12a", "12a", false, "12", "12"},
        {"pasted 1,024", "1,024", true, "1024", "1024"},
        {"12.5", "12.5", false, "125", "125"},
        {"-5", "-5", false, "5", "5"},
        {"007", "007", false, "007", "7"},
        {"Arabic-Indic", "١٢", false, "١٢", "12"},
        {"fullwidth", "３４", true, "３４", "34"},
        {"outside the BMP", "1\U0001D7CF\U0001F600", false, "1\U0001D7CF", "11"},
        {"all letters pasted", "abc", true, "", "0"},
        {"past 32 bits", "99999999999", false, "99999999999", "2147483647"},
    };
    for (const Row &r : rows)
        QTest::newRow(r.row) << QString(r.typed) << r.pasted << QString(r.kept) << QString(r.other);
}

void SelectionTest::digitFilter()
{
    QFETCH(QString, typed);
    QFETCH(bool, pasted);
    QFETCH(QString, kept);
    QFETCH(QString, other);
    for (auto [edited, locked] : {std::pair{d()->widthField(), d()->heightField()},
                                  std::pair{d()->heightField(), d()->widthField()}}) {
        typeInto(edited, pasted ? QString() : typed);
        if (pasted) {
            QApplication::clipboard()->setText(typed);
            QTest::keyClick(edited, Qt::Key_V, Qt::ControlModifier);
        }
        QCOMPARE(edited->text(), kept);
        QCOMPARE(locked->text(), other);
    }
}

void SelectionTest::filterKeepsTheCursor()
{
    QLineEdit *width = d()->widthField();
    QTest::keyClicks(width, "1234");
    width->setCursorPosition(2);
    QTest::keyClicks(width, "x");
    QCOMPARE(width->text(), QString("1234"));
    QCOMPARE(width->cursorPosition(), 2);
    QTest::keyClicks(width, "9");
    QCOMPARE(width->text(), QString("12934"));
    QCOMPARE(width->cursorPosition(), 3);
}

void SelectionTest::lock_data()
{
    QTest::addColumn<QSize>("source");
    QTest::addColumn<bool>("typeWidth");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("other");
    QTest::newRow("0.5 width 13") << QSize(200, 100) << true << "13" << QString("7");
    QTest::newRow("0.5 height 3") << QSize(200, 100) << false << "3" << QString("6");
    QTest::newRow("0.75 width 10") << QSize(100, 75) << true << "10" << QString("8");
    QTest::newRow("0.75 height 10") << QSize(100, 75) << false << "10" << QString("13");
    QTest::newRow("0.5 emptied") << QSize(200, 100) << true << "" << QString("0");
    QTest::newRow("0.5 past 32 bits")
        << QSize(200, 100) << false << "99999999999" << QString("2147483647");
}

void SelectionTest::lock()
{
    QFETCH(QSize, source);
    QFETCH(bool, typeWidth);
    QFETCH(QString, typed);
    QFETCH(QString, other);
    pick(*ui, makeImage("ratio.png", source));
    // The program's own values never pass through the lock: both show the image's size.
    QCOMPARE(d()->widthField()->text(), QString::number(source.width()));
    QCOMPARE(d()->heightField()->text(), QString::number(source.height()));
    QLineEdit *edited = typeWidth ? d()->widthField() : d()->heightField();
    QLineEdit *locked = typeWidth ? d()->heightField() : d()->widthField();
    typeInto(edited, typed);
    QCOMPARE(locked->text(), other);
}

void SelectionTest::lockOff()
{
    pick(*ui, makeImage("r.png", {200, 100}));
    QTest::keyClick(ui->window.get(), Qt::Key_K, Qt::AltModifier);
    QTRY_VERIFY(!d()->proportionsCheckBox()->isChecked());
    typeInto(d()->widthField(), "4a2");
    QCOMPARE(d()->widthField()->text(), QString("42"));
    QCOMPARE(d()->heightField()->text(), QString("100"));
}

void SelectionTest::dropKeepsRatioAndSource()
{
    pick(*ui, makeImage("picked.png", {200, 100}));
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(makeImage("dropped/other.png", {30, 90}))});
    QCOMPARE(dropOn(d()->imageView(), &mime), std::pair(true, true));
    QCOMPARE(d()->widthField()->text(), QString("30"));
    QCOMPARE(d()->heightField()->text(), QString("90"));
    QCOMPARE(d()->currentRatio(), 0.5);
    QCOMPARE(d()->assetNameField()->text(), QString("picked"));
    QCOMPARE(d()->currentSourceUrl().fileName(), QString("picked.png"));
    QCOMPARE(d()->currentImage(), d()->imageView()->image());

    // Image data from another program works as well.
    QMimeData data;
    data.setImageData(filled({12, 7}, Qt::red));
    QCOMPARE(dropOn(d()->imageView(), &data), std::pair(true, true));
    QCOMPARE(d()->widthField()->text(), QString("12"));
    QCOMPARE(d()->currentRatio(), 0.5);
}

void SelectionTest::dropOfSomethingElseIsRefused()
{
    QMimeData mime;
    mime.setText("hello");
    QCOMPARE(dropOn(d()->imageView(), &mime), std::pair(false, false));
    // A file might be an image: only its content tells, so the drag is welcome, the drop not.
    const QString text = dir->filePath("readme.txt");
    QVERIFY(writeFile(text, "text"));
    mime.setUrls({QUrl::fromLocalFile(text)});
    QCOMPARE(dropOn(d()->imageView(), &mime), std::pair(true, false));
    QVERIFY(!d()->currentImage());
    QVERIFY(d()->widthField()->text().isEmpty());
}

void SelectionTest::pasteAndDeleteInTheWell()
{
    ImageWell *well = d()->imageView();
    well->setFocus();
    QApplication::clipboard()->setImage(filled({33, 22}, Qt::blue));
    QTest::keyClick(well, Qt::Key_V, Qt::ControlModifier);
    QVERIFY(d()->currentImage());
    QCOMPARE(d()->widthField()->text(), QString("33"));
    QCOMPARE(d()->currentRatio(), 1.0); // only a dialog pick sets the ratio

    QTest::keyClick(well, Qt::Key_Delete);
    QVERIFY(!d()->currentImage());
    QVERIFY(!well->image());
    QCOMPARE(d()->widthField()->text(), QString("33"));
}

QTEST_MAIN(SelectionTest)
#include "tst_selection.moc"
