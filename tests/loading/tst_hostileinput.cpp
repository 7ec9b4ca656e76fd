// SPDX-License-Identifier: GPL-3.0-or-later
#include "loader.h"

#include "formats.h"
#include "hostilecorpus.h"
#include "paths.h"
#include "stdoutcapture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// Files that only pretend to be pictures, fed to the loader on both of its routes.
class TestHostileInput : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void loadsAsDocumented_data();
    void loadsAsDocumented();
    void absurdSizesAllocateLittle_data();
    void absurdSizesAllocateLittle();

private:
    void addRows(const QList<HostileFile> &files);

    QTemporaryDir folder;
    std::unique_ptr<HostileCorpus> corpus;
    QString oldCurrent;
};

void TestHostileInput::initTestCase()
{
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("dcraw")).isEmpty(),
             "dcraw must be installed (scripts/deps.sh)");
    QVERIFY(folder.isValid());
    corpus =
        std::make_unique<HostileCorpus>(folder.path(), QStringLiteral(VELMORA_DAMAGED_RAW_DIR));
    QVERIFY2(corpus->error().isEmpty(), qPrintable(corpus->error()));
    // A name that reached a shell unquoted would run its command here, where the snapshot of
    // the folder sees the file it makes.
    oldCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder.path()));
    raiseAllocationLimit();
}

void TestHostileInput::cleanupTestCase()
{
    QDir::setCurrent(oldCurrent);
    corpus.reset();
}

void TestHostileInput::addRows(const QList<HostileFile> &files)
{
    QTest::addColumn<HostileFile>("file");
    QTest::addColumn<bool>("thumbnail");
    for (const HostileFile &file : files) {
        QTest::addRow("%s, as a thumbnail", qPrintable(file.name)) << file << true;
        QTest::addRow("%s, as a full picture", qPrintable(file.name)) << file << false;
    }
}

void TestHostileInput::loadsAsDocumented_data()
{
    addRows(corpus->files());
}

void TestHostileInput::loadsAsDocumented()
{
    QFETCH(HostileFile, file);
    QFETCH(bool, thumbnail);
    const QMap<QByteArray, QByteArray> before = corpus->snapshot();

    QImage image;
    QElapsedTimer timer;
    int copiedTooMuch = 0;
    bool blocked = false;
    StdoutCapture capture;
    {
        const FileSizeLimit limit(kFileSizeBound);
        const FifoWatchdog watchdog(corpus->directory(), kLoadBoundMs);
        timer.start();
        image = loadImage(file.path, thumbnail);
        copiedTooMuch = limit.hits();
        blocked = watchdog.fired();
    }

    QVERIFY2(!blocked, "the load blocked on a FIFO until the test wrote to it");
    QVERIFY2(copiedTooMuch == 0, "the load wrote a file past the size limit");
    QVERIFY2(timer.elapsed() < kLoadBoundMs, qPrintable(QString::number(timer.elapsed())));
    const QString wrong = checkOutcome(file, image, thumbnail);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    // Qt reads what it can without a word of the loader's; only the decoder's route has
    // diagnostics. (Qt's own warnings pass through the test log on standard output.)
    if (!isRawFile(file.path))
        QVERIFY(!capture.text().contains("loadImage:"));
    QCOMPARE(corpus->snapshot(), before);
    const QString left = leftBehind(privateTempDirectory());
    QVERIFY2(left.isEmpty(), qPrintable(left));
}

void TestHostileInput::absurdSizesAllocateLittle_data()
{
    addRows(corpus->files(HostileFile::Group::Absurd));
}

void TestHostileInput::absurdSizesAllocateLittle()
{
    QFETCH(HostileFile, file);
    QFETCH(bool, thumbnail);
    if (!resetPeakResident())
        QSKIP("the kernel cannot reset the peak resident size");
    const qint64 before = residentKilobytes();
    QVERIFY(loadImage(file.path, thumbnail).isNull());
    const qint64 growth = peakResidentKilobytes() - before;
    QVERIFY2(growth < kMemoryGrowthBoundKb, qPrintable(QStringLiteral("%1 kB").arg(growth)));
}

QTEST_GUILESS_MAIN(TestHostileInput)
#include "tst_hostileinput.moc"
