#pragma once

#include "BackgroundWork.h"
#include "source/SourceImage.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <array>
#include <atomic>
#include <functional>

// Reads the window's source images as requests of the window's background work, one kind per
// role: a new read of a role stops only the read of that role before it, and the window's thread
// never waits for the decoding worker. Reading the main source also draws its picture for the
// well, under the same request, so that stopping the read stops the drawing too.
class SourceLoader : public QObject
{
    Q_OBJECT
public:
    enum class Role { Main, Dark, Tinted, Back };
    struct Read
    {
        SourceImage::Loaded loaded;
        // The main source at most PictureBound pixels a side, or why there is none.
        QImage picture;
        QString noPicture;
    };
    using Done = std::function<void(const Read &read)>;
    using Load = std::function<SourceImage::Loaded(const std::atomic_bool *cancel)>;
    static constexpr int PictureBound = 768;

    explicit SourceLoader(BackgroundWork *work, QObject *parent = nullptr);

    void loadFile(Role role, const QString &path, Done done);
    void load(Role role, const QString &name, Load load, Done done);
    // Stops every read under way: their `done` is never called.
    void cancel();
    bool isBusy() const;
    // The file or data a role reads, as the messages name it.
    QString currentName(Role role) const { return m_names[int(role)]; }

signals:
    void busyChanged(SourceLoader::Role role, bool busy);
    void cancelled(const QString &name);

private:
    BackgroundWork *m_work;
    std::array<QString, 4> m_names;
};
