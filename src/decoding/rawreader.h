// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef RAWREADER_H
#define RAWREADER_H

#include "appearance.h"
#include "picturemetadata.h"

#include <QImage>
#include <QString>

// The decoder's own reader of camera raw files, through LibRaw: the second reader after dcraw,
// for the files dcraw cannot convert (cameras newer than it, Canon's CR3). It reads the handed
// file (handOverFile, paths.h) from memory, never by a name, and keeps within the allocation limit
// (QImageReader::allocationLimit()): a file that would need more is refused. Runs in the decoder
// only.

// The preview the camera embedded, as dcraw -e gives it: a JPEG read reduced to no less than
// leastSide where it can be, or a bitmap; orientation gets the raw file's turn, and the picture
// carries the full view's size as stored (fullViewSize, reduction.h). False when the file has no
// preview LibRaw can use.
bool readRawPreview(const QString &path, QImage &buffer, Orientation &orientation, int leastSide);

// The full conversion, as dcraw -T gives it: 8-bit sRGB, already turned. A positive leastSide
// lets it come at half size where that leaves at least leastSide pixels on the shorter side, as
// does a picture too large for the allocation limit whole, which carries its size in the file
// then (originalSize, reduction.h).
bool readRawConversion(const QString &path, QImage &buffer, int leastSide);

// What LibRaw reads of how the picture was taken (camera, lens, exposure, date) into metadata,
// for the raw files libexiv2 cannot parse (CR3); false when LibRaw does not know the file.
bool readRawMetadata(const QString &path, PictureMetadata &metadata);

#endif
