// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef THUMBTHREAD_H
#define THUMBTHREAD_H

#include <QImage>
#include <QStringList>
#include <QThread>

#include <atomic>

// Thumbnails are at most this many pixels wide and high.
constexpr int kThumbnailSize = 80;

// The largest picture that fits in kThumbnailSize x kThumbnailSize with the same proportions;
// small pictures are enlarged, a null picture stays null. Palette pictures come out in 32-bit
// colours; the colour space stays that of picture.
QImage scaleThumbnail(const QImage &picture);

// Renders the thumbnails of a list of pictures, one signal per picture in list order.
class ThumbThread : public QThread
{
    Q_OBJECT

public:
    ThumbThread();
    ~ThumbThread() override;

    // Call once, right after construction.
    void render(const QStringList &files);
    // Asks the worker to end after the step in progress, and ends at once the decoder that the
    // step may be waiting for; does not wait.
    void stop();

signals:
    void renderedImage(const QImage &image, int index);

protected:
    void run() override;

private:
    std::atomic<bool> abort{false};
    QStringList files;
};

#endif
