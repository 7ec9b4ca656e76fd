// SPDX-License-Identifier: GPL-3.0-or-later
#include "loader.h"

#include "dngwriter.h"
#include "environmentguard.h"
#include "hostilecorpus.h"
#include "paths.h"
#include "processes.h"
#include "stdoutcapture.h"
#include "tiffwriter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// A fake dcraw first on PATH that fails in every way a decoder can, and a temporary folder that
// cannot be used: each load gives a null picture, the loader's diagnostics and nothing left.
class TestDecoderFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void faultyDecoder_data();
    void faultyDecoder();
    void decoderHangs();
    void decoderTreeEndsWithTheViewer();
    void unusableTemporaryFolder_data();
    void unusableTemporaryFolder();
    void privateFolderTakenAway_data();
    void privateFolderTakenAway();

private:
    std::unique_ptr<EnvironmentGuard> fakeDecoder(const QByteArray &body);
    QByteArray userFileChecksum() const;

    QTemporaryDir fixtures;
    QTemporaryDir decoderDir;
    QString userFile;
    QString picture;
    QString absurdTiff;
    QString absurdPng;
};

namespace {

const QByteArray kDecoderProblem("loadImage: problem with dcraw\n");
const QByteArray kDeleteProblem("loadImage: problem delete temp image\n");
const QString kAllocationWarning(QStringLiteral("allocation limit"));
// The decoder's output files are named after its input without the extension.
const QByteArray kOutput("out=\"${2%.*}\"\n");
const QByteArray kNoCore("ulimit -c 0\n");

// The runner waits 30 s for a decoder to finish.
constexpr int kHangBoundMs = 45000;
constexpr quint32 kAbsurdSide = 100000;

QByteArray loaderLines(const QByteArray &printed)
{
    QByteArray lines;
    for (const QByteArray &line : printed.split('\n')) {
        if (line.startsWith("loadImage:"))
            lines += line + '\n';
    }
    return lines;
}

QByteArray fileChecksum(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha1);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

} // namespace

