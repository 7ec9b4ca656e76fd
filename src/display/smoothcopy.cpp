// SPDX-License-Identifier: GPL-3.0-or-later
#include "smoothcopy.h"

#include "colourtransform.h"
#include "smoothreduction.h"

#include <QPainter>
#include <QWidget>
#include <QtConcurrent>

namespace {

// Long enough to span the gap between two steps of a window drag or a run of wheel notches,
// short enough that the smooth picture follows as soon as the hand stops.
constexpr int kSettleMs = 100;

// Which monitor colours a copy made by reduce is in, for a copy made elsewhere.
const QString kColoursKey = QStringLiteral("velmora-colours");

// Draws the part of picture in target that exposed shows, through colours: only that part, once
// per paint, since the whole of a large picture takes longer than a frame. A reduced picture is
// first reduced as mode says.
void drawInColours(QPainter &painter, const QRectF &target, const QImage &picture,
                   const QRect &exposed, const ColourTransform &colours,
                   Qt::TransformationMode mode)
{
    const QRectF visible = target.intersected(QRectF(exposed));
    if (visible.isEmpty())
        return;
    const qreal scaleX = target.width() / picture.width();
    const qreal scaleY = target.height() / picture.height();
    const QRect source = QRectF((visible.left() - target.left()) / scaleX,
                                (visible.top() - target.top()) / scaleY,
                                visible.width() / scaleX, visible.height() / scaleY)
                             .toAlignedRect()
                             .intersected(picture.rect());
    const QRectF drawn(target.left() + source.left() * scaleX,
                       target.top() + source.top() * scaleY, source.width() * scaleX,
                       source.height() * scaleY);
    QImage part = picture.copy(source);
    const QSize size = (drawn.size() * painter.device()->devicePixelRatio()).toSize();
    if (size.width() < part.width() || size.height() < part.height())
        part = part.scaled(size, Qt::IgnoreAspectRatio, mode);
    const QImage shown = colours.apply(part);
    painter.drawImage(drawn, shown, QRectF(shown.rect()));
}

// Draws picture into target at once, without a copy made beforehand: the fast way, or smoothly.
void drawNow(QPainter &painter, const QRectF &target, const QImage &picture, const QRect &exposed,
             const ColourTransform *colours, Qt::TransformationMode mode)
{
    if (colours) {
        drawInColours(painter, target, picture, exposed, *colours, mode);
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, mode == Qt::SmoothTransformation);
    painter.drawImage(target, picture, QRectF(picture.rect()));
    painter.restore();
}

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
        if (made.key == shownKey && made.image.size() == shownSize &&
            made.colours == ColourTransform::idOf(ColourTransform::monitor())) {
            copy = made;
            this->widget->update();
        }
    });
}

void SmoothCopy::draw(QPainter &painter, const QRectF &target, const QImage &picture,
                      const QRect &exposed, const QImage &meanwhile)
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
    const std::shared_ptr<const ColourTransform> colours = ColourTransform::monitor();
    if (key != copy.key || size != copy.image.size() ||
        copy.colours != ColourTransform::idOf(colours))
        copy = Copy();

    const bool reduced = size.width() < picture.width() || size.height() < picture.height();
    if (reduced && !copy.image.isNull()) {
        painter.drawImage(target.topLeft(), copy.image);
        return;
    }
    // The smaller picture that this one replaces shows until the copy comes: small, it is drawn
    // smoothly at once, where the fast way would break this one's fine lines apart.
    if (reduced && !meanwhile.isNull())
        drawNow(painter, target, meanwhile, exposed, colours.get(), Qt::SmoothTransformation);
    else
        drawNow(painter, target, picture, exposed, colours.get(), Qt::FastTransformation);
    if (reduced && !settle.isActive() && !size.isEmpty())
        request(picture, size, ratio);
}

void SmoothCopy::offer(const QImage &picture, const QImage &reduced)
{
    if (!reduced.isNull())
        copy = {reduced, picture.cacheKey(), reduced.text(kColoursKey).toULongLong()};
}

QImage SmoothCopy::reduce(const QImage &picture, const QSize &size, qreal ratio)
{
    // In the screen's own format, so that every repaint is a plain copy.
    QImage image =
        smoothlyReduced(picture, size)
            .convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                       : QImage::Format_RGB32);
    if (const std::shared_ptr<const ColourTransform> colours = ColourTransform::monitor()) {
        image = colours->apply(image);
        image.setText(kColoursKey, QString::number(ColourTransform::idOf(colours)));
    }
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
        const QImage reduced = reduce(picture, size, ratio);
        return Copy{reduced, picture.cacheKey(), reduced.text(kColoursKey).toULongLong()};
    }));
}
