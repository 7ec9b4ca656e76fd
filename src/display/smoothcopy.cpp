// SPDX-License-Identifier: GPL-3.0-or-later
#include "smoothcopy.h"

#include "smoothreduction.h"

#include <QPainter>
#include <QWidget>
#include <QtConcurrent>

namespace {

// Long enough to span the gap between two steps of a window drag or a run of wheel notches,
// short enough that the smooth picture follows as soon as the hand stops.
constexpr int kSettleMs = 100;

} // namespace

SmoothCopy::SmoothCopy(QWidget *widget) : widget(widget)
{
    settle.setSingleShot(true);
    settle.setInterval(kSettleMs);
    QObject::connect(&settle, &QTimer::timeout, widget, qOverload<>(&QWidget::update));
    QObject::connect(&making, &QFutureWatcher<Copy>::finished, widget, [this] {
        const Copy made = making.result();
        makingKey = 0;
        // A copy for a picture or size that is gone by now is of no use.
        if (made.key == shownKey && made.image.size() == shownSize) {
            copy = made;
            this->widget->update();
        }
    });
}

void SmoothCopy::draw(QPainter &painter, const QRectF &target, const QImage &picture)
{
    // In device pixels, so that a high-density screen gets all the detail it can show.
    const qreal ratio = painter.device()->devicePixelRatio();
    const QSize size = (target.size() * ratio).toSize();
    const qint64 key = picture.cacheKey();
    // A new size of the same picture means resizing or zooming: wait until it settles.
    if (key == shownKey && size != shownSize)
        settle.start();
    shownKey = key;
    shownSize = size;
    if (key != copy.key || size != copy.image.size())
        copy = Copy();

    const bool reduced = size.width() < picture.width() || size.height() < picture.height();
    if (reduced && !copy.image.isNull()) {
        painter.drawImage(target.topLeft(), copy.image);
        return;
    }
    painter.drawImage(target, picture, QRectF(picture.rect()));
    if (reduced && !settle.isActive() && !size.isEmpty())
        request(picture, size, ratio);
}

void SmoothCopy::offer(const QImage &picture, const QImage &reduced)
{
    if (!reduced.isNull())
        copy = {reduced, picture.cacheKey()};
}

QImage SmoothCopy::reduce(const QImage &picture, const QSize &size, qreal ratio)
{
    // In the screen's own format, so that every repaint is a plain copy.
    QImage image =
        smoothlyReduced(picture, size)
            .convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                       : QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    return image;
}

void SmoothCopy::request(const QImage &picture, const QSize &size, qreal ratio)
{
    if (makingKey == picture.cacheKey() && makingSize == size)
        return;
    makingKey = picture.cacheKey();
    makingSize = size;
    making.setFuture(QtConcurrent::run([picture, size, ratio] {
        return Copy{reduce(picture, size, ratio), picture.cacheKey()};
    }));
}
