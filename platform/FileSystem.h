#pragma once

#include <QByteArray>
#include <QString>

// The few file-system operations the writers need, with their failures said in words.
class FileSystem
{
public:
    // Makes exactly one folder; its parent must exist. True when the folder exists afterwards.
    static bool createFolder(const QString &path);

    // Replaces the file at `path` whole with `bytes` or leaves it as it was: the bytes go to a
    // temporary file beside it that is renamed over it only once complete. On failure `error`
    // gets the reason.
    static bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error);

    // Makes the names created in a folder survive a power cut (a no-op where the system has no
    // such call).
    static void syncFolder(const QString &path);
};
