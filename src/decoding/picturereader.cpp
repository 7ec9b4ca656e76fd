// SPDX-License-Identifier: GPL-3.0-or-later
#include "picturereader.h"

#include "os2bitmap.h"
#include "paths.h"
#include "readreduction.h"
#include "reduction.h"
#include "storedcolours.h"
#include "tgahandler.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImageReader>

namespace {

// Qt 6.4 squares the alpha when it premultiplies a 64-bit picture itself, as every smooth
// reduction does: a half see-through thumbnail would come out nearly clear. Such pictures leave
// the reader premultiplied instead.
void premultiplyDeep(QImage &picture)
{
    if (picture.format() != QImage::Format_RGBA64)
        return;
    for (int y = 0; y < picture.height(); ++y) {
        auto *pixel = reinterpret_cast<QRgba64 *>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            pixel[x] = pixel[x].premultiplied();
    }
    picture.reinterpretAsFormat(QImage::Format_RGBA64_Premultiplied);
}

// Qt's own TGA plugin claims every .tga file by its name, yet reads only uncompressed true
// colour ones of the format's second version (and its ICO plugin claims those by their content):
// the project's reader takes them all.
bool isTgaFile(const QString &path, QFile &file)
{
    return pathExtension(path).compare(QLatin1String("tga"), Qt::CaseInsensitive) == 0 &&
           TgaHandler::canRead(&file);
}

} // namespace

QByteArray pictureFormat(const QString &path)
{
    QFile file(path);
    if (!openRegularFile(file))
        return QByteArray();
    return isTgaFile(path, file) ? QByteArray("tga") : QImageReader::imageFormat(&file);
}

// Qt guesses the format from the file's name and content, as for QImage(path); only regular
// files are read. Qt leaves a file's orientation to the caller, who may turn a smaller copy.
bool readPicture(const QString &path, QImage &buffer, Orientation &orientation, int leastSide,
                 const QSize &coverSize)
{
    QFile file(path);
    if (!openRegularFile(file))
        return false;
    // It neither reduces nor turns, and TGA files carry no colour profile.
    if (isTgaFile(path, file)) {
        TgaHandler tga;
        tga.setDevice(&file);
        orientation = QImageIOHandler::TransformationNone;
        return tga.read(&buffer);
    }
    // A bitmap of OS/2's second version reaches Qt's reader with a Windows header.
    QBuffer rewritten;
    rewritten.setData(windowsBitmap(file));
    const bool os2 = !rewritten.data().isEmpty() && rewritten.open(QIODevice::ReadOnly);
    QImageReader reader(os2 ? static_cast<QIODevice *>(&rewritten) : &file, os2 ? "bmp" : "");
    // Asked before the read: the reader forgets a format it found by the content once done.
    const QByteArray format = reader.format();
    const QSize original = reduceToFit(reader, file.size());
    if (!original.isValid())
        requestReducedSize(reader, leastSide);
    QSize fullView;
    if (!original.isValid() && coverSize.isValid()) {
        // The box is as shown; the reader's size is as stored, before a quarter turn.
        fullView = reader.size();
        const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
        requestReducedSize(reader, coveringSide(fullView, turned ? coverSize.transposed()
                                                                 : coverSize));
        if (!reader.scaledSize().isValid())
            fullView = QSize();
    }
    if (!reader.read(&buffer))
        return false;
    orientation = reader.transformation();
    // Only formats whose frames are meant to play: a TIFF's pages are no animation.
    if (leastSide == 0 && reader.supportsAnimation() && reader.imageCount() > 1)
        setAnimation(buffer);
    premultiplyDeep(buffer);
    setOriginalSize(buffer, original);
    if (!buffer.colorSpace().isValid())
        applyUnusableProfile(path, format, buffer);
    // After the colours, which may come as a picture of their own.
    if (fullView.isValid())
        setFullViewSize(buffer, fullView);
    return true;
}
