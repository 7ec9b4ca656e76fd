// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef ATTACKS_H
#define ATTACKS_H

#include <QByteArray>

// The attack build of the decoder (never installed) runs the attack VELMORA_ATTACK names right
// after its lock-down. One the kernel refuses or kills ends the decoder (the picture comes back
// null); one that succeeds lets it serve on. Targets: VELMORA_VICTIM and VELMORA_VIEWER (pids),
// VELMORA_ATTACK_PATH (a file), VELMORA_ATTACK_FD (an inherited descriptor);
// VELMORA_REFUSE_FILTER=1 has the kernel refuse the system call filter.
void attack(const QByteArray &name);

#endif
