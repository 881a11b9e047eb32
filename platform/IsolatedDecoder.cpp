#include "IsolatedDecoder.h"

#include "DecodeWorker.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>

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

ImageDecoder::Decoded failure(ImageDecoder::Status status, const QString &reason)
{
    ImageDecoder::Decoded decoded;
    decoded.status = status;
    decoded.reason = reason;
    return decoded;
}

} // namespace

IsolatedDecoder::Limits IsolatedDecoder::limits()
{
    Limits limits;
    bool ok = false;
    const int timeout = qEnvironmentVariableIntValue("ASSETSMITH_DECODE_TIMEOUT_MS", &ok);
    if (ok && timeout > 0)
        limits.timeoutMs = timeout;
    const qint64 memory = qgetenv("ASSETSMITH_DECODE_MEMORY_MB").toLongLong(&ok);
    if (ok && memory >= 0)
        limits.memoryBytes = memory << 20;
    return limits;
}

ImageDecoder::Decoded IsolatedDecoder::decodeFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return failure(ImageDecoder::Status::NotImage, QStringLiteral("there is no such file"));
    if (info.size() > ImageDecoder::MaxFileBytes)
        return failure(ImageDecoder::Status::TooLarge,
                       QStringLiteral("the file is larger than 512 MiB"));
    return runWorker({QStringLiteral("decode"), info.absoluteFilePath()}, {});
}

ImageDecoder::Decoded IsolatedDecoder::decodeData(const QByteArray &data)
{
    if (data.size() > ImageDecoder::MaxFileBytes)
        return failure(ImageDecoder::Status::TooLarge,
                       QStringLiteral("the data is larger than 512 MiB"));
    return runWorker({QStringLiteral("decode"), QStringLiteral("-")}, data);
}

QImage IsolatedDecoder::renderSvg(const QByteArray &svg, QSize size)
{
    const ImageDecoder::Decoded decoded = runWorker(
        {QStringLiteral("render"), QString::number(size.width()), QString::number(size.height())},
        svg);
    if (decoded.status != ImageDecoder::Status::Ok || decoded.frames.size() != 1 ||
        decoded.frames.first().size() != size)
        return {};
    return decoded.frames.first();
}

ImageDecoder::Decoded IsolatedDecoder::runWorker(const QStringList &arguments,
                                                 const QByteArray &input)
{
    const Limits limits = IsolatedDecoder::limits();
    const QDeadlineTimer deadline(limits.timeoutMs);
    QProcess worker;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ASSETSMITH_WORKER_MEMORY_MB"),
                       QString::number(limits.memoryBytes >> 20));
    worker.setProcessEnvironment(environment);
    worker.setStandardErrorFile(QProcess::nullDevice());
    worker.start(workerProgram(),
                 QStringList{QString::fromLatin1(DecodeWorker::Argument)} + arguments);
    if (!worker.waitForStarted(int(deadline.remainingTime())))
        return failure(ImageDecoder::Status::Damaged,
                       QStringLiteral("the image reader could not start"));

    for (qsizetype written = 0; written < input.size();) {
        const qint64 n = worker.write(input.constData() + written,
                                      std::min<qsizetype>(input.size() - written, 1 << 20));
        if (n <= 0 || !worker.waitForBytesWritten(int(deadline.remainingTime())))
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
                if (deadline.hasExpired()) {
                    timedOut = true;
                    return false;
                }
                if (!worker.waitForReadyRead(int(deadline.remainingTime()))) {
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
    const bool complete = DecodeWorker::read(readExactly, &decoded);
    if (worker.state() != QProcess::NotRunning && !timedOut)
        worker.waitForFinished(int(deadline.remainingTime()));
    if (worker.state() != QProcess::NotRunning) {
        timedOut = true;
        worker.kill();
        worker.waitForFinished(-1);
    }
    if (complete && worker.exitStatus() == QProcess::NormalExit && worker.exitCode() == 0)
        return decoded;
    if (timedOut)
        return failure(ImageDecoder::Status::TookTooLong,
                       QStringLiteral("reading it took too long"));
    if (worker.exitStatus() == QProcess::NormalExit && worker.exitCode() == 3)
        return failure(ImageDecoder::Status::TooLarge,
                       QStringLiteral("decoding it needs too much memory"));
    return failure(ImageDecoder::Status::Damaged, QStringLiteral("the image reader failed on it"));
}
