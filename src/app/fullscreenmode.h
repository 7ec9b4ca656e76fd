// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FULLSCREENMODE_H
#define FULLSCREENMODE_H

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QWidget>

class QDockWidget;
class QMainWindow;

// The picture pane alone on the whole screen: the window's docks, menu bar and status bar are
// hidden while it lasts, and leaving puts the window back as it was, in size, place and parts.
class FullScreenMode : public QObject
{
public:
    // A child of window, which it serves for its whole life.
    explicit FullScreenMode(QMainWindow *window);

    bool isActive() const { return active; }
    void enter();
    void leave();

private:
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
};

#endif
