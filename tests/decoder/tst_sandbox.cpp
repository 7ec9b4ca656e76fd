// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoderpool.h"
#include "environmentguard.h"
#include "loader.h"
#include "newformats.h"
#include "processes.h"
#include "stdoutcapture.h"
#include "thumbthread.h"

#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

class TestSandbox : public QObject
{
    Q_OBJECT

private slots:
    void wallsHold_data();
    void wallsHold();
    void largePicturesLoad_data();
    void largePicturesLoad();
    void failingDecoder_data();
    void failingDecoder();
    void lyingDecoder_data();
    void lyingDecoder();
    void slotsHandedAreBounded();
    void shortColourTableIsFilled();
    void decoderEnvironmentIsMinimal();
    void stopEndsTheWaitForADecoder();
    void decoderKilledWhileIdleIsReplaced();
    void heldPicturesKeepTheirPixels_data();
    void heldPicturesKeepTheirPixels();
    void decoderEndsWithTheViewer();

private:
    QString writePicture(const QString &name, const QSize &size, const QColor &colour);

    QTemporaryDir dir;
};

QString TestSandbox::writePicture(const QString &name, const QSize &size, const QColor &colour)
{
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(colour);
    const QString path = dir.filePath(name);
    return picture.save(path) ? path : QString();
}

void TestSandbox::wallsHold_data()
{
    QTest::addColumn<QByteArray>("attack");
    QTest::addColumn<bool>("filterRefused");
    QTest::addColumn<bool>("riskAccepted");
    QTest::addColumn<bool>("loads");
    for (const char *attack :
         {"signal another process", "signal the viewer", "tgkill another process",
          "take signals from the socket", "look up a name", "open a file", "create a socket",
          "run a program", "fill a 3 GiB memory file", "fill a 3 GiB shared mapping",
          "write into an inherited descriptor"})
        QTest::newRow(attack) << QByteArray(attack) << false << false << false;
    // Attacks that come to nothing the user would notice: the picture comes.
    for (const char *attack :
         {"write escape bytes to standard error", "start 200 threads", "spin after answering"})
        QTest::newRow(attack) << QByteArray(attack) << false << false << true;
    // Landlock's walls alone, where the kernel has them.
    for (const char *attack : {"signal another process", "signal the viewer", "open a file"})
        QTest::addRow("%s, behind Landlock alone", attack)
            << QByteArray(attack) << true << true << false;
    QTest::newRow("the kernel refuses the filter") << QByteArray() << true << false << false;
    QTest::newRow("the kernel refuses the filter, and the user accepts the risk")
        << QByteArray() << true << true << true;
    QTest::newRow("no attack") << QByteArray() << false << false << true;
}

