#ifndef IMAGESCROLL_H
#define IMAGESCROLL_H

#include <QScrollArea>

// The central scroll area; it tells the image label when it changes size, so that the
// label can fit itself to the new area.
class ImageScroll : public QScrollArea
{
    Q_OBJECT

public:
    ImageScroll();

signals:
    void resizeSignal();

protected:
    void resizeEvent(QResizeEvent *event) override;
};

#endif
