// SPDX-License-Identifier: GPL-3.0-or-later
#include "sharedthumbnails.h"

#include "formats.h"
#include "loader.h"
#include "thumbthread.h"

#include <QColorSpace>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <utility>

namespace {

// The store's folders of 128 and of 256 pixels.
const char kNormalFolder[] = "normal";
const char kLargeFolder[] = "large";

QString storeFolder()
{
    // The standard ignores a relative XDG_CACHE_HOME.
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    const QString root =
        QDir::isAbsolutePath(cache) ? cache : QDir::homePath() + QStringLiteral("/.cache");
    return root + QStringLiteral("/thumbnails/");
}

// An entry is written for the file as it was; a file changed since has another picture.
bool describesFile(const QImage &entry, const QByteArray &uri, const QFileInfo &file)
{
    bool known = false;
    const qint64 modified = entry.text(QStringLiteral("Thumb::MTime")).toLongLong(&known);
    const QString size = entry.text(QStringLiteral("Thumb::Size"));
    return known && modified == file.lastModified().toSecsSinceEpoch() &&
           entry.text(QStringLiteral("Thumb::URI")) == QString::fromLatin1(uri) &&
           (size.isEmpty() || size.toLongLong() == file.size());
}

// Smaller than side it would be enlarged, unless it is the whole picture.
bool largeEnough(const QImage &entry, int side)
{
    const QSize picture(entry.text(QStringLiteral("Thumb::Image::Width")).toInt(),
                        entry.text(QStringLiteral("Thumb::Image::Height")).toInt());
    return qMax(entry.width(), entry.height()) >= side || picture == entry.size();
}

// Whoever made the entry may not have turned the picture or converted its colours as the viewer
// does; a picture stored in sRGB and unturned leaves nothing to differ.
bool needsNoConversion(const QString &path)
{
    QByteArray profile;
    Orientation orientation = QImageIOHandler::TransformationNone;
    return loadHeaderColours(path, profile, orientation) &&
           orientation == QImageIOHandler::TransformationNone &&
           (profile.isEmpty() ||
            QColorSpace::fromIccProfile(profile) == QColorSpace(QColorSpace::SRgb));
}

} // namespace

QImage sharedThumbnail(const QString &path, qreal devicePixelRatio)
{
    if (isRawFile(path))
        return QImage();
    const QFileInfo file(path);
    if (!file.isFile())
        return QImage();
    const QByteArray uri =
        QUrl::fromLocalFile(QDir::cleanPath(file.absoluteFilePath())).toEncoded();
    const QString name = QString::fromLatin1(
        QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex() + ".png");
    const QString folder = storeFolder();
    const int side = thumbnailSide(devicePixelRatio);
    // The smaller entry is enough on a screen of one device pixel to a point.
    QStringList sizes = {QLatin1String(kNormalFolder), QLatin1String(kLargeFolder)};
    if (devicePixelRatio > 1)
        std::swap(sizes.first(), sizes.last());
    for (const QString &size : std::as_const(sizes)) {
        const QString entryPath = folder + size + QLatin1Char('/') + name;
        if (!QFileInfo::exists(entryPath))
            continue;
        QImage entry;
        Orientation orientation = QImageIOHandler::TransformationNone;
        if (!loadImage(entryPath, true, entry, orientation) || !describesFile(entry, uri, file) ||
            !largeEnough(entry, side))
            continue;
        return needsNoConversion(path) ? finishPicture(std::move(entry), orientation) : QImage();
    }
    return QImage();
}
