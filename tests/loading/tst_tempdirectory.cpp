// SPDX-License-Identifier: GPL-3.0-or-later
#include "loader.h"

#include "dngwriter.h"
#include "environmentguard.h"
#include "hostilecorpus.h"
#include "paths.h"
#include "processes.h"
#include "stdoutcapture.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <csignal>
#include <sys/stat.h>

// The private temporary directory is made once per process, inside whatever TMPDIR names at that
// moment; this test makes that a hostile name before the first load.
class TestTempDirectory : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void hostileTemporaryFolder_data();
    void hostileTemporaryFolder();
    void removedWhenTheProcessExits_data();
    void removedWhenTheProcessExits();
    void replacedFolderLeftAlone_data();
    void replacedFolderLeftAlone();
    void killedDuringConversion();
    void terminatedDuringConversion_data();
    void terminatedDuringConversion();

private:
    QTemporaryDir base;
    QString hostileDir;
    QString picture;
    QString oldCurrent;
    std::unique_ptr<EnvironmentGuard> tmpdir;
};

namespace {

// Each of these would run a command, or split the path, if the shell saw it unquoted.
const char kHostileName[] = "tmp dir $(touch pwned1) `touch pwned2` it's \"q\"; touch pwned3 &";

QStringList pwnedFiles(const QString &root)
{
    QStringList found;
    QDirIterator it(root, {QStringLiteral("pwned*")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(it.next());
    return found;
}

// A SIGTERM ends a load within this, the decoder being ended rather than waited for, and a
// decoder is gone this soon after the process that ran it was killed. Both take well under a
// second; the bound leaves room for a loaded machine and stays far below the slow decoder's
// minute and the runner's 30 s time-out, which a fault would wait for.
constexpr int kTerminationBoundMs = 10000;
constexpr int kOrphanBoundMs = 10000;

// What standard error reports first: the private folder, once the load is done.
QString reportedFolder(QProcess &probe)
{
    while (probe.canReadLine() || probe.waitForReadyRead(kLoadBoundMs)) {
        if (probe.canReadLine())
            return QString::fromUtf8(probe.readLine().trimmed());
    }
    return QString();
}

QStringList privateFolders(const QString &tmpdir)
{
    return QDir(tmpdir).entryList({QStringLiteral("velmora-*")},
                                  QDir::AllEntries | QDir::System | QDir::Hidden);
}

QStringList contentOf(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(QDir(folder).relativeFilePath(it.next()));
    found.sort();
    return found;
}

// A probe loading a full picture through a decoder that takes a minute, with its private folder
// in tmpdir.
class SlowProbe
{
public:
    SlowProbe(const QString &tmpdir, const QString &picture)
    {
        if (!bin.isValid() || !writeScript(bin.filePath(QStringLiteral("dcraw")),
                                           "echo $$ > \"${0%/*}/pid\"\nexec sleep 60"))
            return;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), tmpdir);
        // Unconfined, so that the fake may leave its pid beside itself.
        environment.insert(QStringLiteral("VELMORA_NO_SANDBOX"), QStringLiteral("1"));
        environment.insert(QStringLiteral("PATH"),
                           QString::fromLocal8Bit(EnvironmentGuard::pathWithFirst(bin.path())));
        process.setProcessEnvironment(environment);
        // A signal ignored at start stays ignored, and a test run in the background of a script
        // starts with SIGINT ignored: the probe starts as from a terminal instead.
        process.setChildProcessModifier([] {
            for (const int signal : {SIGTERM, SIGHUP, SIGINT})
                std::signal(signal, SIG_DFL);
        });
        process.start(QStringLiteral(VELMORA_LOADPROBE), {picture, QStringLiteral("full")});
    }

    ~SlowProbe()
    {
        process.kill();
        process.waitForFinished();
    }

    // The decoder's pid once it runs, else 0.
    qint64 decoderPid() const
    {
        QFile file(pidFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
    }

    QProcess process;

private:
    QString pidFile() const { return bin.filePath(QStringLiteral("pid")); }

    QTemporaryDir bin;
};

} // namespace

void TestTempDirectory::initTestCase()
{
    QVERIFY(base.isValid());
    hostileDir = base.filePath(QString::fromUtf8(kHostileName));
    QVERIFY(QDir().mkpath(hostileDir));
    picture = base.filePath(QStringLiteral("IMG_1.dng"));
    QVERIFY(writeDng(picture));
    // A command that escaped its quotes would leave its files here.
    oldCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(base.path()));
    tmpdir = std::make_unique<EnvironmentGuard>("TMPDIR", QFile::encodeName(hostileDir));
    raiseAllocationLimit();
}

