// SPDX-License-Identifier: GPL-3.0-or-later
#include "browsingorder.h"
#include "thumbview.h"

#include <QAction>
#include <QActionGroup>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>

BrowsingOrder::BrowsingOrder(ThumbView *view, QWidget *window) : QObject(window), thumbView(view)
{
    sortMenu = new QMenu(tr("Sort &By"), window);
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
    reverse = sortMenu->addAction(tr("&Reverse Order"));
    reverse->setCheckable(true);
    connect(sortKeys, &QActionGroup::triggered, this, &BrowsingOrder::sortPictures);
    connect(reverse, &QAction::triggered, this, &BrowsingOrder::sortPictures);

    count = new QLabel;
    // The grid keeps its order while the dates it is to go by are read.
    sorting = new QLabel(tr("Sorting by date taken..."));
    sorting->hide();
    connect(thumbView, &ThumbView::sortingChanged, sorting, &QLabel::setVisible);
    connect(thumbView, &ThumbView::orderChanged, this, &BrowsingOrder::orderChanged);
    // A new folder in the grid, and the rows moving into another order.
    connect(thumbView->model(), &QAbstractItemModel::modelReset, this, &BrowsingOrder::updateCount);
    connect(thumbView->model(), &QAbstractItemModel::layoutChanged, this,
            &BrowsingOrder::updateCount);
}

void BrowsingOrder::sortPictures()
{
    PictureOrder order;
    order.key = PictureOrder::Key(sortKeys->checkedAction()->data().toInt());
    order.reversed = reverse->isChecked();
    thumbView->setOrder(order);
}

void BrowsingOrder::updateCount()
{
    const int row = shownFile.isEmpty()
                        ? -1
                        : thumbView->row(QDir::cleanPath(QFileInfo(shownFile).absoluteFilePath()));
    count->setText(row < 0 ? QString()
                           : tr("%1 of %2").arg(row + 1).arg(thumbView->model()->rowCount()));
}
