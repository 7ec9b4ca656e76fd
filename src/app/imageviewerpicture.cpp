// SPDX-License-Identifier: GPL-3.0-or-later
// The window's Picture menu, its information dock, the list of keys, the slideshow and the
// picture pane's context menu: additions for looking at a photo closely, kept apart from the
// window's construction.

#include "fullscreenmode.h"
#include "imagelabel.h"
#include "imagescroll.h"
#include "imageviewer.h"
#include "informationdock.h"
#include "picturelist.h"
#include "shortcutswindow.h"
#include "thumbview.h"

#include <QAction>
#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>

namespace {

constexpr int kSlideshowInterval = 4000; // milliseconds per picture

} // namespace

void ImageViewer::createPictureActions()
{
    rotateLeftAction = new QAction(tr("Rotate &Left"), this);
    rotateLeftAction->setShortcut(QKeySequence(tr("Ctrl+L")));
    connect(rotateLeftAction, &QAction::triggered, this, [this] { rotatePicture(-1); });

    rotateRightAction = new QAction(tr("Rotate &Right"), this);
    rotateRightAction->setShortcut(QKeySequence(tr("Ctrl+R")));
    connect(rotateRightAction, &QAction::triggered, this, [this] { rotatePicture(1); });

    copyAction = new QAction(tr("&Copy"), this);
    copyAction->setShortcut(QKeySequence(tr("Ctrl+C")));
    connect(copyAction, &QAction::triggered, this, &ImageViewer::copyPicture);

    informationDock = new InformationDock(this);
    addDockWidget(Qt::RightDockWidgetArea, informationDock);
    informationDock->hide();
    informationAction = informationDock->toggleViewAction();
    informationAction->setShortcut(QKeySequence(tr("Ctrl+I")));

    slideshowAction = new QAction(tr("&Slideshow"), this);
    slideshowAction->setShortcut(QKeySequence(Qt::Key_F5));
    connect(slideshowAction, &QAction::triggered, this, &ImageViewer::toggleSlideshow);
    slideshowTimer = new QTimer(this);
    // Started again once each picture is in, so that a slow conversion does not shorten the next
    // picture's turn.
    slideshowTimer->setSingleShot(true);
    slideshowTimer->setInterval(kSlideshowInterval);
    connect(slideshowTimer, &QTimer::timeout, this, &ImageViewer::advanceSlideshow);

    for (QAction *action : {rotateLeftAction, rotateRightAction, copyAction, slideshowAction})
        action->setEnabled(false);

    pictureMenu = new QMenu(tr("&Picture"), this);
    pictureMenu->addAction(rotateLeftAction);
    pictureMenu->addAction(rotateRightAction);
    pictureMenu->addSeparator();
    pictureMenu->addAction(copyAction);
    pictureMenu->addSeparator();
    pictureMenu->addAction(informationAction);
    pictureMenu->addAction(slideshowAction);
    menuBar()->insertMenu(convertAction, pictureMenu);

    shortcutsAction = new QAction(tr("&Keyboard Shortcuts"), this);
    shortcutsAction->setShortcut(QKeySequence(Qt::Key_F1));
    connect(shortcutsAction, &QAction::triggered, this, &ImageViewer::showShortcuts);
    helpMenu->addAction(shortcutsAction);

    // Right-clicking the picture offers what is done to it, and the zoom.
    auto *separator = new QAction(this);
    separator->setSeparator(true);
    imageScroll->setContextMenuPolicy(Qt::ActionsContextMenu);
    imageScroll->addActions({rotateLeftAction, rotateRightAction, copyAction, informationAction,
                             slideshowAction, separator, zoomInAction, zoomOutAction,
                             normalSizeAction, fitToWindowAction});

    // The menu bar that carries these shortcuts is hidden in full screen; the window is not.
    addActions({rotateLeftAction, rotateRightAction, copyAction, informationAction, slideshowAction,
                shortcutsAction});
}

void ImageViewer::pictureShown()
{
    if (slideshowRunning) {
        // A step by hand during the show, or its own, while the timer waited for the read.
        if (!slideshowTimer->isActive() && !slideshowPaused)
            slideshowTimer->start();
    } else {
        // What the last show skipped has been seen by now.
        statusBar()->clearMessage();
    }
    for (QAction *action : {rotateLeftAction, rotateRightAction, copyAction, slideshowAction})
        action->setEnabled(true);
    informationDock->showPicture(shownFile, imageLabel->image());
    updateCount();
}

void ImageViewer::rotatePicture(int quarters)
{
    imageLabel->rotate(quarters);
    informationDock->showPicture(shownFile, imageLabel->image());
}

void ImageViewer::copyPicture()
{
    QGuiApplication::clipboard()->setImage(imageLabel->image());
}

void ImageViewer::showShortcuts()
{
    if (!shortcutsWindow)
        shortcutsWindow = new ShortcutsWindow(this);
    shortcutsWindow->showList();
}

void ImageViewer::toggleSlideshow()
{
    if (slideshowRunning) {
        leaveFullScreen();
        return;
    }
    slideshowRunning = true;
    slideshowPaused = false;
    slideshowSkipped.clear();
    statusBar()->clearMessage();
    // Each picture whole on the screen, whatever the zoom before; leaving brings the zoom back.
    fittedBeforeSlideshow = fitToWindowAction->isChecked();
    if (!fittedBeforeSlideshow)
        fitToWindowAction->trigger();
    if (!fullScreen->isActive())
        toggleFullScreen();
    // Full screen hides it, but it carries the count that says how far the show has come.
    statusBar()->show();
    slideshowTimer->start();
}

void ImageViewer::endSlideshow()
{
    slideshowTimer->stop();
    if (!slideshowRunning)
        return;
    slideshowRunning = false;
    if (fitToWindowAction->isChecked() != fittedBeforeSlideshow)
        fitToWindowAction->trigger();
}

void ImageViewer::pauseOrResumeSlideshow()
{
    slideshowPaused = !slideshowPaused;
    if (slideshowPaused)
        slideshowTimer->stop();
    else
        slideshowTimer->start();
}

void ImageViewer::advanceSlideshow()
{
    const QString next = neighbourPicture(currentFile, 1, thumbView->order());
    // After the last picture the slideshow ends, and the window comes back.
    if (next.isEmpty()) {
        leaveFullScreen();
        return;
    }
    loadFile(next);
}

void ImageViewer::skipInSlideshow(const QString &path)
{
    // A box would stop the show until someone came to dismiss it: the status bar, seen when the
    // show ends, names what was skipped.
    slideshowSkipped << QFileInfo(path).fileName();
    statusBar()->showMessage(
        tr("The slideshow skipped what it cannot load: %1").arg(slideshowSkipped.join(", ")));
    advanceSlideshow();
}
