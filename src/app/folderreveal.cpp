// SPDX-License-Identifier: GPL-3.0-or-later
#include "folderreveal.h"

#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeView>

QString startFolder()
{
    const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (!pictures.isEmpty() && QFileInfo(pictures).isDir())
        return QDir::cleanPath(pictures);
    return QDir::homePath();
}

FolderReveal::FolderReveal(QTreeView *tree, QFileSystemModel *model)
    : QObject(tree), tree(tree), model(model)
{
    // Coalesced: a folder read brings many rows, then a sort that moves them all.
    followTimer.setSingleShot(true);
    followTimer.setInterval(0);
    connect(&followTimer, &QTimer::timeout, this, &FolderReveal::follow);
    const auto later = [this] {
        if (target.isValid())
            followTimer.start();
    };
    connect(model, &QFileSystemModel::directoryLoaded, this, later);
    connect(model, &QAbstractItemModel::rowsInserted, this, later);
    connect(model, &QAbstractItemModel::layoutChanged, this, later);
    tree->viewport()->installEventFilter(this);
    tree->installEventFilter(this);
}

bool FolderReveal::reveal(const QString &path)
{
    const QModelIndex index = QFileInfo(path).isDir() ? model->index(path) : QModelIndex();
    // A hidden folder has an index, but the tree's filter leaves it out of every listing.
    if (!index.isValid() || QFileInfo(path).isHidden())
        return false;
    target = index;
    tree->setCurrentIndex(index);
    // Expands every folder above it, which starts their reading.
    tree->scrollTo(index);
    return true;
}

bool FolderReveal::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Resize:
    case QEvent::Show:
        if (target.isValid())
            followTimer.start();
        break;
    // The user takes over: the tree is theirs to scroll.
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::KeyPress:
        target = QPersistentModelIndex();
        followTimer.stop();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void FolderReveal::follow()
{
    if (!target.isValid())
        return;
    if (tree->currentIndex() != target) {
        target = QPersistentModelIndex();
        return;
    }
    tree->scrollTo(target);
}
