#pragma once

#include "SourceLoader.h"
#include "export/SourceFile.h"
#include "source/SourceImage.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

class QMimeData;
class QTimer;

// The image well: shows the source image scaled to fit (a bitmap never enlarged, a drawing drawn
// afresh at the well's device pixels whenever its size settles; an Icon Composer document is a
// bitmap, its picture drawn flat), and takes a new one from the user by a drop (a file or a
// document's folder from a file manager, or image data from another program), by paste, or clears
// it with Delete. Its tooltip and accessible name name the file shown, and the tooltip a drawing's
// layers. Only those user changes emit
// imageChanged; setImage from the program does not. What is dropped or pasted is read by the
// loader, as the main source, while the well shows that it is busy; without a loader the well takes
// nothing.
class ImageWell : public QWidget
{
    Q_OBJECT
public:
    explicit ImageWell(QWidget *parent = nullptr);

    SourceImagePtr image() const { return m_source.image; }
    // The source as read, a document's own appearances with it; the file it was read from, empty
    // for data; the name the well gives it.
    SourceFile::Opened source() const { return m_source; }
    QString sourcePath() const { return m_path; }
    QString sourceName() const { return m_name; }
    // `picture` is the image made small for showing; without one the well says `noPicture`
    // instead, since drawing it here would hold up the window.
    void setImage(const SourceImagePtr &image, const QImage &picture = QImage(),
                  const QString &noPicture = QString());
    void setSource(const SourceFile::Opened &source, const QString &path,
                   const QImage &picture = QImage(), const QString &noPicture = QString(),
                   const SourceLayers::Found &layers = {});
    // A layered drawing's layers as read with it; the tooltip lists them.
    const SourceLayers::Found &layers() const { return m_layers; }
    // The layers, front first, and those left out with why, a line each; empty for a source
    // drawn whole.
    static QString layerListing(const SourceLayers::Found &layers);
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
    static SourceFile::Opened imageFrom(const Offer &offer,
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
    void takeFromUser(const SourceLoader::Read &read, const QString &path);
    void setBusy(bool busy);

    SourceFile::Opened m_source;
    SourceLayers::Found m_layers;
    QString m_path;
    QString m_name;
    // The window's own tooltip and name for the well, which the source's name goes with.
    QString m_help;
    QString m_label;
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
