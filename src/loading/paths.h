// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PATHS_H
#define PATHS_H

// The private folder's helpers live in their own unit; callers of the temporary-file helpers
// find them through this header too.
#include "privatedirectory.h"

#include <QString>

class QFile;

bool deleteFile(const QString &path);
QString pathDirectory(const QString &path);
QString pathFileName(const QString &path);
QString pathExtension(const QString &path);
QString pathBaseName(const QString &path);
QString pathWithSuffix(const QString &path, const QString &suffix);
// randomName's numbers, and every other temporary name number, are below this.
constexpr quint32 kNameRange = 1000000;
QString randomName();
// The largest file copied: a raw file is a few hundred megabytes at most.
constexpr qint64 kMostCopiedBytes = qint64(4) << 30;
// Copies the regular file source (openRegularFile) to the new file target, at most the size
// source had when the copy started and at most mostBytes; false, with no target left, when it
// is larger or changes meanwhile.
bool copyFile(const QString &source, const QString &target, qint64 mostBytes = kMostCopiedBytes);

// Opens the file that file names for reading, but only when it is a regular file (links
// followed) on an ordinary file system, asked of the opened file, not of its name. Never blocks:
// a FIFO would hold the open until some writer came, and a device such as /dev/zero never ends,
// so neither is a picture; nor is anything in /proc, /sys or /dev, whose files hold a process's
// memory and environment.
bool openRegularFile(QFile &file);

// A process that may open nothing (the sandboxed decoder) is handed its files open instead:
// until it is called again with -1, openRegularFile serves name from a duplicate of descriptor,
// so that the readers that take a path read the handed file.
void handOverFile(const QString &name, int descriptor);

#endif
