#pragma once

#include "ImageDecoder.h"

#include <QString>

// Decodes and renders in the decoding worker process and waits for it the way a load in this
// process would wait (no event loop runs meanwhile). A worker that crashes, passes its memory
// limit or outlives its time is ended, and the result says why.
class IsolatedDecoder
{
public:
    struct Limits
    {
        int timeoutMs = 15000;
        qint64 memoryBytes = qint64(2560)
                             << 20; // 0: no limit (the sanitizers reserve address space)
    };

    // The limits in force: the defaults, or ASSETSMITH_DECODE_TIMEOUT_MS and
    // ASSETSMITH_DECODE_MEMORY_MB from the environment (tests lower them).
    static Limits limits();

    static ImageDecoder::Decoded decodeFile(const QString &path);
    static ImageDecoder::Decoded decodeData(const QByteArray &data);
    static QImage renderSvg(const QByteArray &svg, QSize size);

private:
    static ImageDecoder::Decoded runWorker(const QStringList &arguments, const QByteArray &input);
};
