// The benchmark's driver inside the product: every figure it prints comes from the code the
// window runs. Modes:
//
//   export SOURCE ios|mac|imageset OUTDIR RUNS [WIDTH HEIGHT]
//       Per run: load SOURCE as the window's image dialog does, type OUTDIR/run-N into the folder
//       field (and the image set's width, height and name), click the button. Prints each run,
//       the medians, the bytes of the last run's files and the peak resident memory of this
//       process and of the decoding worker.
//   floor SOURCE ios|mac|imageset OUTDIR RUNS THREADS [WIDTH HEIGHT]
//       Decodes SOURCE once in this process and encodes, with the product's PNG encoder, an image
//       of each output's size cut from it, with no resampling; THREADS 0 spreads the files over
//       every core as an export does.
//   render SOURCE OUTDIR SIZE...
//       Writes product_SIZE.png (the product's renderer, as an export draws each file) and
//       qtsmooth_SIZE.png (Qt's smooth scaling in premultiplied alpha) for each square SIZE.
//   whole SOURCE SIZE...
//       Draws each square SIZE as an export does and again from the whole decoded file, and
//       prints, per size, the largest difference in levels (premultiplied; and straight where
//       both are at least half opaque) and the share of pixels that differ, then the largest of
//       all.

#include "AppDelegate.h"
#include "ApplicationMain.h"
#include "catalogue/ImageSetDescription.h"
#include "catalogue/QVIconData.h"
#include "export/PngEncoder.h"
#include "export/Renderer.h"
#include "export/Resampler.h"
#include "source/IsolatedDecoder.h"
#include "source/SourceImage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QUrl>

#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    if (n == 0)
        return 0.0;
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

qint64 bytesUnder(const QString &folder)
{
    qint64 total = 0;
    QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        total += it.fileInfo().size();
    }
    return total;
}

// Kibibytes of the largest resident set this process has had.
qint64 ownPeakKib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

qint64 childrenPeakKib()
{
    rusage usage{};
    return getrusage(RUSAGE_CHILDREN, &usage) == 0 ? qint64(usage.ru_maxrss) : -1;
}

QList<QSize> outputSizes(const QString &kind, int width, int height)
{
    QList<QSize> sizes;
    if (kind == QLatin1String("imageset")) {
        for (const QSizeF &size : ImageSetDescription(width, height, QStringLiteral("x")).sizes())
            sizes.append(size.toSize());
        return sizes;
    }
    const QList<int> sides = kind == QLatin1String("ios") ? QVIconData::sizesToMakeForIcon()
                                                          : QVIconData::sizesToMakeForIconMac();
    for (int side : sides)
        sizes.append(QSize(side, side));
    return sizes;
}

int usage()
{
    std::fprintf(stderr, "usage: assetsmith_bench export|floor|render ... (see bench/main.cpp)\n");
    return 2;
}

