// SPDX-License-Identifier: GPL-3.0-or-later
#include "statustext.h"

#include <QFileInfo>

#include <cmath>

QString pictureStatus(const QString &path, const QSize &size, bool fitMode, double scale,
                      const QSize &originalSize)
{
    const auto sides = [](const QSize &s) {
        return QStringLiteral("%1 × %2").arg(s.width()).arg(s.height());
    };
    QString shown = sides(size);
    if (!originalSize.isEmpty()) {
        // A quarter turn in the view turns the picture's own size with it.
        QSize original = originalSize;
        if ((size.width() > size.height()) != (original.width() > original.height()))
            original.transpose();
        shown = sides(original) + QStringLiteral(", shown reduced to ") + shown;
        // The percentage is of the file's pixels: at the scale of one shown pixel to one screen
        // pixel, each of the file's takes a fraction of a screen pixel.
        scale *= double(size.width()) / original.width();
    }
    // Rounded, not truncated: 0.8 × 0.8 is a hair below 0.64 in floating point, and must read 64%.
    QString zoom = QString::number(std::lround(scale * 100)) + QLatin1Char('%');
    if (fitMode)
        zoom.prepend(QStringLiteral("fit "));
    return QStringLiteral("%1    %2    %3").arg(QFileInfo(path).fileName(), shown, zoom);
}
