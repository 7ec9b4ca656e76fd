// SPDX-License-Identifier: GPL-3.0-or-later
#include "loader.h"

#include "command.h"
#include "decoderpool.h"
#include "formats.h"
#include "paths.h"
#include "reduction.h"

#include <QFile>
#include <QImageReader>
#include <QMutex>
#include <QScopeGuard>
#include <QThread>

namespace {

// Enough for 200-megapixel pictures at four bytes a pixel, with room to spare.
constexpr int kAllocationLimitMegabytes = 1024;

const char kDecoderName[] = "dcraw";
const char kDecoderProblem[] = "loadImage: problem with dcraw";
const char kDeleteProblem[] = "loadImage: problem delete temp image";

#ifndef Q_OS_WIN
// Single quotes keep every character literal for the shell; an embedded quote closes the
// quoting, is escaped, and opens it again.
QString shellQuoted(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}
#endif

// A decode that takes longer is taken for a hostile file that keeps its decoder busy for ever:
// the decoder is ended and the picture is not shown. The sanitizers slow decoding several times.
#ifdef __SANITIZE_ADDRESS__
constexpr int kSlowdown = 4;
#else
constexpr int kSlowdown = 1;
#endif
constexpr int kPictureTimeLimit = 20000 * kSlowdown;
constexpr int kThumbnailTimeLimit = 5000 * kSlowdown;
// A picture read at the size shown takes a few tens of milliseconds: one passed meanwhile is let
// finish rather than its decoder ended, which the next picture would find gone. Not much longer:
// on a machine of few processors what a passed read still does slows the one the user waits for.
constexpr int kStandInGrace = 50 * kSlowdown;
// What an orientation can say; other bits of a decoder's answer are noise.
constexpr int kAnyTurn = QImageIOHandler::TransformationMirror |
                         QImageIOHandler::TransformationFlip |
                         QImageIOHandler::TransformationRotate90;

// The picture read in a decoder process (readPicture, picturereader.h; rawreader.h for kind
// RawPreview or RawPicture), which may crash, hang or be taken over by a hostile file without
// harm to the viewer.
bool decodePicture(const QString &path, bool thumbnail, QImage &buffer, Orientation &orientation,
                   int leastSide, const QSize &cover = QSize(),
                   DecoderRequest::Kind kind = DecoderRequest::Picture)
{
    DecoderRequest request;
    request.kind = kind;
    request.leastSide = leastSide;
    request.coverSize = cover;
    request.name = pathFileName(path);
    // The memory of the picture before goes back to the decoder, which may decode into it.
    buffer = QImage();
    DecoderReply reply;
    if (!askDecoder(request, path, thumbnail ? kThumbnailTimeLimit : kPictureTimeLimit, reply,
                    &buffer, cover.isValid() ? kStandInGrace : 0) ||
        !reply.ok)
        return false;
    orientation = Orientation(reply.orientation & kAnyTurn);
    return true;
}

// A question about the file at path that needs no picture back; false when nothing came of it.
bool askAbout(DecoderRequest::Kind kind, const QString &path, int timeout, DecoderReply &reply)
{
    DecoderRequest request;
    request.kind = kind;
    request.name = pathFileName(path);
    return askDecoder(request, path, timeout, reply) && reply.ok;
}

// size, when given, gets the raw picture's size as stored, before the turn.
Orientation decodeRawOrientation(const QString &path, QSize *size = nullptr)
{
    DecoderReply reply;
    if (!askAbout(DecoderRequest::RawOrientation, path, kThumbnailTimeLimit, reply))
        return QImageIOHandler::TransformationNone;
    if (size)
        *size = reply.size;
    return Orientation(reply.orientation & kAnyTurn);
}

// The picture as loadImage gives it: turned, in sRGB, its size in the file turned alike.
QImage finishedRead(QImage picture, Orientation orientation)
{
    const QSize original = originalSize(picture);
    QImage finished = finishPicture(std::move(picture), orientation);
    if (original.isValid())
        setOriginalSize(finished, orientation & QImageIOHandler::TransformationRotate90
                                      ? original.transposed()
                                      : original);
    return finished;
}

// Whether a and b have the same proportions, to the pixel that rounding a side may add or lose.
bool sameProportions(const QSize &a, const QSize &b)
{
    const qint64 tolerance = qMax(qMax(a.width(), a.height()), qMax(b.width(), b.height()));
    return qAbs(qint64(a.width()) * b.height() - qint64(a.height()) * b.width()) <= tolerance;
}

// A camera's sensor is a little larger than the picture dcraw makes of it (its masked edges):
// a preview of the sensor's proportions to within this share has those of the full view.
constexpr double kPreviewProportionTolerance = 0.01;

bool closeProportions(const QSize &a, const QSize &b)
{
    if (a.isEmpty() || b.isEmpty())
        return false;
    const double ratio = double(a.width()) * b.height() / (double(a.height()) * b.width());
    return qAbs(ratio - 1) <= kPreviewProportionTolerance;
}

void deleteTempFile(const QString &path)
{
    if (!deleteFile(path))
        printLine(kDeleteProblem);
}

// A camera raw file read by LibRaw in a decoder, from the file itself: its embedded preview
// (with rawSize, the full view's size as stored and turned), or its full conversion.
bool askLibRaw(const QString &path, bool preview, QImage &buffer, Orientation &orientation,
               int leastSide, QSize *rawSize = nullptr)
{
    if (!decodePicture(path, preview, buffer, orientation, leastSide, QSize(),
                       preview ? DecoderRequest::RawPreview : DecoderRequest::RawPicture))
        return false;
    const QSize full = fullViewSize(buffer);
    setFullViewSize(buffer, QSize());
    if (rawSize)
        *rawSize = orientation & QImageIOHandler::TransformationRotate90 ? full.transposed() : full;
    return true;
}

// What dcraw could not convert (it failed, or wrote nothing), as LibRaw reads it: a thumbnail
// from the preview where there is one, else, unless only a stand-in is wanted, the conversion.
bool readWithLibRaw(const QString &path, bool thumbnail, QImage &buffer, Orientation &orientation,
                    int leastSide, QSize *rawSize)
{
    if (thumbnail && askLibRaw(path, true, buffer, orientation, leastSide, rawSize))
        return true;
    return !rawSize && askLibRaw(path, false, buffer, orientation, leastSide);
}

// A camera raw file through dcraw: its full conversion, or its embedded preview for a thumbnail;
// through LibRaw where dcraw cannot convert it.
// A preview asked for with rawSize, to stand in for the full view, gives also the raw picture's
// size as stored and turned (invalid when unknown), and no full conversion where it is missing.
bool readRaw(const QString &path, bool thumbnail, QImage &buffer, Orientation &orientation,
             int leastSide, QSize *rawSize = nullptr)
{
    // Copy first: the decoder writes its output beside its input, and the user's folder must
    // not change.
    const QString copy = reserveTempFilePath(pathExtension(path));
    if (copy.isEmpty())
        return false;
    const auto release = qScopeGuard([&copy] { releaseTempFilePath(copy); });
    if (!copyFile(path, copy))
        return false;

    // Raw files are untrusted: dcraw runs confined to this conversion's own work folder.
    const int code = runConfinedCommand(
        pathDirectory(copy), QLatin1String(kDecoderName),
        decoderArguments(thumbnail ? QStringLiteral("-e") : QStringLiteral("-T"), copy));
    // A decoder ended on purpose (its worker moved on, the viewer is ending) did not fail: nothing
    // to report and no full conversion to start. The reservation's release removes what it left.
    if (code != 0 && commandsEnded())
        return false;
    if (code != 0)
        printLine(kDecoderProblem);

    QString output;
    // The full conversion comes turned by the decoder, and its JPEG previews say their
    // orientation in an Exif header of their own; its bitmap previews carry none, so there the
    // raw file's own metadata counts, read from the copy while it still exists.
    bool outputSaysOrientation = false;
    Orientation rawOrientation = QImageIOHandler::TransformationNone;
    if (thumbnail) {
        const QString jpeg = pathWithSuffix(copy, QStringLiteral(".thumb.jpg"));
        const QString ppm = pathWithSuffix(copy, QStringLiteral(".thumb.ppm"));
        if (QFile::exists(jpeg)) {
            output = jpeg;
            outputSaysOrientation = true;
        } else if (QFile::exists(ppm)) {
            output = ppm;
        }
        if (code == 0 && (output == ppm || rawSize)) {
            const Orientation turn = decodeRawOrientation(copy, rawSize);
            if (output == ppm)
                rawOrientation = turn;
            if (rawSize && turn & QImageIOHandler::TransformationRotate90)
                rawSize->transpose();
        }
    } else {
        output = pathWithSuffix(copy, QStringLiteral(".tiff"));
    }
    deleteTempFile(copy);
    // No embedded preview that dcraw found: LibRaw may know one (of a camera newer than dcraw),
    // else the full conversion has to serve as the thumbnail.
    if (output.isEmpty())
        return askLibRaw(path, true, buffer, orientation, leastSide, rawSize) ||
               (!rawSize && loadImage(path, false, buffer, orientation, leastSide));

    const bool written = QFile::exists(output);
    bool read = false;
    if (code == 0)
        read = decodePicture(output, thumbnail, buffer, orientation, leastSide);
    if (!outputSaysOrientation)
        orientation = rawOrientation;
    deleteTempFile(output);
    if (code != 0 || !written)
        return readWithLibRaw(path, thumbnail, buffer, orientation, leastSide, rawSize);
    return read;
}

// The full conversion of a camera raw file on the calling thread, whose stop ends it, and its
// embedded preview meanwhile on a thread of its own, as a stand-in where it covers the fitted
// picture and shows it as the full view will: turned alike, of its proportions.
QImage loadRawImage(const QString &path, const QSize &cover, const StandInReady &standIn)
{
    QMutex mutex;
    bool converted = false;
    QThread *preview = QThread::create([&] {
        // What goes wrong is the full conversion's to say; most failures of a preview are only
        // its absence.
        QList<QByteArray> unsaid;
        holdPrintedLines(&unsaid);
        QImage buffer;
        Orientation orientation = QImageIOHandler::TransformationNone;
        QSize full;
        const bool read = readRaw(path, true, buffer, orientation, 0, &full);
        holdPrintedLines(nullptr);
        if (!read)
            return;
        const QImage reduced = finishPicture(std::move(buffer), orientation);
        const QSize fitted = full.scaled(cover, Qt::KeepAspectRatio);
        if (!closeProportions(reduced.size(), full) || reduced.width() < fitted.width() ||
            reduced.height() < fitted.height())
            return;
        QMutexLocker lock(&mutex);
        if (!converted)
            standIn(reduced, full);
    });
    preview->start();
    const QImage picture = loadImage(path, false);
    {
        QMutexLocker lock(&mutex);
        converted = true;
    }
    preview->requestInterruption();
    preview->wait();
    delete preview;
    return picture;
}

} // namespace

