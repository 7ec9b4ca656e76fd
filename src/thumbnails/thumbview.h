// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef THUMBVIEW_H
#define THUMBVIEW_H

#include "picturelist.h"

#include <QListView>

class ThumbModel;

// The thumbnail grid of one folder's pictures.
class ThumbView : public QListView
{
public:
    ThumbView();
    ~ThumbView() override;

    // Lists the folder's pictures by name and starts rendering their thumbnails.
    void setDirectory(const QString &path);
    // The absolute path of the picture at row; empty for a row outside the list.
    QString filePath(int row) const;
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

    ThumbModel *thumbModel;
    bool reportPending = false;
};

#endif
