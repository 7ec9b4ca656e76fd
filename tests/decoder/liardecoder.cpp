// SPDX-License-Identifier: GPL-3.0-or-later
// liardecoder --serve: a decoder taken over by a hostile file. It answers every request with the
// lie VELMORA_LIE names, about a 100 x 100 white picture in 32-bit colours in a slot it asks for.
#include "decodermessage.h"

#include <QColorSpace>
#include <QtEndian>

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace {

const auto blocking = [] { return true; };

// The slot the viewer gives for bytes, filled with white, its memory file in memory; -1 when
// refused.
qint32 askForSlot(qint64 bytes, int &memory)
{
    DecoderReply asking;
    asking.slotWanted = bytes;
    QByteArray message;
    QList<int> descriptors;
    DecoderRequest given;
    if (!sendMessage(3, encodeMessage(asking)) ||
        !receiveMessage(3, message, descriptors, blocking) || !decodeMessage(message, given) ||
        descriptors.size() != 1)
        return -1;
    memory = descriptors.first();
    void *pixels = mmap(nullptr, size_t(bytes), PROT_WRITE, MAP_SHARED, memory, 0);
    if (pixels != MAP_FAILED)
        std::memset(pixels, 0xff, size_t(qMin<qint64>(bytes, 400 * 100)));
    return given.slot;
}

// Puts count where the one that marker starts with lies.
void raiseCount(QByteArray &answer, const QByteArray &marker, quint32 count)
{
    const qsizetype at = answer.indexOf(marker);
    if (at >= 0)
        qToBigEndian<quint32>(count, answer.data() + at);
}

} // namespace

int main()
{
    const QByteArray lie = qgetenv("VELMORA_LIE");
    QByteArray message;
    QList<int> descriptors;
    while (receiveMessage(3, message, descriptors, blocking)) {
        DecoderRequest asked;
        // An animation, as its read says, whose first frame never comes.
        if (lie == "an animation whose frames never come" && decodeMessage(message, asked) &&
            asked.kind == DecoderRequest::Animation)
            sleep(60);
        DecoderReply reply;
        reply.text.insert(QStringLiteral("Velmora-Animation"), QStringLiteral("1"));
        reply.ok = true;
        reply.size = QSize(100, 100);
        reply.format = QImage::Format_RGB32;
        reply.bytesPerLine = 400;
        qint64 slotBytes = 400 * 100;
        if (lie == "memory smaller than the picture")
            slotBytes = 4000;
        if (lie == "a slot over the allocation limit")
            slotBytes = qint64(1) << 40;
        if (lie == "a one-bit 18000 x 18000 picture in another colour space") {
            reply.size = QSize(18000, 18000);
            reply.format = QImage::Format_Mono;
            reply.bytesPerLine = 2252;
            reply.colourTable = {0xff000000, 0xffffffff};
            reply.colourProfile = QColorSpace(QColorSpace::DisplayP3).iccProfile();
            slotBytes = 2252 * 18000;
        }
        if (lie == "float pixels in lines of a multiple of 4 bytes, not of 16") {
            reply.format = QImage::Format_RGBA32FPx4_Premultiplied;
            reply.bytesPerLine = 1604;
            reply.orientation = 1;
            slotBytes = 1604 * 100;
        }
        if (lie == "an 8-bit picture of two colours whose pixels use every index") {
            reply.format = QImage::Format_Indexed8;
            reply.bytesPerLine = 100;
            reply.colourTable = {qRgb(255, 0, 0), qRgb(0, 255, 0)};
            slotBytes = 100 * 100;
        }
        // Every slot it is given stays mapped here: it never lets go of one.
        int memory = -1;
        reply.slot = askForSlot(slotBytes, memory);
        if (lie == "a second slot for one picture")
            reply.slot = askForSlot(slotBytes, memory);
        if (lie == "a slot it was never given")
            reply.slot = 7;
        // The seals hold: a slot that could shrink would leave the viewer no picture.
        if (lie == "shrinking the slot it was given" && ftruncate(memory, 0) == 0)
            return 1;
        if (lie == "lines shorter than the picture is wide")
            reply.bytesPerLine = 40;
        if (lie == "no such format")
            reply.format = 999;
        if (lie == "escape bytes in what the readers said")
            reply.messages = {{QtWarningMsg, QStringLiteral("\x1b[2Jcleared\a")}};
        if (lie == "a colour-table count of 0xfffffff0")
            reply.colourTable = {0x12345678};
        QByteArray answer = encodeMessage(reply);
        raiseCount(answer, QByteArray::fromHex("0000000112345678"), 0xfffffff0);
        if (lie == "answer cut short")
            answer.chop(8);
        if (lie == "nothing but noise")
            answer = QByteArray(64, '\x7f');
        // Its picture's file, a plain file, as the memory of the pixels.
        QList<int> sent;
        if (lie == "a descriptor sent with the answer")
            sent = descriptors;
        if (!sendMessage(3, answer, sent))
            return 1;
        for (int descriptor : descriptors + QList<int>{memory})
            close(descriptor);
    }
    return 0;
}
