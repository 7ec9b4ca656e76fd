// SPDX-License-Identifier: GPL-3.0-or-later
#include "tiffwriter.h"
#include "littleendian.h"

#include <QFile>
#include <QtEndian>

namespace {

void appendEntry(QByteArray &out, quint16 tag, quint16 type, quint32 count, quint32 value)
{
    appendLe16(out, tag);
    appendLe16(out, type);
    appendLe32(out, count);
    if (type == 3 && count == 1) {
        appendLe16(out, quint16(value));
        appendLe16(out, 0);
    } else {
        appendLe32(out, value);
    }
}

} // namespace

bool writePlainTiff(const QString &path, quint32 width, quint32 height, const QColor &colour)
{
    constexpr quint16 kShort = 3;
    constexpr quint16 kLong = 4;
    constexpr quint32 kEntries = 10;
    const quint32 ifdOffset = 8;
    const quint32 bitsOffset = ifdOffset + 2 + kEntries * 12 + 4;
    const quint32 offsetsOffset = bitsOffset + 6 + 2;
    const quint32 countsOffset = offsetsOffset + 4 * height;
    const quint32 rowOffset = countsOffset + 4 * height;
    const quint32 rowBytes = width * 3;

    QByteArray head("II*\0", 4);
    appendLe32(head, ifdOffset);
    appendLe16(head, quint16(kEntries));
    appendEntry(head, 256, kLong, 1, width);
    appendEntry(head, 257, kLong, 1, height);
    appendEntry(head, 258, kShort, 3, bitsOffset);
    appendEntry(head, 259, kShort, 1, 1); // no compression
    appendEntry(head, 262, kShort, 1, 2); // RGB
    appendEntry(head, 273, kLong, height, offsetsOffset);
    appendEntry(head, 277, kShort, 1, 3);
    appendEntry(head, 278, kLong, 1, 1); // one row a strip
    appendEntry(head, 279, kLong, height, countsOffset);
    appendEntry(head, 284, kShort, 1, 1);
    appendLe32(head, 0);
    for (int i = 0; i < 4; ++i)
        appendLe16(head, i < 3 ? 8 : 0);

    QByteArray offsets;
    QByteArray counts;
    offsets.reserve(qsizetype(height) * 4);
    counts.reserve(qsizetype(height) * 4);
    for (quint32 y = 0; y < height; ++y) {
        appendLe32(offsets, rowOffset);
        appendLe32(counts, rowBytes);
    }
    QByteArray row(qsizetype(rowBytes), Qt::Uninitialized);
    for (quint32 x = 0; x < width; ++x) {
        row[x * 3] = char(colour.red());
        row[x * 3 + 1] = char(colour.green());
        row[x * 3 + 2] = char(colour.blue());
    }

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool ok = file.write(head) == head.size() && file.write(offsets) == offsets.size() &&
                    file.write(counts) == counts.size() && file.write(row) == row.size();
    return file.flush() && ok;
}
