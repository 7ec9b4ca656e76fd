// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef TGAHANDLER_H
#define TGAHANDLER_H

#include "sizedhandler.h"

// Reads Truevision TGA files of every kind their header names: true colour (15, 16, 24 and 32
// bits), colour-mapped and greyscale, plain or run-length coded, stored from either corner.
// Qt's own reader takes only uncompressed true colour files of the format's second version.
class TgaHandler : public SizedHandler
{
public:
    bool read(QImage *image) override;

    // Whether the device's content, from its current position, has a TGA header this reader
    // takes. The format has no signature: only a plausible header tells.
    static bool canRead(QIODevice *device);

protected:
    QSize headerSize(QIODevice *device) const override;
};

#endif
