#include "ImageWell.h"

#include "SourceLoader.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImageReader>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

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

// Inside the well's frame and margin: where its picture goes.
QRect innerOf(const QRect &rect)
{
    return rect.adjusted(9, 9, -9, -9);
}

} // namespace

ImageWell::ImageWell(QWidget *parent)
    : QWidget(parent)
    , m_spinner(new QTimer(this))
    , m_redraw(new QTimer(this))
{
    // While the well is being resized, the picture before stays, scaled; it is drawn again
    // once the size has settled.
    m_redraw->setSingleShot(true);
    m_redraw->setInterval(150);
    connect(m_redraw, &QTimer::timeout, this, &ImageWell::redraw);
    m_spinner->setInterval(80);
    connect(m_spinner, &QTimer::timeout, this, [this] {
        m_spin = (m_spin + 1) % 12;
        update();
    });
    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(160, 160);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void ImageWell::setImage(const SourceImagePtr &image, const QImage &picture,
                         const QString &noPicture)
{
    setSource({image, {}, {}, {}, {}}, {}, picture, noPicture);
}

void ImageWell::setSource(const SourceFile::Opened &source, const QString &path,
                          const QImage &picture, const QString &noPicture,
                          const SourceLayers::Found &layers)
{
    const SourceImagePtr image = source.image;
    m_source = image ? source : SourceFile::Opened{};
    m_layers = image ? layers : SourceLayers::Found{};
    m_path = image ? path : QString();
    m_name = m_path.isEmpty() ? QString() : SourceLoader::nameOf(m_path);
    if (m_help.isEmpty() && m_label.isEmpty()) {
        m_help = toolTip();
        m_label = accessibleName();
    }
    QStringList tip;
    for (const QString &part : {m_name, layerListing(m_layers), m_help}) {
        if (!part.isEmpty())
            tip << part;
    }
    setToolTip(tip.join(QLatin1Char('\n')));
    setAccessibleName(m_name.isEmpty() ? m_label : tr("%1: %2").arg(m_label, m_name));
    m_preview = image ? picture : QImage();
    m_redraw->stop();
    if (m_drawing && m_loader)
        m_loader->stopPicture();
    m_drawing = false;
    m_asked = QSize();
    m_noPicture.clear();
    if (image && picture.isNull())
        m_noPicture = noPicture.isEmpty()
                          ? tr("This image cannot be shown here.")
                          : tr("This image cannot be shown here: %1.").arg(noPicture);
    update();
}

QString ImageWell::layerListing(const SourceLayers::Found &layers)
{
    if (!layers.layered())
        return QString();
    QStringList lines{tr("Layers, front first: %1").arg(layers.names.join(QStringLiteral(", ")))};
    for (const LayeredDrawing::Layer &layer : layers.drawing.layers()) {
        if (!layer.kept())
            lines << tr("Left out: %1 (%2)").arg(layer.name, layer.why);
    }
    return lines.join(QLatin1Char('\n'));
}

void ImageWell::setLoader(SourceLoader *loader)
{
    m_loader = loader;
    if (loader)
        loader->setPictureBox(pictureBox());
    if (loader)
        connect(loader, &SourceLoader::busyChanged, this,
                [this](SourceLoader::Role role, bool busy) {
                    if (role == SourceLoader::Role::Main)
                        setBusy(busy);
                });
}

void ImageWell::setBusy(bool busy)
{
    m_busy = busy;
    if (busy)
        m_spinner->start();
    else
        m_spinner->stop();
    setAccessibleDescription(busy ? tr("Reading an image; Esc stops.")
                                  : tr("Drop or paste an image here; Delete clears it."));
    update();
}

QSize ImageWell::sizeHint() const
{
    return QSize(320, 320);
}

bool ImageWell::isRedrawing() const
{
    return m_drawing || m_redraw->isActive();
}

QSize ImageWell::pictureBox() const
{
    const QRect inner = innerOf(rect());
    const double ratio = devicePixelRatioF();
    const double scale = std::isfinite(ratio) && ratio > 0 ? ratio : 1.0;
    const auto pixels = [scale](int length) {
        return int(
            std::clamp(std::floor(length * scale), 1.0, double(SourceLoader::LargestPicture)));
    };
    return {pixels(inner.width()), pixels(inner.height())};
}

QSize ImageWell::drawingSize() const
{
    return image() ? SourceLoader::fitted(image()->size(), pictureBox()) : QSize();
}

// A drawing is drawn again only for a size not asked for yet: one that cannot be drawn is not
// tried over and over.
void ImageWell::scheduleRedraw(bool restart)
{
    if (!m_loader)
        return;
    m_loader->setPictureBox(pictureBox());
    if (!image() || !image()->isVector() || m_preview.isNull())
        return;
    const QSize wanted = drawingSize();
    if (wanted == m_preview.size() && m_drawing) {
        m_loader->stopPicture();
        m_drawing = false;
        m_asked = QSize();
    }
    if (wanted == m_preview.size() || wanted == m_asked)
        m_redraw->stop();
    else if (restart || !m_redraw->isActive())
        m_redraw->start();
}

void ImageWell::redraw()
{
    if (!m_loader || !image() || !image()->isVector() || m_preview.isNull())
        return;
    const QSize wanted = drawingSize();
    if (wanted == m_preview.size() || wanted == m_asked)
        return;
    m_asked = wanted;
    m_drawing = true;
    const QPointer<ImageWell> self(this);
    m_loader->drawPicture(image(), wanted, [self, image = image()](const QImage &picture) {
        if (!self || self->image() != image)
            return;
        self->m_drawing = false;
        if (!picture.isNull())
            self->m_preview = picture;
        self->update();
    });
}

ImageWell::Offer ImageWell::offerOf(const QMimeData *mime)
{
    Offer offer;
    if (!mime)
        return offer;
    const QList<QUrl> urls = mime->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) {
        offer.path = urls.first().toLocalFile();
        return offer;
    }
    // Encoded data first: it keeps what a decoded QImage would lose (a drawing, several sizes).
    for (const QString &format : mime->formats()) {
        if (format.startsWith(QLatin1String("image/")))
            offer.encoded.append(mime->data(format));
    }
    // A picture this program itself dragged is decoded already; anything else is decoded by the
    // worker.
    if (mime->hasFormat(QStringLiteral("application/x-qt-image")))
        offer.decoded = qvariant_cast<QImage>(mime->imageData());
    return offer;
}

