#ifndef THUMBVIEW_H
#define THUMBVIEW_H

#include <QListView>

#include <QStringList>

class ThumbModel;

// "*." and each format that Qt reads, then "*." and each camera raw extension.
QStringList pictureNameFilters();

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

private:
    ThumbModel *thumbModel;
};

#endif