void TestDecoderFaults::initTestCase()
{
    QVERIFY(fixtures.isValid());
    QVERIFY(decoderDir.isValid());
    raiseAllocationLimit();
    userFile = fixtures.filePath(QStringLiteral("IMG_0001.nef"));
    QVERIFY(writeDng(userFile));
    picture = fixtures.filePath(QStringLiteral("picture.jpg"));
    QImage image(32, 24, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QVERIFY(image.save(picture));
    absurdTiff = fixtures.filePath(QStringLiteral("absurd.tif"));
    QVERIFY(writePlainTiff(absurdTiff, kAbsurdSide, kAbsurdSide, Qt::gray));
    // A PNG header claiming the same, built from a small PNG with its sides and CRC rewritten.
    absurdPng = fixtures.filePath(QStringLiteral("absurd.png"));
    QTemporaryDir corpusDir;
    const HostileCorpus corpus(corpusDir.path());
    QVERIFY2(corpus.error().isEmpty(), qPrintable(corpus.error()));
    const HostileFile png =
        corpus.file(QStringLiteral("PNG header claiming 100000 x 100000 pixels"));
    QVERIFY(QFile::copy(png.path, absurdPng));
}

void TestDecoderFaults::cleanup()
{
    QFile::remove(decoderDir.filePath(QStringLiteral("dcraw")));
    QFile::remove(decoderDir.filePath(QStringLiteral("log")));
}

std::unique_ptr<EnvironmentGuard> TestDecoderFaults::fakeDecoder(const QByteArray &body)
{
    if (!writeScript(decoderDir.filePath(QStringLiteral("dcraw")), body))
        return nullptr;
    return std::make_unique<EnvironmentGuard>("PATH",
                                              EnvironmentGuard::pathWithFirst(decoderDir.path()));
}

QByteArray TestDecoderFaults::userFileChecksum() const
{
    return fileChecksum(userFile);
}

void TestDecoderFaults::faultyDecoder_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<bool>("thumbnail");
    QTest::addColumn<QByteArray>("diagnostics");
    QTest::addColumn<QByteArray>("said");
    QTest::addColumn<bool>("warns");

    // The files to copy are lent in the private folder, beyond a confined decoder's reach: the
    // fakes that copy one run unconfined.
    const QByteArray copyPicture = "cp \"${2%/*}/../picture.jpg\" ";

    QTest::newRow("killed by a segmentation fault before any output")
        << kNoCore + "kill -SEGV $$" << false << kDecoderProblem + kDeleteProblem << QByteArray()
        << false;
    QTest::newRow("killed by a segmentation fault after writing its conversion")
        << kOutput + copyPicture + "\"$out.tiff\"\n" + kNoCore + "kill -SEGV $$" << false
        << kDecoderProblem << QByteArray() << false;
    QTest::newRow("says something, then is killed")
        << QByteArray("printf 'half done'\nkill -KILL $$") << false
        << kDecoderProblem + kDeleteProblem << QByteArray("half done") << false;
    QTest::newRow("killed extracting a thumbnail: LibRaw's preview instead")
        << QByteArray("kill -KILL $$") << true << kDecoderProblem << QByteArray() << false;
    QTest::newRow("aborts after writing a preview, which is not used")
        << kOutput + copyPicture + "\"$out.thumb.jpg\"\n" + kNoCore + "kill -ABRT $$" << true
        << kDecoderProblem << QByteArray() << false;

    QTest::newRow("conversion that is no picture")
        << kOutput + "printf 'II*\\000garbage' > \"$out.tiff\"" << false << QByteArray()
        << QByteArray() << false;
    QTest::newRow("preview that is no picture") << kOutput + "echo garbage > \"$out.thumb.jpg\""
                                                << true << QByteArray() << QByteArray() << false;
    QTest::newRow("conversion that is a FIFO")
        << kOutput + "mkfifo \"$out.tiff\"" << false << QByteArray() << QByteArray() << false;
    QTest::newRow("conversion that is a link to /dev/zero")
        << kOutput + "ln -s /dev/zero \"$out.tiff\"" << false << QByteArray() << QByteArray()
        << false;
    QTest::newRow("conversion that is an empty folder")
        << kOutput + "mkdir \"$out.tiff\"" << false << QByteArray() << QByteArray() << false;
    QTest::newRow("conversion that is a folder with a file in it")
        << kOutput + "mkdir \"$out.tiff\"\ntouch \"$out.tiff/inside\"" << false << kDeleteProblem
        << QByteArray() << false;

    // 1 GiB is the most that a confined decoder may write to a file.
    QTest::newRow("sparse conversion of 1 GB") << kOutput + "truncate -s 1G \"$out.tiff\"" << false
                                               << QByteArray() << QByteArray() << false;
    QTest::newRow("sparse preview of 1 GB") << kOutput + "truncate -s 1G \"$out.thumb.ppm\"" << true
                                            << QByteArray() << QByteArray() << false;
    QTest::newRow("sparse conversion of 8 GB: stopped by the file size limit")
        << kOutput + "truncate -s 8G \"$out.tiff\"" << false << kDecoderProblem << QByteArray()
        << false;
    QTest::newRow("conversion claiming 100000 x 100000 pixels")
        << kOutput + "cp \"${2%/*}/../absurd.tif\" \"$out.tiff\"" << false << QByteArray()
        << QByteArray() << true;
    QTest::newRow("preview claiming 100000 x 100000 pixels")
        << kOutput + "cp \"${2%/*}/../absurd.png\" \"$out.thumb.jpg\"" << true << QByteArray()
        << QByteArray() << true;
}

