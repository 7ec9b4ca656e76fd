#include "imagescroll.h"

ImageScroll::ImageScroll() {}

void ImageScroll::resizeEvent(QResizeEvent *event)
{
    // The base class keeps the scroll bars in step with the new viewport; without it a
    // shrinking area would leave stale ranges until the label itself is resized.
    QScrollArea::resizeEvent(event);
    emit resizeSignal();
}
