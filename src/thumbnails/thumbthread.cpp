#include "thumbthread.h"

#include "loader.h"

QImage scaleThumbnail(const QImage &picture)
{
    return picture.scaled(QSize(kThumbnailSize, kThumbnailSize), Qt::KeepAspectRatio,
                          Qt::SmoothTransformation);
}

ThumbThread::ThumbThread() : QThread(nullptr) {}

ThumbThread::~ThumbThread()
{
    stop();
    wait();
}

void ThumbThread::render(const QStringList &files)
{
    this->files = files;
    start(QThread::LowPriority);
}

void ThumbThread::stop()
{
    abort = true;
}

void ThumbThread::run()
{
    // The flag is read before every file, after every load and after every scaling, so a
    // superseded worker gives up its processor as soon as the step in progress ends.
    for (int i = 0; i < files.size() && !abort; ++i) {
        const QImage picture = loadImage(files.at(i), true);
        if (abort)
            return;
        const QImage thumbnail = scaleThumbnail(picture);
        if (abort)
            return;
        emit renderedImage(thumbnail, i);
    }
}
