// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef REDUCTION_H
#define REDUCTION_H

#include <QImage>
#include <QSize>

// What a picture's read found out besides its pixels, carried with the picture as its texts:
// the size in its file of a picture read reduced (readreduction.h), whether it is an animation.

// The size a picture read reduced has in its file, as it is shown (turned); invalid for a
// picture read whole.
QSize originalSize(const QImage &picture);
void setOriginalSize(QImage &picture, const QSize &size);

// The size, as stored in the file, of the full view of a picture read smaller to be shown
// until the full view comes (a stand-in); invalid for any other picture.
QSize fullViewSize(const QImage &picture);
void setFullViewSize(QImage &picture, const QSize &size);

// The size of picture in its file, turned as picture is shown: its own size when read whole.
QSize sizeInFile(const QImage &picture);

// Whether the file of picture, read whole, holds more frames that are meant to play: asked with
// the picture's own read, so that a still picture costs no question to a decoder.
bool isAnimation(const QImage &picture);
void setAnimation(QImage &picture);

#endif
