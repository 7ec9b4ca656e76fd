// SPDX-License-Identifier: GPL-3.0-or-later
#include "dngwriter.h"
#include "loader.h"
#include "newformats.h"
#include "orientedjpeg.h"
#include "privatedirectory.h"
#include "stdoutcapture.h"
#include "thumbfixtures.h"
#include "thumbqueue.h"
#include "thumbthread.h"

#include <QColorSpace>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

namespace {

struct Rendered
{
    int row;
    QImage image;
};

// Runs one worker over files to its end and returns what it emitted, in order.
QList<Rendered> renderAll(ThumbThread &worker, const QStringList &files)
{
    QSignalSpy rendered(&worker, &ThumbThread::renderedImage);
    worker.render(files);
    // The spy records from the worker's thread, so waiting for the thread itself is enough; a
    // spy on finished() could miss a worker that ends before the wait begins.
    if (!worker.wait(QDeadlineTimer(60000)))
        return {};
    QList<Rendered> results;
    for (const QList<QVariant> &arguments : rendered)
        results.append({arguments.at(1).toInt(), arguments.at(0).value<QImage>()});
    return results;
}

// The file name that a confined decoder wrote in its work folder, the one place it may, while
// the conversion lasts; empty when there is none.
QString inWorkFolder(const QString &name)
{
    QDirIterator found(privateTempDirectory(), {name}, QDir::Files, QDirIterator::Subdirectories);
    return found.hasNext() ? found.next() : QString();
}

} // namespace

class TestThumbThread : public QObject
{
    Q_OBJECT

private slots:
    void scalesToFitTheSquare_data();
    void scalesToFitTheSquare();
    void unreadableFileGivesNullImageAtItsRow_data();
    void unreadableFileGivesNullImageAtItsRow();
    void emptyListEmitsNothing();
    void stopBeforeStartEmitsNothing();
    void stopDuringLoadEmitsNothingMore();
    void stopEndsTheDecoderAtOnce();
    void thumbnailsAreTurnedAsTaken_data();
    void thumbnailsAreTurnedAsTaken();
    void thumbnailColours_data();
    void thumbnailColours();
    void samePictureSizesKeepTheirOwnThumbnails();
    void thumbnailIsTheWholePictureReduced_data();
    void thumbnailIsTheWholePictureReduced();
    void sharedThumbnailStandsInOnlyWhenItCannotDiffer_data();
    void sharedThumbnailStandsInOnlyWhenItCannotDiffer();

private:
    QTemporaryDir samples;
};

void TestThumbThread::scalesToFitTheSquare_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("thumbnail");
    QTest::newRow("large landscape is reduced") << QSize(4000, 3000) << QSize(80, 60);
    QTest::newRow("portrait is reduced to full height") << QSize(600, 800) << QSize(60, 80);
    QTest::newRow("small picture is enlarged") << QSize(20, 10) << QSize(80, 40);
    QTest::newRow("square fills the square") << QSize(81, 81) << QSize(80, 80);
}

void TestThumbThread::scalesToFitTheSquare()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, thumbnail);
    QTemporaryDir dir;
    const QString path = writePicture(dir.path(), QStringLiteral("p.png"), picture);
    QVERIFY(!path.isEmpty());

    ThumbThread worker;
    const QList<Rendered> results = renderAll(worker, {path});
    QCOMPARE(results.size(), 1);
    QCOMPARE(results.at(0).row, 0);
    QCOMPARE(results.at(0).image.size(), thumbnail);
}

void TestThumbThread::unreadableFileGivesNullImageAtItsRow_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("create");
    QTest::newRow("missing file") << QStringLiteral("gone.png") << false;
    QTest::newRow("text named like a JPEG") << QStringLiteral("text.jpg") << true;
}

void TestThumbThread::unreadableFileGivesNullImageAtItsRow()
{
    QFETCH(QString, name);
    QFETCH(bool, create);
    QTemporaryDir dir;
    const QString bad = create ? writeJunk(dir.path(), name) : dir.filePath(name);
    const QStringList files = {writePicture(dir.path(), QStringLiteral("a.png"), QSize(40, 40)),
                               bad,
                               writePicture(dir.path(), QStringLiteral("c.png"), QSize(40, 20))};

    ThumbThread worker;
    const QList<Rendered> results = renderAll(worker, files);
    QCOMPARE(results.size(), 3);
    for (int row = 0; row < 3; ++row)
        QCOMPARE(results.at(row).row, row);
    QCOMPARE(results.at(0).image.size(), QSize(80, 80));
    QVERIFY(results.at(1).image.isNull());
    QCOMPARE(results.at(2).image.size(), QSize(80, 40));
}

