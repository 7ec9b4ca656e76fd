// SPDX-License-Identifier: GPL-3.0-or-later
// Measures what the loader adds to the work it cannot avoid: for each route the median time of
// loadImage beside the median of the same work done by hand, and their ratio.
#include "benchsupport.h"
#include "dngwriter.h"
#include "loader.h"

#include <QColorSpace>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int kWidth = 6000; // 24 megapixels
constexpr int kHeight = 4000;
constexpr int kPreviewWidth = 1920;
constexpr int kPreviewHeight = 1280;
constexpr int kQtRuns = 9;
constexpr int kPreviewRuns = 21;
constexpr int kConversionRuns = 3;
// A picture in sRGB, or without a profile, is shown as read: no cost beyond Qt's own read.
constexpr double kSrgbAim = 1.02;
// What the walls around dcraw may cost.
constexpr double kConfinementAim = 1.10;

// Runs both sides alternately after one warm-up each, so that drift in the machine's load
// touches both alike. A run whose picture is null makes the whole comparison void.
bool compare(const char *title, int runs, const std::function<QImage()> &measured,
             const std::function<QImage()> &baseline, const char *baselineName,
             double aim = 0)
{
    if (measured().isNull() || baseline().isNull()) {
        std::printf("%s: FAILED, a picture did not load\n", title);
        return false;
    }
    QList<double> measuredTimes;
    QList<double> baselineTimes;
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        const bool measuredOk = !measured().isNull();
        measuredTimes.append(timer.nsecsElapsed() / 1e6);
        timer.start();
        const bool baselineOk = !baseline().isNull();
        baselineTimes.append(timer.nsecsElapsed() / 1e6);
        if (!measuredOk || !baselineOk) {
            std::printf("%s: FAILED, a picture did not load\n", title);
            return false;
        }
    }
    const double m = medianMs(measuredTimes);
    const double b = medianMs(baselineTimes);
    std::printf("%-40s loadImage %9.1f ms   %-28s %9.1f ms   ratio %.3f   (%d runs)", title, m,
                baselineName, b, m / b, runs);
    if (aim > 0)
        std::printf("   aim <= %.2f %s", aim, m / b <= aim ? "met" : "missed");
    std::printf("\n");
    std::fflush(stdout);
    return true;
}

// The loader's raw route with dcraw confined, or as VELMORA_NO_SANDBOX=1 has it run: as before
// the walls, without the launcher.
QImage loadRaw(const QString &path, bool thumbnail, bool confined)
{
    if (confined)
        qunsetenv("VELMORA_NO_SANDBOX");
    else
        qputenv("VELMORA_NO_SANDBOX", "1");
    return loadImage(path, thumbnail);
}

// The by-hand raw route: copy the file with cp, run dcraw on the copy, read what it wrote, clean
// up.
QImage decodeByHand(const QString &raw, const QString &workDir, const QString &option,
                    const QString &outputSuffix)
{
    const QString copy = workDir + QStringLiteral("/copy.dng");
    const QString output = workDir + QStringLiteral("/copy") + outputSuffix;
    QImage image;
    if (QProcess::execute(QStringLiteral("cp"), {raw, copy}) == 0 &&
        QProcess::execute(QStringLiteral("dcraw"), {option, copy}) == 0)
        image = QImage(output);
    QFile::remove(copy);
    QFile::remove(output);
    return image;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    raiseAllocationLimit();
    QTemporaryDir dir;
    QTemporaryDir work;
    if (!dir.isValid() || !work.isValid())
        return 1;

    const QString jpeg = dir.filePath(QStringLiteral("photo.jpg"));
    const QString srgbJpeg = dir.filePath(QStringLiteral("srgb.jpg"));
    const QString p3Jpeg = dir.filePath(QStringLiteral("p3.jpg"));
    const QString dng = dir.filePath(QStringLiteral("IMG_0001.dng"));
    DngOptions options;
    options.width = kWidth;
    options.height = kHeight;
    options.preview = DngOptions::Preview::Jpeg;
    options.previewWidth = kPreviewWidth;
    options.previewHeight = kPreviewHeight;
    QImage source = photoLikePicture(QSize(kWidth, kHeight));
    const bool written = source.save(jpeg, "JPG", 90);
    source.setColorSpace(QColorSpace(QColorSpace::SRgb));
    const bool srgbWritten = source.save(srgbJpeg, "JPG", 90);
    source.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
    const bool p3Written = source.save(p3Jpeg, "JPG", 90) &&
                           QImage(p3Jpeg).colorSpace() == QColorSpace(QColorSpace::DisplayP3);
    if (!written || !srgbWritten || !p3Written || !writeDng(dng, options)) {
        std::printf("cannot write the pictures to measure\n");
        return 1;
    }
    std::printf("24-megapixel pictures; raw baselines include the copy, as the loader's route "
                "does\n");

    bool ok = compare(
        "Qt route, 24 MP JPEG without a profile", kQtRuns, [&] { return loadImage(jpeg, false); },
        [&] { return QImage(jpeg); }, "QImage read", kSrgbAim);
    ok = compare(
             "Qt route, 24 MP sRGB JPEG", kQtRuns, [&] { return loadImage(srgbJpeg, false); },
             [&] { return QImage(srgbJpeg); }, "QImage read", kSrgbAim) &&
         ok;
    ok = compare(
             "Qt route, 24 MP Display P3 JPEG", kQtRuns, [&] { return loadImage(p3Jpeg, false); },
             [&] { return QImage(p3Jpeg); }, "QImage read (not converted)") &&
         ok;
    ok = compare(
             "raw preview, 24 MP DNG (1920x1280 JPEG)", kPreviewRuns,
             [&] { return loadImage(dng, true); },
             [&] {
                 return decodeByHand(dng, work.path(), QStringLiteral("-e"),
                                     QStringLiteral(".thumb.jpg"));
             },
             "cp + dcraw -e + read") &&
         ok;
    ok = compare(
             "raw conversion, 24 MP DNG", kConversionRuns, [&] { return loadImage(dng, false); },
             [&] {
                 return decodeByHand(dng, work.path(), QStringLiteral("-T"),
                                     QStringLiteral(".tiff"));
             },
             "cp + dcraw -T + read") &&
         ok;
    ok = compare(
             "raw preview, confined dcraw", kPreviewRuns, [&] { return loadRaw(dng, true, true); },
             [&] { return loadRaw(dng, true, false); }, "unconfined (VELMORA_NO_SANDBOX=1)",
             kConfinementAim) &&
         ok;
    ok = compare(
             "raw conversion, confined dcraw", kConversionRuns,
             [&] { return loadRaw(dng, false, true); }, [&] { return loadRaw(dng, false, false); },
             "unconfined (VELMORA_NO_SANDBOX=1)", kConfinementAim) &&
         ok;
    qunsetenv("VELMORA_NO_SANDBOX");
    return ok ? 0 : 1;
}
