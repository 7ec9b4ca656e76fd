// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PICTURELIST_H
#define PICTURELIST_H

#include <QString>
#include <QStringList>

// The pictures of a folder as the thumbnail grid shows them. Stepping from one picture to the
// next uses the same listing, so that the two can never disagree about filters or order.

// How View › Sort By orders a folder's pictures. Pictures alike in the key go by name ignoring
// case, so that the order is total.
struct PictureOrder
{
    enum Key {
        Name,
        // The Exif date, once the dates of the whole folder are in (takendates.h); by the
        // modification date until then, and for a picture that records none.
        DateTaken,
        DateModified,
        Size,
    };
    // Ascending: A first, the oldest first, the smallest first.
    Key key = Name;
    bool reversed = false;

    bool operator==(const PictureOrder &other) const
    {
        return key == other.key && reversed == other.reversed;
    }
    bool operator!=(const PictureOrder &other) const { return !(*this == other); }
};

// "*." and each format that Qt reads, then "*." and each camera raw extension.
QStringList pictureNameFilters();

// The absolute paths of the readable, not hidden pictures of folder, in order.
QStringList pictureFiles(const QString &folder, const PictureOrder &order = {});

// The same paths, pictures of one folder, put in order.
QStringList orderedPictures(const QStringList &paths, const PictureOrder &order);

// The picture offset places away from path in its folder's listing (1 the next, -1 the
// previous); empty past either end. A path that is not listed (gone since, hidden, or not named
// like a picture) counts from where it would stand.
QString neighbourPicture(const QString &path, int offset, const PictureOrder &order = {});

// Whether the picture at first comes before the one at second, pictures of one folder.
bool comesBefore(const QString &first, const QString &second, const PictureOrder &order);

#endif