void TestThumbThread::emptyListEmitsNothing()
{
    ThumbThread worker;
    QSignalSpy finished(&worker, &QThread::finished);
    QVERIFY(renderAll(worker, {}).isEmpty());
    QCOMPARE(finished.size(), 1);
}

void TestThumbThread::stopBeforeStartEmitsNothing()
{
    QTemporaryDir dir;
    const QString path = writePicture(dir.path(), QStringLiteral("a.png"), QSize(10, 10));
    ThumbThread worker;
    QSignalSpy finished(&worker, &QThread::finished);
    worker.stop();
    QVERIFY(renderAll(worker, {path, path}).isEmpty());
    QCOMPARE(finished.size(), 1);
}

void TestThumbThread::stopDuringLoadEmitsNothingMore()
{
    StdoutCapture diagnostics;
    QTemporaryDir dir;
    QTemporaryDir bin;
    const QString release = dir.filePath(QStringLiteral("release"));
    // The decoder holds the first load until the test lets it go, then fails.
    const FakeDecoder decoder(bin.path(), "touch \"${2%/*}/started\"\nwhile [ ! -e '" +
                                              QFile::encodeName(release) +
                                              "' ]; do sleep 0.01; done\nexit 1");
    QVERIFY(decoder.isReady());
    const QString raw = dir.filePath(QStringLiteral("held.dng"));
    QVERIFY(writeDng(raw));
    const QString picture = writePicture(dir.path(), QStringLiteral("b.png"), QSize(10, 10));

    ThumbThread worker;
    QSignalSpy rendered(&worker, &ThumbThread::renderedImage);
    worker.render({raw, picture, picture});
    QTRY_VERIFY_WITH_TIMEOUT(!inWorkFolder(QStringLiteral("started")).isEmpty(), 30000);
    worker.stop();
    QVERIFY(QFile(release).open(QIODevice::WriteOnly));
    QVERIFY(worker.wait(QDeadlineTimer(60000)));
    QCOMPARE(rendered.size(), 0);
    QCOMPARE(childProcesses(), QList<qint64>());
}

void TestThumbThread::stopEndsTheDecoderAtOnce()
{
    StdoutCapture diagnostics;
    QTemporaryDir dir;
    QTemporaryDir bin;
    // A conversion that would take a minute: quitting must not wait for it.
    const FakeDecoder decoder(bin.path(), "echo $$ > \"${2%/*}/pid\"\nexec sleep 60");
    QVERIFY(decoder.isReady());
    const QString raw = dir.filePath(QStringLiteral("slow.dng"));
    QVERIFY(writeDng(raw));

    ThumbThread worker;
    QSignalSpy rendered(&worker, &ThumbThread::renderedImage);
    worker.render({raw, raw});
    const QString pidFile = QStringLiteral("pid");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(inWorkFolder(pidFile)).size() > 0, 30000);
    QFile file(inWorkFolder(pidFile));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const qint64 pid = file.readAll().trimmed().toLongLong();
    worker.stop();
    QVERIFY(worker.wait(QDeadlineTimer(10000)));
    QCOMPARE(rendered.size(), 0);
    QVERIFY(!processRunning(pid));
    QCOMPARE(childProcesses(), QList<qint64>());
    // Ended on purpose: no failure is reported and no full conversion is tried after it.
    QCOMPARE(diagnostics.text(), QByteArray());
}

void TestThumbThread::thumbnailsAreTurnedAsTaken_data()
{
    addOrientationRows();
}

void TestThumbThread::thumbnailsAreTurnedAsTaken()
{
    QFETCH(int, orientation);
    QFETCH(bool, portrait);
    QFETCH(int, corner);
    QTemporaryDir dir;
    const QString jpeg = dir.filePath(QStringLiteral("phone.jpg"));
    QVERIFY(writeOrientedJpeg(jpeg, markedPicture(QSize(1000, 600)), orientation));

    // The worker turns the small picture after scaling; the outcome must be the large one's.
    ThumbThread worker;
    const QList<Rendered> results = renderAll(worker, {jpeg});
    QCOMPARE(results.size(), 1);
    QCOMPARE(results.at(0).image.size(), portrait ? QSize(48, 80) : QSize(80, 48));
    QCOMPARE(markedCorner(results.at(0).image), corner);
}

