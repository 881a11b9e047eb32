#pragma once

#include <QString>
#include <QStringList>

// Xcode 26 builds the app icon NAME from NAME.icon and leaves the images of every NAME.appiconset
// it would otherwise compile out of the app. The checker warns of such sets beside a .icon it
// reads, the exporter beside a .icon it writes; both ask here.
class ShadowedSets
{
public:
    // The app icon sets NAME.appiconset that NAME.icon in `folder` (there or yet to be written)
    // takes the place of: the one directly in the folder, then those in each of its *.xcassets,
    // groups included, in name order. Paths start with `folder` as given.
    static QStringList appIconSetsShadowedBy(const QString &folder, const QString &name);
};
