// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SMOOTHCOPY_H
#define SMOOTHCOPY_H

#include <QFutureWatcher>
#include <QImage>
#include <QTimer>

class QPainter;
class QWidget;

// Draws a picture into a widget. Shown smaller than it is, the picture comes from a smoothly
// reduced copy of exactly the drawn size: point sampling breaks fine lines apart and makes moiré
// of repeating patterns. The copy is made once per picture and size, so that a repaint is a
// plain copy. It is made on a worker thread, and the widget draws the fast way until it is
// there: reducing a large photograph takes longer than a frame, and neither the next picture nor
// a window being resized may wait for it. While the size keeps changing no copy is made; once
// the size has settled it is. At 1:1 or larger the pixels stay crisp. What is drawn is in the
// colours of the monitor (ColourTransform::monitor()).
class SmoothCopy
{
public:
    explicit SmoothCopy(QWidget *widget);

    // Draws what exposed shows of picture in target; until the smooth copy is made, meanwhile
    // (a smaller picture of the same, such as the stand-in it replaces) where one is given.
    void draw(QPainter &painter, const QRectF &target, const QImage &picture,
              const QRect &exposed, const QImage &meanwhile = QImage());
    // Takes reduced, made elsewhere from picture by reduce, as the copy: drawn at once where it
    // has the drawn size.
    void offer(const QImage &picture, const QImage &reduced);

    // The smooth copy of picture at size (in device pixels) for a screen of ratio, in the
    // monitor's colours, as draw shows it. Safe on any thread.
    static QImage reduce(const QImage &picture, const QSize &size, qreal ratio);

private:
    struct Copy
    {
        QImage image;
        qint64 key = 0;
        // The monitor's colours it is in (ColourTransform::idOf).
        quint64 colours = 0;
    };
    void request(const QImage &picture, const QSize &size, qreal ratio);

    QWidget *widget;
    QTimer settle;
    Copy copy;
    QFutureWatcher<Copy> making;
    // What the worker is reducing, so that each picture and size is asked for once.
    qint64 makingKey = 0;
    QSize makingSize;
    qint64 shownKey = 0;
    QSize shownSize;
};

#endif
