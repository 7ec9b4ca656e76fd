#ifndef LOADER_H
#define LOADER_H

#include <QImage>
#include <QString>

// Reads a picture; camera raw files go through dcraw. Null when nothing can be read.
QImage loadImage(const QString &path, bool thumbnail);

// Lets Qt read pictures of at least 200 megapixels while still refusing absurd sizes.
void raiseAllocationLimit();

#endif
