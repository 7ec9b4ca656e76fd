// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef JXLHANDLER_H
#define JXLHANDLER_H

#include <QImageIOHandler>

// Reads a JPEG XL file's first frame through libjxl, turned as the file says, in 8 or 16 bits a
// channel, with its alpha and its colour space.
class JxlHandler : public QImageIOHandler
{
public:
    bool canRead() const override;
    bool read(QImage *image) override;

    // Whether the device's content, from its current position, starts as JPEG XL does.
    static bool canRead(QIODevice *device);
};

#endif
