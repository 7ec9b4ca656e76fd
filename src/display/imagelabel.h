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

    void setImage(const QImage &image);
    QImage image() const { return picture; }
    double scaleFactor() const { return scale; }
    void setScaleFactor(double factor);
    void scaleBy(double factor);
    void setFitMode(bool on);
    bool isFitMode() const { return fitMode; }
    void setScrollArea(QScrollArea *area);

public slots:
    void parentResized();

signals:
    // The picture, its scale or the fit mode changed: what the pane shows is different.
    void viewChanged();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void updateSize();

    bool fitMode = true;
    double scale = 1.0;
    QImage picture;
    QScrollArea *scrollArea = nullptr;
    SmoothCopy smoothCopy{this};
};

#endif
