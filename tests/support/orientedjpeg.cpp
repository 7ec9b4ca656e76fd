// SPDX-License-Identifier: GPL-3.0-or-later
#include "orientedjpeg.h"
#include "littleendian.h"

#include <QBuffer>
#include <QFile>
#include <QTest>

#include <exiv2/exiv2.hpp>

namespace {

constexpr int kJpegQuality = 95;
constexpr int kMarkTolerance = 40;

// An APP1 segment holding a little-endian TIFF block with one entry: the orientation.
QByteArray exifSegment(int orientation)
{
    QByteArray tiff("II*\0", 4);
    appendLe32(tiff, 8); // the first IFD follows the header
    appendLe16(tiff, 1);
    appendLe16(tiff, 0x0112); // Orientation: one SHORT, kept in the entry itself
    appendLe16(tiff, 3);
    appendLe32(tiff, 1);
    appendLe16(tiff, quint16(orientation));
    appendLe16(tiff, 0);
    appendLe32(tiff, 0); // no further IFD
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
    const int length = body.size() + 2;
    return QByteArray("\xff\xe1", 2) + char(length >> 8) + char(length & 0xff) + body;
}

bool isMark(const QColor &c)
{
    return qAbs(c.red() - kMarkColour.red()) <= kMarkTolerance &&
           qAbs(c.green() - kMarkColour.green()) <= kMarkTolerance &&
           qAbs(c.blue() - kMarkColour.blue()) <= kMarkTolerance;
}

} // namespace

QImage markedPicture(const QSize &size)
{
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(Qt::white);
    const int side = qMin(size.width(), size.height()) / 3;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x)
            picture.setPixelColor(x, y, kMarkColour);
    }
    return picture;
}

bool writeOrientedJpeg(const QString &path, const QImage &picture, int orientation)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "JPG", kJpegQuality) ||
        !jpeg.startsWith("\xff\xd8"))
        return false;
    jpeg.insert(2, exifSegment(orientation));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(jpeg) == jpeg.size();
}

bool writeExifJpeg(const QString &path, const QImage &picture,
                   const QList<QPair<QByteArray, QByteArray>> &fields)
{
    if (!picture.save(path, "JPG", kJpegQuality))
        return false;
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        // Read first: what Qt wrote (the colour profile) stays.
        image->readMetadata();
        for (const auto &[key, value] : fields)
            image->exifData()[key.toStdString()] = value.toStdString();
        image->writeMetadata();
        return true;
    } catch (...) {
        return false;
    }
}

int markedCorner(const QImage &picture)
{
    if (picture.width() < 4 || picture.height() < 4)
        return -1;
    const int right = picture.width() - 2;
    const int bottom = picture.height() - 2;
    const QList<QPair<Qt::Corner, QPoint>> corners{{Qt::TopLeftCorner, QPoint(1, 1)},
                                                   {Qt::TopRightCorner, QPoint(right, 1)},
                                                   {Qt::BottomLeftCorner, QPoint(1, bottom)},
                                                   {Qt::BottomRightCorner, QPoint(right, bottom)}};
    int found = -1;
    for (const auto &[corner, point] : corners) {
        if (!isMark(picture.pixelColor(point)))
            continue;
        if (found >= 0)
            return -1;
        found = corner;
    }
    return found;
}

void addOrientationRows()
{
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("portrait");
    QTest::addColumn<int>("corner");
    QTest::newRow("1, as stored") << 1 << false << int(Qt::TopLeftCorner);
    QTest::newRow("2, mirrored left to right") << 2 << false << int(Qt::TopRightCorner);
    QTest::newRow("3, upside down") << 3 << false << int(Qt::BottomRightCorner);
    QTest::newRow("4, mirrored top to bottom") << 4 << false << int(Qt::BottomLeftCorner);
    QTest::newRow("5, mirrored across the diagonal") << 5 << true << int(Qt::TopLeftCorner);
    QTest::newRow("6, camera held upright, turned clockwise")
        << 6 << true << int(Qt::TopRightCorner);
    QTest::newRow("7, mirrored across the other diagonal")
        << 7 << true << int(Qt::BottomRightCorner);
    QTest::newRow("8, camera held upright, turned anticlockwise")
        << 8 << true << int(Qt::BottomLeftCorner);
}
