// SPDX-License-Identifier: GPL-3.0-or-later
// How fast a folder's thumbnails arrive compared with reading and scaling the same files in a
// plain loop, how far the thumbnails of reduced reads are from those of whole pictures, how long
// the user-interface thread stalls while they stream in, and how much memory a large folder costs
// above the empty grid. A big folder of camera photographs: how soon the screen in view is filled,
// after opening and after a jump to its end, and what ten thousand thumbnails hold at the screen's
// pixel ratio and at twice it. A folder whose thumbnails the desktop's shared store already holds.
// The same big folder with Exif dates sorted by Date Taken: the first screen against the same by
// name, and how soon all dates are in.

#include "benchsupport.h"
#include "dngwriter.h"
#include "environmentguard.h"
#include "hostilecorpus.h"
#include "loader.h"
#include "orientedjpeg.h"
#include "sharedthumbnails.h"
#include "thumbthread.h"
#include "thumbview.h"

#include <QApplication>
#include <QColorSpace>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QScrollBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <memory>

#include <sys/resource.h>
#include <unistd.h>

namespace {

// Camera JPEGs: the first half of the folder 12 megapixels, the second half 24.
constexpr int kPhotoCount = 100;
constexpr QSize kPhotoSizes[] = {QSize(4000, 3000), QSize(6000, 4000)};
constexpr int kDngCount = 200;
constexpr int kSmallCount = 2000;
constexpr QSize kSmallSize(640, 480);
// A raw mosaic of moderate size keeps 200 copies small on disk; dcraw -e reads only the preview.
constexpr QSize kDngSize(2000, 1500);
constexpr QSize kDngPreviewSize(1024, 768);
constexpr int kStallTick = 5;

// The worker reads JPEGs reduced while decoding, reuses its decoding buffer and turns and
// converts only the thumbnail, so it must beat a plain read and scale by far, and a profile to
// convert must not take that back.
constexpr double kPhotoTimeAim = 0.30;
constexpr double kProfiledPhotoTimeAim = 0.90;
constexpr double kDngTimeAim = 1.05;
constexpr qint64 kStallAimMs = 50;
constexpr qint64 kMemoryAimMb = 150;
// Mean difference, in levels of 255 per channel, from a thumbnail scaled from the whole picture.
constexpr double kDifferenceAim = 1.0;
constexpr int kSideBySideRuns = 5;

// A photographer's folder: hard links to a landscape and a portrait photograph of 12 megapixels.
constexpr int kBigCount = 2000;
constexpr QSize kBigPhotoSize(4000, 3000);
// The screen after a jump to the end must fill within a second; the whole folder, on every
// core, well within the time one thread needs for plain reduced reads of all of it.
constexpr double kLastScreenAimSeconds = 1.0;
constexpr double kBigAllAim = 0.6;
// Sorting by Date Taken reads the dates beside the thumbnails: the first screen may take little
// longer than by name, and every date is in within a few seconds.
constexpr double kTakenFirstScreenAim = 1.2;
constexpr double kAllDatesAimSeconds = 4.0;
// Ten thousand small pictures: only the thumbnails' memory counts, not the reads.
constexpr int kManyCount = 10000;
constexpr QSize kManySize(320, 240);
constexpr qint64 kManyMemoryAimMb = 300;
// Photographs of 12 MP whose thumbnails of 128 and 256 pixels the shared store holds: a read of
// those must save most of the work of reading the photographs reduced.
constexpr int kSharedCount = 300;
constexpr double kSharedAim = 0.15;
// Run alone, in a child process with its own pixel ratio.
const char *const kManyOption = "--many";

struct Stream
{
    double firstSeconds = 0;
    double lastSeconds = 0;
    qint64 longestStallMs = 0;
};

qint64 peakMemoryKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Detail in every block, so that decoding costs what a photograph costs.
QImage detailedPicture(const QSize &size)
{
    QImage picture(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb((x * 7 + y) & 0xff, (x ^ y) & 0xff, (x * y / 64) & 0xff);
    }
    return picture;
}

// A camera's photograph: the shapes of photoLikePicture under a sensor's fine noise, which gives a
// JPEG of 12 MP the 3 to 4 MB, and the decoding time, that cameras' files have.
QImage cameraPhoto(const QSize &size)
{
    QImage picture = photoLikePicture(size);
    quint32 seed = 1;
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 28) - 8;
            const QRgb colour = line[x];
            line[x] = qRgb(qBound(0, qRed(colour) + noise, 255),
                           qBound(0, qGreen(colour) + noise, 255),
                           qBound(0, qBlue(colour) + noise, 255));
        }
    }
    return picture;
}

