// SPDX-License-Identifier: GPL-3.0-or-later
#include "exrhandler.h"

#include <QColorSpace>
#include <QIODevice>
#include <QImage>
#include <QPointF>
#include <QStringList>
#include <QVariant>

#include <ImfChannelList.h>
#include <ImfChromaticities.h>
#include <ImfHeader.h>
#include <ImfIO.h>
#include <ImfRgbaFile.h>
#include <ImfRgbaYca.h>
#include <ImfStandardAttributes.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

namespace {

const QByteArray kMagic("\x76\x2f\x31\x01", 4);

// Rows read at a time: the data window's rows pass through a band of this height, whatever
// their blocks of scan lines or tiles.
constexpr int kBandRows = 64;

// The longest side a file may state, checked by OpenEXR as it reads the header: the offset
// tables it allocates before any pixel grow with the data window's rows.
constexpr int kLongestSide = 1 << 20;

// Channels named in the dock; a file may have thousands.
constexpr int kMostChannelsNamed = 64;

// Brighter than OpenEXR's half holds: infinities count as its largest value.
constexpr float kLargestHalf = 65504.0f;

// The file in memory as OpenEXR's input: no name reaches the library.
class MemoryStream : public Imf::IStream
{
public:
    explicit MemoryStream(const QByteArray &data) : Imf::IStream(""), bytes(data) {}

    bool isMemoryMapped() const override { return true; }

    bool read(char c[], int n) override
    {
        memcpy(c, take(n), size_t(n));
        return position < quint64(bytes.size());
    }

    char *readMemoryMapped(int n) override { return const_cast<char *>(take(n)); }
    uint64_t tellg() override { return position; }
    void seekg(uint64_t at) override { position = at; }

private:
    const char *take(int n)
    {
        if (n < 0 || position > quint64(bytes.size()) || quint64(n) > bytes.size() - position)
            throw Iex::InputExc("The file ends early.");
        const char *at = bytes.constData() + position;
        position += quint64(n);
        return at;
    }

    const QByteArray &bytes;
    quint64 position = 0;
};

QRect rectOf(const Imath::Box2i &box)
{
    return QRect(QPoint(box.min.x, box.min.y), QPoint(box.max.x, box.max.y));
}

// Opens the file's first part, on its first layer when its colours are only in layers; single
// threaded, so that OpenEXR's thread pool starts no thread in a decoder that is locked down.
std::unique_ptr<Imf::RgbaInputFile> openFile(MemoryStream &stream)
{
    Imf::Header::setMaxImageSize(kLongestSide, kLongestSide);
    Imf::Header::setMaxTileSize(kLongestSide, kLongestSide);
    auto file = std::make_unique<Imf::RgbaInputFile>(stream, 0);
    if (!(file->channels() & (Imf::WRITE_RGB | Imf::WRITE_Y))) {
        std::set<std::string> layers;
        file->header().channels().layers(layers);
        if (!layers.empty())
            file->setLayerName(*layers.begin());
    }
    return file;
}

float finite(float value)
{
    if (std::isnan(value))
        return 0.0f;
    return qBound(0.0f, value, kLargestHalf);
}

// The extended Reinhard operator on luminance: white maps to 1, and a picture whose white is 1
// keeps its values.
float reinhard(float luminance, float white)
{
    return luminance * (1.0f + luminance / (white * white)) / (1.0f + luminance);
}

// The sRGB encoding of linear light from 0 to 1, in 16 bits, for each 16-bit linear value.
std::vector<quint16> srgbEncoding()
{
    std::vector<quint16> table(65536);
    for (size_t i = 0; i < table.size(); ++i) {
        const double linear = double(i) / 65535.0;
        const double encoded =
            linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
        table[i] = quint16(std::lround(encoded * 65535.0));
    }
    return table;
}

// The picture's colours, read as halves (premultiplied by alpha, as OpenEXR stores them), mapped
// in place to 16-bit sRGB-encoded colours with straight alpha.
void toneMap(QImage &picture, const Imath::V3f &weights, bool alpha)
{
    const auto straight = [](const Imf::Rgba &pixel, float rgb[3]) {
        const float a = qBound(0.0f, finite(pixel.a), 1.0f);
        for (int i = 0; i < 3; ++i) {
            const float value = finite((&pixel.r)[i]);
            rgb[i] = a > 0.0f ? value / a : 0.0f;
        }
        return a;
    };
    // White is the brightest pixel that holds numbers: one that holds an infinity is shown as
    // white, rather than taken for it, which would leave the rest black.
    float white = 1.0f;
    for (int y = 0; y < picture.height(); ++y) {
        const auto *pixel = reinterpret_cast<const Imf::Rgba *>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            if (!pixel[x].r.isFinite() || !pixel[x].g.isFinite() || !pixel[x].b.isFinite() ||
                !pixel[x].a.isFinite())
                continue;
            float rgb[3];
            straight(pixel[x], rgb);
            white = qMax(white, weights.x * rgb[0] + weights.y * rgb[1] + weights.z * rgb[2]);
        }
    }
    const std::vector<quint16> encoding = srgbEncoding();
    for (int y = 0; y < picture.height(); ++y) {
        auto *pixel = reinterpret_cast<Imf::Rgba *>(picture.scanLine(y));
        auto *out = reinterpret_cast<quint16 *>(pixel);
        for (int x = 0; x < picture.width(); ++x, out += 4) {
            float rgb[3];
            const float a = straight(pixel[x], rgb);
            const float luminance = weights.x * rgb[0] + weights.y * rgb[1] + weights.z * rgb[2];
            const float scale = luminance > 0.0f ? reinhard(luminance, white) / luminance : 0.0f;
            for (int i = 0; i < 3; ++i)
                out[i] = encoding[size_t(std::lround(qMin(1.0f, rgb[i] * scale) * 65535.0f))];
            out[3] = alpha ? quint16(std::lround(a * 65535.0f)) : quint16(0xffff);
        }
    }
}

