// SPDX-License-Identifier: GPL-3.0-or-later
#include "dngwriter.h"
#include "littleendian.h"

#include <QBuffer>
#include <QPainter>
#include <QFile>
#include <QImage>
#include <QtEndian>

#include <map>

namespace {

enum TiffType : quint16 {
    kByte = 1,
    kAscii = 2,
    kShort = 3,
    kLong = 4,
    kRational = 5,
    kSRational = 10,
};

constexpr int kMinimumSide = 22;
constexpr quint16 kRawMaximum = 65535;
constexpr int kJpegQuality = 90;

// XYZ (D65) to linear sRGB: with it as the colour matrix the camera sees as sRGB does.
constexpr double kSrgbFromXyz[9] = {3.2406, -1.5372, -0.4986, -0.9689, 1.8758,
                                    0.0415, 0.0557,  -0.2040, 1.0570};

// One IFD: entries keyed by tag, so that they come out in the ascending order TIFF requires.
struct Entry
{
    quint16 type;
    quint32 count;
    QByteArray data;
};
using Ifd = std::map<quint16, Entry>;

void setShorts(Ifd &ifd, quint16 tag, std::initializer_list<quint16> values)
{
    QByteArray data;
    for (quint16 v : values)
        appendLe16(data, v);
    ifd[tag] = {kShort, quint32(values.size()), data};
}

void setLong(Ifd &ifd, quint16 tag, quint32 value)
{
    QByteArray data;
    appendLe32(data, value);
    ifd[tag] = {kLong, 1, data};
}

void setBytes(Ifd &ifd, quint16 tag, QByteArray bytes)
{
    ifd[tag] = {kByte, quint32(bytes.size()), bytes};
}

void setAscii(Ifd &ifd, quint16 tag, const QByteArray &text)
{
    ifd[tag] = {kAscii, quint32(text.size() + 1), text + '\0'};
}

void setRationals(Ifd &ifd, quint16 tag, quint16 type, std::initializer_list<double> values)
{
    constexpr qint32 kDenominator = 10000;
    QByteArray data;
    for (double v : values) {
        appendLe32(data, quint32(qint32(qRound(v * kDenominator))));
        appendLe32(data, kDenominator);
    }
    ifd[tag] = {type, quint32(values.size()), data};
}

quint32 ifdSize(const Ifd &ifd)
{
    quint32 size = 2 + 12 * quint32(ifd.size()) + 4;
    for (const auto &[tag, entry] : ifd) {
        Q_UNUSED(tag);
        if (entry.data.size() > 4)
            size += quint32(entry.data.size() + (entry.data.size() & 1));
    }
    return size;
}

// Appends ifd at the end of out (its offset must be out.size()); values of more than four bytes
// follow the entry table.
void appendIfd(QByteArray &out, const Ifd &ifd, quint32 next)
{
    const quint32 start = quint32(out.size());
    quint32 extra = start + 2 + 12 * quint32(ifd.size()) + 4;
    QByteArray tail;
    appendLe16(out, quint16(ifd.size()));
    for (const auto &[tag, entry] : ifd) {
        appendLe16(out, tag);
        appendLe16(out, entry.type);
        appendLe32(out, entry.count);
        if (entry.data.size() <= 4) {
            out.append(entry.data.leftJustified(4, '\0'));
        } else {
            appendLe32(out, extra + quint32(tail.size()));
            tail.append(entry.data);
            if (tail.size() & 1)
                tail.append('\0');
        }
    }
    appendLe32(out, next);
    out.append(tail);
}

// Quadrant colours as linear raw levels of the red, green and blue sites.
void quadrantLevels(bool right, bool bottom, quint16 rgb[3])
{
    constexpr quint16 kHigh = quint16(kRawMaximum * 0.8);
    constexpr quint16 kLow = quint16(kRawMaximum * 0.05);
    const int lit = bottom ? (right ? -1 : 2) : (right ? 1 : 0);
    for (int c = 0; c < 3; ++c)
        rgb[c] = lit < 0 || lit == c ? kHigh : kLow;
}

QByteArray mosaic(int width, int height)
{
    QByteArray pixels(qsizetype(width) * height * 2, Qt::Uninitialized);
    // One row pair of each half is built once and repeated: cheap even for 24 megapixels.
    for (int half = 0; half < 2; ++half) {
        QByteArray rows[2];
        for (int r = 0; r < 2; ++r) {
            rows[r].resize(qsizetype(width) * 2);
            auto *out = reinterpret_cast<quint16 *>(rows[r].data());
            for (int x = 0; x < width; ++x) {
                quint16 rgb[3];
                quadrantLevels(x >= width / 2, half == 1, rgb);
                // RGGB: red at even row, even column; blue at odd row, odd column.
                const int site = r == 0 ? (x % 2 == 0 ? 0 : 1) : (x % 2 == 0 ? 1 : 2);
                out[x] = qToLittleEndian(rgb[site]);
            }
        }
        const int first = half == 0 ? 0 : height / 2;
        const int last = half == 0 ? height / 2 : height;
        for (int y = first; y < last; ++y)
            memcpy(pixels.data() + qsizetype(y) * width * 2, rows[y % 2].constData(),
                   size_t(width) * 2);
    }
    return pixels;
}

QByteArray previewData(const DngOptions &options)
{
    QImage image(options.previewWidth, options.previewHeight, QImage::Format_RGB888);
    image.fill(options.previewColor);
    if (options.previewShowsRaw) {
        const int w = image.width() / 2;
        const int h = image.height() / 2;
        QPainter painter(&image);
        painter.fillRect(0, 0, w, h, QColor(255, 64, 64));
        painter.fillRect(w, 0, image.width() - w, h, QColor(64, 255, 64));
        painter.fillRect(0, h, w, image.height() - h, QColor(64, 64, 255));
        painter.fillRect(w, h, image.width() - w, image.height() - h, Qt::white);
    }
    if (options.previewMarkColor.isValid()) {
        const int side = qMin(image.width(), image.height()) / 3;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x)
                image.setPixelColor(x, y, options.previewMarkColor);
        }
    }
    if (options.preview == DngOptions::Preview::Rgb) {
        QByteArray data;
        for (int y = 0; y < image.height(); ++y)
            data.append(reinterpret_cast<const char *>(image.constScanLine(y)), image.width() * 3);
        return data;
    }
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", kJpegQuality);
    return jpeg;
}

