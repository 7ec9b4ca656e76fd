// SPDX-License-Identifier: GPL-3.0-or-later
#include "command.h"

#include "processes.h"
#include "stdoutcapture.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <memory>

#include <sys/resource.h>
#include <unistd.h>

class TestCommand : public QObject
{
    Q_OBJECT

private slots:
    void exitCodeAndOutput_data();
    void exitCodeAndOutput();
    void missingProgram();
    void confinementFailsClosed();
    void confinedCommandHoldsLittle_data();
    void confinedCommandHoldsLittle();
    void childEnvironment_data();
    void childEnvironment();
    void nothingLeftRunning_data();
    void nothingLeftRunning();
    void endedWhenTheThreadIsToStop();
    void linesFromThreadsStayWhole();
};

namespace {

QStringList shell(const QString &text)
{
    return {QStringLiteral("-c"), text};
}

// The interpreter's child must not outlive the call; each test ends with none left.
bool noChildLeft()
{
    return childProcesses().isEmpty();
}

} // namespace

void TestCommand::exitCodeAndOutput_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("printed");

    QTest::newRow("success is silent") << "echo chatter; echo more >&2" << 0 << QByteArray();
    QTest::newRow("failure text from standard error")
        << "printf 'cannot decode' >&2; exit 1" << 1 << QByteArray("cannot decode\n");
    QTest::newRow("both channels in one stream")
        << "printf 'out '; printf 'err' >&2; exit 2" << 2 << QByteArray("out err\n");
    QTest::newRow("output cut at the first NUL")
        << "printf 'before\\000after'; exit 3" << 3 << QByteArray("before\n");
    QTest::newRow("failure without output") << "exit 4" << 4 << QByteArray("\n");
    QTest::newRow("a crash is no success") << "kill -9 $$" << 9 << QByteArray("\n");
}

void TestCommand::exitCodeAndOutput()
{
    QFETCH(QString, command);
    QFETCH(int, code);
    QFETCH(QByteArray, printed);
    StdoutCapture capture;
    QCOMPARE(runCommand(shell(command)), code);
    QCOMPARE(capture.text(), printed);
    QVERIFY(noChildLeft());
}

void TestCommand::missingProgram()
{
    StdoutCapture capture;
    const int code = runCommand(shell(QStringLiteral("velmora-no-such-decoder -e x.nef")));
    QVERIFY(code != 0 && code != -1);
    QVERIFY2(capture.text().contains("not found"), capture.text().constData());
    QVERIFY(noChildLeft());
}

// A wall that cannot be raised (no folder to confine to) stops the command; the launcher says why.
void TestCommand::confinementFailsClosed()
{
    QTemporaryDir dir;
    const QString ran = dir.filePath(QStringLiteral("ran"));
    StdoutCapture capture;
    QVERIFY(runConfinedCommand(dir.filePath(QStringLiteral("gone")), QStringLiteral("dcraw"),
                               shell(QStringLiteral("touch '%1'").arg(ran))) > 0);
    QVERIFY(!QFile::exists(ran) && capture.text().contains("nothing was run"));
    QVERIFY(noChildLeft());
}

void TestCommand::confinedCommandHoldsLittle_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("code");
    // The interpreter gives up with 2 when it cannot start a process.
    QTest::newRow("a flood of processes stops at the limit")
        << "i=0; while [ $i -lt 300 ]; do sleep 30 & i=$((i+1)); done; exit 0" << 2;
#ifdef __x86_64__
    // memfd_create is call 319: memory that no limit of the process counts.
    QTest::newRow("no memory file can be made")
        << "perl -e 'my $name = \"x\"; exit(syscall(319, $name, 0) < 0 ? 3 : 0)'" << 3;
#endif
}

void TestCommand::confinedCommandHoldsLittle()
{
    QFETCH(QString, command);
    QFETCH(int, code);
    if (code == 2 && ::geteuid() == 0)
        QSKIP("the kernel exempts root from the process limit");
    QTemporaryDir dir;
    StdoutCapture capture;
    QCOMPARE(runConfinedCommand(dir.path(), QStringLiteral("dcraw"), shell(command)), code);
    QVERIFY(noChildLeft());
}

