// SPDX-License-Identifier: GPL-3.0-or-later
#include "histogram.h"

namespace {

// The reduced copy's longer side.
constexpr int kReducedSide = 512;

// Rec. 709 weights, those of sRGB's primaries, in ten-thousandths.
constexpr int kRedWeight = 2126;
constexpr int kGreenWeight = 7152;
constexpr int kBlueWeight = 722;

} // namespace

Histogram histogramOf(const QImage &picture)
{
    Histogram histogram;
    if (picture.isNull())
        return histogram;
    QImage reduced = picture;
    if (picture.width() > kReducedSide || picture.height() > kReducedSide)
        reduced =
            picture.scaled(kReducedSide, kReducedSide, Qt::KeepAspectRatio, Qt::FastTransformation);
    reduced = reduced.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < reduced.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(reduced.constScanLine(y));
        for (int x = 0; x < reduced.width(); ++x) {
            const int r = qRed(line[x]);
            const int g = qGreen(line[x]);
            const int b = qBlue(line[x]);
            ++histogram.red[r];
            ++histogram.green[g];
            ++histogram.blue[b];
            ++histogram
                  .luminance[(r * kRedWeight + g * kGreenWeight + b * kBlueWeight + 5000) / 10000];
        }
    }
    return histogram;
}
