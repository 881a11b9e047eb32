#include "AppDelegate.h"

#include "CheckDialog.h"
#include "ImageWell.h"
#include "catalogue/AssetNaming.h"
#include "catalogue/CatalogueChecker.h"
#include "catalogue/ImageSetDescription.h"
#include "export/AssetExporter.h"
#include "export/IconRenderer.h"
#include "export/PngEncoder.h"
#include "export/Renderer.h"
#include "export/Resampler.h"
#include "catalogue/DigitText.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QStandardItemModel>
#include <QTemporaryDir>

namespace {

// The checked state of a check box as its delegate reads it: 1 when on.
int stateOf(const QCheckBox *box)
{
    return box && box->checkState() == Qt::Checked ? 1 : 0;
}

QString textOf(const QLineEdit *field)
{
    return field ? field->text() : QString();
}

void setTextOf(QLineEdit *field, const QString &text)
{
    if (field)
        field->setText(text);
}

const QString ChooseFileItem = QStringLiteral("file");

// The sets the preview can show, in the order of its menu, and those under Platform. The last,
// a document's six looks, is there only for an Icon Composer document.
const QStringList PreviewSets{QStringLiteral("ios"),      QStringLiteral("mac"),
                              QStringLiteral("imageset"), QStringLiteral("watch"),
                              QStringLiteral("vision"),   QStringLiteral("tv"),
                              QStringLiteral("icon"),     QStringLiteral("appearances")};
const QStringList PlatformSets{QStringLiteral("watch"), QStringLiteral("vision"),
                               QStringLiteral("tv"), QStringLiteral("icon")};

// The preview of an image set is drawn only while its largest file stays this small.
constexpr int PreviewBound = 4096;

// A document's looks in the preview: each as its export draws it for iOS, at this size.
constexpr int AppearancePixels = 256;
const QList<std::pair<IconRenderer::Appearance, const char *>> Appearances{
    {IconRenderer::Appearance::Default, QT_TRANSLATE_NOOP("AppDelegate", "Default")},
    {IconRenderer::Appearance::Dark, QT_TRANSLATE_NOOP("AppDelegate", "Dark")},
    {IconRenderer::Appearance::ClearLight, QT_TRANSLATE_NOOP("AppDelegate", "Clear Light")},
    {IconRenderer::Appearance::ClearDark, QT_TRANSLATE_NOOP("AppDelegate", "Clear Dark")},
    {IconRenderer::Appearance::TintedLight, QT_TRANSLATE_NOOP("AppDelegate", "Tinted Light")},
    {IconRenderer::Appearance::TintedDark, QT_TRANSLATE_NOOP("AppDelegate", "Tinted Dark")}};

// Drawn off the window's thread from the bundle itself: the document keeps what the flat
// pictures lose (its layers, fills and looks).
AssetExporter::Preview previewAppearances(const QString &bundle, const std::atomic_bool *cancel)
{
    AssetExporter::Preview preview;
    const IconRenderer::Loaded loaded = IconRenderer::load(bundle, cancel);
    if (!loaded.error.isEmpty()) {
        preview.refusal = loaded.error;
        return preview;
    }
    QList<IconRenderer::Request> requests;
    for (const auto &appearance : Appearances)
        requests.append({AppearancePixels, appearance.first, IconRenderer::Platform::IOS,
                         IconRenderer::Mask::Platform});
    const QList<IconRenderer::Rendered> drawn =
        IconRenderer::renderAll(loaded.document, requests, cancel);
    for (qsizetype i = 0; i < drawn.size() && i < Appearances.size(); ++i) {
        if (drawn[i].image.isNull()) {
            preview.refusal = drawn[i].error;
            preview.files.clear();
            return preview;
        }
        preview.files.append({AppDelegate::tr(Appearances[i].second),
                              drawn[i].image.convertToFormat(QImage::Format_ARGB32)});
    }
    return preview;
}

// The .icon the Icon Composer button would write, drawn from a copy written aside: its six
// appearances, and each layer's own picture when a layered drawing gives the layers.
AssetExporter::Preview previewIconFile(const SourceImage *source,
                                       const AssetExporter::AppIconOptions &options,
                                       const std::atomic_bool *cancel)
{
    AssetExporter::Preview preview;
    QTemporaryDir aside;
    if (!aside.isValid()) {
        preview.refusal =
            AppDelegate::tr("There is no room to draw the document: %1").arg(aside.errorString());
        return preview;
    }
    const QString name = QStringLiteral("Preview");
    const ExportReport written =
        AssetExporter::writeIconBundle(source, aside.path(), name, options, 0);
    if (!written.succeeded()) {
        preview.refusal = written.summary();
        return preview;
    }
    preview = previewAppearances(aside.filePath(name + QStringLiteral(".icon")), cancel);
    for (qsizetype i = 0; i < options.layers.size() && preview.refusal.isEmpty(); ++i) {
        const SourceImage *layer = options.layers[i];
        const QString layerName = options.layerNames.value(i);
        QImage picture;
        if (layer->isVector()) {
            const SourceImage::Drawn drawn =
                layer->renderVector({QSize(AppearancePixels, AppearancePixels)}, cancel);
            if (!drawn.error.isEmpty()) {
                preview.refusal = drawn.error;
                preview.files.clear();
                return preview;
            }
            picture = drawn.images.value(0);
        } else {
            picture =
                Resampler::resample(layer->bitmapFor(QSize(AppearancePixels, AppearancePixels)),
                                    AppearancePixels, AppearancePixels);
        }
        preview.files.append({layerName, picture, layerName});
    }
    return preview;
}

// The kinds of background request besides reading: a newer one of a kind replaces the older.
const QString PreviewWork = QStringLiteral("preview");
const QString ExportWork = QStringLiteral("export");
const QString CheckWork = QStringLiteral("check");

SourceLoader::Role roleOf(AppDelegate::Appearance which)
{
    return which == AppDelegate::Appearance::Dark     ? SourceLoader::Role::Dark
           : which == AppDelegate::Appearance::Tinted ? SourceLoader::Role::Tinted
                                                      : SourceLoader::Role::Back;
}

QString htmlOf(const QString &text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>"));
}

// How many layers a drawing has and which are left out, or why it is drawn whole where that is
// news; empty for a source of one layer.
QString layersLine(const SourceLayers::Found &layers)
{
    if (!layers.notSplit.isEmpty())
        return QObject::tr("visionOS, tvOS and Icon Composer draw the drawing whole, as one "
                           "layer: %1.")
            .arg(layers.notSplit);
    if (!layers.layered())
        return QString();
    // Grouped by why, in the order first met: guides and variants are hidden alike.
    QStringList reasons;
    QMap<QString, QStringList> namesFor;
    for (const LayeredDrawing::Layer &layer : layers.drawing.layers()) {
        if (layer.kept())
            continue;
        if (!reasons.contains(layer.why))
            reasons << layer.why;
        namesFor[layer.why] << layer.name;
    }
    QStringList leftOut;
    for (const QString &why : std::as_const(reasons))
        leftOut << QObject::tr("%1 (%2)").arg(namesFor[why].join(QStringLiteral(", ")), why);
    // A layered drawing has two layers or more.
    const QString found = QObject::tr("%1 layers found").arg(layers.drawing.layers().size());
    QString line = leftOut.isEmpty() ? QObject::tr("%1, front first: %2.")
                                           .arg(found, layers.names.join(QStringLiteral(", ")))
                                     : QObject::tr("%1; drawn, front first: %2; left out: %3.")
                                           .arg(found, layers.names.join(QStringLiteral(", ")),
                                                leftOut.join(QStringLiteral(", ")));
    const QStringList effects = layers.drawing.crossLayer();
    if (!effects.isEmpty())
        line +=
            QLatin1Char(' ') + QObject::tr("Laid over each other they differ from the drawing: %1.")
                                   .arg(effects.join(QStringLiteral("; ")));
    return line;
}

// The strip a file of a stack goes on: its layer, else the folder it is in ("Top Shelf
// Image"); none for a set without layers.
QString rowOf(const QString &path)
{
    const QStringList parts = path.split(QLatin1Char('/'));
    for (const QString &part : parts) {
        if (part.endsWith(QLatin1String("imagestacklayer")))
            return part.section(QLatin1Char('.'), 0, 0);
    }
    return parts.size() > 1 ? parts.first().section(QLatin1Char('.'), 0, 0) : QString();
}

} // namespace

