#include "CommandRun.h"
#include "WindowDriver.h"

#include "CheckDialog.h"

#include <QClipboard>
#include <QJsonArray>
#include <QDropEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

// What the window shows and holds, "|" between: width, height, folder, name, status line, the
// picked file, its ratio and the width of the well's image.
static QString shown(const AppDelegate &d, int fields = 8)
{
    const SourceImagePtr well = d.imageView()->image();
    QStringList all{d.widthField()->text(), d.heightField()->text(), d.filePathField()->text()};
    all << d.assetNameField()->text() << d.statusLabel()->accessibleName()
        << d.currentSourceUrl().path() << QString::number(d.currentRatio())
        << QString::number(well ? well->size().width() : -1);
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
    const QByteArray worker = qgetenv("ASSETSMITH_WORKER");
    const QString duck = QDir::cleanPath(QStringLiteral(ASSETSMITH_REAL_ICONS) +
                                         "/../truth/mblode__rubber-duck/rubber-duck.icon");
    AppDelegate *d() { return ui->delegate.get(); }
    QString image(const QString &name, QSize size, bool clear = false)
    {
        return saveImage(dir->filePath(name), card(size, clear));
    }

    // The duck, its watch face filled red: a document whose watch picture is its own. Its
    // icon.json, through which a dialog picks it.
    QString redWatchDuck()
    {
        const QString copy = dir->filePath("duck/rubber-duck.icon");
        for (const QString &asset : QDir(duck + "/Assets").entryList(QDir::Files))
            writeFile(copy + "/Assets/" + asset, bytesOf(duck + "/Assets/" + asset));
        QJsonObject json = readJson(duck + "/icon.json");
        const QJsonValue fill = json.take("fill");
        json["fill-specializations"] = QJsonArray{
            QJsonObject{{"value", fill}},
            QJsonObject{{"idiom", "watchOS"},
                        {"value", QJsonObject{{"solid", "srgb:1.00000,0.00000,0.00000,1.00000"}}}}};
        writeFile(copy + "/icon.json", QJsonDocument(json).toJson());
        return copy + "/icon.json";
    }

private slots:
    void init() { dir = std::make_unique<QTemporaryDir>(), ui = openWindow(); }
    void cleanup()
    {
        closeDialogs(), ui.reset(), dir.reset();
        qputenv("ASSETSMITH_WORKER", worker), qunsetenv("ASSETSMITH_DECODE_TIMEOUT_MS");
    }

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
            QString(
                "filePathLabel|&Output folder:|assetNameLabel|Asset &name:|widthLabel|&Width:|"
                "heightLabel|&Height:|proportionsCheckBox|&Keep proportions|iosButton|&iOS App "
                "Icon|macButton|&Mac App Icon|imageSetButton|Image &Set|chooseImageButton|"
                "&Choose Image…|chooseFolderButton|Choose Fol&der…|backgroundLabel|Back&ground:|"
                "singleSizeCheckBox|Single si&ze: one 1024 px icon with dark and tinted "
                "appearances|previewSetLabel|Pre&view:|maskCheckBox|Co&rner mask|iconSetNameLabel|"
                "Write icons &under the name:")
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
        acceptAndWait(*ui, first, image("b/logo.png", {48, 24}));
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
        QSignalSpy loaded(d(), &AppDelegate::sourceLoadFinished);
        QVERIFY(ApplicationMain::openFileArgument(*ui, {"", folder + "notes.png"}));
        QVERIFY(loaded.wait());
        QCOMPARE(shown(*d(), 5),
                 "48|24|" + chosen + "|logo|“notes.png” is not an image this program can read.");
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
        // What is dropped is read on the loader's thread while the well shows it is busy.
        auto settle = [&] { QTRY_VERIFY(!well->isBusy()); };
        QCOMPARE(dropOn(well, &file), 2);
        QVERIFY(well->isBusy());
        settle();
        QCOMPARE(shown(*d()), "30|90|" + kept + "30");
        QCOMPARE(QList({dropOn(well, &data), dropOn(well, &words)}), QList({2, 0}));
        settle();
        // A file might be an image: only its content tells, so the drop is taken, then refused.
        QVERIFY(writeFile(dir->filePath("readme.txt"), "text"));
        file.setUrls({QUrl::fromLocalFile(dir->filePath("readme.txt"))});
        QCOMPARE(dropOn(well, &file), 2);
        settle();
        const QString refused = "“readme.txt” is not an image this program can read.";
        QCOMPARE(shown(*d()), "12|7|" + QString(kept).replace("||", "|" + refused + "|") + "12");
        well->setFocus();
        QApplication::clipboard()->setImage(card({33, 22}, true));
        QTest::keyClick(well, Qt::Key_V, Qt::ControlModifier);
        settle();
        QCOMPARE(shown(*d()), "33|22|" + kept + "33");
        QTest::keyClick(well, Qt::Key_Delete);
        QCOMPARE(shown(*d()), "33|22|" + kept + "-1");
    }

    // name|how the document comes: chosen through Choose Image… or dropped on the well|what of
    // it: its icon.json or its folder
    void iconDocument_data()
    {
        rowsOf("chosen: its icon.json|pick|/icon.json;dropped: its folder|drop|");
    }
    // An Icon Composer document is a source: the well shows its picture and names it by its
    // bundle, a pick names the asset and the folder after the bundle, and the preview offers its
    // six appearances, each cut to the iOS shape. A plain image offers none.
    void iconDocument()
    {
        QFETCH(QStringList, f);
        ImageWell *well = d()->imageView();
        QStandardItem *looks =
            qobject_cast<QStandardItemModel *>(d()->previewSetCombo()->model())->item(7);
        QVERIFY(!looks->isEnabled());
        if (f[1] == "pick") { // the Images filter shows a document's icon.json, and its folder
            QFileDialog *dialog = openDialog(*ui, "chooseImageButton");
            QVERIFY(dialog->nameFilters().value(0).endsWith(" icon.json *.icon)"));
            acceptAndWait(*ui, dialog, duck + f[2]);
            QCOMPARE(shown(*d(), 4),
                     QString("1024|1024|%1/|rubber-duck").arg(QFileInfo(duck).path()));
        } else {
            QMimeData folder;
            folder.setUrls({QUrl::fromLocalFile(duck + f[2])});
            QCOMPARE(dropOn(well, &folder), 2);
            QTRY_VERIFY(!well->isBusy());
        }
        QVERIFY(!well->picture().isNull() && d()->currentImage() == well->image());
        QVERIFY2(well->toolTip().startsWith("rubber-duck.icon\n") &&
                     well->accessibleName().endsWith(": rubber-duck.icon"),
                 qPrintable(well->toolTip()));
        // Its own dark and tinted looks stand in for none chosen.
        QCOMPARE(d()->darkCombo()->itemText(0) + '|' + d()->tintedCombo()->itemText(0),
                 "The document's own|The document's own");
        QVERIFY(looks->isEnabled());
        d()->previewSetCombo()->setCurrentIndex(7);
        QTRY_VERIFY_WITH_TIMEOUT(d()->previewIdle(), 30000);
        const QList<PreviewStrip::Tile> tiles = d()->previewStrip()->tiles();
        QStringList names;
        QList<QRgb> centres;
        for (const PreviewStrip::Tile &tile : tiles) {
            names << tile.name;
            const QImage image = tile.image.convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(image.size(), QSize(256, 256));
            centres << image.pixel(128, 128);
            for (QPoint corner : {QPoint(0, 0), QPoint(255, 0), QPoint(0, 255), QPoint(255, 255)})
                QVERIFY2(qAlpha(image.pixel(corner)) == 0, qPrintable(tile.name));
        }
        QCOMPARE(names, QStringList({"Default", "Dark", "Clear Light", "Clear Dark", "Tinted Light",
                                     "Tinted Dark"}));
        QVERIFY(centres[0] != centres[1] && centres[0] != centres[5] && centres[1] != centres[5]);
        pick(*ui, image("plain.png", {64, 64}));
        QVERIFY(!looks->isEnabled() && d()->darkCombo()->itemText(0) == "None");
        QCOMPARE(d()->previewSetCombo()->currentIndex(), 0);
    }

    // name|the command, "@" for the source, "@dark" for a second one|width typed|name typed|the
    // source's width|height, or "duck" for a real Icon Composer document; an image is opaque for
    // iOS, else transparent
    void buttons_data()
    {
        rowsOf("ios: small, not square|ios @|||300|200;mac: enlarged|mac @|||512|512;"
               "image set: Arabic-Indic width, locked height, a name|"
               "imageset @ --width 101 --name Badge_Icon|١٠١|Badge Icon|200|150;"
               "ios options: background, single size, dark file, tinted auto|"
               "ios @ --background #336699 --single-size --dark @dark --tinted auto|||64|64;"
               "mac for macOS 15|mac @ --style 15|||256|256;"
               "tv: background, back source|tv @ --background #336699 --back @dark|||400|300;"
               "icon composer: bitmap over a background|icon @ --background #336699|||300|300;"
               "ios single size from a document: its own dark and tinted|ios @ --single-size|||"
               "duck|;watch from a document: its watchOS idiom|watch @|||red watch duck|");
    }
    // The buttons and the options write what the command line writes, byte for byte; the status
    // line says what the command prints, the folder a link to it; the preview showed the very
    // pixels written; progress counts every file; the controls wait while it writes.
    void buttons()
    {
        QFETCH(QStringList, f);
        const bool transparent = !f[1].startsWith("ios") || f[1].contains("--background");
        const QString source =
            f[4] == "duck" ? duck + "/icon.json"
            : f[4] == "red watch duck"
                ? redWatchDuck()
                : image("src/logo.png", {f[4].toInt(), f[5].toInt()}, transparent);
        const QString dark = image("src/dark.png", {90, 90}, true);
        const QString out = dir->filePath("window"), byCommand = dir->filePath("command");
        QVERIFY(QDir().mkpath(out));
        pick(*ui, source);
        typeInto(d()->filePathField(), out);
        typeInto(d()->widthField(), f[2]); // an icon set takes no size or name
        typeInto(d()->assetNameField(), f[3]);
        QStringList arguments = f[1].split(' ').replaceInStrings("_", " ");
        arguments.replaceInStrings("@dark", dark).replaceInStrings("@", source);
        if (arguments.contains("--background")) // as the colour dialog hands it over
            d()->setBackgroundColour(QColor(arguments[arguments.indexOf("--background") + 1]));
        if (arguments.contains("--style")) {
            QTest::keyClick(ui->window.get(), 'y', Qt::AltModifier);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down); // 26 to 15
        }
        if (arguments.contains("--back")) {
            QSignalSpy loaded(d(), &AppDelegate::sourceLoadFinished);
            d()->loadAppearance(AppDelegate::Appearance::Back, QUrl::fromLocalFile(dark));
            QVERIFY(loaded.wait());
        }
        if (arguments.contains("--single-size")) {
            QTest::keyClick(ui->window.get(), 'z', Qt::AltModifier);
            QTRY_VERIFY(d()->singleSizeCheckBox()->isChecked());
        }
        if (arguments.contains("--dark")) {
            QSignalSpy loaded(d(), &AppDelegate::sourceLoadFinished);
            d()->loadAppearance(AppDelegate::Appearance::Dark, QUrl::fromLocalFile(dark));
            QVERIFY(loaded.wait());
        }
        if (arguments.contains("--tinted")) {
            QTest::keyClick(ui->window.get(), 't', Qt::AltModifier);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down); // "None" to "Automatic"
        }
        const QStringList sets{"ios", "mac", "imageset", "watch", "vision", "tv"};
        const bool previewed = sets.contains(arguments[0]); // an .icon is not previewed
        if (previewed)
            d()->previewSetCombo()->setCurrentIndex(sets.indexOf(arguments[0]));
        const int platform = QStringList{"watch", "vision", "tv", "icon"}.indexOf(arguments[0]);
        const QString set =
            platform >= 0 ? "platform" : QString(arguments[0]).replace("imageset", "imageSet");
        if (platform >= 0) {
            QTest::keyClick(ui->window.get(), 'p', Qt::AltModifier);
            for (int i = 0; i < platform; ++i)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        }
        QTRY_VERIFY_WITH_TIMEOUT(d()->previewIdle(), 30000);
        const QList<PreviewStrip::Tile> tiles = d()->previewStrip()->tiles();

        QSignalSpy progress(d(), &AppDelegate::exportProgress);
        QSignalSpy finished(d(), &AppDelegate::exportFinished);
        auto *button = ui->window->findChild<QPushButton *>(set + "Button");
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!button->isEnabled() && !d()->widthField()->isEnabled());
        QVERIFY(finished.wait(60000));
        QVERIFY(button->isEnabled());
        const QString said = d()->statusLabel()->accessibleName();
        const CommandRun result = run(arguments << "--out" << byCommand);
        QVERIFY2(result.exitCode == 0 && said.startsWith("Wrote "), qPrintable(said));
        const QString printed = QString(result.out + result.err).remove("Warning: ").trimmed();
        QCOMPARE(said, QString(printed).replace(byCommand, out));
        QVERIFY(d()->statusLabel()->text().contains(
            QString("<a href=\"%1/").arg(QUrl::fromLocalFile(out).toString(QUrl::FullyEncoded))));
        const QMap<QString, QByteArray> written = tree(out);
        QCOMPARE(written, tree(byCommand));
        QCOMPARE(progress.last(), QVariantList({written.size(), written.size()}));
        QCOMPARE(progress.size(), written.size());

        QMap<QString, QByteArray> byName; // each PNG by its path in the asset folder
        for (auto file = written.cbegin(); file != written.cend(); ++file) {
            if (file.key().endsWith(".png"))
                byName[file.key().section('/', 1)] = file.value();
        }
        if (arguments.contains("--single-size"))
            QVERIFY(byName.contains("Icon-1024-dark.png") &&
                    byName.contains("Icon-1024-tinted.png"));
        if (previewed)
            QCOMPARE(tiles.size(), byName.size());
        for (const PreviewStrip::Tile &tile : previewed ? tiles : QList<PreviewStrip::Tile>()) {
            QVERIFY2(byName.contains(tile.name), qPrintable(tile.name));
            QCOMPARE(QImage::fromData(byName[tile.name]).convertToFormat(QImage::Format_ARGB32),
                     tile.image.convertToFormat(QImage::Format_ARGB32));
        }
    }

    // The Mac button writes into the iOS set already there under the name typed, as the command
    // line does: the iOS icons stay, and the status line says so.
    void writesIntoTheSetThere()
    {
        const QString ios = image("src/ios.png", {128, 128}, false),
                      mac = image("src/mac.png", {128, 128}, true);
        const QString out = dir->filePath("window"), byCommand = dir->filePath("command");
        for (const QString &folder : {out, byCommand})
            QCOMPARE(run({"ios", ios, "--name", "Beta", "--out", folder, "--quiet"}).exitCode, 0);
        pick(*ui, mac);
        typeInto(d()->filePathField(), out);
        QTest::keyClick(ui->window.get(), 'u', Qt::AltModifier);
        QTRY_COMPARE(QApplication::focusWidget(), d()->iconSetNameField());
        typeInto(d()->iconSetNameField(), "Beta");
        exportWith(*ui, "macButton");
        const CommandRun result = run({"mac", mac, "--name", "Beta", "--out", byCommand});
        QCOMPARE(tree(out), tree(byCommand));
        const QString said = d()->statusLabel()->accessibleName();
        QVERIFY2(said.startsWith("Added the Mac icons to " + out + "/Beta.appiconset") &&
                     said.contains("the iOS icons are kept"),
                 qPrintable(said));
        QCOMPARE(
            said,
            QString(result.out + result.err).remove("Warning: ").replace(byCommand, out).trimmed());
        typeInto(d()->iconSetNameField(), ".hidden");
        exportWith(*ui, "macButton");
        QVERIFY(d()->statusLabel()->accessibleName().contains("“.”"));
    }

    // A layered drawing shows its layers in the well's tooltip and on a line under it, the
    // hidden ones left out; the visionOS and tvOS previews show a strip for each layer, front
    // first; the stacks and the .icon written are the command line's, byte for byte. A flat
    // source afterwards shows no layers.
    void layeredDrawing()
    {
        const QString mumble = QStringLiteral(ASSETSMITH_REAL_ICONS) +
                               "/../../drawings/layered/mumble-voip__mumble/icons/mumble_small.svg";
        pick(*ui, mumble);
        const QString tip = d()->imageView()->toolTip();
        QVERIFY2(tip.contains("Layers, front first: Headphones, Headstrap, Circle\n"),
                 qPrintable(tip));
        for (const char *hidden : {"Shadow-Glows", "Sign", "Effects"})
            QVERIFY2(tip.contains(QString("Left out: %1 (hidden by display: none)").arg(hidden)),
                     qPrintable(tip));
        const QString line = d()->layersLabel()->text();
        QVERIFY(d()->layersLabel()->isVisible());
        QVERIFY2(line.startsWith("6 layers found; drawn, front first: Headphones, Headstrap, "
                                 "Circle; left out: Shadow-Glows, Sign, Effects (hidden by "
                                 "display: none)."),
                 qPrintable(line));

        const QString out = dir->filePath("window"), byCommand = dir->filePath("command");
        QVERIFY(QDir().mkpath(out));
        typeInto(d()->filePathField(), out);
        d()->setBackgroundColour(QColor(0x33, 0x66, 0x99));
        const QStringList sets{"vision", "tv", "icon"};
        const QStringList rows[] = {
            {"Front", "Middle", "Back"},
            {"Front", "Middle", "Back", "Top Shelf Image Wide", "Top Shelf Image"},
            {"The document", "Headphones", "Headstrap", "Circle"}};
        for (qsizetype i = 0; i < sets.size(); ++i) {
            QTest::keyClick(ui->window.get(), 'p', Qt::AltModifier);
            QTRY_COMPARE(QApplication::focusWidget(), d()->platformCombo());
            QTest::keyClick(d()->platformCombo(), Qt::Key_Down); // from watchOS on
            QTRY_VERIFY_WITH_TIMEOUT(d()->previewIdle(), 30000);
            QCOMPARE(d()->previewStrip()->rows(), rows[i]);
            if (sets[i] != "icon") {
                for (const PreviewStrip::Tile &tile : d()->previewStrip()->tiles())
                    QVERIFY2(tile.row == "Front" || !tile.name.contains("Front"),
                             qPrintable(tile.name));
            }
            exportWith(*ui, "platformButton");
            const CommandRun result =
                run({sets[i], mumble, "--background", "#336699", "--out", byCommand});
            QCOMPARE(result.exitCode, 0);
        }
        const QMap<QString, QByteArray> written = tree(out);
        QCOMPARE(written, tree(byCommand));
        QVERIFY(written.contains("AppIcon.icon/Assets/Headphones.svg"));
        QVERIFY(written.contains("AppIcon.solidimagestack/Middle.solidimagestacklayer/"
                                 "Contents.json"));

        pick(*ui, image("flat.png", {64, 64}));
        QVERIFY(!d()->layersLabel()->isVisible());
        QVERIFY(!d()->imageView()->toolTip().contains("Layers"));
    }

    // A source the worker takes long over, here the drawing of its picture, leaves the window
    // answering input, and a back layer is read meanwhile without stopping it; Esc stops it,
    // worker and all, and the source before stays. Emptying the well stops the preview's drawing,
    // and quitting stops any. A picture that cannot be drawn is not tried again on the window's
    // thread.
    void slowDrawingIsStopped()
    {
        // A worker that logs each request ($2 decode or render, $3 the file or the first size),
        // and then fails or hangs at drawing while the files so named are there.
        const QString fake = dir->filePath("worker");
        QVERIFY(writeFile(fake, QString("#!/bin/sh\ncd '%1'\necho \"$2 $3 $$\" >> log\n"
                                        "[ $2 = render ] && [ -e broken ] && exit 1\n"
                                        "[ $2 = render ] && [ -e slow ] && { sleep 30 <&- >&-; "
                                        "echo finished >> log; }\nexec '%2' \"$@\"\n")
                                    .arg(dir->path(), worker)
                                    .toLocal8Bit()));
        QVERIFY(QFile::setPermissions(fake, QFile::ReadOwner | QFile::ExeOwner));
        qputenv("ASSETSMITH_WORKER", fake.toLocal8Bit());
        qputenv("ASSETSMITH_DECODE_TIMEOUT_MS", "600000"); // no time limit ends it first
        const QString log = dir->filePath("log"), svg = "<svg xmlns='http://www.w3.org/2000/svg' "
                                                        "width='40' height='20'/>";
        const auto ended = [&] { // the worker last asked to draw
            const QString pid = QString(bytesOf(log)).section("render ", -1).section('\n', 0, 0);
            return ::kill(pid.section(' ', -1).toInt(), 0) != 0;
        };
        for (const char *name : {"first.svg", "second.svg", "broken"})
            QVERIFY(writeFile(dir->filePath(name), svg.toUtf8()));
        pick(*ui, dir->filePath("first.svg"));
        QCOMPARE(bytesOf(log).count("render "), 1); // at the well's size, and not again
        const QByteArray drawn =
            "render " + bytesOf(log).mid(bytesOf(log).indexOf("render ")).split(' ').value(1);
        QTRY_VERIFY(d()->previewIdle());
        QVERIFY(QFile::rename(dir->filePath("broken"), dir->filePath("slow")));
        QSignalSpy loaded(d(), &AppDelegate::sourceLoadFinished);
        accept(*ui, openDialog(*ui, "chooseImageButton"), dir->filePath("second.svg"));
        QTRY_COMPARE(bytesOf(log).count(drawn), 2);
        d()->loadAppearance(AppDelegate::Appearance::Back,
                            QUrl::fromLocalFile(image("back.png", {9, 9})));
        QVERIFY(loaded.wait());
        QVERIFY(d()->imageView()->isBusy());
        typeInto(d()->widthField(), "64"); // the locked height follows at the first source's ratio
        QCOMPARE(d()->heightField()->text(), "32");
        QTest::keyClick(d()->widthField(), Qt::Key_Escape);
        QVERIFY(!d()->imageView()->isBusy());
        QCOMPARE(shown(*d()) + '|' + d()->backCombo()->currentText(),
                 QString("64|32|%1/|first|Stopped reading “second.svg”.|%1/first.svg|0.5|40|"
                         "back.png")
                     .arg(dir->path()));
        QTRY_VERIFY_WITH_TIMEOUT(ended(), 20000);
        QTRY_VERIFY(d()->backgroundWork().isIdle());
        QCOMPARE(loaded.size(), 1);
        d()->previewSetCombo()->setCurrentIndex(1);
        QTRY_VERIFY(!ended()); // the Mac set is being drawn
        QTest::keyClick(d()->imageView(), Qt::Key_Delete);
        QTRY_VERIFY_WITH_TIMEOUT(ended(), 20000);
        accept(*ui, openDialog(*ui, "chooseImageButton"), dir->filePath("second.svg"));
        QTRY_VERIFY(!ended());
        ui.reset();
        QVERIFY(!bytesOf(log).contains("finished"));
    }

    // A drawing fills the well at the well's own device pixels, and again after a resize: a red
    // 108-unit square spans the well's shorter side, and the blue 1-unit line across it keeps
    // edges no softer than a pixel each, where a small picture enlarged would blur them.
    void drawingFillsTheWell()
    {
        ImageWell *well = d()->imageView();
        QVERIFY(writeFile(dir->filePath("small.svg"),
                          "<svg xmlns='http://www.w3.org/2000/svg' width='108' height='108'>"
                          "<rect width='108' height='108' fill='#f00'/>"
                          "<rect x='60' width='1' height='108' fill='#00f'/></svg>"));
        const auto check = [well] {
            QTRY_VERIFY(!well->isRedrawing());
            const QImage shot = well->grab().toImage().convertToFormat(QImage::Format_RGB32);
            const double ratio = well->devicePixelRatioF();
            const int y = shot.height() / 2;
            int blue = 0, mixed = 0, first = -1, last = -1;
            for (int x = 0; x < shot.width(); ++x) {
                const QRgb p = shot.pixel(x, y);
                blue += p == qRgb(0, 0, 255);
                if (p == qRgb(255, 0, 0))
                    last = x, first = first < 0 ? x : first;
            }
            for (int x = first; x <= last; ++x)
                mixed += shot.pixel(x, y) != qRgb(255, 0, 0) && shot.pixel(x, y) != qRgb(0, 0, 255);
            const double shorter = std::min(well->width(), well->height()) * ratio;
            QVERIFY2(last - first + 1 > shorter - 20 * ratio && last - first < shorter,
                     qPrintable(QString("%1 of %2").arg(last - first + 1).arg(shorter)));
            QVERIFY2(blue >= int((last - first) / 108.0) - 1 && mixed <= 2,
                     qPrintable(QString("%1 blue, %2 mixed").arg(blue).arg(mixed)));
        };
        pick(*ui, dir->filePath("small.svg"));
        check();
        const QSize before = well->picture().size();
        ui->window->resize(ui->window->size() + QSize(300, 200));
        QTRY_VERIFY(well->picture().size() != before);
        check();
    }

    // name|the set the preview shows first|what the user does: keys on Platform, or a button
    // pressed|the set it shows then
    void platformShowsInPreview_data()
    {
        rowsOf("watchOS chosen again|ios|Down Up|watch;visionOS|mac|Down|vision;"
               "tvOS|ios|Down Down|tv;Icon Composer File|mac|End|icon;"
               "Write: watchOS|mac|platformButton|watch;iOS App Icon|mac|iosButton|ios;"
               "Mac App Icon|ios|macButton|mac;Image Set|ios|imageSetButton|imageset");
    }
    // Choosing a set to write shows it in the preview; the preview is still chosen on its own.
    void platformShowsInPreview()
    {
        QFETCH(QStringList, f);
        const QStringList sets{"ios", "mac", "imageset", "watch", "vision", "tv", "icon"};
        pick(*ui, image("small.png", {64, 64}));
        d()->previewSetCombo()->setCurrentIndex(sets.indexOf(f[1]));
        if (f[2].endsWith("Button")) {
            exportWith(*ui, qPrintable(f[2]));
        } else {
            QTest::keyClick(ui->window.get(), 'p', Qt::AltModifier);
            QTRY_COMPARE(QApplication::focusWidget(), d()->platformCombo());
            for (const QString &key : f[2].split(' '))
                QTest::keyClick(d()->platformCombo(), key == "Down" ? Qt::Key_Down
                                                      : key == "Up" ? Qt::Key_Up
                                                                    : Qt::Key_End);
        }
        QCOMPARE(sets.value(d()->previewSetCombo()->currentIndex()), f[3]);
        d()->previewSetCombo()->setCurrentIndex(sets.indexOf(f[1]));
        QCOMPARE(sets.value(d()->previewSetCombo()->currentIndex()), f[1]);
    }

    // name|the window's height, 0 for its first size|the sets previewed|a tile of the last|the
    // scale it is shown at, "<1" for any halving
    void stripScrollsSideways_data()
    {
        rowsOf("first size: every set|0|ios mac imageset watch vision tv||;"
               "first size: the iOS 180 px tile halved|0|ios|Icon-60@3x.png|<1;"
               "taller: the iOS 180 px tile at 1:1|1000|ios|Icon-60@3x.png|1;"
               "taller: a 29 px icon at 2x|1000|ios|Icon-Small.png|2;"
               "taller: the App Store icon at a quarter|1000|ios|Icon-1024.png|0.25;"
               "taller: the Mac 512 px icon halved|1000|mac|Icon-512.png|0.5");
    }
    // The window first opens no taller than a 1366x768 screen leaves it, the controls above the
    // strip unsqueezed. Each tile is halved only while it is too tall for the strip: the strip
    // scrolls sideways only, and a taller window brings tiles back to 1:1.
    void stripScrollsSideways()
    {
        QFETCH(QStringList, f);
        QWidget *content = ui->window->centralWidget();
        PreviewStrip *strip = d()->previewStrip();
        const QSize hint = strip->sizeHint();
        QVERIFY(ui->window->height() <= 740);
        pick(*ui, image("large.png", {1024, 1024}));
        d()->setBackgroundColour(QColor(0x33, 0x66, 0x99));  // visionOS needs an opaque back
        QTRY_VERIFY_WITH_TIMEOUT(d()->previewIdle(), 30000); // tiles laid out at the first size
        if (f[1] != "0") {
            ui->window->resize(ui->window->width(), f[1].toInt());
            QTRY_COMPARE(ui->window->height(), f[1].toInt());
        }
        QVERIFY(content->height() >= content->minimumSizeHint().height());
        const QStringList sets{"ios", "mac", "imageset", "watch", "vision", "tv"};
        for (const QString &set : f[2].split(' ')) {
            d()->previewSetCombo()->setCurrentIndex(sets.indexOf(set));
            QTRY_VERIFY_WITH_TIMEOUT(d()->previewIdle(), 30000);
            const QList<PreviewStrip::Tile> tiles = strip->tiles();
            const QString what = QString("%1: %2 tiles, %3 tall in %4")
                                     .arg(set)
                                     .arg(tiles.size())
                                     .arg(strip->widget()->height())
                                     .arg(strip->viewport()->height());
            QVERIFY2(!tiles.isEmpty() && !strip->verticalScrollBar()->isVisible() &&
                         strip->sizeHint() == hint,
                     qPrintable(what));
            int tallest = 0; // as shown
            for (qsizetype i = 0; i < tiles.size(); ++i)
                tallest = std::max(tallest, int(tiles[i].image.height() * strip->zoomOf(i)));
            const int room = strip->viewport()->height() - (strip->widget()->height() - tallest);
            for (qsizetype i = 0; i < tiles.size(); ++i) {
                const QSize size = tiles[i].image.size();
                const double zoom = strip->zoomOf(i);
                const bool halved = zoom < (std::max(size.width(), size.height()) <= 32 ? 2 : 1);
                QVERIFY2(!halved || size.height() * zoom * 2 > room || size.width() * zoom > 640,
                         qPrintable(what + ": " + tiles[i].name + " could be larger"));
            }
        }
        if (f[2].endsWith("tv"))
            QVERIFY(strip->horizontalScrollBar()->isVisible()); // its tiles are wider than it
        qsizetype tile = 0;
        while (tile < strip->tiles().size() && strip->tiles()[tile].name != f[3])
            ++tile;
        const double zoom = strip->zoomOf(tile);
        QVERIFY2(f[4].isEmpty() || (f[4] == "<1" ? zoom > 0 && zoom < 1 : zoom == f[4].toDouble()),
                 qPrintable(QString("%1 at %2").arg(f[3]).arg(zoom)));
    }

    // File > Check Catalogue… lists what a check finds in the folder chosen, errors first, each
    // with its file. A check started before it and held up, here by a Contents.json that is a
    // pipe, has its result dropped when it comes.
    void checkCatalogue()
    {
        const QString set = dir->filePath("Assets.xcassets/AppIcon.appiconset");
        QVERIFY(writeFile(set + "/Contents.json",
                          R"({"images":[{"idiom":"iphone","scale":"2x","size":"20x20",)"
                          R"("filename":"gone.png"}],"info":{"version":1,"author":"xcode"}})"));
        saveImage(set + "/stray.png", card({40, 40}, false));
        const QList<QWidget *> before = QApplication::topLevelWidgets();
        QTest::keyClick(ui->window.get(), Qt::Key_K, Qt::ControlModifier);
        QFileDialog *dialog = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (!before.contains(w) && qobject_cast<QFileDialog *>(w))
                dialog = qobject_cast<QFileDialog *>(w);
        }
        QVERIFY(dialog && dialog->fileMode() == QFileDialog::Directory);
        const QByteArray pipe =
            QFile::encodeName(dir->filePath("held/Held.imageset/Contents.json"));
        QVERIFY(QDir().mkpath(dir->filePath("held/Held.imageset")) && ::mkfifo(pipe, 0600) == 0);
        d()->checkCatalogueFolder(dir->filePath("held"));
        int writer = -1;
        const auto release = qScopeGuard([&] { ::close(writer); });
        const auto reading = [&] { // a writer opens only while the check reads the pipe
            writer = writer < 0 ? ::open(pipe, O_WRONLY | O_NONBLOCK | O_CLOEXEC) : writer;
            return writer >= 0;
        };
        QTRY_VERIFY(reading());
        QSignalSpy checked(d(), &AppDelegate::checkFinished);
        accept(*ui, dialog, dir->filePath("Assets.xcassets"));
        QVERIFY(checked.wait());
        ::close(std::exchange(writer, -1));
        QTRY_VERIFY(d()->backgroundWork().isIdle());
        QTreeWidget *list = d()->checkDialog()->list();
        QVERIFY(d()->checkDialog()->isVisible());
        QStringList rows;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            rows << list->topLevelItem(i)->text(0) + ' ' + list->topLevelItem(i)->text(1) + ' ' +
                        list->topLevelItem(i)->text(2);
        QCOMPARE(rows, QStringList({"error missing-file AppIcon.appiconset/gone.png",
                                    "warning unassigned AppIcon.appiconset/stray.png"}));
    }

    // A huge file, chosen or dropped, is read row by row, and the status line counts the rows
    // held as they come: 16384 by 8 is held at 4096 by 2, two rows.
    void hugeSourceCountsItsRows_data() { rowsOf("chosen|pick;dropped|drop"); }
    void hugeSourceCountsItsRows()
    {
        QFETCH(QStringList, f);
        qRegisterMetaType<SourceLoader::Role>();
        QSignalSpy progressed(d()->loader(), &SourceLoader::progressed);
        QStringList said;
        connect(d()->loader(), &SourceLoader::progressed, this,
                [&] { said << d()->statusLabel()->accessibleName(); });
        const QString wide = image("wide.png", {16384, 8});
        if (f[1] == "pick") {
            pick(*ui, wide);
        } else {
            QMimeData file;
            file.setUrls({QUrl::fromLocalFile(wide)});
            QCOMPARE(dropOn(d()->imageView(), &file), 2);
            QTRY_VERIFY(!d()->imageView()->isBusy());
        }
        QCOMPARE(said, QStringList({"Reading “wide.png”… 50% Esc stops.",
                                    "Reading “wide.png”… 100% Esc stops."}));
        QCOMPARE(progressed.size(), 2);
        QTRY_COMPARE(d()->widthField()->text(), "16384");
    }
};

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
