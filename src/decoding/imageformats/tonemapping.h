// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef TONEMAPPING_H
#define TONEMAPPING_H

#include <QPointF>

#include <array>

class QImage;

// Linear light brighter than a screen's white, made fit to show.

// The weights that give the luminance of RGB in primaries (red, green, blue and white, as CIE
// xy chromaticities): the Y row of their RGB to XYZ matrix; Rec. 709's where they make none.
std::array<float, 3> luminanceWeights(const QPointF primaries[4]);

// Maps picture, halves of linear light (RGBA16FPx4, premultiplied by alpha), in place to 16-bit
// sRGB-encoded colours with straight alpha (RGBA64's layout; opaque when alpha is false), at
// exposure 0 by the extended Reinhard operator on luminance: L (1 + L / W²) / (1 + L), where W is
// the brightest luminance that holds numbers, and at least 1. Not-a-number counts as black, an
// infinity as the brightest a half holds.
void toneMap(QImage &picture, const std::array<float, 3> &weights, bool alpha);

#endif
