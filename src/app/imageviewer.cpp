// SPDX-License-Identifier: GPL-3.0-or-later
#include "imageviewer.h"
#include "animationplayer.h"
#include "browsingorder.h"
#include "command.h"
#include "decoderpool.h"
#include "desktophandovers.h"
#include "folderreveal.h"
#include "imagelabel.h"
#include "imagescroll.h"
#include "links.h"
#include "monitorcolours.h"
#include "panereader.h"
#include "paths.h"
#include "picturearrival.h"
#include "picturecommands.h"
#include "readahead.h"
#include "slideshow.h"
#include "thumbview.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <QWindow>

namespace {

constexpr QSize kFirstWindowSize(700, 600);

} // namespace

QSize firstWindowSize(const QSize &available, const QMargins &frame)
{
    const QSize inside = available.shrunkBy(frame);
    if (available.isEmpty() || (kFirstWindowSize.width() <= inside.width() &&
                                kFirstWindowSize.height() <= inside.height()))
        return kFirstWindowSize;
    return inside;
}

ImageViewer::ImageViewer(const QString &edition, const QString &firstPath)
{
    this->edition = edition;
    // The picture named at launch is read while the window is built, fitted within the window's
    // first size, which the pane will not exceed.
    arrival = new PictureArrival(this);
    if (QFileInfo(firstPath).isFile()) {
        const QSize first = firstWindowSize(screen()->availableGeometry().size());
        arrival->paneReader()->read(QFileInfo(firstPath).absoluteFilePath(),
                                    (QSizeF(first) * devicePixelRatioF()).toSize());
    }

    folderTree = new QTreeView;
    folderDock = new QDockWidget(this);
    folderDock->setWidget(folderTree);
    // The title bar stays empty; the name is for the window's menu that shows and hides docks.
    folderDock->toggleViewAction()->setText(tr("Folders"));
    addDockWidget(Qt::LeftDockWidgetArea, folderDock);

    imageLabel = new ImageLabel;
    imageScroll = new ImageScroll;
    imageScroll->setBackgroundRole(QPalette::Dark);
    imageScroll->setWidget(imageLabel);
    imageLabel->setScrollArea(imageScroll);
    animation = new AnimationPlayer(imageLabel, this);

    thumbView = new ThumbView;
    thumbDock = new QDockWidget(this);
    thumbDock->setWidget(thumbView);
    thumbDock->toggleViewAction()->setText(tr("Thumbnails"));
    addDockWidget(Qt::LeftDockWidgetArea, thumbDock);

    setCentralWidget(imageScroll);
    createActions();
    createMenus();
    createParts();
    setWindowTitle(viewerTitle());
    resize(firstWindowSize(screen()->availableGeometry().size()));
    imageLabel->setFitMode(fitToWindowAction->isChecked());

    connect(thumbView, &ThumbView::activated, this, &ImageViewer::thumbnailActivated);
    connect(folderTree, &QTreeView::activated, this, &ImageViewer::folderActivated);
    connect(imageScroll, &ImageScroll::resizeSignal, imageLabel, &ImageLabel::parentResized);

    if (!firstPath.isEmpty()) {
        openPath(firstPath);
        return;
    }
    startBrowsing();
    folderReveal->reveal(startFolder());
}

void ImageViewer::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!frameFitted && windowHandle()) {
        frameFitted = true;
        windowHandle()->installEventFilter(this);
        // On a screen now: the profile of its monitor, and of the next one it moves to.
        colours->follow(this);
    }
}

bool ImageViewer::eventFilter(QObject *watched, QEvent *event)
{
    // The window manager has framed the window by the time it first shows it.
    if (watched == windowHandle() && event->type() == QEvent::Expose &&
        windowHandle()->isExposed()) {
        watched->removeEventFilter(this);
        fitFrame();
    }
    return QMainWindow::eventFilter(watched, event);
}

void ImageViewer::fitFrame()
{
    const QMargins frame = windowHandle()->frameMargins();
    const QRect available = screen()->availableGeometry();
    // Without a frame the first size fits already; a window sized by someone else stays so.
    if (frame.isNull() || size() != firstWindowSize(available.size()))
        return;
    resize(firstWindowSize(available.size(), frame));
    if (!available.contains(frameGeometry()))
        move(available.topLeft());
}

void ImageViewer::startBrowsing()
{
    if (!launching())
        return;
    // The model is never deleted: it lives as long as the process.
    dirModel = new QFileSystemModel;
    dirModel->setFilter(QDir::Drives | QDir::AllDirs | QDir::NoDotAndDotDot);
    dirModel->setRootPath(QString());
    folderTree->setModel(dirModel);
    for (int column = 1; column < folderTree->header()->count(); ++column)
        folderTree->hideColumn(column);
    folderTree->header()->setVisible(false);
    folderTree->header()->setStretchLastSection(false);
    folderTree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    folderTree->setSortingEnabled(true);
    folderTree->header()->setSortIndicator(0, Qt::AscendingOrder);
    folderReveal = new FolderReveal(folderTree, dirModel);
}

