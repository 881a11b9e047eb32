#include "ShadowedSets.h"

#include "CatalogueModel.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

QFileInfoList childFolders(const QString &folder)
{
    return QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

// A group linked into itself would be searched without end: each real folder is searched once.
void setsIn(const QString &folder, const QString &setName, QSet<QString> *searched,
            QStringList *sets)
{
    const QString real = QFileInfo(folder).canonicalFilePath();
    if (real.isEmpty() || searched->contains(real))
        return;
    searched->insert(real);
    for (const QFileInfo &child : childFolders(folder)) {
        if (child.fileName() == setName)
            *sets << QDir::cleanPath(child.filePath());
        else if (!CatalogueModel::hasExtension(child.fileName()))
            setsIn(child.filePath(), setName, searched, sets);
    }
}

} // namespace

QStringList ShadowedSets::appIconSetsShadowedBy(const QString &folder, const QString &name)
{
    const QString setName = name + QStringLiteral(".appiconset");
    QStringList sets;
    const QString beside = QDir::cleanPath(folder + QLatin1Char('/') + setName);
    if (QFileInfo(beside).isDir())
        sets << beside;
    QSet<QString> searched;
    for (const QFileInfo &child : childFolders(folder)) {
        if (child.fileName().endsWith(QLatin1String(".xcassets")))
            setsIn(child.filePath(), setName, &searched, &sets);
    }
    return sets;
}
