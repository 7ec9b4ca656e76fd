// SPDX-License-Identifier: GPL-3.0-or-later
// The window's View › Sort By and the count of the status bar: the order of a folder's pictures,
// which the grid, the steps, the slideshow and the reading ahead all follow.

#include "imageviewer.h"
#include "picturelist.h"
#include "readahead.h"
#include "thumbview.h"

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>

void ImageViewer::createSortActions()
{
    sortMenu = new QMenu(tr("Sort &By"), this);
    sortKeys = new QActionGroup(this);
    const QList<QPair<QString, PictureOrder::Key>> keys{
        {tr("&Name"), PictureOrder::Name},
        {tr("Date &Taken"), PictureOrder::DateTaken},
        {tr("Date &Modified"), PictureOrder::DateModified},
        {tr("&Size"), PictureOrder::Size},
    };
    for (const auto &[text, key] : keys) {
        QAction *action = sortMenu->addAction(text);
        action->setCheckable(true);
        action->setChecked(key == PictureOrder::Name);
        action->setData(int(key));
        sortKeys->addAction(action);
    }
    sortMenu->addSeparator();
    reverseAction = sortMenu->addAction(tr("&Reverse Order"));
    reverseAction->setCheckable(true);
    connect(sortKeys, &QActionGroup::triggered, this, &ImageViewer::sortPictures);
    connect(reverseAction, &QAction::triggered, this, &ImageViewer::sortPictures);
    viewMenu->addSeparator();
    viewMenu->addMenu(sortMenu);

    countLabel = new QLabel;
    statusBar()->addPermanentWidget(countLabel);
    // A new folder in the grid, and the rows moving into another order.
    connect(thumbView->model(), &QAbstractItemModel::modelReset, this, &ImageViewer::updateCount);
    connect(thumbView->model(), &QAbstractItemModel::layoutChanged, this,
            &ImageViewer::updateCount);
}

void ImageViewer::sortPictures()
{
    PictureOrder order;
    order.key = PictureOrder::Key(sortKeys->checkedAction()->data().toInt());
    order.reversed = reverseAction->isChecked();
    readAhead->setOrder(order);
    thumbView->setOrder(order);
}

void ImageViewer::updateCount()
{
    const int row = shownFile.isEmpty()
                        ? -1
                        : thumbView->row(QDir::cleanPath(QFileInfo(shownFile).absoluteFilePath()));
    countLabel->setText(row < 0 ? QString()
                                : tr("%1 of %2").arg(row + 1).arg(thumbView->model()->rowCount()));
}
