// SPDX-License-Identifier: GPL-3.0-or-later
#include "newformats.h"

#include "orientedjpeg.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QTemporaryFile>
#include <QtEndian>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <ImfRgbaFile.h>
#include <ImfStandardAttributes.h>
#include <ImfTiledOutputFile.h>
#include <lcms2.h>
#include <libheif/heif.h>

#include <cmath>
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

bool writeJp2(const QString &path, const QImage &picture, bool subsampled, const QByteArray &profile)
{
    const QString source = path + (subsampled ? QLatin1String(".raw") : QLatin1String(".png"));
    // The tool's six resolution levels, fewer for a picture too small to halve five times.
    int levels = 1;
    while (levels < 6 && qMin(picture.width(), picture.height()) >> levels > 0)
        ++levels;
    QStringList arguments{QStringLiteral("-i"), source, QStringLiteral("-o"), path,
                          QStringLiteral("-n"), QString::number(levels)};
    bool written = false;
    if (subsampled) {
        QByteArray samples;
        const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
        // Luma and colour differences (sYCC), as OpenJPEG takes subsampled samples to be.
        const double weights[3][4] = {{0, 0.299, 0.587, 0.114},
                                      {128, -0.168736, -0.331264, 0.5},
                                      {128, 0.5, -0.418688, -0.081312}};
        for (const auto &w : weights) {
            const int step = &w == weights ? 1 : 2;
            for (int y = 0; y < rgb.height(); y += step)
                for (int x = 0; x < rgb.width(); x += step) {
                    const uchar *p = rgb.constScanLine(y) + 3 * x;
                    samples.append(char(qBound(0.0, w[0] + w[1] * p[0] + w[2] * p[1] +
                                                        w[3] * p[2] + 0.5, 255.0)));
                }
        }
        QFile raw(source);
        written = raw.open(QIODevice::WriteOnly) && raw.write(samples) == samples.size();
        arguments << QStringLiteral("-F")
                  << QStringLiteral("%1,%2,3,8,u@1x1:2x2:2x2").arg(rgb.width()).arg(rgb.height());
    } else {
        written = picture.save(source);
    }
    const bool encoded = written && runQuietly(QStringLiteral("opj_compress"), arguments);
    QFile::remove(source);
    QFile file(path);
    if (!encoded || profile.isEmpty())
        return encoded;
    if (!file.open(QIODevice::ReadWrite))
        return false;
    // The tool names sRGB in the colour box; a box that holds the profile instead (method 2)
    // replaces it, and the header box around it grows alike.
    QByteArray bytes = file.readAll();
    const qsizetype header = bytes.indexOf("jp2h") - 4;
    const qsizetype colour = bytes.indexOf("colr") - 4;
    if (header < 0 || colour < header)
        return false;
    QByteArray box(4, '\0');
    box += QByteArray("colr\x02\x00\x00", 7) + profile;
    qToBigEndian(quint32(box.size()), box.data());
    const qsizetype growth = box.size() - qFromBigEndian<quint32>(bytes.constData() + colour);
    bytes.replace(colour, qFromBigEndian<quint32>(bytes.constData() + colour), box);
    qToBigEndian(quint32(qFromBigEndian<quint32>(bytes.constData() + header) + growth),
                 bytes.data() + header);
    return file.seek(0) && file.write(bytes) == bytes.size();
}

