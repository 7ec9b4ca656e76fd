// SPDX-License-Identifier: GPL-3.0-or-later
#include "confinement.h"

#include "landlock.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <dirent.h>
#include <sched.h>
#include <seccomp.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The system's programs and libraries, where a merged /usr has them and where older systems do.
const char *const kSystemFolders[] = {"/usr",   "/bin",   "/sbin",  "/lib",
                                      "/lib32", "/lib64", "/libx32"};
// What the dynamic loader and the C library read: the library cache, and the time zone for the
// date that dcraw writes into its output.
const char *const kSystemFiles[] = {"/etc/ld.so.cache", "/etc/localtime"};
// The interpreter reads the input of a command it starts in the background from here, and
// scripts send what they discard here.
constexpr char kNullDevice[] = "/dev/null";

// dcraw takes seconds on the largest files; the viewer gives it 30 s of waiting anyway.
constexpr rlim_t kCpuSeconds = 60;
constexpr rlim_t kCpuGraceSeconds = 5;
// Room for the largest picture the readers accept, as a raw mosaic and in full colour.
constexpr rlim_t kMemoryBytes = rlim_t(4) << 30;
// The largest conversion the readers accept: 1 GiB of pixels at four bytes each, three in a TIFF.
constexpr rlim_t kFileBytes = rlim_t(1) << 30;
// The interpreter keeps a few copies of its descriptors; dcraw opens two files.
constexpr rlim_t kOpenFiles = 64;
// The processes and threads it may start: dcraw starts none, a script a few. The limit counts
// all of the user's, so it is set this far above those that run already.
constexpr rlim_t kMoreProcesses = 32;

const int kRefused = SCMP_ACT_ERRNO(EPERM);

void say(const char *what)
{
    // The viewer honours the variable named here: it then runs the program without this launcher.
    std::fprintf(stderr,
                 "velmora-confine: cannot %s (%s); nothing was run. VELMORA_NO_SANDBOX=1 "
                 "runs it unconfined.\n",
                 what, std::strerror(errno));
}

// The file that the interpreter runs for name: the first regular, executable file of that name
// in a folder of PATH (an empty entry is the working folder), written to found. False when there
// is none: then the interpreter says so.
bool foundOnPath(const char *name, const char *path, char (&found)[PATH_MAX])
{
    for (const char *folder = path;; ++folder) {
        const char *end = std::strchr(folder, ':');
        const int length = int(end ? end - folder : std::strlen(folder));
        const int written =
            length > 0 ? std::snprintf(found, sizeof found, "%.*s/%s", length, folder, name)
                       : std::snprintf(found, sizeof found, "./%s", name);
        struct stat status;
        if (written < int(sizeof found) && ::stat(found, &status) == 0 && S_ISREG(status.st_mode) &&
            ::access(found, X_OK) == 0)
            return true;
        if (!end)
            return false;
        folder = end;
    }
}

// Lowers a limit, never raises it: a hard limit already lower stays.
void limit(int resource, rlim_t soft, rlim_t hard)
{
    rlimit current{};
    ::getrlimit(resource, &current);
    const rlimit lowered{std::min(soft, current.rlim_max), std::min(hard, current.rlim_max)};
    ::setrlimit(resource, &lowered);
}

// The processes and threads the user runs now, as the process limit counts them; 0 when /proc
// cannot tell.
rlim_t userTasks()
{
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return 0;
    rlim_t count = 0;
    while (const dirent *entry = ::readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        char path[sizeof "/proc//task" + sizeof entry->d_name];
        struct stat status;
        std::snprintf(path, sizeof path, "/proc/%s/task", entry->d_name);
        // A process's task folder holds a folder for each of its threads.
        if (::stat(path, &status) == 0 && status.st_uid == ::getuid())
            count += status.st_nlink > 2 ? status.st_nlink - 2 : 1;
    }
    ::closedir(proc);
    return count;
}

