// SPDX-License-Identifier: GPL-3.0-or-later
// Stepping through a folder with Space as a user does, pausing on each picture: the time from
// the key to the painted pane, against a plain read of the same file measured in the same run;
// how long the user-interface thread stalls meanwhile; and how much memory the read-ahead holds.
// And culling at speed: a burst of presses, timed from the last key to its picture painted, the
// picture read at the size shown counting. And a camera raw file opened from the grid: the time
// to its embedded preview painted, against dcraw's conversion.

#include "benchsupport.h"
#include "dngwriter.h"
#include "imagelabel.h"
#include "imagescroll.h"
#include "imageviewer.h"
#include "loader.h"
#include "panereader.h"
#include "readahead.h"
#include "thumbview.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr QSize kJpegSize(6000, 4000);
constexpr QSize kWindowSize(1200, 800);
constexpr int kJpegSteps = 8;
constexpr int kJpegPauseMs = 500;
constexpr double kJpegAim = 0.15;
constexpr QSize kDngSize(4000, 3000);
constexpr int kDngSteps = 4;
constexpr int kDngPauseMs = 4000;
constexpr double kDngAim = 0.10;
constexpr int kBaselineRuns = 3;
constexpr int kFirstLookMs = 10000;
constexpr int kStallTick = 5;
constexpr qint64 kStallAimMs = 50;
constexpr double kMemoryAimPictures = 2;
constexpr int kBurstSteps = 10;
constexpr int kBurstGapMs = 60;
constexpr int kBurstRounds = 5;
constexpr double kBurstAim = 0.6;
constexpr QSize kPreviewDngSize(6000, 4000);
constexpr QSize kPreviewSize(3000, 2000);
constexpr int kPreviewRounds = 3;
constexpr double kPreviewAim = 0.1;
constexpr int kPaintTimeoutMs = 60000;

// Copies source into folder as p00.<suffix>, p01.<suffix> and on; the paths in name order.
QStringList fillFolder(const QString &folder, const QString &source, int count,
                       const QString &suffix)
{
    QStringList files;
    for (int i = 0; i < count; ++i) {
        files << folder + QStringLiteral("/p%1.").arg(i, 2, 10, QLatin1Char('0')) + suffix;
        if (!QFile::copy(source, files.last()))
            return {};
    }
    return files;
}

double baselineMs(const std::function<QImage()> &read)
{
    QList<double> times;
    QElapsedTimer clock;
    for (int i = 0; i < kBaselineRuns; ++i) {
        clock.start();
        if (read().isNull())
            return -1;
        times << clock.nsecsElapsed() / 1e6;
    }
    return medianMs(times);
}

// Notes whether the pane has painted the picture of a file: the status bar names the file
// shown, and the pane paints after it has the picture.
class PaintWatch : public QObject
{
public:
    PaintWatch(ImageViewer *viewer, ImageLabel *label) : status(viewer->statusBar()), label(label)
    {
        label->installEventFilter(this);
    }
    // With whole, a stand-in painted for the file does not count: only its full picture does.
    void expect(const QString &file, bool whole = false)
    {
        name = QFileInfo(file).fileName() + QLatin1Char(' ');
        painted = false;
        this->whole = whole;
    }
    // Handles events until the file's picture is painted; false when it takes a minute.
    bool wait() const
    {
        const QDeadlineTimer deadline(kPaintTimeoutMs);
        // Wakes the wait for events now and then to look at the clock.
        QTimer wake;
        wake.start(kPaintTimeoutMs / 100);
        while (!painted && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        return painted;
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !painted && !(whole && label->showsStandIn())) {
            const auto labels = status->findChildren<QLabel *>();
            painted = std::any_of(labels.cbegin(), labels.cend(), [this](const QLabel *label) {
                return label->text().startsWith(name);
            });
        }
        return false;
    }

private:
    QStatusBar *status;
    ImageLabel *label;
    QString name;
    bool painted = false;
    bool whole = false;
};

struct Walk
{
    QList<double> stepsMs;
    // From the key until the window has handled it: the part before it takes the next key.
    QList<double> loadsMs;
    qint64 longestStallMs = 0;
    qint64 mostHeldBytes = 0;
};

