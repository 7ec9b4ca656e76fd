// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef THUMBVIEW_H
#define THUMBVIEW_H

#include "picturelist.h"

#include <QListView>

class TakenDates;
class ThumbModel;

// The thumbnail grid of one folder's pictures.
class ThumbView : public QListView
{
    Q_OBJECT

public:
    ThumbView();
    ~ThumbView() override;

    // Lists the folder's pictures in the order and starts rendering their thumbnails.
    void setDirectory(const QString &path);
    // The absolute path of the picture at row; empty for a row outside the list.
    QString filePath(int row) const;
    // The row of the picture at path; -1 when it is not listed.
    int row(const QString &path) const;
    // Puts the pictures listed in order, moving the thumbnails made rather than making them
    // again; the current one stays current and in view. By Date Taken, while the dates of some
    // are still to be read (in the background), the rows keep the order they had and move once
    // the dates are in; a folder opened meanwhile is listed in that order too.
    void setOrder(const PictureOrder &order);
    // The order the rows are in, which the steps follow: the one set last, once it applies.
    PictureOrder order() const { return pictureOrder; }
    // Whether an order is set that waits for the dates it goes by.
    bool isSorting() const { return pictureOrder != wantedOrder; }
    // Makes the thumbnail of path the current one and scrolls it into view; a path that is not
    // in the grid changes nothing.
    void setCurrentFile(const QString &path);

signals:
    // The rows go into another order (order()), just before they move.
    void orderChanged(const PictureOrder &order);
    // An order that waits for its dates was set (true), or the rows went into it (false).
    void sortingChanged(bool sorting);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // Tells the model which rows are in view, once the events in hand are handled.
    void followView();
    void reportVisibleRows();
    void arrange();
    // The dates are in: the order set goes into effect.
    void applyWantedOrder();
    // Reads the dates taken of files while they are the order's key; stops reading otherwise.
    void followDates(const QStringList &files);

    ThumbModel *thumbModel;
    TakenDates *takenDates;
    PictureOrder pictureOrder;
    PictureOrder wantedOrder;
    bool reportPending = false;
};

#endif