// Copies source count times into folder as p0000.<suffix> and on; the file list in name order.
QStringList fillFolder(const QString &folder, const QString &source, int count,
                       const QString &suffix)
{
    QStringList files;
    for (int i = 0; i < count; ++i) {
        const QString path =
            folder + QStringLiteral("/p%1.").arg(i, 4, 10, QLatin1Char('0')) + suffix;
        if (!QFile::copy(source, path))
            return {};
        files << path;
    }
    return files;
}

// What a thumbnail costs at the least: Qt reads the file and scales it as the worker does.
QImage plainThumbnail(const QString &path)
{
    return QImage(path).scaled(QSize(kThumbnailSize, kThumbnailSize), Qt::KeepAspectRatio,
                               Qt::SmoothTransformation);
}

// The loader's own route for files that Qt cannot read by itself.
QImage loadedThumbnail(const QString &path)
{
    return scaleThumbnail(loadImage(path, true));
}

using Baseline = QImage (*)(const QString &);

double baselineSeconds(const QStringList &files, Baseline baseline)
{
    QElapsedTimer clock;
    clock.start();
    qint64 pixels = 0;
    for (const QString &path : files)
        pixels += baseline(path).sizeInBytes();
    const double seconds = clock.nsecsElapsed() / 1e9;
    return pixels > 0 ? seconds : -1;
}

// Shows folder in view and runs the event loop until every row has received its thumbnail.
Stream streamFolder(ThumbView &view, const QString &folder)
{
    Stream stream;
    QElapsedTimer clock;
    QElapsedTimer sinceTick;
    QEventLoop loop;
    int expected = -1;
    int arrived = 0;
    const QMetaObject::Connection cells =
        QObject::connect(view.model(), &QAbstractItemModel::dataChanged,
                         [&](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                             if (!topLeft.isValid() || topLeft != bottomRight)
                                 return;
                             const double now = clock.nsecsElapsed() / 1e9;
                             if (++arrived == 1)
                                 stream.firstSeconds = now;
                             stream.lastSeconds = now;
                             if (arrived == expected)
                                 loop.quit();
                         });
    QTimer ticker;
    ticker.setInterval(kStallTick);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        stream.longestStallMs = qMax(stream.longestStallMs, sinceTick.restart());
    });

    clock.start();
    sinceTick.start();
    ticker.start();
    view.setDirectory(folder);
    expected = view.model()->rowCount();
    if (arrived < expected)
        loop.exec();
    stream.longestStallMs = qMax(stream.longestStallMs, sinceTick.elapsed());
    QObject::disconnect(cells);
    return stream;
}

// The mean difference per channel between two pictures of the same size; -1 when they differ
// in size.
double meanDifference(const QImage &first, const QImage &second)
{
    const QImage a = first.convertToFormat(QImage::Format_RGB32);
    const QImage b = second.convertToFormat(QImage::Format_RGB32);
    if (a.isNull() || a.size() != b.size())
        return -1;
    qint64 sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum +=
                qAbs(qRed(p) - qRed(q)) + qAbs(qGreen(p) - qGreen(q)) + qAbs(qBlue(p) - qBlue(q));
        }
    }
    return double(sum) / (3.0 * a.width() * a.height());
}

// Compares the thumbnails that the grid shows at rows with those scaled from the whole pictures.
bool measureDifference(const ThumbView &view, const QStringList &files, const QList<int> &rows)
{
    double worst = 0;
    double total = 0;
    for (int row : rows) {
        const QImage shown = view.model()->index(row, 0).data().value<QImage>();
        const double difference = meanDifference(shown, plainThumbnail(files.at(row)));
        if (difference < 0) {
            std::printf("(b) the thumbnail of row %d differs in size\n", row);
            return false;
        }
        total += difference;
        worst = qMax(worst, difference);
    }
    const double mean = total / rows.size();
    std::printf("(b) thumbnails of 12 and 24 MP JPEGs against thumbnails scaled from the whole "
                "picture: mean difference %.3f levels of 255 (worst picture %.3f; aim <= %.1f)\n",
                mean, worst, kDifferenceAim);
    std::fflush(stdout);
    return mean <= kDifferenceAim;
}

