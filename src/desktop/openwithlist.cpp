// SPDX-License-Identifier: GPL-3.0-or-later
// GIO first: its headers name a member "signals", which Qt's headers make a keyword.
#include <gio/gio.h>

#include "openwithlist.h"

#include <QFileInfo>
#include <QMimeDatabase>
#include <QUrl>

OpenWithList::OpenWithList(const QString &path) : path(QFileInfo(path).absoluteFilePath())
{
    const QByteArray type = QMimeDatabase().mimeTypeForFile(this->path).name().toUtf8();
    if (GAppInfo *preferred = g_app_info_get_default_for_type(type.constData(), FALSE))
        applications.append(preferred);
    GList *all = g_app_info_get_all_for_type(type.constData());
    for (GList *item = all; item; item = item->next) {
        auto *application = static_cast<GAppInfo *>(item->data);
        // The default is in the list as well, and already first.
        if (!applications.isEmpty() && g_app_info_equal(application, applications.first()))
            g_object_unref(application);
        else
            applications.append(application);
    }
    g_list_free(all);
}

OpenWithList::~OpenWithList()
{
    for (GAppInfo *application : std::as_const(applications))
        g_object_unref(application);
}

QString OpenWithList::name(int index) const
{
    return QString::fromUtf8(g_app_info_get_name(applications.at(index)));
}

QIcon OpenWithList::icon(int index) const
{
    GIcon *icon = g_app_info_get_icon(applications.at(index));
    if (!icon)
        return QIcon();
    // A theme's icon name, or the path of an icon file.
    gchar *text = g_icon_to_string(icon);
    const QString name = QString::fromUtf8(text);
    g_free(text);
    return name.startsWith(QLatin1Char('/')) ? QIcon(name) : QIcon::fromTheme(name);
}

bool OpenWithList::launch(int index) const
{
    const QByteArray uri = QUrl::fromLocalFile(path).toEncoded();
    GList uris{};
    uris.data = const_cast<char *>(uri.constData());
    GError *error = nullptr;
    const bool started = g_app_info_launch_uris(applications.at(index), &uris, nullptr, &error);
    g_clear_error(&error);
    return started;
}
