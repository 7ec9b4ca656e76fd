// SPDX-License-Identifier: GPL-3.0-or-later
#include "appearance.h"

#include <QColorSpace>
#include <QTransform>

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