QString ImageViewer::viewerTitle() const
{
    return QLatin1String("Velmora ") + edition + QLatin1String(" Viewer");
}

void ImageViewer::createActions()
{
    openAction = new QAction(tr("&Open..."), this);
    openAction->setShortcut(QKeySequence(tr("Ctrl+O")));
    connect(openAction, &QAction::triggered, this, &ImageViewer::open);

    printAction = new QAction(tr("&Print..."), this);
    printAction->setShortcut(QKeySequence(tr("Ctrl+P")));
    printAction->setEnabled(false);
    connect(printAction, &QAction::triggered, this, &ImageViewer::print);

    exitAction = new QAction(tr("E&xit"), this);
    exitAction->setShortcut(QKeySequence(tr("Ctrl+Q")));
    connect(exitAction, &QAction::triggered, this, &ImageViewer::close);

    zoomInAction = new QAction(tr("Zoom &In (25%)"), this);
    zoomInAction->setShortcut(QKeySequence(tr("Ctrl++")));
    zoomInAction->setEnabled(false);
    connect(zoomInAction, &QAction::triggered, this, &ImageViewer::zoomIn);

    zoomOutAction = new QAction(tr("Zoom &Out (25%)"), this);
    zoomOutAction->setShortcut(QKeySequence(tr("Ctrl+-")));
    zoomOutAction->setEnabled(false);
    connect(zoomOutAction, &QAction::triggered, this, &ImageViewer::zoomOut);

    normalSizeAction = new QAction(tr("&Normal Size"), this);
    normalSizeAction->setShortcut(QKeySequence(tr("Ctrl+S")));
    normalSizeAction->setEnabled(false);
    connect(normalSizeAction, &QAction::triggered, this, &ImageViewer::normalSize);

    // Connected after the check, and on triggered(), so that building the action runs no slot.
    fitToWindowAction = new QAction(tr("&Fit to Window"), this);
    fitToWindowAction->setEnabled(false);
    fitToWindowAction->setCheckable(true);
    fitToWindowAction->setChecked(true);
    fitToWindowAction->setShortcut(QKeySequence(tr("Ctrl+F")));
    connect(fitToWindowAction, &QAction::triggered, this, &ImageViewer::fitToWindow);

    convertAction = new QAction(tr("Convert and Process"), this);
    connect(convertAction, &QAction::triggered, this, &ImageViewer::convertAndProcess);

    aboutAction = new QAction(tr("&About"), this);
    connect(aboutAction, &QAction::triggered, this, &ImageViewer::about);
}

void ImageViewer::createMenus()
{
    fileMenu = new QMenu(tr("&File"), this);
    fileMenu->addAction(openAction);
    fileMenu->addAction(printAction);
    fileMenu->addSeparator();
    fileMenu->addAction(exitAction);

    viewMenu = new QMenu(tr("&View"), this);
    viewMenu->addAction(zoomInAction);
    viewMenu->addAction(zoomOutAction);
    viewMenu->addAction(normalSizeAction);
    viewMenu->addSeparator();
    viewMenu->addAction(fitToWindowAction);
    viewMenu->addAction(arrival->keepZoomAction());

    helpMenu = new QMenu(tr("&Help"), this);
    helpMenu->addAction(aboutAction);

    menuBar()->addMenu(fileMenu);
    menuBar()->addMenu(viewMenu);
    // A bare item on the bar: clicking it runs the command, with no drop-down.
    menuBar()->addAction(convertAction);
    menuBar()->addMenu(helpMenu);
}

void ImageViewer::open()
{
    if (lastDirectory.isEmpty())
        lastDirectory = QDir::currentPath();
    const QString fileName = QFileDialog::getOpenFileName(this, tr("Open File"), lastDirectory);
    // With its folder in the grid and the tree, as from the command line.
    if (!fileName.isEmpty())
        openPath(fileName);
}

void ImageViewer::loadFile(const QString &path)
{
    // The next step counts from here, whether or not the picture has come yet: a burst of keys
    // goes as far as it was pressed, without reading what lies between.
    lastDirectory = pathDirectory(path);
    currentFile = path;
    thumbView->setCurrentFile(path);
    // The keys go to the picture opened, wherever it was opened from: the arrows, the page keys,
    // Home, End, + and - act on it until the user puts the keys elsewhere.
    imageScroll->setFocus();
    arrival->read(path, launching());
}

bool ImageViewer::keepsZoom() const
{
    return arrival->keepsZoom() && !slideshow->isRunning();
}

