// SPDX-License-Identifier: GPL-3.0-or-later
// What the picture pane's painting costs with a fitted 24-megapixel photograph: the first smooth
// paint beside the fast paint it replaces, and how much of it the user-interface thread carries;
// a repaint from the smooth copy beside a plain drawImage of the label's size, and the longest
// stall of the user-interface thread while the window is resized in a burst.

#include "benchsupport.h"
#include "imagelabel.h"
#include "imagescroll.h"
#include "labelgeometry.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr QSize kPictureSize(6000, 4000);
// A pane of a window on a common laptop screen: the label is 1000 x 800.
constexpr QSize kAreaSize(1002, 802);
constexpr int kRuns = 9;
constexpr int kRepaintRuns = 51;
constexpr double kRepaintAim = 1.5;
constexpr int kBurstSteps = 20;
constexpr int kBurstGapMs = 30;
constexpr QSize kBurstStep(8, 6);
// Long enough after the burst for the smooth copy to be made and shown.
constexpr int kAfterBurstMs = 400;
constexpr int kStallTick = 5;
constexpr qint64 kStallAimMs = 50;

// Detail in every block, as in a photograph; seed makes two pictures differ.
QImage detailedPicture(const QSize &size, int seed)
{
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb((x * 7 + y + seed) & 0xff, (x ^ y) & 0xff, (x * y / 64) & 0xff);
    }
    return picture;
}

struct Medians
{
    double measured;
    double baseline;
};

// Runs both sides alternately after one warm-up each, so that drift in the machine's load
// touches both alike.
Medians alternate(int runs, const std::function<void(int)> &measured,
                  const std::function<void(int)> &baseline)
{
    measured(-1);
    baseline(-1);
    QList<double> measuredTimes;
    QList<double> baselineTimes;
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        measured(i);
        measuredTimes.append(timer.nsecsElapsed() / 1e6);
        timer.start();
        baseline(i);
        baselineTimes.append(timer.nsecsElapsed() / 1e6);
    }
    return {medianMs(measuredTimes), medianMs(baselineTimes)};
}

void report(const char *title, const char *measuredName, const char *baselineName,
            const Medians &medians, int runs)
{
    std::printf("%s: %s %.2f ms, %s %.2f ms, ratio %.3f (%d runs)\n", title, measuredName,
                medians.measured, baselineName, medians.baseline,
                medians.measured / medians.baseline, runs);
    std::fflush(stdout);
}

// The smooth copy is made on the pool; once it is there, the label has asked for a repaint.
void waitForSmoothCopy()
{
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
}

