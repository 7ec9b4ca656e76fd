// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef BROWSINGORDER_H
#define BROWSINGORDER_H

#include "picturelist.h"

#include <QObject>

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QWidget;
class ThumbView;

// View › Sort By and the count of the status bar: the order of a folder's pictures, which the
// grid, the steps, the slideshow and the reading ahead all follow, and where the shown picture
// stands in it.
class BrowsingOrder : public QObject
{
    Q_OBJECT

public:
    // Orders the pictures of view; window, which holds the menu and the count, owns them.
    BrowsingOrder(ThumbView *view, QWidget *window);

    // "Sort By": one of the keys, and the direction.
    QMenu *menu() const { return sortMenu; }
    QActionGroup *keys() const { return sortKeys; }
    QAction *reverseAction() const { return reverse; }
    // For the status bar: "72 of 500".
    QLabel *countLabel() const { return count; }
    // For the status bar: shown while the grid waits for the dates taken to take their order.
    QLabel *sortingLabel() const { return sorting; }

    // The picture whose place the count gives, once updateCount is called or the grid changes.
    void setShownFile(const QString &path) { shownFile = path; }
    void updateCount();

signals:
    // Before the grid takes the order, so that whatever follows it has it first; by Date Taken
    // once the dates are in.
    void orderChanged(const PictureOrder &order);

private:
    void sortPictures();

    ThumbView *thumbView;
    QString shownFile;
    QMenu *sortMenu = nullptr;
    QActionGroup *sortKeys = nullptr;
    QAction *reverse = nullptr;
    QLabel *count = nullptr;
    QLabel *sorting = nullptr;
};

#endif
