// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadata.h"
#include "appearance.h"
#include "embeddedexif.h"
#include "formats.h"
#include "gainmap.h"
#include "paths.h"
#include "rawreader.h"

#include <QByteArray>
#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <QtEndian>

#include <exiv2/exiv2.hpp>

#include <memory>
#include <string>

namespace {

// libexiv2 keeps global state: its log level, and an XMP toolkit that must be set up once
// before any thread parses a file.
void prepareMetadataLibrary()
{
    static const bool prepared = [] {
        // Its warnings about odd files would reach the user's terminal; the viewer prints only
        // its own diagnostics.
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
        // Its translations of values (the flash's words) are looked up where the program lies
        // at their first use; a sandboxed decoder prepares this before it may open nothing.
        Exiv2::exvGettext("");
        return true;
    }();
    Q_UNUSED(prepared);
}

// The file's metadata, read from file (mapped, so that only what the parser looks at is read;
// file must stay open while the result is used); null when the library does not know the file
// or it is no regular file (reading a pipe would wait for a writer). Throws what the library
// throws. Opened through openRegularFile, which also serves the decoder's handed-over files.
std::unique_ptr<Exiv2::Image> openMetadata(QFile &file)
{
    prepareMetadataLibrary();
    if (!openRegularFile(file) || file.size() <= 0)
        return nullptr;
    const uchar *data = file.map(0, file.size());
    if (!data)
        return nullptr;
    std::unique_ptr<Exiv2::Image> image(
        Exiv2::ImageFactory::open(data, static_cast<long>(file.size())).release());
    if (image)
        image->readMetadata();
    return image;
}

using Finder = Exiv2::ExifData::const_iterator (*)(const Exiv2::ExifData &);

// The datum that finder picks, when the file has one with a value.
const Exiv2::Exifdatum *findDatum(const Exiv2::ExifData &exif, Finder finder)
{
    const auto found = finder(exif);
    return found == exif.end() || found->count() == 0 ? nullptr : &*found;
}

const Exiv2::Exifdatum *findKey(const Exiv2::ExifData &exif, const char *key)
{
    const auto found = exif.findKey(Exiv2::ExifKey(key));
    return found == exif.end() || found->count() == 0 ? nullptr : &*found;
}

QString text(const Exiv2::ExifData &exif, Finder finder)
{
    const Exiv2::Exifdatum *datum = findDatum(exif, finder);
    return datum ? QString::fromStdString(datum->print(&exif)).trimmed() : QString();
}

double rational(const Exiv2::Exifdatum &datum, long n)
{
    const Exiv2::Rational value = datum.toRational(n);
    return value.second == 0 ? 0 : double(value.first) / value.second;
}

double number(const Exiv2::ExifData &exif, Finder finder)
{
    const Exiv2::Exifdatum *datum = findDatum(exif, finder);
    return datum ? rational(*datum, 0) : 0;
}

// Degrees, minutes and seconds as three rationals, with a reference letter that makes south and
// west negative.
bool coordinate(const Exiv2::ExifData &exif, const char *key, const char *refKey, char negative,
                double *degrees)
{
    const Exiv2::Exifdatum *value = findKey(exif, key);
    const Exiv2::Exifdatum *ref = findKey(exif, refKey);
    if (!value || value->count() != 3)
        return false;
    *degrees = rational(*value, 0) + rational(*value, 1) / 60 + rational(*value, 2) / 3600;
    if (ref && ref->toString().rfind(negative, 0) == 0)
        *degrees = -*degrees;
    return true;
}

// JPEG and PNG files carry their profile in a block of their own, TIFF-based ones in a tag.
QByteArray iccProfile(Exiv2::Image &image)
{
    if (image.iccProfileDefined()) {
        const Exiv2::DataBuf *buffer = image.iccProfile();
        return QByteArray(reinterpret_cast<const char *>(buffer->pData_), int(buffer->size_));
    }
    const Exiv2::Exifdatum *tag = findKey(image.exifData(), "Exif.Image.InterColorProfile");
    if (!tag)
        return QByteArray();
    QByteArray bytes(int(tag->size()), Qt::Uninitialized);
    tag->copy(reinterpret_cast<Exiv2::byte *>(bytes.data()), Exiv2::invalidByteOrder);
    return bytes;
}

// Where a PNG file has no profile, Qt makes its colours of a gamma or chromaticity chunk before
// the pixels, which libexiv2 does not report; true when it has one, or ends before its pixels.
bool pngHasColourChunks(QFile &file)
{
    constexpr qint64 kSignatureBytes = 8;
    constexpr qint64 kCrcBytes = 4;
    if (!file.seek(kSignatureBytes))
        return true;
    for (;;) {
        const QByteArray header = file.read(8);
        if (header.size() != 8)
            return true;
        const QByteArray type = header.mid(4);
        if (type == "IDAT")
            return false;
        if (type == "gAMA" || type == "cHRM")
            return true;
        const quint32 length = qFromBigEndian<quint32>(header.constData());
        if (!file.seek(file.pos() + qint64(length) + kCrcBytes))
            return true;
    }
}

void readExifFields(const Exiv2::ExifData &exif, PictureMetadata &m)
{
    m.dateTaken = QDateTime::fromString(text(exif, Exiv2::dateTimeOriginal),
                                        QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    m.make = text(exif, Exiv2::make);
    m.model = text(exif, Exiv2::model);
    m.lens = text(exif, Exiv2::lensName);
    m.exposureTime = number(exif, Exiv2::exposureTime);
    m.aperture = number(exif, Exiv2::fNumber);
    m.focalLength = number(exif, Exiv2::focalLength);
    if (const Exiv2::Exifdatum *iso = findDatum(exif, Exiv2::isoSpeed))
        m.iso = int(iso->toLong());
    m.flash = text(exif, Exiv2::flash);
    m.hasPosition = coordinate(exif, "Exif.GPSInfo.GPSLatitude", "Exif.GPSInfo.GPSLatitudeRef", 'S',
                               &m.latitude) &&
                    coordinate(exif, "Exif.GPSInfo.GPSLongitude", "Exif.GPSInfo.GPSLongitudeRef",
                               'W', &m.longitude);
}

void readFields(Exiv2::Image &image, PictureMetadata &m)
{
    const QByteArray profile = iccProfile(image);
    if (!profile.isEmpty())
        m.colourProfile = QColorSpace::fromIccProfile(profile).description();
    readExifFields(image.exifData(), m);
}

// What the format plugin's OpenEXR reader tells of a file's layout, which no metadata library
// reads.
void readExrLayout(const QString &path, PictureMetadata &m)
{
    QFile file(path);
    if (!openRegularFile(file) || file.peek(4) != QByteArrayLiteral("\x76\x2f\x31\x01"))
        return;
    QImageReader reader(&file, "exr");
    m.dataWindow = reader.text(QStringLiteral("DataWindow"));
    m.channels = reader.text(QStringLiteral("Channels"));
}

} // namespace

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

PictureMetadata readMetadata(const QString &path)
{
    PictureMetadata metadata;
    // Whatever the file holds, what was read before the library gave up is still shown.
    try {
        const QByteArray exif = embeddedExif(path);
        QFile file(path);
        if (!exif.isEmpty()) {
            prepareMetadataLibrary();
            Exiv2::ExifData data;
            Exiv2::ExifParser::decode(data, reinterpret_cast<const Exiv2::byte *>(exif.constData()),
                                      uint32_t(exif.size()));
            readExifFields(data, metadata);
        } else if (const auto image = openMetadata(file)) {
            readFields(*image, metadata);
        }
    } catch (...) {
    }
    // The metadata library refuses an OpenEXR file outright.
    readExrLayout(path, metadata);
    metadata.hdrGainMap = hasHdrGainMap(path);
    // libexiv2 knows no CR3, nor raw files it finds odd; LibRaw may.
    if (metadata.make.isEmpty() && metadata.model.isEmpty() && isRawFile(path))
        readRawMetadata(path, metadata);
    return metadata;
}

Orientation rawFileOrientation(const QString &path, QSize *size)
{
    // Whatever the file holds, the picture is still shown: a file the library cannot parse, or
    // that makes it fail in any other way, keeps its stored orientation.
    try {
        QFile file(path);
        const auto image = openMetadata(file);
        if (!image)
            return QImageIOHandler::TransformationNone;
        if (size)
            *size = QSize(int(image->pixelWidth()), int(image->pixelHeight()));
        const Exiv2::Exifdatum *found = findDatum(image->exifData(), Exiv2::orientation);
        return found ? fromExif(found->toLong()) : QImageIOHandler::TransformationNone;
    } catch (...) {
        return QImageIOHandler::TransformationNone;
    }
}

bool readHeaderColours(const QString &path, QByteArray &profile, Orientation &orientation)
{
    // A file the library cannot parse, or that makes it fail, cannot tell: the picture is read.
    try {
        QFile file(path);
        const auto image = openMetadata(file);
        if (!image)
            return false;
        const int type = image->imageType();
        if (type != Exiv2::ImageType::jpeg && type != Exiv2::ImageType::tiff &&
            (type != Exiv2::ImageType::png || pngHasColourChunks(file)))
            return false;
        profile = iccProfile(*image);
        const Exiv2::Exifdatum *found = findDatum(image->exifData(), Exiv2::orientation);
        orientation = found ? fromExif(found->toLong()) : QImageIOHandler::TransformationNone;
        return true;
    } catch (...) {
        return false;
    }
}
