#ifndef IMAGEVIEWER_H
#define IMAGEVIEWER_H

#include <QMainWindow>
#include <QPrinter>

class QAction;
class QDockWidget;
class QFileSystemModel;
class QMenu;
class QModelIndex;
class QScrollBar;
class QTreeView;
class ImageLabel;
class ImageScroll;
class ThumbView;

// The viewer's one window: the folder tree and the thumbnail grid on the left, the picture
// pane in the centre, and the File, View and Help menus.
class ImageViewer : public QMainWindow
{
    Q_OBJECT

public:
    explicit ImageViewer(const QString &edition);

    QString viewerTitle() const;

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

    void createActions();
    void createMenus();
    void loadFile(const QString &path);
    void scaleImage(double factor);
    void adjustScrollBar(QScrollBar *scrollBar, double factor);
    void updateActions();

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
};

#endif
