// SPDX-License-Identifier: GPL-3.0-or-later
#include "informationdock.h"
#include "histogram.h"
#include "histogramview.h"
#include "informationtext.h"

#include "reduction.h"

#include <QAction>
#include <QFutureWatcher>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace {

// Work lands through a watcher that owner owns: destroyed with it, the watcher lets go of the
// work, which ends unseen. A continuation on owner itself would meet a destroyed object when
// the work ends after the window.
template <typename T, typename Land>
void whenDone(QObject *owner, const QFuture<T> &work, Land land)
{
    auto *watcher = new QFutureWatcher<T>(owner);
    QObject::connect(watcher, &QFutureWatcherBase::finished, owner, [watcher, land] {
        land(watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(work);
}

} // namespace

InformationDock::InformationDock(QWidget *parent) : QDockWidget(parent)
{
    details = new QLabel;
    details->setTextFormat(Qt::RichText);
    details->setTextInteractionFlags(Qt::TextSelectableByMouse);
    details->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    histogram = new HistogramView;

    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    layout->addWidget(histogram);
    layout->addWidget(details);
    layout->addStretch();
    auto *scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setWidget(content);
    setWidget(scroll);
    // The title bar stays empty, as on the other docks; the name is for the window's menu.
    toggleViewAction()->setText(tr("Information"));
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible && stale)
            refresh();
    });
}

void InformationDock::showPicture(const QString &path, const QImage &picture)
{
    this->path = path;
    this->picture = picture;
    refresh();
}

QString InformationDock::text() const
{
    return details->text();
}

void InformationDock::refresh()
{
    ++requests;
    stale = isHidden();
    if (stale || path.isEmpty())
        return;
    // A request overtaken by the next is dropped when it lands.
    const quint64 request = requests;
    whenDone(this, QtConcurrent::run([file = path, size = sizeInFile(picture)] {
                 return pictureInformation(file, size);
             }),
             [this, request](const QList<InformationSection> &sections) {
                 if (request == requests)
                     details->setText(informationHtml(sections));
             });
    whenDone(this, QtConcurrent::run([shown = picture] { return histogramOf(shown); }),
             [this, request](const Histogram &counts) {
                 if (request == requests)
                     histogram->setHistogram(counts);
             });
}
