// SPDX-License-Identifier: GPL-3.0-or-later
#include "psdfile.h"

#include <QColorSpace>
#include <QIODevice>
#include <QImageIOHandler>
#include <QImageReader>
#include <QtEndian>

#include <cmath>
#include <cstring>
#include <memory>

#include <lcms2.h>

namespace {

constexpr int kHeaderBytes = 26;
constexpr int kPaletteBytes = 768;
// Image resources that the composite needs: its colour profile and an indexed picture's
// transparent colour.
constexpr quint16 kProfileResource = 1039;
constexpr quint16 kTransparentIndexResource = 1047;
// Photoshop's own writer records its version; it blends a see-through composite with white.
constexpr quint16 kVersionResource = 1057;
// The largest sides of the two versions of the format.
constexpr quint32 kLargestSide = 30000;
constexpr quint32 kLargestSideLarge = 300000;
constexpr int kMostChannels = 56;

// Reads big-endian values from the device; any read beyond its end fails every later one.
class Input
{
public:
    explicit Input(QIODevice *device) : device(device) {}

    bool ok() const { return good; }
    qint64 remaining() const { return device->size() - device->pos(); }
    QByteArray bytes(qint64 count)
    {
        if (!good || count < 0 || count > remaining()) {
            good = false;
            return QByteArray();
        }
        QByteArray read = device->read(count);
        good = read.size() == count;
        return read;
    }
    void skip(qint64 count)
    {
        good = good && count >= 0 && count <= remaining() && device->seek(device->pos() + count);
    }
    quint64 number(int size)
    {
        const QByteArray read = bytes(size);
        quint64 value = 0;
        for (int i = 0; good && i < size; ++i)
            value = (value << 8) | quint8(read[i]);
        return value;
    }

private:
    QIODevice *device;
    bool good = true;
};

bool parseHeader(const QByteArray &header, PsdComposite &psd, int &channels, bool &large)
{
    if (header.size() < kHeaderBytes || !header.startsWith("8BPS"))
        return false;
    const auto *data = reinterpret_cast<const uchar *>(header.constData());
    const quint16 version = qFromBigEndian<quint16>(data + 4);
    channels = qFromBigEndian<quint16>(data + 12);
    const quint32 height = qFromBigEndian<quint32>(data + 14);
    const quint32 width = qFromBigEndian<quint32>(data + 18);
    psd.depth = qFromBigEndian<quint16>(data + 22);
    psd.mode = qFromBigEndian<quint16>(data + 24);
    large = version == 2;
    const quint32 side = large ? kLargestSideLarge : kLargestSide;
    if ((version != 1 && !large) || channels < 1 || channels > kMostChannels || width < 1 ||
        height < 1 || width > side || height > side)
        return false;
    psd.size = QSize(int(width), int(height));
    switch (psd.mode) {
    case PsdComposite::Bitmap:
        return psd.depth == 1;
    case PsdComposite::Indexed:
        return psd.depth == 8;
    case PsdComposite::Grey:
    case PsdComposite::Rgb:
    case PsdComposite::Cmyk:
    case PsdComposite::Multichannel:
    case PsdComposite::Duotone:
    case PsdComposite::Lab:
        return (psd.depth == 8 || psd.depth == 16 || psd.depth == 32) &&
               channels >= psd.colourChannels();
    default:
        return false;
    }
}

void readResources(const QByteArray &resources, PsdComposite &psd)
{
    const auto *data = reinterpret_cast<const uchar *>(resources.constData());
    const qsizetype end = resources.size();
    qsizetype at = 0;
    while (at + 7 <= end && std::memcmp(data + at, "8BIM", 4) == 0) {
        const quint16 id = qFromBigEndian<quint16>(data + at + 4);
        // A Pascal name padded to an even length, its length byte included.
        const qsizetype name = (data[at + 6] + 2) & ~qsizetype(1);
        at += 6 + name;
        if (at + 4 > end)
            return;
        const quint32 size = qFromBigEndian<quint32>(data + at);
        at += 4;
        if (size > quint64(end - at))
            return;
        if (id == kProfileResource)
            psd.profile = resources.mid(at, size);
        else if (id == kVersionResource)
            psd.matted = true;
        else if (id == kTransparentIndexResource && size >= 2)
            psd.transparentIndex = qFromBigEndian<quint16>(data + at);
        at += (qsizetype(size) + 1) & ~qsizetype(1);
    }
}

// PackBits, row by row: a row that unpacks to more or fewer bytes than it holds breaks the file.
bool unpackRow(const uchar *in, qsizetype inBytes, uchar *out, qsizetype outBytes)
{
    qsizetype i = 0, o = 0;
    while (i < inBytes && o < outBytes) {
        const int header = qint8(in[i++]);
        if (header >= 0) {
            const qsizetype count = header + 1;
            if (count > inBytes - i || count > outBytes - o)
                return false;
            std::memcpy(out + o, in + i, size_t(count));
            i += count;
            o += count;
        } else if (header != -128) {
            const qsizetype count = 1 - header;
            if (i >= inBytes || count > outBytes - o)
                return false;
            std::memset(out + o, in[i++], size_t(count));
            o += count;
        }
    }
    return o == outBytes;
}

bool readPlanes(Input &in, PsdComposite &psd, int channels, int used, bool large)
{
    const quint64 compression = in.number(2);
    const qsizetype rowBytes = psd.rowBytes();
    const int height = psd.size.height();
    const qsizetype planeBytes = rowBytes * height;
    if (compression == 0) {
        for (int c = 0; c < used && in.ok(); ++c)
            psd.planes.append(in.bytes(planeBytes));
        return in.ok();
    }
    if (compression != 1)
        return false;
    // The length of every row of every channel comes first.
    const int countBytes = large ? 4 : 2;
    const QByteArray table = in.bytes(qint64(channels) * height * countBytes);
    if (!in.ok())
        return false;
    const auto *counts = reinterpret_cast<const uchar *>(table.constData());
    const auto countAt = [&](qsizetype row) {
        return large ? qFromBigEndian<quint32>(counts + 4 * row)
                     : quint32(qFromBigEndian<quint16>(counts + 2 * row));
    };
    for (int c = 0; c < used; ++c) {
        qint64 packedBytes = 0;
        for (int y = 0; y < height; ++y)
            packedBytes += countAt(qsizetype(c) * height + y);
        const QByteArray packed = in.bytes(packedBytes);
        if (!in.ok())
            return false;
        QByteArray plane(planeBytes, Qt::Uninitialized);
        const auto *from = reinterpret_cast<const uchar *>(packed.constData());
        for (int y = 0; y < height; ++y) {
            const quint32 count = countAt(qsizetype(c) * height + y);
            if (!unpackRow(from, count, reinterpret_cast<uchar *>(plane.data()) + y * rowBytes,
                           rowBytes))
                return false;
            from += count;
        }
        psd.planes.append(plane);
    }
    return true;
}

// A sample scaled to 16 bits: floats are linear light, and colours get sRGB's curve.
quint16 sample(const PsdComposite &psd, const QByteArray &plane, qsizetype index, bool colour)
{
    const auto *data = reinterpret_cast<const uchar *>(plane.constData());
    if (psd.depth == 8)
        return quint16(data[index] * 257);
    if (psd.depth == 16)
        return qFromBigEndian<quint16>(data + 2 * index);
    const quint32 bits = qFromBigEndian<quint32>(data + 4 * index);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    value = std::isnan(value) ? 0.0f : qBound(0.0f, value, 1.0f);
    if (colour)
        value =
            value <= 0.0031308f ? 12.92f * value : 1.055f * std::pow(value, 1.0f / 2.4f) - 0.055f;
    return quint16(std::lround(value * 65535.0f));
}

// LittleCMS names no Lab with alpha.
constexpr cmsUInt32Number kLabAlpha16 =
    COLORSPACE_SH(PT_Lab) | EXTRA_SH(1) | CHANNELS_SH(3) | BYTES_SH(2);

struct TransformDelete
{
    void operator()(void *transform) const { cmsDeleteTransform(transform); }
};

// Lab through LittleCMS's D50 Lab profile to sRGB, in 16 bits a channel.
bool labToRgb(const PsdComposite &psd, QImage &picture)
{
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    const std::unique_ptr<void, TransformDelete> transform(
        cmsCreateTransform(lab, psd.alpha ? kLabAlpha16 : TYPE_Lab_16, srgb, TYPE_RGBA_16,
                           INTENT_PERCEPTUAL, psd.alpha ? cmsFLAGS_COPY_ALPHA : 0));
    cmsCloseProfile(lab);
    cmsCloseProfile(srgb);
    if (!transform)
        return false;
    const int width = psd.size.width();
    const int channels = psd.alpha ? 4 : 3;
    QList<quint16> row(qsizetype(width) * channels);
    for (int y = 0; y < psd.size.height(); ++y) {
        for (int x = 0; x < width; ++x) {
            const qsizetype at = qsizetype(y) * width + x;
            for (int c = 0; c < channels; ++c) {
                quint16 value = sample(psd, psd.planes[c], at, false);
                // The zero of a and b: 0x8000 in 16-bit files, 0x8080 for LittleCMS (and
                // 128 × 257 in 8-bit ones).
                if (psd.depth == 16 && (c == 1 || c == 2))
                    value = quint16(qMin(int(value) + 0x80, 0xffff));
                row[qsizetype(x) * channels + c] = value;
            }
        }
        auto *line = reinterpret_cast<quint16 *>(picture.scanLine(y));
        if (!psd.alpha) {
            for (int x = 0; x < width; ++x)
                line[4 * x + 3] = 0xffff;
        }
        cmsDoTransform(transform.get(), row.constData(), line, cmsUInt32Number(width));
    }
    return true;
}

} // namespace

