// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef HDRTONEMAP_H
#define HDRTONEMAP_H

#include <QImage>

// Pictures coded for HDR screens (BT.2100's PQ and HLG curves, as HEIF, AVIF and JPEG XL files
// carry them) shown on an ordinary one. Read as if they were SDR, their midtones come out washed
// out and their highlights clipped; tone-mapped, they keep their contrast within SDR's range.

enum class HdrTransfer {
    None,
    Pq,  // SMPTE ST 2084: absolute light, up to 10000 cd/m²
    Hlg, // ARIB STD-B67: relative light, here for a display of 1000 cd/m²
};

// The luminance weights of the red, green and blue of a picture's primaries.
struct LumaWeights
{
    double red;
    double green;
    double blue;
};
constexpr LumaWeights kBt2020Luma{0.2627, 0.6780, 0.0593};
constexpr LumaWeights kBt709Luma{0.2126, 0.7152, 0.0722};

// The picture's samples, coded with transfer, as linear light in which 1 is SDR white
// (203 cd/m², BT.2408's reference): light up to half of white stays as it is, brighter light is
// compressed by an extended Reinhard curve (x (1 + x / peak²) / (1 + x), on the distance above
// that knee) so that the brightest the curve can code reaches white. The curve acts on luminance,
// so that colours keep their hue; a colour still beyond white in one channel is scaled down as a
// whole. The result is 16 bits a channel, alpha kept, in the picture's own primaries: the caller
// gives it a linear colour space, which the usual conversion to sRGB then takes to the screen.
// Null when there is no memory for it.
QImage toneMapped(const QImage &picture, HdrTransfer transfer, const LumaWeights &luma);

#endif
