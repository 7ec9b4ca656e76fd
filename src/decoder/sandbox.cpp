// SPDX-License-Identifier: GPL-3.0-or-later
#include "sandbox.h"

#include "landlock.h"

#include <QtGlobal>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <malloc.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#ifndef __x86_64__
#error "The answer to a trapped system call (answerStat) is written for the x86-64 registers"
#endif

namespace {

// Room for the largest picture Qt's allocation limit lets through, read and converted.
constexpr rlim_t kDataBytes = rlim_t(4) << 30;
// A decoder that has used this much processor time is killed (SIGXCPU, then SIGKILL at the hard
// limit); it asks to be replaced long before (decoderserver.cpp).
constexpr rlim_t kCpuSeconds = 300;
constexpr rlim_t kCpuGraceSeconds = 10;
// glibc's own bound on its malloc arenas, per processor, on a 64-bit system.
constexpr int kArenasPerProcessor = 8;

// The processors this process may run on, counted before the lock-down.
int processors = 1;

// Lowers a limit, never raising it above what the decoder was started with.
bool limit(int resource, rlim_t soft, rlim_t hard)
{
    rlimit value{};
    if (::getrlimit(resource, &value) != 0)
        return false;
    value.rlim_max = qMin(value.rlim_max, hard);
    value.rlim_cur = qMin(value.rlim_max, soft);
    return ::setrlimit(resource, &value) == 0;
}

// newfstatat, handed here by the filter instead of to the kernel. fstat() of glibc and Qt is
// fstatat(fd, "", AT_EMPTY_PATH), answered with the descriptor's own fstat; a name is refused
// before it reaches the kernel, so that a decoder cannot learn whether a file of the user
// exists, nor its size or times. Async-signal-safe: no allocation, errno kept.
void answerStat(int, siginfo_t *, void *context)
{
    greg_t *registers = static_cast<ucontext_t *>(context)->uc_mcontext.gregs;
    const auto *name = reinterpret_cast<const char *>(registers[REG_RSI]);
    const bool emptyPath = (registers[REG_R10] & AT_EMPTY_PATH) && (!name || *name == '\0');
    if (!emptyPath) {
        registers[REG_RAX] = -EACCES;
        return;
    }
    const int saved = errno;
    const long done = ::syscall(SYS_fstat, int(registers[REG_RDI]), registers[REG_RDX]);
    registers[REG_RAX] = done < 0 ? -errno : done;
    errno = saved;
}

bool answerStatsHere()
{
    struct sigaction action{};
    action.sa_sigaction = answerStat;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGSYS, &action, nullptr) == 0;
}

