// SPDX-License-Identifier: GPL-3.0-or-later
#include "sandbox.h"

#include <QtGlobal>

#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <fcntl.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>

namespace {

// Room for the largest picture Qt's allocation limit lets through, read and converted.
constexpr rlim_t kDataBytes = rlim_t(4) << 30;
// A decoder that has used this much processor time is killed (SIGXCPU, then SIGKILL at the hard
// limit); it asks to be replaced long before (decoderserver.cpp).
constexpr rlim_t kCpuSeconds = 300;
constexpr rlim_t kCpuGraceSeconds = 10;

// The processors this process may run on, counted before the lock-down.
int processors = 1;

void limit(int resource, rlim_t soft, rlim_t hard)
{
    const rlimit value{soft, hard};
    ::setrlimit(resource, &value);
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
    bool ok = true;
    // Reading the handed file and the socket; writing the socket and diagnostics to stderr.
    for (int call : {SCMP_SYS(read), SCMP_SYS(pread64), SCMP_SYS(readv), SCMP_SYS(write),
                     SCMP_SYS(writev), SCMP_SYS(recvmsg), SCMP_SYS(recvfrom), SCMP_SYS(sendmsg),
                     SCMP_SYS(sendto), SCMP_SYS(poll), SCMP_SYS(ppoll),
                     // Seeking in and sizing descriptors already open, duplicating them (the
                     // TIFF reader takes its own), closing them.
                     SCMP_SYS(lseek), SCMP_SYS(fstat), SCMP_SYS(dup), SCMP_SYS(fcntl),
                     SCMP_SYS(close),
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
                     // Ending, and abort() on a failed assertion of a library.
                     SCMP_SYS(exit), SCMP_SYS(exit_group), SCMP_SYS(tgkill)})
        ok = ok && allow(call);
    // fstat() of glibc and Qt is fstatat(fd, "", AT_EMPTY_PATH): allowed with that flag only.
    // The flag does not stop a name from being looked up; what could be learnt so is whether a
    // file exists and its size and times, never its content.
    ok = ok && ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(newfstatat), 1,
                                  SCMP_A3(SCMP_CMP_MASKED_EQ, AT_EMPTY_PATH, AT_EMPTY_PATH)) == 0;
    // Private memory, and shared memory over a descriptor only (the handed file, the pixel slots
    // that the viewer makes and sizes): shared anonymous memory escapes the data limit.
    ok = ok && ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(mmap), 1,
                                  SCMP_A3(SCMP_CMP_MASKED_EQ, MAP_SHARED, 0)) == 0;
    ok = ok && ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(mmap), 1,
                                  SCMP_A3(SCMP_CMP_MASKED_EQ, MAP_ANONYMOUS, 0)) == 0;
    // The AV1 decoder names its threads; no other process control.
    ok = ok && ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(prctl), 1,
                                  SCMP_A0(SCMP_CMP_EQ, PR_SET_NAME)) == 0;
    // New threads only, never a new process.
    ok = ok && ::seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(clone), 1,
                                  SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_THREAD, CLONE_THREAD)) == 0;
    // Qt asks statx first, which looks names up, and falls back to fstat when it is missing.
    ok = ok && ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(statx), 0) == 0;
    // clone3 passes its flags in memory, out of the filter's sight: refused, glibc falls back
    // to clone.
    ok = ok && ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) == 0;
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
    // No core files of a crash on a hostile picture.
    limit(RLIMIT_CORE, 0, 0);
    limit(RLIMIT_CPU, kCpuSeconds, kCpuSeconds + kCpuGraceSeconds);
    // AddressSanitizer reserves terabytes of address space for its shadow memory.
#ifndef __SANITIZE_ADDRESS__
    limit(RLIMIT_DATA, kDataBytes, kDataBytes);
#endif
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && loadFilter())
        return true;
    std::fputs("velmora-decoder: the kernel refused the system call filter; decoding without it\n",
               stderr);
    return false;
}
