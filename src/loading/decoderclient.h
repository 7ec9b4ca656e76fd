// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DECODERCLIENT_H
#define DECODERCLIENT_H

#include "decodermessage.h"

#include <QByteArray>
#include <QImage>

#include <map>
#include <memory>
#include <sys/types.h>

// The viewer's side of one decoder process (src/decoder): started at construction, ended at
// destruction, whatever it is doing. Used by one thread at a time. The viewer trusts nothing a
// decoder sends: it makes the decoder's shared memory itself, takes no descriptor from it,
// bounds what it reads, and ends a decoder that spins or multiplies its threads.
class DecoderClient
{
public:
    DecoderClient();
    DecoderClient(const DecoderClient &) = delete;
    DecoderClient &operator=(const DecoderClient &) = delete;
    ~DecoderClient();

    // Whether the process can take a request: it started and has neither failed, ended, asked
    // to be replaced, nor strayed beyond what an honest decoder does (behaves()).
    bool isUsable();

    // Whether the process keeps to what an honest decoder does: no more threads than decoding
    // uses, and no processor time spent since its last answer unless it owes one. True when
    // /proc cannot tell.
    bool behaves(bool owesAnswer = false) const;

    // Sends request with the file at descriptor (-1 for none) and waits at most timeout
    // milliseconds for the answer, giving up when commandsEnded() (command.h): at once, or, when
    // only the calling thread is stopped, after passedGrace more milliseconds, time for a short
    // read to finish and leave its decoder usable. A process that fails in any way (gone,
    // silent, garbled, lying) or is given up is ended, and false returned.
    bool request(const DecoderRequest &request, int descriptor, int timeout, DecoderReply &reply,
                 int passedGrace = 0);

    // The picture an answer describes, over the shared memory of its slot, which goes back to
    // the decoder when the last copy of the picture is gone; null when the answer does not fit
    // the slot.
    QImage picture(const DecoderReply &reply) const;

    // Ends the process at once; the client is no longer usable. What it said on its standard
    // error is repeated to the end.
    void end();

    // Where the decoder program lies: the one VELMORA_DECODER names, else the installed one,
    // else the build tree's.
    static QString program();

private:
    struct Slot;
    bool giveSlot(qint64 bytes, const DecoderRequest &sent);
    bool accept(const DecoderReply &reply) const;
    void repeatErrors();

    pid_t pid = -1;
    int socket = -1;
    // The read end of the decoder's standard error.
    int errors = -1;
    QByteArray errorLine;
    qint64 errorBytes = 0;
    bool retiring = false;
    // The processor time the process had used at its last answer; -1 before the first.
    qint64 answeredTicks = -1;
    std::map<qint32, std::shared_ptr<Slot>> mappedSlots;
    qint32 nextSlot = 0;
    // What the decoder was handed since it started, which it may all still hold.
    int slotsHanded = 0;
    qint64 slotBytesHanded = 0;
};

#endif
