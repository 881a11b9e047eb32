#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Checks asset catalogue folders as Xcode and App Store upload will read them: every slot's file
// present, a real PNG of points x scale pixels, no file without a slot, no slot twice, and no
// alpha channel in an App Store icon. Knows the general rule, so sets other tools wrote are
// checked too.
class CatalogueChecker
{
public:
    struct Finding
    {
        QString path;
        QString problem; // a short fixed code, e.g. "missing-file"
        QString message;
    };

    struct Result
    {
        QList<Finding> findings;
        int setsChecked = 0;
    };

    // Each path is an ".appiconset", an ".imageset", or any folder (an ".xcassets") walked for
    // them.
    static Result check(const QStringList &paths);
    static QList<Finding> checkSet(const QString &folder);
};
