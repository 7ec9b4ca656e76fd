// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats.h"

#include "decoderpool.h"

#include <QMutex>

namespace {

// A decoder's start-up loads every image plugin; more than this is no start-up.
constexpr int kStartTimeLimit = 20000;

} // namespace

QStringList supportedFormats()
{
    // Asked of the decoder, not of Qt here: asking Qt would load its image plugins, and with
    // them the decoding libraries, into the viewer.
    static QMutex mutex;
    static QStringList known;
    QMutexLocker lock(&mutex);
    DecoderRequest request;
    request.kind = DecoderRequest::Formats;
    DecoderReply reply;
    if (known.isEmpty() && askDecoder(request, QString(), kStartTimeLimit, reply) && reply.ok)
        known = reply.formats;
    return known;
}

QStringList rawExtensions()
{
    return {
        QStringLiteral("mrw"), QStringLiteral("crw"), QStringLiteral("cr2"), QStringLiteral("orf"),
        QStringLiteral("dcr"), QStringLiteral("arw"), QStringLiteral("dng"), QStringLiteral("3fr"),
        QStringLiteral("erf"), QStringLiteral("kdc"), QStringLiteral("sr2"), QStringLiteral("raf"),
        QStringLiteral("x3f"), QStringLiteral("nef"), QStringLiteral("pef"), QStringLiteral("raw"),
        QStringLiteral("drf"), QStringLiteral("mef"), QStringLiteral("mos"), QStringLiteral("ptx"),
        QStringLiteral("srf"), QStringLiteral("thm"), QStringLiteral("nrw"), QStringLiteral("rw2"),
        // Read by LibRaw alone: dcraw knows no CR3.
        QStringLiteral("cr3")};
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
