// SPDX-License-Identifier: GPL-3.0-or-later
#include "jp2handler.h"

#include <QColorSpace>
#include <QIODevice>
#include <QImage>
#include <QImageReader>
#include <QThread>
#include <QVariant>

#include <openjpeg.h>

#include <cstring>
#include <vector>

namespace {

// The JP2 signature box, and the start of a codestream: its SOC marker and the SIZ that follows.
const QByteArray kJp2Signature("\x00\x00\x00\x0c\x6a\x50\x20\x20\x0d\x0a\x87\x0a", 12);
const QByteArray kCodestreamStart("\xff\x4f\xff\x51", 4);

// Deeper samples than 16 bits are shown at 16; beyond 16, the standard's limit is 38, and no
// picture a camera or scanner makes has them.
constexpr OPJ_UINT32 kDeepestSample = 16;

// A pixel holds at most grey or three colours, and alpha; components beyond are not shown.
constexpr OPJ_UINT32 kMostComponents = 4;

// OpenJPEG holds every sample in 32 bits while it decodes: its planes may take four times what
// the picture does at 8 bits a channel, and no more.
constexpr qint64 kPlaneBytesPerPictureByte = 4;

// A file in memory, handed to OpenJPEG as a stream: no name reaches the library.
struct MemoryStream
{
    const QByteArray &data;
    qint64 position = 0;
};

OPJ_SIZE_T readStream(void *buffer, OPJ_SIZE_T size, void *user)
{
    auto *stream = static_cast<MemoryStream *>(user);
    const qint64 left = stream->data.size() - stream->position;
    if (left <= 0)
        return OPJ_SIZE_T(-1);
    const qint64 count = qMin<qint64>(left, qint64(qMin<OPJ_SIZE_T>(size, OPJ_SIZE_T(left))));
    memcpy(buffer, stream->data.constData() + stream->position, size_t(count));
    stream->position += count;
    return OPJ_SIZE_T(count);
}

OPJ_OFF_T skipStream(OPJ_OFF_T count, void *user)
{
    auto *stream = static_cast<MemoryStream *>(user);
    const qint64 target = qBound<qint64>(0, stream->position + count, stream->data.size());
    const OPJ_OFF_T skipped = target - stream->position;
    stream->position = target;
    return skipped;
}

OPJ_BOOL seekStream(OPJ_OFF_T offset, void *user)
{
    auto *stream = static_cast<MemoryStream *>(user);
    if (offset < 0 || offset > stream->data.size())
        return OPJ_FALSE;
    stream->position = offset;
    return OPJ_TRUE;
}

// A decoder of one file, its header read.
struct Decoder
{
    ~Decoder()
    {
        if (image)
            opj_image_destroy(image);
        if (codec)
            opj_destroy_codec(codec);
        if (stream)
            opj_stream_destroy(stream);
    }

    bool open()
    {
        const bool container = file.data.startsWith(kJp2Signature);
        if (!container && !file.data.startsWith(kCodestreamStart))
            return false;
        stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_TRUE);
        codec = opj_create_decompress(container ? OPJ_CODEC_JP2 : OPJ_CODEC_J2K);
        if (!stream || !codec)
            return false;
        opj_stream_set_user_data(stream, &file, nullptr);
        opj_stream_set_user_data_length(stream, OPJ_UINT64(file.data.size()));
        opj_stream_set_read_function(stream, readStream);
        opj_stream_set_skip_function(stream, skipStream);
        opj_stream_set_seek_function(stream, seekStream);
        opj_dparameters_t parameters;
        opj_set_default_decoder_parameters(&parameters);
        return opj_setup_decoder(codec, &parameters) &&
               opj_read_header(stream, codec, &image) && image && image->numcomps > 0 &&
               image->x1 > image->x0 && image->y1 > image->y0;
    }

    // The fewest resolution levels of any component: reductions beyond them cannot be decoded.
    int levels() const
    {
        opj_codestream_info_v2_t *info = opj_get_cstr_info(codec);
        if (!info)
            return 1;
        OPJ_UINT32 fewest = info->m_default_tile_info.tccp_info ? UINT32_MAX : 1;
        for (OPJ_UINT32 i = 0; info->m_default_tile_info.tccp_info && i < info->nbcomps; ++i)
            fewest = qMin(fewest, info->m_default_tile_info.tccp_info[i].numresolutions);
        opj_destroy_cstr_info(&info);
        return int(qBound<OPJ_UINT32>(1, fewest, 32));
    }

