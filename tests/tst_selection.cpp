#include "AppDelegate.h"
#include "ApplicationMain.h"
#include "ImageWell.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

QImage filled(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

// Types text as a person would, one character at a time, other scripts included.
void typeText(QWidget *widget, const QString &text)
{
    for (char32_t u : text.toUcs4())
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString::fromUcs4(&u, 1),
                            Qt::NoModifier);
}

void clear(QLineEdit *field)
{
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
}

void paste(QLineEdit *field, const QString &text)
{
    QApplication::clipboard()->setText(text);
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
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
    void typedFolderStaysButNameIsRewritten();
    void dialogPickLoadsTheImage();
    void cancelledDialogChangesNothing();
    void lastDialogToCompleteWins();
    void folderDialogAndLaterPicks();
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
    QString makeImage(const QString &name, QSize size);
    QFileDialog *openDialog(const char *button);
    void pick(const QString &path);
    AppDelegate *d() { return ui->delegate.get(); }

    std::unique_ptr<ApplicationMain::Interface> ui;
    std::unique_ptr<QTemporaryDir> dir;
};

void SelectionTest::init()
{
    dir = std::make_unique<QTemporaryDir>();
    ui = ApplicationMain::loadInterface(*qApp);
    ui->window->show();
    ui->window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(ui->window.get()));
}

void SelectionTest::cleanup()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QFileDialog *>(w))
            delete w;
    }
    ui.reset();
    dir.reset();
}

QString SelectionTest::makeImage(const QString &name, QSize size)
{
    const QString path = dir->filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    filled(size, Qt::darkCyan).save(path, "png");
    return path;
}

