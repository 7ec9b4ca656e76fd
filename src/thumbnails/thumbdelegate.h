// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef THUMBDELEGATE_H
#define THUMBDELEGATE_H

#include <QAbstractItemDelegate>
#include <QImage>
#include <QRect>

#include <functional>

class QFontMetrics;

// Where a thumbnail of pictureSize is drawn in cell: centred, unscaled, in the square above the
// caption strip. Offsets are truncated toward zero.
QRect thumbnailRect(const QRect &cell, const QSize &pictureSize);

// Where the caption of cell goes: the strip below the thumbnail square, whatever the cell's
// height, with a margin at either side so that the captions of neighbouring cells never touch.
QRect captionRect(const QRect &cell);

// The caption of the file name, at most width pixels wide in metrics. One rule for every name:
// a name that fits is shown whole; one that does not first loses its extension, unless
// keepExtension says that another picture of the folder shares its stem (a raw file and its
// JPEG); what is still too wide keeps its end, where neighbours in a folder of camera files
// differ (the counter, and the extension when kept), and a few characters of its start, and
// loses its middle to a single "…".
QString captionText(const QFontMetrics &metrics, const QString &name, int width,
                    bool keepExtension = false);

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

    // Turns each thumbnail into the colours it is drawn in (the monitor's); none draws them as
    // they are.
    using ColourStep = std::function<QImage(const QImage &)>;
    void setColourStep(const ColourStep &step) { colourStep = step; }

private:
    ColourStep colourStep;
};

#endif
