// SPDX-License-Identifier: GPL-3.0-or-later
#include "psdhandler.h"

#include "psdfile.h"

bool PsdHandler::read(QImage *image)
{
    PsdComposite psd;
    if (!readPsd(device(), psd))
        return false;
    const QImage picture = psdToImage(psd);
    if (picture.isNull())
        return false;
    *image = picture;
    return true;
}

QSize PsdHandler::headerSize(QIODevice *device) const
{
    PsdComposite psd;
    return readPsdHeader(device, psd) ? psd.size : QSize();
}