// A decoder taken over right after its lock-down (attacks.h) harms neither the viewer nor a
// process beside it, and its picture comes back null.
void TestSandbox::wallsHold()
{
    QFETCH(QByteArray, attack);
    QFETCH(bool, filterRefused);
    QFETCH(bool, riskAccepted);
    QFETCH(bool, loads);
    const QString picture = writePicture(QStringLiteral("attacked.png"), QSize(16, 16), Qt::blue);
    QProcess victim;
    victim.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    QVERIFY(victim.waitForStarted());
    const EnvironmentGuard decoder("VELMORA_DECODER", VELMORA_ATTACKDECODER);
    const EnvironmentGuard named("VELMORA_ATTACK", attack);
    const EnvironmentGuard bystander("VELMORA_VICTIM", QByteArray::number(victim.processId()));
    const EnvironmentGuard viewer("VELMORA_VIEWER",
                                  QByteArray::number(QCoreApplication::applicationPid()));
    const EnvironmentGuard secret("VELMORA_ATTACK_PATH", QFile::encodeName(picture));
    const EnvironmentGuard refused("VELMORA_REFUSE_FILTER", filterRefused ? "1" : "");
    const EnvironmentGuard risk("VELMORA_NO_SANDBOX", riskAccepted ? "1" : "");
    // Open in the viewer without close-on-exec, as a descriptor it inherited may be.
    const QByteArray inheritedPath = QFile::encodeName(dir.filePath(QStringLiteral("inherited")));
    const int inherited = ::open(inheritedPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const auto closeInherited = qScopeGuard([inherited] { ::close(inherited); });
    const EnvironmentGuard target("VELMORA_ATTACK_FD", QByteArray::number(inherited));
    QByteArray said;
    {
        StdoutCapture errors(STDERR_FILENO);
        DecoderPool::endIdle();
        QCOMPARE(!loadImage(picture, false).isNull(), loads);
        // Spinning or multiplying its threads once it has answered ends it while it is idle.
        if (attack == "start 200 threads" || attack == "spin after answering")
            QTRY_COMPARE_WITH_TIMEOUT(childProcesses(), QList<qint64>{victim.processId()}, 10000);
        // Ended as when the viewer quits: its side of the socket closes.
        DecoderPool::endIdle();
        said = errors.text();
    }
    // Passed on: a sanitizer's report of the decoder fails the test (tests/CMakeLists.txt).
    std::fwrite(said.constData(), 1, size_t(said.size()), stderr);
    // What it says reaches the viewer's standard error, without what a terminal would obey.
    QCOMPARE(said.contains("refused the lock-down"), filterRefused);
    QVERIFY(!said.contains('\x1b') && !said.contains('\a'));
    QCOMPARE(QFileInfo(QFile::decodeName(inheritedPath)).size(), 0);
    QVERIFY(processRunning(victim.processId()));
    victim.kill();
    QVERIFY(victim.waitForFinished());
}

void TestSandbox::largePicturesLoad_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("encoder"); // %1 the source, %2 the file
    QTest::addColumn<bool>("thumbnail");
    const QList<std::tuple<const char *, const char *, QStringList>> encoded{
        {"a lossy JPEG XL by cjxl", "lossy.jxl", {"cjxl", "%1", "%2", "-d", "1"}},
        {"a lossless JPEG XL by cjxl", "lossless.jxl", {"cjxl", "%1", "%2", "-d", "0", "-e", "1"}},
        {"a HEIC by heif-enc", "a.heic", {"heif-enc", "-p", "preset=ultrafast", "%1", "-o", "%2"}},
        {"an AVIF by heif-enc", "a.avif", {"heif-enc", "-A", "%1", "-o", "%2"}},
        {"a WebP", "a.webp", {"convert", "%1", "%2"}},
        {"a JPEG 2000 by opj_compress", "a.jp2", {"opj_compress", "-i", "%1", "-o", "%2", "-r", "20"}},
        {"a TIFF with LZW compression", "lzw.tif", {"convert", "%1", "-compress", "LZW", "%2"}},
        {"a TIFF with JPEG compression", "jpeg.tif", {"convert", "%1", "-compress", "JPEG", "%2"}},
        {"a 16-bit PNG", "deep.png",
         {"convert", "%1", "-depth", "16", "-define", "png:compression-level=1", "%2"}},
        {"a progressive 24 MP JPEG", "progressive.jpg",
         {"convert", "%1", "-resize", "6000x4000!", "-interlace", "Plane", "%2"}}};
    for (const auto &[name, file, encoder] : encoded) {
        for (bool thumbnail : {false, true})
            QTest::addRow("%s, %s", name, thumbnail ? "as a thumbnail" : "whole")
                << dir.filePath(QLatin1String(file)) << encoder << thumbnail;
    }
}

// Large pictures as real encoders write them, each the first picture of a fresh decoder: what
// their libraries set up lazily at a large picture must not meet the filter.
void TestSandbox::largePicturesLoad()
{
    QFETCH(QString, file);
    QFETCH(QStringList, encoder);
    QFETCH(bool, thumbnail);
    // A gradient from red to green, with noise for the codecs to work on; each file written once.
    const QString source = dir.filePath(QStringLiteral("large.png"));
    QVERIFY(QFile::exists(source) ||
            runQuietly(QStringLiteral("convert"),
                       {QStringLiteral("-size"), QStringLiteral("3000x4000"),
                        QStringLiteral("gradient:red-lime"), QStringLiteral("-rotate"),
                        QStringLiteral("-90"), QStringLiteral("+noise"), QStringLiteral("Uniform"),
                        QStringLiteral("-depth"), QStringLiteral("8"), source}));
    encoder.replaceInStrings(QStringLiteral("%1"), source);
    encoder.replaceInStrings(QStringLiteral("%2"), file);
    QVERIFY(QFile::exists(file) || runQuietly(encoder.takeFirst(), encoder));
    // Each thread its own malloc arena at once, as on a machine of many cores.
    const EnvironmentGuard arenas("GLIBC_TUNABLES", "glibc.malloc.arena_test=1");
    DecoderPool::endIdle();
    const QImage picture = loadImage(file, thumbnail);
    QVERIFY(!picture.isNull());
    const int middle = picture.height() / 2;
    QVERIFY(qRed(picture.pixel(0, middle)) > 200 &&
            qGreen(picture.pixel(picture.width() - 1, middle)) > 200);
}

