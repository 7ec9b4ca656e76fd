// SPDX-License-Identifier: GPL-3.0-or-later
// The Picture menu and Help's list of keys: turning and copying the shown picture, the
// information dock, the slideshow and the keyboard shortcuts window.

#include "browsingorder.h"
#include "histogramview.h"
#include "imagelabel.h"
#include "imageviewer.h"
#include "informationdock.h"
#include "labelgeometry.h"
#include "modalwatcher.h"
#include "picturecommands.h"
#include "reduction.h"
#include "shortcutlist.h"
#include "shortcutswindow.h"
#include "slideshow.h"

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

class PictureCommandsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void rotateAndCopyTurnTheShownPicture_data();
    void rotateAndCopyTurnTheShownPicture();
    void informationDockWorksOnlyWhileShown();
    void slideshowStepsToTheEndAndStops();
    void slideshowFitsEveryPictureAndSkipsWhatItCannotRead();
    void shortcutsWindowAndReadmeListEveryKey();

private:
    QString picture(const QString &name) const { return dir.filePath(name); }
    PictureCommands *commands() const { return viewer->findChild<PictureCommands *>(); }
    Slideshow *slideshow() const { return viewer->findChild<Slideshow *>(); }
    ImageLabel *imageLabel() const { return viewer->findChild<ImageLabel *>(); }
    // The window's own commands, found as the user finds them: by their text.
    QAction *action(const QString &text) const
    {
        for (QAction *action : viewer->findChildren<QAction *>())
            if (action->text() == text)
                return action;
        return nullptr;
    }

    QTemporaryDir dir;
    ImageViewer *viewer = nullptr;
};

