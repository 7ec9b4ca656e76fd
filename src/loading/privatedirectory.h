// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PRIVATEDIRECTORY_H
#define PRIVATEDIRECTORY_H

#include <QString>

// The private folder that holds every temporary file of this process: velmora-XXXXXX, mode
// 0700, inside QDir::tempPath(). Made on first use and locked for its whole life, so that a
// later viewer can tell it from the leftovers of one that was killed. When the process exits,
// what it holds is removed and then the folder itself, but only while its name still names
// the very folder this process made: whatever else stands there is never touched.

// The folder's path; empty when no private folder can be made. A folder that a cleaner of old
// temporary files removed is made again under a fresh name; one that something else has
// replaced is left alone, and a fresh one is made and announced on standard output.
QString privateTempDirectory();

// A path in the private folder, not created: randomName, then "." and the extension. Empty
// when there is no private folder.
QString tempFilePath(const QString &extension);

// Reserves a temporary path for one load: <number>/<number>.<extension> in the private folder,
// the file name lower-cased, under a number that no other load of this process holds and that
// nothing in the private folder uses yet. The work folder <number>, mode 0700, is made; the file
// is not. A decoder confined to the work folder writes its outputs there, this load's alone.
// Empty when the private folder or the work folder cannot be made.
QString reserveTempFilePath(const QString &extension);

// Ends a reservation: removes the work folder with whatever is left in it, then frees the number.
void releaseTempFilePath(const QString &path);

// Removes the private folders of viewers that have ended without removing their own (killed,
// or a power cut): velmora-XXXXXX folders of QDir::tempPath() that are real folders, ours,
// of mode 0700 and not locked by a live viewer. Anything else is left as it is.
void removeStaleTempDirectories();

#endif
