// SPDX-License-Identifier: GPL-3.0-or-later
#include "fullscreenmode.h"

#include <QDockWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>

FullScreenMode::FullScreenMode(QMainWindow *window) : QObject(window), window(window) {}

void FullScreenMode::enter()
{
    if (active)
        return;
    active = true;
    savedGeometry = window->geometry();
    savedStates = window->windowState();

    QList<QWidget *> parts{window->menuBar(), window->statusBar()};
    dockedDocks.clear();
    dockWidths.clear();
    dockHeights.clear();
    for (QDockWidget *dock : window->findChildren<QDockWidget *>(Qt::FindDirectChildrenOnly)) {
        parts.append(dock);
        if (!dock->isHidden() && !dock->isFloating()) {
            dockedDocks.append(dock);
            dockWidths.append(dock->width());
            dockHeights.append(dock->height());
        }
    }
    hiddenParts.clear();
    for (QWidget *part : parts) {
        if (!part->isHidden()) {
            hiddenParts.append(part);
            part->hide();
        }
    }
    // Covering the screen first: without a window manager nobody else does, and moving a
    // window that is already in full screen takes it out again.
    if (QScreen *screen = window->screen())
        window->setGeometry(screen->geometry());
    window->showFullScreen();
}

void FullScreenMode::leave()
{
    if (!active)
        return;
    active = false;
    // The window first, so that the docks come back into a window of their old size.
    window->setWindowState(savedStates);
    // The geometry of the window itself, not saveGeometry's: that one guesses at a frame, and
    // with no window manager to draw one the window would come back lower each time.
    if (!(savedStates & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        window->setGeometry(savedGeometry);
    for (const QPointer<QWidget> &part : hiddenParts) {
        if (part)
            part->show();
    }
    hiddenParts.clear();
    window->resizeDocks(dockedDocks, dockWidths, Qt::Horizontal);
    window->resizeDocks(dockedDocks, dockHeights, Qt::Vertical);
}
