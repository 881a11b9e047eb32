#pragma once

#include "ImageDecoder.h"

#include <QIODevice>
#include <QList>
#include <QSize>

#include <functional>

// The decoding worker: the same executable started with "--decode-worker", which decodes one
// file (or data on its standard input) or draws one drawing at a list of sizes, writes the result
// to its standard output and exits. A crash, a hang or a runaway allocation then ends only the
// worker. It splits a layered drawing into its layers the same way.
//
// Data on standard input is framed: a magic number and the length, then the bytes, so a worker
// that receives less than was sent says so instead of decoding a part.
class DecodeWorker
{
public:
    static constexpr const char *Argument = "--decode-worker";
    // The exit codes the application tells apart; any other failure is a damaged file.
    static constexpr int OutOfMemoryExit = 3;

    static bool isRequested(int argc, char **argv);
    static int run(int argc, char **argv);

    // The framed input, as the application sends it and the worker takes it back. `unframe`
    // fails on a wrong magic number, a length over `limit`, or fewer or more bytes than stated.
    static QByteArray frame(const QByteArray &data);
    static bool unframe(const QByteArray &framed, qint64 limit, QByteArray *data);

    // The result as the worker sends it: a header, then each frame. The application reads it
    // back; `read` is asked for exactly `size` bytes and returns false when it cannot deliver
    // them. `read` also fails on any field that no worker of this build would send, whatever the
    // status: a failure carries its reason alone; a success no reason, a size of at least one
    // unit and one of three bodies. With `expected` sizes it is frames of exactly those sizes, in
    // that order (a frame of no size ends it: the drawing could not be drawn at that size);
    // without, either a drawing's text with the fonts it lacks, or at most
    // ImageLimits::MaxFrames frames of ImageLimits::MaxPixels in all, with their colour profile,
    // the size being that of the largest.
    static bool writeHeader(QIODevice *out, const ImageDecoder::Decoded &decoded, int frames);
    static bool writeFrame(QIODevice *out, const QImage &frame);
    static bool write(QIODevice *out, const ImageDecoder::Decoded &decoded);
    using ReadExactly = std::function<bool(char *data, qint64 size)>;
    static bool read(const ReadExactly &read, ImageDecoder::Decoded *decoded,
                     const QList<QSize> &expected = {});

    // A drawing's split into layers (LayeredDrawing's serialised form) as the worker sends it: a
    // magic number of its own, the length, the bytes. `readSplit` fails on a wrong magic number,
    // a length over `limit` or a reply cut short, and holds no more than has arrived.
    static bool writeSplit(QIODevice *out, const QByteArray &split);
    static bool readSplit(const ReadExactly &read, qint64 limit, QByteArray *split);

    // A file too large to hold is read row by row and shrunk as it is read, by the largest whole
    // factor that divides both sides and keeps the long side at least `side`; the worker then
    // streams the shrunken rows, each as soon as it is complete, and ends with the header. A
    // file that does not take this path gets the plain result. `readReduced` takes either: the
    // stream is held to its announced sizes, each row to what a premultiplied (or opaque) image
    // can hold, and its ending to the plain header's rules with the source's size being the
    // factor times the frame's. `progress` hears of every row received.
    static int reductionFor(QSize size, int side);
    using Progress = std::function<void(int rows, int of)>;
    static bool readReduced(const ReadExactly &read, ImageDecoder::Decoded *decoded,
                            const Progress &progress = {});

private:
    // The plain header and frames once the magic number is known; `framesFollowed` for the
    // header that ends a stream of shrunken rows, which carries no frames of its own.
    static bool readAfterMagic(const ReadExactly &read, ImageDecoder::Decoded *decoded,
                               const QList<QSize> &expected, bool framesFollowed = false);
};
