#include "imagelabel.h"
#include "imagescroll.h"

#include <QtTest>

class ImageLabelTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void emptyLabelPaintsBlackAndKeepsItsSize();
    void paintsPictureInsideItsRectangle();
    void fitModeFollowsTheScrollArea();
    void scaledModeWidensWithTheArea();
    void modesKeepTheScaleFactor();
    void settingTheScrollAreaAloneChangesNothing();

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

QTEST_MAIN(ImageLabelTest)
#include "tst_imagelabel.moc"
