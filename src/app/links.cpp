// SPDX-License-Identifier: GPL-3.0-or-later
#include "links.h"

namespace {

// The default edition, whose download page a word that cannot stay in the host name opens.
constexpr char kDefaultEdition[] = "raw";

// Whether word would end the host name or leave it: a path, query or fragment begun, user
// information or a port set off, a character escaped, or a control character, any of which
// sends the browser elsewhere than the maker's host.
bool leavesHostName(const QString &word)
{
    for (const QChar c : word) {
        if (c.category() == QChar::Other_Control || QStringLiteral("/\\?#@:%").contains(c))
            return true;
    }
    return false;
}

} // namespace

QString converterAddress(const QString &edition)
{
    const QString word =
        leavesHostName(edition) ? QLatin1String(kDefaultEdition) : edition.toLower();
    return QLatin1String(kConverterHostBegin) + word + QLatin1String(kConverterHostEnd) +
           QLatin1String(kConverterPath);
}
