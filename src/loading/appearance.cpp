#include "appearance.h"

#include <QColorSpace>
#include <QFile>
#include <QTransform>

#include <exiv2/exiv2.hpp>

#include <string>

namespace {

// The Exif orientation values, 1 to 8, as Qt names the same turns.
Orientation fromExif(long value)
{
    switch (value) {
    case 2:
        return QImageIOHandler::TransformationMirror;
    case 3:
        return QImageIOHandler::TransformationRotate180;
    case 4:
        return QImageIOHandler::TransformationFlip;
    case 5:
        return QImageIOHandler::TransformationFlipAndRotate90;
    case 6:
        return QImageIOHandler::TransformationRotate90;
    case 7:
        return QImageIOHandler::TransformationMirrorAndRotate90;
    case 8:
        return QImageIOHandler::TransformationRotate270;
    default:
        return QImageIOHandler::TransformationNone;
    }
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

// libexiv2 keeps global state: its log level, and an XMP toolkit that must be set up once
// before any thread parses a file.
void prepareMetadataLibrary()
{
    static const bool prepared = [] {
        // Its warnings about odd files would reach the user's terminal; the viewer prints only
        // its own diagnostics.
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
        return true;
    }();
    Q_UNUSED(prepared);
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

Orientation rawFileOrientation(const QString &path)
{
    prepareMetadataLibrary();
    // Whatever the file holds, the picture is still shown: a file the library cannot parse, or
    // that makes it fail in any other way, keeps its stored orientation.
    try {
        const std::string name = QFile::encodeName(path).toStdString();
        const auto image = Exiv2::ImageFactory::open(name, false);
        if (!image.get())
            return QImageIOHandler::TransformationNone;
        image->readMetadata();
        const Exiv2::ExifData &exif = image->exifData();
        const auto found = Exiv2::orientation(exif);
        if (found == exif.end() || found->count() == 0)
            return QImageIOHandler::TransformationNone;
        return fromExif(found->toLong());
    } catch (...) {
        return QImageIOHandler::TransformationNone;
    }
}
