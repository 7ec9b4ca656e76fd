// SPDX-License-Identifier: GPL-3.0-or-later
// The window's desktop habits: opening a path as the command line or a drop does, stepping
// through a folder with the keys, Ctrl + wheel, full screen, the status bar, the tree's start
// folder and the icon.

#include "browsingorder.h"
#include "decoderpool.h"
#include "dngwriter.h"
#include "droptarget.h"
#include "environmentguard.h"
#include "folderreveal.h"
#include "imagelabel.h"
#include "imagescroll.h"
#include "imageviewer.h"
#include "labelgeometry.h"
#include "modalwatcher.h"
#include "orientedjpeg.h"
#include "panereader.h"
#include "picturearrival.h"
#include "picturecommands.h"
#include "privatedirectory.h"
#include "processes.h"
#include "readahead.h"
#include "shortcutswindow.h"
#include "statustext.h"
#include "stdoutcapture.h"
#include "thumbview.h"

#include <QAction>
#include <QActionGroup>
#include <QDockWidget>
#include <QFileSystemModel>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTreeView>
#include <QtTest>

#include <algorithm>
#include <memory>

class DesktopHabitsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void treeStartsAtThePicturesFolder_data();
    void treeStartsAtThePicturesFolder();
    void fileOpensWithItsFolderInTheGridAndTree();
    void folderFillsTheGridLikeADoubleClick();
    void missingPathGivesTheFailureBox();
    void pathNamedAtLaunch_data();
    void pathNamedAtLaunch();
    void keysStepThroughTheFolderWhereverTheFocusIs_data();
    void keysStepThroughTheFolderWhereverTheFocusIs();
    void launchedWithAPictureTheKeysReachIt_data();
    void launchedWithAPictureTheKeysReachIt();
    void doubleClickOnARawStandInEndsAtActualSize();
    void sortByOrdersTheGridTheStepsAndTheCount_data();
    void sortByOrdersTheGridTheStepsAndTheCount();
    void ctrlWheelZoomsFromFitThenWhileZoomIsEnabled();
    void zoomKeepsThePointUnderThePointer_data();
    void zoomKeepsThePointUnderThePointer();
    void burstOfStepsShowsOnlyTheLastPicture();
    void dropOpensAFileOrAFolder_data();
    void dropOpensAFileOrAFolder();
    void fullScreenShowsThePaneAloneAndComesBack();
    void leavingFullScreenShowsTheCurrentThumbnail();
    void statusBarNamesThePictureAndItsZoom();
    void statusText_data();
    void statusText();
    void statusTextOfAReducedPicture();
    void windowHasTheProjectIcon();
    void readAheadServesAStepWhileItsFileIsUnchanged_data();
    void readAheadServesAStepWhileItsFileIsUnchanged();
    void readAheadGivesWay_data();
    void readAheadGivesWay();
    void windowAnswersWhileTheDecoderIsStuck();

private:
    QString picture(const QString &name) const { return dir.filePath("pictures/" + name); }
    QColor shownColour() const;
    void pressOn(QWidget *widget, Qt::Key key, Qt::KeyboardModifiers modifiers = {});

    QTemporaryDir dir;
    std::unique_ptr<EnvironmentGuard> home;
    std::unique_ptr<EnvironmentGuard> config;
    ImageViewer *viewer = nullptr;
};

void DesktopHabitsTest::initTestCase()
{
    QVERIFY(dir.isValid());
    QDir root(dir.path());
    for (const char *folder : {"pictures", "pictures/sub", "home", "config"})
        QVERIFY(root.mkpath(folder));
    // Three pictures of distinct colours, a broken one between them, and a text file.
    const QList<QPair<QString, QColor>> pictures{
        {"a.png", Qt::red}, {"b.png", Qt::green}, {"d.bmp", Qt::blue}};
    for (const auto &[name, colour] : pictures) {
        QImage image(120, 90, QImage::Format_RGB32);
        image.fill(colour);
        QVERIFY(image.save(picture(name)));
    }
    for (const char *name : {"c.png", "notes.txt"}) {
        QFile file(picture(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("no picture here");
    }
    // Their Exif dates, modification dates, sizes and names each give another order; b.jpg
    // records no date and goes by its modification date.
    QVERIFY(root.mkpath("sorted"));
    const QList<std::tuple<QString, QByteArray, QString, int>> sorted{
        {"a.jpg", "2021:05:01 10:00:00", "2023-01-01", 8},
        {"b.jpg", "", "2020-01-01", 400},
        {"c.jpg", "2019:03:01 10:00:00", "2022-01-01", 100}};
    for (const auto &[name, taken, modified, side] : sorted) {
        const QString path = dir.filePath("sorted/" + name);
        const QImage image = markedPicture(QSize(side, side));
        QVERIFY(taken.isEmpty()
                    ? image.save(path)
                    : writeExifJpeg(path, image, {{"Exif.Photo.DateTimeOriginal", taken}}));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::fromString(modified, Qt::ISODate),
                                 QFileDevice::FileModificationTime));
    }
    // The tree's start folder must not depend on the machine's own home.
    home = std::make_unique<EnvironmentGuard>("HOME", dir.filePath("home").toLocal8Bit());
    config = std::make_unique<EnvironmentGuard>("XDG_CONFIG_HOME",
                                                dir.filePath("config").toLocal8Bit());
}

