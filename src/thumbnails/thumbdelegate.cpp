#include "thumbdelegate.h"

#include "paths.h"
#include "thumbmodel.h"
#include "thumbthread.h"

#include <QPainter>
#include <QTextOption>

// The caption strip starts below the thumbnail square, whatever the cell's height.
constexpr int kCaptionHeight = kCellSize.height() - kThumbnailSize;

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

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (image.isNull()) {
        painter->drawText(QRectF(r), display.toString(),
                          QTextOption(Qt::AlignHCenter | Qt::AlignVCenter));
    } else {
        const QString caption = pathFileName(index.data(Qt::DecorationRole).toString());
        painter->drawImage(QRectF(thumbnailRect(r, image.size())), image,
                           QRectF(QPointF(0, 0), image.size()));
        painter->drawText(QRectF(r.x(), r.y() + kThumbnailSize, r.width(), kCaptionHeight), caption,
                          QTextOption(Qt::AlignHCenter | Qt::AlignBottom));
    }
    painter->restore();
}

QSize ThumbDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return kCellSize;
}
