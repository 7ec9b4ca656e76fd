#ifndef LOADER_H
#define LOADER_H

#include <QImage>
#include <QString>
#include <QStringList>

// Reads a picture; camera raw files go through dcraw. Null when nothing can be read.
QImage loadImage(const QString &path, bool thumbnail);

// Lets Qt read pictures of at least 200 megapixels while still refusing absurd sizes.
void raiseAllocationLimit();

// The interpreter arguments that run dcraw with option ("-e" or "-T") on the file at path.
QStringList decoderArguments(const QString &option, const QString &path);

#endif
