#pragma once

#include <QJsonObject>
#include <QList>
#include <QStringList>

// The two app icon catalogues this product writes, as fixed tables. Each size list pairs with its
// file name list by position; no size and no name repeats within a list, so a first-equal search
// finds each size's own position. Every call builds a new value.
class QVIconData
{
public:
    QVIconData() = delete;

    static QList<int> sizesToMakeForIcon();
    static QStringList filenamesForSizes();
    static QJsonObject appIconContents();

    static QList<int> sizesToMakeForIconMac();
    static QStringList filenamesForSizesMac();
    static QJsonObject appIconContentsMac();

    // The single-size iOS icon: one 1024 image for every device, with optional dark and tinted
    // appearances beside it, each its own file.
    static QString singleSizeFilename(const QString &appearance = QString());
    static QJsonObject singleSizeContents(bool dark, bool tinted);

    // The "info" block every Contents.json of this product carries.
    static QJsonObject info();
};
