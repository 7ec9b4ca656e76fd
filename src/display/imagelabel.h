// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef IMAGELABEL_H
#define IMAGELABEL_H

#include "smoothcopy.h"

#include <QImage>
#include <QLabel>

class QScrollArea;

// Shows one picture on a black background, either scaled by a factor or fitted to the
// scroll area around it. The label sizes itself; the scroll area's bars follow.
class ImageLabel : public QLabel
{
    Q_OBJECT

public:
    ImageLabel();

    // Shows image, turned as far as the picture before it was.
    void setImage(const QImage &image);
    // Draws standIn, a picture read smaller, in the place of a picture of fullSize until
    // setImage gives that: the label lays out as for the full picture, which then takes the
    // same place. Nothing is turned, printed or copied meanwhile.
    void setStandIn(const QImage &standIn, const QSize &fullSize);
    bool showsStandIn() const { return !standIn.isNull(); }
    // The size of the picture the label lays out, the full one while a stand-in is drawn.
    QSize pictureSize() const { return picture.isNull() ? standInSize : picture.size(); }
    // The device pixels that a picture fitted into the scroll area may cover; before the area is
    // shown, those of its window's size, and invalid when that was not set either.
    QSize fittedBox() const;
    // Draws the picture just set from copy, made beforehand by fittedCopy, where it fits.
    void offerCopy(const QImage &copy);
    // The smooth copy that the label draws of image fitted into a scroll area of areaSize on a
    // screen of ratio; null when the fitted picture is not reduced. Safe on any thread.
    static QImage fittedCopy(const QImage &image, const QSize &areaSize, qreal ratio);
    // The picture as shown, turned.
    QImage image() const { return picture; }
    // Turns the shown picture by quarters, clockwise for positive counts, for viewing only.
    void rotate(int quarters);
    // Back to the picture as it was given, for a newly opened one.
    void resetRotation();
    // The scale set for zooming; a fitted picture is drawn at shownScale instead.
    double scaleFactor() const { return scale; }
    // The scale the picture is drawn at, fitted or not, in device pixels.
    double shownScale() const;
    // Where the picture is drawn in the label.
    QRectF pictureArea() const;
    void setScaleFactor(double factor);
    void scaleBy(double factor);
    void setFitMode(bool on);
    bool isFitMode() const { return fitMode; }
    void setScrollArea(QScrollArea *area);
    // The scroll area's size as the label's geometry counts it, which assumes the area's
    // one-pixel frame: an area without one (full screen) counts two pixels larger, so that the
    // label, and a fitted picture, reach its edges.
    QSize areaSize() const;

public slots:
    void parentResized();

signals:
    // The picture, its scale, the fit mode or the fitted size changed: what the pane shows is
    // different.
    void viewChanged();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void updateSize();
    void showTurned();

    bool fitMode = true;
    double scale = 1.0;
    // The picture as given, and how many quarters clockwise it is turned for showing; picture
    // holds the turned one, which is what is drawn, printed and copied.
    QImage given;
    int quarterTurns = 0;
    QImage picture;
    QImage standIn;
    QSize standInSize;
    // The stand-in that the full picture replaced, drawn until the full one's smooth copy is made.
    QImage meanwhile;
    QScrollArea *scrollArea = nullptr;
    SmoothCopy smoothCopy{this};
};

#endif
