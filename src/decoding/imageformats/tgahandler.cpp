// SPDX-License-Identifier: GPL-3.0-or-later
#include "tgahandler.h"

#include <QIODevice>
#include <QImage>
#include <QtEndian>

#include <cstring>

namespace {

constexpr int kHeaderBytes = 18;
// The header's descriptor byte: the number of alpha bits, and where the first row and column
// lie.
constexpr int kAlphaBits = 0x0f;
constexpr int kRightToLeft = 0x10;
constexpr int kTopToBottom = 0x20;
constexpr int kInterleaving = 0xc0;

enum Kind { ColourMapped = 1, TrueColour = 2, Grey = 3 };
constexpr int kRunLength = 8;

struct Header
{
    int idBytes = 0;
    bool hasMap = false;
    int kind = 0;
    bool runLength = false;
    int mapFirst = 0;
    int mapLength = 0;
    int mapBits = 0;
    QSize size;
    int bits = 0;
    int descriptor = 0;

    int pixelBytes() const { return (bits + 7) / 8; }
    int mapBytes() const { return (mapBits + 7) / 8; }
};

bool parse(const QByteArray &bytes, Header &header)
{
    if (bytes.size() < kHeaderBytes)
        return false;
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    header.idBytes = data[0];
    header.hasMap = data[1] == 1;
    header.kind = data[2] & ~kRunLength;
    header.runLength = data[2] & kRunLength;
    header.mapFirst = qFromLittleEndian<quint16>(data + 3);
    header.mapLength = qFromLittleEndian<quint16>(data + 5);
    header.mapBits = data[7];
    header.size =
        QSize(qFromLittleEndian<quint16>(data + 12), qFromLittleEndian<quint16>(data + 14));
    header.bits = data[16];
    header.descriptor = data[17];
    if (data[1] > 1 || header.size.isEmpty() || (header.descriptor & kInterleaving))
        return false;
    const bool mapValid = header.mapBits == 15 || header.mapBits == 16 || header.mapBits == 24 ||
                          header.mapBits == 32;
    if (header.hasMap && !mapValid)
        return false;
    switch (header.kind) {
    case ColourMapped:
        return header.hasMap && header.mapLength > 0 && (header.bits == 8 || header.bits == 16);
    case TrueColour:
        return header.bits == 15 || header.bits == 16 || header.bits == 24 || header.bits == 32;
    case Grey:
        return header.bits == 8 || header.bits == 16;
    default:
        return false;
    }
}

// A colour as stored, of 15 to 32 bits, little-endian: 16-bit ones carry a bit of alpha.
QRgb colourAt(const uchar *p, int bits, bool alpha)
{
    if (bits == 15 || bits == 16) {
        const quint16 v = qFromLittleEndian<quint16>(p);
        const auto five = [](int value) { return (value << 3) | (value >> 2); };
        return qRgba(five((v >> 10) & 31), five((v >> 5) & 31), five(v & 31),
                     alpha && bits == 16 && !(v & 0x8000) ? 0 : 255);
    }
    return qRgba(p[2], p[1], p[0], bits == 32 && alpha ? p[3] : 255);
}

// The pixels as stored, in order; false when the file ends before they do. Packets may run
// over the end of a row, and one that runs over the end of the picture is cut.
bool unpack(QIODevice *device, const Header &header, QByteArray &pixels)
{
    const int bytes = header.pixelBytes();
    const qint64 total = qint64(header.size.width()) * header.size.height() * bytes;
    const qint64 available = device->size() - device->pos();
    if (!header.runLength) {
        if (available < total)
            return false;
        pixels = device->read(total);
        return pixels.size() == total;
    }
    // A packet holds at most 128 pixels: a file far too short for its size is refused before
    // anything the size of the picture is allocated.
    if (available < total / (128 * bytes))
        return false;
    const QByteArray packed = device->read(available);
    pixels = QByteArray(total, Qt::Uninitialized);
    const auto *in = reinterpret_cast<const uchar *>(packed.constData());
    auto *out = reinterpret_cast<uchar *>(pixels.data());
    qint64 i = 0, o = 0;
    while (o < total) {
        if (i >= packed.size())
            return false;
        const int packet = in[i++];
        const qint64 count = qMin<qint64>((packet & 0x7f) + 1, (total - o) / bytes);
        if (packet & 0x80) {
            if (packed.size() - i < bytes)
                return false;
            for (qint64 n = 0; n < count; ++n, o += bytes)
                std::memcpy(out + o, in + i, size_t(bytes));
            i += bytes;
        } else {
            if (packed.size() - i < count * bytes)
                return false;
            std::memcpy(out + o, in + i, size_t(count * bytes));
            i += count * bytes;
            o += count * bytes;
        }
    }
    return true;
}

} // namespace

