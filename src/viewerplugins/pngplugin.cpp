// SPDX-License-Identifier: GPL-3.0-or-later
#include "pngplugin.h"

#include <QImageReader>

namespace {

// How every PNG file begins.
const QByteArray kSignature = QByteArrayLiteral("\x89PNG\r\n\x1a\n");

// Set while Qt's own reader works for this plugin: asked again by that reader, the plugin
// declines, and the reader falls back to the handler built into Qt.
thread_local bool handingOver = false;

class HandOver
{
public:
    HandOver() { handingOver = true; }
    ~HandOver() { handingOver = false; }
    HandOver(const HandOver &) = delete;
    HandOver &operator=(const HandOver &) = delete;
};

// Reads through Qt's own PNG reader, which Qt finds when this plugin declines.
class PngHandler : public QImageIOHandler
{
public:
    // Qt asks while it holds the lock that its readers share: no reader can be asked here.
    bool canRead() const override { return device()->peek(kSignature.size()) == kSignature; }

    bool read(QImage *image) override
    {
        const HandOver handOver;
        QImageReader reader(device(), format());
        reader.setAutoDetectImageFormat(false);
        return reader.read(image);
    }
};

} // namespace

QImageIOPlugin::Capabilities PngPlugin::capabilities(QIODevice *,
                                                                const QByteArray &format) const
{
    // Without a format Qt asks by content, and its own readers look at the content after the
    // plugins, as before.
    if (handingOver || format != "png")
        return {};
    return CanRead;
}

QImageIOHandler *PngPlugin::create(QIODevice *device, const QByteArray &format) const
{
    auto *handler = new PngHandler;
    handler->setDevice(device);
    handler->setFormat(format);
    return handler;
}
