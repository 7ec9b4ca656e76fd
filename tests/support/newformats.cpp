// SPDX-License-Identifier: GPL-3.0-or-later
#include "newformats.h"

#include "orientedjpeg.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QTemporaryFile>
#include <QtEndian>

#include <lcms2.h>
#include <libheif/heif.h>

#include <cstring>

namespace {

// Rewrites the boxes of type in the file's description, which comes before the coded pictures.
template <typename Change> void patchBoxes(QByteArray &file, const char *type, Change change)
{
    const qsizetype end = file.indexOf("mdat");
    for (qsizetype at = file.indexOf(type); at >= 4 && at < end; at = file.indexOf(type, at + 4))
        change(reinterpret_cast<uchar *>(file.data()) + at + 4);
}

} // namespace

bool writeHeif(const QString &path, const QImage &picture, const HeifOptions &options)
{
    const bool deep = options.bits > 8;
    const QImage rgba =
        picture.convertToFormat(deep ? QImage::Format_RGBA64 : QImage::Format_RGBA8888);
    heif_image *image = nullptr;
    if (heif_image_create(rgba.width(), rgba.height(), heif_colorspace_RGB,
                          deep ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RGBA,
                          &image)
            .code)
        return false;
    heif_image_add_plane(image, heif_channel_interleaved, rgba.width(), rgba.height(),
                         options.bits);
    int stride = 0;
    uint8_t *plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < rgba.height(); ++y) {
        memcpy(plane + y * stride, rgba.constScanLine(y), size_t(rgba.width()) * (deep ? 8 : 4));
        // Deep samples go in at their own depth, not widened to 16 bits.
        auto *samples = reinterpret_cast<quint16 *>(plane + y * stride);
        for (int i = 0; deep && i < 4 * rgba.width(); ++i)
            samples[i] = quint16(samples[i] >> (16 - options.bits));
    }

    heif_color_profile_nclx *nclx = heif_nclx_color_profile_alloc();
    heif_nclx_color_profile_set_color_primaries(nclx, 9);
    heif_nclx_color_profile_set_transfer_characteristics(nclx, uint16_t(options.transfer));
    if (options.transfer)
        heif_image_set_nclx_color_profile(image, nclx);
    heif_context *context = heif_context_alloc();
    heif_encoder *encoder = nullptr;
    heif_encoding_options *encoding = heif_encoding_options_alloc();
    encoding->save_alpha_channel = picture.hasAlphaChannel();
    encoding->image_orientation = heif_orientation(options.orientation);
    // An odd width of subsampled colours is cropped by a clean aperture, not by a grid.
    encoding->macOS_compatibility_workaround = !options.crop;
    // This libheif leaves a HEVC picture's colour box out unless told.
    if (options.transfer)
        encoding->macOS_compatibility_workaround_no_nclx_profile = 0;
    heif_image_handle *handle = nullptr;
    const bool written =
        !heif_context_get_encoder_for_format(
             context, options.avif ? heif_compression_AV1 : heif_compression_HEVC, &encoder)
             .code &&
        !heif_encoder_set_lossy_quality(encoder, 95).code &&
        // libaom asserts on 4:4:4 and on 4:2:0 of some pictures in this version; 4:2:2 holds.
        !heif_encoder_set_parameter(encoder, "chroma",
                                    options.avif ? "422" : (options.crop ? "420" : "444"))
             .code &&
        !heif_context_encode_image(context, image, encoder, encoding, &handle).code &&
        (!options.thumbnail || !heif_context_encode_thumbnail(context, image, handle, encoder,
                                                              encoding, options.thumbnail, nullptr)
                                    .code) &&
        !heif_context_write_to_file(context, QFile::encodeName(path).constData()).code;
    heif_encoding_options_free(encoding);
    heif_nclx_color_profile_free(nclx);
    if (handle)
        heif_image_handle_release(handle);
    if (encoder)
        heif_encoder_release(encoder);
    heif_image_release(image);
    heif_context_free(context);

    QFile file(path);
    if (!written || !file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
#if !LIBHEIF_HAVE_VERSION(1, 16, 0)
    // This libheif stores a turned picture's size as shown; the standard, and cameras, store it
    // as coded, before the turn.
    if (options.orientation >= 5)
        patchBoxes(bytes, "ispe", [](uchar *box) {
            const quint32 width = qFromBigEndian<quint32>(box + 4);
            qToBigEndian(qFromBigEndian<quint32>(box + 8), box + 4);
            qToBigEndian(width, box + 8);
        });
#endif
    // The coded size, as cameras store it, is that of whole blocks of subsampled colours.
    if (options.crop) {
        patchBoxes(bytes, "ispe", [](uchar *box) {
            qToBigEndian((qFromBigEndian<quint32>(box + 4) + 1) & ~1u, box + 4);
            qToBigEndian((qFromBigEndian<quint32>(box + 8) + 1) & ~1u, box + 8);
        });
        patchBoxes(bytes, "clap",
                   [](uchar *box) { qToBigEndian(qFromBigEndian<quint32>(box) / 2, box); });
    }
    if (!options.brand.isEmpty())
        bytes.replace(8, 4, options.brand);
    return file.seek(0) && file.write(bytes) == bytes.size();
}

