// SPDX-License-Identifier: GPL-3.0-or-later
#include "desktophandovers.h"
#include "fileactions.h"
#include "imagelabel.h"
#include "imagescroll.h"
#include "thumbview.h"

#include <QAction>
#include <QPixmap>

namespace {

// The picture under the pointer while it is dragged out of the pane.
constexpr QSize kDragPictureSize(96, 96);

} // namespace

DesktopHandOvers::DesktopHandOvers(ImageScroll *scroll, ImageLabel *label, ThumbView *thumbs,
                                   QWidget *window)
    : QObject(window), imageScroll(scroll), imageLabel(label), thumbView(thumbs)
{
    // After what the pane's menu does to the picture: what hands its file to the desktop.
    paneFileActions = new FileActions(window);
    auto *separator = new QAction(this);
    separator->setSeparator(true);
    imageScroll->addActions(
        {separator, paneFileActions->showInFileManagerAction(), paneFileActions->openWithAction()});
    connect(imageScroll, &ImageScroll::dragRequested, this, &DesktopHandOvers::dragPictureOut);
    thumbnailFileActions = new FileActions(window);
    thumbView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(thumbView, &QWidget::customContextMenuRequested, this,
            &DesktopHandOvers::showThumbnailMenu);
}

void DesktopHandOvers::setFile(const QString &path)
{
    paneFileActions->setFile(path);
}

void DesktopHandOvers::showThumbnailMenu(const QPoint &at)
{
    const QString path = thumbView->filePath(thumbView->indexAt(at).row());
    if (path.isEmpty())
        return;
    thumbnailFileActions->setFile(path);
    thumbnailFileActions->popUp(thumbView->viewport()->mapToGlobal(at),
                                [this, path] { emit openRequested(path); });
}

void DesktopHandOvers::dragPictureOut()
{
    // Fast: a large picture must not hold up the start of the drag.
    const QImage shown = imageLabel->image().scaled(kDragPictureSize, Qt::KeepAspectRatio);
    paneFileActions->drag(imageScroll, QPixmap::fromImage(shown));
}
