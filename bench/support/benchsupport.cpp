// SPDX-License-Identifier: GPL-3.0-or-later
#include "benchsupport.h"

#include <QLinearGradient>
#include <QPainter>
#include <QProcess>

#include <algorithm>

double medianMs(QList<double> times)
{
    std::sort(times.begin(), times.end());
    return times.isEmpty() ? -1 : times.at(times.size() / 2);
}

QImage photoLikePicture(const QSize &size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, QColor(20, 60, 140));
    gradient.setColorAt(1, QColor(240, 200, 80));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(QPen(Qt::white, 9));
    for (int x = 0; x < size.width(); x += 97)
        painter.drawLine(x, 0, size.width() - x, size.height());
    return image;
}

bool writeHeic(const QString &png, const QString &heic)
{
    return QProcess::execute(QStringLiteral("heif-enc"),
                             {QStringLiteral("-q"), QStringLiteral("80"), png,
                              QStringLiteral("-o"), heic}) == 0;
}