void TestThumbThread::thumbnailColours_data()
{
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QColor>("shown");

    // Palette pictures as PNG optimisers write them: one bit a pixel, red on white.
    QImage redOnWhite(300, 200, QImage::Format_Mono);
    redOnWhite.setColorTable({qRgb(255, 255, 255), qRgb(255, 0, 0)});
    redOnWhite.fill(1);
    QTest::newRow("one-bit palette PNG keeps its red") << redOnWhite << "red.png" << QColor(Qt::red);

    QImage seeThrough(300, 200, QImage::Format_Indexed8);
    seeThrough.setColorTable({qRgba(0, 0, 0, 0), qRgb(0, 0, 255)});
    seeThrough.fill(0);
    QTest::newRow("palette PNG keeps its transparency")
        << seeThrough << "clear.png" << QColor(0, 0, 0, 0);

    QImage deep(300, 200, QImage::Format_RGBA64);
    deep.fill(QColor(200, 40, 40, 128));
    QTest::newRow("16-bit PNG keeps its alpha through the reduction")
        << deep << "deep.png" << QColor(200, 40, 40, 128);

    // sRGB's primaries with red and green exchanged: stored red is seen as sRGB green.
    QImage swapped(300, 200, QImage::Format_RGB32);
    swapped.fill(QColor(200, 40, 40));
    swapped.setColorSpace(QColorSpace(QPointF(0.3127, 0.3290), QPointF(0.30, 0.60),
                                      QPointF(0.64, 0.33), QPointF(0.15, 0.06),
                                      QColorSpace::TransferFunction::SRgb));
    QTest::newRow("profile that swaps red and green shows sRGB green")
        << swapped << "swap.png" << QColor(40, 200, 40);
    QTest::newRow("palette picture with that profile shows sRGB green")
        << swapped.convertToFormat(QImage::Format_Indexed8) << "swap-palette.png"
        << QColor(40, 200, 40);
}

void TestThumbThread::thumbnailColours()
{
    QFETCH(QImage, picture);
    QFETCH(QString, name);
    QFETCH(QColor, shown);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QVERIFY(picture.save(path));

    ThumbThread worker;
    const QList<Rendered> results = renderAll(worker, {path});
    QCOMPARE(results.size(), 1);
    const QColor seen = results.at(0).image.pixelColor(40, 26);
    const auto near = [](int a, int b) { return qAbs(a - b) <= 2; };
    QVERIFY2(near(seen.alpha(), shown.alpha()), qPrintable(seen.name(QColor::HexArgb)));
    if (shown.alpha() > 0) {
        QVERIFY2(near(seen.red(), shown.red()) && near(seen.green(), shown.green()) &&
                     near(seen.blue(), shown.blue()),
                 qPrintable(seen.name(QColor::HexArgb)));
    }
}

void TestThumbThread::samePictureSizesKeepTheirOwnThumbnails()
{
    // The worker decodes every picture into one buffer; what it emitted must not change when
    // the next picture of the same size lands there. Thumbnail-sized pictures are scaled to
    // themselves.
    QTemporaryDir dir;
    const QList<QColor> colours{Qt::red, Qt::green, Qt::blue, Qt::yellow};
    QStringList files;
    for (int i = 0; i < colours.size(); ++i) {
        const QSize size = i < 2 ? QSize(300, 200) : QSize(80, 80);
        files << writePicture(dir.path(), QStringLiteral("p%1.png").arg(i), size, colours.at(i));
    }

    ThumbThread worker;
    const QList<Rendered> results = renderAll(worker, files);
    QCOMPARE(results.size(), files.size());
    for (const Rendered &result : results)
        QCOMPARE(result.image.pixelColor(20, 20), colours.at(result.row));
}