// The worker's work without its low priority and without the grid: the reduced read and the
// plain loop's read, alternately in this thread, on each source in turn; medians.
void measureSideBySide(const QStringList &sources)
{
    QList<double> reduced;
    QList<double> plain;
    QElapsedTimer clock;
    for (int run = 0; run < kSideBySideRuns; ++run) {
        for (const QString &path : sources) {
            clock.start();
            QImage buffer;
            Orientation orientation = QImageIOHandler::TransformationNone;
            if (loadImage(path, true, buffer, orientation, 2 * kThumbnailSize))
                finishPicture(scaleThumbnail(buffer), orientation);
            reduced << clock.nsecsElapsed() / 1e6;
            clock.start();
            plainThumbnail(path);
            plain << clock.nsecsElapsed() / 1e6;
        }
    }
    std::sort(reduced.begin(), reduced.end());
    std::sort(plain.begin(), plain.end());
    const double reducedMs = reduced.at(reduced.size() / 2);
    const double plainMs = plain.at(plain.size() / 2);
    std::printf("(a) the same side by side in one thread at normal priority: reduced read and "
                "scaling %.1f ms, plain loop's %.1f ms (medians), ratio %.3f\n",
                reducedMs, plainMs, reducedMs / plainMs);
    std::fflush(stdout);
}

int renderedRows(const ThumbView &view)
{
    int rendered = 0;
    for (int row = 0; row < view.model()->rowCount(); ++row)
        rendered += view.model()->index(row, 0).data().typeId() == QMetaType::QImage;
    return rendered;
}

// Hard-links source count times into folder as p0000.<suffix> and on, landscape and portrait
// taking turns when a second source is given.
bool linkFolder(const QString &folder, const QStringList &sources, int count)
{
    for (int i = 0; i < count; ++i) {
        const QString &source = sources.at(i % sources.size());
        const QString path = folder + QStringLiteral("/p%1.").arg(i, 5, 10, QLatin1Char('0')) +
                             QFileInfo(source).suffix();
        if (::link(QFile::encodeName(source).constData(), QFile::encodeName(path).constData()))
            return false;
    }
    return true;
}

// The rows whose cells the view shows now.
QSet<int> visibleRows(const ThumbView &view)
{
    QSet<int> rows;
    for (int row = 0; row < view.model()->rowCount(); ++row) {
        if (view.visualRect(view.model()->index(row, 0)).intersects(view.viewport()->rect()))
            rows.insert(row);
    }
    return rows;
}

// Runs the event loop until every row of rows holds its thumbnail; the seconds on clock then.
double secondsUntilRendered(const ThumbView &view, QSet<int> rows, const QElapsedTimer &clock)
{
    for (auto row = rows.begin(); row != rows.end();) {
        if (view.model()->index(*row, 0).data().typeId() == QMetaType::QImage)
            row = rows.erase(row);
        else
            ++row;
    }
    QEventLoop loop;
    const QMetaObject::Connection cells = QObject::connect(
        view.model(), &QAbstractItemModel::dataChanged, [&](const QModelIndex &cell) {
            if (rows.remove(cell.row()) && rows.isEmpty())
                loop.quit();
        });
    if (!rows.isEmpty())
        loop.exec();
    QObject::disconnect(cells);
    return clock.nsecsElapsed() / 1e9;
}

// What one plain reduced read of sources costs, as a worker reads: a median over all of them, in
// a thread niced as the workers are, so that the load of other programs weighs on both alike.
double plainReducedReadMs(const QStringList &sources)
{
    QList<double> reads;
    std::unique_ptr<QThread> reader(QThread::create([&] {
        setpriority(PRIO_PROCESS, gettid(), kThumbnailWorkerNice);
        QElapsedTimer clock;
        for (int run = 0; run < kSideBySideRuns; ++run) {
            for (const QString &path : sources) {
                QImage buffer;
                Orientation orientation = QImageIOHandler::TransformationNone;
                clock.start();
                if (loadImage(path, true, buffer, orientation, 2 * kThumbnailSize))
                    finishPicture(scaleThumbnail(buffer), orientation);
                reads << clock.nsecsElapsed() / 1e6;
            }
        }
    }));
    reader->start();
    reader->wait();
    return medianMs(reads);
}

