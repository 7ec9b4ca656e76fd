// SPDX-License-Identifier: GPL-3.0-or-later
#include "storedcolours.h"

#include "appearance.h"
#include "paths.h"
#include "psdfile.h"

#include <QColorSpace>
#include <QFile>
#include <QImageReader>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

#include <jpeglib.h>
#include <lcms2.h>
#include <tiffio.h>

namespace {

struct ProfileClose
{
    void operator()(void *profile) const { cmsCloseProfile(profile); }
};
struct TransformDelete
{
    void operator()(void *transform) const { cmsDeleteTransform(transform); }
};
using Transform = std::unique_ptr<void, TransformDelete>;

// Qt's 32-bit formats in memory order, for LittleCMS.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr cmsUInt32Number kPixel32 = TYPE_BGRA_8;
#else
constexpr cmsUInt32Number kPixel32 = TYPE_ARGB_8;
#endif

// A transform from the profile to sRGB, or none when the profile is not of the colour space the
// pixels are in. Relative colorimetric with black point compensation, as print previews use.
Transform transformToSrgb(const QByteArray &icc, cmsColorSpaceSignature space,
                          cmsUInt32Number input, cmsUInt32Number flags)
{
    const std::unique_ptr<void, ProfileClose> from(
        cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size())));
    if (!from || cmsGetColorSpace(from.get()) != space)
        return nullptr;
    const std::unique_ptr<void, ProfileClose> to(cmsCreate_sRGBProfile());
    return Transform(cmsCreateTransform(from.get(), input, to.get(), kPixel32,
                                        INTENT_RELATIVE_COLORIMETRIC,
                                        flags | cmsFLAGS_BLACKPOINTCOMPENSATION));
}

// The ink values as they will be kept, checked against the limit Qt's readers keep to.
bool allowed(const QSize &size)
{
    const qint64 bytes = 4 * qint64(size.width()) * size.height();
    return size.width() > 0 && size.height() > 0 &&
           bytes / (1024 * 1024) <= QImageReader::allocationLimit();
}

struct JpegError
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void jumpOut(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegError *>(info->err)->jump, 1);
}

// libjpeg would print its warnings about odd files on the user's terminal.
void silence(j_common_ptr) {}

// Only plain data lives across the jump: a failing libjpeg call lands back in setjmp.
bool readJpeg(const uchar *data, qint64 size, StoredColours &stored)
{
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = jumpOut;
    error.manager.output_message = silence;
    JOCTET *volatile profile = nullptr;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        std::free(profile);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xffff);
    jpeg_read_header(&info, TRUE);
    JOCTET *read = nullptr;
    unsigned int length = 0;
    const bool found = jpeg_read_icc_profile(&info, &read, &length);
    profile = read;
    if (!found || !profile) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    stored.profile = QByteArray(reinterpret_cast<const char *>(profile), qsizetype(length));
    std::free(profile);
    profile = nullptr;
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        info.out_color_space = JCS_CMYK;
        jpeg_start_decompress(&info);
        stored.size = QSize(int(info.output_width), int(info.output_height));
        if (!allowed(stored.size) || info.output_components != 4)
            jumpOut(reinterpret_cast<j_common_ptr>(&info));
        stored.cmyk.resize(4 * qsizetype(info.output_width) * info.output_height);
        while (info.output_scanline < info.output_height) {
            JSAMPROW row = reinterpret_cast<JSAMPROW>(stored.cmyk.data()) +
                           4 * qsizetype(info.output_width) * info.output_scanline;
            jpeg_read_scanlines(&info, &row, 1);
        }
        stored.inverted = info.saw_Adobe_marker;
        jpeg_finish_decompress(&info);
    }
    jpeg_destroy_decompress(&info);
    return true;
}

int silentTiff(TIFF *, void *, const char *, const char *, va_list)
{
    return 1;
}

struct TiffClose
{
    void operator()(TIFF *tiff) const { TIFFClose(tiff); }
};

