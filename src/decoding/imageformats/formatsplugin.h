// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef FORMATSPLUGIN_H
#define FORMATSPLUGIN_H

#include <QImageIOPlugin>

// Qt's extension point for image formats: the reader asks it for a handler by key (heic, heif,
// avif, jxl; psd, psb, tga, pcx), by a file's suffix, or by content when neither names a format
// it knows.
class FormatsPlugin : public QImageIOPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "formatsplugin.json")

public:
    Capabilities capabilities(QIODevice *device, const QByteArray &format) const override;
    QImageIOHandler *create(QIODevice *device, const QByteArray &format) const override;
};

#endif
