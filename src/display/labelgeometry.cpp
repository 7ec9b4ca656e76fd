// SPDX-License-Identifier: GPL-3.0-or-later
#include "labelgeometry.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>

namespace {

// The logical pixels that hold length device pixels: rounded up, so that the last device pixel
// is not cut off, but not for the last bits of a division that is exact on paper.
int logicalLength(int length, qreal ratio)
{
    return int(std::ceil(length / ratio - 1e-9));
}

QSize deviceSize(const QSize &logical, qreal ratio)
{
    return QSize(int(logical.width() * ratio + 1e-9), int(logical.height() * ratio + 1e-9));
}

int scaledLength(int areaLength, int pictureLength, double scale, qreal ratio)
{
    const int scaled = logicalLength(int(scale * pictureLength), ratio);
    const int available = areaLength - kLabelMargin;
    // Compare with the space the label gets, not with the area: a label narrower than the
    // drawn picture would lose the picture's last columns.
    return std::max(scaled, available);
}

// One notch of a standard mouse wheel: 15 degrees in eighths of a degree.
constexpr int kWheelNotch = 120;

// One axis of anchoredScrollValues: where the label must start so that the point of the picture
// at anchor stays there.
int anchoredValue(int value, int anchor, double start, double length, double newStart,
                  double newLength)
{
    if (length <= 0)
        return value;
    const double along = double(value + anchor - start) / length;
    return qRound(newStart + along * newLength - anchor);
}

int centred(int outer, int inner)
{
    return inner < outer ? (outer - inner) / 2 : 0;
}

} // namespace

QSize labelSize(const QSize &areaSize, const QSize &pictureSize, bool fitMode, double scale,
                qreal ratio)
{
    if (fitMode)
        return QSize(areaSize.width() - kLabelMargin, areaSize.height() - kLabelMargin);
    return QSize(scaledLength(areaSize.width(), pictureSize.width(), scale, ratio),
                 scaledLength(areaSize.height(), pictureSize.height(), scale, ratio));
}

QRect drawnRect(const QSize &labelSize, const QSize &pictureSize, bool fitMode, double scale)
{
    const int pw = pictureSize.width();
    const int ph = pictureSize.height();
    if (pw <= 0 || ph <= 0)
        return QRect();

    int w;
    int h;
    if (!fitMode) {
        w = int(scale * pw);
        h = int(scale * ph);
    } else {
        // Fill the limiting side so that the whole picture stays visible.
        const double ratio = double(pw) / ph;
        const double labelRatio = double(labelSize.width()) / labelSize.height();
        if (ratio > labelRatio || (ratio == labelRatio && pw > ph)) {
            w = labelSize.width();
            h = int(labelSize.width() / ratio);
        } else {
            h = labelSize.height();
            w = int(ratio * labelSize.height());
        }
    }
    return QRect(centred(labelSize.width(), w), centred(labelSize.height(), h), w, h);
}

QRectF drawnArea(const QSize &labelSize, const QSize &pictureSize, bool fitMode, double scale,
                 qreal ratio)
{
    const QRect drawn = drawnRect(deviceSize(labelSize, ratio), pictureSize, fitMode, scale);
    return QRectF(drawn.x() / ratio, drawn.y() / ratio, drawn.width() / ratio,
                  drawn.height() / ratio);
}

double fittedScale(const QSize &areaSize, const QSize &pictureSize, qreal ratio)
{
    if (pictureSize.isEmpty())
        return 1.0;
    const QSize label = deviceSize(labelSize(areaSize, pictureSize, true, 1.0), ratio);
    return std::min(double(label.width()) / pictureSize.width(),
                    double(label.height()) / pictureSize.height());
}

int zoomedScrollValue(int value, int pageStep, double factor)
{
    return int(factor * value + (factor - 1) * pageStep * 0.5);
}

QPoint anchoredScrollValues(const QPoint &values, const QPoint &anchor, const QRectF &before,
                            const QRectF &after)
{
    return QPoint(
        anchoredValue(values.x(), anchor.x(), before.x(), before.width(), after.x(), after.width()),
        anchoredValue(values.y(), anchor.y(), before.y(), before.height(), after.y(),
                      after.height()));
}

QPoint pannedScrollValues(const QPoint &startValues, const QPoint &pressed, const QPoint &now)
{
    // Dragging the picture right shows more of its left part: the bars move against the pointer.
    return startValues - (now - pressed);
}

int wheelNotches(int *pending, int angleDelta)
{
    *pending += angleDelta;
    const int notches = *pending / kWheelNotch;
    *pending -= notches * kWheelNotch;
    return notches;
}

QRect printRect(const QRect &pageRect, const QSize &pictureSize)
{
    const QSize size = pictureSize.scaled(pageRect.size(), Qt::KeepAspectRatio);
    return QRect(pageRect.topLeft(), size);
}
