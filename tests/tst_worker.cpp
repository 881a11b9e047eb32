#include "TestFiles.h"
#include "source/DecodeWorker.h"
#include "source/IsolatedDecoder.h"

#include <QBuffer>
#include <QtEndian>

#include <atomic>
#include <chrono>
#include <thread>

using enum ImageDecoder::Status;

// The worker's result written out by hand, so that a test can say what no honest worker would.
template <typename... T> QByteArray le(T... v)
{
    QByteArray bytes;
    ((v = qToLittleEndian(v), bytes.append(reinterpret_cast<char *>(&v), sizeof v)), ...);
    return bytes;
}

// n frames, status s, w by h, r bytes of reason and p of profile, no drawing nor fonts.
QByteArray header(uint n, uint s = 0, double w = 2, double h = 2, uint r = 0, uint p = 0)
{
    return le(0x574d5341u, s, r) + QByteArray(r, 0) + le(w, h, p) + QByteArray(p, 0) + le(0ull, n);
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

class WorkerTest : public QObject
{
    Q_OBJECT
    static QByteArray frame(uint w, uint h) { return le(w, h, 1u) + QByteArray(w * h * 4, 'p'); }

private slots:
    void roundTrip()
    {
        QList<QImage> frames{noise({3, 2}, true, 1), noise({1, 5}, false, 2)};
        for (QImage &frame : frames) // the reader tags each frame with the colour space sent
            frame.setColorSpace(QColorSpace::DisplayP3);
        const ImageDecoder::Decoded sent{
            TooLarge,  "zu groß ✓",           frames, {}, {"Écrite", "Mono"},
            {12.5, 7}, QColorSpace::DisplayP3};
        QByteArray bytes;
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::WriteOnly) && DecodeWorker::write(&buffer, sent));
        const auto back = readBack(bytes, false);
        QVERIFY(back && back->status == sent.status && back->reason == sent.reason);
        QVERIFY(back->size == sent.size && back->missingFonts == sent.missingFonts);
        QVERIFY(back->colorSpace == sent.colorSpace && back->frames == sent.frames);
        for (qsizetype n = 0; n < bytes.size(); ++n)
            QVERIFY2(!readBack(bytes.left(n), false), qPrintable(QString::number(n)));
        QByteArray framed = DecodeWorker::frame(bytes), unframed;
        for (const QByteArray &in : {framed, framed.chopped(1), framed + "x", "B" + framed.mid(1)})
            QCOMPARE(DecodeWorker::unframe(in, bytes.size(), &unframed), in == framed);
    }

    void lyingHeaders_data()
    {
        QTest::addColumn<QByteArray>("wire");
        QTest::addColumn<int>("status"); // -1: the result must not be read
        const quint32 side = ImageLimits::MaxSide, text = 1 << 16, icc = 4 << 20;
        QTest::newRow("65 frames") << header(65) + frame(1, 1).repeated(65) << -1;
        // Each within the limits; the reader's zeros stand for the second one's pixels.
        QTest::newRow("pixels in all") << header(2) + frame(1, 1) + le(side, side, 1u) << -1;
        QTest::newRow("side over limit") << header(1) + frame(side + 1, 1) << -1;
        // Drawn at 2x2 and 3x1.
        QTest::newRow("drawn resized") << header(2) + frame(2, 2) + frame(3, 2) << -1;
        QTest::newRow("drawn short") << header(1) + frame(2, 2) << -1;
        QTest::newRow("drawn empty") << header(2) + frame(2, 2) + frame(0, 0) << int(Damaged);
        QTest::newRow("NaN width") << header(0, 0, qQNaN()) << -1;
        QTest::newRow("infinite height") << header(0, 0, 2, qInf()) << -1;
        QTest::newRow("status out of range") << header(0, 5) << -1;
        QTest::newRow("reason over limit") << header(0, 1, 0, 0, text + 1) << -1;
        QTest::newRow("profile over limit") << header(0, 1, 0, 0, 0, icc + 1) << -1;
    }

    void lyingHeaders()
    {
        QFETCH(QByteArray, wire);
        QFETCH(int, status);
        const bool drawn = QByteArray(QTest::currentDataTag()).startsWith("drawn");
        const auto back =
            readBack(wire, true, drawn ? QList<QSize>{{2, 2}, {3, 1}} : QList<QSize>());
        QCOMPARE(back ? int(back->status) : -1, status);
        QVERIFY(!back || back->reason.isEmpty() == !status);
    }

    void misbehavingWorker_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("reason");
        QTest::newRow("out of memory") << "exit 3" << int(TooLarge) << "needs too much memory";
        QTest::newRow("crashes") << "kill -SEGV $$" << int(Damaged) << "failed on it";
        QTest::newRow("garbage") << "echo garbage" << int(Damaged) << "failed on it";
        QTest::newRow("hangs") << "exec sleep 60" << int(TookTooLong) << "took too long";
        // Stopped from another thread before its time is up, as the window stops a slow read.
        QTest::newRow("hangs, stopped") << "exec sleep 60" << int(Cancelled) << "was stopped";
        // A whole, well-formed answer from a worker that then fails is not to be trusted.
        QTest::newRow("answers, then fails")
            << "\"@REAL@\" --decode-worker decode -; exit 1" << int(Damaged) << "failed on it";
    }

    void misbehavingWorker()
    {
        QFETCH(QString, script);
        QFETCH(int, status);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        script.replace("@REAL@", qEnvironmentVariable("ASSETSMITH_WORKER"));
        QVERIFY(writeFile(dir.filePath("worker"), "#!/bin/sh\n" + script.toUtf8()));
        QFile::setPermissions(dir.filePath("worker"), QFile::ReadOwner | QFile::ExeOwner);
        const QByteArray realWorker = qgetenv("ASSETSMITH_WORKER");
        const QByteArray realTimeout = qgetenv("ASSETSMITH_DECODE_TIMEOUT_MS");
        qputenv("ASSETSMITH_WORKER", QFile::encodeName(dir.filePath("worker")));
        qputenv("ASSETSMITH_DECODE_TIMEOUT_MS", "2000");
        std::atomic_bool stop = false;
        std::jthread stopper([&] {
            if (QByteArray(QTest::currentDataTag()).endsWith("stopped")) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
                stop = true;
            }
        });
        // More than a pipe holds, for a worker that never reads it.
        const ImageDecoder::Decoded decoded =
            IsolatedDecoder::decodeData(QByteArray(4 << 20, 'x'), &stop);
        qputenv("ASSETSMITH_WORKER", realWorker);
        qputenv("ASSETSMITH_DECODE_TIMEOUT_MS", realTimeout);
        QCOMPARE(int(decoded.status), status);
        QVERIFY2(decoded.reason.contains(reason), qPrintable(decoded.reason));
    }
};

QTEST_GUILESS_MAIN(WorkerTest)
#include "tst_worker.moc"
