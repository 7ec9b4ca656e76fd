// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PICTUREREADER_H
#define PICTUREREADER_H

#include "appearance.h"

#include <QImage>
#include <QString>

// The read that the decoder process makes of a picture file: loadImage's buffer variant (loader.h)
// for a file that is no camera raw file, as Qt's readers and the format plugin give it. Runs in
// the decoder only, where path names a file handed over to it (handOverFile, paths.h).
// A valid coverSize reads the picture no larger than it needs to cover its fitted rectangle in a
// box of that size, where the reader can reduce, and records the full view's size in the file
// (fullViewSize, reduction.h) on a picture so reduced.
bool readPicture(const QString &path, QImage &buffer, Orientation &orientation, int leastSide,
                 const QSize &coverSize = QSize());

// The format of the file at path as readPicture reads it, as Qt names formats; empty for none.
QByteArray pictureFormat(const QString &path);

#endif
