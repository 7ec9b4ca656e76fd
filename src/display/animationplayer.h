// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef ANIMATIONPLAYER_H
#define ANIMATIONPLAYER_H

#include <QFutureWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class DecoderClient;
class ImageLabel;

// Plays the frames of an animated picture (GIF, WebP) in the pane with the file's own delays
// and loop count, each frame shown in sRGB as a still picture is. A still picture starts
// nothing: its own read said that it does not play, and no decoder is asked. The frames are
// read in the background by a decoder process that the player keeps while the animation plays:
// the window never waits for one.
class AnimationPlayer : public QObject
{
    Q_OBJECT

public:
    explicit AnimationPlayer(ImageLabel *label, QObject *parent = nullptr);
    ~AnimationPlayer() override;

    // Stops what plays, then plays the file at path if the label's picture, read from it, is an
    // animation (reduction.h).
    void play(const QString &path);
    void stop();
    // Whether a frame is awaited or shown for its time.
    bool isPlaying() const;

private:
    struct Frame;
    // Asks for a frame in the background; it is shown when it comes.
    void request(int kind, const QString &path);
    void show(const std::shared_ptr<Frame> &frame);

    ImageLabel *label;
    std::unique_ptr<DecoderClient> decoder;
    QFutureWatcher<std::shared_ptr<Frame>> reading;
    bool waiting = false;
    // Counts the animations played: a frame read for one that was stopped meanwhile is dropped.
    quint64 animation = 0;
    QTimer timer;
    int loopCount = 0;
    int passes = 0;
};

#endif
