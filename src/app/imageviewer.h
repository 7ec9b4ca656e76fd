// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef IMAGEVIEWER_H
#define IMAGEVIEWER_H

#include <QMainWindow>
#include <QPrinter>
#include <QStringList>

#include <functional>

class QAction;
class QDockWidget;
class QFileSystemModel;
class QLabel;
class QMenu;
class QModelIndex;
class QScrollBar;
class QTreeView;
class ImageLabel;
class ImageScroll;
class ThumbView;
class DropTarget;
class FolderReveal;
class FullScreenMode;
class InformationDock;
class ShortcutsWindow;
class QTimer;
class AnimationPlayer;
class ReadAhead;
class PaneReader;

// The window's size when it first opens on a screen whose free area (without panels) is
// available: 700 × 600 wherever that fits; else the area's size, so that the status bar is not
// out of reach on a small or highly scaled screen.
QSize firstWindowSize(const QSize &available);

// The viewer's one window: the folder tree and the thumbnail grid on the left, the picture
// pane in the centre, the File, View, Picture and Help menus, the information dock on the right,
// and a status bar naming the picture.
class ImageViewer : public QMainWindow
{
    Q_OBJECT

public:
    explicit ImageViewer(const QString &edition);

    QString viewerTitle() const;
    // Opens a picture file, with its folder in the grid and the tree, or browses a folder, as
    // from the command line or a drop. A path that does not exist gives the failure box.
    void openPath(const QString &path);

private slots:
    void open();
    void print();
    void zoomIn();
    void zoomOut();
    void normalSize();
    void fitToWindow();
    void about();
    void convertAndProcess();
    void folderActivated(const QModelIndex &qmi);
    void thumbnailActivated(const QModelIndex &qmi);

private:
    friend class ImageViewerTest;
    friend class DisplayCommandsTest;
    friend class BrowsingDocksTest;
    friend class DesktopHabitsTest;
    friend class PictureCommandsTest;
    friend class InformationBench;

    void createActions();
    void createMenus();
    // Opens path: at once when it was read ahead, else read away from the user-interface thread,
    // its picture or failure box coming when the read ends.
    void loadFile(const QString &path);
    // What every opening of path does before the picture is there.
    void beginOpening(const QString &path);
    // Shows the picture read from path, or, when it is null, says that it cannot be loaded.
    void showRead(const QString &path, const QImage &image, const QImage &copy);
    // Shows standIn, read smaller from path, in the place of its full picture of fullSize, which
    // showRead puts there; what needs the full picture waits for it.
    void showStandIn(const QString &path, const QImage &standIn, const QSize &fullSize);
    // Reads ahead around path, whose picture image is shown (null while it is being read).
    void followReading(const QString &path, const QImage &image);
    void scaleImage(double factor);
    void adjustScrollBar(QScrollBar *scrollBar, double factor);
    void updateActions();
    void createDesktopActions();
    void showFolder(const QString &folder);
    void step(int offset);
    // A read that lasts shows itself: a busy pointer over the pane and a word in the status bar.
    void showLoading();
    void endLoading();
    void showNext();
    void showPrevious();
    void toggleFullScreen();
    void leaveFullScreen();
    void zoomByWheel(int notches, const QPoint &at);
    void toggleActualSize(const QPoint &at);
    // Runs change, which zooms, keeping the picture point under at (in the pane's viewport) there.
    void keepPointWhile(const QPoint &at, const std::function<void()> &change);
    void updateStatus();
    void createPictureActions();
    void pictureShown();
    void rotatePicture(int quarters);
    void copyPicture();
    void showShortcuts();
    void toggleSlideshow();
    void advanceSlideshow();
    void skipInSlideshow(const QString &path);
    // Stops the show, if one runs, and gives the pane back its zoom mode.
    void endSlideshow();

    QFileSystemModel *dirModel = nullptr;
    QTreeView *folderTree = nullptr;
    ThumbView *thumbView = nullptr;
    QDockWidget *folderDock = nullptr;
    QDockWidget *thumbDock = nullptr;
    ImageLabel *imageLabel = nullptr;
    ImageScroll *imageScroll = nullptr;
    QString lastDirectory;
    QString edition;
    QPrinter printer;

    QAction *openAction = nullptr;
    QAction *printAction = nullptr;
    QAction *exitAction = nullptr;
    QAction *zoomInAction = nullptr;
    QAction *zoomOutAction = nullptr;
    QAction *normalSizeAction = nullptr;
    QAction *fitToWindowAction = nullptr;
    QAction *aboutAction = nullptr;
    QAction *convertAction = nullptr;

    QMenu *fileMenu = nullptr;
    QMenu *viewMenu = nullptr;
    QMenu *helpMenu = nullptr;

    // Beside the menus: keys that work anywhere in the window.
    QAction *nextAction = nullptr;
    QAction *previousAction = nullptr;
    QAction *fullScreenAction = nullptr;
    QAction *leaveFullScreenAction = nullptr;
    // The file last handed to loadFile, shown or not: next and previous count from it.
    QString currentFile;
    // The file whose picture the pane shows.
    QString shownFile;
    QLabel *statusLabel = nullptr;
    FolderReveal *folderReveal = nullptr;
    DropTarget *dropTarget = nullptr;
    FullScreenMode *fullScreen = nullptr;

    // The Picture menu and Help's list of keys: additions for looking at a photo closely.
    QAction *rotateLeftAction = nullptr;
    QAction *rotateRightAction = nullptr;
    QAction *copyAction = nullptr;
    // The information dock's own action that shows and hides it.
    QAction *informationAction = nullptr;
    QAction *slideshowAction = nullptr;
    QAction *shortcutsAction = nullptr;
    QMenu *pictureMenu = nullptr;
    InformationDock *informationDock = nullptr;
    ShortcutsWindow *shortcutsWindow = nullptr;
    QTimer *slideshowTimer = nullptr;
    // From F5 until the show ends; its timer is idle while the next picture is read.
    bool slideshowRunning = false;
    // The show fits every picture to the screen; the user's mode comes back after it.
    bool fittedBeforeSlideshow = true;
    QStringList slideshowSkipped;
    // Plays the shown picture when it is animated.
    AnimationPlayer *animation = nullptr;
    ReadAhead *readAhead = nullptr;
    PaneReader *paneReader = nullptr;
    // Started with each read: a read that is over before it runs out shows no sign of itself.
    QTimer *loadingDelay = nullptr;
    QLabel *loadingLabel = nullptr;
};

#endif
