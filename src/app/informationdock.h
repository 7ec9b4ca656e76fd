// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef INFORMATIONDOCK_H
#define INFORMATIONDOCK_H

#include <QDockWidget>
#include <QImage>
#include <QString>

class QLabel;
class HistogramView;

// The dock that tells about the shown picture: its file, size, format and profile, the camera and
// exposure its metadata records, and its histogram. Both are worked out on worker threads; a
// hidden dock does no work, and catches up when it is shown.
class InformationDock : public QDockWidget
{
public:
    explicit InformationDock(QWidget *parent);

    // The picture now shown (as turned), read from the file at path.
    void showPicture(const QString &path, const QImage &picture);
    QString text() const;
    const HistogramView *histogramView() const { return histogram; }

private:
    void refresh();

    QString path;
    QImage picture;
    bool stale = false;
    // Counts the pictures given, so that work for one already replaced is dropped.
    quint64 requests = 0;
    QLabel *details = nullptr;
    HistogramView *histogram = nullptr;
};

#endif
