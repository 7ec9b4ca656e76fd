// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PCXHANDLER_H
#define PCXHANDLER_H

#include "sizedhandler.h"

// Reads ZSoft PCX files: one-bit, 2- and 4-bit packed or 16-colour planar ones with the
// header's palette, 256 colours with the palette at the file's end, and 24-bit RGB or 32-bit
// RGBA in planes.
class PcxHandler : public SizedHandler
{
public:
    bool read(QImage *image) override;

    // Whether the device's content, from its current position, starts as a PCX file does.
    static bool canRead(QIODevice *device);

protected:
    QSize headerSize(QIODevice *device) const override;
};

#endif
