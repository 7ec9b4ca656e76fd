// SPDX-License-Identifier: GPL-3.0-or-later
#include "hostilecorpus.h"
#include "loader.h"
#include "paths.h"
#include "stdoutcapture.h"
#include "thumbfixtures.h"
#include "thumbmodel.h"
#include "thumbthread.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// Files that only pretend to be pictures, rendered by the thumbnail worker among good pictures,
// and a whole folder of them through the model.
class TestThumbHostile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void workerCarriesOn_data();
    void workerCarriesOn();
    void wholeFolderThroughTheModel();

private:
    QTemporaryDir folder;
    QTemporaryDir goodFolder;
    std::unique_ptr<HostileCorpus> corpus;
    QString before;
    QString after;
    QString oldCurrent;
};

namespace {

const QSize kBound(kThumbnailSize, kThumbnailSize);
constexpr int kRenderBoundMs = kLoadBoundMs;
constexpr int kFolderBoundMs = 60000;

} // namespace

void TestThumbHostile::initTestCase()
{
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("dcraw")).isEmpty(),
             "dcraw must be installed (scripts/deps.sh)");
    QVERIFY(folder.isValid());
    QVERIFY(goodFolder.isValid());
    corpus =
        std::make_unique<HostileCorpus>(folder.path(), QStringLiteral(VELMORA_DAMAGED_RAW_DIR));
    QVERIFY2(corpus->error().isEmpty(), qPrintable(corpus->error()));
    before = writePicture(goodFolder.path(), QStringLiteral("before.png"), QSize(40, 20));
    after = writePicture(goodFolder.path(), QStringLiteral("after.png"), QSize(20, 40));
    QVERIFY(!before.isEmpty() && !after.isEmpty());
    // A name that reached a shell unquoted would run its command here, where the snapshot of
    // the folder sees the file it makes.
    oldCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder.path()));
    raiseAllocationLimit();
}

void TestThumbHostile::cleanupTestCase()
{
    QDir::setCurrent(oldCurrent);
    corpus.reset();
}

void TestThumbHostile::workerCarriesOn_data()
{
    QTest::addColumn<HostileFile>("file");
    for (const HostileFile &file : corpus->files())
        QTest::addRow("%s", qPrintable(file.name)) << file;
}

void TestThumbHostile::workerCarriesOn()
{
    QFETCH(HostileFile, file);
    const QMap<QByteArray, QByteArray> snapshot = corpus->snapshot();
    const bool measured = resetPeakResident();
    const qint64 resident = residentKilobytes();

    // The watchdog outlives the worker: a worker blocked on a FIFO is let go before its
    // destructor waits for it.
    const FifoWatchdog watchdog(corpus->directory(), kRenderBoundMs);
    const FileSizeLimit limit(kFileSizeBound);
    StdoutCapture diagnostics;
    ThumbThread worker;
    QSignalSpy rendered(&worker, &ThumbThread::renderedImage);
    worker.render({before, file.path, after});
    QTRY_VERIFY_WITH_TIMEOUT(worker.isFinished(), 2 * kRenderBoundMs);
    QVERIFY2(!watchdog.fired(), "the worker blocked on a FIFO until the test wrote to it");
    QCOMPARE(limit.hits(), 0);

    // One thumbnail per file, in order: the hostile file does not stop the ones after it.
    QCOMPARE(rendered.size(), 3);
    for (int row = 0; row < 3; ++row)
        QCOMPARE(rendered.at(row).at(1).toInt(), row);
    QCOMPARE(rendered.at(0).at(0).value<QImage>().size(), QSize(80, 40));
    const QString wrong = checkOutcome(file, rendered.at(1).at(0).value<QImage>(), true, kBound);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
    QCOMPARE(rendered.at(2).at(0).value<QImage>().size(), QSize(40, 80));

    if (measured) {
        const qint64 growth = peakResidentKilobytes() - resident;
        QVERIFY2(growth < kMemoryGrowthBoundKb, qPrintable(QStringLiteral("%1 kB").arg(growth)));
    }
    QCOMPARE(corpus->snapshot(), snapshot);
    const QString left = leftBehind(privateTempDirectory());
    QVERIFY2(left.isEmpty(), qPrintable(left));
}

void TestThumbHostile::wholeFolderThroughTheModel()
{
    const QList<HostileFile> files = corpus->files();
    QStringList paths;
    for (const HostileFile &file : files)
        paths.append(file.path);
    const QMap<QByteArray, QByteArray> snapshot = corpus->snapshot();

    StdoutCapture diagnostics;
    const FileSizeLimit limit(kFileSizeBound);
    const FifoWatchdog watchdog(corpus->directory(), kFolderBoundMs);
    QElapsedTimer timer;
    timer.start();
    {
        ThumbModel model;
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.setFileList(paths);
        // One change for the new list, then one for each cell.
        QTRY_COMPARE_WITH_TIMEOUT(changed.size(), paths.size() + 1, kFolderBoundMs);
        QVERIFY2(!watchdog.fired(), "the worker blocked on a FIFO until the test wrote to it");

        for (int row = 0; row < files.size(); ++row) {
            const QVariant shown = model.data(model.index(row, 0), Qt::DisplayRole);
            // A row that got no picture says so; "loading..." would promise one.
            const QImage image =
                shown.userType() == QMetaType::QImage ? shown.value<QImage>() : QImage();
            if (image.isNull())
                QCOMPARE(shown.toString(), kUnreadableText);
            const QString wrong = checkOutcome(files.at(row), image, true, kBound);
            QVERIFY2(wrong.isEmpty(),
                     qPrintable(files.at(row).name + QStringLiteral(": ") + wrong));
        }
    }
    QVERIFY(timer.elapsed() < kFolderBoundMs);
    QCOMPARE(limit.hits(), 0);
    QCOMPARE(corpus->snapshot(), snapshot);
    const QString left = leftBehind(privateTempDirectory());
    QVERIFY2(left.isEmpty(), qPrintable(left));
}

QTEST_GUILESS_MAIN(TestThumbHostile)
#include "tst_thumbhostile.moc"
