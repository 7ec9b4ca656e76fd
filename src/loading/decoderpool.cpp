// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoderpool.h"

#include "command.h"
#include "paths.h"

#include <QFile>
#include <QImageReader>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

// Idle decoders kept beyond what the threads that read at once use up are ended.
const int kMostIdle = QThread::idealThreadCount() + 4;

struct Idle
{
    int nice;
    std::unique_ptr<DecoderClient> decoder;
};

// How often the idle decoders are looked at for one that spins or starts threads: a decoder taken
// over by a hostile file may answer as asked and then work for someone else.
constexpr int kWatchInterval = 1000;

struct Pool
{
    QMutex mutex;
    QWaitCondition changed;
    bool ending = false;
    std::thread watchdog;
    // Ended with the process (each client ends its decoder), so that none is left behind.
    std::vector<Idle> idle;

    ~Pool()
    {
        {
            QMutexLocker lock(&mutex);
            ending = true;
        }
        changed.wakeAll();
        if (watchdog.joinable())
            watchdog.join();
    }
};

Pool &pool()
{
    static Pool instance;
    return instance;
}

// Ends the idle decoders that do what an honest one does not (DecoderClient::behaves). Only
// decoders the pool holds are looked at, under its lock, so none can be reaped meanwhile.
void watch()
{
    Pool &watched = pool();
    QMutexLocker lock(&watched.mutex);
    while (!watched.ending) {
        if (watched.idle.empty())
            watched.changed.wait(&watched.mutex);
        else
            watched.changed.wait(&watched.mutex, QDeadlineTimer(kWatchInterval));
        std::vector<Idle> astray;
        for (auto it = watched.idle.begin(); it != watched.idle.end();) {
            if (it->decoder->behaves()) {
                ++it;
                continue;
            }
            astray.push_back(std::move(*it));
            it = watched.idle.erase(it);
        }
        // Ended outside the lock: ending waits for the process.
        lock.unlock();
        astray.clear();
        lock.relock();
    }
}

std::atomic<bool> decoderSandboxMissing{false};

// On Linux the nice value is the calling thread's, and a process started by it inherits it.
int callerNice()
{
    return ::getpriority(PRIO_PROCESS, 0);
}

} // namespace

std::unique_ptr<DecoderClient> DecoderPool::borrow()
{
    const int nice = callerNice();
    {
        QMutexLocker lock(&pool().mutex);
        std::vector<Idle> &idle = pool().idle;
        for (auto it = idle.rbegin(); it != idle.rend(); ++it) {
            if (it->nice != nice)
                continue;
            std::unique_ptr<DecoderClient> found = std::move(it->decoder);
            idle.erase(std::next(it).base());
            if (found->isUsable())
                return found;
            // Ended outside the lock below, not here: ending waits for the process.
            lock.unlock();
            found.reset();
            return borrow();
        }
    }
    return std::make_unique<DecoderClient>();
}

void DecoderPool::giveBack(std::unique_ptr<DecoderClient> decoder)
{
    if (!decoder || !decoder->isUsable())
        return;
    const int nice = callerNice();
    QMutexLocker lock(&pool().mutex);
    if (int(pool().idle.size()) >= kMostIdle)
        return;
    pool().idle.push_back({nice, std::move(decoder)});
    if (!pool().watchdog.joinable())
        pool().watchdog = std::thread(watch);
    pool().changed.wakeAll();
}

void DecoderPool::prepare()
{
    const int nice = callerNice();
    {
        QMutexLocker lock(&pool().mutex);
        for (const Idle &one : pool().idle) {
            if (one.nice == nice)
                return;
        }
    }
    giveBack(std::make_unique<DecoderClient>());
}

void DecoderPool::endIdle()
{
    std::vector<Idle> ending;
    {
        QMutexLocker lock(&pool().mutex);
        ending.swap(pool().idle);
    }
}

bool DecoderPool::sandboxMissing()
{
    return decoderSandboxMissing;
}

bool askDecoder(DecoderClient &decoder, const DecoderRequest &request, const QString &path,
                int timeout, DecoderReply &reply, QImage *picture)
{
    QFile file(path);
    if (!path.isEmpty() && !openRegularFile(file))
        return false;
    DecoderRequest sent = request;
    sent.allocationLimit = QImageReader::allocationLimit();
    const bool answered =
        decoder.request(sent, path.isEmpty() ? -1 : file.handle(), timeout, reply);
    if (reply.sandboxMissing)
        decoderSandboxMissing = true;
    // Said here as the readers said it there: what the viewer printed when it read in-process,
    // without what a terminal would take for a command.
    for (const auto &[type, text] : std::as_const(reply.messages))
        qt_message_output(type == QtFatalMsg ? QtCriticalMsg : QtMsgType(type),
                          QMessageLogContext(), printable(text));
    if (!answered || !picture)
        return answered;
    *picture = decoder.picture(reply);
    // A picture that does not fit what the decoder says of it: the decoder is not sound.
    if (picture->isNull() && reply.ok) {
        decoder.end();
        return false;
    }
    return true;
}

bool askDecoder(const DecoderRequest &request, const QString &path, int timeout,
                DecoderReply &reply, QImage *picture)
{
    std::unique_ptr<DecoderClient> decoder = DecoderPool::borrow();
    const bool answered = askDecoder(*decoder, request, path, timeout, reply, picture);
    DecoderPool::giveBack(std::move(decoder));
    return answered;
}
