// SPDX-License-Identifier: GPL-3.0-or-later
#include "picturearrival.h"
#include "imagelabel.h"
#include "imagescroll.h"
#include "labelgeometry.h"
#include "panereader.h"
#include "readahead.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMainWindow>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>

namespace {

// Milliseconds of reading before the window shows that it is loading: less passes unnoticed.
constexpr int kLoadingDelay = 150;

} // namespace

PictureArrival::PictureArrival(QMainWindow *window) : QObject(window), window(window)
{
    reader = new PaneReader(this);
    connect(reader, &PaneReader::pictureRead, this, &PictureArrival::pictureRead);
    connect(reader, &PaneReader::standInRead, this, &PictureArrival::standInRead);

    // No slot: the window reads it when the next picture comes.
    keepZoom = new QAction(tr("&Keep Zoom"), this);
    keepZoom->setCheckable(true);
    keepZoom->setShortcut(QKeySequence(tr("Ctrl+K")));
}

void PictureArrival::setPane(ImageLabel *label, ImageScroll *scroll, QAction *fitToWindow)
{
    imageLabel = label;
    imageScroll = scroll;
    fitToWindowAction = fitToWindow;
    ahead = new ReadAhead(this);
    loadingDelay = new QTimer(this);
    loadingDelay->setSingleShot(true);
    loadingDelay->setInterval(kLoadingDelay);
    connect(loadingDelay, &QTimer::timeout, this, &PictureArrival::showLoading);
    // Beside the picture's line, and not hidden by the messages that come and go over it.
    loading = new QLabel;
    // "Loading %1..." names the file: never markup, which would fetch what an <img> names.
    loading->setTextFormat(Qt::PlainText);
    window->statusBar()->addPermanentWidget(loading);
    loading->hide();
}

void PictureArrival::read(const QString &path, bool launching)
{
    reading = path;
    // The picture named at launch has been read since before the window was built.
    if (launching && reader->reads(path)) {
        loadingDelay->start();
        return;
    }
    // Whatever a step was still reading has been passed.
    reader->cancel();
    QImage copy;
    const QImage image = ahead->take(path, &copy);
    if (!image.isNull()) {
        emit pictureRead(path, image, copy);
        return;
    }
    // A large picture or a raw conversion can take seconds, while the window goes on answering.
    // A fitted picture is seen first at the size it is shown, where that is quicker to read.
    // Either way its first sight is smooth: the pane's copy is made before a picture is shown
    // that no stand-in came before.
    reader->read(path, fitToWindowAction->isChecked() ? imageLabel->fittedBox() : QSize(),
                 paneCopy());
    if (loading->isHidden())
        loadingDelay->start();
    else
        showLoading();
}

PaneReader::Preparation PictureArrival::paneCopy() const
{
    return [area = imageLabel->areaSize(), ratio = imageLabel->devicePixelRatioF(),
            fit = fitToWindowAction->isChecked()](const QImage &picture) {
        return fit ? ImageLabel::fittedCopy(picture, area, ratio) : QImage();
    };
}

void PictureArrival::follow(const QString &path, const QImage &image)
{
    // The pictures read ahead come with the pane's smooth copy for the window as it is now.
    ahead->follow(path, image, paneCopy());
}

void PictureArrival::showLoading()
{
    imageScroll->setBusy(true);
    loading->setText(tr("Loading %1...").arg(QFileInfo(reading).fileName()));
    loading->show();
}

void PictureArrival::endLoading()
{
    loadingDelay->stop();
    imageScroll->setBusy(false);
    loading->hide();
}

bool PictureArrival::keepsZoom() const
{
    return keepZoom->isChecked();
}

QPoint PictureArrival::scrollValues() const
{
    return QPoint(imageScroll->horizontalScrollBar()->value(),
                  imageScroll->verticalScrollBar()->value());
}

void PictureArrival::scrollTo(const QPoint &values)
{
    // The area shows or hides its bars, and sizes its viewport, in a queued call; until then
    // their ranges are those of the label before, and the values would be cut to them.
    QCoreApplication::sendPostedEvents(imageScroll, QEvent::MetaCall);
    imageScroll->horizontalScrollBar()->setValue(values.x());
    imageScroll->verticalScrollBar()->setValue(values.y());
}

void PictureArrival::keepPointWhile(const QPoint &at, const std::function<void()> &change)
{
    const QRectF before = imageLabel->pictureArea();
    QPoint values = scrollValues();
    // The bars stand where the last zoom here had to leave them: aim at the point it aimed at.
    if (at == zoomAnchor.at && before == zoomAnchor.drawn && values == zoomAnchor.values)
        values = zoomAnchor.wanted;
    change();
    const QRectF after = imageLabel->pictureArea();
    const QPoint kept = anchoredScrollValues(values, at, before, after);
    scrollTo(kept);
    zoomAnchor = {at, after, scrollValues(), kept};
}
