// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef ORIENTEDJPEG_H
#define ORIENTEDJPEG_H

#include <QColor>
#include <QImage>
#include <QList>
#include <QPair>
#include <QString>

// Pictures that record how the camera was held. Qt's JPEG writer turns the pixels itself
// instead of writing an Exif orientation, so the Exif block is written here.

// The colour of the block in the first stored corner (row 0, column 0) of the pictures below;
// the rest is white.
inline const QColor kMarkColour(220, 20, 20);

// A size.width() x size.height() picture, white with a kMarkColour block in its top left corner.
QImage markedPicture(const QSize &size);

// Writes picture as a JPEG whose Exif orientation is orientation (1 to 8); false on failure.
bool writeOrientedJpeg(const QString &path, const QImage &picture, int orientation);

// Writes picture as a JPEG carrying the Exif fields given as libexiv2 keys and values in its
// text form ("Exif.Photo.ExposureTime", "1/250"); false on failure.
bool writeExifJpeg(const QString &path, const QImage &picture,
                   const QList<QPair<QByteArray, QByteArray>> &fields);

// The corner of picture that holds the mark, or -1 when none or more than one does.
int markedCorner(const QImage &picture);

// The test table of the eight orientations: columns "orientation", "portrait" (whether the
// shown picture is turned a quarter from landscape), and "corner" (the Qt::Corner where the
// mark is seen).
void addOrientationRows();

#endif
