// SPDX-License-Identifier: GPL-3.0-or-later
#include "attacks.h"

#include <QtGlobal>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
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

bool writeHuge(void *memory)
{
    return memory != MAP_FAILED && std::memset(memory, 1, kHugeBytes);
}

void *waitForever(void *)
{
    for (;;)
        ::pause();
}

// Whether the attack that name names succeeded.
bool attempt(const QByteArray &name)
{
    const pid_t victim = target("VELMORA_VICTIM");
    struct stat status;
    const char *path = std::getenv("VELMORA_ATTACK_PATH");
    const int memory = name == "fill a 3 GiB memory file" ? ::memfd_create("attack", 0) : -1;
    pthread_t thread;
    static const char escapes[] = "\x1b[2J\a\x1b]0;attack\a";
    if (name == "signal another process")
        return ::kill(victim, SIGKILL) == 0;
    if (name == "signal the viewer")
        return ::kill(target("VELMORA_VIEWER"), SIGKILL) == 0;
    if (name == "tgkill another process")
        return ::syscall(SYS_tgkill, victim, victim, SIGKILL) == 0;
    // Once the socket belongs to the victim and signals SIGKILL, any event on it, such as the
    // viewer closing its side, kills the victim.
    if (name == "take signals from the socket")
        return ::fcntl(kViewerSocket, F_SETOWN, victim) == 0 &&
               ::fcntl(kViewerSocket, F_SETSIG, SIGKILL) == 0 &&
               ::fcntl(kViewerSocket, F_SETFL, O_ASYNC) == 0;
    // Straight to the kernel, with the flag for an empty path first, which does not stop a name
    // from being looked up.
    if (name == "look up a name")
        return ::syscall(SYS_newfstatat, AT_FDCWD, path, &status, AT_EMPTY_PATH) == 0 ||
               ::syscall(SYS_newfstatat, AT_FDCWD, path, &status, 0) == 0;
    if (name == "open a file")
        return ::open("/etc/passwd", O_RDONLY) >= 0;
    if (name == "create a socket")
        return ::socket(AF_INET, SOCK_STREAM, 0) >= 0;
    if (name == "run a program")
        return ::execl("/bin/true", "true", static_cast<char *>(nullptr)) == 0;
    if (name == "fill a 3 GiB memory file")
        return memory >= 0 && ::ftruncate(memory, off_t(kHugeBytes)) == 0 &&
               writeHuge(::mmap(nullptr, kHugeBytes, PROT_WRITE, MAP_SHARED, memory, 0));
    if (name == "fill a 3 GiB shared mapping")
        return writeHuge(::mmap(nullptr, kHugeBytes, PROT_READ | PROT_WRITE,
                                MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    for (int i = 0; name == "start 200 threads" && i < kManyThreads; ++i) {
        if (::pthread_create(&thread, nullptr, waitForever, nullptr) != 0)
            return false;
    }
    if (name == "write into an inherited descriptor")
        return ::write(target("VELMORA_ATTACK_FD"), "attack", 6) == 6;
    if (name == "write escape bytes to standard error")
        return ::write(STDERR_FILENO, escapes, sizeof escapes - 1) > 0;
    for (volatile unsigned long turns = 0; name == "spin after answering"; turns = turns + 1) {
    }
    return true;
}

// VELMORA_REFUSE_FILTER=1: a kernel without seccomp filters, simulated before main by a filter
// of the attack's own that answers every request for one as unknown. The walls of Landlock stand
// alone then.
[[maybe_unused]] const bool refused = [] {
    if (qgetenv("VELMORA_REFUSE_FILTER") != "1")
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
    // Without the exit handlers: a leak checker's would trace the process, which the filter
    // forbids.
    if (name != "start 200 threads" && name != "spin after answering") {
        if (!attempt(name))
            ::_exit(0);
        return;
    }
    std::thread([name] {
        std::this_thread::sleep_for(kAfterAnswer);
        if (!attempt(name))
            ::_exit(0);
    }).detach();
}