bool validOptions(const DngOptions &o)
{
    const bool rawOk = o.width >= kMinimumSide && o.height >= kMinimumSide && o.width % 2 == 0 &&
                       o.height % 2 == 0;
    const bool previewOk = o.preview == DngOptions::Preview::None ||
                           (o.previewWidth > 0 && o.previewHeight > 0 &&
                            o.previewWidth <= o.width && o.previewHeight <= o.height);
    return rawOk && previewOk && o.orientation >= 0 && o.orientation <= 8;
}

} // namespace

bool writeDng(const QString &path, const DngOptions &options)
{
    if (!validOptions(options))
        return false;
    const bool hasPreview = options.preview != DngOptions::Preview::None;
    const QByteArray preview = hasPreview ? previewData(options) : QByteArray();
    if (hasPreview && preview.isEmpty())
        return false;
    const quint32 rawBytes = quint32(options.width) * quint32(options.height) * 2;

    Ifd raw;
    setLong(raw, 254, 0); // NewSubFileType: the main picture
    setLong(raw, 256, quint32(options.width));
    setLong(raw, 257, quint32(options.height));
    setShorts(raw, 258, {16});
    setShorts(raw, 259, {1});
    setShorts(raw, 262, {32803}); // colour filter array
    setAscii(raw, 271, "Velmora");
    setAscii(raw, 272, "Test Sensor");
    setLong(raw, 273, 0); // strip offset, set below
    setShorts(raw, 277, {1});
    setLong(raw, 278, quint32(options.height));
    setLong(raw, 279, rawBytes);
    setShorts(raw, 284, {1});
    if (options.orientation != 0)
        setShorts(raw, 274, {quint16(options.orientation)});
    setShorts(raw, 33421, {2, 2});
    setBytes(raw, 33422, QByteArray("\0\1\1\2", 4));
    setBytes(raw, 50706, QByteArray("\1\4\0\0", 4));
    setBytes(raw, 50707, QByteArray("\1\1\0\0", 4));
    setAscii(raw, 50708, "Velmora Test Sensor");
    setLong(raw, 50717, kRawMaximum);
    setRationals(raw, 50721, kSRational,
                 {kSrgbFromXyz[0], kSrgbFromXyz[1], kSrgbFromXyz[2], kSrgbFromXyz[3],
                  kSrgbFromXyz[4], kSrgbFromXyz[5], kSrgbFromXyz[6], kSrgbFromXyz[7],
                  kSrgbFromXyz[8]});
    setRationals(raw, 50728, kRational, {1.0, 1.0, 1.0});
    setShorts(raw, 50778, {21}); // D65
    if (hasPreview)
        setLong(raw, 330, 0); // SubIFDs: the preview's IFD, set below
    // A lossy DNG's picture: the quadrants, as a preview that shows them would.
    DngOptions quadrants;
    quadrants.previewWidth = options.width;
    quadrants.previewHeight = options.height;
    quadrants.previewShowsRaw = true;
    const QByteArray pixels =
        options.lossy ? previewData(quadrants) : mosaic(options.width, options.height);
    if (options.lossy) {
        // One tile of linear RGB, 8 bits a channel, in a JPEG.
        for (const quint16 tag : {273, 278, 279, 33421, 33422})
            raw.erase(tag);
        setShorts(raw, 258, {8, 8, 8});
        setShorts(raw, 259, {34892});
        setShorts(raw, 262, {34892});
        setShorts(raw, 277, {3});
        setLong(raw, 322, quint32(options.width));
        setLong(raw, 323, quint32(options.height));
        setLong(raw, 324, 0); // tile offset, set below
        setLong(raw, 325, quint32(pixels.size()));
        setLong(raw, 50717, 255);
    }

    Ifd thumb;
    if (hasPreview) {
        const bool jpeg = options.preview == DngOptions::Preview::Jpeg;
        setLong(thumb, 254, 1); // NewSubFileType: a reduced picture
        setLong(thumb, 256, quint32(options.previewWidth));
        setLong(thumb, 257, quint32(options.previewHeight));
        setShorts(thumb, 258, {8, 8, 8});
        setShorts(thumb, 259, {quint16(jpeg ? 7 : 1)});
        setShorts(thumb, 262, {quint16(jpeg ? 6 : 2)});
        setLong(thumb, 273, 0);
        setShorts(thumb, 277, {3});
        setLong(thumb, 278, quint32(options.previewHeight));
        setLong(thumb, 279, quint32(preview.size()));
        setShorts(thumb, 284, {1});
    }

    // Layout: header, raw IFD, preview IFD, preview data, raw data.
    const quint32 rawIfdOffset = 8;
    const quint32 thumbIfdOffset = rawIfdOffset + ifdSize(raw);
    const quint32 previewOffset = thumbIfdOffset + (hasPreview ? ifdSize(thumb) : 0);
    const quint32 rawOffset = previewOffset + quint32(preview.size() + (preview.size() & 1));
    setLong(raw, options.lossy ? 324 : 273, rawOffset);
    if (hasPreview) {
        setLong(raw, 330, thumbIfdOffset);
        setLong(thumb, 273, previewOffset);
    }

    QByteArray head(options.oddMagic ? "II+\0" : "II*\0", 4);
    appendLe32(head, rawIfdOffset);
    appendIfd(head, raw, 0);
    if (hasPreview)
        appendIfd(head, thumb, 0);
    head.append(preview);
    if (preview.size() & 1)
        head.append('\0');

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool ok = file.write(head) == head.size() && file.write(pixels) == pixels.size();
    return file.flush() && ok;
}
