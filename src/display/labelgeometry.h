// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef LABELGEOMETRY_H
#define LABELGEOMETRY_H

#include <QPoint>
#include <QRect>
#include <QRectF>
#include <QSize>

// The picture pane's arithmetic, kept apart from the widgets so that it can be
// checked directly. Pixel values are computed in double precision and truncated.
// A scale counts the picture's pixels per device pixel: at 1 each pixel of the picture is one
// pixel of the screen, whatever the screen's ratio of device pixels to logical ones.

// The label is two pixels smaller than the scroll area on each axis it does not overflow, the
// area's frame, so that the area shows no scroll bar for it.
constexpr int kLabelMargin = 2;

// The size the image label takes inside a scroll area of areaSize, on a screen of ratio.
QSize labelSize(const QSize &areaSize, const QSize &pictureSize, bool fitMode, double scale,
                qreal ratio = 1);

// Where a picture of pictureSize is drawn inside a label of labelSize, both in device pixels.
QRect drawnRect(const QSize &labelSize, const QSize &pictureSize, bool fitMode, double scale);

// Where a picture of pictureSize is drawn inside a label of labelSize (logical pixels) on a
// screen of ratio: on whole device pixels, so that at scale 1 no pixel of the picture is
// stretched over two of the screen's.
QRectF drawnArea(const QSize &labelSize, const QSize &pictureSize, bool fitMode, double scale,
                 qreal ratio);

// The scale at which a fitted picture of pictureSize is drawn in a scroll area of areaSize.
double fittedScale(const QSize &areaSize, const QSize &pictureSize, qreal ratio = 1);

// The scroll-bar value that keeps the visible centre in place after a zoom by factor.
int zoomedScrollValue(int value, int pageStep, double factor);

// The scroll-bar values that keep the picture point under anchor (a point of the viewport) under
// it when the picture, drawn at before in the label while the bars stood at values, comes to be
// drawn at after: zooming at the pointer rather than at the centre.
QPoint anchoredScrollValues(const QPoint &values, const QPoint &anchor, const QRectF &before,
                            const QRectF &after);

// The scroll-bar values while a drag pans the picture: the point under the pointer at the press
// (where the bars stood at startValues) stays under it as it moves from pressed to now.
QPoint pannedScrollValues(const QPoint &startValues, const QPoint &pressed, const QPoint &now);

// The whole wheel notches in what pending holds plus angleDelta (in eighths of a degree),
// positive away from the user; pending keeps the rest, so that a wheel or touchpad reporting
// in finer steps zooms once for each notch's worth.
int wheelNotches(int *pending, int angleDelta);

// Where a picture of pictureSize is printed on a page whose printable area is pageRect:
// as large as fits, proportions kept, at the area's top-left corner.
QRect printRect(const QRect &pageRect, const QSize &pictureSize);

#endif
