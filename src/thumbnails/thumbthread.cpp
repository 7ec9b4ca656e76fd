#include "thumbthread.h"

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
    // The command runner watches for this: quitting must not wait for a full conversion.
    requestInterruption();
}

void ThumbThread::run()
{
#ifdef Q_OS_LINUX
    setpriority(PRIO_PROCESS, gettid(), kWorkerNice);
#endif
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
