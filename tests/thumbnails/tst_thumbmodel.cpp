// SPDX-License-Identifier: GPL-3.0-or-later
#include "dngwriter.h"
#include "stdoutcapture.h"
#include "thumbfixtures.h"
#include "thumbmodel.h"
#include "thumbthread.h"

#include <QMimeData>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

QList<QPointer<ThumbThread>> workersOf(const ThumbModel &model)
{
    QList<QPointer<ThumbThread>> workers;
    for (ThumbThread *worker : model.findChildren<ThumbThread *>())
        workers.append(worker);
    return workers;
}

bool allRowsRendered(const ThumbModel &model)
{
    for (int row = 0; row < model.rowCount(); ++row) {
        if (model.data(model.index(row, 0)).typeId() != QMetaType::QImage)
            return false;
    }
    return true;
}

QColor centreColour(const QImage &image)
{
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

} // namespace

class TestThumbModel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void rolesOfAWaitingRow_data();
    void rolesOfAWaitingRow();
    void namesSharingAStemKeepTheirExtensions();
    void renderedRowHoldsItsThumbnail_data();
    void renderedRowHoldsItsThumbnail();
    void outOfRangeRowsGiveNothing_data();
    void outOfRangeRowsGiveNothing();
    void emptyListStillStartsAWorker();
    void supersededResultsNeverLand();
    void supersededWorkerIsReleased();
    void everyWorkerStopsWithTheModel_data();
    void everyWorkerStopsWithTheModel();

private:
    std::unique_ptr<QTemporaryDir> dir;
};

void TestThumbModel::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void TestThumbModel::cleanup()
{
    dir.reset();
}

void TestThumbModel::rolesOfAWaitingRow_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("expected");
    QTest::newRow("display says the file cannot be loaded")
        << int(Qt::DisplayRole) << QVariant(QStringLiteral("cannot load"));
    QTest::newRow("decoration holds the absolute path")
        << int(Qt::DecorationRole) << QVariant(QStringLiteral("%1/missing.png"));
    QTest::newRow("size hint is one cell") << int(Qt::SizeHintRole) << QVariant(QSize(80, 96));
    QTest::newRow("tool tip is the whole file name")
        << int(Qt::ToolTipRole) << QVariant(QStringLiteral("missing.png"));
    QTest::newRow("tool tip shows a name of markup as it is")
        << int(Qt::ToolTipRole) << QVariant(QStringLiteral("<p>&lt;img\u00a0src=x.png&gt;.png</p>"));
}

void TestThumbModel::rolesOfAWaitingRow()
{
    QFETCH(int, role);
    QFETCH(QVariant, expected);
    if (expected.typeId() == QMetaType::QString)
        expected = expected.toString().arg(dir->path());

    // A file that cannot be read loses its placeholder once its null thumbnail arrives.
    ThumbModel model;
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    const bool markup = QByteArray(QTest::currentDataTag()).contains("markup");
    model.setFileList({dir->filePath(markup ? QStringLiteral("<img src=x.png>.png")
                                            : QStringLiteral("missing.png"))});
    QTRY_COMPARE(changed.size(), 2);
    QCOMPARE(model.data(model.index(0, 0), role), expected);
}

void TestThumbModel::namesSharingAStemKeepTheirExtensions()
{
    ThumbModel model;
    model.setFileList({dir->filePath("IMG_3001.DNG"), dir->filePath("img_3001.jpg"),
                       dir->filePath("IMG_3002.JPG")});
    for (int row = 0; row < 3; ++row)
        QCOMPARE(model.index(row, 0).data(kKeepExtensionRole).toBool(), row < 2);
}

void TestThumbModel::renderedRowHoldsItsThumbnail_data()
{
    QTest::addColumn<bool>("arranged");
    QTest::newRow("in the list's order") << false;
    QTest::newRow("moved into another order before the thumbnails arrive") << true;
}

void TestThumbModel::renderedRowHoldsItsThumbnail()
{
    QFETCH(bool, arranged);
    QStringList files = {
        writePicture(dir->path(), QStringLiteral("a.png"), QSize(400, 300), Qt::blue),
        writePicture(dir->path(), QStringLiteral("b.png"), QSize(30, 60), Qt::green)};
    ThumbModel model;
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setFileList(files);
    if (arranged) {
        // The workers' results are queued: none has landed yet.
        std::swap(files[0], files[1]);
        model.arrange(files);
        QCOMPARE(model.fileList(), files);
    }
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.rowCount(model.index(1, 0)), 2);
    QCOMPARE(model.columnCount(model.index(0, 0)), 1);
    QTRY_VERIFY(allRowsRendered(model));

    const QImage first = model.data(model.index(arranged ? 1 : 0, 0)).value<QImage>();
    const QImage second = model.data(model.index(arranged ? 0 : 1, 0)).value<QImage>();
    QCOMPARE(first.size(), QSize(80, 60));
    QCOMPARE(centreColour(first), QColor(Qt::blue));
    QCOMPARE(second.size(), QSize(40, 80));
    QCOMPARE(centreColour(second), QColor(Qt::green));
    QCOMPARE(model.data(model.index(1, 0), Qt::SizeHintRole).toSize(), QSize(80, 96));
    // One change for the new list, then one for each cell, each naming only that cell.
    QCOMPARE(changed.size(), 3);
    for (int i = 1; i < 3; ++i)
        QCOMPARE(changed.at(i).at(0), changed.at(i).at(1));

    // Dragged out, the rows are their files, which another program may copy but never move.
    const std::unique_ptr<QMimeData> dragged(
        model.mimeData({model.index(1, 0), model.index(0, 0)}));
    QCOMPARE(dragged->urls(),
             QList<QUrl>({QUrl::fromLocalFile(files.at(1)), QUrl::fromLocalFile(files.at(0))}));
    QCOMPARE(model.supportedDragActions(), Qt::CopyAction);
}

