// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef THUMBMODEL_H
#define THUMBMODEL_H

#include <QAbstractTableModel>
#include <QImage>
#include <QList>
#include <QSize>
#include <QStringList>

class ThumbThread;

// A grid cell: the thumbnail square on top, a caption strip below it.
constexpr QSize kCellSize(80, 96);

// Shown in place of a thumbnail that has not arrived yet.
inline const QString kPlaceholderText = QStringLiteral("loading...");
// Shown in place of a thumbnail that the worker tried to make and could not.
inline const QString kUnreadableText = QStringLiteral("cannot load");

// One row per picture file: the display role holds the thumbnail (or the placeholder text, or
// the unreadable marker), the decoration role the file's absolute path, the tooltip its name.
// Thumbnails are rendered by a worker per list.
class ThumbModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    ThumbModel();
    ~ThumbModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Empty for a row outside the list.
    QString filePath(int row) const;
    void setFileList(const QStringList &files);

private slots:
    void updatePixmap(const QImage &image, int index);

private:
    void releaseWorkers();
    void retire(ThumbThread *worker);

    ThumbThread *thread = nullptr;
    QStringList files;
    QList<QImage> images;
    // Rows the worker has reached, whether or not it got a picture.
    QList<bool> tried;
};

#endif
