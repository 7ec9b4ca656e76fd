// SPDX-License-Identifier: GPL-3.0-or-later
#include "takendates.h"

#include "loader.h"
#include "thumbthread.h"

#include <QCoreApplication>
#include <QDir>
#include <QHash>
#include <QMutex>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <vector>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

// A few at a time: a folder's dates are in within seconds, while the thumbnail workers keep
// most of the processors for the grid.
constexpr int kDateReaders = 2;

// A file as it was when its date was read: a file changed since is read again.
struct Stamp
{
    qint64 size = -1;
    qint64 modified = 0;

    bool operator==(const Stamp &other) const
    {
        return size == other.size && modified == other.modified;
    }
    static Stamp of(const QFileInfo &file)
    {
        const QDateTime modified = file.lastModified();
        return {file.size(), modified.isValid() ? modified.toMSecsSinceEpoch() : 0};
    }
};

struct Known
{
    Stamp stamp;
    QDateTime taken;
};

// Written by the user-interface thread only, once the dates of a whole list are in; read by
// whichever thread orders a folder.
struct Cache
{
    QMutex mutex;
    QHash<QString, Known> dates;
};

// The one name of a file, however the folder was named.
QString keyOf(const QFileInfo &file)
{
    return QDir::cleanPath(file.absoluteFilePath());
}

Cache &cache()
{
    static Cache instance;
    return instance;
}

} // namespace

struct TakenDates::Job
{
    QStringList paths;
    // Each slot written by the reader that took its index, read once all readers are done.
    std::vector<Known> read;
    std::atomic<int> next{0};
    // The readers still at work; the user-interface thread's alone.
    int running = 0;
};

TakenDates::TakenDates(QObject *parent) : QObject(parent)
{
    // As the thumbnail workers: no reader may run into the application's teardown.
    if (const QCoreApplication *application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, &TakenDates::stop);
}

TakenDates::~TakenDates()
{
    stop();
    for (QThread *reader : findChildren<QThread *>(Qt::FindDirectChildrenOnly))
        reader->wait();
}

std::optional<QDateTime> TakenDates::lookup(const QFileInfo &file)
{
    const QString path = keyOf(file);
    const Stamp stamp = Stamp::of(file);
    QMutexLocker lock(&cache().mutex);
    const auto found = cache().dates.constFind(path);
    if (found == cache().dates.cend() || !(found->stamp == stamp))
        return std::nullopt;
    return found->taken;
}

bool TakenDates::known(const QStringList &pictures)
{
    return std::all_of(pictures.cbegin(), pictures.cend(),
                       [](const QString &path) { return lookup(QFileInfo(path)).has_value(); });
}

void TakenDates::read(const QStringList &pictures)
{
    stop();
    auto job = std::make_shared<Job>();
    for (const QString &path : pictures) {
        if (!lookup(QFileInfo(path)))
            job->paths << path;
    }
    if (job->paths.isEmpty())
        return;
    job->read.resize(job->paths.size());
    current = job;
    const int readers = qMin(kDateReaders, int(job->paths.size()));
    for (int i = 0; i < readers; ++i) {
        QThread *reader = QThread::create([job] {
#ifdef Q_OS_LINUX
            // Behind the user's work, as the thumbnail workers are, and sharing their decoders.
            setpriority(PRIO_PROCESS, gettid(), kThumbnailWorkerNice);
#endif
            const QThread *self = QThread::currentThread();
            for (int index = job->next++; index < job->paths.size(); index = job->next++) {
                if (self->isInterruptionRequested())
                    return;
                const QString &path = job->paths.at(index);
                // Before the read, so that a change during it shows as a change afterwards.
                const Stamp stamp = Stamp::of(QFileInfo(path));
                job->read[index] = {stamp, loadMetadata(path).dateTaken};
            }
        });
        reader->setParent(this);
        ++job->running;
        connect(reader, &QThread::finished, this, [this, job, reader] {
            reader->deleteLater();
            finishReader(job);
        });
        reader->start(QThread::LowPriority);
    }
}

void TakenDates::stop()
{
    current.reset();
    // The decoder that a reader waits for is ended at once (commandsEnded).
    for (QThread *reader : findChildren<QThread *>(Qt::FindDirectChildrenOnly))
        reader->requestInterruption();
}

void TakenDates::finishReader(const std::shared_ptr<Job> &job)
{
    if (--job->running > 0 || job != current)
        return;
    current.reset();
    {
        QMutexLocker lock(&cache().mutex);
        for (qsizetype i = 0; i < job->paths.size(); ++i)
            cache().dates.insert(keyOf(QFileInfo(job->paths.at(i))), job->read[i]);
    }
    emit datesRead();
}
