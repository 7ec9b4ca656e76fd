// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef IMAGEVIEWER_H
#define IMAGEVIEWER_H

#include <QMainWindow>
#include <QPrinter>
#include <QStringList>

#include <functional>

class QAction;
class QActionGroup;
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
class FileActions;

// The window's size when it first opens on a screen whose free area (without panels) is
// available, where the window manager's title bar and borders add frame around it: 700 × 600
// wherever that fits with its frame; else what the area leaves inside the frame, so that the
// status bar is not out of reach on a small or highly scaled screen.
QSize firstWindowSize(const QSize &available, const QMargins &frame = QMargins());

// The viewer's one window: the folder tree and the thumbnail grid on the left, the picture
// pane in the centre, the File, View, Picture and Help menus, the information dock on the right,
// and a status bar naming the picture.
class ImageViewer : public QMainWindow
{
    Q_OBJECT

public:
    // With firstPath, the window opens it as openPath would, from its construction on: a
    // picture's read goes ahead of everything else, and the folder tree, the grid and the reading
    // ahead start once the picture is on the screen.
    explicit ImageViewer(const QString &edition, const QString &firstPath = QString());

    QString viewerTitle() const;
    // Opens a picture file, with its folder in the grid and the tree, or browses a folder, as
    // from the command line or a drop. A path that does not exist gives the failure box.
    void openPath(const QString &path);

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

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
    // Makes the first window, frame and all, fit the screen's free area, once its frame is known.
    void fitFrame();
    // Opens path: at once when it was read ahead, else read away from the user-interface thread,
    // its picture or failure box coming when the read ends.
    void loadFile(const QString &path);
    // What every opening of path does before the picture is there.
    void beginOpening(const QString &path);
    // Shows the picture read from path, or, when it is null, says that it cannot be loaded.
    void showRead(const QString &path, const QImage &image, const QImage &copy);
    // View › Keep Zoom is on and the picture is not the slideshow's, which fits every one.
    bool keepsZoom() const;
    QPoint scrollValues() const;
    // Sets the bars, once the pane has shown or hidden them for the label's size.
    void scrollTo(const QPoint &values);
    // Shows standIn, read smaller from path, in the place of its full picture of fullSize, which
    // showRead puts there; what needs the full picture waits for it.
    void showStandIn(const QString &path, const QImage &standIn, const QSize &fullSize);
    // Reads ahead around path, whose picture image is shown (null while it is being read).
    void followReading(const QString &path, const QImage &image);
    void scaleImage(double factor);
    void adjustScrollBar(QScrollBar *scrollBar, double factor);
    void updateActions();
    void createDesktopActions();
    // Gives the folder tree its model, which reads the folders in the background.
    void startBrowsing();
    // The first picture's opening is over: it is painted now, and what waited for it starts.
    void endLaunch(const QString &path, const QImage &image);
    // Until the picture named at launch is on the screen, the folder tree has no model.
    bool launching() const { return dirModel == nullptr; }
    void showFolder(const QString &folder);
    void step(int offset);
    // A read that lasts shows itself: a busy pointer over the pane and a word in the status bar.
    void showLoading();
    void endLoading();
    // Space: the next picture, or, while a slideshow runs, a pause in it or its going on.
    void showNext();
    void showPrevious();
    void showThumbnailMenu(const QPoint &at);
    void dragPictureOut();
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
    void pauseOrResumeSlideshow();
    // Stops the show, if one runs, and gives the pane back its zoom mode.
    void endSlideshow();
    void createSortActions();
    // The grid, the steps, the slideshow and the reading ahead take the order chosen.
    void sortPictures();
    // Where the shown picture stands among the grid's: "72 of 500".
    void updateCount();

    // Made by startBrowsing; until then the window is opening its first picture.
    QFileSystemModel *dirModel = nullptr;
    // The folder of the first picture, shown in the tree and the grid once the picture is.
    QString launchFolder;
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
    // Checked: a picture opened by a step or from the grid keeps the zoom and the scroll of the
    // one before, so that a burst can be compared at 100 %.
    QAction *keepZoomAction = nullptr;
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
    // Space holds the show on the picture it is at, until Space again.
    bool slideshowPaused = false;
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
    // The frame's size is the window manager's, known once the window is first on the screen.
    bool frameFitted = false;
    // The last zoom at the pointer: where it drew the picture, where it left the bars and where
    // it wanted them, as far as a picture that does not yet outgrow the pane lets them go. The
    // next notch at the same place, with nothing moved between, goes on from where it aimed,
    // so that the first notches from fit do not lose the point under the pointer.
    struct ZoomAnchor
    {
        QPoint at;
        QRectF drawn;
        QPoint values;
        QPoint wanted;
    } zoomAnchor;

    // View › Sort By: one of the keys, and the direction.
    QMenu *sortMenu = nullptr;
    QActionGroup *sortKeys = nullptr;
    QAction *reverseAction = nullptr;
    QLabel *countLabel = nullptr;
    // The shown picture's file, and the right-clicked thumbnail's, handed to the desktop.
    FileActions *paneFileActions = nullptr;
    FileActions *thumbnailFileActions = nullptr;
};

#endif
