// SPDX-License-Identifier: GPL-3.0-or-later
#include "thumbmodel.h"

#include "paths.h"
#include "thumbqueue.h"
#include "thumbthread.h"

#include <QCoreApplication>
#include <QHash>
#include <QMimeData>
#include <QTextDocument>
#include <QUrl>

#include <numeric>

ThumbModel::ThumbModel() : QAbstractTableModel(nullptr)
{
    qRegisterMetaType<QImage>("QImage");
    // A model that outlives the event loop must not leave threads running into the
    // application's teardown.
    if (const QCoreApplication *application = QCoreApplication::instance())
        connect(application, &QCoreApplication::aboutToQuit, this, &ThumbModel::releaseWorkers);
}

ThumbModel::~ThumbModel()
{
    releaseWorkers();
}

int ThumbModel::rowCount(const QModelIndex &) const
{
    return files.size();
}

int ThumbModel::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant ThumbModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= files.size())
        return QVariant();
    const int file = order.at(index.row());
    switch (role) {
    case Qt::DisplayRole: {
        const QImage &image = images.at(file);
        if (!image.isNull())
            return image;
        return tried.at(file) ? kUnreadableText : kPlaceholderText;
    }
    case Qt::DecorationRole:
        return files.at(file);
    case Qt::ToolTipRole: {
        // The caption may be shortened to fit its cell; the tooltip has the whole name, as
        // plain text: a tooltip that looks like markup is shown as rich text, which fetches
        // what an <img> names.
        const QString name = pathFileName(files.at(file));
        return Qt::mightBeRichText(name) ? Qt::convertFromPlainText(name) : name;
    }
    case Qt::SizeHintRole:
        return kCellSize;
    case kKeepExtensionRole:
        return sharedStem.at(file);
    default:
        return QVariant();
    }
}

Qt::ItemFlags ThumbModel::flags(const QModelIndex &index) const
{
    return QAbstractTableModel::flags(index) | Qt::ItemIsDragEnabled;
}

QStringList ThumbModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

QMimeData *ThumbModel::mimeData(const QModelIndexList &indexes) const
{
    QList<QUrl> urls;
    for (const QModelIndex &index : indexes) {
        if (index.isValid() && index.row() < files.size())
            urls.append(QUrl::fromLocalFile(files.at(order.at(index.row()))));
    }
    auto *mime = new QMimeData;
    mime->setUrls(urls);
    return mime;
}

Qt::DropActions ThumbModel::supportedDragActions() const
{
    // The viewer never changes files: a drag copies, never moves.
    return Qt::CopyAction;
}

QString ThumbModel::filePath(int row) const
{
    return row >= 0 && row < files.size() ? files.at(order.at(row)) : QString();
}

int ThumbModel::row(const QString &path) const
{
    const qsizetype file = files.indexOf(path);
    return file < 0 ? -1 : rows.at(file);
}

QStringList ThumbModel::fileList() const
{
    QStringList list;
    list.reserve(files.size());
    for (int file : order)
        list << files.at(file);
    return list;
}

void ThumbModel::setFileList(const QStringList &files, qreal devicePixelRatio)
{
    beginResetModel();
    this->files = files;
    images = QList<QImage>(files.size());
    tried = QList<bool>(files.size(), false);
    firstVisible = lastVisible = -1;
    viewFilled = false;
    QHash<QString, int> stems;
    for (const QString &file : files)
        ++stems[pathBaseName(file).toCaseFolded()];
    sharedStem.clear();
    for (const QString &file : files)
        sharedStem.append(stems.value(pathBaseName(file).toCaseFolded()) > 1);
    order = QList<int>(files.size());
    std::iota(order.begin(), order.end(), 0);
    rows = order;
    endResetModel();
    emit dataChanged(index(0, 0), index(images.size() - 1, 0));

    for (ThumbThread *worker : std::as_const(threads))
        retire(worker);
    threads.clear();
    queue = std::make_shared<ThumbQueue>(this->files, devicePixelRatio);
    // Each worker is niced and holds one decoding buffer; more workers than processors would
    // only take turns. An empty list still gets one, which ends at once.
    const int count = qBound(1, int(files.size()), QThread::idealThreadCount());
    for (int i = 0; i < count; ++i) {
        auto *worker = new ThumbThread;
        worker->setParent(this);
        connect(worker, &ThumbThread::renderedImage, this, &ThumbModel::updatePixmap);
        threads.append(worker);
        worker->render(queue);
    }
}

void ThumbModel::arrange(const QStringList &files)
{
    if (files.size() != this->files.size())
        return;
    QHash<QString, int> indexOf;
    indexOf.reserve(files.size());
    for (int file = 0; file < this->files.size(); ++file)
        indexOf.insert(this->files.at(file), file);
    QList<int> newOrder;
    newOrder.reserve(files.size());
    QList<int> newRows(files.size(), -1);
    for (const QString &path : files) {
        const int file = indexOf.value(path, -1);
        if (file < 0 || newRows.at(file) >= 0)
            return;
        newRows[file] = int(newOrder.size());
        newOrder << file;
    }

    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex &cell : before)
        after << index(newRows.at(order.at(cell.row())), cell.column());
    changePersistentIndexList(before, after);
    order = newOrder;
    rows = newRows;
    if (queue)
        queue->arrange(order);
    emit layoutChanged();
}

void ThumbModel::setVisibleRows(int first, int last)
{
    if (queue)
        queue->prioritise(first, last);
    firstVisible = first;
    lastVisible = last;
    checkViewFilled();
}

void ThumbModel::checkViewFilled()
{
    if (viewFilled || firstVisible < 0)
        return;
    for (int row = firstVisible; row <= lastVisible && row < rows.size(); ++row) {
        if (!tried.at(order.at(row)))
            return;
    }
    viewFilled = true;
    emit viewFilledIn();
}

void ThumbModel::releaseWorkers()
{
    // Every worker, the current ones and those still finishing a superseded list, is a child.
    // Raise all flags first so that they wind down together; each deletion then waits at most
    // for the picture its worker has in hand.
    const QList<ThumbThread *> workers = findChildren<ThumbThread *>(Qt::FindDirectChildrenOnly);
    for (ThumbThread *worker : workers)
        worker->stop();
    qDeleteAll(workers);
    threads.clear();
}

void ThumbModel::retire(ThumbThread *worker)
{
    worker->stop();
    // Connected before the state is read: a worker that finishes in between is caught by one or
    // the other, and a second deleteLater is harmless.
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    if (worker->isFinished())
        worker->deleteLater();
}

void ThumbModel::updatePixmap(const QImage &image, int index)
{
    // A superseded worker may have queued results before it saw its flag; their rows belong to
    // a list that is no longer shown.
    if (!threads.contains(qobject_cast<ThumbThread *>(sender())) || index < 0 ||
        index >= images.size())
        return;
    images[index] = image;
    tried[index] = true;
    const QModelIndex cell = this->index(rows.at(index), 0);
    emit dataChanged(cell, cell);
    checkViewFilled();

    // Pumping from a nested call would stack one level per queued thumbnail; the outermost
    // call already delivers them all. The flag is not a member because an event handled inside
    // the pump may destroy this model.
    static bool pumping = false;
    if (pumping)
        return;
    pumping = true;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    pumping = false;
}
