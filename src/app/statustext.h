#ifndef STATUSTEXT_H
#define STATUSTEXT_H

#include <QSize>
#include <QString>

// The status bar's line for the shown picture: its file name, its size in pixels and the zoom,
// "fit" or a percentage, as in "beach.jpg    4000 × 3000    25%".
QString pictureStatus(const QString &path, const QSize &size, bool fitMode, double scale);

#endif