bool runQuietly(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

bool writeJxl(const QString &path, const QImage &picture, int orientation, int transfer)
{
    // cjxl carries a JPEG's Exif orientation into the JPEG XL header; a PNG keeps the alpha.
    const QString source =
        path + (orientation == 1 ? QLatin1String(".png") : QLatin1String(".jpg"));
    const bool written =
        orientation == 1 ? picture.save(source) : writeOrientedJpeg(source, picture, orientation);
    QStringList arguments{source, path, QStringLiteral("-d"), QStringLiteral("0")};
    // The curve and primaries of a picture coded for HDR, which its PNG does not say.
    if (transfer)
        arguments << QStringLiteral("-x")
                  << QStringLiteral("color_space=RGB_D65_202_Rel_") +
                         (transfer == 16 ? QStringLiteral("PeQ") : QStringLiteral("HLG"));
    const bool encoded = written && runQuietly(QStringLiteral("cjxl"), arguments);
    QFile::remove(source);
    return encoded;
}

QByteArray tableProfile(int channels)
{
    // Lab in ICC's 16-bit encoding; the formulas keep within its range.
    QList<cmsUInt16Number> table;
    const auto lab = [&table](double l, double a, double b) {
        table << cmsUInt16Number(l * 655.35) << cmsUInt16Number((a + 128) * 257)
              << cmsUInt16Number((b + 128) * 257);
    };
    // The first channel varies slowest in a LittleCMS table.
    for (int i = 0; i < (1 << channels); ++i) {
        const auto at = [&](int channel) { return double((i >> (channels - 1 - channel)) & 1); };
        if (channels == 4)
            lab(95 - 20 * at(0) - 15 * at(1) - 10 * at(2) - 45 * at(3), 60 * at(1) - 50 * at(0),
                70 * at(2) - 30 * at(0) - 20 * at(1));
        else
            lab(15 + 20 * at(0) + 55 * at(1) + 10 * at(2), 70 * at(0) - 60 * at(1),
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

bool writeProfiled(const QString &path, const QStringList &source, const QByteArray &profile)
{
    // convert knows a profile by its suffix.
    QTemporaryFile icc(QDir::tempPath() + QStringLiteral("/profile-XXXXXX.icc"));
    const bool written = icc.open() && icc.write(profile) == profile.size() && icc.flush();
    return written && QProcess::execute(QStringLiteral("convert"),
                                        source + QStringList{QStringLiteral("-profile"),
                                                             icc.fileName(), path}) == 0;
}
