#ifndef LABELGEOMETRY_H
#define LABELGEOMETRY_H

#include <QRect>
#include <QSize>

// The picture pane's arithmetic, kept apart from the widgets so that it can be
// checked directly. Pixel values are computed in double precision and truncated.

// The size the image label takes inside a scroll area of areaSize.
QSize labelSize(const QSize &areaSize, const QSize &pictureSize, bool fitMode, double scale);

// Where a picture of pictureSize is drawn inside a label of labelSize.
QRect drawnRect(const QSize &labelSize, const QSize &pictureSize, bool fitMode, double scale);

// The scroll-bar value that keeps the visible centre in place after a zoom by factor.
int zoomedScrollValue(int value, int pageStep, double factor);

// Where a picture of pictureSize is printed on a page whose printable area is pageRect:
// as large as fits, proportions kept, at the area's top-left corner.
QRect printRect(const QRect &pageRect, const QSize &pictureSize);

#endif
