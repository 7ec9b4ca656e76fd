// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef EXRHANDLER_H
#define EXRHANDLER_H

#include "wholefilehandler.h"

// Reads an OpenEXR file's first part through OpenEXR, scan lines or tiles, half, float or integer
// samples, RGB or luminance, with its alpha: the display window, with the data window's pixels in
// place, tone-mapped for the screen at exposure 0 by the extended Reinhard operator on luminance,
// whose white is the picture's brightest luminance (a picture that stays within 0 to 1 is shown
// unchanged). Colours keep the file's primaries (its chromaticities) in a 16-bit sRGB encoding.
// Its texts "DataWindow" and "Channels" describe the file for the information dock.
class ExrHandler : public WholeFileHandler
{
public:
    using WholeFileHandler::canRead;
    bool read(QImage *image) override;
    QVariant option(ImageOption option) const override;
    bool supportsOption(ImageOption option) const override;

    // Whether the device's content, from its current position, starts as OpenEXR does.
    static bool canRead(QIODevice *device);

protected:
    bool recognises(const QByteArray &bytes) const override;
    int signatureBytes() const override;
};

#endif