void PictureCommandsTest::initTestCase()
{
    QVERIFY(dir.isValid());
    // Red on the left, blue on the right: a turn shows where the red side went.
    QImage image(120, 90, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QPainter(&image).fillRect(0, 0, 60, 90, Qt::red);
    QVERIFY(image.save(picture("a.png")));
    QVERIFY(image.save(picture("b.png")));
}

void PictureCommandsTest::init()
{
    viewer = new ImageViewer("RAW");
    viewer->resize(900, 700);
    viewer->show();
    QVERIFY(QTest::qWaitForWindowExposed(viewer));
}

void PictureCommandsTest::cleanup()
{
    delete viewer;
}

void PictureCommandsTest::rotateAndCopyTurnTheShownPicture_data()
{
    QTest::addColumn<QList<int>>("turns"); // 1: Rotate Right, -1: Rotate Left
    QTest::addColumn<QPointF>("red");      // where the red side is, in parts of the picture
    QTest::newRow("right: the left side goes up") << QList<int>{1} << QPointF(0.5, 0.1);
    QTest::newRow("left: the left side goes down") << QList<int>{-1} << QPointF(0.5, 0.9);
    QTest::newRow("right twice: upside down") << QList<int>{1, 1} << QPointF(0.9, 0.5);
}

void PictureCommandsTest::rotateAndCopyTurnTheShownPicture()
{
    QFETCH(QList<int>, turns);
    QFETCH(QPointF, red);
    viewer->openPath(picture("a.png"));
    QTRY_COMPARE(commands()->shownFile(), picture("a.png"));
    for (int turn : turns)
        (turn > 0 ? commands()->rotateRightAction() : commands()->rotateLeftAction())->trigger();
    commands()->copyAction()->trigger();

    const auto redAt = [&red](const QImage &image, const QRect &area) {
        const QPoint at(area.left() + int(red.x() * area.width()),
                        area.top() + int(red.y() * area.height()));
        const QPoint across = area.center() * 2 - at;
        return image.pixelColor(at) == QColor(Qt::red) &&
               image.pixelColor(across) == QColor(Qt::blue);
    };
    const QImage shown = imageLabel()->image();
    QCOMPARE(shown.size(), turns.size() % 2 ? QSize(90, 120) : QSize(120, 90));
    QVERIFY(redAt(shown, shown.rect()));
    QVERIFY(redAt(QGuiApplication::clipboard()->image(), shown.rect()));
    const QImage screen = imageLabel()->grab().toImage();
    const QRect drawn = drawnRect(screen.size(), shown.size(), true, 1.0).adjusted(2, 2, -2, -2);
    QVERIFY(redAt(screen, drawn));

    // Another frame of the same picture stays turned; another picture opens as it was stored.
    imageLabel()->setImage(QImage(picture("b.png")));
    QCOMPARE(imageLabel()->image(), shown);
    viewer->openPath(picture("b.png"));
    QTRY_COMPARE(commands()->shownFile(), picture("b.png"));
    QCOMPARE(imageLabel()->image().size(), QSize(120, 90));
}

void PictureCommandsTest::informationDockWorksOnlyWhileShown()
{
    InformationDock *dock = commands()->informationDock();
    viewer->openPath(picture("a.png"));
    QTRY_COMPARE(commands()->shownFile(), picture("a.png"));
    QVERIFY(dock->text().isEmpty());

    // Worked out in the background; what is quick may land before the command returns.
    commands()->informationAction()->trigger();
    QVERIFY(dock->isVisible());
    const Histogram &counts = dock->histogramView()->histogram();
    QTRY_COMPARE(counts.blue[255], 120 * 90 / 2);
    QCOMPARE(counts.red[255] + counts.red[0], 120 * 90);
    QCOMPARE(counts.luminance[54] + counts.luminance[18], 120 * 90);
    QTRY_VERIFY(dock->text().contains("120 × 90"));
    QVERIFY(dock->text().contains("a.png"));

    // A picture shown reduced is described by its size in the file. The window may go while
    // the dock still works on it.
    QImage reduced(60, 45, QImage::Format_RGB32);
    setOriginalSize(reduced, QSize(240, 180));
    dock->showPicture(picture("a.png"), reduced);
    QTRY_VERIFY(dock->text().contains("240 × 180"));
    dock->showPicture(picture("b.png"), reduced);
    delete viewer;
    viewer = nullptr;
}

void PictureCommandsTest::slideshowStepsToTheEndAndStops()
{
    viewer->openPath(picture("a.png"));
    QTRY_COMPARE(commands()->shownFile(), picture("a.png"));
    slideshow()->action()->trigger();
    QVERIFY(viewer->isFullScreen());
    QVERIFY(slideshow()->timer()->isActive());
    // Space holds the show and lets it go on; it does not step.
    action("Next Picture")->trigger();
    QVERIFY(!slideshow()->timer()->isActive());
    action("Next Picture")->trigger();
    QVERIFY(slideshow()->timer()->isActive());

    slideshow()->advance();
    QTRY_COMPARE(commands()->shownFile(), picture("b.png"));
    QVERIFY(slideshow()->timer()->isActive());
    // Full screen keeps the status bar while the show runs: it counts the show's way.
    QVERIFY(viewer->statusBar()->isVisible());
    QCOMPARE(viewer->findChild<BrowsingOrder *>()->countLabel()->text(), QString("2 of 2"));
    // Past the last picture: the slideshow ends, and with it the full screen.
    slideshow()->advance();
    QCOMPARE(commands()->shownFile(), picture("b.png"));
    QVERIFY(!slideshow()->timer()->isActive());
    QVERIFY(!viewer->isFullScreen());

    // F5 and Esc end it as well.
    for (QAction *end : {slideshow()->action(), action("Leave Full Screen")}) {
        slideshow()->action()->trigger();
        end->trigger();
        QVERIFY(!slideshow()->timer()->isActive());
        QVERIFY(!viewer->isFullScreen());
    }
}

void PictureCommandsTest::slideshowFitsEveryPictureAndSkipsWhatItCannotRead()
{
    QTemporaryDir folder;
    QVERIFY(QFile::copy(picture("a.png"), folder.filePath("a.png")));
    QVERIFY(QFile::copy(VELMORA_README, folder.filePath("b.png")));
    QVERIFY(QFile::copy(picture("b.png"), folder.filePath("c.png")));
    ModalWatcher<QMessageBox> box([](QMessageBox *shown) { shown->accept(); });
    viewer->openPath(folder.filePath("a.png"));
    QTRY_COMPARE(commands()->shownFile(), folder.filePath("a.png"));
    action("&Fit to Window")->trigger();
    slideshow()->action()->trigger();
    slideshow()->advance();
    QTRY_COMPARE(commands()->shownFile(), folder.filePath("c.png"));
    QVERIFY(imageLabel()->isFitMode() && slideshow()->timer()->isActive());
    action("Leave Full Screen")->trigger();
    QVERIFY(!action("&Fit to Window")->isChecked() && !imageLabel()->isFitMode());
    QVERIFY(viewer->statusBar()->currentMessage().contains("b.png"));
    // In place of the picture's line, not drawn over it.
    for (const QLabel *label : viewer->statusBar()->findChildren<QLabel *>())
        QVERIFY(!label->isVisible() || !label->text().contains("c.png"));
    QVERIFY(!box.seen());
}

void PictureCommandsTest::shortcutsWindowAndReadmeListEveryKey()
{
    commands()->shortcutsAction()->trigger();
    QVERIFY(commands()->shortcutsWindow()->isVisible());
    const QTableWidget *table = commands()->shortcutsWindow()->table();
    QStringList listed;
    for (int row = 0; row < table->rowCount(); ++row)
        listed << table->item(row, 0)->text().split(", ");
    for (const QAction *action : viewer->findChildren<QAction *>()) {
        for (const QKeySequence &keys : action->shortcuts())
            QVERIFY2(listed.contains(keys.toString(QKeySequence::NativeText)),
                     qPrintable(action->text()));
    }

    QFile readme(VELMORA_README);
    QVERIFY(readme.open(QIODevice::ReadOnly));
    QVERIFY2(QString::fromUtf8(readme.readAll()).contains(shortcutTable(shortcutRows(viewer))),
             "the README's table of keys differs from the shortcuts window");
}

QTEST_MAIN(PictureCommandsTest)
#include "tst_picturecommands.moc"
