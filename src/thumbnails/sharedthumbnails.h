// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SHAREDTHUMBNAILS_H
#define SHAREDTHUMBNAILS_H

#include <QImage>
#include <QString>

// The thumbnails that other programs of the desktop keep for everyone, in the folder that the
// freedesktop.org thumbnail standard names: $XDG_CACHE_HOME/thumbnails, or ~/.cache/thumbnails.
// The viewer only reads them, as untrusted files through a decoder, and writes nothing there.

// The shared thumbnail of the picture at path, turned and in sRGB, when one can stand in for the
// thumbnail the viewer would make at devicePixelRatio: made from the file as it is now (its URI,
// modification time and size), large enough, and of a picture whose headers say it is in sRGB
// and unturned. Null otherwise, and always for camera raw files, whose thumbnails are their own
// previews. Reads through decoders, so not from the user-interface thread.
QImage sharedThumbnail(const QString &path, qreal devicePixelRatio);

#endif
