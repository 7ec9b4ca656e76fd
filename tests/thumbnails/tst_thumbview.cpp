// SPDX-License-Identifier: GPL-3.0-or-later
#include "dngwriter.h"
#include "orientedjpeg.h"
#include "formats.h"
#include "stdoutcapture.h"
#include "thumbdelegate.h"
#include "thumbfixtures.h"
#include "thumbthread.h"
#include "thumbview.h"

#include <QFileInfo>
#include <QHash>
#include <QPointer>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

#include <memory>

namespace {

using Workers = QList<QPointer<ThumbThread>>;

void collectWorkers(const ThumbView &view, Workers &workers)
{
    for (ThumbThread *worker : view.model()->findChildren<ThumbThread *>()) {
        if (!workers.contains(worker))
            workers.append(worker);
    }
}

int liveCount(const Workers &workers)
{
    return int(std::count_if(workers.begin(), workers.end(),
                             [](const QPointer<ThumbThread> &worker) { return !worker.isNull(); }));
}

bool allRowsRendered(const ThumbView &view)
{
    const QAbstractItemModel *model = view.model();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (model->index(row, 0).data().typeId() != QMetaType::QImage)
            return false;
    }
    return true;
}

QStringList listedNames(const ThumbView &view)
{
    QStringList names;
    for (int row = 0; row < view.model()->rowCount(); ++row)
        names << QFileInfo(view.filePath(row)).fileName();
    return names;
}

} // namespace

class TestThumbView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void filtersPutQtFormatsBeforeRawExtensions();
    void listsPicturesByName_data();
    void listsPicturesByName();
    void unreadableFileIsNotListed();
    void filePathOutsideTheListIsEmpty_data();
    void filePathOutsideTheListIsEmpty();
    void switchingFoldersKeepsEveryThumbnailWithItsFile();
    void destroyingTheViewStopsItsWorkers();
    void rowsInViewComeFirst();
    void thumbnailFillsItsSquarePixelForPixel();
    void neighbourFollowsTheGridsListing_data();
    void neighbourFollowsTheGridsListing();
    void everyNeighbourIsTheNextCellOfTheGrid();
    void currentFileBecomesTheCurrentCell();
    void dateTakenShowsNoOrderBetweenTheOldAndTheFinal();
    void hoveringACellShowsItsWholeName();

private:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QTemporaryDir> bin;
    std::unique_ptr<FakeDecoder> decoder;
    std::unique_ptr<StdoutCapture> diagnostics;
};

void TestThumbView::init()
{
    dir = std::make_unique<QTemporaryDir>();
    bin = std::make_unique<QTemporaryDir>();
    // Raw files in a listing are rendered too; a decoder that fails at once keeps that quick
    // and independent of what is installed.
    decoder = std::make_unique<FakeDecoder>(bin->path(), "exit 1");
    diagnostics = std::make_unique<StdoutCapture>();
    QVERIFY(dir->isValid() && decoder->isReady());
}

void TestThumbView::cleanup()
{
    diagnostics.reset();
    decoder.reset();
    bin.reset();
    dir.reset();
}

void TestThumbView::filtersPutQtFormatsBeforeRawExtensions()
{
    const QStringList formats = supportedFormats();
    const QStringList raws = rawExtensions();
    const QStringList filters = pictureNameFilters();
    QCOMPARE(filters.size(), formats.size() + raws.size());
    for (int i = 0; i < formats.size(); ++i)
        QCOMPARE(filters.at(i), QStringLiteral("*.") + formats.at(i));
    for (int i = 0; i < raws.size(); ++i)
        QCOMPARE(filters.at(formats.size() + i), QStringLiteral("*.") + raws.at(i));
}

