// SPDX-License-Identifier: GPL-3.0-or-later
#include "animationplayer.h"

#include "appearance.h"
#include "decoderpool.h"
#include "imagelabel.h"
#include "paths.h"
#include "reduction.h"

#include <QtConcurrent>

namespace {

// A decoder kept busy longer for a frame is ended and the animation stops on the frame it shows.
constexpr int kFrameTimeLimit = 5000;

} // namespace

// A frame read in the background, with the decoder that read it, which goes back to the pool
// when the frame is dropped unused.
struct AnimationPlayer::Frame
{
    std::unique_ptr<DecoderClient> decoder;
    quint64 animation = 0;
    int kind = DecoderRequest::Animation;
    bool read = false;
    DecoderReply reply;
    QImage picture;

    ~Frame() { DecoderPool::giveBack(std::move(decoder)); }
};

AnimationPlayer::AnimationPlayer(ImageLabel *label, QObject *parent) : QObject(parent), label(label)
{
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, this,
            [this] { request(DecoderRequest::NextFrame, QString()); });
    connect(&reading, &QFutureWatcher<std::shared_ptr<Frame>>::finished, this,
            [this] { show(reading.result()); });
}

AnimationPlayer::~AnimationPlayer()
{
    stop();
}

void AnimationPlayer::play(const QString &path)
{
    stop();
    if (!isAnimation(label->image()))
        return;
    loopCount = 0;
    passes = 0;
    request(DecoderRequest::Animation, path);
}

void AnimationPlayer::stop()
{
    timer.stop();
    waiting = false;
    ++animation;
    // The decoder closes the animation at its next request, whoever makes it.
    DecoderPool::giveBack(std::move(decoder));
}

bool AnimationPlayer::isPlaying() const
{
    return waiting || timer.isActive();
}

void AnimationPlayer::request(int kind, const QString &path)
{
    auto frame = std::make_shared<Frame>();
    frame->decoder = std::move(decoder);
    frame->animation = animation;
    frame->kind = kind;
    waiting = true;
    reading.setFuture(QtConcurrent::run([frame, kind, path] {
        if (!frame->decoder)
            frame->decoder = DecoderPool::borrow();
        DecoderRequest request;
        request.kind = DecoderRequest::Kind(kind);
        request.name = pathFileName(path);
        frame->read = askDecoder(*frame->decoder, request, path, kFrameTimeLimit, frame->reply,
                                 &frame->picture) &&
                      frame->reply.ok;
        if (frame->read)
            frame->picture = toSrgb(std::move(frame->picture));
        return frame;
    }));
}

void AnimationPlayer::show(const std::shared_ptr<Frame> &frame)
{
    // Stopped meanwhile: the frame's decoder goes back with it.
    if (frame->animation != animation)
        return;
    waiting = false;
    decoder = std::move(frame->decoder);
    if (!frame->read) {
        stop();
        return;
    }
    if (frame->kind == DecoderRequest::Animation)
        loopCount = frame->reply.loopCount;
    // A pass has ended when the first frame comes again; -1 plays for ever.
    else if (frame->reply.frameNumber == 0 && loopCount >= 0 && ++passes > loopCount) {
        stop();
        return;
    }
    // The label keeps its zoom and fit: only the picture changes.
    label->setImage(frame->picture);
    timer.start(qMax(0, frame->reply.frameDelay));
}