void TestDecoderFaults::faultyDecoder()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, thumbnail);
    QFETCH(QByteArray, diagnostics);
    QFETCH(QByteArray, said);
    QFETCH(bool, warns);
    const QByteArray checksum = userFileChecksum();
    const auto decoder = fakeDecoder(script);
    QVERIFY(decoder);
    const EnvironmentGuard walls("VELMORA_NO_SANDBOX", script.contains("/../") ? "1" : "");
    QStringList lent;
    for (const QString &file : {picture, absurdTiff, absurdPng}) {
        lent << privateTempDirectory() + QLatin1Char('/') + QFileInfo(file).fileName();
        QVERIFY(QFile::copy(file, lent.last()));
    }
    if (warns)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(kAllocationWarning));
    const bool measured = resetPeakResident();
    const qint64 resident = residentKilobytes();

    QImage image;
    QElapsedTimer timer;
    bool blocked = false;
    StdoutCapture capture;
    {
        const FifoWatchdog watchdog(privateTempDirectory(), kLoadBoundMs);
        timer.start();
        image = loadImage(userFile, thumbnail);
        blocked = watchdog.fired();
    }
    for (const QString &file : lent)
        QFile::remove(file);

    QVERIFY2(!blocked, "the load blocked on a FIFO until the test wrote to it");
    QVERIFY2(timer.elapsed() < kLoadBoundMs, qPrintable(QString::number(timer.elapsed())));
    // What dcraw failed on (and only that), LibRaw reads in the decoder.
    QCOMPARE(image.isNull(), !diagnostics.contains(kDecoderProblem));
    // What a decoder that failed said comes first, then the loader's own lines.
    const QByteArray printed = capture.text();
    QCOMPARE(loaderLines(printed), diagnostics);
    if (!said.isEmpty()) {
        QVERIFY(printed.contains(said));
        QVERIFY(printed.indexOf(said) < printed.indexOf(kDecoderProblem));
    }
    if (measured) {
        const qint64 growth = peakResidentKilobytes() - resident;
        QVERIFY2(growth < kMemoryGrowthBoundKb, qPrintable(QStringLiteral("%1 kB").arg(growth)));
    }
    QCOMPARE(userFileChecksum(), checksum);
    const QString left = leftBehind(privateTempDirectory());
    QVERIFY2(left.isEmpty(), qPrintable(left));
}

void TestDecoderFaults::decoderHangs()
{
    // The one case that must wait out the runner's time-out.
    const char sleeper[] = "sleep 4711";
    const auto decoder = fakeDecoder(QByteArray(sleeper) + " & wait");
    QVERIFY(decoder);
    StdoutCapture capture;
    QElapsedTimer timer;
    timer.start();
    // LibRaw reads what the hanging dcraw did not convert.
    QVERIFY(!loadImage(userFile, false).isNull());
    QVERIFY2(timer.elapsed() < kHangBoundMs, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(capture.text(), kDecoderProblem + kDeleteProblem);
    QCOMPARE(processesMentioning(QString::fromLatin1(sleeper)), QList<qint64>());
    const QString left = leftBehind(privateTempDirectory());
    QVERIFY2(left.isEmpty(), qPrintable(left));
}

// A viewer killed while dcraw works leaves nothing of it behind, not even what dcraw started.
void TestDecoderFaults::decoderTreeEndsWithTheViewer()
{
    const char sleeper[] = "sleep 4712";
    const auto decoder = fakeDecoder(QByteArray(sleeper) + " &\nwait");
    QVERIFY(decoder);
    QTemporaryDir base;
    const EnvironmentGuard folder("TMPDIR", QFile::encodeName(base.path()));
    QProcess viewer;
    viewer.start(QStringLiteral(VELMORA_LOADPROBE), {userFile, QStringLiteral("full")});
    QTRY_COMPARE_WITH_TIMEOUT(processesMentioning(QString::fromLatin1(sleeper)).size(), 1, 30000);
    viewer.kill();
    QVERIFY(viewer.waitForFinished(30000));
    QTRY_COMPARE_WITH_TIMEOUT(processesMentioning(QString::fromLatin1(sleeper)), QList<qint64>(),
                              10000);
}

void TestDecoderFaults::unusableTemporaryFolder_data()
{
    QTest::addColumn<QString>("tmpdir");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("loads");

    for (const QString &tmpdir : {QStringLiteral("file"), QStringLiteral("missing")}) {
        const QString what = tmpdir == QLatin1String("file") ? QStringLiteral("TMPDIR names a file")
                                                             : QStringLiteral("TMPDIR is missing");
        QTest::addRow("%s: camera file as a thumbnail", qPrintable(what)) << tmpdir << "IMG_1.dng"
                                                                          << "thumbnail" << false;
        QTest::addRow("%s: camera file as a full picture", qPrintable(what))
            << tmpdir << "IMG_1.dng"
            << "full" << false;
        QTest::addRow("%s: Qt needs no temporary file", qPrintable(what)) << tmpdir << "picture.jpg"
                                                                          << "full" << true;
    }
}

void TestDecoderFaults::unusableTemporaryFolder()
{
    QFETCH(QString, tmpdir);
    QFETCH(QString, name);
    QFETCH(QString, mode);
    QFETCH(bool, loads);
    // The private folder is made once per process: a fresh process meets the unusable TMPDIR.
    QTemporaryDir base;
    const QString target = base.filePath(QStringLiteral("tmp"));
    if (tmpdir == QLatin1String("file"))
        QVERIFY(QFile(target).open(QIODevice::WriteOnly));
    const QString path = base.filePath(name);
    QVERIFY(name.endsWith(QLatin1String(".dng")) ? writeDng(path) : QFile::copy(picture, path));
    // A run leaves its option in the log; the probe runs it unconfined, where it could write it.
    const auto decoder =
        fakeDecoder("echo \"$1\" >> '" +
                    QFile::encodeName(decoderDir.filePath(QStringLiteral("log"))) + "'\nexit 1");
    QVERIFY(decoder);

    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), target);
    environment.insert(QStringLiteral("VELMORA_NO_SANDBOX"), QStringLiteral("1"));
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(VELMORA_LOADPROBE), {path, mode});
    QVERIFY(probe.waitForFinished(kLoadBoundMs));
    QCOMPARE(probe.exitCode(), loads ? 0 : 1);

    // Without a private folder no decoder runs, so the loader has nothing to say.
    QCOMPARE(probe.readAllStandardOutput(), QByteArray());
    QCOMPARE(probe.readAllStandardError().split('\n').first(), QByteArray());
    QVERIFY(!QFile::exists(decoderDir.filePath(QStringLiteral("log"))));
    QCOMPARE(QDir(base.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(),
             tmpdir == QLatin1String("file") ? 2 : 1);
}

