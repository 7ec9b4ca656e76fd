// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PICTURELIST_H
#define PICTURELIST_H

#include <QString>
#include <QStringList>

// The pictures of a folder as the thumbnail grid shows them. Stepping from one picture to the
// next uses the same listing, so that the two can never disagree about filters or order.

// "*." and each format that Qt reads, then "*." and each camera raw extension.
QStringList pictureNameFilters();

// The absolute paths of the readable, not hidden pictures of folder, by name ignoring case.
QStringList pictureFiles(const QString &folder);

// The picture offset places away from path in its folder's listing (1 the next, -1 the
// previous); empty past either end. A path that is not listed (gone since, hidden, or not named
// like a picture) counts from where its name would stand.
QString neighbourPicture(const QString &path, int offset);

#endif