AppDelegate::~AppDelegate()
{
    TextFieldDelegate::setDelegate(_widthField, nullptr);
    TextFieldDelegate::setDelegate(_heightField, nullptr);
}

void AppDelegate::applicationDidFinishLaunching(QObject *)
{
    heightDividedByWidthRatio = 1.0;
    TextFieldDelegate::setDelegate(_widthField, this);
    TextFieldDelegate::setDelegate(_heightField, this);

    previewTimer.setSingleShot(true);
    previewTimer.setInterval(120);
    connect(&previewTimer, &QTimer::timeout, this, &AppDelegate::startPreview);
    connect(&sourceLoader, &SourceLoader::busyChanged, this,
            [this](SourceLoader::Role role, bool busy) {
                if (_stopAction)
                    _stopAction->setEnabled(sourceLoader.isBusy());
                if (busy)
                    showStatus(tr("Reading “%1”… Esc stops.").arg(sourceLoader.currentName(role)));
            });
    connect(&sourceLoader, &SourceLoader::progressed, this,
            [this](SourceLoader::Role role, int percent) {
                showStatus(tr("Reading “%1”… %2% Esc stops.")
                               .arg(sourceLoader.currentName(role))
                               .arg(percent));
            });
    connect(&sourceLoader, &SourceLoader::cancelled, this, [this](const QString &name) {
        showStatus(tr("Stopped reading “%1”.").arg(name));
        // A stopped pick leaves its menu as it was before.
        for (Appearance which : {Appearance::Dark, Appearance::Tinted, Appearance::Back})
            fillAppearanceCombo(which);
    });
    for (Appearance which : {Appearance::Dark, Appearance::Tinted, Appearance::Back})
        fillAppearanceCombo(which);
    mainSourceChanged();
    schedulePreview();
}

