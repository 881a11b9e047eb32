#include "PlatformIconData.h"

#include "QVIconData.h"

#include <QJsonArray>
#include <QRect>

namespace {

QJsonObject infoOnly()
{
    return QJsonObject{{"info", QVIconData::info()}};
}

QJsonObject imagesOf(const QJsonArray &images)
{
    return QJsonObject{{"images", images}, {"info", QVIconData::info()}};
}

QJsonObject layersOf(const QStringList &layers)
{
    QJsonArray list;
    for (const QString &layer : layers)
        list.append(QJsonObject{{"filename", layer}});
    return QJsonObject{{"info", QVIconData::info()}, {"layers", list}};
}

QString sizeText(QSize size)
{
    return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
}

// A tvOS image stack of a front and a back layer. `scales` 0 writes one image with no scale
// key, as the App Store stack has; otherwise 1x and 2x.
void addTvStack(PlatformIconData::Layout &layout, const QString &stack, QSize size, bool scales)
{
    using Role = PlatformIconData::Role;
    layout.contents.append({stack, layersOf({"Front.imagestacklayer", "Back.imagestacklayer"})});
    for (const QString &layer : {QStringLiteral("Front"), QStringLiteral("Back")}) {
        const QString folder = stack + '/' + layer + ".imagestacklayer";
        const QString images = folder + "/Content.imageset";
        const Role role = layer == QLatin1String("Front") ? Role::FrontTv : Role::Back;
        layout.contents.append({folder, infoOnly()});
        if (!scales) {
            layout.contents.append(
                {images, imagesOf({QJsonObject{{"filename", layer + ".png"}, {"idiom", "tv"}}})});
            layout.files.append({images + '/' + layer + ".png", size, role});
            continue;
        }
        layout.contents.append(
            {images,
             imagesOf({QJsonObject{{"filename", layer + ".png"}, {"idiom", "tv"}, {"scale", "1x"}},
                       QJsonObject{
                           {"filename", layer + "@2x.png"}, {"idiom", "tv"}, {"scale", "2x"}}})});
        layout.files.append({images + '/' + layer + ".png", size, role});
        layout.files.append({images + '/' + layer + "@2x.png", size * 2, role});
    }
}

// A top shelf image at 1x and 2x, for the shelf and again for the App Store's marketing.
void addTopShelf(PlatformIconData::Layout &layout, const QString &set, const QString &name,
                 QSize size)
{
    QJsonArray images;
    for (const QString &idiom : {QStringLiteral("tv"), QStringLiteral("tv-marketing")}) {
        const QString stem = idiom == QLatin1String("tv") ? name : name + "-marketing";
        for (int scale : {1, 2}) {
            const QString file = stem + (scale == 2 ? "@2x.png" : ".png");
            images.append(QJsonObject{
                {"filename", file}, {"idiom", idiom}, {"scale", QStringLiteral("%1x").arg(scale)}});
            layout.files.append({set + '/' + file, size * scale, PlatformIconData::Role::TopShelf});
        }
    }
    layout.contents.append({set, imagesOf(images)});
}

} // namespace

PlatformIconData::Layout PlatformIconData::watch()
{
    Layout layout;
    layout.folder = QStringLiteral("AppIcon.appiconset");
    const QString file = QStringLiteral("Icon-1024.png");
    layout.contents.append({QString(), imagesOf({QJsonObject{{"filename", file},
                                                             {"idiom", "universal"},
                                                             {"platform", "watchos"},
                                                             {"size", "1024x1024"}}})});
    layout.files.append({file, QSize(1024, 1024), Role::Icon});
    return layout;
}

PlatformIconData::Layout PlatformIconData::vision()
{
    Layout layout;
    layout.folder = QStringLiteral("AppIcon.solidimagestack");
    layout.contents.append(
        {QString(), layersOf({"Front.solidimagestacklayer", "Back.solidimagestacklayer"})});
    for (const QString &layer : {QStringLiteral("Front"), QStringLiteral("Back")}) {
        const QString folder = layer + ".solidimagestacklayer";
        const QString images = folder + "/Content.imageset";
        layout.contents.append({folder, infoOnly()});
        layout.contents.append(
            {images, imagesOf({QJsonObject{
                         {"filename", layer + ".png"}, {"idiom", "vision"}, {"scale", "2x"}}})});
        layout.files.append({images + '/' + layer + ".png", QSize(1024, 1024),
                             layer == QLatin1String("Front") ? Role::Front : Role::Back});
    }
    return layout;
}

PlatformIconData::Layout PlatformIconData::tv()
{
    Layout layout;
    layout.folder = QStringLiteral("App Icon & Top Shelf Image.brandassets");
    const QString store = QStringLiteral("App Icon - App Store.imagestack");
    const QString icon = QStringLiteral("App Icon.imagestack");
    const QString wide = QStringLiteral("Top Shelf Image Wide.imageset");
    const QString shelf = QStringLiteral("Top Shelf Image.imageset");
    auto asset = [](const QString &file, const QString &role, QSize size) {
        return QJsonObject{
            {"filename", file}, {"idiom", "tv"}, {"role", role}, {"size", sizeText(size)}};
    };
    layout.contents.append(
        {QString(),
         QJsonObject{{"assets", QJsonArray{asset(store, "primary-app-icon", {1280, 768}),
                                           asset(icon, "primary-app-icon", {400, 240}),
                                           asset(wide, "top-shelf-image-wide", {2320, 720}),
                                           asset(shelf, "top-shelf-image", {1920, 720})}},
                     {"info", QVIconData::info()}}});
    addTvStack(layout, store, QSize(1280, 768), false);
    addTvStack(layout, icon, QSize(400, 240), true);
    addTopShelf(layout, wide, QStringLiteral("TopShelfWide"), QSize(2320, 720));
    addTopShelf(layout, shelf, QStringLiteral("TopShelf"), QSize(1920, 720));
    return layout;
}

QRect PlatformIconData::tvSafeArea(QSize layer)
{
    const int inset = layer.height() / 10;
    return QRect(QPoint(0, 0), layer).adjusted(inset, inset, -inset, -inset);
}
