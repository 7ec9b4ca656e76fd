#include "dngwriter.h"
#include "stdoutcapture.h"
#include "thumbfixtures.h"
#include "thumbthread.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Rendered
{
    int row;
    QImage image;
};

// Runs one worker over files to its end and returns what it emitted, in order.
QList<Rendered> renderAll(ThumbThread &worker, const QStringList &files)
{
    QSignalSpy rendered(&worker, &ThumbThread::renderedImage);
    worker.render(files);
    // The spy records from the worker's thread, so waiting for the thread itself is enough; a
    // spy on finished() could miss a worker that ends before the wait begins.
    if (!worker.wait(QDeadlineTimer(60000)))
        return {};
    QList<Rendered> results;
    for (const QList<QVariant> &arguments : rendered)
        results.append({arguments.at(1).toInt(), arguments.at(0).value<QImage>()});
    return results;
}

} // namespace

class TestThumbThread : public QObject
{
    Q_OBJECT

private slots:
    void scalesToFitTheSquare_data();
    void scalesToFitTheSquare();
    void unreadableFileGivesNullImageAtItsRow_data();
    void unreadableFileGivesNullImageAtItsRow();
    void emptyListEmitsNothing();
    void stopBeforeStartEmitsNothing();
    void stopDuringLoadEmitsNothingMore();
    void stopEndsTheDecoderAtOnce();
};

void TestThumbThread::scalesToFitTheSquare_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("thumbnail");
    QTest::newRow("large landscape is reduced") << QSize(4000, 3000) << QSize(80, 60);
    QTest::newRow("portrait is reduced to full height") << QSize(600, 800) << QSize(60, 80);
    QTest::newRow("small picture is enlarged") << QSize(20, 10) << QSize(80, 40);
    QTest::newRow("square fills the square") << QSize(81, 81) << QSize(80, 80);
}

void TestThumbThread::scalesToFitTheSquare()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, thumbnail);
    QTemporaryDir dir;
    const QString path = writePicture(dir.path(), QStringLiteral("p.png"), picture);
    QVERIFY(!path.isEmpty());

    ThumbThread worker;
    const QList<Rendered> results = renderAll(worker, {path});
    QCOMPARE(results.size(), 1);
    QCOMPARE(results.at(0).row, 0);
    QCOMPARE(results.at(0).image.size(), thumbnail);
}

void TestThumbThread::unreadableFileGivesNullImageAtItsRow_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("create");
    QTest::newRow("missing file") << QStringLiteral("gone.png") << false;
    QTest::newRow("text named like a JPEG") << QStringLiteral("text.jpg") << true;
}

void TestThumbThread::unreadableFileGivesNullImageAtItsRow()
{
    QFETCH(QString, name);
    QFETCH(bool, create);
    QTemporaryDir dir;
    const QString bad = create ? writeJunk(dir.path(), name) : dir.filePath(name);
    const QStringList files = {writePicture(dir.path(), QStringLiteral("a.png"), QSize(40, 40)),
                               bad,
                               writePicture(dir.path(), QStringLiteral("c.png"), QSize(40, 20))};

    ThumbThread worker;
    const QList<Rendered> results = renderAll(worker, files);
    QCOMPARE(results.size(), 3);
    for (int row = 0; row < 3; ++row)
        QCOMPARE(results.at(row).row, row);
    QCOMPARE(results.at(0).image.size(), QSize(80, 80));
    QVERIFY(results.at(1).image.isNull());
    QCOMPARE(results.at(2).image.size(), QSize(80, 40));
}

void TestThumbThread::emptyListEmitsNothing()
{
    ThumbThread worker;
    QSignalSpy finished(&worker, &QThread::finished);
    QVERIFY(renderAll(worker, {}).isEmpty());
    QCOMPARE(finished.size(), 1);
}

void TestThumbThread::stopBeforeStartEmitsNothing()
{
    QTemporaryDir dir;
    const QString path = writePicture(dir.path(), QStringLiteral("a.png"), QSize(10, 10));
    ThumbThread worker;
    QSignalSpy finished(&worker, &QThread::finished);
    worker.stop();
    QVERIFY(renderAll(worker, {path, path}).isEmpty());
    QCOMPARE(finished.size(), 1);
}

void TestThumbThread::stopDuringLoadEmitsNothingMore()
{
    StdoutCapture diagnostics;
    QTemporaryDir dir;
    QTemporaryDir bin;
    const QString started = dir.filePath(QStringLiteral("started"));
    const QString release = dir.filePath(QStringLiteral("release"));
    // The decoder holds the first load until the test lets it go, then fails.
    const FakeDecoder decoder(bin.path(), "touch '" + QFile::encodeName(started) +
                                              "'\nwhile [ ! -e '" + QFile::encodeName(release) +
                                              "' ]; do sleep 0.01; done\nexit 1");
    QVERIFY(decoder.isReady());
    const QString raw = dir.filePath(QStringLiteral("held.dng"));
    QVERIFY(writeDng(raw));
    const QString picture = writePicture(dir.path(), QStringLiteral("b.png"), QSize(10, 10));

    ThumbThread worker;
    QSignalSpy rendered(&worker, &ThumbThread::renderedImage);
    worker.render({raw, picture, picture});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(started), 30000);
    worker.stop();
    QVERIFY(QFile(release).open(QIODevice::WriteOnly));
    QVERIFY(worker.wait(QDeadlineTimer(60000)));
    QCOMPARE(rendered.size(), 0);
    QCOMPARE(childProcesses(), QList<qint64>());
}

void TestThumbThread::stopEndsTheDecoderAtOnce()
{
    StdoutCapture diagnostics;
    QTemporaryDir dir;
    QTemporaryDir bin;
    const QString pidFile = dir.filePath(QStringLiteral("pid"));
    // A conversion that would take a minute: quitting must not wait for it.
    const FakeDecoder decoder(bin.path(),
                              "echo $$ > '" + QFile::encodeName(pidFile) + "'\nexec sleep 60");
    QVERIFY(decoder.isReady());
    const QString raw = dir.filePath(QStringLiteral("slow.dng"));
    QVERIFY(writeDng(raw));

    ThumbThread worker;
    QSignalSpy rendered(&worker, &ThumbThread::renderedImage);
    worker.render({raw, raw});
    QTRY_VERIFY_WITH_TIMEOUT(QFile(pidFile).size() > 0, 30000);
    QFile file(pidFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const qint64 pid = file.readAll().trimmed().toLongLong();
    worker.stop();
    QVERIFY(worker.wait(QDeadlineTimer(10000)));
    QCOMPARE(rendered.size(), 0);
    QVERIFY(!processRunning(pid));
    QCOMPARE(childProcesses(), QList<qint64>());
}

QTEST_GUILESS_MAIN(TestThumbThread)
#include "tst_thumbthread.moc"
