// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef ENVIRONMENTGUARD_H
#define ENVIRONMENTGUARD_H

#include <QByteArray>

// Sets an environment variable while it lives and restores the former value (or its absence)
// when it goes, so that a test cannot leak a changed PATH or TMPDIR into the next one.
class EnvironmentGuard
{
public:
    EnvironmentGuard(const char *name, const QByteArray &value);
    ~EnvironmentGuard();
    EnvironmentGuard(const EnvironmentGuard &) = delete;
    EnvironmentGuard &operator=(const EnvironmentGuard &) = delete;

    // The value of PATH with directory put first.
    static QByteArray pathWithFirst(const QString &directory);

private:
    QByteArray name;
    QByteArray oldValue;
    bool wasSet;
};

#endif
