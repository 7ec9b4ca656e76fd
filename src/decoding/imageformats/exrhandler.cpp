// SPDX-License-Identifier: GPL-3.0-or-later
#include "exrhandler.h"
#include "exrfile.h"
#include "tonemapping.h"

#include <QColorSpace>
#include <QFloat16>
#include <QIODevice>
#include <QImage>
#include <QImageReader>
#include <QPointF>
#include <QStringList>
#include <QVariant>
#include <QtEndian>

#include <openexr.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

const QByteArray kMagic("\x76\x2f\x31\x01", 4);

// Channels named in the dock; a file may have thousands.
constexpr int kMostChannelsNamed = 64;

// The channels shown, by their names within the layer read: colours, alpha, and luminance with
// its two subsampled colour differences.
enum Slot { Red, Green, Blue, Alpha, Luma, RedDifference, BlueDifference, kSlots };
const char *const kSlotNames[kSlots] = {"R", "G", "B", "A", "Y", "RY", "BY"};

// The layer whose channels are shown: none (the file's own R, G, B or Y), or, when it has those
// only in layers ("diffuse.R"), the first of them, as "diffuse.".
QByteArray layerOf(const exr_attr_chlist_t *channels)
{
    QByteArray first;
    for (int i = 0; i < channels->num_channels; ++i) {
        const QByteArray name(channels->entries[i].name.str, channels->entries[i].name.length);
        const qsizetype dot = name.lastIndexOf('.');
        const QByteArray base = name.mid(dot + 1);
        if (base != "R" && base != "G" && base != "B" && base != "Y")
            continue;
        if (dot < 0)
            return QByteArray();
        if (first.isEmpty())
            first = name.left(dot + 1);
    }
    return first;
}

int slotOf(const char *channel, const QByteArray &layer)
{
    const QByteArray name(channel);
    if (!name.startsWith(layer))
        return -1;
    for (int slot = 0; slot < kSlots; ++slot) {
        if (name.mid(layer.size()) == kSlotNames[slot])
            return slot;
    }
    return -1;
}

bool chromaticitiesOf(const ExrFile &file, exr_attr_chromaticities_t &c)
{
    return exr_attr_get_chromaticities(file.context, 0, "chromaticities", &c) == EXR_ERR_SUCCESS &&
           c.red_y > 0 && c.green_y > 0 && c.blue_y > 0 && c.white_y > 0;
}

// One chunk's samples, a float plane per slot, taken into the picture (halves: red, green, blue,
// alpha) where the chunk and the display window meet.
class ChunkReader
{
public:
    ChunkReader(const ExrFile &file, QImage &picture, const std::array<float, 3> &weights)
        : file(file), picture(picture), weights(weights), layer(layerOf(file.channels))
    {
    }
    ~ChunkReader()
    {
        if (started)
            exr_decoding_destroy(file.context, &decoder);
    }

