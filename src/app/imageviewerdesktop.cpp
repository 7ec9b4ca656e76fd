// SPDX-License-Identifier: GPL-3.0-or-later
// The window's desktop habits: opening from the command line or a drop, stepping through the
// folder, Ctrl + wheel, full screen, the status bar and the icon. They are additions beside the
// menus, so they live apart from the window's construction.

#include "droptarget.h"
#include "folderreveal.h"
#include "fullscreenmode.h"
#include "imagelabel.h"
#include "imagescroll.h"
#include "imageviewer.h"
#include "labelgeometry.h"
#include "picturelist.h"
#include "readahead.h"
#include "reduction.h"
#include "statustext.h"
#include "thumbview.h"

#include <QAction>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QStatusBar>
#include <QTimer>

#include <cstdlib>

void ImageViewer::createDesktopActions()
{
    setWindowIcon(QIcon(QStringLiteral(":/velmora-viewer.svg")));

    // Menu shortcuts go through the menu bar, which full screen hides; the window itself keeps
    // them working there.
    addActions({openAction, printAction, exitAction, zoomInAction, zoomOutAction,
                normalSizeAction, fitToWindowAction});

    nextAction = new QAction(tr("Next Picture"), this);
    nextAction->setShortcut(QKeySequence(Qt::Key_Space));
    connect(nextAction, &QAction::triggered, this, &ImageViewer::showNext);

    previousAction = new QAction(tr("Previous Picture"), this);
    previousAction->setShortcut(QKeySequence(Qt::Key_Backspace));
    connect(previousAction, &QAction::triggered, this, &ImageViewer::showPrevious);

    fullScreenAction = new QAction(tr("Full Screen"), this);
    fullScreenAction->setShortcut(QKeySequence(Qt::Key_F11));
    connect(fullScreenAction, &QAction::triggered, this, &ImageViewer::toggleFullScreen);

    // Enabled only in full screen, so that Esc keeps its meaning everywhere else.
    leaveFullScreenAction = new QAction(tr("Leave Full Screen"), this);
    leaveFullScreenAction->setShortcut(QKeySequence(Qt::Key_Escape));
    leaveFullScreenAction->setEnabled(false);
    connect(leaveFullScreenAction, &QAction::triggered, this, &ImageViewer::leaveFullScreen);

    addActions({nextAction, previousAction, fullScreenAction, leaveFullScreenAction});

    statusLabel = new QLabel;
    statusBar()->addWidget(statusLabel);
    connect(imageLabel, &ImageLabel::viewChanged, this, &ImageViewer::updateStatus);

    folderReveal = new FolderReveal(folderTree, dirModel);
    folderReveal->reveal(startFolder());
    dropTarget = new DropTarget(this);
    connect(dropTarget, &DropTarget::pathDropped, this, &ImageViewer::openPath);
    fullScreen = new FullScreenMode(this);
    readAhead = new ReadAhead(this);

    connect(imageScroll, &ImageScroll::zoomRequested, this, &ImageViewer::zoomByWheel);
    connect(imageScroll, &ImageScroll::stepRequested, this, &ImageViewer::step);
}

void ImageViewer::openPath(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        showFolder(info.absoluteFilePath());
        return;
    }
    // A path that does not exist still goes to loadFile, whose box names it.
    if (info.exists())
        showFolder(info.absolutePath());
    loadFile(info.absoluteFilePath());
}

void ImageViewer::showFolder(const QString &folder)
{
    // As a double-click in the tree would: the folder current there, its pictures in the grid.
    folderReveal->reveal(folder);
    readAhead->showFolder(folder);
    thumbView->setDirectory(folder);
}

void ImageViewer::showNext()
{
    step(1);
}

void ImageViewer::showPrevious()
{
    step(-1);
}

void ImageViewer::step(int offset)
{
    if (currentFile.isEmpty())
        return;
    const QString path = neighbourPicture(currentFile, offset);
    if (!path.isEmpty())
        loadFile(path);
}

void ImageViewer::toggleFullScreen()
{
    if (fullScreen->isActive())
        leaveFullScreen();
    else {
        fullScreen->enter();
        leaveFullScreenAction->setEnabled(true);
    }
}

void ImageViewer::leaveFullScreen()
{
    leaveFullScreenAction->setEnabled(false);
    // A slideshow lasts as long as its full screen.
    slideshowTimer->stop();
    fullScreen->leave();
}

void ImageViewer::zoomByWheel(int notches)
{
    // From fit, the first notch leaves it as a click on Fit to Window would, and zooms from the
    // scale the picture was fitted at rather than from its own size.
    // The scale is set first, while fit ignores it, so that the label changes size only once.
    if (notches != 0 && fitToWindowAction->isChecked() && fitToWindowAction->isEnabled()) {
        imageLabel->setScaleFactor(fittedScale(imageScroll->size(), imageLabel->image().size()));
        fitToWindowAction->trigger();
    }
    // Through the actions, so that the wheel zooms exactly when Zoom In and Zoom Out may.
    QAction *action = notches > 0 ? zoomInAction : zoomOutAction;
    for (int i = 0; i < std::abs(notches) && action->isEnabled(); ++i)
        action->trigger();
}

void ImageViewer::updateStatus()
{
    if (shownFile.isEmpty())
        return;
    statusLabel->setText(pictureStatus(shownFile, imageLabel->image().size(),
                                       imageLabel->isFitMode(), imageLabel->scaleFactor(),
                                       originalSize(imageLabel->image())));
}
