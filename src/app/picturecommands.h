// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PICTURECOMMANDS_H
#define PICTURECOMMANDS_H

#include <QObject>
#include <QString>

class QAction;
class QMainWindow;
class QMenu;
class ImageLabel;
class InformationDock;
class ShortcutsWindow;

// The Picture menu and Help's list of keys: additions for looking at a photo closely. Rotate
// Left and Right and Copy act on the picture of the pane; the information dock, on the right of
// the window, tells about it; the keyboard shortcuts window lists the window's keys.
class PictureCommands : public QObject
{
    Q_OBJECT

public:
    // The Picture menu holds slideshow among the commands; the dock goes into window.
    PictureCommands(QMainWindow *window, ImageLabel *label, QAction *slideshow);

    QMenu *menu() const { return pictureMenu; }
    QAction *rotateLeftAction() const { return rotateLeft; }
    QAction *rotateRightAction() const { return rotateRight; }
    QAction *copyAction() const { return copy; }
    // The information dock's own action that shows and hides it.
    QAction *informationAction() const { return information; }
    QAction *shortcutsAction() const { return shortcuts; }
    InformationDock *informationDock() const { return dock; }
    // Null until the list of keys is first asked for.
    ShortcutsWindow *shortcutsWindow() const { return shortcutList; }
    // The file of the picture last shown whole.
    QString shownFile() const { return shown; }

    // The pane shows the full picture of path: the commands act on it.
    void pictureShown(const QString &path);
    // The pane shows a stand-in: turning and copying act on the full picture, and wait for it.
    void waitForPicture();

private:
    void rotatePicture(int quarters);
    void copyPicture();
    void showShortcuts();

    QMainWindow *window;
    ImageLabel *imageLabel;
    QString shown;
    QMenu *pictureMenu = nullptr;
    QAction *rotateLeft = nullptr;
    QAction *rotateRight = nullptr;
    QAction *copy = nullptr;
    QAction *information = nullptr;
    QAction *shortcuts = nullptr;
    InformationDock *dock = nullptr;
    ShortcutsWindow *shortcutList = nullptr;
};

#endif
