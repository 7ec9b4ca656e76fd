// SPDX-License-Identifier: GPL-3.0-or-later
#include "readahead.h"

#include "command.h"
#include "loader.h"
#include "picturelist.h"

#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QThread>
#include <QThreadPool>

#include <algorithm>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

// Two 24-megapixel pictures take 200 MB; a second very large one is not worth its memory.
constexpr qint64 kReadAheadBytes = qint64(1) << 30;
// Linux's normal scheduler ignores QThread's priorities; the thread's own nice value keeps the
// reading, and the decoder that it starts, behind the user's work.
constexpr int kReaderNice = 10;

// The form in which the folder listing names its pictures.
QString listedPath(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString folderOf(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

template <typename Entries> qint64 totalBytes(const Entries &entries)
{
    qint64 total = 0;
    for (const auto &entry : entries)
        total += entry.picture.sizeInBytes() + entry.prepared.sizeInBytes();
    return total;
}

} // namespace

ReadAhead::Stamp ReadAhead::Stamp::of(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return {};
    Stamp stamp{info.size(), info.lastModified().toMSecsSinceEpoch(), 0};
#ifndef Q_OS_WIN
    // A file replaced by another of the same size within the same millisecond still differs.
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) == 0)
        stamp.inode = status.st_ino;
#endif
    return stamp;
}

ReadAhead::ReadAhead(QObject *parent) : QObject(parent) {}

ReadAhead::~ReadAhead()
{
    stopReading();
    if (worker) {
        worker->wait();
        delete worker;
    }
}

QImage ReadAhead::take(const QString &path, QImage *prepared)
{
    const QString listed = listedPath(path);
    // Before the caller reads the file itself, so that a change during that read shows later.
    openingStamp = Stamp::of(listed);
    std::optional<Entry> found;
    {
        QMutexLocker lock(&mutex);
        const auto it = std::find_if(held.begin(), held.end(), [&listed](const Entry &entry) {
            return entry.path == listed;
        });
        if (it != held.end()) {
            found = std::move(*it);
            held.erase(it);
        }
    }
    if (found && openingStamp.isValid() && found->stamp == openingStamp) {
        for (const QByteArray &line : std::as_const(found->lines))
            printLine(line);
        if (prepared)
            *prepared = found->prepared;
        return found->picture;
    }
    stopReading();
    return QImage();
}

void ReadAhead::follow(const QString &path, const QImage &picture, const Preparation &prepare)
{
    const QString listed = listedPath(path);
    const QFileInfo file(listed);
    const QFileInfo last(shown.path);
    const bool sameFolder = !shown.path.isEmpty() && file.absolutePath() == last.absolutePath();
    if (sameFolder && listed != shown.path)
        direction = comesBefore(listed, shown.path, order) ? -1 : 1;

    stopReading();
    QList<Entry> dropped;
    if (listed != shown.path) {
        QMutexLocker lock(&mutex);
        // What lay beside the last picture lies beside this one only when it is that picture.
        dropped.swap(held);
        if (sameFolder && !shown.picture.isNull())
            held.append(std::move(shown));
    }
    // Giving a large picture's memory back takes the kernel milliseconds, which belong neither
    // between the key and the painted picture nor in the way of the next read.
    if (!dropped.isEmpty())
        QThreadPool::globalInstance()->start([dropped = std::move(dropped)] {});
    shown = {listed, openingStamp, picture, {}, {}};
    pending = Job{listed, direction, order, generation, prepare};
    startPending();
}

void ReadAhead::keepShown(const QString &path, const QImage &picture)
{
    if (listedPath(path) == shown.path)
        shown.picture = picture;
}

void ReadAhead::showFolder(const QString &folder)
{
    if (!shown.path.isEmpty() && folderOf(shown.path) == listedPath(folder))
        return;
    stopReading();
    QMutexLocker lock(&mutex);
    held.clear();
    shown = {};
}

qint64 ReadAhead::heldBytes() const
{
    QMutexLocker lock(&mutex);
    return totalBytes(held);
}

void ReadAhead::stopReading()
{
    {
        QMutexLocker lock(&mutex);
        ++generation;
    }
    pending.reset();
    // The command runner watches for this: a raw decoder ends at once.
    if (worker)
        worker->requestInterruption();
}

void ReadAhead::startPending()
{
    // One worker at a time: one that was given up may still be decoding a picture that Qt cannot
    // interrupt, and a second beside it would only double the memory and the processor it takes.
    if (worker || !pending)
        return;
    worker = QThread::create(&ReadAhead::read, this, *pending);
    pending.reset();
    connect(worker, &QThread::finished, this, [this] {
        worker->wait();
        delete worker;
        worker = nullptr;
        startPending();
    });
    worker->start(QThread::LowPriority);
}

void ReadAhead::read(const Job &job)
{
#ifdef Q_OS_LINUX
    setpriority(PRIO_PROCESS, gettid(), kReaderNice);
#endif
    // Listed here rather than on the user-interface thread: a large folder takes a while.
    const QStringList targets = {neighbourPicture(job.path, job.direction, job.order),
                                 neighbourPicture(job.path, -job.direction, job.order)};
    {
        QMutexLocker lock(&mutex);
        if (job.generation != generation)
            return;
        held.removeIf([&targets](const Entry &entry) { return !targets.contains(entry.path); });
    }
    for (const QString &target : targets) {
        if (QThread::currentThread()->isInterruptionRequested())
            return;
        const auto isTarget = [&target](const Entry &entry) { return entry.path == target; };
        QImage unprepared;
        {
            QMutexLocker lock(&mutex);
            const auto it = std::find_if(held.cbegin(), held.cend(), isTarget);
            if (target.isEmpty())
                continue;
            if (it != held.cend()) {
                // The picture left behind was shown, not read here: only its copy is missing.
                if (job.prepare && it->prepared.isNull())
                    unprepared = it->picture;
                else
                    continue;
            }
        }
        if (!unprepared.isNull()) {
            const QImage prepared = job.prepare(unprepared);
            QMutexLocker lock(&mutex);
            const auto it = std::find_if(held.begin(), held.end(), isTarget);
            if (job.generation == generation && it != held.end())
                it->prepared = prepared;
            continue;
        }
        Entry entry{target, Stamp::of(target), QImage(), {}, {}};
        holdPrintedLines(&entry.lines);
        entry.picture = loadImage(target, false);
        holdPrintedLines(nullptr);
        if (job.prepare && !entry.picture.isNull())
            entry.prepared = job.prepare(entry.picture);
        // A picture that cannot be read is left to the read at opening, which reports it.
        if (!entry.picture.isNull() && !store(std::move(entry), targets, job.generation))
            return;
    }
}

bool ReadAhead::store(Entry entry, const QStringList &targets, quint64 job)
{
    QMutexLocker lock(&mutex);
    if (job != generation)
        return false;
    held.append(std::move(entry));
    // The direction of travel first: over the budget, the other side goes.
    std::sort(held.begin(), held.end(), [&targets](const Entry &a, const Entry &b) {
        return targets.indexOf(a.path) < targets.indexOf(b.path);
    });
    while (!held.isEmpty() && totalBytes(held) > kReadAheadBytes)
        held.removeLast();
    return true;
}
