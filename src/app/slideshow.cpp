// SPDX-License-Identifier: GPL-3.0-or-later
#include "slideshow.h"

#include <QAction>
#include <QFileInfo>
#include <QStatusBar>
#include <QTimer>

namespace {

constexpr int kSlideshowInterval = 4000; // milliseconds per picture

} // namespace

Slideshow::Slideshow(QAction *fitToWindow, QStatusBar *status, std::function<QString()> nextPicture,
                     QObject *parent)
    : QObject(parent), fitToWindowAction(fitToWindow), statusBar(status),
      nextPicture(std::move(nextPicture))
{
    slideshowAction = new QAction(tr("&Slideshow"), this);
    slideshowAction->setShortcut(QKeySequence(Qt::Key_F5));
    slideshowAction->setEnabled(false);
    connect(slideshowAction, &QAction::triggered, this, &Slideshow::toggle);
    slideshowTimer = new QTimer(this);
    // Started again once each picture is in, so that a slow conversion does not shorten the next
    // picture's turn.
    slideshowTimer->setSingleShot(true);
    slideshowTimer->setInterval(kSlideshowInterval);
    connect(slideshowTimer, &QTimer::timeout, this, &Slideshow::advance);
}

void Slideshow::pictureShown()
{
    if (running) {
        // A step by hand during the show, or its own, while the timer waited for the read.
        if (!slideshowTimer->isActive() && !paused)
            slideshowTimer->start();
    } else {
        // What the last show skipped has been seen by now.
        statusBar->clearMessage();
    }
    slideshowAction->setEnabled(true);
}

void Slideshow::toggle()
{
    if (running) {
        emit leaveWanted();
        return;
    }
    running = true;
    paused = false;
    skipped.clear();
    statusBar->clearMessage();
    // Each picture whole on the screen, whatever the zoom before; leaving brings the zoom back.
    fittedBefore = fitToWindowAction->isChecked();
    if (!fittedBefore)
        fitToWindowAction->trigger();
    emit fullScreenWanted();
    // Full screen hides it, but it carries the count that says how far the show has come.
    statusBar->show();
    slideshowTimer->start();
}

void Slideshow::end()
{
    slideshowTimer->stop();
    if (!running)
        return;
    running = false;
    if (fitToWindowAction->isChecked() != fittedBefore)
        fitToWindowAction->trigger();
}

void Slideshow::pauseOrResume()
{
    paused = !paused;
    if (paused)
        slideshowTimer->stop();
    else
        slideshowTimer->start();
}

void Slideshow::advance()
{
    const QString next = nextPicture();
    // After the last picture the slideshow ends, and the window comes back.
    if (next.isEmpty()) {
        emit leaveWanted();
        return;
    }
    emit openRequested(next);
}

void Slideshow::skip(const QString &path)
{
    // A box would stop the show until someone came to dismiss it: the status bar, seen when the
    // show ends, names what was skipped.
    skipped << QFileInfo(path).fileName();
    statusBar->showMessage(
        tr("The slideshow skipped what it cannot load: %1").arg(skipped.join(", ")));
    advance();
}