PictureMetadata loadMetadata(const QString &path)
{
    DecoderReply reply;
    if (!askAbout(DecoderRequest::Metadata, path, kPictureTimeLimit, reply))
        return PictureMetadata();
    return reply.metadata;
}

bool loadHeaderColours(const QString &path, QByteArray &profile, Orientation &orientation)
{
    DecoderReply reply;
    if (!askAbout(DecoderRequest::HeaderColours, path, kThumbnailTimeLimit, reply))
        return false;
    profile = reply.colourProfile;
    orientation = Orientation(reply.orientation & kAnyTurn);
    return true;
}

QByteArray loadImageFormat(const QString &path)
{
    DecoderReply reply;
    if (!askAbout(DecoderRequest::Format, path, kPictureTimeLimit, reply) ||
        reply.formats.size() != 1)
        return QByteArray();
    return reply.formats.first().toLatin1();
}

QStringList decoderArguments(const QString &option, const QString &path)
{
    const QString command =
        QLatin1String(kDecoderName) + QLatin1Char(' ') + option + QLatin1Char(' ');
#ifdef Q_OS_WIN
    return {QStringLiteral("/belownormal"), QStringLiteral("/C"), command + path};
#else
    // The shell becomes dcraw instead of waiting for it as a child, so that what is tied to the
    // runner's life (its process group, the signal it gets when the viewer dies) is the decoder's.
    return {QStringLiteral("-c"), QStringLiteral("exec ") + command + shellQuoted(path)};
#endif
}

