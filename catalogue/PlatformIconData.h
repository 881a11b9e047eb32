#pragma once

#include <QJsonObject>
#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

// The app icon sets of watchOS, visionOS and tvOS, as Xcode lays them out: the asset folder, every
// Contents.json inside it (the root's first) and every image with its pixel size and the part it
// plays. Folder shapes and keys follow catalogues Xcode wrote for shipping apps.
class PlatformIconData
{
public:
    PlatformIconData() = delete;

    enum class Role {
        Icon,     // the source as it is, laid over the background colour when there is one
        Front,    // a stack's front layer: the source, its transparency kept
        FrontTv,  // a tvOS stack's front layer: the source fitted inside the safe area
        Back,     // a stack's back layer: the background colour or the back source, opaque
        TopShelf, // the source fitted in the middle of the background colour
    };

    struct File
    {
        QString path; // inside the asset folder
        QSize size;
        Role role;
    };

    struct Layout
    {
        QString folder;
        QList<std::pair<QString, QJsonObject>> contents; // folder inside the asset folder, "" first
        QList<File> files;
    };

    static Layout watch();
    static Layout vision();
    static Layout tv();

    // The part of a tvOS icon layer the focus effect never crops: inset by a tenth of the layer's
    // height on every side.
    static QRect tvSafeArea(QSize layer);
};