void DesktopHabitsTest::init()
{
    viewer = new ImageViewer("RAW");
    viewer->resize(900, 700);
    viewer->show();
    QVERIFY(QTest::qWaitForWindowActive(viewer));
}

void DesktopHabitsTest::cleanup()
{
    delete viewer;
    viewer = nullptr;
}

QColor DesktopHabitsTest::shownColour() const
{
    const QImage image = viewer->imageLabel->image();
    return image.isNull() ? QColor() : image.pixelColor(5, 5);
}

void DesktopHabitsTest::pressOn(QWidget *widget, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    // A failure box that has just closed may have taken the window's activation with it.
    QApplication::setActiveWindow(viewer);
    widget->setFocus();
    QTRY_VERIFY(widget->hasFocus());
    QTest::keyClick(widget, key, modifiers);
}

void DesktopHabitsTest::treeStartsAtThePicturesFolder_data()
{
    QTest::addColumn<bool>("picturesFolder");
    QTest::addColumn<QString>("start");
    QTest::newRow("the user has a Pictures folder") << true << "home/Pictures";
    QTest::newRow("no Pictures folder: home") << false << "home";
}

void DesktopHabitsTest::treeStartsAtThePicturesFolder()
{
    QFETCH(bool, picturesFolder);
    QFETCH(QString, start);
    QDir root(dir.path());
    if (picturesFolder)
        QVERIFY(root.mkpath("home/Pictures"));
    else
        QVERIFY(QDir(dir.filePath("home/Pictures")).removeRecursively());
    cleanup();
    init();

    QTreeView *tree = viewer->folderTree;
    const QModelIndex expected = viewer->dirModel->index(dir.filePath(start));
    QVERIFY(expected.isValid());
    QCOMPARE(tree->currentIndex(), QModelIndex(expected));
    QVERIFY(tree->selectionModel()->isSelected(expected));
    // In view once the folders above it are read, which happens in the background.
    const auto inView = [&] {
        const QRect row = tree->visualRect(expected);
        return row.isValid() && row.top() >= 0 && row.bottom() < tree->viewport()->height();
    };
    QTRY_VERIFY(inView());
    // Selected, not activated: the grid waits for the user.
    QCOMPARE(viewer->thumbView->model()->rowCount(), 0);
}

void DesktopHabitsTest::fileOpensWithItsFolderInTheGridAndTree()
{
    viewer->openPath(picture("b.png"));
    QTRY_COMPARE(shownColour(), QColor(Qt::green));
    ThumbView *grid = viewer->thumbView;
    QCOMPARE(grid->model()->rowCount(), 4);
    QCOMPARE(grid->filePath(grid->currentIndex().row()), picture("b.png"));
    QCOMPARE(viewer->folderTree->currentIndex(),
             QModelIndex(viewer->dirModel->index(dir.filePath("pictures"))));
    QCOMPARE(viewer->lastDirectory, dir.filePath("pictures"));
}

void DesktopHabitsTest::folderFillsTheGridLikeADoubleClick()
{
    viewer->openPath(dir.filePath("pictures/"));
    QCOMPARE(viewer->thumbView->model()->rowCount(), 4);
    QCOMPARE(viewer->thumbView->filePath(0), picture("a.png"));
    QCOMPARE(viewer->folderTree->currentIndex(),
             QModelIndex(viewer->dirModel->index(dir.filePath("pictures"))));
    // As with a folder activated in the tree, the pane and the Open dialog's folder stay.
    QVERIFY(viewer->imageLabel->image().isNull());
    QVERIFY(viewer->lastDirectory.isNull());
}

void DesktopHabitsTest::missingPathGivesTheFailureBox()
{
    const QString missing = dir.filePath("pictures/gone.png");
    QString text;
    ModalWatcher<QMessageBox> watcher([&](QMessageBox *box) {
        text = box->windowTitle() + "|" + box->text();
        box->accept();
    });
    viewer->openPath(missing);
    QTRY_VERIFY(watcher.seen());
    QCOMPARE(text, "Velmora RAW Viewer|Cannot load " + missing + ".");
    QVERIFY(viewer->imageLabel->image().isNull());
}

void DesktopHabitsTest::pathNamedAtLaunch_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QColor>("shown");
    QTest::addColumn<bool>("box");
    QTest::addColumn<QString>("treeFolder");
    QTest::addColumn<int>("gridRows");
    QTest::addColumn<QString>("gridCurrent");
    const QString folder = dir.filePath("pictures");
    QTest::newRow("a picture: shown, then its folder in the tree and the grid")
        << picture("b.png") << QColor(Qt::green) << false << folder << 4 << picture("b.png");
    QTest::newRow("a broken picture: the box over the shown window, then its folder")
        << picture("c.png") << QColor() << true << folder << 4 << picture("c.png");
    QTest::newRow("a missing path: the box over the shown window, the tree at its start")
        << picture("gone.png") << QColor() << true << startFolder() << 0 << QString();
    QTest::newRow("a folder: its pictures in the grid") << folder << QColor() << false << folder
                                                       << 4 << QString();
}

