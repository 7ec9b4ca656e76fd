// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PSDHANDLER_H
#define PSDHANDLER_H

#include "sizedhandler.h"

// Reads the merged picture of a Photoshop file (psdfile.h), with its colour profile.
class PsdHandler : public SizedHandler
{
public:
    bool read(QImage *image) override;

protected:
    QSize headerSize(QIODevice *device) const override;
};

#endif
