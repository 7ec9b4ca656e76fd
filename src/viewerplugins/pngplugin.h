// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef PNGPLUGIN_H
#define PNGPLUGIN_H

#include <QImageIOPlugin>

// The viewer's answer for PNG, the format of the icons of Qt's own styles and dialogs, which Qt
// reads without a plugin. Asked for a format that no plugin names, Qt's reader loads every image
// plugin to ask each whether it reads it, and with them libjpeg, libtiff, libwebp and LittleCMS,
// before it tries its own. Named here, PNG reaches this plugin first, which hands the read to
// Qt's own reader: the viewer, which decodes no picture itself, loads no image plugin for its
// icons. The window icon, an SVG file, still goes to Qt's SVG plugins.
class PngPlugin : public QImageIOPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "pngplugin.json")

public:
    Capabilities capabilities(QIODevice *device, const QByteArray &format) const override;
    QImageIOHandler *create(QIODevice *device, const QByteArray &format) const override;
};

#endif
