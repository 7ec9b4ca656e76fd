// SPDX-License-Identifier: GPL-3.0-or-later
#include "tonemapping.h"

#include <QFloat16>
#include <QImage>

#include <cmath>
#include <vector>

namespace {

// Brighter than OpenEXR's half holds: infinities count as its largest value.
constexpr float kLargestHalf = 65504.0f;

float finite(float value)
{
    if (std::isnan(value))
        return 0.0f;
    return qBound(0.0f, value, kLargestHalf);
}

// The extended Reinhard operator on luminance: white maps to 1, and a picture whose white is 1
// keeps its values.
float reinhard(float luminance, float white)
{
    return luminance * (1.0f + luminance / (white * white)) / (1.0f + luminance);
}

// The sRGB encoding of linear light from 0 to 1, in 16 bits, for each 16-bit linear value.
std::vector<quint16> srgbEncoding()
{
    std::vector<quint16> table(65536);
    for (size_t i = 0; i < table.size(); ++i) {
        const double linear = double(i) / 65535.0;
        const double encoded =
            linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
        table[i] = quint16(std::lround(encoded * 65535.0));
    }
    return table;
}

} // namespace

std::array<float, 3> luminanceWeights(const QPointF primaries[4])
{
    double x[4], y[4];
    for (int i = 0; i < 4; ++i) {
        x[i] = primaries[i].x();
        y[i] = primaries[i].y();
    }
    double X[4], Z[4];
    for (int i = 0; i < 4; ++i) {
        X[i] = x[i] / y[i];
        Z[i] = (1 - x[i] - y[i]) / y[i];
    }
    // The primaries' strengths that add up to white, by Cramer's rule.
    const auto det = [](double a, double b, double c, double d, double e, double f, double g,
                        double h, double i) {
        return a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    };
    const double whole = det(X[0], X[1], X[2], 1, 1, 1, Z[0], Z[1], Z[2]);
    if (!std::isfinite(whole) || std::abs(whole) < 1e-9)
        return {0.2126f, 0.7152f, 0.0722f};
    return {float(det(X[3], X[1], X[2], 1, 1, 1, Z[3], Z[1], Z[2]) / whole),
            float(det(X[0], X[3], X[2], 1, 1, 1, Z[0], Z[3], Z[2]) / whole),
            float(det(X[0], X[1], X[3], 1, 1, 1, Z[0], Z[1], Z[3]) / whole)};
}

void toneMap(QImage &picture, const std::array<float, 3> &weights, bool alpha)
{
    const auto straight = [](const qfloat16 *pixel, float rgb[3]) {
        const float a = qBound(0.0f, finite(pixel[3]), 1.0f);
        for (int i = 0; i < 3; ++i)
            rgb[i] = a > 0.0f ? finite(pixel[i]) / a : 0.0f;
        return a;
    };
    const auto luminanceOf = [&weights](const float rgb[3]) {
        return weights[0] * rgb[0] + weights[1] * rgb[1] + weights[2] * rgb[2];
    };
    // White is the brightest pixel that holds numbers: one that holds an infinity is shown as
    // white, rather than taken for it, which would leave the rest black.
    float white = 1.0f;
    for (int y = 0; y < picture.height(); ++y) {
        const auto *pixel = reinterpret_cast<const qfloat16 *>(picture.constScanLine(y));
        for (int x = 0; x < picture.width(); ++x, pixel += 4) {
            if (!qIsFinite(pixel[0]) || !qIsFinite(pixel[1]) || !qIsFinite(pixel[2]) ||
                !qIsFinite(pixel[3]))
                continue;
            float rgb[3];
            straight(pixel, rgb);
            white = qMax(white, luminanceOf(rgb));
        }
    }
    const std::vector<quint16> encoding = srgbEncoding();
    for (int y = 0; y < picture.height(); ++y) {
        auto *pixel = reinterpret_cast<qfloat16 *>(picture.scanLine(y));
        auto *out = reinterpret_cast<quint16 *>(pixel);
        for (int x = 0; x < picture.width(); ++x, pixel += 4, out += 4) {
            float rgb[3];
            const float a = straight(pixel, rgb);
            const float luminance = luminanceOf(rgb);
            const float scale = luminance > 0.0f ? reinhard(luminance, white) / luminance : 0.0f;
            for (int i = 0; i < 3; ++i)
                out[i] = encoding[size_t(std::lround(qMin(1.0f, rgb[i] * scale) * 65535.0f))];
            out[3] = alpha ? quint16(std::lround(a * 65535.0f)) : quint16(0xffff);
        }
    }
}