void setLimits()
{
    // No core file of a crash on a hostile file.
    limit(RLIMIT_CORE, 0, 0);
    limit(RLIMIT_FSIZE, kFileBytes, kFileBytes);
    limit(RLIMIT_NOFILE, kOpenFiles, kOpenFiles);
    // No flood of processes, which no other limit counts.
    if (const rlim_t running = userTasks())
        limit(RLIMIT_NPROC, running + kMoreProcesses, running + kMoreProcesses);
    // SIGXCPU at the soft limit, SIGKILL at the hard one.
    limit(RLIMIT_CPU, kCpuSeconds, kCpuSeconds + kCpuGraceSeconds);
    // AddressSanitizer reserves terabytes of address space for its shadow memory, up to the exec.
#ifndef __SANITIZE_ADDRESS__
    limit(RLIMIT_DATA, kMemoryBytes, kMemoryBytes);
    limit(RLIMIT_AS, kMemoryBytes, kMemoryBytes);
#endif
}

// tool is null when there is none to run.
bool raiseWall(const char *folder, const char *tool)
{
    LandlockPath paths[std::size(kSystemFolders) + std::size(kSystemFiles) + 3];
    std::size_t count = 0;
    struct stat status;
    for (const char *system : kSystemFolders) {
        if (::stat(system, &status) == 0)
            paths[count++] = {system, LandlockPath::ReadExecute};
    }
    for (const char *system : kSystemFiles) {
        if (::stat(system, &status) == 0)
            paths[count++] = {system, LandlockPath::Read};
    }
    paths[count++] = {kNullDevice, LandlockPath::ReadWrite};
    if (tool)
        paths[count++] = {tool, LandlockPath::ReadExecute};
    paths[count++] = {folder, LandlockPath::ReadWrite};
    return raiseLandlockWall(paths, count);
}

// The deny-list: the interpreter, dcraw and the dynamic loader need too many calls for an
// allow-list; refused calls fail with EPERM.
bool loadFilter()
{
    scmp_filter_ctx filter = ::seccomp_init(SCMP_ACT_ALLOW);
    if (!filter) {
        errno = ENOMEM;
        return false;
    }
    const auto refuse = [&](int call) {
        return ::seccomp_rule_add(filter, kRefused, call, 0) == 0;
    };
    const auto refuseWhen = [&](int call, scmp_arg_cmp when) {
        return ::seccomp_rule_add(filter, kRefused, call, 1, when) == 0;
    };
    // The first argument of the signal calls names a process (or thread group); its own stays
    // allowed, for raise() and abort(). Its own is the launcher's pid, which the interpreter and
    // dcraw keep through exec.
    const scmp_arg_cmp others = SCMP_A0(SCMP_CMP_NE, scmp_datum_t(::getpid()));
    // The command of ioctl is 32 bits wide: the kernel ignores whatever is set above them.
    const scmp_arg_cmp fakeInput = SCMP_A1(SCMP_CMP_MASKED_EQ, 0xffffffffU, TIOCSTI);
    const scmp_arg_cmp newUserNamespace = SCMP_A0(SCMP_CMP_MASKED_EQ, CLONE_NEWUSER, CLONE_NEWUSER);
    bool ok = refuse(SCMP_SYS(socket)) &&     // the network, the X server, the user's services
              refuse(SCMP_SYS(socketpair)) && // no socket of any kind is needed
              refuse(SCMP_SYS(ptrace)) &&     // tracing reads and changes other processes
              refuse(SCMP_SYS(process_vm_readv)) &&   // reads another process's memory
              refuse(SCMP_SYS(process_vm_writev)) &&  // writes another process's memory
              refuse(SCMP_SYS(pidfd_getfd)) &&        // takes another process's descriptors
              refuseWhen(SCMP_SYS(kill), others) &&   // signals to other processes
              refuseWhen(SCMP_SYS(tkill), others) &&  // the same
              refuseWhen(SCMP_SYS(tgkill), others) && // the same
              refuseWhen(SCMP_SYS(rt_sigqueueinfo), others) &&   // the same
              refuseWhen(SCMP_SYS(rt_tgsigqueueinfo), others) && // the same
              refuse(SCMP_SYS(pidfd_send_signal)) && // its target is a descriptor, beyond checking
              refuse(SCMP_SYS(setsid)) &&  // leaving the process group that the viewer ends whole
              refuse(SCMP_SYS(setpgid)) && // the same
              refuseWhen(SCMP_SYS(clone), newUserNamespace) && // every capability inside one
              refuse(SCMP_SYS(unshare)) &&                     // new namespaces
              refuse(SCMP_SYS(setns)) &&                       // other processes' namespaces
              refuse(SCMP_SYS(mount)) &&                       // changing what the file names reach
              refuse(SCMP_SYS(keyctl)) &&                      // the user's keyrings hold secrets
              refuse(SCMP_SYS(add_key)) &&                     // the same
              refuse(SCMP_SYS(request_key)) &&                 // the same
              refuse(SCMP_SYS(bpf)) &&                         // programs run inside the kernel
              refuse(SCMP_SYS(perf_event_open)) &&             // watches the machine's other work
              refuse(SCMP_SYS(userfaultfd)) &&          // stalls the kernel at will, for exploits
              refuse(SCMP_SYS(memfd_create)) &&  // memory that the memory limit does not count
              refuse(SCMP_SYS(io_uring_setup)) &&       // system calls out of the filter's sight
              refuse(SCMP_SYS(io_uring_enter)) &&       // the same
              refuse(SCMP_SYS(io_uring_register)) &&    // the same
              refuseWhen(SCMP_SYS(ioctl), fakeInput) && // types into the user's terminal
              // clone3 passes its flags in memory, out of the filter's sight: glibc falls back
              // to clone when it is missing.
              ::seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(clone3), 0) == 0;
    // libseccomp answers with a negative errno rather than setting it.
    const int loaded = ok ? ::seccomp_load(filter) : -EINVAL;
    ::seccomp_release(filter);
    errno = -loaded;
    return loaded == 0;
}

