// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SMOOTHCOPY_H
#define SMOOTHCOPY_H

#include <QImage>
#include <QTimer>

class QPainter;
class QWidget;

// Draws a picture into a widget. Shown smaller than it is, the picture comes from a smoothly
// reduced copy of exactly the drawn size: point sampling breaks fine lines apart and makes moiré
// of repeating patterns. The copy is made once per picture and size, so that a repaint is a
// plain copy; while the size keeps changing the picture is drawn the fast way, and the copy is
// made once the size has settled. At 1:1 or larger the pixels stay crisp.
class SmoothCopy
{
public:
    explicit SmoothCopy(QWidget *widget);

    void draw(QPainter &painter, const QRect &target, const QImage &picture);

private:
    QTimer settle;
    QImage copy;
    qint64 copyKey = 0;
    qint64 shownKey = 0;
    QSize shownSize;
};

#endif
