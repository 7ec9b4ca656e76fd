// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PIXELSLOTS_H
#define PIXELSLOTS_H

#include <QImage>
#include <QList>

#include <map>

// The decoder's side of the shared memory files that carry pixels to the viewer. A picture is
// decoded straight into the free slot that held the last picture when the two have the same
// size and format (what a folder of photographs mostly gives); only other pictures are copied
// into a slot. A slot never shrinks (it is sealed against it, so that the viewer never finds
// pixels gone under its mapping): a picture that does not fit gets a fresh one.
class PixelSlots
{
public:
    PixelSlots() = default;
    PixelSlots(const PixelSlots &) = delete;
    PixelSlots &operator=(const PixelSlots &) = delete;
    ~PixelSlots();

    // A buffer over the free slot written last, shaped as the picture it holds, for the reader
    // to decode into; null when there is none.
    QImage reusable(const QList<qint32> &freeSlots) const;

    struct Stored
    {
        qint32 slot = -1;
        qint64 bytes = 0;
        // The new slot's memory file, for the viewer, or -1 when the slot is not new.
        int newDescriptor = -1;
        // Free slots given up for a fresh one, which the viewer unmaps.
        QList<qint32> dropped;
    };
    // Puts picture into a free slot; slot -1 when there is no memory for it.
    Stored store(const QImage &picture, const QList<qint32> &freeSlots);

private:
    struct Slot
    {
        int descriptor = -1;
        uchar *memory = nullptr;
        qint64 bytes = 0;
        QSize size;
        QImage::Format format = QImage::Format_Invalid;
        qsizetype bytesPerLine = 0;
        quint64 written = 0;
    };
    const Slot *lastWritten(const QList<qint32> &freeSlots, qint32 *id) const;
    void drop(qint32 id);

    std::map<qint32, Slot> kept;
    qint32 nextId = 0;
    quint64 writes = 0;
};

#endif
