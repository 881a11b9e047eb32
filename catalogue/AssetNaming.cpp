#include "AssetNaming.h"

#include "DigitText.h"

#include <QStringList>

QString AssetNaming::defaultOutputFolder(const QString &path)
{
    QStringList pieces = path.split(QLatin1Char('/'));
    pieces.removeLast();
    QString folder;
    for (const QString &piece : std::as_const(pieces))
        folder += piece + QLatin1Char('/');
    return folder;
}

QString AssetNaming::defaultAssetName(const QString &fileName)
{
    return fileName.section(QLatin1Char('.'), 0, 0);
}

std::int32_t AssetNaming::heightForWidth(const QString &widthText, double heightDividedByWidth)
{
    return DigitText::roundToInt32(double(DigitText::toFloat(widthText)) * heightDividedByWidth);
}

std::int32_t AssetNaming::widthForHeight(const QString &heightText, double heightDividedByWidth)
{
    return DigitText::roundToInt32(double(DigitText::toFloat(heightText)) / heightDividedByWidth);
}
