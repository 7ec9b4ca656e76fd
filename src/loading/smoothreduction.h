// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SMOOTHREDUCTION_H
#define SMOOTHREDUCTION_H

#include <QImage>
#include <QSize>

// picture scaled smoothly to size, as QImage::scaled with Qt::SmoothTransformation gives it, with
// palette pictures in their colours (withoutPalette, appearance.h). Qt scales most formats by
// converting the whole picture first (16-bit grey to 64-bit colours, one bit to 32): a small
// file of a huge picture would take gigabytes. Such pictures are reduced band by band instead,
// so that no conversion holds more than a few tens of megabytes; pictures Qt scales as they are
// (8-bit RGB and RGBA among them) go straight through.
QImage smoothlyReduced(const QImage &picture, const QSize &size);

#endif
