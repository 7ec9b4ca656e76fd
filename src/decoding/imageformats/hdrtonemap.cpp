// SPDX-License-Identifier: GPL-3.0-or-later
#include "hdrtonemap.h"

#include <QRgba64>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kSdrWhite = 203;       // cd/m²
constexpr double kPqPeak = 10000;       // cd/m², the most PQ codes
constexpr double kHlgPeak = 1000;       // cd/m², the display HLG is shown on here
constexpr double kHlgSystemGamma = 1.2; // BT.2100's, for a display of 1000 cd/m²
// Light below this share of SDR white is left as it is: the picture's shadows and midtones.
constexpr double kKnee = 0.5;
constexpr int kLevels = 65536;

// SMPTE ST 2084's EOTF: a coded value in [0, 1] as cd/m².
double pqToNits(double coded)
{
    constexpr double m1 = 2610.0 / 16384;
    constexpr double m2 = 2523.0 / 4096 * 128;
    constexpr double c1 = 3424.0 / 4096;
    constexpr double c2 = 2413.0 / 4096 * 32;
    constexpr double c3 = 2392.0 / 4096 * 32;
    const double p = std::pow(coded, 1 / m2);
    return kPqPeak * std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1 / m1);
}

// BT.2100's inverse HLG OETF: a coded value in [0, 1] as scene light in [0, 1].
double hlgToScene(double coded)
{
    constexpr double a = 0.17883277;
    constexpr double b = 1 - 4 * a;
    const double c = 0.5 - a * std::log(4 * a);
    return coded <= 0.5 ? coded * coded / 3 : (std::exp((coded - c) / a) + b) / 12;
}

// The extended Reinhard curve above the knee; peak (in units of SDR white) goes to 1.
double compressed(double light, double peak)
{
    if (light <= kKnee)
        return light;
    const double x = (light - kKnee) / (1 - kKnee);
    const double top = (peak - kKnee) / (1 - kKnee);
    return kKnee + (1 - kKnee) * x * (1 + x / (top * top)) / (1 + x);
}

// Each 16-bit code as linear light: in units of SDR white for PQ, as scene light for HLG.
std::vector<float> decodingTable(HdrTransfer transfer)
{
    std::vector<float> table(kLevels);
    for (int v = 0; v < kLevels; ++v) {
        const double coded = double(v) / (kLevels - 1);
        table[size_t(v)] =
            float(transfer == HdrTransfer::Pq ? pqToNits(coded) / kSdrWhite : hlgToScene(coded));
    }
    return table;
}

} // namespace

QImage toneMapped(const QImage &picture, HdrTransfer transfer, const LumaWeights &luma)
{
    if (transfer == HdrTransfer::None)
        return picture;
    const bool premultiplied = picture.format() == QImage::Format_RGBA64_Premultiplied;
    QImage mapped = picture.convertToFormat(
        premultiplied
            ? QImage::Format_RGBA64_Premultiplied
            : (picture.hasAlphaChannel() ? QImage::Format_RGBA64 : QImage::Format_RGBX64));
    if (mapped.isNull())
        return QImage();
    const std::vector<float> table = decodingTable(transfer);
    const double peak = (transfer == HdrTransfer::Pq ? kPqPeak : kHlgPeak) / kSdrWhite;
    const auto level = [](double v) {
        return quint16(std::lround(std::clamp(v, 0.0, 1.0) * 65535));
    };
    for (int y = 0; y < mapped.height(); ++y) {
        auto *pixel = reinterpret_cast<QRgba64 *>(mapped.scanLine(y));
        for (int x = 0; x < mapped.width(); ++x) {
            const QRgba64 coded = premultiplied ? pixel[x].unpremultiplied() : pixel[x];
            double rgb[3] = {table[coded.red()], table[coded.green()], table[coded.blue()]};
            const auto luminance = [&] {
                return luma.red * rgb[0] + luma.green * rgb[1] + luma.blue * rgb[2];
            };
            if (transfer == HdrTransfer::Hlg) {
                // The OOTF: scene light as the display shows it, in units of SDR white.
                const double scale = kHlgPeak / kSdrWhite *
                                     std::pow(std::max(luminance(), 0.0), kHlgSystemGamma - 1);
                for (double &c : rgb)
                    c *= scale;
            }
            const double light = luminance();
            const double gain = light > 0 ? compressed(light, peak) / light : 0;
            const double brightest = std::max({rgb[0] * gain, rgb[1] * gain, rgb[2] * gain, 1.0});
            QRgba64 out = QRgba64::fromRgba64(level(rgb[0] * gain / brightest),
                                              level(rgb[1] * gain / brightest),
                                              level(rgb[2] * gain / brightest), coded.alpha());
            pixel[x] = premultiplied ? out.premultiplied() : out;
        }
    }
    return mapped;
}
