// SPDX-License-Identifier: GPL-3.0-or-later
#include "picturelist.h"

#include "formats.h"
#include "takendates.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <vector>

namespace {

// A picture with what the order goes by.
struct Ranked
{
    QString path;
    QString name;
    qint64 key = 0;
};

qint64 modifiedOf(const QFileInfo &file)
{
    const QDateTime modified = file.lastModified();
    return modified.isValid() ? modified.toMSecsSinceEpoch() : 0;
}

// The pictures with their keys; the dates taken count only once those of every one of them are
// in, so that the grid, which lists by modification date until then, and the steps agree.
std::vector<Ranked> ranked(const QFileInfoList &files, PictureOrder::Key key)
{
    std::vector<Ranked> pictures;
    pictures.reserve(files.size());
    for (const QFileInfo &file : files) {
        Ranked picture{QDir::cleanPath(file.absoluteFilePath()), file.fileName()};
        if (key == PictureOrder::DateTaken || key == PictureOrder::DateModified)
            picture.key = modifiedOf(file);
        else if (key == PictureOrder::Size)
            picture.key = file.size();
        pictures.push_back(picture);
    }
    if (key != PictureOrder::DateTaken)
        return pictures;
    std::vector<qint64> dates;
    dates.reserve(pictures.size());
    for (qsizetype i = 0; i < files.size(); ++i) {
        const std::optional<QDateTime> taken = TakenDates::lookup(files.at(i));
        if (!taken)
            return pictures;
        dates.push_back(taken->isValid() ? taken->toMSecsSinceEpoch() : pictures[i].key);
    }
    for (size_t i = 0; i < pictures.size(); ++i)
        pictures[i].key = dates[i];
    return pictures;
}

bool before(const Ranked &first, const Ranked &second, bool reversed)
{
    int difference = first.key < second.key ? -1 : first.key > second.key ? 1 : 0;
    if (difference == 0)
        difference = first.name.compare(second.name, Qt::CaseInsensitive);
    if (difference == 0)
        difference = first.name.compare(second.name);
    return reversed ? difference > 0 : difference < 0;
}

std::vector<Ranked> inOrder(const QFileInfoList &files, const PictureOrder &order)
{
    std::vector<Ranked> pictures = ranked(files, order.key);
    std::sort(pictures.begin(), pictures.end(),
              [&order](const Ranked &a, const Ranked &b) { return before(a, b, order.reversed); });
    return pictures;
}

QFileInfoList infoOf(const QStringList &paths)
{
    QFileInfoList files;
    files.reserve(paths.size());
    for (const QString &path : paths)
        files << QFileInfo(path);
    return files;
}

// Patterns match in any letter case; hidden files are left out because QDir::Hidden is not asked
// for. The entries keep what was looked up of each file, which ordering them asks again.
QFileInfoList listing(const QString &folder)
{
    return QDir(folder).entryInfoList(pictureNameFilters(), QDir::Files | QDir::Readable,
                                      QDir::Unsorted);
}

QStringList pathsOf(const std::vector<Ranked> &pictures)
{
    QStringList paths;
    paths.reserve(qsizetype(pictures.size()));
    for (const Ranked &picture : pictures)
        paths << picture.path;
    return paths;
}

} // namespace

QStringList pictureNameFilters()
{
    QStringList filters;
    for (const QString &format : supportedFormats())
        filters << QStringLiteral("*.") + format;
    for (const QString &extension : rawExtensions())
        filters << QStringLiteral("*.") + extension;
    return filters;
}

QStringList pictureFiles(const QString &folder, const PictureOrder &order)
{
    return pathsOf(inOrder(listing(folder), order));
}

QStringList orderedPictures(const QStringList &paths, const PictureOrder &order)
{
    return pathsOf(inOrder(infoOf(paths), order));
}

QString neighbourPicture(const QString &path, int offset, const PictureOrder &order)
{
    const QFileInfo file(path);
    const std::vector<Ranked> pictures = inOrder(listing(file.absolutePath()), order);
    const QString absolute = QDir::cleanPath(file.absoluteFilePath());
    auto found =
        std::find_if(pictures.cbegin(), pictures.cend(),
                     [&absolute](const Ranked &picture) { return picture.path == absolute; });
    qsizetype position = found - pictures.cbegin();
    if (found == pictures.cend()) {
        // Where it would stand: the next picture is the first listed after it, the previous one
        // the last listed before it.
        const Ranked self = ranked({file}, order.key).front();
        const qsizetype insertion = std::lower_bound(pictures.cbegin(), pictures.cend(), self,
                                                     [&order](const Ranked &a, const Ranked &b) {
                                                         return before(a, b, order.reversed);
                                                     }) -
                                    pictures.cbegin();
        position = offset > 0 ? insertion - 1 : insertion;
    }
    const qsizetype target = position + offset;
    return target >= 0 && target < qsizetype(pictures.size()) ? pictures.at(target).path
                                                              : QString();
}

bool comesBefore(const QString &first, const QString &second, const PictureOrder &order)
{
    const std::vector<Ranked> pair = ranked({QFileInfo(first), QFileInfo(second)}, order.key);
    return before(pair.front(), pair.back(), order.reversed);
}
