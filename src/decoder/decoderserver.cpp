// SPDX-License-Identifier: GPL-3.0-or-later
#include "decoderserver.h"

#include "appearance.h"
#include "metadata.h"
#include "paths.h"
#include "picturereader.h"
#include "rawreader.h"
#include "replypicture.h"

#include <QColorSpace>
#include <QFile>
#include <QImageReader>

#include <ctime>
#include <unistd.h>

namespace {

// Past this much processor time the decoder asks to be replaced, well before its hard limit
// (sandbox.cpp) would kill it in the middle of a picture.
constexpr double kRetireAfterSeconds = 120;

bool overBudget()
{
    timespec used{};
    return ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used) == 0 &&
           double(used.tv_sec) + used.tv_nsec / 1e9 > kRetireAfterSeconds;
}

QStringList readableFormats()
{
    // Listed at start-up, while the plugin folders can still be read.
    static const QStringList formats = [] {
        QStringList names;
        const QList<QByteArray> reported = QImageReader::supportedImageFormats();
        for (const QByteArray &format : reported)
            names.append(QString::fromLatin1(format.constData(),
                                             qstrnlen(format.constData(), format.size())));
        return names;
    }();
    return formats;
}

// What the readers say while a request is served.
QList<QPair<qint32, QString>> *heardMessages = nullptr;

void hear(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (heardMessages)
        heardMessages->append({qint32(type), text});
}

} // namespace

DecoderServer::DecoderServer(int socket) : socket(socket)
{
    readableFormats();
}

void DecoderServer::readNothing()
{
    sandboxMissing = true;
}

void DecoderServer::run()
{
    const auto blocking = [] { return true; };
    qInstallMessageHandler(hear);
    for (;;) {
        QByteArray message;
        QList<int> descriptors;
        DecoderRequest request;
        if (!receiveMessage(socket, message, descriptors, blocking) ||
            !decodeMessage(message, request) || descriptors.size() > 1)
            return;
        const int descriptor = descriptors.isEmpty() ? -1 : descriptors.first();
        QImageReader::setAllocationLimit(request.allocationLimit);
        QList<QPair<qint32, QString>> messages;
        heardMessages = &messages;
        DecoderReply reply = serve(request, descriptor);
        heardMessages = nullptr;
        reply.messages = messages;
        if (descriptor >= 0)
            ::close(descriptor);
        reply.retire = overBudget();
        if (!sendMessage(socket, encodeMessage(reply)))
            return;
    }
}

DecoderReply DecoderServer::serve(const DecoderRequest &request, int descriptor)
{
    DecoderReply reply;
    reply.sandboxMissing = sandboxMissing;
    if (sandboxMissing && request.kind != DecoderRequest::Formats)
        return reply;
    if (request.kind != DecoderRequest::NextFrame && request.kind != DecoderRequest::Animation) {
        animation.reset();
        animationFile.reset();
    }
    if (request.kind == DecoderRequest::NextFrame) {
        serveFrame(request, reply);
        return reply;
    }
    if (request.kind == DecoderRequest::Formats) {
        reply.formats = readableFormats();
        reply.ok = true;
        return reply;
    }
    if (descriptor < 0)
        return reply;
    handOverFile(request.name, descriptor);
    switch (request.kind) {
    case DecoderRequest::Picture:
        servePicture(request, reply);
        break;
    case DecoderRequest::RawOrientation:
        reply.orientation = int(rawFileOrientation(request.name, &reply.size));
        reply.ok = true;
        break;
    case DecoderRequest::Metadata:
        reply.metadata = readMetadata(request.name);
        reply.ok = true;
        break;
    case DecoderRequest::HeaderColours: {
        Orientation orientation = QImageIOHandler::TransformationNone;
        reply.ok = readHeaderColours(request.name, reply.colourProfile, orientation);
        reply.orientation = int(orientation);
        break;
    }
    case DecoderRequest::Format: {
        const QByteArray format = pictureFormat(request.name);
        if (!format.isEmpty())
            reply.formats = QStringList{QString::fromLatin1(format)};
        reply.ok = true;
        break;
    }
    case DecoderRequest::Animation:
        openAnimation(request.name, reply);
        if (reply.ok)
            serveFrame(request, reply);
        break;
    case DecoderRequest::RawPreview:
    case DecoderRequest::RawPicture:
        serveRaw(request, reply);
        break;
    case DecoderRequest::Formats:
    case DecoderRequest::NextFrame:
    case DecoderRequest::NewSlot:
        break;
    }
    handOverFile(QString(), -1);
    return reply;
}

