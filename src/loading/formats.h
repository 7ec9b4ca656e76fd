// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FORMATS_H
#define FORMATS_H

#include <QStringList>

// The formats the decoder process reads (its QImageReader::supportedImageFormats()), asked once;
// empty while no decoder can be asked.
QStringList supportedFormats();
QStringList rawExtensions();
bool isRawFile(const QString &path);

#endif