bool writeExr(const QString &path, const QImage &picture, const ExrOptions &options)
{
    const QRect stored = options.dataWindow.isEmpty() ? picture.rect() : options.dataWindow;
    Imf::Header header(Imath::Box2i({0, 0}, {picture.width() - 1, picture.height() - 1}),
                       Imath::Box2i({stored.left(), stored.top()},
                                    {stored.right(), stored.bottom()}));
    if (options.primaries.size() == 4) {
        const auto xy = [&options](int i) {
            return Imath::V2f(float(options.primaries[i].x()), float(options.primaries[i].y()));
        };
        Imf::addChromaticities(header, Imf::Chromaticities(xy(0), xy(1), xy(2), xy(3)));
    }
    // Samples as stored: OpenEXR converts none while it writes scan lines.
    const bool alpha = picture.hasAlphaChannel();
    const QImage samples = picture.convertToFormat(
        options.floats ? (alpha ? QImage::Format_RGBA32FPx4_Premultiplied : QImage::Format_RGBX32FPx4)
                       : (alpha ? QImage::Format_RGBA16FPx4_Premultiplied : QImage::Format_RGBX16FPx4));
    const Imf::PixelType type = options.floats ? Imf::FLOAT : Imf::HALF;
    const size_t size = options.floats ? sizeof(float) : sizeof(quint16);
    const QString channels = alpha ? QStringLiteral("RGBA") : QStringLiteral("RGB");
    Imf::FrameBuffer buffer;
    // OpenEXR addresses the rows by the data window's coordinates, as the picture's rectangle.
    char *bits = const_cast<char *>(reinterpret_cast<const char *>(samples.constBits()));
    for (int i = 0; i < channels.size(); ++i) {
        const std::string name = (options.layer + channels.at(i).toLatin1()).toStdString();
        header.channels().insert(name, Imf::Channel(type));
        buffer.insert(name, Imf::Slice(type, bits + i * size, 4 * size,
                                       size_t(samples.bytesPerLine())));
    }
    try {
        if (options.luminance) {
            // OpenEXR's RGBA writer makes the luminance and the differences of the halves.
            Imf::RgbaOutputFile file(QFile::encodeName(path).constData(), header, Imf::WRITE_YC);
            file.setFrameBuffer(reinterpret_cast<const Imf::Rgba *>(samples.constBits()), 1,
                                size_t(samples.bytesPerLine()) / sizeof(Imf::Rgba));
            file.writePixels(stored.height());
        } else if (options.tiled) {
            header.setTileDescription(Imf::TileDescription(16, 16));
            Imf::TiledOutputFile file(QFile::encodeName(path).constData(), header);
            file.setFrameBuffer(buffer);
            file.writeTiles(0, file.numXTiles() - 1, 0, file.numYTiles() - 1);
        } else {
            Imf::OutputFile file(QFile::encodeName(path).constData(), header);
            file.setFrameBuffer(buffer);
            file.writePixels(stored.height());
        }
    } catch (...) {
        return false;
    }
    return true;
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

bool writeWithMagick(const QString &path, const QImage &picture, const QStringList &options)
{
    QTemporaryFile source(QDir::tempPath() + QStringLiteral("/source-XXXXXX.png"));
    return source.open() && picture.save(&source, "PNG") && source.flush() &&
           runQuietly(QStringLiteral("convert"),
                      QStringList{source.fileName()} + options + QStringList{path});
}

QByteArray os2SecondBitmap(const QByteArray &windows)
{
    constexpr int kDropped = 24;
    QByteArray os2 = windows.left(30) + windows.mid(54);
    qToLittleEndian<quint32>(16, os2.data() + 14);
    qToLittleEndian<quint32>(qFromLittleEndian<quint32>(os2.constData() + 10) - kDropped,
                             os2.data() + 10);
    return os2;
}

namespace {

template <typename T> void appendNumber(QByteArray &out, T value, bool big)
{
    const T stored = big ? qToBigEndian(value) : qToLittleEndian(value);
    out.append(reinterpret_cast<const char *>(&stored), sizeof stored);
}

// RGB, raw rows: 32-bit floats in linear light, or 8 bits with the merged transparency that
// Photoshop's own writer (which records its version) blends with white.
QByteArray photoshopFile(const QImage &picture, bool linear)
{
    QByteArray psd("8BPS\0\1\0\0\0\0\0\0\0", 13);
    psd += char(linear ? 3 : 4);
    appendNumber<quint32>(psd, quint32(picture.height()), true);
    appendNumber<quint32>(psd, quint32(picture.width()), true);
    psd += QByteArray(linear ? "\0\x20\0\3" : "\0\x08\0\3", 4) + QByteArray(4, '\0');
    if (linear)
        psd += QByteArray(10, '\0'); // no resources, no layers, raw rows
    else // the version resource; a layer count of -1, which makes the fourth channel alpha
        psd += QByteArray("\0\0\0\x10"
                          "8BIM\x04\x21\0\0\0\0\0\4\0\0\0\1"
                          "\0\0\0\6\0\0\0\2\xff\xff\0\0",
                          32);
    for (int channel = 0; channel < (linear ? 3 : 4); ++channel) {
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                const QColor pixel = picture.pixelColor(x, y);
                const float alpha = float(pixel.alphaF());
                const float value = channel == 3   ? alpha
                                    : channel == 0 ? float(pixel.redF())
                                    : channel == 1 ? float(pixel.greenF())
                                                   : float(pixel.blueF());
                if (!linear) {
                    psd += char(qRound(255 * (channel == 3 ? value : value * alpha + 1 - alpha)));
                    continue;
                }
                const float light =
                    value <= 0.04045f ? value / 12.92f : std::pow((value + 0.055f) / 1.055f, 2.4f);
                quint32 bits;
                std::memcpy(&bits, &light, 4);
                appendNumber(psd, bits, true);
            }
        }
    }
    return psd;
}

