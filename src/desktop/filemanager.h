// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FILEMANAGER_H
#define FILEMANAGER_H

#include <QObject>
#include <QString>

// The desktop's file manager, asked over D-Bus to show a file selected in its folder
// (org.freedesktop.FileManager1.ShowItems). When no file manager answers there, or there is no
// bus, the folder opens with the desktop's default handler for folders instead.
class FileManager : public QObject
{
public:
    // Over the session bus, or over the connection of QtDBus named busConnection.
    explicit FileManager(QObject *parent, const QString &busConnection = QString());

    // Returns at once: the window never waits for the file manager.
    void showItem(const QString &path);

private:
    QString busConnection;
};

#endif
