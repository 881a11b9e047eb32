#include "TestFiles.h"
#include "source/DecodeWorker.h"
#include "source/IsolatedDecoder.h"
#include "source/LayeredDrawing.h"

#include <QBuffer>
#include <QCborArray>
#include <QCborValue>
#include <QtEndian>

#include <atomic>
#include <chrono>
#include <thread>

Q_DECLARE_METATYPE(ImageDecoder::Decoded)

using enum ImageDecoder::Status;

namespace {

// A result header as a worker might write it; by default an honest one for one 2x2 frame.
struct Header
{
    uint magic = 0x574d5341, status = 0;
    QByteArray reason = {};
    double w = 2, h = 2;
    QByteArray profile = {}, svg = {}, fonts = {};
    uint frames = 1;
};

QByteArray wire(const Header &h)
{
    return le(h.magic, h.status, uint(h.reason.size())) + h.reason + le(h.w, h.h) +
           le(uint(h.profile.size())) + h.profile + le(uint(h.svg.size())) + h.svg +
           le(uint(h.fonts.size())) + h.fonts + le(h.frames);
}

QByteArray frame(uint w, uint h, uint alpha = 1, char fill = 'p')
{
    return le(w, h, alpha) + QByteArray(w * h * 4, fill);
}

// Reads `bytes`, then zeros for ever when `pad`, as from the worker's pipe.
std::optional<ImageDecoder::Decoded> readBack(QByteArray bytes, bool pad, QList<QSize> sizes = {})
{
    qint64 at = 0;
    ImageDecoder::Decoded out;
    const auto read = [&](char *data, qint64 size) {
        std::memcpy(data, bytes.mid(at, size).leftJustified(size, 0).constData(), size_t(size));
        return (at += size) <= bytes.size() || pad;
    };
    return DecodeWorker::read(read, &out, sizes) ? std::optional(out) : std::nullopt;
}

// A split's reply as a worker might send it: the length as stated, then the bytes.
QByteArray splitWire(const QByteArray &cbor, quint64 length, uint magic = 0x4c4d5341)
{
    return le(magic) + le(length) + cbor;
}

// An honest split of a drawing of a few bytes, front first: a kept group, a hidden shape.
QCborArray honestSplit()
{
    return {"", QCborArray{"Artboard"},
            QCborArray{"the drawing fades all its layers together (opacity 0.5)"},
            QCborArray{QCborArray{"Mark", "group", "g", 0, "", QCborArray{"“Mark” blends"},
                                  QByteArray("<svg/>")},
                       QCborArray{"Guide", "shape", "path", 1, "hidden by display: none",
                                  QCborArray{}, QByteArray()}}};
}

// The honest split with one of its layers' fields changed.
QByteArray withLayerField(int layer, int field, const QCborValue &value)
{
    QCborArray split = honestSplit();
    QCborArray layers = split[3].toArray();
    QCborArray fields = layers[layer].toArray();
    fields[field] = value;
    layers[layer] = fields;
    split[3] = layers;
    return QCborValue(split).toCbor();
}

} // namespace

class WorkerTest : public QObject
{
    Q_OBJECT
    QTemporaryDir dir;

