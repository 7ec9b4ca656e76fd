// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats.h"

#include <QImageReader>

QStringList supportedFormats()
{
    QStringList formats;
    const QList<QByteArray> reported = QImageReader::supportedImageFormats();
    for (const QByteArray &format : reported)
        formats.append(
            QString::fromLatin1(format.constData(), qstrnlen(format.constData(), format.size())));
    return formats;
}

QStringList rawExtensions()
{
    return {
        QStringLiteral("mrw"), QStringLiteral("crw"), QStringLiteral("cr2"), QStringLiteral("orf"),
        QStringLiteral("dcr"), QStringLiteral("arw"), QStringLiteral("dng"), QStringLiteral("3fr"),
        QStringLiteral("erf"), QStringLiteral("kdc"), QStringLiteral("sr2"), QStringLiteral("raf"),
        QStringLiteral("x3f"), QStringLiteral("nef"), QStringLiteral("pef"), QStringLiteral("raw"),
        QStringLiteral("drf"), QStringLiteral("mef"), QStringLiteral("mos"), QStringLiteral("ptx"),
        QStringLiteral("srf"), QStringLiteral("thm"), QStringLiteral("nrw"), QStringLiteral("rw2")};
}

bool isRawFile(const QString &path)
{
    const QString lower = path.toLower();
    const QStringList extensions = rawExtensions();
    for (const QString &extension : extensions) {
        if (lower.endsWith(QLatin1Char('.') + extension))
            return true;
    }
    return false;
}
