// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagelabel.h"
#include "animationplayer.h"
#include "decoderpool.h"
#include "environmentguard.h"
#include "hostilecorpus.h"
#include "imagescroll.h"
#include "loader.h"

#include <QScrollBar>
#include <QtTest>

#include <cstring>

class ImageLabelTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void emptyLabelPaintsBlackAndKeepsItsSize();
    void emptyPaneIsItsBackgroundAlone();
    void paintsPictureInsideItsRectangle();
    void fitModeFollowsTheScrollArea();
    void scaledModeWidensWithTheArea();
    void modesKeepTheScaleFactor();
    void settingTheScrollAreaAloneChangesNothing();
    void ctrlWheelAsksToZoomInsteadOfScrolling_data();
    void ctrlWheelAsksToZoomInsteadOfScrolling();
    void doubleClickOnAStandInAsksForTheActualSize();
    void arrowsTurnPagesOnlyWhileFitted_data();
    void arrowsTurnPagesOnlyWhileFitted();
    void dragPansALargePictureWithAHand();
    void stripesTurnGreyOnlyWhenReduced();
    void normalSizeGivesEachPixelOneOfTheScreen();
    void hugeDeepAndOneBitPicturesReduceInBands();
    void animationsNeverHoldTheWindow();

private:
    static QImage render(QWidget *widget);
    static QImage solid(const QSize &size, QColor colour);

    ImageScroll *scroll = nullptr;
    ImageLabel *label = nullptr;
};

