// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PSDHANDLER_H
#define PSDHANDLER_H

#include <QImageIOHandler>

// Reads the merged picture of a Photoshop file (psdfile.h), with its colour profile.
class PsdHandler : public QImageIOHandler
{
public:
    bool canRead() const override;
    bool read(QImage *image) override;
    bool supportsOption(ImageOption option) const override;
    QVariant option(ImageOption option) const override;
};

#endif