void endGroup(int)
{
    ::kill(0, SIGKILL);
}

// The launcher stays as the keeper of what it runs, which stays in its process group (the
// filter forbids leaving it): when the viewer ends, however it ends, the keeper gets SIGTERM
// and ends the whole group, the program's children too, which no parent-death signal reaches.
// Otherwise it ends as the program ended.
[[noreturn]] void keep(pid_t program, pid_t viewer)
{
    struct sigaction ending = {};
    ending.sa_handler = endGroup;
    ::sigaction(SIGTERM, &ending, nullptr);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != viewer)
        endGroup(0);
    int status = 0;
    while (::waitpid(program, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) {
        // Killed by a signal, as the program was: the viewer tells a crash so.
        limit(RLIMIT_CORE, 0, 0);
        ::signal(WTERMSIG(status), SIG_DFL);
        sigset_t signals;
        ::sigemptyset(&signals);
        ::sigaddset(&signals, WTERMSIG(status));
        ::sigprocmask(SIG_UNBLOCK, &signals, nullptr);
        ::raise(WTERMSIG(status));
    }
    ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 126);
}

} // namespace

void runConfined(const char *folder, const char *tool, char **command)
{
    const pid_t viewer = ::getppid();
    const pid_t keeper = ::getpid();
    const pid_t program = ::fork();
    if (program < 0) {
        say("start the program");
        return;
    }
    if (program > 0)
        keep(program, viewer);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != keeper)
        return;
    const char *searched = std::getenv("PATH");
    if (!searched)
        searched = "/usr/bin:/bin";
    char *path = nullptr;
    char *home = nullptr;
    if (::asprintf(&path, "PATH=%s", searched) < 0 || ::asprintf(&home, "HOME=%s", folder) < 0) {
        say("set up the environment");
        return;
    }
    char *environment[] = {path, home, nullptr};
    // Looked up from where the interpreter will look it up.
    if (::chdir(folder) != 0) {
        say("enter the private folder");
        return;
    }
    char toolFile[PATH_MAX];
    const bool toolFound = foundOnPath(tool, searched, toolFile);
    setLimits();
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        say("give up new privileges");
        return;
    }
    if (!raiseWall(folder, toolFound ? toolFile : nullptr)) {
        say("raise the Landlock wall");
        return;
    }
    // The descriptors of the viewer that were not marked close-on-exec.
    ::close_range(3, ~0U, 0);
    if (!loadFilter()) {
        say("load the system call filter");
        return;
    }
    ::execve(command[0], command, environment);
    say("run the program");
}
