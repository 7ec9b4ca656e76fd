// SPDX-License-Identifier: GPL-3.0-or-later
#include "filemanager.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace {

const QString kService = QStringLiteral("org.freedesktop.FileManager1");
const QString kObject = QStringLiteral("/org/freedesktop/FileManager1");

} // namespace

FileManager::FileManager(QObject *parent, const QString &busConnection)
    : QObject(parent), busConnection(busConnection)
{
}

void FileManager::showItem(const QString &path)
{
    const QFileInfo file(path);
    const QUrl folder = QUrl::fromLocalFile(file.absolutePath());
    // Reached only now, so that a viewer whose file manager is never asked never connects.
    const QDBusConnection bus =
        busConnection.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(busConnection);
    if (!bus.isConnected()) {
        // A folder's handler that cannot start is not the viewer's concern: the result is ignored.
        QDesktopServices::openUrl(folder);
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kObject, kService, QStringLiteral("ShowItems"));
    // No startup notification: the viewer has no token to hand on.
    const QUrl item = QUrl::fromLocalFile(file.absoluteFilePath());
    call << QStringList{QString::fromUtf8(item.toEncoded())} << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [folder](QDBusPendingCallWatcher *answered) {
                // No file manager on the bus, or one that refused.
                if (answered->isError())
                    QDesktopServices::openUrl(folder);
                answered->deleteLater();
            });
}
