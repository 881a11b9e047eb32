#include "RowDecoder.h"

#include "ImageLimits.h"

#include <QFile>
#include <QImageReader>

#include <png.h>
#include <tiffio.h>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <vector>

// The libraries report errors by a long jump back to the call that started the work: every
// function below that sets a jump target holds only trivially destructible locals, so the jump
// skips no destructor.

struct RowDecoder::Png
{
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::jmp_buf jump;
    char message[200] = {};
    ~Png() { png_destroy_read_struct(&png, &info, nullptr); }
};

namespace {

void pngError(png_structp png, png_const_charp message)
{
    auto *state = static_cast<RowDecoder::Png *>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", message);
    std::longjmp(state->jump, 1);
}

void pngWarning(png_structp, png_const_charp) {}

} // namespace

struct RowDecoder::Jpeg
{
    jpeg_decompress_struct info;
    jpeg_error_mgr errors;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
    bool created = false;
    std::vector<uchar> line;
    ~Jpeg()
    {
        if (created)
            jpeg_destroy_decompress(&info);
    }
};

namespace {

void jpegError(j_common_ptr info)
{
    auto *state = reinterpret_cast<RowDecoder::Jpeg *>(info->client_data);
    info->err->format_message(info, state->message);
    std::longjmp(state->jump, 1);
}

// A corrupt-data warning means the library filled something in; Qt's reader calls that damage.
void jpegWarning(j_common_ptr info, int level)
{
    if (level < 0)
        jpegError(info);
}

} // namespace

struct RowDecoder::Tiff
{
    TIFF *tiff = nullptr;
    uint32_t row = 0;
    std::vector<uchar> line;
    ~Tiff()
    {
        if (tiff)
            TIFFClose(tiff);
    }
};

RowDecoder::RowDecoder(const QString &path)
{
    m_file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!m_file)
        return;
    uchar magic[8] = {};
    const size_t got = std::fread(magic, 1, sizeof magic, m_file);
    std::rewind(m_file);
    if (got == 8 && png_sig_cmp(magic, 0, 8) == 0)
        m_readable = openPng();
    else if (got >= 4 &&
             (std::memcmp(magic, "II*\0", 4) == 0 || std::memcmp(magic, "MM\0*", 4) == 0))
        m_readable = openTiff(path);
    else if (got >= 3 && magic[0] == 0xff && magic[1] == 0xd8 && magic[2] == 0xff &&
             QImageReader(path).transformation() == QImageIOHandler::TransformationNone)
        m_readable = openJpeg();
    m_readable = m_readable && ImageLimits::fits(m_size);
}

RowDecoder::~RowDecoder()
{
    m_png.reset();
    m_jpeg.reset();
    m_tiff.reset();
    if (m_file)
        std::fclose(m_file);
}

bool RowDecoder::openPng()
{
    m_png = std::make_unique<Png>();
    Png &p = *m_png;
    p.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &p, pngError, pngWarning);
    if (!p.png)
        return false;
    p.info = png_create_info_struct(p.png);
    if (!p.info)
        return false;
    if (setjmp(p.jump))
        return false;
    png_set_user_limits(p.png, ImageLimits::MaxSide, ImageLimits::MaxSide);
    png_init_io(p.png, m_file);
    png_read_info(p.png, p.info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(p.png, p.info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
    if (interlace != PNG_INTERLACE_NONE)
        return false;
    if (png_get_valid(p.png, p.info, PNG_INFO_iCCP)) {
        png_charp name = nullptr;
        int compression = 0;
        png_bytep profile = nullptr;
        png_uint_32 length = 0;
        png_get_iCCP(p.png, p.info, &name, &compression, &profile, &length);
        const QColorSpace space = QColorSpace::fromIccProfile(
            QByteArray(reinterpret_cast<const char *>(profile), qsizetype(length)));
        if (space.isValid() && space != QColorSpace(QColorSpace::SRgb))
            m_colorSpace = space;
    } else if (!png_get_valid(p.png, p.info, PNG_INFO_sRGB) &&
               (png_get_valid(p.png, p.info, PNG_INFO_gAMA) ||
                png_get_valid(p.png, p.info, PNG_INFO_cHRM))) {
        return false;
    }
    m_alpha = (colour & PNG_COLOR_MASK_ALPHA) || png_get_valid(p.png, p.info, PNG_INFO_tRNS);
    png_set_expand(p.png);
    png_set_scale_16(p.png);
    png_set_gray_to_rgb(p.png);
    png_set_bgr(p.png);
    if (!m_alpha)
        png_set_filler(p.png, 0xff, PNG_FILLER_AFTER);
    png_read_update_info(p.png, p.info);
    if (png_get_rowbytes(p.png, p.info) != size_t(width) * 4)
        return false;
    m_size = QSize(int(width), int(height));
    return true;
}

bool RowDecoder::openJpeg()
{
    m_jpeg = std::make_unique<Jpeg>();
    Jpeg &j = *m_jpeg;
    j.info.err = jpeg_std_error(&j.errors);
    j.errors.error_exit = jpegError;
    j.errors.emit_message = jpegWarning;
    j.info.client_data = &j;
    if (setjmp(j.jump))
        return false;
    jpeg_create_decompress(&j.info);
    j.created = true;
    jpeg_stdio_src(&j.info, m_file);
    jpeg_save_markers(&j.info, JPEG_APP0 + 2, 0xffff);
    jpeg_read_header(&j.info, TRUE);
    if (jpeg_has_multiple_scans(&j.info) ||
        (j.info.jpeg_color_space != JCS_YCbCr && j.info.jpeg_color_space != JCS_GRAYSCALE &&
         j.info.jpeg_color_space != JCS_RGB) ||
        j.info.image_width > JDIMENSION(ImageLimits::MaxSide) ||
        j.info.image_height > JDIMENSION(ImageLimits::MaxSide))
        return false;
    JOCTET *profile = nullptr;
    unsigned int length = 0;
    if (jpeg_read_icc_profile(&j.info, &profile, &length)) {
        const QColorSpace space = QColorSpace::fromIccProfile(
            QByteArray(reinterpret_cast<const char *>(profile), qsizetype(length)));
        std::free(profile);
        if (space.isValid() && space != QColorSpace(QColorSpace::SRgb))
            m_colorSpace = space;
    }
    // Unlike its X forms, the library fills the fourth byte of this one: opaque, as Qt gives it.
    j.info.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&j.info);
    m_size = QSize(int(j.info.output_width), int(j.info.output_height));
    return j.info.output_components == 4;
}