// The one allow-list: everything else kills the process.
bool loadFilter()
{
    scmp_filter_ctx filter = ::seccomp_init(SCMP_ACT_KILL_PROCESS);
    if (!filter)
        return false;
    const auto allow = [&](int call) {
        return ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) == 0;
    };
    const auto allowIf = [&](int call, scmp_arg_cmp condition) {
        return ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 1, condition) == 0;
    };
    const auto refuse = [&](int call, int error) {
        return ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(error), call, 0) == 0;
    };
    const scmp_datum_t self = scmp_datum_t(::getpid());
    bool ok = true;
    // Reading the handed file and the socket; writing the socket and diagnostics to stderr.
    for (int call : {SCMP_SYS(read), SCMP_SYS(pread64), SCMP_SYS(readv), SCMP_SYS(write),
                     SCMP_SYS(writev), SCMP_SYS(recvmsg), SCMP_SYS(recvfrom), SCMP_SYS(sendmsg),
                     SCMP_SYS(sendto), SCMP_SYS(poll), SCMP_SYS(ppoll),
                     // Seeking in and sizing descriptors already open, duplicating them (the
                     // TIFF reader takes its own), closing them.
                     SCMP_SYS(lseek), SCMP_SYS(fstat), SCMP_SYS(dup), SCMP_SYS(close),
                     // Memory: the heap, and mappings (mmap below).
                     SCMP_SYS(brk), SCMP_SYS(munmap), SCMP_SYS(mremap),
                     SCMP_SYS(mprotect), SCMP_SYS(madvise),
                     // Threads of the decoders (JPEG XL, AV1, HEVC) and their locks.
                     SCMP_SYS(futex), SCMP_SYS(set_robust_list), SCMP_SYS(rseq),
                     SCMP_SYS(sched_yield), SCMP_SYS(sched_getaffinity), SCMP_SYS(getpid),
                     SCMP_SYS(gettid), SCMP_SYS(rt_sigprocmask), SCMP_SYS(rt_sigreturn),
                     SCMP_SYS(sigaltstack),
                     // Qt's threads (its smooth scaling uses a pool of them) wake each other
                     // through an event counter.
                     SCMP_SYS(eventfd2),
                     // Clocks and waits; random seeds of hash tables.
                     SCMP_SYS(clock_gettime), SCMP_SYS(clock_getres), SCMP_SYS(gettimeofday),
                     SCMP_SYS(clock_nanosleep), SCMP_SYS(nanosleep), SCMP_SYS(getrandom),
                     // Its processor-time budget.
                     SCMP_SYS(getrusage),
                     // Ending.
                     SCMP_SYS(exit), SCMP_SYS(exit_group)})
        ok = ok && allow(call);
    // Private memory, and shared memory over a descriptor only (the handed file, the pixel slots
    // that the viewer makes and sizes): shared anonymous memory escapes the data limit.
    ok = ok && allowIf(SCMP_SYS(mmap), SCMP_A3(SCMP_CMP_MASKED_EQ, MAP_SHARED, 0));
    ok = ok && allowIf(SCMP_SYS(mmap), SCMP_A3(SCMP_CMP_MASKED_EQ, MAP_ANONYMOUS, 0));
    // abort() on a failed assertion of a library signals the process itself, and nothing else:
    // no other process of the user, nor its own process group.
    ok = ok && allowIf(SCMP_SYS(tgkill), SCMP_A0(SCMP_CMP_EQ, self));
    ok = ok && allowIf(SCMP_SYS(kill), SCMP_A0(SCMP_CMP_EQ, self));
    // Of the descriptor commands only those the decoder uses: no signals from a descriptor
    // (F_SETOWN, F_SETSIG, O_ASYNC) that could reach another process, no leases, notifications
    // or locks. Qt duplicates the handed file and sets its flags.
    ok = ok && allowIf(SCMP_SYS(fcntl), SCMP_A1(SCMP_CMP_EQ, F_DUPFD_CLOEXEC));
    ok = ok && ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(fcntl), 2,
                                  SCMP_A1(SCMP_CMP_EQ, F_SETFL),
                                  SCMP_A2(SCMP_CMP_MASKED_EQ, O_ASYNC, 0)) == 0;
    // Answered by answerStat, which lets no name through.
    ok = ok && ::seccomp_rule_add(filter, SCMP_ACT_TRAP, SCMP_SYS(newfstatat), 0) == 0;
    // The AV1 decoder names its threads; no other process control.
    ok = ok && allowIf(SCMP_SYS(prctl), SCMP_A0(SCMP_CMP_EQ, PR_SET_NAME));
    // New threads only, never a new process.
    ok = ok && allowIf(SCMP_SYS(clone), SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD));
    // What a library opens lazily is refused, not fatal, and each takes its default: glibc's
    // malloc reads /proc/sys/vm/overcommit_memory the first time it gives back memory of a
    // thread's heap (a large lossless JPEG XL). No name reaches the kernel.
    ok = ok && refuse(SCMP_SYS(openat), EACCES);
    // Qt asks statx first, which looks names up, and falls back to fstat when it is missing.
    ok = ok && refuse(SCMP_SYS(statx), ENOSYS);
    // clone3 passes its flags in memory, out of the filter's sight: refused, glibc falls back
    // to clone.
    ok = ok && refuse(SCMP_SYS(clone3), ENOSYS);
#ifdef __SANITIZE_ADDRESS__
    // AddressSanitizer's runtime checks whether memory can be read by writing it into a pipe.
    ok = ok && allow(SCMP_SYS(pipe2));
#endif
    // Every thread, those started before too.
    ok = ok && ::seccomp_attr_set(filter, SCMP_FLTATR_CTL_TSYNC, 1) == 0;
    ok = ok && ::seccomp_load(filter) == 0;
    ::seccomp_release(filter);
    return ok;
}

// A kernel without Landlock, or with too old a one, leaves the filter alone in its place; one
// that has it and still refuses fails the lock-down.
bool landlockHolds(bool raised)
{
    return raised || errno == ENOSYS || errno == EOPNOTSUPP;
}

} // namespace

// glibc counts the processors by reading /sys, which the decoder can no longer open; libstdc++'s
// thread count (which the JPEG XL reader asks at every picture) comes here instead, to the count
// taken before the lock-down.
extern "C" int get_nprocs()
{
    return processors;
}

bool lockDown()
{
    cpu_set_t usable;
    if (::sched_getaffinity(0, sizeof usable, &usable) == 0)
        processors = qMax(1, CPU_COUNT(&usable));
    // glibc's malloc counts the processors itself (reading /sys) once threads outnumber its
    // arenas, as the decoders' threads do on a machine of many cores: the bound given now.
    ::mallopt(M_ARENA_MAX, kArenasPerProcessor * processors);
    // No core files of a crash on a hostile picture.
    bool ok = limit(RLIMIT_CORE, 0, 0);
    ok = limit(RLIMIT_CPU, kCpuSeconds, kCpuSeconds + kCpuGraceSeconds) && ok;
    // AddressSanitizer reserves terabytes of address space for its shadow memory.
#ifndef __SANITIZE_ADDRESS__
    ok = limit(RLIMIT_DATA, kDataBytes, kDataBytes) && ok;
#endif
    ok = ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && ok;
    // Behind the filter's refusals, a second wall: no file at all for this thread, which
    // decodes, and for the threads it starts.
    ok = landlockHolds(raiseLandlockWall(nullptr, 0)) && ok;
    return ok && answerStatsHere() && loadFilter();
}

bool encloseProcess()
{
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && landlockHolds(raiseLandlockScope());
}