// Opens the first file, then presses Space once per further file after pausing; each step is
// timed from the key until the pane has painted the new picture.
Walk walk(const QStringList &files, int pauseMs)
{
    Walk result;
    ImageViewer viewer(QStringLiteral("RAW"));
    viewer.resize(kWindowSize);
    viewer.show();
    if (!QTest::qWaitForWindowExposed(&viewer))
        return result;
    auto *label = viewer.findChild<ImageLabel *>();
    auto *pane = viewer.findChild<ImageScroll *>();
    auto *readAhead = viewer.findChild<ReadAhead *>();
    // The first picture is read off the window's thread, and its neighbours after it is shown.
    const auto looked = [readAhead, reader = viewer.findChild<PaneReader *>()] {
        return !reader->isReading() && !readAhead->isReading();
    };
    PaintWatch watch(&viewer, label);

    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(kStallTick);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        result.longestStallMs = qMax(result.longestStallMs, sinceTick.restart());
        result.mostHeldBytes = qMax(result.mostHeldBytes, readAhead->heldBytes());
    });
    viewer.openPath(files.first());
    // The user looks at the first picture for a while, as at the others.
    if (!QTest::qWaitFor(looked, kFirstLookMs))
        return result;
    sinceTick.start();
    ticker.start();
    QElapsedTimer clock;
    for (int i = 1; i < files.size(); ++i) {
        QTest::qWait(pauseMs);
        pane->setFocus();
        watch.expect(files.at(i));
        clock.start();
        QTest::keyClick(pane, Qt::Key_Space);
        result.loadsMs << clock.nsecsElapsed() / 1e6;
        if (!watch.wait())
            return {};
        result.stepsMs << clock.nsecsElapsed() / 1e6;
        // A picture not read ahead is painted first as read at the size shown.
        if (label->image().isNull() && !label->showsStandIn())
            return {};
    }
    result.longestStallMs = qMax(result.longestStallMs, sinceTick.elapsed());
    return result;
}

// Presses Space kBurstSteps times, kBurstGapMs apart by the clock, as a user culling a folder
// does, kBurstRounds times in one window, each from the first picture. Keys arrive whether or not
// the window is busy: one that falls due while it is busy is handled as soon as it is free, as the
// display server's queue would hand it over. The times from the last key falling due until the
// pane has painted its picture (with whole, the full picture rather than its stand-in); empty
// when a round fails.
QList<double> burstsMs(const QStringList &files, bool whole)
{
    ImageViewer viewer(QStringLiteral("RAW"));
    viewer.resize(kWindowSize);
    viewer.show();
    if (!QTest::qWaitForWindowExposed(&viewer))
        return {};
    auto *pane = viewer.findChild<ImageScroll *>();
    auto *readAhead = viewer.findChild<ReadAhead *>();
    // The first picture is read off the window's thread, and its neighbours after it is shown.
    const auto looked = [readAhead, reader = viewer.findChild<PaneReader *>()] {
        return !reader->isReading() && !readAhead->isReading();
    };
    PaintWatch watch(&viewer, viewer.findChild<ImageLabel *>());
    QList<double> times;
    for (int round = 0; round < kBurstRounds; ++round) {
        viewer.openPath(files.first());
        if (!QTest::qWaitFor(looked, kFirstLookMs))
            return {};
        pane->setFocus();
        watch.expect(files.at(kBurstSteps), whole);
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < kBurstSteps; ++i) {
            const qint64 early = i * kBurstGapMs - clock.elapsed();
            if (early > 0) {
                QEventLoop pause;
                QTimer::singleShot(int(early), &pause, &QEventLoop::quit);
                pause.exec();
            }
            QTest::keyClick(pane, Qt::Key_Space);
        }
        if (!watch.wait())
            return {};
        times << clock.nsecsElapsed() / 1e6 - (kBurstSteps - 1) * kBurstGapMs;
    }
    return times;
}