void TestCommand::childEnvironment_data()
{
    QTest::addColumn<QString>("check");
    QTest::addColumn<int>("callerNice");

    // Field 5 of /proc/<pid>/stat is the process group, field 19 the nice value; NICE stands for
    // the value the work should have: below normal, and never above its caller.
    QTest::newRow("the interpreter leads a process group of its own")
        << "test \"$(cut -d' ' -f5 /proc/$$/stat)\" = \"$$\"" << 0;
    QTest::newRow("the decoder it starts stays in that group")
        << "test \"$(cut -d' ' -f5 /proc/self/stat)\" = \"$$\"" << 0;
    QTest::newRow("the work runs below normal priority")
        << "test \"$(cut -d' ' -f19 /proc/$$/stat)\" -eq NICE" << 0;
    // At the lowest priority a busy machine hardly runs it, not even to end when it is killed.
    QTest::newRow("started by background work, it does not sink lower")
        << "test \"$(cut -d' ' -f19 /proc/$$/stat)\" -eq NICE" << 10;
}

void TestCommand::childEnvironment()
{
    QFETCH(QString, check);
    QFETCH(int, callerNice);
    StdoutCapture capture;
    int code = -2;
    // A thread of its own, so that lowering its priority leaves the test's alone.
    const std::unique_ptr<QThread> caller(QThread::create([&] {
        const int ownNice = ::getpriority(PRIO_PROCESS, ::gettid());
        ::setpriority(PRIO_PROCESS, ::gettid(), std::max(ownNice, callerNice));
        const int expected = std::max(10, ::getpriority(PRIO_PROCESS, ::gettid()));
        code = runCommand(shell(QString(check).replace("NICE", QString::number(expected))));
    }));
    caller->start();
    caller->wait();
    QCOMPARE(code, 0);
    QVERIFY(noChildLeft());
}

void TestCommand::nothingLeftRunning_data()
{
    QTest::addColumn<QString>("ending");
    QTest::addColumn<int>("finishTimeout");
    QTest::addColumn<int>("code");

    // A decoder that hangs, started by the interpreter as a child of its own.
    QTest::newRow("time-out") << "wait" << 1000 << -1;
    QTest::newRow("interpreter done, its child still busy") << "exit 0" << 30000 << 0;
}

void TestCommand::nothingLeftRunning()
{
    QFETCH(QString, ending);
    QFETCH(int, finishTimeout);
    QFETCH(int, code);
    QTemporaryDir dir;
    const QString pidFile = dir.filePath(QStringLiteral("pids"));
    const QString command = QStringLiteral("sleep 60 & echo $$ $! > '%1'; %2").arg(pidFile, ending);
    StdoutCapture capture;
    QCOMPARE(runCommand(shell(command), 30000, finishTimeout), code);
    QFile file(pidFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> pids = file.readAll().trimmed().split(' ');
    QCOMPARE(pids.size(), 2);
    for (const QByteArray &pid : pids)
        QVERIFY2(!processRunning(pid.toLongLong()), pid.constData());
    QVERIFY(noChildLeft());
    QCOMPARE(capture.text(), QByteArray());
}

void TestCommand::endedWhenTheThreadIsToStop()
{
    QTemporaryDir dir;
    const QString pidFile = dir.filePath(QStringLiteral("pid"));
    const QString second = dir.filePath(QStringLiteral("second"));
    int firstCode = 0;
    int secondCode = 0;
    StdoutCapture capture;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        firstCode = runCommand(shell(QStringLiteral("echo $$ > '%1'; exec sleep 60").arg(pidFile)));
        secondCode = runCommand(shell(QStringLiteral("touch '%1'").arg(second)));
    }));
    thread->start();
    QTRY_VERIFY(QFile(pidFile).size() > 0);
    QFile file(pidFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const qint64 pid = file.readAll().trimmed().toLongLong();
    thread->requestInterruption();
    // Far less than the minute the command would take.
    QVERIFY(thread->wait(QDeadlineTimer(10000)));
    QCOMPARE(firstCode, -1);
    QCOMPARE(secondCode, -1);
    QVERIFY(!processRunning(pid));
    QVERIFY(!QFile::exists(second));
    QVERIFY(noChildLeft());
    QCOMPARE(capture.text(), QByteArray());
}

void TestCommand::linesFromThreadsStayWhole()
{
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    const QByteArray line(300, 'x');
    QList<QThread *> threads;
    StdoutCapture capture;
    for (int t = 0; t < kThreads; ++t) {
        threads.append(QThread::create([&line, t] {
            for (int i = 0; i < kLines; ++i)
                printLine(QByteArray::number(t) + line);
        }));
        threads.last()->start();
    }
    for (QThread *thread : threads) {
        QVERIFY(thread->wait());
        delete thread;
    }
    const QList<QByteArray> lines = capture.text().split('\n');
    QCOMPARE(lines.size(), kThreads * kLines + 1);
    for (int i = 0; i < kThreads * kLines; ++i)
        QCOMPARE(lines.at(i).mid(1), line);
}

QTEST_GUILESS_MAIN(TestCommand)
#include "tst_command.moc"
