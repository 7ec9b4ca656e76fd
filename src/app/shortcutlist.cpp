// SPDX-License-Identifier: GPL-3.0-or-later
#include "shortcutlist.h"

#include <QAction>
#include <QCoreApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSet>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Shortcuts", text);
}

QString keysOf(const QAction *action)
{
    QStringList keys;
    for (const QKeySequence &sequence : action->shortcuts())
        keys << sequence.toString(QKeySequence::NativeText);
    return keys.join(QStringLiteral(", "));
}

// What no action carries: the mouse, and the keys that the picture pane takes itself.
QList<ShortcutRow> paneRows()
{
    return {
        {tr("Right, Left"), tr("Next and previous picture, in the pane while the picture is "
                               "fitted; otherwise they scroll")},
        {tr("Page Down, Page Up"), tr("Next and previous picture, in the pane while the picture "
                                      "is fitted; otherwise they scroll")},
        {tr("Home, End"), tr("First and last picture of the folder, in the pane")},
        {tr("+, -"), tr("Zoom in or out, in the pane, as Ctrl + wheel does")},
        {tr("Ctrl + wheel"), tr("Zoom in or out, from the fitted size while fitted")},
        {tr("Double-click on the picture"),
         tr("100 % at the point clicked, from the fitted picture; otherwise back to fit")},
        {tr("Drag with the left button"), tr("Pans a picture larger than the pane")},
        {tr("Right-click on the picture"),
         tr("The Picture menu's commands, the zoom, Show in File Manager and Open With")},
        {tr("Ctrl + drag the picture"),
         tr("Gives the shown picture's file to another program, as a copy")},
        {tr("Space during a slideshow"), tr("Pauses the slideshow, or lets it go on")},
        {tr("Double-click"), tr("Opens a folder in the tree or a picture in the grid")},
        {tr("Right-click on a thumbnail"),
         tr("Open, Show in File Manager, Open With and Copy Path for its picture")},
        {tr("Drag a thumbnail"), tr("Gives its picture's file to another program, as a copy")},
        {tr("Drop"), tr("Opens a picture file with its folder, or shows a folder")},
    };
}

} // namespace

QList<ShortcutRow> shortcutRows(const QMainWindow *window)
{
    QList<ShortcutRow> rows;
    QSet<const QAction *> listed;
    for (const QAction *item : window->menuBar()->actions()) {
        if (!item->menu())
            continue;
        const QString menu = item->menu()->title().remove(QLatin1Char('&'));
        for (const QAction *action : item->menu()->actions()) {
            listed.insert(action);
            if (!action->shortcut().isEmpty())
                rows.append({keysOf(action), menu + QStringLiteral(" › ") + action->iconText()});
        }
    }
    for (const QAction *action : window->actions()) {
        if (!listed.contains(action) && !action->shortcut().isEmpty())
            rows.append({keysOf(action), action->iconText()});
    }
    return rows + paneRows();
}

QString shortcutTable(const QList<ShortcutRow> &rows)
{
    QString table = tr("| Key or mouse | What it does |\n|---|---|\n");
    for (const ShortcutRow &row : rows)
        table += QStringLiteral("| %1 | %2 |\n").arg(row.keys, row.command);
    return table;
}
