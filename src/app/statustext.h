// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef STATUSTEXT_H
#define STATUSTEXT_H

#include <QSize>
#include <QString>

// The status bar's line for the shown picture: its file name, its size in pixels and the zoom
// at which it is drawn, scale, as a percentage of the screen's device pixels (100% is one pixel
// of the picture to one of the screen), after "fit" while fitted: "beach.jpg    4000 × 3000
// 25%", "beach.jpg    4000 × 3000    fit 37%". A picture shown reduced names its own size
// first: "pano.jpg    20000 × 14000, shown reduced to 10000 × 7000    fit 5%", and its
// percentage counts the file's pixels (50% when scale is 1).
QString pictureStatus(const QString &path, const QSize &size, bool fitMode, double scale,
                      const QSize &originalSize = QSize());

#endif
