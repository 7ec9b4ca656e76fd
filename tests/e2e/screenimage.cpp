// SPDX-License-Identifier: GPL-3.0-or-later
#include "screenimage.h"

#include <QHash>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

// Below this in every channel a pixel counts as the pane's black.
constexpr int kNearBlack = 48;
// Text is drawn in black and anti-aliased; its core pixels stay below this in every channel.
constexpr int kInk = 110;
// The selection highlight is a strong colour; grey, white and black are not.
constexpr int kHighlightSaturation = 100;
constexpr int kHighlightValue = 100;
// A highlighted row holds at least this many highlight pixels; a thin focus frame does not.
constexpr int kHighlightRun = 40;
// A mark on the highlight (expansion mark, text) differs this much from the highlight colour.
constexpr int kMarkContrast = 60;

bool isHighlight(QRgb pixel)
{
    const QColor colour(pixel);
    return colour.hsvSaturation() >= kHighlightSaturation && colour.value() >= kHighlightValue;
}

template <typename Predicate>
QRect boundsWhere(const QImage &image, const QRect &area, Predicate matches)
{
    const QRect clipped = area & image.rect();
    int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            if (!matches(image.pixel(x, y)))
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    return left == INT_MAX ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

template <typename Predicate>
int countWhere(const QImage &image, const QRect &area, Predicate matches)
{
    const QRect clipped = area & image.rect();
    int count = 0;
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            count += matches(image.pixel(x, y)) ? 1 : 0;
    return count;
}

} // namespace

bool looksLike(QRgb pixel, const QColor &colour, int tolerance)
{
    return std::abs(qRed(pixel) - colour.red()) <= tolerance &&
           std::abs(qGreen(pixel) - colour.green()) <= tolerance &&
           std::abs(qBlue(pixel) - colour.blue()) <= tolerance;
}

QRect colourBounds(const QImage &image, const QRect &area, const QColor &colour)
{
    return boundsWhere(image, area, [&colour](QRgb p) { return looksLike(p, colour); });
}

int colourCount(const QImage &image, const QRect &area, const QColor &colour)
{
    return countWhere(image, area, [&colour](QRgb p) { return looksLike(p, colour); });
}

int inkCount(const QImage &image, const QRect &area)
{
    return countWhere(image, area,
                      [](QRgb p) { return qRed(p) < kInk && qGreen(p) < kInk && qBlue(p) < kInk; });
}

QRect brightBounds(const QImage &image, const QRect &area)
{
    return boundsWhere(image, area, [](QRgb p) {
        return qRed(p) > kNearBlack || qGreen(p) > kNearBlack || qBlue(p) > kNearBlack;
    });
}

QRect plainSpan(const QImage &image, const QPoint &seed)
{
    if (!image.rect().contains(seed))
        return QRect();
    const QRgb colour = image.pixel(seed);
    int left = seed.x(), right = seed.x(), top = seed.y(), bottom = seed.y();
    while (left > 0 && image.pixel(left - 1, seed.y()) == colour)
        --left;
    while (right + 1 < image.width() && image.pixel(right + 1, seed.y()) == colour)
        ++right;
    while (top > 0 && image.pixel(seed.x(), top - 1) == colour)
        --top;
    while (bottom + 1 < image.height() && image.pixel(seed.x(), bottom + 1) == colour)
        ++bottom;
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

SelectedRow selectedRow(const QImage &image, const QRect &area)
{
    const QRect clipped = area & image.rect();
    SelectedRow row;
    int top = -1, bottom = -1;
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        const bool highlighted = countWhere(image, QRect(clipped.left(), y, clipped.width(), 1),
                                            isHighlight) >= kHighlightRun;
        if (highlighted && top < 0)
            top = y;
        if (highlighted)
            bottom = y;
        else if (top >= 0)
            break;
    }
    if (top < 0)
        return row;
    row.band = QRect(clipped.left(), top, clipped.width(), bottom - top + 1);
    row.look = image.copy(row.band);

    // The highlight's own colour is the commonest strong colour of the band; its left end is
    // where the row begins.
    QHash<QRgb, int> votes;
    int highlightLeft = INT_MAX;
    for (int y = top; y <= bottom; ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (isHighlight(p)) {
                ++votes[p];
                highlightLeft = std::min(highlightLeft, x);
            }
        }
    }
    const QRgb highlight =
        std::max_element(votes.cbegin(), votes.cend(), [](int a, int b) { return a < b; }).key();
    const QRect marks = boundsWhere(
        image, QRect(QPoint(highlightLeft, top), QPoint(clipped.right(), bottom)),
        [highlight](QRgb p) { return !looksLike(p, QColor(highlight), kMarkContrast); });
    row.indent = marks.isNull() ? -1 : marks.left() - clipped.left();
    return row;
}
