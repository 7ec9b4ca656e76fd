// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef THUMBQUEUE_H
#define THUMBQUEUE_H

#include <QList>
#include <QMutex>
#include <QStringList>

// The rows of one file list still to be rendered, shared by the workers of that list. The rows in
// view come first, then those within a screen of them, nearest first, then the rest in list
// order. Workers take from any thread; the user-interface thread moves the view.
class ThumbQueue
{
public:
    // Thumbnails are made for a screen of devicePixelRatio device pixels to a point.
    ThumbQueue(const QStringList &files, qreal devicePixelRatio);

    const QStringList &files() const;
    qreal devicePixelRatio() const;

    // A row that no other taker has had, or -1 once every row has been taken.
    int take();
    // Rows first to last are in view now; rows already taken are not taken again.
    void prioritise(int first, int last);

private:
    const QStringList list;
    const qreal ratio;
    QMutex mutex;
    QList<bool> taken;
    // Every row before it has been taken.
    int next = 0;
    int firstInView = 0;
    int lastInView = -1;
};

#endif