void ImageViewer::showRead(const QString &path, const QImage &image, const QImage &copy)
{
    arrival->endLoading();
    // In the stand-in's place, as the user may have zoomed it meanwhile.
    const bool replacesStandIn = imageLabel->showsStandIn() && shownFile == path;
    // Reading ahead began with the stand-in; at launch it waits until the picture is seen.
    if (replacesStandIn)
        arrival->readAhead()->keepShown(path, image);
    else if (!launching())
        arrival->follow(path, image);
    if (image.isNull()) {
        // The viewer is ending and stopped the decoder: nothing failed, and the box would only
        // hold up the way out.
        if (commandsEnded())
            return;
        // Before the box, which waits for the user.
        if (launching())
            endLaunch(path, image);
        // Every picture fails so on this system: said once, until a picture is shown.
        static bool sandboxMissingSaid = false;
        if (DecoderPool::sandboxMissing() && !sandboxMissingSaid) {
            sandboxMissingSaid = true;
            statusBar()->showMessage(tr("Pictures cannot be read safely on this system: the "
                                        "kernel refused the decoders' sandbox."));
        }
        if (slideshow->isRunning()) {
            slideshow->skip(path);
            return;
        }
        // The path as it is: as rich text, a name of markup would have Qt read what it names.
        QMessageBox box(QMessageBox::Information, viewerTitle(), tr("Cannot load %1.").arg(path),
                        QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        return;
    }
    shownFile = path;
    browsingOrder->setShownFile(path);
    const QPoint scrolled = arrival->scrollValues();
    handOvers->setFile(path);
    imageLabel->resetRotation();
    imageLabel->setImage(image);
    // The picture named at launch was read before the pane had a size to make its smooth copy
    // for: made here, once, so that its first frame is smooth too.
    if (launching() && copy.isNull() && !replacesStandIn && fitToWindowAction->isChecked())
        imageLabel->offerCopy(ImageLabel::fittedCopy(image, imageLabel->areaSize(),
                                                     imageLabel->devicePixelRatioF()));
    else
        imageLabel->offerCopy(copy);
    animation->play(path);
    printAction->setEnabled(true);
    fitToWindowAction->setEnabled(true);
    if (!replacesStandIn) {
        if (!keepsZoom())
            imageLabel->setScaleFactor(1.0);
        updateActions();
        imageLabel->setFitMode(fitToWindowAction->isChecked());
        if (keepsZoom())
            arrival->scrollTo(scrolled);
    }
    pictureShown();
    if (launching())
        endLaunch(path, image);
}

void ImageViewer::showStandIn(const QString &path, const QImage &standIn, const QSize &fullSize)
{
    arrival->endLoading();
    // While the full picture is read, the neighbours are too: the user, who sees the picture now,
    // may step on before it comes. At launch the tree and the grid start once it is seen.
    if (!launching())
        arrival->follow(path, QImage());
    animation->stop();
    shownFile = path;
    browsingOrder->setShownFile(path);
    handOvers->setFile(path);
    imageLabel->setStandIn(standIn, fullSize);
    if (!keepsZoom())
        imageLabel->setScaleFactor(1.0);
    // Printing, copying and turning act on the full picture, and come back with it.
    printAction->setEnabled(false);
    commands->waitForPicture();
    fitToWindowAction->setEnabled(true);
    updateActions();
    imageLabel->setFitMode(fitToWindowAction->isChecked());
    if (launching())
        endLaunch(path, QImage());
}

void ImageViewer::endLaunch(const QString &path, const QImage &image)
{
    // On the screen before the tree, the grid and the reading ahead take the processors.
    imageLabel->repaint();
    startBrowsing();
    if (launchFolder.isEmpty())
        folderReveal->reveal(startFolder());
    else
        showFolder(launchFolder);
    thumbView->setCurrentFile(currentFile);
    arrival->follow(path, image);
}

void ImageViewer::about()
{
    const QString title = viewerTitle();
    const QString text =
        QLatin1String("<p><b>") + title.toHtmlEscaped() +
        QLatin1String("</b> shows the pictures of your folders as thumbnails and opens them to "
                      "view, zoom and print, camera raw files included.</p>"
                      "<p>Offered by <a href=\"") +
        QLatin1String(kMakerAddress) + QLatin1String("\">") + QLatin1String(kMakerAddress) +
        QLatin1String("</a></p>");
    QMessageBox::about(this, QLatin1String("About ") + title, text);
}

void ImageViewer::convertAndProcess()
{
    // A browser that cannot start is not the viewer's concern: the result is ignored.
    QDesktopServices::openUrl(QUrl(converterAddress(edition)));
}

void ImageViewer::folderActivated(const QModelIndex &qmi)
{
    const QString folder = dirModel->fileInfo(qmi).absoluteFilePath();
    arrival->readAhead()->showFolder(folder);
    thumbView->setDirectory(folder);
}

void ImageViewer::thumbnailActivated(const QModelIndex &qmi)
{
    const QString path = thumbView->filePath(qmi.row());
    if (!path.isEmpty())
        loadFile(path);
}
