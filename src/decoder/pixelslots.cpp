// SPDX-License-Identifier: GPL-3.0-or-later
#include "pixelslots.h"

#include <cstring>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A picture goes into a free slot of at most twice its size; a larger slot would hold the
// memory of a large picture for a run of small ones.
constexpr qint64 kMostWaste = 2;

} // namespace

PixelSlots::~PixelSlots()
{
    for (const auto &[id, slot] : kept)
        ::munmap(slot.memory, size_t(slot.bytes));
}

const PixelSlots::Slot *PixelSlots::lastWritten(const QList<qint32> &freeSlots, qint32 *id) const
{
    const Slot *found = nullptr;
    for (qint32 candidate : freeSlots) {
        const auto slot = kept.find(candidate);
        if (slot != kept.end() && (!found || slot->second.written > found->written)) {
            found = &slot->second;
            *id = candidate;
        }
    }
    return found;
}

QImage PixelSlots::reusable(const QList<qint32> &freeSlots) const
{
    qint32 id = -1;
    const Slot *slot = lastWritten(freeSlots, &id);
    if (!slot || slot->format == QImage::Format_Invalid)
        return QImage();
    return QImage(slot->memory, slot->size.width(), slot->size.height(), slot->bytesPerLine,
                  slot->format);
}

qint32 PixelSlots::fitting(const QImage &picture, const QList<qint32> &freeSlots) const
{
    const qint64 bytes = picture.sizeInBytes();
    qint32 id = -1;
    for (qint32 candidate : freeSlots) {
        const auto slot = kept.find(candidate);
        if (slot == kept.end())
            continue;
        // Decoded in place: nothing to copy.
        if (slot->second.memory == picture.constBits())
            return candidate;
        if (id < 0 && slot->second.bytes >= bytes && slot->second.bytes <= kMostWaste * bytes)
            id = candidate;
    }
    return id;
}

void PixelSlots::drop(const QList<qint32> &freeSlots)
{
    for (qint32 id : freeSlots) {
        const auto slot = kept.find(id);
        if (slot == kept.end())
            continue;
        ::munmap(slot->second.memory, size_t(slot->second.bytes));
        kept.erase(slot);
    }
}

bool PixelSlots::adopt(qint32 id, int descriptor, qint64 bytes)
{
    struct stat status;
    void *memory = MAP_FAILED;
    if (!kept.count(id) && bytes > 0 && ::fstat(descriptor, &status) == 0 &&
        status.st_size >= bytes)
        memory = ::mmap(nullptr, size_t(bytes), PROT_READ | PROT_WRITE, MAP_SHARED, descriptor, 0);
    ::close(descriptor);
    if (memory == MAP_FAILED)
        return false;
    Slot &slot = kept[id];
    slot.memory = static_cast<uchar *>(memory);
    slot.bytes = bytes;
    return true;
}

void PixelSlots::store(const QImage &picture, qint32 id)
{
    Slot &slot = kept.at(id);
    if (slot.memory != picture.constBits())
        std::memcpy(slot.memory, picture.constBits(), size_t(picture.sizeInBytes()));
    slot.size = picture.size();
    slot.format = picture.format();
    slot.bytesPerLine = picture.bytesPerLine();
    slot.written = ++writes;
}
