// SPDX-License-Identifier: GPL-3.0-or-later
#include "processes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace {

// The fields of /proc/<pid>/stat that follow the command name: state, parent, group, ...
QList<QByteArray> statFields(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return {};
    const QByteArray line = stat.readAll();
    const int end = line.lastIndexOf(')');
    return end < 0 ? QList<QByteArray>() : line.mid(end + 2).split(' ');
}

QList<qint64> allProcesses()
{
    QList<qint64> pids;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (ok)
            pids.append(pid);
    }
    return pids;
}

QList<qint64> children(bool decoders)
{
    const qint64 self = QCoreApplication::applicationPid();
    QList<qint64> found;
    for (qint64 pid : allProcesses()) {
        const QList<QByteArray> fields = statFields(pid);
        if (fields.size() < 2 || fields.at(1).toLongLong() != self)
            continue;
        QFile name(QStringLiteral("/proc/%1/comm").arg(pid));
        const bool decoder = fields.first() != "Z" && name.open(QIODevice::ReadOnly) &&
                             name.readAll().trimmed() == "velmora-decoder";
        if (decoder == decoders)
            found.append(pid);
    }
    return found;
}

} // namespace

bool processRunning(qint64 pid)
{
    const QList<QByteArray> fields = statFields(pid);
    return !fields.isEmpty() && fields.first() != "Z";
}

QList<qint64> childProcesses()
{
    return children(false);
}

QList<qint64> decoderProcesses()
{
    return children(true);
}

QList<qint64> processesMentioning(const QString &text)
{
    const qint64 self = QCoreApplication::applicationPid();
    const QByteArray needle = text.toUtf8();
    QList<qint64> found;
    for (qint64 pid : allProcesses()) {
        if (pid == self || !processRunning(pid))
            continue;
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly) &&
            cmdline.readAll().replace('\0', ' ').contains(needle))
            found.append(pid);
    }
    return found;
}

bool writeScript(const QString &path, const QByteArray &body)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool written = file.write("#!/bin/sh\n" + body + '\n') > 0;
    file.close();
    return written && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner | QFileDevice::ReadGroup |
                                          QFileDevice::ExeGroup);
}