int PsdComposite::colourChannels() const
{
    return mode == Rgb || mode == Lab ? 3 : mode == Cmyk ? 4 : 1;
}

qsizetype PsdComposite::rowBytes() const
{
    return (qsizetype(size.width()) * depth + 7) / 8;
}

bool isPsd(QIODevice *device)
{
    PsdComposite psd;
    return readPsdHeader(device, psd);
}

bool readPsdHeader(QIODevice *device, PsdComposite &psd)
{
    int channels = 0;
    bool large = false;
    return device && parseHeader(device->peek(kHeaderBytes), psd, channels, large);
}

bool readPsd(QIODevice *device, PsdComposite &psd, bool withPlanes)
{
    psd = PsdComposite();
    if (!device || device->isSequential())
        return false;
    Input in(device);
    int channels = 0;
    bool large = false;
    if (!parseHeader(in.bytes(kHeaderBytes), psd, channels, large))
        return false;
    const quint64 colourBytes = in.number(4);
    if (psd.mode == PsdComposite::Indexed) {
        if (colourBytes < kPaletteBytes)
            return false;
        psd.palette = in.bytes(kPaletteBytes);
        in.skip(qint64(colourBytes) - kPaletteBytes);
    } else {
        in.skip(qint64(qMin<quint64>(colourBytes, INT64_MAX)));
    }
    const quint64 resourceBytes = in.number(4);
    readResources(in.bytes(qint64(resourceBytes)), psd);
    // The layers are skipped; their count tells whether the channel after the colours is the
    // merged transparency (a negative count) or a saved selection.
    const int sizeBytes = large ? 8 : 4;
    const quint64 layerBytes = in.number(sizeBytes);
    if (!in.ok() || layerBytes > quint64(in.remaining()))
        return false;
    qint64 skipped = qint64(layerBytes);
    if (layerBytes >= quint64(sizeBytes) + 2) {
        const quint64 infoBytes = in.number(sizeBytes);
        const qint16 layers = qint16(in.number(2));
        psd.alpha = infoBytes >= 2 && layers < 0;
        skipped -= sizeBytes + 2;
    }
    in.skip(skipped);
    if (!in.ok())
        return false;

    psd.alpha = psd.alpha && channels > psd.colourChannels() && psd.mode != PsdComposite::Bitmap &&
                psd.mode != PsdComposite::Indexed;
    const int used = psd.colourChannels() + (psd.alpha ? 1 : 0);
    const qint64 limit = qint64(QImageReader::allocationLimit()) << 20;
    if (limit > 0 && qint64(used) * psd.rowBytes() * psd.size.height() > limit)
        return false;
    return !withPlanes || readPlanes(in, psd, channels, used, large);
}