void TestTempDirectory::cleanupTestCase()
{
    tmpdir.reset();
    QDir::setCurrent(oldCurrent);
}

void TestTempDirectory::hostileTemporaryFolder_data()
{
    QTest::addColumn<bool>("thumbnail");
    QTest::addColumn<QSize>("size");

    const DngOptions defaults;
    QTest::newRow("preview") << true << QSize(defaults.previewWidth, defaults.previewHeight);
    QTest::newRow("full picture") << false << QSize(defaults.width, defaults.height);
}

void TestTempDirectory::hostileTemporaryFolder()
{
    QFETCH(bool, thumbnail);
    QFETCH(QSize, size);
    StdoutCapture capture;
    const QImage image = loadImage(picture, thumbnail);

    QCOMPARE(QFileInfo(privateTempDirectory()).absolutePath(), hostileDir);
    QCOMPARE(image.size(), size);
    QCOMPARE(capture.text(), QByteArray());
    QCOMPARE(pwnedFiles(base.path()), QStringList());
    QCOMPARE(QDir(privateTempDirectory()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList());
    QCOMPARE(childProcesses(), QList<qint64>());
}

void TestTempDirectory::removedWhenTheProcessExits_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("after a preview") << "thumbnail";
    QTest::newRow("after a conversion") << "full";
}

void TestTempDirectory::removedWhenTheProcessExits()
{
    QFETCH(QString, mode);
    QTemporaryDir temp;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temp.path());
    QProcess probe;
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(VELMORA_LOADPROBE), {picture, mode});
    QVERIFY(probe.waitForFinished());
    QCOMPARE(probe.exitCode(), 0);
    QCOMPARE(probe.readAllStandardOutput(), QByteArray());
    const QList<QByteArray> report = probe.readAllStandardError().split('\n');
    QVERIFY(report.size() >= 2);
    const QString privateDir = QString::fromUtf8(report.first());
    QCOMPARE(QFileInfo(privateDir).absolutePath(), temp.path());
    QVERIFY(!QFileInfo::exists(privateDir));
    QCOMPARE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}

void TestTempDirectory::replacedFolderLeftAlone_data()
{
    QTest::addColumn<bool>("link");
    QTest::newRow("replaced by a link to the user's pictures") << true;
    QTest::newRow("replaced by another real folder of the same owner and mode") << false;
}

void TestTempDirectory::replacedFolderLeftAlone()
{
    QFETCH(bool, link);
    QTemporaryDir temp;
    QTemporaryDir pictures;
    QVERIFY(QDir(pictures.path()).mkpath(QStringLiteral("album")));
    const QStringList canary = {QStringLiteral("a.jpg"), QStringLiteral("album"),
                                QStringLiteral("album/b.jpg")};
    for (const QString &name : {canary.at(0), canary.at(2)})
        QVERIFY(QFile(pictures.filePath(name)).open(QIODevice::WriteOnly));

    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), temp.path());
    probe.setProcessEnvironment(environment);
    probe.setReadChannel(QProcess::StandardError);
    probe.start(QStringLiteral(VELMORA_LOADPROBE),
                {picture, QStringLiteral("full"), QStringLiteral("hold")});
    const QString privateDir = reportedFolder(probe);
    QVERIFY(!privateDir.isEmpty());
    // A cleaner of old files takes the folder, and something else takes its name.
    QVERIFY(QDir(privateDir).removeRecursively());
    if (link) {
        QVERIFY(QFile::link(pictures.path(), privateDir));
    } else {
        QVERIFY(QDir().mkdir(privateDir, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                             QFileDevice::ExeOwner));
        QVERIFY(QDir(privateDir).mkpath(QStringLiteral("album")));
        for (const QString &name : {canary.at(0), canary.at(2)})
            QVERIFY(QFile(QDir(privateDir).filePath(name)).open(QIODevice::WriteOnly));
    }
    probe.closeWriteChannel();
    QVERIFY(probe.waitForFinished(kLoadBoundMs));
    QCOMPARE(probe.exitCode(), 0);

    QCOMPARE(contentOf(pictures.path()), canary);
    QCOMPARE(contentOf(privateDir), canary);
    QVERIFY(link ? QFile::remove(privateDir) : QDir(privateDir).removeRecursively());
}

