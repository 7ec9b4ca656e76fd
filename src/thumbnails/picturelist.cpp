// SPDX-License-Identifier: GPL-3.0-or-later
#include "picturelist.h"

#include "formats.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

QStringList pictureNameFilters()
{
    QStringList filters;
    for (const QString &format : supportedFormats())
        filters << QStringLiteral("*.") + format;
    for (const QString &extension : rawExtensions())
        filters << QStringLiteral("*.") + extension;
    return filters;
}

QStringList pictureFiles(const QString &folder)
{
    // Patterns match in any letter case; NoSort keeps the directory's default order, by name
    // ignoring case; hidden files are left out because QDir::Hidden is not asked for.
    const QFileInfoList entries = QDir(folder).entryInfoList(
        pictureNameFilters(), QDir::Files | QDir::Readable, QDir::NoSort);
    QStringList files;
    files.reserve(entries.size());
    for (const QFileInfo &entry : entries)
        files << entry.absoluteFilePath();
    return files;
}

QString neighbourPicture(const QString &path, int offset)
{
    const QFileInfo file(path);
    const QString absolute = QDir::cleanPath(file.absoluteFilePath());
    const QStringList files = pictureFiles(file.absolutePath());

    qsizetype position = files.indexOf(absolute);
    if (position < 0) {
        // Where the name would stand: the next picture is the first listed after it, the
        // previous one the last listed before it.
        const QString name = file.fileName();
        const auto before = [](const QString &listed, const QString &name) {
            return QFileInfo(listed).fileName().compare(name, Qt::CaseInsensitive) < 0;
        };
        const qsizetype insertion =
            std::lower_bound(files.cbegin(), files.cend(), name, before) - files.cbegin();
        position = offset > 0 ? insertion - 1 : insertion;
    }
    const qsizetype target = position + offset;
    return target >= 0 && target < files.size() ? files.at(target) : QString();
}
