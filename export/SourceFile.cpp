#include "SourceFile.h"

#include "IconRenderer.h"

#include <QDir>
#include <QFileInfo>

QString SourceFile::documentOf(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir() && QFileInfo::exists(info.filePath() + QStringLiteral("/icon.json")))
        return info.filePath();
    if (info.isFile() && info.fileName() == QLatin1String("icon.json") &&
        info.dir().dirName().endsWith(QLatin1String(".icon"), Qt::CaseInsensitive))
        return info.path();
    return {};
}

SourceFile::Opened SourceFile::openNamed(const QString &path, Looks looks,
                                         const std::atomic_bool *cancel)
{
    if (!QFileInfo::exists(path))
        return {nullptr, QStringLiteral("“%1” does not exist.").arg(path), {}, {}, {}};
    return open(QFileInfo(path).absoluteFilePath(), looks, cancel);
}

SourceFile::Opened SourceFile::open(const QString &path, Looks looks,
                                    const std::atomic_bool *cancel,
                                    const std::function<void(int rows, int of)> &progress)
{
    const QString bundle = documentOf(path);
    if (bundle.isEmpty()) {
        const SourceImage::Loaded loaded = SourceImage::fromFile(path, cancel, progress);
        return {loaded.image, loaded.error, nullptr, nullptr, nullptr};
    }
    const IconRenderer::Loaded loaded = IconRenderer::load(bundle, cancel);
    if (!loaded.error.isEmpty())
        return {nullptr, loaded.error, nullptr, nullptr, nullptr};
    using Appearance = IconRenderer::Appearance;
    using Platform = IconRenderer::Platform;
    // The tinted slot of an app icon set takes the grey-on-dark picture the system tints.
    QList<IconRenderer::Request> requests{
        {DocumentPixels, Appearance::Default, Platform::IOS, IconRenderer::Mask::Square}};
    if (looks == Looks::All)
        requests << IconRenderer::Request{DocumentPixels, Appearance::Dark, Platform::IOS,
                                          IconRenderer::Mask::Square}
                 << IconRenderer::Request{DocumentPixels, Appearance::TintedDark, Platform::IOS,
                                          IconRenderer::Mask::Square}
                 << IconRenderer::Request{DocumentPixels, Appearance::Default, Platform::WatchOS,
                                          IconRenderer::Mask::Square};
    const QList<IconRenderer::Rendered> drawn =
        IconRenderer::renderAll(loaded.document, requests, cancel);
    for (const IconRenderer::Rendered &rendered : drawn) {
        if (rendered.image.isNull())
            return {nullptr,
                    QStringLiteral("Could not draw %1: %2")
                        .arg(QDir::toNativeSeparators(bundle), rendered.error),
                    nullptr, nullptr, nullptr};
    }
    auto source = [](const QImage &image) {
        return SourceImage::fromImage(image.convertToFormat(QImage::Format_ARGB32));
    };
    if (looks == Looks::Default)
        return {source(drawn[0].image), {}, nullptr, nullptr, nullptr};
    return {source(drawn[0].image),
            {},
            source(drawn[1].image),
            source(drawn[2].image),
            source(drawn[3].image)};
}