void TestDecoderFaults::privateFolderTakenAway_data()
{
    QTest::addColumn<QString>("replacement");

    QTest::newRow("removed: made again") << "nothing";
    QTest::newRow("replaced by a file: a fresh folder is used") << "file";
    QTest::newRow("replaced by a link to another folder: a fresh folder is used") << "link";
    QTest::newRow("replaced by another private folder: a fresh folder is used") << "folder";
}

void TestDecoderFaults::privateFolderTakenAway()
{
    QFETCH(QString, replacement);
    const QString dir = privateTempDirectory();
    QVERIFY(!dir.isEmpty());
    QTemporaryDir elsewhere;
    QVERIFY(QFile(elsewhere.filePath(QStringLiteral("keep"))).open(QIODevice::WriteOnly));
    QVERIFY(QDir(dir).removeRecursively());
    if (replacement == QLatin1String("file"))
        QVERIFY(QFile(dir).open(QIODevice::WriteOnly));
    else if (replacement == QLatin1String("link"))
        QVERIFY(QFile::link(elsewhere.path(), dir));
    else if (replacement == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                      QFileDevice::ExeOwner));

    StdoutCapture capture;
    const QImage first = loadImage(userFile, true);
    const QImage second = loadImage(userFile, false);
    const QByteArray printed = capture.text();
    const QString fresh = privateTempDirectory();
    // What stands under the old name now, named like the replacement.
    const QFileInfo left(dir);
    const QString standing = left.isSymLink() ? QStringLiteral("link")
                             : left.isDir()   ? QStringLiteral("folder")
                             : left.isFile()  ? QStringLiteral("file")
                                              : QStringLiteral("nothing");
    // Tidy up what the process leaves alone.
    if (replacement == QLatin1String("folder"))
        QVERIFY(QDir().rmdir(dir));
    else if (replacement != QLatin1String("nothing"))
        QVERIFY(QFile::remove(dir));

    QVERIFY(!first.isNull());
    QVERIFY(!second.isNull());
    QVERIFY(fresh != dir);
    QCOMPARE(QFileInfo(fresh).absolutePath(), QFileInfo(dir).absolutePath());
    QCOMPARE(standing, replacement);
    QCOMPARE(printed, replacement == QLatin1String("nothing")
                          ? QByteArray()
                          : "temporary folder " + QFile::encodeName(dir) +
                                " was replaced; now using " + QFile::encodeName(fresh) + '\n');
    QCOMPARE(QDir(elsewhere.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList(QStringLiteral("keep")));
    const QString leftover = leftBehind(fresh);
    QVERIFY2(leftover.isEmpty(), qPrintable(leftover));
}

QTEST_GUILESS_MAIN(TestDecoderFaults)
#include "tst_decoderfaults.moc"
