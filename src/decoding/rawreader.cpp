// SPDX-License-Identifier: GPL-3.0-or-later
#include "rawreader.h"

#include "metadata.h"
#include "paths.h"
#include "readreduction.h"
#include "reduction.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QImageReader>

#include <libraw.h>

#include <cstring>
#include <memory>

namespace {

// What LibRaw would say about a damaged file or a failed allocation goes to standard error by
// default; the viewer says "Cannot load" instead.
void ignoreDataError(void *, const char *, int) {}
void ignoreMemoryError(void *, const char *, const char *) {}

qint64 allocationBytes()
{
    return qint64(QImageReader::allocationLimit()) << 20;
}

bool withinLimit(qint64 bytes)
{
    const qint64 limit = allocationBytes();
    return limit <= 0 || bytes <= limit;
}

// LibRaw set up on data, the mapped file, which must outlive it; null when it does not know
// the file. Half size takes one pixel of each two-by-two block of the mosaic, as dcraw -h does.
std::unique_ptr<LibRaw> openRaw(uchar *data, qint64 size, bool halfSize)
{
    // Its data is far too large for a thread's stack.
    auto raw = std::make_unique<LibRaw>(LIBRAW_OPIONS_NO_MEMERR_CALLBACK |
                                        LIBRAW_OPIONS_NO_DATAERR_CALLBACK);
    raw->set_dataerror_handler(ignoreDataError, nullptr);
    raw->set_memerror_handler(ignoreMemoryError, nullptr);
    raw->imgdata.params.half_size = halfSize ? 1 : 0;
    const qint64 limit = allocationBytes();
    if (limit > 0)
        raw->imgdata.params.max_raw_memory_mb = unsigned(limit >> 20);
    if (raw->open_buffer(data, size_t(size)) != LIBRAW_SUCCESS)
        return nullptr;
    return raw;
}

// The handed file's bytes, mapped read-only for as long as file stays open; null when it cannot
// be.
uchar *mapped(QFile &file)
{
    if (!openRegularFile(file) || file.size() <= 0)
        return nullptr;
    return file.map(0, file.size());
}

// A text field of LibRaw's, which ends at its first zero byte or at the field's end.
template <size_t size> QString text(const char (&field)[size])
{
    return QString::fromUtf8(field, int(qstrnlen(field, size))).trimmed();
}

// The most a conversion holds at once: the raw data (two bytes a photosite of a mosaic, four
// channels of two bytes otherwise), the four-channel picture it is interpolated in, and the
// 8-bit result.
qint64 conversionBytes(const LibRaw &raw)
{
    const libraw_image_sizes_t &s = raw.imgdata.sizes;
    const qint64 rawBytes =
        qint64(s.raw_width) * s.raw_height * (raw.imgdata.idata.filters ? 2 : 8);
    return rawBytes + qint64(s.iwidth) * s.iheight * (8 + 3);
}

// The turn that LibRaw's flip (dcraw's) stands for, by the Exif value dcraw writes for it.
Orientation fromFlip(int flip)
{
    constexpr char kExifOfFlip[] = "12435867";
    return flip >= 0 && flip < 8 ? fromExif(kExifOfFlip[flip] - '0')
                                 : QImageIOHandler::TransformationNone;
}

// Makes buffer a picture of size and format, in its own memory (the decoder's slot) when it has
// them already; false beyond the allocation limit.
bool fitBuffer(QImage &buffer, const QSize &size, QImage::Format format)
{
    if (buffer.size() == size && buffer.format() == format)
        return true;
    const qint64 bytes =
        qint64(size.width()) * size.height() * QImage::toPixelFormat(format).bitsPerPixel() / 8;
    if (!withinLimit(bytes))
        return false;
    buffer = QImage(size, format);
    return !buffer.isNull();
}

bool readPreviewOf(LibRaw &raw, QImage &buffer, int leastSide)
{
    const libraw_thumbnail_t &thumb = raw.imgdata.thumbnail;
    if (!thumb.thumb)
        return false;
    if (thumb.tformat == LIBRAW_THUMBNAIL_JPEG) {
        QByteArray bytes = QByteArray::fromRawData(thumb.thumb, qsizetype(thumb.tlength));
        QBuffer device(&bytes);
        device.open(QIODevice::ReadOnly);
        QImageReader reader(&device, "jpeg");
        requestReducedSize(reader, leastSide);
        return reader.read(&buffer);
    }
    if (thumb.tformat != LIBRAW_THUMBNAIL_BITMAP || thumb.tcolors != 3)
        return false;
    const QSize size(thumb.twidth, thumb.theight);
    const qint64 row = qint64(size.width()) * 3;
    if (size.isEmpty() || qint64(thumb.tlength) < row * size.height() ||
        !fitBuffer(buffer, size, QImage::Format_RGB888))
        return false;
    for (int y = 0; y < size.height(); ++y)
        std::memcpy(buffer.scanLine(y), thumb.thumb + y * row, size_t(row));
    return true;
}

} // namespace

