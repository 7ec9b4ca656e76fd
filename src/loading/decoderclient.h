// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DECODERCLIENT_H
#define DECODERCLIENT_H

#include "decodermessage.h"

#include <QImage>

#include <map>
#include <memory>
#include <sys/types.h>

// The viewer's side of one decoder process (src/decoder): started at construction, ended at
// destruction, whatever it is doing. Used by one thread at a time.
class DecoderClient
{
public:
    DecoderClient();
    DecoderClient(const DecoderClient &) = delete;
    DecoderClient &operator=(const DecoderClient &) = delete;
    ~DecoderClient();

    // Whether the process can take a request: it started and has neither failed, ended nor
    // asked to be replaced.
    bool isUsable();

    // Sends request with the file at descriptor (-1 for none) and waits at most timeout
    // milliseconds for the answer, giving up at once when commandsEnded() (command.h). A
    // process that fails in any way (gone, silent, garbled) is ended, and false returned.
    bool request(const DecoderRequest &request, int descriptor, int timeout, DecoderReply &reply);

    // The picture an answer describes, over the shared memory of its slot, which goes back to
    // the decoder when the last copy of the picture is gone; null when the answer does not fit
    // the slot.
    QImage picture(const DecoderReply &reply) const;

    // Ends the process at once; the client is no longer usable.
    void end();

    // Where the decoder program lies: the one VELMORA_DECODER names, else the installed one,
    // else the build tree's.
    static QString program();

private:
    struct Slot;
    bool accept(DecoderReply &reply, QList<int> &descriptors);

    pid_t pid = -1;
    int socket = -1;
    bool retiring = false;
    std::map<qint32, std::shared_ptr<Slot>> mappedSlots;
};

#endif
