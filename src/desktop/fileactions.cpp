// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileactions.h"

#include "filemanager.h"
#include "openwithlist.h"

#include <QAction>
#include <QClipboard>
#include <QDrag>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMenu>
#include <QMimeData>
#include <QPixmap>
#include <QUrl>

FileActions::FileActions(QWidget *parent, const QString &busConnection)
    : QObject(parent), parentWidget(parent), fileManager(new FileManager(this, busConnection))
{
    showInFileManager = new QAction(tr("Show in File Manager"), this);
    connect(showInFileManager, &QAction::triggered, this, [this] { fileManager->showItem(file); });

    openWithMenu = new QMenu(parent);
    connect(openWithMenu, &QMenu::aboutToShow, this, &FileActions::listApplications);
    openWith = new QAction(tr("Open With"), this);
    openWith->setMenu(openWithMenu);

    copyPath = new QAction(tr("Copy Path"), this);
    connect(copyPath, &QAction::triggered, this,
            [this] { QGuiApplication::clipboard()->setText(QFileInfo(file).absoluteFilePath()); });
    setFile(QString());
}

FileActions::~FileActions()
{
    // A widget, which the parent of these actions need not be.
    delete openWithMenu;
}

void FileActions::setFile(const QString &path)
{
    file = path;
    for (QAction *action : {showInFileManager, openWith, copyPath})
        action->setEnabled(!path.isEmpty());
}

void FileActions::popUp(const QPoint &at, const std::function<void()> &open)
{
    QMenu menu(parentWidget);
    menu.setDefaultAction(menu.addAction(tr("Open"), open));
    menu.addActions({showInFileManager, openWith, copyPath});
    menu.exec(at);
}

void FileActions::drag(QWidget *source, const QPixmap &picture)
{
    auto *mime = new QMimeData;
    mime->setUrls({QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath())});
    auto *drag = new QDrag(source);
    drag->setMimeData(mime);
    drag->setPixmap(picture);
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

void FileActions::listApplications()
{
    openWithMenu->clear();
    applications = std::make_unique<OpenWithList>(file);
    for (int i = 0; i < applications->size(); ++i) {
        // An application that cannot start is not the viewer's concern: the result is ignored.
        openWithMenu->addAction(applications->icon(i), applications->name(i), this,
                                [list = applications.get(), i] { list->launch(i); });
    }
    if (applications->size() == 0)
        openWithMenu->addAction(tr("No Application Registered"))->setEnabled(false);
}