void TestSandbox::failingDecoder_data()
{
    QTest::addColumn<QByteArray>("failure");
    QTest::addColumn<bool>("grid");
    const QByteArray crash("kill -SEGV $$");
    const QByteArray silence("exec sleep 60");
    QTest::newRow("crashes on the picture in the pane") << crash << false;
    QTest::newRow("crashes on the first thumbnail of the grid") << crash << true;
    QTest::newRow("stops answering on the first thumbnail") << silence << true;
}

// The first decoder started takes the first request and then fails; a fresh one serves the
// pictures after it.
void TestSandbox::failingDecoder()
{
    QFETCH(QByteArray, failure);
    QFETCH(bool, grid);
    QTemporaryDir dir;
    QStringList pictures;
    for (const char *name : {"a.png", "b.png", "c.png"})
        pictures.append(writePicture(QLatin1String(name), QSize(40, 30), Qt::darkGreen));
    const QString fake = dir.filePath(QStringLiteral("decoder"));
    QVERIFY(writeScript(fake, "if mkdir '" + QFile::encodeName(dir.filePath("failed")) +
                                  "' 2>/dev/null; then head -c 1 <&3 >/dev/null; " + failure +
                                  "; fi\nexec '" +
                                  QFile::encodeName(DecoderClient::program()) + "' \"$@\""));
    const EnvironmentGuard decoder("VELMORA_DECODER", QFile::encodeName(fake));
    DecoderPool::endIdle();

    QList<bool> shown;
    if (grid) {
        ThumbThread worker;
        QSignalSpy rendered(&worker, &ThumbThread::renderedImage);
        worker.render(pictures);
        QTRY_COMPARE_WITH_TIMEOUT(rendered.size(), pictures.size(), 60000);
        for (const QList<QVariant> &signal : std::as_const(rendered))
            shown.append(!signal.at(0).value<QImage>().isNull());
    } else {
        for (const QString &picture : std::as_const(pictures))
            shown.append(!loadImage(picture, false).isNull());
    }
    QCOMPARE(shown, QList<bool>({false, true, true}));
    QCOMPARE(childProcesses(), QList<qint64>());
    DecoderPool::endIdle();
    QCOMPARE(decoderProcesses(), QList<qint64>());
}

void TestSandbox::lyingDecoder_data()
{
    QTest::addColumn<QByteArray>("lie");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("ended");
    QTest::addColumn<QRgb>("corner");
    for (const char *lie :
         {"memory smaller than the picture", "lines shorter than the picture is wide",
          "no such format", "a slot it was never given", "answer cut short", "nothing but noise",
          "a descriptor sent with the answer", "a second slot for one picture",
          "a slot over the allocation limit", "a colour-table count of 0xfffffff0",
          "float pixels in lines of a multiple of 4 bytes, not of 16"})
        QTest::newRow(lie) << QByteArray(lie) << false << true << QRgb();
    // A picture too large to convert, which an honest decoder may give too.
    const char *huge = "a one-bit 18000 x 18000 picture in another colour space";
    QTest::newRow(huge) << QByteArray(huge) << false << false << QRgb();
    // Lies that come to nothing: the picture is shown as the decoder wrote it.
    for (const char *lie : {"shrinking the slot it was given", "escape bytes in what the readers said"})
        QTest::newRow(lie) << QByteArray(lie) << true << false << qRgb(255, 255, 255);
    // Index 255 beyond a table of two: the colours missing from the table are black.
    const char *indices = "an 8-bit picture of two colours whose pixels use every index";
    QTest::newRow(indices) << QByteArray(indices) << true << false << qRgb(0, 0, 0);
}

