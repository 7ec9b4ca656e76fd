// SPDX-License-Identifier: GPL-3.0-or-later
#include "stepreader.h"

#include "command.h"
#include "loader.h"

#include <QThread>

#include <algorithm>

namespace {

// A picture being decoded cannot be stopped, only its result dropped. Beside one such read the
// newest starts at once on the other core; a third would only slow both, so it waits for a worker
// and, if the user steps on meanwhile, is replaced before it starts.
constexpr std::size_t kMostReads = 2;

} // namespace

StepReader::StepReader(QObject *parent) : QObject(parent) {}

StepReader::~StepReader()
{
    cancel();
    for (const auto &read : running) {
        read->thread->wait();
        delete read->thread;
    }
}

void StepReader::read(const QString &path)
{
    cancel();
    pending = std::make_unique<Read>();
    pending->id = asked;
    pending->path = path;
    startPending();
}

void StepReader::cancel()
{
    ++asked;
    pending.reset();
    // The command runner watches for this: a raw decoder ends at once.
    for (const auto &read : running)
        read->thread->requestInterruption();
}

void StepReader::startPending()
{
    if (!pending || running.size() >= kMostReads)
        return;
    Read *read = pending.get();
    read->thread = QThread::create([read] {
        // Printed when the picture is shown, and not at all for one passed meanwhile.
        holdPrintedLines(&read->lines);
        read->picture = loadImage(read->path, false);
        holdPrintedLines(nullptr);
    });
    connect(read->thread, &QThread::finished, this, [this, read] { finished(read); });
    running.push_back(std::move(pending));
    read->thread->start();
}

void StepReader::finished(Read *read)
{
    read->thread->wait();
    delete read->thread;
    const auto it =
        std::find_if(running.begin(), running.end(),
                     [read](const std::unique_ptr<Read> &one) { return one.get() == read; });
    const std::unique_ptr<Read> done = std::move(*it);
    running.erase(it);
    startPending();
    if (done->id != asked)
        return;
    for (const QByteArray &line : std::as_const(done->lines))
        printLine(line);
    // Last: the receiver may open a box, and with it an event loop that finishes other reads.
    emit pictureRead(done->path, done->picture);
}
