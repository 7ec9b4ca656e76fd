// SPDX-License-Identifier: GPL-3.0-or-later
#include "heifhandler.h"
#include "hdrtonemap.h"
#include "heifboxes.h"

#include <QColorSpace>
#include <QIODevice>
#include <QImage>
#include <QPointF>
#include <QVariant>
#include <QtEndian>

#include <libheif/heif.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

// The file's first box, with its brands: enough for the lists that cameras and phones write.
constexpr int kSignatureBytes = 256;

// The brands of a HEIF image or sequence, whatever codes it. Writers put any of them first and
// the others among the compatible brands; whether libheif can decode the file is found when it
// is read.
constexpr const char *kHeifBrands[] = {"mif1", "mif2", "msf1", "miaf", "heic", "heix", "hevc",
                                       "hevx", "heim", "heis", "hevm", "hevs", "avif", "avis"};
// The brands that say which codec the pictures are in; a file with none of them is only said to
// be HEIF.
constexpr const char *kAvifBrands[] = {"avif", "avis"};
constexpr const char *kHeicBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx"};

template <size_t count> bool among(const QByteArray &brand, const char *const (&brands)[count])
{
    for (const char *listed : brands)
        if (brand == listed)
            return true;
    return false;
}

// The kind of HEIF file whose file type box head begins with ("avif", "heic" or "heif"), by the
// main and the compatible brands; empty when it names no HEIF brand. The box holds its size,
// "ftyp", the main brand, a minor version, then the compatible brands.
QByteArray heifKind(const QByteArray &head)
{
    if (head.size() < 16 || head.mid(4, 4) != "ftyp")
        return QByteArray();
    const qsizetype end = qMin<qsizetype>(head.size(), qFromBigEndian<quint32>(head.constData()));
    bool heif = false, heic = false;
    for (qsizetype at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) {
        const QByteArray brand = head.mid(at, 4);
        if (among(brand, kAvifBrands))
            return "avif";
        heic = heic || among(brand, kHeicBrands);
        heif = heif || among(brand, kHeifBrands);
    }
    return heic ? "heic" : (heif ? "heif" : QByteArray());
}

struct ContextFree
{
    void operator()(heif_context *context) const { heif_context_free(context); }
};
struct HandleRelease
{
    void operator()(const heif_image_handle *handle) const { heif_image_handle_release(handle); }
};
struct ImageRelease
{
    void operator()(const heif_image *image) const { heif_image_release(image); }
};
struct OptionsFree
{
    void operator()(heif_decoding_options *options) const { heif_decoding_options_free(options); }
};
struct NclxFree
{
    void operator()(heif_color_profile_nclx *nclx) const { heif_nclx_color_profile_free(nclx); }
};

using Context = std::unique_ptr<heif_context, ContextFree>;
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;
using Image = std::unique_ptr<heif_image, ImageRelease>;

// The parsed file and its primary picture; both null when libheif refuses the file.
struct Primary
{
    Context context;
    Handle handle;
};

Primary openPrimary(const QByteArray &data)
{
    Primary primary;
    primary.context.reset(heif_context_alloc());
    if (!primary.context)
        return {};
    // The context reads the bytes in place: data outlives it in the handler.
    if (heif_context_read_from_memory_without_copy(primary.context.get(), data.constData(),
                                                   size_t(data.size()), nullptr)
            .code != heif_error_Ok)
        return {};
    heif_image_handle *handle = nullptr;
    if (heif_context_get_primary_image_handle(primary.context.get(), &handle).code != heif_error_Ok)
        return {};
    primary.handle.reset(handle);
    return primary;
}

QColorSpace::TransferFunction transferOf(heif_transfer_characteristics transfer, float *gamma)
{
    switch (transfer) {
    case heif_transfer_characteristic_linear:
        return QColorSpace::TransferFunction::Linear;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_M:
        *gamma = 2.2f;
        return QColorSpace::TransferFunction::Gamma;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_B_G:
        *gamma = 2.8f;
        return QColorSpace::TransferFunction::Gamma;
    default:
        // The video curves (BT.709, BT.601, BT.2020) are meant to be shown on an sRGB-like
        // display.
        return QColorSpace::TransferFunction::SRgb;
    }
}

