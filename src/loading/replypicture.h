// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef REPLYPICTURE_H
#define REPLYPICTURE_H

#include "decodermessage.h"

#include <QImage>

// The picture a decoder's answer describes, made only when Qt can use it as it is: Qt reads a
// picture's lines and colours as its format promises, without checking, so an answer that
// promises what its memory does not hold would make the viewer read beyond it or fault.

// Whether reply describes a picture that lies within bytes of memory and that Qt can read
// there: a known format, every line as long as the picture is wide, and lines aligned as Qt's
// loads of that format need (16 bytes for 128-bit pixels).
bool replyFits(const DecoderReply &reply, qint64 bytes);

// The alignment of the lines of a picture of format that Qt's reading of it needs.
qint64 lineAlignment(QImage::Format format);

// table made to cover every index a picture of format can hold (2 for one bit, 256 for 8), with
// opaque black for the missing ones; cut to that many. Unchanged for other formats.
QList<QRgb> fullColourTable(QList<QRgb> table, QImage::Format format);

// The picture of reply over memory (bytes long), with its colour table, colour space and texts;
// release(info) is called when the last copy of it is gone. Null when the reply does not fit
// (replyFits); release is then not called.
QImage replyPicture(const DecoderReply &reply, const uchar *memory, qint64 bytes,
                    QImageCleanupFunction release, void *info);

#endif
