// SPDX-License-Identifier: GPL-3.0-or-later
#include "heifboxes.h"

#include <QByteArrayView>
#include <QtEndian>

namespace {

struct Box
{
    QByteArrayView type;
    QByteArrayView content;
};

// The boxes laid one after another in data, up to the first that does not fit.
QList<Box> boxesIn(QByteArrayView data)
{
    QList<Box> boxes;
    qsizetype at = 0;
    while (data.size() - at >= 8) {
        quint64 size = qFromBigEndian<quint32>(data.data() + at);
        qsizetype header = 8;
        if (size == 1 && data.size() - at >= 16) {
            size = qFromBigEndian<quint64>(data.data() + at + 8);
            header = 16;
        } else if (size == 0) {
            size = quint64(data.size() - at);
        }
        if (size < quint64(header) || size > quint64(data.size() - at))
            break;
        boxes.append({data.sliced(at + 4, 4), data.sliced(at + header, qsizetype(size) - header)});
        at += qsizetype(size);
    }
    return boxes;
}

QByteArrayView contentOf(const QList<Box> &boxes, const char *type)
{
    for (const Box &box : boxes) {
        if (box.type == type)
            return box.content;
    }
    return QByteArrayView();
}

// Reads a big-endian number of bytes bytes at *at, moving past it; false when data ends first.
bool readNumber(QByteArrayView data, qsizetype *at, int bytes, quint32 *value)
{
    if (data.size() - *at < bytes)
        return false;
    const auto *p = reinterpret_cast<const uchar *>(data.data() + *at);
    *value = bytes == 1   ? p[0]
             : bytes == 2 ? qFromBigEndian<quint16>(p)
                          : qFromBigEndian<quint32>(p);
    *at += bytes;
    return true;
}

} // namespace

QList<QByteArray> shownTransformations(const QByteArray &file, quint32 item)
{
    // The description is a full box: a version and flags come before its boxes.
    const QByteArrayView meta = contentOf(boxesIn(file), "meta");
    if (meta.size() < 4)
        return {};
    const QList<Box> described = boxesIn(contentOf(boxesIn(meta.sliced(4)), "iprp"));
    const QList<Box> properties = boxesIn(contentOf(described, "ipco"));
    // The associations: for each item, the indices of its properties, counted from one, in
    // one or two bytes as the flags say, the top bit marking the essential ones.
    const QByteArrayView associations = contentOf(described, "ipma");
    if (associations.size() < 4)
        return {};
    const int idBytes = associations[0] < 1 ? 2 : 4;
    const int indexBytes = associations[3] & 1 ? 2 : 1;
    const quint32 indexMask = indexBytes == 2 ? 0x7fff : 0x7f;
    qsizetype at = 4;
    quint32 entries = 0;
    if (!readNumber(associations, &at, 4, &entries))
        return {};
    QList<QByteArray> found;
    for (quint32 entry = 0; entry < entries; ++entry) {
        quint32 id = 0;
        quint32 count = 0;
        if (!readNumber(associations, &at, idBytes, &id) ||
            !readNumber(associations, &at, 1, &count))
            return {};
        for (quint32 i = 0; i < count; ++i) {
            quint32 index = 0;
            if (!readNumber(associations, &at, indexBytes, &index))
                return {};
            index &= indexMask;
            if (id != item || index < 1 || index > quint32(properties.size()))
                continue;
            const Box &property = properties.at(qsizetype(index) - 1);
            if (property.type == "irot" || property.type == "imir" || property.type == "clap")
                found.append(property.type.toByteArray() + property.content.toByteArray());
        }
    }
    return found;
}
