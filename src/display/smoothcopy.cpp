// SPDX-License-Identifier: GPL-3.0-or-later
#include "smoothcopy.h"

#include <QPainter>
#include <QWidget>

namespace {

// Long enough to span the gap between two steps of a window drag or a run of wheel notches,
// short enough that the smooth picture follows as soon as the hand stops.
constexpr int kSettleMs = 100;

} // namespace

SmoothCopy::SmoothCopy(QWidget *widget)
{
    settle.setSingleShot(true);
    settle.setInterval(kSettleMs);
    QObject::connect(&settle, &QTimer::timeout, widget, qOverload<>(&QWidget::update));
}

void SmoothCopy::draw(QPainter &painter, const QRect &target, const QImage &picture)
{
    // In device pixels, so that a high-density screen gets all the detail it can show.
    const qreal ratio = painter.device()->devicePixelRatio();
    const QSize size = (QSizeF(target.size()) * ratio).toSize();
    const qint64 key = picture.cacheKey();
    // Only a new size of the same picture means resizing or zooming; a new picture (the next
    // one, an animation's frame) is reduced at once instead of flashing up unsmoothed.
    if (key == shownKey && size != shownSize)
        settle.start();
    shownKey = key;
    shownSize = size;
    if (key != copyKey || size != copy.size())
        copy = QImage();

    const bool reduced = size.width() < picture.width() || size.height() < picture.height();
    if (reduced && copy.isNull() && !settle.isActive() && !size.isEmpty()) {
        // In the screen's own format, so that every repaint is a plain copy.
        copy = picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                   .convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                              : QImage::Format_RGB32);
        copy.setDevicePixelRatio(ratio);
        copyKey = key;
    }
    if (reduced && !copy.isNull())
        painter.drawImage(QPointF(target.topLeft()), copy);
    else
        painter.drawImage(QRectF(target), picture, QRectF(picture.rect()));
}