void TestThumbView::listsPicturesByName_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("pictures only, not text or folders")
        << QStringList{"c.txt", "b.png", "A.JPG"} << QStringList{"d.jpg"}
        << QStringList{"A.JPG", "b.png"};
    QTest::newRow("raw extension in capitals") << QStringList{"x.CR2", "a.png", "notes.cr2.txt"}
                                               << QStringList{} << QStringList{"a.png", "x.CR2"};
    QTest::newRow("name order ignores case")
        << QStringList{"b.png", "C.png", "a.PNG", "B2.jpg"} << QStringList{}
        << QStringList{"a.PNG", "b.png", "B2.jpg", "C.png"};
    QTest::newRow("hidden files left out") << QStringList{".hidden.png", "shown.png"}
                                           << QStringList{".cache.jpg"} << QStringList{"shown.png"};
    QTest::newRow("empty folder") << QStringList{} << QStringList{} << QStringList{};
}

void TestThumbView::listsPicturesByName()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, folders);
    QFETCH(QStringList, listed);
    for (const QString &name : files) {
        const bool raw = name.endsWith(QStringLiteral(".CR2"));
        const bool made = raw ? writeDng(dir->filePath(name))
                              : !writePicture(dir->path(), name, QSize(4, 4)).isEmpty();
        QVERIFY2(made, qPrintable(name));
    }
    for (const QString &name : folders)
        QVERIFY(QDir(dir->path()).mkdir(name));

    ThumbView view;
    view.setDirectory(dir->path());
    QCOMPARE(listedNames(view), listed);
    for (int row = 0; row < listed.size(); ++row)
        QCOMPARE(view.filePath(row), dir->filePath(listed.at(row)));
    QCOMPARE(view.gridSize(), QSize(80, 96));
}

void TestThumbView::unreadableFileIsNotListed()
{
    writePicture(dir->path(), QStringLiteral("a.png"), QSize(4, 4));
    const QString locked = writePicture(dir->path(), QStringLiteral("b.png"), QSize(4, 4));
    QVERIFY(QFile::setPermissions(locked, QFile::WriteOwner));
    if (QFileInfo(locked).isReadable())
        QSKIP("this user reads files whatever their permissions say");

    ThumbView view;
    view.setDirectory(dir->path());
    QCOMPARE(listedNames(view), QStringList{"a.png"});
}

void TestThumbView::filePathOutsideTheListIsEmpty_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<int>("row");
    QTest::newRow("row equal to the count") << 2 << 2;
    QTest::newRow("negative row") << 2 << -1;
    QTest::newRow("before any folder") << -1 << 0;
}

void TestThumbView::filePathOutsideTheListIsEmpty()
{
    QFETCH(int, files);
    QFETCH(int, row);
    for (int i = 0; i < files; ++i)
        writePicture(dir->path(), QStringLiteral("p%1.png").arg(i), QSize(4, 4));
    ThumbView view;
    if (files >= 0)
        view.setDirectory(dir->path());
    QCOMPARE(view.filePath(row), QString());
}

void TestThumbView::switchingFoldersKeepsEveryThumbnailWithItsFile()
{
    // Three folders with files of the same names but a colour of their own each, so a thumbnail
    // that lands under the wrong file shows.
    const QList<int> sizes = {12, 7, 10};
    QStringList folders;
    QHash<QString, QColor> colours;
    int hue = 0;
    for (int f = 0; f < sizes.size(); ++f) {
        const QString folder = dir->filePath(QStringLiteral("f%1").arg(f));
        QVERIFY(QDir().mkpath(folder));
        folders << folder;
        for (int i = 0; i < sizes.at(f); ++i) {
            const QColor colour = QColor::fromHsv(hue, 255, 255);
            hue += 12;
            const QString path =
                writePicture(folder, QStringLiteral("p%1.png").arg(i, 2, 10, QLatin1Char('0')),
                             QSize(160, 120), colour);
            QVERIFY(!path.isEmpty());
            colours.insert(path, colour);
        }
    }

    auto view = std::make_unique<ThumbView>();
    view->resize(300, 300);
    view->show();
    // Every thumbnail is checked as it lands, not only once the last folder is complete.
    QStringList strays;
    connect(view->model(), &QAbstractItemModel::dataChanged,
            [&](const QModelIndex &cell, const QModelIndex &) {
                const QImage thumbnail = cell.data().value<QImage>();
                const QString path = view->filePath(cell.row());
                if (!thumbnail.isNull() &&
                    thumbnail.pixelColor(40, 30).rgb() != colours.value(path).rgb())
                    strays << path;
            });
    Workers workers;
    const int switches = 300;
    for (int i = 0; i < switches; ++i) {
        view->setDirectory(folders.at(i % folders.size()));
        collectWorkers(*view, workers);
        QCoreApplication::processEvents();
    }
    const int last = (switches - 1) % folders.size();
    QCOMPARE(view->model()->rowCount(), sizes.at(last));
    QTRY_VERIFY_WITH_TIMEOUT(allRowsRendered(*view), 30000);
    QTRY_COMPARE(liveCount(workers), qMin(QThread::idealThreadCount(), sizes.at(last)));
    QCOMPARE(strays, QStringList());

    for (int row = 0; row < view->model()->rowCount(); ++row) {
        const QImage thumbnail = view->model()->index(row, 0).data().value<QImage>();
        QCOMPARE(thumbnail.size(), QSize(80, 60));
        QCOMPARE(thumbnail.pixelColor(40, 30).rgb(), colours.value(view->filePath(row)).rgb());
    }
    view.reset();
    QCOMPARE(liveCount(workers), 0);
}

