// SPDX-License-Identifier: GPL-3.0-or-later
// Launching the viewer on a photograph: the time from starting `velmora-viewer FILE` until the
// picture is on the screen, against a plain loadImage of the same file measured in the same run.
//
// The viewer runs unchanged on an X server of the benchmark's own (Xvfb) that keeps its screen in
// a file (-fbdir); the benchmark maps that file and looks at the screen every half millisecond
// until the warm colours of the picture cover a fair part of it. Nothing in the viewer knows that
// it is watched, and what is timed is what a user would see.

#include "benchsupport.h"
#include "decoderpool.h"
#include "loader.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>

#include <cstdio>

namespace {

constexpr QSize kJpegSize(6000, 4000);
constexpr int kRuns = 7;
constexpr double kAim = 1.2;
constexpr int kStartTimeoutMs = 10000;
constexpr int kPaintTimeoutMs = 30000;
constexpr unsigned long kLookIntervalUs = 500;
// Every fourth pixel across and down is looked at.
constexpr int kSampleStep = 4;
// Sampled pixels of the picture's warm half that show it: the fitted picture in the first window
// has some ten times more, and nothing else on the screen has such colours.
constexpr int kShownSamples = 1000;

// An X server whose screen is the file Xvfb_screen0 in its folder, in the XWD format.
class ScreenFile
{
public:
    explicit ScreenFile(const QString &folder) : file(folder + QStringLiteral("/Xvfb_screen0")) {}
    ~ScreenFile()
    {
        if (server.state() != QProcess::NotRunning) {
            // Ended so, the server removes its socket and lock file.
            server.terminate();
            server.waitForFinished();
        }
    }

    // The display's name (":N"), empty when the server did not start.
    QString start(const QString &folder)
    {
        server.start(QStringLiteral("Xvfb"),
                     {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-fbdir"),
                      folder, QStringLiteral("-screen"), QStringLiteral("0"),
                      QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                      QStringLiteral("tcp"), QStringLiteral("-noreset")});
        const QDeadlineTimer deadline(kStartTimeoutMs);
        while (!server.canReadLine() && !deadline.hasExpired())
            server.waitForReadyRead(int(deadline.remainingTime()));
        const QByteArray number = server.readLine().trimmed();
        if (number.isEmpty() || !file.open(QIODevice::ReadOnly))
            return {};
        bytes = file.map(0, file.size());
        if (!bytes || file.size() < kHeaderWords * 4)
            return {};
        const auto word = [this](int index) {
            return qFromBigEndian<quint32>(bytes + 4 * index);
        };
        // XWD header words: header size, ..., width 4, height 5, bits per pixel 11, bytes per
        // line 12, ..., colour count 19; the colours (12 bytes each) come before the pixels.
        width = int(word(4));
        height = int(word(5));
        stride = int(word(12));
        pixels = bytes + word(0) + 12 * word(19);
        if (word(11) != 32 || pixels + qint64(stride) * height > bytes + file.size())
            return {};
        return QLatin1Char(':') + QString::fromLatin1(number);
    }

    // Whether the picture's warm colours cover a fair part of the screen.
    bool showsPicture() const
    {
        int warm = 0;
        for (int y = 0; y < height; y += kSampleStep) {
            const auto *line = reinterpret_cast<const quint32 *>(pixels + qint64(y) * stride);
            for (int x = 0; x < width; x += kSampleStep) {
                const int red = (line[x] >> 16) & 0xff;
                const int green = (line[x] >> 8) & 0xff;
                const int blue = line[x] & 0xff;
                warm += red >= 170 && green >= 110 && blue <= 140 && red - blue >= 80;
            }
        }
        return warm >= kShownSamples;
    }

private:
    static constexpr int kHeaderWords = 25;

    QProcess server;
    QFile file;
    const uchar *bytes = nullptr;
    const uchar *pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
};

// Starts the viewer on picture and times it until the picture is on the screen; -1 when it does
// not come within half a minute.
double launchMs(const ScreenFile &screen, const QProcessEnvironment &environment,
                const QString &folder, const QString &picture)
{
    QProcess viewer;
    viewer.setProcessEnvironment(environment);
    viewer.setWorkingDirectory(folder);
    viewer.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    viewer.start(QStringLiteral(VELMORA_VIEWER_BUILT), {picture});
    double shown = -1;
    while (clock.elapsed() < kPaintTimeoutMs && viewer.state() != QProcess::NotRunning) {
        if (screen.showsPicture()) {
            shown = clock.nsecsElapsed() / 1e6;
            break;
        }
        QThread::usleep(kLookIntervalUs);
    }
    viewer.terminate();
    if (!viewer.waitForFinished())
        viewer.kill();
    // The next launch starts on an empty screen.
    while (screen.showsPicture() && clock.elapsed() < kPaintTimeoutMs)
        QThread::usleep(kLookIntervalUs);
    return shown;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    raiseAllocationLimit();
    QTemporaryDir work;
    if (!work.isValid())
        return 1;
    const QDir root(work.path());
    for (const char *folder : {"screen", "pictures", "runtime"})
        root.mkdir(QString::fromLatin1(folder));
    QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                              QFileDevice::ExeOwner);
    const QString picture = root.filePath(QStringLiteral("pictures/photo.jpg"));
    if (!photoLikePicture(kJpegSize).save(picture, "JPG", 90))
        return 1;

    ScreenFile screen(root.filePath(QStringLiteral("screen")));
    const QString display = screen.start(root.filePath(QStringLiteral("screen")));
    if (display.isEmpty()) {
        std::printf("launch to the first painted picture: FAILED, Xvfb did not start\n");
        return 1;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), root.filePath(QStringLiteral("runtime")));

    // One warm-up each, then alternately, so that drift in the machine's load touches both alike.
    const QString folder = root.filePath(QStringLiteral("pictures"));
    QElapsedTimer clock;
    if (loadImage(picture, false).isNull() || launchMs(screen, environment, folder, picture) < 0) {
        std::printf("launch to the first painted picture: FAILED, no picture\n");
        return 1;
    }
    QList<double> launches;
    QList<double> reads;
    QList<double> firstReads;
    for (int i = 0; i < kRuns; ++i) {
        launches << launchMs(screen, environment, folder, picture);
        // What a launch cannot do faster: start a decoder and read the picture with it.
        DecoderPool::endIdle();
        clock.start();
        const bool firstRead = !loadImage(picture, false).isNull();
        firstReads << clock.nsecsElapsed() / 1e6;
        clock.start();
        if (!firstRead || loadImage(picture, false).isNull() || launches.last() < 0) {
            std::printf("launch to the first painted picture: FAILED, no picture\n");
            return 1;
        }
        reads << clock.nsecsElapsed() / 1e6;
    }
    const double launch = medianMs(launches);
    const double read = medianMs(reads);
    const double firstRead = medianMs(firstReads);
    const bool met = launch / read <= kAim;
    std::printf("velmora-viewer FILE on a 24 MP JPEG: median from the start to the picture on "
                "the screen %.1f ms over %d launches; plain loadImage %.1f ms; ratio %.3f "
                "(aim <= %.2f)\n",
                launch, kRuns, read, launch / read, kAim);
    std::printf("of which a new decoder's start and its first loadImage %.1f ms; the viewer adds "
                "%.1f ms to them\n",
                firstRead, launch - firstRead);
    std::printf("aims %s\n", met ? "met" : "missed");
    return 0;
}
