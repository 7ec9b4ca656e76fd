// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SANDBOX_H
#define SANDBOX_H

// Locks the decoder down before it reads a byte of a picture: no new privileges, resource
// limits on memory and processor time, and a system call filter that kills the process on
// anything decoding does not need (opening files, sockets, running programs, signalling other
// processes, looking up names, ...). Everything loaded lazily (image plugins, library set-up)
// must be loaded before. False when the kernel refused any part of it: the decoder must then
// read no picture.
bool lockDown();

#endif