    // The decoder's result with a shell script as its worker, given two seconds in all.
    template <typename Load> auto withWorker(const QByteArray &script, Load load)
    {
        const QString path = dir.filePath("worker");
        if (!writeFile(path, "#!/bin/sh\n" + script) ||
            !QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            qFatal("cannot write %s", qPrintable(path));
        const QByteArray worker = qgetenv("ASSETSMITH_WORKER");
        const QByteArray timeout = qgetenv("ASSETSMITH_DECODE_TIMEOUT_MS");
        qputenv("ASSETSMITH_WORKER", QFile::encodeName(path));
        qputenv("ASSETSMITH_DECODE_TIMEOUT_MS", "2000");
        const auto loaded = load();
        qputenv("ASSETSMITH_WORKER", worker);
        qputenv("ASSETSMITH_DECODE_TIMEOUT_MS", timeout);
        return loaded;
    }

private slots:
    void roundTrip_data()
    {
        QTest::addColumn<ImageDecoder::Decoded>("sent");
        QList<QImage> frames{noise({3, 2}, true, 1), noise({1, 5}, false, 2)};
        for (QImage &frame : frames) // the reader tags each frame with the colour space sent
            frame.setColorSpace(QColorSpace::DisplayP3);
        QTest::newRow("bitmap") << ImageDecoder::Decoded{
            Ok, {}, frames, {}, {}, {3, 2}, QColorSpace::DisplayP3};
        QTest::newRow("drawing") << ImageDecoder::Decoded{
            Ok, {}, {}, "<svg/>", {"Écrite", "Mono"}, {12.5, 7}, {}};
        QTest::newRow("failure") << ImageDecoder::refused(TooLarge, "zu groß ✓");
    }

    // Everything sent comes back; anything cut short, nothing.
    void roundTrip()
    {
        QFETCH(ImageDecoder::Decoded, sent);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && DecodeWorker::write(&buffer, sent));
        const auto back = readBack(bytes, false);
        QVERIFY(back && back->status == sent.status && back->reason == sent.reason);
        QVERIFY(back->size == sent.size && back->missingFonts == sent.missingFonts);
        QVERIFY(back->svg == sent.svg && back->colorSpace == sent.colorSpace);
        QVERIFY(back->frames == sent.frames);
        for (qsizetype n = 0; n < bytes.size(); ++n)
            QVERIFY2(!readBack(bytes.left(n), false), qPrintable(QString::number(n)));
    }

    void framing()
    {
        const QByteArray data = "some bytes";
        QByteArray framed = DecodeWorker::frame(data), unframed;
        for (const QByteArray &in : {framed, framed.chopped(1), framed + "x", "B" + framed.mid(1)})
            QCOMPARE(DecodeWorker::unframe(in, data.size(), &unframed), in == framed);
        QVERIFY(!DecodeWorker::unframe(framed, data.size() - 1, &unframed));
        QVERIFY(DecodeWorker::unframe(framed, data.size(), &unframed) && unframed == data);
    }

