// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SLIDESHOW_H
#define SLIDESHOW_H

#include <QObject>
#include <QStringList>

#include <functional>

class QAction;
class QStatusBar;
class QTimer;

// Picture › Slideshow (F5): the folder's pictures in turn, each fitted to the full screen for a
// while, Space holding the show and letting it go on. What cannot be read is skipped and named
// in the status bar, where a box would stop the show until someone came to dismiss it.
class Slideshow : public QObject
{
    Q_OBJECT

public:
    // fitToWindow is the window's View › Fit to Window, which the show checks while it runs;
    // status carries its messages; nextPicture gives the picture after the one opened last, empty
    // after the last.
    Slideshow(QAction *fitToWindow, QStatusBar *status, std::function<QString()> nextPicture,
              QObject *parent);

    QAction *action() const { return slideshowAction; }
    // From F5 until the show ends; its timer is idle while the next picture is read.
    bool isRunning() const { return running; }
    const QTimer *timer() const { return slideshowTimer; }

    // F5: starts the show, or ends it.
    void toggle();
    // Stops the show, if one runs, and gives the pane back its zoom mode.
    void end();
    // Space while the show runs: a pause in it or its going on.
    void pauseOrResume();
    void advance();
    // The picture of path could not be read: the show goes on past it.
    void skip(const QString &path);
    // A picture is on the screen: its turn begins.
    void pictureShown();

signals:
    // The show starts and wants the full screen.
    void fullScreenWanted();
    // The show is over and leaves the full screen, which it lasts as long as.
    void leaveWanted();
    void openRequested(const QString &path);

private:
    QAction *fitToWindowAction;
    QStatusBar *statusBar;
    std::function<QString()> nextPicture;
    QAction *slideshowAction = nullptr;
    QTimer *slideshowTimer = nullptr;
    bool running = false;
    // Space holds the show on the picture it is at, until Space again.
    bool paused = false;
    // The show fits every picture to the screen; the user's mode comes back after it.
    bool fittedBefore = true;
    QStringList skipped;
};

#endif