    MemoryStream file;
    opj_stream_t *stream = nullptr;
    opj_codec_t *codec = nullptr;
    opj_image_t *image = nullptr;
};

// A coordinate on the reference grid, halved reduction times, rounded up as the standard does.
OPJ_UINT32 reduced(OPJ_UINT32 coordinate, int reduction)
{
    return OPJ_UINT32((quint64(coordinate) + (quint64(1) << reduction) - 1) >> reduction);
}

// A side of a component, from..to on the reference grid with a sample every step, at reduction.
quint64 sideOf(OPJ_UINT32 from, OPJ_UINT32 to, OPJ_UINT32 step, int reduction)
{
    const auto onGrid = [step](OPJ_UINT32 at) { return OPJ_UINT32((quint64(at) + step - 1) / step); };
    return reduced(onGrid(to), reduction) - quint64(reduced(onGrid(from), reduction));
}

// The picture is as large as its largest component shown: a file may subsample all of them.
QSize sizeAt(const opj_image_t *image, int reduction)
{
    quint64 width = 0;
    quint64 height = 0;
    for (OPJ_UINT32 i = 0; i < qMin(image->numcomps, kMostComponents); ++i) {
        const opj_image_comp_t &c = image->comps[i];
        width = qMax(width, c.dx ? sideOf(image->x0, image->x1, c.dx, reduction) : 0);
        height = qMax(height, c.dy ? sideOf(image->y0, image->y1, c.dy, reduction) : 0);
    }
    return QSize(int(qMin<quint64>(width, INT_MAX)), int(qMin<quint64>(height, INT_MAX)));
}

// The components shown: grey or three colours, and the alpha the file marks as such (a JP2
// file's channel definitions) or that a fourth or second component of a bare codestream is.
struct Layout
{
    int colours = 0;
    int alpha = -1;
    bool deep = false;
};

Layout layoutOf(const opj_image_t *image)
{
    Layout layout;
    const int count = int(qMin(image->numcomps, kMostComponents));
    for (int i = 0; i < count; ++i) {
        if (image->comps[i].alpha && layout.alpha < 0)
            layout.alpha = i;
    }
    const int others = count - (layout.alpha >= 0 ? 1 : 0);
    layout.colours = others >= 3 && image->color_space != OPJ_CLRSPC_GRAY ? 3 : 1;
    if (layout.alpha < 0 && count > layout.colours && image->color_space != OPJ_CLRSPC_CMYK)
        layout.alpha = layout.colours;
    for (int i = 0; i < count; ++i)
        layout.deep = layout.deep || image->comps[i].prec > 8;
    return layout;
}

QImage::Format formatOf(const Layout &layout)
{
    if (layout.colours == 1 && layout.alpha < 0)
        return layout.deep ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8;
    if (layout.deep)
        return layout.alpha < 0 ? QImage::Format_RGBX64 : QImage::Format_RGBA64;
    return layout.alpha < 0 ? QImage::Format_RGBX8888 : QImage::Format_RGBA8888;
}

bool validComponents(const opj_image_t *image)
{
    for (OPJ_UINT32 i = 0; i < qMin(image->numcomps, kMostComponents); ++i) {
        const opj_image_comp_t &component = image->comps[i];
        if (component.prec == 0 || component.prec > kDeepestSample || component.dx == 0 ||
            component.dy == 0)
            return false;
    }
    return true;
}

// Whether OpenJPEG's planes for the picture at reduction stay within their share of the
// allocation limit, asked before it decodes.
bool planesFit(const opj_image_t *image, int reduction)
{
    const qint64 limit = qint64(QImageReader::allocationLimit()) << 20;
    if (limit <= 0)
        return true;
    qint64 bytes = 0;
    for (OPJ_UINT32 i = 0; i < image->numcomps && bytes <= limit * kPlaneBytesPerPictureByte; ++i) {
        const opj_image_comp_t &c = image->comps[i];
        if (c.dx == 0 || c.dy == 0)
            return false;
        const quint64 width = sideOf(image->x0, image->x1, c.dx, reduction);
        const quint64 height = sideOf(image->y0, image->y1, c.dy, reduction);
        if (width > 0 && height > quint64(limit * kPlaneBytesPerPictureByte) / 4 / width)
            return false;
        bytes += qint64(width * height * 4);
    }
    return bytes <= limit * kPlaneBytesPerPictureByte;
}

