// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef HISTOGRAMVIEW_H
#define HISTOGRAMVIEW_H

#include "histogram.h"

#include <QWidget>

// Draws a histogram: red, green and blue as areas that add up to white where they overlap, and
// luminance as a line over them.
class HistogramView : public QWidget
{
public:
    HistogramView();

    void setHistogram(const Histogram &histogram);
    const Histogram &histogram() const { return shown; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Histogram shown;
    bool empty = true;
};

#endif
