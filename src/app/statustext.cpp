#include "statustext.h"

#include <QFileInfo>

#include <cmath>

QString pictureStatus(const QString &path, const QSize &size, bool fitMode, double scale)
{
    // Rounded, not truncated: 0.8 × 0.8 is a hair below 0.64 in floating point, and must read 64%.
    const QString zoom = fitMode ? QStringLiteral("fit")
                                 : QString::number(std::lround(scale * 100)) + QLatin1Char('%');
    return QStringLiteral("%1    %2 × %3    %4")
        .arg(QFileInfo(path).fileName())
        .arg(size.width())
        .arg(size.height())
        .arg(zoom);
}