// As main opens the path named on the command line: given to the window as it is built.
void DesktopHabitsTest::pathNamedAtLaunch()
{
    QFETCH(QString, path);
    QFETCH(QColor, shown);
    QFETCH(bool, box);
    QFETCH(QString, treeFolder);
    QFETCH(int, gridRows);
    QFETCH(QString, gridCurrent);
    cleanup();
    QString text;
    bool overShownWindow = false;
    ModalWatcher<QMessageBox> watcher([&](QMessageBox *message) {
        text = message->text();
        overShownWindow = message->parentWidget() && message->parentWidget()->isVisible();
        message->accept();
    });
    viewer = new ImageViewer("RAW", path);
    viewer->resize(900, 700);
    viewer->show();
    if (box)
        QTRY_VERIFY(watcher.seen());
    QTRY_COMPARE(shownColour(), shown);
    QTRY_VERIFY(viewer->dirModel);
    QTRY_COMPARE(viewer->thumbView->model()->rowCount(), gridRows);
    QCOMPARE(watcher.seen(), box);
    QCOMPARE(text, box ? "Cannot load " + path + "." : QString());
    QCOMPARE(overShownWindow, box);
    QCOMPARE(viewer->folderTree->currentIndex(),
             QModelIndex(viewer->dirModel->index(treeFolder)));
    ThumbView *grid = viewer->thumbView;
    QCOMPARE(grid->filePath(grid->currentIndex().row()), gridCurrent);
}

void DesktopHabitsTest::keysStepThroughTheFolderWhereverTheFocusIs_data()
{
    QTest::addColumn<QString>("focus");
    QTest::newRow("the folder tree has the keyboard") << "tree";
    QTest::newRow("the thumbnail grid has the keyboard") << "grid";
    QTest::newRow("the picture pane has the keyboard") << "pane";
}

void DesktopHabitsTest::keysStepThroughTheFolderWhereverTheFocusIs()
{
    QFETCH(QString, focus);
    // From the Open dialog's road: the grid shows another folder, or none.
    viewer->loadFile(picture("a.png"));
    QWidget *widget = focus == "tree"   ? static_cast<QWidget *>(viewer->folderTree)
                      : focus == "grid" ? static_cast<QWidget *>(viewer->thumbView)
                                        : static_cast<QWidget *>(viewer->imageScroll);

    // Space: the next picture, up to the last and no further; Backspace: back again. The
    // broken c.png stands between b.png and d.bmp and gives its box on the way.
    pressOn(widget, Qt::Key_Space);
    QTRY_COMPARE(shownColour(), QColor(Qt::green));
    {
        ModalWatcher<QMessageBox> watcher([](QMessageBox *box) { box->accept(); });
        pressOn(widget, Qt::Key_Space);
        QTRY_VERIFY(watcher.seen());
    }
    pressOn(widget, Qt::Key_Space);
    QTRY_COMPARE(shownColour(), QColor(Qt::blue));
    pressOn(widget, Qt::Key_Space);
    QTRY_COMPARE(shownColour(), QColor(Qt::blue));
    QCOMPARE(viewer->currentFile, picture("d.bmp"));
    {
        ModalWatcher<QMessageBox> watcher([](QMessageBox *box) { box->accept(); });
        pressOn(widget, Qt::Key_Backspace);
        QTRY_VERIFY(watcher.seen());
    }
    pressOn(widget, Qt::Key_Backspace);
    QTRY_COMPARE(shownColour(), QColor(Qt::green));
    pressOn(widget, Qt::Key_Backspace);
    pressOn(widget, Qt::Key_Backspace);
    QTRY_COMPARE(shownColour(), QColor(Qt::red));
}

void DesktopHabitsTest::launchedWithAPictureTheKeysReachIt_data()
{
    QTest::addColumn<bool>("inTree");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("shown"); // from b.jpg of a, b, c
    QTest::addColumn<bool>("fitted");
    QTest::newRow("Right shows the next") << false << int(Qt::Key_Right) << "c" << true;
    QTest::newRow("Page Down shows the next") << false << int(Qt::Key_PageDown) << "c" << true;
    QTest::newRow("Left shows the previous") << false << int(Qt::Key_Left) << "a" << true;
    QTest::newRow("Page Up shows the previous") << false << int(Qt::Key_PageUp) << "a" << true;
    QTest::newRow("Home shows the first") << false << int(Qt::Key_Home) << "a" << true;
    QTest::newRow("End shows the last") << false << int(Qt::Key_End) << "c" << true;
    QTest::newRow("+ zooms in as the wheel does") << false << int(Qt::Key_Plus) << "b" << false;
    QTest::newRow("Right in the folder tree stays there") << true << int(Qt::Key_Right) << "b"
                                                          << true;
}

