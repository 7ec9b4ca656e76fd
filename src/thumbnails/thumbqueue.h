// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef THUMBQUEUE_H
#define THUMBQUEUE_H

#include <QList>
#include <QMutex>
#include <QStringList>

// The rows of one file list still to be rendered, shared by the workers of that list. The rows in
// view come first, then those within a screen of them, nearest first, then the rest in row
// order. Workers take from any thread; the user-interface thread moves the view and may put the
// rows in another order.
class ThumbQueue
{
public:
    // Thumbnails are made for a screen of devicePixelRatio device pixels to a point.
    ThumbQueue(const QStringList &files, qreal devicePixelRatio);

    const QStringList &files() const;
    qreal devicePixelRatio() const;

    // The index in files() of a row that no other taker has had, or -1 once every row has been
    // taken.
    int take();
    // Rows first to last are in view now; rows already taken are not taken again.
    void prioritise(int first, int last);
    // Row i shows files().at(order.at(i)) from now on; order holds every index once.
    void arrange(const QList<int> &order);

private:
    const QStringList list;
    const qreal ratio;
    QMutex mutex;
    // By index in the list.
    QList<bool> taken;
    // The index in the list of each row.
    QList<int> order;
    // Every row before it has been taken.
    int next = 0;
    int firstInView = 0;
    int lastInView = -1;
};

#endif