// Where an output pixel takes a component's samples from: between first and second, weighted
// from 0 (first alone) to kWhole (second alone).
struct Tap
{
    int first;
    int second;
    int weight;
};
constexpr int kWhole = 256;

// Output pixels 0..count-1 on samples 0..samples-1 that cover the same span, moved by shift output
// pixels.
std::vector<Tap> taps(int count, int samples, double shift)
{
    std::vector<Tap> found(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const double at = qMax(0.0, (i + shift) * samples / count);
        const int first = qMin(int(at), samples - 1);
        found[size_t(i)] = {first, qMin(first + 1, samples - 1),
                            int((at - first) * kWhole + 0.5)};
    }
    return found;
}

// One component's samples, stretched to a picture of size (subsampled components cover it with
// fewer samples) and moved by shift pixels, interpolated linearly, as values from 0 to top.
struct Plane
{
    Plane(const opj_image_comp_t &component, const QSize &size, int top, double shift)
        : samples(component.data), stride(int(component.w)), top(top),
          offset(component.sgnd ? qint64(1) << (component.prec - 1) : 0),
          largest((qint64(1) << component.prec) - 1),
          columns(taps(size.width(), int(component.w), shift)),
          rows(taps(size.height(), int(component.h), shift))
    {
    }

    void setRow(int y)
    {
        row = rows[size_t(y)];
    }

    int value(int x) const
    {
        const Tap &column = columns[size_t(x)];
        const auto at = [this, &column](int line) {
            const OPJ_INT32 *samplesOf = samples + qint64(line) * stride;
            const qint64 a = qBound<qint64>(0, samplesOf[column.first] + offset, largest);
            if (column.weight == 0)
                return a * kWhole;
            const qint64 b = qBound<qint64>(0, samplesOf[column.second] + offset, largest);
            return a * (kWhole - column.weight) + b * column.weight;
        };
        qint64 sample = at(row.first) * kWhole;
        if (row.weight != 0)
            sample = at(row.first) * (kWhole - row.weight) + at(row.second) * row.weight;
        const qint64 scale = largest * kWhole * kWhole;
        return int((sample * top + scale / 2) / scale);
    }

    const OPJ_INT32 *samples;
    int stride;
    int top;
    qint64 offset;
    qint64 largest;
    std::vector<Tap> columns;
    std::vector<Tap> rows;
    Tap row{0, 0, 0};
};

// Colours stored as luma and colour differences (sYCC) or as inks, taken to RGB.
void toRgb(OPJ_COLOR_SPACE space, int top, int rgb[3], int fourth)
{
    if (space == OPJ_CLRSPC_SYCC || space == OPJ_CLRSPC_EYCC) {
        const double half = (top + 1) / 2.0;
        const double y = rgb[0], cb = rgb[1] - half, cr = rgb[2] - half;
        const double out[3] = {y + 1.402 * cr, y - 0.344136 * cb - 0.714136 * cr, y + 1.772 * cb};
        for (int i = 0; i < 3; ++i)
            rgb[i] = int(qBound(0.0, out[i] + 0.5, double(top)));
    } else if (space == OPJ_CLRSPC_CMYK) {
        for (int i = 0; i < 3; ++i)
            rgb[i] = int(qint64(top - rgb[i]) * (top - fourth) / top);
    }
}

// A resolution level's samples lie where the low-pass filters centre them, on every 2^reduction-th
// sample of the whole picture, not in the middle of the pixels they stand for: moved there, the
// picture read reduced is the whole one reduced.
template <typename Sample>
void fill(QImage &picture, const opj_image_t *image, const Layout &layout, int reduction)
{
    const int top = sizeof(Sample) == 1 ? 0xff : 0xffff;
    const double shift = ((1 << reduction) - 1) / double(2 << reduction);
    const bool cmyk = image->color_space == OPJ_CLRSPC_CMYK && layout.colours == 3 &&
                      image->numcomps >= 4;
    std::vector<Plane> planes;
    for (int i = 0; i < layout.colours + (cmyk ? 1 : 0); ++i)
        planes.emplace_back(image->comps[i], picture.size(), top, shift);
    if (layout.alpha >= 0)
        planes.emplace_back(image->comps[layout.alpha], picture.size(), top, shift);
    const int channels = picture.depth() / (8 * int(sizeof(Sample)));
    for (int y = 0; y < picture.height(); ++y) {
        auto *out = reinterpret_cast<Sample *>(picture.scanLine(y));
        for (Plane &plane : planes)
            plane.setRow(y);
        for (int x = 0; x < picture.width(); ++x, out += channels) {
            int rgb[3];
            for (int i = 0; i < layout.colours; ++i)
                rgb[i] = planes[size_t(i)].value(x);
            if (layout.colours == 3)
                toRgb(image->color_space, top, rgb, cmyk ? planes[3].value(x) : 0);
            for (int i = 0; i < (channels == 1 ? 1 : 3); ++i)
                out[i] = Sample(rgb[layout.colours == 3 ? i : 0]);
            if (channels == 4)
                out[3] = Sample(layout.alpha >= 0 ? planes.back().value(x) : top);
        }
    }
}