// The HDR curve an nclx box names, which the picture is tone-mapped from (hdrtonemap.h).
HdrTransfer hdrTransferOf(const heif_color_profile_nclx &nclx)
{
    if (nclx.transfer_characteristics == heif_transfer_characteristic_ITU_R_BT_2100_0_PQ)
        return HdrTransfer::Pq;
    if (nclx.transfer_characteristics == heif_transfer_characteristic_ITU_R_BT_2100_0_HLG)
        return HdrTransfer::Hlg;
    return HdrTransfer::None;
}

// The colour space an nclx box describes. The matrix and the range are libheif's business: it
// applies them when it converts to RGB. A picture coded for HDR is linear once tone-mapped.
QColorSpace fromNclx(const heif_color_profile_nclx &nclx)
{
    float gamma = 0.0f;
    const QColorSpace::TransferFunction transfer =
        hdrTransferOf(nclx) != HdrTransfer::None
            ? QColorSpace::TransferFunction::Linear
            : transferOf(nclx.transfer_characteristics, &gamma);
    const bool bt709 = nclx.color_primaries == heif_color_primaries_ITU_R_BT_709_5 ||
                       nclx.color_primaries == heif_color_primaries_unspecified;
    if (bt709)
        return QColorSpace(QColorSpace::Primaries::SRgb, transfer, gamma);
    return QColorSpace(QPointF(nclx.color_primary_white_x, nclx.color_primary_white_y),
                       QPointF(nclx.color_primary_red_x, nclx.color_primary_red_y),
                       QPointF(nclx.color_primary_green_x, nclx.color_primary_green_y),
                       QPointF(nclx.color_primary_blue_x, nclx.color_primary_blue_y), transfer,
                       gamma);
}

// The nclx box of handle's picture; null when it has none.
std::unique_ptr<heif_color_profile_nclx, NclxFree> nclxOf(const heif_image_handle *handle)
{
    heif_color_profile_nclx *found = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &found).code != heif_error_Ok)
        found = nullptr;
    return std::unique_ptr<heif_color_profile_nclx, NclxFree>(found);
}

// Whether handle's colours are an ICC profile, which counts before any nclx box.
bool hasIccProfile(const heif_image_handle *handle)
{
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    return type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC;
}

QColorSpace colorSpaceOf(const heif_image_handle *handle)
{
    if (hasIccProfile(handle)) {
        QByteArray icc(qsizetype(heif_image_handle_get_raw_color_profile_size(handle)), '\0');
        if (!icc.isEmpty() &&
            heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok)
            return QColorSpace::fromIccProfile(icc);
        return QColorSpace();
    }
    const auto nclx = nclxOf(handle);
    return nclx ? fromNclx(*nclx) : QColorSpace();
}

// picture with the colours of colours' picture: its colour space, after a tone-mapping to SDR
// where its nclx box names an HDR curve.
QImage withColours(QImage picture, const heif_image_handle *colours)
{
    const auto nclx = hasIccProfile(colours) ? nullptr : nclxOf(colours);
    const HdrTransfer transfer = nclx ? hdrTransferOf(*nclx) : HdrTransfer::None;
    if (transfer != HdrTransfer::None)
        picture = toneMapped(
            picture, transfer,
            nclx->color_primaries == heif_color_primaries_ITU_R_BT_2020_2_and_2100_0 ? kBt2020Luma
                                                                                     : kBt709Luma);
    if (!picture.isNull())
        picture.setColorSpace(colorSpaceOf(colours));
    return picture;
}

// Scales a sample of bits to 16 bits, so that the largest value stays the largest.
inline quint16 widen(quint16 sample, quint32 largest)
{
    return quint16((quint32(qMin<quint32>(sample, largest)) * 65535u + largest / 2) / largest);
}

// Multiplies a 16-bit sample by a 16-bit alpha, rounded.
inline quint16 premultiply(quint16 sample, quint32 alpha)
{
    return quint16((quint32(sample) * alpha + 32767u) / 65535u);
}

