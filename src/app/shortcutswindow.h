// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SHORTCUTSWINDOW_H
#define SHORTCUTSWINDOW_H

#include <QDialog>

class QMainWindow;
class QTableWidget;

// A window beside the viewer listing every key and mouse action, read afresh from the window's
// actions each time it is shown.
class ShortcutsWindow : public QDialog
{
public:
    explicit ShortcutsWindow(QMainWindow *window);

    // Fills the list from the window's actions and brings the window up.
    void showList();
    const QTableWidget *table() const { return list; }

private:
    QMainWindow *window;
    QTableWidget *list = nullptr;
};

#endif
