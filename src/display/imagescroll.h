// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef IMAGESCROLL_H
#define IMAGESCROLL_H

#include <QPoint>
#include <QScrollArea>

// The central scroll area; it tells the image label when it changes size, so that the
// label can fit itself to the new area. It also turns the pane's own mouse and keys into
// requests for the window: Ctrl + wheel, + and - to zoom, a double-click to see a point at 100 %,
// Left and Right, Page Up and Page Down to step through the folder while the picture is fitted,
// Home and End to go to its first and last picture. Dragging with the left button
// pans a picture larger than the pane; with Ctrl held it drags the picture out of the window.
class ImageScroll : public QScrollArea
{
    Q_OBJECT

public:
    ImageScroll();

    // A busy pointer over the pane while its next picture is read, over the hand that pans.
    void setBusy(bool busy);

signals:
    void resizeSignal();
    // Zoom by notches of the wheel: positive in, negative out, about the point at of the viewport,
    // where the pointer is.
    void zoomRequested(int notches, const QPoint &at);
    // The picture was double-clicked at the point at of the viewport.
    void pictureDoubleClicked(const QPoint &at);
    // Show the picture offset places away in the folder: 1 the next, -1 the previous.
    void stepRequested(int offset);
    // Home and End: show the folder's last picture (1) or its first (-1).
    void endRequested(int end);
    // Ctrl and the left button dragged the shown picture: give its file to whoever takes it.
    void dragRequested();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    bool canPan() const;
    bool showsFittedPicture() const;
    bool showsPicture() const;
    void updateCursor();

    int pendingWheel = 0;
    bool busy = false;
    bool panning = false;
    // Ctrl was held as the left button went down on a picture: a drag starts once it moves.
    bool dragArmed = false;
    QPoint dragPressed;
    QPoint panPressed;
    QPoint panStartValues;
};

#endif
