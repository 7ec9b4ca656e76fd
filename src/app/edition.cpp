// SPDX-License-Identifier: GPL-3.0-or-later
#include "edition.h"

#include <QFile>
#include <QTextStream>

QString readEditionName()
{
    QString edition;
    QFile file(QStringLiteral("velmora.properties"));
    if (file.open(QIODevice::ReadOnly)) {
        QTextStream stream(&file);
        edition = stream.readLine();
        // A null line means a file of zero bytes; an empty first line is a value of its own.
        if (edition.isNull())
            edition = QStringLiteral("raw");
        file.close();
    } else {
        edition = QStringLiteral("raw");
    }
    return edition.toUpper();
}