// True colour of 5 bits a channel, from the top row.
QByteArray fiveBitTga(const QImage &picture)
{
    QByteArray tga = QByteArray("\0\0\2", 3) + QByteArray(9, '\0');
    appendNumber<quint16>(tga, quint16(picture.width()), false);
    appendNumber<quint16>(tga, quint16(picture.height()), false);
    tga += "\x10\x20";
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb pixel = picture.pixel(x, y);
            appendNumber<quint16>(
                tga,
                quint16((qRed(pixel) >> 3) << 10 | (qGreen(pixel) >> 3) << 5 | qBlue(pixel) >> 3),
                false);
        }
    }
    return tga;
}

// Sixteen colours as EGA cards stored them: four planes of one bit, the colours in the header,
// every byte coded as a run of one.
QByteArray egaPcx(const QImage &picture)
{
    QList<QRgb> colours;
    const int lineBytes = (picture.width() + 15) / 16 * 2;
    QByteArray pcx("\x0a\x05\x01\x01\0\0\0\0", 8);
    appendNumber<quint16>(pcx, quint16(picture.width() - 1), false);
    appendNumber<quint16>(pcx, quint16(picture.height() - 1), false);
    QByteArray rows;
    for (int y = 0; y < picture.height(); ++y) {
        QByteArray planes(4 * lineBytes, '\0');
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb pixel = picture.pixel(x, y);
            if (!colours.contains(pixel))
                colours.append(pixel);
            for (int p = 0; p < 4; ++p)
                planes[p * lineBytes + x / 8] |=
                    char((colours.indexOf(pixel) >> p & 1) << (7 - x % 8));
        }
        for (const char byte : planes)
            rows += QByteArray("\xc1", 1) + byte;
    }
    pcx += QByteArray(4, '\0');
    for (int i = 0; i < 16; ++i) {
        const QRgb colour = colours.value(i);
        pcx += QByteArray(1, char(qRed(colour))) + char(qGreen(colour)) + char(qBlue(colour));
    }
    pcx += QByteArray("\0\4", 2);
    appendNumber<quint16>(pcx, quint16(lineBytes), false);
    return pcx + QByteArray(60, '\0') + rows;
}

} // namespace

QByteArray handMadeVariant(const QString &name, const QImage &picture)
{
    if (name == QLatin1String("linear.psd") || name == QLatin1String("matted.psd"))
        return photoshopFile(picture, name == QLatin1String("linear.psd"));
    if (name == QLatin1String("five.tga"))
        return fiveBitTga(picture);
    if (name == QLatin1String("ega.pcx"))
        return egaPcx(picture);
    return QByteArray();
}
