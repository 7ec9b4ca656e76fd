// SPDX-License-Identifier: GPL-3.0-or-later
#include "thumbview.h"

#include "picturelist.h"
#include "takendates.h"
#include "thumbdelegate.h"
#include "thumbmodel.h"

#include <QScrollBar>

namespace {

// The lowest row in [0, rows) for which below(row) holds, or rows when none does; below must
// hold for every row after one for which it holds.
template <typename Predicate>
int firstRowWhere(int rows, Predicate below)
{
    int low = 0;
    int high = rows;
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (below(middle))
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

} // namespace

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
    // Thumbnails drag out to other programs as their files; the grid takes no drops itself, so
    // that a drop on it reaches the window's.
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);

    thumbModel = new ThumbModel;
    setModel(thumbModel);
    setItemDelegate(new ThumbDelegate(nullptr));
    takenDates = new TakenDates(this);
    connect(takenDates, &TakenDates::datesRead, this, &ThumbView::applyWantedOrder);
    connect(thumbModel, &ThumbModel::viewFilledIn, this,
            [this] { followDates(thumbModel->fileList()); });

    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { followView(); });
}

ThumbView::~ThumbView()
{
    // The model stops and waits for its workers, so nothing renders for a view that is gone.
    delete itemDelegate();
    delete thumbModel;
}

void ThumbView::setDirectory(const QString &path)
{
    const QStringList files = pictureFiles(path, pictureOrder);
    thumbModel->setFileList(files, devicePixelRatioF());
    setGridSize(kCellSize);
    followView();
    followDates(files);
}

QString ThumbView::filePath(int row) const
{
    return thumbModel->filePath(row);
}

int ThumbView::row(const QString &path) const
{
    return thumbModel->row(path);
}

void ThumbView::setOrder(const PictureOrder &order)
{
    const bool wasSorting = isSorting();
    wantedOrder = order;
    const QStringList files = thumbModel->fileList();
    // An order by dates not all read would show the rows by modification date first, then
    // move them again: they stay as they are until the dates are in.
    if (order.key == PictureOrder::DateTaken && !TakenDates::known(files)) {
        if (!wasSorting)
            emit sortingChanged(true);
        followDates(files);
        return;
    }
    applyWantedOrder();
    followDates(files);
}

void ThumbView::applyWantedOrder()
{
    const bool wasSorting = isSorting();
    const bool changed = pictureOrder != wantedOrder;
    pictureOrder = wantedOrder;
    // Before the rows move, so that whatever follows the order has it first.
    if (changed)
        emit orderChanged(pictureOrder);
    arrange();
    if (wasSorting)
        emit sortingChanged(false);
}

void ThumbView::arrange()
{
    thumbModel->arrange(orderedPictures(thumbModel->fileList(), pictureOrder));
    if (currentIndex().isValid())
        scrollTo(currentIndex());
    followView();
}

void ThumbView::followDates(const QStringList &files)
{
    // The dates wait for the first screen of thumbnails, which would share the processors with
    // them; the rows keep their order meanwhile (a folder opened by Date Taken is in the order
    // of modification times).
    if (wantedOrder.key != PictureOrder::DateTaken)
        takenDates->stop();
    else if (isSorting() && TakenDates::known(files))
        applyWantedOrder();
    else if (thumbModel->isViewFilled())
        takenDates->read(files);
    // Those of another folder would put these rows in order by what is not known of them.
    else
        takenDates->stop();
}

void ThumbView::setCurrentFile(const QString &path)
{
    for (int row = 0; row < model()->rowCount(); ++row) {
        if (thumbModel->filePath(row) == path) {
            const QModelIndex index = model()->index(row, 0);
            setCurrentIndex(index);
            scrollTo(index);
            return;
        }
    }
}

void ThumbView::resizeEvent(QResizeEvent *event)
{
    QListView::resizeEvent(event);
    followView();
}

void ThumbView::showEvent(QShowEvent *event)
{
    QListView::showEvent(event);
    followView();
}

void ThumbView::followView()
{
    // A scroll, a resize or a new folder often comes in a burst of events; the rows in view are
    // worked out once, when the burst has been handled.
    if (reportPending)
        return;
    reportPending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            reportPending = false;
            reportVisibleRows();
        },
        Qt::QueuedConnection);
}

void ThumbView::reportVisibleRows()
{
    const int rows = model()->rowCount();
    if (rows == 0 || !isVisible())
        return;
    // Cells are laid out in row order, line by line, so the cells in view are a run of rows.
    const QRect view = viewport()->rect();
    const auto cell = [this](int row) { return visualRect(model()->index(row, 0)); };
    const int first =
        firstRowWhere(rows, [&](int row) { return cell(row).bottom() >= view.top(); });
    const int end = firstRowWhere(rows, [&](int row) { return cell(row).top() > view.bottom(); });
    if (first < end)
        thumbModel->setVisibleRows(first, end - 1);
}