int runExport(const QStringList &args)
{
    if (args.size() != 4 && args.size() != 6)
        return usage();
    const QString source = QFileInfo(args[0]).absoluteFilePath();
    const QString kind = args[1];
    const QString outDir = QFileInfo(args[2]).absoluteFilePath();
    const int runs = std::max(1, args[3].toInt());
    const QString buttonName = kind == QLatin1String("ios")   ? QStringLiteral("iosButton")
                               : kind == QLatin1String("mac") ? QStringLiteral("macButton")
                                                              : QStringLiteral("imageSetButton");

    auto ui = ApplicationMain::loadInterface(*qApp);
    AppDelegate *delegate = ui->delegate.get();
    // The preview is drawn beside a load and an export; these figures are the load's and the
    // export's alone.
    delegate->setPreviewStrip(nullptr);
    // Loads and exports run off the window's thread and end with a signal.
    auto waitFor = [delegate](auto signal, const auto &start) {
        QEventLoop loop;
        QObject::connect(delegate, signal, &loop, &QEventLoop::quit);
        start();
        loop.exec();
    };
    auto *button = ui->window->findChild<QAbstractButton *>(buttonName);
    auto *status = ui->window->findChild<QLabel *>(QStringLiteral("statusLabel"));
    if (!button || !status) {
        std::fprintf(stderr, "the window has no %s\n", qPrintable(buttonName));
        return 1;
    }

    std::vector<double> loads, exports, totals;
    QString lastFolder;
    for (int run = 0; run < runs; ++run) {
        const QString folder = outDir + QStringLiteral("/run-%1").arg(run);
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);

        QElapsedTimer timer;
        timer.start();
        waitFor(&AppDelegate::sourceLoadFinished,
                [&] { delegate->openImageFile(QUrl::fromLocalFile(source)); });
        const double load = double(timer.nsecsElapsed()) / 1e9;
        if (!delegate->currentImage()) {
            std::fprintf(stderr, "load failed: %s\n", qPrintable(status->accessibleName()));
            return 1;
        }
        delegate->filePathField()->setText(folder);
        if (kind == QLatin1String("imageset")) {
            delegate->widthField()->setText(args[4]);
            delegate->heightField()->setText(args[5]);
            delegate->assetNameField()->setText(QStringLiteral("Photo"));
        }
        timer.restart();
        waitFor(&AppDelegate::exportFinished, [&] { button->click(); });
        const double exported = double(timer.nsecsElapsed()) / 1e9;
        if (status->accessibleName().startsWith(QLatin1String("Could not")) ||
            bytesUnder(folder) == 0) {
            std::fprintf(stderr, "export failed: %s\n", qPrintable(status->accessibleName()));
            return 1;
        }
        std::printf("run %d load %.4f export %.4f\n", run, load, exported);
        loads.push_back(load);
        exports.push_back(exported);
        totals.push_back(load + exported);
        if (!lastFolder.isEmpty())
            QDir(lastFolder).removeRecursively();
        lastFolder = folder;
    }
    std::printf("median_load %.4f\nmedian_export %.4f\nmedian_total %.4f\n", median(loads),
                median(exports), median(totals));
    std::printf("bytes %lld\n", static_cast<long long>(bytesUnder(lastFolder)));
    std::printf("peak_kib %lld\nworker_peak_kib %lld\n", static_cast<long long>(ownPeakKib()),
                static_cast<long long>(childrenPeakKib()));
    return 0;
}

