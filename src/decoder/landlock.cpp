// SPDX-License-Identifier: GPL-3.0-or-later
#include "landlock.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// The kernel's interface, written out here: the system's headers (Linux 6.1) know ABI 2 at most.
constexpr unsigned kAskVersion = 1U << 0;
constexpr int kRulePathBeneath = 1;

constexpr std::uint64_t kExecute = 1ULL << 0;
constexpr std::uint64_t kWriteFile = 1ULL << 1;
constexpr std::uint64_t kReadFile = 1ULL << 2;
constexpr std::uint64_t kReadDir = 1ULL << 3;
constexpr std::uint64_t kRemoveDir = 1ULL << 4;
constexpr std::uint64_t kRemoveFile = 1ULL << 5;
constexpr std::uint64_t kMakeDir = 1ULL << 7;
constexpr std::uint64_t kMakeRegular = 1ULL << 8;
constexpr std::uint64_t kMakeFifo = 1ULL << 10;
constexpr std::uint64_t kMakeSymlink = 1ULL << 12;
// Every right of ABI 1: executing, then writing, reading, removing and making every kind of entry.
constexpr std::uint64_t kAbi1Rights = (1ULL << 13) - 1;
constexpr std::uint64_t kRefer = 1ULL << 13;    // ABI 2: moving and linking between folders
constexpr std::uint64_t kTruncate = 1ULL << 14; // ABI 3
constexpr std::uint64_t kIoctlDev = 1ULL << 15; // ABI 5
// The rights that mean something for a file that is not a folder; others make the kernel refuse.
constexpr std::uint64_t kFileRights = kExecute | kWriteFile | kReadFile | kTruncate | kIoctlDev;

constexpr std::uint64_t kBindTcp = 1ULL << 0;           // ABI 4
constexpr std::uint64_t kConnectTcp = 1ULL << 1;        // ABI 4
constexpr std::uint64_t kScopeAbstractUnix = 1ULL << 0; // ABI 6
constexpr std::uint64_t kScopeSignal = 1ULL << 1;       // ABI 6

struct RulesetAttributes
{
    std::uint64_t handledAccessFs = 0;
    std::uint64_t handledAccessNet = 0;
    std::uint64_t scoped = 0;
};

struct [[gnu::packed]] PathBeneathAttributes
{
    std::uint64_t allowedAccess;
    std::int32_t parentFd;
};

std::uint64_t rights(LandlockPath::Access access)
{
    switch (access) {
    case LandlockPath::Read:
        return kReadFile | kReadDir;
    case LandlockPath::ReadExecute:
        return kReadFile | kReadDir | kExecute;
    case LandlockPath::ReadWrite:
        return kReadFile | kReadDir | kWriteFile | kTruncate | kMakeRegular | kMakeDir |
               kMakeSymlink | kMakeFifo | kRemoveFile | kRemoveDir;
    }
    return 0;
}

bool addRule(int ruleset, const LandlockPath &path, std::uint64_t handled)
{
    const int fd = ::open(path.path, O_PATH | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status;
    bool added = ::fstat(fd, &status) == 0;
    if (added) {
        std::uint64_t allowed = rights(path.access) & handled;
        if (!S_ISDIR(status.st_mode))
            allowed &= kFileRights;
        const PathBeneathAttributes rule{allowed, fd};
        added = ::syscall(SYS_landlock_add_rule, ruleset, kRulePathBeneath, &rule, 0) == 0;
    }
    const int error = errno;
    ::close(fd);
    errno = error;
    return added;
}

long landlockAbi()
{
    return ::syscall(SYS_landlock_create_ruleset, nullptr, 0, kAskVersion);
}

// Raises the wall that attributes and paths describe; errno set when it cannot be raised.
bool raise(const RulesetAttributes &attributes, const LandlockPath *paths, std::size_t count)
{
    // Fields an older kernel does not know are zero, which it accepts.
    const int ruleset =
        int(::syscall(SYS_landlock_create_ruleset, &attributes, sizeof attributes, 0));
    if (ruleset < 0)
        return false;
    bool raised = true;
    for (std::size_t i = 0; i < count; ++i)
        raised = raised && addRule(ruleset, paths[i], attributes.handledAccessFs);
    raised = raised && ::syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    const int error = errno;
    ::close(ruleset);
    errno = error;
    return raised;
}

RulesetAttributes beyondFiles(long abi)
{
    RulesetAttributes attributes;
    if (abi >= 4)
        attributes.handledAccessNet = kBindTcp | kConnectTcp;
    if (abi >= 6)
        attributes.scoped = kScopeAbstractUnix | kScopeSignal;
    return attributes;
}

} // namespace

bool raiseLandlockWall(const LandlockPath *paths, std::size_t count)
{
    const long abi = landlockAbi();
    if (abi < 1)
        return false;
    RulesetAttributes attributes = beyondFiles(abi);
    attributes.handledAccessFs = kAbi1Rights | (abi >= 2 ? kRefer : 0) |
                                 (abi >= 3 ? kTruncate : 0) | (abi >= 5 ? kIoctlDev : 0);
    return raise(attributes, paths, count);
}

bool raiseLandlockScope()
{
    const long abi = landlockAbi();
    if (abi < 4) {
        errno = abi < 1 ? errno : EOPNOTSUPP;
        return false;
    }
    return raise(beyondFiles(abi), nullptr, 0);
}
