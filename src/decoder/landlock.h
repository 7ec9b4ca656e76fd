// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LANDLOCK_H
#define LANDLOCK_H

#include <cstddef>

// Landlock, the kernel's access control for unprivileged processes: a wall that a process raises
// around itself and every program it runs afterwards, and that none of them can lower again.

// What the wall lets through beneath a path: a folder and everything in it, or one file.
struct LandlockPath
{
    enum Access {
        Read,        // read files, list folders
        ReadExecute, // read, and run programs
        // read and write; make and remove files, folders, links and FIFOs (no devices or
        // sockets); run nothing
        ReadWrite
    };
    const char *path;
    Access access;
};

// Raises a wall around the calling thread and what it runs later (so: before starting threads).
// Behind it, files may be opened only as the count paths grant (none: no file at all), no TCP port
// may be bound or connected to (Landlock ABI 4 and later), and signals and abstract unix sockets
// reach nothing outside the wall (ABI 6 and later); what an older kernel cannot enforce is left
// out. Needs PR_SET_NO_NEW_PRIVS set before. Returns false, with errno set and nothing raised,
// when the kernel has no Landlock or a path cannot be opened.
bool raiseLandlockWall(const LandlockPath *paths, std::size_t count);

// The same wall without a word about files: no TCP, and signals and abstract unix sockets only
// within (ABI 4 and 6 and later). Returns false, with errno set, when the kernel has none of it
// (EOPNOTSUPP for a Landlock too old, as for none).
bool raiseLandlockScope();

#endif