    // The chunk's pixels start at origin, in the picture's coordinates.
    bool read(const exr_chunk_info_t &chunk, const QPoint &origin)
    {
        if (!QRect(origin, QSize(chunk.width, chunk.height)).intersects(file.displayWindow))
            return true;
        // A chunk's planes count against the allocation limit, as the picture does.
        const qint64 limit = qint64(QImageReader::allocationLimit()) << 20;
        if (limit > 0 && qint64(chunk.width) * chunk.height * qint64(sizeof(float)) * kSlots > limit)
            return false;
        if ((started ? exr_decoding_update(file.context, 0, &chunk, &decoder)
                     : exr_decoding_initialize(file.context, 0, &chunk, &decoder)) !=
            EXR_ERR_SUCCESS)
            return false;
        started = true;
        // Read and uncompressed by the library, its samples taken here: its own unpacking of
        // subsampled channels writes beyond the planes it is given.
        if (exr_decoding_choose_default_routines(file.context, 0, &decoder) != EXR_ERR_SUCCESS)
            return false;
        decoder.unpack_and_convert_fn = nullptr;
        if (exr_decoding_run(file.context, 0, &decoder) != EXR_ERR_SUCCESS ||
            !decoder.unpacked_buffer)
            return false;
        bool present[kSlots] = {};
        for (int c = 0; c < decoder.channel_count; ++c) {
            const exr_coding_channel_info_t &channel = decoder.channels[c];
            const int slot = slotOf(channel.channel_name, layer);
            if (slot < 0 || channel.x_samples < 1 || channel.y_samples < 1)
                continue;
            present[slot] = true;
            sampling[slot] = {channel.x_samples, channel.y_samples,
                              (chunk.width + channel.x_samples - 1) / channel.x_samples,
                              (chunk.height + channel.y_samples - 1) / channel.y_samples};
            planes[slot].assign(size_t(sampling[slot].width) * size_t(sampling[slot].height), 0);
        }
        if (!unpack(chunk, origin))
            return false;
        place(chunk, origin, present);
        return true;
    }

private:
    struct Sampling
    {
        int x, y, width, height;
    };

    // The uncompressed chunk: line by line, in each line the channels that have samples there,
    // in the order of their names, each sample little-endian as stored. A sampled channel's
    // first sample lies where the data window starts, on a multiple of its sampling.
    bool unpack(const exr_chunk_info_t &chunk, const QPoint &origin)
    {
        const auto *at = static_cast<const uchar *>(decoder.unpacked_buffer);
        const uchar *end = at + decoder.chunk.unpacked_size;
        for (int row = 0; row < chunk.height; ++row) {
            const int y = origin.y() + row;
            for (int c = 0; c < decoder.channel_count; ++c) {
                const exr_coding_channel_info_t &channel = decoder.channels[c];
                const int ys = qMax<int>(1, channel.y_samples);
                if (((y % ys) + ys) % ys != 0)
                    continue;
                const int xs = qMax<int>(1, channel.x_samples);
                const qint64 count = (chunk.width + xs - 1) / xs;
                const qint64 bytes = count * channel.bytes_per_element;
                if (channel.bytes_per_element <= 0 || end - at < bytes)
                    return false;
                const int slot = slotOf(channel.channel_name, layer);
                if (slot >= 0) {
                    float *out = planes[slot].data() + qint64(row / ys) * sampling[slot].width;
                    for (qint64 i = 0; i < count; ++i)
                        out[i] = valueAt(at + i * channel.bytes_per_element, channel.data_type);
                }
                at += bytes;
            }
        }
        return true;
    }

    static float valueAt(const uchar *bytes, int type)
    {
        if (type == EXR_PIXEL_HALF) {
            const quint16 bits = qFromLittleEndian<quint16>(bytes);
            qfloat16 half;
            memcpy(static_cast<void *>(&half), &bits, sizeof bits);
            return float(half);
        }
        const quint32 bits = qFromLittleEndian<quint32>(bytes);
        if (type == EXR_PIXEL_UINT)
            return float(bits);
        float value;
        memcpy(&value, &bits, sizeof value);
        return value;
    }

    float sample(int slot, int x, int y) const
    {
        const Sampling &s = sampling[slot];
        const int column = qBound(0, x / qMax(1, s.x), s.width - 1);
        const int row = qBound(0, y / qMax(1, s.y), s.height - 1);
        return planes[slot][size_t(row) * size_t(s.width) + size_t(column)];
    }

