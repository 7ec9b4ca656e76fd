// SPDX-License-Identifier: GPL-3.0-or-later
#include "shortcutswindow.h"
#include "shortcutlist.h"

#include <QHeaderView>
#include <QMainWindow>
#include <QTableWidget>
#include <QVBoxLayout>

ShortcutsWindow::ShortcutsWindow(QMainWindow *window) : QDialog(window), window(window)
{
    setWindowTitle(tr("Keyboard Shortcuts"));
    list = new QTableWidget(0, 2);
    list->setHorizontalHeaderLabels({tr("Key or mouse"), tr("What it does")});
    list->verticalHeader()->hide();
    list->horizontalHeader()->setStretchLastSection(true);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionMode(QAbstractItemView::NoSelection);
    list->setWordWrap(true);
    // Rows grow to the wrapped text once the last column has its final width.
    connect(list->horizontalHeader(), &QHeaderView::sectionResized, list,
            &QTableWidget::resizeRowsToContents);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(list);
    resize(640, 520);
}

void ShortcutsWindow::showList()
{
    const QList<ShortcutRow> rows = shortcutRows(window);
    list->setRowCount(int(rows.size()));
    for (int row = 0; row < rows.size(); ++row) {
        list->setItem(row, 0, new QTableWidgetItem(rows.at(row).keys));
        list->setItem(row, 1, new QTableWidgetItem(rows.at(row).command));
    }
    list->resizeColumnToContents(0);
    list->resizeRowsToContents();
    show();
    raise();
    activateWindow();
}
