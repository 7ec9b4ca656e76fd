// SPDX-License-Identifier: GPL-3.0-or-later
// liardecoder --serve: a decoder taken over by a hostile file. It answers every request with the
// lie that VELMORA_LIE names, about a 100 x 100 picture in 32-bit colours.
#include "decodermessage.h"

#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

int main()
{
    const QByteArray lie = qgetenv("VELMORA_LIE");
    const auto blocking = [] { return true; };
    QByteArray message;
    QList<int> descriptors;
    while (receiveMessage(3, message, descriptors, blocking)) {
        DecoderReply reply;
        reply.ok = true;
        reply.slot = 0;
        reply.size = QSize(100, 100);
        reply.format = QImage::Format_RGB32;
        reply.bytesPerLine = 400;
        reply.slotBytes = 400 * 100;
        const int memory = memfd_create("lie", MFD_ALLOW_SEALING);
        if (lie == "memory smaller than the picture")
            reply.slotBytes = 4000;
        if (lie == "lines shorter than the picture is wide")
            reply.bytesPerLine = 40;
        if (lie == "no such format")
            reply.format = 999;
        if (ftruncate(memory, reply.slotBytes) != 0)
            return 1;
        if (lie != "memory that can shrink")
            fcntl(memory, F_ADD_SEALS, F_SEAL_SHRINK);
        QList<int> sent{memory};
        if (lie == "slot without its memory")
            sent.clear();
        QByteArray answer = encodeMessage(reply);
        if (lie == "answer cut short")
            answer.chop(8);
        if (lie == "nothing but noise")
            answer = QByteArray(64, '\x7f');
        if (!sendMessage(3, answer, sent))
            return 1;
        close(memory);
    }
    return 0;
}
