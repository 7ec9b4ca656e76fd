// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FOLDERREVEAL_H
#define FOLDERREVEAL_H

#include <QObject>
#include <QPersistentModelIndex>
#include <QString>
#include <QTimer>

class QFileSystemModel;
class QTreeView;

// The folder the tree starts at: the user's Pictures folder when there is one, else home.
QString startFolder();

// Shows a folder in the folder tree: the folders above it expanded, the folder selected and
// scrolled into view, but not activated. The model reads the folders above it in the
// background, and each one read adds rows around the entry and moves it, as does the tree's
// first layout in the shown window; so the tree scrolls to it again after each, until the user
// scrolls, clicks or types in the tree, or another folder becomes current.
class FolderReveal : public QObject
{
    Q_OBJECT

public:
    FolderReveal(QTreeView *tree, QFileSystemModel *model);

    // False when the tree does not list path (it is missing, a file, or hidden).
    bool reveal(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void follow();

    QTreeView *tree;
    QFileSystemModel *model;
    // Invalid once there is nothing more to follow.
    QPersistentModelIndex target;
    QTimer followTimer;
};

#endif
