#include "ImageWell.h"

#include "export/Resampler.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QImageReader>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QStyleOptionFocusRect>

namespace {

// Large enough to stay sharp on a high-density screen at the well's usual size.
constexpr int PreviewBound = 768;

bool mightHoldImage(const QMimeData *mime)
{
    if (mime->hasImage())
        return true;
    const QList<QUrl> urls = mime->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile())
        return true;
    const QStringList formats = mime->formats();
    return std::any_of(formats.begin(), formats.end(),
                       [](const QString &f) { return f.startsWith(QLatin1String("image/")); });
}

// A picture of at most `bound` pixels on a side. The export's own resampler spreads the rows over
// the cores, where Qt's smooth scaling takes a fifth of a second on one core for a 4096 source.
QImage previewOf(const SourceImage &image, int bound)
{
    const QSize shown =
        image.size().toSize().scaled(bound, bound, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    if (image.isVector())
        return image.renderVector({shown}).images.value(0);
    const QImage bitmap = image.bitmapFor(shown);
    if (bitmap.width() <= bound && bitmap.height() <= bound)
        return bitmap;
    const QSize fitted = bitmap.size().scaled(shown, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    return Resampler::resample(bitmap, fitted.width(), fitted.height());
}

} // namespace

ImageWell::ImageWell(QWidget *parent)
    : QWidget(parent)
{
    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(160, 160);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void ImageWell::setImage(const SourceImagePtr &image)
{
    m_image = image;
    m_preview = image ? previewOf(*image, PreviewBound) : QImage();
    update();
}

QSize ImageWell::sizeHint() const
{
    return QSize(320, 320);
}

SourceImage::Loaded ImageWell::imageFromMimeData(const QMimeData *mime)
{
    if (!mime)
        return {nullptr, QStringLiteral("There is no image to take.")};
    const QList<QUrl> urls = mime->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile())
        return SourceImage::fromFile(urls.first().toLocalFile());
    // Encoded data first: it keeps what a decoded QImage would lose (a drawing, several sizes).
    for (const QString &format : mime->formats()) {
        if (format.startsWith(QLatin1String("image/"))) {
            SourceImage::Loaded loaded =
                SourceImage::fromData(mime->data(format), QStringLiteral("The dropped image"));
            if (loaded.image)
                return loaded;
        }
    }
    // A picture this program itself dragged is decoded already; anything else is decoded by the
    // worker above.
    if (mime->hasFormat(QStringLiteral("application/x-qt-image"))) {
        if (SourceImagePtr image = SourceImage::fromImage(qvariant_cast<QImage>(mime->imageData())))
            return {image, {}};
    }
    return {nullptr, QStringLiteral("What was dropped or pasted is not an image.")};
}

void ImageWell::takeFromUser(const SourceImage::Loaded &loaded)
{
    if (!loaded.image) {
        emit imageRefused(loaded.error);
        return;
    }
    setImage(loaded.image);
    emit imageChanged();
}

void ImageWell::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRect frame = rect().adjusted(1, 1, -1, -1);
    painter.setPen(QPen(palette().color(QPalette::Mid), 1, Qt::DashLine));
    painter.setBrush(palette().color(QPalette::Base));
    painter.drawRoundedRect(frame, 6, 6);

    const QRect inner = frame.adjusted(8, 8, -8, -8);
    if (!m_preview.isNull()) {
        QSize shown = m_preview.size().scaled(inner.size(), Qt::KeepAspectRatio);
        // Never enlarge a small image beyond its own size times the screen's density: it would
        // only look blurred.
        if (m_image && m_image->size().width() <= inner.width() &&
            m_image->size().height() <= inner.height())
            shown = m_image->size().toSize().expandedTo(QSize(1, 1));
        QRect target(QPoint(0, 0), shown);
        target.moveCenter(inner.center());
        painter.drawImage(target, m_preview);
    } else {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(inner, Qt::AlignCenter | Qt::TextWordWrap,
                         tr("Drop an image here\nor paste one"));
    }
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = frame.adjusted(3, 3, -3, -3);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

void ImageWell::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Paste)) {
        takeFromUser(imageFromMimeData(QApplication::clipboard()->mimeData()));
        return;
    }
    if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) {
        setImage(nullptr);
        emit imageChanged();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ImageWell::dragEnterEvent(QDragEnterEvent *event)
{
    if (mightHoldImage(event->mimeData()))
        event->acceptProposedAction();
}

void ImageWell::dragMoveEvent(QDragMoveEvent *event)
{
    if (mightHoldImage(event->mimeData()))
        event->acceptProposedAction();
}

void ImageWell::dropEvent(QDropEvent *event)
{
    const SourceImage::Loaded loaded = imageFromMimeData(event->mimeData());
    if (!loaded.image) {
        event->ignore();
        emit imageRefused(loaded.error);
        return;
    }
    event->acceptProposedAction();
    takeFromUser(loaded);
}

void ImageWell::mousePressEvent(QMouseEvent *event)
{
    setFocus(Qt::MouseFocusReason);
    QWidget::mousePressEvent(event);
}