void TestThumbView::destroyingTheViewStopsItsWorkers()
{
    for (int i = 0; i < 30; ++i)
        writePicture(dir->path(), QStringLiteral("p%1.png").arg(i), QSize(800, 600));
    auto view = std::make_unique<ThumbView>();
    view->show();
    Workers workers;
    view->setDirectory(dir->path());
    collectWorkers(*view, workers);
    view->setDirectory(dir->path());
    collectWorkers(*view, workers);
    QTRY_VERIFY(view->model()->index(0, 0).data().typeId() == QMetaType::QImage);

    view.reset();
    QCOMPARE(liveCount(workers), 0);
    QCoreApplication::processEvents();
}

void TestThumbView::rowsInViewComeFirst()
{
    // Every decode waits for the test, so that the workers have taken no more than a row each
    // when the grid jumps to its end.
    QTemporaryDir slowBin;
    const QString release = slowBin.filePath(QStringLiteral("release"));
    const FakeDecoder slow(slowBin.path(), "while [ ! -e '" + QFile::encodeName(release) +
                                               "' ]; do sleep 0.01; done\nexit 1");
    QVERIFY(slow.isReady());
    const int count = 120;
    for (int i = 0; i < count; ++i)
        QVERIFY(writeDng(dir->filePath(QStringLiteral("p%1.dng").arg(i, 3, 10, QLatin1Char('0')))));
    ThumbView view;
    view.resize(200, 150);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QList<int> order;
    connect(view.model(), &QAbstractItemModel::dataChanged,
            [&](const QModelIndex &cell, const QModelIndex &last) {
                if (cell == last)
                    order << cell.row();
            });
    view.setDirectory(dir->path());
    QCoreApplication::processEvents();
    view.scrollToBottom();
    QCoreApplication::processEvents();
    QList<int> shown;
    for (int row = 0; row < count; ++row) {
        if (view.visualRect(view.model()->index(row, 0)).intersects(view.viewport()->rect()))
            shown << row;
    }
    QVERIFY(!shown.isEmpty() && shown.last() == count - 1);
    QVERIFY(QFile(release).open(QIODevice::WriteOnly));
    QTRY_COMPARE_WITH_TIMEOUT(order.size(), count, 60000);

    // Rows taken before the jump, and a screen's worth around the view, may come in between.
    int lastShown = 0;
    for (int row : shown)
        lastShown = qMax(lastShown, int(order.indexOf(row)));
    for (int row = QThread::idealThreadCount(); row < shown.first() - 2 * shown.size(); ++row)
        QVERIFY2(order.indexOf(row) > lastShown, qPrintable(QString::number(row)));
}

