// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef EMBEDDEDEXIF_H
#define EMBEDDEDEXIF_H

#include <QByteArray>
#include <QString>

// The Exif block of a HEIF (HEIC, AVIF) or JPEG XL file at path, from its TIFF header on. These
// containers keep it in an item or a box of their own, where libexiv2 0.27 does not look, while
// their own libraries hand it out. Empty when the file is neither or records none.
QByteArray embeddedExif(const QString &path);

#endif
