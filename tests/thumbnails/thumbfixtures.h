// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef THUMBFIXTURES_H
#define THUMBFIXTURES_H

#include "environmentguard.h"
#include "processes.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QString>

// Writes a PNG of one solid colour and returns its absolute path.
inline QString writePicture(const QString &directory, const QString &name, const QSize &size,
                            const QColor &colour = Qt::red)
{
    QImage picture(size, QImage::Format_RGB32);
    picture.fill(colour);
    const QString path = QDir(directory).absoluteFilePath(name);
    return picture.save(path, "PNG") ? path : QString();
}

// Writes a file that is not a picture whatever its name says.
inline QString writeJunk(const QString &directory, const QString &name)
{
    const QString path = QDir(directory).absoluteFilePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write("not a picture\n") < 0)
        return QString();
    return path;
}

// Puts a shell script named dcraw first on PATH for the guard's lifetime.
class FakeDecoder
{
public:
    FakeDecoder(const QString &directory, const QByteArray &body)
        : ready(writeScript(QDir(directory).absoluteFilePath(QStringLiteral("dcraw")), body)),
          path("PATH", EnvironmentGuard::pathWithFirst(directory))
    {
    }

    bool isReady() const { return ready; }

private:
    bool ready;
    EnvironmentGuard path;
};

#endif
