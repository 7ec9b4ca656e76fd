// SPDX-License-Identifier: GPL-3.0-or-later
// The window's parts, made and wired, and its desktop habits: opening from the command line or a
// drop, stepping through the folder, Ctrl + wheel, full screen, the status bar and the icon. They
// are additions beside the menus, so they live apart from the window's construction.

#include "browsingorder.h"
#include "colourtransform.h"
#include "desktophandovers.h"
#include "droptarget.h"
#include "folderreveal.h"
#include "fullscreenmode.h"
#include "imagelabel.h"
#include "imagescroll.h"
#include "imageviewer.h"
#include "monitorcolours.h"
#include "paths.h"
#include "picturearrival.h"
#include "picturecommands.h"
#include "picturelist.h"
#include "readahead.h"
#include "reduction.h"
#include "slideshow.h"
#include "statustext.h"
#include "thumbdelegate.h"
#include "thumbview.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

#include <cstdlib>

void ImageViewer::createParts()
{
    slideshow = new Slideshow(
        fitToWindowAction, statusBar(),
        [this] { return neighbourPicture(currentFile, 1, thumbView->order()); }, this);
    connect(slideshow, &Slideshow::openRequested, this, &ImageViewer::loadFile);
    connect(slideshow, &Slideshow::leaveWanted, this, &ImageViewer::leaveFullScreen);
    connect(slideshow, &Slideshow::fullScreenWanted, this, [this] {
        if (!fullScreen->isActive())
            toggleFullScreen();
    });
    QAction *slideshowAction = slideshow->action();
    commands = new PictureCommands(this, imageLabel, slideshowAction);
    menuBar()->insertMenu(convertAction, commands->menu());
    helpMenu->addAction(commands->shortcutsAction());
    const QList<QAction *> pictureActions{commands->rotateLeftAction(),
                                          commands->rotateRightAction(), commands->copyAction(),
                                          commands->informationAction(), slideshowAction};

    // Right-clicking the picture offers what is done to it, and the zoom.
    auto *separator = new QAction(this);
    separator->setSeparator(true);
    imageScroll->setContextMenuPolicy(Qt::ActionsContextMenu);
    imageScroll->addActions(pictureActions);
    imageScroll->addActions(
        {separator, zoomInAction, zoomOutAction, normalSizeAction, fitToWindowAction});

    // Menu shortcuts go through the menu bar, which full screen hides; the window itself keeps
    // them working there.
    addActions(pictureActions);
    addActions({commands->shortcutsAction(), openAction, printAction, exitAction, zoomInAction,
                zoomOutAction, normalSizeAction, fitToWindowAction, arrival->keepZoomAction()});

    setWindowIcon(QIcon(QStringLiteral(":/velmora-viewer.svg")));

    // Ctrl++ needs Shift on most keyboards; the key that carries + zooms in without it too.
    zoomInAction->setShortcuts({zoomInAction->shortcut(), QKeySequence(tr("Ctrl+="))});

    // Space: the next picture, or, while a slideshow runs, a pause in it or its going on.
    nextAction = new QAction(tr("Next Picture"), this);
    nextAction->setShortcut(QKeySequence(Qt::Key_Space));
    connect(nextAction, &QAction::triggered, this, [this] {
        if (slideshow->isRunning())
            slideshow->pauseOrResume();
        else
            step(1);
    });

    previousAction = new QAction(tr("Previous Picture"), this);
    previousAction->setShortcut(QKeySequence(Qt::Key_Backspace));
    connect(previousAction, &QAction::triggered, this, [this] { step(-1); });

    fullScreenAction = new QAction(tr("Full Screen"), this);
    fullScreenAction->setShortcut(QKeySequence(Qt::Key_F11));
    connect(fullScreenAction, &QAction::triggered, this, &ImageViewer::toggleFullScreen);

    // Enabled only in full screen, so that Esc keeps its meaning everywhere else.
    leaveFullScreenAction = new QAction(tr("Leave Full Screen"), this);
    leaveFullScreenAction->setShortcut(QKeySequence(Qt::Key_Escape));
    leaveFullScreenAction->setEnabled(false);
    connect(leaveFullScreenAction, &QAction::triggered, this, &ImageViewer::leaveFullScreen);

    addActions({nextAction, previousAction, fullScreenAction, leaveFullScreenAction});

    // Home and End reach the pane, which takes them itself where it has the keys, so that the
    // tree and the grid keep theirs; the menu names them beside the commands.
    const auto withKey = [](const QString &text, Qt::Key key) {
        return text + QLatin1Char('\t') + QKeySequence(key).toString(QKeySequence::NativeText);
    };
    auto *firstAction = new QAction(withKey(tr("First Picture"), Qt::Key_Home), this);
    connect(firstAction, &QAction::triggered, this, [this] { showEnd(-1); });
    auto *lastAction = new QAction(withKey(tr("Last Picture"), Qt::Key_End), this);
    connect(lastAction, &QAction::triggered, this, [this] { showEnd(1); });
    connect(imageScroll, &ImageScroll::endRequested, this, &ImageViewer::showEnd);
    commands->menu()->addSeparator();
    commands->menu()->addActions(
        {nextAction, previousAction, firstAction, lastAction, fullScreenAction});

    statusLabel = new QLabel;
    // A file's name is never markup: rich text would fetch what an <img> names.
    statusLabel->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(statusLabel);
    connect(imageLabel, &ImageLabel::viewChanged, this, &ImageViewer::updateStatus);

    auto *dropTarget = new DropTarget(this);
    connect(dropTarget, &DropTarget::pathDropped, this, &ImageViewer::openPath);
    fullScreen = new FullScreenMode(this);
    arrival->setPane(imageLabel, imageScroll, fitToWindowAction);
    connect(arrival, &PictureArrival::pictureRead, this, &ImageViewer::showRead);
    connect(arrival, &PictureArrival::standInRead, this, &ImageViewer::showStandIn);

    connect(imageScroll, &ImageScroll::zoomRequested, this, &ImageViewer::zoomByWheel);
    connect(imageScroll, &ImageScroll::pictureDoubleClicked, this, &ImageViewer::toggleActualSize);
    connect(imageScroll, &ImageScroll::stepRequested, this, &ImageViewer::step);

    handOvers = new DesktopHandOvers(imageScroll, imageLabel, thumbView, this);
    connect(handOvers, &DesktopHandOvers::openRequested, this, &ImageViewer::loadFile);

    browsingOrder = new BrowsingOrder(thumbView, this);
    connect(browsingOrder, &BrowsingOrder::orderChanged, arrival->readAhead(),
            &ReadAhead::setOrder);
    viewMenu->addSeparator();
    viewMenu->addMenu(browsingOrder->menu());
    statusBar()->addPermanentWidget(browsingOrder->sortingLabel());
    statusBar()->addPermanentWidget(browsingOrder->countLabel());

    // The pictures are in sRGB; a monitor of other colours gets them in its own.
    colours = new MonitorColours(this);
    connect(colours, &MonitorColours::changed, this, [this] {
        imageLabel->update();
        thumbView->viewport()->update();
    });
    static_cast<ThumbDelegate *>(thumbView->itemDelegate())
        ->setColourStep([](const QImage &thumbnail) {
            const std::shared_ptr<const ColourTransform> colours = ColourTransform::monitor();
            return colours ? colours->apply(thumbnail) : thumbnail;
        });
    viewMenu->addSeparator();
    viewMenu->addAction(colours->action());
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
    arrival->readAhead()->showFolder(folder);
    thumbView->setDirectory(folder);
}

