// SPDX-License-Identifier: GPL-3.0-or-later
#include "wholefilehandler.h"

#include <QIODevice>

bool WholeFileHandler::canRead() const
{
    // Once the size was asked for, the file's bytes are here and the device is at its end.
    if (dataRead)
        return recognises(data);
    return device() && recognises(device()->peek(signatureBytes()));
}

const QByteArray &WholeFileHandler::fileData() const
{
    if (!dataRead && device()) {
        data = device()->readAll();
        dataRead = true;
    }
    return data;
}