QImage psdToImage(const PsdComposite &psd)
{
    const bool deep = psd.depth > 8;
    const bool alpha = psd.alpha;
    const int width = psd.size.width();
    QImage::Format format = alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    switch (psd.mode) {
    case PsdComposite::Bitmap:
        format = QImage::Format_Mono;
        break;
    case PsdComposite::Indexed:
        format = QImage::Format_Indexed8;
        break;
    case PsdComposite::Rgb:
    case PsdComposite::Lab:
        if (deep || psd.mode == PsdComposite::Lab)
            format = alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64;
        break;
    case PsdComposite::Cmyk:
        break;
    default:
        if (alpha)
            format = deep ? QImage::Format_RGBA64 : QImage::Format_ARGB32;
        else
            format = deep ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8;
    }
    QImage picture;
    if (!QImageIOHandler::allocateImage(psd.size, format, &picture))
        return QImage();
    if (psd.mode == PsdComposite::Lab) {
        if (!labToRgb(psd, picture))
            return QImage();
        picture.setColorSpace(QColorSpace(QColorSpace::SRgb));
        return deep ? picture
                    : picture.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    }
    if (format == QImage::Format_Mono || format == QImage::Format_Indexed8) {
        if (format == QImage::Format_Mono) {
            // Photoshop's bitmaps are ink on paper: a set bit is black.
            picture.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        } else {
            const auto *colours = reinterpret_cast<const uchar *>(psd.palette.constData());
            QList<QRgb> table(256);
            for (int i = 0; i < 256; ++i)
                table[i] = qRgba(colours[i], colours[256 + i], colours[512 + i],
                                 i == psd.transparentIndex ? 0 : 255);
            picture.setColorTable(table);
        }
        for (int y = 0; y < psd.size.height(); ++y)
            std::memcpy(picture.scanLine(y), psd.planes[0].constData() + y * psd.rowBytes(),
                        size_t(psd.rowBytes()));
        return picture;
    }
    const int colours = psd.colourChannels();
    for (int y = 0; y < psd.size.height(); ++y) {
        uchar *line = picture.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const qsizetype at = qsizetype(y) * width + x;
            quint16 value[4] = {};
            for (int c = 0; c < colours; ++c)
                value[c] = sample(psd, psd.planes[c], at, true);
            const quint16 a = alpha ? sample(psd, psd.planes[colours], at, false) : 0xffff;
            if (psd.mode == PsdComposite::Cmyk) {
                // Stored as Adobe stores ink: 65535 is none.
                const auto channel = [&](int c) {
                    return quint8((quint32(value[c]) * value[3] / 65535) >> 8);
                };
                reinterpret_cast<QRgb *>(line)[x] =
                    qRgba(channel(0), channel(1), channel(2), a >> 8);
                continue;
            }
            if (colours == 1)
                value[1] = value[2] = value[0];
            if (psd.matted && alpha && a > 0 && a < 0xffff) {
                for (int c = 0; c < 3; ++c)
                    value[c] = quint16(qBound<qint64>(
                        0, (qint64(value[c]) - (0xffff - a)) * 0xffff / a, qint64(0xffff)));
            }
            if (format == QImage::Format_Grayscale8)
                line[x] = uchar(value[0] >> 8);
            else if (format == QImage::Format_Grayscale16)
                reinterpret_cast<quint16 *>(line)[x] = value[0];
            else if (deep || format == QImage::Format_RGBA64)
                reinterpret_cast<QRgba64 *>(line)[x] =
                    QRgba64::fromRgba64(value[0], value[1], value[2], a);
            else
                reinterpret_cast<QRgb *>(line)[x] =
                    qRgba(value[0] >> 8, value[1] >> 8, value[2] >> 8, a >> 8);
        }
    }
    if (psd.mode == PsdComposite::Rgb && !psd.profile.isEmpty()) {
        const QColorSpace space = QColorSpace::fromIccProfile(psd.profile);
        if (space.isValid())
            picture.setColorSpace(space);
    }
    return picture;
}

QByteArray psdInk(const PsdComposite &psd)
{
    if (psd.mode != PsdComposite::Cmyk)
        return QByteArray();
    const qsizetype pixels = qsizetype(psd.size.width()) * psd.size.height();
    QByteArray ink(4 * pixels, Qt::Uninitialized);
    for (qsizetype i = 0; i < pixels; ++i) {
        for (int c = 0; c < 4; ++c)
            ink[4 * i + c] = char(sample(psd, psd.planes[c], i, false) >> 8);
    }
    return ink;
}
