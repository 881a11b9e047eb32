#pragma once

#include <QColorSpace>
#include <QRgb>
#include <QSize>
#include <QString>

#include <cstdio>
#include <memory>

// Reads a PNG, JPEG or TIFF file one row at a time with the format's own library, so that a huge
// source passes through a few rows of memory. Only files whose rows come out as Qt's whole-image
// reader would give them are taken: an interlaced PNG, one with gamma or chromaticities but no
// profile, a progressive, CMYK or rotated JPEG, a TIFF that is not one page of 8-bit RGB in
// strips, upright, and every other format are left to that reader.
// Any error the library reports, cut-off data included, ends the reading with a reason.
class RowDecoder
{
public:
    explicit RowDecoder(const QString &path);
    ~RowDecoder();
    RowDecoder(const RowDecoder &) = delete;
    RowDecoder &operator=(const RowDecoder &) = delete;

    // Whether the header was read and the file is one this reads row by row.
    bool isReadable() const { return m_readable; }
    QSize size() const { return m_size; }
    bool hasAlpha() const { return m_alpha; }
    // Invalid for plain sRGB.
    QColorSpace colorSpace() const { return m_colorSpace; }

    // The next row as straight-alpha ARGB32, size().width() pixels; false when the file is
    // damaged there (reason() says how).
    bool readRow(QRgb *row);
    // Reads what follows the last row, so that a file cut short after its pixels is damaged too.
    bool finish();
    QString reason() const { return m_reason; }

    struct Png;
    struct Jpeg;
    struct Tiff;

private:
    bool openPng();
    bool openJpeg();
    bool openTiff(const QString &path);

    std::FILE *m_file = nullptr;
    std::unique_ptr<Png> m_png;
    std::unique_ptr<Jpeg> m_jpeg;
    std::unique_ptr<Tiff> m_tiff;
    bool m_readable = false;
    QSize m_size;
    bool m_alpha = false;
    QColorSpace m_colorSpace;
    QString m_reason;
};
