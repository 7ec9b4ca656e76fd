// SPDX-License-Identifier: GPL-3.0-or-later
#include "panereader.h"

#include "command.h"
#include "decoderpool.h"
#include "loader.h"

#include <QThread>

#include <algorithm>

PaneReader::PaneReader(QObject *parent) : QObject(parent) {}

PaneReader::~PaneReader()
{
    cancel();
    for (const auto &read : running) {
        read->thread->wait();
        delete read->thread;
    }
}

void PaneReader::read(const QString &path, const QSize &cover, const Preparation &prepare)
{
    cancel();
    // Started at once: a read given up ends within moments (its decoder is ended), so the
    // processors are soon the newest read's alone.
    auto read = std::make_unique<Read>();
    read->id = asked;
    read->path = path;
    read->cover = cover;
    Read *started = read.get();
    started->thread = QThread::create([this, started, prepare] {
        // Printed when the picture is shown, and not at all for one passed meanwhile.
        holdPrintedLines(&started->lines);
        // The next step, which may end this read's decoder, finds one started.
        DecoderPool::keepSpares(true);
        bool stoodIn = false;
        const auto standIn = [this, started, &stoodIn](const QImage &reduced,
                                                       const QSize &fullSize) {
            stoodIn = true;
            QMetaObject::invokeMethod(this, [this, started, reduced, fullSize] {
                // The worker is still running: it ends only after this arrived.
                if (started->id == asked)
                    emit standInRead(started->path, reduced, fullSize);
            });
        };
        started->picture = loadImage(started->path, started->cover, standIn);
        holdPrintedLines(nullptr);
        // A stand-in shows until the pane has made the full picture's copy itself.
        if (prepare && !stoodIn && !started->picture.isNull() &&
            !QThread::currentThread()->isInterruptionRequested())
            started->prepared = prepare(started->picture);
        // Passed by a newer opening, which ended its decoder: the next read is not to wait for
        // another one to start.
        if (QThread::currentThread()->isInterruptionRequested())
            DecoderPool::prepare();
    });
    connect(started->thread, &QThread::finished, this, [this, started] { finished(started); });
    running.push_back(std::move(read));
    started->thread->start();
}

void PaneReader::cancel()
{
    ++asked;
    // The command runner and the decoder's wait watch for this: a decoder at work ends at once.
    for (const auto &read : running)
        read->thread->requestInterruption();
}

void PaneReader::finished(Read *read)
{
    read->thread->wait();
    delete read->thread;
    const auto it =
        std::find_if(running.begin(), running.end(),
                     [read](const std::unique_ptr<Read> &one) { return one.get() == read; });
    const std::unique_ptr<Read> done = std::move(*it);
    running.erase(it);
    if (done->id != asked)
        return;
    for (const QByteArray &line : std::as_const(done->lines))
        printLine(line);
    // Last: the receiver may open a box, and with it an event loop that finishes other reads.
    emit pictureRead(done->path, done->picture, done->prepared);
}
