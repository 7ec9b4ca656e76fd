// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DROPTARGET_H
#define DROPTARGET_H

#include <QObject>
#include <QString>

class QMimeData;
class QWidget;

// Lets a window take a file or a folder dragged onto it from a file manager.
class DropTarget : public QObject
{
    Q_OBJECT

public:
    // Watches window, which from now on accepts drops.
    explicit DropTarget(QWidget *window);

    // The first local file or folder that mime carries; empty when it carries none.
    static QString droppedPath(const QMimeData *mime);

signals:
    void pathDropped(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

#endif
