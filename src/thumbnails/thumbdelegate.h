// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef THUMBDELEGATE_H
#define THUMBDELEGATE_H

#include <QAbstractItemDelegate>
#include <QRect>

// Where a thumbnail of pictureSize is drawn in cell: centred, unscaled, in the square above the
// caption strip. Offsets are truncated toward zero.
QRect thumbnailRect(const QRect &cell, const QSize &pictureSize);

// Where the caption of cell goes: the strip below the thumbnail square, whatever the cell's
// height. Captions wider than it are shortened in the middle, so that the extension stays.
QRect captionRect(const QRect &cell);

// Paints a grid cell: the placeholder text until the thumbnail is there, then the thumbnail (or,
// when none could be made, the model's marker) above its file name.
class ThumbDelegate : public QAbstractItemDelegate
{
    Q_OBJECT

public:
    explicit ThumbDelegate(QObject *parent);
    ~ThumbDelegate() override;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

#endif
