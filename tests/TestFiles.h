#pragma once

#include <QDir>
#include <QDirIterator>
#include <QImageReader>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>
#include <QtEndian>

#include <memory>

// Files the tests write and read back with the real decoders, and the pictures they draw.

// Values as little-endian bytes, one after the other: a reply or a file written out by hand, so
// that a test can say what no honest writer would.
template <typename... T> QByteArray le(T... v)
{
    QByteArray bytes;
    ((v = qToLittleEndian(v), bytes.append(reinterpret_cast<char *>(&v), sizeof v)), ...);
    return bytes;
}

inline QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes the bytes at `path`, making its folder first.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

// Saves the image at `path`, in the format its suffix names, making its folder first.
inline QString saveImage(const QString &path, const QImage &image)
{
    QDir().mkpath(QFileInfo(path).path());
    if (!image.save(path))
        qWarning("could not save %s", qPrintable(path));
    return path;
}

inline QJsonObject readJson(const QString &path)
{
    return QJsonDocument::fromJson(bytesOf(path)).object();
}

inline QImage readPng(const QString &path)
{
    QImageReader reader(path, "png");
    QImage image = reader.read();
    image.setDevicePixelRatio(1); // Qt reads "@2x" in a name as a screen density
    return image;
}

// The colour type in a PNG's header: 2 is RGB, 6 RGBA.
inline int pngColourType(const QByteArray &png)
{
    return png.size() > 25 ? uchar(png[25]) : -1;
}

// Every file below a folder, relative to it, with its bytes.
inline QMap<QString, QByteArray> tree(const QString &root)
{
    QMap<QString, QByteArray> files;
    for (QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();) {
        const QString path = it.next();
        files[QDir(root).relativeFilePath(path)] = bytesOf(path);
    }
    return files;
}

// A disc on white, or on nothing: flat colour, soft edges and, when transparent, clear corners.
inline QImage card(QSize size, bool transparent, QColor colour = QColor(30, 120, 220))
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(transparent ? Qt::transparent : Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawEllipse(
        QRectF(size.width() * 0.1, size.height() * 0.1, size.width() * 0.8, size.height() * 0.8));
    return image;
}

// Noise, which hides no misplaced pixel and does not compress.
inline QImage noise(QSize size, bool withAlpha, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(size, withAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const quint32 r = random.generate();
            line[x] = withAlpha ? r : (r | 0xff000000u);
        }
    }
    return image;
}