bool AppDelegate::applicationShouldTerminateAfterLastWindowClosed(QObject *)
{
    return true;
}

void AppDelegate::controlTextDidChange(const TextChangeNotification &notification)
{
    sizeFieldChanged(notification.object);
}

void AppDelegate::applicationWillTerminate(QObject *) {}

void AppDelegate::chooseImageFile(QObject *)
{
    askFor(tr("Choose Image"), QFileDialog::ExistingFile,
           [this](const QUrl &url) { openImageFile(url); });
}

// A non-modal dialog, so the window stays usable while it is open; `chosen` gets the file or
// folder picked, `dismissed` runs when nothing was.
void AppDelegate::askFor(const QString &title, QFileDialog::FileMode mode,
                         const std::function<void(const QUrl &)> &chosen,
                         const std::function<void()> &dismissed)
{
    auto *dialog = new QFileDialog(_window, title);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(mode);
    if (mode == QFileDialog::Directory)
        dialog->setOption(QFileDialog::ShowDirsOnly);
    // A document is a folder: where the dialog cannot pick one, its icon.json names it.
    else
        dialog->setNameFilters({tr("Images (*.png *.jpg *.jpeg *.gif *.bmp *.webp *.tif *.tiff "
                                   "*.icns *.ico *.svg *.svgz icon.json *.icon)"),
                                tr("All files (*)")});
    // With this object as the context, nothing runs once the controller is gone.
    connect(dialog, &QFileDialog::finished, this, [dialog, chosen, dismissed](int result) {
        if (result == QDialog::Accepted && !dialog->selectedUrls().isEmpty())
            chosen(dialog->selectedUrls().at(0));
        else if (dismissed)
            dismissed();
    });
    dialog->show();
}

// The loader's results reach this object only while it lives: they come through its own
// background work.
void AppDelegate::openImageFile(const QUrl &url)
{
    sourceLoader.loadFile(
        SourceLoader::Role::Main, url.toLocalFile(), [this, url](const SourceLoader::Read &read) {
            // A file that gives no image leaves the current source, its ratio and the fields as
            // they were: the well would otherwise show a picture no export can use.
            if (!read.loaded.image) {
                showStatus(read.loaded.error);
                emit sourceLoadFinished(read.loaded.error);
                return;
            }
            original = read.loaded;
            originalLayers = read.layers;
            const QSizeF size = original.image->size();
            heightDividedByWidthRatio = size.height() / size.width();
            // A document chosen by its icon.json is named, and written beside, as its bundle.
            const QString bundle = SourceFile::documentOf(url.toLocalFile());
            originalDocument = bundle.isEmpty() ? QString() : QDir::cleanPath(bundle);
            selectedUrl = bundle.isEmpty() ? url : QUrl::fromLocalFile(originalDocument);
            if (_imageView)
                _imageView->setSource(original, selectedUrl.toLocalFile(), read.picture,
                                      read.noPicture, originalLayers);
            mainSourceChanged();
            updateFields();
            showStatus(QString());
            schedulePreview();
            emit sourceLoadFinished(QString());
        });
}

