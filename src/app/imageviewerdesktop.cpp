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
#include "panereader.h"
#include "picturelist.h"
#include "readahead.h"
#include "reduction.h"
#include "statustext.h"
#include "thumbview.h"

#include <QAction>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>

#include <cstdlib>

namespace {

// Milliseconds of reading before the window shows that it is loading: less passes unnoticed.
constexpr int kLoadingDelay = 150;

} // namespace

void ImageViewer::createDesktopActions()
{
    setWindowIcon(QIcon(QStringLiteral(":/velmora-viewer.svg")));

    // Menu shortcuts go through the menu bar, which full screen hides; the window itself keeps
    // them working there.
    addActions({openAction, printAction, exitAction, zoomInAction, zoomOutAction,
                normalSizeAction, fitToWindowAction});

    // Ctrl++ needs Shift on most keyboards; the key that carries + zooms in without it too.
    zoomInAction->setShortcuts({zoomInAction->shortcut(), QKeySequence(tr("Ctrl+="))});

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
    paneReader = new PaneReader(this);
    loadingDelay = new QTimer(this);
    loadingDelay->setSingleShot(true);
    loadingDelay->setInterval(kLoadingDelay);
    connect(loadingDelay, &QTimer::timeout, this, &ImageViewer::showLoading);
    // Beside the picture's line, and not hidden by the messages that come and go over it.
    loadingLabel = new QLabel;
    statusBar()->addPermanentWidget(loadingLabel);
    loadingLabel->hide();
    // Without the pane's smooth copy, which would hold up the first sight of the picture: the
    // pane makes it itself a moment after.
    connect(paneReader, &PaneReader::pictureRead, this,
            [this](const QString &path, const QImage &picture) {
                showRead(path, picture, QImage());
            });
    connect(paneReader, &PaneReader::standInRead, this, &ImageViewer::showStandIn);

    connect(imageScroll, &ImageScroll::zoomRequested, this, &ImageViewer::zoomByWheel);
    connect(imageScroll, &ImageScroll::pictureDoubleClicked, this, &ImageViewer::toggleActualSize);
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

void ImageViewer::showLoading()
{
    imageScroll->setBusy(true);
    loadingLabel->setText(tr("Loading %1...").arg(QFileInfo(currentFile).fileName()));
    loadingLabel->show();
}

void ImageViewer::endLoading()
{
    loadingDelay->stop();
    imageScroll->setBusy(false);
    loadingLabel->hide();
}

void ImageViewer::toggleFullScreen()
{
    if (fullScreen->isActive())
        leaveFullScreen();
    else {
        fullScreen->enter();
        // Without the pane's frame the picture can reach the screen's edges.
        imageLabel->parentResized();
        leaveFullScreenAction->setEnabled(true);
    }
}

void ImageViewer::leaveFullScreen()
{
    leaveFullScreenAction->setEnabled(false);
    // A slideshow lasts as long as its full screen.
    endSlideshow();
    fullScreen->leave();
    // Its frame is back: the label fits inside it again.
    imageLabel->parentResized();
}

void ImageViewer::zoomByWheel(int notches, const QPoint &at)
{
    keepPointWhile(at, [this, notches] {
        // From fit, the first notch leaves it as a click on Fit to Window would, and zooms from the
        // scale the picture was fitted at rather than from its own size.
        // The scale is set first, while fit ignores it, so that the label changes size only once.
        if (notches != 0 && fitToWindowAction->isChecked() && fitToWindowAction->isEnabled()) {
            imageLabel->setScaleFactor(
                fittedScale(imageLabel->areaSize(), imageLabel->pictureSize()));
            fitToWindowAction->trigger();
        }
        // Through the actions, so that the wheel zooms exactly when Zoom In and Zoom Out may.
        QAction *action = notches > 0 ? zoomInAction : zoomOutAction;
        for (int i = 0; i < std::abs(notches) && action->isEnabled(); ++i)
            action->trigger();
    });
}

void ImageViewer::toggleActualSize(const QPoint &at)
{
    if (!fitToWindowAction->isEnabled())
        return;
    // From any zoom, the whole picture again.
    if (!fitToWindowAction->isChecked()) {
        fitToWindowAction->trigger();
        return;
    }
    // Fit ignores the scale, so that the label changes size only once: when fit goes.
    keepPointWhile(at, [this] {
        imageLabel->setScaleFactor(1.0);
        fitToWindowAction->trigger();
    });
}

void ImageViewer::keepPointWhile(const QPoint &at, const std::function<void()> &change)
{
    const auto shown = [this] {
        return drawnRect(imageLabel->size(), imageLabel->pictureSize(), imageLabel->isFitMode(),
                         imageLabel->scaleFactor());
    };
    QScrollBar *across = imageScroll->horizontalScrollBar();
    QScrollBar *down = imageScroll->verticalScrollBar();
    const QRect before = shown();
    const QPoint values(across->value(), down->value());
    change();
    const QPoint kept = anchoredScrollValues(values, at, before, shown());
    across->setValue(kept.x());
    down->setValue(kept.y());
}

void ImageViewer::updateStatus()
{
    if (shownFile.isEmpty())
        return;
    statusLabel->setText(pictureStatus(shownFile, imageLabel->pictureSize(),
                                       imageLabel->isFitMode(), imageLabel->scaleFactor(),
                                       originalSize(imageLabel->image())));
}
