// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef OPENWITHLIST_H
#define OPENWITHLIST_H

#include <QIcon>
#include <QList>
#include <QString>

// GLib's own name for an application it knows, so that this header needs no GLib header.
typedef struct _GAppInfo GAppInfo;

// The applications the desktop registers for a file's type (its MIME type, as the viewer's MIME
// database names it), the desktop's default first, as the XDG associations give them: the
// .desktop files of the data folders and the choices of mimeapps.list, read by GIO.
class OpenWithList
{
public:
    explicit OpenWithList(const QString &path);
    ~OpenWithList();
    OpenWithList(const OpenWithList &) = delete;
    OpenWithList &operator=(const OpenWithList &) = delete;

    int size() const { return int(applications.size()); }
    QString name(int index) const;
    // The application's icon from the icon theme or its file; null when it names none.
    QIcon icon(int index) const;
    // Starts the application with the file, without waiting for it; false when it cannot start.
    bool launch(int index) const;

private:
    QString path;
    QList<GAppInfo *> applications;
};

#endif