bool RowDecoder::openTiff(const QString &path)
{
    // The library's messages go to standard error, which the application does not read; a
    // failed call is what tells damage.
    TIFFSetWarningHandler(nullptr);
    m_tiff = std::make_unique<Tiff>();
    Tiff &t = *m_tiff;
    // Without mapping the file, so that only the strip being read is in memory.
    t.tiff = TIFFOpen(QFile::encodeName(path).constData(), "rm");
    if (!t.tiff || TIFFIsTiled(t.tiff) || TIFFNumberOfDirectories(t.tiff) != 1)
        return false;
    uint32_t width = 0, height = 0;
    uint16_t bits = 0, samples = 0, photometric = 0, planar = 0, orientation = ORIENTATION_TOPLEFT;
    uint16_t extraCount = 0, *extra = nullptr;
    if (!TIFFGetField(t.tiff, TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(t.tiff, TIFFTAG_IMAGELENGTH, &height) ||
        !TIFFGetFieldDefaulted(t.tiff, TIFFTAG_BITSPERSAMPLE, &bits) ||
        !TIFFGetFieldDefaulted(t.tiff, TIFFTAG_SAMPLESPERPIXEL, &samples) ||
        !TIFFGetField(t.tiff, TIFFTAG_PHOTOMETRIC, &photometric) ||
        !TIFFGetFieldDefaulted(t.tiff, TIFFTAG_PLANARCONFIG, &planar) ||
        !TIFFGetFieldDefaulted(t.tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extra))
        return false;
    TIFFGetField(t.tiff, TIFFTAG_ORIENTATION, &orientation);
    // Qt's reader premultiplies an alpha channel with the library's own rounding: a TIFF with
    // one is left to it.
    if (bits != 8 || photometric != PHOTOMETRIC_RGB || planar != PLANARCONFIG_CONTIG ||
        orientation != ORIENTATION_TOPLEFT || samples != 3 || extraCount != 0 ||
        width > uint32_t(ImageLimits::MaxSide) || height > uint32_t(ImageLimits::MaxSide) ||
        TIFFScanlineSize64(t.tiff) != uint64_t(width) * 3)
        return false;
    uint32_t length = 0;
    const void *profile = nullptr;
    if (TIFFGetField(t.tiff, TIFFTAG_ICCPROFILE, &length, &profile) && profile) {
        const QColorSpace space = QColorSpace::fromIccProfile(
            QByteArray(static_cast<const char *>(profile), qsizetype(length)));
        if (space.isValid() && space != QColorSpace(QColorSpace::SRgb))
            m_colorSpace = space;
    }
    t.line.resize(size_t(width) * 3);
    m_size = QSize(int(width), int(height));
    return true;
}

bool RowDecoder::readRow(QRgb *row)
{
    if (!m_readable)
        return false;
    if (m_tiff) {
        Tiff &t = *m_tiff;
        if (TIFFReadScanline(t.tiff, t.line.data(), t.row, 0) != 1) {
            m_reason = QStringLiteral("row %1 cannot be read").arg(t.row + 1);
            return false;
        }
        ++t.row;
        const uchar *in = t.line.data();
        for (int x = 0; x < m_size.width(); ++x, in += 3)
            row[x] = qRgb(in[0], in[1], in[2]);
        return true;
    }
    if (m_png) {
        Png &p = *m_png;
        if (setjmp(p.jump)) {
            m_reason = QString::fromLocal8Bit(p.message);
            return false;
        }
        png_read_row(p.png, reinterpret_cast<png_bytep>(row), nullptr);
        return true;
    }
    Jpeg &j = *m_jpeg;
    if (setjmp(j.jump)) {
        m_reason = QString::fromLocal8Bit(j.message);
        return false;
    }
    JSAMPROW line = reinterpret_cast<JSAMPROW>(row);
    if (jpeg_read_scanlines(&j.info, &line, 1) != 1) {
        std::snprintf(j.message, sizeof j.message, "the file ends before its last row");
        std::longjmp(j.jump, 1);
    }
    return true;
}

bool RowDecoder::finish()
{
    if (!m_readable)
        return false;
    if (m_tiff)
        return true;
    if (m_png) {
        Png &p = *m_png;
        if (setjmp(p.jump)) {
            m_reason = QString::fromLocal8Bit(p.message);
            return false;
        }
        png_read_end(p.png, nullptr);
        return true;
    }
    Jpeg &j = *m_jpeg;
    if (setjmp(j.jump)) {
        m_reason = QString::fromLocal8Bit(j.message);
        return false;
    }
    jpeg_finish_decompress(&j.info);
    return true;
}