void AppDelegate::stopReading(QObject *)
{
    sourceLoader.cancel();
}

void AppDelegate::chooseOutputFolder(QObject *)
{
    askFor(tr("Choose Output Folder"), QFileDialog::Directory, [this](const QUrl &url) {
        selectedOutput = url;
        updateFields();
    });
}

void AppDelegate::imageViewChanged(QObject *sender)
{
    const auto *well = qobject_cast<const ImageWell *>(sender);
    original = well ? well->source() : SourceFile::Opened{};
    originalLayers = well ? well->layers() : SourceLayers::Found{};
    const QString bundle = well ? SourceFile::documentOf(well->sourcePath()) : QString();
    originalDocument = bundle.isEmpty() ? QString() : QDir::cleanPath(bundle);
    mainSourceChanged();
    updateFields();
    showStatus(QString());
    schedulePreview();
}

void AppDelegate::updateFields()
{
    if (original.image) {
        const QSizeF size = original.image->size();
        setTextOf(_widthField, QString::number(DigitText::truncateToInt32(size.width())));
        setTextOf(_heightField, QString::number(DigitText::truncateToInt32(size.height())));
    }
    const QString sourcePath = selectedUrl.toLocalFile();
    if (textOf(_filePathField).isEmpty() && !sourcePath.isEmpty())
        setTextOf(_filePathField, AssetNaming::defaultOutputFolder(sourcePath));
    if (!sourcePath.isEmpty())
        setTextOf(_assetNameField, AssetNaming::defaultAssetName(selectedUrl.fileName()));
    if (original.image && _imageView && _imageView->image() != original.image)
        _imageView->setSource(original, originalDocument, QImage(), QString(), originalLayers);
    const QString outputPath = selectedOutput.toLocalFile();
    if (!outputPath.isEmpty())
        setTextOf(_filePathField, outputPath);
}

void AppDelegate::generateIcons(QObject *)
{
    generateIconsFor(QStringLiteral("ios"));
}

void AppDelegate::generateMacIcons(QObject *)
{
    generateIconsFor(QStringLiteral("mac"));
}

void AppDelegate::generateIconsFor(const QString &platform)
{
    showInPreview(platform);
    // The options point into the sources: the copies held here keep them alive while it writes.
    runExport([source = original, dark = darkImage, tinted = tintedImage, back = backImage,
               layers = originalLayers.images, folder = textOf(_filePathField), platform,
               options = appIconOptions()](const AssetExporter::Progress &progress) {
        if (platform == QLatin1String("icon"))
            return AssetExporter::writeIconBundle(source.image.get(), folder,
                                                  options.name.isEmpty() ? QStringLiteral("AppIcon")
                                                                         : options.name,
                                                  options, 0, progress);
        const SourceImagePtr &main =
            platform == QLatin1String("watch") && source.watch ? source.watch : source.image;
        return AssetExporter::writeAppIconSet(
            main.get(), folder, *AssetPlan::platformOfKey(platform), options, 0, progress);
    });
}

void AppDelegate::generatePlatformIcons(QObject *)
{
    const QString platform =
        PlatformSets.value(_platformCombo ? _platformCombo->currentIndex() : 0);
    if (!platform.isEmpty())
        generateIconsFor(platform);
}

void AppDelegate::platformChosen(int index)
{
    showInPreview(PlatformSets.value(index));
}

void AppDelegate::showInPreview(const QString &set)
{
    const int shown = PreviewSets.indexOf(set);
    if (shown >= 0 && _previewSetCombo)
        _previewSetCombo->setCurrentIndex(shown);
}