    void place(const exr_chunk_info_t &chunk, const QPoint &origin, const bool present[kSlots])
    {
        const QRect area = QRect(origin, QSize(chunk.width, chunk.height)) & file.displayWindow;
        const bool colours = present[Red] || present[Green] || present[Blue];
        const bool differences = present[RedDifference] && present[BlueDifference];
        for (int y = area.top(); y <= area.bottom(); ++y) {
            auto *out = reinterpret_cast<qfloat16 *>(picture.scanLine(y - file.displayWindow.top()));
            for (int x = area.left(); x <= area.right(); ++x) {
                const int cx = x - origin.x();
                const int cy = y - origin.y();
                float rgb[3] = {0, 0, 0};
                if (colours) {
                    for (int i = 0; i < 3; ++i)
                        rgb[i] = present[i] ? sample(i, cx, cy) : 0.0f;
                } else if (present[Luma]) {
                    const float luma = sample(Luma, cx, cy);
                    rgb[0] = rgb[1] = rgb[2] = luma;
                    // Colour differences relative to luminance, as OpenEXR's own RGBA reader
                    // takes them back.
                    if (differences) {
                        rgb[0] = (sample(RedDifference, cx, cy) + 1) * luma;
                        rgb[2] = (sample(BlueDifference, cx, cy) + 1) * luma;
                        rgb[1] = (luma - rgb[0] * weights[0] - rgb[2] * weights[2]) / weights[1];
                    }
                }
                qfloat16 *pixel = out + 4 * (x - file.displayWindow.left());
                for (int i = 0; i < 3; ++i)
                    pixel[i] = qfloat16(rgb[i]);
                pixel[3] = qfloat16(present[Alpha] ? sample(Alpha, cx, cy) : 1.0f);
            }
        }
    }

    const ExrFile &file;
    QImage &picture;
    const std::array<float, 3> weights;
    const QByteArray layer;
    exr_decode_pipeline_t decoder = EXR_DECODE_PIPELINE_INITIALIZER;
    bool started = false;
    std::vector<float> planes[kSlots];
    Sampling sampling[kSlots] = {};
};

// Every chunk of the first part at full resolution, in the file's order of rows.
bool readChunks(const ExrFile &file, ChunkReader &reader)
{
    exr_chunk_info_t chunk;
    const QRect &stored = file.dataWindow;
    if (file.storage == EXR_STORAGE_SCANLINE) {
        int32_t lines = 0;
        if (exr_get_scanlines_per_chunk(file.context, 0, &lines) != EXR_ERR_SUCCESS || lines <= 0)
            return false;
        for (qint64 y = stored.top(); y <= stored.bottom(); y += lines) {
            if (exr_read_scanline_chunk_info(file.context, 0, int(y), &chunk) != EXR_ERR_SUCCESS ||
                !reader.read(chunk, QPoint(stored.left(), int(y))))
                return false;
        }
        return true;
    }
    uint32_t width = 0;
    uint32_t height = 0;
    if (exr_get_tile_sizes(file.context, 0, 0, 0, reinterpret_cast<int32_t *>(&width),
                           reinterpret_cast<int32_t *>(&height)) != EXR_ERR_SUCCESS ||
        width == 0 || height == 0)
        return false;
    const qint64 columns = (qint64(stored.width()) + width - 1) / width;
    const qint64 rows = (qint64(stored.height()) + height - 1) / height;
    for (qint64 row = 0; row < rows; ++row)
        for (qint64 column = 0; column < columns; ++column) {
            // The chunk says where a tile lies in tiles, or in pixels, as versions differ.
            const QPoint origin(stored.left() + int(column * width), stored.top() + int(row * height));
            if (exr_read_tile_chunk_info(file.context, 0, int(column), int(row), 0, 0, &chunk) !=
                    EXR_ERR_SUCCESS ||
                !reader.read(chunk, origin))
                return false;
        }
    return true;
}

// The file's primaries and white point as a colour space, sRGB's where it names none.
QColorSpace colourSpaceOf(const ExrFile &file)
{
    exr_attr_chromaticities_t c;
    if (!chromaticitiesOf(file, c))
        return QColorSpace::SRgb;
    const QColorSpace space(QPointF(c.white_x, c.white_y), QPointF(c.red_x, c.red_y),
                            QPointF(c.green_x, c.green_y), QPointF(c.blue_x, c.blue_y),
                            QColorSpace::TransferFunction::SRgb);
    return space.isValid() ? space : QColorSpace(QColorSpace::SRgb);
}