void TestThumbThread::thumbnailIsTheWholePictureReduced_data()
{
    QTest::addColumn<QString>("path");
    const auto row = [this](const QString &name) {
        QTest::newRow(qPrintable(name)) << samples.filePath(name);
        return samples.filePath(name);
    };
    // Waves of a few thumbnail pixels: a reduction that skips or misplaces lines shows.
    QImage picture(2400, 1600, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y,
                             qRgb(128 + 127 * qSin(x / 37.0), 128 + 127 * qSin(y / 23.0),
                                  128 + 127 * qSin((x + y) / 51.0)));
    picture.save(row("photo.jpg"), "JPG", 90);
    picture.save(row("photo.tif"));
    picture.convertToFormat(QImage::Format_Grayscale8).save(row("grey.png"));
    // Read at a lower resolution level, which the wavelet filters rather than samples.
    writeJp2(row("photo.jp2"), picture);
    // Gradients, which a writer's subsampled stored thumbnail still holds.
    QImage deep(640, 400, QImage::Format_RGBA64);
    for (int y = 0; y < deep.height(); ++y)
        for (int x = 0; x < deep.width(); ++x)
            deep.setPixel(x, y, qRgba(x * 255 / 640, y * 255 / 400, 160, 40 + (x + y) / 6));
    deep.save(row("deep-alpha.png"));
    writeHeif(row("alpha.avif"), deep.convertToFormat(QImage::Format_ARGB32), {true, 8, 1, 320});
    writeJxl(row("photo.jxl"), deep.convertToFormat(QImage::Format_ARGB32));
    writeJxl(row("turned.jxl"), markedPicture(QSize(640, 400)), 7);
    runQuietly("convert", {"-size", "1600x1200", "xc:#3080c0", row("palette.png")});
    writeProfiled(row("print.jpg"),
                  {"-size", "640x400", "gradient:cyan-yellow", "-colorspace", "CMYK"},
                  tableProfile(4));
    const QString grey = samples.filePath("grey-alpha.png");
    // Grey with alpha in 16 bits, which the encoder keeps as one channel and an alpha plane.
    runQuietly("convert", QStringLiteral("-size 640x480 gradient: ( -size 480x640 "
                                         "gradient:gray(90%)-gray(15%) -rotate 90 ) -alpha off "
                                         "-compose copy_opacity -composite -depth 16 -define "
                                         "png:color-type=4")
                                  .split(' ')
                              << grey);
    runQuietly("heif-enc", {"-A", "-b", "12", "--full_range_flag", "0", "-t", "320", grey, "-o",
                            row("grey-alpha.avif")});
    // Without a stored thumbnail, a large one is reduced by the reader before the worker does.
    runQuietly("convert", {grey, "-resize", "2048x2048!", grey});
    runQuietly("heif-enc", {"-A", "-b", "12", "--full_range_flag", "0", grey, "-o",
                            row("grey-alpha-large.avif")});
    for (int orientation = 1; orientation <= 8; ++orientation) {
        writeOrientedJpeg(row(QStringLiteral("turned-%1.jpg").arg(orientation)),
                          markedPicture(QSize(1000, 600)), orientation);
        writeHeif(row(QStringLiteral("turned-%1.heic").arg(orientation)),
                  markedPicture(QSize(640, 400)), {false, 8, orientation, 320});
    }
    writeHeif(row("cropped.heic"), markedPicture(QSize(641, 400)), {false, 8, 1, 400, true});
    writeHeif(row("mif1.heic"), markedPicture(QSize(640, 400)), {false, 8, 1, 320, false, "mif1"});
    DngOptions withPreview;
    withPreview.width = 512;
    withPreview.height = 384;
    withPreview.previewWidth = 256;
    withPreview.previewHeight = 192;
    withPreview.previewShowsRaw = true;
    writeDng(row("preview.dng"), withPreview);
}

// The mean difference of two pictures of one size, each colour counting as much as it is opaque.
double meanDifference(const QImage &a, const QImage &b)
{
    const QImage first = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage second = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    qint64 difference = 0;
    for (qsizetype i = 0; i < first.sizeInBytes(); ++i)
        difference += qAbs(first.constBits()[i] - second.constBits()[i]);
    return double(difference) / first.sizeInBytes();
}

