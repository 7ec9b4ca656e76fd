// SPDX-License-Identifier: GPL-3.0-or-later
// The window's View commands and printing. They belong to ImageViewer but act on the
// picture pane, so they live beside it.

#include "imagelabel.h"
#include "imagescroll.h"
#include "imageviewer.h"
#include "labelgeometry.h"

#include <QAction>
#include <QMessageBox>
#include <QPainter>
#include <QPrintDialog>
#include <QScrollBar>

#include <iostream>

namespace {

constexpr double kZoomInFactor = 1.25;
constexpr double kZoomOutFactor = 0.8;
constexpr double kMaxZoom = 10.0;
constexpr double kMinZoom = 0.1;

} // namespace

void ImageViewer::zoomIn()
{
    scaleImage(kZoomInFactor);
}

void ImageViewer::zoomOut()
{
    scaleImage(kZoomOutFactor);
}

void ImageViewer::normalSize()
{
    imageLabel->adjustSize();
    imageLabel->setScaleFactor(1.0);
}

void ImageViewer::fitToWindow()
{
    imageLabel->setFitMode(fitToWindowAction->isChecked());
    updateActions();
}

void ImageViewer::updateActions()
{
    const bool scaled = !fitToWindowAction->isChecked();
    zoomInAction->setEnabled(scaled);
    zoomOutAction->setEnabled(scaled);
    normalSizeAction->setEnabled(scaled);
}

void ImageViewer::scaleImage(double factor)
{
    imageLabel->scaleBy(factor);
    adjustScrollBar(imageScroll->horizontalScrollBar(), factor);
    adjustScrollBar(imageScroll->verticalScrollBar(), factor);

    const double scale = imageLabel->scaleFactor();
    std::cout << scale << std::endl;
    zoomInAction->setEnabled(scale < kMaxZoom);
    zoomOutAction->setEnabled(scale > kMinZoom);
}

void ImageViewer::adjustScrollBar(QScrollBar *scrollBar, double factor)
{
    scrollBar->setValue(zoomedScrollValue(scrollBar->value(), scrollBar->pageStep(), factor));
}

void ImageViewer::print()
{
    QPrintDialog dialog(&printer, this);
    if (!dialog.exec())
        return;

    QPainter painter;
    if (!painter.begin(&printer)) {
        QMessageBox::information(this, viewerTitle(), tr("Cannot print."));
        return;
    }
    const QImage image = imageLabel->image();
    painter.setViewport(printRect(painter.viewport(), image.size()));
    painter.setWindow(image.rect());
    painter.drawImage(0, 0, image);
}