void TestTempDirectory::killedDuringConversion()
{
    QTemporaryDir temp;
    SlowProbe killed(temp.path(), picture);
    QTRY_VERIFY_WITH_TIMEOUT(killed.decoderPid() != 0, kLoadBoundMs);
    const QStringList staleFolder = privateFolders(temp.path());
    QCOMPARE(staleFolder.size(), 1);
    killed.process.kill();
    QVERIFY(killed.process.waitForFinished());
    QTRY_VERIFY_WITH_TIMEOUT(!processRunning(killed.decoderPid()), kOrphanBoundMs);
    // The conversion's work folder, the copy in it.
    QCOMPARE(contentOf(temp.filePath(staleFolder.first())).size(), 2);

    // What the next start must leave: a live viewer's folder, a link, a folder others may read.
    SlowProbe live(temp.path(), picture);
    QTRY_VERIFY_WITH_TIMEOUT(live.decoderPid() != 0, kLoadBoundMs);
    QTemporaryDir elsewhere;
    QVERIFY(QFile(elsewhere.filePath(QStringLiteral("keep"))).open(QIODevice::WriteOnly));
    QVERIFY(QFile::link(elsewhere.path(), temp.filePath(QStringLiteral("velmora-link00"))));
    const QString open = temp.filePath(QStringLiteral("velmora-open00"));
    QVERIFY(QDir().mkdir(open));
    QVERIFY(::chmod(QFile::encodeName(open).constData(), 0755) == 0);
    QVERIFY(QFile(open + QStringLiteral("/keep")).open(QIODevice::WriteOnly));
    QStringList kept = privateFolders(temp.path());
    kept.removeOne(staleFolder.first());

    {
        const EnvironmentGuard tmpdir("TMPDIR", QFile::encodeName(temp.path()));
        removeStaleTempDirectories();
    }
    QCOMPARE(privateFolders(temp.path()), kept);
    QCOMPARE(contentOf(elsewhere.path()), QStringList(QStringLiteral("keep")));
    QCOMPARE(contentOf(open), QStringList(QStringLiteral("keep")));
    QVERIFY(processRunning(live.decoderPid()));
}

void TestTempDirectory::terminatedDuringConversion_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGHUP: the session ends") << int(SIGHUP);
    QTest::newRow("SIGINT: Ctrl+C in the terminal") << int(SIGINT);
}

void TestTempDirectory::terminatedDuringConversion()
{
    QFETCH(int, signal);
    QTemporaryDir temp;
    SlowProbe probe(temp.path(), picture);
    QTRY_VERIFY_WITH_TIMEOUT(probe.decoderPid() != 0, kLoadBoundMs);
    QCOMPARE(privateFolders(temp.path()).size(), 1);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(::kill(pid_t(probe.process.processId()), signal), 0);
    QVERIFY(probe.process.waitForFinished(kLoadBoundMs));
    QVERIFY2(timer.elapsed() < kTerminationBoundMs, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(probe.process.exitStatus(), QProcess::NormalExit);
    QVERIFY(!processRunning(probe.decoderPid()));
    QCOMPARE(privateFolders(temp.path()), QStringList());
}

QTEST_GUILESS_MAIN(TestTempDirectory)
#include "tst_tempdirectory.moc"
