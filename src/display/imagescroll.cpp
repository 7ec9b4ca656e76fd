// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagescroll.h"
#include "imagelabel.h"
#include "labelgeometry.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

ImageScroll::ImageScroll()
{
    // The hand appears and goes as the picture outgrows the pane or fits in it again.
    connect(horizontalScrollBar(), &QScrollBar::rangeChanged, this, &ImageScroll::updateCursor);
    connect(verticalScrollBar(), &QScrollBar::rangeChanged, this, &ImageScroll::updateCursor);
}

void ImageScroll::resizeEvent(QResizeEvent *event)
{
    // The base class keeps the scroll bars in step with the new viewport; without it a
    // shrinking area would leave stale ranges until the label itself is resized.
    QScrollArea::resizeEvent(event);
    emit resizeSignal();
}

void ImageScroll::wheelEvent(QWheelEvent *event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QScrollArea::wheelEvent(event);
        return;
    }
    // Taken even when it makes no whole notch, so that Ctrl + wheel never scrolls instead.
    event->accept();
    const int notches = wheelNotches(&pendingWheel, event->angleDelta().y());
    if (notches != 0)
        emit zoomRequested(notches, event->position().toPoint());
}

void ImageScroll::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const bool plain = event->modifiers() == Qt::NoModifier;
    // A fitted picture cannot scroll, so the arrows and the page keys are free to turn the pages.
    const bool forward = key == Qt::Key_Right || key == Qt::Key_PageDown;
    const bool back = key == Qt::Key_Left || key == Qt::Key_PageUp;
    if ((forward || back) && plain && showsFittedPicture()) {
        event->accept();
        emit stepRequested(forward ? 1 : -1);
        return;
    }
    if ((key == Qt::Key_Home || key == Qt::Key_End) && plain && showsPicture()) {
        event->accept();
        emit endRequested(key == Qt::Key_End ? 1 : -1);
        return;
    }
    // + (with Shift or on the keypad, or the key that carries it) and - zoom as a notch of
    // Ctrl + wheel does, about the middle of the pane.
    const bool zoomKey = key == Qt::Key_Plus || key == Qt::Key_Equal || key == Qt::Key_Minus;
    const Qt::KeyboardModifiers others =
        event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier);
    if (zoomKey && others == Qt::NoModifier && showsPicture()) {
        event->accept();
        emit zoomRequested(key == Qt::Key_Minus ? -1 : 1, viewport()->rect().center());
        return;
    }
    QScrollArea::keyPressEvent(event);
}

void ImageScroll::mousePressEvent(QMouseEvent *event)
{
    // Ctrl tells a drag out from panning, which the left button alone does.
    if (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ControlModifier) &&
        showsPicture()) {
        event->accept();
        dragArmed = true;
        dragPressed = event->position().toPoint();
        return;
    }
    if (event->button() != Qt::LeftButton || !canPan()) {
        QScrollArea::mousePressEvent(event);
        return;
    }
    event->accept();
    panning = true;
    // Screen positions: the label moves under the pointer while it pans.
    panPressed = event->globalPosition().toPoint();
    panStartValues = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    updateCursor();
}

void ImageScroll::mouseMoveEvent(QMouseEvent *event)
{
    if (dragArmed) {
        event->accept();
        if ((event->position().toPoint() - dragPressed).manhattanLength() >=
            QApplication::startDragDistance()) {
            dragArmed = false;
            emit dragRequested();
        }
        return;
    }
    if (!panning) {
        QScrollArea::mouseMoveEvent(event);
        return;
    }
    event->accept();
    const QPoint values =
        pannedScrollValues(panStartValues, panPressed, event->globalPosition().toPoint());
    horizontalScrollBar()->setValue(values.x());
    verticalScrollBar()->setValue(values.y());
}

void ImageScroll::mouseReleaseEvent(QMouseEvent *event)
{
    if (dragArmed && event->button() == Qt::LeftButton) {
        event->accept();
        dragArmed = false;
        return;
    }
    if (!panning || event->button() != Qt::LeftButton) {
        QScrollArea::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    panning = false;
    updateCursor();
}

void ImageScroll::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !showsPicture()) {
        QScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    event->accept();
    emit pictureDoubleClicked(event->position().toPoint());
}

void ImageScroll::setBusy(bool busy)
{
    this->busy = busy;
    updateCursor();
}

bool ImageScroll::canPan() const
{
    return horizontalScrollBar()->maximum() > 0 || verticalScrollBar()->maximum() > 0;
}

bool ImageScroll::showsFittedPicture() const
{
    const auto *label = qobject_cast<const ImageLabel *>(widget());
    return showsPicture() && label->isFitMode();
}

bool ImageScroll::showsPicture() const
{
    const auto *label = qobject_cast<const ImageLabel *>(widget());
    // A stand-in too: what is done to it carries over to the full picture, which takes its place.
    return label && !label->pictureSize().isEmpty();
}

void ImageScroll::updateCursor()
{
    if (busy)
        viewport()->setCursor(Qt::BusyCursor);
    else if (panning)
        viewport()->setCursor(Qt::ClosedHandCursor);
    else if (canPan())
        viewport()->setCursor(Qt::OpenHandCursor);
    else
        viewport()->unsetCursor();
}
