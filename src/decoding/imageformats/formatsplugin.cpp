// SPDX-License-Identifier: GPL-3.0-or-later
#include "formatsplugin.h"

#include "exrhandler.h"
#include "heifhandler.h"
#include "jp2handler.h"
#include "jxlhandler.h"

namespace {

bool isHeifKey(const QByteArray &format)
{
    return format == "heic" || format == "heif" || format == "avif";
}

bool isJp2Key(const QByteArray &format)
{
    return format == "jp2" || format == "j2k" || format == "jpf" || format == "jpx";
}

} // namespace

QImageIOPlugin::Capabilities FormatsPlugin::capabilities(QIODevice *device,
                                                         const QByteArray &format) const
{
    const QByteArray key = format.toLower();
    if (!key.isEmpty() && !isHeifKey(key) && key != "jxl" && !isJp2Key(key) && key != "exr")
        return {};
    if (!device || !device->isOpen())
        return key.isEmpty() ? Capabilities() : Capabilities(CanRead);
    // The content decides, whatever the name says: a JPEG named .heic is still shown, by the
    // reader that Qt then finds for it.
    if (!device->isReadable())
        return {};
    if ((key.isEmpty() || isHeifKey(key)) && HeifHandler::canRead(device))
        return CanRead;
    if ((key.isEmpty() || key == "jxl") && JxlHandler::canRead(device))
        return CanRead;
    if ((key.isEmpty() || isJp2Key(key)) && Jp2Handler::canRead(device))
        return CanRead;
    if ((key.isEmpty() || key == "exr") && ExrHandler::canRead(device))
        return CanRead;
    return {};
}

QImageIOHandler *FormatsPlugin::create(QIODevice *device, const QByteArray &format) const
{
    QImageIOHandler *handler = nullptr;
    if (device && HeifHandler::canRead(device))
        handler = new HeifHandler;
    else if (device && JxlHandler::canRead(device))
        handler = new JxlHandler;
    else if (device && Jp2Handler::canRead(device))
        handler = new Jp2Handler;
    else if (device && ExrHandler::canRead(device))
        handler = new ExrHandler;
    else if (isHeifKey(format.toLower()))
        handler = new HeifHandler;
    else if (isJp2Key(format.toLower()))
        handler = new Jp2Handler;
    else if (format.toLower() == "exr")
        handler = new ExrHandler;
    else
        handler = new JxlHandler;
    handler->setDevice(device);
    // The reader's caller is told which kind of file it reads, whatever Qt found the handler by
    // (a key, a suffix or the content): a HEIF file by its brands, as an AVIF named .heic is one.
    QByteArray kind = "jxl";
    if (dynamic_cast<Jp2Handler *>(handler))
        kind = "jp2";
    if (dynamic_cast<ExrHandler *>(handler))
        kind = "exr";
    if (dynamic_cast<HeifHandler *>(handler)) {
        kind = device ? HeifHandler::kind(device) : QByteArray();
        if (kind.isEmpty())
            kind = isHeifKey(format.toLower()) ? format.toLower() : QByteArray("heif");
    }
    handler->setFormat(kind);
    return handler;
}
