// SPDX-License-Identifier: GPL-3.0-or-later
// Measures what decoding in the sandboxed decoder process costs: the median time of loadImage
// beside the median of the same read in this process (readPicture and finishPicture, what the
// viewer did before it had decoder processes), and their ratio.
#include "benchsupport.h"
#include "loader.h"
#include "picturereader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

namespace {

constexpr int kRuns = 15;
constexpr double kAim = 1.05;
// What the thumbnail worker asks for: twice the thumbnail's size.
constexpr int kLeastSide = 160;

QImage readHere(const QString &path)
{
    QImage picture;
    Orientation orientation = QImageIOHandler::TransformationNone;
    if (!readPicture(path, picture, orientation, 0))
        return QImage();
    return finishPicture(std::move(picture), orientation);
}

// A thumbnail worker's read: reduced while decoding, into the buffer of the read before.
QImage readReduced(const QString &path, bool here)
{
    static QImage buffer;
    Orientation orientation = QImageIOHandler::TransformationNone;
    const bool read = here ? readPicture(path, buffer, orientation, kLeastSide)
                           : loadImage(path, true, buffer, orientation, kLeastSide);
    return read ? buffer : QImage();
}

// Alternately, after one warm-up each, so that drift in the machine's load touches both alike.
// Each result is let go of before the next read, as the pane lets go of the picture it replaces.
bool compare(const char *title, const QString &path, bool thumbnail = false)
{
    const std::function<QImage()> sides[] = {
        [&] { return thumbnail ? readReduced(path, false) : loadImage(path, false); },
        [&] { return thumbnail ? readReduced(path, true) : readHere(path); }};
    QList<double> times[2];
    for (int run = -1; run < kRuns; ++run) {
        for (int side = 0; side < 2; ++side) {
            QElapsedTimer timer;
            timer.start();
            const bool ok = !sides[side]().isNull();
            const double ms = timer.nsecsElapsed() / 1e6;
            if (!ok) {
                std::printf("%s: FAILED, a picture did not load\n", title);
                return false;
            }
            if (run >= 0)
                times[side].append(ms);
        }
    }
    const double sandboxed = medianMs(times[0]);
    const double here = medianMs(times[1]);
    std::printf("%-24s sandboxed %8.1f ms   in this process %8.1f ms   ratio %.3f   aim <= %.2f "
                "%s\n",
                title, sandboxed, here, sandboxed / here, kAim,
                sandboxed / here <= kAim ? "met" : "missed");
    std::fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    raiseAllocationLimit();
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString jpeg = dir.filePath(QStringLiteral("photo.jpg"));
    const QString png = dir.filePath(QStringLiteral("source.png"));
    const QString heic = dir.filePath(QStringLiteral("photo.heic"));
    const bool written =
        photoLikePicture(QSize(6000, 4000)).save(jpeg, "JPG", 90) &&
        photoLikePicture(QSize(4000, 3000)).save(png) &&
        writeHeic(png, heic);
    if (!written) {
        std::printf("cannot write the pictures to measure\n");
        return 1;
    }
    const bool ok = compare("24 MP JPEG", jpeg) & compare("12 MP HEIC", heic) &
                    compare("24 MP JPEG, thumbnail", jpeg, true);
    return ok ? 0 : 1;
}
