#include "loader.h"

#include "command.h"
#include "formats.h"
#include "paths.h"

#include <QFile>
#include <QImageReader>
#include <QScopeGuard>

namespace {

// Enough for 200-megapixel pictures at four bytes a pixel, with room to spare.
constexpr int kAllocationLimitMegabytes = 1024;

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

// Qt guesses the format from the file's name and content, as for QImage(path); only regular
// files are read.
QImage readPicture(const QString &path)
{
    QFile file(path);
    if (!openRegularFile(file))
        return QImage();
    QImageReader reader(&file);
    return reader.read();
}

void deleteTempFile(const QString &path)
{
    if (!deleteFile(path))
        printLine(kDeleteProblem);
}

} // namespace

QStringList decoderArguments(const QString &option, const QString &path)
{
    const QString command = QStringLiteral("dcraw ") + option + QLatin1Char(' ');
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
    if (!isRawFile(path))
        return readPicture(path);

    // Copy first: the decoder writes its output beside its input, and the user's folder must
    // not change.
    const QString copy = reserveTempFilePath(pathExtension(path));
    if (copy.isEmpty())
        return QImage();
    const auto release = qScopeGuard([&copy] { releaseTempFilePath(copy); });
    if (!copyFile(path, copy))
        return QImage();

    const int code =
        runCommand(decoderArguments(thumbnail ? QStringLiteral("-e") : QStringLiteral("-T"), copy));
    if (code != 0)
        printLine(kDecoderProblem);
    deleteTempFile(copy);

    QString output;
    if (thumbnail) {
        const QString jpeg = pathWithSuffix(copy, QStringLiteral(".thumb.jpg"));
        const QString ppm = pathWithSuffix(copy, QStringLiteral(".thumb.ppm"));
        if (QFile::exists(jpeg)) {
            output = jpeg;
        } else if (QFile::exists(ppm)) {
            output = ppm;
        } else {
            // No embedded preview: the full conversion has to serve as the thumbnail.
            return loadImage(path, false);
        }
    } else {
        output = pathWithSuffix(copy, QStringLiteral(".tiff"));
    }

    QImage result;
    if (code == 0)
        result = readPicture(output);
    deleteTempFile(output);
    return result;
}