void TestThumbView::thumbnailFillsItsSquarePixelForPixel()
{
    // Run at the screen's ratio and again at QT_SCALE_FACTOR=2 (CMakeLists.txt).
    const qreal ratio = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                            ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
                            : 1.0;
    // Stripes two pixels wide: every device pixel of the thumbnail differs from its neighbour
    // at a ratio of 2, so a thumbnail enlarged or shifted on its way to the screen shows.
    QImage stripes(320, 240, QImage::Format_RGB32);
    for (int x = 0; x < stripes.width(); ++x)
        for (int y = 0; y < stripes.height(); ++y)
            stripes.setPixel(x, y, x / 2 % 2 ? qRgb(250, 250, 250) : qRgb(10, 10, 10));
    QVERIFY(stripes.save(dir->filePath(QStringLiteral("stripes.png"))));
    ThumbView view;
    view.resize(300, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setDirectory(dir->path());
    QTRY_VERIFY(allRowsRendered(view));
    QCOMPARE(view.devicePixelRatioF(), ratio);

    QImage thumbnail = view.model()->index(0, 0).data().value<QImage>();
    QCOMPARE(thumbnail.size(), QSize(80, 60) * ratio);
    const QRect cell = view.visualRect(view.model()->index(0, 0));
    const QRect square = thumbnailRect(QRect(QPoint(0, 0), cell.size()), QSize(80, 60));
    QImage shown = view.viewport()->grab(cell).toImage().copy(
        QRect(square.topLeft() * ratio, square.size() * ratio));
    shown.setDevicePixelRatio(ratio);
    QCOMPARE(shown.convertToFormat(QImage::Format_RGB32),
             thumbnail.convertToFormat(QImage::Format_RGB32));
}

void TestThumbView::neighbourFollowsTheGridsListing_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QString>("expected");
    const QStringList three{"a.png", "b.png", "c.png"};
    QTest::newRow("next of the first") << three << "a.png" << 1 << "b.png";
    QTest::newRow("previous of the last") << three << "c.png" << -1 << "b.png";
    QTest::newRow("nothing before the first") << three << "a.png" << -1 << "";
    QTest::newRow("nothing after the last: no wrap-around") << three << "c.png" << 1 << "";
    QTest::newRow("files that are no pictures are passed over")
        << QStringList{"a.png", "b.txt", "c.png"} << "a.png" << 1 << "c.png";
    QTest::newRow("hidden pictures are passed over")
        << QStringList{"a.png", ".b.png", "c.png"} << "c.png" << -1 << "a.png";
    QTest::newRow("name order ignores case")
        << QStringList{"a.png", "B.png", "c.png"} << "a.png" << 1 << "B.png";
    QTest::newRow("a raw file among the others")
        << QStringList{"a.png", "b.CR2", "c.png"} << "c.png" << -1 << "b.CR2";
    QTest::newRow("a file gone since counts from its name, forwards")
        << QStringList{"a.png", "c.png"} << "b.png" << 1 << "c.png";
    QTest::newRow("a file gone since counts from its name, backwards")
        << QStringList{"a.png", "c.png"} << "b.png" << -1 << "a.png";
    QTest::newRow("a folder that now holds the file alone") << QStringList{"a.png"} << "a.png" << 1
                                                             << "";
    QTest::newRow("a hidden picture opened all the same")
        << QStringList{"a.png", ".b.png", "c.png"} << ".b.png" << 1 << "a.png";
}

void TestThumbView::neighbourFollowsTheGridsListing()
{
    QFETCH(QStringList, files);
    QFETCH(QString, from);
    QFETCH(int, offset);
    QFETCH(QString, expected);
    for (const QString &name : files) {
        const bool made = name.endsWith(QStringLiteral(".CR2"))
                              ? writeDng(dir->filePath(name))
                              : !writePicture(dir->path(), name, QSize(4, 4)).isEmpty();
        QVERIFY2(made, qPrintable(name));
    }
    QCOMPARE(neighbourPicture(dir->filePath(from), offset),
             expected.isEmpty() ? QString() : dir->filePath(expected));
}

