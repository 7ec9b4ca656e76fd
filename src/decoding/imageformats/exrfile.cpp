// SPDX-License-Identifier: GPL-3.0-or-later
#include "exrfile.h"

#include <QPoint>

#include <cstring>

namespace {

// The longest side a file may state, checked by OpenEXR as it reads the header: the offset
// tables it allocates before any pixel grow with the data window's rows.
constexpr int kLongestSide = 1 << 20;

int64_t readMemory(exr_const_context_t, void *user, void *buffer, uint64_t size, uint64_t offset,
                   exr_stream_error_func_ptr_t)
{
    const QByteArray &bytes = static_cast<ExrFile::Memory *>(user)->bytes;
    if (offset > uint64_t(bytes.size()))
        return -1;
    const uint64_t count = qMin<uint64_t>(size, uint64_t(bytes.size()) - offset);
    memcpy(buffer, bytes.constData() + offset, count);
    return int64_t(count);
}

int64_t memorySize(exr_const_context_t, void *user)
{
    return static_cast<ExrFile::Memory *>(user)->bytes.size();
}

// The library's complaints about a damaged file would reach the user's terminal.
void quiet(exr_const_context_t, exr_result_t, const char *) {}

QRect rectOf(const exr_attr_box2i_t &box)
{
    return QRect(QPoint(box.min.x, box.min.y), QPoint(box.max.x, box.max.y));
}

bool sensible(const exr_attr_box2i_t &box)
{
    const qint64 width = qint64(box.max.x) - box.min.x + 1;
    const qint64 height = qint64(box.max.y) - box.min.y + 1;
    return width > 0 && height > 0 && width <= kLongestSide && height <= kLongestSide;
}

} // namespace

ExrFile::ExrFile(const QByteArray &bytes) : memory{bytes}
{
    exr_context_initializer_t init = EXR_DEFAULT_CONTEXT_INITIALIZER;
    init.error_handler_fn = quiet;
    init.user_data = &memory;
    init.read_fn = readMemory;
    init.size_fn = memorySize;
    init.max_image_width = kLongestSide;
    init.max_image_height = kLongestSide;
    init.max_tile_width = kLongestSide;
    init.max_tile_height = kLongestSide;
    init.flags = EXR_CONTEXT_FLAG_SILENT_HEADER_PARSE;
    exr_attr_box2i_t shown;
    exr_attr_box2i_t stored;
    // The name labels the library's messages only: it reads through read_fn.
    ok = exr_start_read(&context, "picture", &init) == EXR_ERR_SUCCESS &&
         exr_get_storage(context, 0, &storage) == EXR_ERR_SUCCESS &&
         (storage == EXR_STORAGE_SCANLINE || storage == EXR_STORAGE_TILED) &&
         exr_get_display_window(context, 0, &shown) == EXR_ERR_SUCCESS &&
         exr_get_data_window(context, 0, &stored) == EXR_ERR_SUCCESS &&
         exr_get_channels(context, 0, &channels) == EXR_ERR_SUCCESS && channels &&
         sensible(shown) && sensible(stored);
    if (ok) {
        displayWindow = rectOf(shown);
        dataWindow = rectOf(stored);
    }
}

ExrFile::~ExrFile()
{
    if (context)
        exr_finish(&context);
}
