// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DECODERPOOL_H
#define DECODERPOOL_H

#include "decoderclient.h"

#include <QString>

#include <memory>

// The decoder processes of the viewer, shared by its threads: a thread borrows one for a request
// and gives it back, so that each thread that reads pictures at the same time (the pane, each
// thumbnail worker) has one of its own, started once and reused. For a thread that asks for it,
// one more is kept started and locked down ahead of need, so that its next request does not wait
// for a new one to start when the decoder of the one before was ended (a read given up).
class DecoderPool
{
public:
    // An idle decoder started by a thread of the caller's scheduling priority, the one being
    // started for it, or else a new one: one started for background work runs at the
    // background's priority. Null when the calling thread is stopped (commandsEnded, command.h)
    // before one is idle.
    static std::unique_ptr<DecoderClient> borrow();
    // Keeps decoder for the next request while it is usable; ends it otherwise.
    static void giveBack(std::unique_ptr<DecoderClient> decoder);
    // Starts a decoder for the calling thread's priority in the background unless one is idle or
    // starting, so that the next request of such a thread finds one ready instead of waiting for
    // it to start.
    static void prepare();
    // Until it is called again with false, each decoder the calling thread borrows is replaced
    // at once by one started in the background (prepare): for the reads of the pane, which the
    // user passes in bursts, ending the decoder of each read passed.
    static void keepSpares(bool keep);
    // Ends the idle decoders, as at the end of the process; the next request starts a fresh one.
    static void endIdle();
    // Whether a decoder has said that the kernel refused its sandbox, so that it reads nothing.
    static bool sandboxMissing();
};

// Runs request on a decoder of the pool with the file at path open for it (none when path is
// empty): false when the file is no regular file or the decoder failed (it is then replaced for
// the next request). With picture given, the answer's picture lands there. A request given up
// by its thread may finish within passedGrace milliseconds (DecoderClient::request).
bool askDecoder(const DecoderRequest &request, const QString &path, int timeout,
                DecoderReply &reply, QImage *picture = nullptr, int passedGrace = 0);
// The same with a decoder the caller keeps, for requests that build on the ones before (the
// frames of an animation). A decoder that failed is no longer usable: the caller replaces it.
bool askDecoder(DecoderClient &decoder, const DecoderRequest &request, const QString &path,
                int timeout, DecoderReply &reply, QImage *picture = nullptr,
                int passedGrace = 0);

#endif
