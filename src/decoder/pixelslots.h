// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PIXELSLOTS_H
#define PIXELSLOTS_H

#include <QImage>
#include <QList>

#include <map>

// The decoder's side of the shared memory files that carry pixels to the viewer. The viewer makes
// each of them, sized and sealed against shrinking and growing, and the decoder maps what it is
// given. A picture is decoded straight into the free slot that held the last picture when the two
// have the same size and format (what a folder of photographs mostly gives); only other pictures
// are copied into a slot. A picture that fits no free slot gets a new one, which replaces every
// free one.
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

    // The free slot that takes picture as it is: the one it was decoded into, else one large
    // enough and not too large; -1 when none fits.
    qint32 fitting(const QImage &picture, const QList<qint32> &freeSlots) const;

    // Gives up the free slots, as the viewer does when it is asked for a new one.
    void drop(const QList<qint32> &freeSlots);

    // Maps the new slot id over the viewer's memory file at descriptor, which it closes; false
    // when the file cannot hold bytes.
    bool adopt(qint32 id, int descriptor, qint64 bytes);

    // Puts picture into slot id, which fits it.
    void store(const QImage &picture, qint32 id);

private:
    struct Slot
    {
        uchar *memory = nullptr;
        qint64 bytes = 0;
        QSize size;
        QImage::Format format = QImage::Format_Invalid;
        qsizetype bytesPerLine = 0;
        quint64 written = 0;
    };
    const Slot *lastWritten(const QList<qint32> &freeSlots, qint32 *id) const;

    std::map<qint32, Slot> kept;
    quint64 writes = 0;
};

#endif