    // Each field of a result in turn says what no worker of this build would: the reply is not
    // used, whatever its status. What an honest worker sends in each case is in the rows too.
    void lyingReplies_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QList<QSize>>("sizes"); // drawn at these, or decoded when empty
        QTest::addColumn<int>("status");         // -1: the result must not be used
        const QList<QSize> two{{2, 2}, {3, 1}};
        const QByteArray icc = QColorSpace(QColorSpace::DisplayP3).iccProfile();
        const quint32 side = ImageLimits::MaxSide, text = 1 << 16, maxIcc = 4 << 20;
        // A failure's header as an honest worker writes it, then changed.
        const auto failed = [](auto change) {
            Header h{.status = 2, .reason = "r", .w = -1, .h = -1, .frames = 0};
            change(h);
            return wire(h);
        };
        const QByteArray failure = failed([](Header &) {});
        const Header drawing{.svg = "<svg/>", .fonts = "A\nB", .frames = 0};
        const std::optional<ImageDecoder::Status> refused;
        struct Row
        {
            const char *tag;
            QByteArray wire;
            std::optional<ImageDecoder::Status> status;
            QList<QSize> sizes = {};
        };
        const Row rows[] = {
            {"bitmap", wire({.profile = icc}) + frame(2, 2), Ok},
            {"opaque bitmap", wire({.frames = 2}) + frame(2, 2, 0, -1) + frame(1, 3), Ok},
            {"drawing", wire(drawing), Ok},
            {"failure", failure, Damaged},
            {"drawn", wire({.frames = 2}) + frame(2, 2) + frame(3, 1), Ok, two},
            {"drawn, then not", wire({.frames = 2}) + frame(2, 2) + frame(0, 0), Damaged, two},
            {"drawing failed", failure, Damaged, two},

            {"magic", wire({.magic = 0x574d5342}) + frame(2, 2), refused},
            {"status cancelled", failed([](Header &h) { h.status = 5; }), refused},
            {"reason over limit", failed([&](Header &h) { h.reason.fill('r', text + 1); }),
             refused},
            {"reason not UTF-8", failed([](Header &h) { h.reason = "\xff"; }), refused},
            {"reason with success", wire({.reason = "r"}) + frame(2, 2), refused},
            {"NaN width", wire({.w = qQNaN()}) + frame(2, 2), refused},
            {"infinite height", wire({.h = qInf(), .svg = "<svg/>", .frames = 0}), refused},
            {"zero width", wire({.w = 0, .svg = "<svg/>", .frames = 0}), refused},
            {"width over limit", wire({.w = 1 << 30 | 1, .svg = "<svg/>", .frames = 0}), refused},
            {"size with failure", failed([](Header &h) { h.w = h.h = 2; }), refused},
            {"size not the largest frame's", wire({.frames = 2}) + frame(2, 2) + frame(1, 5),
             refused},
            {"profile over limit", wire({.profile = QByteArray(maxIcc + 1, 0)}) + frame(2, 2),
             refused},
            {"profile not a profile", wire({.profile = "icc"}) + frame(2, 2), refused},
            {"profile of a drawing", wire({.profile = icc, .svg = "<svg/>", .frames = 0}), refused},
            {"profile of a failure", failed([&](Header &h) { h.profile = icc; }), refused},
            {"profile drawn", wire({.profile = icc, .frames = 2}) + frame(2, 2) + frame(3, 1),
             refused, two},
            {"drawing and frames", wire({.svg = "<svg/>"}) + frame(2, 2), refused},
            {"drawing of a failure", failed([](Header &h) { h.svg = "<svg/>"; }), refused},
            {"drawing drawn", wire({.svg = "<svg/>", .frames = 2}) + frame(2, 2) + frame(3, 1),
             refused, two},
            {"fonts of a bitmap", wire({.fonts = "A"}) + frame(2, 2), refused},
            {"fonts of a failure", failed([](Header &h) { h.fonts = "A"; }), refused},
            {"font without a name", wire({.svg = "<svg/>", .fonts = "A\n\nB", .frames = 0}),
             refused},
            {"fonts not UTF-8", wire({.svg = "<svg/>", .fonts = "\xc3", .frames = 0}), refused},
            {"fonts over limit",
             wire({.svg = "<svg/>", .fonts = QByteArray(text + 1, 'f'), .frames = 0}), refused},
            {"neither frames nor drawing", wire({.frames = 0}), refused},
            {"65 frames", wire({.w = 1, .h = 1, .frames = 65}) + frame(1, 1).repeated(65), refused},
            {"frames of a failure", failed([](Header &h) { h.frames = 1; }) + frame(2, 2), refused},
            // A damaged drawing's status with more frames than sizes asked for, the last of
            // them of no size, which would name the size it could not be drawn at.
            {"frames of a drawn failure",
             failed([](Header &h) { h.frames = 3; }) + frame(2, 2) + frame(3, 1) + frame(0, 0),
             refused, two},
            {"more frames than drawn", wire({.frames = 3}) + frame(2, 2) + frame(3, 1), refused,
             two},
            {"fewer frames than drawn", wire({}) + frame(2, 2), refused, two},
            {"drawn resized", wire({.frames = 2}) + frame(2, 2) + frame(3, 2), refused, two},
            // Each within the limits; the reader's zeros stand for the second one's pixels.
            {"pixels in all",
             wire({.w = side, .h = side, .frames = 2}) + frame(1, 1) + le(side, side, 1u), refused},
            {"side over limit", wire({.w = side + 1, .h = 1}) + frame(side + 1, 1), refused},
            {"frame of no size", wire({}) + frame(0, 0), refused},
            {"alpha flag", wire({}) + frame(2, 2, 2), refused},
            {"opaque frame not opaque", wire({}) + frame(2, 2, 0, 'p'), refused},
        };
        for (const Row &row : rows)
            QTest::newRow(row.tag) << row.wire << row.sizes << (row.status ? int(*row.status) : -1);
    }

    void lyingReplies()
    {
        QFETCH(QByteArray, wire);
        QFETCH(QList<QSize>, sizes);
        QFETCH(int, status);
        const auto back = readBack(wire, true, sizes);
        QCOMPARE(back ? int(back->status) : -1, status);
        QVERIFY(!back || back->reason.isEmpty() == !status);
        // The same reply from a worker, which then ends as an honest one does.
        QVERIFY(writeFile(dir.filePath("reply"), wire));
        const ImageDecoder::Decoded decoded = withWorker(
            "cat >/dev/null; cat '" + QFile::encodeName(dir.filePath("reply")) + "'", [&] {
                return sizes.isEmpty() ? IsolatedDecoder::decodeData("data")
                                       : IsolatedDecoder::renderSvg("<svg/>", sizes);
            });
        QCOMPARE(int(decoded.status), status < 0 ? int(Damaged) : status);
        QCOMPARE(decoded.reason.contains("failed on it"), status < 0);
    }

    // A split's reply: what no split of a drawing of a few bytes could be is not used, by the
    // reader alone or through a worker; an honest one, split or refused, is.
    void lyingSplits_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<QString>("error"); // the split's own error; "-": the reply is refused
        const QByteArray honest = QCborValue(honestSplit()).toCbor();
        const auto row = [](const char *tag, const QByteArray &cbor, const char *error = "-") {
            QTest::newRow(tag) << splitWire(cbor, quint64(cbor.size())) << QString(error);
        };
        const auto changed = [](int field, const QCborValue &value) {
            QCborArray split = honestSplit();
            split[field] = value;
            return QCborValue(split).toCbor();
        };
        QCborArray empties;
        for (int i = 0; i < 257; ++i)
            empties.append(QCborArray{"L", "shape", "path", 2, "it has nothing to draw",
                                      QCborArray{}, QByteArray()});
        row("honest", honest, "");
        row("refused",
            QCborValue(
                QCborArray{"it has 300 top-level layers", QCborArray{}, QCborArray{}, QCborArray{}})
                .toCbor(),
            "it has 300 top-level layers");
        QTest::newRow("magic") << splitWire(honest, quint64(honest.size()), 0x574d5341)
                               << QString("-");
        QTest::newRow("cut short") << splitWire(honest, quint64(honest.size()) + 1) << QString("-");
        QTest::newRow("length over limit")
            << splitWire({}, quint64(LayeredDrawing::maxSerialisedBytes(6)) + 1) << QString("-");
        row("more after it", honest + QCborValue(0).toCbor());
        row("not CBOR", "\xff\xff\xff");
        row("indefinite array", "\x9f" + honest.mid(1) + "\xff");
        row("three fields", QCborValue(QCborArray{"", QCborArray{}, QCborArray{}}).toCbor());
        row("error with layers", changed(0, "it is not a drawing"));
        row("wrapper unnamed", changed(1, QCborArray{""}));
        row("effect not text", changed(2, QCborArray{7}));
        row("257 layers", changed(3, empties));
        row("name empty", withLayerField(0, 0, ""));
        row("name as bytes", withLayerField(0, 0, QByteArray("Mark")));
        row("name not UTF-8", QByteArray(honest).replace("\x64Mark", "\x64M\xffrk"));
        row("kind unknown", withLayerField(0, 1, "layer"));
        row("element empty", withLayerField(0, 2, ""));
        row("state 3", withLayerField(1, 3, 3));
        row("state -1", withLayerField(1, 3, -1));
        row("state as text", withLayerField(1, 3, "1"));
        row("kept without drawing", withLayerField(0, 6, QByteArray()));
        row("kept with a reason", withLayerField(0, 4, "hidden"));
        row("hidden with a drawing", withLayerField(1, 6, QByteArray("<svg/>")));
        row("hidden without a reason", withLayerField(1, 4, ""));
        row("hidden spanning layers", withLayerField(1, 5, QCborArray{"it blends"}));
        // Within the reply's bound, past the 64 times 16 KiB a drawing of six bytes may grow to.
        row("grown past the bound", withLayerField(0, 6, QByteArray((64 << 14) + 1, 'x')));
    }

    void lyingSplits()
    {
        QFETCH(QByteArray, wire);
        QFETCH(QString, error);
        qint64 at = 0;
        const auto read = [&](char *data, qint64 size) {
            std::memcpy(data, wire.mid(at, size).leftJustified(size, 0).constData(), size_t(size));
            return (at += size) <= wire.size();
        };
        QByteArray reply;
        std::optional<LayeredDrawing> split;
        if (DecodeWorker::readSplit(read, LayeredDrawing::maxSerialisedBytes(6), &reply))
            split = LayeredDrawing::fromSerialised(reply, 6);
        QCOMPARE(split ? split->error() : QString("-"), error);
        if (split && error.isEmpty()) {
            QCOMPARE(split->wrappers(), QStringList{"Artboard"});
            QCOMPARE(split->crossLayer().size(), 2);
            QCOMPARE(split->layers().size(), 2);
            QCOMPARE(split->layers()[1].state, LayeredDrawing::State::Hidden);
            QCOMPARE(split->layers()[0].svg, "<svg/>");
        }
        QVERIFY(writeFile(dir.filePath("reply"), wire));
        const QString isolated =
            withWorker("cat >/dev/null; cat '" + QFile::encodeName(dir.filePath("reply")) + "'",
                       [] { return LayeredDrawing::splitIsolated("<svg/>").error(); });
        if (error == "-")
            QVERIFY2(isolated.contains("failed on it"), qPrintable(isolated));
        else
            QCOMPARE(isolated, error);
    }

    void misbehavingWorker_data()
    {
        QTest::addColumn<QByteArray>("script");
        // Stopped from another thread, as the window stops a slow read: -1 never, 0 at once.
        QTest::addColumn<int>("stopAfterMs");
        QTest::addColumn<ImageDecoder::Status>("status");
        const auto row = [](const char *tag, const QByteArray &script, ImageDecoder::Status status,
                            int stopAfterMs = -1) {
            QTest::newRow(tag) << script << stopAfterMs << status;
        };
        row("out of memory", "exit 3", TooLarge);
        row("crashes", "kill -SEGV $$", Damaged);
        row("garbage", "echo garbage", Damaged);
        row("hangs", "exec sleep 60", TookTooLong);
        row("hangs, stopped", "exec sleep 60", Cancelled, 300);
        // Stopped before it could read its input: it must never get to answer.
        row("answers, stopped first", "cat >/dev/null; touch \"$0.answered\"", Cancelled, 0);
        // A whole, well-formed answer from a worker that then fails or says more is not to be
        // trusted.
        row("answers, then fails", "\"@REAL@\" --decode-worker decode -; exit 1", Damaged);
        row("answers, then says more", "\"@REAL@\" --decode-worker decode -; echo more", Damaged);
    }

    void misbehavingWorker()
    {
        QFETCH(QByteArray, script);
        QFETCH(int, stopAfterMs);
        QFETCH(ImageDecoder::Status, status);
        script.replace("@REAL@", qgetenv("ASSETSMITH_WORKER"));
        QFile::remove(dir.filePath("worker.answered"));
        std::atomic_bool stop = stopAfterMs == 0;
        std::jthread stopper([&] {
            if (stopAfterMs > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(stopAfterMs));
                stop = true;
            }
        });
        // More than a pipe holds, for a worker that never reads it.
        const ImageDecoder::Decoded decoded = withWorker(
            script, [&] { return IsolatedDecoder::decodeData(QByteArray(4 << 20, 'x'), &stop); });
        const QMap<ImageDecoder::Status, QString> reasons{{TooLarge, "needs too much memory"},
                                                          {Damaged, "failed on it"},
                                                          {TookTooLong, "took too long"},
                                                          {Cancelled, "was stopped"}};
        QCOMPARE(decoded.status, status);
        QVERIFY2(decoded.reason.contains(reasons[status]), qPrintable(decoded.reason));
        QVERIFY(!QFile::exists(dir.filePath("worker.answered")));
    }
};

QTEST_GUILESS_MAIN(WorkerTest)
#include "tst_worker.moc"
