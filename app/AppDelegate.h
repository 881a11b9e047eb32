#pragma once

#include "BackgroundWork.h"
#include "CheckDialog.h"
#include "ImageWell.h"
#include "PreviewStrip.h"
#include "SourceLoader.h"
#include "TextFieldDelegate.h"
#include "export/AssetExporter.h"
#include "export/SourceFile.h"
#include "export/SourceLayers.h"
#include "source/SourceImage.h"

#include <QByteArray>
#include <QAction>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QPushButton>
#include <QTimer>
#include <QImage>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSizeF>
#include <QUrl>

#include <cstdint>
#include <functional>

class ExportReport;

// The application's one controller: it owns the working state (the source file and image, the
// output folder, the source's aspect ratio, the app icon options) and turns the user's picks,
// drops and typing into that state, into the window's field texts and into the preview. The
// window's controls reach it as outlets, connected through the setters; it reads and writes its
// fields directly. Reading a source, drawing the preview, writing and checking run as requests
// of its background work: the window answers input throughout, and each ends with a signal.
class AppDelegate : public QObject, public TextFieldDelegate
{
    Q_OBJECT
public:
    AppDelegate() = default;
    ~AppDelegate() override;

    void applicationDidFinishLaunching(QObject *notification);
    bool applicationShouldTerminateAfterLastWindowClosed(QObject *application);
    void controlTextDidChange(const TextChangeNotification &notification) override;
    void applicationWillTerminate(QObject *notification);

    void chooseImageFile(QObject *sender);
    void chooseOutputFolder(QObject *sender);
    void imageViewChanged(QObject *sender);
    void updateFields();
    void generateIcons(QObject *sender);
    void generateMacIcons(QObject *sender);
    void generateIconsFor(const QString &platform);
    // The watchOS, visionOS or tvOS set chosen under Platform.
    void generatePlatformIcons(QObject *sender);
    // A set chosen to write is the one the preview shows, where it has a preview.
    void platformChosen(int index);
    void showInPreview(const QString &set);
    void sizeFieldChanged(QObject *sender);
    void generateSizes(QObject *sender);
    QSizeF maximumSizeForAsset();
    QList<QSizeF> sizesToMakeForAsset();
    QString fileNameForAssetOfIndex(std::int64_t index);
    QJsonObject assetContents();
    QImage resizeImage(const SourceImagePtr &image, QSizeF size);
    QByteArray PNGRepresentationOfImage(const QImage &image);
    void makeNewWindow(QObject *sender);

    // The file chosen through the image dialog (also the path behind opening a file given to
    // the program): read on another thread, then taken as the source; sourceLoadFinished tells
    // why it gave no image, or nothing.
    void openImageFile(const QUrl &url);
    // Stops reading every source under way; the ones before stay.
    void stopReading(QObject *sender);

    // The app icon options, the same the command line takes.
    // The other sources an app icon can take: its appearances, and the back layer of a stack.
    enum class Appearance { Dark, Tinted, Back };
    void chooseBackgroundColour(QObject *sender);
    void setBackgroundColour(const QColor &colour); // invalid: none
    void appearanceChosen(Appearance which, int index);
    void loadAppearance(Appearance which, const QUrl &url);
    void optionsChanged();
    AssetExporter::AppIconOptions appIconOptions() const;

    // Asks for a folder, then lists what a catalogue check finds in it.
    void checkCatalogue(QObject *sender);
    void checkCatalogueFolder(const QString &folder);

    void schedulePreview();
    void imageSetFieldsChanged();
    bool previewIdle() const;
    bool isExporting() const { return exporting; }
    SourceLoader *loader() { return &sourceLoader; }
    const BackgroundWork &backgroundWork() const { return work; }
    CheckDialog *checkDialog() const { return _checkDialog; }
    void showStatus(const QString &message);

