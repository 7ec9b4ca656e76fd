// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoderpool.h"

#include "command.h"
#include "paths.h"

#include <QFile>
#include <QImageReader>
#include <QDeadlineTimer>
#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include <algorithm>
#include <atomic>
#include <map>
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
// How long a new decoder may take to load its readers and lock itself down.
constexpr int kStartTimeLimit = 20000;
// How often a request that waits for a spare to start looks whether it was given up.
constexpr int kStopLookInterval = 10;

struct Pool
{
    QMutex mutex;
    QWaitCondition changed;
    bool ending = false;
    std::thread watchdog;
    // Ended with the process (each client ends its decoder), so that none is left behind.
    std::vector<Idle> idle;
    // The spares being started, by nice value, and the threads that start them.
    std::map<int, int> starting;
    int starters = 0;

    ~Pool()
    {
        QMutexLocker lock(&mutex);
        ending = true;
        changed.wakeAll();
        // A spare's start is short, and none outlives the pool.
        while (starters > 0)
            changed.wait(&mutex);
        lock.unlock();
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

// Whether the decoders the calling thread borrows are replaced by spares (DecoderPool::keepSpares).
thread_local bool sparesKept = false;

// Starts a decoder for threads of nice (the caller's) in the background and makes it idle once it
// has answered a first request: by then it has loaded its readers and locked itself down, so
// that the request that takes it waits for nothing. Unless one is idle or starting already.
// Called with the pool's lock held.
void keepSpare(int nice)
{
    Pool &spares = pool();
    if (spares.ending || spares.starting[nice] > 0)
        return;
    for (const Idle &one : spares.idle) {
        if (one.nice == nice)
            return;
    }
    ++spares.starting[nice];
    ++spares.starters;
    // A new thread, and the decoder it starts, inherit the caller's nice value.
    std::thread([nice] {
        auto decoder = std::make_unique<DecoderClient>();
        DecoderRequest request;
        request.kind = DecoderRequest::Formats;
        DecoderReply reply;
        askDecoder(*decoder, request, QString(), kStartTimeLimit, reply);
        Pool &spares = pool();
        QMutexLocker lock(&spares.mutex);
        --spares.starting[nice];
        if (!spares.ending && decoder->isUsable() && int(spares.idle.size()) < kMostIdle) {
            spares.idle.push_back({nice, std::move(decoder)});
            if (!spares.watchdog.joinable())
                spares.watchdog = std::thread(watch);
        }
        lock.unlock();
        // Ended outside the lock: ending waits for the process.
        decoder.reset();
        lock.relock();
        --spares.starters;
        spares.changed.wakeAll();
    }).detach();
}

// On Linux the nice value is the calling thread's, and a process started by it inherits it.
int callerNice()
{
    return ::getpriority(PRIO_PROCESS, 0);
}

} // namespace

std::unique_ptr<DecoderClient> DecoderPool::borrow()
{
    const int nice = callerNice();
    QMutexLocker lock(&pool().mutex);
    std::vector<Idle> &idle = pool().idle;
    for (;;) {
        const auto it = std::find_if(idle.rbegin(), idle.rend(),
                                     [nice](const Idle &one) { return one.nice == nice; });
        if (it != idle.rend()) {
            std::unique_ptr<DecoderClient> found = std::move(it->decoder);
            idle.erase(std::next(it).base());
            // The next request finds the next one started.
            if (sparesKept)
                keepSpare(nice);
            lock.unlock();
            if (found->isUsable())
                return found;
            // Ended outside the lock: ending waits for the process.
            found.reset();
            return borrow();
        }
        // A request given up meanwhile needs none.
        if (commandsEnded())
            return nullptr;
        // A spare that is starting is nearer to answering than a decoder started now.
        if (pool().starting[nice] == 0 || pool().ending)
            break;
        pool().changed.wait(&pool().mutex, QDeadlineTimer(kStopLookInterval));
    }
    if (sparesKept)
        keepSpare(nice);
    lock.unlock();
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
    QMutexLocker lock(&pool().mutex);
    keepSpare(callerNice());
}

void DecoderPool::keepSpares(bool keep)
{
    sparesKept = keep;
}

void DecoderPool::endIdle()
{
    // Ended after the lock is let go, as it goes: ending waits for the processes.
    std::vector<Idle> ending;
    QMutexLocker lock(&pool().mutex);
    // A spare being started would be idle a moment later.
    while (pool().starters > 0)
        pool().changed.wait(&pool().mutex);
    ending.swap(pool().idle);
}

bool DecoderPool::sandboxMissing()
{
    return decoderSandboxMissing;
}

bool askDecoder(DecoderClient &decoder, const DecoderRequest &request, const QString &path,
                int timeout, DecoderReply &reply, QImage *picture, int passedGrace)
{
    QFile file(path);
    if (!path.isEmpty() && !openRegularFile(file))
        return false;
    DecoderRequest sent = request;
    sent.allocationLimit = QImageReader::allocationLimit();
    const bool answered =
        decoder.request(sent, path.isEmpty() ? -1 : file.handle(), timeout, reply, passedGrace);
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
                DecoderReply &reply, QImage *picture, int passedGrace)
{
    // Given up before it started: no decoder is taken, and none ended.
    if (commandsEnded())
        return false;
    std::unique_ptr<DecoderClient> decoder = DecoderPool::borrow();
    if (!decoder)
        return false;
    const bool answered =
        askDecoder(*decoder, request, path, timeout, reply, picture, passedGrace);
    DecoderPool::giveBack(std::move(decoder));
    return answered;
}
