#include "animationplayer.h"

#include "appearance.h"
#include "imagelabel.h"

#include <QMovie>

AnimationPlayer::AnimationPlayer(ImageLabel *label, QObject *parent) : QObject(parent), label(label)
{
}

void AnimationPlayer::play(const QString &path)
{
    stop();
    auto *next = new QMovie(path, QByteArray(), this);
    // The frame count comes from the file's headers: a still picture is never started.
    if (!next->isValid() || next->frameCount() <= 1) {
        delete next;
        return;
    }
    movie = next;
    connect(movie, &QMovie::frameChanged, this, &AnimationPlayer::showFrame);
    movie->start();
}

void AnimationPlayer::stop()
{
    delete movie;
    movie = nullptr;
}

bool AnimationPlayer::isPlaying() const
{
    return movie && movie->state() == QMovie::Running;
}

void AnimationPlayer::showFrame()
{
    // The label keeps its zoom and fit: only the picture changes.
    label->setImage(toSrgb(movie->currentImage()));
}
