// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PROCESSES_H
#define PROCESSES_H

#include <QList>
#include <QString>

// Questions about running processes, answered from /proc (Linux).

// True while the process exists and is not a zombie, that is, while it can still do anything.
bool processRunning(qint64 pid);

// Children of this process, zombies included: a child that was never reaped is left behind too.
// The sandboxed decoders that wait for the next picture are the loader's, kept on purpose, and
// not counted unless they are zombies.
QList<qint64> childProcesses();

// The sandboxed decoders running as children of this process.
QList<qint64> decoderProcesses();

// Running processes other than this one whose command line contains text, such as a decoder
// still working on a file of the private temporary directory.
QList<qint64> processesMentioning(const QString &text);

// Writes an executable shell script.
bool writeScript(const QString &path, const QByteArray &body);

#endif