QImage ImageLabelTest::render(QWidget *widget)
{
    QImage image(widget->size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    widget->render(&image);
    return image;
}

QImage ImageLabelTest::solid(const QSize &size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

void ImageLabelTest::init()
{
    scroll = new ImageScroll;
    label = new ImageLabel;
    scroll->setWidget(label);
    label->setScrollArea(scroll);
    connect(scroll, &ImageScroll::resizeSignal, label, &ImageLabel::parentResized);
    scroll->resize(600, 500);
    scroll->show();
    QVERIFY(QTest::qWaitForWindowExposed(scroll));
}

void ImageLabelTest::cleanup()
{
    delete scroll;
}

void ImageLabelTest::emptyLabelPaintsBlackAndKeepsItsSize()
{
    label->resize(123, 45);
    label->setFitMode(true);
    label->setScaleFactor(2.0);
    QCOMPARE(label->size(), QSize(123, 45));
    const QImage painted = render(label);
    QCOMPARE(painted.pixelColor(0, 0), QColor(Qt::black));
    QCOMPARE(painted.pixelColor(122, 44), QColor(Qt::black));
}

void ImageLabelTest::emptyPaneIsItsBackgroundAlone()
{
    // As the window builds its pane: the label is given to the area before it has a picture.
    const QImage painted = render(scroll->viewport());
    const QColor background = painted.pixelColor(300, 250);
    for (const QPoint &corner : {QPoint(0, 0), QPoint(5, 13), QPoint(2, 7)})
        QCOMPARE(painted.pixelColor(corner), background);
}

void ImageLabelTest::paintsPictureInsideItsRectangle()
{
    label->setFitMode(false);
    label->setImage(solid(QSize(400, 300), Qt::red));
    label->setScaleFactor(1.0);
    QCOMPARE(label->size(), QSize(598, 498));

    const QImage painted = render(label);
    // Drawn at (99, 99), 400 x 300, on black.
    QCOMPARE(painted.pixelColor(98, 200), QColor(Qt::black));
    QCOMPARE(painted.pixelColor(99, 99), QColor(Qt::red));
    QCOMPARE(painted.pixelColor(498, 398), QColor(Qt::red));
    QCOMPARE(painted.pixelColor(499, 398), QColor(Qt::black));
    QCOMPARE(painted.pixelColor(498, 399), QColor(Qt::black));
}

void ImageLabelTest::fitModeFollowsTheScrollArea()
{
    label->setImage(solid(QSize(400, 300), Qt::green));
    label->setScaleFactor(1.0);
    label->setFitMode(true);
    QCOMPARE(label->size(), QSize(598, 498));

    scroll->resize(1000, 300);
    QCOMPARE(label->size(), QSize(998, 298));
    const QImage painted = render(label);
    // The whole picture stays visible: 397 x 298 at (300, 0).
    QCOMPARE(painted.pixelColor(299, 150), QColor(Qt::black));
    QCOMPARE(painted.pixelColor(300, 0), QColor(Qt::green));
    QCOMPARE(painted.pixelColor(696, 297), QColor(Qt::green));
    QCOMPARE(painted.pixelColor(697, 150), QColor(Qt::black));
}

void ImageLabelTest::scaledModeWidensWithTheArea()
{
    label->setImage(solid(QSize(700, 300), Qt::blue));
    label->setScaleFactor(1.0);
    label->setFitMode(false);
    QCOMPARE(label->size(), QSize(700, 498));

    scroll->resize(800, 500);
    QCOMPARE(label->size(), QSize(798, 498));
}

void ImageLabelTest::modesKeepTheScaleFactor()
{
    label->setImage(solid(QSize(100, 100), Qt::blue));
    label->setScaleFactor(1.0);
    label->setFitMode(false);
    label->scaleBy(1.25);
    label->scaleBy(1.25);
    label->setFitMode(true);
    label->setFitMode(false);
    QCOMPARE(label->scaleFactor(), 1.5625);
}

void ImageLabelTest::settingTheScrollAreaAloneChangesNothing()
{
    label->setImage(solid(QSize(400, 300), Qt::red));
    label->resize(10, 10);
    ImageScroll other;
    other.resize(300, 200);
    label->setScrollArea(&other);
    QCOMPARE(label->size(), QSize(10, 10));
    label->setScrollArea(scroll);
}

void ImageLabelTest::ctrlWheelAsksToZoomInsteadOfScrolling_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("delta");
    QTest::addColumn<QList<int>>("requests");
    QTest::addColumn<bool>("scrolls");
    QTest::newRow("Ctrl and a notch away zooms in")
        << Qt::KeyboardModifiers(Qt::ControlModifier) << 120 << QList<int>{1} << false;
    QTest::newRow("Ctrl and a notch back zooms out")
        << Qt::KeyboardModifiers(Qt::ControlModifier) << -120 << QList<int>{-1} << false;
    QTest::newRow("Ctrl and half a notch waits for the rest")
        << Qt::KeyboardModifiers(Qt::ControlModifier) << -60 << QList<int>{} << false;
    QTest::newRow("the wheel alone scrolls")
        << Qt::KeyboardModifiers() << -120 << QList<int>{} << true;
}

void ImageLabelTest::ctrlWheelAsksToZoomInsteadOfScrolling()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, delta);
    QFETCH(QList<int>, requests);
    QFETCH(bool, scrolls);
    label->setImage(solid(QSize(1000, 2000), Qt::red));
    label->setScaleFactor(1.0);
    label->setFitMode(false);
    QSignalSpy spy(scroll, &ImageScroll::zoomRequested);

    // Where a wheel over the picture ends up: the picture itself takes no wheel events.
    QWidget *viewport = scroll->viewport();
    const QPointF centre = QRectF(viewport->rect()).center();
    QWheelEvent wheel(centre, viewport->mapToGlobal(centre), QPoint(), QPoint(0, delta),
                      Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &wheel);

    QList<int> seen;
    for (const QList<QVariant> &arguments : spy)
        seen << arguments.at(0).toInt();
    QCOMPARE(seen, requests);
    QCOMPARE(scroll->verticalScrollBar()->value() > 0, scrolls);
}

void ImageLabelTest::doubleClickOnAStandInAsksForTheActualSize()
{
    // What is done to the stand-in carries over to the full picture.
    label->setStandIn(solid(QSize(100, 200), Qt::red), QSize(1000, 2000));
    QSignalSpy spy(scroll, &ImageScroll::pictureDoubleClicked);
    QTest::mouseDClick(scroll->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(300, 250));
    QCOMPARE(spy.size(), 1);
}

void ImageLabelTest::arrowsTurnPagesOnlyWhileFitted_data()
{
    QTest::addColumn<bool>("picture");
    QTest::addColumn<bool>("fitted");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QList<int>>("steps");
    QTest::newRow("fitted picture: Right then Left")
        << true << true << Qt::KeyboardModifiers() << QList<int>{1, -1};
    QTest::newRow("zoomed picture: the arrows scroll")
        << true << false << Qt::KeyboardModifiers() << QList<int>{};
    QTest::newRow("no picture yet: nothing to step from")
        << false << true << Qt::KeyboardModifiers() << QList<int>{};
    QTest::newRow("fitted picture with Ctrl held")
        << true << true << Qt::KeyboardModifiers(Qt::ControlModifier) << QList<int>{};
}

