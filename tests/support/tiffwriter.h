// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef TIFFWRITER_H
#define TIFFWRITER_H

#include <QColor>
#include <QString>

// Writes an uncompressed 8-bit RGB TIFF of any size, filled with colour, in a file of a few
// hundred kilobytes at most: every row's strip points at the same stored row. Useful for
// pictures that are large to decode but must be quick to make.
bool writePlainTiff(const QString &path, quint32 width, quint32 height, const QColor &colour);

#endif
