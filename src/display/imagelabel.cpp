// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagelabel.h"
#include "labelgeometry.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QTransform>
#include <QtMath>

ImageLabel::ImageLabel()
{
    setSizePolicy(QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding));
    // Every paint covers the whole label: the scroll area's background under it would be wasted.
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Until a picture comes the label covers nothing of the pane: a scroll area sizes a widget
    // that was never sized to its hint, an empty text's line, which would paint a black block.
    resize(0, 0);
}

void ImageLabel::setImage(const QImage &image)
{
    // The label sets its own size; the layout must not resize it from the size hint.
    setSizePolicy(QSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored));
    given = image;
    // The full picture is in: the smaller one serves only until its smooth copy is made.
    meanwhile = standIn.size().isEmpty() || image.isNull() ? QImage() : standIn;
    standIn = QImage();
    standInSize = QSize();
    showTurned();
}

void ImageLabel::setStandIn(const QImage &reduced, const QSize &fullSize)
{
    setSizePolicy(QSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored));
    given = QImage();
    meanwhile = QImage();
    quarterTurns = 0;
    standIn = reduced;
    standInSize = fullSize;
    showTurned();
}

QSize ImageLabel::fittedBox() const
{
    if (!scrollArea)
        return QSize();
    // A pane not on screen yet (the picture named at launch is read while the window is built)
    // has no size of its own to go by, but lies within the size its window was given.
    QSize area = areaSize();
    if (!scrollArea->isVisible()) {
        if (!window()->testAttribute(Qt::WA_Resized))
            return QSize();
        area = window()->size();
    }
    const QSize label = labelSize(area, QSize(), true, 1.0);
    return (QSizeF(label) * devicePixelRatioF()).toSize();
}

void ImageLabel::offerCopy(const QImage &copy)
{
    smoothCopy.offer(picture, copy);
}

QImage ImageLabel::fittedCopy(const QImage &image, const QSize &areaSize, qreal ratio)
{
    const QSize label = labelSize(areaSize, image.size(), true, 1.0);
    const QSize size = (drawnArea(label, image.size(), true, 1.0, ratio).size() * ratio).toSize();
    if (size.isEmpty() || (size.width() >= image.width() && size.height() >= image.height()))
        return QImage();
    return SmoothCopy::reduce(image, size, ratio);
}

void ImageLabel::rotate(int quarters)
{
    quarterTurns = ((quarterTurns + quarters) % 4 + 4) % 4;
    // Turned, the picture no longer matches the stand-in it replaced.
    meanwhile = QImage();
    showTurned();
}

void ImageLabel::resetRotation()
{
    if (quarterTurns == 0)
        return;
    quarterTurns = 0;
    showTurned();
}

void ImageLabel::showTurned()
{
    picture = quarterTurns == 0 || given.isNull()
                  ? given
                  : given.transformed(QTransform().rotate(90 * quarterTurns));
    updateSize();
    update();
    emit viewChanged();
}

void ImageLabel::setScaleFactor(double factor)
{
    scale = factor;
    updateSize();
    update();
    emit viewChanged();
}

void ImageLabel::scaleBy(double factor)
{
    setScaleFactor(factor * scale);
}

void ImageLabel::setFitMode(bool on)
{
    fitMode = on;
    updateSize();
    update();
    emit viewChanged();
}

void ImageLabel::setScrollArea(QScrollArea *area)
{
    scrollArea = area;
}

double ImageLabel::shownScale() const
{
    return fitMode ? fittedScale(areaSize(), pictureSize(), devicePixelRatioF()) : scale;
}

QRectF ImageLabel::pictureArea() const
{
    return drawnArea(size(), pictureSize(), fitMode, scale, devicePixelRatioF());
}

QSize ImageLabel::areaSize() const
{
    if (!scrollArea)
        return QSize();
    if (scrollArea->frameShape() == QFrame::NoFrame)
        return scrollArea->size() + QSize(kLabelMargin, kLabelMargin);
    return scrollArea->size();
}

void ImageLabel::parentResized()
{
    updateSize();
    update();
    if (fitMode)
        emit viewChanged();
}

void ImageLabel::updateSize()
{
    if (pictureSize().isEmpty() || !scrollArea)
        return;
    resize(labelSize(areaSize(), pictureSize(), fitMode, scale, devicePixelRatioF()));
}

void ImageLabel::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRectF target = pictureArea();
    const QImage &shown = picture.isNull() ? standIn : picture;
    // Black only where no opaque picture covers it, so that a repaint is little more than a copy.
    // The picture's edges may fall inside a logical pixel; the black goes under that one.
    QRegion background(rect());
    if (!shown.isNull() && !shown.hasAlphaChannel())
        background -= QRect(QPoint(qCeil(target.left()), qCeil(target.top())),
                            QPoint(qFloor(target.right()) - 1, qFloor(target.bottom()) - 1));
    for (const QRect &part : background)
        painter.fillRect(part, QBrush(Qt::black, Qt::SolidPattern));
    if (!shown.isNull())
        smoothCopy.draw(painter, target, shown, event->rect(),
                        picture.isNull() ? QImage() : meanwhile);
}
