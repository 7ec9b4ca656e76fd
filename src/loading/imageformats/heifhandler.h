// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef HEIFHANDLER_H
#define HEIFHANDLER_H

#include <QByteArray>
#include <QImageIOHandler>
#include <QSize>

// Reads the primary picture of a HEIF file (HEIC, AVIF) through libheif, turned, mirrored and
// cropped as the container says, in 8 or 16 bits a channel, with its alpha and its colour space.
// A scaled read takes the file's stored thumbnail when it is at least as large as asked and shows
// the same picture, turned and cropped alike; whatever it reads, it delivers the picture's
// proportions as shown.
class HeifHandler : public QImageIOHandler
{
public:
    bool canRead() const override;
    bool read(QImage *image) override;
    QVariant option(ImageOption option) const override;
    void setOption(ImageOption option, const QVariant &value) override;
    bool supportsOption(ImageOption option) const override;

    // Whether the device's content, from its current position, is a HEIF file libheif decodes.
    static bool canRead(QIODevice *device);

private:
    const QByteArray &fileData() const;

    QSize scaledSize;
    mutable QByteArray data;
    mutable bool dataRead = false;
};

#endif