void AppDelegate::sizeFieldChanged(QObject *sender)
{
    auto *field = qobject_cast<QLineEdit *>(sender);
    if (!field)
        return;
    int cursor = field->cursorPosition();
    const QString digits = DigitText::keepDigits(field->text(), &cursor);
    field->setText(digits);
    field->setCursorPosition(cursor);
    imageSetFieldsChanged();

    if (field == _widthField) {
        if (stateOf(_proportionsCheckBox) != 1)
            return;
        setTextOf(_heightField, QString::number(AssetNaming::heightForWidth(
                                    textOf(_widthField), heightDividedByWidthRatio)));
    } else if (field == _heightField) {
        if (stateOf(_proportionsCheckBox) != 1)
            return;
        setTextOf(_widthField, QString::number(AssetNaming::widthForHeight(
                                   textOf(_heightField), heightDividedByWidthRatio)));
    }
}

void AppDelegate::generateSizes(QObject *)
{
    showInPreview(QStringLiteral("imageset"));
    const QSizeF base = maximumSizeForAsset();
    const ImageSetDescription set(std::int32_t(base.width()), std::int32_t(base.height()),
                                  textOf(_assetNameField));
    runExport([source = original.image, folder = textOf(_filePathField),
               set](const AssetExporter::Progress &progress) {
        return AssetExporter::writeImageSet(source.get(), folder, set, 0, progress);
    });
}

QSizeF AppDelegate::maximumSizeForAsset()
{
    return QSizeF(double(DigitText::toInt32(textOf(_widthField))),
                  double(DigitText::toInt32(textOf(_heightField))));
}

QList<QSizeF> AppDelegate::sizesToMakeForAsset()
{
    const QSizeF base = maximumSizeForAsset();
    return ImageSetDescription(std::int32_t(base.width()), std::int32_t(base.height()), {}).sizes();
}

QString AppDelegate::fileNameForAssetOfIndex(std::int64_t index)
{
    return ImageSetDescription(0, 0, textOf(_assetNameField)).fileNameForIndex(index);
}

QJsonObject AppDelegate::assetContents()
{
    return ImageSetDescription(0, 0, textOf(_assetNameField)).contents();
}

QImage AppDelegate::resizeImage(const SourceImagePtr &image, QSizeF size)
{
    return Renderer::render(image.get(), size);
}

QByteArray AppDelegate::PNGRepresentationOfImage(const QImage &image)
{
    return PngEncoder::encode(image);
}

void AppDelegate::makeNewWindow(QObject *) {}

void AppDelegate::showStatus(const QString &message)
{
    if (!_statusLabel)
        return;
    _statusLabel->setText(htmlOf(message));
    // A screen reader reads a label by its name.
    _statusLabel->setAccessibleName(message);
}

// The folder in the summary is a link that opens it in the file manager.
void AppDelegate::showReport(const ExportReport &report)
{
    showStatus(report.summaryWithWarnings());
    if (!_statusLabel || report.writtenCount() == 0)
        return;
    const QString where = QDir::cleanPath(report.folder);
    const QString link =
        QStringLiteral("<a href=\"%1\">%2</a>")
            .arg(QUrl::fromLocalFile(where).toString(QUrl::FullyEncoded).toHtmlEscaped(),
                 where.toHtmlEscaped());
    _statusLabel->setText(
        htmlOf(report.summaryWithWarnings()).replace(where.toHtmlEscaped(), link));
}

void AppDelegate::setExportControls(const QList<QWidget *> &controls)
{
    _exportControls.clear();
    for (QWidget *control : controls)
        _exportControls.append(control);
}

// The export runs on another thread so the window keeps drawing; the files are still written
// one after another in list order, Contents.json first, each from the full source. Progress shows
// once an export has taken half a second, and the controls that would change it wait.
void AppDelegate::runExport(std::function<ExportReport(const AssetExporter::Progress &)> write)
{
    if (exporting)
        return;
    exporting = true;
    progressShown = false;
    progressWritten = progressTotal = 0;
    exportFolder = textOf(_filePathField);
    for (const QPointer<QWidget> &control : std::as_const(_exportControls)) {
        if (control)
            control->setEnabled(false);
    }
    QTimer::singleShot(500, this, [this] {
        if (!exporting)
            return;
        progressShown = true;
        showProgress();
    });
    // The write takes no cancel flag: a folder is never left half written.
    work.start<ExportReport>(
        ExportWork,
        [this, write = std::move(write)](const BackgroundWork::Request &request) {
            return write([this, request](int written, int total) {
                request.post([this, written, total] {
                    progressWritten = written;
                    progressTotal = total;
                    if (progressShown)
                        showProgress();
                    emit exportProgress(written, total);
                });
            });
        },
        [this](const ExportReport &report) {
            exporting = false;
            for (const QPointer<QWidget> &control : std::as_const(_exportControls)) {
                if (control)
                    control->setEnabled(true);
            }
            optionsChanged();
            showReport(report);
            emit exportFinished(report.summaryWithWarnings());
        });
}

