// SPDX-License-Identifier: GPL-3.0-or-later
#include "attacks.h"

#include <QtGlobal>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kViewerSocket = 3;
constexpr size_t kHugeBytes = size_t(3) << 30;
constexpr int kManyThreads = 200;
// Long enough for the answer to the request to have gone out.
constexpr auto kAfterAnswer = std::chrono::milliseconds(300);

pid_t target(const char *variable)
{
    return pid_t(qEnvironmentVariableIntValue(variable));
}

bool signalVictim()
{
    return ::kill(target("VELMORA_VICTIM"), SIGKILL) == 0;
}

bool signalViewer()
{
    return ::kill(target("VELMORA_VIEWER"), SIGKILL) == 0;
}

// A harmless signal: should the wall fail, the test and whatever shares its group live on.
bool signalOwnGroup()
{
    return ::kill(0, SIGCONT) == 0;
}

bool tgkillVictim()
{
    const pid_t victim = target("VELMORA_VICTIM");
    return ::syscall(SYS_tgkill, victim, victim, SIGKILL) == 0;
}

// Once the socket belongs to the victim and signals SIGKILL, any event on it, such as the
// viewer closing its side, kills the victim.
bool signalsFromSocket()
{
    const int flags = ::fcntl(kViewerSocket, F_GETFL);
    return ::fcntl(kViewerSocket, F_SETOWN, target("VELMORA_VICTIM")) == 0 &&
           ::fcntl(kViewerSocket, F_SETSIG, SIGKILL) == 0 && flags >= 0 &&
           ::fcntl(kViewerSocket, F_SETFL, flags | O_ASYNC) == 0;
}

// Straight to the kernel, past anything glibc would make of the flags; with the flag for an
// empty path first, which does not stop a name from being looked up.
bool lookUpName()
{
    const char *path = std::getenv("VELMORA_ATTACK_PATH");
    struct stat status;
    return ::syscall(SYS_newfstatat, AT_FDCWD, path, &status, AT_EMPTY_PATH) == 0 ||
           ::syscall(SYS_newfstatat, AT_FDCWD, path, &status, 0) == 0;
}

bool openFile()
{
    return ::open("/etc/passwd", O_RDONLY) >= 0;
}

bool createSocket()
{
    return ::socket(AF_INET, SOCK_STREAM, 0) >= 0;
}

bool runProgram()
{
    ::execl("/bin/true", "true", static_cast<char *>(nullptr));
    return false;
}

bool writeHuge(void *memory)
{
    if (memory == MAP_FAILED)
        return false;
    std::memset(memory, 1, kHugeBytes);
    return true;
}

bool fillMemoryFile()
{
    const int memory = ::memfd_create("attack", 0);
    return memory >= 0 && ::ftruncate(memory, off_t(kHugeBytes)) == 0 &&
           writeHuge(::mmap(nullptr, kHugeBytes, PROT_WRITE, MAP_SHARED, memory, 0));
}

bool fillSharedMapping()
{
    return writeHuge(
        ::mmap(nullptr, kHugeBytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
}

void *waitForever(void *)
{
    for (;;)
        ::pause();
}

bool startThreads()
{
    for (int i = 0; i < kManyThreads; ++i) {
        pthread_t thread;
        if (::pthread_create(&thread, nullptr, waitForever, nullptr) != 0)
            return false;
    }
    return true;
}

bool writeInherited()
{
    return ::write(qEnvironmentVariableIntValue("VELMORA_ATTACK_FD"), "attack", 6) == 6;
}

bool writeEscapes()
{
    static const char escapes[] = "\x1b[2J\a\x1b]0;attack\a";
    return ::write(STDERR_FILENO, escapes, sizeof escapes - 1) == ssize_t(sizeof escapes - 1);
}

bool spin()
{
    for (volatile unsigned long turns = 0;; turns = turns + 1) {
    }
}

struct Attack
{
    std::function<bool()> run;
    bool afterAnswer = false;
};

const std::map<QByteArray, Attack> &attacks()
{
    static const std::map<QByteArray, Attack> all{
        {"signal another process", {signalVictim}},
        {"signal the viewer", {signalViewer}},
        {"signal its own process group", {signalOwnGroup}},
        {"tgkill another process", {tgkillVictim}},
        {"take signals from the socket", {signalsFromSocket}},
        {"look up a name", {lookUpName}},
        {"open a file", {openFile}},
        {"create a socket", {createSocket}},
        {"run a program", {runProgram}},
        {"fill a 3 GiB memory file", {fillMemoryFile}},
        {"fill a 3 GiB shared mapping", {fillSharedMapping}},
        {"start 200 threads", {startThreads, true}},
        {"write into an inherited descriptor", {writeInherited}},
        {"write escape bytes to standard error", {writeEscapes}},
        {"spin after answering", {spin, true}},
    };
    return all;
}

// "the kernel refuses the filter": a kernel without seccomp filters, simulated before main by
// a filter of the attack's own that answers every request for one as unknown.
[[maybe_unused]] const bool refused = [] {
    if (qgetenv("VELMORA_ATTACK") != "the kernel refuses the filter")
        return false;
    scmp_filter_ctx filter = ::seccomp_init(SCMP_ACT_ALLOW);
    const bool loaded =
        filter && ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
        ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(EINVAL), SCMP_SYS(seccomp), 0) == 0 &&
        ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(EINVAL), SCMP_SYS(prctl), 1,
                           SCMP_A0(SCMP_CMP_EQ, PR_SET_SECCOMP)) == 0 &&
        ::seccomp_load(filter) == 0;
    ::seccomp_release(filter);
    if (!loaded)
        std::abort();
    return true;
}();

} // namespace

void attack(const QByteArray &name)
{
    const auto found = attacks().find(name);
    if (found == attacks().end())
        return;
    const std::function<bool()> run = found->second.run;
    // Without the exit handlers: a leak checker's would trace the process, which the filter
    // forbids.
    if (!found->second.afterAnswer) {
        if (!run())
            ::_exit(0);
        return;
    }
    std::thread([run] {
        std::this_thread::sleep_for(kAfterAnswer);
        if (!run())
            ::_exit(0);
    }).detach();
}
