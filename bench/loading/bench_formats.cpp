// SPDX-License-Identifier: GPL-3.0-or-later
// Measures the image format plugin and the LittleCMS step against the work they cannot avoid:
// the plugin's loadImage of 12-megapixel HEIC and AVIF files beside libheif's own decode of the
// same files to RGB, and the loader's read of a 12-megapixel CMYK JPEG with a print profile beside
// Qt's read of it, which turns the ink into RGB by a formula. Each line gives both medians and
// their ratio.
#include "benchsupport.h"
#include "loader.h"
#include "newformats.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <libheif/heif.h>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int kWidth = 4000; // 12 megapixels
constexpr int kHeight = 3000;
constexpr int kRuns = 7;
// What the plugin adds to libheif's decode: reading the file, and copying the pixels once.
constexpr double kPluginAim = 1.10;

// Both sides alternately after one warm-up each, so that drift in the machine's load touches
// both alike; false when either side fails.
bool compare(const char *title, const std::function<bool()> &measured,
             const std::function<bool()> &baseline, const char *baselineName, double aim = 0)
{
    QList<double> measuredTimes;
    QList<double> baselineTimes;
    QElapsedTimer timer;
    bool ok = measured() && baseline();
    for (int i = 0; ok && i < kRuns; ++i) {
        timer.start();
        ok = measured();
        measuredTimes.append(timer.nsecsElapsed() / 1e6);
        timer.start();
        ok = baseline() && ok;
        baselineTimes.append(timer.nsecsElapsed() / 1e6);
    }
    if (!ok) {
        std::printf("%s: FAILED, a picture did not load\n", title);
        return false;
    }
    const double m = medianMs(measuredTimes);
    const double b = medianMs(baselineTimes);
    std::printf("%-36s loadImage %8.1f ms   %-26s %8.1f ms   ratio %.3f   (%d runs)", title, m,
                baselineName, b, m / b, kRuns);
    if (aim > 0)
        std::printf("   aim <= %.2f %s", aim, m / b <= aim ? "met" : "missed");
    std::printf("\n");
    std::fflush(stdout);
    return true;
}

// libheif alone: the file parsed, its primary picture decoded to interleaved 8-bit RGB.
bool decodeWithLibheif(const QString &path)
{
    heif_context *context = heif_context_alloc();
    heif_image_handle *handle = nullptr;
    heif_image *image = nullptr;
    const bool ok =
        !heif_context_read_from_file(context, QFile::encodeName(path).constData(), nullptr).code &&
        !heif_context_get_primary_image_handle(context, &handle).code &&
        !heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                           nullptr)
             .code;
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    raiseAllocationLimit();
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString png = dir.filePath(QStringLiteral("source.png"));
    const QString heic = dir.filePath(QStringLiteral("photo.heic"));
    const QString avif = dir.filePath(QStringLiteral("photo.avif"));
    const QString cmyk = dir.filePath(QStringLiteral("print.jpg"));
    const QImage source = photoLikePicture(QSize(kWidth, kHeight));
    // heif-enc (libheif-examples) encodes as a phone would; its AV1 encoder wants 4:2:2 here.
    const bool written =
        source.save(png) &&
        writeHeic(png, heic) &&
        QProcess::execute(QStringLiteral("heif-enc"),
                          {QStringLiteral("-A"), QStringLiteral("-q"), QStringLiteral("80"),
                           QStringLiteral("-p"), QStringLiteral("speed=9"), QStringLiteral("-p"),
                           QStringLiteral("chroma=422"), png, QStringLiteral("-o"), avif}) == 0 &&
        writeProfiled(cmyk, {png, QStringLiteral("-colorspace"), QStringLiteral("CMYK")},
                      tableProfile(4));
    if (!written) {
        std::printf("cannot write the pictures to measure\n");
        return 1;
    }
    std::printf("12-megapixel pictures\n");

    bool ok = compare(
        "plugin, 12 MP HEIC", [&] { return !loadImage(heic, false).isNull(); },
        [&] { return decodeWithLibheif(heic); }, "libheif decode to RGB", kPluginAim);
    ok = compare(
             "plugin, 12 MP AVIF", [&] { return !loadImage(avif, false).isNull(); },
             [&] { return decodeWithLibheif(avif); }, "libheif decode to RGB", kPluginAim) &&
         ok;
    ok = compare(
             "LittleCMS, 12 MP CMYK JPEG", [&] { return !loadImage(cmyk, false).isNull(); },
             [&] { return !QImage(cmyk).isNull(); }, "QImage read (naive CMYK)") &&
         ok;
    return ok ? 0 : 1;
}
