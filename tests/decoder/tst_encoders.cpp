// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoderpool.h"
#include "environmentguard.h"
#include "loader.h"
#include "newformats.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

// Large pictures as real encoders write them, each read as the first picture of a fresh
// decoder: what their libraries set up lazily at the first large picture must not meet the
// decoder's filter.
class TestEncoders : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void largePicturesLoad_data();
    void largePicturesLoad();

private:
    QTemporaryDir dir;
};

// A gradient from red at the left to green at the right, with noise for the codecs to work on.
void TestEncoders::initTestCase()
{
    QImage source(4000, 3000, QImage::Format_RGB32);
    QRandomGenerator noise(7);
    for (int y = 0; y < source.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(source.scanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            const int red = 255 * x / source.width();
            line[x] = qRgb(255 - red, red, int(noise.bounded(64)) + y % 64);
        }
    }
    const QString png = dir.filePath(QStringLiteral("source.png"));
    // Little compression: written fast, the encoders below do the real work.
    QVERIFY(source.save(png, nullptr, 90));
    const auto out = [&](const char *name) { return dir.filePath(QLatin1String(name)); };
    QVERIFY(runQuietly("cjxl", {png, out("lossy.jxl"), "-d", "1"}));
    QVERIFY(runQuietly("cjxl", {png, out("lossless.jxl"), "-d", "0", "-e", "1"}));
    QVERIFY(runQuietly("heif-enc", {"-p", "preset=ultrafast", png, "-o", out("heic.heic")}));
    QVERIFY(runQuietly("heif-enc", {"-A", png, "-o", out("avif.avif")}));
    QVERIFY(runQuietly("convert", {png, out("webp.webp")}));
    QVERIFY(runQuietly("convert", {png, "-compress", "LZW", out("lzw.tif")}));
    QVERIFY(runQuietly("convert", {png, "-compress", "JPEG", out("jpeg.tif")}));
    QVERIFY(runQuietly("convert", {png, "-depth", "16", "-define", "png:compression-level=1",
                                   out("deep.png")}));
    QVERIFY(runQuietly("convert", {png, "-resize", "6000x4000!", "-interlace", "Plane",
                                   out("progressive.jpg")}));
}

void TestEncoders::largePicturesLoad_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("thumbnail");
    QTest::addColumn<QSize>("size");
    const QSize large(4000, 3000);
    const struct
    {
        const char *name;
        const char *file;
        QSize size;
    } pictures[] = {
        {"a lossy JPEG XL by cjxl", "lossy.jxl", large},
        {"a lossless JPEG XL by cjxl", "lossless.jxl", large},
        {"a HEIC by heif-enc", "heic.heic", large},
        {"an AVIF by heif-enc", "avif.avif", large},
        {"a WebP", "webp.webp", large},
        {"a TIFF with LZW compression", "lzw.tif", large},
        {"a TIFF with JPEG compression", "jpeg.tif", large},
        {"a 16-bit PNG", "deep.png", large},
        {"a progressive 24 MP JPEG", "progressive.jpg", QSize(6000, 4000)},
    };
    for (const auto &picture : pictures) {
        for (bool thumbnail : {false, true})
            QTest::addRow("%s, %s", picture.name, thumbnail ? "as a thumbnail" : "whole")
                << dir.filePath(QLatin1String(picture.file)) << thumbnail << picture.size;
    }
}

void TestEncoders::largePicturesLoad()
{
    QFETCH(QString, file);
    QFETCH(bool, thumbnail);
    QFETCH(QSize, size);
    // Each thread its own malloc arena at once, as on a machine of many cores.
    const EnvironmentGuard arenas("GLIBC_TUNABLES", "glibc.malloc.arena_test=1");
    DecoderPool::endIdle();
    const QImage picture = loadImage(file, thumbnail);
    QVERIFY(!picture.isNull());
    if (!thumbnail)
        QCOMPARE(picture.size(), size);
    // The gradient survived: red at the left, green at the right.
    const QRgb left = picture.pixel(0, picture.height() / 2);
    const QRgb right = picture.pixel(picture.width() - 1, picture.height() / 2);
    QVERIFY(qRed(left) > 200 && qGreen(left) < 60);
    QVERIFY(qGreen(right) > 200 && qRed(right) < 60);
}

QTEST_GUILESS_MAIN(TestEncoders)
#include "tst_encoders.moc"