void DesktopHabitsTest::launchedWithAPictureTheKeysReachIt()
{
    QFETCH(bool, inTree);
    QFETCH(int, key);
    QFETCH(QString, shown);
    QFETCH(bool, fitted);
    const auto path = [this](const QString &name) {
        return dir.filePath("sorted/" + name + ".jpg");
    };
    // Started with b.jpg, as from the command line.
    delete viewer;
    viewer = new ImageViewer("RAW", path("b"));
    viewer->show();
    QVERIFY(QTest::qWaitForWindowActive(viewer));
    QTRY_COMPARE(viewer->thumbView->model()->rowCount(), 3);
    // No click: the keys are where the picture is.
    QTRY_VERIFY(viewer->imageScroll->hasFocus() && viewer->shownFile == path("b"));
    if (inTree) {
        viewer->folderTree->setFocus();
        QTRY_VERIFY(viewer->folderTree->hasFocus());
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    QTRY_COMPARE(viewer->shownFile, path(shown));
    QCOMPARE(viewer->fitToWindowAction->isChecked(), fitted);
    QCOMPARE(viewer->folderTree->hasFocus(), inTree);
}

void DesktopHabitsTest::doubleClickOnARawStandInEndsAtActualSize()
{
    QTemporaryDir folder;
    // The embedded preview at once, the conversion a moment later.
    QVERIFY(writeScript(folder.filePath("dcraw"),
                        "[ \"$1\" = -T ] && sleep 1\nexec '" +
                            QStandardPaths::findExecutable("dcraw").toLocal8Bit() + "' \"$@\""));
    EnvironmentGuard path("PATH", EnvironmentGuard::pathWithFirst(folder.path()));
    DngOptions options;
    options.width = options.previewWidth = 1200;
    options.height = options.previewHeight = 800;
    QVERIFY(writeDng(folder.filePath("a.dng"), options));
    viewer->loadFile(folder.filePath("a.dng"));
    QTRY_VERIFY_WITH_TIMEOUT(viewer->imageLabel->showsStandIn(), 30000);
    QTest::mouseDClick(viewer->imageScroll->viewport(), Qt::LeftButton, Qt::NoModifier,
                       viewer->imageScroll->viewport()->rect().center());
    QTRY_VERIFY_WITH_TIMEOUT(!viewer->arrival->paneReader()->isReading(), 30000);
    QCOMPARE(viewer->imageLabel->image().size(), QSize(1200, 800));
    QVERIFY(!viewer->imageLabel->isFitMode() && viewer->imageLabel->shownScale() == 1.0);
}

void DesktopHabitsTest::sortByOrdersTheGridTheStepsAndTheCount_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("reversed");
    QTest::addColumn<QString>("order");
    QTest::addColumn<QByteArray>("retaken"); // c.jpg's new date, written before the row
    QTest::newRow("Date Taken: the Exif dates, the one without by its modification")
        << int(PictureOrder::DateTaken) << false << "cba" << QByteArray();
    QTest::newRow("Date Modified")
        << int(PictureOrder::DateModified) << false << "bca" << QByteArray();
    QTest::newRow("Size: the smallest first")
        << int(PictureOrder::Size) << false << "acb" << QByteArray();
    QTest::newRow("Reverse Order: the largest first")
        << int(PictureOrder::Size) << true << "bca" << QByteArray();
    // Last: the folder stays changed.
    QTest::newRow("Date Taken of a picture rewritten since its date was read: its new date")
        << int(PictureOrder::DateTaken) << false << "bac" << QByteArray("2022:02:02 10:00:00");
}

void DesktopHabitsTest::sortByOrdersTheGridTheStepsAndTheCount()
{
    QFETCH(int, key);
    QFETCH(bool, reversed);
    QFETCH(QString, order);
    QFETCH(QByteArray, retaken);
    const auto path = [this](QChar name) { return dir.filePath("sorted/%1.jpg").arg(name); };
    if (!retaken.isEmpty()) {
        QVERIFY(writeExifJpeg(path('c'), markedPicture(QSize(100, 100)),
                              {{"Exif.Photo.DateTimeOriginal", retaken}}));
        QFile file(path('c'));
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime(QDate(2022, 6, 1), QTime()),
                                 QFileDevice::FileModificationTime));
    }
    const auto grid = [this] {
        QString names;
        for (int row = 0; row < viewer->thumbView->model()->rowCount(); ++row)
            names += QFileInfo(viewer->thumbView->filePath(row)).baseName();
        return names;
    };
    const auto thumbnails = [this] {
        int made = 0;
        for (int row = 0; row < 3; ++row)
            made += viewer->thumbView->model()->index(row, 0).data().typeId() == QMetaType::QImage;
        return made;
    };
    viewer->openPath(path('a'));
    QTRY_COMPARE(viewer->browsingOrder->countLabel()->text(), QString("1 of 3"));
    QTRY_COMPARE(thumbnails(), 3);

    // The grid moves its rows and their thumbnails, the dates once they are read; a.jpg stays
    // current, and the count follows it.
    viewer->browsingOrder->keys()->actions().at(key)->trigger();
    if (reversed)
        viewer->browsingOrder->reverseAction()->trigger();
    QCOMPARE(thumbnails(), 3);
    QTRY_COMPARE(grid(), order);
    QCOMPARE(viewer->thumbView->currentIndex().row(), order.indexOf('a'));
    QCOMPARE(viewer->browsingOrder->countLabel()->text(),
             QString("%1 of 3").arg(order.indexOf('a') + 1));

    viewer->openPath(path(order.at(0)));
    for (int i = 0; i < 3; ++i) {
        QTRY_COMPARE(viewer->shownFile, path(order.at(i)));
        QCOMPARE(viewer->browsingOrder->countLabel()->text(), QString("%1 of 3").arg(i + 1));
        viewer->nextAction->trigger();
    }
    QCOMPARE(grid(), order);
}

