// SPDX-License-Identifier: GPL-3.0-or-later
#include "appearance.h"

#include <QColorSpace>
#include <QTransform>

#include <lcms2.h>

#include <memory>

namespace {

// The colour transform works on these formats without losing precision; any other would be
// converted by Qt in ways that differ between formats (one-bit pictures lose their palette).
bool transformsInPlace(QImage::Format format)
{
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_RGBX32FPx4:
    case QImage::Format_RGBA32FPx4:
    case QImage::Format_RGBA32FPx4_Premultiplied:
        return true;
    default:
        return false;
    }
}

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

} // namespace

QImage applyOrientation(const QImage &picture, Orientation orientation)
{
    if (orientation == QImageIOHandler::TransformationNone || picture.isNull())
        return picture;
    // Mirroring comes before the quarter turn, as in the Exif definitions of 5 to 8.
    QImage turned = picture.mirrored(orientation & QImageIOHandler::TransformationMirror,
                                     orientation & QImageIOHandler::TransformationFlip);
    if (orientation & QImageIOHandler::TransformationRotate90)
        turned = turned.transformed(QTransform().rotate(90));
    turned.setColorSpace(picture.colorSpace());
    return turned;
}

QImage toSrgb(QImage picture)
{
    const QColorSpace space = picture.colorSpace();
    if (!space.isValid() || space == QColorSpace(QColorSpace::SRgb))
        return picture;
    if (!transformsInPlace(picture.format()))
        picture = picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                     : QImage::Format_RGB32);
    picture.convertToColorSpace(QColorSpace(QColorSpace::SRgb));
    return picture;
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

QImage finishPicture(QImage picture, Orientation orientation)
{
    return applyOrientation(toSrgb(std::move(picture)), orientation);
}

QImage withoutPalette(const QImage &picture)
{
    switch (picture.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
        return picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                  : QImage::Format_RGB32);
    default:
        return picture;
    }
}
