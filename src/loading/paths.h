#ifndef PATHS_H
#define PATHS_H

#include <QString>

bool deleteFile(const QString &path);
QString pathDirectory(const QString &path);
QString pathFileName(const QString &path);
QString pathExtension(const QString &path);
QString pathBaseName(const QString &path);
QString pathWithSuffix(const QString &path, const QString &suffix);
QString randomName();
QString tempFilePath(const QString &extension);
bool copyFile(const QString &source, const QString &target);

#endif
