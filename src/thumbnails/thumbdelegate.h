// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef THUMBDELEGATE_H
#define THUMBDELEGATE_H

#include <QAbstractItemDelegate>
#include <QRect>

class QFontMetrics;

// Where a thumbnail of pictureSize is drawn in cell: centred, unscaled, in the square above the
// caption strip. Offsets are truncated toward zero.
QRect thumbnailRect(const QRect &cell, const QSize &pictureSize);

// Where the caption of cell goes: the strip below the thumbnail square, whatever the cell's
// height.
QRect captionRect(const QRect &cell);

// The caption of the file name, at most width pixels wide in metrics. Neighbours in a folder of
// camera files differ in the last digits of their names, so what does not fit loses its
// extension first, then the middle of the rest; the end stays.
QString captionText(const QFontMetrics &metrics, const QString &name, int width);

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
