#include "loader.h"

#include "dngwriter.h"
#include "environmentguard.h"
#include "paths.h"
#include "processes.h"
#include "stdoutcapture.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

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

QTEST_GUILESS_MAIN(TestTempDirectory)
#include "tst_tempdirectory.moc"
