#include "IsolatedDecoder.h"

#include "DecodeWorker.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

// The worker is this very program, unless the environment names another one (the tests do: they
// are programs of their own).
QString workerProgram()
{
    const QString named = qEnvironmentVariable("ASSETSMITH_WORKER");
    if (!named.isEmpty())
        return named;
    return QCoreApplication::applicationFilePath();
}

// What no worker is started for: a path that is no file, or a file too large to read.
std::optional<ImageDecoder::Decoded> refusedFile(const QFileInfo &info)
{
    if (!info.isFile())
        return ImageDecoder::refused(ImageDecoder::Status::NotImage,
                                     QStringLiteral("there is no such file"));
    if (info.size() > ImageLimits::MaxFileBytes)
        return ImageDecoder::refused(ImageDecoder::Status::TooLarge,
                                     ImageDecoder::tooLargeFileReason());
    return std::nullopt;
}

} // namespace

IsolatedDecoder::Limits IsolatedDecoder::limits()
{
    Limits limits;
    bool ok = false;
    const int timeout = qEnvironmentVariableIntValue("ASSETSMITH_DECODE_TIMEOUT_MS", &ok);
    if (ok && timeout > 0) {
        limits.timeoutMs = timeout;
        limits.renderMsPerMegapixel = timeout / 5;
    }
    const qint64 memory = qgetenv("ASSETSMITH_DECODE_MEMORY_MB").toLongLong(&ok);
    if (ok && memory >= 0)
        limits.memoryBytes = memory << 20;
    return limits;
}

ImageDecoder::Decoded IsolatedDecoder::decodeFile(const QString &path,
                                                  const std::atomic_bool *cancel)
{
    const QFileInfo info(path);
    if (std::optional<ImageDecoder::Decoded> refusal = refusedFile(info))
        return *refusal;
    return runWorker({QStringLiteral("decode"), info.absoluteFilePath()}, {}, limits().timeoutMs,
                     {}, cancel);
}

ImageDecoder::Decoded IsolatedDecoder::decodeFileReduced(const QString &path, int side,
                                                         const std::atomic_bool *cancel,
                                                         const DecodeWorker::Progress &progress)
{
    const QFileInfo info(path);
    if (std::optional<ImageDecoder::Decoded> refusal = refusedFile(info))
        return *refusal;
    return runWorker(
        {QStringLiteral("reduce"), QString::number(std::max(side, 1)), info.absoluteFilePath()}, {},
        limits().timeoutMs, {}, cancel, {}, &progress);
}

ImageDecoder::Decoded IsolatedDecoder::decodeData(const QByteArray &data,
                                                  const std::atomic_bool *cancel)
{
    if (data.size() > ImageLimits::MaxFileBytes)
        return ImageDecoder::refused(
            ImageDecoder::Status::TooLarge,
            QStringLiteral("the data is larger than %1 MiB").arg(ImageLimits::MaxFileBytes >> 20));
    return runWorker({QStringLiteral("decode"), QStringLiteral("-")}, DecodeWorker::frame(data),
                     limits().timeoutMs, {}, cancel);
}

int IsolatedDecoder::renderTimeoutMs(const QList<QSize> &sizes)
{
    const Limits limits = IsolatedDecoder::limits();
    double pixels = 0;
    for (const QSize &size : sizes)
        pixels += double(size.width()) * size.height();
    const double ms = limits.timeoutMs + pixels / 1e6 * limits.renderMsPerMegapixel;
    return int(std::min(ms, double(std::numeric_limits<int>::max())));
}

ImageDecoder::Decoded IsolatedDecoder::renderSvg(const QByteArray &svg, const QList<QSize> &sizes,
                                                 const std::atomic_bool *cancel)
{
    QStringList arguments{QStringLiteral("render")};
    for (const QSize &size : sizes) {
        if (size.width() < 1 || size.height() < 1)
            return ImageDecoder::refused(
                ImageDecoder::Status::Damaged,
                QStringLiteral("a drawing cannot be drawn at %1 by %2 pixels")
                    .arg(size.width())
                    .arg(size.height()));
        arguments.append(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()));
    }
    if (sizes.isEmpty()) {
        ImageDecoder::Decoded nothingAsked;
        nothingAsked.status = ImageDecoder::Status::Ok;
        return nothingAsked;
    }
    return runWorker(arguments, DecodeWorker::frame(svg), renderTimeoutMs(sizes), sizes, cancel);
}

