// SPDX-License-Identifier: GPL-3.0-or-later
#include "thumbqueue.h"

#include <QMutexLocker>

#include <numeric>

ThumbQueue::ThumbQueue(const QStringList &files, qreal devicePixelRatio)
    : list(files), ratio(devicePixelRatio), taken(files.size(), false), order(files.size())
{
    std::iota(order.begin(), order.end(), 0);
}

const QStringList &ThumbQueue::files() const
{
    return list;
}

qreal ThumbQueue::devicePixelRatio() const
{
    return ratio;
}

int ThumbQueue::take()
{
    const QMutexLocker lock(&mutex);
    const int count = int(taken.size());
    const auto claim = [&](int row) {
        if (row < 0 || row >= count || taken.at(order.at(row)))
            return false;
        taken[order.at(row)] = true;
        return true;
    };
    // Scanned afresh on each take: a screen is a few hundred rows at most, against a decode of
    // milliseconds, and a scroll in between takes effect at once.
    for (int row = firstInView; row <= lastInView; ++row) {
        if (claim(row))
            return order.at(row);
    }
    // The screen around the view, nearest rows first: the next scroll in either direction finds
    // its cells filled.
    const int screen = lastInView - firstInView + 1;
    for (int distance = 1; distance <= screen; ++distance) {
        if (claim(lastInView + distance))
            return order.at(lastInView + distance);
        if (claim(firstInView - distance))
            return order.at(firstInView - distance);
    }
    while (next < count && !claim(next))
        ++next;
    return next < count ? order.at(next++) : -1;
}

void ThumbQueue::prioritise(int first, int last)
{
    const QMutexLocker lock(&mutex);
    firstInView = first;
    lastInView = last;
}

void ThumbQueue::arrange(const QList<int> &order)
{
    const QMutexLocker lock(&mutex);
    this->order = order;
    next = 0;
}
