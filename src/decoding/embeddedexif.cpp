// SPDX-License-Identifier: GPL-3.0-or-later
#include "embeddedexif.h"

#include "paths.h"

#include <QFile>
#include <QtEndian>

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <libheif/heif.h>

#include <cstring>
#include <memory>

namespace {

// Camera makers keep Exif below 64 kB; this leaves room for long maker notes and stops a box
// that claims gigabytes.
constexpr qsizetype kLargestExif = 16 << 20;
constexpr qsizetype kFirstExifBuffer = 64 << 10;

// Both containers put the distance to the TIFF header first, as four bytes, big-endian.
QByteArray fromTiffHeader(const QByteArray &block)
{
    if (block.size() < 4)
        return QByteArray();
    const quint32 offset = qFromBigEndian<quint32>(block.constData());
    return offset > quint32(block.size() - 4) ? QByteArray() : block.mid(4 + qsizetype(offset));
}

QByteArray heifExif(const uchar *data, qint64 size)
{
    const std::unique_ptr<heif_context, void (*)(heif_context *)> context(heif_context_alloc(),
                                                                          heif_context_free);
    heif_image_handle *found = nullptr;
    if (!context ||
        heif_context_read_from_memory_without_copy(context.get(), data, size_t(size), nullptr)
                .code != heif_error_Ok ||
        heif_context_get_primary_image_handle(context.get(), &found).code != heif_error_Ok)
        return QByteArray();
    const std::unique_ptr<heif_image_handle, void (*)(const heif_image_handle *)> handle(
        found, heif_image_handle_release);
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle.get(), "Exif", &id, 1) < 1)
        return QByteArray();
    const size_t length = heif_image_handle_get_metadata_size(handle.get(), id);
    if (length == 0 || length > size_t(kLargestExif))
        return QByteArray();
    QByteArray block(qsizetype(length), Qt::Uninitialized);
    if (heif_image_handle_get_metadata(handle.get(), id, block.data()).code != heif_error_Ok)
        return QByteArray();
    return fromTiffHeader(block);
}

QByteArray jxlExif(const uchar *data, qint64 size)
{
    const JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
    if (!decoder || JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BOX) != JXL_DEC_SUCCESS ||
        JxlDecoderSetDecompressBoxes(decoder.get(), JXL_TRUE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(decoder.get(), data, size_t(size)) != JXL_DEC_SUCCESS)
        return QByteArray();
    JxlDecoderCloseInput(decoder.get());
    QByteArray box;
    bool reading = false;
    // The box's content lands in box; the decoder says how much of the buffer it left unused
    // when the box ends, or asks for more room.
    const auto filled = [&] {
        return box.size() - qsizetype(JxlDecoderReleaseBoxBuffer(decoder.get()));
    };
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
        if (reading && (status == JXL_DEC_BOX || status == JXL_DEC_SUCCESS)) {
            box.truncate(filled());
            return fromTiffHeader(box);
        }
        if (status == JXL_DEC_BOX) {
            JxlBoxType type;
            if (JxlDecoderGetBoxType(decoder.get(), type, JXL_TRUE) != JXL_DEC_SUCCESS)
                return QByteArray();
            if (memcmp(type, "Exif", 4) != 0)
                continue;
            reading = true;
            box.resize(kFirstExifBuffer);
            if (JxlDecoderSetBoxBuffer(decoder.get(), reinterpret_cast<uint8_t *>(box.data()),
                                       size_t(box.size())) != JXL_DEC_SUCCESS)
                return QByteArray();
        } else if (status == JXL_DEC_BOX_NEED_MORE_OUTPUT && box.size() < kLargestExif) {
            const qsizetype used = filled();
            box.resize(box.size() * 2);
            if (JxlDecoderSetBoxBuffer(decoder.get(),
                                       reinterpret_cast<uint8_t *>(box.data()) + used,
                                       size_t(box.size() - used)) != JXL_DEC_SUCCESS)
                return QByteArray();
        } else {
            // The end without an Exif box, an error, or a box beyond reason.
            return QByteArray();
        }
    }
}

} // namespace

QByteArray embeddedExif(const QString &path)
{
    QFile file(path);
    if (!openRegularFile(file) || file.size() < 12)
        return QByteArray();
    const QByteArray head = file.peek(12);
    const JxlSignature signature =
        JxlSignatureCheck(reinterpret_cast<const uint8_t *>(head.constData()), size_t(head.size()));
    const bool jxl = signature == JXL_SIG_CONTAINER;
    // Every HEIF file begins with its file type box; libheif refuses the other ISO media files.
    const bool heif = head.mid(4, 4) == "ftyp";
    if (!jxl && !heif)
        return QByteArray();
    const uchar *data = file.map(0, file.size());
    if (!data)
        return QByteArray();
    return jxl ? jxlExif(data, file.size()) : heifExif(data, file.size());
}