int runFloor(const QStringList &args)
{
    if (args.size() != 5 && args.size() != 7)
        return usage();
    const QString source = args[0];
    const QString kind = args[1];
    const QString outDir = args[2];
    const int runs = std::max(1, args[3].toInt());
    const int threadsAsked = args[4].toInt();
    const int width = args.size() == 7 ? args[5].toInt() : 0;
    const int height = args.size() == 7 ? args[6].toInt() : 0;
    const QList<QSize> sizes = outputSizes(kind, width, height);
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const int threads = threadsAsked > 0 ? threadsAsked : int(cores);

    std::vector<double> times;
    qint64 bytes = 0;
    for (int run = 0; run < runs; ++run) {
        QDir(outDir).removeRecursively();
        QDir().mkpath(outDir);
        QElapsedTimer timer;
        timer.start();
        QImageReader reader(source);
        const QImage decoded = reader.read();
        if (decoded.isNull()) {
            std::fprintf(stderr, "cannot decode %s\n", qPrintable(source));
            return 1;
        }
        const QImage image = decoded.convertToFormat(
            decoded.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        std::vector<QByteArray> encoded(size_t(sizes.size()));
        std::atomic<qsizetype> next{0};
        auto work = [&] {
            for (qsizetype i; (i = next.fetch_add(1)) < sizes.size();) {
                const QSize size = sizes[i];
                encoded[size_t(i)] = PngEncoder::encode(image.copy(QRect(QPoint(0, 0), size)));
            }
        };
        {
            std::vector<std::jthread> pool;
            for (int t = 1; t < std::min<qsizetype>(threads, sizes.size()); ++t)
                pool.emplace_back(work);
            work();
        }
        bytes = 0;
        for (size_t i = 0; i < encoded.size(); ++i) {
            QFile file(outDir + QStringLiteral("/out-%1.png").arg(i));
            if (!file.open(QIODevice::WriteOnly) || file.write(encoded[i]) != encoded[i].size())
                return 1;
            bytes += encoded[i].size();
        }
        times.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    std::printf("median_floor %.4f\nbytes %lld\n", median(times), static_cast<long long>(bytes));
    return 0;
}

int runRender(const QStringList &args)
{
    if (args.size() < 3)
        return usage();
    const SourceImage::Loaded loaded = SourceImage::fromFile(QFileInfo(args[0]).absoluteFilePath());
    if (!loaded.image) {
        std::fprintf(stderr, "%s\n", qPrintable(loaded.error));
        return 1;
    }
    const QString outDir = args[1];
    QDir().mkpath(outDir);
    const QImage bitmap = loaded.image->bitmapFor(loaded.image->size().toSize());
    const QImage premultiplied = bitmap.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (qsizetype i = 2; i < args.size(); ++i) {
        const int side = args[i].toInt();
        if (side < 1)
            return usage();
        const QImage product = Renderer::render(loaded.image.get(), QSizeF(side, side));
        QFile file(outDir + QStringLiteral("/product_%1.png").arg(side));
        const QByteArray png = PngEncoder::encode(product);
        if (png.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(png) != png.size())
            return 1;
        const QImage qt =
            premultiplied.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .convertToFormat(QImage::Format_ARGB32);
        if (!qt.save(outDir + QStringLiteral("/qtsmooth_%1.png").arg(side)))
            return 1;
    }
    return 0;
}

int runWhole(const QStringList &args)
{
    if (args.size() < 2)
        return usage();
    const QString path = QFileInfo(args[0]).absoluteFilePath();
    const SourceImage::Loaded loaded = SourceImage::fromFile(path);
    const ImageDecoder::Decoded whole = IsolatedDecoder::decodeFile(path);
    if (!loaded.image || whole.frames.size() != 1) {
        std::fprintf(stderr, "%s %s\n", qPrintable(loaded.error), qPrintable(whole.reason));
        return 1;
    }
    std::printf("held shrunk by %d\n", loaded.image->reduction());
    int largest = 0;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const int side = args[i].toInt();
        if (side < 1)
            return usage();
        const QImage product = Renderer::render(loaded.image.get(), QSizeF(side, side));
        const QImage reference = Resampler::resample(whole.frames.first(), side, side);
        // Straight colour under alpha near 0 is the quotient of two tiny numbers, so colour is
        // compared premultiplied (over black), alpha as it is.
        int most = 0, mostStraight = 0;
        qint64 differing = 0;
        for (int y = 0; y < side; ++y) {
            const auto *a = reinterpret_cast<const QRgb *>(product.constScanLine(y));
            const auto *b = reinterpret_cast<const QRgb *>(reference.constScanLine(y));
            for (int x = 0; x < side; ++x) {
                const QRgb p = qPremultiply(a[x]), q = qPremultiply(b[x]);
                const int d =
                    std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
                most = std::max(most, d);
                differing += a[x] != b[x];
                if (qAlpha(a[x]) >= 128 && qAlpha(b[x]) >= 128)
                    mostStraight = std::max({mostStraight, std::abs(qRed(a[x]) - qRed(b[x])),
                                             std::abs(qGreen(a[x]) - qGreen(b[x])),
                                             std::abs(qBlue(a[x]) - qBlue(b[x]))});
            }
        }
        largest = std::max(largest, most);
        std::printf("%5d  largest %d  (straight, alpha from 128: %d)  pixels differing %.5f\n",
                    side, most, mostStraight, double(differing) / (double(side) * side));
    }
    std::printf("largest_difference %d\n", largest);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("ASSETSMITH_WORKER"))
        qputenv("ASSETSMITH_WORKER", ASSETSMITH_BENCH_WORKER);
    QApplication application(argc, argv);
    QStringList args = application.arguments().mid(1);
    if (args.isEmpty())
        return usage();
    const QString mode = args.takeFirst();
    if (mode == QLatin1String("export"))
        return runExport(args);
    if (mode == QLatin1String("floor"))
        return runFloor(args);
    if (mode == QLatin1String("render"))
        return runRender(args);
    if (mode == QLatin1String("whole"))
        return runWhole(args);
    return usage();
}
