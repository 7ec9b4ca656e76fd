// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef HEIFHANDLER_H
#define HEIFHANDLER_H

#include <QByteArray>
#include <QImageIOHandler>
#include <QSize>

// Reads the primary picture of a HEIF file (HEIC, AVIF) through libheif, turned, mirrored and
// cropped as the container says, in 8 or 16 bits a channel, with its alpha and its colour space.
// The size it states is libheif's: for a file that records it as the standard says, the coded
// picture's, before its turn and crop; for one libheif wrote, the shown one. Only the decoder
// tells which, so a scaled read, asked for at a fraction of that size, delivers the proportions
// the picture is shown with, either way round. It takes the file's stored thumbnail when that is
// at least as large as asked and shows the same picture, turned and cropped alike.
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
    // The kind of HEIF file the device's content is, by its brands: "avif" (AV1), "heic" (HEVC)
    // or "heif" (a file that names no codec); empty when it is none.
    static QByteArray kind(QIODevice *device);

private:
    const QByteArray &fileData() const;

    QSize scaledSize;
    mutable QByteArray data;
    mutable bool dataRead = false;
};

#endif
