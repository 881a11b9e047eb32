#include "FileSystem.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

bool FileSystem::createFolder(const QString &path)
{
    QDir().mkdir(path);
    return QFileInfo(path).isDir();
}

bool FileSystem::writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    // A full disk first shows as a short write with no reason given, and a failing commit only
    // says "Unknown error": writing on and flushing here brings out the system's reason.
    qint64 written = 0;
    for (qint64 n = 0; written < bytes.size(); written += n) {
        n = file.write(bytes.constData() + written, bytes.size() - written);
        if (n <= 0)
            break;
    }
    if (written != bytes.size() || !file.flush()) {
        *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

void FileSystem::syncFolder(const QString &path)
{
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(path);
#endif
}
