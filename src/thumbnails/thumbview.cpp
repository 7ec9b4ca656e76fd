#include "thumbview.h"

#include "formats.h"
#include "thumbdelegate.h"
#include "thumbmodel.h"

#include <QDir>

QStringList pictureNameFilters()
{
    QStringList filters;
    for (const QString &format : supportedFormats())
        filters << QStringLiteral("*.") + format;
    for (const QString &extension : rawExtensions())
        filters << QStringLiteral("*.") + extension;
    return filters;
}

ThumbView::ThumbView() : QListView(nullptr)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFlow(QListView::LeftToRight);
    setResizeMode(QListView::Adjust);
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setSelectionRectVisible(false);
    setUniformItemSizes(true);
    setWordWrap(true);
    setWrapping(true);
    setSpacing(2);

    thumbModel = new ThumbModel;
    setModel(thumbModel);
    setItemDelegate(new ThumbDelegate(nullptr));
}

ThumbView::~ThumbView()
{
    // The model stops and waits for its workers, so nothing renders for a view that is gone.
    delete itemDelegate();
    delete thumbModel;
}

void ThumbView::setDirectory(const QString &path)
{
    // Patterns match in any letter case; NoSort keeps the directory's default order, by name
    // ignoring case; hidden files are left out because QDir::Hidden is not asked for.
    const QFileInfoList entries =
        QDir(path).entryInfoList(pictureNameFilters(), QDir::Files | QDir::Readable, QDir::NoSort);
    QStringList files;
    files.reserve(entries.size());
    for (const QFileInfo &entry : entries)
        files << entry.absoluteFilePath();

    thumbModel->setFileList(files);
    setGridSize(kCellSize);
}

QString ThumbView::filePath(int row) const
{
    return thumbModel->filePath(row);
}
