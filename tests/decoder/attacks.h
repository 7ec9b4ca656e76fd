// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef ATTACKS_H
#define ATTACKS_H

#include <QByteArray>

// The attack build of the decoder (never installed): right after the lock-down it runs the
// attack that VELMORA_ATTACK names, as code of a library taken over by a hostile file would.
// An attack the kernel refuses with an error ends the decoder at once, and one the filter kills
// ends it too: either way the picture comes back null. One that succeeds lets the decoder serve
// on, and the picture loads. Attacks meant for after an answer run in a thread a moment later.
//
// What they aim at: VELMORA_VICTIM, the process id of a bystander; VELMORA_VIEWER, the
// viewer's; VELMORA_ATTACK_PATH, a file of the user's; VELMORA_ATTACK_FD, a descriptor the
// decoder inherited.
void attack(const QByteArray &name);

#endif
