// SPDX-License-Identifier: GPL-3.0-or-later
// The window's desktop habits: opening from the command line or a drop, stepping through the
// folder, Ctrl + wheel, full screen, the status bar and the icon. They are additions beside the
// menus, so they live apart from the window's construction.

#include "droptarget.h"
#include "fileactions.h"
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
#include <QPixmap>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>

#include <cstdlib>

namespace {

// Milliseconds of reading before the window shows that it is loading: less passes unnoticed.
constexpr int kLoadingDelay = 150;
// The picture under the pointer while it is dragged out of the pane.
constexpr QSize kDragPictureSize(96, 96);

} // namespace

void ImageViewer::createDesktopActions()
{
    setWindowIcon(QIcon(QStringLiteral(":/velmora-viewer.svg")));

    // Menu shortcuts go through the menu bar, which full screen hides; the window itself keeps
    // them working there.
    addActions({openAction, printAction, exitAction, zoomInAction, zoomOutAction,
                normalSizeAction, fitToWindowAction, keepZoomAction});

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

    dropTarget = new DropTarget(this);
    connect(dropTarget, &DropTarget::pathDropped, this, &ImageViewer::openPath);
    fullScreen = new FullScreenMode(this);
    readAhead = new ReadAhead(this);
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

    // After what the pane's menu does to the picture: what hands its file to the desktop.
    paneFileActions = new FileActions(this);
    auto *separator = new QAction(this);
    separator->setSeparator(true);
    imageScroll->addActions(
        {separator, paneFileActions->showInFileManagerAction(), paneFileActions->openWithAction()});
    connect(imageScroll, &ImageScroll::dragRequested, this, &ImageViewer::dragPictureOut);
    thumbnailFileActions = new FileActions(this);
    thumbView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(thumbView, &QWidget::customContextMenuRequested, this, &ImageViewer::showThumbnailMenu);
}

void ImageViewer::openPath(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        showFolder(info.absoluteFilePath());
        return;
    }
    // At launch the folder waits until the picture is on the screen. A path that does not exist
    // still goes to loadFile, whose box names it.
    if (launching())
        launchFolder = info.exists() ? info.absolutePath() : QString();
    else if (info.exists())
        showFolder(info.absolutePath());
    loadFile(info.absoluteFilePath());
}

void ImageViewer::showFolder(const QString &folder)
{
    // As a double-click in the tree would: the folder current there, its pictures in the grid.
    startBrowsing();
    folderReveal->reveal(folder);
    readAhead->showFolder(folder);
    thumbView->setDirectory(folder);
}

void ImageViewer::showNext()
{
    if (slideshowRunning)
        pauseOrResumeSlideshow();
    else
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
    const QString path = neighbourPicture(currentFile, offset, thumbView->order());
    if (!path.isEmpty())
        loadFile(path);
}

void ImageViewer::showThumbnailMenu(const QPoint &at)
{
    const QString path = thumbView->filePath(thumbView->indexAt(at).row());
    if (path.isEmpty())
        return;
    thumbnailFileActions->setFile(path);
    thumbnailFileActions->popUp(thumbView->viewport()->mapToGlobal(at),
                                [this, path] { loadFile(path); });
}

void ImageViewer::dragPictureOut()
{
    // Fast: a large picture must not hold up the start of the drag.
    const QImage shown = imageLabel->image().scaled(kDragPictureSize, Qt::KeepAspectRatio);
    paneFileActions->drag(imageScroll, QPixmap::fromImage(shown));
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
    // The grid came back scrolled as it was, which the steps taken meanwhile may have left
    // behind; hidden, it could not follow them.
    thumbView->setCurrentFile(currentFile);
}

void ImageViewer::zoomByWheel(int notches, const QPoint &at)
{
    keepPointWhile(at, [this, notches] {
        // From fit, the first notch leaves it as a click on Fit to Window would, and zooms from the
        // scale the picture was fitted at rather than from its own size.
        // The scale is set first, while fit ignores it, so that the label changes size only once.
        if (notches != 0 && fitToWindowAction->isChecked() && fitToWindowAction->isEnabled()) {
            imageLabel->setScaleFactor(imageLabel->shownScale());
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
    const QRectF before = imageLabel->pictureArea();
    QPoint values = scrollValues();
    // The bars stand where the last zoom here had to leave them: aim at the point it aimed at.
    if (at == zoomAnchor.at && before == zoomAnchor.drawn && values == zoomAnchor.values)
        values = zoomAnchor.wanted;
    change();
    const QRectF after = imageLabel->pictureArea();
    const QPoint kept = anchoredScrollValues(values, at, before, after);
    scrollTo(kept);
    zoomAnchor = {at, after, scrollValues(), kept};
}

void ImageViewer::updateStatus()
{
    if (shownFile.isEmpty())
        return;
    statusLabel->setText(pictureStatus(shownFile, imageLabel->pictureSize(),
                                       imageLabel->isFitMode(), imageLabel->shownScale(),
                                       originalSize(imageLabel->image())));
}
