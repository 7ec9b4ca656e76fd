// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef STOREDCOLOURS_H
#define STOREDCOLOURS_H

#include <QByteArray>
#include <QImage>
#include <QString>

// What Qt's JPEG and TIFF readers drop when they cannot use a file's colour profile: the
// profile itself, and for CMYK files the ink values as stored (Qt turns them into RGB by a
// naive formula).
struct StoredColours
{
    QByteArray profile;
    // Four bytes a pixel, C, M, Y, K, rows without padding; empty unless the file is CMYK.
    QByteArray cmyk;
    QSize size;
    // Adobe's writers store 255 for no ink: the values are inverted.
    bool inverted = false;
};

// The picture in sRGB through LittleCMS, for the profiles Qt cannot apply: a CMYK file's ink
// values through its print profile, or picture through its table-based RGB profile. Null when
// LittleCMS cannot use the profile either.
QImage storedToSrgb(const QImage &picture, const StoredColours &stored);

// Reads the embedded profile of the JPEG, TIFF or Photoshop file at path (format as Qt names
// it), and its CMYK values when it has both; false when there is no profile or the file cannot
// be read.
bool readStoredColours(const QString &path, const QByteArray &format, StoredColours &stored);

// Qt shows the pixels of a file whose profile it cannot use (CMYK, table-based) as they are
// stored: buffer, read by Qt from the file at path, gets the colours its profile gives instead.
// Left as it is when the file has no such profile.
void applyUnusableProfile(const QString &path, const QByteArray &format, QImage &buffer);

#endif
