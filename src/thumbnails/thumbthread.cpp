// SPDX-License-Identifier: GPL-3.0-or-later
#include "thumbthread.h"

#include "appearance.h"
#include "loader.h"

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

// Linux's normal scheduler ignores QThread's priorities; a nice value of the worker's own
// thread is what keeps it behind the user-interface thread.
constexpr int kWorkerNice = 10;

} // namespace

QImage scaleThumbnail(const QImage &picture)
{
    // A picture that could not be read stays null; scaling it would only print a warning.
    if (picture.isNull())
        return picture;
    return withoutPalette(picture).scaled(QSize(kThumbnailSize, kThumbnailSize),
                                          Qt::KeepAspectRatio, Qt::SmoothTransformation);
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
    // The command runner watches for this: quitting must not wait for a full conversion.
    requestInterruption();
}

void ThumbThread::run()
{
#ifdef Q_OS_LINUX
    setpriority(PRIO_PROCESS, gettid(), kWorkerNice);
#endif
    // One decoding buffer for the whole list: the pictures of a folder mostly share a size, and
    // a fresh full-size buffer per picture costs the kernel a good part of a decode.
    QImage buffer;
    // The flag is read before every file, after every load and after every scaling, so a
    // superseded worker gives up its processor as soon as the step in progress ends.
    for (int i = 0; i < files.size() && !abort; ++i) {
        Orientation orientation = QImageIOHandler::TransformationNone;
        // Twice the thumbnail's size keeps the smooth scaling below as sharp as from the whole.
        const bool loaded = loadImage(files.at(i), true, buffer, orientation, 2 * kThumbnailSize);
        if (abort)
            return;
        // Turned and converted to sRGB once small: the same picture for a fraction of the work.
        QImage thumbnail =
            loaded ? finishPicture(scaleThumbnail(buffer), orientation) : QImage();
        if (abort)
            return;
        // A picture already of thumbnail size comes back sharing the buffer; the next read would
        // then have to allocate afresh.
        if (!thumbnail.isNull() && thumbnail.constBits() == buffer.constBits())
            thumbnail = thumbnail.copy();
        emit renderedImage(thumbnail, i);
    }
}