class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QImage pictures[] = {detailedPicture(kPictureSize, 0), detailedPicture(kPictureSize, 1)};

    ImageScroll scroll;
    auto *label = new ImageLabel;
    scroll.setWidget(label);
    label->setScrollArea(&scroll);
    QObject::connect(&scroll, &ImageScroll::resizeSignal, label, &ImageLabel::parentResized);
    scroll.resize(kAreaSize);
    label->setFitMode(true);
    label->setImage(pictures[0]);
    scroll.show();
    QCoreApplication::processEvents();

    QImage canvas(label->size(), QImage::Format_RGB32);
    const QRect target = drawnRect(label->size(), kPictureSize, true, 1.0);
    std::printf("6000 x 4000 picture fitted to %d x %d in a %d x %d label\n", target.width(),
                target.height(), label->width(), label->height());

    // Alternating two pictures makes every paint a first one: the copy of the other is dropped.
    // The warm-up run comes with i = -1.
    QList<double> firstOnInterface;
    const Medians first = alternate(
        kRuns,
        [&](int i) {
            QElapsedTimer interface;
            interface.start();
            label->setImage(pictures[(i + 2) % 2]);
            label->render(&canvas);
            firstOnInterface.append(interface.nsecsElapsed() / 1e6);
            waitForSmoothCopy();
            label->render(&canvas);
        },
        [&](int i) {
            // The paint as it was: the painter samples the full-size picture directly.
            QPainter painter(&canvas);
            painter.fillRect(canvas.rect(), QBrush(Qt::black, Qt::SolidPattern));
            painter.drawImage(QRectF(target), pictures[(i + 2) % 2], QRectF(pictures[0].rect()));
        });
    report("first paint of a new picture", "smooth", "fast (unsmoothed, as before)", first, kRuns);
    std::printf("first paint of a new picture: the user-interface thread's part %.2f ms (the copy "
                "is made on a worker meanwhile)\n",
                medianMs(firstOnInterface));

    const QSize half = kPictureSize / 2;
    const Medians steps = alternate(
        kRuns,
        [&](int) {
            (void)pictures[0].scaled(target.size(), Qt::IgnoreAspectRatio,
                                     Qt::SmoothTransformation);
        },
        [&](int) {
            (void)pictures[0]
                .scaled(half, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                .scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        });
    report("smooth reduction alone", "in one step", "halving first, then smooth", steps, kRuns);

    const QImage labelSized = detailedPicture(label->size(), 2);
    label->render(&canvas);
    waitForSmoothCopy();
    const Medians repaint = alternate(
        kRepaintRuns, [&](int) { label->render(&canvas); },
        [&](int) {
            QPainter painter(&canvas);
            painter.drawImage(0, 0, labelSized);
        });
    report("repaint from the smooth copy", "label", "plain drawImage of the label's size", repaint,
           kRepaintRuns);
    const double repaintRatio = repaint.measured / repaint.baseline;
    std::printf("repaint ratio %.3f (aim <= %.2f)\n", repaintRatio, kRepaintAim);

    // The burst: the window grows every 30 ms while a 5 ms ticker notes how late it comes.
    PaintCounter counter;
    label->installEventFilter(&counter);
    QEventLoop loop;
    QElapsedTimer sinceTick;
    qint64 burstStall = 0;
    qint64 afterStall = 0;
    bool bursting = true;
    QTimer ticker;
    ticker.setInterval(kStallTick);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        qint64 &stall = bursting ? burstStall : afterStall;
        stall = qMax(stall, sinceTick.restart());
    });
    int step = 0;
    int burstPaints = 0;
    QTimer resizer;
    resizer.setInterval(kBurstGapMs);
    QObject::connect(&resizer, &QTimer::timeout, [&] {
        if (step++ == kBurstSteps) {
            resizer.stop();
            burstPaints = counter.paints;
            bursting = false;
            QTimer::singleShot(kAfterBurstMs, &loop, &QEventLoop::quit);
            return;
        }
        scroll.resize(scroll.size() + kBurstStep);
    });
    sinceTick.start();
    ticker.start();
    resizer.start();
    loop.exec();
    std::printf("burst of %d resizes %d ms apart: %d paints, longest stall of the user-interface "
                "thread %lld ms (aim < %lld); after it, %d paints and the smooth copy, longest "
                "stall %lld ms\n",
                kBurstSteps, kBurstGapMs, burstPaints, static_cast<long long>(burstStall),
                static_cast<long long>(kStallAimMs), counter.paints - burstPaints,
                static_cast<long long>(afterStall));

    // Zoomed out one step from 100 %: the copy is 4800 x 3200, of which the pane shows a part.
    label->setFitMode(false);
    label->setScaleFactor(0.8);
    const QRect zoomed = drawnRect(label->size(), kPictureSize, false, 0.8);
    const QRegion visible(QRect(QPoint(), canvas.size()));
    QList<double> zoomedOnInterface;
    const Medians zoomedOut = alternate(
        kRuns,
        [&](int i) {
            QElapsedTimer interface;
            interface.start();
            label->setImage(pictures[(i + 2) % 2]);
            label->render(&canvas, QPoint(), visible);
            zoomedOnInterface.append(interface.nsecsElapsed() / 1e6);
            waitForSmoothCopy();
            label->render(&canvas, QPoint(), visible);
        },
        [&](int i) {
            QPainter painter(&canvas);
            painter.fillRect(canvas.rect(), QBrush(Qt::black, Qt::SolidPattern));
            painter.drawImage(QRectF(zoomed), pictures[(i + 2) % 2], QRectF(pictures[0].rect()));
        });
    report("first paint at 80 %, the pane's part of it", "smooth", "fast (unsmoothed, as before)",
           zoomedOut, kRuns);
    std::printf("first paint at 80 %%: the user-interface thread's part %.2f ms\n",
                medianMs(zoomedOnInterface));

    const bool met = repaintRatio <= kRepaintAim && burstStall < kStallAimMs;
    std::printf("aims %s\n", met ? "met" : "missed");
    return 0;
}
