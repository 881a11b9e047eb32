#pragma once

#include <QString>

#include <cstdint>

// The rules by which the window and the command line name and size what they write from a
// source file, so that the same inputs give the same folder, name and size in both.
class AssetNaming
{
public:
    // The folder a source file is in, ending in "/": the path with its last piece dropped.
    static QString defaultOutputFolder(const QString &path);
    // A file name up to its first dot.
    static QString defaultAssetName(const QString &fileName);
    // The other side of a size in a width-to-height ratio, as the proportion lock writes it:
    // the typed digits read in single precision, scaled, rounded halves away from zero and
    // saturated to 32 bits.
    static std::int32_t heightForWidth(const QString &widthText, double heightDividedByWidth);
    static std::int32_t widthForHeight(const QString &heightText, double heightDividedByWidth);
};