// The folder opened twice: once left at its top until every thumbnail is there, once scrolled to
// its end at once. The user-interface thread is watched throughout.
bool measureBigFolder(const QDir &root)
{
    QStringList sources;
    for (const QSize &size : {kBigPhotoSize, kBigPhotoSize.transposed()}) {
        sources << root.filePath(QStringLiteral("big-%1.jpg").arg(size.width()));
        if (!cameraPhoto(size).save(sources.last(), "JPG", 90))
            return false;
    }
    const QString folder = root.filePath(QStringLiteral("big"));
    if (!root.mkdir(QStringLiteral("big")) || !linkFolder(folder, sources, kBigCount))
        return false;

    QElapsedTimer clock;
    const double readBeforeMs = plainReducedReadMs(sources);
    ThumbView view;
    view.resize(300, 600);
    view.show();
    QCoreApplication::processEvents();
    qint64 longestStallMs = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(kStallTick);
    QObject::connect(&ticker, &QTimer::timeout,
                     [&] { longestStallMs = qMax(longestStallMs, sinceTick.restart()); });
    sinceTick.start();
    ticker.start();

    const qint64 emptyKb = residentKilobytes();
    clock.start();
    view.setDirectory(folder);
    QCoreApplication::processEvents();
    const double firstScreen = secondsUntilRendered(view, visibleRows(view), clock);
    QSet<int> all;
    for (int row = 0; row < kBigCount; ++row)
        all.insert(row);
    const double allSeconds = secondsUntilRendered(view, all, clock);
    const qint64 heldMb = (residentKilobytes() - emptyKb) / 1024;
    const int rendered = renderedRows(view);

    view.setDirectory(folder);
    QCoreApplication::processEvents();
    clock.start();
    view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
    QCoreApplication::processEvents();
    const QSet<int> last = visibleRows(view);
    const double lastScreen = secondsUntilRendered(view, last, clock);
    longestStallMs = qMax(longestStallMs, sinceTick.elapsed());
    // Leaves the folder, so that its work ends before the next measurement.
    view.setDirectory(root.filePath(QStringLiteral("small")));

    const double readMs = (readBeforeMs + plainReducedReadMs(sources)) / 2;
    const double allRatio = allSeconds / (kBigCount * readMs / 1000);
    std::printf("(c) %d photos of 12 MP: first screen %.3f s; last screen after a jump to the end "
                "%.3f s (%d cells, aim <= %.1f); all %d of %d in %.2f s, %.3f x %d plain reduced "
                "reads of %.1f ms in a niced thread (aim <= %.1f)\n",
                kBigCount, firstScreen, lastScreen, int(last.size()), kLastScreenAimSeconds,
                rendered, kBigCount, allSeconds, allRatio, kBigCount, readMs, kBigAllAim);
    std::printf("(c) longest stall of the user-interface thread %lld ms (aim <= %lld); memory held "
                "at the end %lld MB above the empty grid\n",
                static_cast<long long>(longestStallMs), static_cast<long long>(kStallAimMs),
                static_cast<long long>(heldMb));
    std::fflush(stdout);
    return rendered == kBigCount && !last.isEmpty() && lastScreen <= kLastScreenAimSeconds &&
           allRatio <= kBigAllAim && longestStallMs <= kStallAimMs;
}

// Seconds until the screen in view of folder has its thumbnails, listed in order, and in
// datesSeconds, when given, until its rows move to the dates read. The grid is then emptied,
// which ends its work.
double firstScreenSeconds(ThumbView &view, const QString &folder, const PictureOrder &order,
                          double *datesSeconds = nullptr)
{
    view.setOrder(order);
    QElapsedTimer clock;
    QEventLoop loop;
    bool dated = false;
    const QMetaObject::Connection arranged =
        QObject::connect(view.model(), &QAbstractItemModel::layoutChanged, [&] {
            if (datesSeconds)
                *datesSeconds = clock.nsecsElapsed() / 1e9;
            dated = true;
            loop.quit();
        });
    clock.start();
    view.setDirectory(folder);
    QCoreApplication::processEvents();
    const double seconds = secondsUntilRendered(view, visibleRows(view), clock);
    if (datesSeconds && !dated)
        loop.exec();
    QObject::disconnect(arranged);
    view.setDirectory(folder + QStringLiteral("/none"));
    view.setOrder({});
    return seconds;
}

