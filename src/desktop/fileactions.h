// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FILEACTIONS_H
#define FILEACTIONS_H

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QPixmap;
class QPoint;
class QWidget;
class FileManager;
class OpenWithList;

// The commands that hand a picture file to the rest of the desktop: "Show in File Manager",
// "Open With" (a submenu of the applications the desktop registers for the file's type, the
// default first) and "Copy Path", and a drag that gives the file to another program. They act
// on the file last set, and are disabled while there is none.
class FileActions : public QObject
{
public:
    // parent, which may be null, is where the menus open; the file manager is reached over the
    // session bus, or over the connection of QtDBus named busConnection.
    explicit FileActions(QWidget *parent, const QString &busConnection = QString());
    ~FileActions() override;

    void setFile(const QString &path);
    QAction *showInFileManagerAction() const { return showInFileManager; }
    QAction *openWithAction() const { return openWith; }
    QAction *copyPathAction() const { return copyPath; }

    // A menu at the screen point at: "Open", which calls open, then the three commands.
    void popUp(const QPoint &at, const std::function<void()> &open);
    // Gives the file to whatever it is dropped on as a file: URL, as a file manager would; as a
    // copy, never a move, since the viewer never changes files.
    void drag(QWidget *source, const QPixmap &picture);

private:
    void listApplications();

    QWidget *parentWidget;
    QString file;
    FileManager *fileManager;
    QAction *showInFileManager;
    QAction *openWith;
    QAction *copyPath;
    QMenu *openWithMenu;
    // Read each time the submenu opens, since applications come and go.
    std::unique_ptr<OpenWithList> applications;
};

#endif
