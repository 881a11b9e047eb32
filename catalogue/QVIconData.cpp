#include "QVIconData.h"

#include <QJsonArray>

namespace {

struct Slot
{
    const char *size;
    const char *idiom;
    const char *filename;
    const char *scale;
};

QJsonObject document(std::initializer_list<Slot> entries)
{
    QJsonArray images;
    for (const Slot &slot : entries) {
        images.append(QJsonObject{{"size", slot.size},
                                  {"idiom", slot.idiom},
                                  {"filename", slot.filename},
                                  {"scale", slot.scale}});
    }
    return QJsonObject{{"images", images}, {"info", QVIconData::info()}};
}

} // namespace

QJsonObject QVIconData::info()
{
    return QJsonObject{{"version", 1}, {"author", "xcode"}};
}

QList<int> QVIconData::sizesToMakeForIcon()
{
    return {20, 60, 58, 87, 80, 120, 180, 29, 40, 76, 152, 167, 1024};
}

QStringList QVIconData::filenamesForSizes()
{
    return {"Icon-20.png",    "Icon-60.png",    "Icon-Small@2x.png", "Icon-Small@3x.png",
            "Icon-40@2x.png", "Icon-60@2x.png", "Icon-60@3x.png",    "Icon-Small.png",
            "Icon-40.png",    "Icon-76.png",    "Icon-76@2x.png",    "Icon-83.5@2x.png",
            "Icon-1024.png"};
}

QJsonObject QVIconData::appIconContents()
{
    return document({
        {"20x20", "iphone", "Icon-40.png", "2x"},
        {"20x20", "iphone", "Icon-60.png", "3x"},
        {"29x29", "iphone", "Icon-Small@2x.png", "2x"},
        {"29x29", "iphone", "Icon-Small@3x.png", "3x"},
        {"40x40", "iphone", "Icon-40@2x.png", "2x"},
        {"40x40", "iphone", "Icon-60@2x.png", "3x"},
        {"60x60", "iphone", "Icon-60@2x.png", "2x"},
        {"60x60", "iphone", "Icon-60@3x.png", "3x"},
        {"20x20", "ipad", "Icon-20.png", "1x"},
        {"20x20", "ipad", "Icon-40.png", "2x"},
        {"29x29", "ipad", "Icon-Small.png", "1x"},
        {"29x29", "ipad", "Icon-Small@2x.png", "2x"},
        {"40x40", "ipad", "Icon-40.png", "1x"},
        {"40x40", "ipad", "Icon-40@2x.png", "2x"},
        {"76x76", "ipad", "Icon-76.png", "1x"},
        {"76x76", "ipad", "Icon-76@2x.png", "2x"},
        {"83.5x83.5", "ipad", "Icon-83.5@2x.png", "2x"},
        {"1024x1024", "ios-marketing", "Icon-1024.png", "1x"},
    });
}

QList<int> QVIconData::sizesToMakeForIconMac()
{
    return {16, 32, 64, 128, 256, 512, 1024};
}

QStringList QVIconData::filenamesForSizesMac()
{
    return {"Icon-16.png",  "Icon-32.png",  "Icon-64.png",  "Icon-128.png",
            "Icon-256.png", "Icon-512.png", "Icon-1024.png"};
}

QJsonObject QVIconData::appIconContentsMac()
{
    return document({
        {"16x16", "mac", "Icon-16.png", "1x"},
        {"16x16", "mac", "Icon-32.png", "2x"},
        {"32x32", "mac", "Icon-32.png", "1x"},
        {"32x32", "mac", "Icon-64.png", "2x"},
        {"128x128", "mac", "Icon-128.png", "1x"},
        {"128x128", "mac", "Icon-256.png", "2x"},
        {"256x256", "mac", "Icon-256.png", "1x"},
        {"256x256", "mac", "Icon-512.png", "2x"},
        {"512x512", "mac", "Icon-512.png", "1x"},
        {"512x512", "mac", "Icon-1024.png", "2x"},
    });
}

QString QVIconData::singleSizeFilename(const QString &appearance)
{
    return appearance.isEmpty() ? QStringLiteral("Icon-1024.png")
                                : QStringLiteral("Icon-1024-%1.png").arg(appearance);
}

QJsonObject QVIconData::singleSizeContents(bool dark, bool tinted)
{
    QStringList appearances{QString()};
    if (dark)
        appearances << QStringLiteral("dark");
    if (tinted)
        appearances << QStringLiteral("tinted");
    QJsonArray images;
    for (const QString &appearance : appearances) {
        QJsonObject entry{{"filename", singleSizeFilename(appearance)},
                          {"idiom", "universal"},
                          {"platform", "ios"},
                          {"size", "1024x1024"}};
        if (!appearance.isEmpty())
            entry["appearances"] =
                QJsonArray{QJsonObject{{"appearance", "luminosity"}, {"value", appearance}}};
        images.append(entry);
    }
    return QJsonObject{{"images", images}, {"info", info()}};
}
