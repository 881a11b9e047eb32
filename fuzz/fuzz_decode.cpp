// Feeds arbitrary bytes through everything this product does around decoding: the header and
// size checks, drawing parsing, the limits, rendering at the smallest and largest icon
// sizes, and PNG encoding. Decoding itself runs in-process here, so the fuzzer sees what the
// worker would.
#include "export/PngEncoder.h"
#include "export/Resampler.h"
#include "source/ImageDecoder.h"
#include "source/SvgDrawing.h"

#include <QGuiApplication>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int appArgc = 1;
    static QGuiApplication application(appArgc, *argv);
    ImageDecoder::setAllocationLimit(256);
    (void)argc;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const ImageDecoder::Decoded decoded = ImageDecoder::decode(bytes);
    if (decoded.status != ImageDecoder::Status::Ok)
        return 0;
    for (int n : {20, 1024}) {
        QImage image;
        if (!decoded.svg.isEmpty()) {
            // The drawing library is not ours to fuzz; a small picture reaches the same code
            // of ours (sizes, stretching, alpha) in a fraction of the time.
            image = SvgDrawing(decoded.svg).render(QSize(n, n / 16 + 1));
            if (!image.isNull() && image.size() != QSize(n, n / 16 + 1))
                std::abort();
            continue;
        } else {
            for (const QImage &frame : decoded.frames) {
                // Huge frames cost the fuzzer its speed without reaching new code.
                if (qint64(frame.width()) * frame.height() <= 4096 * 4096)
                    image = Resampler::resample(frame, n, n, 1);
            }
        }
        if (!image.isNull() && image.size() != QSize(n, n))
            std::abort();
        PngEncoder::encode(image);
    }
    return 0;
}
