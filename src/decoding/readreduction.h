// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef READREDUCTION_H
#define READREDUCTION_H

#include <QSize>

class QImageReader;

// Pictures too large for Qt's allocation limit are read reduced instead of refused: halved, and
// halved again, up to an eighth of their sides (what JPEG decoders do while decoding). Thumbnails
// are read reduced by the same fractions.

// The size at which a picture of size, depth bits a pixel, held in a file of fileBytes, fits in
// limitMegabytes; invalid when it fits whole, or when no reduction fits or the file is too short
// to hold so many pixels (a header that only claims them).
QSize reducedSize(const QSize &size, int depth, qint64 fileBytes, int limitMegabytes);

// Sets the reader to read reduced when its picture needs it and its format can, and gives the
// picture's size in its file then; invalid when the reader reads as it would anyway.
QSize reduceToFit(QImageReader &reader, qint64 fileBytes);

// Asks for the picture at 1/8, 1/4 or 1/2 of its size, the smallest of these that leaves
// leastSide pixels on its shorter side, where the reader can reduce while decoding (JPEG, HEIF);
// others are read whole, as the full view reads them. Block-based decoders such as JPEG's reach
// these fractions without resampling, so that a thumbnail scaled from the result is a fraction
// of a level from one scaled from the whole picture. The fraction
// must divide both sides: the proportions, and with them the thumbnail's size, stay exactly
// those of the whole picture. A picture that allows none is read whole. One too large to be
// read whole is left to reduceToFit, so that the grid reads or refuses it as the pane does.
void requestReducedSize(QImageReader &reader, int leastSide);

// The shorter side, rounded up, of a picture of size fitted into box: a picture read reduced to
// no less than this still covers every pixel of box that the fitted picture covers.
int coveringSide(const QSize &size, const QSize &box);

#endif
