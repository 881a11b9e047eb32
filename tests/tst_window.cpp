#include "CommandRun.h"
#include "WindowDriver.h"

#include <QClipboard>
#include <QDropEvent>
#include <QMimeData>
#include <QTemporaryDir>

namespace {

// What the window shows and holds, "|" between: width, height, folder, name, status line, the
// picked file, its ratio and the width of the well's image.
QString shown(const AppDelegate &d, int fields = 8)
{
    const SourceImagePtr well = d.imageView()->image();
    QStringList all{d.widthField()->text(), d.heightField()->text(), d.filePathField()->text()};
    all << d.assetNameField()->text() << d.statusLabel()->text() << d.currentSourceUrl().path()
        << QString::number(d.currentRatio()) << QString::number(well ? well->size().width() : -1);
    return all.mid(0, fields).join('|');
}

// Drags the data onto the well and drops it there: 0 the drag is refused, 1 welcome but the drop
// refused, 2 taken.
int dropOn(ImageWell *well, QMimeData *mime)
{
    QDragEnterEvent enter({9, 9}, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop({9, 9}, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(well, &enter);
    return enter.isAccepted() ? 1 + int(QApplication::sendEvent(well, &drop) && drop.isAccepted())
                              : 0;
}

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<ApplicationMain::Interface> ui;
    const QString start = QDir::currentPath();
    AppDelegate *d() { return ui->delegate.get(); }
    QString image(const QString &name, QSize size, bool clear = false)
    {
        return saveImage(dir->filePath(name), card(size, clear));
    }

private slots:
    void init() { dir = std::make_unique<QTemporaryDir>(), ui = openWindow(); }
    void cleanup() { QDir::setCurrent(start), closeDialogs(), ui.reset(), dir.reset(); }

    void launch()
    {
        QMainWindow *window = ui->window.get();
        QCOMPARE(window->windowTitle(), QString("Assetsmith"));
        // The new-window action does nothing, so no visible menu entry or button may offer it.
        for (QAction *action : window->findChildren<QAction *>())
            QVERIFY(action->text().remove('&') != "New Window" || !action->isVisible() ||
                    action->associatedObjects().isEmpty());
        for (QAbstractButton *button : window->findChildren<QAbstractButton *>())
            QVERIFY(button->text().remove('&') != "New Window");

        // Each control is named for a screen reader and has its Alt key; a label's moves the
        // focus to its field.
        const QStringList controls{"filePathLabel",      "&Output folder:",   "assetNameLabel",
                                   "Asset &name:",       "widthLabel",        "&Width:",
                                   "heightLabel",        "&Height:",          "proportionsCheckBox",
                                   "&Keep proportions",  "iosButton",         "&iOS App Icon",
                                   "macButton",          "&Mac App Icon",     "imageSetButton",
                                   "Image &Set",         "chooseImageButton", "&Choose Image…",
                                   "chooseFolderButton", "Choose Fol&der…"};
        for (qsizetype i = 0; i < controls.size(); i += 2) {
            const QString text = controls[i + 1];
            QWidget *widget = window->findChild<QWidget *>(controls[i]);
            auto *label = qobject_cast<QLabel *>(widget);
            QWidget *control = label ? label->buddy() : widget;
            QVERIFY2(control && widget->property("text") == text, qPrintable(text));
            QVERIFY2(control->accessibleName() == QString(text).remove('&'), qPrintable(text));
            if (label)
                QTest::keyClick(window, text[text.indexOf('&') + 1].toLatin1(), Qt::AltModifier);
            QTRY_VERIFY2(!label || QApplication::focusWidget() == control, qPrintable(text));
        }
    }

    // A pick through the non-modal dialog sets the size fields, the folder while it is empty, the
    // name and the well, whichever dialog completes last, as `assetsmith FILE` does; a folder
    // chosen through its dialog comes back over typed text at the next pick.
    void picks()
    {
        QFileDialog *first = openDialog(*ui, "chooseImageButton");
        pick(*ui, image("Иконка/app icon.dark.png", {40, 10}));
        const QString folder = dir->filePath("Иконка") + "/";
        QCOMPARE(shown(*d()),
                 QString("40|10|%1|app icon||%1app icon.dark.png|0.25|40").arg(folder));
        QVERIFY(QDir::setCurrent(folder));
        const auto given = openWindow();
        QVERIFY(ApplicationMain::openFileArgument(*given, {"", "../Иконка/app icon.dark.png"})
                    .isEmpty());
        QCOMPARE(shown(*given->delegate), shown(*d()));
        first->selectFile(image("b/logo.png", {48, 24}));
        static_cast<QDialog *>(first)->accept();
        QCOMPARE(shown(*d(), 4), QString("48|24|%1|logo").arg(folder));
        // What the program writes into a field is no user edit: neither filtered nor followed.
        d()->widthField()->setText("7x");
        QCOMPARE(shown(*d(), 2), QString("7x|24"));

        QFileDialog *chosen = openDialog(*ui, "chooseFolderButton");
        QVERIFY(chosen && !chosen->isModal() && chosen->fileMode() == QFileDialog::Directory);
        chosen->selectFile(dir->filePath("b"));
        static_cast<QDialog *>(chosen)->accept();
        typeInto(d()->filePathField(), dir->filePath("none"));
        // The window makes the set's folder only, in a folder that exists.
        press(*ui, "iosButton");
        QVERIFY(shown(*d()).contains(dir->filePath("none/AppIcon.appiconset does not exist.")));
        pick(*ui, image("c/other.png", {10, 10}));
        QCOMPARE(shown(*d(), 5), QString("10|10|%1|other|").arg(dir->filePath("b")));
        // A file that is no image is said to be so, by name, and the fields keep their text.
        QVERIFY(writeFile(folder + "notes.png", "just some words"));
        QCOMPARE(ApplicationMain::openFileArgument(*ui, {"", "notes.png"}),
                 QString("“notes.png” is not an image this program can read."));
        QCOMPARE(shown(*d(), 4), QString("10|10|%1|notes").arg(dir->filePath("b")));
    }

    // The size fields keep decimal digits of any script and, locked, follow each other in the
    // picked file's ratio (1 before any pick).
    void digitsAndLock_data()
    {
        QTest::addColumn<QString>("into"); // the field; "^" in front: pasted, not typed
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("fields"); // "width|height" then
        QTest::addColumn<int>("height");     // of a 200 wide source picked first, if any
        const std::tuple<const char *, const char *, const char *, const char *, int> rows[] = {
            {"pasted, fullwidth", "^height", "３,４", "34|３４", 0},
            {"Arabic-Indic", "height", "١٢", "12|١٢", 0},
            {"beyond the BMP", "width", "1𝟏😀", "1𝟏|11", 0},
            {"0.5 width 13", "width", "13", "13|7", 100},
            {"0.5 height 3", "height", "3", "6|3", 100},
            {"0.5 unlocked", "width unlocked", "4a2", "42|100", 100}};
        for (auto [row, into, typed, fields, height] : rows)
            QTest::newRow(row) << QString(into) << QString(typed) << QString(fields) << height;
    }
    void digitsAndLock()
    {
        QFETCH(QString, into);
        QFETCH(QString, typed);
        QFETCH(int, height);
        if (height)
            pick(*ui, image("ratio.png", {200, height}));
        d()->proportionsCheckBox()->setChecked(!into.endsWith("unlocked"));
        QLineEdit *edited = into.contains("width") ? d()->widthField() : d()->heightField();
        typeInto(edited, into.startsWith('^') ? QString() : typed);
        QApplication::clipboard()->setText(typed);
        if (into.startsWith('^'))
            QTest::keyClick(edited, Qt::Key_V, Qt::ControlModifier);
        QTEST(shown(*d(), 2), "fields");
    }

    // A drop or paste shows another image without changing the picked file, its ratio, folder or
    // name; what holds no image is refused, and the status line names the file; Delete empties.
    void dropPasteAndDelete()
    {
        ImageWell *well = d()->imageView();
        const QString kept =
            QString("%1/|picked||%2|0.5|").arg(dir->path(), image("picked.png", {200, 100}));
        pick(*ui, dir->filePath("picked.png"));
        QMimeData file, data, words;
        file.setUrls({QUrl::fromLocalFile(image("dropped/other.png", {30, 90}))});
        data.setImageData(card({12, 7}, false));
        words.setText("hello");
        QCOMPARE(dropOn(well, &file), 2);
        QCOMPARE(shown(*d()), "30|90|" + kept + "30");
        QCOMPARE(QList({dropOn(well, &data), dropOn(well, &words)}), QList({2, 0}));
        // A file might be an image: only its content tells, so the drag is welcome, the drop not.
        QVERIFY(writeFile(dir->filePath("readme.txt"), "text"));
        file.setUrls({QUrl::fromLocalFile(dir->filePath("readme.txt"))});
        QCOMPARE(dropOn(well, &file), 1);
        const QString refused = "“readme.txt” is not an image this program can read.";
        QCOMPARE(shown(*d()), "12|7|" + QString(kept).replace("||", "|" + refused + "|") + "12");
        well->setFocus();
        QApplication::clipboard()->setImage(card({33, 22}, true));
        QTest::keyClick(well, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(shown(*d()), "33|22|" + kept + "33");
        QTest::keyClick(well, Qt::Key_Delete);
        QCOMPARE(shown(*d()), "33|22|" + kept + "-1");
    }

    // The buttons write what the command line writes, byte for byte, and the status line says
    // what the command prints: the summary, and each warning it writes on the error stream.
    void buttons_data()
    {
        QTest::addColumn<QString>("command"); // "@" stands for the source
        QTest::addColumn<QString>("typed");   // "width|name"
        QTest::addColumn<QSize>("size");      // of the source, opaque for iOS, else transparent
        QTest::newRow("ios: small, not square") << "ios @" << QString() << QSize(300, 200);
        QTest::newRow("mac: enlarged") << "mac @" << QString() << QSize(512, 512);
        QTest::newRow("image set: Arabic-Indic width, locked height, a name")
            << "imageset @ --width 101 --name Badge_Icon" << QString("١٠١|Badge Icon")
            << QSize(200, 150);
    }
    void buttons()
    {
        QFETCH(QString, command);
        QFETCH(QString, typed);
        QFETCH(QSize, size);
        const QString source = image("src/logo.png", size, !command.startsWith("ios"));
        const QString out = dir->filePath("window"), byCommand = dir->filePath("command");
        QVERIFY(QDir().mkpath(out));
        pick(*ui, source);
        typeInto(d()->filePathField(), out);
        typeInto(d()->widthField(), typed.section('|', 0, 0)); // an icon set takes no size or name
        typeInto(d()->assetNameField(), typed.section('|', 1));
        QStringList arguments =
            command.split(' ').replaceInStrings("_", " ").replaceInStrings("@", source);
        press(*ui, qPrintable(QString(arguments[0]).replace("imageset", "imageSet") + "Button"));
        const QString said = d()->statusLabel()->text();
        QCOMPARE(d()->statusLabel()->accessibleName(), said);
        const CommandRun result = run(arguments << "--out" << byCommand);
        QVERIFY2(result.exitCode == 0 && said.startsWith("Wrote "), qPrintable(said));
        const QString printed = QString(result.out + result.err).remove("Warning: ").trimmed();
        QCOMPARE(said, QString(printed).replace(byCommand, out));
        QCOMPARE(tree(out), tree(byCommand));
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
