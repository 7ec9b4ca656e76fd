// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef HEIFBOXES_H
#define HEIFBOXES_H

#include <QByteArray>
#include <QList>

// The properties that change how an item of the HEIF file in file is shown: its rotation
// ("irot"), mirror ("imir") and crop ("clap"), each as its type followed by its content, in the
// order they apply. Read from the file's own boxes: libheif applies them when it decodes, but
// does not say which an item has, and the size it states may be the picture's before or after
// them. Empty when the item has none, or the file's description cannot be read.
QList<QByteArray> shownTransformations(const QByteArray &file, quint32 item);

#endif