void DesktopHabitsTest::ctrlWheelZoomsFromFitThenWhileZoomIsEnabled()
{
    StdoutCapture output;
    ImageScroll *pane = viewer->imageScroll;
    const auto wheel = [pane](int delta) {
        QWidget *viewport = pane->viewport();
        const QPointF centre = QRectF(viewport->rect()).center();
        QWheelEvent event(centre, viewport->mapToGlobal(centre), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &event);
    };
    // Nothing shown: nothing to zoom.
    wheel(120);
    QVERIFY(viewer->fitToWindowAction->isChecked());

    // Fitted: the first notch leaves fit and zooms one step from the fitted scale.
    viewer->openPath(picture("a.png"));
    QTRY_VERIFY_WITH_TIMEOUT(!viewer->arrival->paneReader()->isReading(), 30000);
    const double fitted = qMin((pane->width() - 2) / 120.0, (pane->height() - 2) / 90.0);
    QVERIFY(fitted > 2);
    wheel(-120);
    QVERIFY(!viewer->fitToWindowAction->isChecked());
    QVERIFY(viewer->zoomInAction->isEnabled());
    QCOMPARE(viewer->imageLabel->scaleFactor(), fitted * 0.8);

    // Then as before: a new picture opens at scale 1, and each notch is one step.
    viewer->loadFile(picture("a.png"));
    QTRY_VERIFY_WITH_TIMEOUT(!viewer->arrival->paneReader()->isReading(), 30000);
    wheel(240);
    wheel(-120);
    QCOMPARE(viewer->imageLabel->scaleFactor(), 1.25);
    QCOMPARE(output.text(),
             QByteArray::number(fitted * 0.8) + QByteArray("\n1.25\n1.5625\n1.25\n"));

    // At the upper limit Zoom In turns itself off, and the wheel stops with it.
    for (int i = 0; i < 20; ++i)
        wheel(120);
    QVERIFY(!viewer->zoomInAction->isEnabled());
    QVERIFY(viewer->imageLabel->scaleFactor() > 10.0);
    QVERIFY(viewer->imageLabel->scaleFactor() < 12.5);
}

void DesktopHabitsTest::zoomKeepsThePointUnderThePointer_data()
{
    QTest::addColumn<int>("notches"); // 0: a double-click
    QTest::addColumn<bool>("fitted");
    QTest::addColumn<double>("scale"); // afterwards; 0: fitted
    QTest::newRow("Ctrl + wheel in from fit") << 1 << true << -1.0;
    QTest::newRow("two notches in from fit, the first not yet tall enough to scroll")
        << 2 << true << -1.0;
    QTest::newRow("Ctrl + wheel in at 100 %") << 1 << false << 1.25;
    QTest::newRow("Ctrl + wheel out at 100 %") << -1 << false << 0.8;
    QTest::newRow("double-click from fit: 100 %") << 0 << true << 1.0;
    QTest::newRow("double-click at 100 %: fit") << 0 << false << 0.0;
}

void DesktopHabitsTest::zoomKeepsThePointUnderThePointer()
{
    QFETCH(int, notches);
    QFETCH(bool, fitted);
    QFETCH(double, scale);
    // Larger than the pane both ways after a notch in from fit; wider for two notches.
    const QSize size(notches == 2 ? 4000 : 3000, 3000);
    QImage large(size, QImage::Format_RGB32);
    large.fill(Qt::darkGreen);
    QVERIFY(large.save(dir.filePath("large.png")));
    viewer->loadFile(dir.filePath("large.png"));
    QTRY_VERIFY_WITH_TIMEOUT(!viewer->arrival->paneReader()->isReading(), 30000);
    if (!fitted)
        viewer->fitToWindowAction->trigger();
    for (QScrollBar *bar : viewer->imageScroll->findChildren<QScrollBar *>())
        bar->setValue(bar->maximum() / 2);
    // Off centre, as on an eye near a corner of the picture.
    QWidget *viewport = viewer->imageScroll->viewport();
    const QPoint at(viewport->width() * 4 / 5, viewport->height() * 2 / 5);
    const ImageLabel *label = viewer->imageLabel;
    const auto pictureAt = [&] {
        const QRect drawn = drawnRect(label->size(), label->image().size(), label->isFitMode(),
                                      label->scaleFactor());
        return QPointF(label->mapFrom(viewport, at) - drawn.topLeft()) * size.width() /
               drawn.width();
    };
    const QPointF before = pictureAt();
    StdoutCapture output;
    QWheelEvent wheel(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, notches < 0 ? -120 : 120),
                      Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
    for (int i = 0; i < std::abs(notches); ++i)
        QApplication::sendEvent(viewport, &wheel);
    if (notches == 0)
        QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(viewer->fitToWindowAction->isChecked(), scale == 0);
    if (scale > 0)
        QCOMPARE(label->scaleFactor(), scale);
    const QPointF moved = (pictureAt() - before) * label->scaleFactor();
    QVERIFY(scale == 0 || moved.manhattanLength() <= 3); // a pixel or two on the screen
}

void DesktopHabitsTest::burstOfStepsShowsOnlyTheLastPicture()
{
    QTemporaryDir folder;
    // A slow decoder: the keys come faster than the pictures.
    QVERIFY(writeScript(folder.filePath("dcraw"),
                        "sleep 0.5\nexec '" +
                            QStandardPaths::findExecutable("dcraw").toLocal8Bit() + "' \"$@\""));
    EnvironmentGuard path("PATH", EnvironmentGuard::pathWithFirst(folder.path()));
    for (const char *name : {"a.dng", "b.dng", "c.dng", "d.dng", "e.dng"})
        QVERIFY(writeDng(folder.filePath(name)));
    viewer->loadFile(folder.filePath("a.dng"));
    QTRY_VERIFY_WITH_TIMEOUT(!viewer->arrival->paneReader()->isReading(), 30000);
    // b is read ahead, and shown at once; the others are not.
    QTRY_VERIFY_WITH_TIMEOUT(!viewer->arrival->readAhead()->isReading(), 30000);
    QStringList shown;
    connect(viewer->imageLabel, &ImageLabel::viewChanged, this,
            [&] { shown << QFileInfo(viewer->shownFile).fileName(); });
    for (int i = 0; i < 4; ++i)
        pressOn(viewer->imageScroll, Qt::Key_Space);
    // Every key taken at once, without waiting for a picture; no picture passed shown after.
    QCOMPARE(viewer->currentFile, folder.filePath("e.dng"));
    QTRY_VERIFY_WITH_TIMEOUT(!viewer->arrival->paneReader()->isReading(), 30000);
    shown.erase(std::unique(shown.begin(), shown.end()), shown.end());
    QCOMPARE(shown, QStringList({"b.dng", "e.dng"}));
}

