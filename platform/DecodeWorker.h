#pragma once

#include "ImageDecoder.h"

#include <QIODevice>

#include <functional>

// The decoding worker: the same executable started with "--decode-worker", which decodes one
// file (or data on its standard input) or renders one drawing, writes the result to its standard
// output and exits. A crash, a hang or a runaway allocation then ends only the worker.
class DecodeWorker
{
public:
    static constexpr const char *Argument = "--decode-worker";

    static bool isRequested(int argc, char **argv);
    static int run(int argc, char **argv);

    // The result as the worker sends it, and read back by the application. `read` is asked for
    // exactly `size` bytes and returns false when it cannot deliver them.
    static bool write(QIODevice *out, const ImageDecoder::Decoded &decoded);
    using ReadExactly = std::function<bool(char *data, qint64 size)>;
    static bool read(const ReadExactly &read, ImageDecoder::Decoded *decoded);
};