QString channelNames(const exr_attr_chlist_t *channels)
{
    static const char *const kTypes[] = {"uint", "half", "float"};
    QStringList names;
    QList<int> types;
    for (int i = 0; i < channels->num_channels; ++i) {
        if (names.size() == kMostChannelsNamed) {
            names.append(QStringLiteral("…"));
            break;
        }
        const exr_attr_chlist_entry_t &entry = channels->entries[i];
        names.append(QString::fromUtf8(entry.name.str, entry.name.length));
        if (!types.contains(int(entry.pixel_type)))
            types.append(int(entry.pixel_type));
    }
    std::sort(types.begin(), types.end());
    QStringList typeNames;
    for (const int type : types)
        typeNames.append(QLatin1String(type >= 0 && type < 3 ? kTypes[type] : "?"));
    return names.join(QStringLiteral(", ")) + QStringLiteral(" (") +
           typeNames.join(QStringLiteral(", ")) + QLatin1Char(')');
}

bool hasAlpha(const exr_attr_chlist_t *channels)
{
    const QByteArray layer = layerOf(channels);
    for (int i = 0; i < channels->num_channels; ++i) {
        if (slotOf(channels->entries[i].name.str, layer) == Alpha)
            return true;
    }
    return false;
}

} // namespace

bool ExrHandler::canRead(QIODevice *device)
{
    return device->peek(kMagic.size()) == kMagic;
}

bool ExrHandler::recognises(const QByteArray &bytes) const
{
    return bytes.startsWith(kMagic);
}

int ExrHandler::signatureBytes() const
{
    return int(kMagic.size());
}

bool ExrHandler::read(QImage *image)
{
    // Not even set up for what is no OpenEXR file: the decoder's start reads an empty one.
    if (!recognises(fileData()))
        return false;
    const ExrFile file(fileData());
    QImage picture;
    // Refused before any decoding when beyond the allocation limit.
    if (!file.ok || !QImageIOHandler::allocateImage(file.displayWindow.size(),
                                                    QImage::Format_RGBA16FPx4, &picture))
        return false;
    // Outside the data window: no light, and see-through where the file has alpha.
    picture.fill(Qt::transparent);
    exr_attr_chromaticities_t c{};
    const bool named = chromaticitiesOf(file, c);
    const QPointF primaries[4] = {{c.red_x, c.red_y},
                                  {c.green_x, c.green_y},
                                  {c.blue_x, c.blue_y},
                                  {c.white_x, c.white_y}};
    const std::array<float, 3> weights = named ? luminanceWeights(primaries)
                                               : std::array<float, 3>{0.2126f, 0.7152f, 0.0722f};
    ChunkReader reader(file, picture, weights);
    if (!readChunks(file, reader))
        return false;
    const bool alpha = hasAlpha(file.channels);
    toneMap(picture, weights, alpha);
    picture.reinterpretAsFormat(alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64);
    picture.setColorSpace(colourSpaceOf(file));
    *image = std::move(picture);
    return true;
}

QVariant ExrHandler::option(ImageOption option) const
{
    if ((option != Size && option != Description) || !recognises(fileData()))
        return QVariant();
    const ExrFile file(fileData());
    if (!file.ok)
        return QVariant();
    if (option == Size)
        return file.displayWindow.size();
    const QRect &stored = file.dataWindow;
    return QStringLiteral("DataWindow: (%1, %2) – (%3, %4)\n\nChannels: %5")
        .arg(stored.left())
        .arg(stored.top())
        .arg(stored.right())
        .arg(stored.bottom())
        .arg(channelNames(file.channels));
}

bool ExrHandler::supportsOption(ImageOption option) const
{
    return option == Size || option == Description;
}
