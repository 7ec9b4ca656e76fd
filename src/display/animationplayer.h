// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef ANIMATIONPLAYER_H
#define ANIMATIONPLAYER_H

#include <QObject>
#include <QString>

class ImageLabel;
class QMovie;

// Plays the frames of an animated picture (GIF, WebP) in the pane with the file's own delays
// and loop count, each frame shown in sRGB as a still picture is. A still picture starts
// nothing: no timer runs for it.
class AnimationPlayer : public QObject
{
    Q_OBJECT

public:
    explicit AnimationPlayer(ImageLabel *label, QObject *parent = nullptr);

    // Stops what plays, then plays the file at path if it has more than one frame.
    void play(const QString &path);
    void stop();
    bool isPlaying() const;

private:
    void showFrame();

    ImageLabel *label;
    QMovie *movie = nullptr;
};

#endif
