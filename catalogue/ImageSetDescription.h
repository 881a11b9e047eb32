#pragma once

#include <QJsonObject>
#include <QList>
#include <QSizeF>
#include <QString>

#include <cstdint>

// A universal image set: the source at a base size in three scales, named after the asset.
// Scale index k (1, 2, 3) names the member at position k - 1, of k times the base size.
class ImageSetDescription
{
public:
    ImageSetDescription(std::int32_t width, std::int32_t height, const QString &assetName);

    // The 1x size, although the window's operation for it is called the maximum size.
    QSizeF baseSize() const;
    // (W, H), (2W, 2H), (3W, 3H); exact, as the inputs are 32-bit whole numbers.
    QList<QSizeF> sizes() const;
    // The asset name as typed, "@<k>x" for every index but 1, and ".png".
    QString fileNameForIndex(std::int64_t index) const;
    QJsonObject contents() const;
    QString assetName() const { return m_assetName; }
    QString folderName() const { return m_assetName + QStringLiteral(".imageset"); }

private:
    std::int32_t m_width;
    std::int32_t m_height;
    QString m_assetName;
};