void AppDelegate::showProgress()
{
    showStatus(progressTotal == 0 ? tr("Writing to %1…").arg(exportFolder)
                                  : tr("Writing %1 of %2 files to %3…")
                                        .arg(progressWritten)
                                        .arg(progressTotal)
                                        .arg(exportFolder));
}

void AppDelegate::chooseBackgroundColour(QObject *)
{
    auto *dialog = new QColorDialog(background.isValid() ? background : QColor(Qt::white), _window);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(tr("Background Colour"));
    const QPointer<AppDelegate> self(this);
    connect(dialog, &QColorDialog::colorSelected, this, [self](const QColor &colour) {
        if (self)
            self->setBackgroundColour(colour);
    });
    dialog->open();
}

void AppDelegate::setBackgroundColour(const QColor &colour)
{
    // App Store upload needs an opaque icon: the colour's own alpha is dropped.
    background = colour.isValid() ? colour.toRgb() : QColor();
    if (background.isValid())
        background.setAlpha(255);
    if (_backgroundButton) {
        QPixmap swatch(16, 16);
        swatch.fill(background.isValid() ? background : QColor(Qt::transparent));
        _backgroundButton->setIcon(background.isValid() ? QIcon(swatch) : QIcon());
        _backgroundButton->setText(background.isValid() ? background.name() : tr("None"));
        _backgroundButton->setAccessibleDescription(
            background.isValid() ? background.name() : tr("None: the icons keep transparency"));
    }
    if (_backgroundClearButton)
        _backgroundClearButton->setEnabled(background.isValid());
    schedulePreview();
}

QComboBox *AppDelegate::comboFor(Appearance which) const
{
    return which == Appearance::Dark     ? _darkCombo
           : which == Appearance::Tinted ? _tintedCombo
                                         : _backCombo;
}

SourceImagePtr &AppDelegate::imageFor(Appearance which)
{
    return which == Appearance::Dark     ? darkImage
           : which == Appearance::Tinted ? tintedImage
                                         : backImage;
}

QString &AppDelegate::nameFor(Appearance which)
{
    return which == Appearance::Dark     ? darkName
           : which == Appearance::Tinted ? tintedName
                                         : backName;
}

// The menu of an appearance: none, automatic (tinted only), the file picked, and a way to pick
// one; the current choice selected.
void AppDelegate::fillAppearanceCombo(Appearance which)
{
    QComboBox *combo = comboFor(which);
    if (!combo)
        return;
    const QString current = combo->currentData().toString();
    const QSignalBlocker blocker(combo);
    combo->clear();
    // With none chosen, a document's own look is written, as the command line writes it.
    const bool own = which == Appearance::Dark     ? bool(original.dark)
                     : which == Appearance::Tinted ? bool(original.tinted)
                                                   : false;
    combo->addItem(which == Appearance::Back ? tr("The background colour")
                   : own                     ? tr("The document's own")
                                             : tr("None"),
                   QStringLiteral("none"));
    if (which == Appearance::Tinted)
        combo->addItem(tr("Automatic: the source in grey"), QStringLiteral("auto"));
    const QString name = nameFor(which);
    if (!name.isEmpty())
        combo->addItem(name, QStringLiteral("picked"));
    combo->addItem(tr("Choose File…"), ChooseFileItem);
    int index = combo->findData(current);
    if (current == ChooseFileItem || index < 0)
        index =
            combo->findData(imageFor(which) ? QStringLiteral("picked") : QStringLiteral("none"));
    combo->setCurrentIndex(index);
}

