#ifndef PATHS_H
#define PATHS_H

#include <QString>

class QFile;

bool deleteFile(const QString &path);
QString pathDirectory(const QString &path);
QString pathFileName(const QString &path);
QString pathExtension(const QString &path);
QString pathBaseName(const QString &path);
QString pathWithSuffix(const QString &path, const QString &suffix);
QString randomName();
QString tempFilePath(const QString &extension);
bool copyFile(const QString &source, const QString &target);

// Opens the file that file names for reading, but only when it is a regular file (links
// followed). Never blocks: a FIFO would hold the open until some writer came, and a device
// such as /dev/zero never ends, so neither is a picture.
bool openRegularFile(QFile &file);

// The directory (mode 0700, inside QDir::tempPath()) that holds every temporary file of this
// process. Made on first use, made again if it was removed, and removed with its content when the
// process exits; empty when it cannot be made or something else stands in its place.
QString privateTempDirectory();

// Reserves a temporary path for one load: tempFilePath's form with the file name lower-cased,
// under a number that no other load of this process holds and that no file in the private
// directory uses yet, so that the decoder outputs named after it are this load's alone.
// Empty when the private directory cannot be made.
QString reserveTempFilePath(const QString &extension);

// Ends a reservation: removes whatever is still left under the path's number, then frees it.
void releaseTempFilePath(const QString &path);

#endif
