// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PSDFILE_H
#define PSDFILE_H

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QSize>

class QIODevice;

// The merged picture that every Photoshop file (.psd, and .psb for large documents) carries
// after its layers, which are not composed here: channel by channel, as stored.
struct PsdComposite
{
    enum Mode {
        Bitmap = 0,
        Grey = 1,
        Indexed = 2,
        Rgb = 3,
        Cmyk = 4,
        Multichannel = 7,
        Duotone = 8,
        Lab = 9
    };

    QSize size;
    int mode = Rgb;
    int depth = 8;       // bits a sample: 1 (bitmap), 8, 16, or 32 (floats, linear light)
    bool alpha = false;  // the channel after the colours is the merged transparency
    bool matted = false; // the colours are blended with white where the alpha is partial
    QByteArray profile;  // the embedded ICC profile, if any
    QByteArray palette;  // Indexed: 256 reds, then 256 greens, then 256 blues
    int transparentIndex = -1;
    // The colour channels, then the alpha one: rows of ((width × depth + 7) / 8) big-endian
    // bytes, unpadded.
    QList<QByteArray> planes;

    int colourChannels() const;
    qsizetype rowBytes() const;
};

// Whether the device's content, from its current position, starts as a Photoshop file does.
bool isPsd(QIODevice *device);

// Reads the header of the file on device: size, mode and depth, and leaves the device where it
// was. False for no Photoshop file or one this reader cannot show.
bool readPsdHeader(QIODevice *device, PsdComposite &psd);

// Reads the whole composite, or all but its planes; false when the file is no Photoshop file, is
// truncated, breaks its own counts, or would need more memory than Qt's allocation limit.
bool readPsd(QIODevice *device, PsdComposite &psd, bool withPlanes = true);

// The composite as Qt pictures hold it: 8 bits a channel for 8-bit files, 16 for deeper ones
// (32-bit floats encoded as sRGB), CMYK by the naive formula that Qt uses for CMYK JPEGs (the
// print profile path corrects it), Lab through LittleCMS. Null when it cannot be allocated.
QImage psdToImage(const PsdComposite &psd);

// A CMYK composite's ink values as four bytes a pixel, unpadded rows, stored as Adobe stores
// them (255 is no ink); empty for other modes.
QByteArray psdInk(const PsdComposite &psd);

#endif
