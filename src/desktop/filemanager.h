// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FILEMANAGER_H
#define FILEMANAGER_H

#include <QDBusConnection>
#include <QObject>

// The desktop's file manager, asked over bus to show a file selected in its folder
// (org.freedesktop.FileManager1.ShowItems). When no file manager answers there, or there is no
// bus, the folder opens with the desktop's default handler for folders instead.
class FileManager : public QObject
{
public:
    explicit FileManager(QObject *parent,
                         const QDBusConnection &bus = QDBusConnection::sessionBus());

    // Returns at once: the window never waits for the file manager.
    void showItem(const QString &path);

private:
    QDBusConnection bus;
};

#endif
