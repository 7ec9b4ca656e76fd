// SPDX-License-Identifier: GPL-3.0-or-later
#include "appearance.h"

#include <QColorSpace>
#include <QImageReader>
#include <QTransform>

namespace {

// Whether picture converted to depth bits a pixel stays within the allocation limit that reading
// keeps to: a decoder's picture may be small as it comes (a bit a pixel) and huge once converted.
bool convertible(const QImage &picture, int depth)
{
    const qint64 limit = qint64(QImageReader::allocationLimit()) << 20;
    return limit <= 0 || qint64(picture.width()) * picture.height() * depth / 8 <= limit;
}

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
    // Turned and mirrored pictures keep their format.
    if (!convertible(picture, picture.depth()))
        return QImage();
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
    // Converted in the picture's own format where it can be, else in 32-bit colours.
    if (!convertible(picture, transformsInPlace(picture.format()) ? picture.depth() : 32))
        return QImage();
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
        if (!convertible(picture, 32))
            return QImage();
        return picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                  : QImage::Format_RGB32);
    default:
        return picture;
    }
}
