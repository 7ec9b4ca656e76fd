#include "statustext.h"

#include <QFileInfo>

#include <cmath>

QString pictureStatus(const QString &path, const QSize &size, bool fitMode, double scale,
                      const QSize &originalSize)
{
    // Rounded, not truncated: 0.8 × 0.8 is a hair below 0.64 in floating point, and must read 64%.
    const QString zoom = fitMode ? QStringLiteral("fit")
                                 : QString::number(std::lround(scale * 100)) + QLatin1Char('%');
    const auto sides = [](const QSize &s) {
        return QStringLiteral("%1 × %2").arg(s.width()).arg(s.height());
    };
    QString shown = sides(size);
    if (originalSize.isValid())
        shown = sides(originalSize) + QStringLiteral(", shown reduced to ") + shown;
    return QStringLiteral("%1    %2    %3").arg(QFileInfo(path).fileName(), shown, zoom);
}
