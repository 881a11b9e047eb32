#include "ImageSetDescription.h"

#include "QVIconData.h"

#include <QJsonArray>

ImageSetDescription::ImageSetDescription(std::int32_t width, std::int32_t height,
                                         const QString &assetName)
    : m_width(width)
    , m_height(height)
    , m_assetName(assetName)
{
}

QSizeF ImageSetDescription::baseSize() const
{
    return QSizeF(double(m_width), double(m_height));
}

QList<QSizeF> ImageSetDescription::sizes() const
{
    QList<QSizeF> sizes;
    for (double m = 1.0; m <= 3.0; m += 1.0)
        sizes.append(QSizeF(baseSize().width() * m, baseSize().height() * m));
    return sizes;
}

QString ImageSetDescription::fileNameForIndex(std::int64_t index) const
{
    // Any index but 1 gets a suffix of its low 32 bits, as a 32-bit formatting of it would.
    const QString suffix =
        index == 1 ? QString()
                   : QStringLiteral("@%1x").arg(std::int32_t(std::uint32_t(std::uint64_t(index))));
    return m_assetName + suffix + QStringLiteral(".png");
}

QJsonObject ImageSetDescription::contents() const
{
    QJsonArray images;
    const char *scales[] = {"1x", "2x", "3x"};
    for (int k = 1; k <= 3; ++k) {
        images.append(QJsonObject{
            {"idiom", "universal"}, {"filename", fileNameForIndex(k)}, {"scale", scales[k - 1]}});
    }
    return QJsonObject{{"images", images}, {"info", QVIconData::info()}};
}