ImageDecoder::Decoded
IsolatedDecoder::splitSvg(const QByteArray &svg, qint64 replyLimit,
                          const std::function<bool(const QByteArray &)> &accept,
                          const std::atomic_bool *cancel)
{
    if (svg.size() > ImageLimits::MaxFileBytes)
        return ImageDecoder::refused(ImageDecoder::Status::TooLarge,
                                     QStringLiteral("the drawing is larger than %1 MiB")
                                         .arg(ImageLimits::MaxFileBytes >> 20));
    const ReadReply readReply = [&](const DecodeWorker::ReadExactly &read) {
        QByteArray reply;
        return DecodeWorker::readSplit(read, replyLimit, &reply) && accept(reply);
    };
    return runWorker({QStringLiteral("split")}, DecodeWorker::frame(svg), limits().timeoutMs, {},
                     cancel, readReply);
}

ImageDecoder::Decoded
IsolatedDecoder::runWorker(const QStringList &arguments, const QByteArray &input, int timeoutMs,
                           const QList<QSize> &expected, const std::atomic_bool *cancel,
                           const ReadReply &readReply, const DecodeWorker::Progress *reduced)
{
    const Limits limits = IsolatedDecoder::limits();
    const QDeadlineTimer deadline(timeoutMs);
    QProcess worker;
    bool cancelled = false;
    // Waits in short slices when it can be cancelled, so that a cancel is seen soon. False once
    // the wait cannot succeed: the worker ended, the time ran out, or the wait was cancelled.
    auto waitFor = [&](auto &&wait) {
        for (;;) {
            if (cancel && cancel->load()) {
                cancelled = true;
                return false;
            }
            const qint64 remaining = deadline.remainingTime();
            if (wait(int(cancel ? std::min<qint64>(remaining, 50) : remaining)))
                return true;
            if (worker.state() == QProcess::NotRunning || deadline.hasExpired())
                return false;
        }
    };
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ASSETSMITH_WORKER_MEMORY_MB"),
                       QString::number(limits.memoryBytes >> 20));
    worker.setProcessEnvironment(environment);
    worker.setStandardErrorFile(QProcess::nullDevice());
    worker.start(workerProgram(),
                 QStringList{QString::fromLatin1(DecodeWorker::Argument)} + arguments);
    if (!worker.waitForStarted(int(deadline.remainingTime())))
        return ImageDecoder::refused(ImageDecoder::Status::Damaged,
                                     QStringLiteral("the image reader could not start"));

    for (qsizetype written = 0; written < input.size();) {
        const qint64 n = worker.write(input.constData() + written,
                                      std::min<qsizetype>(input.size() - written, 1 << 20));
        if (n <= 0 || !waitFor([&](int ms) { return worker.waitForBytesWritten(ms); }))
            break;
        written += n;
    }
    worker.closeWriteChannel();

    bool timedOut = false;
    const DecodeWorker::ReadExactly readExactly = [&](char *data, qint64 size) {
        while (size > 0) {
            const qint64 n = worker.read(data, size);
            if (n < 0)
                return false;
            if (n == 0) {
                if (!waitFor([&](int ms) { return worker.waitForReadyRead(ms); })) {
                    timedOut = deadline.hasExpired();
                    return false;
                }
                continue;
            }
            data += n;
            size -= n;
        }
        return true;
    };
    ImageDecoder::Decoded decoded;
    if (readReply)
        decoded.status = ImageDecoder::Status::Ok;
    const bool complete = readReply ? readReply(readExactly)
                          : reduced ? DecodeWorker::readReduced(readExactly, &decoded, *reduced)
                                    : DecodeWorker::read(readExactly, &decoded, expected);
    if (worker.state() != QProcess::NotRunning && !timedOut && !cancelled)
        waitFor([&](int ms) { return worker.waitForFinished(ms); });
    if (worker.state() != QProcess::NotRunning) {
        timedOut = !cancelled;
        worker.kill();
        worker.waitForFinished(-1);
    }
    if (cancelled)
        return ImageDecoder::refused(ImageDecoder::Status::Cancelled,
                                     QStringLiteral("reading it was stopped"));
    // Bytes past the end of the result mean the worker's counts were not the whole story.
    if (complete && worker.exitStatus() == QProcess::NormalExit && worker.exitCode() == 0 &&
        worker.bytesAvailable() == 0)
        return decoded;
    if (timedOut)
        return ImageDecoder::refused(ImageDecoder::Status::TookTooLong,
                                     expected.isEmpty()
                                         ? QStringLiteral("reading it took too long")
                                         : QStringLiteral("drawing it took too long"));
    if (worker.exitStatus() == QProcess::NormalExit &&
        worker.exitCode() == DecodeWorker::OutOfMemoryExit)
        return ImageDecoder::refused(ImageDecoder::Status::TooLarge,
                                     QStringLiteral("decoding it needs too much memory"));
    return ImageDecoder::refused(ImageDecoder::Status::Damaged,
                                 QStringLiteral("the image reader failed on it"));
}
