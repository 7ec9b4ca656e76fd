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
    // Thumbnails are made for a screen of devicePixelRatio device pixels to a point.
    void setFileList(const QStringList &files, qreal devicePixelRatio = 1);
    // Rows first to last are in view: they are rendered next, then those around them.
    void setVisibleRows(int first, int last);

private slots:
    void updatePixmap(const QImage &image, int index);

private:
    void releaseWorkers();
    void retire(ThumbThread *worker);

    // The workers of the current list; they share its queue.
    QList<ThumbThread *> threads;
    std::shared_ptr<ThumbQueue> queue;
    QStringList files;
    QList<QImage> images;
    // Rows a worker has reached, whether or not it got a picture.
    QList<bool> tried;
};

#endif
