// SPDX-License-Identifier: GPL-3.0-or-later
// velmora-confine <folder> <tool> <program> [arguments...]: runs program confined to folder
// (confinement.h), where tool names the one program beyond the system's that may run: the
// viewer's way of running dcraw. A program of its own rather than a mode of the decoder: it
// starts in a millisecond, where the decoder's libraries take many.
#include "confinement.h"

#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc < 4)
        return 2;
    runConfined(argv[1], argv[2], argv + 3);
    // Without the exit handlers: a leak checker's would trace the process, which the filter
    // forbids.
    ::_exit(126);
}
