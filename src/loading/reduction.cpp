// SPDX-License-Identifier: GPL-3.0-or-later
#include "reduction.h"

namespace {

const char kOriginalSizeKey[] = "Velmora-OriginalSize";

} // namespace

QSize originalSize(const QImage &picture)
{
    const QStringList sides = picture.text(QLatin1String(kOriginalSizeKey)).split(QLatin1Char('x'));
    if (sides.size() != 2)
        return QSize();
    return QSize(sides.at(0).toInt(), sides.at(1).toInt());
}

void setOriginalSize(QImage &picture, const QSize &size)
{
    picture.setText(QLatin1String(kOriginalSizeKey),
                    size.isValid() ? QStringLiteral("%1x%2").arg(size.width()).arg(size.height())
                                   : QString());
}

QSize sizeInFile(const QImage &picture)
{
    QSize size = originalSize(picture);
    if (size.isEmpty())
        return picture.size();
    // A quarter turn in the view turns the file's size with the picture.
    if ((size.width() > size.height()) != (picture.width() > picture.height()))
        size.transpose();
    return size;
}