// The big folder again, of photographs that record when they were taken as cameras do: the first
// screen by name (after one run that warms the decoders and the disk's cache) and by Date Taken,
// whose dates are read meanwhile.
bool measureDateTaken(const QDir &root)
{
    QStringList sources;
    for (const QSize &size : {kBigPhotoSize, kBigPhotoSize.transposed()}) {
        sources << root.filePath(QStringLiteral("dated-%1.jpg").arg(size.width()));
        const QByteArray taken =
            QByteArrayLiteral("2024:07:0") + QByteArray::number(sources.size()) + " 12:00:00";
        if (!writeExifJpeg(sources.last(), cameraPhoto(size),
                           {{"Exif.Image.Make", "Velmora"},
                            {"Exif.Image.Model", "Bench"},
                            {"Exif.Photo.DateTimeOriginal", taken},
                            {"Exif.Photo.ExposureTime", "1/250"},
                            {"Exif.Photo.FNumber", "28/10"},
                            {"Exif.Photo.ISOSpeedRatings", "400"}}))
            return false;
    }
    const QString folder = root.filePath(QStringLiteral("dated"));
    if (!root.mkdir(QStringLiteral("dated")) || !linkFolder(folder, sources, kBigCount))
        return false;

    ThumbView view;
    view.resize(300, 600);
    view.show();
    QCoreApplication::processEvents();
    firstScreenSeconds(view, folder, {});
    const double byName = firstScreenSeconds(view, folder, {});
    double datesSeconds = 0;
    const double byDate =
        firstScreenSeconds(view, folder, {PictureOrder::DateTaken}, &datesSeconds);
    std::printf("(f) %d photos of 12 MP by Date Taken: first screen %.3f s, by name %.3f s, ratio "
                "%.2f (aim <= %.1f); all dates in %.2f s (aim <= %.1f)\n",
                kBigCount, byDate, byName, byDate / byName, kTakenFirstScreenAim, datesSeconds,
                kAllDatesAimSeconds);
    std::fflush(stdout);
    return byDate / byName <= kTakenFirstScreenAim && datesSeconds <= kAllDatesAimSeconds;
}

// The memory that the thumbnails of folder hold once all are there, at this process's ratio.
bool measureManyThumbnails(const QString &folder)
{
    ThumbView view;
    view.resize(300, 600);
    view.show();
    QCoreApplication::processEvents();
    const qint64 emptyKb = residentKilobytes();
    const Stream stream = streamFolder(view, folder);
    const qint64 heldMb = (residentKilobytes() - emptyKb) / 1024;
    const QImage sample = view.model()->index(0, 0).data().value<QImage>();
    std::printf("(d) %d thumbnails at pixel ratio %.1f (%d x %d pixels each): %lld MB held above "
                "the empty grid (aim <= %lld at ratio 1), all in %.2f s\n",
                renderedRows(view), view.devicePixelRatioF(), sample.width(), sample.height(),
                static_cast<long long>(heldMb), static_cast<long long>(kManyMemoryAimMb),
                stream.lastSeconds);
    std::fflush(stdout);
    return renderedRows(view) == kManyCount &&
           (view.devicePixelRatioF() > 1 || heldMb <= kManyMemoryAimMb);
}

// Ten thousand thumbnails here, then in a child process at twice the pixel ratio.
bool measureMany(const QDir &root)
{
    const QString source = root.filePath(QStringLiteral("many.jpg"));
    const QString folder = root.filePath(QStringLiteral("many"));
    if (!detailedPicture(kManySize).save(source, "JPG", 90) ||
        !root.mkdir(QStringLiteral("many")) || !linkFolder(folder, {source}, kManyCount))
        return false;
    bool met = measureManyThumbnails(folder);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(kManyOption), folder});
    met = child.waitForFinished(-1) && child.exitCode() == 0 && met;
    return met;
}