// Whatever a reader delivers reduced comes turned, cropped and coloured as the full view: the
// thumbnail, and the pane's first view of a picture fitted into a small box.
void TestThumbThread::thumbnailIsTheWholePictureReduced()
{
    QFETCH(QString, path);
    ThumbThread worker;
    const QList<Rendered> results = renderAll(worker, {path});
    QCOMPARE(results.size(), 1);
    const QImage full = loadImage(path, false);
    const QImage whole = scaleThumbnail(full);
    QVERIFY(!whole.isNull());
    QCOMPARE(results.at(0).image.size(), whole.size());
    const double mean = meanDifference(results.at(0).image, whole);
    QVERIFY2(mean <= 2, qPrintable(QString::number(mean)));

    QImage standIn;
    QSize fullSize;
    const QImage read = loadImage(path, QSize(200, 200), [&](const QImage &reduced, QSize size) {
        standIn = reduced;
        fullSize = size;
    });
    QCOMPARE(read.size(), full.size());
    if (standIn.isNull())
        return;
    QCOMPARE(fullSize, full.size());
    const QSize fitted = full.size().scaled(200, 200, Qt::KeepAspectRatio);
    QVERIFY(standIn.width() >= fitted.width() && standIn.height() >= fitted.height());
    const double standInMean = meanDifference(
        standIn, full.scaled(standIn.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    QVERIFY2(standInMean <= 2, qPrintable(QString::number(standInMean)));
}

void TestThumbThread::sharedThumbnailStandsInOnlyWhenItCannotDiffer_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QString>("uri");
    QTest::addColumn<int>("secondsOff");
    QTest::addColumn<bool>("adobeRgb");
    QTest::addColumn<bool>("used");
    const QString own; // the picture's own URI
    QTest::newRow("a fresh entry of normal/ stands in")
        << "normal" << 1.0 << own << 0 << false << true;
    QTest::newRow("a fresh entry of large/ stands in on a dense screen")
        << "large" << 2.0 << own << 0 << false << true;
    QTest::newRow("an entry of normal/ is too small on a dense screen")
        << "normal" << 2.0 << own << 0 << false << false;
    QTest::newRow("an entry made before the picture last changed is not used")
        << "normal" << 1.0 << own << -1 << false << false;
    QTest::newRow("an entry of another file is not used")
        << "normal" << 1.0 << "file:///elsewhere/p.png" << 0 << false << false;
    QTest::newRow("an entry of fail/ is not used")
        << "fail/maker" << 1.0 << own << 0 << false << false;
    QTest::newRow("an entry of a picture with an Adobe RGB profile is not used")
        << "normal" << 1.0 << own << 0 << true << false;
}

void TestThumbThread::sharedThumbnailStandsInOnlyWhenItCannotDiffer()
{
    QFETCH(QString, folder);
    QFETCH(qreal, ratio);
    QFETCH(QString, uri);
    QFETCH(int, secondsOff);
    QFETCH(bool, adobeRgb);
    QFETCH(bool, used);
    QTemporaryDir dir;
    const EnvironmentGuard cache("XDG_CACHE_HOME", QFile::encodeName(dir.filePath("cache")));
    QImage picture(400, 300, QImage::Format_RGB32);
    picture.fill(Qt::red);
    if (adobeRgb)
        picture.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
    const QString path = dir.filePath(QStringLiteral("red.png"));
    QVERIFY(picture.save(path));

    // Blue, unlike the picture, shows which one was used.
    const int side = folder == QLatin1String("large") ? 256 : 128;
    QImage entry(side, side * 3 / 4, QImage::Format_RGB32);
    entry.fill(Qt::blue);
    const QByteArray ownUri = QUrl::fromLocalFile(path).toEncoded();
    entry.setText(QStringLiteral("Thumb::URI"), uri.isEmpty() ? QString::fromLatin1(ownUri) : uri);
    const qint64 modified = QFileInfo(path).lastModified().toSecsSinceEpoch() + secondsOff;
    entry.setText(QStringLiteral("Thumb::MTime"), QString::number(modified));
    const QString entryFolder = dir.filePath(QStringLiteral("cache/thumbnails/") + folder);
    QVERIFY(QDir().mkpath(entryFolder));
    QVERIFY(entry.save(entryFolder + QLatin1Char('/') +
                       QCryptographicHash::hash(ownUri, QCryptographicHash::Md5).toHex() + ".png"));

    ThumbThread worker;
    QSignalSpy rendered(&worker, &ThumbThread::renderedImage);
    worker.render(std::make_shared<ThumbQueue>(QStringList{path}, ratio));
    QVERIFY(worker.wait(QDeadlineTimer(60000)));
    QCOMPARE(rendered.size(), 1);
    const QImage thumbnail = rendered.at(0).at(0).value<QImage>();
    QCOMPARE(thumbnail.size(), QSize(thumbnailSide(ratio), thumbnailSide(ratio) * 3 / 4));
    QCOMPARE(thumbnail.pixelColor(10, 10) == QColor(Qt::blue), used);
}

QTEST_GUILESS_MAIN(TestThumbThread)
#include "tst_thumbthread.moc"
