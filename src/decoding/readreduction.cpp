// SPDX-License-Identifier: GPL-3.0-or-later
#include "readreduction.h"

#include <QImageReader>

#include <cmath>

namespace {

// Every JPEG decoder reduces by 2, 4 and 8 while decoding; beyond that the reader would decode
// a picture still too large before scaling it.
constexpr int kLargestReduction = 8;

// A real picture takes at least a bit of file for every few hundred pixels, even of one colour;
// a header claiming more pixels than this lets the file hold is refused, not decoded reduced.
constexpr qint64 kMostPixelsPerByte = 1024;

// The readers that reduce while decoding: JPEG's decoder by its scaled inverse transform, the
// HEIF one by taking the file's stored thumbnail, JPEG 2000's by leaving out resolution levels.
// Others that accept a scaled size read the whole picture and scale it afterwards, which saves
// nothing, and some lose what the full read keeps (Qt's PNG reader drops a one-bit picture's
// colour table).
bool reducesWhileDecoding(const QByteArray &format)
{
    return format == "jpeg" || format == "jpg" || format == "heic" || format == "heif" ||
           format == "avif" ||
           format == "jp2";
}

qint64 pictureBytes(const QSize &size, int depth)
{
    // Rows are padded to 32 bits, as in QImage.
    const qint64 row = ((qint64(size.width()) * depth + 31) / 32) * 4;
    return row * size.height();
}

} // namespace

QSize reducedSize(const QSize &size, int depth, qint64 fileBytes, int limitMegabytes)
{
    const qint64 limit = qint64(limitMegabytes) << 20;
    if (size.isEmpty() || limitMegabytes <= 0 || pictureBytes(size, depth) <= limit)
        return QSize();
    if (qint64(size.width()) * size.height() / kMostPixelsPerByte > fileBytes)
        return QSize();
    for (int factor = 2; factor <= kLargestReduction; factor *= 2) {
        // Rounded up, as decoders that reduce give their partial blocks a pixel.
        const QSize reduced((size.width() + factor - 1) / factor,
                            (size.height() + factor - 1) / factor);
        if (pictureBytes(reduced, depth) <= limit)
            return reduced;
    }
    return QSize();
}

QSize reduceToFit(QImageReader &reader, qint64 fileBytes)
{
    if (!reader.supportsOption(QImageIOHandler::ScaledSize))
        return QSize();
    // Formats that do not say theirs, or say nonsense, are counted as 32 bits a pixel, as most
    // are read.
    const QImage::Format format = reader.imageFormat();
    const bool known = format > QImage::Format_Invalid && format < QImage::NImageFormats;
    const int depth = known ? QImage::toPixelFormat(format).bitsPerPixel() : 32;
    const QSize size = reader.size();
    const QSize reduced = reducedSize(size, depth, fileBytes, QImageReader::allocationLimit());
    if (!reduced.isValid())
        return QSize();
    reader.setScaledSize(reduced);
    return size;
}

void requestReducedSize(QImageReader &reader, int leastSide)
{
    if (leastSide <= 0 || !reducesWhileDecoding(reader.format().toLower()) ||
        !reader.supportsOption(QImageIOHandler::ScaledSize))
        return;
    const QSize size = reader.size();
    const qint64 limit = qint64(QImageReader::allocationLimit()) << 20;
    if (limit > 0 && pictureBytes(size, 32) > limit)
        return;
    for (int divisor = kLargestReduction; divisor > 1; divisor /= 2) {
        if (size.width() % divisor == 0 && size.height() % divisor == 0 &&
            qMin(size.width(), size.height()) / divisor >= leastSide) {
            reader.setScaledSize(QSize(size.width() / divisor, size.height() / divisor));
            return;
        }
    }
}

int coveringSide(const QSize &size, const QSize &box)
{
    if (size.isEmpty() || box.isEmpty())
        return 0;
    const double scale = qMin(double(box.width()) / size.width(),
                              double(box.height()) / size.height());
    return int(std::ceil(scale * qMin(size.width(), size.height())));
}