// The file's primaries and white point as a colour space, sRGB's where it names none.
QColorSpace colourSpaceOf(const Imf::Header &header)
{
    if (!Imf::hasChromaticities(header) || Imf::chromaticities(header) == Imf::Chromaticities())
        return QColorSpace::SRgb;
    const Imf::Chromaticities &c = Imf::chromaticities(header);
    const auto point = [](const Imath::V2f &xy) { return QPointF(xy.x, xy.y); };
    const QColorSpace space(point(c.white), point(c.red), point(c.green), point(c.blue),
                            QColorSpace::TransferFunction::SRgb);
    return space.isValid() ? space : QColorSpace(QColorSpace::SRgb);
}

QString channelNames(const Imf::ChannelList &channels)
{
    static const char *const kTypes[] = {"uint", "half", "float"};
    QStringList names;
    std::set<int> types;
    for (auto channel = channels.begin(); channel != channels.end(); ++channel) {
        if (names.size() == kMostChannelsNamed) {
            names.append(QStringLiteral("…"));
            break;
        }
        names.append(QString::fromUtf8(channel.name()));
        types.insert(channel.channel().type);
    }
    QStringList typeNames;
    for (const int type : types)
        typeNames.append(QLatin1String(type >= 0 && type < 3 ? kTypes[type] : "?"));
    return names.join(QStringLiteral(", ")) + QStringLiteral(" (") +
           typeNames.join(QStringLiteral(", ")) + QLatin1Char(')');
}

} // namespace

bool ExrHandler::canRead(QIODevice *device)
{
    return device->peek(kMagic.size()) == kMagic;
}

bool ExrHandler::canRead() const
{
    // Once the size was asked for, the file's bytes are here and the device is at its end.
    if (dataRead)
        return data.startsWith(kMagic);
    return device() && canRead(device());
}

const QByteArray &ExrHandler::fileData() const
{
    if (!dataRead && device()) {
        data = device()->readAll();
        dataRead = true;
    }
    return data;
}

bool ExrHandler::read(QImage *image)
{
    // What OpenEXR throws at a damaged file, and a failed allocation, give no picture.
    try {
        MemoryStream stream(fileData());
        const auto file = openFile(stream);
        const QRect shown = rectOf(file->displayWindow());
        const QRect stored = rectOf(file->dataWindow());
        const QRect rows = shown.intersected(stored);
        // The picture and the band are refused before any decoding when beyond the limit.
        QImage picture;
        QImage band;
        if (!QImageIOHandler::allocateImage(shown.size(), QImage::Format_RGBA16FPx4, &picture) ||
            !QImageIOHandler::allocateImage(QSize(stored.width(), kBandRows),
                                            QImage::Format_RGBA16FPx4, &band))
            return false;
        // Outside the data window: no light, and see-through where the file has alpha.
        picture.fill(Qt::transparent);
        auto *bandPixels = reinterpret_cast<Imf::Rgba *>(band.bits());
        const qsizetype bandStride = band.bytesPerLine() / qsizetype(sizeof(Imf::Rgba));
        for (int top = rows.top(); top <= rows.bottom(); top += kBandRows) {
            const int bottom = qMin(rows.bottom(), top + kBandRows - 1);
            // OpenEXR addresses the band by the data window's coordinates.
            file->setFrameBuffer(bandPixels - stored.left() - qsizetype(top) * bandStride, 1,
                                 size_t(bandStride));
            file->readPixels(top, bottom);
            for (int y = top; y <= bottom; ++y)
                memcpy(picture.scanLine(y - shown.top()) +
                           (rows.left() - shown.left()) * sizeof(Imf::Rgba),
                       band.constScanLine(y - top) + (rows.left() - stored.left()) * sizeof(Imf::Rgba),
                       size_t(rows.width()) * sizeof(Imf::Rgba));
        }
        const bool alpha = file->channels() & Imf::WRITE_A;
        const Imf::Header &header = file->header();
        toneMap(picture,
                Imf::RgbaYca::computeYw(Imf::hasChromaticities(header)
                                            ? Imf::chromaticities(header)
                                            : Imf::Chromaticities()),
                alpha);
        picture.reinterpretAsFormat(alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64);
        picture.setColorSpace(colourSpaceOf(header));
        *image = std::move(picture);
        return true;
    } catch (...) {
        return false;
    }
}

QVariant ExrHandler::option(ImageOption option) const
{
    if (option != Size && option != Description)
        return QVariant();
    try {
        MemoryStream stream(fileData());
        const auto file = openFile(stream);
        if (option == Size)
            return rectOf(file->displayWindow()).size();
        const QRect stored = rectOf(file->dataWindow());
        return QStringLiteral("DataWindow: (%1, %2) – (%3, %4)\n\nChannels: %5")
            .arg(stored.left())
            .arg(stored.top())
            .arg(stored.right())
            .arg(stored.bottom())
            .arg(channelNames(file->header().channels()));
    } catch (...) {
        return QVariant();
    }
}

bool ExrHandler::supportsOption(ImageOption option) const
{
    return option == Size || option == Description;
}