void TestThumbView::everyNeighbourIsTheNextCellOfTheGrid()
{
    for (const QString &name :
         QStringList{"b.jpg", "A.png", "c.tif", "d.txt", "_e.png", "e.CR2", "f g.png"}) {
        const bool made = name == QStringLiteral("e.CR2") ? writeDng(dir->filePath(name))
                                                         : !writePicture(dir->path(), name,
                                                                         QSize(4, 4))
                                                                .isEmpty();
        QVERIFY(made);
    }
    ThumbView view;
    view.setDirectory(dir->path());
    const int rows = view.model()->rowCount();
    QCOMPARE(rows, 6);
    for (int row = 0; row < rows; ++row) {
        QCOMPARE(neighbourPicture(view.filePath(row), 1), view.filePath(row + 1));
        QCOMPARE(neighbourPicture(view.filePath(row), -1), view.filePath(row - 1));
    }
}

void TestThumbView::currentFileBecomesTheCurrentCell()
{
    for (int i = 0; i < 60; ++i)
        writePicture(dir->path(), QStringLiteral("p%1.png").arg(i, 2, 10, QLatin1Char('0')),
                     QSize(4, 4));
    ThumbView view;
    view.resize(200, 150);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setDirectory(dir->path());

    view.setCurrentFile(dir->filePath(QStringLiteral("p57.png")));
    QCOMPARE(view.currentIndex().row(), 57);
    QVERIFY(view.selectionModel()->isSelected(view.currentIndex()));
    // Scrolled into view, far down a grid two cells wide.
    QVERIFY(view.viewport()->rect().contains(view.visualRect(view.currentIndex())));

    view.setCurrentFile(dir->filePath(QStringLiteral("elsewhere.png")));
    QCOMPARE(view.currentIndex().row(), 57);
}

void TestThumbView::dateTakenShowsNoOrderBetweenTheOldAndTheFinal()
{
    // By name abc, by modification cab, by the date taken bca.
    const QList<std::tuple<QString, QByteArray, int>> pictures{
        {"a.jpg", "2021:03:03 10:00:00", 2}, {"b.jpg", "2021:01:01 10:00:00", 3},
        {"c.jpg", "2021:02:02 10:00:00", 1}};
    for (const auto &[name, taken, day] : pictures) {
        QVERIFY(writeExifJpeg(dir->filePath(name), QImage(8, 8, QImage::Format_RGB32),
                              {{"Exif.Photo.DateTimeOriginal", taken}}));
        QFile file(dir->filePath(name));
        QVERIFY(file.open(QIODevice::ReadWrite) &&
                file.setFileTime(QDateTime(QDate(2020, 1, day), QTime()),
                                 QFileDevice::FileModificationTime));
    }
    ThumbView view;
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setDirectory(dir->path());
    view.setCurrentFile(dir->filePath("a.jpg"));
    QStringList seen;
    connect(view.model(), &QAbstractItemModel::layoutChanged, this,
            [&] { seen << listedNames(view).join(' '); });
    QSignalSpy sorting(&view, &ThumbView::sortingChanged);

    view.setOrder({PictureOrder::DateTaken, false});
    QCOMPARE(view.order(), PictureOrder());
    QTRY_COMPARE(sorting.size(), 2);
    QVERIFY(sorting.at(0).at(0).toBool() && !sorting.at(1).at(0).toBool());
    QCOMPARE(seen, QStringList{"b.jpg c.jpg a.jpg"});
    QCOMPARE(view.currentIndex().row(), 2);
}

void TestThumbView::hoveringACellShowsItsWholeName()
{
    const QString name = QStringLiteral("a_long_holiday_picture_name.png");
    writePicture(dir->path(), name, QSize(40, 30));
    ThumbView view;
    view.resize(300, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    view.setDirectory(dir->path());
    const QRect cell = view.visualRect(view.model()->index(0, 0));
    QVERIFY(cell.isValid());

    QHelpEvent help(QEvent::ToolTip, cell.center(), view.viewport()->mapToGlobal(cell.center()));
    QCoreApplication::sendEvent(view.viewport(), &help);
    QTRY_VERIFY(QToolTip::isVisible());
    QCOMPARE(QToolTip::text(), name);
    QToolTip::hideText();
}

QTEST_MAIN(TestThumbView)
#include "tst_thumbview.moc"
