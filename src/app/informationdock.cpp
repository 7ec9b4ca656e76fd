#include "informationdock.h"
#include "histogram.h"
#include "histogramview.h"
#include "informationtext.h"

#include <QAction>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QtConcurrent>

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
    const quint64 request = requests;
    pending = 2;
    const QString file = path;
    const QImage shown = picture;
    QtConcurrent::run([file, size = shown.size()] {
        return pictureInformation(file, size);
    }).then(this, [this, request](const QList<InformationSection> &sections) {
        if (request == requests)
            details->setText(informationHtml(sections));
        landed(request);
    });
    QtConcurrent::run([shown] {
        return histogramOf(shown);
    }).then(this, [this, request](const Histogram &counts) {
        if (request == requests)
            histogram->setHistogram(counts);
        landed(request);
    });
}

void InformationDock::landed(quint64 request)
{
    if (request == requests && --pending == 0)
        emit refreshed();
}
