// SPDX-License-Identifier: GPL-3.0-or-later
#include "links.h"

QString converterAddress(const QString &edition)
{
    return QLatin1String(kConverterHostBegin) + edition.toLower() +
           QLatin1String(kConverterHostEnd) + QLatin1String(kConverterPath);
}