void AppDelegate::appearanceChosen(Appearance which, int index)
{
    QComboBox *combo = comboFor(which);
    if (!combo)
        return;
    const QString choice = combo->itemData(index).toString();
    if (choice != ChooseFileItem) {
        if (choice == QLatin1String("none") || choice == QLatin1String("auto")) {
            imageFor(which) = nullptr;
            nameFor(which).clear();
            fillAppearanceCombo(which);
        }
        optionsChanged();
        return;
    }
    askFor(
        which == Appearance::Dark     ? tr("Choose the Dark Appearance")
        : which == Appearance::Tinted ? tr("Choose the Tinted Appearance")
                                      : tr("Choose the Back Layer"),
        QFileDialog::ExistingFile, [this, which](const QUrl &url) { loadAppearance(which, url); },
        [this, which] { fillAppearanceCombo(which); });
}

void AppDelegate::loadAppearance(Appearance which, const QUrl &url)
{
    sourceLoader.loadFile(roleOf(which), url.toLocalFile(),
                          [this, which, url](const SourceLoader::Read &read) {
                              if (read.loaded.image) {
                                  imageFor(which) = read.loaded.image;
                                  nameFor(which) = SourceLoader::nameOf(url.toLocalFile());
                                  if (QComboBox *combo = comboFor(which))
                                      combo->setCurrentIndex(-1);
                                  showStatus(QString());
                              } else {
                                  showStatus(read.loaded.error);
                              }
                              fillAppearanceCombo(which);
                              optionsChanged();
                              emit sourceLoadFinished(read.loaded.error);
                          });
}

void AppDelegate::optionsChanged()
{
    const bool single = stateOf(_singleSizeCheckBox) == 1;
    for (QComboBox *combo : {_darkCombo.data(), _tintedCombo.data()}) {
        if (combo)
            combo->setEnabled(single && !exporting);
    }
    schedulePreview();
}

AssetExporter::AppIconOptions AppDelegate::appIconOptions() const
{
    AssetExporter::AppIconOptions options;
    options.background = background;
    options.macStyle = _macStyleCombo && _macStyleCombo->currentIndex() == 1
                           ? AssetExporter::MacStyle::Shaped
                           : AssetExporter::MacStyle::FullBleed;
    options.back = backImage.get();
    // As on the command line, a back source keeps a layered drawing whole, as the front layer.
    if (!backImage && originalLayers.layered()) {
        for (const SourceImagePtr &layer : originalLayers.images)
            options.layers << layer.get();
        options.layerNames = originalLayers.names;
    }
    // Spaces around a typed name are not part of it.
    options.name = textOf(_iconSetNameField).trimmed();
    options.singleSize = stateOf(_singleSizeCheckBox) == 1;
    if (options.singleSize) {
        options.dark = darkImage ? darkImage.get() : original.dark.get();
        const QString tinted = _tintedCombo ? _tintedCombo->currentData().toString() : QString();
        options.tinted = tinted == QLatin1String("picked") ? tintedImage.get()
                         : tinted == QLatin1String("auto") ? nullptr
                                                           : original.tinted.get();
        options.tintedFromSource = tinted == QLatin1String("auto");
    }
    return options;
}

void AppDelegate::mainSourceChanged()
{
    fillAppearanceCombo(Appearance::Dark);
    fillAppearanceCombo(Appearance::Tinted);
    if (_layersLabel) {
        _layersLabel->setText(layersLine(originalLayers));
        _layersLabel->setVisible(!_layersLabel->text().isEmpty());
    }
    if (!_previewSetCombo)
        return;
    const int looks = int(PreviewSets.indexOf(QStringLiteral("appearances")));
    if (auto *model = qobject_cast<QStandardItemModel *>(_previewSetCombo->model())) {
        if (QStandardItem *item = model->item(looks))
            item->setEnabled(!originalDocument.isEmpty());
    }
    if (originalDocument.isEmpty() && _previewSetCombo->currentIndex() == looks)
        _previewSetCombo->setCurrentIndex(0);
}

void AppDelegate::schedulePreview()
{
    previewTimer.start();
}

bool AppDelegate::previewIdle() const
{
    return !work.isBusy(PreviewWork) && !previewTimer.isActive();
}

// The size and name fields shape only the image set's files.
void AppDelegate::imageSetFieldsChanged()
{
    if (_previewSetCombo &&
        PreviewSets.value(_previewSetCombo->currentIndex()) == QLatin1String("imageset"))
        schedulePreview();
}

