// Draws every Icon Composer document of a truth folder beside the editor's own exports of it and
// prints how close each drawing comes:
//
//   assetsmith_iconbench [TRUTH_FOLDER [OUT_FOLDER]]
//
// An export is a PNG named "<Document>-<iOS|macOS|watchOS>-<Appearance>-<W>x<H>@<N>x.png"
// outside any Assets folder; it is drawn from the .icon bundle of the same top-level folder whose
// name is the document's (else the only one, else the one the name begins). Per export: the mean
// absolute difference in 8-bit levels over premultiplied R, G, B and over alpha, and the SSIM of
// premultiplied luma (8x8 windows, step 4). With OUT_FOLDER, each drawing and a side-by-side
// picture (export | drawing | difference x4) are written there.

#include "export/IconRenderer.h"

#include <QColorSpace>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMap>
#include <QPainter>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

struct Export
{
    QString path, document, platform, appearance;
};

QImage asSrgbPremultiplied(QImage image)
{
    if (image.colorSpace().isValid() && image.colorSpace() != QColorSpace(QColorSpace::SRgb)) {
        image = image.convertToFormat(QImage::Format_RGBA64);
        image.convertToColorSpace(QColorSpace(QColorSpace::SRgb));
    }
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    image.setColorSpace(QColorSpace());
    return image;
}

double luma(QRgb p)
{
    return 0.299 * qRed(p) + 0.587 * qGreen(p) + 0.114 * qBlue(p);
}

double ssim(const QImage &a, const QImage &b)
{
    const int w = a.width(), h = a.height();
    if (w < 8 || h < 8)
        return std::nan("");
    constexpr double C1 = 6.5025, C2 = 58.5225; // (0.01*255)^2, (0.03*255)^2
    double total = 0;
    int windows = 0;
    for (int y = 0; y + 8 <= h; y += 4) {
        for (int x = 0; x + 8 <= w; x += 4) {
            double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
            for (int j = 0; j < 8; ++j) {
                const auto *ra = reinterpret_cast<const QRgb *>(a.constScanLine(y + j));
                const auto *rb = reinterpret_cast<const QRgb *>(b.constScanLine(y + j));
                for (int i = 0; i < 8; ++i) {
                    const double va = luma(ra[x + i]), vb = luma(rb[x + i]);
                    sa += va, sb += vb, saa += va * va, sbb += vb * vb, sab += va * vb;
                }
            }
            const double n = 64, ma = sa / n, mb = sb / n;
            const double va = saa / n - ma * ma, vb = sbb / n - mb * mb, cov = sab / n - ma * mb;
            total +=
                ((2 * ma * mb + C1) * (2 * cov + C2)) / ((ma * ma + mb * mb + C1) * (va + vb + C2));
            ++windows;
        }
    }
    return total / windows;
}