bool readRawPreview(const QString &path, QImage &buffer, Orientation &orientation, int leastSide)
{
    QFile file(path);
    uchar *data = mapped(file);
    if (!data)
        return false;
    const std::unique_ptr<LibRaw> raw = openRaw(data, file.size(), false);
    if (!raw || raw->unpack_thumb() != LIBRAW_SUCCESS || !readPreviewOf(*raw, buffer, leastSide))
        return false;
    orientation = fromFlip(raw->imgdata.sizes.flip);
    setFullViewSize(buffer, QSize(raw->imgdata.sizes.width, raw->imgdata.sizes.height));
    return true;
}

bool readRawConversion(const QString &path, QImage &buffer, int leastSide)
{
    QFile file(path);
    uchar *data = mapped(file);
    if (!data)
        return false;
    std::unique_ptr<LibRaw> raw = openRaw(data, file.size(), false);
    if (!raw)
        return false;
    // As shown: dcraw's flip 4 and up swap the sides.
    QSize whole(raw->imgdata.sizes.width, raw->imgdata.sizes.height);
    if (raw->imgdata.sizes.flip & 4)
        whole.transpose();
    const bool halfServes = leastSide > 0 && qMin(whole.width(), whole.height()) / 2 >= leastSide;
    const bool tooLarge = !withinLimit(conversionBytes(*raw));
    if (halfServes || tooLarge) {
        raw = openRaw(data, file.size(), true);
        if (!raw || !withinLimit(conversionBytes(*raw)))
            return false;
    }
    if (raw->unpack() != LIBRAW_SUCCESS || raw->dcraw_process() != LIBRAW_SUCCESS)
        return false;
    int width = 0;
    int height = 0;
    int colours = 0;
    int bits = 0;
    raw->get_mem_image_format(&width, &height, &colours, &bits);
    if (width <= 0 || height <= 0 || colours != 3 || bits != 8 ||
        !fitBuffer(buffer, QSize(width, height), QImage::Format_RGB888))
        return false;
    if (raw->copy_mem_image(buffer.bits(), int(buffer.bytesPerLine()), 0) != LIBRAW_SUCCESS)
        return false;
    // The pane's picture read smaller than it is, as a reader that reduces to fit records it.
    if (tooLarge && !halfServes)
        setOriginalSize(buffer, whole);
    return true;
}

bool readRawMetadata(const QString &path, PictureMetadata &metadata)
{
    QFile file(path);
    uchar *data = mapped(file);
    const std::unique_ptr<LibRaw> raw = data ? openRaw(data, file.size(), false) : nullptr;
    if (!raw)
        return false;
    const libraw_imgother_t &other = raw->imgdata.other;
    metadata.make = text(raw->imgdata.idata.make);
    metadata.model = text(raw->imgdata.idata.model);
    metadata.lens = text(raw->imgdata.lens.Lens);
    metadata.exposureTime = other.shutter;
    metadata.aperture = other.aperture;
    metadata.iso = qRound(other.iso_speed);
    metadata.focalLength = other.focal_len;
    // LibRaw made the time of the file's local date and time in this process's time zone; the
    // date and time are shown as recorded, as for other files.
    if (other.timestamp > 0) {
        const QDateTime taken = QDateTime::fromSecsSinceEpoch(qint64(other.timestamp));
        metadata.dateTaken = QDateTime(taken.date(), taken.time());
    }
    return true;
}
