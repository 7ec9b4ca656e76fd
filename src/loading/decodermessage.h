// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef DECODERMESSAGE_H
#define DECODERMESSAGE_H

#include "picturemetadata.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMap>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

// What the viewer and its decoder processes say to each other over a socket pair. The viewer
// hands each request the picture as an open, read-only descriptor; the decoder answers with the
// picture's description, its pixels lying in a shared memory file (a slot) that both sides keep
// mapped and reuse while the viewer is not holding the picture it carries. The viewer makes
// every slot, sized and sealed, and hands it over when a decoder asks for one in the middle of a
// request; a decoder sends no descriptor ever.

struct DecoderRequest
{
    enum Kind : quint8 {
        Picture,        // the picture, as loadImage's buffer variant gives it
        RawOrientation, // the orientation a camera raw file records
        Metadata,       // what the information dock shows
        Formats,        // the formats the decoder reads; no descriptor
        Format,         // the format of one file, as Qt's readers find it
        Animation,      // the first frame of an animation, which the decoder keeps open
        NextFrame,      // the animation's next frame, its first again after the last; no
                        // descriptor. Any other request closes the animation.
        HeaderColours,  // the colour profile and orientation a JPEG, PNG or TIFF file's
                        // headers record, without decoding the picture
        NewSlot,        // not a request: the answer to a decoder that asked for a slot, its
                        // memory file attached, or nothing attached when the viewer refuses.
        RawPreview,     // a camera raw file's embedded preview, read by LibRaw (rawreader.h)
        RawPicture,     // a camera raw file's full conversion by LibRaw, for what dcraw refuses
    };
    Kind kind = Picture;
    // Read reduced to no less than this on the shorter side, where the reader can.
    qint32 leastSide = 0;
    // Read reduced as far as the picture still covers its fitted rectangle in a box of this
    // size (the pane's device pixels), where the reader can; the full view's size comes along.
    QSize coverSize;
    // The viewer's QImageReader::allocationLimit(), which the reading keeps to.
    qint32 allocationLimit = 0;
    // The file's name without its folder: Qt's readers look at the suffix. Never opened.
    QString name;
    // The slots whose pictures the viewer has let go of: the decoder may write into these. A
    // new slot replaces every one of them, on both sides.
    QList<qint32> freeSlots;
    // Of a new slot: its number, or -1 when refused.
    qint32 slot = -1;
};

struct DecoderReply
{
    bool ok = false;
    // Set when the decoder wants to be replaced after this answer (its processor-time budget).
    bool retire = false;
    // Not yet the answer: the decoder asks for a new slot of this many bytes, as none of the
    // free ones fits the picture.
    qint64 slotWanted = 0;
    // Where the pixels lie.
    qint32 slot = -1;
    QSize size;
    qint32 format = QImage::Format_Invalid;
    qint64 bytesPerLine = 0;
    QList<QRgb> colourTable;
    // Of an animation's frame: how long it stays, its number (0 starts a pass), and how often
    // the file says to play the animation again (-1 for ever).
    qint32 frameDelay = 0;
    qint32 frameNumber = 0;
    qint32 loopCount = 0;
    // The colour space as an ICC profile; empty for none.
    QByteArray colourProfile;
    qint32 orientation = 0;
    QMap<QString, QString> text;
    // The formats the decoder reads, or the one format of a file.
    QStringList formats;
    PictureMetadata metadata;
    // What the readers said through Qt's message handler while serving the request, for the
    // viewer to say as if it had read the file itself: its type (QtMsgType) and text.
    QList<QPair<qint32, QString>> messages;
    // Set when the decoder could not lock itself down (sandbox.h) and so read nothing.
    bool sandboxMissing = false;
};

QByteArray encodeMessage(const DecoderRequest &request);
QByteArray encodeMessage(const DecoderReply &reply);
// False when message is not one whole request or reply.
bool decodeMessage(const QByteArray &message, DecoderRequest &request);
bool decodeMessage(const QByteArray &message, DecoderReply &reply);

// Sends message with the descriptors attached; false when the other side is gone.
bool sendMessage(int socket, const QByteArray &message, const QList<int> &descriptors = {});

// Receives one message and the descriptors sent with it (close-on-exec). readable is called
// before each read and returns once the socket can be read, or false to give up. False when the
// other side is gone, gave up or sent something that is no message; descriptors are then closed.
bool receiveMessage(int socket, QByteArray &message, QList<int> &descriptors,
                    const std::function<bool()> &readable);

#endif
