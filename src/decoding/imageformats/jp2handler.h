// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef JP2HANDLER_H
#define JP2HANDLER_H

#include "wholefilehandler.h"

#include <QSize>

// Reads a JPEG 2000 file (the JP2 container, its JPX extension, or a bare codestream) through
// OpenJPEG: grey or colour, with alpha, in 8 or 16 bits a channel, components stored at a
// fraction of the picture's resolution widened to it, with the file's colour profile. A scaled
// read decodes only the resolution levels it needs, the largest reduction by halves that still
// covers the size asked for, and scales what remains.
class Jp2Handler : public WholeFileHandler
{
public:
    using WholeFileHandler::canRead;
    bool read(QImage *image) override;
    QVariant option(ImageOption option) const override;
    void setOption(ImageOption option, const QVariant &value) override;
    bool supportsOption(ImageOption option) const override;

    // Whether the device's content, from its current position, starts as a JP2 file or a
    // JPEG 2000 codestream does.
    static bool canRead(QIODevice *device);

protected:
    bool recognises(const QByteArray &bytes) const override;
    int signatureBytes() const override;

private:
    QSize scaledSize;
};

#endif
