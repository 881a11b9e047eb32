#pragma once

#include "source/SourceImage.h"

#include <QImage>
#include <QWidget>

class QMimeData;

// The image well: shows the source image scaled to fit, and takes a new one from the user by a
// drop (a file from a file manager or image data from another program), by paste, or clears it
// with Delete. Only those user changes emit imageChanged; setImage from the program does not.
class ImageWell : public QWidget
{
    Q_OBJECT
public:
    explicit ImageWell(QWidget *parent = nullptr);

    SourceImagePtr image() const { return m_image; }
    void setImage(const SourceImagePtr &image);

    QSize sizeHint() const override;

    // The image in `mime`, or none (with why in `error`) when it holds none this program reads.
    static SourceImage::Loaded imageFromMimeData(const QMimeData *mime);

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

private:
    void takeFromUser(const SourceImage::Loaded &loaded);

    SourceImagePtr m_image;
    QImage m_preview;
};
