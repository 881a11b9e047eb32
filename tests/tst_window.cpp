#include "CommandRun.h"
#include "WindowDriver.h"

#include <QClipboard>
#include <QDropEvent>
#include <QMimeData>
#include <QTemporaryDir>

// What the window shows and holds, "|" between: width, height, folder, name, status line, the
// picked file, its ratio and the width of the well's image.
static QString shown(const AppDelegate &d, int fields = 8)
{
    const SourceImagePtr well = d.imageView()->image();
    QStringList all{d.widthField()->text(), d.heightField()->text(), d.filePathField()->text()};
    all << d.assetNameField()->text() << d.statusLabel()->text() << d.currentSourceUrl().path()
        << QString::number(d.currentRatio()) << QString::number(well ? well->size().width() : -1);
    return all.mid(0, fields).join('|');
}

// Drags the data onto the well and drops it there: 0 the drag is refused, 1 welcome but the drop
// refused, 2 taken.
static int dropOn(ImageWell *well, QMimeData *mime)
{
    QDragEnterEvent enter({9, 9}, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop({9, 9}, Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(well, &enter);
    return enter.isAccepted() ? 1 + int(QApplication::sendEvent(well, &drop) && drop.isAccepted())
                              : 0;
}

// A table written as "row name|field|...;next row", all fields text.
static void rowsOf(const char *table)
{
    QTest::addColumn<QStringList>("f");
    for (const QString &row : QString(table).split(';'))
        QTest::newRow(qPrintable(row.section('|', 0, 0))) << row.split('|');
}

class WindowTest : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<ApplicationMain::Interface> ui;
    AppDelegate *d() { return ui->delegate.get(); }
    QString image(const QString &name, QSize size, bool clear = false)
    {
        return saveImage(dir->filePath(name), card(size, clear));
    }

private slots:
    void init() { dir = std::make_unique<QTemporaryDir>(), ui = openWindow(); }
    void cleanup() { closeDialogs(), ui.reset(), dir.reset(); }

    void launch()
    {
        QMainWindow *window = ui->window.get();
        // The new-window action does nothing, so no visible menu entry or button may offer it.
        for (QObject *object : window->findChildren<QObject *>()) {
            auto *action = qobject_cast<QAction *>(object);
            QVERIFY(object->property("text").toString().remove('&') != "New Window" ||
                    (action && (!action->isVisible() || action->associatedObjects().isEmpty())));
        }
        // Each control is named for a screen reader and has its Alt key; a label's moves the
        // focus to its field.
        const QStringList controls =
            QString("filePathLabel|&Output folder:|assetNameLabel|Asset &name:|widthLabel|&Width:|"
                    "heightLabel|&Height:|proportionsCheckBox|&Keep proportions|iosButton|&iOS App "
                    "Icon|macButton|&Mac App Icon|imageSetButton|Image &Set|chooseImageButton|"
                    "&Choose Image…|chooseFolderButton|Choose Fol&der…")
                .split('|');
        for (qsizetype i = 0; i < controls.size(); i += 2) {
            const QString text = controls[i + 1];
            QWidget *widget = window->findChild<QWidget *>(controls[i]);
            auto *label = qobject_cast<QLabel *>(widget);
            QWidget *control = label ? label->buddy() : widget;
            QVERIFY2(control && widget->property("text") == text &&
                         control->accessibleName() == QString(text).remove('&'),
                     qPrintable(text));
            if (label)
                QTest::keyClick(window, text[text.indexOf('&') + 1].toLatin1(), Qt::AltModifier);
            QTRY_VERIFY2(!label || QApplication::focusWidget() == control, qPrintable(text));
        }
    }

    // A pick through the non-modal dialog sets the size fields, the folder while it is empty, the
    // name and the well, whichever dialog completes last; a folder is chosen through its own.
    void picks()
    {
        QFileDialog *first = openDialog(*ui, "chooseImageButton");
        pick(*ui, image("Иконка/app icon.dark.png", {40, 10}));
        const QString folder = dir->filePath("Иконка") + "/", chosen = dir->filePath("b");
        QCOMPARE(shown(*d()),
                 QString("40|10|%1|app icon||%1app icon.dark.png|0.25|40").arg(folder));
        first->selectFile(image("b/logo.png", {48, 24}));
        static_cast<QDialog *>(first)->accept();
        // What the program writes into a field is no user edit: neither filtered nor followed.
        d()->widthField()->setText("7x");
        QCOMPARE(shown(*d(), 4), QString("7x|24|%1|logo").arg(folder));
        QFileDialog *folders = openDialog(*ui, "chooseFolderButton");
        QVERIFY(folders && !folders->isModal() && folders->fileMode() == QFileDialog::Directory);
        folders->selectFile(chosen);
        static_cast<QDialog *>(folders)->accept();
        // A file that is no image is said to be so, by name; the source, its name and the
        // sizes stay as they were.
        QVERIFY(writeFile(folder + "notes.png", "just some words"));
        QCOMPARE(ApplicationMain::openFileArgument(*ui, {"", folder + "notes.png"}),
                 QString("“notes.png” is not an image this program can read."));
        QCOMPARE(shown(*d(), 4), "48|24|" + chosen + "|logo");
        QVERIFY(d()->currentImage());
    }

    // name|the field|text typed|text pasted then|width|height|the height of a 200 wide source
    // picked first, 0 for none (a ratio of 1)
    void digitsAndLock_data()
    {
        rowsOf("pasted, fullwidth|height||３,４|34|３４|0;beyond the BMP|width|1𝟏😀||1𝟏|11|0;"
               "0.5 width 13|width|13||13|7|100;0.5 height 3|height|3||6|3|100;"
               "0.5 unlocked|width unlocked|4a2||42|100|100");
    }
    // The size fields keep decimal digits of any script, the cursor where it was, and, locked,
    // follow each other in the picked file's ratio.
    void digitsAndLock()
    {
        QFETCH(QStringList, f);
        if (f[6] != "0")
            pick(*ui, image("ratio.png", {200, f[6].toInt()}));
        d()->proportionsCheckBox()->setChecked(!f[1].endsWith("unlocked"));
        QLineEdit *edited = f[1].contains("width") ? d()->widthField() : d()->heightField();
        typeInto(edited, f[2]);
        QApplication::clipboard()->setText(f[3]);
        QTest::keyClick(edited, Qt::Key_V, Qt::ControlModifier);
        edited->setCursorPosition(1);
        QTest::keyClick(edited, 'x'); // filtered out, the cursor back where it was
        QCOMPARE(shown(*d(), 2) + '|' + QString::number(edited->cursorPosition()),
                 f[4] + '|' + f[5] + "|1");
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

    // name|the command, "@" for the source|width typed|name typed|the source's width|height; it
    // is opaque for iOS, else transparent
    void buttons_data()
    {
        rowsOf("ios: small, not square|ios @|||300|200;mac: enlarged|mac @|||512|512;"
               "image set: Arabic-Indic width, locked height, a name|"
               "imageset @ --width 101 --name Badge_Icon|١٠١|Badge Icon|200|150");
    }
    // The buttons write what the command line writes, byte for byte, and the status line says
    // what the command prints: the summary, and each warning it writes on the error stream.
    void buttons()
    {
        QFETCH(QStringList, f);
        const QString source =
            image("src/logo.png", {f[4].toInt(), f[5].toInt()}, !f[1].startsWith("ios"));
        const QString out = dir->filePath("window"), byCommand = dir->filePath("command");
        QVERIFY(QDir().mkpath(out));
        pick(*ui, source);
        typeInto(d()->filePathField(), out);
        typeInto(d()->widthField(), f[2]); // an icon set takes no size or name
        typeInto(d()->assetNameField(), f[3]);
        QStringList arguments =
            f[1].split(' ').replaceInStrings("_", " ").replaceInStrings("@", source);
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
