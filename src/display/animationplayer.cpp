// SPDX-License-Identifier: GPL-3.0-or-later
#include "animationplayer.h"

#include "appearance.h"
#include "imagelabel.h"

#include <QImageReader>
#include <QMovie>

AnimationPlayer::AnimationPlayer(ImageLabel *label, QObject *parent) : QObject(parent), label(label)
{
}

void AnimationPlayer::play(const QString &path)
{
    stop();
    // Only formats whose frames are meant to play: a TIFF's pages (a camera raw file's
    // previews among them) are no animation. The count comes from the file's headers.
    QImageReader reader(path);
    if (!reader.supportsAnimation() || reader.imageCount() <= 1)
        return;
    movie = new QMovie(path, QByteArray(), this);
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
