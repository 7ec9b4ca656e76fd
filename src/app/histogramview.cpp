// SPDX-License-Identifier: GPL-3.0-or-later
#include "histogramview.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

QPainterPath curve(const Histogram::Counts &counts, int peak, const QRectF &area, bool closed)
{
    QPainterPath path;
    const double step = area.width() / (int(counts.size()) - 1);
    path.moveTo(area.left(), area.bottom());
    for (size_t level = 0; level < counts.size(); ++level) {
        const double height = area.height() * std::min(1.0, double(counts[level]) / peak);
        path.lineTo(area.left() + step * int(level), area.bottom() - height);
    }
    if (closed)
        path.lineTo(area.right(), area.bottom());
    return path;
}

// The scale's top: the highest count apart from pure black and pure white, which clipped
// pictures pile up and which would flatten everything else.
int peakOf(const Histogram &h)
{
    int peak = 1;
    for (const Histogram::Counts *counts : {&h.red, &h.green, &h.blue, &h.luminance})
        peak = std::max(peak, *std::max_element(counts->begin() + 1, counts->end() - 1));
    return peak;
}

} // namespace

HistogramView::HistogramView()
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void HistogramView::setHistogram(const Histogram &histogram)
{
    shown = histogram;
    empty = false;
    update();
}

QSize HistogramView::sizeHint() const
{
    return QSize(256, 120);
}

void HistogramView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (empty)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
    const int peak = peakOf(shown);
    painter.setPen(Qt::NoPen);
    painter.setCompositionMode(QPainter::CompositionMode_Plus);
    const QList<QPair<const Histogram::Counts *, QColor>> channels{
        {&shown.red, QColor(200, 0, 0)},
        {&shown.green, QColor(0, 200, 0)},
        {&shown.blue, QColor(0, 0, 200)}};
    for (const auto &[counts, colour] : channels) {
        painter.setBrush(colour);
        painter.drawPath(curve(*counts, peak, area, true));
    }
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(230, 230, 230), 1.5));
    painter.drawPath(curve(shown.luminance, peak, area, false));
}
