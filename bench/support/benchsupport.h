// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef BENCHSUPPORT_H
#define BENCHSUPPORT_H

#include <QImage>
#include <QList>
#include <QSize>
#include <QString>

// What the benchmarks share.

// The median of times; -1 when there are none.
double medianMs(QList<double> times);

// A photograph's worth of work for a JPEG coder: gradients and lines, not a flat area.
QImage photoLikePicture(const QSize &size);

// Encodes the picture in the file png as a HEIC file at heic, as a phone would (heif-enc of
// libheif-examples, quality 80); false when that fails.
bool writeHeic(const QString &png, const QString &heic);

#endif
