// SPDX-License-Identifier: GPL-3.0-or-later
#include "pcxhandler.h"

#include <QIODevice>
#include <QImage>
#include <QtEndian>

namespace {

constexpr int kHeaderBytes = 128;
constexpr int kHeaderPalette = 16;
// The 256-colour palette follows the pixels, after a byte of its own.
constexpr int kEndPaletteBytes = 769;
constexpr char kEndPaletteMark = 0x0c;

struct Header
{
    int bits = 0;
    int planes = 0;
    int lineBytes = 0;
    bool runLength = false;
    QSize size;
};

bool parse(const QByteArray &bytes, Header &header)
{
    if (bytes.size() < kHeaderBytes)
        return false;
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const int version = data[1];
    if (data[0] != 0x0a || data[2] > 1 || (version > 5 || version == 1))
        return false;
    header.runLength = data[2] == 1;
    header.bits = data[3];
    const int left = qFromLittleEndian<quint16>(data + 4);
    const int top = qFromLittleEndian<quint16>(data + 6);
    const int right = qFromLittleEndian<quint16>(data + 8);
    const int bottom = qFromLittleEndian<quint16>(data + 10);
    header.planes = data[65];
    header.lineBytes = qFromLittleEndian<quint16>(data + 66);
    header.size = QSize(right - left + 1, bottom - top + 1);
    const bool known =
        (header.bits == 1 && header.planes >= 1 && header.planes <= 4) ||
        ((header.bits == 2 || header.bits == 4) && header.planes == 1) ||
        (header.bits == 8 && (header.planes == 1 || header.planes == 3 || header.planes == 4));
    return known && !header.size.isEmpty() &&
           qint64(header.lineBytes) * 8 >= qint64(header.size.width()) * header.bits;
}

// The planes of every row as stored; false when the file ends first. Runs may cross rows.
bool unpack(QIODevice *device, const Header &header, QByteArray &rows)
{
    const qint64 total = qint64(header.lineBytes) * header.planes * header.size.height();
    const qint64 available = device->size() - device->pos();
    // A run holds at most 63 bytes: a file far too short for its size is refused before
    // anything the size of the picture is allocated.
    if (available < (header.runLength ? total / 63 : total))
        return false;
    if (!header.runLength) {
        rows = device->read(total);
        return rows.size() == total;
    }
    const QByteArray packed = device->read(available);
    rows = QByteArray(total, Qt::Uninitialized);
    const auto *in = reinterpret_cast<const uchar *>(packed.constData());
    auto *out = reinterpret_cast<uchar *>(rows.data());
    qint64 i = 0, o = 0;
    while (o < total) {
        if (i >= packed.size())
            return false;
        const uchar byte = in[i++];
        if ((byte & 0xc0) != 0xc0) {
            out[o++] = byte;
            continue;
        }
        if (i >= packed.size())
            return false;
        const qint64 count = qMin<qint64>(byte & 0x3f, total - o);
        std::fill(out + o, out + o + count, in[i++]);
        o += count;
    }
    return true;
}

QList<QRgb> palette(const uchar *colours, int count)
{
    QList<QRgb> table(count);
    for (int i = 0; i < count; ++i)
        table[i] = qRgb(colours[3 * i], colours[3 * i + 1], colours[3 * i + 2]);
    return table;
}

} // namespace

bool PcxHandler::canRead(QIODevice *device)
{
    Header header;
    return device && parse(device->peek(kHeaderBytes), header);
}

QSize PcxHandler::headerSize(QIODevice *device) const
{
    Header header;
    return parse(device->peek(kHeaderBytes), header) ? header.size : QSize();
}

bool PcxHandler::read(QImage *image)
{
    QIODevice *in = device();
    Header header;
    if (!in || in->isSequential())
        return false;
    const QByteArray head = in->read(kHeaderBytes);
    if (!parse(head, header))
        return false;
    const auto *headerColours = reinterpret_cast<const uchar *>(head.constData()) + kHeaderPalette;
    const bool direct = header.bits == 8 && header.planes > 1;
    const QImage::Format format = !direct              ? QImage::Format_Indexed8
                                  : header.planes == 4 ? QImage::Format_ARGB32
                                                       : QImage::Format_RGB32;
    QImage picture;
    QByteArray rows;
    const qint64 start = in->pos();
    if (!QImageIOHandler::allocateImage(header.size, format, &picture) || !unpack(in, header, rows))
        return false;
    if (header.bits == 1 && header.planes == 1) {
        picture.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    } else if (header.bits == 8 && header.planes == 1) {
        QList<QRgb> table(256);
        for (int i = 0; i < 256; ++i)
            table[i] = qRgb(i, i, i);
        // Files without the palette at their end are greyscale.
        if (in->size() - start >= kEndPaletteBytes && in->seek(in->size() - kEndPaletteBytes)) {
            const QByteArray end = in->read(kEndPaletteBytes);
            if (end.size() == kEndPaletteBytes && end[0] == kEndPaletteMark)
                table = palette(reinterpret_cast<const uchar *>(end.constData()) + 1, 256);
        }
        picture.setColorTable(table);
    } else if (!direct) {
        picture.setColorTable(palette(headerColours, 1 << (header.bits * header.planes)));
    }
    const int width = header.size.width();
    const int planeBytes = header.lineBytes;
    for (int y = 0; y < header.size.height(); ++y) {
        const auto *row = reinterpret_cast<const uchar *>(rows.constData()) +
                          qsizetype(y) * planeBytes * header.planes;
        uchar *line = picture.scanLine(y);
        for (int x = 0; x < width; ++x) {
            if (direct) {
                reinterpret_cast<QRgb *>(line)[x] =
                    qRgba(row[x], row[planeBytes + x], row[2 * planeBytes + x],
                          header.planes == 4 ? row[3 * planeBytes + x] : 255);
                continue;
            }
            // Packed pixels, most significant first, the planes giving an index's bits.
            int index = 0;
            for (int p = 0; p < header.planes; ++p) {
                const qsizetype bit = qsizetype(x) * header.bits;
                const int value = (row[p * planeBytes + bit / 8] >> (8 - header.bits - bit % 8)) &
                                  ((1 << header.bits) - 1);
                index |= value << (p * header.bits);
            }
            line[x] = uchar(index);
        }
    }
    *image = picture;
    return true;
}
