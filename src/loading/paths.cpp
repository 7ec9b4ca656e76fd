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
#ifdef Q_OS_LINUX
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

namespace {

constexpr qint64 kCopyChunk = 1 << 20;

// Copies the first bytes of in, which holds exactly that many; false when it holds fewer or
// more: a file that grows while it is copied is no picture to trust.
bool copyContent(QFile &in, QFile &out, qint64 bytes)
{
    QByteArray buffer(kCopyChunk, Qt::Uninitialized);
    for (;;) {
        const qint64 n =
            in.read(buffer.data(), qMin<qint64>(buffer.size(), qMax<qint64>(bytes, 1)));
        if (n <= 0)
            return n == 0 && bytes == 0;
        if (n > bytes || out.write(buffer.constData(), n) != n)
            return false;
        bytes -= n;
    }
}

#ifdef Q_OS_LINUX
// The kernel copies without passing the bytes through this process: raw files are large, and
// the copy is most of what the loader adds to the decoder's own work. Unknown when nothing has
// been copied yet and the file systems cannot do it: the plain copy does it then.
std::optional<bool> copyInKernel(QFile &in, QFile &out, qint64 bytes)
{
    bool copiedAny = false;
    while (bytes > 0) {
        const ssize_t n = ::copy_file_range(in.handle(), nullptr, out.handle(), nullptr,
                                            size_t(qMin(bytes, kCopyChunk * 64)), 0);
        if (n == 0)
            return false;
        if (n < 0) {
            const bool unsupported =
                errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP;
            if (unsupported && !copiedAny)
                return std::nullopt;
            return false;
        }
        copiedAny = true;
        bytes -= n;
    }
    // Nothing beyond what the file said it held.
    char more;
    return ::read(in.handle(), &more, 1) == 0;
}

// Whether the file at descriptor keeps stored data on a file system of its own: the kernel's
// views of processes and devices (/proc, /sys, /dev) hold a process's memory, its environment
// and endless streams, not pictures, whatever link leads there.
bool ordinaryFileSystem(int descriptor, const struct stat &status)
{
    struct statfs system;
    if (::fstatfs(descriptor, &system) != 0)
        return false;
    switch (system.f_type) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case SELINUX_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case BPF_FS_MAGIC:
    case DEVPTS_SUPER_MAGIC:
    case PSTOREFS_MAGIC:
    case EFIVARFS_MAGIC:
    case BINFMTFS_MAGIC:
    case NSFS_MAGIC:
    case ANON_INODE_FS_MAGIC:
        return false;
    default:
        break;
    }
    // /dev is a tmpfs like /tmp: it is told apart by being mounted on its own.
    struct stat devices;
    struct stat root;
    return ::stat("/dev", &devices) != 0 || ::stat("/", &root) != 0 ||
           devices.st_dev == root.st_dev || status.st_dev != devices.st_dev;
}
#endif

QMutex handedMutex;
QString handedName;
int handedDescriptor = -1;

#ifdef Q_OS_UNIX
// handed tells whether the file is one handed over, which was checked where it was opened.
int handedFile(const QString &name, bool &handed)
{
    {
        QMutexLocker lock(&handedMutex);
        // A duplicate shares the offset: each reader starts from the beginning, as after open.
        handed = handedDescriptor >= 0 && name == handedName;
        if (handed) {
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
    bool handed = false;
    const int fd = handedFile(file.fileName(), handed);
    if (fd < 0)
        return false;
    struct stat status;
    bool regular =
        ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && ::fcntl(fd, F_SETFL, 0) == 0;
#ifdef Q_OS_LINUX
    // The decoder may not ask of file systems; its files were asked of where they were opened.
    regular = regular && (handed || ordinaryFileSystem(fd, status));
#endif
    if (regular && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return true;
    ::close(fd);
    return false;
#else
    return QFileInfo(file.fileName()).isFile() && file.open(QIODevice::ReadOnly);
#endif
}

bool copyFile(const QString &source, const QString &target, qint64 mostBytes)
{
    QFile in(source);
    if (!openRegularFile(in))
        return false;
    // The size at the start, which bounds the copy: a file that grows for ever never ends it.
    const qint64 bytes = in.size();
    if (bytes > mostBytes)
        return false;
    // NewOnly creates the file exclusively: an existing name, or a link planted under it, makes
    // the copy fail instead of being written through.
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
#ifdef Q_OS_LINUX
    const std::optional<bool> copied = copyInKernel(in, out, bytes);
    bool ok = copied ? *copied : copyContent(in, out, bytes);
#else
    bool ok = copyContent(in, out, bytes);
#endif
    ok = out.flush() && ok;
    out.close();
    if (!ok)
        out.remove();
    return ok;
}