void DesktopHabitsTest::dropOpensAFileOrAFolder_data()
{
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QColor>("shown");
    QTest::addColumn<int>("gridRows");
    const QUrl file = QUrl::fromLocalFile(picture("d.bmp"));
    const QUrl folder = QUrl::fromLocalFile(dir.filePath("pictures"));
    QTest::newRow("a picture file opens with its folder")
        << QList<QUrl>{file} << true << QColor(Qt::blue) << 4;
    QTest::newRow("a folder fills the grid") << QList<QUrl>{folder} << true << QColor() << 4;
    QTest::newRow("of several, the first counts")
        << QList<QUrl>{folder, file} << true << QColor() << 4;
    QTest::newRow("an address on the web is refused")
        << QList<QUrl>{QUrl("https://www.velmora.example/a.jpg")} << false << QColor() << 0;
    QTest::newRow("text without a file is refused") << QList<QUrl>{} << false << QColor() << 0;
}

void DesktopHabitsTest::dropOpensAFileOrAFolder()
{
    QFETCH(QList<QUrl>, urls);
    QFETCH(bool, accepted);
    QFETCH(QColor, shown);
    QFETCH(int, gridRows);
    QMimeData mime;
    mime.setText("some words");
    if (!urls.isEmpty())
        mime.setUrls(urls);
    QVERIFY(viewer->acceptDrops());

    const QPoint point = viewer->rect().center();
    QDragEnterEvent enter(point, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewer, &enter);
    QCOMPARE(enter.isAccepted(), accepted);
    QDropEvent drop(point, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewer, &drop);
    QCOMPARE(drop.isAccepted(), accepted);
    QTRY_COMPARE(shownColour(), shown);
    QCOMPARE(viewer->thumbView->model()->rowCount(), gridRows);
}

