// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DECODERSERVER_H
#define DECODERSERVER_H

#include "decodermessage.h"
#include "pixelslots.h"

#include <QFile>
#include <QImageReader>

#include <memory>

// The decoder's side of the protocol (decodermessage.h): answers the viewer's requests on
// socket, one at a time, until the viewer goes.
class DecoderServer
{
public:
    explicit DecoderServer(int socket);
    // From now on every request is answered as failed, and every answer says that the sandbox
    // is missing: the decoder could not lock itself down. Only the list of formats, made before,
    // is still given.
    void readNothing();
    // Returns when the viewer has closed its side or sent something that is no request.
    void run();

private:
    DecoderReply serve(const DecoderRequest &request, int descriptor);
    void servePicture(const DecoderRequest &request, DecoderReply &reply);
    // A camera raw file through LibRaw: its preview, or its full conversion (rawreader.h).
    void serveRaw(const DecoderRequest &request, DecoderReply &reply);
    void openAnimation(const QString &name, DecoderReply &reply);
    void serveFrame(const DecoderRequest &request, DecoderReply &reply);
    // Hands picture to the viewer in a free slot, or in a new one it asks the viewer for.
    bool deliver(QImage picture, const QList<qint32> &freeSlots, DecoderReply &reply);
    // The number of the new slot of bytes the viewer gives, mapped; -1 when it refuses.
    qint32 askForSlot(qint64 bytes);

    int socket;
    PixelSlots pixelSlots;
    // The animation being played: its file (a duplicate of the one handed over) and its reader.
    std::unique_ptr<QFile> animationFile;
    std::unique_ptr<QImageReader> animation;
    qint32 nextFrame = 0;
    bool sandboxMissing = false;
};

#endif
