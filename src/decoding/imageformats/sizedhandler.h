// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SIZEDHANDLER_H
#define SIZEDHANDLER_H

#include <QImageIOHandler>

// A reader of a format whose header gives the picture's size: it reads what has a header it
// takes, and tells the size before reading, as Qt's reader and the allocation limit ask.
class SizedHandler : public QImageIOHandler
{
public:
    bool canRead() const override;
    bool supportsOption(ImageOption option) const override;
    QVariant option(ImageOption option) const override;

protected:
    // The size that the header on device, from its current position, gives; invalid for a
    // header this reader does not take.
    virtual QSize headerSize(QIODevice *device) const = 0;
};

#endif