void DesktopHabitsTest::fullScreenShowsThePaneAloneAndComesBack()
{
    viewer->openPath(picture("a.png"));
    QTRY_VERIFY_WITH_TIMEOUT(!viewer->arrival->paneReader()->isReading(), 30000);
    // The tree scrolled as someone looking for a folder leaves it: a short dock, a long list.
    viewer->resizeDocks({viewer->folderDock}, {120}, Qt::Vertical);
    QScrollBar *treeBar = viewer->folderTree->verticalScrollBar();
    QTRY_VERIFY(treeBar->maximum() > 0);
    treeBar->setValue(treeBar->maximum());
    const int treeScrolled = treeBar->value();
    const QRect before = viewer->geometry();
    const QRect treeBefore = viewer->folderDock->geometry();
    const QRect gridBefore = viewer->thumbDock->geometry();

    pressOn(viewer->imageScroll, Qt::Key_F11);
    QVERIFY(viewer->isFullScreen());
    QCOMPARE(viewer->geometry(), viewer->screen()->geometry());
    // Edge to edge: the picture's black reaches the screen's sides, with no frame around it.
    QCOMPARE(viewer->imageLabel->geometry(), QRect(QPoint(), viewer->screen()->size()));
    QVERIFY(viewer->menuBar()->isHidden());
    QVERIFY(viewer->statusBar()->isHidden());
    QVERIFY(viewer->folderDock->isHidden());
    QVERIFY(viewer->imageScroll->isVisible());

    // The menus' shortcuts work without the menu bar; the arrows still turn the pages.
    pressOn(viewer->imageScroll, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(!viewer->fitToWindowAction->isChecked());
    pressOn(viewer->imageScroll, Qt::Key_F, Qt::ControlModifier);
    pressOn(viewer->imageScroll, Qt::Key_Right);
    QTRY_COMPARE(shownColour(), QColor(Qt::green));

    pressOn(viewer->imageScroll, Qt::Key_Escape);
    QVERIFY(!viewer->isFullScreen());
    QCOMPARE(viewer->geometry(), before);
    QVERIFY(!viewer->menuBar()->isHidden());
    QVERIFY(!viewer->statusBar()->isHidden());
    QTRY_COMPARE(viewer->folderDock->geometry(), treeBefore);
    QCOMPARE(viewer->thumbDock->geometry(), gridBefore);
    QCOMPARE(treeBar->value(), treeScrolled);
    QVERIFY(viewer->folderTree->isExpanded(viewer->dirModel->index(dir.path())));

    // A dock the user closed stays closed on the way back.
    viewer->thumbDock->close();
    pressOn(viewer->imageScroll, Qt::Key_F11);
    pressOn(viewer->imageScroll, Qt::Key_Escape);
    QVERIFY(!viewer->folderDock->isHidden());
    QVERIFY(viewer->thumbDock->isHidden());

    // F11 goes back as well; Esc outside full screen is nobody's shortcut.
    pressOn(viewer->imageScroll, Qt::Key_F11);
    QVERIFY(viewer->isFullScreen());
    pressOn(viewer->imageScroll, Qt::Key_F11);
    QVERIFY(!viewer->isFullScreen());
    QCOMPARE(viewer->geometry(), before);
    QVERIFY(!viewer->leaveFullScreenAction->isEnabled());
}

void DesktopHabitsTest::leavingFullScreenShowsTheCurrentThumbnail()
{
    // More pictures than the grid shows at once; the last one is made current in full screen.
    QTemporaryDir folder;
    for (int i = 10; i < 70; ++i)
        QVERIFY(QFile::copy(picture("a.png"), folder.filePath(QString("%1.png").arg(i))));
    viewer->openPath(folder.filePath("10.png"));
    const QRect gridBefore = viewer->thumbDock->geometry();
    pressOn(viewer->imageScroll, Qt::Key_F11);
    viewer->loadFile(folder.filePath("69.png"));
    pressOn(viewer->imageScroll, Qt::Key_Escape);
    QTRY_COMPARE(viewer->thumbDock->geometry(), gridBefore);
    ThumbView *grid = viewer->thumbView;
    QCOMPARE(grid->filePath(grid->currentIndex().row()), folder.filePath("69.png"));
    QTRY_VERIFY(grid->viewport()->rect().contains(grid->visualRect(grid->currentIndex())));
}

void DesktopHabitsTest::statusBarNamesThePictureAndItsZoom()
{
    QLabel *status = viewer->statusLabel;
    QCOMPARE(status->text(), QString());
    {
        ModalWatcher<QMessageBox> watcher([](QMessageBox *box) { box->accept(); });
        viewer->loadFile(picture("c.png"));
        QTRY_VERIFY(watcher.seen());
    }
    QCOMPARE(status->text(), QString());

    viewer->loadFile(picture("a.png"));
    const QSize pane = viewer->imageScroll->size() - QSize(2, 2);
    const QString fitted = QString("a.png    120 × 90    fit %1%")
                               .arg(qRound(100 * qMin(pane.width() / 120.0, pane.height() / 90.0)));
    QTRY_COMPARE(status->text(), fitted);
    viewer->resize(viewer->size() + QSize(120, 90));
    QTRY_VERIFY(status->text() != fitted);
    viewer->fitToWindowAction->trigger();
    QCOMPARE(status->text(), "a.png    120 × 90    100%");
    StdoutCapture zoomSteps;
    viewer->zoomInAction->trigger();
    QCOMPARE(status->text(), "a.png    120 × 90    125%");
    {
        ModalWatcher<QMessageBox> watcher([](QMessageBox *box) { box->accept(); });
        viewer->loadFile(picture("c.png"));
        QTRY_VERIFY(watcher.seen());
    }
    // A failed load leaves the picture, and its line, as they were.
    QCOMPARE(status->text(), "a.png    120 × 90    125%");
    viewer->loadFile(picture("d.bmp"));
    QTRY_COMPARE(status->text(), "d.bmp    120 × 90    100%");
}

void DesktopHabitsTest::statusText_data()
{
    QTest::addColumn<bool>("fitted");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QString>("text");
    QTest::newRow("fitted, at its fitted scale")
        << true << 0.37 << "x.dng    6000 × 4000    fit 37%";
    QTest::newRow("at its own size") << false << 1.0 << "x.dng    6000 × 4000    100%";
    QTest::newRow("two steps in round to a whole percent")
        << false << 1.5625 << "x.dng    6000 × 4000    156%";
    QTest::newRow("two steps out read 64, not 63") << false << 0.8 * 0.8
                                                   << "x.dng    6000 × 4000    64%";
}

void DesktopHabitsTest::statusText()
{
    QFETCH(bool, fitted);
    QFETCH(double, scale);
    QFETCH(QString, text);
    QCOMPARE(pictureStatus("/photos/2026/x.dng", QSize(6000, 4000), fitted, scale), text);
}

void DesktopHabitsTest::statusTextOfAReducedPicture()
{
    QCOMPARE(pictureStatus("x.jpg", QSize(6000, 4000), true, 0.1, QSize(12000, 8000)),
             "x.jpg    12000 × 8000, shown reduced to 6000 × 4000    fit 5%");
    QCOMPARE(pictureStatus("x.jpg", QSize(4000, 6000), true, 0.1, QSize(12000, 8000)),
             "x.jpg    8000 × 12000, shown reduced to 4000 × 6000    fit 5%");
    // Percentages count the file's pixels.
    QCOMPARE(pictureStatus("x.jpg", QSize(6000, 4000), false, 1.0, QSize(12000, 8000)),
             "x.jpg    12000 × 8000, shown reduced to 6000 × 4000    50%");
}

void DesktopHabitsTest::windowHasTheProjectIcon()
{
    // Null without the SVG icon engine or without the resource.
    QVERIFY(!viewer->windowIcon().pixmap(QSize(48, 48)).isNull());
}

void DesktopHabitsTest::readAheadServesAStepWhileItsFileIsUnchanged_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QSize>("shown");
    QTest::addColumn<qint64>("conversions");
    QTest::addColumn<bool>("box");
    QTest::newRow("unchanged: shown without a conversion") << "" << QSize(64, 48) << 0LL << false;
    QTest::newRow("replaced: its new content") << "replace" << QSize(80, 48) << 1LL << false;
    QTest::newRow("deleted: the box") << "delete" << QSize(64, 48) << 0LL << true;
}

