// SPDX-License-Identifier: GPL-3.0-or-later
#include "animationplayer.h"

#include "appearance.h"
#include "decoderpool.h"
#include "imagelabel.h"
#include "paths.h"

namespace {

// The user-interface thread waits for each frame; a decoder kept busy longer is ended and the
// animation stops on the frame it shows.
constexpr int kFrameTimeLimit = 5000;

} // namespace

AnimationPlayer::AnimationPlayer(ImageLabel *label, QObject *parent) : QObject(parent), label(label)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this, &AnimationPlayer::showNextFrame);
}

AnimationPlayer::~AnimationPlayer()
{
    stop();
}

void AnimationPlayer::play(const QString &path)
{
    stop();
    decoder = DecoderPool::borrow();
    loopCount = 0;
    passes = 0;
    showFrame(DecoderRequest::Animation, path);
}

void AnimationPlayer::stop()
{
    timer.stop();
    // The decoder closes the animation at its next request, whoever makes it.
    DecoderPool::giveBack(std::move(decoder));
}

bool AnimationPlayer::isPlaying() const
{
    return timer.isActive();
}

void AnimationPlayer::showNextFrame()
{
    showFrame(DecoderRequest::NextFrame, QString());
}

void AnimationPlayer::showFrame(int kind, const QString &path)
{
    DecoderRequest request;
    request.kind = DecoderRequest::Kind(kind);
    request.name = pathFileName(path);
    DecoderReply reply;
    QImage frame;
    if (!decoder || !askDecoder(*decoder, request, path, kFrameTimeLimit, reply, &frame) ||
        !reply.ok) {
        stop();
        return;
    }
    if (kind == DecoderRequest::Animation)
        loopCount = reply.loopCount;
    // A pass has ended when the first frame comes again; -1 plays for ever.
    else if (reply.frameNumber == 0 && loopCount >= 0 && ++passes > loopCount) {
        stop();
        return;
    }
    // The label keeps its zoom and fit: only the picture changes.
    label->setImage(toSrgb(frame));
    timer.start(qMax(0, reply.frameDelay));
}