// Writes the store's entries for the files of folder under cache as the freedesktop.org thumbnail
// standard has a thumbnailer write them: the picture scaled to 128 and 256 pixels, each a PNG
// named by the MD5 of the file's URI, saying the URI, modification time, size and picture size,
// readable by the user alone.
bool fillSharedStore(const QString &cache, const QString &folder, const QImage &picture)
{
    const QList<QPair<QString, int>> sizes = {{QStringLiteral("normal"), 128},
                                              {QStringLiteral("large"), 256}};
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files);
    for (const auto &[size, side] : sizes) {
        const QString path = cache + QStringLiteral("/thumbnails/") + size;
        if (!QDir().mkpath(path) ||
            !QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ExeOwner))
            return false;
        QImage entry = picture.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        entry.setText(QStringLiteral("Thumb::Image::Width"), QString::number(picture.width()));
        entry.setText(QStringLiteral("Thumb::Image::Height"), QString::number(picture.height()));
        for (const QFileInfo &info : files) {
            const QByteArray uri = QUrl::fromLocalFile(info.absoluteFilePath()).toEncoded();
            entry.setText(QStringLiteral("Thumb::URI"), QString::fromLatin1(uri));
            entry.setText(QStringLiteral("Thumb::MTime"),
                          QString::number(info.lastModified().toSecsSinceEpoch()));
            entry.setText(QStringLiteral("Thumb::Size"), QString::number(info.size()));
            const QString name = path + QLatin1Char('/') +
                                 QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex() +
                                 ".png";
            if (!entry.save(name, "PNG") ||
                !QFile::setPermissions(name, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
                return false;
        }
    }
    return true;
}

// The seconds until every thumbnail of folder is there, with the store at cache.
double sharedStoreSeconds(ThumbView &view, const QString &folder, const QString &cache)
{
    const EnvironmentGuard store("XDG_CACHE_HOME", QFile::encodeName(cache));
    const Stream stream = streamFolder(view, folder);
    return renderedRows(view) == view.model()->rowCount() ? stream.lastSeconds : -1;
}

// The same folder with a full store and with an empty one, which runs before and after.
bool measureSharedStore(ThumbView &view, const QDir &root)
{
    const QString source = root.filePath(QStringLiteral("shared.jpg"));
    const QImage picture = cameraPhoto(kBigPhotoSize);
    const QString folder = root.filePath(QStringLiteral("shared"));
    if (!picture.save(source, "JPG", 90) || !root.mkdir(QStringLiteral("shared")) ||
        !linkFolder(folder, {source}, kSharedCount))
        return false;
    const QString full = root.filePath(QStringLiteral("cache-full"));
    const QString empty = root.filePath(QStringLiteral("cache-empty"));
    if (!fillSharedStore(full, folder, picture))
        return false;
    const double before = sharedStoreSeconds(view, folder, empty);
    const double shared = sharedStoreSeconds(view, folder, full);
    const double after = sharedStoreSeconds(view, folder, empty);
    const double without = (before + after) / 2;
    const double ratio = shared / without;
    // What every thumbnail pays when the store has nothing for it.
    QElapsedTimer clock;
    {
        const EnvironmentGuard store("XDG_CACHE_HOME", QFile::encodeName(empty));
        const QFileInfoList files = QDir(folder).entryInfoList(QDir::Files);
        clock.start();
        for (const QFileInfo &file : files)
            sharedThumbnail(file.filePath(), 1);
    }
    const double lookupUs = clock.nsecsElapsed() / 1e3 / kSharedCount;
    std::printf("(e) %d photos of 12 MP whose thumbnails the shared store holds: all in %.2f s; "
                "without them %.2f s (%.2f before, %.2f after), ratio %.3f (aim <= %.2f); a "
                "look in the empty store %.1f us a photo\n",
                kSharedCount, shared, without, before, after, ratio, kSharedAim, lookupUs);
    std::fflush(stdout);
    return before > 0 && shared > 0 && after > 0 && ratio <= kSharedAim;
}

