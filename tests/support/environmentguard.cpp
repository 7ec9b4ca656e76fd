// SPDX-License-Identifier: GPL-3.0-or-later
#include "environmentguard.h"

#include <QFile>

EnvironmentGuard::EnvironmentGuard(const char *name, const QByteArray &value)
    : name(name), oldValue(qgetenv(name)), wasSet(qEnvironmentVariableIsSet(name))
{
    qputenv(name, value);
}

EnvironmentGuard::~EnvironmentGuard()
{
    if (wasSet)
        qputenv(name.constData(), oldValue);
    else
        qunsetenv(name.constData());
}

QByteArray EnvironmentGuard::pathWithFirst(const QString &directory)
{
    const QByteArray path = qgetenv("PATH");
    return QFile::encodeName(directory) + (path.isEmpty() ? QByteArray() : ':' + path);
}