void ImageLabelTest::arrowsTurnPagesOnlyWhileFitted()
{
    QFETCH(bool, picture);
    QFETCH(bool, fitted);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QList<int>, steps);
    if (picture)
        label->setImage(solid(QSize(2000, 1000), Qt::red));
    label->setScaleFactor(1.0);
    label->setFitMode(fitted);
    QSignalSpy spy(scroll, &ImageScroll::stepRequested);

    QTest::keyClick(scroll, Qt::Key_Right, modifiers);
    const int scrolled = scroll->horizontalScrollBar()->value();
    QTest::keyClick(scroll, Qt::Key_Left, modifiers);

    QList<int> seen;
    for (const QList<QVariant> &arguments : spy)
        seen << arguments.at(0).toInt();
    QCOMPARE(seen, steps);
    // Where the arrows do not turn pages they keep scrolling a picture larger than the pane.
    QCOMPARE(scrolled > 0, picture && !fitted && modifiers == Qt::NoModifier);
}

void ImageLabelTest::dragPansALargePictureWithAHand()
{
    QWidget *viewport = scroll->viewport();
    label->setImage(solid(QSize(400, 300), Qt::red));
    label->setScaleFactor(1.0);
    label->setFitMode(false);
    // Smaller than the pane: nothing to pan, no hand.
    QVERIFY(!viewport->testAttribute(Qt::WA_SetCursor));

    label->setScaleFactor(4.0);
    QCOMPARE(viewport->cursor().shape(), Qt::OpenHandCursor);
    scroll->horizontalScrollBar()->setValue(400);
    scroll->verticalScrollBar()->setValue(300);

    QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(300, 200));
    QCOMPARE(viewport->cursor().shape(), Qt::ClosedHandCursor);
    QTest::mouseMove(viewport, QPoint(250, 260));
    QCOMPARE(scroll->horizontalScrollBar()->value(), 450);
    QCOMPARE(scroll->verticalScrollBar()->value(), 240);
    QTest::mouseMove(viewport, QPoint(400, 100));
    QCOMPARE(scroll->horizontalScrollBar()->value(), 300);
    QCOMPARE(scroll->verticalScrollBar()->value(), 400);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(400, 100));
    QCOMPARE(viewport->cursor().shape(), Qt::OpenHandCursor);

    // Moving without the button pans no more.
    QTest::mouseMove(viewport, QPoint(100, 100));
    QCOMPARE(scroll->horizontalScrollBar()->value(), 300);
    // With Ctrl the same drag takes the picture out of the window instead of panning it.
    QSignalSpy draggedOut(scroll, &ImageScroll::dragRequested);
    QTest::mousePress(viewport, Qt::LeftButton, Qt::ControlModifier, QPoint(300, 200));
    QTest::mouseMove(viewport, QPoint(250, 260));
    QCOMPARE(draggedOut.size(), 1);
    QCOMPARE(scroll->horizontalScrollBar()->value(), 300);

    label->setFitMode(true);
    QVERIFY(!viewport->testAttribute(Qt::WA_SetCursor));
}

void ImageLabelTest::stripesTurnGreyOnlyWhenReduced()
{
    // One-pixel stripes, white on even rows: point sampling shows stripes or one colour.
    QImage stripes = solid(QSize(3000, 1000), Qt::black);
    for (int y = 0; y < stripes.height(); y += 2)
        std::memset(stripes.scanLine(y), 0xff, stripes.bytesPerLine());
    // Grey, or the stripes at 200 %, exactly in drawn and black around it.
    const auto wrongPixels = [&](const QRect &drawn, bool grey) {
        const QImage painted = render(label);
        int wrong = 0;
        for (int y = 0; y < painted.height(); ++y) {
            const int level = grey ? 128 : (y - drawn.top()) / 2 % 2 ? 0 : 255;
            for (int x = 0; x < painted.width(); ++x)
                wrong += qAbs(qRed(painted.pixel(x, y)) - (drawn.contains(x, y) ? level : 0)) >
                         (grey ? 3 : 0);
        }
        return wrong;
    };
    scroll->resize(402, 302);
    label->setImage(stripes);
    label->setFitMode(true);
    render(label);
    scroll->resize(302, 202);
    QTRY_COMPARE(wrongPixels(QRect(0, 50, 300, 100), true), 0);
    // A copy made beforehand, as the read-ahead makes it, is drawn from the very first paint.
    const QImage again = stripes.copy();
    label->setImage(again);
    label->offerCopy(ImageLabel::fittedCopy(again, scroll->size(), label->devicePixelRatioF()));
    QCOMPARE(wrongPixels(QRect(0, 50, 300, 100), true), 0);
    // Read after its stand-in, which is grey too: the first paints show the stand-in smoothly.
    QImage standIn = solid(QSize(600, 200), Qt::black);
    for (int y = 0; y < standIn.height(); y += 2)
        std::memset(standIn.scanLine(y), 0xff, standIn.bytesPerLine());
    label->setStandIn(standIn, stripes.size());
    label->setImage(stripes.copy());
    QCOMPARE(wrongPixels(QRect(0, 50, 300, 100), true), 0);
    label->setImage(stripes.copy(0, 0, 100, 51));
    label->setFitMode(false);
    label->setScaleFactor(2.0);
    QCOMPARE(wrongPixels(QRect(50, 49, 200, 102), false), 0);
}