void raiseAllocationLimit()
{
    QImageReader::setAllocationLimit(kAllocationLimitMegabytes);
}

QImage loadImage(const QString &path, bool thumbnail)
{
    QImage picture;
    Orientation orientation = QImageIOHandler::TransformationNone;
    if (!loadImage(path, thumbnail, picture, orientation))
        return QImage();
    return finishedRead(std::move(picture), orientation);
}

QImage loadImage(const QString &path, const QSize &cover, const StandInReady &standIn)
{
    if (cover.isEmpty())
        return loadImage(path, false);
    if (isRawFile(path))
        return loadRawImage(path, cover, standIn);
    QImage picture;
    Orientation orientation = QImageIOHandler::TransformationNone;
    if (!decodePicture(path, false, picture, orientation, 0, cover))
        return QImage();
    const QSize stored = fullViewSize(picture);
    // Not reduced: this is the full view already.
    if (!stored.isValid())
        return finishedRead(std::move(picture), orientation);
    QSize full =
        orientation & QImageIOHandler::TransformationRotate90 ? stored.transposed() : stored;
    setFullViewSize(picture, QSize());
    const QImage reduced = finishPicture(std::move(picture), orientation);
    // A HEIF file states its size before the quarter turn that its reader makes itself.
    if (!sameProportions(reduced.size(), full))
        full.transpose();
    // A reader that delivers other proportions (a cropped picture's stored thumbnail) would make
    // the full view jump when it comes.
    if (sameProportions(reduced.size(), full))
        standIn(reduced, full);
    // Passed by a newer opening meanwhile.
    if (QThread::currentThread()->isInterruptionRequested())
        return QImage();
    return loadImage(path, false);
}

bool loadImage(const QString &path, bool thumbnail, QImage &buffer, Orientation &orientation,
               int leastSide)
{
    orientation = QImageIOHandler::TransformationNone;
    if (!isRawFile(path))
        return decodePicture(path, thumbnail, buffer, orientation, leastSide);
    return readRaw(path, thumbnail, buffer, orientation, leastSide);
}