void DesktopHabitsTest::readAheadServesAStepWhileItsFileIsUnchanged()
{
    QFETCH(QString, change);
    QFETCH(QSize, shown);
    QFETCH(qint64, conversions);
    QFETCH(bool, box);
    QTemporaryDir folder;
    QTemporaryDir bin;
    // The real decoder, each conversion counted as one byte of runs in the private folder, where
    // it outlasts the work folder: beyond a confined decoder's reach. A preview is no conversion.
    const QString runs = privateTempDirectory() + "/runs";
    const auto forget = qScopeGuard([&runs] { QFile::remove(runs); });
    const EnvironmentGuard unconfined("VELMORA_NO_SANDBOX", "1");
    QVERIFY(writeScript(bin.filePath("dcraw"),
                        "[ \"$1\" = -T ] && echo >> \"${2%/*}/../runs\"\nexec '" +
                            QStandardPaths::findExecutable("dcraw").toLocal8Bit() + "' \"$@\""));
    EnvironmentGuard path("PATH", EnvironmentGuard::pathWithFirst(bin.path()));
    const QString next = folder.filePath("b.dng");
    QVERIFY(writeDng(folder.filePath("a.dng")) && writeDng(next));

    viewer->loadFile(folder.filePath("a.dng"));
    QTRY_VERIFY_WITH_TIMEOUT(!viewer->arrival->paneReader()->isReading(), 30000);
    // b is read ahead; there is nothing before a.
    QTRY_VERIFY_WITH_TIMEOUT(!viewer->arrival->readAhead()->isReading(), 30000);
    QVERIFY(viewer->arrival->readAhead()->heldBytes() > 0);
    const qint64 before = QFileInfo(runs).size();
    if (!change.isEmpty())
        QVERIFY(QFile::remove(next));
    DngOptions wider;
    wider.width = 80;
    if (change == "replace")
        QVERIFY(writeDng(next, wider));
    ModalWatcher<QMessageBox> watcher([](QMessageBox *shown) { shown->accept(); });
    viewer->loadFile(next);
    QTRY_VERIFY_WITH_TIMEOUT(!viewer->arrival->paneReader()->isReading(), 30000);
    QCOMPARE(watcher.seen(), box);
    QCOMPARE(viewer->imageLabel->image().size(), shown);
    QCOMPARE(QFileInfo(runs).size() - before, conversions);
}

void DesktopHabitsTest::readAheadGivesWay_data()
{
    QTest::addColumn<bool>("otherFolder");
    QTest::newRow("another folder in the grid drops everything") << true;
    QTest::newRow("a picture that was not read ahead opened") << false;
}

void DesktopHabitsTest::readAheadGivesWay()
{
    QFETCH(bool, otherFolder);
    QTemporaryDir folder;
    // A conversion that would take a minute.
    QVERIFY(writeScript(folder.filePath("dcraw"), "exec sleep 60"));
    EnvironmentGuard path("PATH", EnvironmentGuard::pathWithFirst(folder.path()));
    QVERIFY(writeDng(folder.filePath("a.dng")));
    for (const char *name : {"b.png", "c.png", "d.png"})
        QVERIFY(QFile::copy(picture("a.png"), folder.filePath(name)));

    // From b: c is read ahead, then the decoder starts on a.
    viewer->loadFile(folder.filePath("b.png"));
    QTRY_VERIFY_WITH_TIMEOUT(!childProcesses().isEmpty(), 30000);
    QVERIFY(viewer->arrival->readAhead()->heldBytes() > 0);
    if (otherFolder)
        viewer->openPath(dir.filePath("pictures"));
    else
        viewer->loadFile(folder.filePath("d.png"));
    QTRY_COMPARE(childProcesses(), QList<qint64>());
    if (otherFolder)
        QCOMPARE(viewer->arrival->readAhead()->heldBytes(), 0);
}

void DesktopHabitsTest::windowAnswersWhileTheDecoderIsStuck()
{
    QTemporaryDir bin;
    QVERIFY(writeScript(bin.filePath("decoder"), "exec sleep 60"));
    {
        const EnvironmentGuard stuck("VELMORA_DECODER", QFile::encodeName(bin.filePath("decoder")));
        DecoderPool::endIdle();
        viewer->loadFile(picture("a.png"));
        QTRY_VERIFY_WITH_TIMEOUT(!childProcesses().isEmpty(), 30000);
    }
    QTRY_COMPARE(viewer->arrival->loadingLabel()->text(), QString("Loading a.png..."));
    QCOMPARE(viewer->imageScroll->viewport()->cursor().shape(), Qt::BusyCursor);
    pressOn(viewer->imageScroll, Qt::Key_F1);
    QVERIFY(viewer->commands->shortcutsWindow() &&
            viewer->commands->shortcutsWindow()->isVisible());
    QVERIFY(viewer->arrival->paneReader()->isReading());
    // A newer picture replaces the one that never comes, whose decoder is ended.
    viewer->loadFile(picture("b.png"));
    QTRY_COMPARE_WITH_TIMEOUT(shownColour(), QColor(Qt::green), 30000);
    QVERIFY(viewer->arrival->loadingLabel()->isHidden());
    QTRY_COMPARE(childProcesses(), QList<qint64>());
}

QTEST_MAIN(DesktopHabitsTest)
#include "tst_desktophabits.moc"
