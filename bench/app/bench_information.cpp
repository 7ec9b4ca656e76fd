// SPDX-License-Identifier: GPL-3.0-or-later
// Measures what the information dock costs: loadFile of a 24-megapixel JPEG with the dock open
// against the same with it closed, on the user-interface thread; and the histogram of that
// picture on a worker thread against a plain copy of its pixels.
#include "benchsupport.h"
#include "histogram.h"
#include "imagelabel.h"
#include "imageviewer.h"
#include "informationdock.h"
#include "loader.h"
#include "orientedjpeg.h"
#include "panereader.h"
#include "picturearrival.h"
#include "picturecommands.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtConcurrent>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kWidth = 6000; // 24 megapixels
constexpr int kHeight = 4000;
constexpr int kLoadRuns = 15;
constexpr int kHistogramRuns = 15;
constexpr double kDockAimMs = 5;
constexpr double kHistogramAimMs = 30;

// Waits until the dock's background work has landed, so that it does not run into the next
// measured load.
void settle()
{
    QThreadPool::globalInstance()->waitForDone();
    QApplication::processEvents();
}

} // namespace

class InformationBench
{
public:
    static bool loadFileWithTheDock(const QString &path)
    {
        ImageViewer viewer(QStringLiteral("RAW"));
        viewer.show();
        auto *arrival = viewer.findChild<PictureArrival *>();
        auto *commands = viewer.findChild<PictureCommands *>();
        QList<double> closed;
        QList<double> open;
        QList<double> added;
        QList<double> handOver;
        QElapsedTimer timer;
        // One warm-up each, then both alternately, so that drift in the machine's load touches
        // both alike; each pair's difference is one estimate of what the open dock adds.
        for (int run = -1; run < kLoadRuns; ++run) {
            double pair[2] = {0, 0};
            for (bool dockOpen : {false, true}) {
                commands->informationDock()->setVisible(dockOpen);
                settle();
                timer.start();
                // Read off the window's thread: the time runs until the window has shown the
                // picture, as the call did when it read there, and not through what the event
                // loop does after it.
                const QMetaObject::Connection shown =
                    QObject::connect(arrival->paneReader(), &PaneReader::pictureRead,
                                     [&] { pair[dockOpen] = timer.nsecsElapsed() / 1e6; });
                arrival->read(path, false);
                while (arrival->paneReader()->isReading())
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                QObject::disconnect(shown);
                if (commands->shownFile() != path) {
                    std::printf("loadFile: FAILED, the picture did not load\n");
                    return false;
                }
            }
            // The dock's own step alone, as loadFile takes it: handing over the shown picture.
            settle();
            timer.start();
            commands->informationDock()->showPicture(path,
                                                     viewer.findChild<ImageLabel *>()->image());
            const double step = timer.nsecsElapsed() / 1e6;
            if (run >= 0) {
                closed.append(pair[0]);
                open.append(pair[1]);
                added.append(pair[1] - pair[0]);
                handOver.append(step);
            }
        }
        settle();
        const double withDock = medianMs(open);
        const double without = medianMs(closed);
        const double adds = medianMs(added);
        std::printf("%-40s dock open %9.1f ms   dock closed %9.1f ms   ratio %.3f   adds %.1f ms"
                    " (the dock's own step %.2f ms)   aim <= %.0f ms %s   (%d runs)\n",
                    "loadFile, 24 MP JPEG", withDock, without, withDock / without, adds,
                    medianMs(handOver), kDockAimMs, adds <= kDockAimMs ? "met" : "missed",
                    kLoadRuns);
        return true;
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // The offscreen platform warns each time a dock is shown or hidden; only figures are printed.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    raiseAllocationLimit();
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString jpeg = dir.filePath(QStringLiteral("photo.jpg"));
    const QImage source = photoLikePicture(QSize(kWidth, kHeight));
    if (!writeExifJpeg(jpeg, source,
                       {{"Exif.Image.Make", "Velmora"},
                        {"Exif.Photo.ExposureTime", "1/250"},
                        {"Exif.Photo.FNumber", "28/10"}})) {
        std::printf("cannot write the picture to measure\n");
        return 1;
    }
    bool ok = InformationBench::loadFileWithTheDock(jpeg);

    QList<double> histogramTimes;
    QList<double> copyTimes;
    for (int run = -1; run < kHistogramRuns; ++run) {
        const auto [histogramMs, copyMs] =
            QtConcurrent::run([&source] {
                QElapsedTimer timer;
                timer.start();
                const Histogram counts = histogramOf(source);
                const double histogram = timer.nsecsElapsed() / 1e6;
                timer.start();
                const QImage copy = source.copy();
                const double copied = timer.nsecsElapsed() / 1e6;
                return std::make_pair(counts.red[0] >= 0 ? histogram : 0,
                                      copy.isNull() ? 0 : copied);
            }).result();
        if (run >= 0) {
            histogramTimes.append(histogramMs);
            copyTimes.append(copyMs);
        }
    }
    const double histogram = medianMs(histogramTimes);
    const double copy = medianMs(copyTimes);
    std::printf("%-40s histogram %9.1f ms   copy of the pixels %9.1f ms   ratio %.3f   aim < %.0f "
                "ms %s   (%d runs)\n",
                "histogram, 24 MP, worker thread", histogram, copy, histogram / copy,
                kHistogramAimMs, histogram < kHistogramAimMs ? "met" : "missed", kHistogramRuns);
    ok = ok && histogram > 0 && copy > 0;
    return ok ? 0 : 1;
}
