// SPDX-License-Identifier: GPL-3.0-or-later
#include "stdoutcapture.h"

#include <QTest>

#include <cstdio>
#include <unistd.h>

StdoutCapture::StdoutCapture(int descriptor) : descriptor(descriptor)
{
    std::fflush(stdout);
    if (!file.open())
        return;
    savedDescriptor = ::dup(descriptor);
    ::dup2(file.handle(), descriptor);
}

StdoutCapture::~StdoutCapture()
{
    if (savedDescriptor < 0)
        return;
    const QByteArray captured = text();
    ::dup2(savedDescriptor, descriptor);
    ::close(savedDescriptor);
    if (QTest::currentTestFailed())
        std::fwrite(captured.constData(), 1, size_t(captured.size()), stderr);
}

QByteArray StdoutCapture::text()
{
    std::fflush(stdout);
    QFile reader(file.fileName());
    return reader.open(QIODevice::ReadOnly) ? reader.readAll() : QByteArray();
}
