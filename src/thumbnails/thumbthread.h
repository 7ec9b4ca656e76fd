// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef THUMBTHREAD_H
#define THUMBTHREAD_H

#include <QImage>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <memory>

class ThumbQueue;

// Thumbnails are at most this many points wide and high.
constexpr int kThumbnailSize = 80;

// Linux's normal scheduler ignores QThread's priorities; a nice value of each worker's own
// thread is what keeps it behind the user-interface thread.
constexpr int kThumbnailWorkerNice = 10;

// The thumbnail's side in device pixels on a screen of devicePixelRatio.
int thumbnailSide(qreal devicePixelRatio);

// The largest picture that fits in the thumbnail square at devicePixelRatio with the same
// proportions, marked with that ratio so that it draws in kThumbnailSize points; small pictures
// are enlarged, a null picture stays null. Palette pictures come out in 32-bit colours; the
// colour space stays that of picture.
QImage scaleThumbnail(const QImage &picture, qreal devicePixelRatio = 1);

// Renders thumbnails of a list of pictures, one signal per picture, with its row in the list.
class ThumbThread : public QThread
{
    Q_OBJECT

public:
    ThumbThread();
    ~ThumbThread() override;

    // Call one of these once, right after construction: alone over files, in list order, at a
    // ratio of 1; or with the other workers of queue, the rows in the order it hands them out.
    void render(const QStringList &files);
    void render(std::shared_ptr<ThumbQueue> queue);
    // Asks the worker to end after the step in progress, and ends at once the decoder that the
    // step may be waiting for; does not wait.
    void stop();

signals:
    void renderedImage(const QImage &image, int index);

protected:
    void run() override;

private:
    std::atomic<bool> abort{false};
    std::shared_ptr<ThumbQueue> queue;
};

#endif
