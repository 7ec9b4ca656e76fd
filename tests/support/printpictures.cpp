#include "printpictures.h"

#include <QFile>

#include <cstdio>
#include <memory>

#include <jpeglib.h>
#include <lcms2.h>
#include <tiffio.h>

namespace {

// 3 for RGB, 4 for CMYK: values hold one pixel or all of them.
int channelsOf(const QSize &size, const QByteArray &values)
{
    const qsizetype pixels = qsizetype(size.width()) * size.height();
    return int(values.size() > 4 ? values.size() / pixels : values.size());
}

// Row y of the picture that values describe, as writeProfiled takes them.
QByteArray rowOf(const QSize &size, const QByteArray &values, int y)
{
    const int rowBytes = size.width() * channelsOf(size, values);
    if (values.size() > 4)
        return values.mid(qsizetype(y) * rowBytes, rowBytes);
    return values.repeated(size.width());
}

// Lab in ICC's 16-bit encoding: L from 0 to 100, a and b from -128 to 127.
void appendLab(QList<cmsUInt16Number> &table, double l, double a, double b)
{
    table << cmsUInt16Number(qBound(0.0, l, 100.0) * 655.35)
          << cmsUInt16Number((qBound(-128.0, a, 127.0) + 128.0) * 257.0)
          << cmsUInt16Number((qBound(-128.0, b, 127.0) + 128.0) * 257.0);
}

bool writeJpeg(const QString &path, const QSize &size, const QByteArray &values,
               const QByteArray &profile)
{
    const bool cmyk = channelsOf(size, values) == 4;
    FILE *file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file)
        return false;
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = JDIMENSION(size.width());
    info.image_height = JDIMENSION(size.height());
    info.input_components = channelsOf(size, values);
    info.in_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    jpeg_write_icc_profile(&info, reinterpret_cast<const JOCTET *>(profile.constData()),
                           unsigned(profile.size()));
    while (info.next_scanline < info.image_height) {
        QByteArray row = rowOf(size, values, int(info.next_scanline));
        if (cmyk) {
            for (char &value : row)
                value = char(255 - quint8(value));
        }
        JSAMPROW rows[] = {reinterpret_cast<JSAMPROW>(row.data())};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0;
}

bool writeTiff(const QString &path, const QSize &size, const QByteArray &ink,
               const QByteArray &profile)
{
    TIFF *tiff = TIFFOpen(QFile::encodeName(path).constData(), "w");
    if (!tiff)
        return false;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, quint32(size.width()));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, quint32(size.height()));
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 1);
    TIFFSetField(tiff, TIFFTAG_ICCPROFILE, quint32(profile.size()), profile.constData());
    bool written = true;
    for (int y = 0; y < size.height(); ++y) {
        QByteArray row = rowOf(size, ink, y);
        written = written && TIFFWriteScanline(tiff, row.data(), quint32(y)) >= 0;
    }
    TIFFClose(tiff);
    return written;
}

} // namespace

QByteArray tableProfile(int channels)
{
    QList<cmsUInt16Number> table;
    const int points = 1 << channels;
    // The first channel varies slowest in a LittleCMS table.
    for (int i = 0; i < points; ++i) {
        const auto at = [&](int channel) { return double((i >> (channels - 1 - channel)) & 1); };
        if (channels == 4)
            appendLab(table, 95 - 20 * at(0) - 15 * at(1) - 10 * at(2) - 60 * at(3),
                      60 * at(1) - 50 * at(0), 70 * at(2) - 30 * at(0) - 20 * at(1));
        else
            appendLab(table, 15 + 20 * at(0) + 55 * at(1) + 10 * at(2), 70 * at(0) - 60 * at(1),
                      50 * at(1) - 80 * at(2));
    }
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 4.3);
    cmsSetDeviceClass(profile, channels == 4 ? cmsSigOutputClass : cmsSigDisplayClass);
    cmsSetColorSpace(profile, channels == 4 ? cmsSigCmykData : cmsSigRgbData);
    cmsSetPCS(profile, cmsSigLabData);
    // The tag's type wants curves around the table; identity ones do.
    cmsPipeline *pipeline = cmsPipelineAlloc(nullptr, cmsUInt32Number(channels), 3);
    cmsPipelineInsertStage(pipeline, cmsAT_END,
                           cmsStageAllocToneCurves(nullptr, cmsUInt32Number(channels), nullptr));
    cmsPipelineInsertStage(
        pipeline, cmsAT_END,
        cmsStageAllocCLut16bit(nullptr, 2, cmsUInt32Number(channels), 3, table.constData()));
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsWriteTag(profile, cmsSigAToB0Tag, pipeline);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipelineFree(pipeline);
    cmsUInt32Number size = 0;
    QByteArray bytes;
    if (cmsSaveProfileToMem(profile, nullptr, &size)) {
        bytes.resize(qsizetype(size));
        cmsSaveProfileToMem(profile, bytes.data(), &size);
    }
    cmsCloseProfile(profile);
    return bytes;
}

bool writeProfiled(const QString &path, const QSize &size, const QByteArray &values,
                   const QByteArray &profile)
{
    if (path.endsWith(QLatin1String(".tif")))
        return writeTiff(path, size, values, profile);
    return writeJpeg(path, size, values, profile);
}

QColor lcmsColour(const QByteArray &profile, const QByteArray &values)
{
    cmsHPROFILE from = cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size()));
    cmsHPROFILE to = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform =
        cmsCreateTransform(from, values.size() == 4 ? TYPE_CMYK_8 : TYPE_RGB_8, to, TYPE_RGB_8,
                           INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_BLACKPOINTCOMPENSATION);
    quint8 rgb[3] = {0, 0, 0};
    if (transform)
        cmsDoTransform(transform, values.constData(), rgb, 1);
    cmsDeleteTransform(transform);
    cmsCloseProfile(to);
    cmsCloseProfile(from);
    return QColor(rgb[0], rgb[1], rgb[2]);
}