bool readTiff(QFile &file, StoredColours &stored)
{
    // libtiff closes what it was given; the file closes its own descriptor.
    const int descriptor = dup(file.handle());
    if (descriptor < 0)
        return false;
    // Handlers of this file alone: libtiff's global ones are also Qt's TIFF reader's.
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, silentTiff, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, silentTiff, nullptr);
    const std::unique_ptr<TIFF, TiffClose> tiff(
        TIFFFdOpenExt(descriptor, QFile::encodeName(file.fileName()).constData(), "r", options));
    TIFFOpenOptionsFree(options);
    if (!tiff)
        close(descriptor);
    quint32 length = 0;
    void *profile = nullptr;
    if (!tiff || !TIFFGetField(tiff.get(), TIFFTAG_ICCPROFILE, &length, &profile) || !profile)
        return false;
    stored.profile = QByteArray(static_cast<const char *>(profile), qsizetype(length));

    quint16 photometric = 0, samples = 0, bits = 0, planar = 0;
    quint32 width = 0, height = 0;
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height);
    if (photometric != PHOTOMETRIC_SEPARATED)
        return true;
    // Other layouts of ink keep Qt's reading.
    stored.size = QSize(int(qMin<quint32>(width, INT_MAX)), int(qMin<quint32>(height, INT_MAX)));
    const qsizetype rowBytes = 4 * qsizetype(width);
    if (samples != 4 || bits != 8 || planar != PLANARCONFIG_CONTIG || TIFFIsTiled(tiff.get()) ||
        !allowed(stored.size) || TIFFScanlineSize64(tiff.get()) != quint64(rowBytes))
        return false;
    stored.cmyk.resize(rowBytes * height);
    for (quint32 y = 0; y < height; ++y) {
        if (TIFFReadScanline(tiff.get(), stored.cmyk.data() + rowBytes * y, y) < 0)
            return false;
    }
    return true;
}

// Photoshop files store CMYK as Adobe's JPEGs do, 255 for no ink.
bool readPsd(QFile &file, StoredColours &stored)
{
    // The ink values are read only for a profile to apply to them.
    PsdComposite psd;
    if (!readPsd(&file, psd, false) || psd.profile.isEmpty() ||
        (psd.mode == PsdComposite::Cmyk && (!file.seek(0) || !readPsd(&file, psd))))
        return false;
    stored.profile = psd.profile;
    stored.cmyk = psdInk(psd);
    stored.size = psd.size;
    stored.inverted = true;
    return true;
}

} // namespace

bool readStoredColours(const QString &path, const QByteArray &format, StoredColours &stored)
{
    stored = StoredColours();
    const bool tiff = format == "tiff";
    const bool psd = format == "psd" || format == "psb";
    if (format != "jpeg" && !tiff && !psd)
        return false;
    QFile file(path);
    if (!openRegularFile(file) || file.size() == 0)
        return false;
    if (tiff)
        return readTiff(file, stored);
    if (psd)
        return readPsd(file, stored);
    // Mapped, not read: most files carry no profile, and only their headers are looked at.
    const uchar *data = file.map(0, file.size());
    return data && readJpeg(data, file.size(), stored);
}

QImage storedToSrgb(const QImage &picture, const StoredColours &stored)
{
    const bool cmyk = !stored.cmyk.isEmpty();
    const Transform transform =
        cmyk ? transformToSrgb(stored.profile, cmsSigCmykData,
                               stored.inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, 0)
             : transformToSrgb(stored.profile, cmsSigRgbData, kPixel32, cmsFLAGS_COPY_ALPHA);
    if (!transform)
        return QImage();
    QImage converted;
    if (cmyk) {
        // LittleCMS leaves the alpha byte alone: opaque from the start.
        converted = QImage(stored.size, QImage::Format_RGB32);
        if (converted.isNull())
            return QImage();
        converted.fill(Qt::black);
        cmsDoTransformLineStride(transform.get(), stored.cmyk.constData(), converted.bits(),
                                 cmsUInt32Number(stored.size.width()),
                                 cmsUInt32Number(stored.size.height()),
                                 cmsUInt32Number(4 * stored.size.width()),
                                 cmsUInt32Number(converted.bytesPerLine()), 0, 0);
    } else {
        converted = picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                      : QImage::Format_RGB32);
        cmsDoTransformLineStride(transform.get(), converted.constBits(), converted.bits(),
                                 cmsUInt32Number(converted.width()),
                                 cmsUInt32Number(converted.height()),
                                 cmsUInt32Number(converted.bytesPerLine()),
                                 cmsUInt32Number(converted.bytesPerLine()), 0, 0);
    }
    converted.setColorSpace(QColorSpace(QColorSpace::SRgb));
    return converted;
}

void applyUnusableProfile(const QString &path, const QByteArray &format, QImage &buffer)
{
    StoredColours stored;
    if (!readStoredColours(path, format, stored))
        return;
    QImage converted = storedToSrgb(buffer, stored);
    if (converted.isNull())
        return;
    // A reduced read gets the ink values reduced alike.
    if (converted.size() != buffer.size())
        converted =
            converted.scaled(buffer.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    buffer = std::move(converted);
}