// Each preview is drawn from the state as it is when it starts; a newer one stops it, and so
// does a message shown in its place.
void AppDelegate::startPreview()
{
    if (!_previewStrip)
        return;
    work.stop(PreviewWork);
    if (!original.image) {
        _previewStrip->setMessage(
            tr("Choose, drop or paste a source image to see its files here."));
        emit previewFinished();
        return;
    }
    const QString kind = PreviewSets.value(_previewSetCombo ? _previewSetCombo->currentIndex() : 0);
    // The options point into the sources: the copies the drawing holds keep them alive.
    const AssetExporter::AppIconOptions options = appIconOptions();
    std::function<AssetExporter::Preview(const BackgroundWork::Request &)> draw;
    if (kind == QLatin1String("imageset")) {
        const QSizeF base = maximumSizeForAsset();
        const ImageSetDescription set(std::int32_t(base.width()), std::int32_t(base.height()),
                                      textOf(_assetNameField));
        const QSizeF largest = set.sizes().last();
        if (std::max(largest.width(), largest.height()) > PreviewBound) {
            _previewStrip->setMessage(
                tr("The 3x image would be %1 by %2 pixels: too large to preview here. It is "
                   "written all the same.")
                    .arg(largest.width(), 0, 'f', 0)
                    .arg(largest.height(), 0, 'f', 0));
            emit previewFinished();
            return;
        }
        draw = [source = original.image, set](const BackgroundWork::Request &request) {
            return AssetExporter::previewImageSet(source.get(), set, 0, request.cancel());
        };
    } else if (kind == QLatin1String("icon")) {
        draw = [source = original.image, layers = originalLayers.images, back = backImage,
                options](const BackgroundWork::Request &request) {
            return previewIconFile(source.get(), options, request.cancel());
        };
    } else if (kind == QLatin1String("appearances")) {
        draw = [bundle = originalDocument](const BackgroundWork::Request &request) {
            return previewAppearances(bundle, request.cancel());
        };
    } else {
        draw = [source = original, dark = darkImage, tinted = tintedImage, back = backImage,
                layers = originalLayers.images, kind,
                options](const BackgroundWork::Request &request) {
            const SourceImagePtr &main =
                kind == QLatin1String("watch") && source.watch ? source.watch : source.image;
            return AssetExporter::previewAppIconSet(main.get(), *AssetPlan::platformOfKey(kind),
                                                    options, 0, request.cancel());
        };
    }
    const bool maskable = kind == QLatin1String("ios");
    // A stack drawn layer by layer shows a strip for each layer.
    const bool layered = options.layers.size() >= 2;
    const bool rows = (kind == QLatin1String("vision") || kind == QLatin1String("tv")) && layered;
    work.start<AssetExporter::Preview>(
        PreviewWork, std::move(draw),
        [this, maskable, rows, document = kind == QLatin1String("icon") && layered](
            const AssetExporter::Preview &preview) {
            if (!_previewStrip)
                return;
            if (!preview.refusal.isEmpty()) {
                _previewStrip->setMessage(preview.refusal);
            } else {
                QList<PreviewStrip::Tile> tiles;
                for (const AssetExporter::PreviewFile &file : preview.files)
                    tiles.append({file.fileName, file.image,
                                  !file.layer.isEmpty() ? file.layer
                                  : rows                ? rowOf(file.fileName)
                                  : document            ? tr("The document")
                                                        : QString()});
                _previewStrip->setTiles(tiles, maskable);
            }
            emit previewFinished();
        });
}

void AppDelegate::checkCatalogue(QObject *)
{
    askFor(tr("Check Catalogue"), QFileDialog::Directory,
           [this](const QUrl &url) { checkCatalogueFolder(url.toLocalFile()); });
}

void AppDelegate::checkCatalogueFolder(const QString &folder)
{
    if (!_checkDialog)
        _checkDialog = new CheckDialog(_window);
    _checkDialog->showChecking(folder);
    _checkDialog->show();
    _checkDialog->raise();
    work.start<CatalogueChecker::Result>(
        CheckWork,
        [folder](const BackgroundWork::Request &) { return CatalogueChecker::check({folder}); },
        [this, folder](const CatalogueChecker::Result &result) {
            if (_checkDialog)
                _checkDialog->showResult(folder, result);
            emit checkFinished();
        });
}
