// SPDX-License-Identifier: GPL-3.0-or-later
#include "gainmap.h"

#include "paths.h"

#include <QFile>
#include <QtEndian>

namespace {

constexpr uchar kMarker = 0xff;
constexpr uchar kStartOfImage = 0xd8;
constexpr uchar kStartOfScan = 0xda;
constexpr uchar kApp1 = 0xe1;
constexpr uchar kApp2 = 0xe2;
// The MP index lists a handful of pictures; more is no photograph's.
constexpr quint32 kMostPictures = 16;
constexpr int kMpEntryBytes = 16;

// What marks a gain map, or the picture that has one, in an APP1 (XMP) or APP2 segment.
bool marksGainMap(const QByteArray &segment)
{
    return segment.contains("http://ns.adobe.com/hdr-gain-map/1.0/") ||
           segment.contains("urn:iso:std:iso:ts:21496:-1") ||
           segment.contains("urn:com:apple:photo:2020:aux:hdrgainmap");
}

// The APP segments of the JPEG picture at offset of file, up to its first scan, passed to
// found(marker, body) until it returns true; whether one did.
template <typename Found> bool scanSegments(QFile &file, qint64 offset, Found found)
{
    if (!file.seek(offset))
        return false;
    const QByteArray start = file.read(2);
    if (start.size() != 2 || uchar(start[0]) != kMarker || uchar(start[1]) != kStartOfImage)
        return false;
    for (;;) {
        const QByteArray head = file.read(4);
        if (head.size() != 4 || uchar(head[0]) != kMarker || uchar(head[1]) == kStartOfScan)
            return false;
        const int length = qFromBigEndian<quint16>(head.constData() + 2);
        if (length < 2)
            return false;
        const uchar marker = uchar(head[1]);
        if (marker == kApp1 || marker == kApp2) {
            const QByteArray body = file.read(length - 2);
            if (body.size() != length - 2)
                return false;
            if (found(marker, body, file.pos() - body.size()))
                return true;
        } else if (!file.seek(file.pos() + length - 2)) {
            return false;
        }
    }
}

template <typename T> T fromEndian(const char *at, bool little)
{
    return little ? qFromLittleEndian<T>(at) : qFromBigEndian<T>(at);
}

// The offsets in the file of the further pictures that an MPF segment (body, its first byte at
// bodyOffset in the file) lists.
QList<qint64> furtherPictures(const QByteArray &body, qint64 bodyOffset)
{
    // "MPF\0", then a TIFF header whose offsets count from its first byte.
    constexpr int kTiffStart = 4;
    QList<qint64> offsets;
    if (!body.startsWith(QByteArray("MPF\0", 4)) || body.size() < kTiffStart + 8)
        return offsets;
    const QByteArray tiff = body.mid(kTiffStart);
    const bool little = tiff.startsWith("II");
    const quint32 ifd = fromEndian<quint32>(tiff.constData() + 4, little);
    if (ifd > quint32(tiff.size()) - 2)
        return offsets;
    const int entries = fromEndian<quint16>(tiff.constData() + ifd, little);
    for (int i = 0; i < entries; ++i) {
        const qint64 at = qint64(ifd) + 2 + qint64(i) * 12;
        if (at + 12 > tiff.size())
            break;
        const char *entry = tiff.constData() + at;
        constexpr quint16 kMpEntryTag = 0xb002;
        if (fromEndian<quint16>(entry, little) != kMpEntryTag)
            continue;
        const quint32 bytes = fromEndian<quint32>(entry + 4, little);
        const quint32 list = fromEndian<quint32>(entry + 8, little);
        const quint32 pictures = qMin(bytes / kMpEntryBytes, kMostPictures);
        for (quint32 p = 1; p < pictures; ++p) {
            const qint64 mpEntry = qint64(list) + qint64(p) * kMpEntryBytes;
            if (mpEntry + kMpEntryBytes > tiff.size())
                break;
            const quint32 offset = fromEndian<quint32>(tiff.constData() + mpEntry + 8, little);
            if (offset > 0)
                offsets.append(bodyOffset + kTiffStart + offset);
        }
        // One list is all an index has; a file that repeats it gets no more pictures looked at.
        return offsets;
    }
    return offsets;
}

} // namespace

bool hasHdrGainMap(const QString &path)
{
    QFile file(path);
    if (!openRegularFile(file))
        return false;
    QList<qint64> further;
    const bool primaryMarked =
        scanSegments(file, 0, [&](uchar marker, const QByteArray &body, qint64 bodyOffset) {
            if (marker == kApp2 && further.isEmpty())
                further = furtherPictures(body, bodyOffset);
            return marksGainMap(body);
        });
    if (primaryMarked)
        return true;
    for (const qint64 offset : further) {
        if (scanSegments(file, offset,
                         [](uchar, const QByteArray &body, qint64) { return marksGainMap(body); }))
            return true;
    }
    return false;
}
