// SPDX-License-Identifier: GPL-3.0-or-later
#include "picturecommands.h"
#include "imagelabel.h"
#include "informationdock.h"
#include "shortcutswindow.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMainWindow>
#include <QMenu>

PictureCommands::PictureCommands(QMainWindow *window, ImageLabel *label, QAction *slideshow)
    : QObject(window), window(window), imageLabel(label)
{
    rotateLeft = new QAction(tr("Rotate &Left"), this);
    rotateLeft->setShortcut(QKeySequence(tr("Ctrl+L")));
    connect(rotateLeft, &QAction::triggered, this, [this] { rotatePicture(-1); });

    rotateRight = new QAction(tr("Rotate &Right"), this);
    rotateRight->setShortcut(QKeySequence(tr("Ctrl+R")));
    connect(rotateRight, &QAction::triggered, this, [this] { rotatePicture(1); });

    copy = new QAction(tr("&Copy"), this);
    copy->setShortcut(QKeySequence(tr("Ctrl+C")));
    connect(copy, &QAction::triggered, this, &PictureCommands::copyPicture);

    dock = new InformationDock(window);
    window->addDockWidget(Qt::RightDockWidgetArea, dock);
    dock->hide();
    information = dock->toggleViewAction();
    information->setShortcut(QKeySequence(tr("Ctrl+I")));

    for (QAction *action : {rotateLeft, rotateRight, copy})
        action->setEnabled(false);

    pictureMenu = new QMenu(tr("&Picture"), window);
    pictureMenu->addAction(rotateLeft);
    pictureMenu->addAction(rotateRight);
    pictureMenu->addSeparator();
    pictureMenu->addAction(copy);
    pictureMenu->addSeparator();
    pictureMenu->addAction(information);
    pictureMenu->addAction(slideshow);

    shortcuts = new QAction(tr("&Keyboard Shortcuts"), this);
    shortcuts->setShortcut(QKeySequence(Qt::Key_F1));
    connect(shortcuts, &QAction::triggered, this, &PictureCommands::showShortcuts);
}

void PictureCommands::pictureShown(const QString &path)
{
    shown = path;
    for (QAction *action : {rotateLeft, rotateRight, copy})
        action->setEnabled(true);
    dock->showPicture(shown, imageLabel->image());
}

void PictureCommands::waitForPicture()
{
    for (QAction *action : {rotateLeft, rotateRight, copy})
        action->setEnabled(false);
}

void PictureCommands::rotatePicture(int quarters)
{
    imageLabel->rotate(quarters);
    dock->showPicture(shown, imageLabel->image());
}

void PictureCommands::copyPicture()
{
    QGuiApplication::clipboard()->setImage(imageLabel->image());
}

void PictureCommands::showShortcuts()
{
    if (!shortcutList)
        shortcutList = new ShortcutsWindow(window);
    shortcutList->showList();
}
