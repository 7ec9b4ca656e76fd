// SPDX-License-Identifier: GPL-3.0-or-later
#include "pixelslots.h"

#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// A picture goes into a free slot of at most twice its size; a larger slot would hold the
// memory of a large picture for a run of small ones.
constexpr qint64 kMostWaste = 2;

} // namespace

PixelSlots::~PixelSlots()
{
    while (!kept.empty())
        drop(kept.begin()->first);
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

PixelSlots::Stored PixelSlots::store(const QImage &picture, const QList<qint32> &freeSlots)
{
    Stored stored;
    const qint64 bytes = picture.sizeInBytes();
    qint32 id = -1;
    for (qint32 candidate : freeSlots) {
        const auto slot = kept.find(candidate);
        if (slot == kept.end())
            continue;
        // Decoded in place: nothing to copy.
        if (slot->second.memory == picture.constBits()) {
            id = candidate;
            break;
        }
        if (id < 0 && slot->second.bytes >= bytes && slot->second.bytes <= kMostWaste * bytes)
            id = candidate;
    }
    // Free slots that cannot serve go; the viewer keeps the memory of the rest.
    for (qint32 candidate : freeSlots) {
        if (candidate != id && kept.count(candidate)) {
            drop(candidate);
            stored.dropped.append(candidate);
        }
    }
    if (id < 0) {
        Slot slot;
        slot.descriptor = ::memfd_create("velmora-pixels", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        if (slot.descriptor < 0)
            return stored;
        void *memory = MAP_FAILED;
        if (::ftruncate(slot.descriptor, bytes) == 0 &&
            ::fcntl(slot.descriptor, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_SEAL) == 0)
            memory = ::mmap(nullptr, size_t(bytes), PROT_READ | PROT_WRITE, MAP_SHARED,
                            slot.descriptor, 0);
        if (memory == MAP_FAILED) {
            ::close(slot.descriptor);
            return stored;
        }
        slot.memory = static_cast<uchar *>(memory);
        slot.bytes = bytes;
        id = nextId++;
        kept[id] = slot;
        stored.newDescriptor = slot.descriptor;
    }
    Slot &slot = kept[id];
    if (slot.memory != picture.constBits())
        std::memcpy(slot.memory, picture.constBits(), size_t(bytes));
    slot.size = picture.size();
    slot.format = picture.format();
    slot.bytesPerLine = picture.bytesPerLine();
    slot.written = ++writes;
    stored.slot = id;
    stored.bytes = slot.bytes;
    return stored;
}

void PixelSlots::drop(qint32 id)
{
    const auto slot = kept.find(id);
    if (slot == kept.end())
        return;
    ::munmap(slot->second.memory, size_t(slot->second.bytes));
    ::close(slot->second.descriptor);
    kept.erase(slot);
}
