// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SCREENIMAGE_H
#define SCREENIMAGE_H

#include <QColor>
#include <QImage>
#include <QRect>

// Reading a grab of the screen the way a user looks at it: colours told apart within a
// tolerance, the extent of a coloured area, text as dark marks, the highlighted row of a list.

// How far each channel may stray from a colour that a user would still call the same:
// enough for JPEG compression and for the decoder's rendering of a plain colour.
constexpr int kColourTolerance = 40;

// True when every channel of pixel lies within tolerance of colour's.
bool looksLike(QRgb pixel, const QColor &colour, int tolerance = kColourTolerance);

// The smallest rectangle of area that holds every pixel looking like colour; null when none does.
QRect colourBounds(const QImage &image, const QRect &area, const QColor &colour);

// How many pixels of area look like colour.
int colourCount(const QImage &image, const QRect &area, const QColor &colour);

// How many pixels of area are dark marks, such as text on a light background.
int inkCount(const QImage &image, const QRect &area);

// The smallest rectangle of area that holds every pixel brighter than near-black: a picture drawn
// on the picture pane's black background. Null when there is none.
QRect brightBounds(const QImage &image, const QRect &area);

// The largest span of one plain colour through seed: left and right along seed's row, up and
// down along its column. Used to find the empty picture pane by its background.
QRect plainSpan(const QImage &image, const QPoint &seed);

// The highlighted (selected) row of a list or tree inside area: the first run of rows that hold
// a long stretch of strongly coloured pixels. look is the row's picture, so that any change of
// the row, such as a turned expansion mark, can be noticed; indent is the distance from area's
// left edge to the first mark drawn on the highlight (the expansion mark or the text), which
// grows with the depth of a tree entry. A null band when nothing is highlighted.
struct SelectedRow
{
    QRect band;
    int indent = -1;
    QImage look;
};
SelectedRow selectedRow(const QImage &image, const QRect &area);

#endif
