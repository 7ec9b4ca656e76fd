// SPDX-License-Identifier: GPL-3.0-or-later
#include "jxlhandler.h"

#include "hdrtonemap.h"

#include <QColorSpace>
#include <QIODevice>
#include <QImage>
#include <QPointF>

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <jxl/thread_parallel_runner.h>
#include <jxl/thread_parallel_runner_cxx.h>

namespace {

// Enough for the container's signature box and the codestream's marker alike.
constexpr int kSignatureBytes = 12;

// The HDR curve of an encoding, which the picture is tone-mapped from (hdrtonemap.h).
HdrTransfer hdrTransferOf(const JxlColorEncoding &encoding)
{
    if (encoding.color_space != JXL_COLOR_SPACE_RGB)
        return HdrTransfer::None;
    if (encoding.transfer_function == JXL_TRANSFER_FUNCTION_PQ)
        return HdrTransfer::Pq;
    if (encoding.transfer_function == JXL_TRANSFER_FUNCTION_HLG)
        return HdrTransfer::Hlg;
    return HdrTransfer::None;
}

// The colour space of an encoding libjxl describes by numbers; invalid when it is no RGB
// encoding Qt can express, and the ICC profile has to serve instead. A picture coded for HDR is
// linear once tone-mapped.
QColorSpace fromEncoding(const JxlColorEncoding &encoding)
{
    if (encoding.color_space != JXL_COLOR_SPACE_RGB)
        return QColorSpace();
    QColorSpace::TransferFunction transfer = QColorSpace::TransferFunction::SRgb;
    float gamma = 0.0f;
    switch (encoding.transfer_function) {
    case JXL_TRANSFER_FUNCTION_SRGB:
    case JXL_TRANSFER_FUNCTION_709:
        break;
    case JXL_TRANSFER_FUNCTION_PQ:
    case JXL_TRANSFER_FUNCTION_HLG:
    case JXL_TRANSFER_FUNCTION_LINEAR:
        transfer = QColorSpace::TransferFunction::Linear;
        break;
    case JXL_TRANSFER_FUNCTION_GAMMA:
        // libjxl stores the encoding exponent, below one; Qt wants the display's.
        if (encoding.gamma <= 0.0)
            return QColorSpace();
        transfer = QColorSpace::TransferFunction::Gamma;
        gamma = float(1.0 / encoding.gamma);
        break;
    default:
        return QColorSpace();
    }
    if (encoding.primaries == JXL_PRIMARIES_SRGB && encoding.white_point == JXL_WHITE_POINT_D65)
        return QColorSpace(QColorSpace::Primaries::SRgb, transfer, gamma);
    const auto point = [](const double xy[2]) { return QPointF(xy[0], xy[1]); };
    return QColorSpace(point(encoding.white_point_xy), point(encoding.primaries_red_xy),
                       point(encoding.primaries_green_xy), point(encoding.primaries_blue_xy),
                       transfer, gamma);
}

// transfer gets the HDR curve that the colour space stands for after the tone-mapping.
QColorSpace colorSpaceOf(const JxlDecoder *decoder, HdrTransfer &transfer, LumaWeights &luma)
{
    JxlColorEncoding encoding;
    if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                           &encoding) == JXL_DEC_SUCCESS) {
        const QColorSpace space = fromEncoding(encoding);
        if (space.isValid()) {
            transfer = hdrTransferOf(encoding);
            luma = encoding.primaries == JXL_PRIMARIES_2100 ? kBt2020Luma : kBt709Luma;
            return space;
        }
    }
    size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) !=
            JXL_DEC_SUCCESS ||
        size == 0)
        return QColorSpace();
    QByteArray icc(qsizetype(size), '\0');
    if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                       reinterpret_cast<uint8_t *>(icc.data()),
                                       size) != JXL_DEC_SUCCESS)
        return QColorSpace();
    return QColorSpace::fromIccProfile(icc);
}

