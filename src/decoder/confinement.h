// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef CONFINEMENT_H
#define CONFINEMENT_H

// Runs a program that reads untrusted files (dcraw on a copy of a camera raw file) behind walls
// that leave it its work and nothing else:
// - no new privileges, an environment of PATH alone and HOME set to folder, folder as the working
//   folder, and no descriptor but standard input, output and error;
// - limits on processor time, memory, file size, open files and processes, and no core files;
// - its own process group, kept by the launcher, which stays and ends the whole group when the
//   viewer ends;
// - Landlock: it reads and runs only the system's programs and libraries and the file that tool
//   names first on PATH, reads a few files of /etc, and reads and writes only beneath folder; no
//   TCP, and no signal or abstract unix socket reaches outside;
// - a system call filter, applied last: no sockets, no tracing or reading other processes, no
//   signals to them, no new namespaces or leaving its process group, and none of the kernel's
//   less travelled interfaces (keys, BPF, performance counters, io_uring, faked terminal input,
//   memory files).
// Runs command[0], with command as its arguments, in a child; the calling process waits for it
// and ends as it ended. Returns (in the child) only when a wall cannot be raised or the program
// cannot be run, having said why on standard error: then nothing ran.
void runConfined(const char *folder, const char *tool, char **command);

#endif
