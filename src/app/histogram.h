// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef HISTOGRAM_H
#define HISTOGRAM_H

#include <QImage>

#include <array>

// How many pixels of a picture have each level, 0 to 255, of red, green, blue and luminance.
struct Histogram
{
    using Counts = std::array<int, 256>;
    Counts red{};
    Counts green{};
    Counts blue{};
    Counts luminance{};
};

// The histogram of picture, counted on a reduced copy of at most about a quarter of a megapixel:
// the shape is the same, and a picture of any size takes a few milliseconds. For a worker thread.
Histogram histogramOf(const QImage &picture);

#endif
