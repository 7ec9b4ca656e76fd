// SPDX-License-Identifier: GPL-3.0-or-later
#include "formatsplugin.h"

#include "exrhandler.h"
#include "heifhandler.h"
#include "jp2handler.h"
#include "jxlhandler.h"
#include "pcxhandler.h"
#include "psdfile.h"
#include "psdhandler.h"
#include "tgahandler.h"

namespace {

bool isHeifKey(const QByteArray &format)
{
    return format == "heic" || format == "heif" || format == "avif";
}

bool isClassicKey(const QByteArray &format)
{
    return format == "psd" || format == "psb" || format == "tga" || format == "pcx";
}

// The kind of the older formats by their content, the weakest test (TGA has no signature) last;
// empty for none of them.
QByteArray classicKind(QIODevice *device)
{
    if (isPsd(device))
        return device->peek(6).endsWith(char(2)) ? "psb" : "psd";
    if (PcxHandler::canRead(device))
        return "pcx";
    if (TgaHandler::canRead(device))
        return "tga";
    return QByteArray();
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
    if (!key.isEmpty() && !isHeifKey(key) && key != "jxl" && !isJp2Key(key) && key != "exr" &&
        !isClassicKey(key))
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
    if ((key.isEmpty() || isClassicKey(key)) && !classicKind(device).isEmpty())
        return CanRead;
    return {};
}

QImageIOHandler *FormatsPlugin::create(QIODevice *device, const QByteArray &format) const
{
    const QByteArray key = format.toLower();
    QImageIOHandler *handler = nullptr;
    if (device && HeifHandler::canRead(device))
        handler = new HeifHandler;
    else if (device && JxlHandler::canRead(device))
        handler = new JxlHandler;
    else if (device && Jp2Handler::canRead(device))
        handler = new Jp2Handler;
    else if (device && ExrHandler::canRead(device))
        handler = new ExrHandler;
    if (!handler) {
        // The older formats after those with a signature: TGA has none of its own.
        const QByteArray classic = device ? classicKind(device) : QByteArray();
        if (!classic.isEmpty() || isClassicKey(key)) {
            const QByteArray kind = classic.isEmpty() ? key : classic;
            handler = kind == "pcx"   ? static_cast<QImageIOHandler *>(new PcxHandler)
                      : kind == "tga" ? static_cast<QImageIOHandler *>(new TgaHandler)
                                      : new PsdHandler;
            handler->setDevice(device);
            handler->setFormat(kind);
            return handler;
        }
        if (isHeifKey(key))
            handler = new HeifHandler;
        else if (isJp2Key(key))
            handler = new Jp2Handler;
        else if (key == "exr")
            handler = new ExrHandler;
        else
            handler = new JxlHandler;
    }
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
            kind = isHeifKey(key) ? key : QByteArray("heif");
    }
    handler->setFormat(kind);
    return handler;
}
