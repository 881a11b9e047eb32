#pragma once

#include <QList>
#include <QString>

// What one export did, file by file, and the one line the window and the command line show.
class ExportReport
{
public:
    struct File
    {
        QString path;
        int width = 0;
        int height = 0;
        bool ok = false;
        QString message;
    };

    // Nothing was written, and why: no source, no folder, an image set that cannot be whole.
    static ExportReport refused(const QString &reason);

    // Something the user should know about files that were written, never a failure.
    struct Warning
    {
        QString code; // a short fixed word, e.g. "enlarged"
        QString message;
    };

    QString folder;
    QList<File> files;
    QString refusal;
    QList<Warning> warnings;
    // What a write into a set already on disk did beside it ("Added the Mac icons to …; the
    // iOS icons are kept"); empty when the set held nothing else.
    QString note;
    // What a check against the disk found instead of writing: each file a write would make or
    // change, and how ("missing", "different bytes", "entries differ" for a Contents.json).
    struct Difference
    {
        QString path;
        QString what;
    };
    QList<Difference> differences;

    bool succeeded() const;
    int writtenCount() const;
    QString summary() const;
    // The summary, then each warning on a line of its own: what the status line shows.
    QString summaryWithWarnings() const;
};
