// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FULLSCREENMODE_H
#define FULLSCREENMODE_H

#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>

class QAbstractScrollArea;
class QDockWidget;
class QFrame;
class QMainWindow;

// The picture pane alone on the whole screen, without its frame: the window's docks, menu bar
// and status bar are hidden while it lasts, and leaving puts the window back as it was, in size,
// place and parts, the views in the docks scrolled as they were.
class FullScreenMode : public QObject
{
public:
    // A child of window, which it serves for its whole life.
    explicit FullScreenMode(QMainWindow *window);

    bool isActive() const { return active; }
    void enter();
    void leave();

private:
    void restoreViews();

    QMainWindow *window;
    bool active = false;
    QRect savedGeometry;
    Qt::WindowStates savedStates;
    // Only what was showing comes back: a dock the user had closed stays closed.
    QList<QPointer<QWidget>> hiddenParts;
    // The docks in the window's frame and their sizes, which the main window's layout would
    // otherwise share out anew when they come back.
    QList<QDockWidget *> dockedDocks;
    QList<int> dockWidths;
    QList<int> dockHeights;
    // The central widget's frame, taken off while the pane covers the screen.
    QPointer<QFrame> pane;
    int paneFrame = 0;
    // Where the views in the docks stood: hidden and shown again, they scroll back to the top.
    QList<QPointer<QAbstractScrollArea>> views;
    QList<QPoint> viewPositions;
};

#endif
