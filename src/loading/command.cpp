// SPDX-License-Identifier: GPL-3.0-or-later
#include "command.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMutex>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/resource.h>
#include <sys/types.h>
#include <unistd.h>
#endif

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

namespace {

// How often a waiting runner looks whether its command is to be ended: quitting waits at most
// this long for a decoder.
constexpr int kEndPollInterval = 50;

// Lock-free, so that a signal handler may set it.
std::atomic<bool> allCommandsEnded{false};
static_assert(std::atomic<bool>::is_always_lock_free);

thread_local QList<QByteArray> *heldLines = nullptr;

// waitForFinished, except that it gives up as soon as the command is to be ended.
bool waitForEnd(QProcess &process, int timeout)
{
    const QDeadlineTimer deadline(timeout);
    while (!commandsEnded()) {
        const int slice = deadline.isForever()
                              ? kEndPollInterval
                              : int(std::min<qint64>(kEndPollInterval, deadline.remainingTime()));
        if (process.waitForFinished(slice))
            return true;
        if (deadline.hasExpired() || process.state() == QProcess::NotRunning)
            return false;
    }
    return false;
}

#ifndef Q_OS_WIN
// Decoding is background work: below normal priority, the user's own work comes first. Not
// lower, though, when the caller is background work itself: at the lowest priority a busy
// machine hardly runs the decoder, not even to end it when it is killed, and quitting waits.
constexpr int kDecoderNice = 10;
constexpr int kGroupExitTimeout = 2000;
constexpr int kGroupPollInterval = 5;

bool groupHasLiveMember(pid_t group)
{
    // Nothing left at all, not even a zombie: the usual case, once the interpreter is reaped,
    // answered without reading /proc.
    if (::kill(-group, 0) != 0 && errno == ESRCH)
        return false;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool isPid = false;
        entry.toInt(&isPid);
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // The command name may hold blanks and parentheses; the fields after its last ")" are
        // the state and then the parent and the group.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields.at(2).toLongLong() == group && fields.at(0) != "Z")
            return true;
    }
    return false;
}

// The interpreter runs in a group of its own, so that whatever it started can be ended with it:
// a decoder must not outlive the call, neither after a time-out nor left behind in the
// background. Returns once no member of the group can run any more.
void endGroup(QProcess &process, pid_t group)
{
    const bool groupLeft = group > 0 && ::kill(-group, SIGKILL) == 0;
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(-1);
    }
    if (!groupLeft)
        return;
    QElapsedTimer timer;
    timer.start();
    while (groupHasLiveMember(group) && !timer.hasExpired(kGroupExitTimeout)) {
        ::kill(-group, SIGKILL);
        QThread::msleep(kGroupPollInterval);
    }
}
#endif

#ifdef Q_OS_WIN
const QString kInterpreter = QStringLiteral("cmd.exe");
#else
const QString kInterpreter = QStringLiteral("/bin/sh");
#endif

#ifdef Q_OS_LINUX
// The launcher that confines what it runs (src/decoder/confinement.h): the installed one, else
// the build tree's.
QString confinementProgram()
{
    static const QString found = [] {
        const QString installed = QStringLiteral(VELMORA_CONFINE_INSTALLED);
        return QFileInfo(installed).isExecutable() ? installed
                                                   : QStringLiteral(VELMORA_CONFINE_BUILT);
    }();
    return found;
}
#endif

} // namespace

QString printable(const QString &text)
{
    QString kept;
    kept.reserve(text.size());
    for (const QChar c : text) {
        if (c.category() != QChar::Other_Control || c == QLatin1Char('\t') ||
            c == QLatin1Char('\n'))
            kept.append(c);
    }
    return kept;
}

void printLine(const QByteArray &line)
{
    const QByteArray text = printable(QString::fromUtf8(line)).toUtf8();
    if (heldLines) {
        heldLines->append(text);
        return;
    }
    static QMutex mutex;
    QMutexLocker lock(&mutex);
    std::fwrite(text.constData(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void holdPrintedLines(QList<QByteArray> *lines)
{
    heldLines = lines;
}

void endAllCommands()
{
    allCommandsEnded.store(true);
}

bool allCommandsEndedNow()
{
    return allCommandsEnded.load();
}

bool commandsEnded()
{
    return allCommandsEnded.load() || QThread::currentThread()->isInterruptionRequested();
}

namespace {

int run(const QString &program, const QStringList &arguments, int startTimeout, int finishTimeout)
{
    if (commandsEnded())
        return -1;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
#ifndef Q_OS_WIN
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        ::setpgid(0, 0);
        // Killed when its parent goes, even by SIGKILL. Strictly, when the thread that started
        // it ends; but that thread waits here for it. The setting survives exec, so it holds for
        // the decoder that the interpreter becomes, though not for children that either forks.
        // A parent that died before the setting was made has left the child to another already.
#ifdef Q_OS_LINUX
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
#endif
        ::setpriority(PRIO_PROCESS, 0, std::max(::getpriority(PRIO_PROCESS, 0), kDecoderNice));
    });
#endif
    process.start(program, arguments, QIODevice::ReadWrite);
    const bool started = process.waitForStarted(startTimeout);
    const qint64 pid = process.processId();
    int result = -1;
    if (started && waitForEnd(process, finishTimeout)) {
        result = process.exitCode();
        if (result != 0) {
            const QByteArray output = process.readAll();
            printLine(output.left(qstrnlen(output.constData(), output.size())));
        }
    }
#ifndef Q_OS_WIN
    endGroup(process, static_cast<pid_t>(pid));
#else
    Q_UNUSED(pid);
#endif
    return result;
}

} // namespace

int runCommand(const QStringList &arguments, int startTimeout, int finishTimeout)
{
    return run(kInterpreter, arguments, startTimeout, finishTimeout);
}

int runConfinedCommand(const QString &folder, const QString &tool, const QStringList &arguments,
                       int startTimeout, int finishTimeout)
{
#ifdef Q_OS_LINUX
    // The user accepts the risk: the command runs as it would without the launcher.
    if (qEnvironmentVariable("VELMORA_NO_SANDBOX") != QLatin1String("1"))
        return run(confinementProgram(), QStringList{folder, tool, kInterpreter} + arguments,
                   startTimeout, finishTimeout);
#else
    Q_UNUSED(folder);
    Q_UNUSED(tool);
#endif
    return runCommand(arguments, startTimeout, finishTimeout);
}
