// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef SHORTCUTLIST_H
#define SHORTCUTLIST_H

#include <QList>
#include <QString>

class QMainWindow;

struct ShortcutRow
{
    QString keys;
    QString command;
};

// Every key and mouse action of window: the shortcuts of its menus' commands, as "Menu ›
// Command", in the menus' order; then the window's own shortcuts; then what the mouse and the
// picture pane's keys do. Read from the actions themselves, so that it follows every change.
QList<ShortcutRow> shortcutRows(const QMainWindow *window);

// The rows as a Markdown table, as the README carries it.
QString shortcutTable(const QList<ShortcutRow> &rows);

#endif
