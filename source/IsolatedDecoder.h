#pragma once

#include "DecodeWorker.h"
#include "ImageDecoder.h"

#include <QList>
#include <QSize>
#include <QString>

#include <atomic>
#include <functional>

// Decodes and renders in the decoding worker process and waits for it the way a load in this
// process would wait (no event loop runs meanwhile, so a window calls it from another thread). A
// worker that crashes, passes its memory limit or outlives its time is ended, and the result says
// why. Setting `cancel` from any thread ends the worker within a few milliseconds.
class IsolatedDecoder
{
public:
    struct Limits
    {
        int timeoutMs = 15000;
        // Drawing is given this much more per megapixel asked for: a filter-heavy drawing takes
        // about 0.7 s a megapixel. A lowered timeout lowers it in proportion.
        int renderMsPerMegapixel = 3000;
        qint64 memoryBytes = qint64(2560)
                             << 20; // 0: no limit (the sanitizers reserve address space)
    };

    // The limits in force: the defaults, or ASSETSMITH_DECODE_TIMEOUT_MS and
    // ASSETSMITH_DECODE_MEMORY_MB from the environment (tests lower them).
    static Limits limits();

    static ImageDecoder::Decoded decodeFile(const QString &path,
                                            const std::atomic_bool *cancel = nullptr);
    // The same, but a file too large to hold comes back shrunk as it was read, its long side at
    // least `side` (DecodeWorker::readReduced); `progress` hears of each row on this thread.
    static ImageDecoder::Decoded decodeFileReduced(const QString &path, int side,
                                                   const std::atomic_bool *cancel = nullptr,
                                                   const DecodeWorker::Progress &progress = {});
    static ImageDecoder::Decoded decodeData(const QByteArray &data,
                                            const std::atomic_bool *cancel = nullptr);
    // The drawing at every size asked for, in one worker: frames in the order of `sizes`, or a
    // failure and its reason. The time limit grows with the pixels asked for, so an honest
    // drawing at a large size has the time it needs while a hostile one still stops.
    static ImageDecoder::Decoded renderSvg(const QByteArray &svg, const QList<QSize> &sizes,
                                           const std::atomic_bool *cancel = nullptr);
    static int renderTimeoutMs(const QList<QSize> &sizes);
    // A drawing split into its layers in one worker (LayeredDrawing::splitSerialised): Ok once
    // `accept` took a reply of at most `replyLimit` bytes, else a failure and its reason; a reply
    // it refuses is the worker failing.
    static ImageDecoder::Decoded splitSvg(const QByteArray &svg, qint64 replyLimit,
                                          const std::function<bool(const QByteArray &)> &accept,
                                          const std::atomic_bool *cancel = nullptr);

private:
    // Reads a reply other than a decode's or a render's, by the worker's ReadExactly.
    using ReadReply = std::function<bool(const std::function<bool(char *, qint64)> &read)>;
    static ImageDecoder::Decoded runWorker(const QStringList &arguments, const QByteArray &input,
                                           int timeoutMs, const QList<QSize> &expected = {},
                                           const std::atomic_bool *cancel = nullptr,
                                           const ReadReply &readReply = {},
                                           const DecodeWorker::Progress *reduced = nullptr);
};
