// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef OS2BITMAP_H
#define OS2BITMAP_H

#include <QByteArray>

class QFile;

// Qt's BMP reader takes the header of OS/2's first bitmaps, Windows' headers and the whole one
// of OS/2's second version (64 bytes), but refuses that version's shortened ones (16 to 60
// bytes), which start as Windows' does. The file at file's start rewritten with a Windows header
// instead, for Qt to read; empty for any other file, for codings that only OS/2 has (Huffman,
// 24-bit runs), and for files larger than Qt's allocation limit.
QByteArray windowsBitmap(QFile &file);

#endif
