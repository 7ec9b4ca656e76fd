// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagelabel.h"
#include "imageviewer.h"
#include "informationdock.h"
#include "modalwatcher.h"
#include "picturecommands.h"
#include "thumbview.h"

#include <QDockWidget>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QTreeView>
#include <QtTest>

#include <memory>

// The window's own docks: the folder tree and the thumbnail grid. (Named ImageViewerTest, as the
// window's friend.)
class ImageViewerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void docksSitOnTheLeftWithoutTitles();
    void windowMenuNamesTheDocks();
    void treeListsOnlyVisibleFolders();
    void doubleClickOnAFolderFillsTheGrid();
    void activatingAThumbnailOpensIt();
    void brokenThumbnailShowsTheFailureBox();
    void rowOutsideTheListDoesNothing();

private:
    QModelIndex treeIndex(const QString &path);
    void clickTree(const QString &path, bool twice);

    QTemporaryDir dir;
    ImageViewer *viewer = nullptr;
};

void ImageViewerTest::initTestCase()
{
    QVERIFY(dir.isValid());
    QDir root(dir.path());
    for (const char *folder : {"pictures", "empty", ".hidden", "pictures/sub"})
        QVERIFY(root.mkpath(folder));
    QImage image(120, 90, QImage::Format_RGB32);
    image.fill(Qt::yellow);
    QVERIFY(image.save(dir.filePath("pictures/a.png")));
    image.fill(Qt::cyan);
    QVERIFY(image.save(dir.filePath("pictures/b.jpg")));
    QFile broken(dir.filePath("pictures/c.png"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write("no picture here");
    broken.close();
    QFile text(dir.filePath("notes.txt"));
    QVERIFY(text.open(QIODevice::WriteOnly));
}

void ImageViewerTest::init()
{
    viewer = new ImageViewer("RAW");
    viewer->resize(1000, 800);
    viewer->show();
    QVERIFY(QTest::qWaitForWindowExposed(viewer));
}

void ImageViewerTest::cleanup()
{
    delete viewer;
}

// The tree's index of path, once the model has read the folders up to it.
QModelIndex ImageViewerTest::treeIndex(const QString &path)
{
    QFileSystemModel *model = viewer->dirModel;
    const QModelIndex index = model->index(path);
    viewer->folderTree->scrollTo(index);
    const QModelIndex parent = index.parent();
    viewer->folderTree->expand(parent);
    model->fetchMore(parent);
    const bool shown = QTest::qWaitFor([&] {
        return model->rowCount(parent) > 0 && viewer->folderTree->visualRect(index).isValid();
    });
    return shown ? index : QModelIndex();
}

void ImageViewerTest::clickTree(const QString &path, bool twice)
{
    const QModelIndex index = treeIndex(path);
    QVERIFY(index.isValid());
    const QPoint centre = viewer->folderTree->visualRect(index).center();
    QWidget *viewport = viewer->folderTree->viewport();
    if (twice)
        QTest::mouseDClick(viewport, Qt::LeftButton, {}, centre);
    else
        QTest::mouseClick(viewport, Qt::LeftButton, {}, centre);
}

void ImageViewerTest::docksSitOnTheLeftWithoutTitles()
{
    QCOMPARE(viewer->dockWidgetArea(viewer->folderDock), Qt::LeftDockWidgetArea);
    QCOMPARE(viewer->dockWidgetArea(viewer->thumbDock), Qt::LeftDockWidgetArea);
    QVERIFY(viewer->folderDock->windowTitle().isEmpty());
    QVERIFY(viewer->thumbDock->windowTitle().isEmpty());
    QVERIFY(viewer->folderDock->geometry().bottom() < viewer->thumbDock->geometry().top());
    QCOMPARE(viewer->folderDock->widget(), viewer->folderTree);
    QCOMPARE(viewer->thumbDock->widget(), viewer->thumbView);
    const auto defaults = QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                          QDockWidget::DockWidgetFloatable;
    QCOMPARE(viewer->folderDock->features(), defaults);
    QCOMPARE(viewer->thumbDock->features(), defaults);
    QCOMPARE(viewer->thumbView->model()->rowCount(), 0);
    // The third dock, for the picture's information, waits on the right until asked for.
    QCOMPARE(viewer->dockWidgetArea(viewer->commands->informationDock()), Qt::RightDockWidgetArea);
    QVERIFY(viewer->commands->informationDock()->isHidden());
    QVERIFY(viewer->commands->informationDock()->windowTitle().isEmpty());
}

void ImageViewerTest::windowMenuNamesTheDocks()
{
    // The menu that right-clicking the menu bar or a dock's title opens lists the docks by
    // their toggle actions; a dock resets that text whenever its own title changes.
    viewer->setWindowTitle(QStringLiteral("another title"));
    std::unique_ptr<QMenu> menu(viewer->createPopupMenu());
    QVERIFY(menu);
    QStringList entries;
    for (const QAction *action : menu->actions()) {
        if (!action->isSeparator())
            entries << action->text();
    }
    QCOMPARE(entries, QStringList({"Folders", "Thumbnails", "Information"}));
    QCOMPARE(viewer->folderDock->toggleViewAction()->text(), QStringLiteral("Folders"));
    QVERIFY(viewer->folderDock->windowTitle().isEmpty());
    QVERIFY(viewer->thumbDock->windowTitle().isEmpty());
}

void ImageViewerTest::treeListsOnlyVisibleFolders()
{
    const QModelIndex folder = treeIndex(dir.filePath("pictures"));
    QVERIFY(folder.isValid());
    const QModelIndex parent = folder.parent();
    auto names = [&] {
        QStringList list;
        for (int row = 0; row < viewer->dirModel->rowCount(parent); ++row)
            list << viewer->dirModel->index(row, 0, parent).data().toString();
        list.sort();
        return list;
    };
    // The folder is read in the background; files and hidden folders never join it.
    QTRY_COMPARE(names(), QStringList({"empty", "pictures"}));

    QVERIFY(!viewer->folderTree->header()->isVisible());
    for (int column = 1; column < viewer->folderTree->header()->count(); ++column)
        QVERIFY(viewer->folderTree->isColumnHidden(column));
    QVERIFY(!viewer->folderTree->isColumnHidden(0));
    QVERIFY(viewer->folderTree->isSortingEnabled());
    QCOMPARE(viewer->folderTree->header()->sortIndicatorOrder(), Qt::AscendingOrder);

    // A folder shows it can be opened before its contents are read.
    QVERIFY(viewer->dirModel->hasChildren(viewer->dirModel->index(dir.filePath("empty"))));
}

void ImageViewerTest::doubleClickOnAFolderFillsTheGrid()
{
    clickTree(dir.filePath("pictures"), false);
    QCOMPARE(viewer->thumbView->model()->rowCount(), 0);

    clickTree(dir.filePath("pictures"), true);
    QCOMPARE(viewer->thumbView->model()->rowCount(), 3);
    QCOMPARE(viewer->thumbView->filePath(0), dir.filePath("pictures/a.png"));
    QTRY_VERIFY(viewer->thumbView->model()->index(1, 0).data().typeId() == QMetaType::QImage);
    QVERIFY(viewer->imageLabel->image().isNull());
    QVERIFY(viewer->lastDirectory.isNull());
}

void ImageViewerTest::activatingAThumbnailOpensIt()
{
    viewer->thumbView->setDirectory(dir.filePath("pictures"));
    ThumbView *view = viewer->thumbView;
    // Enter activates the current thumbnail, as a double-click does.
    view->setCurrentIndex(view->model()->index(1, 0));
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(viewer->imageLabel->image().size(), QSize(120, 90), 30000);
    QCOMPARE(viewer->imageLabel->image().pixelColor(5, 5).blue(), 255);
    QCOMPARE(viewer->lastDirectory, dir.filePath("pictures"));
}

void ImageViewerTest::brokenThumbnailShowsTheFailureBox()
{
    viewer->thumbView->setDirectory(dir.filePath("pictures"));
    QString text;
    ModalWatcher<QMessageBox> watcher([&](QMessageBox *box) {
        text = box->text();
        box->accept();
    });
    emit viewer->thumbView->activated(viewer->thumbView->model()->index(2, 0));
    QTRY_VERIFY(watcher.seen());
    QCOMPARE(text, "Cannot load " + dir.filePath("pictures/c.png") + ".");
}

void ImageViewerTest::rowOutsideTheListDoesNothing()
{
    viewer->thumbView->setDirectory(dir.filePath("empty"));
    viewer->thumbnailActivated(viewer->thumbView->model()->index(7, 0));
    viewer->thumbnailActivated(QModelIndex());
    QVERIFY(viewer->lastDirectory.isNull());
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(ImageViewerTest)
#include "tst_browsingdocks.moc"
