// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef METADATA_H
#define METADATA_H

#include "appearance.h"
#include "picturemetadata.h"

#include <QByteArray>
#include <QSize>
#include <QString>

// The metadata of the file at path, camera raw files included, read by libexiv2 without changing
// the file; the Exif of HEIF and JPEG XL files reaches it through embeddedExif. A file that the library
// cannot parse gives empty metadata. Safe to call from several threads at once; it may take a while on a slow disk, so not from the user-interface thread.
PictureMetadata readMetadata(const QString &path);

// The turn that an Exif orientation value (1 to 8) stands for; none for any other value.
Orientation fromExif(long value);

// The orientation a camera raw file records, read by libexiv2; none when the file has none or
// cannot be parsed. Safe to call from several threads at once.
// size, when given, gets the size of its main picture as stored, before the turn; invalid when
// the library does not find one.
Orientation rawFileOrientation(const QString &path, QSize *size = nullptr);

// The colour profile (ICC; empty for none) and orientation that the headers of the JPEG, PNG or
// TIFF file at path record, read by libexiv2 without decoding the picture: what Qt's reader gives
// the picture. False for other files, and for a PNG file whose gamma or chromaticity chunks Qt may
// make its colours of instead. Safe to call from several threads at once.
bool readHeaderColours(const QString &path, QByteArray &profile, Orientation &orientation);

#endif