SourceFile::Opened ImageWell::imageFrom(const Offer &offer, const std::atomic_bool *cancel)
{
    if (!offer.path.isEmpty())
        return SourceFile::open(offer.path, SourceFile::Looks::All, cancel);
    SourceImage::Loaded loaded{nullptr,
                               QStringLiteral("What was dropped or pasted is not an image.")};
    for (const QByteArray &data : offer.encoded) {
        loaded = SourceImage::fromData(data, QStringLiteral("The dropped image"), cancel);
        if (loaded.image || (cancel && cancel->load()))
            return {loaded.image, loaded.error, {}, {}, {}};
    }
    if (SourceImagePtr image = SourceImage::fromImage(offer.decoded))
        return {image, {}, {}, {}, {}};
    return {loaded.image, loaded.error, {}, {}, {}};
}

void ImageWell::take(const QMimeData *mime)
{
    if (!m_loader)
        return;
    const Offer offer = offerOf(mime);
    const QString name =
        offer.path.isEmpty() ? tr("the dropped image") : SourceLoader::nameOf(offer.path);
    const QPointer<ImageWell> self(this);
    auto done = [self, path = offer.path](const SourceLoader::Read &read) {
        if (self)
            self->takeFromUser(read, path);
    };
    // A file is read as a chosen one is, with the progress of a huge one shown.
    if (!offer.path.isEmpty()) {
        m_loader->loadFile(SourceLoader::Role::Main, offer.path, std::move(done));
        return;
    }
    m_loader->load(
        SourceLoader::Role::Main, name,
        [offer](const std::atomic_bool *cancel) { return imageFrom(offer, cancel); },
        std::move(done));
}

void ImageWell::takeFromUser(const SourceLoader::Read &read, const QString &path)
{
    if (!read.loaded.image) {
        emit imageRefused(read.loaded.error);
        return;
    }
    setSource(read.loaded, path, read.picture, read.noPicture, read.layers);
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

    const QRect inner = innerOf(rect());
    if (!m_preview.isNull() && m_source.image && m_source.image->isVector()) {
        const double ratio = devicePixelRatioF();
        QSizeF shown = QSizeF(m_preview.size()) / ratio;
        // Until it is drawn again at a new size, the picture before is stretched to fit.
        if (m_preview.size() != drawingSize())
            shown = QSizeF(m_preview.size()).scaled(QSizeF(inner.size()), Qt::KeepAspectRatio);
        // On whole device pixels, so that a picture drawn at the well's size is copied as is.
        const auto onPixel = [ratio](double at) { return std::round(at * ratio) / ratio; };
        const QPointF corner(onPixel(inner.x() + (inner.width() - shown.width()) / 2),
                             onPixel(inner.y() + (inner.height() - shown.height()) / 2));
        painter.drawImage(QRectF(corner, shown), m_preview);
        scheduleRedraw(false);
    } else if (!m_preview.isNull()) {
        QSize shown = m_preview.size().scaled(inner.size(), Qt::KeepAspectRatio);
        // Never enlarge a small image beyond its own size times the screen's density: it would
        // only look blurred.
        if (m_source.image && m_source.image->size().width() <= inner.width() &&
            m_source.image->size().height() <= inner.height())
            shown = m_source.image->size().toSize().expandedTo(QSize(1, 1));
        QRect target(QPoint(0, 0), shown);
        target.moveCenter(inner.center());
        painter.drawImage(target, m_preview);
    } else if (!m_busy) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(inner, Qt::AlignCenter | Qt::TextWordWrap,
                         m_source.image ? m_noPicture : tr("Drop an image here\nor paste one"));
    }
    if (m_busy) {
        // Twelve spokes, the brightest one turning: the well is reading an image.
        painter.fillRect(inner, QColor(0, 0, 0, 90));
        painter.setRenderHint(QPainter::Antialiasing);
        const QPointF centre = inner.center();
        for (int i = 0; i < 12; ++i) {
            QColor spoke = palette().color(QPalette::Highlight);
            spoke.setAlphaF(0.25 + 0.75 * (((i - m_spin + 12) % 12) / 11.0));
            painter.setPen(QPen(spoke, 4, Qt::SolidLine, Qt::RoundCap));
            painter.save();
            painter.translate(centre);
            painter.rotate(i * 30.0);
            painter.drawLine(QPointF(0, -12), QPointF(0, -24));
            painter.restore();
        }
        painter.setPen(palette().color(QPalette::HighlightedText));
        painter.drawText(inner.adjusted(0, 40, 0, 0), Qt::AlignCenter | Qt::TextWordWrap,
                         tr("Reading…\nEsc stops"));
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
        take(QApplication::clipboard()->mimeData());
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
    if (!mightHoldImage(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    take(event->mimeData());
}

void ImageWell::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    scheduleRedraw(true);
}

void ImageWell::mousePressEvent(QMouseEvent *event)
{
    setFocus(Qt::MouseFocusReason);
    QWidget::mousePressEvent(event);
}
