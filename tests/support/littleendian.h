// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LITTLEENDIAN_H
#define LITTLEENDIAN_H

#include <QByteArray>
#include <QtEndian>

// Appends for the little-endian ("II") TIFF files the generators write.

inline void appendLe16(QByteArray &out, quint16 v)
{
    const quint16 le = qToLittleEndian(v);
    out.append(reinterpret_cast<const char *>(&le), 2);
}

inline void appendLe32(QByteArray &out, quint32 v)
{
    const quint32 le = qToLittleEndian(v);
    out.append(reinterpret_cast<const char *>(&le), 4);
}

#endif
