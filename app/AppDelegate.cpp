#include "AppDelegate.h"

#include "ImageWell.h"
#include "catalogue/AssetNaming.h"
#include "catalogue/ImageSetDescription.h"
#include "export/AssetExporter.h"
#include "export/PngEncoder.h"
#include "export/Renderer.h"
#include "catalogue/DigitText.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>

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
    auto *dialog = new QFileDialog(_window, tr("Choose Image"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters({tr("Images (*.png *.jpg *.jpeg *.gif *.bmp *.webp *.tif *.tiff *.icns "
                               "*.ico *.svg *.svgz)"),
                            tr("All files (*)")});
    const QPointer<AppDelegate> self(this);
    connect(dialog, &QFileDialog::finished, this, [self, dialog](int result) {
        if (!self || result != QDialog::Accepted || dialog->selectedUrls().isEmpty())
            return;
        self->openImageFile(dialog->selectedUrls().at(0));
    });
    dialog->show();
}

QString AppDelegate::openImageFile(const QUrl &url)
{
    const SourceImage::Loaded loaded = SourceImage::fromFile(url.toLocalFile());
    // A file that gives no image leaves the current source, its ratio and the fields as they
    // were: the well would otherwise show a picture no export can use.
    if (!loaded.image) {
        showStatus(loaded.error);
        return loaded.error;
    }
    originalImage = loaded.image;
    const QSizeF size = originalImage->size();
    heightDividedByWidthRatio = size.height() / size.width();
    selectedUrl = url;
    updateFields();
    showStatus(QString());
    return {};
}

void AppDelegate::chooseOutputFolder(QObject *)
{
    auto *dialog = new QFileDialog(_window, tr("Choose Output Folder"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    const QPointer<AppDelegate> self(this);
    connect(dialog, &QFileDialog::finished, this, [self, dialog](int result) {
        if (!self || result != QDialog::Accepted || dialog->selectedUrls().isEmpty())
            return;
        self->selectedOutput = dialog->selectedUrls().at(0);
        self->updateFields();
    });
    dialog->show();
}

void AppDelegate::imageViewChanged(QObject *sender)
{
    const auto *well = qobject_cast<const ImageWell *>(sender);
    originalImage = well ? well->image() : nullptr;
    updateFields();
    showStatus(QString());
}

void AppDelegate::updateFields()
{
    if (originalImage) {
        const QSizeF size = originalImage->size();
        setTextOf(_widthField, QString::number(DigitText::truncateToInt32(size.width())));
        setTextOf(_heightField, QString::number(DigitText::truncateToInt32(size.height())));
    }
    const QString sourcePath = selectedUrl.toLocalFile();
    if (textOf(_filePathField).isEmpty() && !sourcePath.isEmpty())
        setTextOf(_filePathField, AssetNaming::defaultOutputFolder(sourcePath));
    if (!sourcePath.isEmpty())
        setTextOf(_assetNameField, AssetNaming::defaultAssetName(selectedUrl.fileName()));
    if (originalImage && _imageView)
        _imageView->setImage(originalImage);
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
    showReport(
        AssetExporter::writeAppIconSet(originalImage.get(), textOf(_filePathField), platform));
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
    const QSizeF base = maximumSizeForAsset();
    const ImageSetDescription set(std::int32_t(base.width()), std::int32_t(base.height()),
                                  textOf(_assetNameField));
    showReport(AssetExporter::writeImageSet(originalImage.get(), textOf(_filePathField), set));
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
    _statusLabel->setText(message);
    // A screen reader reads a label by its name.
    _statusLabel->setAccessibleName(message);
}

void AppDelegate::showReport(const ExportReport &report)
{
    showStatus(report.summaryWithWarnings());
}
