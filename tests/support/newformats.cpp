#include "newformats.h"

#include <QFile>

#include <jxl/encode.h>
#include <jxl/encode_cxx.h>
#include <libheif/heif.h>

#include <cstring>
#include <vector>

namespace {

heif_error writeToFile(heif_context *, const void *data, size_t size, void *userdata)
{
    auto *file = static_cast<QFile *>(userdata);
    const bool written = file->write(static_cast<const char *>(data), qint64(size)) == qint64(size);
    return {written ? heif_error_Ok : heif_error_Encoding_error, heif_suberror_Unspecified, ""};
}

} // namespace

bool writeHeif(const QString &path, const QImage &picture, const HeifOptions &options)
{
    const bool alpha = picture.hasAlphaChannel();
    const bool deep = options.bits > 8;
    const QImage rgba =
        picture.convertToFormat(deep ? QImage::Format_RGBA64 : QImage::Format_RGBA8888);
    const heif_chroma chroma =
        deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
             : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    heif_image *image = nullptr;
    if (heif_image_create(rgba.width(), rgba.height(), heif_colorspace_RGB, chroma, &image).code)
        return false;
    heif_image_add_plane(image, heif_channel_interleaved, rgba.width(), rgba.height(),
                         options.bits);
    int stride = 0;
    uint8_t *plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    const int channels = alpha ? 4 : 3;
    for (int y = 0; y < rgba.height(); ++y) {
        for (int x = 0; x < rgba.width(); ++x) {
            for (int c = 0; c < channels; ++c) {
                if (deep) {
                    const quint16 sample =
                        reinterpret_cast<const quint16 *>(rgba.scanLine(y))[4 * x + c];
                    const quint16 narrow = quint16(sample >> (16 - options.bits));
                    memcpy(plane + y * stride + 2 * (channels * x + c), &narrow, 2);
                } else {
                    plane[y * stride + channels * x + c] = rgba.scanLine(y)[4 * x + c];
                }
            }
        }
    }

    heif_context *context = heif_context_alloc();
    heif_encoder *encoder = nullptr;
    heif_encoding_options *encoding = heif_encoding_options_alloc();
    encoding->image_orientation = heif_orientation(options.orientation);
    heif_image_handle *handle = nullptr;
    QFile file(path);
    heif_writer writer{1, writeToFile};
    const bool written =
        !heif_context_get_encoder_for_format(
             context, options.avif ? heif_compression_AV1 : heif_compression_HEVC, &encoder)
             .code &&
        !heif_encoder_set_lossy_quality(encoder, 95).code &&
        // libaom asserts on 4:4:4 and on 4:2:0 of some pictures in this version; 4:2:2 holds.
        !heif_encoder_set_parameter(encoder, "chroma", options.avif ? "422" : "444").code &&
        !heif_context_encode_image(context, image, encoder, encoding, &handle).code &&
        (options.thumbnail == 0 ||
         !heif_context_encode_thumbnail(context, image, handle, encoder, encoding,
                                        options.thumbnail, nullptr)
              .code) &&
        file.open(QIODevice::WriteOnly) && !heif_context_write(context, &writer, &file).code;
    heif_image_handle_release(handle);
    heif_encoding_options_free(encoding);
    if (encoder)
        heif_encoder_release(encoder);
    heif_image_release(image);
    heif_context_free(context);
    return written;
}

bool writeJxl(const QString &path, const QImage &picture, int orientation)
{
    const bool alpha = picture.hasAlphaChannel();
    const QImage rgba =
        picture.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    const JxlEncoderPtr encoder = JxlEncoderMake(nullptr);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = quint32(rgba.width());
    info.ysize = quint32(rgba.height());
    info.bits_per_sample = 8;
    info.num_color_channels = 3;
    info.num_extra_channels = alpha ? 1 : 0;
    info.alpha_bits = alpha ? 8 : 0;
    info.uses_original_profile = JXL_TRUE;
    info.orientation = JxlOrientation(orientation);
    JxlColorEncoding srgb;
    JxlColorEncodingSetToSRGB(&srgb, JXL_FALSE);
    JxlEncoderFrameSettings *settings = JxlEncoderFrameSettingsCreate(encoder.get(), nullptr);
    const JxlPixelFormat format{alpha ? 4u : 3u, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN,
                                size_t(rgba.bytesPerLine())};
    if (JxlEncoderSetBasicInfo(encoder.get(), &info) != JXL_ENC_SUCCESS ||
        JxlEncoderSetColorEncoding(encoder.get(), &srgb) != JXL_ENC_SUCCESS ||
        JxlEncoderSetFrameLossless(settings, JXL_TRUE) != JXL_ENC_SUCCESS ||
        JxlEncoderAddImageFrame(settings, &format, rgba.constBits(), size_t(rgba.sizeInBytes())) !=
            JXL_ENC_SUCCESS)
        return false;
    JxlEncoderCloseInput(encoder.get());
    std::vector<uint8_t> out(4096);
    size_t used = 0;
    for (;;) {
        uint8_t *next = out.data() + used;
        size_t available = out.size() - used;
        const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder.get(), &next, &available);
        used = size_t(next - out.data());
        if (status == JXL_ENC_SUCCESS)
            break;
        if (status != JXL_ENC_NEED_MORE_OUTPUT)
            return false;
        out.resize(out.size() * 2);
    }
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(reinterpret_cast<const char *>(out.data()), qint64(used)) == qint64(used);
}