// The plain loop runs before and after the stream and counts at their mean, so that a load on
// the machine that changes during the run weighs on both sides alike.
bool measureSpeed(ThumbView &view, const char *name, const QString &folder,
                  const QStringList &files, Baseline baseline, double aim)
{
    const double before = baselineSeconds(files, baseline);
    const Stream stream = streamFolder(view, folder);
    const int rendered = renderedRows(view);
    const double after = baselineSeconds(files, baseline);
    const double mean = (before + after) / 2;
    const double ratio = stream.lastSeconds / mean;
    std::printf("%s: %d of %d rendered, first thumbnail %.3f s, last %.2f s; plain loop %.2f s "
                "(%.2f before, %.2f after), ratio %.3f (aim <= %.2f)\n",
                name, rendered, int(files.size()), stream.firstSeconds, stream.lastSeconds, mean,
                before, after, ratio, aim);
    std::printf("%s: longest stall of the user-interface thread %lld ms (aim <= %lld)\n", name,
                static_cast<long long>(stream.longestStallMs), static_cast<long long>(kStallAimMs));
    std::fflush(stdout);
    return before > 0 && after > 0 && rendered == files.size() && ratio <= aim &&
           stream.longestStallMs <= kStallAimMs;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    raiseAllocationLimit();
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String(kManyOption))
        return measureManyThumbnails(arguments.at(2)) ? 0 : 1;
    QTemporaryDir work;
    if (!work.isValid())
        return 1;
    const QDir root(work.path());
    for (const char *folder : {"small", "jpeg", "p3", "dng"})
        root.mkdir(QString::fromLatin1(folder));

    // Memory first: the high-water mark only rises, and the large pictures would mask it.
    const QString smallSource = root.filePath(QStringLiteral("small.jpg"));
    if (!detailedPicture(kSmallSize).save(smallSource, "JPG", 90) ||
        fillFolder(root.filePath(QStringLiteral("small")), smallSource, kSmallCount,
                   QStringLiteral("jpg"))
            .isEmpty())
        return 1;

    bool met = true;
    {
        ThumbView view;
        view.resize(300, 600);
        view.show();
        QCoreApplication::processEvents();
        const qint64 emptyKb = peakMemoryKb();
        const Stream stream = streamFolder(view, root.filePath(QStringLiteral("small")));
        const qint64 aboveMb = (peakMemoryKb() - emptyKb) / 1024;
        std::printf("%d small pictures: peak memory %lld MB above the empty grid (aim < %lld), "
                    "all in %.2f s, longest stall %lld ms\n",
                    kSmallCount, static_cast<long long>(aboveMb),
                    static_cast<long long>(kMemoryAimMb), stream.lastSeconds,
                    static_cast<long long>(stream.longestStallMs));
        met = emptyKb > 0 && aboveMb < kMemoryAimMb;
    }

    ThumbView view;
    view.resize(300, 600);
    view.show();

    // The same photographs twice: without a profile, and with the Display P3 profile that
    // recent phones write.
    QStringList photos;
    QStringList profiledPhotos;
    for (const QSize &size : kPhotoSizes) {
        QImage picture = detailedPicture(size);
        const QString plain = root.filePath(QStringLiteral("photo-%1.jpg").arg(size.width()));
        picture.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
        const QString profiled = root.filePath(QStringLiteral("p3-%1.jpg").arg(size.width()));
        if (!picture.save(profiled, "JPG", 90) ||
            QImage(profiled).colorSpace() != QColorSpace(QColorSpace::DisplayP3))
            return 1;
        picture.setColorSpace(QColorSpace());
        if (!picture.save(plain, "JPG", 90))
            return 1;
        const int first = photos.size();
        for (int i = first; i < first + kPhotoCount / 2; ++i) {
            photos << root.filePath(QStringLiteral("jpeg/p%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
            profiledPhotos << root.filePath(
                QStringLiteral("p3/p%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
            if (!QFile::copy(plain, photos.last()) || !QFile::copy(profiled, profiledPhotos.last()))
                return 1;
        }
    }
    met = measureSpeed(view, "(a) 100 JPEGs of 12 and 24 MP", root.filePath(QStringLiteral("jpeg")),
                       photos, plainThumbnail, kPhotoTimeAim) &&
          met;
    // Each half of the folder is copies of one picture.
    measureSideBySide({photos.first(), photos.last()});
    met = measureDifference(view, photos, {0, kPhotoCount / 2}) && met;
    met = measureSpeed(view, "100 Display P3 JPEGs of 12 and 24 MP",
                       root.filePath(QStringLiteral("p3")), profiledPhotos, plainThumbnail,
                       kProfiledPhotoTimeAim) &&
          met;

    DngOptions options;
    options.width = kDngSize.width();
    options.height = kDngSize.height();
    options.previewWidth = kDngPreviewSize.width();
    options.previewHeight = kDngPreviewSize.height();
    const QString dngSource = root.filePath(QStringLiteral("source.dng"));
    if (!writeDng(dngSource, options))
        return 1;
    const QString dngFolder = root.filePath(QStringLiteral("dng"));
    const QStringList dngs = fillFolder(dngFolder, dngSource, kDngCount, QStringLiteral("dng"));
    met = measureSpeed(view, "200 DNGs with 1024 x 768 previews", dngFolder, dngs, loadedThumbnail,
                       kDngTimeAim) &&
          met;

    met = measureSharedStore(view, root) && met;
    met = measureBigFolder(root) && met;
    met = measureDateTaken(root) && met;
    met = measureMany(root) && met;

    std::printf("aims %s\n", met ? "met" : "missed");
    return 0;
}