// Copies libheif's interleaved rows into picture: 8-bit ones as they are, deeper ones widened
// to 16 bits with an opaque alpha added where there is none, and their colours multiplied by
// their alpha unless the file's already are.
void copyPixels(const heif_image *decoded, int bits, bool alpha, bool premultiplied,
                QImage &picture)
{
    int stride = 0;
    const uint8_t *plane =
        heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    const int width = picture.width();
    if (bits <= 8) {
        const qsizetype rowBytes = qMin<qsizetype>(picture.bytesPerLine(), stride);
        for (int y = 0; y < picture.height(); ++y)
            memcpy(picture.scanLine(y), plane + qsizetype(y) * stride, size_t(rowBytes));
        return;
    }
    const quint32 largest = (1u << bits) - 1;
    const int channels = alpha ? 4 : 3;
    for (int y = 0; y < picture.height(); ++y) {
        const auto *in = reinterpret_cast<const quint16 *>(plane + qsizetype(y) * stride);
        auto *out = reinterpret_cast<quint16 *>(picture.scanLine(y));
        for (int x = 0; x < width; ++x, in += channels, out += 4) {
            out[3] = alpha ? widen(qFromLittleEndian(in[3]), largest) : 0xffff;
            const quint32 factor = premultiplied ? 0xffff : out[3];
            for (int c = 0; c < 3; ++c)
                out[c] = premultiply(widen(qFromLittleEndian(in[c]), largest), factor);
        }
    }
}

// Decodes one picture of the file, with its transformations applied; null when it cannot.
QImage decode(const heif_image_handle *handle)
{
    const bool alpha = heif_image_handle_has_alpha_channel(handle);
    const bool premultiplied = alpha && heif_image_handle_is_premultiplied_alpha(handle);
    const int bits = qBound(8, heif_image_handle_get_luma_bits_per_pixel(handle), 16);
    const bool deep = bits > 8;
    const heif_chroma chroma =
        deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
             : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    QImage::Format format = QImage::Format_RGB888;
    // Deep colours with alpha come premultiplied, whatever the file holds: Qt 6.4 squares the
    // alpha when it premultiplies a 64-bit picture itself, as every smooth reduction does, and a
    // thumbnail reduced twice (here, then to the grid's size) would come out nearly clear.
    if (deep)
        format = alpha ? QImage::Format_RGBA64_Premultiplied : QImage::Format_RGBX64;
    else if (alpha)
        format = premultiplied ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBA8888;

    // The picture is allocated before libheif decodes, so that a size beyond Qt's allocation
    // limit is refused before any work.
    QImage picture;
    const QSize size(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
    if (!QImageIOHandler::allocateImage(size, format, &picture))
        return QImage();

    const std::unique_ptr<heif_decoding_options, OptionsFree> options(
        heif_decoding_options_alloc());
    // Exif orientation is not applied on top: the container's transformations already turned
    // the picture.
    options->ignore_transformations = 0;
    heif_image *decodedImage = nullptr;
    if (heif_decode_image(handle, &decodedImage, heif_colorspace_RGB, chroma, options.get()).code !=
        heif_error_Ok)
        return QImage();
    const Image decoded(decodedImage);
    // The handle may give the size before a quarter turn: the same pixels, the other way round.
    const QSize decodedSize(heif_image_get_width(decoded.get(), heif_channel_interleaved),
                            heif_image_get_height(decoded.get(), heif_channel_interleaved));
    if (decodedSize != size) {
        if (decodedSize.width() * qint64(decodedSize.height()) >
            size.width() * qint64(size.height()))
            return QImage();
        picture = QImage(decodedSize, format);
        if (picture.isNull())
            return QImage();
    }
    const int range =
        deep ? qBound(9,
                      heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved),
                      16)
             : 8;
    copyPixels(decoded.get(), range, alpha, premultiplied, picture);
    return withColours(std::move(picture), handle);
}

QSize statedSize(const heif_image_handle *handle)
{
    return QSize(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle));
}

// Whether a and b have the same proportions, to the pixel that rounding a side may add or lose.
bool sameProportions(const QSize &a, const QSize &b)
{
    const qint64 tolerance = qMax(qMax(a.width(), a.height()), qMax(b.width(), b.height()));
    return qAbs(qint64(a.width()) * b.height() - qint64(a.height()) * b.width()) <= tolerance;
}