namespace {

// The most address space this process has held, in kilobytes.
qint64 addressSpacePeak()
{
    QFile status(QStringLiteral("/proc/self/status"));
    const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
    const qsizetype at = text.indexOf("VmPeak:") + 7;
    return text.mid(at, text.indexOf("kB", at) - at).trimmed().toLongLong();
}

} // namespace

// A decoder taken over by a hostile file can neither make the viewer read beyond what it mapped,
// nor take its memory, nor print to the user's terminal what the terminal would obey.
void TestSandbox::lyingDecoder()
{
    QFETCH(QByteArray, lie);
    QFETCH(bool, shown);
    QFETCH(bool, ended);
    QFETCH(QRgb, corner);
    const QString picture = writePicture(QStringLiteral("lie.png"), QSize(100, 100), Qt::red);
    const EnvironmentGuard decoder("VELMORA_DECODER", VELMORA_LIARDECODER);
    const EnvironmentGuard told("VELMORA_LIE", lie);
    DecoderPool::endIdle();
    if (lie.startsWith("escape"))
        QTest::ignoreMessage(QtWarningMsg, "[2Jcleared");
    const qint64 reserved = addressSpacePeak();
    const QImage loaded = loadImage(picture, false);
    QCOMPARE(!loaded.isNull(), shown);
    if (shown)
        QCOMPARE(loaded.pixel(99, 99), corner);
    QVERIFY(addressSpacePeak() - reserved < 1024 * 1024);
    QCOMPARE(childProcesses().isEmpty(), ended);
    DecoderPool::endIdle();
    QCOMPARE(childProcesses(), QList<qint64>());
}

// A decoder keeps every slot it was given (the liar never lets go of one): the viewer hands one
// decoder no more than its bound, and a fresh one serves the pictures after.
void TestSandbox::slotsHandedAreBounded()
{
    const QString picture = writePicture(QStringLiteral("kept.png"), QSize(100, 100), Qt::red);
    const EnvironmentGuard decoder("VELMORA_DECODER", VELMORA_LIARDECODER);
    DecoderPool::endIdle();
    qsizetype most = 0;
    for (int i = 0; i < 40 && !loadImage(picture, false).isNull(); ++i) {
        QFile maps(QStringLiteral("/proc/%1/maps").arg(childProcesses().value(0)));
        most = qMax(most, maps.open(QIODevice::ReadOnly) ? maps.readAll().count("pixels") : 0);
    }
    QVERIFY2(most > 0 && most <= 32, qPrintable(QString::number(most)));
    DecoderPool::endIdle();
}

// An 8-bit BMP of two colours whose pixels use every index: the decoder sends all 256.
void TestSandbox::shortColourTableIsFilled()
{
    QImage bmp(16, 16, QImage::Format_Indexed8);
    bmp.setColorTable({qRgb(255, 0, 0), qRgb(255, 255, 255)});
    bmp.fill(255);
    QVERIFY(bmp.save(dir.filePath(QStringLiteral("two.bmp"))));
    DecoderRequest request;
    request.name = QStringLiteral("two.bmp");
    DecoderReply reply;
    QVERIFY(askDecoder(request, dir.filePath(request.name), 20000, reply, &bmp));
    QCOMPARE(reply.colourTable.size(), 256);
    QCOMPARE(bmp.pixel(15, 15), qRgb(0, 0, 0));
}

// A decoder sees nothing of the viewer's environment but its own settings.
void TestSandbox::decoderEnvironmentIsMinimal()
{
    const QString fake = dir.filePath(QStringLiteral("telling"));
    QVERIFY(writeScript(fake, "env > '" + QFile::encodeName(fake) + ".env'\nexec '" +
                                  QFile::encodeName(DecoderClient::program()) + "' \"$@\""));
    const EnvironmentGuard decoder("VELMORA_DECODER", QFile::encodeName(fake));
    const EnvironmentGuard secret("SSH_AUTH_SOCK", "/run/user/agent-secret");
    DecoderPool::endIdle();
    QVERIFY(!loadImage(writePicture(QStringLiteral("e.png"), QSize(8, 8), Qt::red), false).isNull());
    QFile environment(fake + QStringLiteral(".env"));
    QVERIFY(environment.open(QIODevice::ReadOnly));
    const QByteArray text = environment.readAll();
    QVERIFY2(text.contains("VELMORA_DECODER=") && !text.contains("agent-secret"), text.constData());
    DecoderPool::endIdle();
}

