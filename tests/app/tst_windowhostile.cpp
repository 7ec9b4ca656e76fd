// SPDX-License-Identifier: GPL-3.0-or-later
#include "hostilecorpus.h"
#include "imagelabel.h"
#include "imageviewer.h"
#include "loader.h"
#include "modalwatcher.h"
#include "panereader.h"
#include "paths.h"
#include "picturearrival.h"
#include "picturecommands.h"
#include "readahead.h"
#include "stdoutcapture.h"

#include <QAction>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

// The window opens every file of the hostile corpus in turn: each gives the failure box or the
// picture, and afterwards a good picture still loads and zooms. (Named ImageViewerTest, as the
// window's friend.)
class ImageViewerTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void windowSurvives_data();
    void windowSurvives();

private:
    QTemporaryDir folder;
    QTemporaryDir goodFolder;
    std::unique_ptr<HostileCorpus> corpus;
    std::unique_ptr<ImageViewer> viewer;
    QString good;
    QString oldCurrent;
};

namespace {

const QSize kGoodSize(800, 600);

} // namespace

void ImageViewerTest::initTestCase()
{
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("dcraw")).isEmpty(),
             "dcraw must be installed (scripts/deps.sh)");
    QVERIFY(folder.isValid());
    QVERIFY(goodFolder.isValid());
    corpus =
        std::make_unique<HostileCorpus>(folder.path(), QStringLiteral(VELMORA_DAMAGED_RAW_DIR));
    QVERIFY2(corpus->error().isEmpty(), qPrintable(corpus->error()));
    good = goodFolder.filePath(QStringLiteral("good.png"));
    QImage picture(kGoodSize, QImage::Format_RGB32);
    picture.fill(Qt::darkYellow);
    QVERIFY(picture.save(good));
    // A name that reached a shell unquoted would run its command here, where the snapshot of
    // the folder sees the file it makes.
    oldCurrent = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder.path()));

    // As main() does.
    raiseAllocationLimit();
    viewer = std::make_unique<ImageViewer>(QStringLiteral("RAW"));
    viewer->show();
    QVERIFY(QTest::qWaitForWindowExposed(viewer.get()));
    // With the information dock open, its metadata reader meets every file that loads.
    viewer->commands->informationAction()->trigger();
    viewer->loadFile(good);
    QTRY_VERIFY_WITH_TIMEOUT(!viewer->arrival->paneReader()->isReading(), 30000);
    // Zoom is what the test tries after each file: it needs the scaled mode.
    viewer->fitToWindowAction->trigger();
    QVERIFY(!viewer->fitToWindowAction->isChecked());
}

void ImageViewerTest::cleanupTestCase()
{
    viewer.reset();
    QDir::setCurrent(oldCurrent);
    corpus.reset();
}

void ImageViewerTest::windowSurvives_data()
{
    QTest::addColumn<HostileFile>("file");
    for (const HostileFile &file : corpus->files())
        QTest::addRow("%s", qPrintable(file.name)) << file;
}

void ImageViewerTest::windowSurvives()
{
    QFETCH(HostileFile, file);
    const QMap<QByteArray, QByteArray> snapshot = corpus->snapshot();
    const double scaleBefore = viewer->imageLabel->scaleFactor();

    QString box;
    bool blocked = false;
    int copiedTooMuch = 0;
    QElapsedTimer timer;
    StdoutCapture diagnostics;
    {
        const FifoWatchdog watchdog(corpus->directory(), kLoadBoundMs);
        const FileSizeLimit limit(kFileSizeBound);
        ModalWatcher<QMessageBox> watcher([&box](QMessageBox *shown) {
            box = shown->windowTitle() + QLatin1Char('|') + shown->text();
            shown->accept();
        });
        timer.start();
        viewer->loadFile(file.path);
        QTRY_VERIFY_WITH_TIMEOUT(!viewer->arrival->paneReader()->isReading(), kLoadBoundMs);
        blocked = watchdog.fired();
        copiedTooMuch = limit.hits();
    }
    QVERIFY2(!blocked, "the load blocked on a FIFO until the test wrote to it");
    QVERIFY2(copiedTooMuch == 0, "the load wrote a file past the size limit");
    QVERIFY2(timer.elapsed() < kLoadBoundMs, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!QApplication::overrideCursor());

    const QImage shown = viewer->imageLabel->image();
    if (box.isEmpty()) {
        const QString wrong = checkOutcome(file, shown, false);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
        QCOMPARE(viewer->imageLabel->scaleFactor(), 1.0);
    } else {
        QVERIFY2(file.outcome != HostileFile::Outcome::Picture, qPrintable(box));
        QCOMPARE(box, viewer->viewerTitle() + QStringLiteral("|Cannot load ") + file.path +
                          QLatin1Char('.'));
        // The picture on display stays as it was.
        QCOMPARE(shown.size(), kGoodSize);
        QCOMPARE(viewer->imageLabel->scaleFactor(), scaleBefore);
    }
    QCOMPARE(corpus->snapshot(), snapshot);
    // The neighbours read ahead in the background leave nothing either, once read.
    QTRY_VERIFY_WITH_TIMEOUT(!viewer->arrival->readAhead()->isReading(), 30000);
    const QString left = leftBehind(privateTempDirectory());
    QVERIFY2(left.isEmpty(), qPrintable(left));

    // Still usable: a good picture loads and zooms.
    {
        ModalWatcher<QMessageBox> watcher([&box](QMessageBox *shown) {
            box = shown->text();
            shown->accept();
        });
        box.clear();
        viewer->loadFile(good);
        QTRY_VERIFY_WITH_TIMEOUT(!viewer->arrival->paneReader()->isReading(), 30000);
        QVERIFY2(box.isEmpty(), qPrintable(box));
    }
    QCOMPARE(viewer->imageLabel->image().size(), kGoodSize);
    QVERIFY(viewer->zoomInAction->isEnabled());
    viewer->zoomInAction->trigger();
    QCOMPARE(viewer->imageLabel->scaleFactor(), 1.25);
    QCOMPARE(viewer->imageLabel->size(), QSize(1000, 750));
}

QTEST_MAIN(ImageViewerTest)
#include "tst_windowhostile.moc"
