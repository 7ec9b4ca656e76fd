// SPDX-License-Identifier: GPL-3.0-or-later
#include "thumbview.h"

#include "picturelist.h"
#include "thumbdelegate.h"
#include "thumbmodel.h"

ThumbView::ThumbView() : QListView(nullptr)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFlow(QListView::LeftToRight);
    setResizeMode(QListView::Adjust);
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setSelectionRectVisible(false);
    setUniformItemSizes(true);
    setWordWrap(true);
    setWrapping(true);
    setSpacing(2);

    thumbModel = new ThumbModel;
    setModel(thumbModel);
    setItemDelegate(new ThumbDelegate(nullptr));
}

ThumbView::~ThumbView()
{
    // The model stops and waits for its workers, so nothing renders for a view that is gone.
    delete itemDelegate();
    delete thumbModel;
}

void ThumbView::setDirectory(const QString &path)
{
    thumbModel->setFileList(pictureFiles(path));
    setGridSize(kCellSize);
}

QString ThumbView::filePath(int row) const
{
    return thumbModel->filePath(row);
}

void ThumbView::setCurrentFile(const QString &path)
{
    for (int row = 0; row < model()->rowCount(); ++row) {
        if (thumbModel->filePath(row) == path) {
            const QModelIndex index = model()->index(row, 0);
            setCurrentIndex(index);
            scrollTo(index);
            return;
        }
    }
}
