// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef IMAGEVIEWER_H
#define IMAGEVIEWER_H

#include <QMainWindow>
#include <QPrinter>
#include <QString>

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
class FolderReveal;
class FullScreenMode;
class AnimationPlayer;
class PictureArrival;
class Slideshow;
class PictureCommands;
class BrowsingOrder;
class DesktopHandOvers;
class MonitorColours;

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
    friend class DesktopHabitsTest;

    void createActions();
    void createMenus();
    // Makes the parts the window gained beside its menus, and wires them to it.
    void createParts();
    // Makes the first window, frame and all, fit the screen's free area, once its frame is known.
    void fitFrame();
    // Opens path: at once when it was read ahead, else read away from the user-interface thread,
    // its picture or failure box coming when the read ends.
    void loadFile(const QString &path);
    // Shows the picture read from path, or, when it is null, says that it cannot be loaded.
    void showRead(const QString &path, const QImage &image, const QImage &copy);
    // Shows standIn, read smaller from path, in the place of its full picture of fullSize, which
    // showRead puts there; what needs the full picture waits for it.
    void showStandIn(const QString &path, const QImage &standIn, const QSize &fullSize);
    // View › Keep Zoom is on and the picture is not the slideshow's, which fits every one.
    bool keepsZoom() const;
    void scaleImage(double factor);
    void adjustScrollBar(QScrollBar *scrollBar, double factor);
    void updateActions();
    // Gives the folder tree its model, which reads the folders in the background.
    void startBrowsing();
    // The first picture's opening is over: it is painted now, and what waited for it starts.
    void endLaunch(const QString &path, const QImage &image);
    // Until the picture named at launch is on the screen, the folder tree has no model.
    bool launching() const { return dirModel == nullptr; }
    void showFolder(const QString &folder);
    void step(int offset);
    // Shows the folder's last picture (end 1) or its first (-1), in the grid's order.
    void showEnd(int end);
    void toggleFullScreen();
    void leaveFullScreen();
    void zoomByWheel(int notches, const QPoint &at);
    void toggleActualSize(const QPoint &at);
    void updateStatus();
    void pictureShown();

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
    FullScreenMode *fullScreen = nullptr;
    // Plays the shown picture when it is animated.
    AnimationPlayer *animation = nullptr;
    // The frame's size is the window manager's, known once the window is first on the screen.
    bool frameFitted = false;

    // The parts, each with its own actions and state (docs/architecture.md).
    PictureArrival *arrival = nullptr;
    Slideshow *slideshow = nullptr;
    PictureCommands *commands = nullptr;
    BrowsingOrder *browsingOrder = nullptr;
    DesktopHandOvers *handOvers = nullptr;
    MonitorColours *colours = nullptr;
};

#endif
