#pragma once

#include "BackgroundWork.h"
#include "export/SourceFile.h"
#include "export/SourceLayers.h"
#include "source/SourceImage.h"

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>

#include <array>
#include <atomic>
#include <functional>

// Reads the window's source images as requests of the window's background work, one kind per
// role: a new read of a role stops only the read of that role before it, and the window's thread
// never waits for the decoding worker. Reading the main source also draws its picture for the
// well, under the same request, so that stopping the read stops the drawing too; a drawing is
// drawn into the well's own pixels, and again whenever the well asks for another size. A main
// drawing is split into its layers too, for the sets drawn layer by layer.
class SourceLoader : public QObject
{
    Q_OBJECT
public:
    enum class Role { Main, Dark, Tinted, Back };
    struct Read
    {
        // An Icon Composer document gives its own appearances beside its picture.
        SourceFile::Opened loaded;
        // The main source as the well shows it, or why there is none: a bitmap at most
        // PictureBound pixels a side, a drawing fitted to the picture box.
        QImage picture;
        QString noPicture;
        // A main source drawing's layers, split under the same request.
        SourceLayers::Found layers;
    };
    using Done = std::function<void(const Read &read)>;
    using Load = std::function<SourceFile::Opened(const std::atomic_bool *cancel)>;
    using Drawn = std::function<void(const QImage &picture)>;
    static constexpr int PictureBound = 768;
    // A drawing's picture is never drawn larger than this a side, however large the screen.
    static constexpr int LargestPicture = 4096;

    explicit SourceLoader(BackgroundWork *work, QObject *parent = nullptr);

    void loadFile(Role role, const QString &path, Done done);
    void load(Role role, const QString &name, Load load, Done done);
    // Stops every read under way: their `done` is never called.
    void cancel();
    // The device pixels a drawing's picture is fitted into when the main source is read;
    // empty: PictureBound a side.
    void setPictureBox(QSize box) { m_pictureBox = box; }
    // A drawing's size fitted into `box`, aspect kept, at least one pixel a side.
    static QSize fitted(QSizeF size, QSize box);
    // Draws the drawing again at `size`, stopping the drawing asked for before; `done` gets the
    // picture, or a null image when it could not be drawn.
    void drawPicture(const SourceImagePtr &image, QSize size, Drawn done);
    void stopPicture();
    bool isBusy() const;
    // The file or data a role reads, as the messages name it.
    QString currentName(Role role) const { return m_names[int(role)]; }
    // A file as the window names it: by its file name, a document by its bundle's ("NAME.icon")
    // however it was reached.
    static QString nameOf(const QString &path);

signals:
    void busyChanged(SourceLoader::Role role, bool busy);
    // How much of a huge file is read, in percent, while it is read row by row.
    void progressed(SourceLoader::Role role, int percent);
    void cancelled(const QString &name);

private:
    using Job = std::function<SourceFile::Opened(const BackgroundWork::Request &request)>;
    void start(Role role, const QString &name, Job job, Done done);

    BackgroundWork *m_work;
    std::array<QString, 4> m_names;
    QSize m_pictureBox;
};