// The reduction by halves, within the levels the file has, that leaves the picture no smaller
// than wanted.
int reductionFor(const opj_image_t *image, int levels, const QSize &wanted)
{
    int reduction = 0;
    while (reduction + 1 < levels) {
        const QSize next = sizeAt(image, reduction + 1);
        if (next.width() < wanted.width() || next.height() < wanted.height())
            break;
        ++reduction;
    }
    return reduction;
}

bool isJp2(const QByteArray &head)
{
    return head.startsWith(kJp2Signature) || head.startsWith(kCodestreamStart);
}

} // namespace

bool Jp2Handler::canRead(QIODevice *device)
{
    return isJp2(device->peek(kJp2Signature.size()));
}

bool Jp2Handler::recognises(const QByteArray &bytes) const
{
    return isJp2(bytes);
}

int Jp2Handler::signatureBytes() const
{
    return int(kJp2Signature.size());
}

bool Jp2Handler::read(QImage *image)
{
    Decoder decoder{{fileData()}};
    if (!decoder.open() || !validComponents(decoder.image))
        return false;
    const int reduction = scaledSize.isValid()
                              ? reductionFor(decoder.image, decoder.levels(), scaledSize)
                              : 0;
    const QSize size = sizeAt(decoder.image, reduction);
    // Refused before any decoding when either the picture or OpenJPEG's planes would not fit.
    QImage picture;
    if (!planesFit(decoder.image, reduction) ||
        !QImageIOHandler::allocateImage(size, formatOf(layoutOf(decoder.image)), &picture))
        return false;
    // A thread a core, as the other decoders of large pictures have.
    opj_codec_set_threads(decoder.codec, QThread::idealThreadCount());
    if (!opj_set_decoded_resolution_factor(decoder.codec, OPJ_UINT32(reduction)) ||
        !opj_decode(decoder.codec, decoder.stream, decoder.image) ||
        !opj_end_decompress(decoder.codec, decoder.stream))
        return false;
    // A palette, applied while decoding, may have turned one component into colours.
    const opj_image_t *decoded = decoder.image;
    const Layout layout = layoutOf(decoded);
    if (!validComponents(decoded) || (picture.format() != formatOf(layout) &&
                                      !QImageIOHandler::allocateImage(size, formatOf(layout),
                                                                      &picture)))
        return false;
    for (int i = 0; i < layout.colours; ++i) {
        if (!decoded->comps[i].data)
            return false;
    }
    if (layout.alpha >= 0 && !decoded->comps[layout.alpha].data)
        return false;
    if (layout.deep)
        fill<quint16>(picture, decoded, layout, reduction);
    else
        fill<quint8>(picture, decoded, layout, reduction);
    if (decoded->icc_profile_len > 0 && decoded->icc_profile_buf)
        picture.setColorSpace(QColorSpace::fromIccProfile(
            QByteArray(reinterpret_cast<const char *>(decoded->icc_profile_buf),
                       int(decoded->icc_profile_len))));
    else if (layout.colours == 3)
        picture.setColorSpace(QColorSpace::SRgb);
    if (scaledSize.isValid() && picture.size() != scaledSize)
        picture = picture.scaled(scaledSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    *image = std::move(picture);
    return true;
}

QVariant Jp2Handler::option(ImageOption option) const
{
    if (option == ScaledSize)
        return scaledSize;
    if (option != Size && option != ImageFormat)
        return QVariant();
    Decoder decoder{{fileData()}};
    if (!decoder.open())
        return QVariant();
    if (option == Size)
        return sizeAt(decoder.image, 0);
    return int(formatOf(layoutOf(decoder.image)));
}

void Jp2Handler::setOption(ImageOption option, const QVariant &value)
{
    if (option == ScaledSize)
        scaledSize = value.toSize();
}

bool Jp2Handler::supportsOption(ImageOption option) const
{
    return option == Size || option == ScaledSize || option == ImageFormat;
}