void DecoderServer::servePicture(const DecoderRequest &request, DecoderReply &reply)
{
    QImage buffer = pixelSlots.reusable(request.freeSlots);
    Orientation orientation = QImageIOHandler::TransformationNone;
    if (!readPicture(request.name, buffer, orientation, request.leastSide, request.coverSize) ||
        buffer.isNull())
        return;
    reply.orientation = int(orientation);
    deliver(buffer, request.freeSlots, reply);
}

void DecoderServer::serveRaw(const DecoderRequest &request, DecoderReply &reply)
{
    QImage buffer = pixelSlots.reusable(request.freeSlots);
    Orientation orientation = QImageIOHandler::TransformationNone;
    const bool read = request.kind == DecoderRequest::RawPreview
                          ? readRawPreview(request.name, buffer, orientation, request.leastSide)
                          : readRawConversion(request.name, buffer, request.leastSide);
    if (!read || buffer.isNull())
        return;
    reply.orientation = int(orientation);
    deliver(buffer, request.freeSlots, reply);
}

void DecoderServer::openAnimation(const QString &name, DecoderReply &reply)
{
    animationFile = std::make_unique<QFile>(name);
    if (!openRegularFile(*animationFile))
        return;
    animation = std::make_unique<QImageReader>(animationFile.get());
    nextFrame = 0;
    // Only formats whose frames are meant to play: a TIFF's pages (a camera raw file's
    // previews among them) are no animation. The count comes from the file's headers.
    reply.ok = animation->supportsAnimation() && animation->imageCount() > 1;
    reply.loopCount = animation->loopCount();
}

void DecoderServer::serveFrame(const DecoderRequest &request, DecoderReply &reply)
{
    reply.ok = false;
    if (!animation)
        return;
    // Past the last frame the reader starts again on the file from its beginning.
    if (!animation->canRead() && animationFile->seek(0)) {
        animation = std::make_unique<QImageReader>(animationFile.get());
        nextFrame = 0;
    }
    reply.frameNumber = nextFrame++;
    QImage frame = pixelSlots.reusable(request.freeSlots);
    if (!animation->read(&frame)) {
        animation.reset();
        return;
    }
    reply.frameDelay = animation->nextImageDelay();
    deliver(frame, request.freeSlots, reply);
}

qint32 DecoderServer::askForSlot(qint64 bytes)
{
    DecoderReply asking;
    asking.slotWanted = bytes;
    QByteArray message;
    QList<int> descriptors;
    DecoderRequest given;
    const auto blocking = [] { return true; };
    if (sendMessage(socket, encodeMessage(asking)) &&
        receiveMessage(socket, message, descriptors, blocking) &&
        decodeMessage(message, given) && given.kind == DecoderRequest::NewSlot &&
        given.slot >= 0 && descriptors.size() == 1 &&
        pixelSlots.adopt(given.slot, descriptors.takeFirst(), bytes))
        return given.slot;
    for (int unused : descriptors)
        ::close(unused);
    return -1;
}

bool DecoderServer::deliver(QImage picture, const QList<qint32> &freeSlots, DecoderReply &reply)
{
    // The viewer takes lines aligned as Qt reads them only; a reader's own buffer may not be.
    if (picture.bytesPerLine() % lineAlignment(picture.format()) != 0)
        picture = picture.copy();
    qint32 slot = pixelSlots.fitting(picture, freeSlots);
    if (slot < 0) {
        // The viewer drops its free slots when asked for a new one; so does the decoder.
        pixelSlots.drop(freeSlots);
        slot = askForSlot(picture.sizeInBytes());
    }
    if (slot < 0)
        return false;
    pixelSlots.store(picture, slot);
    reply.ok = true;
    reply.slot = slot;
    reply.size = picture.size();
    reply.format = picture.format();
    reply.bytesPerLine = picture.bytesPerLine();
    // A reader may give fewer colours than the pixels use (an 8-bit BMP of two colours): the
    // viewer would read past the table's end.
    reply.colourTable = fullColourTable(picture.colorTable(), picture.format());
    if (picture.colorSpace().isValid())
        reply.colourProfile = picture.colorSpace().iccProfile();
    const QStringList keys = picture.textKeys();
    for (const QString &key : keys)
        reply.text.insert(key, picture.text(key));
    return true;
}
