// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoderpool.h"
#include "environmentguard.h"
#include "loader.h"
#include "processes.h"
#include "thumbthread.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestSandbox : public QObject
{
    Q_OBJECT

private slots:
    void filterHolds_data();
    void filterHolds();
    void failingDecoder_data();
    void failingDecoder();
    void decoderEndsWithTheViewer();
};

void TestSandbox::filterHolds_data()
{
    QTest::addColumn<QString>("attempt");
    QTest::addColumn<bool>("killed");
    QTest::newRow("opening a file") << "open" << true;
    QTest::newRow("creating a socket") << "socket" << true;
    QTest::newRow("running a program") << "exec" << true;
    QTest::newRow("nothing forbidden") << "nothing" << false;
}

void TestSandbox::filterHolds()
{
    QFETCH(QString, attempt);
    QFETCH(bool, killed);
    QProcess decoder;
    decoder.start(DecoderClient::program(), {QStringLiteral("--try-forbidden"), attempt});
    QVERIFY(decoder.waitForFinished(30000));
    QCOMPARE(decoder.exitStatus(), killed ? QProcess::CrashExit : QProcess::NormalExit);
    QCOMPARE(decoder.exitCode(), killed ? SIGSYS : 0);
    // The kernel took the filter: no word of refusal.
    QCOMPARE(decoder.readAllStandardError(), QByteArray());
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
    for (const char *name : {"a.png", "b.png", "c.png"}) {
        pictures.append(dir.filePath(QLatin1String(name)));
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(Qt::darkGreen);
        QVERIFY(picture.save(pictures.last()));
    }
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

// A viewer killed while its decoder waits leaves no decoder behind.
void TestSandbox::decoderEndsWithTheViewer()
{
    DecoderPool::endIdle();
    QTemporaryDir dir;
    const QString picture = dir.filePath(QStringLiteral("a.png"));
    QImage(20, 20, QImage::Format_RGB32).save(picture);
    QProcess viewer;
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