bool TgaHandler::canRead(QIODevice *device)
{
    Header header;
    return device && parse(device->peek(kHeaderBytes), header);
}

QSize TgaHandler::headerSize(QIODevice *device) const
{
    Header header;
    return parse(device->peek(kHeaderBytes), header) ? header.size : QSize();
}

bool TgaHandler::read(QImage *image)
{
    Header header;
    QIODevice *in = device();
    if (!in || in->isSequential() || !parse(in->read(kHeaderBytes), header))
        return false;
    const int mapEntryBytes = header.mapBytes();
    const QByteArray skipped = in->read(header.idBytes);
    const QByteArray map =
        header.hasMap ? in->read(qint64(header.mapLength) * mapEntryBytes) : QByteArray();
    if (skipped.size() != header.idBytes ||
        map.size() != (header.hasMap ? header.mapLength * mapEntryBytes : 0))
        return false;
    const bool grey = header.kind == Grey;
    // Pictures that say they have alpha, yet are clear all over, are opaque ones written by
    // programs that leave the alpha bits at zero.
    const bool alpha = (header.descriptor & kAlphaBits) != 0 || (grey && header.bits == 16);
    QImage picture;
    const QImage::Format format = grey && !alpha ? QImage::Format_Grayscale8
                                  : alpha        ? QImage::Format_ARGB32
                                                 : QImage::Format_RGB32;
    QByteArray pixels;
    if (!QImageIOHandler::allocateImage(header.size, format, &picture) ||
        !unpack(in, header, pixels))
        return false;
    QList<QRgb> colours(header.hasMap ? header.mapLength : 0);
    for (qsizetype i = 0; i < colours.size(); ++i)
        colours[i] = colourAt(reinterpret_cast<const uchar *>(map.constData()) + i * mapEntryBytes,
                              header.mapBits, alpha);
    const int width = header.size.width();
    const int height = header.size.height();
    const int bytes = header.pixelBytes();
    bool anyAlpha = false;
    for (int row = 0; row < height; ++row) {
        const int y = header.descriptor & kTopToBottom ? row : height - 1 - row;
        const auto *from =
            reinterpret_cast<const uchar *>(pixels.constData()) + qsizetype(row) * width * bytes;
        uchar *line = picture.scanLine(y);
        for (int column = 0; column < width; ++column) {
            const int x = header.descriptor & kRightToLeft ? width - 1 - column : column;
            const uchar *p = from + qsizetype(column) * bytes;
            if (format == QImage::Format_Grayscale8) {
                line[x] = p[0];
                continue;
            }
            QRgb colour;
            if (header.kind == ColourMapped) {
                const int index =
                    (bytes == 2 ? qFromLittleEndian<quint16>(p) : p[0]) - header.mapFirst;
                colour = index >= 0 && index < colours.size() ? colours[index] : qRgb(0, 0, 0);
            } else if (grey) {
                colour = qRgba(p[0], p[0], p[0], p[1]);
            } else {
                colour = colourAt(p, header.bits, alpha);
            }
            anyAlpha = anyAlpha || qAlpha(colour) != 0;
            reinterpret_cast<QRgb *>(line)[x] = colour;
        }
    }
    if (alpha && !anyAlpha)
        picture = picture.convertToFormat(QImage::Format_RGB32);
    *image = picture;
    return true;
}
