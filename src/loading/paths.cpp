// SPDX-License-Identifier: GPL-3.0-or-later
#include "paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRandomGenerator>
#include <QTime>

#include <cerrno>
#include <cstdio>
#include <optional>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr qint64 kCopyChunk = 1 << 20;

bool copyContent(QFile &in, QFile &out)
{
    QByteArray buffer(kCopyChunk, Qt::Uninitialized);
    for (;;) {
        const qint64 n = in.read(buffer.data(), buffer.size());
        if (n <= 0)
            return n == 0;
        if (out.write(buffer.constData(), n) != n)
            return false;
    }
}

#ifdef Q_OS_LINUX
// The kernel copies without passing the bytes through this process: raw files are large, and
// the copy is most of what the loader adds to the decoder's own work. Unknown when nothing has
// been copied yet and the file systems cannot do it, or the kernel reports an empty source
// (which pseudo-files do whatever they hold): the plain copy finds out then.
std::optional<bool> copyInKernel(QFile &in, QFile &out)
{
    bool copiedAny = false;
    for (;;) {
        const ssize_t n =
            ::copy_file_range(in.handle(), nullptr, out.handle(), nullptr, kCopyChunk * 64, 0);
        if (n == 0)
            return copiedAny ? std::optional<bool>(true) : std::nullopt;
        if (n < 0) {
            const bool unsupported =
                errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP;
            if (unsupported && !copiedAny)
                return std::nullopt;
            return false;
        }
        copiedAny = true;
    }
}
#endif

QMutex handedMutex;
QString handedName;
int handedDescriptor = -1;

#ifdef Q_OS_UNIX
int handedFile(const QString &name)
{
    {
        QMutexLocker lock(&handedMutex);
        // A duplicate shares the offset: each reader starts from the beginning, as after open.
        if (handedDescriptor >= 0 && name == handedName) {
            const int fd = ::fcntl(handedDescriptor, F_DUPFD_CLOEXEC, 0);
            if (fd >= 0)
                ::lseek(fd, 0, SEEK_SET);
            return fd;
        }
    }
    return ::open(QFile::encodeName(name).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}
#endif

} // namespace

bool deleteFile(const QString &path)
{
    return std::remove(path.toUtf8().constData()) == 0;
}

QString pathDirectory(const QString &path)
{
    const QString native = QDir::toNativeSeparators(path);
    const int i = native.lastIndexOf(QDir::separator());
    return i < 0 ? QString() : native.left(i);
}

QString pathFileName(const QString &path)
{
    const QString native = QDir::toNativeSeparators(path);
    const int i = native.lastIndexOf(QDir::separator());
    if (i >= 0 && i + 1 < native.size())
        return native.mid(i + 1);
    return native == QStringLiteral(".") ? QString() : path;
}

QString pathExtension(const QString &path)
{
    const int i = path.lastIndexOf(QLatin1Char('.'));
    return i > 0 && i + 1 < path.size() ? path.mid(i + 1) : QString();
}

QString pathBaseName(const QString &path)
{
    const QString ext = pathExtension(path);
    const QString name = pathFileName(path);
    if (ext.isEmpty())
        return name;
    const int j = name.lastIndexOf(ext) - 1;
    return j >= 0 ? name.left(j) : name;
}

QString pathWithSuffix(const QString &path, const QString &suffix)
{
    return pathDirectory(path) + QLatin1Char('/') + pathBaseName(path) + suffix;
}

QString randomName()
{
    // Seeded afresh from the second of the day, so the name depends on that second alone.
    QRandomGenerator generator(QTime(0, 0).secsTo(QTime::currentTime()));
    return QStringLiteral("%1").arg(generator.generate() % kNameRange);
}

void handOverFile(const QString &name, int descriptor)
{
    QMutexLocker lock(&handedMutex);
    handedName = name;
    handedDescriptor = descriptor;
}

bool openRegularFile(QFile &file)
{
#ifdef Q_OS_UNIX
    // Non-blocking, so that opening a FIFO returns at once; the kind is then asked of what was
    // opened, not of the name, which may have changed meanwhile.
    const int fd = handedFile(file.fileName());
    if (fd < 0)
        return false;
    struct stat status;
    const bool regular =
        ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && ::fcntl(fd, F_SETFL, 0) == 0;
    if (regular && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return false;
#else
    return QFileInfo(file.fileName()).isFile() && file.open(QIODevice::ReadOnly);
#endif
}

bool copyFile(const QString &source, const QString &target)
{
    QFile in(source);
    if (!openRegularFile(in))
        return false;
    // NewOnly creates the file exclusively: an existing name, or a link planted under it, makes
    // the copy fail instead of being written through.
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
#ifdef Q_OS_LINUX
    const std::optional<bool> copied = copyInKernel(in, out);
    bool ok = copied ? *copied : copyContent(in, out);
#else
    bool ok = copyContent(in, out);
#endif
    ok = out.flush() && ok;
    out.close();
    if (!ok)
        out.remove();
    return ok;
}
