// SPDX-License-Identifier: GPL-3.0-or-later
#include "sizedhandler.h"

#include <QVariant>

bool SizedHandler::canRead() const
{
    return device() && headerSize(device()).isValid();
}

bool SizedHandler::supportsOption(ImageOption option) const
{
    return option == Size;
}

QVariant SizedHandler::option(ImageOption option) const
{
    const QSize size = option == Size && device() ? headerSize(device()) : QSize();
    return size.isValid() ? QVariant(size) : QVariant();
}
