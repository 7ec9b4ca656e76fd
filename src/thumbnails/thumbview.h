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
    // again; the current one stays current and in view. By Date Taken the rows go by
    // modification date until the dates of all are read, in the background, and then move once.
    void setOrder(const PictureOrder &order);
    PictureOrder order() const { return pictureOrder; }
    // Makes the thumbnail of path the current one and scrolls it into view; a path that is not
    // in the grid changes nothing.
    void setCurrentFile(const QString &path);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // Tells the model which rows are in view, once the events in hand are handled.
    void followView();
    void reportVisibleRows();
    void arrange();
    // Reads the dates taken of files while they are the order's key; stops reading otherwise.
    void followDates(const QStringList &files);

    ThumbModel *thumbModel;
    TakenDates *takenDates;
    PictureOrder pictureOrder;
    bool reportPending = false;
};

#endif
