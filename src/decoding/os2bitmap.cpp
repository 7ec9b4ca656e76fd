// SPDX-License-Identifier: GPL-3.0-or-later
#include "os2bitmap.h"

#include <QFile>
#include <QImageReader>
#include <QtEndian>

namespace {

constexpr int kFileHeaderBytes = 14;
constexpr quint32 kWindowsHeaderBytes = 40;
// Where the file header keeps the pixels' offset, and the information header its coding.
constexpr int kPixelOffset = 10;
constexpr int kCoding = kFileHeaderBytes + 16;
// The codings that OS/2 numbers as Windows' bit fields and JPEG.
constexpr quint32 kHuffman = 3;
constexpr quint32 kRunLength24 = 4;

bool isOs2SecondHeader(quint32 size)
{
    // 40, 52 and 56 bytes are Windows' own, and Qt reads the whole 64 of OS/2.
    return size >= 16 && size < 64 && size % 4 == 0 && size != kWindowsHeaderBytes && size != 52 &&
           size != 56;
}

} // namespace

QByteArray windowsBitmap(QFile &file)
{
    const QByteArray head = file.peek(kCoding + 4);
    if (head.size() < kFileHeaderBytes + 4 || !head.startsWith("BM"))
        return QByteArray();
    const auto *data = reinterpret_cast<const uchar *>(head.constData());
    const quint32 headerBytes = qFromLittleEndian<quint32>(data + kFileHeaderBytes);
    if (!isOs2SecondHeader(headerBytes))
        return QByteArray();
    const quint32 coding = headerBytes >= 20 && head.size() >= kCoding + 4
                               ? qFromLittleEndian<quint32>(data + kCoding)
                               : 0;
    const qint64 limit = qint64(QImageReader::allocationLimit()) << 20;
    if (coding == kHuffman || coding == kRunLength24 || (limit > 0 && file.size() > limit))
        return QByteArray();
    const qint64 start = file.pos();
    const QByteArray bitmap = file.readAll();
    file.seek(start);
    if (bitmap.size() < kFileHeaderBytes + qint64(headerBytes))
        return QByteArray();
    QByteArray header = bitmap.mid(kFileHeaderBytes, qMin(headerBytes, kWindowsHeaderBytes));
    header.append(QByteArray(kWindowsHeaderBytes - header.size(), '\0'));
    qToLittleEndian(kWindowsHeaderBytes, header.data());
    QByteArray windows =
        bitmap.left(kFileHeaderBytes) + header + bitmap.mid(kFileHeaderBytes + headerBytes);
    const qint64 offset = qint64(qFromLittleEndian<quint32>(data + kPixelOffset)) +
                          qint64(kWindowsHeaderBytes) - headerBytes;
    if (offset < kFileHeaderBytes + kWindowsHeaderBytes || offset > windows.size())
        return QByteArray();
    qToLittleEndian(quint32(offset), windows.data() + kPixelOffset);
    return windows;
}