// Opens the folder's one file from the grid kPreviewRounds times, each time a fresh window; the
// times from the activation to the pane's first paint of it. Empty when a round fails.
QList<double> gridOpeningsMs(const QString &folder)
{
    QList<double> times;
    for (int round = 0; round < kPreviewRounds; ++round) {
        ImageViewer viewer(QStringLiteral("RAW"));
        viewer.resize(kWindowSize);
        viewer.show();
        if (!QTest::qWaitForWindowExposed(&viewer))
            return {};
        viewer.openPath(folder);
        auto *grid = viewer.findChild<ThumbView *>();
        const QString file = grid->filePath(0);
        if (file.isEmpty())
            return {};
        PaintWatch watch(&viewer, viewer.findChild<ImageLabel *>());
        watch.expect(file);
        QElapsedTimer clock;
        clock.start();
        emit grid->activated(grid->model()->index(0, 0));
        if (!watch.wait())
            return {};
        times << clock.nsecsElapsed() / 1e6;
        // The full conversion ends before the window goes, as the user would wait for it.
        const auto reader = viewer.findChild<PaneReader *>();
        if (!QTest::qWaitFor([reader] { return !reader->isReading(); }, kPaintTimeoutMs))
            return {};
    }
    return times;
}

bool report(const char *name, const Walk &walked, double baseline, const char *baselineName,
            double aim)
{
    const double step = medianMs(walked.stepsMs);
    const double ratio = step / baseline;
    std::printf("%s: %d steps, median from Space to the painted pane %.1f ms; %s %.1f ms; ratio "
                "%.3f (aim <= %.2f)\n",
                name, int(walked.stepsMs.size()), step, baselineName, baseline, ratio, aim);
    // A step that takes a fair part of a plain read read its picture now: the read-ahead had not
    // finished it.
    const auto readNow = std::count_if(walked.stepsMs.cbegin(), walked.stepsMs.cend(),
                                       [baseline](double ms) { return ms > baseline / 2; });
    std::printf("%s: of which until the window has handled the key: median %.1f ms, ratio "
                "%.3f; %d of %d steps read their picture now\n",
                name, medianMs(walked.loadsMs), medianMs(walked.loadsMs) / baseline, int(readNow),
                int(walked.loadsMs.size()));
    std::printf("%s: longest stall of the user-interface thread %lld ms (aim <= %lld)\n", name,
                static_cast<long long>(walked.longestStallMs), static_cast<long long>(kStallAimMs));
    std::fflush(stdout);
    return baseline > 0 && !walked.stepsMs.isEmpty() && ratio <= aim &&
           walked.longestStallMs <= kStallAimMs;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    raiseAllocationLimit();
    QTemporaryDir work;
    if (!work.isValid())
        return 1;
    const QDir root(work.path());
    for (const char *folder : {"jpeg", "dng", "by-hand", "burst"})
        root.mkdir(QString::fromLatin1(folder));

    const QString jpegSource = root.filePath(QStringLiteral("photo.jpg"));
    const QString dngSource = root.filePath(QStringLiteral("photo.dng"));
    DngOptions options;
    options.width = kDngSize.width();
    options.height = kDngSize.height();
    if (!photoLikePicture(kJpegSize).save(jpegSource, "JPG", 90) || !writeDng(dngSource, options))
        return 1;
    const QStringList jpegs = fillFolder(root.filePath(QStringLiteral("jpeg")), jpegSource,
                                         kJpegSteps + 1, QStringLiteral("jpg"));
    const QStringList dngs = fillFolder(root.filePath(QStringLiteral("dng")), dngSource,
                                        kDngSteps + 1, QStringLiteral("dng"));
    if (jpegs.isEmpty() || dngs.isEmpty())
        return 1;

    const double plainRead = baselineMs([&] { return QImage(jpegs.first()); });
    const Walk jpegWalk = walk(jpegs, kJpegPauseMs);
    bool met = report("(c) Space through 24 MP JPEGs, 0.5 s pauses", jpegWalk, plainRead,
                      "plain QImage read", kJpegAim);
    const qint64 pictureBytes = QImage(jpegs.first()).sizeInBytes();
    const double heldPictures = double(jpegWalk.mostHeldBytes) / pictureBytes;
    // Each picture comes with its smooth copy for the pane, at most the window's size.
    const qint64 copyBytes = qint64(kWindowSize.width()) * kWindowSize.height() * 4;
    const double allowed = kMemoryAimPictures * (pictureBytes + copyBytes) / pictureBytes;
    std::printf("(e) memory held by the read-ahead while stepping through 24 MP JPEGs: at most "
                "%lld MB, %.2f pictures' worth, their copies for the pane included (aim <= %.0f "
                "pictures and their copies, %.2f)\n",
                static_cast<long long>(jpegWalk.mostHeldBytes >> 20), heldPictures,
                kMemoryAimPictures, allowed);
    met = met && heldPictures <= allowed;

    const QStringList burst = fillFolder(root.filePath(QStringLiteral("burst")), jpegSource,
                                         kBurstSteps + 1, QStringLiteral("jpg"));
    for (const bool whole : {false, true}) {
        const QList<double> bursts = burst.isEmpty() ? QList<double>() : burstsMs(burst, whole);
        const double lastKey = medianMs(bursts);
        std::printf("(f) %d steps %d ms apart through 24 MP JPEGs: median from the last key to "
                    "its %s painted %.1f ms over %d rounds; plain QImage read %.1f ms; ratio "
                    "%.3f (aim <= %.2f)\n",
                    kBurstSteps, kBurstGapMs, whole ? "full picture" : "picture (first at the size shown)",
                    lastKey, int(bursts.size()), plainRead, lastKey / plainRead, kBurstAim);
        met = met && bursts.size() == kBurstRounds && lastKey / plainRead <= kBurstAim;
    }

    // dcraw writes its conversion beside its input: a folder of its own keeps it out of the
    // folder being stepped through.
    const QString copy = root.filePath(QStringLiteral("by-hand/photo.dng"));
    const QString tiff = root.filePath(QStringLiteral("by-hand/photo.tiff"));
    const double byHand = baselineMs([&] {
        QFile::remove(copy);
        const bool converted =
            QFile::copy(dngSource, copy) &&
            QProcess::execute(QStringLiteral("dcraw"), {QStringLiteral("-T"), copy}) == 0;
        return converted ? QImage(tiff) : QImage();
    });
    const Walk dngWalk = walk(dngs, kDngPauseMs);
    met = report("(d) Space through 12 MP DNGs, 4 s pauses", dngWalk, byHand,
                 "plain dcraw -T + read", kDngAim) &&
          met;

    DngOptions withPreview;
    withPreview.width = kPreviewDngSize.width();
    withPreview.height = kPreviewDngSize.height();
    withPreview.previewWidth = kPreviewSize.width();
    withPreview.previewHeight = kPreviewSize.height();
    withPreview.previewShowsRaw = true;
    const QString previewed = root.filePath(QStringLiteral("previewed/photo.dng"));
    const QString previewedCopy = root.filePath(QStringLiteral("by-hand/previewed.dng"));
    const QString previewedTiff = root.filePath(QStringLiteral("by-hand/previewed.tiff"));
    if (!root.mkdir(QStringLiteral("previewed")) || !writeDng(previewed, withPreview))
        return 1;
    const double conversion = baselineMs([&] {
        QFile::remove(previewedCopy);
        const bool converted =
            QFile::copy(previewed, previewedCopy) &&
            QProcess::execute(QStringLiteral("dcraw"), {QStringLiteral("-T"), previewedCopy}) == 0;
        return converted ? QImage(1, 1, QImage::Format_RGB32) : QImage();
    });
    QFile::remove(previewedTiff);
    const QList<double> openings = gridOpeningsMs(root.filePath(QStringLiteral("previewed")));
    const double firstPaint = medianMs(openings);
    std::printf("(g) a 24 MP DNG with a 6 MP preview opened from the grid: median to its preview "
                "painted %.1f ms over %d rounds; dcraw -T alone %.1f ms; ratio %.3f (aim <= "
                "%.2f)\n",
                firstPaint, int(openings.size()), conversion, firstPaint / conversion, kPreviewAim);
    met = met && openings.size() == kPreviewRounds && firstPaint / conversion <= kPreviewAim;

    std::printf("aims %s\n", met ? "met" : "missed");
    return 0;
}
