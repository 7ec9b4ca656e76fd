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

// runCommand behind the walls of velmora-confine (src/decoder/confinement.h), for a program that
// reads untrusted files: the interpreter and what it runs may write only beneath folder, run
// only the system's programs and the one that tool names first on PATH, and reach no network,
// no other process and no display. A wall that cannot be raised fails the command. With
// VELMORA_NO_SANDBOX=1 in the environment it is runCommand, without any wall.
int runConfinedCommand(const QString &folder, const QString &tool, const QStringList &arguments,
                       int startTimeout = 30000, int finishTimeout = 30000);

// Ends every command running and refuses new ones from then on, for a process that is ending.
// Safe to call from a signal handler.
void endAllCommands();

// Whether commands on the calling thread are being ended: its stop was requested, or
// endAllCommands was called.
bool commandsEnded();
// Whether endAllCommands was called: the process is ending.
bool allCommandsEndedNow();

// What a decoder or dcraw said, as the viewer may print it: without the control characters
// (escape sequences among them) that a terminal would obey; tabs and line ends stay.
QString printable(const QString &text);

// Writes text, as printable leaves it, and a line end to standard output and flushes it. Lines
// written from several threads at once never mix.
void printLine(const QByteArray &text);

// Until it is called again with nullptr, printLine appends the lines it is given on the calling
// thread to lines instead of writing them: work done ahead of the user says what went wrong only
// when, and if, its result is used.
void holdPrintedLines(QList<QByteArray> *lines);

#endif
