// SPDX-License-Identifier: GPL-3.0-or-later
#include "thumbdelegate.h"

#include "paths.h"
#include "thumbmodel.h"
#include "thumbthread.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextOption>

#include <algorithm>

// The caption strip starts below the thumbnail square, whatever the cell's height.
constexpr int kCaptionHeight = kCellSize.height() - kThumbnailSize;

namespace {

// A shortened caption keeps this much of the name's start, as long as at least kCaptionTail
// characters of its end still fit: enough to tell IMG_ from DSC, and the end tells the pictures
// apart.
constexpr int kCaptionHead = 3;
constexpr int kCaptionTail = 4;

// One line of text in rect, shortened in the middle when it is wider, so that both the start of
// a name and its extension stay visible.
void drawOneLine(QPainter *painter, const QRect &rect, const QString &text, Qt::Alignment alignment)
{
    QTextOption option(alignment);
    option.setWrapMode(QTextOption::NoWrap);
    painter->drawText(QRectF(rect),
                      painter->fontMetrics().elidedText(text, Qt::ElideMiddle, rect.width()),
                      option);
}

} // namespace

QRect captionRect(const QRect &cell)
{
    return QRect(cell.x(), cell.y() + kThumbnailSize, cell.width(), kCaptionHeight);
}

QString captionText(const QFontMetrics &metrics, const QString &name, int width)
{
    if (metrics.horizontalAdvance(name) <= width)
        return name;
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? name.left(dot) : name;
    if (metrics.horizontalAdvance(stem) <= width)
        return stem;
    for (int head = std::min<int>(kCaptionHead, stem.size() - kCaptionTail); head > 0; --head) {
        const QString start = stem.left(head);
        // The ellipsis and as much of the end as fits beside the start.
        const QString end = metrics.elidedText(stem.mid(head), Qt::ElideLeft,
                                               width - metrics.horizontalAdvance(start));
        const QString caption = start + end;
        if (end.size() > kCaptionTail && metrics.horizontalAdvance(caption) <= width)
            return caption;
    }
    return metrics.elidedText(stem, Qt::ElideLeft, width);
}

QRect thumbnailRect(const QRect &cell, const QSize &pictureSize)
{
    const int dx = (cell.width() - pictureSize.width()) / 2;
    const int dy = (cell.height() - kCaptionHeight - pictureSize.height()) / 2;
    return QRect(QPoint(cell.x() + dx, cell.y() + dy), pictureSize);
}

ThumbDelegate::ThumbDelegate(QObject *parent) : QAbstractItemDelegate(parent) {}

ThumbDelegate::~ThumbDelegate() = default;

void ThumbDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const
{
    const QRect &r = option.rect;
    if (option.state & QStyle::State_Selected)
        painter->fillRect(r, option.palette.highlight());

    const QVariant display = index.data(Qt::DisplayRole);
    const QImage image = display.value<QImage>();
    const QString text = display.toString();

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (image.isNull() && text == kPlaceholderText) {
        painter->drawText(QRectF(r), text, QTextOption(Qt::AlignHCenter | Qt::AlignVCenter));
    } else {
        if (image.isNull()) {
            // The worker's verdict stands where the thumbnail would, above the file's name.
            drawOneLine(painter, QRect(r.x(), r.y(), r.width(), r.height() - kCaptionHeight), text,
                        Qt::AlignCenter);
        } else {
            // Laid out in points, drawn from every device pixel: sharp on a dense screen.
            painter->drawImage(
                QRectF(thumbnailRect(r, image.deviceIndependentSize().toSize())), image,
                QRectF(QPointF(0, 0), image.size()));
        }
        const QRect caption = captionRect(r);
        drawOneLine(painter, caption,
                    captionText(painter->fontMetrics(),
                                pathFileName(index.data(Qt::DecorationRole).toString()),
                                caption.width()),
                    Qt::AlignHCenter | Qt::AlignBottom);
    }
    painter->restore();
}

QSize ThumbDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return kCellSize;
}
