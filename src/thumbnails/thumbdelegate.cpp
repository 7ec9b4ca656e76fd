// SPDX-License-Identifier: GPL-3.0-or-later
#include "thumbdelegate.h"

#include "paths.h"
#include "thumbmodel.h"
#include "thumbthread.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextOption>

// The caption strip starts below the thumbnail square, whatever the cell's height.
constexpr int kCaptionHeight = kCellSize.height() - kThumbnailSize;
// The caption's margin at either side: neighbouring cells touch, their captions must not.
constexpr int kCaptionMargin = 3;

namespace {

// A shortened caption keeps this much of the name's start, when at least kCaptionTail characters
// of the end of its stem still fit beside it: enough to tell IMG_ from DSC, and the end tells the
// pictures apart.
constexpr int kCaptionHead = 3;
constexpr int kCaptionTail = 4;

const QString kEllipsis = QStringLiteral("\u2026");

// One line of text in rect, shortened in the middle when it is wider.
void drawOneLine(QPainter *painter, const QRect &rect, const QString &text, Qt::Alignment alignment)
{
    QTextOption option(alignment);
    option.setWrapMode(QTextOption::NoWrap);
    painter->drawText(QRectF(rect),
                      painter->fontMetrics().elidedText(text, Qt::ElideMiddle, rect.width()),
                      option);
}

// The start of text (head characters), an ellipsis, and as many of its last characters as fit
// in width, at least least of them; empty when they do not fit.
QString shortened(const QFontMetrics &metrics, const QString &text, int head, int least, int width)
{
    QString caption;
    for (qsizetype tail = least; head + tail < text.size(); ++tail) {
        const QString longer = text.left(head) + kEllipsis + text.right(tail);
        if (metrics.horizontalAdvance(longer) > width)
            break;
        caption = longer;
    }
    return caption;
}

} // namespace

QRect captionRect(const QRect &cell)
{
    return QRect(cell.x() + kCaptionMargin, cell.y() + kThumbnailSize,
                 cell.width() - 2 * kCaptionMargin, kCaptionHeight);
}

QString captionText(const QFontMetrics &metrics, const QString &name, int width, bool keepExtension)
{
    if (metrics.horizontalAdvance(name) <= width)
        return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const qsizetype stem = dot > 0 ? dot : name.size();
    const QString text = keepExtension ? name : name.left(stem);
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    // The end of the stem, and the extension when kept, outweigh the start; a start of one or
    // two characters would only differ between neighbours by the widths of their letters.
    const qsizetype least = qMin<qsizetype>(kCaptionTail, stem - 1) + text.size() - stem;
    const qsizetype head = kCaptionHead + least < text.size() ? kCaptionHead : 0;
    QString caption = shortened(metrics, text, int(head), int(least), width);
    if (caption.isEmpty())
        caption = shortened(metrics, text, 0, int(least), width);
    return caption.isEmpty() ? shortened(metrics, text, 0, 1, width) : caption;
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
    const QImage read = display.value<QImage>();
    const QImage image = colourStep && !read.isNull() ? colourStep(read) : read;
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
        // Shortened here alone: the text option must not shorten it a second time.
        const QRect caption = captionRect(r);
        QTextOption line(Qt::AlignHCenter | Qt::AlignBottom);
        line.setWrapMode(QTextOption::NoWrap);
        painter->drawText(QRectF(caption),
                          captionText(painter->fontMetrics(),
                                      pathFileName(index.data(Qt::DecorationRole).toString()),
                                      caption.width(), index.data(kKeepExtensionRole).toBool()),
                          line);
    }
    painter->restore();
}

QSize ThumbDelegate::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return kCellSize;
}