// A stored thumbnail of at least size (either way round, as the stated sizes may be), decoded,
// when it shows what the primary picture shows: it has to be turned and mirrored alike, and
// the primary not cropped, as a thumbnail is made of the whole coded picture. Null when there
// is none such.
QImage storedThumbnail(const Primary &primary, const QByteArray &file, const QSize &size)
{
    heif_item_id primaryId = 0;
    if (heif_context_get_primary_image_ID(primary.context.get(), &primaryId).code != heif_error_Ok)
        return QImage();
    const QList<QByteArray> shown = shownTransformations(file, primaryId);
    for (const QByteArray &transformation : shown) {
        if (transformation.startsWith("clap"))
            return QImage();
    }
    const heif_image_handle *handle = primary.handle.get();
    const int count = heif_image_handle_get_number_of_thumbnails(handle);
    std::vector<heif_item_id> ids(size_t(qMax(count, 0)));
    const int listed = heif_image_handle_get_list_of_thumbnail_IDs(handle, ids.data(), count);
    for (int i = 0; i < listed; ++i) {
        heif_image_handle *found = nullptr;
        if (shownTransformations(file, ids[size_t(i)]) != shown ||
            heif_image_handle_get_thumbnail(handle, ids[size_t(i)], &found).code != heif_error_Ok)
            continue;
        const Handle thumbnail(found);
        const QSize stated = statedSize(thumbnail.get());
        if (qMin(stated.width(), stated.height()) < qMin(size.width(), size.height()) ||
            qMax(stated.width(), stated.height()) < qMax(size.width(), size.height()))
            continue;
        QImage picture = decode(thumbnail.get());
        // Without a colour box of its own it was made from the primary picture's colours.
        if (!picture.isNull() && !picture.colorSpace().isValid())
            picture = withColours(std::move(picture), handle);
        if (!picture.isNull())
            return picture;
    }
    return QImage();
}

} // namespace

bool HeifHandler::canRead(QIODevice *device)
{
    return !kind(device).isEmpty();
}

QByteArray HeifHandler::kind(QIODevice *device)
{
    return heifKind(device->peek(kSignatureBytes));
}

bool HeifHandler::canRead() const
{
    // Once the size was asked for, the file's bytes are here and the device is at its end.
    if (dataRead)
        return !heifKind(data.left(kSignatureBytes)).isEmpty();
    return device() && canRead(device());
}

const QByteArray &HeifHandler::fileData() const
{
    if (!dataRead && device()) {
        data = device()->readAll();
        dataRead = true;
    }
    return data;
}

bool HeifHandler::read(QImage *image)
{
    const Primary primary = openPrimary(fileData());
    if (!primary.handle)
        return false;
    QImage picture;
    if (scaledSize.isValid())
        picture = storedThumbnail(primary, fileData(), scaledSize);
    if (picture.isNull())
        picture = decode(primary.handle.get());
    if (picture.isNull())
        return false;
    if (scaledSize.isValid()) {
        // The size asked for was worked out from the stated size, which may be the picture's
        // before a quarter turn or a crop: the picture delivered keeps the proportions it is
        // shown with.
        QSize size = scaledSize;
        if (!sameProportions(picture.size(), size))
            size = sameProportions(picture.size(), size.transposed())
                       ? size.transposed()
                       : picture.size().scaled(size, Qt::KeepAspectRatio);
        if (picture.size() != size)
            picture = picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    *image = std::move(picture);
    return true;
}

QVariant HeifHandler::option(ImageOption option) const
{
    if (option == ScaledSize)
        return scaledSize;
    if (option != Size)
        return QVariant();
    const Primary primary = openPrimary(fileData());
    if (!primary.handle)
        return QVariant();
    return statedSize(primary.handle.get());
}

void HeifHandler::setOption(ImageOption option, const QVariant &value)
{
    if (option == ScaledSize)
        scaledSize = value.toSize();
}

bool HeifHandler::supportsOption(ImageOption option) const
{
    return option == Size || option == ScaledSize;
}
