#pragma once

#include "source/SourceImage.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>

// Loads source images for the window on another thread, one at a time: a new load stops the one
// before it, whose result is then dropped, and the window's thread never waits for the decoding
// worker. Results arrive on the thread that owns the loader.
class SourceLoader : public QObject
{
    Q_OBJECT
public:
    // `picture` shows the image at most PictureBound pixels a side, made on the loading thread.
    using Done = std::function<void(const SourceImage::Loaded &loaded, const QImage &picture)>;
    using Load = std::function<SourceImage::Loaded(const std::atomic_bool *cancel)>;
    static constexpr int PictureBound = 768;

    explicit SourceLoader(QObject *parent = nullptr);
    ~SourceLoader() override;

    void loadFile(const QString &path, Done done);
    void loadData(const QByteArray &data, const QString &name, Done done);
    void load(const QString &name, Load load, Done done);
    // Stops the load under way, if any: its `done` is never called.
    void cancel();
    bool isBusy() const { return m_busy; }
    // The file or data being read, as the messages name it.
    QString currentName() const { return m_name; }

    // A picture of the image of at most `bound` pixels on a side, for showing it.
    static QImage pictureOf(const SourceImage &image, int bound);

signals:
    void busyChanged(bool busy);
    void cancelled(const QString &name);

private:
    void setBusy(bool busy);

    QThreadPool m_pool;
    std::shared_ptr<std::atomic_bool> m_cancel;
    quint64 m_generation = 0;
    bool m_busy = false;
    QString m_name;
};