QImage::Format formatFor(const JxlBasicInfo &info)
{
    const bool alpha = info.alpha_bits > 0;
    if (info.bits_per_sample > 8)
        return !alpha ? QImage::Format_RGBX64
                      : (info.alpha_premultiplied ? QImage::Format_RGBA64_Premultiplied
                                                  : QImage::Format_RGBA64);
    return !alpha ? QImage::Format_RGBX8888
                  : (info.alpha_premultiplied ? QImage::Format_RGBA8888_Premultiplied
                                              : QImage::Format_RGBA8888);
}

} // namespace

bool JxlHandler::canRead(QIODevice *device)
{
    const QByteArray head = device->peek(kSignatureBytes);
    const JxlSignature signature =
        JxlSignatureCheck(reinterpret_cast<const uint8_t *>(head.constData()), size_t(head.size()));
    return signature == JXL_SIG_CODESTREAM || signature == JXL_SIG_CONTAINER;
}

bool JxlHandler::canRead() const
{
    return device() && canRead(device());
}

bool JxlHandler::read(QImage *image)
{
    const QByteArray data = device()->readAll();
    const JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
    // A thread a core: one alone decodes a large picture several times slower.
    const JxlThreadParallelRunnerPtr runner =
        JxlThreadParallelRunnerMake(nullptr, JxlThreadParallelRunnerDefaultNumWorkerThreads());
    if (!decoder || !runner ||
        JxlDecoderSetParallelRunner(decoder.get(), JxlThreadParallelRunner, runner.get()) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                                     JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), reinterpret_cast<const uint8_t *>(data.constData()),
                           size_t(data.size())) != JXL_DEC_SUCCESS)
        return false;
    // All of the file is there: a cut file is an error, not a wait for more.
    JxlDecoderCloseInput(decoder.get());

    QImage picture;
    JxlPixelFormat pixels{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    QColorSpace space;
    HdrTransfer transfer = HdrTransfer::None;
    LumaWeights luma = kBt709Luma;
    for (;;) {
        switch (JxlDecoderProcessInput(decoder.get())) {
        case JXL_DEC_BASIC_INFO: {
            JxlBasicInfo info;
            if (JxlDecoderGetBasicInfo(decoder.get(), &info) != JXL_DEC_SUCCESS)
                return false;
            // The decoder turns the picture as the file says; orientations 5 to 8 swap the sides.
            QSize size(int(qMin<quint32>(info.xsize, INT_MAX)),
                       int(qMin<quint32>(info.ysize, INT_MAX)));
            if (info.orientation >= JXL_ORIENT_TRANSPOSE)
                size.transpose();
            // Allocated as soon as the size is known, so that one beyond Qt's allocation limit
            // is refused before any decoding.
            if (!QImageIOHandler::allocateImage(size, formatFor(info), &picture))
                return false;
            pixels.data_type = info.bits_per_sample > 8 ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8;
            pixels.align = size_t(picture.bytesPerLine());
            break;
        }
        case JXL_DEC_COLOR_ENCODING:
            space = colorSpaceOf(decoder.get(), transfer, luma);
            break;
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            size_t needed = 0;
            if (picture.isNull() ||
                JxlDecoderImageOutBufferSize(decoder.get(), &pixels, &needed) != JXL_DEC_SUCCESS ||
                needed > size_t(picture.sizeInBytes()) ||
                JxlDecoderSetImageOutBuffer(decoder.get(), &pixels, picture.bits(),
                                            size_t(picture.sizeInBytes())) != JXL_DEC_SUCCESS)
                return false;
            break;
        }
        case JXL_DEC_FULL_IMAGE:
            // The first frame is the picture; an animation's others are not shown.
            picture = toneMapped(picture, transfer, luma);
            if (picture.isNull())
                return false;
            picture.setColorSpace(space);
            *image = std::move(picture);
            return true;
        default:
            // An error, a cut file, or a file that ended without a frame.
            return false;
        }
    }
}
