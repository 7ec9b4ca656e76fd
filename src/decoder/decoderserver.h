// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DECODERSERVER_H
#define DECODERSERVER_H

#include "decodermessage.h"
#include "pixelslots.h"

// The decoder's side of the protocol (decodermessage.h): answers the viewer's requests on
// socket, one at a time, until the viewer goes.
class DecoderServer
{
public:
    explicit DecoderServer(int socket);
    // Returns when the viewer has closed its side or sent something that is no request.
    void run();

private:
    DecoderReply serve(const DecoderRequest &request, int descriptor, int &newDescriptor);
    void servePicture(const DecoderRequest &request, DecoderReply &reply, int &newDescriptor);

    int socket;
    PixelSlots pixelSlots;
};

#endif
