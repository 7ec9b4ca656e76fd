// SPDX-License-Identifier: GPL-3.0-or-later
#include "replypicture.h"

#include <QColorSpace>

namespace {

// The widest load Qt's drawing uses on a line: a 128-bit pixel at once.
constexpr qint64 kWidestLoad = 16;
// Qt's own pictures start every line at four bytes at least.
constexpr qint64 kLeastLineAlignment = 4;

int colourIndices(QImage::Format format)
{
    switch (format) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return 2;
    case QImage::Format_Indexed8:
        return 256;
    default:
        return 0;
    }
}

} // namespace

qint64 lineAlignment(QImage::Format format)
{
    const int bits = QImage::toPixelFormat(format).bitsPerPixel();
    return qBound(kLeastLineAlignment, qint64(bits / 8), kWidestLoad);
}

bool replyFits(const DecoderReply &reply, qint64 bytes)
{
    if (reply.format <= QImage::Format_Invalid || reply.format >= QImage::NImageFormats ||
        reply.size.isEmpty() || bytes <= 0)
        return false;
    const int bits = QImage::toPixelFormat(QImage::Format(reply.format)).bitsPerPixel();
    const qint64 leastLine = (qint64(reply.size.width()) * bits + 7) / 8;
    return reply.bytesPerLine >= leastLine &&
           reply.bytesPerLine % lineAlignment(QImage::Format(reply.format)) == 0 &&
           reply.bytesPerLine <= bytes && reply.size.height() <= bytes / reply.bytesPerLine;
}

QList<QRgb> fullColourTable(QList<QRgb> table, QImage::Format format)
{
    const int indices = colourIndices(format);
    if (indices > 0 && table.size() != indices)
        table.resize(indices, qRgb(0, 0, 0));
    return table;
}

QImage replyPicture(const DecoderReply &reply, const uchar *memory, qint64 bytes,
                    QImageCleanupFunction release, void *info)
{
    if (!replyFits(reply, bytes))
        return QImage();
    const auto format = QImage::Format(reply.format);
    QImage image(memory, reply.size.width(), reply.size.height(), qsizetype(reply.bytesPerLine),
                 format, release, info);
    if (image.isNull())
        return QImage();
    if (colourIndices(format) > 0)
        image.setColorTable(fullColourTable(reply.colourTable, format));
    if (!reply.colourProfile.isEmpty())
        image.setColorSpace(QColorSpace::fromIccProfile(reply.colourProfile));
    for (auto text = reply.text.cbegin(); text != reply.text.cend(); ++text)
        image.setText(text.key(), text.value());
    return image;
}
