// SPDX-License-Identifier: GPL-3.0-or-later
#include "smoothreduction.h"

#include "appearance.h"

#include <QColorSpace>

#include <algorithm>

namespace {

// The most that converting one band of a picture may take.
constexpr qint64 kBandBytes = qint64(64) << 20;

// The bits a pixel of format takes in the format Qt's smooth scaling converts it to: none for
// the formats it scales as they are.
int convertedBits(QImage::Format format)
{
    switch (format) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888_Premultiplied:
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_RGBX32FPx4:
    case QImage::Format_RGBA32FPx4_Premultiplied:
        return 0;
    case QImage::Format_RGBA64:
    case QImage::Format_Grayscale16:
        return 64;
    case QImage::Format_RGBX16FPx4:
    case QImage::Format_RGBA16FPx4:
    case QImage::Format_RGBA16FPx4_Premultiplied:
    case QImage::Format_RGBA32FPx4:
        return 128;
    default:
        return 32;
    }
}

QImage scaledWhole(const QImage &picture, const QSize &size)
{
    return withoutPalette(picture).scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace

QImage smoothlyReduced(const QImage &picture, const QSize &size)
{
    if (picture.isNull() || size.isEmpty())
        return QImage();
    const qint64 lineBytes = qint64(picture.width()) * convertedBits(picture.format()) / 8;
    if (lineBytes * picture.height() <= kBandBytes)
        return scaledWhole(picture, size);
    // Each band of the reduced picture is made from the lines of the picture that it covers.
    const int height = picture.height();
    const int linesPerBand = int(std::max<qint64>(1, kBandBytes / lineBytes));
    const int rowsPerBand = int(std::max<qint64>(1, qint64(linesPerBand) * size.height() / height));
    QImage reduced;
    for (int top = 0; top < size.height(); top += rowsPerBand) {
        const int rows = std::min(rowsPerBand, size.height() - top);
        const int from = int(qint64(top) * height / size.height());
        const int to = int((qint64(top + rows) * height + size.height() - 1) / size.height());
        const QImage band = scaledWhole(picture.copy(0, from, picture.width(), to - from),
                                        QSize(size.width(), rows));
        if (band.isNull())
            return QImage();
        if (reduced.isNull()) {
            reduced = QImage(size, band.format());
            if (reduced.isNull())
                return QImage();
            reduced.setColorSpace(picture.colorSpace());
        }
        for (int row = 0; row < rows; ++row)
            std::copy_n(band.constScanLine(row), band.bytesPerLine(), reduced.scanLine(top + row));
    }
    return reduced;
}
