#pragma once

#include "SourceLoader.h"
#include "source/SourceImage.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

class QMimeData;
class QTimer;

// The image well: shows the source image scaled to fit (a bitmap never enlarged, a drawing drawn
// afresh at the well's device pixels whenever its size settles), and takes a new one from the user
// by a drop (a file from a file manager or image data from another program), by paste, or clears it
// with Delete. Only those user changes emit imageChanged; setImage from the program does not.
// What is dropped or pasted is read by the loader, as the main source, while the well shows that
// it is busy; without a loader the well takes nothing.
class ImageWell : public QWidget
{
    Q_OBJECT
public:
    explicit ImageWell(QWidget *parent = nullptr);

    SourceImagePtr image() const { return m_image; }
    // `picture` is the image made small for showing; without one the well says `noPicture`
    // instead, since drawing it here would hold up the window.
    void setImage(const SourceImagePtr &image, const QImage &picture = QImage(),
                  const QString &noPicture = QString());
    void setLoader(SourceLoader *loader);
    bool isBusy() const { return m_busy; }
    // What the well draws: the picture it holds, and whether a drawing is still to be drawn
    // again at the well's present size.
    QImage picture() const { return m_preview; }
    bool isRedrawing() const;

    QSize sizeHint() const override;

    // What a drop or paste offers, copied out of its data so that it can be read later.
    struct Offer
    {
        QString path;
        QList<QByteArray> encoded;
        QImage decoded;
    };
    static Offer offerOf(const QMimeData *mime);
    // The image offered, or none (with why in `error`) when it holds none this program reads.
    static SourceImage::Loaded imageFrom(const Offer &offer,
                                         const std::atomic_bool *cancel = nullptr);

signals:
    // The user put a new image into the well or emptied it.
    void imageChanged();
    // A drop or paste held nothing usable; the well kept its image.
    void imageRefused(const QString &reason);

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    // The device pixels a picture may fill, and a drawing's picture fitted into them.
    QSize pictureBox() const;
    QSize drawingSize() const;
    void scheduleRedraw(bool restart);
    void redraw();
    void take(const QMimeData *mime);
    void takeFromUser(const SourceLoader::Read &read);
    void setBusy(bool busy);

    SourceImagePtr m_image;
    QImage m_preview;
    QString m_noPicture;
    QPointer<SourceLoader> m_loader;
    bool m_busy = false;
    int m_spin = 0;
    QTimer *m_spinner;
    QTimer *m_redraw;
    // The size last asked of the loader for this image: asked once, even when it fails.
    QSize m_asked;
    bool m_drawing = false;
};
