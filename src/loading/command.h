// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef COMMAND_H
#define COMMAND_H

#include <QByteArray>
#include <QList>
#include <QStringList>

// Runs arguments through the platform's command interpreter and returns its exit code,
// or -1 when it did not start or finish in time. The command is ended at once, with -1, when
// the calling thread is asked to stop (QThread::requestInterruption) or endAllCommands is
// called, and none starts after that. The interpreter, and the program it becomes with exec,
// never outlive this process.
int runCommand(const QStringList &arguments, int startTimeout = 30000, int finishTimeout = 30000);

// Ends every command running and refuses new ones from then on, for a process that is ending.
// Safe to call from a signal handler.
void endAllCommands();

// Whether commands on the calling thread are being ended: its stop was requested, or
// endAllCommands was called.
bool commandsEnded();

// Writes text and a line end to standard output and flushes it. Lines written from several
// threads at once never mix.
void printLine(const QByteArray &text);

// Until it is called again with nullptr, printLine appends the lines it is given on the calling
// thread to lines instead of writing them: work done ahead of the user says what went wrong only
// when, and if, its result is used.
void holdPrintedLines(QList<QByteArray> *lines);

#endif
