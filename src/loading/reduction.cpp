// SPDX-License-Identifier: GPL-3.0-or-later
#include "reduction.h"

namespace {

const char kOriginalSizeKey[] = "Velmora-OriginalSize";
const char kFullViewSizeKey[] = "Velmora-FullViewSize";
const char kAnimationKey[] = "Velmora-Animation";

QSize sizeText(const QImage &picture, const char *key)
{
    const QStringList sides = picture.text(QLatin1String(key)).split(QLatin1Char('x'));
    if (sides.size() != 2)
        return QSize();
    return QSize(sides.at(0).toInt(), sides.at(1).toInt());
}

void setSizeText(QImage &picture, const char *key, const QSize &size)
{
    picture.setText(QLatin1String(key),
                    size.isValid() ? QStringLiteral("%1x%2").arg(size.width()).arg(size.height())
                                   : QString());
}

} // namespace

QSize originalSize(const QImage &picture)
{
    return sizeText(picture, kOriginalSizeKey);
}

void setOriginalSize(QImage &picture, const QSize &size)
{
    setSizeText(picture, kOriginalSizeKey, size);
}

QSize fullViewSize(const QImage &picture)
{
    return sizeText(picture, kFullViewSizeKey);
}

void setFullViewSize(QImage &picture, const QSize &size)
{
    setSizeText(picture, kFullViewSizeKey, size);
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

bool isAnimation(const QImage &picture)
{
    return !picture.text(QLatin1String(kAnimationKey)).isEmpty();
}

void setAnimation(QImage &picture)
{
    picture.setText(QLatin1String(kAnimationKey), QStringLiteral("1"));
}