void ImageLabelTest::normalSizeGivesEachPixelOneOfTheScreen()
{
    // Run again at a scale factor of 2, where odd sides end inside a logical pixel.
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
        QCOMPARE(label->devicePixelRatioF(), 2.0);
    QImage checker(101, 51, QImage::Format_RGB32);
    for (int y = 0; y < checker.height(); ++y)
        for (int x = 0; x < checker.width(); ++x)
            checker.setPixel(x, y, (x + y) % 2 ? 0xffffffff : 0xff0000ff);
    label->setImage(checker);
    label->setFitMode(false);
    label->setScaleFactor(1.0);
    const qreal ratio = label->devicePixelRatioF();
    const QRectF area = label->pictureArea();
    const QRect onScreen = QRectF(area.topLeft() * ratio, area.size() * ratio).toRect();
    QCOMPARE(onScreen.size(), checker.size());
    // Grabbed in device pixels: every one alternates, and black follows the last.
    QImage grabbed = label->grab().toImage().convertToFormat(QImage::Format_RGB32);
    grabbed.setDevicePixelRatio(1);
    QCOMPARE(grabbed.copy(onScreen), checker);
    QCOMPARE(grabbed.pixelColor(onScreen.topRight() + QPoint(1, 0)), QColor(Qt::black));
}

// Converted whole for smooth scaling, a 16-bit grey picture of 8000 x 8000 would take 512 MB, a
// one-bit picture of 18000 x 18000 1.3 GB.
void ImageLabelTest::hugeDeepAndOneBitPicturesReduceInBands()
{
#ifdef __SANITIZE_ADDRESS__
    QSKIP("AddressSanitizer keeps freed bands in its quarantine: the peak is its own");
#endif
    QImage grey(8000, 8000, QImage::Format_Grayscale16);
    grey.fill(QColor(128, 128, 128));
    QImage mono(18000, 18000, QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(128, 128, 128)});
    mono.fill(1);
    for (const QImage &picture : {grey, mono}) {
        if (!resetPeakResident())
            QSKIP("the kernel cannot reset the peak resident size");
        const qint64 before = residentKilobytes();
        const QImage copy = ImageLabel::fittedCopy(picture, QSize(800, 600), 1.0);
        QVERIFY(peakResidentKilobytes() - before < 200 * 1024);
        QCOMPARE(copy.pixel(copy.width() / 2, copy.height() - 1), qRgb(128, 128, 128));
    }
}

// The window asks no decoder whether a picture plays, and waits for no frame: on the window's
// thread, a silent decoder would hold it five seconds.
void ImageLabelTest::animationsNeverHoldTheWindow()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("moving.gif"));
    QVERIFY(QFile(path).open(QIODevice::WriteOnly));
    const EnvironmentGuard decoder("VELMORA_DECODER", VELMORA_LIARDECODER);
    const EnvironmentGuard told("VELMORA_LIE", "an animation whose frames never come");
    DecoderPool::endIdle();
    // The liar says every picture plays: only the picture's own read tells a still one.
    QImage picture = loadImage(path, false);
    label->setImage(picture);
    AnimationPlayer player(label);
    player.play(path);
    QVERIFY(player.isPlaying());
    picture.setText(QStringLiteral("Velmora-Animation"), QString());
    label->setImage(picture);
    player.play(path);
    QVERIFY(!player.isPlaying());
    // The frame's reading ends at its time limit, and its decoder with it.
    QThreadPool::globalInstance()->waitForDone();
    DecoderPool::endIdle();
}

QTEST_MAIN(ImageLabelTest)
#include "tst_imagelabel.moc"
