// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef THUMBMODEL_H
#define THUMBMODEL_H

#include <QAbstractTableModel>
#include <QImage>
#include <QList>
#include <QSize>
#include <QStringList>

#include <memory>

class ThumbQueue;
class ThumbThread;

// A grid cell: the thumbnail square on top, a caption strip below it.
constexpr QSize kCellSize(80, 96);

// Shown in place of a thumbnail that has not arrived yet.
inline const QString kPlaceholderText = QStringLiteral("loading...");
// Shown in place of a thumbnail that the worker tried to make and could not.
inline const QString kUnreadableText = QStringLiteral("cannot load");

// Whether a row's caption keeps the file's extension: another file of the list has the same
// name without it, compared regardless of case (IMG_3001.DNG beside IMG_3001.JPG).
constexpr int kKeepExtensionRole = Qt::UserRole;

// One row per picture file: the display role holds the thumbnail (or the placeholder text, or
// the unreadable marker), the decoration role the file's absolute path, the tooltip its name.
// Thumbnails are rendered by one worker per processor for each list, the rows in view first.
class ThumbModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    ThumbModel();
    ~ThumbModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    // Dragged out, the rows are their files as file: URLs, which other programs copy.
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDragActions() const override;

    // Empty for a row outside the list.
    QString filePath(int row) const;
    // The row of path; -1 when it is not listed.
    int row(const QString &path) const;
    // The files, row by row.
    QStringList fileList() const;
    // Thumbnails are made for a screen of devicePixelRatio device pixels to a point.
    void setFileList(const QStringList &files, qreal devicePixelRatio = 1);
    // Moves the rows, thumbnails made or not, into the order of files, which holds the list's
    // files in another order; another list changes nothing. Persistent indexes (the current
    // cell, the selection) move with their rows.
    void arrange(const QStringList &files);
    // Rows first to last are in view: they are rendered next, then those around them.
    void setVisibleRows(int first, int last);
    // Whether every row in view has been tried since the list was set.
    bool isViewFilled() const { return viewFilled; }

signals:
    // The rows in view have all been tried, once per list.
    void viewFilledIn();

private slots:
    void updatePixmap(const QImage &image, int index);

private:
    void releaseWorkers();
    void retire(ThumbThread *worker);
    void checkViewFilled();

    // The workers of the current list; they share its queue.
    QList<ThumbThread *> threads;
    int firstVisible = -1;
    int lastVisible = -1;
    bool viewFilled = false;
    std::shared_ptr<ThumbQueue> queue;
    // By index in the list as set, which the workers report.
    QStringList files;
    QList<QImage> images;
    // Files a worker has reached, whether or not it got a picture.
    QList<bool> tried;
    // Rows whose stem another row shares, worked out once per list.
    QList<bool> sharedStem;
    // The index in files of each row, and the row of each index.
    QList<int> order;
    QList<int> rows;
};

#endif