// Folders are switched and the viewer quits without waiting for a decoder's time limit.
void TestSandbox::stopEndsTheWaitForADecoder()
{
    const QString started = dir.filePath(QStringLiteral("started"));
    const QString fake = dir.filePath(QStringLiteral("silent"));
    QVERIFY(writeScript(fake, "touch '" + QFile::encodeName(started) + "'\nexec sleep 60"));
    const EnvironmentGuard decoder("VELMORA_DECODER", QFile::encodeName(fake));
    DecoderPool::endIdle();
    ThumbThread worker;
    QSignalSpy rendered(&worker, &ThumbThread::renderedImage);
    worker.render({writePicture(QStringLiteral("a.png"), QSize(8, 8), Qt::red)});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(started), 30000);
    worker.stop();
    // Well below the thumbnail's time limit of five seconds.
    QVERIFY(worker.wait(QDeadlineTimer(2000)));
    QCOMPARE(rendered.size(), 0);
    QCOMPARE(childProcesses(), QList<qint64>());
}

void TestSandbox::decoderKilledWhileIdleIsReplaced()
{
    DecoderPool::endIdle();
    const QString picture = writePicture(QStringLiteral("a.png"), QSize(8, 8), Qt::red);
    QVERIFY(!loadImage(picture, false).isNull());
    const QList<qint64> decoders = decoderProcesses();
    QCOMPARE(decoders.size(), 1);
    ::kill(pid_t(decoders.first()), SIGKILL);
    QTRY_VERIFY(!processRunning(decoders.first()));
    QVERIFY(!loadImage(picture, false).isNull());
    QCOMPARE(childProcesses(), QList<qint64>());
}

void TestSandbox::heldPicturesKeepTheirPixels_data()
{
    QTest::addColumn<QList<QSize>>("sizes");
    QTest::newRow("a folder of pictures of one size") << QList<QSize>(4, QSize(64, 48));
    QTest::newRow("growing") << QList<QSize>{{8, 8}, {64, 48}, {640, 480}, {641, 480}};
    QTest::newRow("shrinking") << QList<QSize>{{640, 480}, {64, 48}, {64, 47}, {8, 8}};
}

// The decoder reuses the memory of pictures the viewer has let go of, never of those it holds.
void TestSandbox::heldPicturesKeepTheirPixels()
{
    QFETCH(QList<QSize>, sizes);
    const QList<QColor> colours{Qt::red, Qt::green, Qt::blue, Qt::yellow};
    QList<QImage> held;
    for (int i = 0; i < sizes.size(); ++i) {
        const QString name = QStringLiteral("%1.png").arg(i);
        held.append(loadImage(writePicture(name, sizes.at(i), colours.at(i)), false));
        // The picture before goes back: its memory may serve the next.
        if (i == 2)
            held.removeFirst();
    }
    for (int i = 0; i < held.size(); ++i) {
        const int index = i + sizes.size() - held.size();
        QCOMPARE(held.at(i).size(), sizes.at(index));
        QCOMPARE(held.at(i).pixelColor(held.at(i).width() - 1, held.at(i).height() - 1),
                 colours.at(index));
    }
}

// A viewer killed while its decoder waits leaves no decoder behind.
void TestSandbox::decoderEndsWithTheViewer()
{
    DecoderPool::endIdle();
    const QString picture = writePicture(QStringLiteral("a.png"), QSize(20, 20), Qt::red);
    QProcess viewer;
    // Killed, the probe cannot remove its private folder: it makes it in the test's.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), dir.path());
    viewer.setProcessEnvironment(environment);
    viewer.start(QStringLiteral(VELMORA_LOADPROBE),
                 {picture, QStringLiteral("full"), QStringLiteral("hold")});
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += viewer.readAllStandardError()).contains("20x20"), 30000);
    const QString program = DecoderClient::program();
    QCOMPARE(processesMentioning(program).size(), 1);
    viewer.kill();
    QVERIFY(viewer.waitForFinished(30000));
    QTRY_COMPARE_WITH_TIMEOUT(processesMentioning(program), QList<qint64>(), 30000);
}

QTEST_GUILESS_MAIN(TestSandbox)
#include "tst_sandbox.moc"
