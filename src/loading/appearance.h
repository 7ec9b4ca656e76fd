// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef APPEARANCE_H
#define APPEARANCE_H

#include <QImage>
#include <QImageIOHandler>
#include <QString>

// Decoders hand over pictures as they were stored; these functions make them look as they were
// taken: turned the way the camera was held, in the sRGB colours a screen shows, and with 32-bit
// colours where smooth scaling needs them. A picture that would exceed the allocation limit
// (QImageReader::allocationLimit()) once converted comes back null.

using Orientation = QImageIOHandler::Transformations;

// Turns and mirrors picture as its stored orientation asks.
QImage applyOrientation(const QImage &picture, Orientation orientation);

// The picture in sRGB. Pictures without a colour space, already in sRGB, or with a profile that
// Qt cannot use come back as they are, at no cost.
QImage toSrgb(QImage picture);

// Colour first, then orientation: what a decoded picture needs before it is shown.
QImage finishPicture(QImage picture, Orientation orientation);

// Palette pictures (indexed, one bit a pixel) as 32-bit colours, alpha kept where the palette has
// it: smooth scaling ignores the palette of one-bit pictures. Others come back as they are.
QImage withoutPalette(const QImage &picture);

#endif
