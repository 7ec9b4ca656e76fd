// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef ANIMATIONPLAYER_H
#define ANIMATIONPLAYER_H

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class DecoderClient;
class ImageLabel;
struct DecoderReply;

// Plays the frames of an animated picture (GIF, WebP) in the pane with the file's own delays
// and loop count, each frame shown in sRGB as a still picture is. A still picture starts
// nothing: no timer runs for it. The frames are read by a decoder process that the player
// keeps while the animation plays.
class AnimationPlayer : public QObject
{
    Q_OBJECT

public:
    explicit AnimationPlayer(ImageLabel *label, QObject *parent = nullptr);
    ~AnimationPlayer() override;

    // Stops what plays, then plays the file at path if it has more than one frame.
    void play(const QString &path);
    void stop();
    bool isPlaying() const;

private:
    void showNextFrame();
    // Asks for a frame and shows it; stops when none comes or the last pass has ended.
    void showFrame(int kind, const QString &path);

    ImageLabel *label;
    std::unique_ptr<DecoderClient> decoder;
    QTimer timer;
    int loopCount = 0;
    int passes = 0;
};

#endif
