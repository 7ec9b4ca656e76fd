// SPDX-License-Identifier: GPL-3.0-or-later
#include "psdhandler.h"

#include "psdfile.h"

#include <QVariant>

bool PsdHandler::canRead() const
{
    return isPsd(device());
}

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

bool PsdHandler::supportsOption(ImageOption option) const
{
    return option == Size;
}

QVariant PsdHandler::option(ImageOption option) const
{
    PsdComposite psd;
    if (option != Size || !readPsdHeader(device(), psd))
        return QVariant();
    return psd.size;
}
