// SPDX-License-Identifier: GPL-3.0-or-later
#include "fullscreenmode.h"

#include <QAbstractScrollArea>
#include <QCoreApplication>
#include <QDockWidget>
#include <QFrame>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
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
    views.clear();
    viewPositions.clear();
    for (QAbstractScrollArea *view : window->findChildren<QAbstractScrollArea *>()) {
        if (view != window->centralWidget() && view->isVisible()) {
            views.append(view);
            viewPositions.append(
                QPoint(view->horizontalScrollBar()->value(), view->verticalScrollBar()->value()));
        }
    }
    hiddenParts.clear();
    for (QWidget *part : parts) {
        if (!part->isHidden()) {
            hiddenParts.append(part);
            part->hide();
        }
    }
    pane = qobject_cast<QFrame *>(window->centralWidget());
    if (pane) {
        paneFrame = pane->frameStyle();
        pane->setFrameStyle(QFrame::NoFrame);
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
    if (pane)
        pane->setFrameStyle(paneFrame);
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
    // A message shown while the status bar was hidden, such as the slideshow's last, could not
    // hide the bar's other texts, which were not visible then: shown anew now (the bar ignores
    // the same message again), it replaces them rather than being drawn over them.
    const QString message = window->statusBar()->currentMessage();
    if (!message.isEmpty()) {
        window->statusBar()->clearMessage();
        window->statusBar()->showMessage(message);
    }
    window->resizeDocks(dockedDocks, dockWidths, Qt::Horizontal);
    window->resizeDocks(dockedDocks, dockHeights, Qt::Vertical);
    restoreViews();
}

void FullScreenMode::restoreViews()
{
    // The views lay themselves out again once they are shown, and only then can scroll as far.
    QCoreApplication::sendPostedEvents();
    for (int i = 0; i < views.size(); ++i) {
        if (!views.at(i))
            continue;
        views.at(i)->horizontalScrollBar()->setValue(viewPositions.at(i).x());
        views.at(i)->verticalScrollBar()->setValue(viewPositions.at(i).y());
    }
}