void TestThumbModel::outOfRangeRowsGiveNothing_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("row");
    QTest::newRow("row equal to the count") << 2 << 2;
    QTest::newRow("negative row") << 2 << -1;
    QTest::newRow("any row of an empty list") << 0 << 0;
}

void TestThumbModel::outOfRangeRowsGiveNothing()
{
    QFETCH(int, files);
    QFETCH(int, row);
    QStringList paths;
    for (int i = 0; i < files; ++i)
        paths << dir->filePath(QStringLiteral("missing%1.png").arg(i));
    ThumbModel model;
    model.setFileList(paths);

    QCOMPARE(model.filePath(row), QString());
    for (int role : {Qt::DisplayRole, Qt::DecorationRole, Qt::SizeHintRole})
        QVERIFY(!model.data(model.index(row, 0), role).isValid());
}

void TestThumbModel::emptyListStillStartsAWorker()
{
    ThumbModel model;
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setFileList({});

    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(changed.size(), 1);
    QVERIFY(!changed.at(0).at(0).toModelIndex().isValid());
    QVERIFY(!changed.at(0).at(1).toModelIndex().isValid());
    const QList<QPointer<ThumbThread>> workers = workersOf(model);
    QCOMPARE(workers.size(), 1);
    QTRY_VERIFY(workers.at(0)->isFinished());
}

void TestThumbModel::supersededResultsNeverLand()
{
    StdoutCapture diagnostics;
    QTemporaryDir other;
    QTemporaryDir bin;
    const QString release = bin.filePath(QStringLiteral("release"));
    // The new worker's first load waits for the test, so whatever reaches the model until then
    // comes from the old worker.
    const FakeDecoder decoder(bin.path(), "while [ ! -e '" + QFile::encodeName(release) +
                                              "' ]; do sleep 0.01; done\nexit 1");
    QVERIFY(decoder.isReady());
    QStringList first;
    for (int i = 0; i < 6; ++i)
        first << writePicture(dir->path(), QStringLiteral("p%1.png").arg(i), QSize(8, 8), Qt::red);
    const QString held = other.filePath(QStringLiteral("p0.dng"));
    QVERIFY(writeDng(held));
    const QStringList second = {
        held, writePicture(other.path(), QStringLiteral("p1.png"), QSize(8, 8), Qt::cyan)};

    ThumbModel model;
    model.setFileList(first);
    // Without an event loop every result of the first workers is still queued, rows beyond the
    // second list included, when the second list replaces it.
    for (const QPointer<ThumbThread> &worker : workersOf(model))
        worker->wait();
    model.setFileList(second);
    QCoreApplication::processEvents();
    QCOMPARE(model.data(model.index(0, 0)), QVariant(QStringLiteral("loading...")));
    // Another of the new workers may have rendered the second row already, never in red.
    const QVariant early = model.data(model.index(1, 0));
    if (early.typeId() == QMetaType::QImage)
        QCOMPARE(centreColour(early.value<QImage>()), QColor(Qt::cyan));
    else
        QCOMPARE(early, QVariant(QStringLiteral("loading...")));

    QVERIFY(QFile(release).open(QIODevice::WriteOnly));
    QTRY_VERIFY_WITH_TIMEOUT(model.data(model.index(1, 0)).typeId() == QMetaType::QImage, 30000);
    QCOMPARE(centreColour(model.data(model.index(1, 0)).value<QImage>()), QColor(Qt::cyan));
}

void TestThumbModel::supersededWorkerIsReleased()
{
    const QString path = writePicture(dir->path(), QStringLiteral("a.png"), QSize(8, 8));
    ThumbModel model;
    model.setFileList({path, path, path});
    const QList<QPointer<ThumbThread>> first = workersOf(model);
    model.setFileList({path});
    QTRY_VERIFY(std::all_of(first.begin(), first.end(),
                            [](const QPointer<ThumbThread> &worker) { return worker.isNull(); }));
    QCOMPARE(workersOf(model).size(), 1);
}

void TestThumbModel::everyWorkerStopsWithTheModel_data()
{
    QTest::addColumn<bool>("quit");
    QTest::newRow("model destroyed while rendering") << false;
    QTest::newRow("application quits while rendering") << true;
}

void TestThumbModel::everyWorkerStopsWithTheModel()
{
    QFETCH(bool, quit);
    QStringList files;
    for (int i = 0; i < 40; ++i)
        files << writePicture(dir->path(), QStringLiteral("p%1.png").arg(i), QSize(600, 400));

    auto model = std::make_unique<ThumbModel>();
    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    model->setFileList(files);
    model->setFileList(files);
    QTRY_VERIFY(changed.size() > 2);
    const QList<QPointer<ThumbThread>> workers = workersOf(*model);
    QVERIFY(!workers.isEmpty());

    if (quit) {
        QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
        QCoreApplication::exec();
    } else {
        model.reset();
    }
    for (const QPointer<ThumbThread> &worker : workers)
        QVERIFY(worker.isNull());
}

QTEST_MAIN(TestThumbModel)
#include "tst_thumbmodel.moc"
