#ifndef REDUCTION_H
#define REDUCTION_H

#include <QImage>
#include <QSize>

class QImageReader;

// Pictures too large for Qt's allocation limit are read reduced instead of refused: halved, and
// halved again, up to an eighth of their sides (what JPEG decoders do while decoding).

// The size at which a picture of size, depth bits a pixel, held in a file of fileBytes, fits in
// limitMegabytes; invalid when it fits whole, or when no reduction fits or the file is too short
// to hold so many pixels (a header that only claims them).
QSize reducedSize(const QSize &size, int depth, qint64 fileBytes, int limitMegabytes);

// Sets the reader to read reduced when its picture needs it and its format can, and gives the
// picture's size in its file then; invalid when the reader reads as it would anyway.
QSize reduceToFit(QImageReader &reader, qint64 fileBytes);

// The size a picture read reduced has in its file, as it is shown (turned); invalid for a
// picture read whole.
QSize originalSize(const QImage &picture);
void setOriginalSize(QImage &picture, const QSize &size);

#endif
