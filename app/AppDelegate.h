#pragma once

#include "ImageWell.h"
#include "TextFieldDelegate.h"
#include "source/SourceImage.h"

#include <QByteArray>
#include <QCheckBox>
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

class ExportReport;

// The application's one controller: it owns the working state (the source file and image, the
// output folder, the source's aspect ratio) and turns the user's picks, drops and typing into
// that state and into the window's field texts. The window's controls reach it as outlets,
// connected through the setters; it reads and writes its fields directly.
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
    void sizeFieldChanged(QObject *sender);
    void generateSizes(QObject *sender);
    QSizeF maximumSizeForAsset();
    QList<QSizeF> sizesToMakeForAsset();
    QString fileNameForAssetOfIndex(std::int64_t index);
    QJsonObject assetContents();
    QImage resizeImage(const SourceImagePtr &image, QSizeF size);
    QByteArray PNGRepresentationOfImage(const QImage &image);
    void makeNewWindow(QObject *sender);

    // The file chosen through the image dialog: loaded as a pick would load it (also the path
    // behind opening a file given to the program). Returns why it gave no image, or nothing.
    QString openImageFile(const QUrl &url);

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

    // Read-only views of the private state, for the window's own checks and for tests.
    QUrl currentSourceUrl() const { return selectedUrl; }
    SourceImagePtr currentImage() const { return originalImage; }
    double currentRatio() const { return heightDividedByWidthRatio; }

private:
    void showStatus(const QString &message);
    void showReport(const ExportReport &report);

    QUrl selectedUrl;
    QUrl selectedOutput;
    SourceImagePtr originalImage;
    double heightDividedByWidthRatio = 0.0;

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
};