    QWidget *window() const { return _window; }
    void setWindow(QWidget *window) { _window = window; }
    QLineEdit *widthField() const { return _widthField; }
    void setWidthField(QLineEdit *field) { _widthField = field; }
    QLineEdit *heightField() const { return _heightField; }
    void setHeightField(QLineEdit *field) { _heightField = field; }
    QLineEdit *filePathField() const { return _filePathField; }
    void setFilePathField(QLineEdit *field) { _filePathField = field; }
    QLineEdit *assetNameField() const { return _assetNameField; }
    void setAssetNameField(QLineEdit *field) { _assetNameField = field; }
    ImageWell *imageView() const { return _imageView; }
    void setImageView(ImageWell *well) { _imageView = well; }
    QCheckBox *proportionsCheckBox() const { return _proportionsCheckBox; }
    void setProportionsCheckBox(QCheckBox *box) { _proportionsCheckBox = box; }
    QLabel *statusLabel() const { return _statusLabel; }
    void setStatusLabel(QLabel *label) { _statusLabel = label; }
    QPushButton *backgroundButton() const { return _backgroundButton; }
    void setBackgroundButton(QPushButton *button) { _backgroundButton = button; }
    void setBackgroundClearButton(QPushButton *button) { _backgroundClearButton = button; }
    QCheckBox *singleSizeCheckBox() const { return _singleSizeCheckBox; }
    void setSingleSizeCheckBox(QCheckBox *box) { _singleSizeCheckBox = box; }
    QComboBox *darkCombo() const { return _darkCombo; }
    void setDarkCombo(QComboBox *combo) { _darkCombo = combo; }
    QComboBox *tintedCombo() const { return _tintedCombo; }
    void setTintedCombo(QComboBox *combo) { _tintedCombo = combo; }
    QComboBox *backCombo() const { return _backCombo; }
    void setBackCombo(QComboBox *combo) { _backCombo = combo; }
    QComboBox *macStyleCombo() const { return _macStyleCombo; }
    void setMacStyleCombo(QComboBox *combo) { _macStyleCombo = combo; }
    QComboBox *platformCombo() const { return _platformCombo; }
    void setPlatformCombo(QComboBox *combo) { _platformCombo = combo; }
    QLineEdit *iconSetNameField() const { return _iconSetNameField; }
    void setIconSetNameField(QLineEdit *field) { _iconSetNameField = field; }
    QComboBox *previewSetCombo() const { return _previewSetCombo; }
    void setPreviewSetCombo(QComboBox *combo) { _previewSetCombo = combo; }
    PreviewStrip *previewStrip() const { return _previewStrip; }
    void setPreviewStrip(PreviewStrip *strip) { _previewStrip = strip; }
    QLabel *layersLabel() const { return _layersLabel; }
    void setLayersLabel(QLabel *label) { _layersLabel = label; }
    void setStopAction(QAction *action) { _stopAction = action; }
    // What an export disables until it ends: everything that would change it.
    void setExportControls(const QList<QWidget *> &controls);

    // Read-only views of the private state, for the window's own checks and for tests.
    QUrl currentSourceUrl() const { return selectedUrl; }
    SourceImagePtr currentImage() const { return original.image; }
    const SourceLayers::Found &currentLayers() const { return originalLayers; }
    double currentRatio() const { return heightDividedByWidthRatio; }

signals:
    void sourceLoadFinished(const QString &error);
    void exportProgress(int written, int total);
    void exportFinished(const QString &summary);
    void previewFinished();
    void checkFinished();

private:
    void showReport(const ExportReport &report);
    void askFor(const QString &title, QFileDialog::FileMode mode,
                const std::function<void(const QUrl &)> &chosen,
                const std::function<void()> &dismissed = {});
    void runExport(std::function<ExportReport(const AssetExporter::Progress &)> work);
    void showProgress();
    void startPreview();
    QComboBox *comboFor(Appearance which) const;
    SourceImagePtr &imageFor(Appearance which);
    QString &nameFor(Appearance which);
    void fillAppearanceCombo(Appearance which);
    // What follows a new main source: the menus that offer a document's own appearances.
    void mainSourceChanged();

    QUrl selectedUrl;
    QUrl selectedOutput;
    // A document's own appearances come with its picture; its bundle is kept to draw them all.
    SourceFile::Opened original;
    QString originalDocument;
    // A drawing's layers, for the sets drawn layer by layer.
    SourceLayers::Found originalLayers;
    double heightDividedByWidthRatio = 0.0;

    QColor background;
    SourceImagePtr darkImage, tintedImage, backImage;
    QString darkName, tintedName, backName;

    // Before the loader, which reads through it.
    BackgroundWork work;
    SourceLoader sourceLoader{&work};
    QTimer previewTimer;
    bool exporting = false;
    bool progressShown = false;
    int progressWritten = 0;
    int progressTotal = 0;
    QString exportFolder;

    // The controls belong to the window, which outlives the controller; guarded pointers make
    // a control destroyed early read as absent instead of dangling.
    QPointer<QLineEdit> _widthField;
    QPointer<QLineEdit> _heightField;
    QPointer<QLineEdit> _filePathField;
    QPointer<QLineEdit> _assetNameField;
    QPointer<ImageWell> _imageView;
    QPointer<QCheckBox> _proportionsCheckBox;
    QPointer<QWidget> _window;
    QPointer<QLabel> _statusLabel;
    QPointer<QPushButton> _backgroundButton;
    QPointer<QPushButton> _backgroundClearButton;
    QPointer<QCheckBox> _singleSizeCheckBox;
    QPointer<QComboBox> _darkCombo;
    QPointer<QComboBox> _tintedCombo;
    QPointer<QComboBox> _backCombo;
    QPointer<QComboBox> _macStyleCombo;
    QPointer<QComboBox> _platformCombo;
    QPointer<QLineEdit> _iconSetNameField;
    QPointer<QComboBox> _previewSetCombo;
    QPointer<PreviewStrip> _previewStrip;
    QPointer<QLabel> _layersLabel;
    QPointer<QAction> _stopAction;
    QList<QPointer<QWidget>> _exportControls;
    QPointer<CheckDialog> _checkDialog;
};
