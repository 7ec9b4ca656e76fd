#ifndef COMMAND_H
#define COMMAND_H

#include <QByteArray>
#include <QStringList>

// Runs arguments through the platform's command interpreter and returns its exit code,
// or -1 when it did not start or finish in time.
int runCommand(const QStringList &arguments, int startTimeout = 30000, int finishTimeout = 30000);

// Writes text and a line end to standard output and flushes it. Lines written from several
// threads at once never mix.
void printLine(const QByteArray &text);

#endif