QString bundleFor(const QString &pairFolder, const QString &document, const QStringList &allDocs)
{
    QStringList bundles;
    QDirIterator it(pairFolder, {QStringLiteral("*.icon")}, QDir::Dirs,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        bundles << it.next();
    for (const QString &b : bundles) {
        if (QFileInfo(b).completeBaseName() == document)
            return b;
    }
    if (bundles.size() == 1)
        return bundles.first();
    for (const QString &b : bundles) {
        const QString name = QFileInfo(b).completeBaseName();
        if (name.startsWith(document) && !allDocs.contains(name))
            return b;
    }
    return {};
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("ASSETSMITH_WORKER"))
        qputenv("ASSETSMITH_WORKER", ASSETSMITH_BENCH_WORKER);
    QGuiApplication app(argc, argv);
    const QString truth = argc > 1 && argv[1][0] ? QString::fromLocal8Bit(argv[1])
                                                 : QStringLiteral(ASSETSMITH_TRUTH_ICONS);
    const QString out = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    if (!out.isEmpty())
        QDir().mkpath(out);

    const QRegularExpression pattern(QStringLiteral(
        R"(^(.+)-(iOS|macOS|watchOS)-(Default|Dark|ClearLight|ClearDark|TintedLight|TintedDark)-[0-9.]+x[0-9.]+@[0-9]+x\.png$)"));
    QMap<QString, QList<Export>> byPair;
    QDirIterator it(truth, {QStringLiteral("*.png")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.contains(QLatin1String("/Assets/")))
            continue;
        const auto match = pattern.match(QFileInfo(path).fileName());
        if (!match.hasMatch())
            continue;
        const QString pair = QDir(truth).relativeFilePath(path).section(QLatin1Char('/'), 0, 0);
        byPair[pair].append({path, match.captured(1), match.captured(2), match.captured(3)});
    }

    using A = IconRenderer::Appearance;
    const QMap<QString, A> appearances{
        {"Default", A::Default},         {"Dark", A::Dark},
        {"ClearLight", A::ClearLight},   {"ClearDark", A::ClearDark},
        {"TintedLight", A::TintedLight}, {"TintedDark", A::TintedDark}};
    std::printf("%-34s %-18s %-6s %-11s %5s %7s %7s %6s\n", "pair", "document", "plat",
                "appearance", "px", "madRGB", "madA", "ssim");
    double sumMad = 0, sumAlpha = 0, sumSsim = 0;
    int count = 0, ssims = 0;
    for (auto pair = byPair.cbegin(); pair != byPair.cend(); ++pair) {
        QStringList docs;
        for (const Export &e : pair.value())
            docs << e.document;
        for (const Export &e : pair.value()) {
            const QString bundle =
                bundleFor(truth + QLatin1Char('/') + pair.key(), e.document, docs);
            const QImage expected = asSrgbPremultiplied(QImage(e.path));
            if (bundle.isEmpty() || expected.isNull()) {
                std::printf("%-34s %-18s no bundle or unreadable export\n", qPrintable(pair.key()),
                            qPrintable(e.document));
                continue;
            }
            const IconRenderer::Loaded loaded = IconRenderer::load(bundle);
            if (!loaded.error.isEmpty()) {
                std::printf("%-34s %s\n", qPrintable(pair.key()), qPrintable(loaded.error));
                continue;
            }
            IconRenderer::Request request;
            request.pixels = expected.width();
            request.appearance = appearances.value(e.appearance);
            request.platform = e.platform == QLatin1String("macOS") ? IconRenderer::Platform::MacOS
                               : e.platform == QLatin1String("watchOS")
                                   ? IconRenderer::Platform::WatchOS
                                   : IconRenderer::Platform::IOS;
            const IconRenderer::Rendered drawn = IconRenderer::render(loaded.document, request);
            if (drawn.image.isNull()) {
                std::printf("%-34s %s\n", qPrintable(pair.key()), qPrintable(drawn.error));
                continue;
            }
            const QImage ours = drawn.image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            double rgb = 0, alpha = 0;
            QImage difference(ours.size(), QImage::Format_RGB32);
            for (int y = 0; y < ours.height(); ++y) {
                const auto *a = reinterpret_cast<const QRgb *>(expected.constScanLine(y));
                const auto *b = reinterpret_cast<const QRgb *>(ours.constScanLine(y));
                auto *d = reinterpret_cast<QRgb *>(difference.scanLine(y));
                for (int x = 0; x < ours.width(); ++x) {
                    const int dr = std::abs(qRed(a[x]) - qRed(b[x]));
                    const int dg = std::abs(qGreen(a[x]) - qGreen(b[x]));
                    const int db = std::abs(qBlue(a[x]) - qBlue(b[x]));
                    rgb += dr + dg + db;
                    alpha += std::abs(qAlpha(a[x]) - qAlpha(b[x]));
                    d[x] =
                        qRgb(std::min(255, 4 * dr), std::min(255, 4 * dg), std::min(255, 4 * db));
                }
            }
            const double pixels = double(ours.width()) * ours.height();
            rgb /= 3 * pixels;
            alpha /= pixels;
            const double similarity = ssim(expected, ours);
            std::printf("%-34s %-18s %-6s %-11s %5d %7.2f %7.2f %6.3f\n", qPrintable(pair.key()),
                        qPrintable(e.document.left(18)), qPrintable(e.platform),
                        qPrintable(e.appearance), ours.width(), rgb, alpha, similarity);
            sumMad += rgb, sumAlpha += alpha, ++count;
            if (std::isfinite(similarity))
                sumSsim += similarity, ++ssims;
            if (!out.isEmpty()) {
                const QString stem = QStringLiteral("%1/%2-%3-%4-%5")
                                         .arg(out, pair.key(), e.platform, e.appearance)
                                         .arg(ours.width());
                QImage side(ours.width() * 3, ours.height(), QImage::Format_ARGB32_Premultiplied);
                side.fill(QColor(128, 128, 128));
                QPainter painter(&side);
                painter.drawImage(0, 0, expected);
                painter.drawImage(ours.width(), 0, ours);
                painter.drawImage(2 * ours.width(), 0, difference);
                painter.end();
                side.save(stem + QStringLiteral("-side.png"));
            }
        }
    }
    if (count)
        std::printf("mean over %d exports: madRGB %.2f madA %.2f ssim %.3f (%d)\n", count,
                    sumMad / count, sumAlpha / count, ssims ? sumSsim / ssims : 0.0, ssims);
    return 0;
}
