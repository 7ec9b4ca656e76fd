// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef GAINMAP_H
#define GAINMAP_H

#include <QString>

// Whether the JPEG file at path carries an HDR gain map beside its ordinary (SDR) picture, which
// is what the viewer shows: the primary picture's XMP names the gain map's namespace (Ultra HDR)
// or its segments ISO 21496-1's, or a further picture that its Multi-Picture Format index lists
// does (Ultra HDR's and Apple's gain map pictures). Reads the segments' headers only; false for
// any other file, and for one that cannot be read.
bool hasHdrGainMap(const QString &path);

#endif
