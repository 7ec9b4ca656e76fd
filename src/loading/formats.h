// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FORMATS_H
#define FORMATS_H

#include <QStringList>

QStringList supportedFormats();
QStringList rawExtensions();
bool isRawFile(const QString &path);

#endif
