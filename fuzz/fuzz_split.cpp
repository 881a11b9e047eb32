// Feeds arbitrary bytes to the application's reader of a layered drawing's split as the
// decoding worker sends it, as a worker that lies in any field would send them. The first two
// bytes give the size of the drawing the split claims to come from; the rest is the reply.
#include "source/LayeredDrawing.h"

#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdlib>

namespace {

// Honest splits, from the worker's own writer, for the fuzzer to start from.
void writeSeeds(const QString &folder)
{
    QDir().mkpath(folder);
    const QByteArray drawings[] = {
        "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 8 8'><g id='back'><rect "
        "width='8' height='8' fill='red'/></g><g id='front' style='display:none'><circle r='2'/>"
        "</g></svg>",
        "<svg xmlns='http://www.w3.org/2000/svg'><defs><linearGradient id='g'/></defs><path "
        "d='M0 0h4v4z' fill='url(#g)'/><path d='M1 1h2v2z' style='mix-blend-mode:multiply'/>"
        "</svg>",
        "<svg/>"};
    int n = 0;
    for (const QByteArray &drawing : drawings) {
        const QByteArray reply = LayeredDrawing::splitSerialised(drawing);
        QFile file(QStringLiteral("%1/seed-%2").arg(folder).arg(n++));
        if (file.open(QIODevice::WriteOnly)) {
            const quint16 length = quint16(drawing.size());
            file.write(QByteArray{char(length & 0xff), char(length >> 8)} + reply);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (const QString seeds = qEnvironmentVariable("ASSETSMITH_FUZZ_SEEDS"); !seeds.isEmpty())
        writeSeeds(seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const qint64 drawingBytes = qint64(data[0]) | qint64(data[1]) << 8;
    const QByteArray reply(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));
    const std::optional<LayeredDrawing> split = LayeredDrawing::fromSerialised(reply, drawingBytes);
    if (!split)
        return 0;
    // What the application goes on to rely on.
    if (split->layers().size() > LayeredDrawing::MaxLayers)
        std::abort();
    qint64 svgBytes = 0;
    for (const LayeredDrawing::Layer &layer : split->layers()) {
        if (layer.kept() == layer.svg.isEmpty() || layer.name.isEmpty())
            std::abort();
        svgBytes += layer.svg.size();
    }
    if (svgBytes > LayeredDrawing::maxSerialisedBytes(drawingBytes))
        std::abort();
    (void)split->crossLayer();
    return 0;
}