void ImageViewer::step(int offset)
{
    if (currentFile.isEmpty())
        return;
    const QString path = neighbourPicture(currentFile, offset, thumbView->order());
    if (!path.isEmpty())
        loadFile(path);
}

void ImageViewer::showEnd(int end)
{
    if (currentFile.isEmpty())
        return;
    const QStringList pictures = pictureFiles(pathDirectory(currentFile), thumbView->order());
    if (pictures.isEmpty())
        return;
    const QString path = end > 0 ? pictures.last() : pictures.first();
    if (path != QDir::cleanPath(currentFile))
        loadFile(path);
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
    slideshow->end();
    fullScreen->leave();
    // Its frame is back: the label fits inside it again.
    imageLabel->parentResized();
    // The grid came back scrolled as it was, which the steps taken meanwhile may have left
    // behind; hidden, it could not follow them.
    thumbView->setCurrentFile(currentFile);
}

void ImageViewer::zoomByWheel(int notches, const QPoint &at)
{
    arrival->keepPointWhile(at, [this, notches] {
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
    arrival->keepPointWhile(at, [this] {
        imageLabel->setScaleFactor(1.0);
        fitToWindowAction->trigger();
    });
}

void ImageViewer::updateStatus()
{
    if (shownFile.isEmpty())
        return;
    statusLabel->setText(pictureStatus(shownFile, imageLabel->pictureSize(),
                                       imageLabel->isFitMode(), imageLabel->shownScale(),
                                       originalSize(imageLabel->image())));
}

void ImageViewer::pictureShown()
{
    slideshow->pictureShown();
    commands->pictureShown(shownFile);
    browsingOrder->updateCount();
}