QFileDialog *SelectionTest::openDialog(const char *button)
{
    const QList<QWidget *> before = QApplication::topLevelWidgets();
    QTest::mouseClick(ui->window->findChild<QPushButton *>(button), Qt::LeftButton);
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        if (dialog && !before.contains(w) && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

void SelectionTest::pick(const QString &path)
{
    QFileDialog *dialog = openDialog("chooseImageButton");
    QVERIFY(dialog);
    QVERIFY(!dialog->isModal()); // the window stays usable
    QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
    dialog->selectFile(path);
    static_cast<QDialog *>(dialog)->accept(); // as the OK button does
}

void SelectionTest::defaultsFromTheChosenFile_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "/Users/a/Pictures/logo.png"
                           << "/Users/a/Pictures/"
                           << "logo";
    QTest::newRow("spaces decoded") << "/Users/a/My Pictures/app icon.png"
                                    << "/Users/a/My Pictures/"
                                    << "app icon";
    QTest::newRow("two dots") << "/Users/a/art/logo.dark.png"
                              << "/Users/a/art/"
                              << "logo";
    QTest::newRow("named like its folder") << "/Users/a/logo/logo"
                                           << "/Users/a/logo/"
                                           << "logo";
    QTest::newRow("leading dot") << "/Users/a/.icon.png"
                                 << "/Users/a/"
                                 << "";
    QTest::newRow("at the root") << "/logo.png"
                                 << "/"
                                 << "logo";
    QTest::newRow("other scripts") << "/home/a/Иконка/アイコン.png"
                                   << "/home/a/Иконка/"
                                   << "アイコン";
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

void SelectionTest::typedFolderStaysButNameIsRewritten()
{
    const QString path = makeImage("a/logo.png", {30, 20});
    QTest::keyClicks(d()->filePathField(), "/typed/here");
    QTest::keyClicks(d()->assetNameField(), "mine");
    pick(path);
    QCOMPARE(d()->filePathField()->text(), QString("/typed/here"));
    QCOMPARE(d()->assetNameField()->text(), QString("logo"));
}

void SelectionTest::dialogPickLoadsTheImage()
{
    const QString path = makeImage("pics/photo.png", {200, 100});
    pick(path);
    QVERIFY(d()->currentImage());
    QCOMPARE(d()->widthField()->text(), QString("200"));
    QCOMPARE(d()->heightField()->text(), QString("100"));
    QCOMPARE(d()->filePathField()->text(), dir->filePath("pics") + "/");
    QCOMPARE(d()->assetNameField()->text(), QString("photo"));
    QCOMPARE(d()->currentRatio(), 0.5);
    QCOMPARE(d()->imageView()->image(), d()->currentImage());
}

void SelectionTest::cancelledDialogChangesNothing()
{
    const QString path = makeImage("x.png", {10, 10});
    for (const char *button : {"chooseImageButton", "chooseFolderButton"}) {
        QFileDialog *dialog = openDialog(button);
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
    QFileDialog *a = openDialog("chooseImageButton");
    QFileDialog *b = openDialog("chooseImageButton"); // a second one opens while the first is shown
    QVERIFY(a && b && a != b);
    b->selectFile(second);
    static_cast<QDialog *>(b)->accept(); // as the OK button does
    a->selectFile(first);
    static_cast<QDialog *>(a)->accept(); // as the OK button does
    QCOMPARE(d()->assetNameField()->text(), QString("first"));
    QCOMPARE(d()->currentRatio(), 0.25);
}

void SelectionTest::folderDialogAndLaterPicks()
{
    const QString out = dir->filePath("out");
    QDir().mkpath(out);
    QFileDialog *dialog = openDialog("chooseFolderButton");
    QVERIFY(dialog);
    QCOMPARE(dialog->fileMode(), QFileDialog::Directory);
    QVERIFY(dialog->testOption(QFileDialog::ShowDirsOnly));
    QVERIFY(!dialog->testOption(QFileDialog::ReadOnly)); // new folders can be made
    dialog->setDirectory(dir->path());
    dialog->selectFile(out);
    static_cast<QDialog *>(dialog)->accept(); // as the OK button does
    QCOMPARE(d()->filePathField()->text(), out);

    // A typed size goes back to the image's; the chosen folder comes back over typed text.
    pick(makeImage("img/one.png", {64, 32}));
    QCOMPARE(d()->filePathField()->text(), out);
    clear(d()->filePathField());
    QTest::keyClicks(d()->filePathField(), "/elsewhere");
    d()->proportionsCheckBox()->setChecked(false);
    clear(d()->widthField());
    QTest::keyClicks(d()->widthField(), "5");
    pick(makeImage("img/two.png", {48, 48}));
    QCOMPARE(d()->filePathField()->text(), out);
    QCOMPARE(d()->widthField()->text(), QString("48"));
}

void SelectionTest::fileThatIsNoImage()
{
    pick(makeImage("good.png", {80, 40}));
    const SourceImagePtr shown = d()->imageView()->image();
    const QString text = dir->filePath("notes.png");
    QFile file(text);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("just some text, not a picture");
    file.close();
    pick(text);
    QVERIFY(!d()->currentImage());
    QCOMPARE(d()->assetNameField()->text(), QString("notes"));
    QCOMPARE(d()->widthField()->text(), QString("80")); // the fields keep their text
    QCOMPARE(d()->imageView()->image(), shown);         // and the well its picture
    QCOMPARE(d()->statusLabel()->text(),
             QString("“notes.png” is not an image this program can read."));

    // With no finite ratio the lock still writes an integer.
    clear(d()->widthField());
    QTest::keyClicks(d()->widthField(), "10");
    QCOMPARE(d()->heightField()->text(), QString("0"));
}

void SelectionTest::digitFilter_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("pasted");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("other"); // the locked field at ratio 1
    QTest::newRow("12a") << "12a" << false << "12"
                         << "12";
    QTest::newRow("pasted 1,024") << "1,024" << true << "1024"
                                  << "1024";
    QTest::newRow("12.5") << "12.5" << false << "125"
                          << "125";
    QTest::newRow("-5") << "-5" << false << "5"
                        << "5";
    QTest::newRow("007") << "007" << false << "007"
                         << "7";
    QTest::newRow("Arabic-Indic") << "١٢" << false << "١٢"
                                  << "12";
    QTest::newRow("fullwidth") << "３４" << true << "３４"
                               << "34";
    QTest::newRow("outside the BMP") << "1\U0001D7CF\U0001F600" << false << "1\U0001D7CF"
                                     << "11";
    QTest::newRow("all letters pasted") << "abc" << true << ""
                                        << "0";
    QTest::newRow("past 32 bits") << "99999999999" << false << "99999999999"
                                  << "2147483647";
}

void SelectionTest::digitFilter()
{
    QFETCH(QString, typed);
    QFETCH(bool, pasted);
    QFETCH(QString, kept);
    QFETCH(QString, other);
    for (auto [edited, locked] : {std::pair{d()->widthField(), d()->heightField()},
                                  std::pair{d()->heightField(), d()->widthField()}}) {
        clear(edited);
        if (pasted)
            paste(edited, typed);
        else
            typeText(edited, typed);
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
    QTest::newRow("0.5 width 13") << QSize(200, 100) << true << "13"
                                  << "7";
    QTest::newRow("0.5 height 3") << QSize(200, 100) << false << "3"
                                  << "6";
    QTest::newRow("0.75 width 10") << QSize(100, 75) << true << "10"
                                   << "8";
    QTest::newRow("0.75 height 10") << QSize(100, 75) << false << "10"
                                    << "13";
    QTest::newRow("0.5 emptied") << QSize(200, 100) << true << ""
                                 << "0";
    QTest::newRow("0.5 past 32 bits") << QSize(200, 100) << false << "99999999999"
                                      << "2147483647";
}

void SelectionTest::lock()
{
    QFETCH(QSize, source);
    QFETCH(bool, typeWidth);
    QFETCH(QString, typed);
    QFETCH(QString, other);
    pick(makeImage("ratio.png", source));
    // The program's own values never pass through the lock: both show the image's size.
    QCOMPARE(d()->widthField()->text(), QString::number(source.width()));
    QCOMPARE(d()->heightField()->text(), QString::number(source.height()));
    QLineEdit *edited = typeWidth ? d()->widthField() : d()->heightField();
    QLineEdit *locked = typeWidth ? d()->heightField() : d()->widthField();
    clear(edited);
    QTest::keyClicks(edited, typed);
    QCOMPARE(locked->text(), other);
}

void SelectionTest::lockOff()
{
    pick(makeImage("r.png", {200, 100}));
    QTest::keyClick(ui->window.get(), Qt::Key_K, Qt::AltModifier);
    QTRY_VERIFY(!d()->proportionsCheckBox()->isChecked());
    clear(d()->widthField());
    QTest::keyClicks(d()->widthField(), "4a2");
    QCOMPARE(d()->widthField()->text(), QString("42"));
    QCOMPARE(d()->heightField()->text(), QString("100"));
}

void SelectionTest::dropKeepsRatioAndSource()
{
    pick(makeImage("picked.png", {200, 100}));
    const QString dropped = makeImage("dropped/other.png", {30, 90});
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(dropped)});
    ImageWell *well = d()->imageView();
    const QPoint at = well->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(well, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(well, &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(d()->widthField()->text(), QString("30"));
    QCOMPARE(d()->heightField()->text(), QString("90"));
    QCOMPARE(d()->currentRatio(), 0.5);
    QCOMPARE(d()->assetNameField()->text(), QString("picked"));
    QCOMPARE(d()->currentSourceUrl().fileName(), QString("picked.png"));
    QCOMPARE(d()->currentImage(), well->image());

    // Image data from another program works as well.
    QMimeData data;
    data.setImageData(filled({12, 7}, Qt::red));
    QDragEnterEvent dataEnter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(well, &dataEnter);
    QVERIFY(dataEnter.isAccepted());
    QDropEvent dataDrop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(well, &dataDrop);
    QCOMPARE(d()->widthField()->text(), QString("12"));
    QCOMPARE(d()->currentRatio(), 0.5);
}

void SelectionTest::dropOfSomethingElseIsRefused()
{
    QMimeData mime;
    mime.setText("hello");
    ImageWell *well = d()->imageView();
    QDragEnterEvent enter(well->rect().center(), Qt::CopyAction, &mime, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(well, &enter);
    QVERIFY(!enter.isAccepted());

    const QString text = dir->filePath("readme.txt");
    QFile file(text);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("text");
    file.close();
    mime.setUrls({QUrl::fromLocalFile(text)});
    QDragEnterEvent fileEnter(well->rect().center(), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
    QApplication::sendEvent(well, &fileEnter);
    QVERIFY(fileEnter.isAccepted()); // a file might be an image: only its content tells
    QDropEvent drop(well->rect().center(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(well, &drop);
    QVERIFY(!drop.isAccepted());
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
