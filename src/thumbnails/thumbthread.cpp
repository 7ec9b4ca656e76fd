// SPDX-License-Identifier: GPL-3.0-or-later
#include "thumbthread.h"

#include "loader.h"
#include "sharedthumbnails.h"
#include "smoothreduction.h"
#include "thumbqueue.h"

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

// Three bytes a pixel instead of four for a thumbnail that is opaque, as photographs are: ten
// thousand of them then hold 140 MiB instead of 190 at a ratio of 1. Painting converts the few
// cells in view on the fly.
QImage compactThumbnail(const QImage &thumbnail)
{
    if (thumbnail.isNull() || thumbnail.hasAlphaChannel())
        return thumbnail;
    return thumbnail.convertToFormat(QImage::Format_RGB888);
}

} // namespace

int thumbnailSide(qreal devicePixelRatio)
{
    return qMax(1, qRound(kThumbnailSize * devicePixelRatio));
}

QImage scaleThumbnail(const QImage &picture, qreal devicePixelRatio)
{
    // A picture that could not be read stays null; scaling it would only print a warning.
    if (picture.isNull())
        return picture;
    const int side = thumbnailSide(devicePixelRatio);
    QImage thumbnail =
        smoothlyReduced(picture, picture.size().scaled(side, side, Qt::KeepAspectRatio));
    thumbnail.setDevicePixelRatio(devicePixelRatio);
    return thumbnail;
}

ThumbThread::ThumbThread() : QThread(nullptr) {}

ThumbThread::~ThumbThread()
{
    stop();
    wait();
}

void ThumbThread::render(const QStringList &files)
{
    render(std::make_shared<ThumbQueue>(files, 1.0));
}

void ThumbThread::render(std::shared_ptr<ThumbQueue> queue)
{
    this->queue = std::move(queue);
    start(QThread::LowPriority);
}

void ThumbThread::stop()
{
    abort = true;
    // The command runner watches for this: quitting must not wait for a full conversion.
    requestInterruption();
}

void ThumbThread::run()
{
#ifdef Q_OS_LINUX
    setpriority(PRIO_PROCESS, gettid(), kThumbnailWorkerNice);
#endif
    const qreal ratio = queue->devicePixelRatio();
    // Twice the thumbnail's size keeps the smooth scaling below as sharp as from the whole.
    const int leastSide = 2 * thumbnailSide(ratio);
    // One decoding buffer for all this worker's pictures: the pictures of a folder mostly share
    // a size, and a fresh full-size buffer per picture costs the kernel a good part of a decode.
    QImage buffer;
    // The flag is read before every file, after every load and after every scaling, so a
    // superseded worker gives up its processor as soon as the step in progress ends.
    while (!abort) {
        const int row = queue->take();
        if (row < 0)
            return;
        const QString &path = queue->files().at(row);
        // A thumbnail that the desktop already made spares decoding the whole picture.
        const QImage shared = sharedThumbnail(path, ratio);
        QImage thumbnail;
        if (!shared.isNull()) {
            thumbnail = compactThumbnail(scaleThumbnail(shared, ratio));
        } else {
            Orientation orientation = QImageIOHandler::TransformationNone;
            const bool loaded = loadImage(path, true, buffer, orientation, leastSide);
            if (abort)
                return;
            // Turned and converted to sRGB once small: the same picture for a fraction of the
            // work.
            if (loaded)
                thumbnail =
                    compactThumbnail(finishPicture(scaleThumbnail(buffer, ratio), orientation));
        }
        if (abort)
            return;
        // A picture already of thumbnail size comes back sharing what was read: the buffer, which
        // the next read would then have to allocate afresh, or a decoder's memory.
        if (!thumbnail.isNull() && (thumbnail.constBits() == buffer.constBits() ||
                                    thumbnail.constBits() == shared.constBits()))
            thumbnail = thumbnail.copy();
        emit renderedImage(thumbnail, row);
    }
}
